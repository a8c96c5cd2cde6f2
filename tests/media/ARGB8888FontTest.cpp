// The 8 fonts and text drawing: bitmap fonts from ".of" files (the fixed test font, and tiny
// hand-made sets where a golden needs it), system fonts through a fake face provider that inks
// known shapes, the glyph cache, and TARGB8888::TextOut with its fall-back to font 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Font.h"
#include "media/ARGB8888Lib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "platform/SystemFonts.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/FontFixtures.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/TestData.h"
#include "tools/kelfont/OfWriter.h"

namespace {

using FontFixtures::TTestFont;
using ImageFixtures::PixelsOf;
using ImageFixtures::TPixels;

// Inks a box over the character's whole advance and the cell height, or only every other work
// column; records what it was asked.
class TFakeFonts final : public IFontProvider {
public:
    std::vector<TInstalledFace> JapaneseFaces() override {
        return {{"fake gothic", true}, {"fake proportional", false}};
    }
    bool RenderGlyph(const TGlyphRequest& r, TGlyphCanvas& canvas, int32_t& extentX, int32_t& extentY) override {
        Requests.push_back(r);
        extentX = r.Code >= 0x100 ? 2 * r.Width : r.Width;
        extentY = r.Height;
        for (int32_t y = 0; y < std::min(extentY, canvas.Height); ++y)
            for (int32_t x = 0; x < std::min(extentX, canvas.Width); ++x)
                if (!EvenColumnsOnly || x % 2 == 0) canvas.Pixels[y * canvas.Width + x] = 255;
        return true;
    }
    std::string ResolvedFamily(const std::string& face) override { return face; }

    std::vector<TGlyphRequest> Requests;
    bool EvenColumnsOnly = false;
};

class FontTest : public ::testing::Test {
protected:
    void SetUp() override {
        ARGB8888Font::Install(Fonts, &Fake);
        for (auto& f : Fonts.Slots)
            f.SetSystemFont("fake", 1);
    }

    TFakeFonts Fake;
    TFontTable Fonts;
    TContextFixture Context;
};

// The pixels of a glyph cell placed at (x, y) of a w x h picture, each palette index turned into
// the colour the image should hold where it was empty.
TPixels Placed(const std::vector<uint8_t>& cell, int32_t cellWidth, int32_t x, int32_t y, int32_t w, int32_t h,
               const std::vector<uint32_t>& colourOf) {
    TPixels p(static_cast<size_t>(w * h), 0);
    const int32_t cellHeight = static_cast<int32_t>(cell.size()) / cellWidth;
    for (int32_t cy = 0; cy < cellHeight; ++cy)
        for (int32_t cx = 0; cx < cellWidth; ++cx) {
            const uint8_t index = cell[static_cast<size_t>(cy * cellWidth + cx)];
            if (index && x + cx >= 0 && x + cx < w && y + cy >= 0 && y + cy < h)
                p[static_cast<size_t>((y + cy) * w + x + cx)] = colourOf[index];
        }
    return p;
}

// ---- bitmap fonts

TEST(GlyphIndexTest, CodesMapIntoTheThreeRanges) {
    const std::pair<uint32_t, int32_t> cases[] = {
        {0x00, 0x00},     {0x41, 0x41}, {0xFF, 0xFF}, {0x100, -1},      {0x80FF, -1},     {0x8100, 0x100},
        {0x9FFF, 0x1FFF}, {0xA000, -1}, {0xDFFF, -1}, {0xE000, 0x2000}, {0xFFFF, 0x3FFF}, {0x10000, -1},
    };
    for (auto [code, index] : cases)
        EXPECT_EQ(ARGB8888Font::GlyphIndex(code), index) << std::hex << code;
}

TEST_F(FontTest, OfFilesLoadAndBadOnesFailWithTheirReason) {
    const std::string file = FontFixtures::OfFile({.Codes = {0x41, 0x82A0}});
    TBitmapFont font;
    {
        TMemoryStream h(file);
        ASSERT_TRUE(font.LoadFromStreams(&h, nullptr)) << font.Error;
        EXPECT_EQ(font.Horizontal.CellWidth, 8);
        EXPECT_EQ(font.Horizontal.PageCount, 1);
        EXPECT_EQ(font.Horizontal.Pages[0].size(),
                  static_cast<size_t>(font.Horizontal.PageWidth * font.Horizontal.PageHeight));
        EXPECT_NE(font.Horizontal.Map[0x41], 0);
        EXPECT_EQ(font.Horizontal.AdvanceX[0x02A0], 128);
        EXPECT_EQ(font.Vertical.PageCount, 0);
    }
    EXPECT_FALSE(font.LoadFromStreams(nullptr, nullptr));

    struct TCase {
        const char* Name;
        std::string Horizontal, Vertical;
        const char* Reason;
    };
    const TCase cases[] = {
        {"empty file", "", file, "header"},
        {"header cut short", file.substr(0, ARGB8888Font::kOfHeaderSize - 1), file, "header"},
        {"last page byte missing", file, file.substr(0, file.size() - 1), "vertical glyph set"},
        {"pages declared past the end", file.substr(0, ARGB8888Font::kOfHeaderSize), file, "bytes follow the header"},
    };
    for (const TCase& c : cases) {
        TMemoryStream h(c.Horizontal), v(c.Vertical);
        EXPECT_FALSE(font.LoadFromStreams(&h, &v)) << c.Name;
        EXPECT_NE(font.Error.find(c.Reason), std::string::npos) << c.Name << ": " << font.Error;
        // Nothing of a bad pair stays loaded.
        EXPECT_EQ(font.Horizontal.PageCount + font.Vertical.PageCount, 0) << c.Name;
    }
}

TEST_F(FontTest, ADamagedFontFileFallsBackToTheSystemFaceWithOneLogLine) {
    // Slot 0 names a font whose only file ends inside its header.
    const std::string file = FontFixtures::OfFile({.Codes = {0x41}});
    Context.Packs.FileExistsHook = [](const std::string& n) { return n == "system\\font\\Cut.of"; };
    Context.Packs.LoadFileHook = [&](const std::string& n) -> std::unique_ptr<TMemoryStream> {
        if (n != "system\\font\\Cut.of") return nullptr;
        return std::make_unique<TMemoryStream>(file.substr(0, 100));
    };
    ARGB8888Font::Install(Fonts, &Fake, &Context.Context.Config);
    TSystemData config;
    config.Font[0].Name = "Cut";
    SystemConfigLib::AddFontCandidate(config, 0, "Cut", "1");
    Context.Context.Config.ApplyFonts(config, Context.Packs, &Context.Log);

    EXPECT_FALSE(Fonts.Slots[0].IsBitmapFont());
    EXPECT_EQ(Fonts.Slots[0].FaceName(), "Cut");
    ASSERT_EQ(Context.Log.ErrorList.Count(), 1);
    EXPECT_EQ(Context.Log.ErrorList[0],
              "[FONT]:system\\font\\Cut.of: horizontal glyph set: the file has 100 bytes, fewer than the 66634 of its "
              "header; drawn with the system font instead");
    EXPECT_FALSE(Context.Log.ErrorFlag);
}

TEST_F(FontTest, ExactGlyphIsTheCellTintedByTheTextColour) {
    const TTestFont options;
    FontFixtures::Install(Fonts, options, 0);
    TARGB8888 image;
    image.SetSize(12, 10);
    int32_t w = -1, h = -1;
    image.TextOut(Fonts, 3, 1, "A", 8, 8, 0xFF102030, 0, false, w, h);
    EXPECT_EQ(w, 4);  // half a cell
    EXPECT_EQ(h, 8);
    // Index 1 (opaque white) and 2 (half-transparent white) multiplied by the colour, per byte / 256.
    EXPECT_EQ(PixelsOf(image), Placed(FontFixtures::Glyph(options, 'A'), 8, 3, 1, 12, 10, {0, 0xFE0F1F2F, 0x7F0F1F2F}));

    // Over opaque pixels the colour is blended in by its alpha / 2 in 128ths.
    ImageFixtures::Filled(image, 12, 10, 0xFF000000);
    image.TextOut(Fonts, 0, 0, "A", 8, 8, 0xFF102030, 0, false, w, h);
    EXPECT_EQ(image.ScanLine(0)[0], 0xFF0E1E2Eu);
}

TEST_F(FontTest, TintRulesOfTheTwoPaletteKinds) {
    struct TCase {
        bool UseTextColor;
        uint32_t Color;
        uint32_t Index1, Index2;
    };
    const TCase cases[] = {
        // white palette times the colour
        {false, 0xFFFFFFFF, 0xFEFEFEFE, 0x7FFEFEFE},
        {false, 0x80FF0000, 0x7FFE0000, 0x40FE0000},
        // black palette plus the colour's RGB, times its alpha
        {true, 0xFFFFFFFF, 0xFEFEFEFE, 0x7FFEFEFE},
        {true, 0x80FF0000, 0x7FFE0000, 0x40FE0000},
        {true, 0xFF204060, 0xFE1F3F5F, 0x7F1F3F5F},
    };
    for (const TCase& c : cases) {
        const TTestFont options{.UseTextColor = c.UseTextColor, .Codes = {0x8250}};
        FontFixtures::Install(Fonts, options, 0);
        TARGB8888 image;
        image.SetSize(8, 8);
        int32_t w = 0, h = 0;
        image.TextOut(Fonts, 0, 0, "\x82\x50", 8, 8, c.Color, 0, false, w, h);
        EXPECT_EQ(PixelsOf(image), Placed(FontFixtures::Glyph(options, 0x8250), 8, 0, 0, 8, 8, {0, c.Index1, c.Index2}))
            << std::hex << c.Color << " flag " << c.UseTextColor;
    }
}

TEST_F(FontTest, SpacesAlphaZeroAndMissingGlyphs) {
    FontFixtures::Install(Fonts, {}, 0);
    struct TCase {
        const char* Name;
        std::string Text;
        uint32_t Color;
        int32_t W, H;
    };
    const TCase cases[] = {
        {"space advances half a cell", " ", 0xFFFFFFFF, 4, 8},
        {"full-width space advances a cell", "\x81\x40", 0xFFFFFFFF, 8, 8},
        {"alpha 0 advances without drawing", "AB", 0x00FFFFFF, 8, 8},
        {"a code outside the map has no glyph", "\x80\x41", 0xFFFFFFFF, 0, 0},
        {"a lead byte at the end pairs with a zero byte", "\x82", 0xFFFFFFFF, 0, 0},
    };
    for (const TCase& c : cases) {
        TARGB8888 image;
        image.SetSize(16, 8);
        int32_t w = -1, h = -1;
        Fonts.Slots[0].DrawText(image.Active, 0, 0, c.Text, 8, 8, c.Color, false, w, h);
        EXPECT_EQ(w, c.W) << c.Name;
        EXPECT_EQ(h, c.H) << c.Name;
        EXPECT_EQ(PixelsOf(image), TPixels(16 * 8, 0)) << c.Name;
    }
}

TEST_F(FontTest, MapEntriesThatPointNowhereDrawNothingButAdvance) {
    const std::pair<const char*, uint16_t> cases[] = {
        {"page 5 of 1", 0x0501},
        {"the last cell of a page one row high", 0x00FF},
    };
    for (auto [name, entry] : cases) {
        std::string file = FontFixtures::OfFile({.Codes = {0x41}});
        LittleEndian::Put16(reinterpret_cast<uint8_t*>(&file[0x40 + 2 * 0x41]), entry);
        TMemoryStream s(file);
        ASSERT_TRUE(Fonts.Slots[0].LoadBitmapFont("broken", &s, nullptr));
        for (int32_t size : {8, 11}) {
            TARGB8888 image;
            image.SetSize(200, 200);
            int32_t w = 0, h = 0;
            image.TextOut(Fonts, 0, 0, "A", size, size, 0xFFFFFFFF, 0, false, w, h);
            EXPECT_EQ(w, size / 2) << name;
            EXPECT_EQ(PixelsOf(image), TPixels(200 * 200, 0)) << name << " at " << size;
        }
    }
}

// One opaque white pixel in the top-left corner of a 2 x 2 cell, scaled to 4 x 4: the bilinear
// weights are 127/128 and 63/128 along each axis; samples right of the cell read the next
// (empty) cell of the page, and the last row repeats itself at the page's bottom.
TEST_F(FontTest, ScaledGlyphMixesBilinearlyIn128ths) {
    OfWriter::TGlyphSetFile set;
    set.CellWidth = 2;
    set.CellHeight = 2;
    set.Palette[1] = 0xFFFFFFFF;
    set.Glyphs.push_back({0x41, {1, 0, 0, 0}, 128, 128});
    std::string file, error;
    ASSERT_TRUE(OfWriter::Write(set, file, error)) << error;
    TMemoryStream s(file);
    ASSERT_TRUE(Fonts.Slots[0].LoadBitmapFont("tiny", &s, nullptr));
    TARGB8888 image;
    image.SetSize(4, 4);
    int32_t w = 0, h = 0;
    image.TextOut(Fonts, 0, 0, "A", 4, 4, 0xFFFFFFFF, 0, false, w, h);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 4);
    const TPixels expected = {0xFAFAFAFA, 0x7B7B7B7B, 0, 0, 0x7B7B7B7B, 0x3C3C3C3C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(PixelsOf(image), expected);
}

TEST_F(FontTest, ScaledGlyphsScaleTheirAdvance) {
    FontFixtures::Install(Fonts, {.CellWidth = 24, .CellHeight = 24, .Codes = {}}, 0);
    TARGB8888 image;
    image.SetSize(80, 40);
    int32_t w = 0, h = 0;
    image.TextOut(Fonts, 0, 0,
                  "\x82\x50"
                  "A",
                  24, 24, 0xFFFFFFFF, 0, false, w, h);
    EXPECT_EQ(w, 24 + 12);
    EXPECT_EQ(h, 24);
    image.TextOut(Fonts, 0, 0,
                  "\x82\x50"
                  "A",
                  32, 32, 0xFFFFFFFF, 0, false, w, h);
    EXPECT_EQ(w, 32 + 16);
    EXPECT_EQ(h, 32);
    // The scaled full-width glyph's frame reaches the last column and row of its 32 x 32 box.
    EXPECT_NE(image.ScanLine(31)[0] >> 24, 0u);
    EXPECT_NE(image.ScanLine(0)[31] >> 24, 0u);
    EXPECT_EQ(image.ScanLine(32)[0] >> 24, 0u);
}

TEST_F(FontTest, GlyphsCutAtTheRightEdge) {
    const TTestFont options{.CellWidth = 6, .CellHeight = 6, .Codes = {0x41, 0x8250}};
    FontFixtures::Install(Fonts, options, 0);
    struct TCase {
        const char* Name;
        std::string Text;
        int32_t Size;
        int32_t Remaining;  // columns left inside the picture
        int32_t Drawn;      // columns with ink
    };
    const TCase cases[] = {
        {"exact: one column is not enough", "\x82\x50", 6, 1, 0},
        {"exact: an odd last column is drawn", "A", 6, 3, 3},
        {"exact: two columns", "\x82\x50", 6, 2, 2},
        {"scaled: one column is drawn", "\x82\x50", 5, 1, 1},
    };
    for (const TCase& c : cases) {
        TARGB8888 image;
        image.SetSize(20, 12);
        int32_t w = 0, h = 0;
        image.TextOut(Fonts, 20 - c.Remaining, 0, c.Text, c.Size, c.Size, 0xFFFFFFFF, 0, false, w, h);
        int32_t columns = 0;
        for (int32_t x = 0; x < 20; ++x) {
            bool ink = false;
            for (int32_t y = 0; y < 12; ++y)
                ink |= (image.ScanLine(y)[x] >> 24) != 0;
            columns += ink;
        }
        EXPECT_EQ(columns, c.Drawn) << c.Name;
    }
}

TEST_F(FontTest, VerticalTextUsesTheVerticalSet) {
    const TTestFont options;
    FontFixtures::Install(Fonts, options, 0);
    TARGB8888 image;
    image.SetSize(8, 24);
    int32_t w = 0, h = 0;
    image.TextOut(Fonts, 0, 0,
                  "\x82\x50"
                  "AB",
                  8, 8, 0xFFFFFFFF, 0, true, w, h);
    EXPECT_EQ(w, 8);          // the width of the last glyph in the vertical set: a whole cell
    EXPECT_EQ(h, 8 + 4 + 4);  // one-byte characters take half a cell downwards
    // "A" starts right below the full-width glyph.
    EXPECT_EQ(image.ScanLine(8)[0], 0xFEFEFEFEu);
}

// ---- TextOut

TEST_F(FontTest, TextOutFallsBackToFontZeroCharacterByCharacter) {
    FontFixtures::Install(Fonts, {.Codes = {'B'}}, 0);
    FontFixtures::Install(Fonts, {.Codes = {'A'}}, 3);
    TARGB8888 image, expected;
    image.SetSize(16, 8);
    int32_t w = 0, h = 0;
    image.TextOut(Fonts, 0, 0, "ABC", 8, 8, 0xFFFFFFFF, 3, false, w, h);
    // "C" is in neither font: it advances nothing, and as the last character its height is 0.
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 0);
    FontFixtures::Install(Fonts, {}, 0);
    expected.SetSize(16, 8);
    expected.TextOut(Fonts, 0, 0, "AB", 8, 8, 0xFFFFFFFF, 0, false, w, h);
    EXPECT_EQ(PixelsOf(image), PixelsOf(expected));

    // An index that names no font draws with font 0.
    TARGB8888 other;
    other.SetSize(16, 8);
    other.TextOut(Fonts, 0, 0, "AB", 8, 8, 0xFFFFFFFF, 8, false, w, h);
    EXPECT_EQ(PixelsOf(other), PixelsOf(expected));
}

TEST_F(FontTest, TextOutWithoutBitmapOrText) {
    TARGB8888 empty;
    int32_t w = 7, h = 7;
    empty.TextOut(Fonts, 0, 0, "A", 8, 8, 0xFFFFFFFF, 0, false, w, h);
    EXPECT_EQ(w, 7);  // untouched without an active bitmap
    TARGB8888 image;
    image.SetSize(4, 4);
    image.TextOut(Fonts, 0, 0, "", 8, 8, 0xFFFFFFFF, 0, false, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

// ---- system fonts

TEST_F(FontTest, SystemTextPairsOnlyRealLeadBytes) {
    TARGB8888 image;
    image.SetSize(64, 16);
    int32_t w = 0, h = 0;
    // 0x80 is a character of its own here; a lead byte at the end as well.
    image.TextOut(Fonts, 0, 0,
                  "\x80"
                  "A\x82\xA0\x82",
                  8, 8, 0xFFFFFFFF, 0, false, w, h);
    std::vector<uint16_t> codes;
    for (const auto& r : Fake.Requests)
        codes.push_back(r.Code);
    EXPECT_EQ(codes, (std::vector<uint16_t>{0x80, 0x41, 0x82A0, 0x82}));
    EXPECT_EQ(w, 4 + 4 + 8 + 4);
    EXPECT_EQ(h, 8);
}

TEST_F(FontTest, SystemSpacesInvisibleColoursAndEmptySizes) {
    struct TCase {
        const char* Name;
        std::string Text;
        uint32_t Color;
        int32_t Size;
        int32_t W, H;
    };
    const TCase cases[] = {
        {"space", " ", 0xFFFFFFFF, 10, 5, 10},
        {"full-width space", "\x81\x40", 0xFFFFFFFF, 10, 10, 10},
        {"alpha 0 neither draws nor advances", "A", 0x00FFFFFF, 10, 0, 0},
        {"size 0", "A", 0xFFFFFFFF, 0, 0, 0},
        {"negative size", "\x82\xA0", 0xFFFFFFFF, -8, 0, 0},
    };
    for (const TCase& c : cases) {
        TARGB8888 image;
        image.SetSize(16, 16);
        int32_t w = -1, h = -1;
        Fonts.Slots[0].DrawText(image.Active, 0, 0, c.Text, c.Size, c.Size, c.Color, false, w, h);
        EXPECT_EQ(w, c.W) << c.Name;
        EXPECT_EQ(h, c.H) << c.Name;
        EXPECT_EQ(PixelsOf(image), TPixels(256, 0)) << c.Name;
    }
    EXPECT_TRUE(Fake.Requests.empty());
}

// A 4 x 4 box with a shadow in the style colour two pixels down and right: where only the shadow
// lies it keeps its own colour, the glyph is the text colour, and over the shadow the glyph is
// blended in by half its coverage.
TEST_F(FontTest, SystemLayersDrawInOrderWithTheirColours) {
    Fonts.Slots[0].SetSystemFont("fake", 1, SystemConfigLib::FontEffects(2, 0x0000FF));
    TARGB8888 image;
    image.SetSize(8, 8);
    int32_t w = 0, h = 0;
    image.TextOut(Fonts, 0, 0, "\x82\x50", 4, 4, 0xFFFF0000, 0, false, w, h);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 4);
    const TPixels p = PixelsOf(image);
    EXPECT_EQ(p[0 * 8 + 0], 0xFEFE0000u);  // glyph only
    EXPECT_EQ(p[5 * 8 + 5], 0x650000FEu);  // shadow only: 0x66 alpha, own blue
    EXPECT_EQ(p[3 * 8 + 3], 0xFDFD0001u);  // glyph over shadow
    EXPECT_EQ(p[6 * 8 + 6], 0u);
}

TEST_F(FontTest, EffectLayersWidenTheInk) {
    struct TCase {
        int32_t Style;
        int32_t Left, Top, Right, Bottom;  // ink box of a 6 x 6 glyph drawn at (4, 4)
    };
    const TCase cases[] = {
        {0, 4, 4, 10, 10}, {1, 4, 4, 10, 10}, {2, 4, 4, 12, 12},
        {4, 3, 3, 11, 11}, {8, 2, 2, 12, 12}, {4 | 8, 2, 2, 12, 12},
    };
    for (const TCase& c : cases) {
        Fonts.Slots[0].SetSystemFont("fake", 1, SystemConfigLib::FontEffects(c.Style, 0));
        TARGB8888 image;
        image.SetSize(16, 16);
        int32_t w = 0, h = 0;
        image.TextOut(Fonts, 4, 4, "\x82\x50", 6, 6, 0xFFFFFFFF, 0, false, w, h);
        int32_t l = 16, t = 16, r = 0, b = 0;
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x)
                if (image.ScanLine(y)[x] >> 24)
                    l = std::min(l, x), t = std::min(t, y), r = std::max(r, x + 1), b = std::max(b, y + 1);
        EXPECT_EQ((std::vector<int32_t>{l, t, r, b}), (std::vector<int32_t>{c.Left, c.Top, c.Right, c.Bottom}))
            << "style " << c.Style;
    }
    // Plain text asks the face for weight 400, bold for 700.
    std::vector<int32_t> weights;
    for (const auto& r : Fake.Requests)
        weights.push_back(r.Weight);
    EXPECT_EQ(weights, (std::vector<int32_t>{400, 700}));
}

TEST_F(FontTest, SupersamplingRendersLargerAndAveragesBlocks) {
    Fake.EvenColumnsOnly = true;
    struct TCase {
        int32_t Factor;
        int32_t RenderedHeight;
        std::vector<uint8_t> FirstRow;  // coverage of the first row of a 4 x 4 full-width glyph
    };
    const TCase cases[] = {
        {1, 4, {255, 0, 255}},  // the ink box ends at the last inked column
        {2, 8, {127, 127, 127, 127}}, {4, 16, {127, 127, 127, 127}},
        {3, 12, {170, 85, 170, 85}},  {0, 4, {255, 0, 255}},  // clamped to 1
    };
    for (const TCase& c : cases) {
        Fonts.Cache.Clear();
        const TCachedGlyph& g = Fonts.Cache.Lookup("fake", 0x8250, 4, 4, c.Factor, 0);
        EXPECT_EQ(Fake.Requests.back().Height, c.RenderedHeight) << c.Factor;
        EXPECT_EQ(Fake.Requests.back().Width, c.RenderedHeight / 2) << c.Factor;
        EXPECT_EQ(g.ExtentX, 4);
        EXPECT_EQ(g.ExtentY, 4);
        EXPECT_EQ(std::vector<uint8_t>(g.Coverage.begin(), g.Coverage.begin() + g.InkWidth), c.FirstRow) << c.Factor;
    }
}

TEST_F(FontTest, HugeSizesAreRenderedWithinTheLargestSide) {
    struct TCase {
        int32_t Width, Height, Factor;
        int32_t RenderedWidth, RenderedHeight;  // the work bitmap's size
    };
    const TCase cases[] = {
        {256, 256, 4, 512, 1024},          // fits exactly
        {300, 24, 4, 450, 72},             // gives up supersampling first (factor 3)
        {5000, 2000000000, 4, 512, 1024},  // then size
    };
    for (const TCase& c : cases) {
        Fonts.Cache.Lookup("fake", 0x8250, c.Width, c.Height, c.Factor, 0);
        EXPECT_EQ(Fake.Requests.back().Width, c.RenderedWidth) << c.Width;
        EXPECT_EQ(Fake.Requests.back().Height, c.RenderedHeight) << c.Width;
    }
}

// ---- the glyph cache

TEST_F(FontTest, CacheReplacesFirstInFirstOutAndRemembersRecentHits) {
    TSystemFontCache& cache = Fonts.Cache;
    auto lookup = [&](uint32_t n) { cache.Lookup("fake", 0x8800 + n, 8, 8, 1, 0); };
    for (uint32_t n = 0; n < 256; ++n)
        lookup(n);
    EXPECT_EQ(cache.Counts.Misses, 256u);
    EXPECT_EQ(cache.Cursor(), 0);

    // The 4 most recent glyphs are found without a scan, an older one by a scan, which puts it in
    // the ring.
    for (uint32_t n : {252, 253, 254, 255})
        lookup(n);
    EXPECT_EQ(cache.Counts.RingHits, 4u);
    EXPECT_EQ(cache.Counts.ScanHits, 0u);
    lookup(10);
    lookup(10);
    EXPECT_EQ(cache.Counts.ScanHits, 1u);
    EXPECT_EQ(cache.Counts.RingHits, 5u);

    // The 257th glyph takes the first slot; the first glyph is rendered again, into the second.
    lookup(256);
    EXPECT_EQ(cache.Slots()[0].Key, TSystemFontCache::MakeKey("fake", 0x8800 + 256, 8, 8, 1, 0));
    const size_t rendered = Fake.Requests.size();
    lookup(0);
    EXPECT_EQ(Fake.Requests.size(), rendered + 1);
    EXPECT_EQ(cache.Slots()[1].Key, TSystemFontCache::MakeKey("fake", 0x8800, 8, 8, 1, 0));
    EXPECT_EQ(cache.Counts.Misses, 258u);

    // Every part of the key counts.
    const auto misses = cache.Counts.Misses;
    cache.Lookup("fake", 0x8800 + 255, 8, 8, 1, 100);
    cache.Lookup("fake", 0x8800 + 255, 8, 8, 2, 0);
    cache.Lookup("fake", 0x8800 + 255, 8, 9, 1, 0);
    cache.Lookup("fake", 0x8800 + 255, 9, 8, 1, 0);
    cache.Lookup("other", 0x8800 + 255, 8, 8, 1, 0);
    EXPECT_EQ(cache.Counts.Misses, misses + 5);
}

TEST_F(FontTest, EachTableHasItsOwnFontsAndGlyphCache) {
    // Another game's table: the bitmap font loaded here is not in it, and its system glyphs are
    // rendered into its own cache.
    TFontTable other;
    ARGB8888Font::Install(other, &Fake);
    FontFixtures::Install(Fonts, {}, 0);
    EXPECT_TRUE(Fonts.Slots[0].IsBitmapFont());
    EXPECT_FALSE(other.Slots[0].IsBitmapFont());
    TARGB8888 image;
    image.SetSize(8, 8);
    int32_t w = 0, h = 0;
    image.TextOut(other, 0, 0, "\x82\x50", 8, 8, 0xFFFFFFFF, 0, false, w, h);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(other.Cache.Counts.Misses, 1u);
    EXPECT_EQ(Fonts.Cache.Counts.Misses, 0u);

    // A font outside any table has no cache to render into: only its spaces take room.
    TARGB8888Font loose;
    loose.SetSystemFont("fake", 1);
    loose.DrawText(image.Active, 0, 0, "\x82\x50", 8, 8, 0xFFFFFFFF, false, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    loose.DrawText(image.Active, 0, 0, " ", 8, 8, 0xFFFFFFFF, false, w, h);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 8);
    EXPECT_EQ(Fake.Requests.size(), 1u);
}

// ---- configuration

TEST_F(FontTest, ApplyFontsSetsTheEightFonts) {
    ARGB8888Font::Install(Fonts, &Fake, &Context.Context.Config);
    TSystemData& d = Context.Settings;
    // Slot 1 names a face with glyph files in the packs; slot 2 a system face with a style.
    const std::string of = FontFixtures::OfFile({.Codes = {'A'}});
    Context.Packs.LoadFileHook = [&](const std::string& n) -> std::unique_ptr<TMemoryStream> {
        if (ClassLib::LowerAscii(n) == "system\\font\\bitmap face.of") return std::make_unique<TMemoryStream>(of);
        return nullptr;
    };
    Context.Packs.FileExistsHook = [](const std::string& n) {
        return ClassLib::LowerAscii(n) == "system\\font\\bitmap face.of";
    };
    SystemConfigLib::AddFontCandidate(d, 1, "bitmap face", "1");
    SystemConfigLib::AddFontCandidate(d, 2, "fake proportional", "0");
    d.Font[2].Name = "fake proportional";
    d.Font[2].Style = 4;
    d.Font[2].AA = 2;
    Context.Context.Config.ApplyFonts(d, Context.Packs, nullptr);

    EXPECT_TRUE(Fonts.Slots[1].IsBitmapFont());
    EXPECT_EQ(Fonts.Slots[1].BitmapFont->Vertical.PageCount, 0);
    const TSystemFont* s = Fonts.Slots[2].SystemFont.get();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Name, "fake proportional");
    EXPECT_EQ(s->Supersampling, 4);
    EXPECT_EQ(s->Effects.Color[2], 0xFF000000u);
    EXPECT_EQ(Fonts.Slots[0].Name, "ＭＳ ゴシック"_sj);

    // The installed faces reach the candidate lists.
    TMemoryStream list(std::string("font[0].list[0]=system_pro\r\n"));
    Context.Context.Config.LoadFontLists(d, &list);
    ASSERT_EQ(d.FontLists[0].Count(), 1);
    EXPECT_EQ(d.FontLists[0][0], "fake proportional");
}

}  // namespace
