// Effect texts and the picture effects behind them: worked values of the tone effects, the
// bilinear zoom and the box blur on small goldens, and the copy that an effect text keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "media/ImageEffectLib.h"
#include "tests/support/ImageFixtures.h"

namespace {

using ImageEffectLib::TEffectKind;
using ImageEffectLib::TImageEffectList;
using ImageFixtures::Filled;
using ImageFixtures::PixelsOf;
using ImageFixtures::SetPixels;
using Pixels = ImageFixtures::TPixels;

Pixels Applied(const std::string& text, int32_t w, int32_t h, const Pixels& pixels) {
    TARGB8888 image;
    SetPixels(image, w, h, pixels);
    TImageEffectList::Parse(text).ApplyTo(image);
    return PixelsOf(image);
}

// Translucent black, white, translucent red, a colour, and small odd levels for the rounding.
const Pixels kSample = {0x80000000, 0xFFFFFFFF, 0x40FF0000, 0xFF326496, 0xFF010305};

TEST(ImageEffectTest, ToneEffectsGiveTheirWorkedValues) {
    struct TCase {
        const char* Text;
        Pixels Expected;
    };
    const TCase cases[] = {
        {"toneline,0,128,255,128", {0x80808080, 0xFF808080, 0x40808080, 0xFF808080, 0xFF808080}},
        {"range,100,100", {0x80000000, 0xFFFFFFFF, 0x40FF0000, 0xFF00FFFF, 0xFF000000}},
        // Ends outside the table: everything below the step.
        {"range,300,300", {0x80000000, 0xFF000000, 0x40000000, 0xFF000000, 0xFF000000}},
        {"bright,0,-50", {0x80404040, 0xFFC0C0C0, 0x40C04040, 0xFF59728B, 0xFF414243}},
        {"bright,20", {0x80141414, 0xFFFFFFFF, 0x40FF1414, 0xFF4678AA, 0xFF151719}},
        // Halves go to the even neighbour: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2, 127.5 -> 128.
        {"toneline,0,0,2,1", {0x80000000, 0xFF808080, 0x40800000, 0xFF19324B, 0xFF000202}},
        {"gamma,200", {0x80000000, 0xFFFFFFFF, 0x40FF0000, 0xFF71A0C4, 0xFF101C24}},
        {"gamma,0", kSample},
        {"gamma,-50", kSample},
        {"chroma,100", {0x80000000, 0xFFFEFEFE, 0x40FF0000, 0xFF0063C7, 0xFF000206}},
        {"chroma,-100", {0x80000000, 0xFFFEFEFE, 0x40545454, 0xFF636363, 0xFF020202}},
        {"chroma,0", {0x80000000, 0xFFFEFEFE, 0x40FE0000, 0xFF316395, 0xFF000204}},
        // Opaque blue in mode 2: blue 254 everywhere, alpha kept.
        {"color,4278190335,0", {0x800000FE, 0xFF0000FE, 0x400000FE, 0xFF0000FE, 0xFF0000FE}},
        {"color,0,9", kSample},
        {"color,4278190335,-1", kSample},
        {"mirror,2,0", kSample},
        {"mirror,1", {0xFF010305, 0xFF326496, 0x40FF0000, 0xFFFFFFFF, 0x80000000}},
        // In order: the second effect sees what the first made.
        {"bright,20\\range,100,100", {0x80000000, 0xFFFFFFFF, 0x40FF0000, 0xFF00FFFF, 0xFF000000}},
        {"range,100,100\\bright,20", {0x80141414, 0xFFFFFFFF, 0x40FF1414, 0xFF14FFFF, 0xFF141414}},
        {"nothing,1\\toneline,0,128,255,128", {0x80808080, 0xFF808080, 0x40808080, 0xFF808080, 0xFF808080}},
        {" ToneLine , 0,128 ,\t255,128 // mirror,1", {0x80808080, 0xFF808080, 0x40808080, 0xFF808080, 0xFF808080}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Applied(c.Text, 5, 1, kSample), c.Expected) << c.Text;
}

TEST(ImageEffectTest, ColourToneModes) {
    // Colour 0x80FF8000 over the pixel (100, 200, 50): weighed by its alpha 128 it is (128, 64, 0)
    // over black and (255, 191, 127) over white.
    struct TCase {
        int Tone;
        uint32_t Expected;
    };
    const TCase cases[] = {
        {0, 0xFFB1A318},  // alpha: (i x 127 + colour x 128) shr 8
        {1, 0xFFB2D632},  // screen
        {2, 0xFF639518},  // multiply
        {3, 0xFF1C8832},  // difference
        {4, 0xFF80C832},  // lighten
        {5, 0xFF644000},  // darken
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Applied("color,$80FF8000," + std::to_string(c.Tone), 1, 1, {0xFF64C832}), Pixels{c.Expected})
            << c.Tone;
}

TEST(ImageEffectTest, MirrorTurnsRowsAndColumns) {
    const Pixels numbered = {1, 2, 3, 4, 5, 6};  // 3 x 2
    EXPECT_EQ(Applied("mirror,1,0", 3, 2, numbered), (Pixels{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(Applied("mirror,0,1", 3, 2, numbered), (Pixels{4, 5, 6, 1, 2, 3}));
    EXPECT_EQ(Applied("mirror,1,1", 3, 2, numbered), (Pixels{6, 5, 4, 3, 2, 1}));
}

TEST(ImageEffectTest, ZoomFollowsTheBilinearRule) {
    // Unscaled: every byte goes through two steps of (v x 127) shr 7, so 255 becomes 251 and the
    // opaque picture turns slightly transparent.
    TARGB8888 image;
    TBitmap32 white(4, 2);
    std::fill(white.Pixels.begin(), white.Pixels.end(), 0xFFFFFFFFu);
    image.AssignBitmap(&white);
    ASSERT_FALSE(image.IsTransparent());
    image.Zoom(2, 1, 1.0f, 1.0f);
    EXPECT_EQ(PixelsOf(image), Pixels(8, 0xFBFBFBFB));
    EXPECT_TRUE(image.IsTransparent());

    // Doubled about the centre: the middle half of each row (red 20..60) spread over the whole
    // row, odd columns halfway between two source columns.
    Pixels ramp;
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 8; ++x)
            ramp.push_back(0xFF000000u | (uint32_t(10 * x) << 16));
    const Pixels doubled = Applied("zoom,4,2,200", 8, 4, ramp);
    const uint32_t reds[8] = {18, 23, 28, 33, 38, 43, 48, 53};
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 8; ++x)
            EXPECT_EQ(doubled[size_t(8 * y + x)], 0xFB000000u | (reds[x] << 16)) << x << "," << y;

    // Halved: the picture shrinks into the middle and the rest, odd last column included, is
    // cleared to transparent black.
    const Pixels halved = Applied("zoom,4,1,50", 9, 2, Pixels(18, 0xFFFFFFFF));
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 9; ++x)
            EXPECT_EQ(halved[size_t(9 * y + x)], x >= 2 && x < 6 ? 0xFBFBFBFBu : 0u) << x << "," << y;
}

// The box blur done the slow way: each byte the floored mean over the box, coordinates beyond
// the picture held at its edge; twice.
Pixels NaiveBlur(const Pixels& in, int32_t w, int32_t h, int32_t rx, int32_t ry) {
    Pixels a = in;
    for (int pass = 0; pass < 2; ++pass) {
        Pixels b(a.size());
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                uint64_t sum[4] = {0, 0, 0, 0};
                for (int32_t dy = -ry; dy <= ry; ++dy)
                    for (int32_t dx = -rx; dx <= rx; ++dx) {
                        const uint32_t p = a[size_t(std::clamp(y + dy, 0, h - 1) * w + std::clamp(x + dx, 0, w - 1))];
                        for (int i = 0; i < 4; ++i)
                            sum[i] += (p >> (8 * i)) & 0xFF;
                    }
                const uint64_t n = uint64_t(2 * rx + 1) * uint64_t(2 * ry + 1);
                uint32_t q = 0;
                for (int i = 0; i < 4; ++i)
                    q |= uint32_t(sum[i] / n) << (8 * i);
                b[size_t(y * w + x)] = q;
            }
        a = b;
    }
    return a;
}

TEST(ImageEffectTest, BlurRadiiAndEdges) {
    std::mt19937 random(7);
    Pixels noise(13 * 11);
    for (uint32_t& p : noise)
        p = random();
    struct TCase {
        const char* Text;
        int32_t Rx, Ry;  // 0, 0: nothing happens
    };
    const TCase cases[] = {
        {"blur,6", 3, 3},   {"blur,6,1", 3, 1}, {"blur,1,5", 1, 2},   {"blur", 2, 2},
        {"blur,0,0", 0, 0}, {"blur,-8", 0, 0},  {"blur,30,2", 13, 1},  // a radius past the picture is its width
    };
    for (const TCase& c : cases) {
        const Pixels expected = c.Rx == 0 ? noise : NaiveBlur(noise, 13, 11, c.Rx, c.Ry);
        EXPECT_EQ(Applied(c.Text, 13, 11, noise), expected) << c.Text;
    }

    // Edge columns repeat: a bright end does not fade towards black beyond it.
    EXPECT_EQ(Applied("blur,2", 4, 1, {0xFF000000, 0xFF000000, 0xFF000000, 0xFF0000FF}),
              (Pixels{0xFF000000, 0xFF00001C, 0xFF000055, 0xFF00008D}));
    // Radii far beyond the picture: a flat picture stays flat, no sum overflows.
    EXPECT_EQ(Applied("blur,2147483647,2147483647", 3, 3, Pixels(9, 0xFFFFFFFF)), Pixels(9, 0xFFFFFFFF));
}

TEST(ImageEffectTest, EffectsLeaveAnEmptyImageAlone) {
    TARGB8888 empty;
    TImageEffectList::Parse(
        "zoom,1,1,200\\blur,4\\bright,10,10\\gamma,50\\range,1,2\\toneline\\color,-1,1\\chroma,"
        "50\\mirror,1,1")
        .ApplyTo(empty);
    EXPECT_EQ(empty.Active, nullptr);
}

TEST(ImageEffectTest, ParseFillsDefaults) {
    using TArgs = std::array<int64_t, 4>;
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    struct TCase {
        const char* Text;
        std::vector<std::pair<TEffectKind, TArgs>> Items;
    };
    const TCase cases[] = {
        {"zoom", {{TEffectKind::Zoom, {0, 0, 100, 100}}}},
        {"zoom,1,2,150", {{TEffectKind::Zoom, {1, 2, 150, 150}}}},    // zoom y follows zoom x
        {"zoom,1,2,150,x", {{TEffectKind::Zoom, {1, 2, 150, 100}}}},  // unless it is not a number
        {"zoom,a,b,c", {{TEffectKind::Zoom, {0, 0, 100, 100}}}},
        {"blur", {{TEffectKind::Blur, {4, 4, 0, 0}}}},
        {"blur,6", {{TEffectKind::Blur, {6, 6, 0, 0}}}},
        {"blur,6,x", {{TEffectKind::Blur, {6, 4, 0, 0}}}},
        {"blur,99999999999", {{TEffectKind::Blur, {kMax, kMax, 0, 0}}}},
        {"bright", {{TEffectKind::Bright, {0, 0, 0, 0}}}},
        {"gamma", {{TEffectKind::Gamma, {100, 0, 0, 0}}}},
        {"range", {{TEffectKind::Range, {0, 255, 0, 0}}}},
        {"toneline,1,2", {{TEffectKind::ToneLine, {1, 2, 255, 255}}}},
        {"color,4278190335", {{TEffectKind::Color, {0xFF0000FF, 0, 0, 0}}}},
        {"color,0x1FF0000FF,2", {{TEffectKind::Color, {0xFF0000FF, 2, 0, 0}}}},  // the low 32 bits
        {"color,-1,1", {{TEffectKind::Color, {0xFFFFFFFF, 1, 0, 0}}}},
        {"chroma,-100", {{TEffectKind::Chroma, {-100, 0, 0, 0}}}},
        {"mirror,1", {{TEffectKind::Mirror, {1, 0, 0, 0}}}},
        {" Blur , 2 \\ unknown,5 \\ MIRROR,1,1 // zoom,1",
         {{TEffectKind::Blur, {2, 2, 0, 0}}, {TEffectKind::Mirror, {1, 1, 0, 0}}}},
        {"zoom,1,2//,3", {{TEffectKind::Zoom, {1, 2, 100, 100}}}},
        {"", {}},
        {"\\\\,1", {}},
    };
    for (const TCase& c : cases) {
        const TImageEffectList list = TImageEffectList::Parse(c.Text);
        ASSERT_EQ(list.Items.size(), c.Items.size()) << c.Text;
        for (size_t i = 0; i < c.Items.size(); ++i) {
            EXPECT_EQ(list.Items[i].Kind, c.Items[i].first) << c.Text;
            EXPECT_EQ(list.Items[i].Args, c.Items[i].second) << c.Text;
        }
    }
}

TEST(ImageEffectTest, EffectCopyIsRemadeOnlyForANewText) {
    TARGB8888 picture;
    Filled(picture, 2, 2, 0xFF102030);
    TImageEffect effect;
    effect.SetEffect("toneline,0,128,255,128", &picture);
    ASSERT_NE(effect.EffectPicture, nullptr);
    EXPECT_EQ(PixelsOf(*effect.EffectPicture), Pixels(4, 0xFF808080));
    EXPECT_EQ(PixelsOf(picture), Pixels(4, 0xFF102030));  // the plain picture is untouched

    // Another spelling of the same text keeps the copy as it is, even if the picture changed.
    const TARGB8888* before = effect.EffectPicture.get();
    Filled(picture, 2, 2, 0xFF000000);
    effect.SetEffect("TONELINE,0,128,255,128", &picture);
    EXPECT_EQ(effect.EffectPicture.get(), before);
    EXPECT_EQ(effect.Effect, "toneline,0,128,255,128");

    EXPECT_EQ(PixelsOf(*effect.EffectPicture), Pixels(4, 0xFF808080));
    effect.SetEffect("mirror,1", &picture);  // a new text: a new copy of the picture as it is now
    ASSERT_NE(effect.EffectPicture, nullptr);
    EXPECT_EQ(PixelsOf(*effect.EffectPicture), Pixels(4, 0xFF000000));

    effect.SetEffect("", &picture);  // no text: no copy
    EXPECT_EQ(effect.EffectPicture, nullptr);
    effect.SetEffect("blur", nullptr);  // no picture: no copy
    EXPECT_EQ(effect.EffectPicture, nullptr);
    EXPECT_EQ(effect.Effect, "blur");
}

}  // namespace
