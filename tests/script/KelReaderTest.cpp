#include <gtest/gtest.h>

#include <map>
#include <random>

#include "platform/Encoding.h"
#include "script/KelReaderLib.h"
#include "tests/support/ScriptHarness.h"

namespace {

std::string Sj(const std::string& utf8) {
    return Encoding::Utf8ToSjis(utf8);
}

class KelReaderTest : public ::testing::Test {
protected:
    KelReaderTest() {
        Reader.Log = &H.Context.Log;
        Reader.Packs = &H.Context.Packs;
    }
    std::vector<std::string> Lines() const {
        return Reader.Lines() ? Reader.Lines()->Items : std::vector<std::string>{};
    }

    TScriptHarness H;  // serves the files and holds the error log
    TKelReader Reader;
};

TEST_F(KelReaderTest, IncludesMergeInPlaceAndOnceOnlyLoadsOnce) {
    H.AddFile("main.s", "a\r\n@@@sub.s\r\nb\r\n@@@sub.s\r\n@@@!once.s\r\n  @@@!ONCE.S\r\nc");
    H.AddFile("sub.s", "s1\r\ns2");
    H.AddFile("once.s", "o");
    ASSERT_TRUE(Reader.LoadScript("main.s", false));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"a", "s1", "s2", "b", "s1", "s2", "o", "c"}));
    EXPECT_TRUE(H.Errors().empty());
    EXPECT_EQ(Reader.GetFileName(), "main.s");
    // Without force the same name (any case) is not read again.
    H.AddFile("main.s", "changed");
    EXPECT_TRUE(Reader.LoadScript("MAIN.S", false));
    EXPECT_EQ(Lines().size(), 8u);
}

TEST_F(KelReaderTest, IncludeFaultsAreReportedInTheirOwnWords) {
    struct Case {
        std::map<std::string, std::string> files;
        bool ok;
        std::vector<std::string> errors;
    };
    const std::vector<Case> cases = {
        {{{"main.s", "x\r\n@@@main.s\r\ny"}},
         true,
         {"[ERROR]:ScriptLoad:自分のファイルをインクルードしようとしました:main.s"}},
        {{{"main.s", "x\r\n@@@nope.s\r\ny"}}, true, {"[ERROR]:ScriptLoad:指定されたファイルが見つかりません:nope.s"}},
        {{},
         false,
         {"[ERROR]:ScriptLoad:指定されたファイルが見つかりません:main.s",
          "[ERROR]:ScriptLoad:ファイル読み込みに失敗しました。"}},
        {{{"main.s", "@@@a.s"}, {"a.s", "@@@b.s"}, {"b.s", "@@@a.s"}},
         true,
         {"[ERROR]:ScriptLoad:インクルードファイルの無限循環エラーです。"}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        TScriptHarness h;
        for (const auto& [name, text] : cases[i].files)
            h.AddFile(name, text);
        TKelReader r;
        r.Log = &h.Context.Log;
        r.Packs = &h.Context.Packs;
        EXPECT_EQ(r.LoadScript("main.s", true), cases[i].ok);
        EXPECT_EQ(h.Errors(), cases[i].errors);
        EXPECT_TRUE(h.Context.Log.ErrorFlag);
    }
}

TEST_F(KelReaderTest, FailedLoadKeepsThePreviousFileName) {
    H.AddFile("main.s", "x");
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    EXPECT_FALSE(Reader.LoadScript("gone.s", true));
    EXPECT_EQ(Reader.GetFileName(), "main.s");
}

TEST_F(KelReaderTest, LineCommentsRespectQuotesAndBraces) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"\\msg,1 // note", "\\msg,1 "},
        {"\\msg,\"a//b\" //c", "\\msg,\"a//b\" "},
        {"\\msg,{a//b} //c", "\\msg,{a//b} "},
        {"}}\\x // c", "}}\\x "},  // the depth never goes below 0
        {"a\tb\t", "ab"},
        {"//all", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TKelReader::StripLineComment(c.in), c.out) << c.in;
    // A trail byte that looks like a slash or a quote is no comment and no quote.
    std::string sj = Sj("表") + "//x";  // 0x95 0x5C
    EXPECT_EQ(TKelReader::StripLineComment(sj), Sj("表"));
    // A text that ends in a lead byte is copied without reading past it.
    EXPECT_EQ(TKelReader::StripLineComment(std::string("ab\x81", 3)), std::string("ab\x81", 3));
}

TEST_F(KelReaderTest, BlockCommentsSpanLinesButNotFiles) {
    bool in = false;
    EXPECT_EQ(TKelReader::StripBlockComment("/* c */word", in), "word");
    EXPECT_EQ(TKelReader::StripBlockComment("a*/b", in), "ab");  // a stray closer is dropped
    EXPECT_EQ(TKelReader::StripBlockComment("x/*y", in), "x");
    EXPECT_TRUE(in);
    EXPECT_EQ(TKelReader::StripBlockComment("still", in), "");
    EXPECT_EQ(TKelReader::StripBlockComment("*/z", in), "z");
    // Quotes do not protect a block comment.
    in = false;
    EXPECT_EQ(TKelReader::StripBlockComment("\"/*\"x*/y", in), "\"y");

    H.AddFile("main.s", "a\r\n@@@sub.s\r\nb");
    H.AddFile("sub.s", "s /* open");
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"a", "s ", "b"}));
}

TEST_F(KelReaderTest, LabelsFirstWinsWithoutRegardToCase) {
    H.AddFile("main.s", "x\r\n@@Top\r\n\\a\r\n@@!top\r\n\\b\r\n@@@sub.s\r\n@@TOP\r\n\\c");
    H.AddFile("sub.s", "// head\r\n@@sub");
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    ASSERT_EQ(Reader.Labels().size(), 4u);
    EXPECT_EQ(Reader.IndexOfLabel("@@TOP"), 0);
    EXPECT_EQ(Reader.IndexOfLabel("@@!Top"), 1);
    EXPECT_EQ(Reader.IndexOfLabel("top"), -1);
    EXPECT_EQ(Reader.Labels()[1].NoTrace, 1);
    EXPECT_EQ(Reader.GetLabelFile("@@sub"), "sub.s");
    EXPECT_EQ(Reader.Labels()[2].LineInFile, 1);
    EXPECT_EQ(Reader.Labels()[2].LineIndex, 6);  // the comment line stays, emptied

    ASSERT_TRUE(Reader.JumpLabel("@@top", 1, 0));
    EXPECT_EQ(Reader.CurrentLine(), "\\a");
    EXPECT_EQ(Reader.GetLabelName(), "@@top");
    EXPECT_EQ(Reader.GetLineInLabel(), 1);
    EXPECT_EQ(Encoding::SjisToUtf8(Reader.GetPositionText()), "main.s @@top(3行,0桁)");
    EXPECT_FALSE(Reader.JumpLabel("@@none", 0, 0));
    EXPECT_EQ(Reader.CurrentLine(), "\\a");  // unchanged
    EXPECT_EQ(Reader.FormatPosition(-1, 0, 0), "EOF");
}

TEST_F(KelReaderTest, LabelLookUpAmongManyLabelsFindsTheFirstOfEachText) {
    // 12,000 labels, every tenth written twice in another letter case, some with two-byte
    // characters whose trail byte is an upper-case letter (kept as it is).
    std::string script;
    for (int k = 0; k < 12000; ++k) {
        const std::string name = "@@L" + std::to_string(k) +
                                 (k % 7 == 0 ? Sj("ア") +
                                                   "\x83"
                                                   "A"
                                             : "");
        script += name + "\r\n\\x\r\n";
        if (k % 10 == 0) script += "@@l" + name.substr(3) + "\r\n";
    }
    H.AddFile("many.s", script);
    ASSERT_TRUE(Reader.LoadScript("many.s", true));
    const auto& labels = Reader.Labels();
    ASSERT_EQ(labels.size(), 13200u);
    auto linear = [&](const std::string& text) {
        const std::string lower = ClassLib::LowerAscii(text);
        for (size_t i = 0; i < labels.size(); ++i)
            if (labels[i].Text == lower) return static_cast<int32_t>(i);
        return -1;
    };
    for (int k = 0; k < 12000; k += 53) {
        const std::string name = "@@L" + std::to_string(k) +
                                 (k % 7 == 0 ? Sj("ア") +
                                                   "\x83"
                                                   "A"
                                             : "");
        for (const std::string& asked : {name, ClassLib::LowerAscii(name), "@@L" + std::to_string(k) + "x"}) {
            SCOPED_TRACE(asked);
            EXPECT_EQ(Reader.IndexOfLabel(asked), linear(asked));
        }
    }
    // A trail byte is never lower-cased, so a label spelt with a lower-case trail byte is another.
    EXPECT_EQ(Reader.IndexOfLabel("@@L7" + Sj("ア") +
                                  "\x83"
                                  "a"),
              -1);
    ASSERT_TRUE(Reader.JumpLabel("@@l11990", 1, 0));
    EXPECT_EQ(Reader.CurrentLine(), "\\x");
    EXPECT_EQ(Reader.GetLabelName(), "@@l11990");

    // Loading another script replaces the labels it finds.
    H.AddFile("few.s", "@@L5\r\n\\y");
    ASSERT_TRUE(Reader.LoadScript("few.s", true));
    EXPECT_EQ(Reader.IndexOfLabel("@@L5"), 0);
    EXPECT_EQ(Reader.IndexOfLabel("@@L6"), -1);
}

TEST_F(KelReaderTest, StatementsAreCutAtBackslashesOutsideQuotesAndBraces) {
    struct Case {
        std::string line;
        std::vector<std::string> statements;
    };
    const std::vector<Case> cases = {
        {"\\a,1 \\b,\"x\\y\"", {"\\a,1", "\\b,\"x\\y\""}},
        {"\\a,1 \\b,{x\\y}", {"\\a,1", "\\b,{x\\y}"}},
        {"\\a} \\b \\c", {"\\a} \\b \\c"}},  // depth -1 splits no more
        {"\\a,表\\b", {"\\a,表", "\\b"}},    // a trail byte 0x5C is no backslash
        {"text \\a \\b", {"text \\a", "\\b"}},
        {"@@lab", {"@@lab"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        H.AddFile("main.s", c.line);
        TKelReader r;
        r.Packs = &H.Context.Packs;
        ASSERT_TRUE(r.LoadScript("main.s", true));
        std::vector<std::string> got;
        for (std::string s = r.GetStatement(); !s.empty(); s = r.GetStatement())
            got.push_back(Encoding::SjisToUtf8(s));
        EXPECT_EQ(got, c.statements);
    }
}

// On random lines of plain bytes, marks, two-byte characters (one with a backslash as its trail
// byte) and blanks, the statement cutter cuts as the rule does byte by byte.
TEST_F(KelReaderTest, StatementCuttingMatchesTheByteRuleOnRandomLines) {
    const std::string pieces[] = {"a", "b", "x,", " ", "\\", "\"", "{", "}", Sj("ア"), Sj("ソ"), "12345678", "@"};
    std::mt19937 rng(11);
    std::string file;
    std::vector<std::string> expected;
    for (int n = 0; n < 400; ++n) {
        std::string line;
        const int count = static_cast<int>(rng() % 24);
        for (int k = 0; k < count; ++k)
            line += pieces[rng() % std::size(pieces)];
        file += line + "\r\n";
        if (line.empty()) {
            expected.push_back("");
            continue;
        }
        // The rule: from the column, a lead byte takes the next byte with it; braces count
        // depth; at depth 0 quotes toggle; at depth 0 outside quotes the second backslash stops.
        size_t column = 0;
        while (column < line.size()) {
            size_t i = column;
            int depth = 0, backslashes = 0;
            bool quoted = false, stopped = false;
            while (i < line.size()) {
                const auto b = static_cast<uint8_t>(line[i]);
                if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
                    i += 2;
                    continue;
                }
                if (b == '{')
                    ++depth;
                else if (b == '}')
                    --depth;
                else if (depth == 0 && b == '"')
                    quoted = !quoted;
                else if (depth == 0 && !quoted && b == '\\' && ++backslashes == 2) {
                    stopped = true;
                    break;
                }
                ++i;
            }
            const size_t end = stopped ? i : line.size();
            std::string statement = line.substr(column, end - column);
            while (!statement.empty() && static_cast<uint8_t>(statement.back()) <= 32)
                statement.pop_back();
            while (!statement.empty() && static_cast<uint8_t>(statement.front()) <= 32)
                statement.erase(0, 1);
            expected.push_back(statement);
            column = i;
        }
    }
    H.AddRawFile("cut.s", file);
    ASSERT_TRUE(Reader.LoadScript("cut.s", true));
    for (size_t k = 0; k < expected.size(); ++k)
        ASSERT_EQ(Reader.GetStatement(), expected[k]) << k;
}

TEST_F(KelReaderTest, StatementScanStopsAtALineEndingInALeadByte) {
    H.AddRawFile("main.s", std::string("\\a \\b\x81", 6));
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    EXPECT_EQ(Reader.GetStatement(), "\\a");
    EXPECT_EQ(Reader.GetStatement(), std::string("\\b\x81", 3));
    EXPECT_EQ(Reader.GetColumn(), 7);  // one past the end
    EXPECT_EQ(Reader.GetStatement(), "");
}

TEST_F(KelReaderTest, LabelStatementBecomesCurrentAndPastTheEndStaysEmpty) {
    H.AddFile("main.s", "\\x\r\n@@next\r\n\\y");
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    EXPECT_EQ(Reader.GetStatement(), "\\x");
    EXPECT_EQ(Reader.GetStatement(), "@@next");
    EXPECT_EQ(Reader.GetLabelName(), "@@next");
    EXPECT_EQ(Reader.GetStatement(), "\\y");
    EXPECT_EQ(Reader.GetLineInLabel(), 1);
    int32_t offset = Reader.LineOffset();
    EXPECT_EQ(Reader.GetStatement(), "");
    EXPECT_EQ(Reader.GetStatement(), "");
    EXPECT_EQ(Reader.LineOffset(), offset + 2);
}

class FakeRegExp final : public IScriptRegExp {
public:
    // Patterns are plain words here: enough to see which rule ran and with what.
    std::vector<std::string> Match(const std::string& p, const std::string& t) override {
        Calls.push_back("m:" + p);
        return t.find(p) != std::string::npos ? std::vector<std::string>{p} : std::vector<std::string>{};
    }
    std::vector<std::string> Split(const std::string& p, const std::string& t, int32_t limit) override {
        Calls.push_back("p:" + p + ":" + std::to_string(limit));
        std::vector<std::string> out;
        size_t start = 0, at;
        while ((at = t.find(p, start)) != std::string::npos) {
            out.push_back(t.substr(start, at - start));
            start = at + p.size();
        }
        out.push_back(t.substr(start));
        return out;
    }
    std::string Substitute(const std::string& p, const std::string& t) override {
        Calls.push_back("s:" + p);
        return t + "<" + p + ">";
    }
    std::string Translate(const std::string& p, const std::string& t) override {
        Calls.push_back("t:" + p);
        std::string r = t;
        for (auto& c : r)
            if (c == p[0]) c = p[1];
        return r;
    }
    std::vector<std::string> Calls;
};

class FakeLineReplacer final : public IScriptLineReplacer {
public:
    std::string Replace(const std::string& line) override {
        ++Calls;
        return line + "!";
    }
    int Calls = 0;
};

TEST_F(KelReaderTest, PlainRulesLongestFirstWhateverTheOrderOfAdding) {
    for (bool shortFirst : {true, false}) {
        SCOPED_TRACE(shortFirst);
        TKelReader r;
        r.Packs = &H.Context.Packs;
        H.AddFile("main.s", "\\say,Words word");
        if (shortFirst) r.AddReplace("word", "W", 0);
        r.AddReplace("words", "LONG", 0);
        if (!shortFirst) r.AddReplace("word", "W", 0);
        EXPECT_EQ(r.Rules()[0].From, "words");
        ASSERT_TRUE(r.LoadScript("main.s", true));
        EXPECT_EQ(r.GetStatement(), "\\say,LONG W");
    }
    // Adding a known from text (any case) overwrites; deleting removes.
    Reader.AddReplace("a", "1", 0);
    Reader.AddReplace("A", "2", 0);
    ASSERT_EQ(Reader.Rules().size(), 1u);
    EXPECT_EQ(Reader.Rules()[0].To, "2");
    EXPECT_TRUE(Reader.DeleteReplace("a"));
    EXPECT_FALSE(Reader.DeleteReplace("a"));
}

TEST_F(KelReaderTest, RulesThatGrowTheLinePastTheTextLimitGiveAnError) {
    // Each rule makes eight letters of one: nine of them would make 8^9 of the "a".
    H.AddFile("main.s", "\\say,a\r\n\\say,b");
    const std::string letters = "abcdefghij";
    for (size_t k = 0; k + 1 < letters.size(); ++k)
        Reader.AddReplace(letters.substr(k, 1), std::string(8, letters[k + 1]), 0);
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    EXPECT_EQ(Reader.GetStatement(), "");
    ASSERT_FALSE(H.Errors().empty());
    EXPECT_EQ(H.Errors()[0], "[ERROR]:文字列が長すぎます（16MBまで）");
}

TEST_F(KelReaderTest, SortKeepsTheExchangeOrder) {
    // Lengths 1, 3, 2 then 4 appended: the exchanges leave 4, 3, 2, 1.
    Reader.AddReplace("a", "", 0);
    Reader.AddReplace("bbb", "", 0);
    Reader.AddReplace("cc", "", 0);
    Reader.AddReplace("dddd", "", 0);
    std::vector<std::string> order;
    for (const auto& r : Reader.Rules())
        order.push_back(r.From);
    EXPECT_EQ(order, (std::vector<std::string>{"dddd", "bbb", "cc", "a"}));
}

TEST_F(KelReaderTest, PatternRulesWorkOnTheLineWithCrLfAndDropIt) {
    FakeRegExp re;
    Reader.RegExp = &re;
    H.AddFile("main.s", "\\m,a-b");
    Reader.AddReplace("a-", "P:", 1);   // match: the to text goes in front
    Reader.AddReplace("subst", "", 2);  // substitute: the from text is the whole expression
    Reader.AddReplace("-", "|", 3);     // split: the to text before every piece
    Reader.AddReplace("ab", "", 4);     // translate
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    ASSERT_TRUE(Reader.NextLine());
    // Rules by length: subst, a-, ab, -. The CR LF appended for the patterns is gone at the end.
    EXPECT_EQ(Reader.CurrentLine(), "|P:\\m,b|b<subst>");
}

TEST_F(KelReaderTest, LineReplacerSkipsLongLinesAndNoTraceLabels) {
    FakeLineReplacer lr;
    Reader.LineReplacer = &lr;
    std::string longLine(1024, 'x');
    std::string fitting(1023, 'y');
    H.AddFile("main.s", "\\a\r\n" + longLine + "\r\n" + fitting + "\r\n@@!quiet\r\n\\b");
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    ASSERT_TRUE(Reader.NextLine());
    EXPECT_EQ(Reader.CurrentLine(), "\\a!");
    ASSERT_TRUE(Reader.NextLine());
    EXPECT_EQ(Reader.CurrentLine(), longLine);
    ASSERT_TRUE(Reader.NextLine());
    EXPECT_EQ(Reader.CurrentLine(), fitting + "!");
    ASSERT_TRUE(Reader.JumpLabel("@@!quiet", 1, 0));
    EXPECT_EQ(Reader.CurrentLine(), "\\b");
    Reader.SetReplaceEnabled(0);
    ASSERT_TRUE(Reader.JumpLabel("@@!quiet", 0, 0));  // no-trace lines are never touched anyway
    EXPECT_EQ(lr.Calls, 2);
}

TEST_F(KelReaderTest, PrefixAndEmptyLineText) {
    H.AddFile("main.s", "Hello\r\n  indented\r\n\r\n\\cmd\r\n@@lab");
    Reader.SetTextLinePrefix("\\t,");
    Reader.SetEmptyLineText("blank");
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    std::vector<std::string> lines;
    while (Reader.NextLine())
        lines.push_back(Reader.CurrentLine());
    EXPECT_EQ(lines, (std::vector<std::string>{"\\t,Hello", "  indented", "\\t,blank", "\\cmd", "@@lab"}));
    // ClearReplace empties both again.
    Reader.ClearReplace();
    ASSERT_TRUE(Reader.JumpLabel("@@lab", -2, 0));
    EXPECT_EQ(Reader.CurrentLine(), "");
}

TEST_F(KelReaderTest, OnLineReadSeesFileAndLabelOfTracedLines) {
    H.AddFile("Main.s", "@@A\r\n\\x\r\n@@!b\r\n\\y");
    std::vector<std::pair<std::string, int32_t>> seen;
    Reader.OnLineRead = [&](const std::string& key, int32_t offset) { seen.emplace_back(key, offset); };
    ASSERT_TRUE(Reader.LoadScript("Main.s", true));
    ASSERT_TRUE(Reader.JumpLabel("@@a", 0, 0));
    Reader.NextLine();
    ASSERT_TRUE(Reader.JumpLabel("@@!b", 0, 0));
    Reader.NextLine();
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int32_t>>{{"main.s@@a", 0}, {"main.s@@a", 1}}));
}

TEST_F(KelReaderTest, SavedPositionAndRulesComeBack) {
    H.AddFile("main.s", "@@top\r\n\\a \\b\r\n\\c,word");
    ASSERT_TRUE(Reader.LoadScript("main.s", true));
    ASSERT_TRUE(Reader.JumpLabel("@@top", 1, 0));
    EXPECT_EQ(Reader.GetStatement(), "\\a");
    Reader.AddReplace("word", "done", 0);
    Reader.SetTextLinePrefix("P");
    TMemoryStream s;
    Reader.SaveToStream(&s);
    EXPECT_EQ(s.Size(), 521 + 2 + 5 + 4 + (2 + 4 + 2 + 4 + 4));

    TKelReader back;
    back.Packs = &H.Context.Packs;
    s.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(&s));
    EXPECT_EQ(back.GetFileName(), "main.s");
    EXPECT_EQ(back.GetLabelName(), "@@top");
    EXPECT_EQ(back.GetStatement(), "\\b");
    EXPECT_EQ(back.GetStatement(), "\\c,done");
    EXPECT_EQ(back.PositionRecord().TextLinePrefix, "P");

    // A cut record or a rule count beyond the bytes changes nothing.
    for (int64_t cut : {int64_t{100}, s.Size() - 1}) {
        TMemoryStream part(std::string_view(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(cut)));
        TKelReader r;
        r.Packs = &H.Context.Packs;
        EXPECT_FALSE(r.LoadFromStream(&part));
        EXPECT_TRUE(r.Rules().empty());
        EXPECT_EQ(r.GetFileName(), "");
    }
}

// The statements of a place are kept from the first pass over it. A reader whose lines all pass
// through a replace rule that never matches cuts every line afresh; side by side, through reads,
// jumps into the middle of lines, reloads of a changed file and saved positions, both give the
// same statements at the same positions, and a kept place always stands for the same statement;
// a line prefix or an empty-line text changes the lines they apply to.
TEST_F(KelReaderTest, KeptStatementPlacesAgreeWithCuttingAfresh) {
    const std::string a =
        "@@top\r\n\\a,1 \\b,\"x\\y\" \\c\r\n  \\d,{p\\q}\\e\r\n@@mid\r\ntext \\f \\g,表\\h\r\n"
        "\r\n@@!quiet\r\n\\i \\j\r\n@@end\r\n\\k";
    const std::string changed = "@@top\r\n\\z\r\n@@middle\r\n\\a,1 \\b \\c\r\n@@end\r\n\\m \\n";
    H.AddFile("a.s", a);
    H.AddFile("b.s", "@@far\r\n\\p \\q\r\n@@near\r\n\\r");
    TKelReader fresh;
    fresh.Packs = &H.Context.Packs;
    fresh.AddReplace("\x7f\x7f", "", 0);  // matches nothing: every traced line is cut afresh
    TKelReader* readers[] = {&Reader, &fresh};
    for (TKelReader* r : readers)
        ASSERT_TRUE(r->LoadScript("a.s", true));
    std::map<int32_t, std::string> placeTexts;
    int reused = 0;  // statements met again at a kept place
    uint32_t generation = Reader.PlaceGeneration();
    std::mt19937 rng(5);
    for (int step = 0; step < 2000; ++step) {
        SCOPED_TRACE(step);
        const uint32_t op = rng() % 64;
        if (op < 8) {
            // A jump to a label, some lines below it, at a column that may fall inside a statement.
            const auto& labels = Reader.Labels();
            const std::string label = labels[rng() % labels.size()].Text;
            const int32_t offset = static_cast<int32_t>(rng() % 3), column = static_cast<int32_t>(rng() % 12);
            for (TKelReader* r : readers)
                r->JumpLabel(label, offset, column);
        } else if (op == 8) {
            const std::string& file = rng() % 2 ? std::string("a.s") : std::string("b.s");
            if (rng() % 3 == 0) H.AddFile("a.s", rng() % 2 ? a : changed);
            for (TKelReader* r : readers)
                r->LoadScript(file, true);
        } else if (op == 9) {
            // A prefix for text lines and a text for empty ones, or none.
            const bool on = rng() % 2;
            for (TKelReader* r : readers) {
                r->SetTextLinePrefix(on ? "\\t," : "");
                r->SetEmptyLineText(on ? "\\blank" : "");
            }
        } else if (op == 10) {
            // A saved position loaded back, maybe into a changed file that lacks its label: the
            // saved line is read on from the saved column then.
            if (rng() % 2) H.AddFile("a.s", rng() % 2 ? a : changed);
            for (TKelReader* r : readers) {
                TMemoryStream saved;
                r->SaveToStream(&saved);
                r->GetStatement();
                saved.SetPosition(0);
                ASSERT_TRUE(r->LoadFromStream(&saved));
            }
        } else {
            int32_t place = -1, untraced = -1;
            const std::string kept(Reader.NextStatement(place));
            const std::string cut(fresh.NextStatement(untraced));
            ASSERT_EQ(kept, cut);
            // Lines under a no-trace label pass no rule.
            if (untraced >= 0) {
                EXPECT_GE(place, 0);
            }
            if (Reader.PlaceGeneration() != generation) {
                placeTexts.clear();
                generation = Reader.PlaceGeneration();
            }
            if (place >= 0) {
                auto [it, added] = placeTexts.emplace(place, kept);
                EXPECT_EQ(it->second, kept) << "place " << place;
                reused += added ? 0 : 1;
            }
        }
        ASSERT_EQ(Reader.GetColumn(), fresh.GetColumn());
        ASSERT_EQ(Reader.CurrentLineIndex(), fresh.CurrentLineIndex());
        ASSERT_EQ(Reader.CurrentLine(), fresh.CurrentLine());
        ASSERT_EQ(Reader.GetLabelName(), fresh.GetLabelName());
        ASSERT_EQ(Reader.GetLineInLabel(), fresh.GetLineInLabel());
    }
    EXPECT_GT(reused, 200);
}

}  // namespace
