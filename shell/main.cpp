// kel: the program. Opens the main window on a game folder and runs the game until the window
// closes.
#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "media/AnimationBmpLib.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/SystemFonts.h"
#include "platform/fltk/FltkDialogs.h"
#include "platform/sdl/SdlAudio.h"
#include "platform/sdl/SdlMainWindow.h"
#include "shell/Unit1.h"

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
                 "  kel --help\n"
                 "\n"
                 "Exit codes: 0 the window was closed, 1 the game could not start or was ended by\n"
                 "a failure (its dialog says why), 2 wrong usage, 3 no display could be opened\n"
                 "(kel-headless runs a game without one).\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        }
        if ((!a.empty() && a[0] == '-') || !folder.empty()) {
            Usage(stderr);
            return 2;
        }
        folder = a;
    }
    std::error_code ec;
    if (folder.empty()) folder = FileSystem::ProgramFolder();
    const std::filesystem::path path = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, ec), ec);
    if (ec || !std::filesystem::is_directory(path)) {
        std::fprintf(stderr, "kel: %s is no folder\n", folder.c_str());
        return 2;
    }
    folder = path.string();
    if (chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "kel: cannot enter %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    Unit1::UseGameFolder(folder);

    // The unit-wide caches of pictures and waves; the configuration gives them their capacities.
    AnimationBmpLib::CreateManagers();
    int result = 0;
    {
        TSdlMainWindow window("MainWindow", 320, 240);
        if (window.Failed()) {
            std::fprintf(stderr, "kel: no display could be opened (%s); kel-headless runs a game without one\n",
                         window.Error().c_str());
            return kNoDisplay;
        }
        TFltkDialogs forms;
        Dialogs::SetCurrent(&forms);
        TFreeTypeFonts fonts;
        TSdlAudioDevice audio;
        TPlatformHost devices{.Display = &window.Display(), .Audio = &audio, .Fonts = &fonts};
        {
            TForm1 form(window, devices);
            // A form shown inside a frame runs its own loop; the window keeps answering meanwhile, and
            // the idle handler's guard keeps frames from starting inside it.
            Dialogs::SetWhileModalHook([&] {
                window.PumpEvents();
                form.AppIdle();
            });
            window.Show();
            Unit1::RunMessageLoop(form, window);
            Dialogs::SetWhileModalHook(nullptr);
            result = form.Terminated ? 1 : 0;
        }
        Dialogs::SetCurrent(nullptr);
    }
    AnimationBmpLib::FreeManagers();
    SDL_Quit();
    return result;
}
