// Draws, fills and transitions between small pictures (0 to 3 pixels a side) with arguments that
// lean towards the extremes: NaN, infinities, huge and tiny floats, the ends of the integer range,
// random clips. Under the sanitizers nothing may read or write outside a picture.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "fuzz/FuzzSupport.h"
#include "media/ARGB8888Kernels.h"
#include "media/ARGB8888Lib.h"

namespace {

class TReader : public FuzzSupport::TByteReader {
public:
    using TByteReader::TByteReader;
    int32_t Int() {
        static constexpr int32_t extremes[] = {0,
                                               1,
                                               2,
                                               3,
                                               -1,
                                               -2,
                                               -3,
                                               4,
                                               255,
                                               256,
                                               1024,
                                               std::numeric_limits<int32_t>::max(),
                                               std::numeric_limits<int32_t>::min(),
                                               -1024};
        const uint8_t b = Byte();
        if (b < 0xE0) return static_cast<int32_t>(b % 9) - 3;
        if (b < 0xF0) return extremes[b % 14];
        return static_cast<int32_t>(U32());
    }
    float Float() {
        static const float extremes[] = {std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(),
                                         std::numeric_limits<float>::max(),
                                         -std::numeric_limits<float>::max(),
                                         std::numeric_limits<float>::denorm_min(),
                                         2147483648.0f,
                                         -2147483904.0f,
                                         0.5f,
                                         -0.5f,
                                         1e-4f,
                                         0.25f,
                                         1.5f,
                                         1e6f,
                                         -0.0f,
                                         4096.0f};
        const uint8_t b = Byte();
        if (b < 0xC0) return static_cast<float>(static_cast<int32_t>(b % 16) - 5) * 0.5f;
        if (b < 0xF0) return extremes[b % 16];
        return FloatBits();
    }
};

void MakeImage(TReader& in, TARGB8888& image) {
    const uint8_t size = in.Byte();
    const int32_t w = size & 3, h = (size >> 2) & 3;
    image.SetSize(w, h);
    if (size & 0x10) image.Clear();  // an empty image
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = 0; x < image.Width(); ++x) {
            const uint8_t kind = in.Byte();
            image.ScanLine(y)[x] = kind < 0x40 ? 0u : kind < 0x80 ? 0xFF000000u | in.Byte() * 0x010101u : in.U32();
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TReader in(data, size);
    TARGB8888 images[3];
    for (TARGB8888& image : images)
        MakeImage(in, image);
    const ARGB8888Kernels::TKernelSet saved = ARGB8888Kernels::ActiveSet();
    ARGB8888Kernels::SelectSet(static_cast<ARGB8888Kernels::TKernelSet>(in.Byte() % 3));
    TInterlace lace;
    for (int steps = 0; steps < 64 && !in.Done(); ++steps) {
        const uint8_t op = in.Byte();
        TARGB8888& src = images[op >> 4 & 1 ? 1 : 0];
        TARGB8888* dest = (op & 0x80) ? nullptr : &images[(op >> 5) % 3];
        const TARGB8888* other = &images[(op >> 6) % 3];
        lace.Field = (op >> 2) & 1;
        for (TARGB8888& image : images)
            image.Interlace = (op >> 3) & 1 ? &lace : nullptr;
        const uint8_t mode = in.Byte();
        switch (in.Byte() % 16) {
            case 0:
                src.Draw(dest, in.Int(), in.Int(), in.Int(), in.Int(), in.Int(), in.Int());
                break;
            case 1: {
                const float x = in.Float(), y = in.Float(), l = in.Float(), t = in.Float(), r = in.Float(),
                            b = in.Float();
                src.DrawEx(dest, in.U32(), x, y, l, t, r, b, in.U32(), in.U32(), mode, in.Int(), in.Int());
                break;
            }
            case 2: {
                float f[8];
                for (float& v : f)
                    v = in.Float();
                src.StretchDraw(dest, in.U32(), f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], in.U32(), in.U32(),
                                mode, in.Int(), in.Int());
                break;
            }
            case 3:
                src.FillRect(in.Int(), in.Int(), in.Int(), in.Int(), in.U32());
                break;
            case 4: {
                const float l = in.Float(), t = in.Float(), r = in.Float(), b = in.Float();
                src.FillRectEx(in.U32(), mode, l, t, r, b, in.Int(), in.Int());
                break;
            }
            case 5: {
                const float l = in.Float(), t = in.Float(), r = in.Float(), b = in.Float();
                src.FillRectAdd(in.U32(), in.U32(), l, t, r, b, in.U32(), mode, in.Int(), in.Int());
                break;
            }
            case 6:
                src.FillAlpha(in.Int(), in.Int(), in.Int(), in.Int(), in.U32());
                break;
            case 7: {
                float f[9];
                for (float& v : f)
                    v = in.Float();
                src.RotateDraw(dest, in.U32(), f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], in.U32(), in.U32(),
                               mode, in.Int(), in.Int());
                break;
            }
            case 8: {
                const int32_t x = in.Int(), y = in.Int(), l = in.Int(), t = in.Int(), r = in.Int(), b = in.Int();
                src.RuleDraw(dest, x, y, l, t, r, b, in.U32(), in.U32(), in.U32(), mode, in.Int(), in.Int());
                break;
            }
            case 9:
                src.BlendHalf(dest, in.Int(), in.Int(), in.Int(), in.Int(), in.Int(), in.Int());
                break;
            case 10: {
                int32_t v[8];
                for (int32_t& i : v)
                    i = in.Int();
                src.ShrinkDraw(dest, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
                break;
            }
            case 11:
                src.SetAlphaFromImage(other);
                break;
            case 12: {
                int32_t v[7];
                for (int32_t& i : v)
                    i = in.Int();
                src.RuleTransition(dest, other, v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
                break;
            }
            case 13: {
                int32_t v[7];
                for (int32_t& i : v)
                    i = in.Int();
                src.FadeDraw(dest, other, v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
                break;
            }
            case 14: {
                int32_t v[4];
                for (int32_t& i : v)
                    i = in.Int();
                src.FillBlend(dest, v[0], v[1], v[2], v[3], in.U32(), mode);
                break;
            }
            default: {
                int32_t d[4], s[4];
                for (int32_t& i : d)
                    i = in.Int();
                for (int32_t& i : s)
                    i = in.Int();
                ARGB8888Lib::ClipRect(d[0], d[1], d[2], d[3], s[0], s[1], s[2], s[3], in.Int(), in.Int(), in.Int(),
                                      in.Int());
                break;
            }
        }
    }
    for (TARGB8888& image : images)
        image.Interlace = nullptr;
    ARGB8888Kernels::SelectSet(saved);
    return 0;
}
