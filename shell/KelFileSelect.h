// The save screen and the load screen: buttons and pictures of a layout file over a still
// picture of the game screen taken when the screen opens. The engine core shows it in its save
// mode (kind 0) and load mode (kind 1), opens it in the first frame, updates and draws it every
// frame; an update of 1 hands it FileName to save into or load from, -1 leaves the screen.
//
// Save files are pages of numbered slots: slot i (from 0) of page p is "SaveData\SaveDataN.svd"
// with N = p x PageDataCount + i; texts show N + 1. There are 16 pages. The page shown last is
// shown again at the next opening.
//
// Layout file ("System\FileSelect\" + the script's save or load screen file, else
// "System\FileSelect\SaveLayout.dat" or "LoadLayout.dat"): key=value lines, the first line of a
// key counting. Numbers are decimal, 0 when missing or malformed; "BlendColor" may also be "$"
// and hexadecimal digits. Lists are lower-cased and split at commas with blanks dropped.
//   mode                 0: a click on a second slot exchanges the two files; else it moves the
//                        selection
//   ButtonCount, ImageCount, PageDataCount (slots a page, at most 32)
//   BlendColor           0xAARRGGBB laid over the still picture; 0 for none
//   BeginMuteTime        ms after opening before input is read
//   ClickMuteTime        ms from a choice (or "cancel") to the report of the result
//   EndMuteTime          ms from a cancel by key or right button to the report of -1
//   FileExistsText, FileSelectText, FileEmptyExistsText, FileEmptySelectText
//                        templates of a slot button and of the "select" button, for a file that
//                        reads and one that does not (taken as written, see KelQuickLoad; "%%%no"
//                        is the slot number shown)
//   NoData               picture (".bmp", ".jpg", ".png") under "system\fileselect\" shown as the
//                        thumbnail of a slot without a readable save file
//   btn[i].Action, btn[i].Filename, btn[i].Position, btn[i].HitSize, btn[i].TextSize
//   img[i].Action, img[i].Filename, img[i].Position, img[i].HitSize
//   newimg.filename      the mark laid over the slot button of the newest save
//
// Button actions: "dataK" (slot K of the page: select it; clicked again, save or load; another
// slot clicked, exchange or move), "pageK" (K from 0 to 15, no leading zeros), "open", "delete",
// "selectcancel", "cancel", "select" (shows the selection, takes no click), "quicksave",
// "quickload". Image actions: "dataK" (the slot's thumbnail) and "select".
//
// A layout that cannot be read gives a screen without items, which the cancel keys still close;
// the error log gets a line about it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "objects/ButtonLib.h"
#include "shell/KelSystemSeams.h"

class TKelScript;
class TFileRoot;  // platform/FileRoot.h

namespace KelFileSelect {

constexpr const char* kFolder = "System\\FileSelect\\";
constexpr const char* kSaveLayout = "System\\FileSelect\\SaveLayout.dat";
constexpr const char* kLoadLayout = "System\\FileSelect\\LoadLayout.dat";
constexpr int32_t kPageCount = 16;
constexpr int32_t kMaxSlots = 32;

// The engine path of slot n: "SaveData\SaveDataN.svd".
std::string SlotFile(int32_t n);

// Renames a file by engine paths below the root, as TFileRoot::RenameFile does; tests put a
// failing call in its place. The result is the previous call.
using TRenameCall = bool (*)(const TFileRoot& root, std::string_view from, std::string_view to);
TRenameCall SetRenameCall(TRenameCall call);

}  // namespace KelFileSelect

class TKelFileselect final : public IKelScreen {
public:
    // Pointer kinds of Input.
    static constexpr int32_t kClick = 0;
    static constexpr int32_t kCancel = 1;

    // quickSaves: the engine core's quick saves when the screen needs them (may give none).
    TKelFileselect(TKelScript& owner, std::function<IKelQuickSaves*()> quickSaves = {});
    ~TKelFileselect() override;
    TKelFileselect(const TKelFileselect&) = delete;
    TKelFileselect& operator=(const TKelFileselect&) = delete;

    void Reset() override { Clear(); }
    // kind 0: the save screen, 1: the load screen.
    void Open(int32_t kind) override;
    int32_t Update(int32_t elapsed) override;
    void Draw() override;
    void Close() override;
    std::string FileName() override { return ChosenName; }
    std::string EventLabel() override { return Label; }

    // ---- what the screen does ----
    void LoadLayout(int32_t mode);
    void ShowPage(const std::string& motion);
    void SlotText(int32_t n, const std::string& file, TButtonLib& button);
    void SlotThumbnail(const std::string& file, TImageLib& image);
    std::string GetNewestFile();
    std::string NewestSlot();
    void Input(int32_t kind, int32_t x, int32_t y);
    void MouseMove(int32_t x, int32_t y);
    void DoAction(TButtonLib& button);
    void SelectSlot(int32_t k, TButtonLib& button);
    void SaveSelected();
    void LoadSelected();
    void DeleteSelected();
    void SwapSlots();
    // Exchanges two save files by renames inside the save folder; a single rename when one of them
    // is missing. On any failure every rename done is undone, the dialog of the failure is shown
    // and the result is false: both files stay whole under their own names.
    bool SwapFiles(const std::string& a, const std::string& b);
    void QuickSaveAction();
    void QuickLoadAction();
    void Cancel();
    void CancelSelection();
    void DisableItems();
    void Clear();

    // ---- fields ----
    int32_t BeginMuteTime = 0, ClickMuteTime = 0, EndMuteTime = 0;
    int32_t MuteLeft = 0;
    bool Opened = false;
    std::unique_ptr<TARGB8888> Snapshot;
    std::unique_ptr<TARGB8888> NoDataImage;
    std::vector<ImageLib::TPtr<TButtonLib>> Buttons;
    std::vector<ImageLib::TPtr<TImageLib>> Images;
    ImageLib::TPtr<TImageLib> NewMark;
    TKelScript& Owner;
    int32_t Result = 0;
    int32_t Page = 0;
    int32_t PageDataCount = 0;
    uint8_t Mode = 0;
    bool Busy = false;
    uint32_t BlendColor = 0;
    std::string FileExistsText, FileSelectText, FileEmptyExistsText, FileEmptySelectText;
    std::array<std::string, KelFileSelect::kMaxSlots> SlotFiles;
    std::array<int32_t, KelFileSelect::kMaxSlots> SlotNumbers{};
    std::string NewestFile;
    std::string LayoutName;
    int32_t LayoutMode = 0;
    std::string SelectedFile;
    std::string SecondFile;
    int32_t SelectedNo = -1;
    std::string ChosenName;  // the chosen file without its folder
    std::string Label;       // "*OnSave", "*OnLoad", "*OnQuickSave" or "*OnQuickLoad"

private:
    std::function<IKelQuickSaves*()> QuickSaves;
    std::string PageMotion;  // of the page being built
};
