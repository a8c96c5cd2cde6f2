// Effect texts on small pictures (0 to 7 pixels a side), then the effects whose arguments are
// floats called with any bit pattern (NaN, infinities, the extremes). Under the sanitizers no
// effect may read or write outside its picture, overflow, or divide by zero.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "media/ARGB8888Lib.h"
#include "media/ImageEffectLib.h"

namespace {

struct TInput : FuzzSupport::TByteReader {
    using TByteReader::TByteReader;
    float Float() { return FloatBits(); }
    int32_t Int() { return static_cast<int32_t>(U32()); }
};

}  // namespace

// Layout: one byte of size (width bits 0-2, height bits 3-5), four bytes per pixel, the effect
// text up to a 0 byte, then calls of one operation byte and its arguments each.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TInput in(data, size);
    const uint8_t shape = in.Byte();
    TARGB8888 picture;
    picture.SetSize(shape & 7, (shape >> 3) & 7);
    if (shape & 0x40) picture.Clear();
    for (int32_t y = 0; y < picture.Height(); ++y)
        for (int32_t x = 0; x < picture.Width(); ++x)
            picture.ScanLine(y)[x] = in.U32();
    std::string text;
    while (!in.Done() && in.Peek() != 0 && text.size() < 4096)
        text += static_cast<char>(in.Byte());
    in.Byte();

    TImageEffect effect;
    effect.SetEffect(text, &picture);
    if (effect.EffectPicture) ImageEffectLib::TImageEffectList::Parse(text).ApplyTo(*effect.EffectPicture);

    TARGB8888 other;
    other.SetSize(3, 2);
    for (int calls = 0; calls < 32 && !in.Done(); ++calls) {
        switch (in.Byte() % 6) {
            case 0: {
                const int32_t x = in.Int(), y = in.Int();
                const float sx = in.Float(), sy = in.Float();
                picture.Zoom(x, y, sx, sy);
                break;
            }
            case 1: {
                const float b = in.Float(), c = in.Float();
                picture.Bright(b, c);
                break;
            }
            case 2:
                picture.Gamma(in.Float());
                break;
            case 3:
                picture.Chroma(in.Float());
                break;
            case 4: {
                int32_t v[8];
                for (int32_t& i : v)
                    i = in.Int();
                picture.BilinearDraw(&other, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
                other.BilinearDraw(&picture, v[4], v[5], v[6], v[7], v[0], v[1], v[2], v[3]);
                break;
            }
            default: {
                const int32_t w = in.Int(), h = in.Int();
                picture.Blur(w, h);
                break;
            }
        }
    }
    return 0;
}
