// The screen compositor on an 800 x 600 screen. Per frame of a running transition over the whole
// screen (a fade, and a wipe through a rule picture), our frame against pixman compositing the
// held picture OVER the same frame through an a8 mask of the same size, the mask standing for the
// fade level or the wipe's weights. The scene under the transition does not change, so after its
// tail the frame compositor redraws nothing and the frame is the transition's own work. Then a
// static scene of ten layers with no transition: recording, rendering and presenting to a headless
// display once the tail is over. pixman's OVER is premultiplied and ours straight alpha: the same
// amount of work on the same bytes, so only the times compare. Printed: the ratios (ours /
// pixman, goal at most 1.2) and the static frame's time (goal under 0.05 ms).
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <string>

#include "bench/BenchReport.h"
#include "foundation/DisplayComponent.h"
#include "foundation/PackLib.h"
#include "objects/KelGraphicLib.h"
#include "platform/headless/HeadlessDisplay.h"

namespace {

constexpr int32_t kW = 800, kH = 600;

// Colour varying over the picture; alpha as given.
void MakePicture(TARGB8888& image, int32_t w, int32_t h, uint32_t rgb, uint32_t alpha) {
    image.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            image.ScanLine(y)[x] = (alpha << 24) | ((rgb + uint32_t(x * 3 + y * 5)) & 0xFFFFFF);
    image.Transparent = alpha != 255;
}

// A diagonal grey ramp: the rule picture of a wipe from the top left corner.
std::string RulePicture() {
    TARGB8888 ramp;
    ramp.SetSize(kW, kH);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
            ramp.ScanLine(y)[x] = 0xFF000000u | 0x010101u * uint32_t((x + y) * 255 / (kW + kH));
    TMemoryStream bmp;
    ramp.SaveToStream(&bmp);
    return bmp.AsString();
}

// The compositor on a headless display with a scene of ten layers: an opaque background, seven
// translucent characters, a sprite and a message window.
class TScreen {
public:
    TScreen() {
        DDDD.AutoDisplayModeInitialize = false;
        DDDD.InitialScreenWidth = kW;
        DDDD.InitialScreenHeight = kH;
        DDDD.Loaded();
        DDDD.Start();
        MakePicture(Background, kW, kH, 0x336699, 255);
        for (int i = 0; i < 7; ++i)
            MakePicture(Characters[i], 200, 300, 0x102030u * (i + 1), 0xC0);
        MakePicture(Sprite, 128, 128, 0xC08040, 0xE0);
        MakePicture(Window, 780, 160, 0x202040, 0xA0);
        Graphic.SetSize(kW, kH);
        Graphic.Clear();
        Graphic.OnDraw = [this](int32_t interlace, bool, int32_t maxLayer) {
            Record();
            return Graphic.Render(interlace, maxLayer);
        };
    }
    void Record() {
        TARGB8888CellDraw& cd = *Graphic.CellDraw();
        auto draw = [&](TARGB8888& image, int32_t x, int32_t y, float layer) {
            cd.AddDraw(&image, 0, float(x), float(y), 0, 0, float(image.Width()), float(image.Height()), layer, 0, 255,
                       0, 0xFFFFFF, bmBlend);
        };
        draw(Background, 0, 0, 0);
        for (int i = 0; i < 7; ++i)
            draw(Characters[i], 20 + i * 110, (i % 3) * 140, float(1 + i));
        draw(Sprite, 300, 250, 8);
        draw(Window, 10, 430, 9);
    }
    // One frame as the engine runs it.
    void Frame(int32_t ms) {
        Graphic.UpdateTransition(ms);
        Graphic.OnDraw(0, true, 0xFFFF);
        Graphic.Present(&DDDD, false, false);
    }

    TPackSet Packs;  // the rule picture the transitions read
    THeadlessDisplay Device;
    TDDDD7 DDDD{&Device};
    TKelGraphic Graphic{Packs};
    TARGB8888 Background, Characters[7], Sprite, Window;
};

enum class TKind { Fade, Rule };

// A transition that never ends in the run: each frame moves it on by 1 ms of a long duration.
void Ours(benchmark::State& state, TKind kind) {
    static const std::string rule = RulePicture();
    TScreen screen;
    screen.Packs.FileExistsHook = [](const std::string& name) { return name == "rule.bmp"; };
    screen.Packs.LoadFileHook = [](const std::string&) { return std::make_unique<TMemoryStream>(rule); };
    for (int i = 0; i < 4; ++i)
        screen.Frame(16);
    screen.Graphic.Freeze(kWholeScreenLayer);
    if (kind == TKind::Fade)
        screen.Graphic.FadeIn(1 << 30, kWholeScreenLayer);
    else
        screen.Graphic.RuleIn(1 << 30, kWholeScreenLayer, "rule.bmp");
    screen.Graphic.UpdateTransition(1 << 29);  // half way
    for (int i = 0; i < 4; ++i)
        screen.Frame(1);
    for (auto _ : state) {
        screen.Graphic.UpdateTransition(1);
        screen.Graphic.OnDraw(0, true, 0xFFFF);
    }
}

void Pixman(benchmark::State& state, TKind kind) {
    TARGB8888 held, frame;
    MakePicture(held, kW, kH, 0x804020, 255);
    MakePicture(frame, kW, kH, 0x336699, 255);
    pixman_image_t* mask = pixman_image_create_bits(PIXMAN_a8, kW, kH, nullptr, 0);
    uint8_t* m = reinterpret_cast<uint8_t*>(pixman_image_get_data(mask));
    const int32_t stride = pixman_image_get_stride(mask);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
            m[y * stride + x] = kind == TKind::Fade ? 128 : uint8_t((x + y) * 255 / (kW + kH));
    pixman_image_t* src =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, reinterpret_cast<uint32_t*>(held.ScanLine(0)), kW * 4);
    pixman_image_t* dst =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, kW, kH, reinterpret_cast<uint32_t*>(frame.ScanLine(0)), kW * 4);
    for (auto _ : state)
        pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    pixman_image_unref(src);
    pixman_image_unref(dst);
    pixman_image_unref(mask);
}

void StaticScene(benchmark::State& state) {
    TScreen screen;
    for (int i = 0; i < 4; ++i)  // past the redraws that follow a change
        screen.Frame(16);
    for (auto _ : state)
        screen.Frame(16);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("fade/ours", [](benchmark::State& s) { Ours(s, TKind::Fade); });
    benchmark::RegisterBenchmark("fade/pixman", [](benchmark::State& s) { Pixman(s, TKind::Fade); });
    benchmark::RegisterBenchmark("rule/ours", [](benchmark::State& s) { Ours(s, TKind::Rule); });
    benchmark::RegisterBenchmark("rule/pixman", [](benchmark::State& s) { Pixman(s, TKind::Rule); });
    benchmark::RegisterBenchmark("static scene/ours", StaticScene);
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("\nratio = our time / pixman's time for the same frame\n");
    for (const char* name : {"fade", "rule"}) {
        const double ours = collector.Time(std::string(name) + "/ours");
        const double theirs = collector.Time(std::string(name) + "/pixman");
        if (ours <= 0 || theirs <= 0) continue;
        const double ratio = ours / theirs;
        std::printf("%-12s ratio %.3f  (goal at most 1.20: %s)\n", name, ratio, ratio <= 1.2 ? "met" : "missed");
    }
    const double frame = collector.Time("static scene/ours");
    if (frame > 0) {
        // The collector keeps the time in the run's unit, nanoseconds by default.
        const double ms = frame / 1e6;
        std::printf("%-12s %.4f ms a frame  (goal under 0.05 ms: %s)\n", "static", ms, ms < 0.05 ? "met" : "missed");
    }
    benchmark::Shutdown();
    return 0;
}
