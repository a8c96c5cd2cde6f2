#include "shell/KelFileSelect.h"

#include <algorithm>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uDialogMisc.h"
#include "foundation/uInputDevice.h"
#include "media/AnimationBmpLib.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelScreenObjects.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "script/KelSaveData.h"
#include "script/KelScriptLib.h"
#include "shell/KelQuickLoad.h"
#include "shell/KelSystemLib.h"
#include "shell/ScreenLayout.h"

using KelSystemLib::ReplaceMarker;

namespace {

constexpr uint32_t kAllBits = 0xFFFFFFFF;
constexpr int32_t kTopLayer = 0xFFFF;
constexpr int32_t kSnapshotLayer = -1000;

KelFileSelect::TRenameCall RenameCall = [](const TFileRoot& root, std::string_view from, std::string_view to) {
    return root.RenameFile(from, to);
};

// Whether a save file is there below the interpreter's game folder.
bool SaveExists(const TKelScript& script, const std::string& file) {
    return script.Links.Files && script.Links.Files->FileExists(file);
}

using TLayout = TScreenLayout;

void SetSound(TImageLib& item, TSound* sound) {
    if (sound && sound->DSound) item.SetEffectChannel(sound->DSound->Count() - 1);
    item.SetSoundVolume(255);
}

// K when the action is the prefix followed by K (0 to 15, decimal, no leading zero); else -1.
int32_t Numbered(const std::string& action, std::string_view prefix) {
    for (int32_t k = 0; k < KelFileSelect::kPageCount; ++k)
        if (action == std::string(prefix) + std::to_string(k)) return k;
    return -1;
}

std::string WithoutFolder(const std::string& file) {
    const size_t slash = file.find_last_of('\\');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

std::string Message(const TKelScript& script, const char* key) {
    return script.Config().MessageTable.Values(key);
}

bool SameText(const std::string& a, const std::string& b) {
    return ClassLib::LowerAscii(a) == ClassLib::LowerAscii(b);
}

}  // namespace

namespace KelFileSelect {

std::string SlotFile(int32_t n) {
    return std::string(KelSaveData::kSaveFolder) + "SaveData" + std::to_string(n) + ".svd";
}

TRenameCall SetRenameCall(TRenameCall call) {
    const TRenameCall previous = RenameCall;
    RenameCall = call;
    return previous;
}

}  // namespace KelFileSelect

TKelFileselect::TKelFileselect(TKelScript& owner, std::function<IKelQuickSaves*()> quickSaves)
    : Owner(owner), QuickSaves(std::move(quickSaves)) {
    Clear();
}

TKelFileselect::~TKelFileselect() {
    Clear();
}

void TKelFileselect::Clear() {
    Buttons.clear();
    Images.clear();
    Snapshot.reset();
    NewMark.reset();
    NoDataImage.reset();
    Opened = false;
    LayoutName.clear();
}

void TKelFileselect::Close() {
    Clear();
    ChosenName.clear();
    Result = 0;
}

// ---- the layout ----

void TKelFileselect::LoadLayout(int32_t mode) {
    const std::string& scriptName = mode == 0 ? Owner.State.SaveScreenFile : Owner.State.LoadScreenFile;
    std::string name = KelFileSelect::kFolder + scriptName;
    if (scriptName.empty() || Owner.Packs().ResolveFileName(name).empty())
        name = mode == 0 ? KelFileSelect::kSaveLayout : KelFileSelect::kLoadLayout;
    if (name == LayoutName) return;
    Clear();
    TStringList lines;
    if (auto stream = Owner.Packs().LoadFile(name))
        lines.LoadFromStream(*stream);
    else
        Owner.Log().WriteErrorLog("[WARNING]:セーブ・ロード画面の配置ファイルを読めません："_sj + name);
    LayoutName = name;

    const TLayout layout(lines);
    LayoutMode = layout.Int("mode");
    const int32_t buttons = layout.Count("ButtonCount"), images = layout.Count("ImageCount");
    // The slot lists hold 32 entries: a larger count is cut to them.
    PageDataCount = std::clamp(layout.Int("PageDataCount"), 0, KelFileSelect::kMaxSlots);
    BlendColor = layout.Color("BlendColor");
    BeginMuteTime = layout.Int("BeginMuteTime");
    ClickMuteTime = layout.Int("ClickMuteTime");
    EndMuteTime = layout.Int("EndMuteTime");
    FileExistsText = layout.Text("FileExistsText");
    FileSelectText = layout.Text("FileSelectText");
    FileEmptyExistsText = layout.Text("FileEmptyExistsText");
    FileEmptySelectText = layout.Text("FileEmptySelectText");

    NoDataImage = std::make_unique<TARGB8888>();
    const std::string noData = "system\\fileselect\\" + layout.Text("NoData");
    const size_t dot = noData.find_last_of('.');
    const std::string ext = dot == std::string::npos ? std::string() : ClassLib::LowerAscii(noData.substr(dot));
    if (ext == ".bmp" || ext == ".jpg" || ext == ".png")
        if (auto stream = Owner.Packs().LoadFile(noData))
            NoDataImage->LoadFromStream(stream.get(), ext, {Owner.Links.MessageForms, Owner.Links.Title});

    IAnimationSound* sound = KelScreenObjects::AnimationSoundOf(Owner);
    TSound* library = Owner.Links.SoundLibrary;
    for (size_t i = 0; i < static_cast<size_t>(buttons); ++i) {
        auto button = ImageLib::Make<TButtonLib>(Owner.Packs(), sound);
        KelScreenObjects::LinkToGame(*button, Owner);
        button->SetUserString(0, layout.Value(TLayout::Key("btn", i, "Action")));
        layout.Place(*button, KelFileSelect::kFolder, "btn", i);
        const std::string text = TLayout::Key("btn", i, "TextSize");
        button->SetTextRect(layout.Number(text, 0), layout.Number(text, 1), layout.Number(text, 2),
                            layout.Number(text, 3));
        button->Show();
        SetSound(*button, library);
        Buttons.push_back(std::move(button));
    }
    for (size_t i = 0; i < static_cast<size_t>(images); ++i) {
        auto image = ImageLib::Make<TImageLib>(Owner.Packs(), sound);
        KelScreenObjects::LinkToGame(*image, Owner);
        image->SetUserString(0, layout.Value(TLayout::Key("img", i, "Action")));
        layout.Place(*image, KelFileSelect::kFolder, "img", i);
        SetSound(*image, library);
        image->Show();
        Images.push_back(std::move(image));
    }
    NewMark = ImageLib::Make<TImageLib>(Owner.Packs(), sound);
    KelScreenObjects::LinkToGame(*NewMark, Owner);
    const std::vector<std::string> mark = layout.List("newimg.filename");
    auto markFile = [&](size_t k) { return mark[k].empty() ? std::string() : KelFileSelect::kFolder + mark[k]; };
    NewMark->LoadImages(markFile(0), markFile(1), "", "", "", false, false);
    SetSound(*NewMark, library);
    NewMark->Hide();
    Opened = true;
}

// ---- opening and the page ----

void TKelFileselect::Open(int32_t kind) {
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(Owner);
    if (graphic) graphic->CellDraw()->Clear();
    LoadLayout(kind);

    Snapshot = std::make_unique<TARGB8888>();
    Owner.Draw(0, false, kTopLayer);
    if (graphic) Snapshot->Assign(graphic->GetScreenSurface());
    if (BlendColor != 0)
        Snapshot->FillRectEx(BlendColor, bmBlend, 0, 0, static_cast<float>(Snapshot->Width()),
                             static_cast<float>(Snapshot->Height()), 0, std::max(1024, Snapshot->Height()));
    // Opaque after the blend, which mixes the alpha as well.
    Snapshot->FillAlpha(0, 0, 9999, 9999, 255);
    Snapshot->Changed();

    Result = 0;
    ChosenName.clear();
    Label.clear();
    SecondFile.clear();
    SelectedFile.clear();
    SelectedNo = -1;
    Mode = kind == 0 ? 0 : 1;
    ShowPage("*Enable");
    MuteLeft = BeginMuteTime;
}

void TKelFileselect::ShowPage(const std::string& motion) {
    if (!Opened) return;
    Busy = true;
    PageMotion = motion;
    for (int32_t i = 0; i < PageDataCount; ++i) {
        SlotNumbers[static_cast<size_t>(i)] = Page * PageDataCount + i;
        SlotFiles[static_cast<size_t>(i)] = KelFileSelect::SlotFile(Page * PageDataCount + i);
    }
    NewMark->Hide();
    const bool selected = !SelectedFile.empty();
    const bool selectedExists = selected && SaveExists(Owner, SelectedFile);
    for (auto& b : Buttons) {
        TButtonLib& button = *b;
        const std::string action = button.UserString(0);
        if (const int32_t k = Numbered(action, "page"); k >= 0) {
            if (k == Page) {
                button.SetLocked(true);
            } else {
                button.SetMotion(motion, true);
                button.SetLocked(false);
            }
        } else if (const int32_t k = Numbered(action, "data"); k >= 0) {
            if (k >= PageDataCount) {
                // A slot beyond the page's count: shown empty and never chosen.
                SlotText(-1, std::string(), button);
                button.SetLocked(true);
                continue;
            }
            button.SetLocked(false);
            SlotText(SlotNumbers[static_cast<size_t>(k)], SlotFiles[static_cast<size_t>(k)], button);
            if (SameText(GetNewestFile(), SlotFiles[static_cast<size_t>(k)])) {
                NewMark->MoveTo(button.GetAnchorX(0), button.GetAnchorY(0), button.GetZ() + 100, 0);
                NewMark->Enable();
            }
        } else if (action == "open") {
            const bool locked = Mode == 1 ? !selectedExists : !selected;
            button.SetLocked(locked);
            if (!locked) button.SetMotion(motion, true);
        } else if (action == "delete") {
            button.SetLocked(!selectedExists);
            if (selectedExists) button.SetMotion(motion, true);
        } else if (action == "selectcancel") {
            button.SetLocked(!selected);
            if (selected) button.SetMotion(motion, true);
        } else if (action == "cancel" || action == "quickload" || action == "quicksave") {
            button.SetChecked(false);
            button.SetMotion(motion, true);
        } else if (action == "select") {
            button.SetInputMask(0);
            if (selected) {
                SlotText(SelectedNo, SelectedFile, button);
                button.Enable();
            } else {
                button.Hide();
            }
        }
    }
    for (auto& i : Images) {
        TImageLib& image = *i;
        const std::string action = image.UserString(0);
        if (const int32_t k = Numbered(action, "data"); k >= 0) {
            SlotThumbnail(k < PageDataCount ? SlotFiles[static_cast<size_t>(k)] : std::string(), image);
        } else if (action == "select") {
            image.SetInputMask(0);
            if (selected) {
                SlotThumbnail(SelectedFile, image);
                image.Enable();
            } else {
                image.Hide();
            }
        }
    }
    Busy = false;
}

void TKelFileselect::SlotText(int32_t n, const std::string& file, TButtonLib& button) {
    button.Hide();
    button.SetFadeTime(0);
    button.SetChecked(!file.empty() && file == SelectedFile);
    const bool isSelect = button.UserString(0) == "select";
    TKelSaveHeader header;
    const bool reads =
        !file.empty() && Owner.Links.Files &&
        KelQuickLoad::ReadSaveHeader(*Owner.Links.Files, Owner.Config().Config, WithoutFolder(file), header);
    std::string text;
    const std::string number = n >= 0 ? std::to_string(n + 1) : std::string();
    if (reads) {
        text = ReplaceMarker(isSelect ? FileSelectText : FileExistsText, "%%%no", number);
        text = KelQuickLoad::FormatSaveSlotText(text, &header);
    } else {
        text = ReplaceMarker(isSelect ? FileEmptySelectText : FileEmptyExistsText, "%%%no", number);
    }
    button.ClearText();
    button.AddText(text);
    button.Enable();
    button.SetMotion(PageMotion, true);
}

void TKelFileselect::SlotThumbnail(const std::string& file, TImageLib& image) {
    TAnimationBMP* animation = image.Animation.get();
    if (animation && animation->Images && animation->Images->Count() > 0) {
        TABMPImageData10& picture = *animation->Images->Items[0];
        TKelSaveData save(Owner.Config().Config.CodeKey);
        const std::string path = file.empty() ? std::string() : KelSaveData::SaveFilePath(WithoutFolder(file));
        if (!path.empty() && Owner.Links.Files && save.LoadFromFile(*Owner.Links.Files, path, true, false)) {
            TARGB8888 thumbnail;
            if (!save.Thumbnail.empty()) {
                TMemoryStream bytes(save.Thumbnail);
                thumbnail.LoadFromBmpStream(&bytes);
            }
            picture.SetImage(&thumbnail);
        } else if (NoDataImage) {
            picture.SetImage(NoDataImage.get());
        }
    }
    image.Hide();
    image.Enable();
    image.SetMotion(PageMotion, true);
}

// ---- the newest save ----

std::string TKelFileselect::GetNewestFile() {
    if (NewestFile.empty()) NewestFile = NewestSlot();
    return NewestFile;
}

std::string TKelFileselect::NewestSlot() {
    std::string best = "none";
    double bestDate = 0;
    for (int32_t n = 0; n < KelFileSelect::kPageCount * PageDataCount; ++n) {
        const std::string file = KelFileSelect::SlotFile(n);
        if (!SaveExists(Owner, file)) continue;
        TKelSaveHeader header;
        if (!KelQuickLoad::ReadSaveHeader(*Owner.Links.Files, Owner.Config().Config, WithoutFolder(file), header))
            continue;
        if (header.Date >= bestDate) {
            best = file;
            bestDate = header.Date;
        }
    }
    return best;
}

// ---- frames ----

int32_t TKelFileselect::Update(int32_t elapsed) {
    if (!Opened) return 0;
    MuteLeft = std::max(0, MuteLeft - std::max(elapsed, 0));
    if (MuteLeft == 0 && Result != 0) return Result;
    if (MuteLeft == 0 && Owner.Links.Input) {
        const TInput& input = *Owner.Links.Input;
        const int32_t x = input.MouseX, y = input.MouseY;
        MouseMove(x, y);
        using namespace uInputDevice;
        if (input.Check(kReleased | 1)) Input(kClick, x, y);
        if (input.Check(kReleased | 2)) Input(kCancel, x, y);
        for (TKeyCode key : {0x1B, 8, 13})
            if (input.Check(kPressed | key)) Input(kCancel, x, y);
        int32_t number = 0;
        const int32_t action = Owner.ReadKeyAction(number);
        if (action == kaSave || action == kaLoad) Input(kCancel, x, y);
    }
    for (auto& button : Buttons)
        button->Update(kAllBits, elapsed);
    for (auto& image : Images)
        image->Update(kAllBits, elapsed);
    if (NewMark) NewMark->Update(kAllBits, elapsed);
    return 0;
}

void TKelFileselect::MouseMove(int32_t x, int32_t y) {
    for (auto& button : Buttons)
        button->MouseMove(kAllBits, x, y);
    for (auto& image : Images)
        image->MouseMove(kAllBits, x, y);
}

void TKelFileselect::Input(int32_t kind, int32_t x, int32_t y) {
    if (kind == kClick) {
        for (auto& button : Buttons) {
            if (!button->Click(kAllBits, x, y)) continue;
            DoAction(*button);
            return;
        }
    } else if (kind == kCancel) {
        if (!SelectedFile.empty()) {
            SelectedFile.clear();
            SecondFile.clear();
            SelectedNo = -1;
            ShowPage("*Continue");
        } else {
            Result = -1;
            DisableItems();
            MuteLeft = EndMuteTime;
        }
    }
}

void TKelFileselect::DisableItems() {
    for (auto& button : Buttons)
        button->Disable();
    for (auto& image : Images)
        image->Disable();
    if (NewMark) NewMark->Disable();
}

void TKelFileselect::Draw() {
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(Owner);
    TARGB8888CellDraw* cells = graphic ? graphic->CellDraw() : nullptr;
    if (!Opened || !Snapshot || !cells) return;
    const auto w = static_cast<float>(Snapshot->Width()), h = static_cast<float>(Snapshot->Height());
    cells->AddDraw(Snapshot.get(), 0, 0, 0, 0, 0, w, h, kSnapshotLayer, 0, 255, 0, 0xFFFFFF, bmBlend);
    for (auto& button : Buttons)
        button->Draw(cells, kAllBits, 0, 0);
    for (auto& image : Images)
        image->Draw(cells, kAllBits, 0, 0);
    if (NewMark) NewMark->Draw(cells, kAllBits, 0, 0);
    cells->Render(0xFF000000, Owner.Config().Config.Interlace == 1, kTopLayer);
}

// ---- actions ----

void TKelFileselect::DoAction(TButtonLib& button) {
    if (Busy) return;
    for (auto& b : Buttons)
        b->Update(kAllBits, 10);
    const std::string action = ClassLib::LowerAscii(button.UserString(0));
    if (const int32_t k = Numbered(action, "data"); k >= 0) {
        if (k >= PageDataCount) return;
        if (SelectedFile.empty()) {
            SelectSlot(k, button);
            return;
        }
        SecondFile = SlotFiles[static_cast<size_t>(k)];
        if (button.IsChecked()) {
            Mode == 1 ? LoadSelected() : SaveSelected();
        } else if (LayoutMode == 0) {
            SwapSlots();
        } else {
            SelectSlot(k, button);
        }
    } else if (const int32_t k = Numbered(action, "page"); k >= 0) {
        Page = k;
        if (LayoutMode == 0)
            ShowPage("*Continue");
        else
            CancelSelection();
    } else if (action == "cancel") {
        Cancel();
    } else if (action == "selectcancel") {
        CancelSelection();
    } else if (action == "open") {
        Mode == 1 ? LoadSelected() : SaveSelected();
    } else if (action == "quicksave") {
        QuickSaveAction();
    } else if (action == "quickload") {
        QuickLoadAction();
    } else if (action == "delete") {
        DeleteSelected();
    }
}

void TKelFileselect::SelectSlot(int32_t k, TButtonLib& button) {
    SelectedFile = SlotFiles[static_cast<size_t>(k)];
    SelectedNo = SlotNumbers[static_cast<size_t>(k)];
    button.SetChecked(true);
    ShowPage("*Continue");
}

void TKelFileselect::CancelSelection() {
    SelectedFile.clear();
    SecondFile.clear();
    SelectedNo = -1;
    ShowPage("*Continue");
}

void TKelFileselect::Cancel() {
    ChosenName.clear();
    Label.clear();
    Result = -1;
    MuteLeft = ClickMuteTime;
}

namespace {

const IDialogOwner* DialogOwnerOf(TKelScript& script) {
    return script.Links.DialogOwner;
}

TDialogHost DialogHostOf(TKelScript& script) {
    return {script.Links.MessageForms, script.Links.Title};
}

void ShowOne(TKelScript& script, const char* caption, const char* text) {
    uDialogMisc::ShowDialog1(DialogHostOf(script), caption, Message(script, text), Message(script, "OK"),
                             DialogOwnerOf(script));
}

}  // namespace

void TKelFileselect::SaveSelected() {
    if (SelectedFile.empty()) {
        ShowOne(Owner, "", "NOSELECT_Text");
        CancelSelection();
        return;
    }
    if (SaveExists(Owner, SelectedFile)) {
        const std::string text = Message(Owner, "OVERSAVE_Text"), yes = Message(Owner, "OVERSAVE_Yes"),
                          no = Message(Owner, "OVERSAVE_No");
        if (uDialogMisc::ShowDialog2(DialogHostOf(Owner), "", text, yes, no, DialogOwnerOf(Owner)) == 0) {
            CancelSelection();
            return;
        }
    }
    ChosenName = WithoutFolder(SelectedFile);
    Label = "*OnSave";
    Result = 1;
    MuteLeft = ClickMuteTime;
    NewestFile = SelectedFile;
}

void TKelFileselect::LoadSelected() {
    if (SelectedFile.empty()) {
        ShowOne(Owner, "", "NOSELECT_Text");
        CancelSelection();
    } else if (SaveExists(Owner, SelectedFile)) {
        ChosenName = WithoutFolder(SelectedFile);
        Label = "*OnLoad";
        Result = 1;
        MuteLeft = ClickMuteTime;
    } else {
        ShowOne(Owner, "", "NOFILEOPEN_Text");
        CancelSelection();
    }
}

void TKelFileselect::DeleteSelected() {
    if (SelectedFile.empty()) {
        ShowOne(Owner, "", "NOSELECT_Text");
    } else if (SaveExists(Owner, SelectedFile)) {
        const std::string text = Message(Owner, "DELETE_Text"), yes = Message(Owner, "DELETE_Yes"),
                          no = Message(Owner, "DELETE_No");
        if (uDialogMisc::ShowDialog2(DialogHostOf(Owner), "", text, yes, no, DialogOwnerOf(Owner)) == 1) {
            if (!Owner.Links.Files->DeleteFile(SelectedFile)) ShowOne(Owner, "%%%app", "DeleteSaveFileError");
            if (SameText(NewestFile, SelectedFile)) NewestFile.clear();
        }
    } else {
        ShowOne(Owner, "", "NOFILEDELETE_Text");
    }
    CancelSelection();
}

void TKelFileselect::SwapSlots() {
    if (!SwapFiles(SelectedFile, SecondFile)) ShowOne(Owner, "%%%app", "SwapSaveFileError");
    CancelSelection();
}

bool TKelFileselect::SwapFiles(const std::string& a, const std::string& b) {
    if (a == b) return true;
    if (!Owner.Links.Files) return false;
    const TFileRoot& root = *Owner.Links.Files;
    const bool hasA = root.FileExists(a), hasB = root.FileExists(b);
    // A file that is there but cannot be read is left where it is.
    std::string bytes;
    if ((hasA && !root.ReadFile(a, bytes)) || (hasB && !root.ReadFile(b, bytes))) return false;
    if (!hasA && !hasB) return true;
    // A name of the save folder that no file has, for A while B takes its place.
    std::string temporary;
    for (int i = 0; temporary.empty() || root.FileExists(temporary); ++i) {
        if (i >= 100) return false;
        temporary = a + ".swap" + std::to_string(i);
    }
    if (hasA && !RenameCall(root, a, temporary)) {
        ShowOne(Owner, "%%%app", "DeleteSaveFileError");
        return false;
    }
    if (hasB && !RenameCall(root, b, a)) {
        if (hasA) RenameCall(root, temporary, a);
        ShowOne(Owner, "%%%app", "DeleteSaveFileError");
        return false;
    }
    if (hasA && !RenameCall(root, temporary, b)) {
        if (hasB) RenameCall(root, a, b);
        RenameCall(root, temporary, a);
        ShowOne(Owner, "%%%app", "WriteSaveFileError");
        return false;
    }
    return true;
}

void TKelFileselect::QuickSaveAction() {
    IKelQuickSaves* quick = QuickSaves ? QuickSaves() : nullptr;
    ChosenName = quick ? WithoutFolder(quick->NextQuickSaveFile()) : std::string();
    Label = "*OnQuickSave";
    Result = 1;
    MuteLeft = ClickMuteTime;
}

void TKelFileselect::QuickLoadAction() {
    IKelQuickSaves* quick = QuickSaves ? QuickSaves() : nullptr;
    const std::string file = quick ? quick->ChooseQuickLoadFile() : std::string();
    if (file.empty()) {
        CancelSelection();
        return;
    }
    ChosenName = WithoutFolder(file);
    Label = "*OnQuickLoad";
    Result = 1;
    MuteLeft = ClickMuteTime;
}
