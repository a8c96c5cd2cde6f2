// The engine core: the frame limiter, the mode machine that decides what a frame does, the host
// side of the interpreters' system requests, the script-error state, the reset of the whole game,
// presenting the finished frame and the window caption with frame statistics. The main window
// creates it once its devices run and calls Frame once per idle call; nothing else advances the
// program's time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"
#include "platform/Dialogs.h"
#include "script/KelScriptSeams.h"
#include "script/KelScriptState.h"
#include "shell/KelSystemSeams.h"

class TGameContext;
class TMediaContext;
class TSystemConfig;
class TPackSet;  // foundation/PackLib.h
class TInput;
class TKelDLLCustomObject;
class TKelLogData;
class TKelScript;
class TLabelLog;
class IScriptDialogs;
class IScriptForms;
class TFileRoot;  // platform/FileRoot.h
class IClock;
class IScriptSaveData;

namespace KelSystemLib {

// The modes of the mode machine. 3 and numbers above 11 have no handler.
enum TKelMode : uint8_t {
    kmIdle = 0,
    kmConfirmExit = 1,
    kmExit = 2,
    kmConfirmReset = 4,
    kmGameScript = 5,
    kmSystemScript = 6,
    kmMenu = 7,
    kmLogScreen = 8,
    kmSaveScreen = 9,
    kmLoadScreen = 10,
    kmConfigDialog = 11,
};

constexpr uint8_t kErrorStateOn = 3;

// The limiter's arithmetic, on its own so that it can be checked against a table of cases.
// Period: 0 while skipping, else 1000 div Max(fpsLimit, 10).
int32_t FramePeriod(int32_t fpsLimit, bool skipping);
// The milliseconds from the last frame to now, on a clock that wraps at 2^32.
int64_t ElapsedSince(int64_t lastFrameTime, int64_t now);
// While the result is 0 or more no frame is due: the remaining milliseconds.
int64_t Remaining(int32_t period, int64_t elapsed);
// The sleep of a frame that is not due: the remainder capped at 100, less 3 when above 4, else 0.
uint32_t SleepFor(int64_t remaining);
// The time step of a frame that is due: 1..5000.
int32_t ClampDelta(int64_t elapsed);
// The caption template with "%%%fps", "%%%limit" and "%%%cpu" replaced, without regard to case.
std::string BuildCaption(std::string_view format, int32_t fpsLimit, int32_t delta, int32_t busyAverage);

// Replaces every occurrence of an ASCII pattern that starts with "%", without regard to ASCII
// case ("%" is never the second byte of a two-byte character, so a match never starts inside one).
std::string ReplaceMarker(std::string_view text, std::string_view marker, std::string_view by);

// The game's settings through the packs: "System\etc\Game.dat" into the configuration, then
// "System\etc\Config.txt" into the user-setting defaults when it is there. False without
// "Game.dat". The main window then takes the title and the icon.
bool LoadGameData(TSystemConfig& config, const TPackSet& packs);

}  // namespace KelSystemLib

class TKelSystem {
public:
    // The context is the main window's; both interpreters get it through their links.
    explicit TKelSystem(TGameContext& context);
    ~TKelSystem();
    TKelSystem(const TKelSystem&) = delete;
    TKelSystem& operator=(const TKelSystem&) = delete;

    // Builds everything; false when setting up an interpreter failed. Parts given before the
    // call (screens, sound, movie, dialogs) are kept; those not given are left out. A plug-in
    // library that cannot be bound raises EScriptObjectDLL.
    bool Setup(IKelHost& host, IKelDisplay* display);
    // Applies the configuration and starts the game script at "@@top" of "StartUp.s".
    void Start();
    // The mode in force after this frame's handler, or 0 when no frame ran. No exception leaves
    // a frame: a failed allocation, or any other fault that throws, is logged as a script error,
    // so that the script stops and the error screen shows from the next frame on; a failure while
    // that screen is up ends the game in order (the exit mode).
    uint8_t Frame();
    // Runs a step outside a frame (the start, a reset the main window asks for) under the same
    // guard, logging a failure the same way; false when the step failed. What a half-done start or
    // reset leaves is no game to go on with: the caller ends the program.
    bool RunGuarded(const std::function<void()>& step);
    void Repaint() { Redraw(true); }
    void Redraw(bool full);
    // The whole-game reset; empty label or file start at "@@reset" of "startup.s".
    void Reset(const std::string& label, const std::string& file);
    // Runs the label of "SysStartUp.s" in the system interpreter; false for an empty label.
    bool CallSystemScript(const std::string& label);
    void SetActive(bool active);
    TKelScript* CurrentScript();

    void SetMode(uint8_t mode, int32_t parameter = 0);
    // Acts on a request left by an interpreter.
    void DoRequest(uint8_t request, const std::string& argument);

    void QuickSave();
    void QuickLoad();
    void SelectLoad();
    void SceneReturn();
    void ResetToLabel(const std::string& argument);
    void Minimize();

    // The pack layer's hooks for the engine's virtual files.
    bool VirtualFileExists(const std::string& name);
    std::unique_ptr<TMemoryStream> VirtualFileOpen(const std::string& name);

    // ---- fields ----
    TGameContext& Context;
    // The caches of the game's pictures and sounds, linked to both interpreters; none: every
    // animation decodes its own media.
    TMediaContext* Media = nullptr;
    // The kinds of objects both interpreters know, filled at the set-up; it outlives them.
    TObjectKindRegistry Kinds;
    bool Active = false;
    std::unique_ptr<TMemoryStream> MovieState;
    IKelDisplay* DirectXPack = nullptr;
    IKelHost* Host = nullptr;
    std::unique_ptr<IKelSound> Sound;
    std::unique_ptr<TInput> Input;
    std::unique_ptr<TKelScript> GameScript;
    std::unique_ptr<TKelScript> SystemScript;
    std::unique_ptr<IKelScreen> Menu;
    std::unique_ptr<IKelScreen> Log;
    std::unique_ptr<IKelConfigDialog> ConfigForm;
    std::unique_ptr<IKelScreen> FileSelect;
    std::unique_ptr<TLabelLog> LabelLogs[2];  // read text, file use
    std::unique_ptr<IKelMovie> Movie;
    std::unique_ptr<TKelLogData> LogData;             // the back-log store both interpreters share
    std::unique_ptr<TKelDLLCustomObject> DllObjects;  // the plug-in libraries both interpreters use
    IScriptForms* ScriptForms = nullptr;              // the host's forms for the script words, linked
    // The game's folder, linked: the save files, the virtual files read from the disk and the
    // plug-in libraries are found below it. Without it there are no save or disk files, and the
    // plug-ins are looked for below the current folder.
    const TFileRoot* Files = nullptr;
    // The host's clock (needed by Setup), its message forms and the application's title, linked.
    IClock* Clock = nullptr;
    IDialogs* MessageForms = nullptr;
    std::string* Title = nullptr;
    // The game's line-replace library, linked to both interpreters' readers; none: lines stay.
    IScriptLineReplacer* LineReplacer = nullptr;
    // The regular expressions both interpreters' replace rules and words use, linked; one matcher
    // for both. None: no pattern matches.
    IScriptRegExp* RegExp = nullptr;
    TDialogHost DialogHost() const { return {MessageForms, Title}; }
    uint8_t Mode = 0;
    uint8_t ErrorState = 0;
    int32_t FramesInMode = 0;
    int32_t ModeParameter = 0;
    int64_t LastFrameTime = 0;
    int32_t CaptionElapsed = 0;
    int32_t BusyAverage = 0;

    // Services that later units provide; missing ones are skipped.
    std::unique_ptr<IKelPresenter> Presenter;
    std::unique_ptr<IKelQuickSaves> QuickSaves;
    // Save games and permission tests (TKelGameState unless given), and the interpreters' save
    // folder (TKelSaveLink unless given).
    std::unique_ptr<IKelGameState> GameState;
    std::unique_ptr<IScriptSaveData> SaveFolder;

private:
    uint8_t RunFrame();
    void LogFailure(const char* what);
    int32_t Confirm(const char* text, const char* yes, const char* no);
    void ConfirmExit();
    void DoExit();
    void ConfirmReset();
    void RunScript(int32_t elapsed);
    void RunMenu(int32_t elapsed);
    void RunLogScreen(int32_t elapsed);
    void RunFileScreen(int32_t elapsed, bool load);
    bool SaveInto(const std::string& name);
    void RunConfigDialog();
    void DrawErrorScreen();
    void BeforeDisplayReset();
    void AfterDisplayReset();
    void RunMode(int32_t elapsed);
    void StopGameRunMode();
    void SetGameRunMode(TRunMode runMode);
    void HoldGameFrames();
    void InvalidateAll(TKelScript* script);
    void CursorAutoHideOff();
    bool SetupScript(TKelScript& script, TKelScript* parent);
    // Whether a screen chosen in this frame opens now (its first frame).
    bool OpenScreen(IKelScreen* screen, int32_t kind);

    std::unique_ptr<IScriptDialogs> ScriptDialogs;
};
