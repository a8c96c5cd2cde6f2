#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/RegexLibrary.h"
#include "script/uBregExpLib.h"

namespace {

// Cases are written in UTF-8 and run in Shift-JIS. The characters chosen have trail bytes that are
// ASCII punctuation: ソ 83 5C and 表 95 5C ("\"), ゼ 83 5B and ー 81 5B ("[").
std::string S(std::string_view utf8) {
    return Encoding::Utf8ToSjis(utf8);
}

std::vector<std::string> SjisList(std::initializer_list<const char*> items) {
    std::vector<std::string> out;
    for (const char* s : items)
        out.push_back(S(s));
    return out;
}

class BRegExpTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Re, nullptr); }
    void TearDown() override {
        Re.reset();
        RegexLibrary::LoadFaults() = {};
        EXPECT_EQ(RegexLibrary::LiveRecords(), 0);
    }
    std::unique_ptr<TScriptRegExp> Re = uBregExpLib::BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
};

TEST_F(BRegExpTest, MatchYieldsWholeMatchThenGroups) {
    struct Case {
        const char* Pattern;
        const char* Text;
        std::initializer_list<const char*> Expected;
    };
    const Case cases[] = {
        {"m/b(c)(x)?(d)/", "abcde", {"bcd", "c", "", "d"}},  // a group that took no part is empty
        {"/a(.)c/", "xabcx", {"abc", "b"}},
        {"m/z/", "abc", {}},
        {"m/ABC/i", "xabc", {"abc"}},
        {"m#a/b#", "a/b", {"a/b"}},
        {"m/a\\/b/", "a/b", {"a/b"}},
        {"m/^b$/m", "a\nb\nc", {"b"}},
        {"m/a.b/s", "a\nb", {"a\nb"}},
        {"m/a b # comment\n/x", "xab", {"ab"}},
        {"m/(/", "(", {}},     // a bad expression holds nothing
        {"m/a/q", "a", {}},    // an unknown option as well
        {"abc", "abc", {}},    // not a match form
        {"m/abc", "abc", {}},  // no closing delimiter
        {"m/表(示)/", "図表示", {"表示", "示"}},
        {"m/ソ+/", "アソソa", {"ソソ"}},  // the trail byte of ソ is no escape
        {"m/[表]/", "代表", {"表"}},
        {"m/./", "ソ", {"ソ"}},     // a character, not a byte
        {"m/\\\\/", "ソ表能", {}},  // no backslash in there, only trail bytes
        {"m/\\\\/", "ソ\\", {"\\"}},
        {"m/\\[/", "ゼー", {}},
        {"m/\\[/", "ゼ[", {"["}},
        {"m/ー+/", "スーーパ", {"ーー"}},
        {"m/(.)ー/", "パスーパ", {"スー", "ス"}},
        {"m/[ァ-ヶ]+/", "あゼソーa", {"ゼソ"}},
        {"m/ＡＢ/i", "ａｂ", {"ａｂ"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Pattern);
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(Re->Match(S(c.Pattern), S(c.Text)), SjisList(c.Expected));
    }
}

TEST_F(BRegExpTest, SubstituteReplacesOnceOrEverywhere) {
    struct Case {
        const char* Pattern;
        const char* Text;
        const char* Expected;
    };
    const Case cases[] = {
        {"s/b/X/", "abcb", "aXcb"},
        {"s/b/X/g", "abcb", "aXcX"},
        {"s/(a)(b)/$2$1/g", "abab", "baba"},
        {"s/(\\w+)/<${1}>/", "hi there", "<hi> there"},
        {"s/(a)/\\1\\1/", "a", "aa"},
        {"s/a/$&$&/g", "ab", "aab"},
        {"s/a/$9/", "abc", "bc"},  // a group the pattern does not have is empty
        {"s/a/\\//g", "aa", "//"},
        {"s/a/\\$1\\n/", "a", "$1\n"},
        {"s/x*/-/g", "abc", "-a-b-c-"},
        {"s/b*/-/g", "abc", "-a--c-"},
        {"s/B/x/ig", "bB", "xx"},
        {"s/z/X/", "abc", "abc"},  // no match: no success, the text as it was
        {"s/a/b", "abc", "abc"},   // malformed
        {"s/(/x/", "(", "("},      // bad expression
        {"s/表/ソ/g", "表示表", "ソ示ソ"},
        {"s/ソ/x/g", "ソ\\ソ", "x\\x"},
        {"s/\\\\/表/g", "ソ\\表", "ソ表表"},
        {"s/ー/-/g", "スーパー", "ス-パ-"},
        {"s/(ス)ー/$1ゼ[/", "スーパー", "スゼ[パー"},
        {"s/\\[/ゼ/g", "ゼ[ー[", "ゼゼーゼ"},
        {"s/(.)(.)/$2$1/g", "表ソゼー", "ソ表ーゼ"},
        {"s/ソ/\\ソ/", "ソ", "ソ"},  // an escaped two-byte character stands as it is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Pattern);
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(Re->Substitute(S(c.Pattern), S(c.Text)), S(c.Expected));
    }
}

TEST_F(BRegExpTest, TranslateMapsCharacters) {
    struct Case {
        const char* Pattern;
        const char* Text;
        const char* Expected;
    };
    const Case cases[] = {
        {"tr/a-c/A-C/", "abcd", "ABCd"},
        {"y/ab/ba/", "abba", "baab"},
        {"tr/a-z/*/", "ab1", "**1"},  // a shorter list repeats its last character
        {"tr/abc//d", "aXbYc", "XY"},
        {"tr/a//", "aa", "aa"},
        {"tr/a/b/s", "aaxa", "bxb"},
        {"tr/-a/+b/", "-a", "+b"},
        {"tr/a\\-c/xyz/", "a-bc", "xybz"},
        {"tr/\\n/ /", "a\nb", "a b"},
        {"tr/c-a/x/", "abc", "abc"},  // a backward range is an error
        {"tr/a/b/q", "a", "a"},
        {"tr/表ソ/ソ表/", "表ソ表", "ソ表ソ"},
        {"tr/ａ-ｃ/a-c/", "ａｂｃｄ", "abcｄ"},
        {"tr/\\\\/x/", "ソ\\表", "ソx表"},
        {"tr/[/x/", "ゼ[ー", "ゼxー"},
        {"tr/ー//d", "スーパー", "スパ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Pattern);
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(Re->Translate(S(c.Pattern), S(c.Text)), S(c.Expected));
    }
}

TEST_F(BRegExpTest, SplitCutsAtMatches) {
    struct Case {
        const char* Pattern;
        const char* Text;
        int32_t Limit;
        std::initializer_list<const char*> Expected;
    };
    const Case cases[] = {
        {"m/,/", "a,b,,c", 32, {"a", "b", "", "c"}},
        {"/,/", "a,b,", 32, {"a", "b", ""}},
        {"/,/", "a,b,,", 0, {"a", "b"}},  // limit 0 drops empty pieces at the end
        {"/,/", "a,b,,", -1, {"a", "b", "", ""}},
        {"/,/", "a,b,c", 2, {"a", "b,c"}},
        {"/,/", "a,b", 1, {"a,b"}},
        {"m/,/", ",a", 32, {"", "a"}},
        {"m//", "abc", 32, {"a", "b", "c", ""}},
        {"m//", "abc", 0, {"a", "b", "c"}},
        {"m/b*/", "abc", 0, {"a", "c"}},
        {"m/\\s+/", "x  y z", 32, {"x", "y", "z"}},
        {"m/x/", "", 32, {}},
        {"m/(/", "a(b", 32, {}},
        {"m/ソ/", "表ソ表", 32, {"表", "表"}},
        {"m/\\\\/", "ソ\\表", 32, {"ソ", "表"}},
        {"m/\\[/", "ゼ[ー", 32, {"ゼ", "ー"}},
        {"m/ー/", "スーパ", 32, {"ス", "パ"}},
        {"m//", "表ソ", 0, {"表", "ソ"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Pattern);
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(Re->Split(S(c.Pattern), S(c.Text), c.Limit), SjisList(c.Expected));
    }
}

// Bytes without a character behind them go through untouched, and match only themselves.
TEST_F(BRegExpTest, BytesOutsideTheCharacterSetKeepTheirValue) {
    // 81 61 is one character (lead byte and trail "a"), so only the second "a" is replaced.
    EXPECT_EQ(Re->Substitute("s/a/b/g",
                             "\x81"
                             "aa"),
              "\x81"
              "ab");
    EXPECT_EQ(Re->Substitute("s/x/z/", "\xA0x\x80y"), "\xA0z\x80y");
    EXPECT_EQ(Re->Substitute("s/\xA0/Q/g", "\xA0\x80\xA0"), "Q\x80Q");
    EXPECT_EQ(Re->Substitute("s/./-/g", "\x85\x40\x80"), "--");
    EXPECT_EQ(Re->Substitute("s/a/b/", std::string("a\0a", 3)), std::string("b\0a", 3));
    // A lead byte at the very end stands alone.
    EXPECT_EQ(Re->Split("m/,/", "a,\x83", 32), (std::vector<std::string>{"a", "\x83"}));
}

TEST_F(BRegExpTest, HeldRecordIsReusedOrReleased) {
    TBRegExp& re = Re->Matcher;
    static int frees = 0;
    frees = 0;
    re.DLL->BRegfree = [](RegexLibrary::TRegexRecord* r) {
        ++frees;
        RegexLibrary::Free(r);
    };
    ASSERT_TRUE(re.Match("m/ab/", "xab"));
    const RegexLibrary::TRegexRecord* first = re.Record();
    int compiles = RegexLibrary::CompileCount();

    ASSERT_TRUE(re.Match("m/ab/", "abab"));  // the same pattern: passed again, not compiled again
    EXPECT_EQ(frees, 0);
    EXPECT_EQ(re.Record(), first);
    EXPECT_EQ(RegexLibrary::CompileCount(), compiles);

    // A longer pattern that begins with the held one keeps the record, but is compiled anew.
    EXPECT_TRUE(re.Match("m/ab/i", "AB"));
    EXPECT_EQ(frees, 0);
    EXPECT_EQ(RegexLibrary::CompileCount(), compiles + 1);
    EXPECT_EQ(std::string(re.Record()->ParaP), "m/ab/i");

    // One that differs within the held pattern's length releases it first.
    EXPECT_TRUE(re.Match("m/ac/", "ac"));
    EXPECT_EQ(frees, 1);
    EXPECT_EQ(RegexLibrary::LiveRecords(), 1);
}

TEST_F(BRegExpTest, HeldStringsFollowTheLastCall) {
    TBRegExp& re = Re->Matcher;
    EXPECT_THROW(re.Strings(0), EBRegExpError);  // nothing held yet

    ASSERT_TRUE(re.Match("m/(a)(b)?/", "xa"));
    EXPECT_EQ(re.Mode(), 1);
    EXPECT_EQ(re.Count(), 3);
    EXPECT_EQ(re.Strings(1), "a");
    EXPECT_THROW(re.Strings(3), EBRegExpError);
    EXPECT_THROW(re.Strings(-1), EBRegExpError);

    EXPECT_FALSE(re.Match("m/(a)(b)?/", "xyz"));
    EXPECT_EQ(re.Mode(), 0);
    EXPECT_EQ(re.Count(), 0);
    EXPECT_THROW(re.Strings(0), EBRegExpError);

    // After a substitution the groups are those of its last match.
    ASSERT_TRUE(re.Subst("s/(\\d)/<$1>/g", "1a2"));
    EXPECT_EQ(re.Output(), "<1>a<2>");
    EXPECT_EQ(re.Count(), 2);
    EXPECT_EQ(re.Strings(1), "2");

    ASSERT_TRUE(re.Split("m/,/", "p,q", 32));
    EXPECT_EQ(re.Mode(), 2);
    EXPECT_EQ(re.Count(), 2);
    EXPECT_EQ(re.Strings(1), "q");
}

// Runaway backtracking stops at the library's limits and counts as no match.
TEST_F(BRegExpTest, RunawayPatternsEndAsNoMatch) {
    const std::string text = std::string(40, 'a') + "!";
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Re->Match("m/(a|aa)+$/", text).empty());
    EXPECT_TRUE(Re->Match("m/^(\\w+\\s?)*$/", text).empty());
    EXPECT_EQ(Re->Substitute("s/(a|aa)+$/x/g", text), text);
    EXPECT_EQ(Re->Split("m/(a|aa)+$/", text, 32), std::vector<std::string>{text});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(BRegExpBinding, LoadFailuresLeaveNothingBound) {
    using namespace uBregExpLib;
    RegexLibrary::LoadFaults().FailLoad = true;
    EXPECT_EQ(BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll"), nullptr);
    RegexLibrary::LoadFaults() = {};

    for (const char* name : {"BMatch", "BSplit", "BRegfree", "BRegexpVersion"}) {
        SCOPED_TRACE(name);
        RegexLibrary::LoadFaults().MissingExport = name;
        EXPECT_EQ(BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll"), nullptr);
    }
    RegexLibrary::LoadFaults() = {};

    // A matcher holding a record gives it back to its library when it goes; a second binding
    // beside it keeps records of its own.
    std::unique_ptr<TScriptRegExp> first = BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
    std::unique_ptr<TScriptRegExp> second = BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(first->Matcher.DLL->ModuleFileName.empty());
    EXPECT_EQ(first->Substitute("s/a/b/", "a"), "b");
    EXPECT_EQ(second->Translate("tr/a/b/", "a"), "b");
    EXPECT_EQ(RegexLibrary::LiveRecords(), 2);
    first.reset();
    EXPECT_EQ(RegexLibrary::LiveRecords(), 1);
    EXPECT_EQ(second->Match("m/(b)/", "ab"), (std::vector<std::string>{"b", "b"}));
    second.reset();
    EXPECT_EQ(RegexLibrary::LiveRecords(), 0);
}

}  // namespace
