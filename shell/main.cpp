// kel: the program. Opens the main window on a game folder and runs the game until the window
// closes; or, for checks, runs a fixed number of frames in the window on a fake clock with
// scripted input, exactly as kel-headless runs them without one.
#include <SDL.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "foundation/ErrorLogLib.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/FileSystem.h"
#include "platform/PresentTap.h"
#include "platform/ProcessSignals.h"
#include "platform/dbus/StatusNotifierIcon.h"
#include "platform/sdl/SdlMainWindow.h"
#include "shell/HeadlessRunner.h"
#include "shell/MainWindow.h"
#include "shell/PlayingDevices.h"
#include "shell/uMuteXApplication.h"
#include "shell/uTaskBarIcon.h"

namespace {

// The exit code when no display can be opened, so that a caller can fall back to kel-headless.
constexpr int kNoDisplay = 3;

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "kel: runs a game in a window.\n"
                 "\n"
                 "Usage:\n"
                 "  kel [GAME_FOLDER]\n"
                 "      GAME_FOLDER holds GameData\\data0.pack (and further packs) and the game's\n"
                 "      DLL folder; without it, the folder of the kel program is the game's folder.\n"
                 "      The game's settings, its error log (ERRORLOG.txt) and its saves are written\n"
                 "      there.\n"
                 "  kel --frames N [--input FILE] [--png FOLDER [--png-every N]] [GAME_FOLDER]\n"
                 "      Runs N frames in the window as kel-headless runs them without one: on a\n"
                 "      fake clock, with the input events of FILE (kel-headless --help shows the\n"
                 "      format) instead of the mouse and keyboard, dialogs answered by the input\n"
                 "      script, the user's settings read but never written, no sound heard. Prints\n"
                 "      the same report. With --png, every frame the window shows is read back\n"
                 "      from it and written as FOLDER/frameNNNNNN.png, named as kel-headless --png\n"
                 "      names its frames, so that the two can be compared pixel for pixel.\n"
                 "  kel --help\n"
                 "\n"
                 "One game runs at a time: a second kel started while one plays ends at once with\n"
                 "exit code 0 (counted runs are not held back).\n"
                 "\n"
                 "SIGTERM, SIGINT and SIGHUP end the game as closing it with \"exit\" does, without\n"
                 "asking: the settings are saved. Why a game could not start, or why it stopped on\n"
                 "a script error, is printed on standard error as well.\n"
                 "\n"
                 "Exit codes: 0 the game ended normally (a counted run: ran with an empty error\n"
                 "log), 1 the game could not start, was ended by a failure or ended on its\n"
                 "script-error screen (a counted run: or logged a script error), 2 wrong usage, 3\n"
                 "no display could be opened (kel-headless runs a game without one).\n");
}

struct TOptions {
    std::string Folder;
    int64_t Frames = -1;  // -1: played until the window closes
    std::string InputFile;
    std::string PngFolder;
    int64_t PngEvery = 1;
};

// False with the exit code for wrong usage or help.
bool ParseOptions(int argc, char** argv, TOptions& o, int& exitCode) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&](int64_t& out, int64_t least) {
            return i + 1 < argc && HeadlessRunner::ParseNumber(argv[++i], out) && out >= least;
        };
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            exitCode = 0;
            return false;
        }
        bool ok = true;
        if (a == "--frames")
            ok = number(o.Frames, 0);
        else if (a == "--png-every")
            ok = number(o.PngEvery, 1);
        else if (a == "--input" || a == "--png")
            ok = i + 1 < argc && !(a == "--input" ? o.InputFile : o.PngFolder).assign(argv[++i]).empty();
        else if (!a.empty() && a[0] != '-' && o.Folder.empty())
            o.Folder = a;
        else
            ok = false;
        if (!ok) {
            Usage(stderr);
            exitCode = 2;
            return false;
        }
    }
    if ((!o.InputFile.empty() || !o.PngFolder.empty()) && o.Frames < 0) {
        std::fprintf(stderr, "kel: --input and --png belong to a counted run (--frames N)\n");
        exitCode = 2;
        return false;
    }
    return true;
}

// The game played until its window closes, or an end signal ends it.
int Play(TFileRoot& files) {
    int result = 0;
    ProcessSignals::InstallEndHandlers();
    TSdlMainWindow window("MainWindow", 320, 240);
    if (window.Failed()) {
        std::fprintf(stderr, "kel: no display could be opened (%s); kel-headless runs a game without one\n",
                     window.Error().c_str());
        return kNoDisplay;
    }
    TPlayingDevices devices(window, files);
    {
        TForm1 form(window, devices.Host);
        form.ReportLine = [](const std::string& line) {
            std::fprintf(stderr, "kel: %s\n", Encoding::PrintableUtf8(Encoding::SjisToUtf8(line)).c_str());
        };
        // The icon on the session bus; where there is none, or no notification area, it is never
        // confirmed and the window keeps its taskbar button.
        form.CreateTray = [&]() -> std::unique_ptr<ITaskTray> {
            return std::make_unique<TTaskTray>(devices.Taskbar, std::make_unique<TStatusNotifierIcon>("kel"), true,
                                               devices.Clock, form.Title);
        };
        // A form shown inside a frame runs its own loop; the window keeps answering meanwhile, and
        // the idle handler's guard keeps frames from starting inside it. An end signal cancels the
        // form, and the message loop then ends the game.
        TModalLoop& modal = *devices.Host.Modal;
        const auto keepWindowAnswering = [&] {
            if (ProcessSignals::EndRequested() != 0) modal.CancelOpenForm();
            window.PumpEvents();
            form.AppIdle();
        };
        modal.SetWhileModalHook(keepWindowAnswering);
        devices.ScriptForms.WhileOpen = keepWindowAnswering;
        devices.ScriptForms.Title = &form.Title;
        window.Show();
        Unit1::RunMessageLoop(form, window);
        devices.ScriptForms.WhileOpen = nullptr;
        devices.ScriptForms.Title = nullptr;
        modal.SetWhileModalHook(nullptr);
        if (form.EndedOnError()) result = 1;
    }
    return result;
}

// A counted run in the window, as kel-headless makes it.
int RunCounted(const TOptions& o, const std::string& folder) {
    THeadlessGame game;
    std::string error;
    if (!o.InputFile.empty() && !HeadlessRunner::LoadInputScript(o.InputFile, game.Events, error)) {
        std::fprintf(stderr, "kel: %s\n", error.c_str());
        return 2;
    }
    TSdlMainWindow window("MainWindow", 320, 240, &game.Source);
    if (window.Failed()) {
        std::fprintf(stderr, "kel: no display could be opened (%s); kel-headless runs a game without one\n",
                     window.Error().c_str());
        return kNoDisplay;
    }
    // Each present the engine makes is read back from the window, numbered as the headless display
    // numbers its presents.
    int64_t presents = 0;
    TPresentTap display(window.Display(), [&] {
        ++presents;
        THeadlessFrame frame;
        frame.Index = presents;
        if (game.Screen.Capture && window.ReadPixels(frame.Pixels, frame.Width, frame.Height))
            game.Screen.Capture(frame);
    });
    if (!o.PngFolder.empty()) game.Screen.CaptureTo(o.PngFolder, o.PngEvery);
    game.UseWindow(window, display);
    THeadlessGame::TClosing closing{game};
    if (!game.Open(folder, error)) {
        std::fprintf(stderr, "kel: %s\n", error.c_str());
        return 1;
    }
    game.Run(o.Frames);
    std::cout << game.Report();
    if (!o.PngFolder.empty()) {
        std::cout << "frames written: " << game.Screen.FramesWritten << "\n";
        if (!game.Screen.WriteError.empty()) {
            std::fprintf(stderr, "kel: %s\n", game.Screen.WriteError.c_str());
            return 1;
        }
    }
    return game.Form->Context.Log.ErrorList.Count() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // The end signals are the program's own to handle (Play), not turned into a close request
    // that asks the player first.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    TOptions options;
    int exitCode = 0;
    if (!ParseOptions(argc, argv, options, exitCode)) return exitCode;
    std::string folder = options.Folder.empty() ? FileSystem::ProgramFolder() : options.Folder;
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, ec), ec);
    if (ec || !std::filesystem::is_directory(path)) {
        std::fprintf(stderr, "kel: %s is no folder\n", folder.c_str());
        return 2;
    }
    folder = path.string();
    // The input script and the picture folder are named from where kel was started, as
    // kel-headless names them, not from the game's folder that becomes the current one.
    for (std::string* name : {&options.InputFile, &options.PngFolder})
        if (!name->empty()) *name = std::filesystem::absolute(*name, ec).string();
    if (chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "kel: cannot enter %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    TFileRoot files(folder);

    int result = 0;
    if (options.Frames >= 0) {
        result = RunCounted(options, folder);
    } else {
        // Another copy playing: this one ends silently, before it opens a window.
        if (!uMuteXApplication::MutexApplicationInit()) return 0;
        result = Play(files);
    }
    SDL_Quit();
    uMuteXApplication::MutexApplicationDone();
    return result;
}
