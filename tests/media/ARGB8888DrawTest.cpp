#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "media/ARGB8888Kernels.h"
#include "media/ARGB8888Lib.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/KernelSetTest.h"

namespace {

using Pixels = ImageFixtures::TPixels;
using ImageFixtures::Filled;
using ImageFixtures::PixelsOf;
using ImageFixtures::SetPixels;

class DrawTest : public TKernelSetTest {};

// A 5 x 2 sprite: transparent pairs, opaque, half and faint pixels, an odd last column.
const Pixels kSprite = {0x00000000, 0x00FF0000, 0xFF00FF00, 0x80FF0000, 0x40FFFFFF,
                        0x00000000, 0x00000000, 0x80000080, 0xFF0000FF, 0xFFFFFFFF};
constexpr uint32_t G = 0xFF404040;  // the grey ground of the golden pictures

TEST_P(DrawTest, GoldenAlphaBlends) {
    TARGB8888 sprite;
    SetPixels(sprite, 5, 2, kSprite);
    struct TCase {
        const char* Name;
        float X, Y;
        int Field;  // -1: no interlace
        Pixels Want;
    } cases[] = {
        {"even position: the first pair is transparent and skipped, the odd last column is left",
         0,
         0,
         -1,
         {G, G, 0xFF00FF00, 0xBEA01F1F, G, G,  //
          G, G, 0xBE1F1F60, 0xFF0000FF, G, G,  //
          G, G, G, G, G, G}},
        {"odd position",
         1,
         0,
         -1,
         {G, G, G, 0xFF00FF00, 0xBEA01F1F, G,  //
          G, G, G, 0xBE1F1F60, 0xFF0000FF, G,  //
          G, G, G, G, G, G}},
        {"negative clip: pairs count from the clipped start, source columns 1-2 and 3-4",
         -1,
         1,
         -1,
         {G, G, G, G, G, G,                                      //
          0xFD413F3F, 0xFF00FF00, 0xBEA01F1F, 0xCD717171, G, G,  //
          0xFD3F3F3F, 0xBE1F1F60, 0xFF0000FF, 0xFFFFFFFF, G, G}},
        {"interlace field 1: only odd rows",
         0,
         0,
         1,
         {G, G, G, G, G, G,                    //
          G, G, 0xBE1F1F60, 0xFF0000FF, G, G,  //
          G, G, G, G, G, G}},
    };
    for (const auto& c : cases) {
        TARGB8888 dest;
        Filled(dest, 6, 3, G);
        const TInterlace field{c.Field};
        if (c.Field >= 0) dest.Interlace = &field;
        sprite.DrawEx(&dest, 0, c.X, c.Y, 0, 0, 5, 2, 0xFFFFFF, 255, bmBlend, 0, 1024);
        EXPECT_EQ(PixelsOf(dest), c.Want) << c.Name;
    }
}

TEST_P(DrawTest, GoldenFilteredAndStretched) {
    TARGB8888 sprite, dest;
    SetPixels(sprite, 5, 2, kSprite);
    // Screen through both filters at alpha 200.
    Filled(dest, 6, 3, G);
    sprite.DrawEx(&dest, 0x00102030, 1, 1, 0, 0, 5, 2, 0x80FF40, 200, bmScreen, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), (Pixels{G, G, G, G, G, G,                    //
                                      G, G, G, 0xFF49D55C, 0xFF6A494E, G,  //
                                      G, G, G, 0xFF454958, 0xFF495281, G}));
    // (0, 0)-(4, 2) onto (-1, 0)-(7, 3): clipped to source x 0.5, step 2048, start offset 2047;
    // columns 0 0 1 1 2 2, rows 0 0 1; pairs of two transparent samples stay as they were.
    Filled(dest, 6, 3, G);
    sprite.StretchDraw(&dest, 0, -1, 0, 7, 3, 0, 0, 4, 2, 0xFFFFFF, 255, bmReplace, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), (Pixels{G, G, G, G, 0xFF00FF00, 0xFF00FF00,  //
                                      G, G, G, G, 0xFF00FF00, 0xFF00FF00,  //
                                      G, G, G, G, 0x80000080, 0x80000080}));
}

TEST_P(DrawTest, PairsAndPlainCopy) {
    TARGB8888 source, dest;
    Pixels pattern(5 * 3);
    for (uint32_t i = 0; i < pattern.size(); ++i)
        pattern[i] = 0x01010101u * (i + 1);
    SetPixels(source, 5, 3, pattern);

    // A 5 x 3 rectangle writes 4 x 3 pixels; a 1-pixel-wide one nothing.
    Filled(dest, 6, 4, G);
    source.Draw(&dest, 0, 0, 0, 0, 5, 3);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(dest.ScanLine(y)[x], (x < 4 && y < 3) ? pattern[y * 5 + x] : G) << x << "," << y;
    Filled(dest, 6, 4, G);
    source.Draw(&dest, 0, 0, 2, 0, 3, 3);
    EXPECT_EQ(PixelsOf(dest), Pixels(24, G));

    // x = -3 draws source column 3 at destination column 0.
    Filled(dest, 6, 4, G);
    source.DrawEx(&dest, 0, -3, 0, 0, 0, 5, 1, 0xFFFFFF, 255, bmCopy, 0, 1024);
    EXPECT_EQ(dest.ScanLine(0)[0], pattern[3]);
    EXPECT_EQ(dest.ScanLine(0)[1], pattern[4]);
    EXPECT_EQ(dest.ScanLine(0)[2], G);

    // Mode 0 without filter skips transparent pairs; mode 1 copies them, alpha 0 included.
    TARGB8888 clear;
    SetPixels(clear, 2, 1, {0x00112233, 0x00445566});
    Filled(dest, 2, 1, G);
    clear.DrawEx(&dest, 0, 0, 0, 0, 0, 2, 1, 0xFFFFFF, 255, bmReplace, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), (Pixels{G, G}));
    clear.DrawEx(&dest, 0, 0, 0, 0, 0, 2, 1, 0xFFFFFF, 255, bmCopy, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), (Pixels{0x00112233, 0x00445566}));

    // An opaque picture in mode 2 at alpha 255 is copied exactly; at alpha 254 white over black
    // gives 0xFDFCFCFC.
    TARGB8888 white;
    Filled(white, 2, 1, 0xFFFFFFFF);
    Filled(dest, 2, 1, 0xFF000000);
    white.DrawEx(&dest, 0, 0, 0, 0, 0, 2, 1, 0xFFFFFF, 255, bmBlend, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), (Pixels{0xFFFFFFFF, 0xFFFFFFFF}));
    Filled(dest, 2, 1, 0xFF000000);
    white.DrawEx(&dest, 0, 0, 0, 0, 0, 2, 1, 0xFFFFFF, 254, bmBlend, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), (Pixels{0xFDFCFCFC, 0xFDFCFCFC}));
    // Alpha 0 draws nothing.
    Filled(dest, 2, 1, G);
    white.DrawEx(&dest, 0, 0, 0, 0, 0, 2, 1, 0xFFFFFF, 0, bmBlend, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), (Pixels{G, G}));
    // Positions round halves away from zero: 0.5 lands on column 1.
    Filled(dest, 4, 1, G);
    white.DrawEx(&dest, 0, 0.5f, 0, 0, 0, 2, 1, 0xFFFFFF, 255, bmCopy, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), (Pixels{G, 0xFFFFFFFF, 0xFFFFFFFF, G}));
}

TEST_P(DrawTest, VerticalClipAndTallPictures) {
    TARGB8888 strip, dest;
    Filled(strip, 2, 100, 0xFFFFFFFF);
    Filled(dest, 2, 1200, 0);
    // At y = 1000 with clip 0..1024: rows 1000..1023 only.
    strip.DrawEx(&dest, 0, 0, 1000, 0, 0, 2, 100, 0xFFFFFF, 255, bmCopy, 0, 1024);
    for (int32_t y = 990; y < 1110; ++y)
        EXPECT_EQ(dest.ScanLine(y)[0], (y >= 1000 && y < 1024) ? 0xFFFFFFFFu : 0u) << y;
    // Draw and FillRect reach the rows below 1024 of a tall picture.
    Filled(dest, 2, 1200, 0);
    strip.Draw(&dest, 0, 1050, 0, 0, 2, 100);
    EXPECT_EQ(dest.ScanLine(1149)[1], 0xFFFFFFFFu);
    EXPECT_EQ(dest.ScanLine(1150)[1], 0u);
    dest.FillRect(0, 1190, 2, 1300, 0xFF123456);
    EXPECT_EQ(dest.ScanLine(1199)[0], 0xFF123456u);
    EXPECT_EQ(dest.ScanLine(1189)[0], 0u);
}

TEST_P(DrawTest, StretchRowsAndSteps) {
    // (0, 0)-(10, 10) onto (0, 0)-(10, 30): vertical step 1365; source row 0 fills rows 0..3, rows
    // 1..8 three rows each, row 9 the last two.
    TARGB8888 source, dest;
    Pixels rows(100);
    for (uint32_t i = 0; i < 100; ++i)
        rows[i] = 0xFF000000u | (i / 10);
    SetPixels(source, 10, 10, rows);
    Filled(dest, 10, 30, 0);
    source.StretchDraw(&dest, 0, 0, 0, 10, 30, 0, 0, 10, 10, 0xFFFFFF, 255, bmCopy, 0, 1024);
    std::vector<int> count(10);
    for (int32_t y = 0; y < 30; ++y) {
        const uint32_t row = dest.ScanLine(y)[0] & 0xFF;
        ++count[row];
        for (int32_t x = 0; x < 10; ++x)
            EXPECT_EQ(dest.ScanLine(y)[x], 0xFF000000u | row);
    }
    EXPECT_EQ(count, (std::vector<int>{4, 3, 3, 3, 3, 3, 3, 3, 3, 2}));
    // Sizes within one pixel of each other take the unscaled draw.
    Filled(dest, 10, 30, 0);
    source.StretchDraw(&dest, 0, 2, 3, 12.5f, 13.5f, 0, 0, 10, 10, 0xFFFFFF, 255, bmCopy, 0, 1024);
    EXPECT_EQ(dest.ScanLine(3)[2], 0xFF000000u);
    EXPECT_EQ(dest.ScanLine(12)[9], 0xFF000009u);
}

TEST_P(DrawTest, Fills) {
    TARGB8888 image;
    Filled(image, 5, 2, 0xFF808080);
    image.FillRectEx(0x00FFFFFF, bmScreen, 0, 0, 5, 2, 0, 1024);  // mode 3 with alpha 0: nothing
    EXPECT_EQ(PixelsOf(image), Pixels(10, 0xFF808080));
    image.FillRectEx(0x00000000, bmCopy, 0, 0, 5, 2, 0, 1024);  // mode 1 clears, odd column kept
    EXPECT_EQ(PixelsOf(image), (Pixels{0, 0, 0, 0, 0xFF808080, 0, 0, 0, 0, 0xFF808080}));
    // Mode 2 at alpha 128: the kernel with the colour as source, no pair skip.
    Filled(image, 4, 1, 0xFF000000);
    image.FillRectEx(0x80FFFFFF, bmBlend, -10, -10, 10, 10, 0, 1024);
    EXPECT_EQ(PixelsOf(image),
              Pixels(4, ARGB8888Kernels::BlendPixel(ARGB8888Lib::TBlendKernel::Blend, 0x80FFFFFF, 0xFF000000)));
    // Mode 2 at alpha 255 becomes a plain fill; FillRectAdd adds the colours and takes the alpha.
    image.FillRectAdd(0x00F01010, 0x00201020, 0, 0, 4, 1, 0x1FF, bmBlend, 0, 1024);
    EXPECT_EQ(PixelsOf(image), Pixels(4, 0xFFFF2030));
    // The vertical clip and interlace.
    Filled(image, 2, 4, 0);
    const TInterlace even{0};
    image.Interlace = &even;
    image.FillRectEx(0xFFFFFFFF, bmCopy, 0, 0, 2, 4, 1, 4);
    EXPECT_EQ(PixelsOf(image), (Pixels{0, 0, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0}));
    // FillAlpha ignores interlace, keeps colour bytes, counts alpha above 255 as 255.
    Filled(image, 3, 2, 0x00123456);
    image.FillAlpha(3, 2, 0, 0, 1000);
    EXPECT_EQ(PixelsOf(image), (Pixels{0xFF123456, 0xFF123456, 0x00123456, 0xFF123456, 0xFF123456, 0x00123456}));
}

TEST_P(DrawTest, DrawingOntoItself) {
    // The source is read as it was before the draw, whatever order the kernel works in.
    TARGB8888 image, copy;
    Pixels pattern(16 * 2);
    for (uint32_t i = 0; i < pattern.size(); ++i)
        pattern[i] = 0x80000000u | (i * 0x010203);
    SetPixels(image, 16, 2, pattern);
    copy.Assign(&image);
    TARGB8888 want;
    want.Assign(&image);
    copy.DrawEx(&want, 0, 3, 0, 0, 0, 12, 2, 0xFFFFFF, 255, bmBlend, 0, 1024);
    image.DrawEx(&image, 0, 3, 0, 0, 0, 12, 2, 0xFFFFFF, 255, bmBlend, 0, 1024);
    EXPECT_EQ(PixelsOf(image), PixelsOf(want));
}

TEST_P(DrawTest, ExtremeArgumentsStayInside) {
    // Positions and rectangles are converted with saturation: NaN counts as 0, infinities and huge
    // values as the ends of the 32-bit range (scaled draws refuse what is not finite), so each
    // call draws what its clipped rectangle holds or nothing. The sanitizer build checks that no
    // byte outside the pictures is touched.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    TARGB8888 source;
    Filled(source, 4, 3, 0x80FFFFFF);
    enum TWant { Nothing, WholeDraw, WholeFill };
    auto run = [&](int op, float v) {
        TARGB8888 dest;
        Filled(dest, 4, 3, 0);
        switch (op) {
            case 0:
                source.DrawEx(&dest, 0, v, 0, 0, 0, 4, 3, 0xFFFFFF, 128, bmBlend, 0, 1024);
                break;
            case 1:
                source.DrawEx(&dest, 0, 0, 0, v, 0, 4, v, 0xFFFFFF, 128, bmBlend, 0, 1024);
                break;
            case 2:
                source.StretchDraw(&dest, 0, 0, 0, v, 3, 0, 0, 4, 3, 0xFFFFFF, 128, bmBlend, 0, 1024);
                break;
            case 3:
                source.StretchDraw(&dest, 0, v, 0, 2, 3, 0, v, 4, 3, 0xFFFFFF, 128, bmBlend, 0, 1024);
                break;
            default:
                dest.FillRectEx(0xFF00FF00, bmBlend, v, v, 4, 3, -2147483647 - 1, 2147483647);
                break;
        }
        return PixelsOf(dest);
    };
    TARGB8888 whole;
    Filled(whole, 4, 3, 0);
    source.DrawEx(&whole, 0, 0, 0, 0, 0, 4, 3, 0xFFFFFF, 128, bmBlend, 0, 1024);
    const Pixels results[] = {Pixels(12, 0), PixelsOf(whole), Pixels(12, 0xFF00FF00)};
    struct Case {
        float V;
        TWant Want[5];  // draw at x = V; source rectangle V; two stretches; fill from (V, V)
    } cases[] = {
        {nan, {WholeDraw, Nothing, Nothing, Nothing, WholeFill}},
        {inf, {Nothing, Nothing, Nothing, Nothing, Nothing}},
        {-inf, {Nothing, Nothing, Nothing, Nothing, WholeFill}},
        {3e38f, {Nothing, Nothing, Nothing, Nothing, Nothing}},
        {-3e38f, {Nothing, Nothing, Nothing, Nothing, WholeFill}},
        {2147483648.0f, {Nothing, Nothing, Nothing, Nothing, Nothing}},
        {-2147483648.0f, {Nothing, Nothing, Nothing, Nothing, WholeFill}},
    };
    for (const auto& c : cases)
        for (int op = 0; op < 5; ++op)
            EXPECT_EQ(run(op, c.V), results[c.Want[op]]) << "value " << c.V << ", call " << op;

    // The widest row clip is the picture's own rows.
    TARGB8888 dest;
    Filled(dest, 4, 3, 0);
    source.DrawEx(&dest, 0, 0, 0, 0, 0, 4, 3, 0xFFFFFF, 128, bmBlend, -2147483647 - 1, 2147483647);
    EXPECT_EQ(PixelsOf(dest), PixelsOf(whole));
    // Empty images and a null destination do nothing.
    TARGB8888 empty;
    empty.DrawEx(&dest, 0, 0, 0, 0, 0, 3, 3, 0xFFFFFF, 255, bmBlend, 0, 1024);
    EXPECT_EQ(PixelsOf(dest), PixelsOf(whole));
    source.DrawEx(&empty, 0, 0, 0, 0, 0, 3, 3, 0xFFFFFF, 255, bmBlend, 0, 1024);
    source.DrawEx(nullptr, 0, 0, 0, 0, 0, 3, 3, 0xFFFFFF, 255, bmBlend, 0, 1024);
    empty.FillRect(0, 0, 5, 5, 0);
    EXPECT_EQ(empty.Width(), 0);
    EXPECT_EQ(PixelsOf(source), Pixels(12, 0x80FFFFFF));
}

INSTANTIATE_TEST_SUITE_P(Kernels, DrawTest, kAllKernelSets, KernelSetName);

// ------------------------------------------------------------------ clips and colour helpers

TEST(DrawHelpers, RoundingAndColours) {
    using namespace ARGB8888Lib;
    struct {
        double X;
        int32_t Want;
    } rounds[] = {{0.5, 1},   {-0.5, -1},           {0.49, 0},         {-0.49, 0},          {1.5, 2},
                  {-2.5, -3}, {8388609.0, 8388609}, {std::nan(""), 0}, {1e300, 2147483647}, {-1e300, -2147483647 - 1}};
    for (const auto& r : rounds)
        EXPECT_EQ(RoundHalfAway(r.X), r.Want) << r.X;
    EXPECT_EQ(TruncSaturate(-1.9), -1);
    EXPECT_EQ(MakeARGB(0x180, 0x12, 0x34, 0x156), 0x80123456u);
    EXPECT_EQ(SwapRedBlue(0x80123456), 0x80563412u);
    EXPECT_EQ(AddColor(0x80F01001, 0x90201002), 0xFFFF2003u);
    EXPECT_EQ(BlendColor(0x000000FF, 0xFF0000FF, 128), 0x800000FFu);
    EXPECT_EQ(BlendColor(0x12345678, 0x9ABCDEF0, 0), 0x12345678u);
    EXPECT_EQ(BlendColor(0x12345678, 0x9ABCDEF0, 255), 0x9ABCDEF0u);
    EXPECT_EQ(BlendColor(0x12345678, 0x9ABCDEF0, 999), 0x9ABCDEF0u);
    EXPECT_EQ(SelectColorFilter(0, 0xFFFFFFFF), TColorFilter::None);
    EXPECT_EQ(SelectColorFilter(0, 0xFEFFFFFF), TColorFilter::Multiply);
    EXPECT_EQ(SelectColorFilter(1, 0xFFFFFFFF), TColorFilter::Add);
    EXPECT_EQ(SelectColorFilter(1, 0), TColorFilter::MultiplyAdd);
    EXPECT_EQ(SelectBlendKernel(1, true), TBlendKernel::CopyAlphaTest);
    EXPECT_EQ(SelectBlendKernel(129, false), TBlendKernel::Copy);
    EXPECT_EQ(SelectBlendKernel(130, false), TBlendKernel::Blend);
    EXPECT_EQ(SelectBlendKernel(10, false), TBlendKernel::Copy);
    EXPECT_EQ(SelectBlendKernel(9, false), TBlendKernel::Subtract);
    EXPECT_TRUE(IsMMXAvailable());
}

TEST(DrawHelpers, ScaledClip) {
    using ARGB8888Lib::ClipRect;
    struct TRects {
        int32_t D[4], S[4];
    };
    struct {
        const char* Name;
        TRects In;
        bool Empty;
        TRects Want;
    } cases[] = {
        {"inside", {{0, 0, 10, 10}, {0, 0, 20, 20}}, false, {{0, 0, 10, 10}, {0, 0, 20, 20}}},
        {"left edge moves the source in proportion",
         {{-5, 0, 5, 10}, {0, 0, 20, 20}},
         false,
         {{0, 0, 5, 10}, {10, 0, 20, 20}}},
        {"source past its image moves the destination",
         {{0, 0, 10, 10}, {-10, 0, 10, 20}},
         false,
         {{5, 0, 10, 10}, {0, 0, 10, 20}}},
        {"swapped edges are ordered", {{10, 10, 0, 0}, {20, 20, 0, 0}}, false, {{0, 0, 10, 10}, {0, 0, 20, 20}}},
        {"outside", {{-20, 0, -10, 10}, {0, 0, 20, 20}}, true, {}},
        {"edges that meet leave nothing", {{0, 0, 10, 10}, {30, 0, 40, 20}}, true, {}},
        {"extremes stay in 64 bits",
         {{-2147483647 - 1, -2147483647 - 1, 2147483647, 2147483647}, {-2147483647 - 1, 0, 2147483647, 20}},
         false,
         {{0, 0, 100, 100}, {0, 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        TRects r = c.In;
        const bool empty = ClipRect(r.D[0], r.D[1], r.D[2], r.D[3], r.S[0], r.S[1], r.S[2], r.S[3], 100, 100, 20, 20);
        if (std::string(c.Name) == "extremes stay in 64 bits") {
            // Whatever is left lies inside both pictures.
            if (!empty) {
                EXPECT_GE(r.D[0], 0);
                EXPECT_LE(r.D[2], 100);
                EXPECT_GE(r.S[0], 0);
                EXPECT_LE(r.S[2], 20);
            }
            continue;
        }
        EXPECT_EQ(empty, c.Empty) << c.Name;
        if (!c.Empty) {
            EXPECT_EQ(std::vector<int32_t>(r.D, r.D + 4), std::vector<int32_t>(c.Want.D, c.Want.D + 4)) << c.Name;
            EXPECT_EQ(std::vector<int32_t>(r.S, r.S + 4), std::vector<int32_t>(c.Want.S, c.Want.S + 4)) << c.Name;
        }
    }
    float dl = NAN, dt = 0, dr = 10, db = 10, sl = 0, st = 0, sr = 10, sb = 10;
    EXPECT_TRUE(ARGB8888Lib::ClipRectF(dl, dt, dr, db, sl, st, sr, sb, 100, 100, 20, 20));
    dl = -5;
    EXPECT_FALSE(ARGB8888Lib::ClipRectF(dl, dt, dr, db, sl, st, sr, sb, 100, 100, 20, 20));
    EXPECT_FLOAT_EQ(dl, 0.0f);
    EXPECT_FLOAT_EQ(sl, 10.0f / 3.0f);
}

}  // namespace
