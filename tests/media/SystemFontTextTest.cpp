// Text in the installed Japanese faces, drawn the way the engine draws it: through the 8 fonts,
// the glyph cache and TARGB8888::TextOut. Checked by properties, not by the pixels of one FreeType.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Font.h"
#include "media/ARGB8888Lib.h"
#include "platform/Encoding.h"
#include "platform/SystemFonts.h"

namespace {

struct TBox {
    int32_t Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1;  // right and bottom exclusive
    int32_t Count = 0;
};

TBox InkIn(const TARGB8888& image, int32_t left, int32_t right) {
    TBox b;
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = left; x < right; ++x)
            if (image.ScanLine(y)[x] >> 24) {
                ++b.Count;
                b.Left = std::min(b.Left, x), b.Top = std::min(b.Top, y);
                b.Right = std::max(b.Right, x + 1), b.Bottom = std::max(b.Bottom, y + 1);
            }
    return b;
}

class SystemFontTextTest : public ::testing::Test {
protected:
    void SetUp() override { ARGB8888Font::Install(Table, &Fonts); }
    // Draws the text with font 0 set to the gothic face and the style at (8, 8) of a 320 x 48 image.
    TBox Draw(TARGB8888& image, const std::string& text, int32_t style, int32_t supersampling, int32_t& w, int32_t& h) {
        Table.Slots[0].SetSystemFont("ＭＳ ゴシック"_sj, supersampling, SystemConfigLib::FontEffects(style, 0));
        image.SetSize(320, 48);
        image.TextOut(Table, 8, 8, text, 24, 24, 0xFFFFFFFF, 0, false, w, h);
        return InkIn(image, 0, image.Width());
    }

    TFreeTypeFonts Fonts;
    TFontTable Table;
};

TEST_F(SystemFontTextTest, JapaneseTextFillsItsCellsAtEverySmoothing) {
    const std::string text = "日本語のテキスト"_sj;
    for (int32_t factor : {1, 2, 4}) {
        TARGB8888 image;
        int32_t w = 0, h = 0;
        const TBox all = Draw(image, text, 0, factor, w, h);
        EXPECT_EQ(w, 8 * 24) << factor;
        EXPECT_EQ(h, 24) << factor;
        // All ink inside the line's cells, and every character has some in its own cell.
        EXPECT_GE(all.Left, 8);
        EXPECT_GE(all.Top, 8);
        EXPECT_LE(all.Right, 8 + 8 * 24);
        EXPECT_LE(all.Bottom, 8 + 24);
        for (int32_t i = 0; i < 8; ++i)
            EXPECT_GT(InkIn(image, 8 + 24 * i, 8 + 24 * (i + 1)).Count, 10) << "character " << i << " at " << factor;
    }
}

TEST_F(SystemFontTextTest, EffectLayersWidenTheInkAsTheStyleSays) {
    const std::string text = "漢字"_sj;
    TARGB8888 image;
    int32_t w = 0, h = 0;
    const TBox plain = Draw(image, text, 0, 1, w, h);
    struct TCase {
        int32_t Style;
        int32_t Left, Top, Right, Bottom;  // growth of the ink box on each side
    };
    const TCase cases[] = {
        {2, 0, 0, 2, 2},      // shadow two pixels down and right
        {4, 1, 1, 1, 1},      // outline
        {8, 2, 2, 2, 2},      // thick outline
        {4 | 8, 2, 2, 2, 2},  // the thick one wins
    };
    for (const TCase& c : cases) {
        const TBox b = Draw(image, text, c.Style, 1, w, h);
        EXPECT_EQ(plain.Left - b.Left, c.Left) << c.Style;
        EXPECT_EQ(plain.Top - b.Top, c.Top) << c.Style;
        EXPECT_EQ(b.Right - plain.Right, c.Right) << c.Style;
        EXPECT_EQ(b.Bottom - plain.Bottom, c.Bottom) << c.Style;
        EXPECT_EQ(w, 48) << c.Style;
    }
    // Bold thickens the strokes without changing the advance.
    const TBox bold = Draw(image, text, 1, 1, w, h);
    EXPECT_GT(bold.Count, plain.Count);
    EXPECT_EQ(w, 48);
}

}  // namespace
