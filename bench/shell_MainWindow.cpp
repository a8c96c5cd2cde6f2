// The program's main window on the demo game: the time from creating the window to the end of
// the first idle call (the start-up and the first frame, the display showing its first picture),
// against an empty SDL window made and shown once; and the processor time a frame costs in the
// program's own message loop at 60 frames a second, against an empty SDL window loop that clears
// and presents at the same rate: on a still game of the demo's size (a picture on which nothing
// changes), and on the demo's title (a twinkling star, a button, music decoded and mixed).
//
//   bench_shell_MainWindow [GAME_FOLDER] [benchmark options]
//
// GAME_FOLDER defaults to the demo that `make run` (or tools/build-demo.sh) builds in the build
// folder. Needs a desktop (xvfb-run does).
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/Movie.h"
#include "platform/SystemFonts.h"
#include "platform/sdl/SdlAudio.h"
#include "platform/sdl/SdlMainWindow.h"
#include "shell/Unit1.h"
#include "tools/kelpack/PackWriter.h"

namespace {

std::string game;
std::string stillGame;

// Writes the still game beside the bench's other scratch files, with the demo's system-information
// library; false when it cannot be written.
bool WriteStillGame(const std::string& dir) {
    namespace fs = std::filesystem;
    const std::vector<PackWriter::TEntry> entries = {
        {"System\\etc\\Game.dat",
         Encoding::Utf8ToSjis("GameTitle=静止\r\nScreenWidth=800\r\nScreenHeight=600\r\nConfigStartupSkip=TRUE\r\n")},
        {"System\\etc\\Message.txt", Encoding::Utf8ToSjis("OK=ＯＫ\r\n")},
        {"startup.s",
         "@@reset\r\n@@top\r\n\\gvar,img,pic\r\n\\scp,pic\r\n\\fr,100,100,600,400,0xFF406080\r\n\\e\r\n"
         "@@loop\r\n\\wait,1000\r\n\\jmp,@@loop\r\n"}};
    std::error_code ec;
    fs::create_directories(dir + "/GameData", ec);
    fs::create_directories(dir + "/DLL", ec);
    std::ofstream(dir + "/GameData/data0.pack", std::ios::binary)
        << PackWriter::Pack(entries, PackWriter::TVersion::V20);
    fs::copy_file(game + "/DLL/SystemInfo.so", dir + "/DLL/SystemInfo.so", fs::copy_options::overwrite_existing, ec);
    return !ec;
}

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
// The processor time of the calling thread alone: a frame's own work, without the sound device's
// mixing thread and the display system's threads that run meanwhile.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
double WallMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// An empty window of the demo's size with a renderer, shown; null (the reason given to the state)
// when it cannot be made.
SDL_Renderer* EmptyWindow(benchmark::State& state, TSdlWindowPtr& window) {
    std::string error;
    window = SdlDisplay::CreateMainWindow("empty", 800, 600, error);
    SDL_Renderer* r = window ? SDL_CreateRenderer(window.get(), -1, 0) : nullptr;
    if (!r) {
        state.SkipWithError(window ? SDL_GetError() : error.c_str());
        return nullptr;
    }
    SDL_ShowWindow(window.get());
    SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
    return r;
}

void StartEmptyWindow(benchmark::State& state) {
    for (auto _ : state) {
        const double t0 = WallMs();
        TSdlWindowPtr window;
        SDL_Renderer* r = EmptyWindow(state, window);
        if (!r) return;
        SDL_RenderClear(r);
        SDL_RenderPresent(r);
        state.SetIterationTime((WallMs() - t0) / 1e3);
        SDL_DestroyRenderer(r);
    }
}

// The program's devices and window on the game, as main makes them, and its form.
struct TProgram {
    TSdlMainWindow Window{"MainWindow", 320, 240};
    TFreeTypeFonts Fonts;
    TSdlAudioDevice Audio;
    TFfmpegMovies Movies;
    TPlatformHost Devices{.Display = &Window.Display(), .Audio = &Audio, .Fonts = &Fonts, .Movies = &Movies};
    std::unique_ptr<TForm1> Form;

    // Shows the window and makes idle calls until the start has run; false (the reason given to
    // the state) when the game did not start.
    bool Start(benchmark::State& state) {
        if (Window.Failed()) {
            state.SkipWithError(Window.Error().c_str());
            return false;
        }
        Form = std::make_unique<TForm1>(Window, Devices);
        Window.Show();
        while (Form->State == 0 && !Form->Ended()) {
            Window.PumpEvents();
            Form->AppIdle();
        }
        if (Form->State == 1) return true;
        state.SkipWithError("the demo did not start");
        return false;
    }

    // The message loop until one frame has run; the processor time the idle call that ran it took
    // on this thread is added to work.
    void OneFrame(double& work) {
        const int64_t last = Form->Engine->LastFrameTime;
        while (Form->Engine->LastFrameTime == last) {
            Window.PumpEvents();
            const double w0 = ThreadCpuMs();
            Form->AppIdle();
            if (Form->Engine->LastFrameTime != last)
                work += ThreadCpuMs() - w0;
            else
                Window.WaitForEvents(1);
        }
    }
};

void StartDemo(benchmark::State& state) {
    for (auto _ : state) {
        const double t0 = WallMs();
        TProgram program;
        if (!program.Start(state)) return;
        state.SetIterationTime((WallMs() - t0) / 1e3);
    }
}

// One iteration is one frame at 60 a second; its time is the processor time it took.
void LoopEmptyWindow(benchmark::State& state) {
    TSdlWindowPtr window;
    SDL_Renderer* r = EmptyWindow(state, window);
    if (!r) return;
    double due = WallMs();
    for (auto _ : state) {
        const double c0 = ProcessCpuMs();
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        SDL_RenderClear(r);
        SDL_RenderPresent(r);
        due += 1000.0 / 60;
        const double wait = due - WallMs();
        if (wait > 0) SDL_Delay(static_cast<uint32_t>(wait));
        state.SetIterationTime((ProcessCpuMs() - c0) / 1e3);
    }
    SDL_DestroyRenderer(r);
}

void LoopGame(benchmark::State& state, const std::string& folder) {
    Unit1::UseGameFolder(folder);
    TProgram program;
    if (!program.Start(state)) return;
    // A second of frames first, so that nothing is still settling.
    double work = 0;
    for (int k = 0; k < 60; ++k)
        program.OneFrame(work);
    work = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        const double c0 = ProcessCpuMs();
        program.OneFrame(work);
        ++frames;
        state.SetIterationTime((ProcessCpuMs() - c0) / 1e3);
    }
    state.counters["frame_work_ms"] = frames ? work / static_cast<double>(frames) : 0;
    program.Form.reset();
    Unit1::UseGameFolder(game);
}

class TCollector final : public TTimeCollector {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto it = run.counters.find("frame_work_ms");
            if (it != run.counters.end()) FrameWorkMs[run.benchmark_name()] = it->second.value;
        }
        TTimeCollector::ReportRuns(runs);
    }
    std::map<std::string, double> FrameWorkMs;
};

}  // namespace

int main(int argc, char** argv) {
    game = KEL_BUILD_DIR "/demo";
    if (argc > 1 && argv[1][0] != '-') {
        game = argv[1];
        for (int i = 1; i + 1 < argc; ++i)
            argv[i] = argv[i + 1];
        --argc;
    }
    std::error_code ec;
    game = std::filesystem::absolute(game, ec).string();
    if (!std::filesystem::exists(game + "/GameData/data0.pack")) {
        std::fprintf(stderr, "no game at %s: build the demo first (make run, or tools/build-demo.sh)\n", game.c_str());
        return 1;
    }
    std::string error;
    if (!SdlDisplay::InitVideo(error)) {
        std::fprintf(stderr, "no display: %s (run under xvfb-run)\n", error.c_str());
        return 1;
    }
    stillGame = (std::filesystem::temp_directory_path() / ("kel-bench-still-" + std::to_string(getpid()))).string();
    if (!WriteStillGame(stillGame)) {
        std::fprintf(stderr, "cannot write a game at %s\n", stillGame.c_str());
        return 1;
    }
    Unit1::UseGameFolder(game);

    benchmark::RegisterBenchmark("start/baseline/empty window shown", StartEmptyWindow)
        ->UseManualTime()
        ->Iterations(10)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("start/ours/demo to its first frame", StartDemo)
        ->UseManualTime()
        ->Iterations(10)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("idle frame cpu/baseline/empty window loop", LoopEmptyWindow)
        ->UseManualTime()
        ->Iterations(180)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("idle frame cpu/ours/still game loop", LoopGame, stillGame)
        ->UseManualTime()
        ->Iterations(180)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("frame cpu/ours/demo title loop", LoopGame, game)
        ->UseManualTime()
        ->Iterations(180)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    TCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    const std::string base = "idle frame cpu/baseline/empty window loop/iterations:180/manual_time";
    const std::string still = "idle frame cpu/ours/still game loop/iterations:180/manual_time";
    const std::string title = "frame cpu/ours/demo title loop/iterations:180/manual_time";
    const double startBase = collector.Time("start/baseline/empty window shown/iterations:10/manual_time");
    const double startOurs = collector.Time("start/ours/demo to its first frame/iterations:10/manual_time");
    const double loopBase = collector.Time(base);
    std::printf("\nvideo driver: %s\n", SDL_GetCurrentVideoDriver());
    if (startBase > 0 && startOurs > 0)
        std::printf(
            "start-up to the first frame: %.1f ms (of it 100 ms the start's own pause), an empty window "
            "%.1f ms; ratio %.2f\n",
            startOurs, startBase, startOurs / startBase);
    for (const auto& [name, what] :
         {std::pair{still, "an idle frame (nothing changes)"}, std::pair{title, "a frame of the demo's title"}}) {
        const double loopOurs = collector.Time(name);
        if (loopBase > 0 && loopOurs > 0)
            std::printf(
                "processor time of %s: the frame's own work %.4f ms (its thread), the whole loop %.4f ms, an empty "
                "window loop %.4f ms; ratio of the loops %.2f\n",
                what, collector.FrameWorkMs[name], loopOurs / 1e3, loopBase / 1e3, loopOurs / loopBase);
    }
    std::filesystem::remove_all(stillGame, ec);
    benchmark::Shutdown();
    SDL_Quit();
    return 0;
}
