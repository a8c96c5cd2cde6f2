// The cost of a flip of the display component on an SDL window at 800 x 600, 32 bits, when one
// 60-row band, five bands apart from each other, or all ten bands of the frame changed, against
// the plain way: the whole frame uploaded with SDL_UpdateTexture, then drawn and presented. Both
// draw on the same window with the same kind of renderer, without waiting for the vertical blank.
// Without an X server SDL's offscreen driver is used, which draws in memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "foundation/DisplayComponent.h"
#include "platform/sdl/SdlDisplay.h"

namespace {

constexpr int32_t kW = 800, kH = 600, kBand = 60;

SDL_Window* window = nullptr;

// A frame whose pixels differ from one call to the next, so every upload moves new bytes.
void Paint(std::vector<uint32_t>& frame, uint32_t seed) {
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = 0xFF000000 | static_cast<uint32_t>(i * 2654435761u + seed);
}

void Baseline(benchmark::State& state) {
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, 0);
    SDL_Texture* texture =
        renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, kW, kH) : nullptr;
    if (!texture) {
        state.SkipWithError(SDL_GetError());
        if (renderer) SDL_DestroyRenderer(renderer);
        return;
    }
    std::vector<uint32_t> frame(kW * kH);
    uint32_t seed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Paint(frame, ++seed);
        state.ResumeTiming();
        SDL_UpdateTexture(texture, nullptr, frame.data(), kW * 4);
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
    }
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
}

// Flips after the given bands (of 60 rows) were written into the back buffer.
void Flip(benchmark::State& state, std::vector<int32_t> bands) {
    TSdlDisplay display(window);
    TDDDD7 dd(&display);
    dd.AutoDisplayModeInitialize = false;
    dd.VsyncAtWindowed = false;
    dd.DisableScreenSaver = false;
    dd.Loaded();
    if (!dd.Start() || !dd.BackBuffer) {
        state.SkipWithError("the display did not start");
        return;
    }
    dd.InitializeWindowed(kW, kH);
    dd.Flip();
    std::vector<uint32_t> frame(kW * kH);
    uint32_t seed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Paint(frame, ++seed);
        TDisplayLock lock;
        dd.BackBuffer->Lock(lock);
        for (int32_t b : bands) {
            Display::StoreRect(lock, 0, b * kBand, kW, kBand, frame.data() + b * kBand * kW, kW);
            dd.BackBuffer->Changed(b * kBand, (b + 1) * kBand);
        }
        dd.BackBuffer->Unlock();
        state.ResumeTiming();
        dd.Flip();
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    if (!SdlDisplay::InitVideo(error)) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        if (!SdlDisplay::InitVideo(error)) {
            std::fprintf(stderr, "no SDL video: %s\n", error.c_str());
            return 1;
        }
    }
    TSdlWindowPtr owned = SdlDisplay::CreateMainWindow("flip benchmark", kW, kH, error);
    if (!owned) {
        std::fprintf(stderr, "no window: %s\n", error.c_str());
        return 1;
    }
    window = owned.get();
    SDL_ShowWindow(window);

    benchmark::RegisterBenchmark("flip/baseline/whole frame", Baseline);
    benchmark::RegisterBenchmark("flip/ours/1 band", [](benchmark::State& s) { Flip(s, {4}); });
    benchmark::RegisterBenchmark("flip/ours/5 bands apart", [](benchmark::State& s) { Flip(s, {0, 2, 4, 6, 8}); });
    benchmark::RegisterBenchmark("flip/ours/all 10 bands", [](benchmark::State& s) {
        Flip(s, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    });
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("\nvideo driver: %s; ratio = flip time / full upload and present (below 1: cheaper)\n",
                SDL_GetCurrentVideoDriver());
    const double base = collector.Time("flip/baseline/whole frame");
    for (const auto& [name, time] : collector.Times)
        if (base > 0 && name.rfind("flip/ours/", 0) == 0) std::printf("%-28s ratio %.2f\n", name.c_str(), time / base);
    benchmark::Shutdown();
    owned.reset();
    SDL_Quit();
    return 0;
}
