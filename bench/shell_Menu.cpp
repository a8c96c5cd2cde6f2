// A frame of the system menu (its update with the buttons' animations, the still picture and the
// items recorded and rendered, the frame presented) against an idle frame of the game it was
// opened over (the script waiting for a click, its objects updated, drawn and presented), both
// whole frames of the engine core on the demo in the same run: as they run (only the bands that
// changed are composed again), and with every band composed in every frame. Printed: the ratios
// (menu / idle, goal at most 2).
//
//   bench_shell_Menu [GAME_FOLDER] [benchmark options]
//
// GAME_FOLDER defaults to the demo the build makes in the build folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/BenchReport.h"
#include "objects/KelGraphicLib.h"
#include "shell/HeadlessRunner.h"
#include "shell/KelMenuLib.h"

namespace {

constexpr int64_t kFirstFrame = 340;  // Hana's line on screen, the characters breathing

THeadlessGame* game = nullptr;

TKelSystem& Engine() {
    return *game->Engine;
}

// One frame of the engine core, the clock moved on by one frame period of the demo.
void RunFrame() {
    game->FakeClock.Now += 17;
    Engine().Frame();
}

TARGB8888CellDraw* Cells() {
    return KelGraphicLib::GraphicOf(*Engine().GameScript)->CellDraw();
}

// With whole: every band of the screen is composed again in each frame (as in the first frame of
// the menu) instead of only the bands that changed.
void IdleFrame(benchmark::State& state, bool whole) {
    Engine().SetMode(KelSystemLib::kmGameScript);
    for (auto _ : state) {
        if (whole) Cells()->InvalidateAll();
        RunFrame();
    }
}

void MenuFrame(benchmark::State& state, bool whole) {
    Engine().DoRequest(srMenu, "");
    ++Engine().FramesInMode;
    RunFrame();  // opens the menu
    for (auto _ : state) {
        if (whole) Cells()->InvalidateAll();
        RunFrame();
    }
    if (Engine().Mode != KelSystemLib::kmMenu) state.SkipWithError("the menu closed");
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = std::string(KEL_BUILD_DIR) + "/demo";
    if (argc > 1 && argv[1][0] != '-') {
        folder = argv[1];
        for (int i = 1; i + 1 < argc; ++i)
            argv[i] = argv[i + 1];
        --argc;
    }
    auto running = std::make_unique<THeadlessGame>();
    std::string error;
    if (!running->Open(folder, error)) {
        std::fprintf(stderr, "bench_shell_Menu: %s (build the demo first)\n", error.c_str());
        return 1;
    }
    running->Run(kFirstFrame);
    game = running.get();
    // The script waits for a click for as long as the run takes: every frame is alike.
    TScriptRoutine* routine = Engine().GameScript->CurrentRoutine();
    if (!routine) {
        std::fprintf(stderr, "bench_shell_Menu: the game script does not run\n");
        return 1;
    }
    routine->WaitState = wsClick;
    routine->WaitTime = -1;

    benchmark::RegisterBenchmark("frame/idle", IdleFrame, false)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("frame/idle-whole", IdleFrame, true)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("frame/menu", MenuFrame, false)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("frame/menu-whole", MenuFrame, true)->Unit(benchmark::kMicrosecond);
    TRatioReporter reporter;
    if (!reporter.RunBenchmarks(argc, argv)) return 1;
    for (const char* kind : {"", "-whole"}) {
        const std::string name = std::string("frame/menu") + kind;
        const double menu = reporter.MedianTime(name), idle = reporter.MedianTime(std::string("frame/idle") + kind);
        if (idle <= 0 || menu <= 0) continue;
        const double ratio = menu / idle;
        std::printf("%-17s %8.1f us against idle game frame %8.1f us: ratio %.2f  (goal at most 2: %s)\n", name.c_str(),
                    menu * 1e6, idle * 1e6, ratio, ratio <= 2 ? "met" : "missed");
    }
    benchmark::Shutdown();
    game = nullptr;
    running.reset();
    return 0;
}
