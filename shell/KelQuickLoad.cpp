#include "shell/KelQuickLoad.h"

#include <cstdio>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "script/KelSaveData.h"
#include "shell/KelSystemLib.h"

using KelSystemLib::ReplaceMarker;

namespace KelQuickLoad {

std::string QuickSaveName(int32_t slot) {
    return "QuickSaveData" + std::to_string(slot) + ".svd";
}

bool ReadSaveHeader(const TFileRoot& root, const TSystemData& config, const std::string& name, TKelSaveHeader& header) {
    TKelSaveData save(config.CodeKey);
    const std::string path = KelSaveData::SaveFilePath(name);
    if (!path.empty() && save.LoadFromFile(root, path, false, false)) {
        header = save.Header;
        return true;
    }
    // What a refused file left half read is not shown: its date may be any bytes.
    header = TKelSaveHeader();
    return false;
}

std::string NextQuickSaveFile(const TFileRoot& root, const TSystemData& config) {
    std::string result;
    double best = 0;
    for (int32_t i = 0; i < config.QuickSaveCount; ++i) {
        const std::string name = QuickSaveName(i);
        if (!root.FileExists(KelSaveData::SaveFilePath(name))) return name;
        TKelSaveHeader header;
        if (!ReadSaveHeader(root, config, name, header)) continue;
        if (result.empty() || header.Date < best) {
            result = name;
            best = header.Date;
        }
    }
    return result;
}

std::string FormatSaveSlotText(std::string_view text, const TKelSaveHeader* header) {
    if (!header) return std::string(text);
    std::array<int32_t, 6> f{};
    const bool dated = KelSaveData::DecodeDate(header->Date, f);
    auto part = [&](int32_t value, const char* format) {
        if (!dated) return std::string();
        char buf[16];
        std::snprintf(buf, sizeof buf, format, value);
        return std::string(buf);
    };
    std::string s = ReplaceMarker(text, "%%%yy", part(f[0] % 100, "%02d"));
    s = ReplaceMarker(s, "%%%4y", part(f[0], "%04d"));
    s = ReplaceMarker(s, "%%%mm", part(f[1], "%02d"));
    s = ReplaceMarker(s, "%%%dd", part(f[2], "%02d"));
    s = ReplaceMarker(s, "%%%hh", part(f[3], "%02d"));
    s = ReplaceMarker(s, "%%%nn", part(f[4], "%02d"));
    s = ReplaceMarker(s, "%%%ss", part(f[5], "%02d"));
    for (int k = 0; k < 4; ++k)
        s = ReplaceMarker(s, "%%%name" + std::to_string(k), header->Descriptions[static_cast<size_t>(k)]);
    return ReplaceMarker(s, "%%%text", header->Excerpt);
}

}  // namespace KelQuickLoad

// ---- the window ----

TQuickLoadForm::TQuickLoadForm(const TFileRoot& root, const TSystemData& config, const TPackSet& packs,
                               IConfigForms* forms, const IDialogOwner* owner)
    : Root(root), Config(config), Packs(packs), Forms(forms) {
    Form.Caption = "クイックロード"_sj;
    Form.ClientWidth = 400;
    Form.ClientHeight = 239;
    Form.Owner = owner;
    FileListBox = Form.Add(TFormControlKind::ListBox, "FileListBox", -1, -1, 0, 0, 400, 201);
    Form[FileListBox].Value = -1;
    OkButton = Form.Add(TFormControlKind::Button, "OkButton", -1, -1, 168, 208, 99, 25, "ロードする"_sj);
    CancelButton = Form.Add(TFormControlKind::Button, "CancelButton", -1, -1, 288, 208, 97, 25, "キャンセル"_sj);
    Form.CloseButton = CancelButton;
}

void TQuickLoadForm::ShowModal() {
    FormCreate();
    if (!Forms || !Forms->ShowModal(Form, *this)) ChosenFile.clear();
}

void TQuickLoadForm::FormCreate() {
    ChosenFile.clear();
    LoadLayout();
    FillList();
    Form[OkButton].Enabled = false;
}

void TQuickLoadForm::LoadLayout() {
    SlotCount = 0;
    if (auto stream = Packs.LoadFile(KelQuickLoad::kLayout)) {
        TStringList lines;
        lines.LoadFromStream(*stream);
        Form.Caption = lines.Values("FormCaption");
        Form[CancelButton].Caption = lines.Values("CancelButton");
        Form[OkButton].Caption = lines.Values("OkButton");
        SlotCount = std::max(Config.QuickSaveCount, 0);
        FileExistsText = lines.Values("FileExistsText");
        FileEmptyText = lines.Values("FileEmptyText");
    }
    const auto n = static_cast<size_t>(SlotCount);
    FileNames.assign(n, std::string());
    Texts.assign(n, std::string());
    Dates.assign(n, 0.0);
}

void TQuickLoadForm::FillList() {
    for (int32_t i = 0; i < SlotCount; ++i) {
        const auto k = static_cast<size_t>(i);
        FileNames[k].clear();
        Texts[k] = FileEmptyText;
        Dates[k] = 0;
        const std::string name = KelQuickLoad::QuickSaveName(i);
        if (!Root.FileExists(KelSaveData::SaveFilePath(name))) continue;
        TKelSaveHeader header;
        if (KelQuickLoad::ReadSaveHeader(Root, Config, name, header)) {
            FileNames[k] = name;
            Texts[k] = FileExistsText;
            Dates[k] = header.Date;
        }
        Texts[k] = KelQuickLoad::FormatSaveSlotText(Texts[k], &header);
    }
    SortByDate();
    for (int32_t k = 0; k < SlotCount; ++k)
        Texts[static_cast<size_t>(k)] = ReplaceMarker(Texts[static_cast<size_t>(k)], "%%%no", std::to_string(k + 1));
    Form.SetItems(FileListBox, Texts);
    Form[FileListBox].Value = -1;
}

void TQuickLoadForm::SortByDate() {
    for (int32_t i = 0; i + 1 < SlotCount; ++i) {
        int32_t best = i;
        for (int32_t j = i + 1; j < SlotCount; ++j)
            if (Dates[static_cast<size_t>(j)] > Dates[static_cast<size_t>(best)]) best = j;
        SwapEntries(i, best);
    }
}

void TQuickLoadForm::SwapEntries(int32_t a, int32_t b) {
    if (a == b) return;
    const auto i = static_cast<size_t>(a), j = static_cast<size_t>(b);
    std::swap(FileNames[i], FileNames[j]);
    std::swap(Texts[i], Texts[j]);
    std::swap(Dates[i], Dates[j]);
}

std::string TQuickLoadForm::GetSelectedFile() const {
    const int32_t k = Form[FileListBox].Value;
    if (k < 0 || k >= SlotCount) return {};
    return FileNames[static_cast<size_t>(k)];
}

void TQuickLoadForm::FileListBoxClick() {
    Form[OkButton].Enabled = !GetSelectedFile().empty();
}

void TQuickLoadForm::OkButtonClick() {
    const std::string file = GetSelectedFile();
    if (file.empty()) return;
    ChosenFile = file;
    Form.Closed = true;
}

void TQuickLoadForm::CancelButtonClick() {
    ChosenFile.clear();
    Form.Closed = true;
}

void TQuickLoadForm::Changed(IFormView&, int32_t control) {
    if (control == FileListBox) FileListBoxClick();
}

void TQuickLoadForm::Clicked(IFormView&, int32_t control) {
    if (control == OkButton || control == FileListBox)
        OkButtonClick();
    else if (control == CancelButton)
        CancelButtonClick();
}

// ---- the engine core's side ----

std::string TKelQuickSaves::ChooseQuickLoadFile() {
    TQuickLoadForm form(Root, Config, Packs, Forms, Owner);
    form.ShowModal();
    return form.ChosenFile;
}
