#include <gtest/gtest.h>

#include <string>

#include "foundation/ShiftJis.h"
#include "platform/Encoding.h"

namespace {

TEST(uMiscSJIS, LengthCountsCharacters) {
    struct Case {
        std::string text;
        int32_t length;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 3},
        {"あい"_sj, 2},
        {"aあb"_sj, 3},
        {"a\x82", 2},             // a lone lead byte at the end is a character by itself
        {"\x80\xA0\xB1\xDF", 4},  // 0x80, 0xA0 and half-width kana are one-byte characters
        {"\xFF\x41\xE0\x40", 2},  // 0xE0-0xFF are lead bytes
        {"\x95\x5C\x5C", 2},      // a trail byte of 0x5C is not a backslash
    };
    for (const auto& c : cases)
        EXPECT_EQ(uMisc::SJISLength(c.text), c.length) << testing::PrintToString(c.text);
}

TEST(uMiscSJIS, CopyTakesWholeCharacters) {
    const std::string text = "aあいb"_sj;
    struct Case {
        std::string text;
        int32_t start, count;
        std::string expected;
    };
    const Case cases[] = {
        {text, 2, 2, "あい"_sj},
        {text, 1, 1, "a"},
        {text, 0, 2, "aあ"_sj},  // a start below 1 copies from the
                                 // first character
        {text, -5, 1, "a"},
        {text, 3, 100, "いb"_sj},
        {text, 5, 1, ""},
        {text, 2, 0, ""},
        {text, 2, -1, ""},
        {"a\x82", 2, 1, "\x82"},
        {"", 1, 3, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(uMisc::SJISCopy(c.text, c.start, c.count), c.expected)
            << testing::PrintToString(c.text) << " " << c.start << " " << c.count;
}

TEST(uMiscSJIS, PosFindsOnlyMatchesThatBeginOnACharacterBoundary) {
    struct Case {
        std::string sub, text;
        int32_t pos;
    };
    const Case cases[] = {
        {"b", "aあb"_sj, 3},  {"あ"_sj, "aあb"_sj, 2},
        {"\\", "表\\"_sj, 2},  // 表 ends in the byte 0x5C; the real backslash is character 2
        {"\\", "表"_sj, 0},   {"\x82\xA0", "\x82\x82\xA0", 0},  // the bytes of あ, but starting on a trail byte
        {"", "abc", 0},       {"a", "", 0},
        {"abcd", "abc", 0},   {"c", "abc", 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(uMisc::SJISPos(c.sub, c.text), c.pos)
            << testing::PrintToString(c.sub) << " in " << testing::PrintToString(c.text);
}

// Calls check on each character of a Shift-JIS text.
template <typename F>
void ForEachChar(const std::string& text, F check) {
    for (int32_t k = 1; k <= uMisc::SJISLength(text); ++k)
        check(uMisc::SJISCopy(text, k, 1));
}

TEST(uMiscSJIS, LineBreakingSetsHoldExactlyTheirCharacters) {
    const std::string& endSet = "([{<（「〔［｛〈《『【＜"_sj;
    const std::string& startSet =
        " 　),.>]}、。，＞」〕］｝〉》』】：；:;ゝゞヽヾ々っゃゅょぁぃぅぇぉゎッャュョァィゥェォヮヵヶ・♪♭♯￥＄Σ☆★※！？!?＄～-－－―～"_sj;
    ASSERT_EQ(endSet.size(), 24u);
    ASSERT_EQ(startSet.size(), 132u);
    ForEachChar(endSet, [](const std::string& ch) {
        EXPECT_TRUE(uMisc::IsLineEndForbidden(ch)) << testing::PrintToString(ch);
        EXPECT_FALSE(uMisc::IsLineStartForbidden(ch)) << testing::PrintToString(ch);
    });
    ForEachChar(startSet, [](const std::string& ch) {
        EXPECT_TRUE(uMisc::IsLineStartForbidden(ch)) << testing::PrintToString(ch);
        EXPECT_FALSE(uMisc::IsLineEndForbidden(ch)) << testing::PrintToString(ch);
    });
    // Not members: other characters, pieces of two-byte members, byte pairs across members.
    for (const std::string& ch : {std::string("a"), "あ"_sj, std::string(""), std::string("))"), std::string("\x40"),
                                  std::string("\x41\x81"), std::string("\x81"), "ー"_sj, "。("_sj})
        EXPECT_FALSE(uMisc::IsLineStartForbidden(ch)) << testing::PrintToString(ch);
    for (const std::string& ch :
         {std::string("a"), std::string(")"), std::string("\x69"), std::string("\x81"), "」"_sj})
        EXPECT_FALSE(uMisc::IsLineEndForbidden(ch)) << testing::PrintToString(ch);
}

// The 150 one-byte characters and their two-byte forms, in table order.
const std::string& HalfList() {
    static const std::string s = " abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ" +
                                 "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜｦﾝｧｨｩｪｫｯｬｭｮ"_sj +
                                 "1234567890-^\\!\"#$%&()=~|@[`{;:]+*},./<>?_'";
    return s;
}
const std::string& FullList() {
    static const std::string s =
        "　ａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ"_sj +
        "アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲンァィゥェォッャュョ"_sj +
        "１２３４５６７８９０－＾￥！”＃＄％＆（）＝～｜＠［‘｛；：］＋＊｝、．／＜＞？＿’"_sj;
    return s;
}

TEST(uMiscWidth, TablesMapPositionForPosition) {
    ASSERT_EQ(HalfList().size(), 150u);
    ASSERT_EQ(FullList().size(), 300u);
    EXPECT_EQ(uMisc::ToFullWidth(HalfList()), FullList());
    EXPECT_EQ(uMisc::ToHalfWidth(FullList()), HalfList());
    const std::string& voicedFull = "ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポ"_sj;
    const std::string& voicedHalf = "ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞﾊﾞﾋﾞﾌﾞﾍﾞﾎﾞﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ"_sj;
    EXPECT_EQ(uMisc::ToFullWidth(voicedHalf), voicedFull);
    EXPECT_EQ(uMisc::ToHalfWidth(voicedFull), voicedHalf);
}

TEST(uMiscWidth, OddCharacters) {
    struct Case {
        std::string in, full;
    };
    // Codes that are easy to get wrong, and characters without a full-width form.
    const Case toFull[] = {
        {"\\", "\x81\x8F"},
        {"\"", "\x81\x68"},
        {"`", "\x81\x65"},
        {"'", "\x81\x66"},
        {",", "\x81\x41"},
        {".", "\x81\x44"},
        {"-", "\x81\x7C"},
        {"~", "\x81\x60"},
        {"\xB6\xDE", "ガ"_sj},  // ka + voiced mark
        {"\xB6", "カ"_sj},
        {"\xCA\xDF", "パ"_sj},    // ha + semi-voiced mark
        {"\xB6\xDF", "カ　"_sj},  // ka takes no semi-voiced mark
        {"\xB3\xDE", "ウ　"_sj},  // u takes no voiced mark here
        {"\t", "　"_sj},
        {"\r\n", "　　"_sj},
        {"\xDE", "　"_sj},
        {"\xDF", "　"_sj},
        {"\xA1\xA5\xB0", "　　　"_sj},
        {"\x80\xA0", "　　"_sj},
        {"漢ａ"_sj, "漢ａ"_sj},  // two-byte characters stay
        {"a\x82", "ａ　"_sj},    // a lone lead byte at the end is a one-byte character
    };
    for (const auto& c : toFull)
        EXPECT_EQ(uMisc::ToFullWidth(c.in), c.full) << testing::PrintToString(c.in);

    const Case toHalf[] = {
        {"ガ"_sj, "\xB6\xDE"}, {"ポ"_sj, "\xCE\xDF"},
        {"漢"_sj, " "},        {"あ"_sj, " "},
        {"ー"_sj, " "},        {"。"_sj, " "},
        {"ヴ"_sj, " "},        {"a\xB1\x82", "a\xB1\x82"},  // one-byte characters stay, a lone lead byte too
        {"表ｘ"_sj, " x"},
    };
    for (const auto& c : toHalf)
        EXPECT_EQ(uMisc::ToHalfWidth(c.in), c.full) << testing::PrintToString(c.in);
}

}  // namespace
