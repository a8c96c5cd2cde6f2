#include "shell/KelMenuLib.h"

#include <algorithm>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uInputDevice.h"
#include "foundation/uMisc.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelScreenObjects.h"
#include "platform/Encoding.h"
#include "script/KelCalculationLib.h"
#include "script/KelScriptLib.h"
#include "shell/ScreenLayout.h"

using namespace KelMenuLib;

namespace {

constexpr uint32_t kAllBits = 0xFFFFFFFF;
constexpr int32_t kTopLayer = 0xFFFF;
constexpr int32_t kSnapshotLayer = -1000;

// What locks a button of the code table when the menu opens.
enum class TLock : uint8_t {
    Never,
    Bits,            // one of the interpreter's lock bits
    Skip,            // the interpreter does not allow skipping now
    Auto,            // nor the auto mode
    SceneLabelSkip,  // nor skipping to unread text
    SceneReturn,     // there is no scene to return to
    SceneSkip,       // scene skipping is off
    QuickLoad,       // the load lock, or no quick save in the save folder
    SelectLoad,      // the load lock, or no selection save
};

struct TMenuAction {
    const char* Name;
    uint8_t Code;
    TLock Lock;
    uint32_t Bits;
};

constexpr TMenuAction kActions[] = {
    {"cancel", mcCancel, TLock::Never, 0},
    {"load", mcLoad, TLock::Bits, lkLoad},
    {"save", mcSave, TLock::Bits, lkSave},
    {"log", mcLog, TLock::Bits, lkLog},
    {"text", mcText, TLock::Never, 0},
    {"view", mcView, TLock::Bits, lkView},
    {"skip", mcSkip, TLock::Skip, 0},
    {"auto", mcAuto, TLock::Auto, 0},
    {"logskip", mcLogSkip, TLock::SceneLabelSkip, 0},
    {"screen", mcScreen, TLock::Bits, lkScreen},
    {"config", mcConfig, TLock::Bits, lkConfig},
    {"exit", mcExit, TLock::Bits, lkReset},
    {"reset", mcReset, TLock::Bits, lkReset},
    {"quicksave", mcQuickSave, TLock::Bits, lkSave},
    {"quickload", mcQuickLoad, TLock::QuickLoad, lkLoad},
    {"selectload", mcSelectLoad, TLock::SelectLoad, lkLoad},
    {"scenereturn", mcSceneReturn, TLock::SceneReturn, 0},
    {"sceneskipload", mcSceneSkipLoad, TLock::SceneSkip, 0},
    {"sceneskipnoload", mcSceneSkipNoLoad, TLock::SceneSkip, 0},
};

const TMenuAction* FindAction(const std::string& name) {
    for (const auto& a : kActions)
        if (name == a.Name) return &a;
    return nullptr;
}

// An action text split at ":", quotes and brackets grouping as in every list of the engine.
std::vector<std::string> ActionParts(const std::string& action) {
    return uMisc::SplitString(":", action, false, false, 0)->Items;
}

std::string ActionName(const std::vector<std::string>& parts) {
    return parts.empty() ? std::string() : ClassLib::LowerAscii(parts[0]);
}

// Quick saves are the numbered files "QuickSaveData0.svd" .. up to the configured count.
bool AnyQuickSave(const TFileRoot* root, const TSystemData& config) {
    if (!root) return false;
    for (int32_t i = 0; i < config.QuickSaveCount; ++i)
        if (TKelScript::SaveFileExists(*root, "QuickSaveData" + std::to_string(i) + ".svd")) return true;
    return false;
}

using TLayout = TScreenLayout;

// Loads, places and shows one item of the layout.
void Place(TImageLib& item, const TLayout& layout, const char* family, size_t i, TSound* sound) {
    layout.Place(item, kMenuFolder, family, i);
    if (sound && sound->DSound) item.SetEffectChannel(sound->DSound->Count() - 1);
    item.SetSoundVolume(255);
    item.Show();
}

}  // namespace

namespace KelMenuLib {

uint8_t ActionCode(const std::string& name) {
    const TMenuAction* a = FindAction(name);
    return a ? a->Code : static_cast<uint8_t>(mcNone);
}

}  // namespace KelMenuLib

TKelMenu::TKelMenu(TKelScript& owner) : Owner(owner) {}

TKelMenu::~TKelMenu() {
    Clear();
}

void TKelMenu::Clear() {
    Buttons.clear();
    Images.clear();
    Snapshot.reset();
    Opened = false;
    LayoutName.clear();
}

void TKelMenu::LoadLayout() {
    std::string name = kMenuFolder + Owner.State.MenuScreenFile;
    if (Owner.Packs().ResolveFileName(name).empty()) name = kDefaultLayout;
    if (name == LayoutName) return;
    Clear();
    TStringList lines;
    if (auto stream = Owner.Packs().LoadFile(name))
        lines.LoadFromStream(*stream);
    else
        Owner.Log().WriteErrorLog("[WARNING]:メニューの配置ファイルを読めません："_sj + name);
    LayoutName = name;

    const TLayout layout(lines);
    BlendColor = layout.Color("BlendColor");
    BeginMuteTime = layout.Int("BeginMuteTime");
    EndMuteTime = layout.Int("EndMuteTime");
    ClickMuteTime = layout.Int("ClickMuteTime");
    const int32_t buttons = layout.Count("ButtonCount"), images = layout.Count("ImageCount");
    IAnimationSound* sound = KelScreenObjects::AnimationSoundOf(Owner);
    TSound* library = Owner.Links.SoundLibrary;
    for (size_t i = 0; i < static_cast<size_t>(buttons); ++i) {
        auto button = ImageLib::Make<TButtonLib>(Owner.Packs(), sound);
        KelScreenObjects::LinkToGame(*button, Owner);
        button->SetUserString(0, layout.Value(TLayout::Key("btn", i, "Action")));
        Place(*button, layout, "btn", i, library);
        button->OnClick = [this](TButtonLib& b) { ButtonAction(b); };
        Buttons.push_back(std::move(button));
    }
    for (size_t i = 0; i < static_cast<size_t>(images); ++i) {
        auto image = ImageLib::Make<TImageLib>(Owner.Packs(), sound);
        KelScreenObjects::LinkToGame(*image, Owner);
        Place(*image, layout, "img", i, library);
        Images.push_back(std::move(image));
    }
}

bool TKelMenu::FindValue(const std::string& name, int32_t& value) const {
    auto* calculation = dynamic_cast<TKelCalculation*>(Owner.Calculation.get());
    if (!calculation || !Owner.Variables) return false;
    const int32_t level = std::max(Owner.Depth(), 0);
    const std::string bare = name.substr(0, name.find('['));
    if (bare.empty() || Owner.Variables->FindVariable(bare, level) == TVariableScope::None) return false;
    value = calculation->GetValue(name, level).Value;
    return true;
}

bool TKelMenu::IsLocked(const std::string& action) const {
    const std::vector<std::string> parts = ActionParts(action);
    const std::string name = ActionName(parts);
    int32_t value = 0;
    if (name == "script") return parts.size() < 2 || parts[1].empty();
    if (name == "value") return parts.size() < 2 || !FindValue(parts[1], value);
    const TMenuAction* a = FindAction(name);
    if (!a) return false;
    const bool bits = (Owner.State.Locks & a->Bits) != 0;
    switch (a->Lock) {
        case TLock::Never:
            return false;
        case TLock::Bits:
            return bits;
        case TLock::Skip:
            return !Owner.IsSkipAllowed();
        case TLock::Auto:
            return !Owner.IsAutoAllowed();
        case TLock::SceneLabelSkip:
            return !Owner.IsSceneLabelSkipAllowed();
        case TLock::SceneReturn:
            return !Owner.CanSceneReturn();
        case TLock::SceneSkip:
            return !Owner.IsSceneSkipEnabled();
        case TLock::QuickLoad:
            return bits || !AnyQuickSave(Owner.Links.Files, Owner.Config().Config);
        case TLock::SelectLoad:
            return bits || !Owner.Links.Files || !TKelScript::SaveFileExists(*Owner.Links.Files, "SelectSaveData.svd");
    }
    return false;
}

void TKelMenu::Open(int32_t) {
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(Owner);
    if (graphic) graphic->CellDraw()->Clear();
    LoadLayout();

    Snapshot = std::make_unique<TARGB8888>();
    Owner.Draw(0, false, kTopLayer);
    if (graphic) Snapshot->Assign(graphic->GetScreenSurface());
    // Rows 0..1024 at least, and every row of a taller screen.
    if (BlendColor != 0)
        Snapshot->FillRectEx(BlendColor, bmBlend, 0, 0, static_cast<float>(Snapshot->Width()),
                             static_cast<float>(Snapshot->Height()), 0, std::max(1024, Snapshot->Height()));
    // Opaque after the blend too, which mixes the alpha as well: a still picture with less alpha
    // would let the cleared frame under it through and come out darker than the blend colour says.
    Snapshot->FillAlpha(0, 0, 9999, 9999, 255);
    Snapshot->Changed();

    for (auto& button : Buttons) {
        button->SetLocked(false);
        button->SetChecked(false);
        button->Enable();
        button->SetMotion("*enable", true);
        const std::string action = button->UserString(0);
        if (IsLocked(action)) button->SetLocked(true);
        const std::vector<std::string> parts = ActionParts(action);
        int32_t value = 0;
        if (ActionName(parts) == "value" && parts.size() >= 2 && FindValue(parts[1], value))
            button->SetChecked(value != 0);
    }
    for (auto& image : Images) {
        image->Enable();
        image->SetMotion("*enable", true);
    }
    Opened = true;
    Result = mcNone;
    MuteLeft = BeginMuteTime;
}

int32_t TKelMenu::Update(int32_t elapsed) {
    MuteLeft = std::max(0, MuteLeft - std::max(elapsed, 0));
    if (!Opened) return mcNone;
    if (MuteLeft == 0 && Result != mcNone) return Result;
    if (MuteLeft == 0 && Owner.Links.Input) {
        const TInput& input = *Owner.Links.Input;
        const int32_t x = input.MouseX, y = input.MouseY;
        MouseMove(x, y);
        using namespace uInputDevice;
        if (input.Check(kReleased | 1)) Input(kClick, x, y);
        int32_t number = 0;
        const bool menuKey = Owner.ReadKeyAction(number) == kaMenu;
        if (input.Check(kReleased | 2) || input.Check(kPressed | 0x1B) || input.Check(kPressed | 8) ||
            input.Check(kPressed | 13) || menuKey)
            Input(kCancel, x, y);
    }
    for (auto& button : Buttons)
        button->Update(kAllBits, elapsed);
    for (auto& image : Images)
        image->Update(kAllBits, elapsed);
    return mcNone;
}

void TKelMenu::Input(int32_t kind, int32_t x, int32_t y) {
    if (kind == kClick) {
        // An action may run statements; the buttons stay as they are meanwhile.
        for (size_t i = 0; i < Buttons.size(); ++i)
            Buttons[i]->Click(kAllBits, x, y);
    } else if (kind == kCancel && Opened) {
        Result = mcCancel;
        MuteLeft = EndMuteTime;
        DisableItems();
    }
}

void TKelMenu::MouseMove(int32_t x, int32_t y) {
    for (auto& button : Buttons)
        button->MouseMove(kAllBits, x, y);
}

void TKelMenu::DisableItems() {
    for (auto& button : Buttons)
        button->Disable();
    for (auto& image : Images)
        image->Disable();
}

void TKelMenu::ButtonAction(TButtonLib& button) {
    const std::vector<std::string> parts = ActionParts(button.UserString(0));
    const std::string name = ActionName(parts);
    if (const uint8_t code = ActionCode(name)) {
        Result = code;
    } else if (name == "script" && parts.size() == 2) {
        Owner.ExecuteCommandString(parts[1]);
    } else if (name == "value" && parts.size() == 2) {
        int32_t value = 0;
        auto* calculation = dynamic_cast<TKelCalculation*>(Owner.Calculation.get());
        if (calculation && FindValue(parts[1], value)) {
            calculation->SetVariableInteger(parts[1], std::max(Owner.Depth(), 0), value == 0 ? 1 : 0);
            // The check shows what the variable holds now, also when it could not be written.
            if (FindValue(parts[1], value)) button.SetChecked(value != 0);
        }
    }
    MuteLeft = ClickMuteTime;
}

void TKelMenu::Draw() {
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(Owner);
    TARGB8888CellDraw* cells = graphic ? graphic->CellDraw() : nullptr;
    if (!Opened || !Snapshot || !cells) return;
    const auto w = static_cast<float>(Snapshot->Width()), h = static_cast<float>(Snapshot->Height());
    cells->AddDraw(Snapshot.get(), 0, 0, 0, 0, 0, w, h, kSnapshotLayer, 0, 255, 0, 0xFFFFFF, bmBlend);
    for (auto& image : Images)
        image->Draw(cells, kAllBits, 0, 0);
    for (auto& button : Buttons)
        button->Draw(cells, kAllBits, 0, 0);
    cells->Render(0xFF000000, Owner.Config().Config.Interlace == 1, kTopLayer);
}
