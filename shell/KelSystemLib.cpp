#include "shell/KelSystemLib.h"

#include <algorithm>
#include <exception>
#include <new>

#include "foundation/GameContext.h"
#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uDialogMisc.h"
#include "foundation/uInputDevice.h"
#include "foundation/uMisc_Math.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "objects/KelButtonCommands.h"
#include "objects/KelClipboardCommands.h"
#include "objects/KelConfigCommands.h"
#include "objects/KelCursorImage.h"
#include "objects/KelDialogCommands.h"
#include "objects/KelEffectCommands.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelImageCommands.h"
#include "objects/KelInputCommands.h"
#include "objects/KelLogdataLib.h"
#include "objects/KelMessageCommands.h"
#include "objects/KelSaveRecords.h"
#include "objects/KelScreenObjects.h"
#include "objects/KelSoundCommands.h"
#include "objects/KelUtilityCommands.h"
#include "objects/ScriptObjectDLL.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/FileSystem.h"
#include "script/KelListCommands.h"
#include "script/KelScriptLib.h"
#include "script/KelServiceCommands.h"
#include "script/KelSystemCommands.h"
#include "script/uLabelLog.h"
#include "shell/KelFileSelect.h"
#include "shell/KelGraphicPresenter.h"
#include "shell/KelLogLib.h"
#include "shell/KelMenuLib.h"
#include "shell/KelQuickLoad.h"
#include "shell/KelSaveLink.h"
#include "shell/KelVirtualFiles.h"

using namespace KelSystemLib;

namespace {

// The set-up's one-button dialogs, texts from the message table, over the main window.
class TScriptDialogLink final : public IScriptDialogs {
public:
    TScriptDialogLink(IKelHost& host, const TStringList& messages, const TDialogHost& dialogs)
        : Host(host), Messages(messages), Dialogs(dialogs) {}
    void ShowMessage(const std::string& messageKey, const std::string& buttonKey) override {
        uDialogMisc::ShowDialog1(Dialogs, "", Messages.Values(messageKey), Messages.Values(buttonKey),
                                 Host.DialogOwner());
    }

private:
    IKelHost& Host;
    const TStringList& Messages;
    TDialogHost Dialogs;
};

std::string GoCommand(std::string_view label, std::string_view file) {
    return "\\go,\"" + std::string(label) + "\",\"" + std::string(file) + "\"";
}

}  // namespace

// ---- limiter arithmetic and caption ----

namespace KelSystemLib {

int32_t FramePeriod(int32_t fpsLimit, bool skipping) {
    return skipping ? 0 : 1000 / std::max(fpsLimit, 10);
}

// The clock is 32 bits wide and wraps after 49.7 days; the difference is taken modulo 2^32 so a
// wrap between two frames is one ordinary step, not a stop of all frames for the next 49 days.
int64_t ElapsedSince(int64_t lastFrameTime, int64_t now) {
    return static_cast<int64_t>(
        static_cast<uint32_t>(static_cast<uint64_t>(now) - static_cast<uint64_t>(lastFrameTime)));
}

int64_t Remaining(int32_t period, int64_t elapsed) {
    return period - elapsed;
}

// Sleeping is coarse, so the final 4 ms before a frame is due are spent in idle calls that come
// back at once; that keeps the start of each frame near its time. The longest sleep is 97 ms.
uint32_t SleepFor(int64_t remaining) {
    remaining = std::min<int64_t>(remaining, 100);
    return remaining > 4 ? static_cast<uint32_t>(remaining - 3) : 0;
}

int32_t ClampDelta(int64_t elapsed) {
    return static_cast<int32_t>(std::clamp<int64_t>(elapsed, 1, 5000));
}

std::string ReplaceMarker(std::string_view text, std::string_view marker, std::string_view by) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        bool match = i + marker.size() <= text.size();
        for (size_t k = 0; match && k < marker.size(); ++k) {
            char a = text[i + k], b = marker[k];
            if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
            if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
            match = a == b;
        }
        if (match && !marker.empty()) {
            out.append(by);
            i += marker.size();
            continue;
        }
        // A two-byte character is copied whole: its second byte never starts a marker.
        if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size()) out.push_back(text[i++]);
        out.push_back(text[i++]);
    }
    return out;
}

std::string BuildCaption(std::string_view format, int32_t fpsLimit, int32_t delta, int32_t busyAverage) {
    const int32_t fps = std::min(fpsLimit, 1000 / std::max(delta, 1));
    // 1000 div "FPSLimit" is 0 (or undefined) for limits outside -1000..1000 and for 0: the
    // figure is then 0.
    const int32_t period = fpsLimit == 0 ? 0 : 1000 / fpsLimit;
    const int32_t cpu = period == 0 ? 0 : std::min(static_cast<int32_t>(int64_t{busyAverage} * 100 / period), 100);
    std::string s = ReplaceMarker(format, "%%%fps", std::to_string(fps));
    s = ReplaceMarker(s, "%%%limit", std::to_string(fpsLimit));
    return ReplaceMarker(s, "%%%cpu", std::to_string(cpu));
}

bool LoadGameData(TSystemConfig& config, const TPackSet& packs) {
    if (!config.LoadSystemSettings(packs)) return false;
    config.LoadUserDefaults(packs);
    return true;
}

}  // namespace KelSystemLib

// ---- life cycle ----

TKelSystem::TKelSystem(TGameContext& context) : Context(context) {}

TKelSystem::~TKelSystem() {
    if (Sound) Sound->SetActive(false);
    Menu.reset();
    Log.reset();
    ConfigForm.reset();
    FileSelect.reset();
    // The system interpreter reads its system variables from the game interpreter's table; it is
    // let go of that table before the table goes.
    if (SystemScript && SystemScript->Variables) SystemScript->Variables->UseSystemTableOf(nullptr);
    GameScript.reset();
    SystemScript.reset();
    LabelLogs[0].reset();
    LabelLogs[1].reset();
    Movie.reset();
    Sound.reset();
    Input.reset();
    LogData.reset();
    // After the interpreters: their plug-in objects still call into the libraries when freed.
    DllObjects.reset();
    MovieState.reset();
    if (DirectXPack) DirectXPack->SetDisplayResetEvents(nullptr, nullptr);
    if (Host) {
        Context.Packs.FileExistsHook = nullptr;
        Context.Packs.LoadFileHook = nullptr;
    }
}

bool TKelSystem::SetupScript(TKelScript& script, TKelScript* parent) {
    script.Kinds = &Kinds;
    TScriptLinks links;
    links.Context = &Context;
    links.Media = Media;
    links.OwnerWindow = Host;
    links.DialogOwner = Host ? Host->DialogOwner() : nullptr;
    links.Forms = ScriptForms;
    links.Input = Input.get();
    links.Dialogs = ScriptDialogs.get();
    links.ReadTextLog = LabelLogs[0].get();
    links.FileUseLog = LabelLogs[1].get();
    links.Movie = Movie ? Movie->Object() : nullptr;
    links.BackLog = LogData.get();
    links.SaveData = SaveFolder.get();
    links.Clipboard = Host ? Host->Clipboard() : nullptr;
    links.Desktop = Host ? Host->Desktop() : nullptr;
    links.Files = Files;
    links.Clock = Clock;
    links.MessageForms = MessageForms;
    links.Title = Title;
    links.LineReplacer = LineReplacer;
    links.RegExp = RegExp;
    links.Plugins = DllObjects.get();
    if (Sound) {
        links.Sound = Sound->ScriptSound();
        links.SoundLibrary = Sound->Library();
    }
    if (!script.Setup(links, parent)) return false;
    return true;
}

bool TKelSystem::Setup(IKelHost& host, IKelDisplay* display) {
    Host = &host;
    Context.Packs.FileExistsHook = [this](const std::string& name) { return VirtualFileExists(name); };
    Context.Packs.LoadFileHook = [this](const std::string& name) { return VirtualFileOpen(name); };
    DirectXPack = display;

    Context.Random.LoadRandomTable(Context.Packs);
    Context.Config.LoadSpeakerLists(Context.Packs);
    Context.Config.LoadFontCandidateLists(Context.Packs);

    // A plug-in library that cannot be bound raises here and ends the set-up.
    DllObjects = std::make_unique<TKelDLLCustomObject>(Context.Config.Config,
                                                       Files ? Files->Folder() : FileSystem::CurrentFolder());
    LogData = std::make_unique<TKelLogData>();
    Input = std::make_unique<TInput>(host.InputSource(), *Clock);
    ScriptDialogs = std::make_unique<TScriptDialogLink>(host, Context.Config.MessageTable, DialogHost());
    LabelLogs[0] = std::make_unique<TLabelLog>();
    LabelLogs[1] = std::make_unique<TLabelLog>();

    // Each interpreter makes its compositor and camera at its set-up; frames reach the display
    // through them. Image objects that the scripts declare are real screen objects.
    KelGraphicLib::Register(Kinds);
    KelScreenObjects::Register(Kinds);
    // The words of the effect, back-log, camera, sound and movie objects.
    KelEffectCommands::Register(Kinds);
    KelSoundCommands::Register(Kinds);
    // Every interpreter owns its two cursor images; the words of images and cursors reach them.
    KelCursorImage::Register(Kinds);
    KelImageCommands::Register(Kinds);
    KelMessageCommands::Register(Kinds);
    // The words of buttons and scroll bars.
    KelButtonCommands::Register(Kinds);
    // String lists and text files; the text dialog, search folders, replace rules and label logs;
    // the forms of the dialog words.
    KelListCommands::Register(Kinds);
    KelServiceCommands::Register(Kinds);
    KelDialogCommands::Register(Kinds);
    // The words of the system, save-file and system-data objects, and the records of save games
    // that the screen objects, the sound and the movie keep.
    KelSystemCommands::Register(Kinds);
    KelSaveRecords::Register(Kinds);
    if (!SaveFolder) SaveFolder = std::make_unique<TKelSaveLink>(*this);
    if (!GameState) GameState = std::make_unique<TKelGameState>();
    // The settings, the small services, the input device, the key bindings and the clipboard.
    KelConfigCommands::Register(Kinds);
    KelUtilityCommands::Register(Kinds);
    KelInputCommands::Register(Kinds);
    KelClipboardCommands::Register(Kinds);
    // Objects of the plug-in libraries' types, and their words.
    ScriptObjectDLL::Register(Kinds);
    if (!Presenter) Presenter = std::make_unique<TKelGraphicPresenter>(display, Media ? &Media->Interlace : nullptr);

    GameScript = std::make_unique<TKelScript>();
    if (!SetupScript(*GameScript, nullptr)) return false;
    SystemScript = std::make_unique<TKelScript>();
    if (!SetupScript(*SystemScript, GameScript.get())) return false;

    if (ConfigForm) {
        ConfigForm->Init(GameScript.get(), Sound.get());
        ConfigForm->ApplyFonts();
        ConfigForm->ApplyVolumes();
        ConfigForm->ApplyMessageAlpha();
        ConfigForm->ApplyCacheSizes();
        ConfigForm->ApplyCrcCheck();
    }
    if (!Menu) Menu = std::make_unique<TKelMenu>(*GameScript);
    if (!Log) Log = std::make_unique<TKelLog>(*GameScript);
    if (!FileSelect) FileSelect = std::make_unique<TKelFileselect>(*GameScript, [this] { return QuickSaves.get(); });
    // Without forms to show the quick-load window on, nothing is chosen from it.
    if (!QuickSaves && Files)
        QuickSaves =
            std::make_unique<TKelQuickSaves>(*Files, Context.Config.Config, Context.Packs, nullptr, host.DialogOwner());
    if (DirectXPack)
        DirectXPack->SetDisplayResetEvents([this] { BeforeDisplayReset(); }, [this] { AfterDisplayReset(); });

    SetMode(kmIdle, 0);
    Active = true;
    CaptionElapsed = 0;
    BusyAverage = 0;
    return true;
}

void TKelSystem::Start() {
    if (ConfigForm) ConfigForm->ApplyConfig();
    CursorAutoHideOff();
    Reset("", "");
    // A jump runs no lines, so the first frame begins at "@@top"; later resets begin at "@@reset".
    GameScript->ExecuteCommandString(GoCommand("@@top", "StartUp.s"));
}

void TKelSystem::SetActive(bool active) {
    if (active == Active) return;
    if (Sound) Sound->SetActive(active);
    Active = active;
}

TKelScript* TKelSystem::CurrentScript() {
    return Mode == kmSystemScript ? SystemScript.get() : GameScript.get();
}

void TKelSystem::SetMode(uint8_t mode, int32_t parameter) {
    Mode = mode;
    ModeParameter = parameter;
    FramesInMode = 0;
}

bool TKelSystem::VirtualFileExists(const std::string& name) {
    return KelVirtualFiles::Exists(Files, name);
}

std::unique_ptr<TMemoryStream> TKelSystem::VirtualFileOpen(const std::string& name) {
    return KelVirtualFiles::Open(Files, Context.Config.Config.CodeKey, name, GameScript.get(), SystemScript.get());
}

// ---- the frame ----

uint8_t TKelSystem::Frame() {
    uint8_t result = 0;
    if (RunGuarded([&] { result = RunFrame(); })) return result;
    // The first failure stops the script as an error does; one while the error screen is up ends
    // the game.
    if (ErrorState == 0) return Mode;
    SetMode(kmExit);
    return kmExit;
}

bool TKelSystem::RunGuarded(const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const std::bad_alloc&) {
        LogFailure(nullptr);
    } catch (const std::exception& e) {
        LogFailure(e.what());
    }
    return false;
}

// Logging allocates as well, and may fail again while memory is short: the flag is raised all
// the same, so that the script stays stopped.
void TKelSystem::LogFailure(const char* what) {
    try {
        Context.Log.ErrorLog(what ? "内部エラー："_sj + what : "メモリが足りません。"_sj);
    } catch (...) {
        Context.Log.ErrorFlag = true;
    }
}

uint8_t TKelSystem::RunFrame() {
    uint8_t result = 0;
    const int64_t now = Clock->NowMs();
    const int32_t period = FramePeriod(Context.Config.Config.FPSLimit, Context.Config.Config.Skipping);
    const int64_t elapsed = ElapsedSince(LastFrameTime, now);
    const int64_t remaining = Remaining(period, elapsed);
    if (remaining >= 0) {
        if (uint32_t ms = SleepFor(remaining)) Clock->SleepMs(ms);
        return 0;
    }
    const int32_t delta = ClampDelta(elapsed);
    LastFrameTime = now;
    const int64_t frameStart = now;
    // A stream that failed to decode on the mixer's thread is reported here, in the frame after.
    if (TSound* library = Sound ? Sound->Library() : nullptr) library->LogDecodeErrors();

    if (Context.Log.ErrorFlag) ErrorState = kErrorStateOn;
    if ((Mode == kmConfigDialog || ErrorState) && Host && !Host->IsActiveWindow()) return 0;
    if (!Active) return 0;

    if (Presenter) Presenter->ToggleInterlaceField();
    RunMode(delta);
    if (ErrorState) DrawErrorScreen();

    result = Mode;
    ++FramesInMode;

    const int32_t busy = static_cast<int32_t>(ElapsedSince(frameStart, Clock->NowMs()));
    BusyAverage = (BusyAverage + busy) / 2;
    CaptionElapsed += delta;
    if (CaptionElapsed > 1000) {
        const int32_t fps = Context.Config.Config.FPSLimit;
        if (Host) Host->SetCaption(BuildCaption(Context.Config.Config.FormCaption, fps, delta, BusyAverage));
        CaptionElapsed = 0;
        BusyAverage = busy;
    }
    return result;
}

void TKelSystem::RunMode(int32_t elapsed) {
    switch (Mode) {
        case kmConfirmExit:
            ConfirmExit();
            break;
        case kmExit:
            DoExit();
            break;
        case kmConfirmReset:
            ConfirmReset();
            break;
        case kmGameScript:
        case kmSystemScript:
            RunScript(elapsed);
            break;
        case kmMenu:
            RunMenu(elapsed);
            break;
        case kmLogScreen:
            RunLogScreen(elapsed);
            break;
        case kmSaveScreen:
            RunFileScreen(elapsed, false);
            break;
        case kmLoadScreen:
            RunFileScreen(elapsed, true);
            break;
        case kmConfigDialog:
            RunConfigDialog();
            break;
        default:
            break;
    }
}

void TKelSystem::DrawErrorScreen() {
    if (Input) Input->Update();
    LastFrameTime = Clock->NowMs();
    if (TKelScript* s = CurrentScript()) s->Draw(Context.Config.Config.Interlace == 1 ? 1 : 0, true, 0xFFFF);
    Redraw(false);
    Context.Log.ErrorFlag = false;
    if (!Host) return;
    TCanvasText t;
    t.FontName = "ＭＳ ゴシック"_sj;
    t.FontHeight = 12;
    t.Color = 0x0288FFFF;  // red 255, green 255, blue 136
    t.BrushColor = 0x02000000;
    t.X = 20;
    t.Y = 100;
    t.Text = "■スクリプトエラー"_sj;
    Host->CanvasText(t);
    const TStringList& errors = Context.Log.ErrorList;
    for (int i = 0; i < errors.Count() && i < 31; ++i) {
        t.Y = 150 + 12 * i;
        t.Text = errors[i];
        Host->CanvasText(t);
    }
}

void TKelSystem::Redraw(bool full) {
    if (!DirectXPack || !DirectXPack->Ready()) return;
    TKelScript* script = CurrentScript();
    if (!script || !Presenter || !Presenter->CanPresent(*script)) return;
    const bool interlaced = Context.Config.Config.Interlace == 1;
    if (Movie && Movie->GetState() == 2) return;
    if (!DirectXPack->TestBackBuffer()) {
        if (Host && !Host->IsActiveWindow()) return;
        if (!DirectXPack->Reinitialize()) {
            const TStringList& m = Context.Config.MessageTable;
            uDialogMisc::ShowDialog1(DialogHost(), "", m.Values("BackBufferResetERROR"), m.Values("OK"),
                                     Host ? Host->DialogOwner() : nullptr);
            if (Host) Host->Terminate();
            return;
        }
    }
    if (Mode >= kmMenu && Mode <= kmLoadScreen)
        Presenter->PresentCellDraw(*script, full, interlaced && !full);
    else
        Presenter->Present(*script, full, interlaced && !full);
}

// ---- script modes and requests ----

void TKelSystem::RunScript(int32_t elapsed) {
    if (ErrorState) return;
    if (Input) Input->Update();
    TKelScript* script = CurrentScript();
    script->Execute(elapsed, true);
    script->Draw(Context.Config.Config.Interlace == 1 ? 1 : 0, true, 0xFFFF);
    const uint8_t request = script->Request;
    if (request == 0) {
        Redraw(false);
        return;
    }
    DoRequest(request, script->RequestArgument);
}

bool TKelSystem::CallSystemScript(const std::string& label) {
    if (label.empty()) return false;
    if (TKelScript* s = CurrentScript()) s->StopRunMode();
    SetMode(kmSystemScript);
    SystemScript->Reset();
    SystemScript->ExecuteCommandString(GoCommand(label, "SysStartUp.s"));
    InvalidateAll(SystemScript.get());
    return true;
}

void TKelSystem::DoRequest(uint8_t request, const std::string& argument) {
    // Every request but these first tries its argument as a label of the system script.
    if (request >= srExit && request <= srMinimize && request != srResetLabel && request != srEnterSystem &&
        request != srLeaveSystem && CallSystemScript(argument))
        return;
    switch (request) {
        case srExit:
            SetMode(kmExit);
            break;
        case srExitConfirm:
            SetMode(kmConfirmExit);
            break;
        case srMenu:
            SetMode(kmMenu);
            break;
        case srLog:
            SetMode(kmLogScreen);
            break;
        case srFullScreen:
            if (DirectXPack) DirectXPack->ToggleFullScreen();
            break;
        case srApplyConfig:
            if (ConfigForm) ConfigForm->ApplyConfig();
            break;
        case srResetConfirm:
            SetMode(kmConfirmReset);
            break;
        case srResetLabel:
            ResetToLabel(argument);
            break;
        case srSave:
            SetMode(kmSaveScreen);
            break;
        case srLoad:
            SetMode(kmLoadScreen);
            break;
        case srConfig:
            SetMode(kmConfigDialog, -1);
            break;
        case srView:
            SetMode(kmGameScript);
            SetGameRunMode(TRunMode::View);
            break;
        case srAuto:
            SetMode(kmGameScript);
            SetGameRunMode(TRunMode::Auto);
            break;
        case srSkip:
            SetMode(kmGameScript);
            SetGameRunMode(TRunMode::Skip);
            break;
        case srSkipRead:
            SetMode(kmGameScript);
            SetGameRunMode(TRunMode::SkipRead);
            break;
        case srQuickSave:
            QuickSave();
            break;
        case srQuickLoad:
            QuickLoad();
            break;
        case srSelectLoad:
            SelectLoad();
            break;
        case srVolumePage:
            SetMode(kmConfigDialog, 1);
            break;
        case srVoicePage:
            SetMode(kmConfigDialog, 2);
            break;
        case srSceneReturn:
            SceneReturn();
            break;
        case srEnterSystem:
            if (TKelScript* s = CurrentScript()) s->StopRunMode();
            SetMode(kmSystemScript);
            SystemScript->Reset();
            SystemScript->ExecuteCommandString(GoCommand(argument, "SysStartUp.s"));
            InvalidateAll(SystemScript.get());
            break;
        case srLeaveSystem:
            SystemScript->Reset();
            if (TKelScript* s = CurrentScript()) s->StopRunMode();
            SetMode(kmGameScript);
            InvalidateAll(GameScript.get());
            break;
        case srMinimize:
            Minimize();
            break;
        default:
            break;
    }
}

void TKelSystem::ResetToLabel(const std::string& argument) {
    const size_t comma = argument.find(',');
    if (comma != std::string::npos && argument.find(',', comma + 1) == std::string::npos)
        Reset(argument.substr(0, comma), argument.substr(comma + 1));
    else
        Reset("", "");
}

void TKelSystem::Minimize() {
    if (DirectXPack && DirectXPack->IsFullScreen()) DirectXPack->ToggleFullScreen();
    if (Host) Host->Minimize();
}

void TKelSystem::Reset(const std::string& label, const std::string& file) {
    SetActive(true);
    Context.Log.ClearErrorLog();
    SystemScript->Reset();
    GameScript->Reset();
    if (LogData) LogData->Clear();
    if (Menu) Menu->Reset();
    if (FileSelect) FileSelect->Reset();
    if (Log) Log->Reset();
    if (Sound) Sound->StopAll();
    if (Movie) Movie->Close();
    SetMode(kmGameScript);
    if (label.empty() || file.empty())
        GameScript->ExecuteCommandString(GoCommand("@@reset", "startup.s"));
    else
        GameScript->ExecuteCommandString(GoCommand(label, file));
    ErrorState = 0;
}

// ---- confirmations, exit, configuration ----

// A two-button question over the main window, its texts from the message table by key.
int32_t TKelSystem::Confirm(const char* text, const char* yes, const char* no) {
    const TStringList& m = Context.Config.MessageTable;
    return uDialogMisc::ShowDialog2(DialogHost(), "", m.Values(text), m.Values(yes), m.Values(no),
                                    Host ? Host->DialogOwner() : nullptr);
}

void TKelSystem::ConfirmExit() {
    CursorAutoHideOff();
    Redraw(true);
    SetMode(Confirm("EXIT_Text", "EXIT_Yes", "EXIT_no") == 1 ? kmExit : kmGameScript);
}

void TKelSystem::ConfirmReset() {
    CursorAutoHideOff();
    Redraw(true);
    if (Confirm("RESET_Text", "RESET_Yes", "RESET_no") == 1) Reset("", "");
    SetMode(kmGameScript);
}

void TKelSystem::DoExit() {
    CursorAutoHideOff();
    StopGameRunMode();
    SetMode(kmIdle);
}

void TKelSystem::RunConfigDialog() {
    CursorAutoHideOff();
    Redraw(true);
    StopGameRunMode();
    if (ConfigForm) {
        ConfigForm->SelectPage(ModeParameter);
        ConfigForm->ShowModal();
    }
    SetMode(kmGameScript);
    Redraw(true);
}

// ---- screens ----

bool TKelSystem::OpenScreen(IKelScreen* screen, int32_t kind) {
    CursorAutoHideOff();
    if (Input) Input->Update();
    if (FramesInMode != 1) return false;
    StopGameRunMode();
    if (screen) screen->Open(kind);
    LastFrameTime = Clock->NowMs();
    return true;
}

// A screen whose unit is missing answers as if it was left at once.
void TKelSystem::RunMenu(int32_t elapsed) {
    OpenScreen(Menu.get(), 0);
    const int32_t code = (Menu ? Menu->Update(elapsed) : 1) & 0x7F;
    // Without save games and permission tests every run mode is allowed.
    auto allowed = [this](bool (IKelGameState::*test)(TKelScript&)) {
        return !GameState || (GameState.get()->*test)(*GameScript);
    };
    switch (code) {
        case 0:
            if (Menu) Menu->Draw();
            Redraw(false);
            return;
        case 1:
            SetMode(kmGameScript);
            break;
        case 2:
            SetMode(kmLoadScreen);
            break;
        case 3:
            SetMode(kmSaveScreen);
            break;
        case 4:
            SetMode(kmLogScreen);
            break;
        case 5:
            SetMode(kmGameScript);
            HoldGameFrames();
            break;
        case 6:
            if (allowed(&IKelGameState::IsViewAllowed)) SetGameRunMode(TRunMode::View);
            SetMode(kmGameScript);
            break;
        case 7:
            if (allowed(&IKelGameState::IsSkipAllowed)) SetGameRunMode(TRunMode::Skip);
            SetMode(kmGameScript);
            break;
        case 8:
            if (allowed(&IKelGameState::IsAutoAllowed)) SetGameRunMode(TRunMode::Auto);
            SetMode(kmGameScript);
            break;
        case 9:
            if (allowed(&IKelGameState::IsSceneLabelSkipAllowed)) SetGameRunMode(TRunMode::SkipRead);
            SetMode(kmGameScript);
            break;
        case 10:
            if (DirectXPack) DirectXPack->ToggleFullScreen();
            SetMode(kmGameScript);
            break;
        case 11:
            SetMode(kmConfigDialog, -1);
            break;
        case 12:
            SetMode(kmConfirmExit);
            break;
        case 13:
            SetMode(kmConfirmReset);
            break;
        case 14:
            QuickSave();
            SetMode(kmGameScript);
            break;
        case 15:
            QuickLoad();
            SetMode(kmGameScript);
            break;
        case 16:
            SelectLoad();
            SetMode(kmGameScript);
            break;
        case 17:
            if (GameState && GameState->CanSceneReturn(*GameScript)) SceneReturn();
            SetMode(kmGameScript);
            break;
        case 18:  // the scene-skip actions have no action of their own here
        case 19:
            SetMode(kmGameScript);
            break;
        default:
            SetMode(kmGameScript);
            HoldGameFrames();
            break;
    }
}

void TKelSystem::RunLogScreen(int32_t elapsed) {
    OpenScreen(Log.get(), 0);
    if ((Log ? Log->Update(elapsed) : 1) == 0) {
        Log->Draw();
        Redraw(false);
        return;
    }
    SetMode(kmGameScript);
    Redraw(true);
    if (Log) Log->Close();
    HoldGameFrames();
}

void TKelSystem::RunFileScreen(int32_t elapsed, bool load) {
    OpenScreen(FileSelect.get(), load ? 1 : 0);
    const int32_t result = FileSelect ? FileSelect->Update(elapsed) : -1;
    if (result == 0) {
        FileSelect->Draw();
        Redraw(false);
    } else if (result == -1) {
        SetMode(kmGameScript);
        Redraw(true);
        if (FileSelect) FileSelect->Close();
        HoldGameFrames();
    } else if (result == 1) {
        const std::string name = FileSelect->FileName();
        if (GameState) {
            if (!load) {
                if (SaveInto(name)) GameScript->PendingCursorLabel = FileSelect->EventLabel();
            } else if (GameState->SaveFileExists(*GameScript, name)) {
                GameState->LoadGame(*GameScript, name);
                GameScript->PendingCursorLabel = FileSelect->EventLabel();
            }
        }
        SetMode(kmGameScript);
        HoldGameFrames();
    }
}

// ---- quick save, loads, scene return ----

void TKelSystem::QuickSave() {
    const std::string file = QuickSaves ? QuickSaves->NextQuickSaveFile() : std::string();
    if (!file.empty()) SaveInto(file);
    GameScript->PendingCursorLabel = "*OnQuickSave";
    SetMode(kmGameScript);
    HoldGameFrames();
}

// The save replaces the file only once the new one is complete: a failed save leaves the old
// file whole, and the player is told.
bool TKelSystem::SaveInto(const std::string& name) {
    if (!GameState) return false;
    if (GameState->SaveGame(*GameScript, name, true)) return true;
    if (!name.empty()) {
        const TStringList& m = Context.Config.MessageTable;
        uDialogMisc::ShowDialog1(DialogHost(), "%%%app", m.Values("WriteSaveFileError"), m.Values("OK"),
                                 Host ? Host->DialogOwner() : nullptr);
    }
    return false;
}

void TKelSystem::QuickLoad() {
    const std::string file = QuickSaves ? QuickSaves->ChooseQuickLoadFile() : std::string();
    if (!file.empty()) {
        if (GameState) GameState->LoadGame(*GameScript, file);
        GameScript->PendingCursorLabel = "*OnQuickLoad";
    }
    SetMode(kmGameScript);
    HoldGameFrames();
}

void TKelSystem::SelectLoad() {
    const std::string file = "SelectSaveData.svd";
    if (!GameState || !GameState->SaveFileExists(*GameScript, file)) return;
    if (Confirm("SelectLoad_Text", "SelectLoad_Yes", "SelectLoad_no") != 1) return;
    GameState->LoadGame(*GameScript, file);
    SetMode(kmGameScript);
    HoldGameFrames();
    GameScript->PendingCursorLabel = "*OnSelectLoad";
}

void TKelSystem::SceneReturn() {
    if (!GameState || !GameState->CanSceneReturn(*GameScript)) return;
    GameState->SceneReturn(*GameScript);
    SetMode(kmGameScript);
    HoldGameFrames();
    GameScript->PendingCursorLabel = "*OnSceneReturn";
}

// ---- display-mode change ----

void TKelSystem::BeforeDisplayReset() {
    MovieState.reset();
    if (!Movie) return;
    MovieState = std::make_unique<TMemoryStream>();
    Movie->SaveToStream(*MovieState);
    Movie->Close();
}

void TKelSystem::AfterDisplayReset() {
    if (!MovieState) return;
    MovieState->SetPosition(0);
    if (Movie) {
        Movie->Close();
        Movie->LoadFromStream(*MovieState);
    }
    MovieState.reset();
}

// ---- helpers ----

void TKelSystem::StopGameRunMode() {
    if (GameScript) GameScript->StopRunMode();
}

void TKelSystem::SetGameRunMode(TRunMode runMode) {
    GameScript->State.RunMode = runMode;
}

void TKelSystem::HoldGameFrames() {
    GameScript->HoldFrameSteps();
}

void TKelSystem::InvalidateAll(TKelScript* script) {
    if (script && Presenter) Presenter->InvalidateAll(*script);
}

void TKelSystem::CursorAutoHideOff() {
    if (Input) Input->SetCursorHideTime(0);
}
