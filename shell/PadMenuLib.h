// The game-pad dialog: which pad button performs each mouse action, the cursor speed and the
// stick's dead zone, kept in the game folder's "GameData\System\config_pad.txt". Nothing in the
// engine reads that file; it is there for whatever drives the pad.
//
// The file is key=value lines as the configuration files are (any ASCII case, the first line of
// a key counts, numbers decimal or "$" hexadecimal). "Button1" .. "Button16" hold what each pad
// button does as a mouse action code (kMouseActions below: left, right and wheel click, wheel up,
// wheel down; 0 for nothing); "Speed" is how fast the pad moves the cursor, in pixels a second
// (400 unless set), and "DeadZone" the stick's dead zone in percent (10 unless set).
// Writing it keeps every other line of the file as it was.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/ConfigForms.h"
#include "platform/Dialogs.h"

class TFileRoot;  // platform/FileRoot.h
class TErrorLog;

namespace PadMenuLib {

inline constexpr const char* kPadFile = "GameData\\System\\config_pad.txt";
constexpr int32_t kButtonCount = 16;
constexpr int32_t kMouseActionCount = 5;
// The action codes of left click, right click, wheel click, wheel up and wheel down.
constexpr std::array<int32_t, kMouseActionCount> kMouseActions = {-1, -2, -3, -6, -7};
constexpr int32_t kDefaultSpeed = 400;
constexpr int32_t kDefaultDeadZone = 10;

struct TPadSettings {
    std::array<int32_t, kButtonCount> Buttons{};  // the action of pad buttons 1..16
    int32_t Speed = kDefaultSpeed;
    int32_t DeadZone = kDefaultDeadZone;
};

// The settings of the file. A missing file gives the defaults. A value that is no number, or a
// button value that is no action, gives that key's default, and a file that cannot be read gives
// all of them; either is noted in the error log, when one is given, with the file's name.
TPadSettings ReadPadFile(const TFileRoot& root, const std::string& fileName = kPadFile, TErrorLog* log = nullptr);
// The settings merged into the file's present lines; false (noted in the error log, when one is
// given) when the file could not be written, which leaves the old one as it was.
bool WritePadFile(const TFileRoot& root, const TPadSettings& settings, const std::string& fileName = kPadFile,
                  TErrorLog* log = nullptr);

}  // namespace PadMenuLib

class TPadMenu final : public IFormEvents {
public:
    // The form is laid out and filled from the file here. Message forms are shown through dialogs
    // over owner; the file's troubles go to the log, when one is given. The file is an engine path
    // below the root, the game's folder.
    TPadMenu(IConfigForms& forms, const TFileRoot& root, const IDialogOwner* owner, const TDialogHost& dialogs,
             std::string fileName = PadMenuLib::kPadFile, TErrorLog* log = nullptr);

    // Shows the dialog modally; true when "設定完了" wrote the file.
    bool ShowModal();

    void Changed(IFormView& view, int32_t control) override;
    void Clicked(IFormView& view, int32_t control) override;
    void PageChanged(IFormView&) override {}
    void Timer(IFormView&) override {}

    // Combo boxes 1..5 are the mouse actions, 6..11 the shortcuts; item 0 is "なし", item n pad
    // button n.
    static constexpr int32_t kComboCount = 11;
    TConfigForm Form;
    std::array<int32_t, kComboCount> Combo{};  // ComboBox1 .. ComboBox11
    int32_t SpeedBar = -1, DeadZoneBar = -1, SpeedLabel = -1, DeadZoneLabel = -1;
    int32_t OkButton = -1, CancelButton = -1, MouseResetButton = -1, ShortcutResetButton = -1;
    bool Written = false;

private:
    void UpdateLabels();
    void Save();

    IConfigForms& Forms;
    const TFileRoot& Root;
    TDialogHost Dialogs;
    std::string FileName;
    TErrorLog* Log = nullptr;
};
