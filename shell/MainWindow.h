// The main window: the root of the running program. It owns the display and sound components,
// the display starter and the engine core; runs the start-up sequence with its checks and fatal
// dialogs at the first idle call; runs one engine frame per idle call after that; decides whether
// a close ends the program; and shuts everything down in a fixed order when it is destroyed.
//
// The window itself is the platform's (IMainWindow: an SDL window in the program, a headless one
// in the runner and tests); so are the devices (TPlatformHost). The message loop pumps the
// window's events and calls AppIdle until Ended says the program is over; then the form goes:
//     TForm1 form(window, devices);           // creation
//     window.Show();                           // the message loop shows the window
//     Unit1::RunMessageLoop(form, window);
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/GameContext.h"
#include "media/ARGB8888Font.h"
#include "media/MediaContext.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/MainWindow.h"
#include "platform/PlatformHost.h"
#include "shell/KelSystemLib.h"
#include "shell/uPrintScreenLock.h"
#include "shell/uTaskBarIcon.h"

class TDDDD7;
class TDDSD7;
class TDirectXPack;
class TDirectXPackDisplay;
class TKelDirectShowPlayer;
class TScriptRegExp;
class TScriptReplaceDLL;
class TVorbisFileDLL;

class TForm1;

namespace Unit1 {

// The texts of the checks that run before the message table can be relied on (Shift-JIS).
std::string NoMMXText();
std::string NoPacksText();
std::string NoGameDataText();
std::string FixedOkText();
// The message of a close label that could not be run; the label follows it.
std::string CloseLabelFailedText();
// The error log's line for a pack entry that failed its checksum; the entry's name follows it.
std::string DamagedEntryText();

// The application's message loop: the window's events, then the idle handler, until the program
// is over; an end signal ends it in order at the next turn. After an idle call in which no frame ran, the loop waits
// for the next event up to a millisecond before it calls the handler again: a frame then starts at most about a
// millisecond after it is due, and the program does not keep a processor busy while it waits for it.
void RunMessageLoop(TForm1& form, IMainWindow& window);

// The window system's own keys that the window swallows (F10, Alt, the Windows keys, Apps): the
// system menu never opens on them. The game reads its keys through the input device.
bool IsSwallowedKey(uint16_t key);

}  // namespace Unit1

class TForm1 final : public IKelHost, public IMainWindowEvents {
public:
    // Creation: the current folder is the game's folder by now (FileSystem's root). Reads the
    // message table from the disk when there is one and installs the fonts on the host's faces.
    TForm1(IMainWindow& window, const TPlatformHost& devices);
    // Destruction, in order: the user's settings saved (only when start-up reached the engine
    // core), the backup save deleted, the engine core and the display starter freed, the outside
    // libraries unloaded, the packs closed.
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The idle handler: start-up at the first call while the window shows, then one engine frame
    // per call. Does nothing while another call runs (a modal dialog inside a frame pumps events).
    void AppIdle();
    // The start-up sequence alone, as the first idle call runs it before its frame; a runner that
    // counts frames itself opens the game with it. Every failure shows its dialog and ends the
    // program; StartFailure then holds what is known of the reason.
    void StartUp();
    // Closes the window unless its close handler keeps it open; true when it closed.
    bool Close();
    // Ends the program in order without asking, the way the exit dialog's first button ends it (a
    // signal from the desktop asks for this): the window closes and the settings are saved.
    void EndInOrder();
    // Whether the program is over: the window closed, or a fatal dialog ended it.
    bool Ended() const { return Closed || Terminated; }
    // Whether the game ended on an error: a failure ended it, or it was on its script-error screen.
    bool EndedOnError() const;

    // Window events.
    void CloseRequested() override { Close(); }
    void Paint() override { FormPaint(); }
    void KeyDown(uint16_t& key) override { FormKeyDown(key); }
    void KeyUp(uint16_t& key) override { FormKeyUp(key); }
    // With a tray icon its poll tells of minimising instead.
    void Minimized(bool minimized) override {
        if (!Tray) TrayMinimize(minimized);
    }

    void FormPaint();
    void FormKeyDown(uint16_t& key);
    void FormKeyUp(uint16_t& key);
    // The application was minimised (true) or restored: with "MinimizeSystemStop" 1 the engine
    // stops its frames and its sound meanwhile.
    void TrayMinimize(bool minimized);
    // The tray menu's "show": the application comes back.
    void Show1Click();
    // A pack entry failed its checksum: the dialog, a line in the error log that names the entry,
    // then the end at once: whatever was reading the entry does not go on without it.
    void CrcCheckError(const std::string& entryName);
    // The pack entries that failed their checksum, each once, for reports.
    std::vector<std::string> DamagedEntries;

    // ---- the engine core's view of the window ----
    bool IsActiveWindow() override;
    void SetCaption(const std::string& caption) override;
    // Draws the text over the last frame; it shows at the end of the idle call.
    void CanvasText(const TCanvasText& text) override;
    void Minimize() override;
    void Terminate() override;
    IInputSource& InputSource() override;
    const IDialogOwner* DialogOwner() override;
    IClipboard* Clipboard() override { return Devices.Clipboard; }
    // The host's message forms, under the application's title.
    TDialogHost DialogHost() const { return {Devices.Dialogs, &Title}; }
    IDesktop* Desktop() override { return Devices.Desktop; }

    // ---- fields ----
    // The game's shared services (its error log among them), handed to the engine core. Made
    // first, so that it outlives everything that links it.
    TGameContext Context;
    // The caches of the game's pictures and sounds and its fonts, beside the context and made as
    // early.
    TMediaContext Media;
    // The tray's pop-up menu: "表示" (Show1) brings the application back.
    TPopupMenu PopupMenu1;
    std::unique_ptr<ITaskTray> Tray;
    int32_t State = 0;  // 0 until the start-up has run, then 1
    bool Busy = false;
    // The game's line-replace library, bound at the start and linked to the engine core; null
    // when the game has none.
    std::unique_ptr<TScriptReplaceDLL> LineReplace;
    // The regular-expression library with its matcher, bound at the start and linked to the engine
    // core.
    std::unique_ptr<TScriptRegExp> RegExp;
    // The Ogg Vorbis decoder, bound at the start and handed to the sound library and the sound
    // cache.
    std::shared_ptr<TVorbisFileDLL> Vorbis;
    std::unique_ptr<TDirectXPack> DirectXPack;
    std::unique_ptr<TKelSystem> Engine;
    bool Closing = false;  // the engine or the program closes the window: no question asked

    // The components placed on the window. The display component exists when the host has a
    // display device.
    std::unique_ptr<TDDDD7> DDDD71;
    std::unique_ptr<TDDSD7> DDSD71;
    // Made disabled with the window and never enabled; it does nothing where the clipboard cannot
    // be watched (Linux).
    std::unique_ptr<TPrintScreenLock> ScreenshotLock;

    // ---- parts that come with their own units; each does nothing while it is empty ----
    // The start-up settings dialog: false when the player left it without starting the game. The
    // host's settings forms show it; without them it is not shown.
    std::function<bool()> ShowStartupMenu;
    // Makes the tray icon with its poll timer at the end of the start-up; the form then gives it the
    // pop-up menu, the minimise callback and the game's icon.
    std::function<std::unique_ptr<ITaskTray>()> CreateTray;
    // Lets the engine core see the window through another host (the headless runner records what
    // the engine shows on it); null: the form itself.
    IKelHost* EngineHost = nullptr;

    // Whether the user's settings file is written (at the start and at the end). A runner that
    // checks a game leaves the game's folder as it found it.
    bool WriteSettings = true;
    // A movie's sound waits for its decoder rather than playing silence (a run on the manual sound
    // device, whose time passes only as fast as the run mixes).
    bool MovieWaitsForDecoder = false;
    // The system-information library the start binds: the game's own, unless a runner that checks
    // games without one names another.
    std::string SystemInfoLibrary = "DLL\\SystemInfo.dll";
    // Receives each line (Shift-JIS) that says why the game ended or stopped: the text of a fatal
    // dialog with what is known of its reason, and the error log's lines when a script error stops
    // the game or a failure ends it. The program prints them on standard error, for whoever runs
    // it without seeing the dialog or the error screen. Empty: the lines go nowhere else.
    std::function<void(const std::string& line)> ReportLine;

    bool Closed = false;
    bool Terminated = false;
    // Why the display component failed, when it did (Shift-JIS).
    std::string DisplayFailure;
    // What is known of why the start failed beyond its dialog: the pack, library or device and
    // its own reason (Shift-JIS); empty when nothing more is known.
    std::string StartFailure;
    // The application's title (Shift-JIS): the game's title once its settings are read, or what a
    // script sets. Forms, the tray's tip and the system report show it.
    std::string Title{Application::kUntitled};
    // The game's icon as it was loaded, for the tray; empty without one.
    TTrayPicture AppIcon;

private:
    void RunStartUp();
    void UpdateTrayMode();
    // Reads the game's settings, then takes the title and the icon; false without "Game.dat".
    bool LoadGameData();
    // The close handler: whether the close goes through.
    bool FormClose();
    // A fatal dialog with a text and a button caption as they stand, then the end. The reason, when
    // there is one, is reported with the text; shown tells the dialog to show it too, as a second
    // line (a library that cannot be loaded: the file the binding looked for).
    // Without a text, the report names the message's key instead, when it is given.
    void Fail(const std::string& text, const std::string& button, const std::string& reason = {}, bool shown = false,
              const char* textKey = nullptr);
    // The same with the texts of two message-table keys and the start's failure as the reason.
    void FailKey(const char* textKey, bool showReason = false);
    // Runs a step of the engine core outside a frame (the start, the exit dialog's reset) under the
    // frame's guard; a step that fails ends the program in order. False when it failed.
    bool EngineStep(const std::function<void()>& step);
    // Reports the error log's lines, once for each stop of the game.
    void ReportErrorLog();
    // Whether a script error stopped the game: it was logged, or the error screen shows.
    bool StoppedOnError() const;
    bool LoadVorbis();
    bool StartEngine();
    void FlushCanvas();

    IMainWindow& Window;
    TPlatformHost Devices;
    std::unique_ptr<TDirectXPackDisplay> DisplaySeam;
    TKelDirectShowPlayer* Movie = nullptr;  // the engine core's movie object, drawn over each frame
    TARGB8888Font CanvasFont;
    bool CanvasDirty = false;
    bool ErrorLogReported = false;  // the error log's lines went out for the present stop
};
