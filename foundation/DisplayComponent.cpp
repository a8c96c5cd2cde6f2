#include "foundation/DisplayComponent.h"

#include <bit>
#include <cstdio>
#include <cstdlib>

#include "foundation/ErrorLogLib.h"
#include "foundation/uDialogMisc.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"

namespace {

// printf into a string; the formats are Shift-JIS, where "%" never occurs inside a character.
template <typename... T>
std::string Format(const std::string& format, T... values) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format.c_str(), values...);
    return buf;
}

TDDDDGenSurface::TMaskShape Shape(uint32_t mask) {
    if (mask == 0) return {0, 8};
    return {std::countr_zero(mask), std::max(0, 8 - std::popcount(mask))};
}

}  // namespace

// ---- TDDDDGenSurface ----

TDDDDGenSurface::TDDDDGenSurface(TDDDD7& owner, const TDisplayLock& description)
    : Width(description.Width),
      Height(description.Height),
      Description(description),
      AlphaMask(Shape(description.Format.AMask)),
      RedMask(Shape(description.Format.RMask)),
      GreenMask(Shape(description.Format.GMask)),
      BlueMask(Shape(description.Format.BMask)),
      Owner(&owner) {}

bool TDDDDGenSurface::Lock(TDisplayLock& description) {
    if (!Owner->Device->Lock(description)) return false;
    Locked = true;
    LockedDescription = description;
    return true;
}

void TDDDDGenSurface::Unlock() {
    if (!Locked) return;
    // The message is only looked up when the unlock failed: a frame unlocks twice.
    if (!Owner->Device->Unlock()) Owner->Check(false, "サーフェスのアンロックに失敗しました"_sj);
    Locked = false;
}

void TDDDDGenSurface::Changed(int32_t top, int32_t bottom) {
    Owner->Device->MarkChanged(top, bottom);
}

void TDDDDGenSurface::RestoreIfLost() {
    if (Owner->Device->IsLost()) Owner->Device->Restore();
}

// ---- TDDDD7 ----

TDDDD7::TDDDD7(IDisplayDevice* device) : Device(device) {
    Device->SetActivateHandler([this] { Activate(); });
    ScreenSaverAtCreation = Device->ScreenSaverEnabled();
    for (const TDisplayDriver& d : Device->Drivers()) {
        Drivers.push_back(d.Description + " (" + d.Name + ")");
        DetailLog("Enumerated DDraw Driver ... " + Drivers.back());
    }
}

TDDDD7::~TDDDD7() {
    Destroying = true;
    Device->SetScreenSaverEnabled(ScreenSaverAtCreation);
    if (OnDestroy) OnDestroy();
    Release();
    Device->SetActivateHandler(nullptr);
}

void TDDDD7::Loaded() {
    Device->SetScreenSaverEnabled(!DisableScreenSaver);
}

void TDDDD7::SetDebugOption(TDDDDDebugOption option) {
    Debug = option;
}

void TDDDD7::SetDebugLogFolder(std::string_view hostFolder) {
    DebugFolder = std::string(hostFolder);
    DebugLines = 0;
}

void TDDDD7::DebugLog(std::string_view text) {
    if (!(Debug & ddoDebugMessage)) return;
    ++DebugLines;
    const std::string path = (DebugFolder.empty() ? FileSystem::ProgramFolder() : DebugFolder) + "/dddd.debug";
    const std::string line = Format("debug#%.5d ... ", static_cast<int>(DebugLines)) + std::string(text) + "\r\n";
    FileSystem::AppendToFile(path, line,
                             DebugLines == 1 ? FileSystem::TAppend::Restart : FileSystem::TAppend::CreateMissing);
}

void TDDDD7::DetailLog(std::string_view text) {
    if (Debug & ddoDetailedLog) DebugLog(text);
}

bool TDDDD7::Check(bool ok, std::string_view message, const TDisplayError& error) {
    if (ok) return true;
    std::string line =
        std::string(message) + Format("(Error Code(%X))", static_cast<unsigned>(error.Code ? error.Code : 1));
    if (!error.Text.empty()) line.append(1, ' ').append(Encoding::Utf8ToSjis(error.Text));
    DebugLog(line);
    if (Debug & ddoHaltOnError) Halt(line);
    return false;
}

void TDDDD7::Halt(const std::string& reason) {
    // The program ends without a dialog; the reason stays in the error log and on the terminal.
    if (Log) Log->ErrorLog(reason);
    std::fprintf(stderr, "kel: %s\n", Encoding::SjisToUtf8(reason).c_str());
    if (OnHalt) {
        OnHalt(reason);
        return;
    }
    std::exit(EXIT_FAILURE);
}

bool TDDDD7::Start() {
    if (!FirstStartPending) return Started;
    FirstStartPending = false;
    try {
        const int32_t desktopDepth = Device->DesktopBitDepth();
        if (AutoDisplayModeInitialize && !InitialFullScreen && InitialBitDepth != 0 &&
            InitialBitDepth != desktopDepth) {
            const std::string text =
                Format("画面モードが不適切です。色数を %d ビットに設定して、起動しなおしてください。"_sj,
                       static_cast<int>(InitialBitDepth));
            uDialogMisc::ShowDialog1(Dialogs, "", text, "OK", Owner);
            Halt(text);
            return false;
        }
        Initialize(false, InitialScreenWidth, InitialScreenHeight, desktopDepth, 0, "");
        bool initialised = false;
        if (AutoDisplayModeInitialize) {
            const int32_t depth = InitialBitDepth != 0 ? InitialBitDepth : desktopDepth;
            if (!InitialFullScreen) {
                InitializeWindowed(InitialScreenWidth, InitialScreenHeight);
                initialised = true;
            } else if (HasDisplayMode(InitialScreenWidth, InitialScreenHeight, depth, 0)) {
                InitializeFullScreen(InitialScreenWidth, InitialScreenHeight, depth, 0, "");
                initialised = true;
            }
        }
        Started = true;
        bool needChange = !initialised;
        if (OnInit) OnInit(*this, needChange);
        return Device->IsOpen();
    } catch (...) {
        return false;
    }
}

void TDDDD7::InitializeFullScreen(int32_t width, int32_t height, int32_t bitDepth, int32_t refreshRate,
                                  const std::string& driverName) {
    Initialize(true, width, height, bitDepth, refreshRate, driverName);
}

void TDDDD7::InitializeWindowed(int32_t width, int32_t height) {
    Initialize(false, width, height, Device->DesktopBitDepth(), 0, "");
}

bool TDDDD7::HasDisplayMode(int32_t width, int32_t height, int32_t bitDepth, int32_t refreshRate) {
    return Device->HasMode(width, height, bitDepth, refreshRate);
}

int32_t TDDDD7::ChooseDriver(bool fullScreen, const std::string& driverName) {
    const std::vector<TDisplayDriver> drivers = Device->Drivers();
    if (fullScreen && !driverName.empty()) {
        for (size_t i = 0; i < Drivers.size() && i < drivers.size(); ++i)
            if (Drivers[i] == driverName) {
                DetailLog("指定されたドライバ "_sj + driverName + " を使用します"_sj);
                return static_cast<int32_t>(i);
            }
        DetailLog("指定されたドライバが見つからなかったので、デフォルトのドライバを使用します"_sj);
        return -1;
    }
    if (fullScreen && Use3D) {
        for (size_t i = 0; i < drivers.size(); ++i) {
            DetailLog("DirectDrawオブジェクトをテスト作成しました"_sj);
            if (drivers[i].Accelerated) {
                DetailLog("テスト作成されたDirectDrawオブジェクトを採用します"_sj);
                return static_cast<int32_t>(i);
            }
            DetailLog("テスト用DirectDrawオブジェクトを解放しました"_sj);
        }
    }
    DetailLog("デフォルトのドライバを使用します"_sj);
    return -1;
}

void TDDDD7::Initialize(bool fullScreen, int32_t width, int32_t height, int32_t bitDepth, int32_t refreshRate,
                        const std::string& driverName) {
    DetailLog(Format("スクリーンモード%d x %d x %d として初期化を開始します"_sj, static_cast<int>(width),
                     static_cast<int>(height), static_cast<int>(bitDepth)));
    DetailLog(fullScreen ? "フルスクリーンで初期化を開始します"_sj : "ウィンドウモードで初期化を開始します"_sj);
    Initializing = true;
    Release();

    TDisplaySetup setup;
    setup.Width = width;
    setup.Height = height;
    setup.BitDepth = bitDepth;
    setup.FullScreen = fullScreen;
    setup.Refresh = refreshRate;
    setup.Driver = ChooseDriver(fullScreen, driverName);
    setup.VSync = VsyncAtWindowed;
    setup.BackColor = BackColor & 0xFFFFFF;
    // Where the back buffer is asked to live; system memory draws without the graphics processor.
    enum class TPlacement { Default, Video, NonLocalVideo, System } placement = TPlacement::Default;
    if (fullScreen) {
        switch (SurfaceLocation) {
            case TDDDDSurfaceMemoryType::smtNonLocalVideoMemory:
                placement = TPlacement::NonLocalVideo;
                break;
            case TDDDDSurfaceMemoryType::smtVideoMemory:
                placement = TPlacement::Video;
                break;
            case TDDDDSurfaceMemoryType::smtCompatible:
            case TDDDDSurfaceMemoryType::smtSystemMemory:
                placement = TPlacement::System;
                break;
            default:
                break;
        }
    } else if (BackBufferLocationAtWindowed == TDDDDBackBufferMemoryType::bmtVideoMemory) {
        placement = TPlacement::Video;
    } else if (BackBufferLocationAtWindowed == TDDDDBackBufferMemoryType::bmtCompatible ||
               BackBufferLocationAtWindowed == TDDDDBackBufferMemoryType::bmtSystemMemory) {
        placement = TPlacement::System;
    }
    setup.SystemMemory = placement == TPlacement::System;
    switch (placement) {
        case TPlacement::NonLocalVideo:
            DetailLog("バックバッファをノンローカルビデオメモリに配置します"_sj);
            break;
        case TPlacement::Video:
            DetailLog("バックバッファをビデオメモリに配置します"_sj);
            break;
        case TPlacement::System:
            DetailLog("バックバッファをシステムメモリに配置します"_sj);
            break;
        default:
            DetailLog("バックバッファをドライバのデフォルトの位置(おそらくビデオメモリ)に配置します"_sj);
            break;
    }

    TDisplayError error;
    if (!Device->Open(setup, error)) {
        std::string message;
        switch (error.Step) {
            case TDisplayStep::DisplayMode:
                message = Format("画面モード%dx%dx%dの初期化に失敗しました"_sj, static_cast<int>(width),
                                 static_cast<int>(height), static_cast<int>(bitDepth));
                break;
            case TDisplayStep::BackBuffer:
                message = "バックバッファの作成に失敗しました"_sj;
                break;
            default:
                message = setup.Driver >= 0 && fullScreen && Use3D ? "DirectDrawオブジェクトの作成に失敗しました"_sj
                                                                   : "DirectDrawオブジェクトが作成できません"_sj;
                break;
        }
        Initializing = false;
        Check(false, message, error);
        return;
    }
    DetailLog("DirectDrawオブジェクトを作成しました"_sj);
    const bool accelerated = Device->Accelerated();
    DetailLog(Format("Caps:%x", accelerated ? 1u : 0u));
    Is3D = accelerated && Device->DesktopBitDepth() > 8;

    Mode = {width, height, bitDepth, static_cast<uint8_t>(fullScreen ? 1 : 0), refreshRate};
    TDisplayLock shape;
    shape.Width = width;
    shape.Height = height;
    shape.Format = Display::FormatForDepth(bitDepth);
    shape.Pitch = width * shape.Format.BytesPerPixel;
    BackBuffer = std::make_unique<TDDDDGenSurface>(*this, shape);
    DetailLog(Format("PixelFormat: AMask=%.8x RMask=%.8x GMask=%.8x BMask=%.8x", shape.Format.AMask, shape.Format.RMask,
                     shape.Format.GMask, shape.Format.BMask));

    Initializing = false;
    if (Started && OnChangeDisplayMode) OnChangeDisplayMode();
    Activate();
}

void TDDDD7::Release() {
    if (Started && OnCleanUp) OnCleanUp();
    DetailLog("…DirectDraw/3D関連オブジェクトを全て解放します…"_sj);
    DetailLog("オフスクリーンサーフェスを全て解放しました"_sj);
    if (BackBuffer) {
        BackBuffer.reset();
        DetailLog("バックバッファを解放しました"_sj);
    }
    if (Device->IsOpen()) {
        Device->Close();
        DetailLog("プライマリサーフェスを解放しました"_sj);
        DetailLog("DirectDrawを解放しました"_sj);
    }
    DetailLog("…DirectDraw/3D関連オブジェクト、解放終了しました…"_sj);
}

void TDDDD7::Flip(bool /*blit*/) {
    // Presenting is always a copy of the back buffer, in full screen as well; it is not checked.
    if (BackBuffer) Device->Present();
}

void TDDDD7::RestoreAll() {
    if (BackBuffer) BackBuffer->RestoreIfLost();
}

bool TDDDD7::Reinitialize() {
    if (Mode.FullScreen)
        InitializeFullScreen(Mode.Width, Mode.Height, Mode.BitDepth, Mode.RefreshRate, "");
    else
        InitializeWindowed(Mode.Width, Mode.Height);
    RestoreAll();
    // A display that could not be made again is reported, so that the caller can give up.
    return Device->IsOpen() && !Device->IsLost();
}

void TDDDD7::Activate() {
    if (Started && !Initializing && Device->WindowActive()) {
        RestoreAll();
        if (OnRestore) OnRestore();
    }
    if (OnActivate) OnActivate();
}

void TDDDD7::EnterMenuLoop() {
    if (OnEnterMenuLoop) OnEnterMenuLoop();
}

void TDDDD7::ExitMenuLoop() {
    if (OnExitMenuLoop) OnExitMenuLoop();
}
