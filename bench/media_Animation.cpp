// Animations: loading a ".b" file with 20 embedded PNG pictures of 160 x 120 when nothing is
// cached (every picture decoded) against the same load while another animation holds them (the
// goal: a cache hit under 5% of a miss); and the evaluation of a motion of 255 layers, in
// nanoseconds per layer, against the cheapest possible evaluation, a straight-line interpolation
// of the same fields. Both ratios are printed after the table.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "foundation/uMisc_Math.h"
#include "media/AnimationBmpLib.h"
#include "media/AnimationBmpWriter.h"
#include "platform/ClassLib.h"

namespace {

void Put32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<char>(v >> shift));
}

void Chunk(std::string& png, const char* type, const std::string& data) {
    Put32(png, static_cast<uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png += body;
    Put32(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

// An RGBA picture with soft gradients, compressed as an ordinary PNG writer would.
std::string GradientPng(int32_t w, int32_t h, uint32_t seed) {
    std::string raw;
    for (int32_t y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int32_t x = 0; x < w; ++x) {
            raw.push_back(static_cast<char>((x * 255 / w + seed * 17) & 255));
            raw.push_back(static_cast<char>((y * 255 / h) & 255));
            raw.push_back(static_cast<char>(128 + 100 * std::sin(x * 0.05 + y * 0.03 + seed)));
            raw.push_back(static_cast<char>(x < 8 ? x * 32 : 255));
        }
    }
    std::string packed(compressBound(raw.size()), '\0');
    uLongf size = packed.size();
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()), raw.size(),
              6);
    packed.resize(size);
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    Put32(header, static_cast<uint32_t>(w));
    Put32(header, static_cast<uint32_t>(h));
    header += std::string("\x08\x06\x00\x00\x00", 5);
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", packed);
    Chunk(png, "IEND", "");
    return png;
}

const std::string& TwentyPictures() {
    static const std::string file = [] {
        AnimationBmpWriter::TFile f;
        f.Motions.push_back({"*Enable", {AnimationBmpWriter::TLayer{}}});
        for (uint32_t i = 0; i < 20; ++i)
            f.Images.push_back({"pic" + std::to_string(i), 2, GradientPng(160, 120, i)});
        return AnimationBmpWriter::Write(f);
    }();
    return file;
}

bool LoadOnce(const std::string& bytes) {
    TAnimationBMP animation;
    TMemoryStream stream(bytes);
    return animation.LoadFromStream(&stream, "bench\\twenty.b") && animation.Images->Items[19]->GetImage();
}

// Nobody holds the pictures and the cache keeps nothing unused: every load decodes all 20.
void LoadCold(benchmark::State& state) {
    for (auto _ : state)
        if (!LoadOnce(TwentyPictures())) state.SkipWithError("the animation did not load");
}

// Another animation holds the pictures: every load finds them in the cache.
void LoadCached(benchmark::State& state) {
    TAnimationBMP holder;
    TMemoryStream stream(TwentyPictures());
    holder.LoadFromStream(&stream, "bench\\twenty.b");
    for (auto _ : state)
        if (!LoadOnce(TwentyPictures())) state.SkipWithError("the animation did not load");
}

// 255 layers whose key frames move, scale and fade with the ordinary curves.
std::unique_ptr<TABMPMotion10> BusyMotion() {
    auto motion = std::make_unique<TABMPMotion10>(nullptr);
    motion->Layers.clear();
    for (int32_t l = 0; l < 255; ++l) {
        auto layer = std::make_unique<TABMPLayer10>(motion.get());
        for (int32_t k = 0; k < AnimationBmpLib::kKeyCount; ++k) {
            TABMPKeyFrame& key = layer->Keys[k];
            key.Time = k * 100;
            key.Kind = static_cast<uint8_t>(TABMPKind::Draw);
            key.DstX = static_cast<int16_t>(l + 7 * k);
            key.DstY = static_cast<int16_t>(3 * k);
            key.SrcW = 64;
            key.SrcH = 64;
            key.DstCurve = static_cast<uint8_t>(1 + (l + k) % 5);
            key.SrcCurve = 1;
            key.ColorLerp = 1;
            key.Alpha = static_cast<uint8_t>(k * 8);
        }
        motion->Layers.push_back(std::move(layer));
    }
    return motion;
}

constexpr double kTimes[] = {50, 1234.5, 2010, 2999};

void EvaluateLayers(benchmark::State& state) {
    const auto motion = BusyMotion();
    uMisc_Math::TRandomState random;
    size_t t = 0;
    for (auto _ : state) {
        const double time = kTimes[t++ & 3];
        for (const auto& layer : motion->Layers) {
            TABMPLayerState s;
            layer->Evaluate(s, time, random);
            benchmark::DoNotOptimize(s);
        }
    }
    state.SetItemsProcessed(state.iterations() * 255);
}

// The floor: the key frame found by a plain scan and every numeric field interpolated linearly.
void StraightLines(benchmark::State& state) {
    const auto motion = BusyMotion();
    size_t t = 0;
    for (auto _ : state) {
        const double time = kTimes[t++ & 3];
        for (const auto& layer : motion->Layers) {
            const auto& keys = layer->Keys;
            int32_t i = 0;
            while (i < 31 && keys[i + 1].Time <= time)
                ++i;
            const TABMPKeyFrame& a = keys[i];
            const TABMPKeyFrame& b = keys[std::min(i + 1, 31)];
            const float f = b.Time == a.Time ? 0.0f : static_cast<float>((time - a.Time) / (b.Time - a.Time));
            auto lerp = [f](float x, float y) { return x + (y - x) * f; };
            TABMPLayerState s;
            s.Kind = a.Kind;
            s.DstX = lerp(a.DstX, b.DstX);
            s.DstY = lerp(a.DstY, b.DstY);
            s.DstW = lerp(a.DstW, b.DstW);
            s.DstH = lerp(a.DstH, b.DstH);
            s.Depth = lerp(a.Depth, b.Depth);
            s.Angle = lerp(a.Angle, b.Angle);
            s.SrcX = lerp(a.SrcX, b.SrcX);
            s.SrcY = lerp(a.SrcY, b.SrcY);
            s.SrcW = lerp(a.SrcW, b.SrcW);
            s.SrcH = lerp(a.SrcH, b.SrcH);
            s.Alpha = static_cast<int32_t>(lerp(a.Alpha, b.Alpha));
            s.Param = static_cast<int32_t>(lerp(static_cast<float>(a.Param), static_cast<float>(b.Param)));
            benchmark::DoNotOptimize(s);
        }
    }
    state.SetItemsProcessed(state.iterations() * 255);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("animation/load/20 pictures, cold", LoadCold)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("animation/load/20 pictures, cached", LoadCached)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("animation/evaluate/255 layers", EvaluateLayers)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("animation/evaluate/255 straight lines", StraightLines)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    TTimeCollector times;
    benchmark::RunSpecifiedBenchmarks(&times);
    const double cold = times.Time("animation/load/20 pictures, cold");
    const double cached = times.Time("animation/load/20 pictures, cached");
    if (cold > 0 && cached > 0)
        std::printf("a cached load takes %.1f%% of a cold one (goal: under 5%%)\n", 100 * cached / cold);
    const double layers = times.Time("animation/evaluate/255 layers");
    const double lines = times.Time("animation/evaluate/255 straight lines");
    if (layers > 0 && lines > 0)
        std::printf("evaluate: %.1f ns per layer, %.2f x a straight-line interpolation\n", layers * 1000 / 255,
                    layers / lines);
    return 0;
}
