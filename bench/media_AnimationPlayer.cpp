// The animation player in a busy scene: 40 animated objects of 8 layers each (pictures gliding,
// stretched, turned and fading, a fill, a nested animation and a hit area), each advanced by a
// frame of 16 ms and recorded into the compositor, per frame. The baseline records the same 320
// commands straight into the compositor with their values worked out beforehand: what recording
// alone costs. The goal is under 0.3 ms a frame; the cost per layer and the ratio are printed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpLib.h"
#include "media/AnimationBmpWriter.h"
#include "platform/ClassLib.h"

namespace {

constexpr int32_t kObjects = 40;
constexpr int32_t kLayers = 8;
constexpr int32_t kFrameMs = 16;

TABMPKeyFrame Key(int32_t time, TABMPKind kind, int16_t x, int16_t y) {
    TABMPKeyFrame k;
    k.Time = time;
    k.Kind = static_cast<uint8_t>(kind);
    k.DstX = x;
    k.DstY = y;
    k.DstCurve = static_cast<uint8_t>(TABMPCurve::Linear);
    return k;
}

// Eight layers of the usual sorts; the last key frame of each loops back to the first.
AnimationBmpWriter::TLayer Layer(int32_t l) {
    AnimationBmpWriter::TLayer layer;
    const int32_t period = 600 + 100 * l;
    const TABMPKind kinds[kLayers] = {TABMPKind::Draw, TABMPKind::Draw, TABMPKind::Stretch, TABMPKind::Rotate,
                                      TABMPKind::Fill, TABMPKind::Draw, TABMPKind::Nested,  TABMPKind::HitArea};
    const TABMPKind kind = kinds[l];
    layer.Keys[0] = Key(0, kind, static_cast<int16_t>(4 * l), 0);
    layer.Keys[1] = Key(period, kind, static_cast<int16_t>(4 * l + 40), static_cast<int16_t>(10 + l));
    layer.Keys[2] = Key(2 * period, kind, static_cast<int16_t>(4 * l), 0);
    for (TABMPKeyFrame& k : layer.Keys) {
        k.DstW = kind == TABMPKind::Rotate ? 150 : 32;
        k.DstH = kind == TABMPKind::Rotate ? 80 : 24;
        k.Angle = static_cast<int16_t>(k.Time / 10);
        k.Image = static_cast<uint8_t>(kind == TABMPKind::Nested ? 1 : 0);
    }
    layer.Keys[1].Alpha = 96;
    layer.Keys[0].ColorLerp = layer.Keys[1].ColorLerp = static_cast<uint8_t>(l == 4 || l == 5);
    layer.Keys[2].Command = static_cast<uint8_t>(TABMPCommand::Jump);
    for (size_t k = 3; k < layer.Keys.size(); ++k)
        layer.Keys[k].Time = layer.Keys[k - 1].Time + 1000;
    if (l == 3) layer.Keys[0].DstCurve = layer.Keys[1].DstCurve = static_cast<uint8_t>(TABMPCurve::BSpline);
    return layer;
}

std::string ObjectFile() {
    AnimationBmpWriter::TFile file;
    file.Width = 64;
    file.Height = 48;
    AnimationBmpWriter::TMotion motion{"*Enable", {}};
    for (int32_t l = 0; l < kLayers; ++l)
        motion.Layers.push_back(Layer(l));
    file.Motions.push_back(motion);
    // A picture, and a small nested animation of one gliding picture.
    const std::string bmp = [] {
        std::string s = "BM";
        auto u32 = [&s](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                s.push_back(static_cast<char>(v >> (8 * i)));
        };
        auto u16 = [&s](uint16_t v) {
            s.push_back(static_cast<char>(v));
            s.push_back(static_cast<char>(v >> 8));
        };
        u32(54 + 32 * 24 * 4);
        u32(0);
        u32(54);
        u32(40);
        u32(32);
        u32(24);
        u16(1);
        u16(32);
        for (int i = 0; i < 6; ++i)
            u32(0);
        s.append(32 * 24 * 4, '\x7F');
        return s;
    }();
    file.Images.push_back({"picture", static_cast<uint8_t>(AnimationBmpWriter::TImageType::Bmp), bmp});
    AnimationBmpWriter::TFile nested;
    nested.Motions.push_back({"m", {Layer(0)}});
    nested.Images.push_back({"picture", static_cast<uint8_t>(AnimationBmpWriter::TImageType::Bmp), bmp});
    file.Images.push_back(
        {"nested", static_cast<uint8_t>(AnimationBmpWriter::TImageType::Animation), AnimationBmpWriter::Write(nested)});
    return AnimationBmpWriter::Write(file);
}

struct TScene {
    TScene() {
        const std::string bytes = ObjectFile();
        for (int32_t i = 0; i < kObjects; ++i) {
            auto a = std::make_unique<TAnimationBMP>();
            TMemoryStream stream(bytes);
            a->LoadFromStream(&stream, "bench\\object.b");
            a->SetMotion(0);
            a->Advance(37 * i);  // every object at another point of its loops
            Objects.push_back(std::move(a));
        }
    }
    std::vector<std::unique_ptr<TAnimationBMP>> Objects;
};

void Player(benchmark::State& state) {
    TScene scene;
    TARGB8888CellDraw target;  // never sized: rendering only forgets the commands
    for (auto _ : state) {
        for (int32_t i = 0; i < kObjects; ++i) {
            TAnimationBMP& a = *scene.Objects[static_cast<size_t>(i)];
            a.Advance(kFrameMs);
            a.Draw(&target, (i % 8) * 100, (i / 8) * 100, i, 255, 0xFFFFFF, 0);
        }
        benchmark::DoNotOptimize(target.CommandCount());
        target.Render(0, false, 65536);
    }
    if (scene.Objects[0]->HitStack.Count != 1) state.SkipWithError("the hit area was not collected");
    state.SetItemsProcessed(state.iterations() * kObjects * kLayers);
}

// The same number of commands, their values known in advance.
void RecordingOnly(benchmark::State& state) {
    TScene scene;
    TARGB8888* picture = scene.Objects[0]->Images->Items[0]->GetImage();
    TARGB8888CellDraw target;
    float shift = 0;
    for (auto _ : state) {
        shift = shift > 100 ? 0 : shift + 0.5f;
        for (int32_t i = 0; i < kObjects; ++i) {
            const float x = static_cast<float>((i % 8) * 100) + shift, y = static_cast<float>((i / 8) * 100);
            for (int32_t l = 0; l < kLayers; ++l)
                target.AddDraw(picture, 0, x + 4 * l, y, 0, 0, 32, 24, static_cast<float>(i), 0, 200, 0, 0xFFFFFF, 2);
        }
        benchmark::DoNotOptimize(target.CommandCount());
        target.Render(0, false, 65536);
    }
    state.SetItemsProcessed(state.iterations() * kObjects * kLayers);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("player/40 objects x 8 layers", Player)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("player/recording only", RecordingOnly)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    TTimeCollector times;
    benchmark::RunSpecifiedBenchmarks(&times);
    const double player = times.Time("player/40 objects x 8 layers");
    const double recording = times.Time("player/recording only");
    if (player > 0 && recording > 0)
        std::printf("a frame of 40 objects: %.3f ms (goal: under 0.3 ms), %.0f ns per layer, %.1f x recording alone\n",
                    player / 1000, player * 1000 / (kObjects * kLayers), player / recording);
    return 0;
}
