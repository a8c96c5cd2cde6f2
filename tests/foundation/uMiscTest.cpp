#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/uMisc.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"

namespace {

using Items = std::vector<std::string>;

Items ItemsOf(const TStringList& list) {
    return list.Items;
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
