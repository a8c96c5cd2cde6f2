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

// A picture whose every pixel tells where it came from: opaque, x in red, y in green.
void Numbered(TARGB8888& image, int32_t w, int32_t h) {
    image.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            image.ScanLine(y)[x] = 0xFF000000u | (uint32_t(x) << 16) | (uint32_t(y) << 8);
}

class TransitionTest : public TKernelSetTest {};

TEST_P(TransitionTest, RotateWholeTurnsAndHalfTurns) {
    TARGB8888 source, rotated, plain;
    Numbered(source, 10, 6);
    // A whole turn at scale 1 is the unscaled draw at the centre minus half the rectangle.
    Filled(rotated, 20, 20, 0);
    Filled(plain, 20, 20, 0);
    source.RotateDraw(&rotated, 0, 10, 9, 1, 1, 1.0f, 0, 0, 10, 6, 0xFFFFFF, 255, bmBlend, 0, 1024);
    source.DrawEx(&plain, 0, 5, 6, 0, 0, 10, 6, 0xFFFFFF, 255, bmBlend, 0, 1024);
    EXPECT_EQ(PixelsOf(rotated), PixelsOf(plain));

    // Half a turn: upside down and mirrored left to right (the angle constant is 3.1415, so the
    // samples land a hair off the pixel centres; the inner pixels show it plainly).
    Filled(rotated, 20, 20, 0);
    source.RotateDraw(&rotated, 0, 10, 10, 1, 1, 0.5f, 0, 0, 10, 6, 0xFFFFFF, 255, bmCopy, 0, 1024);
    int checked = 0;
    for (int32_t y = 8; y <= 11; ++y)
        for (int32_t x = 7; x <= 12; ++x) {
            const uint32_t p = rotated.ScanLine(y)[x];
            ASSERT_EQ(p >> 24, 0xFFu) << x << "," << y;
            const int32_t sx = (p >> 16) & 0xFF, sy = (p >> 8) & 0xFF;
            EXPECT_NEAR(sx, 19 - x - 5, 1) << x << "," << y;  // right to left
            EXPECT_NEAR(sy, 19 - y - 7, 1) << x << "," << y;  // bottom to top
            ++checked;
        }
    EXPECT_EQ(checked, 24);
}

TEST_P(TransitionTest, RotateQuarterTurnBoxAndAlphaTest) {
    TARGB8888 source, dest;
    Filled(source, 100, 50, 0xFFFFFFFF);
    Filled(dest, 200, 200, 0);
    source.RotateDraw(&dest, 0, 100, 100, 1, 1, 0.25f, 0, 0, 100, 50, 0xFFFFFF, 255, bmCopy, 0, 1024);
    int32_t minx = 200, maxx = -1, miny = 200, maxy = -1;
    for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 0; x < 200; ++x)
            if (dest.ScanLine(y)[x])
                minx = std::min(minx, x), maxx = std::max(maxx, x), miny = std::min(miny, y), maxy = std::max(maxy, y);
    EXPECT_NEAR(maxx - minx + 1, 50, 2);
    EXPECT_NEAR(maxy - miny + 1, 100, 2);

    // A rotated mode-1 draw keeps the destination under source alpha 0 and 1, copies alpha 2.
    TARGB8888 faint;
    SetPixels(faint, 4, 4, Pixels(16, 0x01FF0000));
    for (int32_t y = 0; y < 4; ++y)
        faint.ScanLine(y)[0] = faint.ScanLine(y)[1] = 0x02FF0000;
    Filled(dest, 20, 20, 0xFF00FF00);
    faint.RotateDraw(&dest, 0, 10, 10, 3, 3, 0.125f, 0, 0, 4, 4, 0xFFFFFF, 255, bmCopy, 0, 1024);
    int copied = 0;
    for (uint32_t p : PixelsOf(dest)) {
        EXPECT_TRUE(p == 0xFF00FF00u || p == 0x02FF0000u) << std::hex << p;
        copied += p == 0x02FF0000u;
    }
    EXPECT_GT(copied, 10);
}

TEST_P(TransitionTest, RotateEighthTurnGolden) {
    // A 4 x 3 picture turned by an eighth, scaled by 1.5 and centred on (5, 4), drawn as a copy:
    // each pixel shows the source pixel it samples ("xy"), "." where the destination stays.
    TARGB8888 source, dest;
    Numbered(source, 4, 3);
    Filled(dest, 10, 9, 0);
    source.RotateDraw(&dest, 0, 5, 4, 1.5f, 1.5f, 0.125f, 0, 0, 4, 3, 0xFFFFFF, 255, bmCopy, 0, 1024);
    std::string drawn;
    for (int32_t y = 0; y < 9; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
            const uint32_t p = dest.ScanLine(y)[x];
            drawn += p == 0 ? std::string(" .") : std::to_string((p >> 16) & 0xFF) + std::to_string((p >> 8) & 0xFF);
            drawn += ' ';
        }
        drawn += '\n';
    }
    EXPECT_EQ(drawn,
              " .  .  .  .  .  .  .  .  .  . \n"
              " .  .  . 00  .  .  .  .  .  . \n"
              " .  . 01 00 10  .  .  .  .  . \n"
              " . 02 01 11 10 20  .  .  .  . \n"
              " .  . 12 11 21 20 30  .  .  . \n"
              " .  .  . 22 21 31 30  .  .  . \n"
              " .  .  .  . 32 31  .  .  .  . \n"
              " .  .  .  .  .  .  .  .  .  . \n"
              " .  .  .  .  .  .  .  .  .  . \n");
}

TEST_P(TransitionTest, RuleDraw) {
    TARGB8888 rule, dest;
    // Alphas 0, 120, 144 and 255, colour white.
    SetPixels(rule, 4, 1, {0x00FFFFFF, 0x78FFFFFF, 0x90FFFFFF, 0xFFFFFFFF});
    struct {
        uint32_t Level;
        TBlendMode Mode;
        Pixels Want;
    } cases[] = {
        // Level 255 copies the rectangle, alpha included.
        {255, bmCopy, {0x00FFFFFF, 0x78FFFFFF, 0x90FFFFFF, 0xFFFFFFFF}},
        {1000, bmBlend, {0x00FFFFFF, 0x78FFFFFF, 0x90FFFFFF, 0xFFFFFFFF}},
        // Level 128 (t = 112): alpha 120 has k = 32, alpha 144 and more k = 127.
        {128, bmScreen, {0x00FFFFFF, 0x99BFBFBF, 0xFE010101, 0xFF010101}},
        // Level 1: alpha 0 gets k = 124, so the destination changes a little.
        {1, bmDarken, {0xF7070707, 0xFD010101, 0xFE010101, 0xFF010101}},
        // Mode 0, modes above 7 and alpha 0 draw nothing.
        {255, bmReplace, Pixels(4, 0xFF000000)},
        {255, bmAdd, Pixels(4, 0xFF000000)},
        {0, bmCopy, Pixels(4, 0xFF000000)},
    };
    for (const auto& c : cases) {
        Filled(dest, 4, 1, 0xFF000000);
        rule.RuleDraw(&dest, 0, 0, 0, 0, 4, 1, 0x123456, 0x000000, c.Level, c.Mode, 0, 1024);
        EXPECT_EQ(PixelsOf(dest), c.Want) << "level " << c.Level << " mode " << int(c.Mode);
    }
}

TEST_P(TransitionTest, BlendHalfAndShrink) {
    TARGB8888 source, dest;
    Filled(source, 5, 3, 0xFFFFFFFF);
    Filled(dest, 5, 3, 0x00000000);
    const TInterlace odd{1};
    dest.Interlace = &odd;
    source.BlendHalf(&dest, 0, 0, 0, 0, 5, 3);
    EXPECT_EQ(PixelsOf(dest), (Pixels{0, 0, 0, 0, 0,                                      //
                                      0x7F7F7F7F, 0x7F7F7F7F, 0x7F7F7F7F, 0x7F7F7F7F, 0,  //
                                      0, 0, 0, 0, 0}));
    dest.Interlace = nullptr;

    // 8 x 4 into 2 x 1: 4 x 4 boxes (q = 256); into 3 x 1 2 x 4 boxes stepping 8/3 columns.
    Pixels ramp(32);
    for (uint32_t i = 0; i < 32; ++i)
        ramp[i] = 0x10000000u * (i % 8) | (i % 8) * 0x10 | (i / 8) << 8;
    SetPixels(source, 8, 4, ramp);
    Filled(dest, 3, 1, 0xDEADBEEF);
    source.ShrinkDraw(&dest, 0, 0, 2, 1, 0, 0, 8, 4);
    // Columns 0..3: red/blue lanes average (0 + 16 + 32 + 48) / 4 = 24; rows 0..3 average 1.5 -> 1.
    EXPECT_EQ(PixelsOf(dest), (Pixels{0x18000118, 0x58000158, 0xDEADBEEF}));
    source.ShrinkDraw(&dest, 0, 0, 3, 1, 0, 0, 8, 4);
    // q = 4096 / 8 = 512; boxes at columns 0, 2, 5.
    EXPECT_EQ(PixelsOf(dest), (Pixels{0x08000108, 0x28000128, 0x58000158}));
    // Enlarging draws nothing; clipped and reversed rectangles stay inside.
    Filled(dest, 3, 1, 0xDEADBEEF);
    source.ShrinkDraw(&dest, 0, 0, 3, 1, 0, 0, 2, 4);
    EXPECT_EQ(PixelsOf(dest), Pixels(3, 0xDEADBEEF));
    source.ShrinkDraw(&dest, 3, 1, -3, -1, 8, 4, -100, -100);
}

TEST_P(TransitionTest, ShrinkScales) {
    // 640 x 480 into 160 x 120: q = 256; into 200 x 150: 3 x 3 boxes (q = 455) stepping 3.2.
    TARGB8888 source, dest;
    Filled(source, 640, 480, 0xFFFFFFFF);
    Filled(dest, 200, 150, 0);
    source.ShrinkDraw(&dest, 0, 0, 160, 120, 0, 0, 640, 480);
    EXPECT_EQ(dest.ScanLine(119)[159], 0xFFFFFFFFu);  // 16 x 255 x 256 shr 12 = 255
    EXPECT_EQ(dest.ScanLine(120)[160], 0u);
    source.ShrinkDraw(&dest, 0, 0, 200, 150, 0, 0, 640, 480);
    EXPECT_EQ(dest.ScanLine(149)[199], 0xFEFEFEFEu);  // 9 x 255 x 455 shr 12 = 254
}

TEST_P(TransitionTest, TransitionsAndAlphaFromMask) {
    TARGB8888 from, to, dest, mask;
    Filled(from, 4, 2, 0xFFFFFFFF);
    Filled(to, 4, 2, 0x00000000);
    // The mask's blue bytes become the rule: 0, 112, 120, 255 on row 0.
    SetPixels(mask, 3, 1, {0x12345600, 0xAB000070, 0x00000078});
    from.SetAlphaFromImage(&mask);
    EXPECT_EQ(PixelsOf(from),
              (Pixels{0x00FFFFFF, 0x70FFFFFF, 0x78FFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));

    Filled(dest, 4, 2, 0xDEADBEEF);
    from.RuleTransition(&dest, &to, 0, 0, 0, 0, 4, 2, 255);  // this picture everywhere
    EXPECT_EQ(PixelsOf(dest), PixelsOf(from));
    from.RuleTransition(&dest, &to, 0, 0, 0, 0, 4, 2, 128);  // t = 112
    EXPECT_EQ(PixelsOf(dest),
              (Pixels{0x00FFFFFF, 0x70FFFFFF, 0x5ABFBFBF, 0x01010101, 0x01010101, 0x01010101, 0x01010101, 0x01010101}));
    Filled(dest, 4, 2, 0xDEADBEEF);
    from.RuleTransition(&dest, &to, 0, 0, 0, 0, 4, 2, 0);  // below 1: nothing
    EXPECT_EQ(PixelsOf(dest), Pixels(8, 0xDEADBEEF));

    // Fades: 255 is this picture, 0 moves 127/128 of the way, 128 gives k = 63; levels are held
    // to 0..255.
    Filled(from, 4, 2, 0xFFFFFFFF);
    struct {
        int32_t Level;
        uint32_t Want;
    } fades[] = {{255, 0xFFFFFFFF}, {0, 0x01010101}, {128, 0x81818181}, {-7, 0x01010101}, {999, 0xFFFFFFFF}};
    for (const auto& f : fades) {
        from.FadeDraw(&dest, &to, 0, 0, 0, 0, 4, 2, f.Level);
        EXPECT_EQ(PixelsOf(dest), Pixels(8, f.Want)) << f.Level;
    }
    // The other picture must cover the rectangle.
    TARGB8888 small;
    Filled(small, 3, 2, 0);
    Filled(dest, 4, 2, 0xDEADBEEF);
    from.FadeDraw(&dest, &small, 0, 0, 0, 0, 4, 2, 0);
    EXPECT_EQ(PixelsOf(dest), Pixels(8, 0xDEADBEEF));
}

TEST_P(TransitionTest, FillBlendClipsToBothPictures) {
    TARGB8888 from, dest;
    Filled(from, 6, 4, 0xFF000000);
    Filled(dest, 4, 2, 0xDEADBEEF);
    from.FillBlend(&dest, 0, 0, 6, 4, 0xFFFFFFFF, bmBlend);  // alpha 255: a copy of the colour
    EXPECT_EQ(PixelsOf(dest), Pixels(8, 0xFFFFFFFF));
    from.FillBlend(&dest, 0, 0, 6, 4, 0x80FFFFFF, bmBlend);
    EXPECT_EQ(PixelsOf(dest), Pixels(8, 0xBE818181));
    // Alpha 0 still runs the kernel: k = 127 pulls the colour nearly to the picture.
    from.FillBlend(&dest, 0, 0, 6, 4, 0x00FFFFFF, bmBlend);
    EXPECT_EQ(PixelsOf(dest), Pixels(8, 0xFD010101));
    const TInterlace even{0};
    dest.Interlace = &even;
    from.FillBlend(&dest, 0, 0, 6, 4, 0xFF123456, bmCopy);
    EXPECT_EQ(PixelsOf(dest),
              (Pixels{0xFF123456, 0xFF123456, 0xFF123456, 0xFF123456, 0xFD010101, 0xFD010101, 0xFD010101, 0xFD010101}));
}

TEST_P(TransitionTest, ExtremeArgumentsStayInside) {
    // Rotations refuse what is not finite and clip what is merely huge; the integer draws clip in
    // 64 bits. The sanitizer build checks that no byte outside the pictures is touched.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    TARGB8888 source;
    Filled(source, 4, 4, 0x80FFFFFF);
    auto fresh = [](TARGB8888& dest) { Filled(dest, 4, 4, 0); };

    // What a covered pixel becomes: the blend (mode 2) and the copy (mode 1) of the source.
    TARGB8888 blended, copied;
    fresh(blended);
    fresh(copied);
    source.RotateDraw(&blended, 0, 2, 2, 1, 1, 0, 0, 0, 4, 4, 0xFFFFFF, 200, bmBlend, 0, 1024);
    source.RotateDraw(&copied, 0, 2, 2, 1, 1, 0, 0, 0, 4, 4, 0xFFFFFF, 200, bmCopy, 0, 1024);
    const uint32_t blend = blended.ScanLine(0)[0], copy = copied.ScanLine(0)[0];
    ASSERT_EQ(PixelsOf(blended), Pixels(16, blend));
    ASSERT_NE(blend, 0u);

    for (float v : {nan, inf, -inf, 3e38f, -3e38f, 1e-30f, 2147483648.0f, 0.0f}) {
        const bool finite = std::isfinite(v);
        for (int op = 0; op < 5; ++op) {
            TARGB8888 dest;
            fresh(dest);
            switch (op) {
                case 0:
                    source.RotateDraw(&dest, 0, v, 1, 1, 1, 0.1f, 0, 0, 4, 4, 0xFFFFFF, 200, bmBlend, 0, 1024);
                    break;
                case 1:
                    source.RotateDraw(&dest, 0, 1, 1, v, v, 0.1f, 0, 0, 4, 4, 0xFFFFFF, 200, bmBlend, 0, 1024);
                    break;
                case 2:
                    source.RotateDraw(&dest, 0, 1, 1, 1, 1, v, 0, 0, 4, 4, 0xFFFFFF, 200, bmBlend, 0, 1024);
                    break;
                case 3:
                    source.RotateDraw(&dest, 0, 1, 1, 1, 1, 0.3f, v, 0, 4, v, 0xFFFFFF, 200, bmBlend, 0, 1024);
                    break;
                default:
                    source.RotateDraw(&dest, 0, 1, 1, 1e6f, 1e-3f, 0.3f, -1e6f, 0, 1e6f, 4, 0xFFFFFF, 200, bmCopy, 0,
                                      1024);
                    break;
            }
            const uint32_t covered = op == 4 ? copy : blend;
            for (uint32_t p : PixelsOf(dest)) {
                if (!finite && op < 4)
                    EXPECT_EQ(p, 0u) << "value " << v << ", call " << op;
                else
                    EXPECT_TRUE(p == 0 || p == covered) << std::hex << p << " value " << v << ", call " << op;
            }
        }
    }

    // The integer draws: each extreme call against the call it clips to, or against nothing.
    const int32_t big = 2147483647, small = -2147483647 - 1;
    TARGB8888 dest, want;
    auto same = [&](const char* what) { EXPECT_EQ(PixelsOf(dest), PixelsOf(want)) << what; };
    fresh(dest), fresh(want);
    source.RotateDraw(&dest, 0, 2, 2, 1, 1, 0.3f, 0, 0, 4, 4, 0xFFFFFF, 200, bmBlend, small, big);
    source.RotateDraw(&want, 0, 2, 2, 1, 1, 0.3f, 0, 0, 4, 4, 0xFFFFFF, 200, bmBlend, 0, 4);
    same("rotation with the widest row clip");
    fresh(dest), fresh(want);
    source.RuleDraw(&dest, small, big, small, small, big, big, 0, 0, 255, bmCopy, small, big);
    source.BlendHalf(&dest, big, small, big, big, small, small);
    source.RuleTransition(&dest, &source, small, big, small, small, big, big, big);
    same("positions beyond the picture draw nothing");
    source.ShrinkDraw(&dest, small, small, big, big, small, small, big, big);
    source.ShrinkDraw(&want, 0, 0, 4, 4, 0, 0, 4, 4);
    same("a reduction over the whole range is the one over the picture");
    source.RuleTransition(&dest, &source, small, small, small, small, big, big, big);
    source.RuleTransition(&want, &source, 0, 0, 0, 0, 4, 4, big);
    same("a rule transition from the far corner");
    source.FillBlend(&dest, small, small, big, big, 0x80FFFFFF, bmDifference);
    source.FillBlend(&want, 0, 0, 4, 4, 0x80FFFFFF, bmDifference);
    same("a colour fill over the whole range");
    TARGB8888 before;
    before.Assign(&want);
    source.FadeDraw(&dest, &dest, -1, -1, 0, 0, 4, 4, 100);  // the other picture is the destination
    source.FadeDraw(&want, &before, -1, -1, 0, 0, 4, 4, 100);
    same("a fade whose other picture is the destination");

    TARGB8888 empty;
    empty.RotateDraw(&dest, 0, 1, 1, 1, 1, 0.3f, 0, 0, 3, 3, 0xFFFFFF, 200, bmBlend, 0, 1024);
    source.SetAlphaFromImage(&empty);
    source.FadeDraw(&dest, &empty, 0, 0, 0, 0, 3, 3, 100);
    same("empty pictures do nothing");
    EXPECT_EQ(PixelsOf(source), Pixels(16, 0x80FFFFFF));
}

INSTANTIATE_TEST_SUITE_P(Kernels, TransitionTest, kAllKernelSets, KernelSetName);

}  // namespace
