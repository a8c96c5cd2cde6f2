// Animation files from arbitrary bytes: the ".b" readers of every version (through the byte-pair
// expander and nested files) and the "ABMP7" importer. A file that loads is then walked: every
// motion started, every layer evaluated at times around its key frames, a few steps run and the
// frame recorded into a small compositor and rendered. A damaged file may fail to load, never
// crash, hang or read outside its data.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpLib.h"
#include "platform/ClassLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream(std::string_view(reinterpret_cast<const char*>(data), size));
    TAnimationBMP animation;
    if (!animation.LoadFromStream(&stream, "fuzz\\input.b")) return 0;

    TARGB8888CellDraw target;
    target.SetScreenSize(64, 48);
    const double times[] = {-1, 0, 499.5, 1000, 1e9, std::numeric_limits<double>::quiet_NaN()};
    for (int32_t m = 0; m < animation.MotionCount() && m < 8; ++m) {
        animation.SetMotion(m);
        for (const auto& layer : animation.Data->Motions[static_cast<size_t>(m)]->Layers) {
            TABMPLayerState s;
            for (double t : times)
                layer->Evaluate(s, t, animation.RandomState());
            for (const TABMPKeyFrame& k : layer->Keys)
                layer->Evaluate(s, k.Time, animation.RandomState());
        }
        for (int step = 0; step < 4; ++step) {
            animation.Advance(120);
            animation.Draw(&target, 3, -2, 10, 200, 0xFFFFFF, 0);
            target.Render(0xFF000000, false, 65536);
        }
        (void)animation.HitStack.HitTest(10, 10);
        (void)animation.IsFinished();
    }
    for (const auto& image : animation.Images->Items) {
        (void)image->GetFullName();
        (void)image->GetLength();
    }
    return 0;
}
