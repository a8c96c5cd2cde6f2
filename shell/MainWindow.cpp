#include "shell/MainWindow.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "foundation/DisplayComponent.h"
#include "foundation/DisplayStarter.h"
#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/SoundComponent.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uDialogMisc.h"
#include "foundation/uDllSystemInfo.h"
#include "foundation/uMisc_Math.h"
#include "media/ARGB8888Lib.h"
#include "media/AnimationBmpLib.h"
#include "media/IconFile.h"
#include "media/KelDirectShow.h"
#include "media/VorbisBinding.h"
#include "objects/ScriptObjectDLL.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/ProcessSignals.h"
#include "script/KelScriptLib.h"
#include "script/uBregExpLib.h"
#include "script/uScriptReplaceDLL.h"
#include "shell/DisplayStarterLink.h"
#include "shell/KelConfigLib.h"
#include "shell/KelMovieLink.h"
#include "shell/KelQuickLoad.h"
#include "shell/KelSoundLink.h"
#include "shell/StartupMenuLib.h"
#include "shell/uExitDialog.h"

namespace {

// Thrown where the program must end at once (a damaged pack entry): it unwinds whatever was under
// way up to the idle handler, the start-up or the close, which let the program end in order. It
// is no std::exception, so that no guard on the way takes it for a failure of its own.
struct EProgramEnd {};

constexpr const char* kIconFile = "system\\etc\\icon.ico";
constexpr const char* kBackupSave = "BackUpSaveData.svd";

// Keys of the window system.
constexpr uint16_t kVkF10 = 0x79, kVkMenu = 0x12, kVkLWin = 0x5B, kVkRWin = 0x5C, kVkApps = 0x5D;

// A system colour value 0x02BBGGRR as an opaque picture colour.
uint32_t ColorRefToARGB(uint32_t c) {
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

}  // namespace

namespace Unit1 {

std::string NoMMXText() {
    return "このアプリケーションを動かすためにはMMX機能が必要です。"_sj;
}
std::string NoPacksText() {
    return "起動に必要なデータがみつからないため起動できません。"_sj;
}
std::string NoGameDataText() {
    return "設定に必要なデータがみつからないため起動できません。"_sj;
}
std::string FixedOkText() {
    return "ＯＫ"_sj;
}
std::string CloseLabelFailedText() {
    return "指定されたラベルジャンプに失敗しました："_sj;
}
std::string DamagedEntryText() {
    return "パックのデータが壊れています："_sj;
}

void RunMessageLoop(TForm1& form, IMainWindow& window) {
    while (!form.Ended()) {
        if (ProcessSignals::EndRequested() != 0) {
            form.EndInOrder();
            break;
        }
        window.PumpEvents();
        const int64_t last = form.Engine ? form.Engine->LastFrameTime : -1;
        form.AppIdle();
        if (!form.Ended() && form.Engine && form.Engine->LastFrameTime == last) window.WaitForEvents(1);
    }
}

bool IsSwallowedKey(uint16_t key) {
    return key == kVkF10 || key == kVkMenu || key == kVkLWin || key == kVkRWin || key == kVkApps;
}

}  // namespace Unit1

using namespace Unit1;

// ---- creation and destruction ----

TForm1::TForm1(IMainWindow& window, const TPlatformHost& devices) : Window(window), Devices(devices) {
    State = 0;
    ScreenshotLock = std::make_unique<TPrintScreenLock>(250, Devices.Clipboard);
    ScreenshotLock->SetText("***");
    ScreenshotLock->SetEnabled(false);
    PopupMenu1.Items = {{"表示"_sj, [this] { Show1Click(); }}};
    // A fake clock seeds the same way every run, so that runs on it repeat exactly.
    Context.Random.RandSeed = Devices.Clock->NowMs();
    // The game's folder is the root of every relative path by now (the program sets it first); the
    // error log is written there.
    if (Devices.Files) Context.Log.SetLogFolder(Devices.Files->Folder());
    Media.Sounds.Log = &Context.Log;
    if (Devices.Files) Context.Config.LoadDiskMessageTable(*Devices.Files);
    Context.Packs.UseFiles(Devices.Files);
    ARGB8888Font::Install(Media.Fonts, Devices.Fonts, &Context.Config);
    // A picture of the cache that turns out a JPEG the decoder refuses is told of over the window.
    Media.Pictures.Notices = DialogHost();
    CanvasFont.Cache = &Media.Fonts.Cache;
    CanvasFont.SetSystemFont("ＭＳ ゴシック"_sj, 1);

    if (Devices.Display) {
        DDDD71 = std::make_unique<TDDDD7>(Devices.Display);
        DDDD71->SetDebugOption(ddoHaltOnError);
        if (Devices.Files) DDDD71->SetDebugLogFolder(Devices.Files->Folder());
        DDDD71->BackColor = 0;
        DDDD71->AutoDisplayModeInitialize = false;
        DDDD71->DisableScreenSaver = true;
        DDDD71->Use3D = false;
        DDDD71->VsyncAtWindowed = false;
        DDDD71->Owner = &Window;
        DDDD71->Log = &Context.Log;
        DDDD71->Dialogs = DialogHost();
        // A failing display call ends the program: during the start-up through the display's own
        // failure dialog, later through the orderly end of the program.
        DDDD71->OnHalt = [this](const std::string& reason) {
            DisplayFailure = reason;
            if (State == 1) Terminate();
        };
        DDDD71->Loaded();
    }
    DDSD71 = std::make_unique<TDDSD7>(Devices.Audio);
    DDSD71->Log = &Context.Log;
    // A sound failure that ends the program leaves its text in the error log first, the one trace
    // the player and the game maker get of why the game vanished.
    DDSD71->SetHaltHandler([this](const std::string& text) {
        Context.Log.WriteErrorLog(text);
        std::exit(1);
    });
    DDSD71->SetDebugOption(dsoHaltOnError);
    if (Devices.Files) DDSD71->SetDebugFolder(Devices.Files->Folder());
    DDSD71->SetChannelCount(16);
    Window.SetEvents(this);
    if (Devices.Forms && Devices.Files)
        ShowStartupMenu = [this] {
            TStartupMenu menu(Context.Config, *Devices.Forms, *Devices.Files, Context.Packs, &Window, DialogHost(),
                              *Devices.Clock);
            menu.Log = &Context.Log;
            menu.SystemInfo = Context.SystemInfo.get();
            menu.Interlace = &Media.Interlace;
            if (menu.Animation) menu.Animation->Random = &Context.Random;
            return menu.ShowModal();
        };
}

TForm1::~TForm1() {
    Window.SetEvents(nullptr);
    // Nothing read from here on may end the program a second time.
    Context.Packs.OnPackError = nullptr;
    // The engine core is there only after the packs were opened in the game's folder.
    if (Engine && DirectXPack && WriteSettings) Context.Config.SaveUserSettings(*Devices.Files);
    if (Engine) TKelScript::DeleteSaveFile(*Devices.Files, kBackupSave);
    // The engine core clears its events on the display starter as it goes, so the starter and its
    // seam go after it.
    Movie = nullptr;
    Engine.reset();
    DisplaySeam.reset();
    DirectXPack.reset();
    Tray.reset();
    Vorbis.reset();
    RegExp.reset();
    LineReplace.reset();
    Context.SystemInfo.reset();
    Context.Packs.ClosePacks();
    DDSD71.reset();
    DDDD71.reset();
    ScreenshotLock.reset();
}

// ---- the idle handler and the start-up ----

void TForm1::AppIdle() {
    if (Ended() || !Window.Showing() || Busy) return;
    Busy = true;
    UpdateTrayMode();
    if (Tray) Tray->Idle();
    if (Closing) {
        Close();
        Busy = false;
        return;
    }
    uint8_t mode = KelSystemLib::kmIdle;
    try {
        if (State == 0) RunStartUp();
        if (State == 1 && !Terminated) {
            mode = Engine->Frame();
            // A playing movie shows over the frame; once it is gone the whole frame is drawn again.
            if (Movie && DDDD71 && Movie->PresentOver(*DDDD71) == TMoviePresent::Hidden) Engine->Repaint();
            FlushCanvas();
            DDSD71->DeliverThreadFailures();
            if (StoppedOnError())
                ReportErrorLog();
            else
                ErrorLogReported = false;
        }
    } catch (const EProgramEnd&) {
    }
    Busy = false;
    if (mode == KelSystemLib::kmExit && !Terminated) {
        Closing = true;
        Close();
    }
}

void TForm1::UpdateTrayMode() {
    if (Tray) Tray->SetMode(Context.Config.Config.TaskTrayMode);
}

void TForm1::Fail(const std::string& text, const std::string& button, const std::string& reason, bool shown,
                  const char* textKey) {
    // Without a text the dialog shows nothing at all; the reason is then only reported.
    uDialogMisc::ShowDialog1(
        DialogHost(), "", shown && !text.empty() && !reason.empty() ? text + "%%%n" + reason : text, button, &Window);
    if (ReportLine) {
        std::string line =
            text.empty() && textKey ? std::string(textKey) : KelSystemLib::ReplaceMarker(text, "%%%n", " ");
        if (!reason.empty()) line += " (" + reason + ")";
        if (!line.empty()) ReportLine(line);
    }
    Terminate();
}

void TForm1::FailKey(const char* textKey, bool showReason) {
    const TStringList& m = Context.Config.MessageTable;
    Fail(m.Values(textKey), m.Values("OK"), StartFailure, showReason, textKey);
}

bool TForm1::EngineStep(const std::function<void()>& step) {
    if (Engine->RunGuarded(step)) return true;
    ReportErrorLog();
    Terminate();
    return false;
}

void TForm1::ReportErrorLog() {
    if (ErrorLogReported) return;
    ErrorLogReported = true;
    if (!ReportLine) return;
    for (const std::string& line : Context.Log.ErrorList.Items)
        ReportLine(line);
}

bool TForm1::LoadGameData() {
    if (!KelSystemLib::LoadGameData(Context.Config, Context.Packs)) return false;
    const std::string& title = Context.Config.Config.GameTitle;
    Title = title;
    Window.SetCaption(title);
    if (auto icon = Context.Packs.LoadFile(kIconFile)) {
        std::string error;
        auto picture = IconFile::Decode(icon->Memory(), static_cast<size_t>(icon->Size()), error);
        // A damaged icon leaves the window without one; nothing else depends on it.
        if (picture) {
            Window.SetIcon(picture->Pixels.data(), picture->Width, picture->Height);
            AppIcon = {picture->Width, picture->Height, picture->Pixels};
        }
    }
    return true;
}

void TForm1::StartUp() {
    if (State != 0 || Ended() || Busy) return;
    Busy = true;
    try {
        RunStartUp();
    } catch (const EProgramEnd&) {
    }
    Busy = false;
}

void TForm1::RunStartUp() {
    TSystemData& config = Context.Config.Config;
    if (!ARGB8888Lib::IsMMXAvailable()) return Fail(NoMMXText(), FixedOkText());
    if (!Devices.Files || !Context.Packs.OpenPacks("GameData\\", &StartFailure))
        return Fail(NoPacksText(), FixedOkText(), StartFailure);
    const TFileRoot& files = *Devices.Files;
    Context.Config.LoadPackMessageTable(Context.Packs);
    if (!LoadGameData()) return Fail(NoGameDataText(), FixedOkText());
    Context.SystemInfo = std::make_unique<TDllSystemInfo>();
    if (!Context.SystemInfo->LoadDLL(files, SystemInfoLibrary)) {
        StartFailure = Encoding::Utf8ToSjis(Context.SystemInfo->Error());
        return FailKey("SystemInfoDLLERROR", true);
    }

    Context.Config.LoadUserSettings(files);
    if (config.ConfigForceWindowMode) config.FullScreen = 0;
    if (!config.ConfigStartupSkip && ShowStartupMenu && !ShowStartupMenu()) {
        if (WriteSettings) Context.Config.SaveUserSettings(files);
        Terminate();
        return;
    }
    if (WriteSettings) Context.Config.SaveUserSettings(files);

    Context.Packs.SetPackVerify(config.CRCCheck == 1);
    Context.Packs.OnPackError = [this](const std::string& entry) { CrcCheckError(entry); };

    // The window, and with it the input's game size, takes the size the display will start at.
    const Viewport::TSize size = DirectXPackLib::ScreenSize(config.ScreenWidth, config.ScreenHeight);
    if (DDDD71) {
        DDDD71->InitialScreenWidth = size.W;
        DDDD71->InitialScreenHeight = size.H;
    }
    Window.SetClientSize(size.W, size.H);
    const Viewport::TSize screen = Window.ScreenSize();
    Window.SetPosition((screen.W - size.W) / 2, (screen.H - size.H) / 2);
    FormPaint();
    Devices.Clock->SleepMs(100);

    if (!LoadVorbis()) return FailKey("OggVorbisDLLERROR", true);
    RegExp = uBregExpLib::BRegExpInitialize(files, "DLL\\BREGEXP.dll");
    if (!RegExp) return FailKey("BREGEXPDLLERROR");
    LineReplace = uScriptReplaceDLL::ScriptReplaceInitialize("DLL\\SCRREP.dll", files.Folder());

    if (DDDD71 && config.SurfaceMemory == 0) {
        DDDD71->SurfaceLocation = TDDDDSurfaceMemoryType::smtDefault;
        DDDD71->BackBufferLocationAtWindowed = TDDDDBackBufferMemoryType::bmtDefault;
    } else if (DDDD71 && config.SurfaceMemory == 1) {
        DDDD71->SurfaceLocation = TDDDDSurfaceMemoryType::smtSystemMemory;
        DDDD71->BackBufferLocationAtWindowed = TDDDDBackBufferMemoryType::bmtSystemMemory;
    }
    if (!DDDD71 || !DDDD71->Start() || !DisplayFailure.empty()) {
        StartFailure = DDDD71 ? DisplayFailure : "no display device";
        return FailKey("DirectDrawERROR");
    }

    // Channels bound to one static wave play its buffer together instead of copies of it.
    DDSD71->DuplicateStaticBuffers = false;
    if (!DDSD71->Initialize()) {
        StartFailure = DDSD71->Error();
        return FailKey("DirectSoundERROR");
    }

    DirectXPack = std::make_unique<TDirectXPack>(Context.Config, DialogHost(), &Window, DDDD71.get(), DDSD71.get());
    DisplaySeam = std::make_unique<TDirectXPackDisplay>(*DirectXPack);
    if (!StartEngine()) {
        if (!Ended()) FailKey("EngineSetupERROR");
        return;
    }

    if (CreateTray) Tray = CreateTray();
    if (Tray) {
        Tray->PopupMenu = &PopupMenu1;
        Tray->OnMinimize = [this](bool minimized) { TrayMinimize(minimized); };
        Tray->Icon = AppIcon;
    }
    Window.Show();
    State = 1;
    EngineStep([this] { Engine->Start(); });
}

// A library that cannot be loaded at all raises; one that lacks a call is refused. Both end the
// start the same way.
bool TForm1::LoadVorbis() {
    try {
        Vorbis = OggWuvorbisLib::LoadVorbisFileDLL(*Devices.Files, "DLL\\wuvorbis.dll");
        Media.Sounds.Decoder = Vorbis;
        return Vorbis != nullptr;
    } catch (const EVorbisLoadError& e) {
        StartFailure = e.what();
        return false;
    }
}

// A library that fails while the engine is set up ends the set-up like any other failure, so
// nothing thrown by a plug-in ever reaches the idle loop.
bool TForm1::StartEngine() {
    try {
        Engine = std::make_unique<TKelSystem>(Context);
        Engine->Media = &Media;
        auto config = std::make_unique<TKelConfig>(Context.Config, Context.Packs, DirectXPack.get(), Devices.Forms,
                                                   &Window, DialogHost());
        config->Media = &Media;
        config->SystemInfo = Context.SystemInfo.get();
        Engine->ConfigForm = std::move(config);
        Engine->QuickSaves = std::make_unique<TKelQuickSaves>(*Devices.Files, Context.Config.Config, Context.Packs,
                                                              Devices.Forms, &Window);
        auto movie = std::make_unique<TKelDirectShowPlayer>(TMovieDevices{.Backend = Devices.Movies,
                                                                          .Sound = DDSD71.get(),
                                                                          .Clock = Devices.Clock,
                                                                          .WaitForDecoder = MovieWaitsForDecoder,
                                                                          .Files = Devices.Files,
                                                                          .Log = &Context.Log,
                                                                          .Config = &Context.Config.Config,
                                                                          .Packs = &Context.Packs});
        Movie = movie.get();
        Engine->Movie = std::make_unique<TKelMovieLink>(std::move(movie));
        Engine->Sound = std::make_unique<TKelSoundLink>(*DDSD71, Context.Packs, Context.Config.Config.StreamLength,
                                                        *Devices.Clock, Vorbis, &Context.Config.Config);
        Engine->ScriptForms = Devices.ScriptForms;
        Engine->Files = Devices.Files;
        Engine->Clock = Devices.Clock;
        Engine->MessageForms = Devices.Dialogs;
        Engine->Title = &Title;
        Engine->LineReplacer = LineReplace.get();
        Engine->RegExp = RegExp.get();
        return Engine->Setup(EngineHost ? *EngineHost : *this, DisplaySeam.get());
    } catch (const EScriptObjectDLL& e) {
        // The game maker needs to know which plug-in library failed and why: its own message is
        // shown in place of the general one.
        StartFailure = e.what();
        Fail(StartFailure, Context.Config.MessageTable.Values("OK"));
    } catch (const std::exception& e) {
        StartFailure = e.what();
    } catch (const EProgramEnd&) {
        throw;
    } catch (...) {
        StartFailure = "an unknown failure";
    }
    return false;
}

// ---- closing ----

bool TForm1::Close() {
    if (Closed) return true;
    try {
        if (!FormClose()) return false;
    } catch (const EProgramEnd&) {
        Busy = false;
        return false;
    }
    Closed = true;
    return true;
}

void TForm1::EndInOrder() {
    Closing = true;
    Close();
}

bool TForm1::EndedOnError() const {
    return Terminated || StoppedOnError();
}

// An error stops the script as it is logged; the next frame shows the error screen.
bool TForm1::StoppedOnError() const {
    return Engine && (Engine->ErrorState != 0 || Context.Log.ErrorFlag);
}

bool TForm1::FormClose() {
    if (Closing) return true;
    const std::string& label = Context.Config.Config.FormCloseEventLabel;
    const TStringList& m = Context.Config.MessageTable;
    if (label.empty()) {
        Busy = true;
        const int32_t result =
            uExitDialog::ShowExitDialog("", m.Values("APPCLOSE_Text"), m.Values("APPCLOSE_Exit"),
                                        m.Values("APPCLOSE_Reset"), m.Values("APPCLOSE_Cancel"), DialogHost(), &Window);
        Busy = false;
        if (result == -1) return false;
        if (result == 0) {
            if (Engine) EngineStep([this] { Engine->Reset("", ""); });
            return false;
        }
        return true;
    }
    // Without an engine there is no game to ask; a playing movie lets the close through.
    if (!Engine || (Engine->Movie && Engine->Movie->GetState() == 2)) return true;
    if (Engine->CallSystemScript(label)) return false;
    uDialogMisc::ShowDialog1(DialogHost(), "", CloseLabelFailedText() + label, "OK", &Window);
    return true;
}

// ---- small handlers ----

void TForm1::FormPaint() {
    if (Engine)
        Engine->Repaint();
    else
        Window.FillBlack();
}

void TForm1::FormKeyDown(uint16_t& key) {
    if (IsSwallowedKey(key)) key = 0;
}

void TForm1::FormKeyUp(uint16_t& key) {
    if (IsSwallowedKey(key)) key = 0;
}

void TForm1::TrayMinimize(bool minimized) {
    if (Engine && Context.Config.Config.MinimizeSystemStop == 1) Engine->SetActive(!minimized);
}

void TForm1::Show1Click() {
    Window.Restore();
}

void TForm1::CrcCheckError(const std::string& entryName) {
    if (std::find(DamagedEntries.begin(), DamagedEntries.end(), entryName) == DamagedEntries.end())
        DamagedEntries.push_back(entryName);
    if (!Terminated) {
        Context.Log.ErrorLog(DamagedEntryText() + entryName);
        const TStringList& m = Context.Config.MessageTable;
        Fail(m.Values("CRCCHECKERROR"), m.Values("OK"), entryName, false, "CRCCHECKERROR");
    }
    throw EProgramEnd{};
}

// ---- the engine core's view of the window ----

bool TForm1::IsActiveWindow() {
    return Window.Active();
}

void TForm1::SetCaption(const std::string& caption) {
    Window.SetCaption(caption);
}

void TForm1::CanvasText(const TCanvasText& text) {
    if (!DDDD71 || text.Text.empty()) return;
    // The height is the character cell's, as the window system's fonts count it: a two-byte
    // character is as wide as it is high, a one-byte one half as wide.
    const int32_t h = std::max(text.FontHeight, 1);
    // Only what reaches the window's right edge is drawn. Every character advances a pixel at
    // least, so a line is cut to as many characters as there are pixels up to the edge: a script
    // line of a million characters then costs what one as wide as the window does.
    const int32_t room = DDDD71->Mode.Width - text.X;
    if (room <= 0) return;
    const std::string shown = uMisc::SJISCopy(text.Text, 1, room + 1);
    if (CanvasFont.FaceName() != text.FontName) CanvasFont.SetSystemFont(text.FontName, 1);
    const uint32_t color = ColorRefToARGB(text.Color);
    int32_t w = 0, extentY = 0;
    CanvasFont.DrawText(nullptr, 0, 0, shown, h, h, color, false, w, extentY);  // measures only
    if (w <= 0) return;
    TBitmap32 picture(std::min(w, room), h);
    std::fill(picture.Pixels.begin(), picture.Pixels.end(), ColorRefToARGB(text.BrushColor));
    CanvasFont.DrawText(&picture, 0, 0, shown, h, h, color, false, w, extentY);
    DDDD71->Device->WindowDC().BitBlt(text.X, text.Y, picture.Width, picture.Height, picture.Pixels.data(),
                                      picture.Width);
    CanvasDirty = true;
}

void TForm1::FlushCanvas() {
    if (!CanvasDirty || !DDDD71) return;
    CanvasDirty = false;
    DDDD71->Device->WindowDC().Flush();
}

void TForm1::Minimize() {
    Window.Minimize();
}

void TForm1::Terminate() {
    Terminated = true;
}

IInputSource& TForm1::InputSource() {
    return Window.Input();
}

const IDialogOwner* TForm1::DialogOwner() {
    return &Window;
}
