// Runs a game folder without a window: the main window and its start-up as in the program, on a
// headless window and display, the engine core on a fake clock, the input fed from a small script
// of input events, dialogs answered from a queue. The program kel-headless and the engine's tests
// share it; the program kel runs it in a real window for checks against the headless frames.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SoundComponent.h"
#include "media/KelDirectShow.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "platform/Movie.h"
#include "platform/PlatformHost.h"
#include "platform/SystemFonts.h"
#include "platform/headless/HeadlessClipboard.h"
#include "platform/headless/HeadlessConfigForms.h"
#include "platform/headless/HeadlessDesktop.h"
#include "platform/headless/HeadlessDialogs.h"
#include "platform/headless/HeadlessInput.h"
#include "platform/headless/HeadlessMainWindow.h"
#include "platform/headless/HeadlessScriptForms.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelScriptLib.h"
#include "shell/HeadlessScreen.h"
#include "shell/KelSystemLib.h"
#include "shell/MainWindow.h"

// The main window as the engine core sees it in a run: the form itself, recording what the engine
// shows on it. Minimising is only counted: nobody would restore the window again.
class THeadlessHost final : public IKelHost {
public:
    THeadlessHost(THeadlessInputSource& source, const int64_t* frameCounter)
        : Source(source), FrameCounter(frameCounter) {}
    bool IsActiveWindow() override { return Form ? Form->IsActiveWindow() : Source.Active; }
    void SetCaption(const std::string& caption) override;
    void CanvasText(const TCanvasText& text) override;
    void Minimize() override { ++Minimized; }
    void Terminate() override;
    IInputSource& InputSource() override { return WindowInput ? *WindowInput : Source; }
    const IDialogOwner* DialogOwner() override { return Form ? Form->DialogOwner() : nullptr; }
    IClipboard* Clipboard() override { return Form ? Form->Clipboard() : nullptr; }
    IDesktop* Desktop() override { return Form ? Form->Desktop() : nullptr; }

    THeadlessInputSource& Source;
    // The window's own input in place of the script's, when it is set.
    IInputSource* WindowInput = nullptr;
    TForm1* Form = nullptr;
    std::string Caption;  // Shift-JIS
    int CaptionUpdates = 0;
    // The texts of the last frame that wrote any: a long run on the error screen keeps one frame's
    // lines, not every frame's. Frames are told apart by the count FrameCounter points at.
    std::vector<TCanvasText> Texts;
    const int64_t* FrameCounter = nullptr;
    int Minimized = 0;
    bool Terminated = false;

private:
    int64_t TextsFrame = -1;
};

// The window's events in a counted run. Its picture is drawn only by its frames: a repaint the
// desktop asks for (an exposure) is left to the display, which shows its last frame again, so that
// a run in a window presents exactly the frames a headless run presents.
class TCountedRunEvents final : public IMainWindowEvents {
public:
    void CloseRequested() override {
        if (Form) Form->CloseRequested();
    }
    void Paint() override {}
    void KeyDown(uint16_t& key) override {
        if (Form) Form->KeyDown(key);
    }
    void KeyUp(uint16_t& key) override {
        if (Form) Form->KeyUp(key);
    }
    void Minimized(bool minimized) override {
        if (Form) Form->Minimized(minimized);
    }
    TForm1* Form = nullptr;
};

// One line of an input script: "FRAME ACTION [ARGS]".
struct THeadlessEvent {
    int64_t Frame = 0;
    std::string Action;  // down, up, move, wheel, active, dialog, pick, page, set, press, save, load
    int32_t A = 0, B = 0;
    std::string Name;  // save and load: the save file's name (Shift-JIS); set and press: the control's
};

namespace HeadlessRunner {

// The input script's format, for the programs' help.
const char* InputFormatHelp();

// A decimal or "0x" hexadecimal number with an optional "-", nothing else around it; false for
// anything else and for a number outside the 64-bit range.
bool ParseNumber(const std::string& text, int64_t& out);

// False, with the line and what is wrong with it, for a line that is no event.
bool ParseInputScript(const std::string& text, std::vector<THeadlessEvent>& events, std::string& error);

// Reads and parses an input script file (a host path); false with the file and what is wrong.
bool LoadInputScript(const std::string& path, std::vector<THeadlessEvent>& events, std::string& error);

}  // namespace HeadlessRunner

// A game folder run headless. The folder holds "GameData\data0.pack", "DLL\SystemInfo.so" and
// the rest of a game as it would stand beside the program.
class THeadlessGame {
public:
    THeadlessGame();
    ~THeadlessGame();
    THeadlessGame(const THeadlessGame&) = delete;
    THeadlessGame& operator=(const THeadlessGame&) = delete;

    // Runs the game in another window on another display device (kel in a window). Both must
    // outlive the game's form: a TClosing made after them closes the game before they go. The
    // input stays the script's, and the window's Input must answer from Source.
    void UseWindow(IMainWindow& window, IDisplayDevice& display) {
        Window = &window;
        Devices.Display = &display;
    }
    struct TClosing {
        THeadlessGame& Game;
        ~TClosing() { Game.Close(); }
    };
    // The game reads the window's own keyboard and mouse instead of the input script: for checks
    // of the whole way from the window system's events to the script. Called before Open.
    void UseWindowInput() { Host.WindowInput = &Window->Input(); }

    // The program's start-up on the folder, on the fake clock, with the user's settings file read
    // but never written. False, with the dialog that ended it and what is known of the reason, when
    // the game cannot start.
    bool Open(const std::string& hostFolder, std::string& error);

    // Ends the game as closing the program does (settings are not written), so that another can
    // be opened.
    void Close();

    // Makes idle calls as the program's message loop does until the given number of frames has
    // come due, the engine closed the window or the program was ended. Idle calls that neither run
    // a frame nor sleep let one millisecond pass.
    void Run(int64_t frames);

    // Writes what the run mixes from now on to a RIFF wave file; FinishSound completes it.
    bool CaptureSound(const std::string& hostPath, std::string& error);
    bool FinishSound(std::string& error);

    // What the game did: frames, mode, caption, dialogs, the error log, and the variables.
    std::string Report(const std::vector<std::string>& extraVariables = {});

    TFakeClock FakeClock;
    // The game's folder: Open moves it to the folder it runs.
    TFileRoot Files;
    // The installed faces are the real ones: FreeType needs no window.
    TFreeTypeFonts Fonts;
    TManualAudioDevice Audio;
    THeadlessScreen Screen;
    THeadlessMainWindow HeadlessWindow;
    THeadlessInputSource& Source = HeadlessWindow.Source;
    IMainWindow* Window = &HeadlessWindow;
    TFfmpegMovies Movies;
    // The loop the settings and message forms run in; nothing sets its hooks in a run.
    TModalLoop Modal;
    // The settings forms: the start-up dialog takes "起動" and the others their default button unless
    // a test queues the player's actions.
    THeadlessConfigForms Forms{&Modal};
    // The clipboard and the desktop keep what the game put on them and what it asked to open.
    THeadlessClipboard Clipboard;
    THeadlessDesktop Desktop{Files};
    // The script's forms end as cancelled: a run has no player to answer them.
    THeadlessScriptForms ScriptForms;
    TPlatformHost Devices{.Display = &Screen.Device,
                          .Audio = &Audio,
                          .Fonts = &Fonts,
                          .Movies = &Movies,
                          .Clipboard = &Clipboard,
                          .Desktop = &Desktop,
                          .Forms = &Forms,
                          .ScriptForms = &ScriptForms,
                          .Files = &Files,
                          .Clock = &FakeClock,
                          .Dialogs = &Answers,
                          .Modal = &Modal};
    THeadlessHost Host{Source, &FramesRun};
    TCountedRunEvents RunEvents;
    THeadlessDialogs Answers{&Modal};
    std::unique_ptr<TForm1> Form;
    TKelSystem* Engine = nullptr;  // the form's, once the game has started
    TDDSD7* Sound = nullptr;
    std::vector<THeadlessEvent> Events;
    int64_t FramesRun = 0;
    bool Exited = false;

    // The movie object the engine core owns; null before Open.
    TKelDirectShowPlayer* Movie();

private:
    void MixSound();
    void ApplyEvents();

    int64_t AppliedUpTo = 0;
    TWaveFileWriter WaveFile;
    bool Capturing = false;
    std::vector<int16_t> Mixed;
};
