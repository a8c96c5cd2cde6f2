// kel-headless: runs a game folder without a window for a number of frames of fake time and
// prints what the game did.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "foundation/ErrorLogLib.h"
#include "shell/HeadlessRunner.h"

namespace {

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "kel-headless: runs a game without a window and prints what it did.\n"
                 "\n"
                 "Usage:\n"
                 "  kel-headless [options] <game folder>\n"
                 "      The game folder holds GameData\\data0.pack (and further packs) and the\n"
                 "      system-information library DLL\\SystemInfo.so as they would stand beside\n"
                 "      the program (without the library, the one built beside kel-headless is\n"
                 "      used). The game starts exactly as the program starts it (the user's\n"
                 "      settings file is read but never written), then runs frames on a fake clock\n"
                 "      that starts at 0 ms once the game has started and advances only by the\n"
                 "      frame limiter's sleeps and the idle calls between them. Script errors go to\n"
                 "      ERRORLOG.txt in the game folder, as beside the program.\n"
                 "      --frames N         frames to run (default 60); the run ends earlier when\n"
                 "                         the game asks to exit\n"
                 "      --input FILE       input events (format below)\n"
                 "      --var NAME         also prints this variable; may be given more than once\n"
                 "      --png FOLDER       writes each frame the display presents as a PNG file\n"
                 "                         FOLDER/frameNNNNNN.png (NNNNNN counts the presents)\n"
                 "      --png-every N      with --png, writes the first presented frame and every\n"
                 "                         Nth after it (default 1: all of them)\n"
                 "      --wav FILE         writes the sound the run mixed, as a window would have\n"
                 "                         played it by each moment of fake time, to a RIFF wave\n"
                 "                         file (44100 Hz, 16-bit, stereo)\n"
                 "  kel-headless --help\n"
                 "\n"
                 "At the end it prints the frames run, the fake time, the mode, the window\n"
                 "caption, every dialog shown with the button that answered it, the error log,\n"
                 "and the system and game variables (those the variable tables can list, and\n"
                 "those named with --var).\n"
                 "\n"
                 "%s"
                 "\n"
                 "Exit codes: 0 ran with an empty error log, 1 the game could not start, a\n"
                 "script error was logged or the engine ended the game (a damaged pack entry,\n"
                 "for one), 2 wrong usage.\n",
                 HeadlessRunner::InputFormatHelp());
}

}  // namespace

int main(int argc, char** argv) {
    int64_t frames = 60, pngEvery = 1;
    std::string folder, inputFile, pngFolder, wavFile;
    std::vector<std::string> vars;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--frames") {
            if (!value(v) || !HeadlessRunner::ParseNumber(v, frames) || frames < 0) {
                std::fprintf(stderr, "kel-headless: --frames wants a number of frames\n");
                return 2;
            }
        } else if (a == "--input") {
            if (!value(inputFile)) return Usage(stderr), 2;
        } else if (a == "--var") {
            if (!value(v)) return Usage(stderr), 2;
            vars.push_back(v);
        } else if (a == "--png") {
            if (!value(pngFolder)) return Usage(stderr), 2;
        } else if (a == "--png-every") {
            if (!value(v) || !HeadlessRunner::ParseNumber(v, pngEvery) || pngEvery < 1) {
                std::fprintf(stderr, "kel-headless: --png-every wants a number of frames from 1\n");
                return 2;
            }
        } else if (a == "--wav") {
            if (!value(wavFile)) return Usage(stderr), 2;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "kel-headless: unknown option %s\n", a.c_str());
            return 2;
        } else if (folder.empty()) {
            folder = a;
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (folder.empty()) {
        Usage(stderr);
        return 2;
    }

    THeadlessGame game;
    if (!inputFile.empty()) {
        std::string error;
        if (!HeadlessRunner::LoadInputScript(inputFile, game.Events, error)) {
            std::fprintf(stderr, "kel-headless: %s\n", error.c_str());
            return 2;
        }
    }
    if (!pngFolder.empty()) game.Screen.CaptureTo(pngFolder, pngEvery);

    std::string error;
    if (!game.Open(folder, error)) {
        std::fprintf(stderr, "kel-headless: %s\n", error.c_str());
        return 1;
    }
    if (!wavFile.empty() && !game.CaptureSound(wavFile, error)) {
        std::fprintf(stderr, "kel-headless: %s\n", error.c_str());
        return 1;
    }
    game.Run(frames);
    if (!game.FinishSound(error)) {
        std::fprintf(stderr, "kel-headless: %s\n", error.c_str());
        return 1;
    }
    std::cout << game.Report(vars);
    if (!pngFolder.empty()) {
        std::cout << "frames written: " << game.Screen.FramesWritten << "\n";
        if (!game.Screen.WriteError.empty()) {
            std::fprintf(stderr, "kel-headless: %s\n", game.Screen.WriteError.c_str());
            return 1;
        }
    }
    return game.Form->Context.Log.ErrorList.Count() == 0 && !game.Host.Terminated ? 0 : 1;
}
