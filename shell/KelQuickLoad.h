// Quick saves: a ring of numbered save files, "SaveData\QuickSaveData0.svd" up to the
// "QuickSaveCount" setting less one. NextQuickSaveFile picks where the next quick save goes: a
// free slot when there is one (the lowest), otherwise the one saved longest ago (the lowest of
// those saved at the same moment); a file that does not read is never picked. TQuickLoadForm is the small
// modal window that lists the slots newest first and lets the player pick one to load.
//
// Both only choose a name without folder; saving and loading are the caller's.
//
// The window's layout, "System\QuickSaveLoad\Layout.dat", holds key=value lines used as written:
//   FormCaption, OkButton, CancelButton   the window's and the buttons' captions
//   FileExistsText                        template of a line whose quick save reads
//   FileEmptyText                         template of a line without one
// Without the file the window keeps its own captions and lists nothing: it can only be cancelled.
//
// Templates (FormatSaveSlotText) take, every occurrence, without regard to case: "%%%yy", "%%%4y",
// "%%%mm", "%%%dd", "%%%hh", "%%%nn", "%%%ss" (parts of the save date), "%%%name0" to "%%%name3"
// (the four descriptions) and "%%%text" (the excerpt); in the window "%%%no" is the line's place
// in the list from 1.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ConfigForms.h"
#include "shell/KelSystemSeams.h"

struct TKelSaveHeader;
class IDialogOwner;
class TFileRoot;  // platform/FileRoot.h
struct TSystemData;
class TPackSet;  // foundation/PackLib.h

namespace KelQuickLoad {

constexpr const char* kLayout = "System\\QuickSaveLoad\\Layout.dat";

// "QuickSaveData" + slot + ".svd".
std::string QuickSaveName(int32_t slot);
// The name for the next quick save below the root among the game's QuickSaveCount slots, or empty
// when no slot can take it.
std::string NextQuickSaveFile(const TFileRoot& root, const TSystemData& config);
// The template with the placeholders of the save date, the descriptions and the excerpt replaced
// from the header; unchanged without one. A date that is no date of the years 1 to 9999 (or not a
// number at all) gives empty date parts.
std::string FormatSaveSlotText(std::string_view text, const TKelSaveHeader* header);
// Reads only the header of a save file ("SaveData\" + name) with the game's key (the settings'
// CodeKey); false when the file is missing, damaged or written under another key, and the header
// is then all zero.
bool ReadSaveHeader(const TFileRoot& root, const TSystemData& config, const std::string& name, TKelSaveHeader& header);

}  // namespace KelQuickLoad

// The quick-load window. Made with the game's folder the saves are below, its settings, the pack
// set its layout is read through, the settings forms it is shown on (none: nothing is shown and
// nothing is chosen) and its owner window; ShowModal runs it once.
class TQuickLoadForm final : public IFormEvents {
public:
    TQuickLoadForm(const TFileRoot& root, const TSystemData& config, const TPackSet& packs, IConfigForms* forms,
                   const IDialogOwner* owner);

    // Builds the list and shows the window; ChosenFile holds the choice afterwards.
    void ShowModal();

    // ---- what the window does ----
    void FormCreate();
    void LoadLayout();
    void FillList();
    void SortByDate();
    void SwapEntries(int32_t a, int32_t b);
    // The file of the selected line; empty for none or a line without a readable quick save.
    std::string GetSelectedFile() const;
    void OkButtonClick();
    void CancelButtonClick();
    void FileListBoxClick();

    // IFormEvents: a change of the list is a press on it (a line, or below the lines), a click
    // of it a double click.
    void Changed(IFormView& view, int32_t control) override;
    void Clicked(IFormView& view, int32_t control) override;
    void PageChanged(IFormView&) override {}
    void Timer(IFormView&) override {}

    // ---- fields ----
    std::string FileExistsText;
    std::string FileEmptyText;
    int32_t SlotCount = 0;
    std::vector<std::string> FileNames;
    std::vector<std::string> Texts;
    std::vector<double> Dates;
    std::string ChosenFile;

    TConfigForm Form;
    int32_t FileListBox = -1, OkButton = -1, CancelButton = -1;

private:
    const TFileRoot& Root;
    const TSystemData& Config;
    const TPackSet& Packs;
    IConfigForms* Forms;
};

// The engine core's quick saves on these two pieces.
class TKelQuickSaves final : public IKelQuickSaves {
public:
    TKelQuickSaves(const TFileRoot& root, const TSystemData& config, const TPackSet& packs, IConfigForms* forms,
                   const IDialogOwner* owner)
        : Root(root), Config(config), Packs(packs), Forms(forms), Owner(owner) {}
    std::string NextQuickSaveFile() override { return KelQuickLoad::NextQuickSaveFile(Root, Config); }
    std::string ChooseQuickLoadFile() override;

private:
    const TFileRoot& Root;
    const TSystemData& Config;
    const TPackSet& Packs;
    IConfigForms* Forms;
    const IDialogOwner* Owner;
};
