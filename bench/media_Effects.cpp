// The zoom and blur effects on an 800 x 600 picture against named baselines in the same run: the
// zoom (1.5 times about the centre, bilinear) against pixman's bilinear scale onto the same
// 800 x 600, and the blur (a 9 x 9 box, twice) against a plain separable box blur of the same
// box, also twice. The ratios (ours / baseline) are printed after the table.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "media/ARGB8888Lib.h"

namespace {

constexpr int32_t kWidth = 800, kHeight = 600;

void Fill(TARGB8888& image) {
    image.SetSize(kWidth, kHeight);
    std::mt19937 random(3);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            image.ScanLine(y)[x] =
                0xFF000000u | ((x * 255 / kWidth) << 16) | ((y * 255 / kHeight) << 8) | (random() & 0x3F);
}

void ZoomOurs(benchmark::State& state) {
    TARGB8888 source, work;
    Fill(source);
    work.Assign(&source);
    for (auto _ : state) {
        std::memcpy(work.ScanLine(0), source.ScanLine(0), size_t(kWidth) * kHeight * 4);  // the same picture each time
        work.Zoom(kWidth / 2, kHeight / 2, 1.5f, 1.5f);
        benchmark::ClobberMemory();
    }
}

void ZoomPixman(benchmark::State& state) {
    TARGB8888 source, dest;
    Fill(source);
    Fill(dest);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, source.ScanLine(0), kWidth * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, dest.ScanLine(0), kWidth * 4);
    // Destination pixel (x, y) samples the source at the centre plus (x - centre) / 1.5.
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(1 / 1.5), pixman_double_to_fixed(1 / 1.5));
    pixman_transform_translate(nullptr, &t, pixman_double_to_fixed(kWidth / 2 * (1 - 1 / 1.5)),
                               pixman_double_to_fixed(kHeight / 2 * (1 - 1 / 1.5)));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    for (auto _ : state) {
        std::memcpy(dest.ScanLine(0), source.ScanLine(0), size_t(kWidth) * kHeight * 4);  // as ours copies
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
}

void BlurOurs(benchmark::State& state) {
    TARGB8888 source, work;
    Fill(source);
    work.Assign(&source);
    for (auto _ : state) {
        std::memcpy(work.ScanLine(0), source.ScanLine(0), size_t(kWidth) * kHeight * 4);
        work.Blur(8, 8);
        benchmark::ClobberMemory();
    }
}

// The plain way: a sliding sum along each row into a buffer, then down each column, every byte
// divided by the box's width; edges repeat. Done twice, as ours is.
void BoxLine(const uint32_t* in, uint32_t* out, int32_t n, int32_t step, int32_t r) {
    uint32_t sum[4] = {0, 0, 0, 0};
    auto at = [&](int32_t i) { return in[size_t(std::clamp(i, 0, n - 1)) * size_t(step)]; };
    for (int32_t i = -r; i <= r; ++i)
        for (int c = 0; c < 4; ++c)
            sum[c] += (at(i) >> (8 * c)) & 0xFF;
    const uint32_t d = uint32_t(2 * r + 1);
    for (int32_t i = 0; i < n; ++i) {
        uint32_t p = 0;
        for (int c = 0; c < 4; ++c)
            p |= (sum[c] / d) << (8 * c);
        out[size_t(i) * size_t(step)] = p;
        const uint32_t add = at(i + r + 1), drop = at(i - r);
        for (int c = 0; c < 4; ++c)
            sum[c] += ((add >> (8 * c)) & 0xFF) - ((drop >> (8 * c)) & 0xFF);
    }
}

void BlurPlain(benchmark::State& state) {
    TARGB8888 source, work;
    Fill(source);
    work.Assign(&source);
    std::vector<uint32_t> temp(size_t(kWidth) * kHeight);
    for (auto _ : state) {
        std::memcpy(work.ScanLine(0), source.ScanLine(0), size_t(kWidth) * kHeight * 4);
        for (int pass = 0; pass < 2; ++pass) {
            for (int32_t y = 0; y < kHeight; ++y)
                BoxLine(work.ScanLine(y), temp.data() + size_t(y) * kWidth, kWidth, 1, 4);
            for (int32_t x = 0; x < kWidth; ++x)
                BoxLine(temp.data() + x, work.ScanLine(0) + x, kHeight, kWidth, 4);
        }
        benchmark::ClobberMemory();
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("zoom/ours/800x600", ZoomOurs)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("zoom/pixman-bilinear/800x600", ZoomPixman)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("blur/ours/800x600", BlurOurs)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("blur/plain-separable/800x600", BlurPlain)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector(TTimeKind::Cpu);
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("\nratio = our time / the baseline's time (below 1: we are faster)\n");
    const std::pair<const char*, const char*> pairs[] = {{"zoom/ours/800x600", "zoom/pixman-bilinear/800x600"},
                                                         {"blur/ours/800x600", "blur/plain-separable/800x600"}};
    for (const auto& [ours, base] : pairs) {
        const auto a = collector.Times.find(ours), b = collector.Times.find(base);
        if (a != collector.Times.end() && b != collector.Times.end())
            std::printf("%-22s against %-30s ratio %.2f\n", ours, base, a->second / b->second);
    }
    benchmark::Shutdown();
    return 0;
}
