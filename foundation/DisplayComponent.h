// The display component of the main window. It owns the display device's mode (a window of the
// game's size, or full screen) and its back buffer, which the engine locks, fills with the
// composed frame and presents with Flip. It also follows the window's activation (restoring what
// was lost), switches the screen saver off while the game runs, and checks every device call: a
// failure is logged and, with ddoHaltOnError, ends the program.
//
// The device is a platform/Display device (the SDL window, or the headless one); the component
// never owns it, and it must outlive the component.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Display.h"

class IDialogOwner;
class TErrorLog;
class TDDDD7;

// The option set of the checks: bits of TDDDDDebugOption.
enum TDDDDDebugOptionBit : uint8_t {
    ddoHaltOnError = 1,   // a failed call ends the program
    ddoDebugMessage = 2,  // failed calls are written to "dddd.debug"
    ddoDetailedLog = 4,   // so are the steps of every initialisation (with ddoDebugMessage only)
};
using TDDDDDebugOption = uint8_t;

enum class TDDDDSurfaceMemoryType : uint8_t {
    smtDefault,
    smtCompatible,
    smtSystemMemory,
    smtVideoMemory,
    smtNonLocalVideoMemory,
};

// Where the windowed back buffer is drawn from: system memory draws without the graphics
// processor.
enum class TDDDDBackBufferMemoryType : uint8_t {
    bmtDefault,
    bmtCompatible,
    bmtSystemMemory,
    bmtVideoMemory,
};

// A surface of the component: the back buffer. Lock hands out the whole surface; whoever writes
// rows tells Changed which, so that the next Flip carries them to the window.
class TDDDDGenSurface {
public:
    TDDDDGenSurface(TDDDD7& owner, const TDisplayLock& description);

    // The whole surface, waiting while the device is busy; false when it cannot be locked
    // (nothing is logged).
    bool Lock(TDisplayLock& description);
    // Unlocks when locked; the call is checked.
    void Unlock();
    // Rows top..bottom - 1 were written.
    void Changed(int32_t top, int32_t bottom);
    // Restores the surface when the device lost it.
    void RestoreIfLost();

    // Where a channel's mask starts and how many bits it has fewer than eight.
    struct TMaskShape {
        int32_t Position = 0;
        int32_t Loss = 8;
    };

    int32_t Width = 0;
    int32_t Height = 0;
    TDisplayLock Description;  // as the surface was created; Pixels is only valid while locked
    TMaskShape AlphaMask, RedMask, GreenMask, BlueMask;
    bool Locked = false;
    TDisplayLock LockedDescription;
    TDDDD7* Owner;
};

// The mode the display is in.
struct TDDDDMode {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitDepth = 0;
    uint8_t FullScreen = 0;
    int32_t RefreshRate = 0;
};

class TDDDD7 {
public:
    // Takes the defaults, follows the device's activation and remembers the screen-saver state.
    explicit TDDDD7(IDisplayDevice* device);
    // Gives the screen saver its state back, calls OnDestroy and releases the display.
    ~TDDDD7();
    TDDDD7(const TDDDD7&) = delete;
    TDDDD7& operator=(const TDDDD7&) = delete;

    // Applies DisableScreenSaver, once the properties are set.
    void Loaded();
    // The first start: a window of the initial size at the desktop's depth, then, with
    // AutoDisplayModeInitialize, the initial mode. False when it failed.
    bool Start();
    // Re-creates the display in full screen / in a window at the desktop's depth. A failure is
    // checked (and ends the program with ddoHaltOnError).
    void InitializeFullScreen(int32_t width, int32_t height, int32_t bitDepth, int32_t refreshRate,
                              const std::string& driverName);
    void InitializeWindowed(int32_t width, int32_t height);
    bool HasDisplayMode(int32_t width, int32_t height, int32_t bitDepth, int32_t refreshRate);
    // Presents the back buffer: the rows changed since the last flip reach the window.
    void Flip(bool blit = true);
    // Restores the device and the back buffer when they were lost.
    void RestoreAll();
    // Re-creates the current mode, then RestoreAll; true.
    bool Reinitialize();
    // The window became the active window.
    void Activate();

    // The option bits the checks and the debug log follow.
    TDDDDDebugOption DebugOption() const { return Debug; }
    void SetDebugOption(TDDDDDebugOption option);

    // The folder "dddd.debug" is written to (a host path); empty, the default, is the program's
    // folder. The next line written there starts the file anew.
    void SetDebugLogFolder(std::string_view hostFolder);
    // With ddoDebugMessage, writes "debug#NNNNN ... text" to "dddd.debug": the first line of a run
    // starts the file anew, later lines are appended; the number counts the lines of the run from 1.
    void DebugLog(std::string_view text);
    // The same for the steps of an initialisation, with ddoDetailedLog as well.
    void DetailLog(std::string_view text);

    // ---- properties, with the component's defaults ----
    int32_t InitialScreenWidth = 640;
    int32_t InitialScreenHeight = 480;
    int32_t InitialBitDepth = 0;  // 0: the desktop's
    bool InitialFullScreen = false;
    uint32_t BackColor = 0;
    bool AutoDisplayModeInitialize = true;
    bool DisableScreenSaver = true;
    bool Use3D = false;
    bool VsyncAtWindowed = true;
    TDDDDSurfaceMemoryType SurfaceLocation = TDDDDSurfaceMemoryType::smtDefault;
    TDDDDBackBufferMemoryType BackBufferLocationAtWindowed = TDDDDBackBufferMemoryType::bmtDefault;
    uint32_t D3DOptions = 0;
    // The form that the start's message is shown over, and what shows it.
    const IDialogOwner* Owner = nullptr;
    // The game's error log, where the reason of a halt goes; none: it goes only to the terminal.
    TErrorLog* Log = nullptr;
    TDialogHost Dialogs;

    // needChange is true when the start initialised no mode of its own.
    std::function<void(TDDDD7& sender, bool& needChange)> OnInit;
    std::function<void()> OnRestore;
    std::function<void()> OnChangeDisplayMode;
    std::function<void()> OnCleanUp;
    // The window's menu loop; the SDL window has no system menu, so only a host that has one
    // raises them (EnterMenuLoop, ExitMenuLoop).
    std::function<void()> OnEnterMenuLoop;
    std::function<void()> OnExitMenuLoop;
    std::function<void()> OnDestroy;
    // The window's own activation handler, called after the component's.
    std::function<void()> OnActivate;
    // Ends the program after a failed check, with the reason (Shift-JIS). The default exits at
    // once; tests record the reason instead, and the failed call then simply returns.
    std::function<void(const std::string& reason)> OnHalt;

    void EnterMenuLoop();
    void ExitMenuLoop();

    // ---- run-time state ----
    IDisplayDevice* Device;
    std::unique_ptr<TDDDDGenSurface> BackBuffer;
    TDDDDMode Mode;
    // One line a driver: "description (name)".
    std::vector<std::string> Drivers;
    bool FirstStartPending = true;
    bool Started = false;
    bool Initializing = false;
    bool Destroying = false;
    bool Is3D = false;
    bool ScreenSaverAtCreation = true;

    // The check of a device call: on failure the message with "(Error Code(%x))" and the device's
    // own reason goes to the debug log, and with ddoHaltOnError the program ends. True on success.
    bool Check(bool ok, std::string_view message, const TDisplayError& error = {});

private:
    void Initialize(bool fullScreen, int32_t width, int32_t height, int32_t bitDepth, int32_t refreshRate,
                    const std::string& driverName);
    void Release();
    void Halt(const std::string& reason);
    int32_t ChooseDriver(bool fullScreen, const std::string& driverName);

    TDDDDDebugOption Debug = ddoHaltOnError;
    std::string DebugFolder;  // where "dddd.debug" goes; empty: the program's folder
    int32_t DebugLines = 0;   // lines written to it in this run
};
