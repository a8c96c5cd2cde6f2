// Saving and loading the demo's game halfway through Hana's voiced line (the state the round-trip
// test saves), against plain file calls on the same bytes. A save writes "SystemData.dat", its
// ".bak" and the save file, each a new file flushed to the disk and renamed over the old one; the
// baseline writes the same three files' bytes with open, write, fsync and close. A load writes
// "SystemData.dat", reads the save file and restores the game; the baseline writes the same
// system data and reads the same file, each with the same plain calls. Printed: the size of the
// save file and both ratios (ours / plain, goal at most 3).
//
//   bench_shell_SaveGame [GAME_FOLDER] [benchmark options]
//
// GAME_FOLDER defaults to the demo the build makes in the build folder; it is copied to a scratch
// folder first, so that the game's own folder keeps no saves.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/BenchReport.h"
#include "foundation/SystemConfigLib.h"
#include "platform/HostFiles.h"
#include "shell/HeadlessRunner.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kSaveFrame = 340;  // Hana's line half typed
const char* const kSaveName = "bench.svd";

THeadlessGame* game = nullptr;
std::string saveFolder;  // host path of the game's SaveData

std::string Read(const std::string& path) {
    std::string bytes;
    HostFiles::Read(path, bytes);
    return bytes;
}

// A whole file with plain calls, flushed to the disk before it is closed.
void PlainWrite(const std::string& path, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    fsync(fd);
    close(fd);
}

std::string PlainRead(const std::string& path) {
    std::string bytes;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<size_t>(n));
    close(fd);
    return bytes;
}

TKelScript& Script() {
    return *game->Engine->GameScript;
}

void Save(benchmark::State& state) {
    for (auto _ : state)
        if (!game->Engine->GameState->SaveGame(Script(), kSaveName, true)) state.SkipWithError("the save failed");
}

void PlainSave(benchmark::State& state) {
    const std::string system = Read(saveFolder + "/SystemData.dat"), save = Read(saveFolder + "/" + kSaveName);
    const std::string scratch = saveFolder + "/plain";
    for (auto _ : state) {
        PlainWrite(scratch + ".dat", system);
        PlainWrite(scratch + ".dat.bak", system);
        PlainWrite(scratch + ".svd", save);
    }
}

void Load(benchmark::State& state) {
    for (auto _ : state)
        if (!game->Engine->GameState->LoadGame(Script(), kSaveName)) state.SkipWithError("the load failed");
}

void PlainLoad(benchmark::State& state) {
    const std::string system = Read(saveFolder + "/SystemData.dat");
    const std::string scratch = saveFolder + "/plain";
    PlainWrite(scratch + ".svd", Read(saveFolder + "/" + kSaveName));
    for (auto _ : state) {
        PlainWrite(scratch + ".dat", system);
        benchmark::DoNotOptimize(PlainRead(scratch + ".svd"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string source = std::string(KEL_BUILD_DIR) + "/demo";
    if (argc > 1 && argv[1][0] != '-') {
        source = argv[1];
        for (int i = 1; i + 1 < argc; ++i)
            argv[i] = argv[i + 1];
        --argc;
    }
    std::error_code ec;
    const fs::path scratch = fs::temp_directory_path() / ("kel-bench-save-" + std::to_string(getpid()));
    fs::create_directories(scratch, ec);
    for (const char* part : {"GameData", "DLL"})
        if (!ec) fs::copy(fs::path(source) / part, scratch / part, fs::copy_options::recursive, ec);
    if (ec) {
        std::fprintf(stderr, "bench_shell_SaveGame: no game in %s (build the demo first)\n", source.c_str());
        return 1;
    }
    saveFolder = (scratch / "SaveData").string();

    auto running = std::make_unique<THeadlessGame>();
    std::string error;
    if (!running->Open(scratch.string(), error)) {
        std::fprintf(stderr, "bench_shell_SaveGame: %s\n", error.c_str());
        return 1;
    }
    // The player's settings are the game's defaults, whose image cache keeps the pictures of the
    // objects a load frees and makes again (with no settings file the cache holds nothing).
    TSystemConfig& config = running->Form->Context.Config;
    config.Config.CacheSize = config.DefaultConfig.CacheSize;
    if (running->Engine->ConfigForm) running->Engine->ConfigForm->ApplyCacheSizes();
    running->Run(kSaveFrame);
    game = running.get();
    if (!game->Engine->GameState->SaveGame(Script(), kSaveName, true)) {
        std::fprintf(stderr, "bench_shell_SaveGame: the first save failed\n");
        return 1;
    }

    benchmark::RegisterBenchmark("save/ours", Save)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("save/plain", PlainSave)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("load/ours", Load)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("load/plain", PlainLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\nsave file: %lld bytes (system data %lld bytes, twice)\n",
                static_cast<long long>(fs::file_size(saveFolder + "/" + kSaveName, ec)),
                static_cast<long long>(fs::file_size(saveFolder + "/SystemData.dat", ec)));
    std::printf("ratio = our time / plain file calls on the same bytes, fsync on both sides\n");
    for (const char* name : {"save", "load"}) {
        // Times in milliseconds, as the runs are registered.
        const double ours = collector.Time(std::string(name) + "/ours/real_time");
        const double plain = collector.Time(std::string(name) + "/plain/real_time");
        if (ours <= 0 || plain <= 0) continue;
        const double ratio = ours / plain;
        std::printf("%-6s %8.2f ms against %8.2f ms: ratio %.2f  (goal at most 3: %s)\n", name, ours, plain, ratio,
                    ratio <= 3 ? "met" : "missed");
    }
    benchmark::Shutdown();
    game = nullptr;
    running.reset();
    fs::remove_all(scratch, ec);
    return 0;
}
