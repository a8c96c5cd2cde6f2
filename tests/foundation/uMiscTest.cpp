#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/ShiftJis.h"
#include "foundation/StreamStrings.h"
#include "foundation/uMisc.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"

namespace {

using Items = std::vector<std::string>;

Items ItemsOf(const TStringList& list) {
    return list.Items;
}

// ---- stream strings ----

TEST(uMiscStreamString, RoundTripsAndEmptyIsTwoZeroBytes) {
    TMemoryStream s;
    uMisc::WriteStreamString(&s, "");
    uMisc::WriteStreamString(&s, "abc");
    uMisc::WriteStreamString(nullptr, "ignored");
    EXPECT_EQ(s.AsString(), std::string("\0\0\3\0abc", 7));

    s.SetPosition(0);
    std::string t = "old";
    EXPECT_TRUE(uMisc::ReadStreamString(&s, t));
    EXPECT_EQ(t, "");
    EXPECT_EQ(s.Position(), 2);  // the empty string reads nothing more
    EXPECT_TRUE(uMisc::ReadStreamString(&s, t));
    EXPECT_EQ(t, "abc");

    t = "kept";
    EXPECT_FALSE(uMisc::ReadStreamString(nullptr, t));
    EXPECT_EQ(t, "kept");
}

TEST(uMiscStreamString, LongStringKeepsLow16BitsOfItsLengthAndThatManyBytes) {
    std::string big(65536 + 5, 'x');
    big[0] = 'a';
    TMemoryStream s;
    uMisc::WriteStreamString(&s, big);
    EXPECT_EQ(s.Size(), 2 + 5);
    s.SetPosition(0);
    std::string t;
    EXPECT_TRUE(uMisc::ReadStreamString(&s, t));
    EXPECT_EQ(t, "axxxx");
}

TEST(uMiscStreamString, ShortStreamKeepsTheBytesReadAndSaysSo) {
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {std::string("\x0A\0abcd", 6), "abcd"},  // declares 10, holds 4
        {std::string("\xFF\xFF", 2), ""},        // declares 65535, holds none
        {std::string("\x05", 1), ""},            // half a length
        {"", ""},
    };
    for (const auto& c : cases) {
        TMemoryStream s(c.bytes);
        std::string t = "previous";
        EXPECT_FALSE(uMisc::ReadStreamString(&s, t)) << testing::PrintToString(c.bytes);
        EXPECT_EQ(t, c.expected) << testing::PrintToString(c.bytes);
    }
}

// ---- Shift-JIS ----

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

// ---- line splitter ----

TEST(uMiscSplitString, Cases) {
    struct Case {
        std::string delimiter, text;
        bool strip, comment;
        int32_t minimum;
        Items expected;
    };
    const std::string& ideoComma = "、"_sj;
    const Case cases[] = {
        {",", "a,,b", false, false, 0, {"a", "", "b"}},
        {",", "a,b", false, false, 0, {"a", "b"}},
        {",", "a,b,", false, false, 0, {"a", "b", ""}},
        {",", "", false, false, 0, {}},
        {",", "", false, false, 2, {"", ""}},
        {",", "a", false, false, 3, {"a", "", ""}},
        {",", "a,b,c", false, false, 2, {"a", "b", "c"}},  // never shortened
        {",", ",", false, false, 0, {"", ""}},
        // Brackets and quotes protect delimiters and stay in the items.
        {",", "f(a,b),c", false, false, 0, {"f(a,b)", "c"}},
        {",", "x[{a,b}],\"c,d\",e", false, false, 0, {"x[{a,b}]", "\"c,d\"", "e"}},
        {",", "(a,b],c", false, false, 0, {"(a,b]", "c"}},  // one depth for all bracket kinds
        // A closing bracket first drives the depth below 0 until an opening one evens it.
        {",", ")a,b(,c),d", false, false, 0, {")a,b(", "c),d"}},
        {",", "\"a,b", false, false, 0, {"\"a,b"}},
        // Comments end the line, also inside quotes.
        {",", "a,b//c,d", false, true, 0, {"a", "b"}},
        {",", "\"a//b\",c", false, true, 0, {"\"a"}},
        {",", "a,b//c,d", false, false, 0, {"a", "b//c", "d"}},
        {",", "a/b", false, true, 0, {"a/b"}},
        // Blanks go everywhere; a trailing blank is the last character, so no empty item follows.
        {",", " a , \" b c \" ,\td ", true, false, 0, {"a", "\"bc\"", "d"}},
        {",", "a, ", true, false, 0, {"a"}},
        {",", " a b ", false, false, 0, {" a b "}},
        // CR LF ends an item whatever the depth or quotes; a lone CR or LF is an ordinary byte.
        {",", "a(\r\nb", false, false, 0, {"a(", "b"}},
        {",", "\"a\r\nb,c", false, false, 0, {"\"a", "b,c"}},
        {",", "a\nb\rc,d", false, false, 0, {"a\nb\rc", "d"}},
        {",", "a\r\n", false, false, 0, {"a"}},
        {",", "a,\r\n", false, false, 0, {"a", ""}},
        // Two-byte characters are whole: trail bytes are neither brackets nor delimiters.
        {",", "ー,表"_sj, false, false, 0, {"ー"_sj, "表"_sj}},  // ー ends in 0x5B, 表 in 0x5C
        {"A",
         "\x83\x41"
         "BAC",
         false,
         false,
         0,
         {"\x83\x41"
          "B",
          "C"}},  // ア ends in "A"
        {ideoComma, "あ、い,う、"_sj, false, false, 0, {"あ"_sj, "い,う"_sj, ""}},
        {ideoComma, "x\x81", false, false, 0, {"x\x81"}},  // a lone lead byte is not the delimiter
        {",x", "a,b", false, false, 0, {"a,b"}},           // the second delimiter byte takes part
        {",xyz", "a,xb", false, false, 0, {"a,xb"}},
    };
    for (const auto& c : cases) {
        auto list = uMisc::SplitString(c.delimiter, c.text, c.strip, c.comment, c.minimum);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(ItemsOf(*list), c.expected) << testing::PrintToString(c.text);
    }
}

// ---- hex, hashes, keys, flags ----

TEST(uMiscHex, LowNibbleFirst) {
    EXPECT_EQ(uMisc::HexString("abc", false), "162636");
    EXPECT_EQ(uMisc::HexString("162636", true), "abc");
    EXPECT_EQ(uMisc::StrToHex(std::string("\x3A\x00\xFF", 3)), "A300FF");
    struct Case {
        std::string text, bytes;
    };
    const Case decode[] = {
        {"1", ""},      {"", ""},       {"163", "a"},  // an odd last character is ignored
        {"fF", "\xFF"}, {"Ff", "\xFF"}, {"A3", "\x3A"}, {"zz", std::string(1, '\0')},
        {"g1", "\x10"},  // non-digits count as 0
    };
    for (const auto& c : decode)
        EXPECT_EQ(uMisc::HexToStr(c.text), c.bytes) << c.text;

    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(uMisc::HexToStr(uMisc::StrToHex(all)), all);
}

TEST(uMiscWeightedSum, WeightsWrapAt256AndTheSumAt32Bits) {
    EXPECT_EQ(uMisc::WeightedSum(""), 0);
    EXPECT_EQ(uMisc::WeightedSum("ab"), 97 * 1 + 98 * 2);
    std::string a(255, 'a');
    EXPECT_EQ(uMisc::WeightedSum(a + "z"), uMisc::WeightedSum(a + "y"));        // byte 256 has weight 0
    EXPECT_EQ(uMisc::WeightedSum(a + "zb") - uMisc::WeightedSum(a + "za"), 1);  // byte 257 weight 1

    std::string big(300000, '\xFF');
    uint64_t expected = 0;
    for (size_t i = 1; i <= big.size(); ++i)
        expected += 255u * (i & 255);
    EXPECT_EQ(static_cast<uint32_t>(uMisc::WeightedSum(big)), static_cast<uint32_t>(expected));
}

TEST(uMiscKeys, StrToKey4AndStrToBoolDefAndStrLen) {
    EXPECT_EQ(uMisc::StrToKey4(""), 0);
    EXPECT_EQ(uMisc::StrToKey4("a"), 0x61);
    EXPECT_EQ(uMisc::StrToKey4("abcd"), 0x64636261);
    EXPECT_EQ(uMisc::StrToKey4("abcdef"), 0x64636261);
    EXPECT_EQ(uMisc::StrToKey4("\xE0\x81"), 0x0160);  // high bits dropped

    struct Case {
        std::string text;
        bool whenDefaultFalse, whenDefaultTrue;
    };
    const Case flags[] = {
        {"true", true, true},    {"TRUE", true, true},   {"tRuE", true, true},   {"False", false, false},
        {"FALSE", false, false}, {" TRUE", false, true}, {"TRUE ", false, true}, {"", false, true},
        {"yes", false, true},    {"TRUEX", false, true}, {"1", false, true},     {"FALS", false, true},
    };
    for (const auto& c : flags) {
        EXPECT_EQ(uMisc::StrToBoolDef(c.text, false), c.whenDefaultFalse) << c.text;
        EXPECT_EQ(uMisc::StrToBoolDef(c.text, true), c.whenDefaultTrue) << c.text;
    }

    EXPECT_EQ(uMisc::StrLen("abc\0def"), 3);
    EXPECT_EQ(uMisc::StrLen(""), 0);
    EXPECT_EQ(uMisc::StrLen(nullptr), 0);
}

// ---- colours ----

TEST(uMiscNumbers, OneReadingOfIntegersWithTwoSetsOfHexPrefixes) {
    using uMisc::THexPrefix;
    constexpr auto D = THexPrefix::Dollar, X = THexPrefix::DollarOr0x;
    struct Case {
        const char* text;
        int bits;
        THexPrefix prefixes;
        bool ok;
        int64_t value;
    } cases[] = {
        {"12", 32, D, true, 12},
        {"  -7", 32, D, true, -7},
        {"+5", 32, D, true, 5},
        {"\t7", 32, X, false, 0},  // only spaces lead
        {"1 ", 32, D, false, 0},   // nothing may follow
        {"12abc", 32, X, false, 0},
        {"", 32, D, false, 0},
        {"-", 32, D, false, 0},
        {"$", 32, D, false, 0},
        {"$1f", 32, D, true, 31},
        {"0x10", 32, D, false, 0},  // the configuration files know "$" only
        {"0X10", 32, X, true, 16},
        {"$FFFFFFFF", 32, D, true, -1},  // hexadecimal may use the sign bit
        {"-$1", 32, X, true, -1},
        {"$00000000001", 32, X, true, 1},
        {"$100000000", 32, X, false, 0},
        {"$FFFFFFFF", 64, X, true, 4294967295},
        {"$FFFFFFFFFFFFFFFF", 64, X, true, -1},
        {"2147483647", 32, D, true, 2147483647},
        {"2147483648", 32, D, false, 0},  // decimal must fit the signed range
        {"-2147483648", 32, D, true, INT32_MIN},
        {"-2147483649", 32, D, false, 0},
        {"4294967295", 64, X, true, 4294967295},
        {"9223372036854775807", 64, X, true, INT64_MAX},
        {"-9223372036854775808", 64, X, true, INT64_MIN},
        {"9223372036854775808", 64, X, false, 0},
    };
    for (const auto& c : cases) {
        int64_t v = 99;
        EXPECT_EQ(uMisc::TryStrToInt(c.text, c.bits, c.prefixes, v), c.ok) << c.text << " " << c.bits;
        EXPECT_EQ(v, c.ok ? c.value : 99) << c.text << " " << c.bits;
    }
}

TEST(uMiscColours, ChannelArithmetic) {
    EXPECT_EQ(uMisc::ARGBToPaletteRGB(0xFF112233u), 0x02332211u);
    EXPECT_EQ(uMisc::ARGBToPaletteRGB(0x00000000u), 0x02000000u);

    const uint32_t a = 0xFF00FF10u, b = 0x00FF0080u;
    EXPECT_EQ(uMisc::BlendARGB(a, b, 0), a);
    EXPECT_EQ(uMisc::BlendARGB(a, b, 255), b);
    // 255 * 127 / 255 = 127, 255 * 128 / 255 = 128, (16 * 127 + 128 * 128) / 255 = 72.
    EXPECT_EQ(uMisc::BlendARGB(a, b, 128), 0x7F807F48u);
    EXPECT_EQ(uMisc::BlendARGB(a, b, -40), a);  // weights outside 0..255 never leak across channels
    EXPECT_EQ(uMisc::BlendARGB(a, b, 1000), b);

    EXPECT_EQ(uMisc::MulARGB(0xFFFFFFFFu, 0x12345678u), 0x12345678u);
    EXPECT_EQ(uMisc::MulARGB(0x80808080u, 0x80FF0001u), 0x40800000u);  // 128 * 128 / 255 = 64
    EXPECT_EQ(uMisc::AddARGB(0x01020304u, 0x10203040u), 0x11223344u);
    EXPECT_EQ(uMisc::AddARGB(0xF0F0F0F0u, 0x20102001u), 0xFFFFFFF1u);  // each channel stops at 255
}

// ---- string builder ----

TEST(uMiscStringWriter, CapacityStaysAMultipleOf128AboveTheLength) {
    TStringWriter w;
    EXPECT_EQ(w.Capacity(), 128);
    EXPECT_EQ(w.Length(), 0);
    EXPECT_EQ(w.GetString(), "");
    for (int i = 0; i < 127; ++i)
        w.Append(static_cast<char>('a' + i % 26));
    EXPECT_EQ(w.Capacity(), 128);
    w.Append('!');
    EXPECT_EQ(w.Length(), 128);
    EXPECT_EQ(w.Capacity(), 256);

    TStringWriter s;
    s.Append(std::string(127, 'x'));
    EXPECT_EQ(s.Capacity(), 128);
    s.Append(std::string_view("y"));
    EXPECT_EQ(s.Capacity(), 256);
    s.Append(std::string(300, 'z'));
    EXPECT_EQ(s.Length(), 428);
    EXPECT_EQ(s.Capacity(), 512);
    EXPECT_EQ(s.GetString(), std::string(127, 'x') + "y" + std::string(300, 'z'));

    s.Clear();
    EXPECT_EQ(s.Capacity(), 128);
    EXPECT_EQ(s.GetString(), "");
    s.AppendPChar("ab\0cd");
    s.AppendPChar(nullptr);
    s.Append(std::string_view());
    EXPECT_EQ(s.GetString(), "ab");
}

TEST(uMiscStringWriter, SetCapacity) {
    struct Case {
        int32_t n, capacity;
    };
    const Case cases[] = {{-5, 128}, {0, 128}, {127, 128}, {128, 256}, {300, 384}, {1000, 1024}};
    for (const auto& c : cases) {
        TStringWriter w;
        w.SetCapacity(c.n);
        EXPECT_EQ(w.Capacity(), c.capacity) << c.n;
    }
    // Asking for less than the text needs keeps the text.
    TStringWriter w;
    w.Append(std::string(200, 'q'));
    w.SetCapacity(10);
    EXPECT_EQ(w.Capacity(), 256);
    EXPECT_EQ(w.GetString(), std::string(200, 'q'));
    w.SetCapacity(1000);
    EXPECT_EQ(w.Capacity(), 1024);
    w.Append('r');
    EXPECT_EQ(w.GetString(), std::string(200, 'q') + "r");
}

}  // namespace
