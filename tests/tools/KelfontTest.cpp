// The kelfont tool, run as a program: the glyph sets it writes load into the engine's bitmap font
// and hold the characters of the ranges asked for, in both writing directions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/ARGB8888Font.h"
#include "platform/ClassLib.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct TInk {
    int32_t Width = 0, Height = 0, Count = 0;
};

// The ink of a glyph's cell in a set.
TInk InkOf(const TGlyphSet& set, uint32_t code) {
    TInk ink;
    const uint16_t entry = set.Map[static_cast<size_t>(ARGB8888Font::GlyphIndex(code))];
    if (entry == 0) return ink;
    const auto& page = set.Pages[entry >> 8];
    const int32_t left = (entry & 15) * set.CellWidth, top = ((entry >> 4) & 15) * set.CellHeight;
    int32_t l = set.CellWidth, t = set.CellHeight, r = -1, b = -1;
    for (int32_t y = 0; y < set.CellHeight; ++y)
        for (int32_t x = 0; x < set.CellWidth; ++x)
            if (page[static_cast<size_t>((top + y) * set.PageWidth + left + x)]) {
                ++ink.Count;
                l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
            }
    if (ink.Count) ink.Width = r - l + 1, ink.Height = b - t + 1;
    return ink;
}

TEST(KelfontTest, WritesBothGlyphSetsOfTheRanges) {
    ASSERT_TRUE(fs::exists(ToolRun::ToolPath("kelfont")));
    const std::string dir = TestData::ScratchDir();
    const ToolRun::TRun run = ToolRun::Run("kelfont",
                                           "--cell 20x20 --range 20-21 --range 41-41 --range 80-80 --range 82A0-82A2 "
                                           "--range 815B-815B \"ＭＳ ゴシック\" '" +
                                               dir + "' --name test");
    ASSERT_EQ(run.Code, 0) << run.Output;

    TBitmapFont font;
    TMemoryStream h(ReadAll(fs::path(dir) / "test.of")), v(ReadAll(fs::path(dir) / "@test.of"));
    ASSERT_TRUE(font.LoadFromStreams(&h, &v)) << font.Error;
    for (const TGlyphSet* set : {&font.Horizontal, &font.Vertical}) {
        EXPECT_EQ(set->CellWidth, 20);
        EXPECT_EQ(set->CellHeight, 20);
        EXPECT_TRUE(set->UseTextColor);
        EXPECT_EQ(set->Palette[255], 0xFF000000u);
        EXPECT_EQ(set->Palette[1], 0x01000000u);
        // The characters of the ranges and nothing else; 0x80 stands for no character.
        int32_t glyphs = 0;
        for (uint16_t e : set->Map)
            glyphs += e != 0;
        EXPECT_EQ(glyphs, 7);
        EXPECT_EQ(set->Map[0x80], 0);
        for (uint32_t code : {0x21u, 0x41u, 0x82A0u, 0x82A1u, 0x82A2u, 0x815Bu})
            EXPECT_GT(InkOf(*set, code).Count, 10) << std::hex << code;
        EXPECT_NE(set->Map[0x20], 0);
        EXPECT_EQ(InkOf(*set, 0x20).Count, 0);
    }
    // Horizontal advances: half a cell for "A", a whole one for "あ".
    EXPECT_NEAR(font.Horizontal.AdvanceX[0x41], 64, 1);
    EXPECT_EQ(font.Horizontal.AdvanceX[0x02A0], 128);
    EXPECT_EQ(font.Horizontal.AdvanceY[0x41], 128);
    // Vertically "A" lies on its side and advances by its width; the long vowel mark turns too,
    // kana stand upright.
    EXPECT_NEAR(font.Vertical.AdvanceY[0x41], 64, 1);
    EXPECT_EQ(font.Vertical.AdvanceX[0x41], 128);
    const TInk flatA = InkOf(font.Horizontal, 0x41), upA = InkOf(font.Vertical, 0x41);
    EXPECT_EQ(upA.Width, flatA.Height);
    EXPECT_EQ(upA.Height, flatA.Width);
    const TInk flatBar = InkOf(font.Horizontal, 0x815B), upBar = InkOf(font.Vertical, 0x815B);
    EXPECT_GT(flatBar.Width, flatBar.Height);
    EXPECT_GT(upBar.Height, upBar.Width);
    EXPECT_EQ(InkOf(font.Vertical, 0x82A0).Count, InkOf(font.Horizontal, 0x82A0).Count);
}

TEST(KelfontTest, WrongUsageAndNothingToWrite) {
    const std::string dir = TestData::ScratchDir();
    const std::pair<std::string, int> cases[] = {
        {"", 2},
        {"IPAGothic", 2},
        {"--cell 0x10 IPAGothic '" + dir + "'", 2},
        {"--cell 16 IPAGothic '" + dir + "'", 2},
        {"--range 42-41 IPAGothic '" + dir + "'", 2},
        {"--range 4G-50 IPAGothic '" + dir + "'", 2},
        {"--smooth 3 IPAGothic '" + dir + "'", 2},
        {"--frobnicate IPAGothic '" + dir + "'", 2},
        {"--range 80-80 IPAGothic '" + dir + "'", 1},
        {"IPAGothic '" + dir + "/no such folder'", 1},
    };
    for (const auto& [args, code] : cases) {
        const ToolRun::TRun run = ToolRun::Run("kelfont", args);
        EXPECT_EQ(run.Code, code) << args << "\n" << run.Output;
        EXPECT_NE(run.Output.find("kelfont: "), std::string::npos) << args;
    }
    EXPECT_EQ(ToolRun::Run("kelfont", "--help").Code, 0);
}

}  // namespace
