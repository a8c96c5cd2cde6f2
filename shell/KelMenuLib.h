// The in-game system menu: buttons and pictures of a layout file over a still picture of the game
// screen taken when the menu opens. The engine core shows it in its menu mode, opens it in the
// first frame, updates and draws it every frame and acts on the code its update reports.
//
// Layout file ("System\Menu\" + the script's menu file, else "System\Menu\Layout.dat"): key=value
// lines, the first line of a key counting, every value lower-cased. Lists are split at commas
// with blanks dropped and "//" ending them. Numbers are decimal, 0 when missing or malformed;
// "BlendColor" may also be "$" and hexadecimal digits.
//   ButtonCount, ImageCount           how many buttons and pictures
//   BlendColor                        0xAARRGGBB laid over the still picture; 0 for none
//   BeginMuteTime                     ms after opening before input is read
//   EndMuteTime                       ms from a cancel to the report of code 1
//   ClickMuteTime                     ms from a button's action to the report of its code
//   btn[i].Action                     the button's action text (table below)
//   btn[i].Filename                   picture, then first layer picture, under "System\Menu\"
//   btn[i].Position                   x, y, layer
//   btn[i].HitSize                    extra hit rectangle x1, y1, x2, y2 in the button's own space
//   img[i].Filename, .Position, .HitSize   the same for picture i
//
// An action text is split at ":"; its first part names the action. A button whose action the game
// forbids at opening is shown locked and takes no click.
//   cancel 1, load 2 (load lock), save 3 (save lock), log 4 (log lock), text 5, view 6 (view
//   lock), skip 7, auto 8, logskip 9 (each locked while the interpreter does not allow it),
//   screen 10 (screen lock), config 11 (config lock), exit 12 and reset 13 (both the reset lock),
//   quicksave 14 (save lock), quickload 15 (load lock, or no quick save in the save folder),
//   selectload 16 (load lock, or no "SelectSaveData.svd"), scenereturn 17 (no scene to return
//   to), sceneskipload 18 and sceneskipnoload 19 (scene skipping off)
//   script:TEXT   runs TEXT as statements on the game interpreter; the menu stays open
//   value:NAME    flips the integer variable NAME between 0 and 1 and shows it as the check;
//                 locked while no such variable exists
//
// A layout that cannot be read gives a menu without items, which the cancel keys still close; the
// error log gets a line about it (without stopping the script).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "objects/ButtonLib.h"
#include "shell/KelSystemSeams.h"

class TKelScript;

namespace KelMenuLib {

constexpr const char* kMenuFolder = "System\\Menu\\";
constexpr const char* kDefaultLayout = "System\\Menu\\Layout.dat";

// The codes the update reports.
enum TMenuCode : uint8_t {
    mcNone = 0,
    mcCancel = 1,
    mcLoad = 2,
    mcSave = 3,
    mcLog = 4,
    mcText = 5,
    mcView = 6,
    mcSkip = 7,
    mcAuto = 8,
    mcLogSkip = 9,
    mcScreen = 10,
    mcConfig = 11,
    mcExit = 12,
    mcReset = 13,
    mcQuickSave = 14,
    mcQuickLoad = 15,
    mcSelectLoad = 16,
    mcSceneReturn = 17,
    mcSceneSkipLoad = 18,
    mcSceneSkipNoLoad = 19,
};

// The code of an action name; mcNone for a name outside the table ("script" and "value" too).
uint8_t ActionCode(const std::string& name);

}  // namespace KelMenuLib

class TKelMenu final : public IKelScreen {
public:
    // Pointer kinds of Input.
    static constexpr int32_t kClick = 0;
    static constexpr int32_t kCancel = 1;

    // Empty and closed; nothing is loaded before the first opening.
    explicit TKelMenu(TKelScript& owner);
    ~TKelMenu() override;
    TKelMenu(const TKelMenu&) = delete;
    TKelMenu& operator=(const TKelMenu&) = delete;

    void Reset() override { Clear(); }
    // Loads the layout when its name changed, takes the still picture and readies every item.
    void Open(int32_t kind) override;
    // The elapsed ms; 0 while the menu stays open, else the code of the action chosen.
    int32_t Update(int32_t elapsed) override;
    // Records the menu into the game interpreter's cell draw and renders it.
    void Draw() override;
    // The engine core leaves the menu without closing it: the next opening starts afresh.
    void Close() override {}

    // kClick: every button gets the click at the point; kCancel: the menu closes with code 1 once
    // the end mute time is over, while its items play their disable motions.
    void Input(int32_t kind, int32_t x, int32_t y);
    void MouseMove(int32_t x, int32_t y);
    void ButtonAction(TButtonLib& button);
    void DisableItems();
    void LoadLayout();
    // Frees the items and the picture; the next opening reads the layout again.
    void Clear();

    // ---- fields ----
    TKelScript& Owner;
    std::unique_ptr<TARGB8888> Snapshot;
    uint32_t BlendColor = 0;
    std::vector<ImageLib::TPtr<TButtonLib>> Buttons;
    std::vector<ImageLib::TPtr<TImageLib>> Images;
    bool Opened = false;
    int32_t BeginMuteTime = 0;
    int32_t EndMuteTime = 0;
    int32_t ClickMuteTime = 0;
    int32_t MuteLeft = 0;
    std::string LayoutName;
    uint8_t Result = 0;

private:
    bool IsLocked(const std::string& action) const;
    // The variable a "value:" action names: whether it exists, and its integer value.
    bool FindValue(const std::string& name, int32_t& value) const;
};
