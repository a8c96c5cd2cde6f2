// The frame compositor against pixman compositing the whole list again every frame, on an 800 x
// 600 scene of ten layers: an opaque background, seven character pictures of 200 x 300 with soft
// edges, a 128 x 128 sprite and a translucent message window. Three kinds of frame: nothing
// changes, the sprite moves sideways, everything changes (every picture moves and the background
// is a new picture). pixman's OVER is premultiplied and ours straight alpha: the same amount of
// work on the same bytes, so only the times compare. Ratios (ours / pixman) are printed with the
// goals: unchanged below 0.02, moving sprite at most 0.25, everything at most 1.2.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "media/ARGB8888CellDrawLib.h"

namespace {

constexpr int32_t kW = 800, kH = 600;

// A picture with a soft-edged ellipse of colour on a clear ground; opaque when asked.
void MakePicture(TARGB8888& image, int32_t w, int32_t h, uint32_t rgb, bool opaque, uint32_t alpha = 255) {
    image.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const double dx = (x + 0.5) / w * 2 - 1, dy = (y + 0.5) / h * 2 - 1;
            const double d = (std::sqrt(dx * dx + dy * dy) - 0.9) * 40;
            uint32_t a = opaque ? 255 : d <= 0 ? alpha : d >= 1 ? 0 : uint32_t(alpha * (1 - d));
            image.ScanLine(y)[x] = (a << 24) | ((rgb + uint32_t(x * 3 + y * 5)) & 0xFFFFFF);
        }
    image.Transparent = !opaque;
}

struct TLayer {
    TARGB8888* Image;
    int32_t X, Y;
};

class TScene {
public:
    TScene() {
        MakePicture(Background, kW, kH, 0x336699, true);
        for (int i = 0; i < 7; ++i)
            MakePicture(Characters[i], 200, 300, 0x102030u * (i + 1), false);
        MakePicture(Sprite, 128, 128, 0xC08040, false);
        MakePicture(Window, 780, 160, 0x202040, false, 0xA0);
        Dest.SetSize(kW, kH);
        for (TARGB8888* image : All())
            Wrapped[image] = Wrap(*image);
        DestP = Wrap(Dest);
    }
    ~TScene() {
        for (auto& [image, p] : Wrapped)
            pixman_image_unref(p);
        pixman_image_unref(DestP);
    }

    std::vector<TARGB8888*> All() {
        std::vector<TARGB8888*> all{&Background};
        for (auto& c : Characters)
            all.push_back(&c);
        all.push_back(&Sprite);
        all.push_back(&Window);
        return all;
    }

    // The ten layers of a frame: the sprite at spriteX, everything else shifted by shift.
    std::vector<TLayer> Layers(int32_t spriteX, int32_t shift) {
        std::vector<TLayer> list{{&Background, 0, 0}};
        for (int i = 0; i < 7; ++i)
            list.push_back({&Characters[i], 20 + i * 110 + shift, (i % 3) * 140 + shift});
        list.push_back({&Sprite, spriteX, 250});
        list.push_back({&Window, 10 + shift, 430});
        return list;
    }

    void Ours(const std::vector<TLayer>& layers) {
        for (size_t i = 0; i < layers.size(); ++i) {
            const TLayer& l = layers[i];
            Cells.AddDraw(l.Image, 0, float(l.X), float(l.Y), 0, 0, float(l.Image->Width()), float(l.Image->Height()),
                          float(i), 0, 255, 0, 0xFFFFFF, 2);
        }
        Cells.Render(0xFF000000, false, 65535);
    }

    void Pixman(const std::vector<TLayer>& layers) {
        for (size_t i = 0; i < layers.size(); ++i) {
            const TLayer& l = layers[i];
            pixman_image_composite32(i == 0 ? PIXMAN_OP_SRC : PIXMAN_OP_OVER, Wrapped[l.Image], nullptr, DestP, 0, 0, 0,
                                     0, l.X, l.Y, l.Image->Width(), l.Image->Height());
        }
    }

    TARGB8888 Background, Characters[7], Sprite, Window, Dest;
    TARGB8888CellDraw Cells;

private:
    static pixman_image_t* Wrap(TARGB8888& image) {
        return pixman_image_create_bits(PIXMAN_a8r8g8b8, image.Width(), image.Height(), image.ScanLine(0),
                                        image.Width() * 4);
    }
    std::map<TARGB8888*, pixman_image_t*> Wrapped;
    pixman_image_t* DestP;
};

enum class TKind { Unchanged, Sprite, Everything };

// The layers of frame n of a kind; for everything, the background is also a new picture.
std::vector<TLayer> FrameLayers(TScene& scene, TKind kind, int64_t n) {
    switch (kind) {
        case TKind::Unchanged:
            return scene.Layers(300, 0);
        case TKind::Sprite:
            return scene.Layers(int32_t(100 + (n * 4) % 500), 0);
        default:
            scene.Background.Changed();
            return scene.Layers(int32_t(100 + (n * 4) % 500), int32_t(n % 2));
    }
}

void Register(const char* name, TKind kind) {
    benchmark::RegisterBenchmark((std::string("frame/ours/") + name).c_str(), [kind](benchmark::State& state) {
        TScene scene;
        scene.Cells.SetScreenSize(kW, kH);
        int64_t n = 0;
        for (int i = 0; i < 4; ++i)  // past the redraws that follow a reset
            scene.Ours(FrameLayers(scene, kind, n++));
        for (auto _ : state)
            scene.Ours(FrameLayers(scene, kind, n++));
    });
    benchmark::RegisterBenchmark((std::string("frame/pixman/") + name).c_str(), [kind](benchmark::State& state) {
        TScene scene;
        int64_t n = 0;
        for (auto _ : state)
            scene.Pixman(FrameLayers(scene, kind, n++));
    });
}

}  // namespace

int main(int argc, char** argv) {
    Register("unchanged", TKind::Unchanged);
    Register("moving sprite", TKind::Sprite);
    Register("everything", TKind::Everything);
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("\nratio = our time / pixman's time for the same frames\n");
    const struct {
        const char* name;
        const char* relation;
        double goal;
    } goals[] = {{"unchanged", "under", 0.02}, {"moving sprite", "at most", 0.25}, {"everything", "at most", 1.2}};
    for (const auto& [name, relation, goal] : goals) {
        const double ours = collector.Time(std::string("frame/ours/") + name);
        const double theirs = collector.Time(std::string("frame/pixman/") + name);
        if (ours <= 0 || theirs <= 0) continue;
        const double ratio = ours / theirs;
        std::printf("%-16s ratio %.4f  (goal %s %.2f: %s)\n", name, ratio, relation, goal,
                    ratio <= goal ? "met" : "missed");
    }
    benchmark::Shutdown();
    return 0;
}
