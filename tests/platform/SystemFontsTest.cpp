// The installed faces through fontconfig and FreeType. Rendering differs between FreeType versions,
// so glyphs are checked by their properties: where the ink lies, that there is ink, how it grows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "platform/SystemFonts.h"

namespace {

struct TInk {
    int32_t Count = 0;
    int32_t Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1;  // right and bottom exclusive
};

struct TRendered {
    bool Ok = false;
    int32_t ExtentX = 0, ExtentY = 0;
    TInk Ink;
};

TRendered Render(TFreeTypeFonts& fonts, const std::string& face, uint16_t code, int32_t size, int32_t weight = 400) {
    std::vector<uint8_t> pixels(static_cast<size_t>(size * size), 0);
    TGlyphCanvas canvas{pixels.data(), size, size};
    TRendered r;
    r.Ok = fonts.RenderGlyph({face, code, size, size / 2, weight}, canvas, r.ExtentX, r.ExtentY);
    for (int32_t y = 0; y < size; ++y)
        for (int32_t x = 0; x < size; ++x) {
            const uint8_t v = pixels[static_cast<size_t>(y * size + x)];
            EXPECT_TRUE(v == 0 || v == 255);
            if (!v) continue;
            ++r.Ink.Count;
            r.Ink.Left = std::min(r.Ink.Left, x), r.Ink.Top = std::min(r.Ink.Top, y);
            r.Ink.Right = std::max(r.Ink.Right, x + 1), r.Ink.Bottom = std::max(r.Ink.Bottom, y + 1);
        }
    return r;
}

uint16_t CodeOf(const std::string& sjisCharacter) {
    return sjisCharacter.size() == 1 ? static_cast<uint8_t>(sjisCharacter[0])
                                     : static_cast<uint16_t>(static_cast<uint8_t>(sjisCharacter[0]) << 8 |
                                                             static_cast<uint8_t>(sjisCharacter[1]));
}

TEST(SystemFontsTest, CodesTurnIntoUnicodeCharacters) {
    const std::pair<uint16_t, uint32_t> cases[] = {
        {0x41, 'A'},      {0x5C, 0x5C},     {0x7E, 0x7E},     {0xB1, 0xFF71},   {0x8140, 0x3000},
        {0x82A0, 0x3042}, {0x889F, 0x4E9C}, {0x8160, 0xFF5E}, {0x8740, 0x2460}, {0xED40, 0x7E8A},
        {0x82, 0},        {0x8200, 0},      {0x827F, 0},      {0x80, 0},        {0xFFFF, 0},
    };
    for (auto [code, unicode] : cases)
        EXPECT_EQ(SystemFonts::UnicodeOf(code), unicode) << std::hex << code;
}

TEST(SystemFontsTest, WindowsFaceNamesResolveToTheIpaFaces) {
    TFreeTypeFonts fonts;
    ASSERT_EQ(fonts.Error(), "");
    const std::pair<const char*, const char*> cases[] = {
        {"ＭＳ ゴシック", "IPAGothic"}, {"MS Gothic", "IPAGothic"},    {"@ＭＳ ゴシック", "IPAGothic"},
        {"ＭＳ 明朝", "IPAMincho"},     {"ms mincho", "IPAMincho"},    {"ＭＳ Ｐゴシック", "IPAPGothic"},
        {"MS PGothic", "IPAPGothic"},   {"ＭＳ Ｐ明朝", "IPAPMincho"}, {"MS PMincho", "IPAPMincho"},
        {"IPA P明朝", "IPAPMincho"},    {"no such face", "IPAGothic"}, {"", "IPAGothic"},
    };
    for (auto [face, family] : cases)
        EXPECT_EQ(fonts.ResolvedFamily(Encoding::Utf8ToSjis(face)), family) << face;
}

TEST(SystemFontsTest, JapaneseFacesAreListedOnceWithTheirPitch) {
    TFreeTypeFonts fonts;
    const std::vector<TInstalledFace> faces = fonts.JapaneseFaces();
    auto find = [&](const char* name) {
        return std::find_if(faces.begin(), faces.end(),
                            [&](const TInstalledFace& f) { return f.Name == Encoding::Utf8ToSjis(name); });
    };
    const std::tuple<const char*, const char*, bool> expected[] = {
        {"IPAゴシック", "IPAGothic", true},
        {"IPA Pゴシック", "IPAPGothic", false},
        {"IPA明朝", "IPAMincho", true},
        {"IPA P明朝", "IPAPMincho", false},
    };
    for (auto [name, family, fixed] : expected) {
        auto it = find(name);
        ASSERT_NE(it, faces.end()) << name;
        EXPECT_EQ(it->FixedPitch, fixed) << name;
        EXPECT_EQ(
            std::count_if(faces.begin(), faces.end(), [&](const TInstalledFace& f) { return f.Name == it->Name; }), 1);
        // The listed name leads back to its own face.
        EXPECT_EQ(fonts.ResolvedFamily(it->Name), family) << name;
    }
    EXPECT_TRUE(std::is_sorted(faces.begin(), faces.end(),
                               [](const TInstalledFace& a, const TInstalledFace& b) { return a.Name < b.Name; }));
}

TEST(SystemFontsTest, GlyphsSitInTheirCellWithTheWindowsExtent) {
    TFreeTypeFonts fonts;
    const std::string gothic = "ＭＳ ゴシック"_sj;
    // Full-width characters advance by the cell width, half-width ones by half of it.
    for (const char* c : {"日", "本", "語", "あ", "ア", "漢", "。", "Ａ"}) {
        const TRendered r = Render(fonts, gothic, CodeOf(Encoding::Utf8ToSjis(c)), 24);
        ASSERT_TRUE(r.Ok) << c;
        EXPECT_EQ(r.ExtentX, 24) << c;
        EXPECT_EQ(r.ExtentY, 24) << c;
        EXPECT_GT(r.Ink.Count, 0) << c;
        EXPECT_GE(r.Ink.Left, 0);
        EXPECT_LE(r.Ink.Right, 24) << c;
    }
    const TRendered a = Render(fonts, gothic, 'A', 24);
    EXPECT_EQ(a.ExtentX, 12);
    EXPECT_LE(a.Ink.Right, 12);
    // A kanji fills most of the cell's height, a capital letter stands on the baseline above the
    // descent.
    const TRendered kanji = Render(fonts, gothic, CodeOf("日"_sj), 24);
    EXPECT_GE(kanji.Ink.Bottom - kanji.Ink.Top, 16);
    const TRendered g = Render(fonts, gothic, 'g', 24);
    EXPECT_GT(g.Ink.Bottom, a.Ink.Bottom);
    // A space has an extent and no ink.
    const TRendered space = Render(fonts, gothic, CodeOf("\x81\x40"), 24);
    EXPECT_EQ(space.ExtentX, 24);
    EXPECT_EQ(space.Ink.Count, 0);
}

TEST(SystemFontsTest, WeightThickensAndMissingFacesAndCharactersFallBack) {
    TFreeTypeFonts fonts;
    const std::string gothic = "ＭＳ ゴシック"_sj;
    const uint16_t kanji = CodeOf("語"_sj);
    const TRendered plain = Render(fonts, gothic, kanji, 48);
    const TRendered bold = Render(fonts, gothic, kanji, 48, 700);
    EXPECT_GT(bold.Ink.Count, plain.Ink.Count * 11 / 10);
    EXPECT_EQ(bold.ExtentX, plain.ExtentX);

    // An unknown face draws the gothic glyph; a Latin face takes its Japanese characters from it.
    const TRendered unknown = Render(fonts, "no such face", kanji, 48);
    EXPECT_EQ(unknown.Ink.Count, plain.Ink.Count);
    const TRendered latin = Render(fonts, "DejaVu Sans", kanji, 48);
    EXPECT_GT(latin.Ink.Count, 0);

    // Supersampled sizes scale the ink.
    const TRendered large = Render(fonts, gothic, kanji, 96);
    EXPECT_EQ(large.ExtentX, 96);
    EXPECT_GT(large.Ink.Count, plain.Ink.Count * 3);
}

}  // namespace
