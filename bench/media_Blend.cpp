// The hot loops of the image library against pixman on the same pixels, in the same run: our
// mode-2 alpha blend against pixman's OVER, our fill against pixman_fill, our plain copy against
// pixman's SRC and our nearest stretch against pixman's nearest scale; memcpy of the frame is the
// floor. pixman's OVER is premultiplied and ours straight alpha: a different operation on the same
// bytes, so only the times compare. The ratios (ours / pixman) are printed after the table.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "media/ARGB8888Kernels.h"
#include "media/ARGB8888Lib.h"

namespace {

enum class TMix { Opaque, Transparent, Sprite, Random };
const char* MixName(TMix mix) {
    switch (mix) {
        case TMix::Opaque:
            return "opaque";
        case TMix::Transparent:
            return "transparent";
        case TMix::Sprite:
            return "sprite";
        default:
            return "random";
    }
}

// A layer of the given alpha mix. The sprite is a disc with an anti-aliased rim of two pixels on
// a transparent ground, the common shape of a character picture.
void MakeLayer(TARGB8888& image, int32_t w, int32_t h, TMix mix) {
    image.SetSize(w, h);  // the transparency flag stays set, so every mix takes the blend kernel
    std::mt19937 random(12345);
    const double cx = w / 2.0, cy = h / 2.0, radius = 0.4 * std::min(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t colour = random() & 0xFFFFFF;
            uint32_t alpha = 0;
            switch (mix) {
                case TMix::Opaque:
                    alpha = 255;
                    break;
                case TMix::Transparent:
                    alpha = 0;
                    break;
                case TMix::Sprite: {
                    const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy) - radius;
                    alpha = d <= 0 ? 255 : d >= 2 ? 0 : static_cast<uint32_t>(255 * (1 - d / 2));
                    break;
                }
                case TMix::Random:
                    alpha = random() & 0xFF;
                    break;
            }
            image.ScanLine(y)[x] = (alpha << 24) | (alpha ? colour : 0);
        }
}

pixman_image_t* Wrap(TARGB8888& image) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, image.Width(), image.Height(), image.ScanLine(0),
                                    image.Width() * 4);
}

struct TFrame {
    TFrame(int32_t w, int32_t h, TMix mix) {
        MakeLayer(Layer, w, h, mix);
        MakeLayer(Dest, w, h, TMix::Opaque);
        MakeLayer(Small, w / 2, h / 2, mix);
        LayerP = Wrap(Layer);
        DestP = Wrap(Dest);
        SmallP = Wrap(Small);
    }
    ~TFrame() {
        pixman_image_unref(LayerP);
        pixman_image_unref(DestP);
        pixman_image_unref(SmallP);
    }
    TARGB8888 Layer, Dest, Small;
    pixman_image_t *LayerP, *DestP, *SmallP;
};

void SetBytes(benchmark::State& state, int32_t w, int32_t h) {
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 4);
}

void Register(int32_t w, int32_t h, TMix mix) {
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const std::string tail = "/" + size + "/" + MixName(mix);
    benchmark::RegisterBenchmark(("blend/ours" + tail).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, mix);
        for (auto _ : state) {
            f.Layer.DrawEx(&f.Dest, 0, 0, 0, 0, 0, float(w), float(h), 0xFFFFFF, 255, bmBlend, 0, h);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
    benchmark::RegisterBenchmark(("blend/pixman" + tail).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, mix);
        for (auto _ : state) {
            pixman_image_composite32(PIXMAN_OP_OVER, f.LayerP, nullptr, f.DestP, 0, 0, 0, 0, 0, 0, w, h);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
    if (mix != TMix::Random) return;
    // Fill, copy, stretch and the floor do not depend on the alpha mix.
    benchmark::RegisterBenchmark(("fill/ours/" + size).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, mix);
        for (auto _ : state) {
            f.Dest.FillRect(0, 0, w, h, 0xFF336699);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
    benchmark::RegisterBenchmark(("fill/pixman/" + size).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, mix);
        for (auto _ : state) {
            pixman_fill(f.Dest.ScanLine(0), w, 32, 0, 0, w, h, 0xFF336699);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
    benchmark::RegisterBenchmark(("copy/ours/" + size).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, mix);
        for (auto _ : state) {
            f.Layer.Draw(&f.Dest, 0, 0, 0, 0, w, h);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
    benchmark::RegisterBenchmark(("copy/pixman/" + size).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, mix);
        for (auto _ : state) {
            pixman_image_composite32(PIXMAN_OP_SRC, f.LayerP, nullptr, f.DestP, 0, 0, 0, 0, 0, 0, w, h);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
    benchmark::RegisterBenchmark(("stretch/ours/" + size).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, TMix::Opaque);
        for (auto _ : state) {
            f.Small.StretchDraw(&f.Dest, 0, 0, 0, float(w), float(h), 0, 0, float(w / 2), float(h / 2), 0xFFFFFF, 255,
                                bmCopy, 0, h);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
    benchmark::RegisterBenchmark(("stretch/pixman/" + size).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, TMix::Opaque);
        pixman_transform_t t;
        pixman_transform_init_scale(&t, pixman_double_to_fixed(double(w / 2) / w),
                                    pixman_double_to_fixed(double(h / 2) / h));
        pixman_image_set_transform(f.SmallP, &t);
        pixman_image_set_filter(f.SmallP, PIXMAN_FILTER_NEAREST, nullptr, 0);
        for (auto _ : state) {
            pixman_image_composite32(PIXMAN_OP_SRC, f.SmallP, nullptr, f.DestP, 0, 0, 0, 0, 0, 0, w, h);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
    benchmark::RegisterBenchmark(("floor/memcpy/" + size).c_str(), [=](benchmark::State& state) {
        TFrame f(w, h, mix);
        for (auto _ : state) {
            std::memcpy(f.Dest.ScanLine(0), f.Layer.ScanLine(0), size_t(w) * h * 4);
            benchmark::ClobberMemory();
        }
        SetBytes(state, w, h);
    });
}

}  // namespace

int main(int argc, char** argv) {
    for (auto [w, h] : {std::pair{800, 600}, std::pair{1280, 720}})
        for (TMix mix : {TMix::Opaque, TMix::Transparent, TMix::Sprite, TMix::Random})
            Register(w, h, mix);
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    const auto set = ARGB8888Kernels::ActiveSet();
    std::printf("\nkernels: %s; ratio = our time / pixman's time (below 1: we are faster)\n",
                set == ARGB8888Kernels::TKernelSet::Avx2   ? "AVX2"
                : set == ARGB8888Kernels::TKernelSet::Sse2 ? "SSE2"
                                                           : "reference");
    for (const auto& [name, ours] : collector.Times) {
        const size_t at = name.find("/ours");
        if (at == std::string::npos) continue;
        std::string other = name;
        other.replace(at, 5, "/pixman");
        const auto it = collector.Times.find(other);
        if (it == collector.Times.end()) continue;
        std::string floor = name.substr(name.find('/', at + 1) + 1);
        floor = "floor/memcpy/" + floor.substr(0, floor.find('/'));
        const auto f = collector.Times.find(floor);
        std::printf("%-36s ratio %.2f", name.c_str(), ours / it->second);
        if (f != collector.Times.end()) std::printf("   (%.2fx memcpy)", ours / f->second);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
