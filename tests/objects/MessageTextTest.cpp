// The message typesetter: tokens and inline commands, one character per step, line breaking with
// hanging marks and the hanging indent, ruby, the width limit, full pages and scrolling, replay.
// Text is drawn with the fixed bitmap test font, so layout dumps and pixels are exact; the dumps of
// whole pages are kept as golden files under tests/data/message (KEL_UPDATE_GOLDEN=1 rewrites them).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "media/ARGB8888Font.h"
#include "objects/MessageLayoutDump.h"
#include "objects/MessageLib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/FontFixtures.h"
#include "tests/support/TestData.h"

namespace {

std::string Sj(const char* utf8) {
    return Encoding::Utf8ToSjis(utf8);
}

class MessageTextTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override { FontFixtures::InstallMessageFonts(Fonts); }

    // A fresh page of w x h pixels in the size of the test font, with an optional margin. The clear
    // comes last, as a script's clear before its first message: the clear of a new text area still
    // placed the pen in the old one.
    void Page(TMessageText& t, int32_t w, int32_t h, int32_t margin = 0, bool vertical = false) {
        t.Fonts = &Fonts;
        t.SetMargin(margin);
        t.SetVertical(vertical);
        t.SetTextRect(0, 0, w, h);
        t.SetSize(16, 16);
        t.SetRubySize(8, 8);
        t.ClearText();
    }

    // Types the text as a player would see it: step after step, each wait run out and each full
    // page advanced by a scroll. Returns the dump of what happened.
    static std::string Play(TMessageText& t, const std::string& text) {
        TMessageLayoutDump dump(t);
        t.AppendText(text);
        for (int i = 0; i < 10000 && !t.Step(false); ++i) {
            if (t.State == TMessageState::PageFull) t.ScrollLine();
            t.WaitLeft = 0;
        }
        return dump.Text();
    }

    static std::string Golden(const TMessageText& t, const std::string& utf8, const std::string& dump) {
        return "area " + std::to_string(t.AreaWidth()) + "x" + std::to_string(t.AreaHeight()) + ", margin " +
               std::to_string(t.Margin) + (t.Vertical ? ", vertical" : "") + "\ntext: " + utf8 + "\n" + dump;
    }

    static void ExpectGolden(const std::string& name, const std::string& actual) {
        const std::string path = TestData::Path("message/" + name + ".txt");
        if (std::getenv("KEL_UPDATE_GOLDEN")) {
            std::ofstream(path, std::ios::binary) << actual;
            return;
        }
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in) << path;
        std::stringstream expected;
        expected << in.rdbuf();
        EXPECT_EQ(expected.str(), actual) << name;
    }

    // The glyph lines of a dump.
    static std::vector<std::string> Glyphs(const std::string& dump) {
        std::vector<std::string> lines;
        std::istringstream in(dump);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("glyph", 0) == 0 || line.rfind("ruby", 0) == 0) lines.push_back(line);
        return lines;
    }

    static std::vector<uint32_t> Pixels(const TMessageText& t) {
        return t.TextBitmap.Active ? t.TextBitmap.Active->Pixels : std::vector<uint32_t>{};
    }

    TFontTable Fonts;  // the text in font 0, the ruby in font 7
};

// ---- Pages as golden dumps

TEST_F(MessageTextTest, PagesMatchTheirGoldenDumps) {
    struct TCase {
        const char* Name;
        int32_t Width, Height, Margin;
        bool Vertical;
        const char* Text;  // UTF-8
    };
    const TCase cases[] = {
        // An opening bracket where a line ends starts the next line, hanging into the margin; one
        // with room for two characters left stays where it is.
        {"kinsoku_opening_bracket", 112, 64, 16, false, "あいうえ「かき」く「けこ」あいう「か」"},
        // A closing mark hangs past the line end once; the second one on that line breaks.
        {"kinsoku_hang_then_break", 112, 64, 0, false, "あいうえお。、かき"},
        // Full-width spaces at the line end never break, however many.
        {"kinsoku_space_at_end", 112, 64, 0, false, "あいうえお　　か"},
        // Ruby narrower than its base spreads over it; wider ruby is centred; a two-character
        // base is tested as a whole at the line end; trail bytes 0x5B and 0x5D are no brackets.
        {"ruby", 112, 96, 0, false, "[pi,0,10][rb,漢字,かん]あ[rb,字,じゅく]い[rb,ゾーン,ぞーん]う"},
        // A limit of 100 pixels drops what would pass it with 1.5 glyphs of look-ahead; 0 lifts it.
        // A ruby looks one glyph ahead and is dropped whole, base and all.
        {"width_limit", 240, 32, 0, false, "[pi,0,8][lim,100]あいうえおかきく[lim,0]け[lim,10][rb,字,じ]こ[lim,0]さ"},
        // Centred and right-aligned inserted text; the main text goes on after it on the same line.
        {"inserted_text", 192, 64, 0, false, "[pc,タイトル]本文[n][pr,右][pc,[c,$FFFF0000]赤]"},
        // c without argument restores the colour before the last change; rc without one is white.
        {"colour_restore", 192, 64, 0, false,
         "[pi,0,8]あ[c,$FFFF0000]い[c]う[c]え[rc,$FF00FF00][rc,$FF0000FF][rc][rb,字,じ]"},
        // Columns from the right; after a pitch change the first column stands the pitch away from
        // the right side; a column past the left side fills the page, and a scroll moves it right.
        {"vertical_edges", 64, 80, 0, true, "[pi,0,8]あいうえおかきくけこさしすせそ"},
        // An unclosed command swallows the rest of the text and is not run.
        {"unclosed_command", 112, 64, 0, false, "あい[c,$FFFF0000]う[s,8,8 えお"},
    };
    for (const TCase& c : cases) {
        TMessageText t;
        Page(t, c.Width, c.Height, c.Margin, c.Vertical);
        const std::string dump = Play(t, Encoding::Utf8ToSjis(c.Text));
        ExpectGolden(c.Name, Golden(t, c.Text, dump));
    }
}

TEST_F(MessageTextTest, LineBreakLimitIsHalfTheBytesPlusTwoInUnitsRoundedHalfToEven) {
    // Pitch 1 makes the unit 17 and the limit for a one-byte character (8 pixels wide) the pen plus
    // 25.5. The eighth character stands at 63, where 88.5 rounds down to 88: an area of 89 takes it,
    // one of 88 does not. At 54 the limit 79.5 rounds up to 80.
    struct TCase {
        int32_t Width;
        const char* Text;
        int32_t OnFirstLine;
    };
    const TCase cases[] = {
        {88, "[pi,1,0]abcdefghij", 7}, {89, "[pi,1,0]abcdefghij", 8}, {80, "[pi,1,0]abcdefghij", 6},
        {81, "[pi,1,0]abcdefghij", 7}, {112, "あいうえおか", 5},  // two-byte characters: the pen plus 32
    };
    for (const TCase& c : cases) {
        TMessageText t;
        Page(t, c.Width, 64);
        const auto glyphs = Glyphs(Play(t, Sj(c.Text)));
        int32_t first = 0;
        for (const std::string& g : glyphs)
            if (g.find(" line 0") != std::string::npos) ++first;
        EXPECT_EQ(first, c.OnFirstLine) << c.Width << " " << c.Text;
    }
}

// ---- Commands

TEST_F(MessageTextTest, CommandsSetTheirFieldsLongAndShort) {
    struct TCase {
        const char* Text;
        int32_t TMessageText::*Field;
        int32_t Expected;
    };
    const TCase cases[] = {
        {"[f,3]", &TMessageText::Font, 3},
        {"[f,3][f,9]", &TMessageText::Font, 3},  // outside 0..7: no change
        {"[f,3][f,5][f]", &TMessageText::Font, 3},
        {"[rf,9]", &TMessageText::RubyFont, 9},  // any value, kept as given
        {"[rf]", &TMessageText::RubyFont, 7},
        {"[s,20,24][s]", &TMessageText::SizeW, 16},
        {"[s,20,24][sp,50,200]", &TMessageText::SizeH, 48},
        {"[s,20,24][s,x,y]", &TMessageText::SizeW, 32},  // unreadable numbers take the defaults
        {"[s,2147483647,9][sp,200,100]", &TMessageText::SizeW, 2147483647},
        {"[pi,3,4][pi,5,6][pi]", &TMessageText::PitchX, 3},
        {"[pi,10,20][pip,50]", &TMessageText::PitchX, 0},   // one argument: the short form
        {"[pi,10,20][pip,50,]", &TMessageText::PitchY, 6},  // an empty number: 32 %
        {"[N,40]", &TMessageText::PenY, 40},                // command words in any case
        {"[ n,40]", &TMessageText::PenY, 0},                // a leading blank makes another word
        {"[]あ", &TMessageText::PenX, 16},
        {"[p,50,60]", &TMessageText::PenX, 50},
        {"[p,-5,1000]", &TMessageText::PenY, 64},  // clamped into the area
        {"[pp,50,50]", &TMessageText::PenX, 50},
        {"[p,50,60][p]", &TMessageText::PenX, 0},
        {"[i,30]", &TMessageText::PenX, 30},
        {"[i,-30]", &TMessageText::PenX, 0},
        {"[ip,150]", &TMessageText::PenX, 24},
        {"[i]", &TMessageText::PenX, 0},
        {"[spd,7]", &TMessageText::Speed, 7},
        {"[spd,7][spd]", &TMessageText::Speed, -1},
        {"[rs,4,5]", &TMessageText::RubySizeH, 5},
        {"[rs,4,5][rs]", &TMessageText::RubySizeW, 12},
        {"[rp,3,4][rp]", &TMessageText::RubyOffsetY, -12},
        {"[rpi,3,4]", &TMessageText::RubyPitchY, 4},
        {"[lim,$40]", &TMessageText::WidthLimit, 64},
        {"[lim,99999999999]", &TMessageText::WidthLimit, 0},  // past 32 bits: the default
        {"[n,25][nn,10]", &TMessageText::PenY, 35},
        {"[np,50]", &TMessageText::PenY, 8},
        {"[i,30][nnp]", &TMessageText::PenY, 16},
    };
    for (const TCase& c : cases) {
        TMessageText t;
        Page(t, 100, 64);
        t.AppendText(Sj(c.Text));
        t.Flush();
        EXPECT_EQ(t.*c.Field, c.Expected) << c.Text;
    }
}

TEST_F(MessageTextTest, ColoursReadAs64BitNumbersAndKeepTheLow32Bits) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"[c,$FFFF0000]", 0xFFFF0000u}, {"[c,$1FF00FF00]", 0xFF00FF00u}, {"[c,255]", 0xFFu},
        {"[c,-1]", 0xFFFFFFFFu},        {"[c,red]", 0xFFFFFFFFu},        {"[rc,$12345678]", 0x12345678u},
    };
    for (const auto& [text, expected] : cases) {
        TMessageText t;
        Page(t, 100, 64);
        t.AppendText(text);
        t.Flush();
        EXPECT_EQ(text[1] == 'r' ? t.RubyColor : t.Color, expected) << text;
    }
}

TEST_F(MessageTextTest, IgnoreMaskTurnsCommandGroupsIntoNoOps) {
    TMessageText t;
    Page(t, 100, 64);
    // What the back-log screen masks: positions, waits, speed and ruby offsets.
    t.IgnoreMask = MessageLib::kIgnorePosition | MessageLib::kIgnoreWait | MessageLib::kIgnoreSpeed |
                   MessageLib::kIgnoreRubyPosition;
    ASSERT_EQ(t.IgnoreMask, 0x11A0u);
    t.AppendText("[p,50,20][w,500][spd,3][rp,1,2][c,$FF00FF00]");
    while (!t.Step(false)) {
    }
    EXPECT_EQ(t.PenX, 0);
    EXPECT_EQ(t.WaitLeft, 0);
    EXPECT_EQ(t.Speed, -1);
    EXPECT_EQ(t.RubyOffsetY, -8);
    EXPECT_EQ(t.Color, 0xFF00FF00u);
    // A ruby command under the mask drops its base with it.
    t.IgnoreMask = MessageLib::kIgnoreRuby;
    const auto glyphs = Glyphs(Play(t, Sj("[rb,字,じ]あ")));
    ASSERT_EQ(glyphs.size(), 1u);
    EXPECT_NE(glyphs[0].find("\"あ\""), std::string::npos);
}

TEST_F(MessageTextTest, WaitsHoldStepsUnlessFlushed) {
    TMessageText t;
    Page(t, 100, 64);
    t.AppendText(Sj("あ[w,500]い"));
    EXPECT_FALSE(t.Step(false));  // あ
    EXPECT_FALSE(t.Step(false));  // the wait starts; い must wait
    EXPECT_EQ(t.WaitLeft, 500);
    EXPECT_EQ(t.PenX, 16);
    EXPECT_FALSE(t.Step(false));
    EXPECT_EQ(t.PenX, 16);
    t.Flush();  // a flush costs no time
    EXPECT_EQ(t.PenX, 32);
    EXPECT_EQ(t.State, TMessageState::Done);
    // While instant, the wait command and the appender do nothing.
    t.Instant = 1;
    t.Wait(300);
    EXPECT_EQ(t.MainText.find("[w,300]"), std::string::npos);
}

// ---- Pages and scrolling

TEST_F(MessageTextTest, FullPageStopsUntilScrolledAndScrollMovesPixelsUp) {
    TMessageText t;
    Page(t, 64, 40);  // two lines of 16 fit (0 and 16); the third would end at 48
    t.AppendText(Sj("あい[n]うえ[n]お"));
    int32_t steps = 0;
    while (!t.Step(false) && t.State != TMessageState::PageFull && ++steps < 100) {
    }
    ASSERT_EQ(t.State, TMessageState::PageFull);
    EXPECT_EQ(t.PenY, 32);
    const std::vector<uint32_t> before = Pixels(t);
    t.ScrollLine();
    EXPECT_EQ(t.State, TMessageState::Printing);
    EXPECT_EQ(t.PenY, 16);
    const std::vector<uint32_t> after = Pixels(t);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            const uint32_t expected = y + 16 < 40 ? before[static_cast<size_t>((y + 16) * 64 + x)] : 0x00888888u;
            ASSERT_EQ(after[static_cast<size_t>(y * 64 + x)], expected) << x << "," << y;
        }
    EXPECT_EQ(t.InkMinY, 0);
    EXPECT_EQ(t.InkMaxY, 18);  // the second line's ink, 16 + 2, moved up by 16
    t.Flush();
    EXPECT_EQ(t.State, TMessageState::Done);
    EXPECT_EQ(t.InkMaxY, 34);
}

TEST_F(MessageTextTest, InstantAndAutoScrollScrollAtOnce) {
    for (const bool autoScroll : {false, true}) {
        TMessageText t;
        Page(t, 64, 40);
        t.AutoScroll = autoScroll;
        t.AppendText(Sj("あ[n]い[n]う[n]え"));
        if (autoScroll) {
            while (!t.Step(false))
                ASSERT_NE(t.State, TMessageState::PageFull);
        } else {
            t.Flush();
        }
        EXPECT_EQ(t.State, TMessageState::Done);
        EXPECT_EQ(t.PenY, 16);
    }
}

TEST_F(MessageTextTest, PageCheckOffNeverFillsThePage) {
    TMessageText t;
    Page(t, 64, 20);
    t.PageCheck = 0;
    t.AppendText(Sj("あ[n]い[n]う"));
    while (!t.Step(false))
        ASSERT_NE(t.State, TMessageState::PageFull);
    EXPECT_EQ(t.PenY, 32);
}

TEST_F(MessageTextTest, InkedAreaGrowsByExtentPlusTwoWithinTheArea) {
    TMessageText t;
    Page(t, 64, 40);
    EXPECT_TRUE(t.InkEmpty());
    t.AppendText(Sj("[p,4,6]あa"));
    t.Flush();
    EXPECT_EQ(t.InkMinX, 4);
    EXPECT_EQ(t.InkMinY, 6);
    EXPECT_EQ(t.InkMaxX, 4 + 16 + 8 + 2);
    EXPECT_EQ(t.InkMaxY, 6 + 16 + 2);
    t.AppendText(Sj("[p,56,6]。"));  // hangs past the line end: the inked area stops at the edge
    t.Flush();
    EXPECT_EQ(t.InkMaxX, 64);
    t.ClearText();
    EXPECT_TRUE(t.InkEmpty());
}

// ---- Text in and measures

TEST_F(MessageTextTest, TokensAndPrintableText) {
    struct TCase {
        const char* Text;
        size_t Length;  // of the first token
        bool Closed;
        bool Printable;
    };
    const TCase cases[] = {
        {"a", 1, false, true},
        {"\x82\xA0x", 2, false, true},
        {"\x82", 1, false, true},  // a lead byte at the very end stands alone
        {"[c,1]", 5, true, false},
        {"[pc,[c,1]x]y", 11, true, true},
        {"[rb,\x83\x5B\x83\x8D,x]", 11, true, true},  // ゼロ: the trail byte 0x5B opens nothing
        {"[rb,\x83\x5D]", 7, true, true},             // ゾ: the trail byte 0x5D closes nothing
        {"[c,1", 4, false, false},
        {"[[]", 3, false, false},
        {"]", 1, false, true},
    };
    for (const TCase& c : cases) {
        bool closed = false;
        EXPECT_EQ(TMessageText::TokenLength(c.Text, 0, closed), c.Length) << c.Text;
        EXPECT_EQ(closed, c.Closed) << c.Text;
        EXPECT_EQ(TMessageText::HasPrintableText(c.Text), c.Printable) << c.Text;
    }
}

TEST_F(MessageTextTest, LineBreaksInTheTextBecomeNewLineCommands) {
    EXPECT_EQ(TMessageText::CrLfToTags("a\r\nb\rc\r"), "a[n]b[n][n]");
    EXPECT_EQ(TMessageText::CrLfToTags("\x82\x0D"), "\x82\x0D");  // never a trail byte
}

TEST_F(MessageTextTest, WidthsOfRubyAndInsertedText) {
    EXPECT_EQ(TMessageText::StringWidth("", 16, 4), 0);
    EXPECT_EQ(TMessageText::StringWidth("\x82\xA0"
                                        "a",
                                        16, 4),
              16 + 8 + 3 * 4);
    TMessageText t;
    t.SizeW = 16, t.PitchX = 2;
    EXPECT_EQ(t.TextWidth("\x82\xA0[a]"), 18 + 3 * 10);  // brackets count as characters
}

// ---- Clear and replay

TEST_F(MessageTextTest, ClearStartsTheTextWithThePenAndTheStyle) {
    TMessageText t;
    Page(t, 100, 64, 4);
    t.AppendText("[c,$0A123456][s,20,22][pi,1,3][f,2][spd,9][rf,6][rc,$01020304][rpi,1,2][rs,5,6][rp,7,8]x");
    t.Flush();
    t.ClearText();
    EXPECT_EQ(t.MainText,
              "[p,4,3][spd,9][f,2][c,$0a123456][s,20,22][pi,1,3][rf,6][rc,$01020304][rpi,1,2][rs,5,6][rp,7,8]");
    EXPECT_EQ(t.MainPos, static_cast<int32_t>(t.MainText.size()));
    // A colour below 0x10000000 survives: its eight digits read back as they were written.
    EXPECT_EQ(t.Color, 0x0A123456u);
    EXPECT_EQ(t.PenX, 4);
    EXPECT_EQ(t.PenY, 3);
    t.SetVertical(true);
    EXPECT_EQ(t.MainText.substr(0, 8), "[p,75,4]");  // 100 - 22 - 3
}

TEST_F(MessageTextTest, ReplayToTheSavedPositionGivesTheSamePageAndPixels) {
    const std::string text = Encoding::Utf8ToSjis(
        "[c,$FFFF0000]あい[rb,漢字,かんじ]う[s,24,24]え[w,300]お[pc,中]か[n]きくけこさしすせそ[c]たちつ");
    TMessageText original;
    Page(original, 112, 64);
    original.AppendText(text);
    // Stop in the middle: after 9 steps, with a page full or not.
    for (int i = 0; i < 9; ++i) {
        if (original.State == TMessageState::PageFull) original.ScrollLine();
        original.WaitLeft = 0;
        original.Step(false);
    }
    ASSERT_FALSE(original.HasInsertText());
    TMessageText replayed;
    Page(replayed, 112, 64);
    replayed.ReplayText(original.MainText, original.MainPos);
    EXPECT_EQ(replayed.MainPos, original.MainPos);
    EXPECT_EQ(replayed.PenX, original.PenX);
    EXPECT_EQ(replayed.PenY, original.PenY);
    EXPECT_EQ(replayed.Color, original.Color);
    EXPECT_EQ(replayed.SizeW, original.SizeW);
    EXPECT_EQ(Pixels(replayed), Pixels(original));
    // Both type the rest alike.
    TMessageLayoutDump a(original), b(replayed);
    original.Flush();
    replayed.Flush();
    EXPECT_EQ(a.Text(), b.Text());
    EXPECT_EQ(Pixels(replayed), Pixels(original));
}

TEST_F(MessageTextTest, ReplayStopsWithinItsCap) {
    // A page that scrolls on every character: a replay far past its end still returns.
    TMessageText t;
    Page(t, 64, 16);
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "\x82\xA0[n]";
    t.ReplayText(text, 1 << 30);
    EXPECT_EQ(t.MainPos, static_cast<int32_t>(text.size()));
}

TEST_F(MessageTextTest, SavedTextsRoundTripAndOverlongOnesAreReported) {
    TMessageText t;
    t.WarningLog = &Log;
    t.AppendText("abc");
    t.LogCopy = "de";
    TMemoryStream s;
    t.WriteTexts(s);
    s.SetPosition(0);
    std::string main, log;
    ASSERT_TRUE(TMessageText::ReadTexts(s, main, log));
    EXPECT_EQ(main, "abc");
    EXPECT_EQ(log, "de");
    EXPECT_EQ(Log.ErrorList.Count(), 0);
    TMemoryStream shortStream(
        std::string("\x05\x00"
                    "ab",
                    4));
    EXPECT_FALSE(TMessageText::ReadTexts(shortStream, main, log));

    t.AppendText(std::string(70000, 'x'));
    TMemoryStream big;
    t.WriteTexts(big);
    ASSERT_EQ(Log.ErrorList.Count(), 2);  // the main text and the log copy
    EXPECT_EQ(Log.ErrorList[0].rfind("[WARNING]:", 0), 0u);
    EXPECT_FALSE(Log.ErrorFlag);  // a warning does not stop the script
}

// ---- Mended faults

TEST_F(MessageTextTest, TextAreaBoundsAndUnchangedRectangles) {
    TMessageText t;
    t.WarningLog = &Log;
    Page(t, 100, 64);
    t.AppendText(Sj("あ"));
    t.Flush();
    const std::string typed = t.MainText;
    t.SetTextRect(0, 0, 100, 64);  // unchanged: the text stays
    EXPECT_EQ(t.MainText, typed);

    t.SetTextRect(50, 0, 10, 64);  // negative width: an empty area
    EXPECT_TRUE(t.AreaEmpty());
    EXPECT_EQ(t.TextBitmap.Width(), 4);
    EXPECT_TRUE(Glyphs(Play(t, Sj("あい"))).empty());
    EXPECT_EQ(t.State, TMessageState::Done);

    t.SetTextRect(0, 0, 100000, 20);  // too wide: cut to 4096, with a warning
    EXPECT_EQ(t.AreaWidth(), 4096);
    EXPECT_EQ(t.TextBitmap.Width(), 4096);
    EXPECT_EQ(t.TextBitmap.Height(), 20);
    EXPECT_EQ(Log.ErrorList.Count(), 1);
    EXPECT_FALSE(Log.ErrorFlag);
}

TEST_F(MessageTextTest, TypesettingAlwaysFinishes) {
    // Each would once have started new lines or scrolled without end.
    const char* texts[] = {
        "[s,200,16]あいう",             // wider than the line
        "[s,16,200]あいう",             // taller than the page
        "[pi,0,-40]あ[n]い[n]う[n]え",  // lines that step backwards: scrolls of at least a pixel
        "[np,0]あ[np,-100]い",
        "[p,90,0]「「「「",    // opening brackets at the very end of an empty line
        "あ[n,2147483647]い",  // a new line far below the page: one scroll, not one per line
    };
    for (const char* text : texts) {
        for (const bool flush : {true, false}) {
            TMessageText t;
            Page(t, 96, 48, 8);
            t.AppendText(Encoding::Utf8ToSjis(text));
            if (flush) {
                t.Flush();
            } else {
                for (int i = 0; i < 1000 && !t.Step(false); ++i)
                    if (t.State == TMessageState::PageFull) t.ScrollLine();
            }
            EXPECT_EQ(t.State, TMessageState::Done) << text << (flush ? " flushed" : " stepped");
            EXPECT_FALSE(t.HasMainText()) << text;
        }
    }
}

TEST_F(MessageTextTest, APenPagesAwayComesBackToTheLastLineInOneScroll) {
    // Where single scrolls would leave it: the first whole-line step that brings the line inside.
    for (const bool vertical : {false, true}) {
        for (const int32_t step : {1000, 2147483647}) {
            TMessageText t;
            Page(t, 64, 64, 0, vertical);
            t.AppendText(Sj(("あ[n," + std::to_string(step) + "]い").c_str()));
            int32_t pageFulls = 0;
            for (int i = 0; i < 100 && !t.Step(false); ++i)
                if (t.State == TMessageState::PageFull) ++pageFulls, t.ScrollLine();
            ASSERT_EQ(t.State, TMessageState::Done) << step;
            EXPECT_EQ(pageFulls, 1) << step;
            const int64_t line = 16, last = 64 - 16;
            const int64_t start = vertical ? 64 - 16 : 0;  // the first line's pen across the lines
            const int64_t after = vertical ? start - step : start + step;
            const int64_t over = vertical ? -after : after - last;
            const int64_t expected =
                vertical ? after + (over + line - 1) / line * line : after - (over + line - 1) / line * line;
            EXPECT_EQ(vertical ? t.PenX : t.PenY, expected) << step << (vertical ? " vertical" : "");
        }
    }
}

TEST_F(MessageTextTest, RubyFontOutsideTheSlotsDrawsWithFontZero) {
    TMessageText t;
    Page(t, 100, 64);
    t.AppendText(Sj("[pi,0,20][rf,9][rs,16,16][rb,字,じ]"));
    t.Flush();
    EXPECT_EQ(t.RubyFont, 9);
    // The ruby stands at y 12 (20 - 8): some of its row is inked by font 0.
    const std::vector<uint32_t> px = Pixels(t);
    int32_t inked = 0;
    for (int32_t x = 0; x < 100; ++x)
        inked += (px[static_cast<size_t>(13 * 100 + x)] >> 24) != 0;
    EXPECT_GT(inked, 0);
}

TEST_F(MessageTextTest, SizesOfZeroOrLessDrawNothingAndStillFinish) {
    for (const char* text : {"[s,0,16]abc", "[s,-5,-5]abc", "[rs,0,0][s,0,0][rb,ab,cd]"}) {
        TMessageText t;
        Page(t, 64, 32);
        t.AppendText(text);
        t.Flush();
        EXPECT_EQ(t.State, TMessageState::Done) << text;
        for (uint32_t p : Pixels(t))
            ASSERT_EQ(p, 0x00888888u) << text;
    }
}

}  // namespace
