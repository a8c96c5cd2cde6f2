#include <gtest/gtest.h>

#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "script/KelControlLib.h"
#include "script/KelScriptLib.h"
#include "tests/support/ScriptHarness.h"

namespace {

using T = TCalcValueType;
using Strings = std::vector<std::string>;

// A headless interpreter with a few test words: "\out,a,b,..." appends the evaluated arguments,
// joined by blanks, to the trace; "\cal,expr" evaluates; "\loc,name" declares an integer local
// at the current depth; "\halt" waits for a click that never comes. Game variables i, j, k, n,
// r and the string s exist.
struct TRig {
    TRig() {
        H.General.OnWord = [this](TKelScript& s, int32_t code, TStringList& args) {
            switch (code) {
                case Cmd("out"): {
                    std::string line;
                    for (int32_t i = 1; i < args.Count() && !args[i].empty(); ++i)
                        line += (i > 1 ? " " : "") + s.Evaluate(args[i]).Text;
                    Trace.push_back(Encoding::SjisToUtf8(line));
                    return true;
                }
                case Cmd("cal"):
                    s.Evaluate(args[1]);
                    return true;
                case Cmd("loc"): {
                    const int32_t dims[4] = {1, 1, 1, 1};
                    s.Variables->Declare(TVariableScope::Local, args[1], "", dims, s.Depth(), T::Integer, 0xFF, false);
                    return true;
                }
                case Cmd("halt"):
                    s.CurrentRoutine()->WaitState = wsClick;
                    s.CurrentRoutine()->WaitTime = -1;
                    return true;
                default:
                    return false;
            }
        };
        for (const char* v : {"i", "j", "k", "n", "r"})
            H.Declare(TVariableScope::Game, v, T::Integer);
        H.Declare(TVariableScope::Game, "s", T::String);
    }
    // Runs the script from "@@main" for a few frames.
    // Runs the script from "@@main" for a few frames, stopping at the first error.
    void Run(const std::string& script, int frames = 3) {
        ASSERT_TRUE(H.Start(script, "@@main"));
        for (int f = 0; f < frames && !H.Context.Log.ErrorFlag; ++f)
            H.Step();
    }
    TScriptHarness H;
    Strings Trace;
};

std::string Lines(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines)
        out += std::string(l) + "\r\n";
    return out;
}

TEST(KelControlConditions, NestedIfElseThenFollowTheValueOne) {
    const std::string script = Lines({"@@main", "\\if,i==1", "\\out,\"a\"", "\\if,j", "\\out,\"b\"", "\\else",
                                      "\\out,\"c\"", "\\then", "\\out,\"b2\"", "\\fi", "\\else", "\\out,\"d\"",
                                      "\\if,i", "\\out,\"never\"", "\\fi", "\\fi", "\\out,\"end\"", "\\halt"});
    struct Case {
        int i, j;
        Strings trace;
    } cases[] = {
        {1, 1, {"a", "b", "b2", "end"}},
        {1, 0, {"a", "c", "end"}},
        // 2 counts neither as true nor as false: neither branch runs.
        {1, 2, {"a", "end"}},
        {0, 1, {"d", "end"}},
    };
    for (const auto& c : cases) {
        TRig rig;
        rig.H.Script.Variables->WriteElement(TVariableScope::Game, "i", {}, 0, TCalcValue::Int(c.i), true);
        rig.H.Script.Variables->WriteElement(TVariableScope::Game, "j", {}, 0, TCalcValue::Int(c.j), true);
        rig.Run(script);
        EXPECT_EQ(rig.Trace, c.trace) << c.i << "," << c.j;
        EXPECT_TRUE(rig.H.Errors().empty());
        EXPECT_EQ(rig.H.Script.CurrentRoutine()->Count(), 1);
    }
}

TEST(KelControlLoops, BreakContinueAndTheFormsOfFor) {
    struct Case {
        std::string name;
        std::vector<const char*> body;
        Strings trace;
    };
    const std::vector<Case> cases = {
        {"counted, cnt and brk inside ifs",
         {"\\for,i=0,i<5,i++", "\\if,i==1", "\\cnt", "\\fi", "\\if,i==3", "\\brk", "\\fi", "\\out,i", "\\next",
          "\\out,\"after\",i"},
         {"0", "2", "after 3"}},
        {"nested loops: brk leaves the inner one only",
         {"\\for,i=0,i<3,i++", "\\for,j=0,j<3,j++", "\\if,j==1", "\\brk", "\\fi", "\\out,i,j", "\\next", "\\next"},
         {"0 0", "1 0", "2 0"}},
        {"condition only", {"\\cal,i=0", "\\for,i<3", "\\out,i++", "\\next"}, {"1", "2", "3"}},
        {"no clause: endless until brk", {"\\for", "\\out,n++", "\\if,n==2", "\\brk", "\\fi", "\\end"}, {"1", "2"}},
        {"item 4 with items 1 and 2 empty: endless",
         {"\\for,,,,x", "\\out,n++", "\\if,n==2", "\\brk", "\\fi", "\\next"},
         {"1", "2"}},
        {"items 1, 2, 3 and 4: empty condition, no pass",
         {"\\for,i=5,i<9,i++,x", "\\out,\"body\"", "\\next", "\\out,i"},
         {"0"}},
        // Only an initial clause: it runs as the initialisation and then stands as the condition,
        // evaluated before every pass (an assignment yields 1).
        {"initial clause only",
         {"\\for,i=i+1", "\\out,i", "\\if,i==4", "\\brk", "\\fi", "\\next", "\\out,\"after\",i"},
         {"2", "3", "4", "after 4"}},
        {"a loop whose condition fails at once skips nested blocks",
         {"\\for,i=0,i<0,i++", "\\if,1", "\\out,\"x\"", "\\else", "\\out,\"y\"", "\\fi", "\\case,1", "\\ans,1",
          "\\out,\"z\"", "\\end", "\\next", "\\out,\"after\""},
         {"after"}},
    };
    for (const auto& c : cases) {
        TRig rig;
        std::string script = "@@main\r\n";
        for (const char* l : c.body)
            script += std::string(l) + "\r\n";
        rig.Run(script + "\\halt\r\n");
        EXPECT_EQ(rig.Trace, c.trace) << c.name;
        EXPECT_TRUE(rig.H.Errors().empty()) << c.name;
        EXPECT_EQ(rig.H.Script.CurrentRoutine()->Count(), 1) << c.name;
    }
}

TEST(KelControlCases, AnsTestsItsValuesAndElseRunsOnlyWithoutAMatch) {
    const std::string numeric = Lines({"@@main", "\\case,i", "\\ans,1,2", "\\out,\"one-two\"", "\\ans,3",
                                       "\\out,\"three\"", "\\else", "\\out,\"other\"", "\\end", "\\halt"});
    for (auto [i, expected] :
         std::vector<std::pair<int, Strings>>{{1, {"one-two"}}, {2, {"one-two"}}, {3, {"three"}}, {7, {"other"}}}) {
        TRig rig;
        rig.H.Script.Variables->WriteElement(TVariableScope::Game, "i", {}, 0, TCalcValue::Int(i), true);
        rig.Run(numeric);
        EXPECT_EQ(rig.Trace, expected) << i;
        EXPECT_TRUE(rig.H.Errors().empty());
    }
    // A text case compares as text (without regard to case); a later "ans" may match again, and
    // "else" after any match runs nothing. Inside a skipped region the whole case is skipped.
    TRig rig;
    rig.H.Script.Variables->WriteElement(TVariableScope::Game, "s", {}, 0, TCalcValue::Str("abc"), true);
    rig.Run(Lines({"@@main",
                   "\\case,s",
                   "\\ans,\"x\",\"ABC\"",
                   "\\out,\"first\"",
                   "\\ans,\"abc\"",
                   "\\out,\"again\"",
                   "\\ans,1",
                   "\\out,\"number\"",
                   "\\else",
                   "\\out,\"else\"",
                   "\\end",
                   "\\if,0",
                   "\\case,1",
                   "\\ans,1",
                   "\\out,\"skipped\"",
                   "\\else",
                   "\\out,\"skipped-else\"",
                   "\\end",
                   "\\fi",
                   "\\out,\"end\"",
                   "\\halt"}));
    EXPECT_EQ(rig.Trace, (Strings{"first", "again", "end"}));
    EXPECT_TRUE(rig.H.Errors().empty());
}

TEST(KelControlSubroutines, ParametersReturnValuesAndLocalsPerLevel) {
    TRig rig;
    // A recursive factorial: each level has its own local m, evaluated arguments see the caller's.
    rig.Run(Lines({"@@main", "\\sub,@@fact,,5", "\\out,\"fact\",r", "\\sub,@@args,self,3,,word,", "\\halt", "@@fact",
                   "\\loc,m", "\\cal,m=ParamInt[0]", "\\if,m<=1", "\\cal,r=1", "\\ret", "\\fi", "\\sub,@@fact,,m-1",
                   "\\cal,r=r*m", "\\ret", "@@args", "\\out,ParamCount,ParamInt[0],ParamStr[1],ParamInt[2],ParamStr[2]",
                   "\\ret"}),
            5);
    EXPECT_EQ(rig.Trace, (Strings{"fact 120", "3 3  0 word"}));
    EXPECT_TRUE(rig.H.Errors().empty());
    // Back in the first routine: every local of the subroutines is gone.
    ASSERT_EQ(rig.H.Script.Thread->Count(), 1);
    for (int32_t level : {1, 2, 5})
        for (const char* name : {"m", "ParamCount", "ParamInt"})
            EXPECT_EQ(rig.H.Script.Variables->FindVariable(name, level), TVariableScope::None) << name << level;
}

TEST(KelControlSubroutines, RetWithALabelReturnsThroughSeveralLevels) {
    TRig rig;
    rig.Run(Lines({"@@main", "\\sub,@@a", "\\out,\"main\"", "\\halt", "@@a", "\\out,\"a\"", "\\sub,@@b,,1,2",
                   "\\out,\"not reached\"", "@@b", "\\loc,m", "\\sub,@@c", "@@c", "\\out,\"c\",SelfFileName",
                   "\\ret,@@main"}));
    EXPECT_EQ(rig.Trace, (Strings{"a", "c test.s", "main"}));
    EXPECT_TRUE(rig.H.Errors().empty());
    EXPECT_EQ(rig.H.Script.Thread->Count(), 1);
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("m", 2), TVariableScope::None);
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("ParamCount", 1), TVariableScope::None);
}

TEST(KelControlJumps, JumpsAcrossFilesAndBack) {
    TRig rig;
    rig.H.AddFile("lib\\util.s", "@@lib\r\n\\out,\"lib\",SelfFileName,SelfFilePath,ParamInt[0]\r\n\\ret\r\n");
    rig.H.AddFile("other.s", "@@far\r\n\\out,\"far\",SelfFileName\r\n\\jmp,@@back,\"test.s\"\r\n");
    rig.Run(Lines({"@@main", "\\for,i=0,i<2,i++", "\\sub,@@lib,\"LIB\\UTIL.S\",i+7", "\\out,\"main\",i,SelfFileName",
                   "\\next", "\\if,1", "\\jmp,@@far,\"other.s\"", "\\fi", "@@back", "\\out,\"back\",SelfFileName",
                   "\\jmp,@@end,self", "\\out,\"skipped\"", "@@end", "\\halt"}));
    EXPECT_EQ(rig.Trace, (Strings{"lib lib\\util.s lib\\ 7", "main 0 test.s", "lib lib\\util.s lib\\ 8",
                                  "main 1 test.s", "far other.s", "back test.s"}));
    // "jmp" cut the open "if": the label after it raised no complaint.
    EXPECT_TRUE(rig.H.Errors().empty());
    EXPECT_EQ(rig.H.Script.CurrentRoutine()->Count(), 1);
}

TEST(KelControlJumps, GoDropsRoutinesButKeepsTheFirstRoutinesBlocks) {
    TRig rig;
    rig.Run(Lines({"@@main", "\\sub,@@s,,1", "\\halt", "@@s", "\\if,1", "\\go,@@top", "@@top", "\\out,\"top\"",
                   "\\if,1", "\\go,@@next", "\\fi", "@@next", "\\out,\"unreached\""}));
    // From the subroutine, "go" leaves one routine; from inside an "if" of the first routine the
    // block stays open and the next label statement reports it.
    EXPECT_EQ(rig.Trace, (Strings{"top"}));
    EXPECT_EQ(rig.H.Script.Thread->Count(), 1);
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("ParamCount", 1), TVariableScope::None);
    ASSERT_FALSE(rig.H.Errors().empty());
    EXPECT_EQ(rig.H.Errors()[0], "[ERROR]:\\if～\\fi/\\for～\\next間にラベルを設置しないでください");
}

TEST(KelControlErrors, MisplacedWordsAreReportedAndStopTheScript) {
    struct Case {
        std::vector<const char*> body;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"\\if,\"text\""}, "[ERROR]:if：評価式が間違っています：\"text\""},
        {{"\\else"}, "[ERROR]:\\else：対となる\\if,\\caseがみつかりません"},
        {{"\\for,i=0,i<2,i++", "\\then"}, "[ERROR]:\\else：\\if～\\fiの中でしか使用できません"},
        {{"\\end"}, "[ERROR]:\\end : 対となる制御命令(\\if,\\for,\\swit)が見つかりません"},
        {{"\\if,1", "\\ans,1"}, "[ERROR]:\\ans：対応する\\caseが見つかりません"},
        {{"\\if,1", "\\brk"}, "[ERROR]:\\brkは\\for～\\nextの中でしか使用できません"},
        {{"\\cnt"}, "[ERROR]:\\cntは\\for～\\nextの中でしか使用できません"},
        {{"\\ret"}, "[ERROR]:\\ret : 対となる\\subが見つかりません : "},
        {{"\\sub,@@x", "@@x", "\\ret,@@nowhere"}, "[ERROR]:\\ret : 対となる\\subが見つかりません : @@nowhere"},
        {{"\\jmp,@@nope"}, "[ERROR]:\\jmp：ジャンプ先が見つかりません：@@nope:"},
        {{"\\go,@@nope,self"}, "[ERROR]:\\go：ジャンプ先が見つかりません：@@nope:self"},
        {{"\\sub,@@main,\"missing.s\""}, "[ERROR]:\\sub：不明なファイル名かラベル：@@main:\"missing.s\""},
    };
    for (const auto& c : cases) {
        TRig rig;
        std::string script = "@@main\r\n";
        for (const char* l : c.body)
            script += std::string(l) + "\r\n";
        rig.Run(script + "\\out,\"after\"\r\n", 1);
        Strings errors = rig.H.Errors();
        EXPECT_NE(std::find(errors.begin(), errors.end(), c.error), errors.end()) << c.error;
        EXPECT_TRUE(rig.Trace.empty()) << c.error;
    }
    // A failed "if" leaves its block open without a kind.
    TRig rig;
    rig.Run("@@main\r\n\\if,nosuch\r\n", 1);
    EXPECT_EQ(rig.H.Script.CurrentRoutine()->Count(), 2);
    EXPECT_EQ(rig.H.Script.CurrentRoutine()->TopBlock()->Kind, TBlockKind::None);
}

TEST(KelControlLimits, StacksPastTheirLimitsAreReported) {
    TRig rig;
    rig.Run("@@main\r\n\\sub,@@main\r\n", 3);
    ASSERT_FALSE(rig.H.Errors().empty());
    EXPECT_EQ(rig.H.Errors()[0], "[ERROR]:サブルーチンスタックが限界値を超えました。");
    // The push that overflowed is kept.
    EXPECT_EQ(rig.H.Script.Thread->Count(), kScriptStackLimit + 1);

    TRig blocks;
    std::string script = "@@main\r\n";
    for (int i = 0; i < 1023; ++i)
        script += "\\if,1\r\n";
    blocks.Run(script + "\\out,\"deep\"\r\n\\for\r\n\\out,\"past\"\r\n", 3);
    EXPECT_EQ(blocks.Trace, (Strings{"deep"}));
    ASSERT_FALSE(blocks.H.Errors().empty());
    EXPECT_EQ(blocks.H.Errors()[0], "[ERROR]:ブロックスタックが限界値を超えました。");
    EXPECT_EQ(blocks.H.Script.CurrentRoutine()->Count(), kScriptStackLimit + 1);
}

TEST(KelControlEvents, CallSubroutineByLabelHandsTheArgumentToTheNewRoutine) {
    TRig rig;
    ASSERT_TRUE(rig.H.Start(Lines({"@@main", "\\halt", "@@ev", "\\out,\"event\",ParamCount", "\\ret"}), "@@main"));
    rig.H.Step();
    EXPECT_FALSE(rig.H.Script.CallSubroutineByLabel("@@none", "x"));
    EXPECT_EQ(rig.H.Script.Thread->Count(), 1);
    ASSERT_TRUE(rig.H.Script.CallSubroutineByLabel("@@EV", "arg"));
    ASSERT_EQ(rig.H.Script.Thread->Count(), 2);
    EXPECT_EQ(rig.H.Script.CurrentRoutine()->EventArgument, "arg");
    rig.H.Step();
    EXPECT_EQ(rig.Trace, (Strings{"event 0"}));
    EXPECT_EQ(rig.H.Script.Thread->Count(), 1);
    EXPECT_TRUE(rig.H.Errors().empty());
}

TEST(KelControlLabels, GetLabelArgumentTakesLabelsAsWrittenAndEvaluatesTheRest) {
    TRig rig;
    rig.H.Script.Variables->WriteElement(TVariableScope::Game, "s", {}, 0, TCalcValue::Str("@@Dyn"), true);
    EXPECT_EQ(rig.H.Script.GetLabelArgument("@@Lab,el"), "@@Lab,el");
    EXPECT_EQ(rig.H.Script.GetLabelArgument("s"), "@@Dyn");
    EXPECT_EQ(rig.H.Script.GetLabelArgument(""), "");
    EXPECT_EQ(rig.H.Script.GetLabelArgument("\"@@\""), "@@");
}

// ---- save and restore ----

struct TSnapshot {
    std::string Thread, Reader;
    std::map<std::string, int32_t> Games;
    // Per subroutine level from 1: ParamCount, then the 16 ParamInt and the 16 ParamStr elements.
    std::vector<std::pair<std::vector<int32_t>, Strings>> Params;
    size_t TraceLength = 0;
};

bool Halted(TScriptHarness& h) {
    return h.Script.CurrentRoutine()->WaitState == wsClick;
}

TSnapshot Take(TRig& rig) {
    TSnapshot snap;
    TMemoryStream thread, reader;
    EXPECT_TRUE(rig.H.Script.Thread->SaveToStream(&thread));
    rig.H.Script.Reader->SaveToStream(&reader);
    snap.Thread = thread.AsString();
    snap.Reader = reader.AsString();
    for (const char* v : {"i", "j", "k"})
        snap.Games[v] = rig.H.Var(v).Value;
    IScriptVariables& vars = *rig.H.Script.Variables;
    for (int32_t level = 1; level < rig.H.Script.Thread->Count(); ++level) {
        std::vector<int32_t> ints;
        Strings texts;
        TCalcValue v;
        vars.ReadElement(TVariableScope::Local, "ParamCount", {}, level, v, true);
        ints.push_back(v.Value);
        for (int32_t e = 0; e < 16; ++e) {
            TVariableIndexes idx;
            idx.I[0] = e;
            vars.ReadElement(TVariableScope::Local, "ParamInt", idx, level, v, true);
            ints.push_back(v.Value);
            vars.ReadElement(TVariableScope::Local, "ParamStr", idx, level, v, true);
            texts.push_back(v.Text);
        }
        snap.Params.emplace_back(ints, texts);
    }
    snap.TraceLength = rig.Trace.size();
    return snap;
}

// The variable tables are a record of their own; the test carries the few values over by hand.
void Restore(TRig& rig, const TSnapshot& snap) {
    IScriptVariables& vars = *rig.H.Script.Variables;
    for (const auto& [name, value] : snap.Games)
        vars.WriteElement(TVariableScope::Game, name, {}, 0, TCalcValue::Int(value), true);
    const int32_t one[4] = {1, 1, 1, 1}, sixteen[4] = {16, 1, 1, 1};
    for (size_t l = 0; l < snap.Params.size(); ++l) {
        int32_t level = static_cast<int32_t>(l) + 1;
        const auto& [ints, texts] = snap.Params[l];
        vars.Declare(TVariableScope::Local, "ParamCount", "", one, level, T::Integer, 0xFF, false);
        vars.Declare(TVariableScope::Local, "ParamInt", "", sixteen, level, T::Integer, 0xFF, false);
        vars.Declare(TVariableScope::Local, "ParamStr", "", sixteen, level, T::String, 0xFF, false);
        vars.WriteElement(TVariableScope::Local, "ParamCount", {}, level, TCalcValue::Int(ints[0]), true);
        for (int32_t e = 0; e < 16; ++e) {
            TVariableIndexes idx;
            idx.I[0] = e;
            vars.WriteElement(TVariableScope::Local, "ParamInt", idx, level, TCalcValue::Int(ints[1 + e]), true);
            vars.WriteElement(TVariableScope::Local, "ParamStr", idx, level, TCalcValue::Str(texts[e]), true);
        }
    }
    TMemoryStream thread(snap.Thread), reader(snap.Reader);
    ASSERT_TRUE(rig.H.Script.Thread->LoadFromStream(&thread));
    ASSERT_TRUE(rig.H.Script.Reader->LoadFromStream(&reader));
}

TEST(KelControlSave, ARestoredThreadContinuesAsTheOriginalFromEveryStatement) {
    const std::string script = Lines({"@@main",
                                      "\\for,i=0,i<4,i++",
                                      "\\case,i",
                                      "\\ans,0",
                                      "\\out,\"zero\"",
                                      "\\ans,1,3",
                                      "\\if,i==1",
                                      "\\out,\"one\"",
                                      "\\else",
                                      "\\sub,@@s,\"lib.s\",i*10",
                                      "\\fi",
                                      "\\ans,2",
                                      "\\sub,@@s,self,i",
                                      "\\end",
                                      "\\next",
                                      "\\out,\"done\",i",
                                      "\\halt",
                                      "@@s",
                                      "\\for,j=0,j<2,j++",
                                      "\\if,j==1",
                                      "\\out,\"s\",ParamInt[0],j",
                                      "\\fi",
                                      "\\next",
                                      "\\ret"});
    const std::string lib = "@@s\r\n\\for,j=0,j<3,j++\r\n\\cnt\r\n\\next\r\n\\out,\"lib\",ParamInt[0],j\r\n\\ret\r\n";
    std::vector<TSnapshot> snaps;
    Strings full;
    {
        TRig rig;
        rig.H.AddFile("lib.s", lib);
        ASSERT_TRUE(rig.H.Start(script, "@@main"));
        rig.H.Script.State.LinesPerFrame = 1;
        for (int step = 0; step < 400 && !Halted(rig.H); ++step) {
            snaps.push_back(Take(rig));
            rig.H.Step();
        }
        ASSERT_TRUE(Halted(rig.H));
        EXPECT_TRUE(rig.H.Errors().empty());
        full = rig.Trace;
    }
    ASSERT_EQ(full, (Strings{"zero", "one", "s 2 1", "lib 30 3", "done 4"}));
    // Every snapshot between two statements, in the middle of loops, cases, ifs and subroutines
    // in either file, goes on exactly as the original did.
    for (size_t n = 0; n < snaps.size(); ++n) {
        TRig rig;
        rig.H.AddFile("lib.s", lib);
        rig.H.AddFile("test.s", script);
        Restore(rig, snaps[n]);
        rig.H.Script.State.LinesPerFrame = 1;
        for (int step = 0; step < 400 && !Halted(rig.H); ++step)
            rig.H.Step();
        Strings rest(full.begin() + static_cast<std::ptrdiff_t>(snaps[n].TraceLength), full.end());
        EXPECT_EQ(rig.Trace, rest) << "snapshot " << n;
        EXPECT_TRUE(rig.H.Errors().empty()) << "snapshot " << n;
        EXPECT_EQ(rig.H.Script.Thread->Count(), 1) << "snapshot " << n;
    }
}

TEST(KelScriptThreadStream, LayoutIsFieldByFieldLittleEndian) {
    TScriptThread thread;
    TScriptRoutine* r = thread.Add();
    TScriptBlock* b = r->Add();
    b->FileName = "a.s";
    b->Kind = TBlockKind::ForRunning;
    b->LabelName = "@@l";
    b->LineInLabel = 2;
    b->Column = 0x0708;
    b->Values[0] = "v";
    b->Values[7] = "w";
    r->ScopeNames[15] = "sc";
    r->WaitState = wsTimer;
    r->WaitTime = 0x01020304;
    r->WaitTime2 = -1;
    r->ClickLabel = "c";
    r->SoundChannel = 9;
    r->EventArgument = "e";
    TMemoryStream m;
    ASSERT_TRUE(thread.SaveToStream(&m));

    std::string expected;
    auto u32 = [&](uint32_t v) { LittleEndian::Append32(expected, v); };
    auto str = [&](const std::string& t) {
        expected.push_back(static_cast<char>(t.size()));
        expected.push_back(0);
        expected += t;
    };
    u32(1);  // routines
    u32(1);  // blocks
    str("a.s");
    expected.push_back(5);
    str("@@l");
    u32(2);
    u32(0x0708);
    str("v");
    for (int i = 0; i < 6; ++i)
        str("");
    str("w");
    for (int i = 0; i < 15; ++i)
        str("");
    str("sc");
    expected.push_back(3);
    u32(0x01020304);
    u32(0xFFFFFFFF);
    str("c");
    u32(9);
    str("");
    str("e");
    ASSERT_EQ(m.AsString(), expected);

    TScriptThread back;
    m.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(&m));
    TMemoryStream again;
    back.SaveToStream(&again);
    EXPECT_EQ(again.AsString(), expected);
    EXPECT_EQ(back.TopRoutine()->TopBlock()->Kind, TBlockKind::ForRunning);
    EXPECT_EQ(back.TopRoutine()->ScopeNames[15], "sc");
    EXPECT_FALSE(back.LoadFromStream(nullptr));
    EXPECT_FALSE(thread.SaveToStream(nullptr));

    // Every cut-short record fails.
    for (size_t cut = 0; cut < expected.size(); ++cut) {
        TMemoryStream part(std::string_view(expected).substr(0, cut));
        EXPECT_FALSE(back.LoadFromStream(&part)) << cut;
    }
}

TEST(KelScriptThreadStream, CountsAreCheckedBeforeAnythingIsAllocated) {
    auto u32 = [](uint32_t v) {
        std::string s;
        LittleEndian::Append32(s, v);
        return s;
    };
    // One routine without blocks: its count, 16 empty scope names, the wait fields, three strings.
    const std::string emptyRoutine = u32(0) + std::string(32, '\0') + std::string(1 + 4 + 4, '\0') +
                                     std::string(2, '\0') + u32(0) + std::string(4, '\0');
    ASSERT_EQ(static_cast<int64_t>(emptyRoutine.size()), TScriptRoutine::kMinStreamSize);
    const std::string block =
        std::string(2, '\0') + "\x05" + std::string(2, '\0') + u32(0) + u32(0) + std::string(16, '\0');
    ASSERT_EQ(static_cast<int64_t>(block.size()), TScriptBlock::kMinStreamSize);
    std::string badKind = block;
    badKind[2] = 12;
    const std::string routineTail = emptyRoutine.substr(4);
    struct Case {
        std::string name;
        std::string bytes;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"one empty routine", u32(1) + emptyRoutine, true},
        {"no routine", u32(0), true},
        {"a routine with a block", u32(1) + u32(1) + block + routineTail, true},
        {"1024 routines",
         u32(1024) +
             [&] {
                 std::string s;
                 for (int i = 0; i < 1024; ++i)
                     s += emptyRoutine;
                 return s;
             }(),
         true},
        {"routine count above the limit", u32(1025) + std::string(1025 * emptyRoutine.size(), '\0'), false},
        {"routine count above the bytes", u32(2) + emptyRoutine, false},
        {"huge routine count", u32(0xFFFFFFFF) + emptyRoutine, false},
        {"block count above the limit", u32(1) + u32(1025) + std::string(1025 * block.size(), '\0') + routineTail,
         false},
        {"block count above the bytes", u32(1) + u32(3) + block + block + routineTail, false},
        {"block kind out of range", u32(1) + u32(1) + badKind + routineTail, false},
    };
    for (const auto& c : cases) {
        TScriptThread thread;
        TMemoryStream m(c.bytes);
        EXPECT_EQ(thread.LoadFromStream(&m), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(m.Remaining(), 0) << c.name;
        }
    }
}

TEST(KelScriptThreadStream, ListOperationsKeepTheirBounds) {
    TScriptThread thread;
    EXPECT_FALSE(thread.TruncateRoutines(0));
    for (const char* label : {"@@a", "@@b", "@@a"})
        thread.Add()->Add()->LabelName = label;
    thread.Add();  // a routine without blocks is never found
    EXPECT_EQ(thread.FindRoutineByLabel("@@A"), 2);
    EXPECT_EQ(thread.FindRoutineByLabel("@@b"), 1);
    EXPECT_EQ(thread.FindRoutineByLabel("@@c"), -1);
    EXPECT_EQ(thread.Routine(4), nullptr);
    EXPECT_EQ(thread.Routine(-1), nullptr);
    EXPECT_FALSE(thread.TruncateRoutines(4));
    EXPECT_TRUE(thread.TruncateRoutines(1));
    EXPECT_EQ(thread.Count(), 2);
    EXPECT_FALSE(thread.Delete(2));
    EXPECT_TRUE(thread.Delete(0));
    EXPECT_EQ(thread.TopRoutine()->Block(0)->LabelName, "@@b");

    TScriptRoutine& r = *thread.TopRoutine();
    for (TBlockKind k : {TBlockKind::ForRunning, TBlockKind::IfActive, TBlockKind::ForRunning, TBlockKind::CaseMatched})
        r.Add()->Kind = k;
    EXPECT_EQ(r.FindBlockOfKind(TBlockKind::ForRunning), 3);
    EXPECT_EQ(r.FindBlockOfKind(TBlockKind::IfInactive), -1);
    EXPECT_FALSE(r.IsSkipping());
    r.Add()->Kind = TBlockKind::CaseSearching;
    EXPECT_TRUE(r.IsSkipping());
    EXPECT_TRUE(r.TruncateBlocks(0));
    EXPECT_EQ(r.Count(), 1);
    r.WaitState = wsEvent;
    r.ScopeNames[3] = "x";
    r.EventLabel = "e";
    r.Clear();
    EXPECT_EQ(r.Count(), 0);
    EXPECT_EQ(r.WaitState, wsNone);
    EXPECT_EQ(r.ScopeNames[3], "");
    EXPECT_EQ(r.EventLabel, "");
}

}  // namespace
