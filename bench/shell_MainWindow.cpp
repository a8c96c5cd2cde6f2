// The program's main window on the demo game: the start-up of the program as a whole process, to
// the window's first picture (the black fill shown before the start's own pause) and to the end of
// its first game frame, against a process that only opens an SDL window of the same size with a
// renderer and presents once, both started from here in turn; and the processor time a frame costs in the program's own
// message loop at 60 frames a second, against an empty SDL window loop that clears and presents at the same rate: on a
// still game of the demo's size (a picture on which nothing changes), and on the demo's title (a twinkling star, a
// button, music decoded and mixed).
//
//   bench_shell_MainWindow [GAME_FOLDER] [benchmark options]
//
// GAME_FOLDER defaults to the demo that `make run` (or tools/build-demo.sh) builds in the build
// folder. Needs a desktop (xvfb-run does).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
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
#include "platform/FileRoot.h"
#include "platform/Movie.h"
#include "platform/SystemFonts.h"
#include "platform/sdl/SdlAudio.h"
#include "platform/sdl/SdlMainWindow.h"
#include "shell/MainWindow.h"
#include "shell/PlayingDevices.h"
#include "tools/kelpack/PackWriter.h"

extern char** environ;

namespace {

// The demo's screen size, which the empty window takes too.
constexpr int kWidth = 800;
constexpr int kHeight = 600;

std::string game;
std::string stillGame;
// A copy of the game for the program's processes, which write their settings into it.
std::string processGame;

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
    window = SdlDisplay::CreateMainWindow("empty", kWidth, kHeight, error);
    SDL_Renderer* r = window ? SDL_CreateRenderer(window.get(), -1, 0) : nullptr;
    if (!r) {
        state.SkipWithError(window ? SDL_GetError() : error.c_str());
        return nullptr;
    }
    SDL_ShowWindow(window.get());
    SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
    return r;
}

// The program's devices and window on the game's folder, as main makes them, and its form.
struct TProgram {
    explicit TProgram(TFileRoot& files) : Files(files) {}

    TFileRoot& Files;
    TSdlMainWindow Window{"MainWindow", 320, 240};
    TFreeTypeFonts Fonts;
    TSdlAudioDevice Audio;
    TFfmpegMovies Movies;
    TSystemClock Clock;
    TPlatformHost Devices{.Display = &Window.Display(),
                          .Audio = &Audio,
                          .Fonts = &Fonts,
                          .Movies = &Movies,
                          .Files = &Files,
                          .Clock = &Clock};
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

// ---- start-up as whole processes ----

// The system clock, which tells the parent through fd when the start's pause begins: the window
// has then shown its first picture (the start fills it black and presents just before).
class TFirstPictureClock final : public IClock {
public:
    explicit TFirstPictureClock(int fd) : Fd(fd) {}
    uint32_t NowMs() override { return System.NowMs(); }
    void SleepMs(uint32_t ms) override {
        if (!Told && ms == 100) {
            Told = true;
            const char shown = 1;
            if (write(Fd, &shown, 1) != 1) _exit(1);
        }
        System.SleepMs(ms);
    }

private:
    TSystemClock System;
    int Fd;
    bool Told = false;
};

// The program as kel plays a game, in a process of its own: its devices and window made as kel's
// main makes them, its message loop run until the first frame has been shown. The parent is told
// through fd twice, once the window's first picture is shown and once the first frame is; then
// the process waits to be ended.
int RunProgramProcess(const std::string& folder, int fd) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    TFirstPictureClock clock(fd);
    if (chdir(folder.c_str()) != 0) return 1;
    TFileRoot files(folder);
    TSdlMainWindow window("MainWindow", 320, 240);
    if (window.Failed()) return 1;
    TPlayingDevices devices(window, files);
    devices.Host.Clock = &clock;
    TForm1 form(window, devices.Host);
    window.Show();
    // The message loop's first turns: the idle call that starts the game runs its first frame.
    while (form.State == 0 && !form.Ended()) {
        window.PumpEvents();
        form.AppIdle();
    }
    if (form.State != 1 || form.Ended()) return 1;
    const char done = 1;
    if (write(fd, &done, 1) != 1) return 1;
    pause();
    return 0;
}

// Starts the program given with its arguments, the last of them the number of the descriptor it
// reports on, and waits for the given number of reports: the wall-clock time from the start to
// each report in ms, or nothing when the process ended or fell silent within 30 s. The process is
// ended once it has reported.
std::vector<double> TimeProcess(std::vector<std::string> args, size_t reports) {
    int ends[2];
    if (pipe(ends) != 0) return {};
    fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    args.push_back(std::to_string(ends[1]));
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // What the processes print (the sound library's complaints about a missing card) is not ours.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const double t0 = WallMs();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    std::vector<double> ms;
    if (spawned == 0) {
        pollfd p{.fd = ends[0], .events = POLLIN, .revents = 0};
        char done = 0;
        while (ms.size() < reports && poll(&p, 1, 30000) == 1 && read(ends[0], &done, 1) == 1)
            ms.push_back(WallMs() - t0);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(ends[0]);
    if (ms.size() < reports) ms.clear();
    return ms;
}

std::string selfPath;
std::vector<double> baselineStarts, programPictures, programStarts;

// One iteration starts the empty window's process and the program's, in turn, so that a load on
// the machine that comes and goes falls on both; its time is the program's.
void StartProcesses(benchmark::State& state) {
    for (auto _ : state) {
        const std::vector<double> base =
            TimeProcess({KEL_EMPTY_WINDOW_PROCESS, std::to_string(kWidth), std::to_string(kHeight)}, 1);
        const std::vector<double> ours = TimeProcess({selfPath, "--program-process", processGame}, 2);
        if (base.empty() || ours.empty()) {
            state.SkipWithError(base.empty() ? "the empty window's process did not show its window"
                                             : "the program's process did not show its first frame");
            return;
        }
        baselineStarts.push_back(base[0]);
        programPictures.push_back(ours[0]);
        programStarts.push_back(ours[1]);
        state.SetIterationTime(ours[1] / 1e3);
    }
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
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
    TFileRoot files(folder);
    TProgram program(files);
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
    if (argc == 4 && std::string(argv[1]) == "--program-process") return RunProgramProcess(argv[2], std::atoi(argv[3]));
    std::error_code ec;
    selfPath = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    game = KEL_BUILD_DIR "/demo";
    if (argc > 1 && argv[1][0] != '-') {
        game = argv[1];
        for (int i = 1; i + 1 < argc; ++i)
            argv[i] = argv[i + 1];
        --argc;
    }
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
    processGame = (std::filesystem::temp_directory_path() / ("kel-bench-game-" + std::to_string(getpid()))).string();
    std::filesystem::copy(game, processGame, std::filesystem::copy_options::recursive, ec);
    if (ec) {
        std::fprintf(stderr, "cannot copy the game to %s\n", processGame.c_str());
        return 1;
    }
    TFileRoot files(game);

    benchmark::RegisterBenchmark("start/ours vs baseline/demo's process to its first frame", StartProcesses)
        ->UseManualTime()
        ->Iterations(15)
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
    const double startBase = Median(baselineStarts);
    const double startOurs = Median(programStarts);
    const double pictureOurs = Median(programPictures);
    const double loopBase = collector.Time(base);
    std::printf("\nvideo driver: %s\n", SDL_GetCurrentVideoDriver());
    if (startBase > 0 && pictureOurs > 0)
        std::printf(
            "start-up of the program's process to its window's first picture: %.1f ms, a process that shows an "
            "empty window %.1f ms (medians of %zu); ratio %.2f\n",
            pictureOurs, startBase, programPictures.size(), pictureOurs / startBase);
    if (startBase > 0 && startOurs > 0)
        std::printf(
            "start-up of the program's process to its first game frame: %.1f ms (of it 100 ms the start's own pause), "
            "a "
            "process that shows an empty window %.1f ms (medians of %zu); ratio %.2f\n",
            startOurs, startBase, programStarts.size(), startOurs / startBase);
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
    std::filesystem::remove_all(processGame, ec);
    benchmark::Shutdown();
    SDL_Quit();
    return 0;
}
