#include <gtest/gtest.h>

#include <string>

#include "platform/Encoding.h"

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(EncodingTest, SjisLiteralIsConvertedOnceToCodePage932) {
    const std::string& heading = "■スクリプトエラー"_sj;
    EXPECT_EQ(heading, "\x81\xA1\x83\x58\x83\x4E\x83\x8A\x83\x76\x83\x67\x83\x47\x83\x89\x81\x5B");
    EXPECT_EQ(&heading, &"■スクリプトエラー"_sj);  // one converted string per literal
    EXPECT_EQ("ascii \\ ~"_sj, "ascii \\ ~");
    EXPECT_EQ(""_sj, "");
    // Code page 932 forms of the characters that differ between Shift-JIS tables.
    EXPECT_EQ("～－￥―∥￢"_sj, "\x81\x60\x81\x7C\x81\x8F\x81\x5C\x81\x61\x81\xCA");
    EXPECT_EQ("ｱﾞﾟ"_sj, "\xB1\xDE\xDF");
    EXPECT_EQ("①Ⅰ髙"_sj, "\x87\x40\x87\x54\xFB\xFC");  // NEC and IBM extensions
}

TEST(EncodingTest, RoundTripsText) {
    const std::string samples[] = {
        "",
        "plain ASCII, with \\ and ~ and \x7F",
        std::string("nul\0inside", 10),
        "日本語のテキスト、「括弧」と全角ＡＢＣ１２３！",
        "ｶﾀｶﾅ ﾊﾝｶｸ",
        "①②Ⅲ㈱髙﨑",
    };
    for (const auto& utf8 : samples) {
        std::string sjis = Encoding::Utf8ToSjis(utf8);
        EXPECT_EQ(Encoding::SjisToUtf8(sjis), utf8) << utf8;
    }
    // Every single byte that is a character by itself: ASCII and half-width katakana.
    for (int b = 0; b < 256; ++b) {
        if (b >= 0x80 && !(b >= 0xA1 && b <= 0xDF)) continue;
        std::string one(1, static_cast<char>(b));
        std::string utf8 = Encoding::SjisToUtf8(one);
        EXPECT_EQ(utf8.find(kReplacement), std::string::npos) << b;
        EXPECT_EQ(Encoding::Utf8ToSjis(utf8), one) << b;
    }
    // Every two-byte code converts to one character or one replacement, and what converts reads
    // back to the same character (some duplicates of the extensions come back as their twin).
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            std::string utf8 = Encoding::SjisToUtf8(code);
            ASSERT_FALSE(utf8.empty()) << lead << " " << trail;
            if (utf8 == kReplacement) continue;
            EXPECT_EQ(Encoding::SjisToUtf8(Encoding::Utf8ToSjis(utf8)), utf8) << lead << " " << trail;
        }
    }
}

TEST(EncodingTest, BadBytesBecomeReplacementsAndLoseNothingElse) {
    struct Case {
        std::string in, out;
    };
    const Case fromSjis[] = {
        {"a\x80"
         "b",
         "a" + kReplacement + "b"},
        {"\xA0", kReplacement},
        {"a\x82", "a" + kReplacement},      // a lead byte at the end
        {"\x85\x40z", kReplacement + "z"},  // an unassigned code is one character
        {"\x81\"x", kReplacement + "\"x"},  // a byte below 0x40 is not a trail byte
        {"\x81\r\nx", kReplacement + "\r\nx"},
        {"\x81,\x82\xA0", kReplacement + "," + "あ"},
        {"\xFD\xFE\xFF", kReplacement + kReplacement + kReplacement},
    };
    for (const auto& c : fromSjis)
        EXPECT_EQ(Encoding::SjisToUtf8(c.in), c.out) << testing::PrintToString(c.in);

    const Case toSjis[] = {
        {"a\xF0\x9F\x98\x80"
         "b",
         "a?b"},  // no such character in code page 932
        {"\xC3"
         "c",
         "?c"},  // a lead byte without its continuation
        {"\x80"
         "d",
         "?d"},               // a lone continuation byte
        {"e\xE3\x81", "e?"},  // cut short at the end
        {"\xEF\xBF\xBD", "?"},
        {"x\xFFy\xFEz", "x?y?z"},
    };
    for (const auto& c : toSjis)
        EXPECT_EQ(Encoding::Utf8ToSjis(c.in), c.out) << testing::PrintToString(c.in);

    // Long texts convert in pieces; nothing is lost at the seams.
    std::string longUtf8;
    for (int i = 0; i < 3000; ++i)
        longUtf8 += (i % 7 == 0) ? "\xF0\x9F\x98\x80" : "あa";
    std::string sjis = Encoding::Utf8ToSjis(longUtf8);
    std::string expected;
    for (int i = 0; i < 3000; ++i)
        expected += (i % 7 == 0) ? std::string("?")
                                 : std::string(
                                       "\x82\xA0"
                                       "a");
    EXPECT_EQ(sjis, expected);
}

TEST(EncodingTest, StrictConversionRefusesWhatHasNoExactForm) {
    struct {
        const char* Utf8;
        bool Converts;
    } cases[] = {
        {"", true},
        {"gamedata\\日本語\\名前.txt", true},
        {"～ｶ①", true},
        {"é", false},                 // no such character in code page 932
        {"\xF0\x9F\x98\x80", false},  // nor outside the basic plane
        {"a\xE3\x81", false},         // cut short
        {"\xFF", false},              // no UTF-8
        {"a\xC2\xA5"
         "b",
         false},                  // the yen sign would read back as a backslash
        {"\xE3\x80\x9C", false},  // the wave dash would read back as the full-width tilde
    };
    for (const auto& c : cases) {
        std::string out = "unchanged";
        EXPECT_EQ(Encoding::Utf8ToSjisStrict(c.Utf8, out), c.Converts) << testing::PrintToString(c.Utf8);
        if (c.Converts)
            EXPECT_EQ(out, Encoding::Utf8ToSjis(c.Utf8));
        else
            EXPECT_EQ(out, "unchanged");
    }
}

TEST(EncodingTest, PrintableTextEscapesControlsAndBrokenBytes) {
    const std::pair<const char*, const char*> cases[] = {
        {"plain テキスト\\path", "plain テキスト\\path"},
        {"a\x1B[2Jb\r\n\t", "a\\x1B[2Jb\\x0D\\x0A\\x09"},
        {"\x7F\xC2\x9B\xC2\xA0", "\\x7F\\u009B\xC2\xA0"},  // DEL and C1 escaped, no-break space kept
        {"\xFFx\xE3\x81", "\\xFFx\\xE3\\x81"},
        {"\xED\xA0\x80\xC0\xAF", "\\xED\\xA0\\x80\\xC0\\xAF"},  // a surrogate, an overlong form
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(Encoding::PrintableUtf8(in), out) << testing::PrintToString(in);
}

TEST(EncodingTest, UnconvertedUtf8TextIsToldFromShiftJisAndAscii) {
    const std::pair<std::string, bool> cases[] = {
        {"plain ASCII\r\n", false},
        {"", false},
        {"\\t,{こんにちは}", true},
        {"caf\xC3\xA9", true},
        {"\xF0\x9F\x8E\xB5", true},  // four bytes
        {Encoding::Utf8ToSjis("\\t,{こんにちは}"), false},
        {Encoding::Utf8ToSjis("ｱｲｳ"), false},  // half-width kana, one byte each
        {"\xE3\x81\x82\xE3\x81", false},       // cut off in its last character
        {"\xED\xA0\x80", false},               // a surrogate
        {"\xC0\xAF", false},                   // an overlong form
    };
    for (const auto& [text, utf8] : cases)
        EXPECT_EQ(Encoding::IsNonAsciiUtf8(text), utf8) << testing::PrintToString(text);
}

}  // namespace
