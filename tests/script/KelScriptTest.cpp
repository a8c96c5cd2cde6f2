#include <gtest/gtest.h>

#include "platform/Encoding.h"
#include "script/KelCalculationLib.h"
#include "script/KelGeneralCommands.h"
#include "script/KelScriptLib.h"
#include "tests/support/ScriptHarness.h"

namespace {

TEST(KelScriptCommandCode, PacksWordsAsTheHandlersCompareThem) {
    struct Case {
        const char* word;
        int32_t code;
    } cases[] = {
        {"\\msg", 0x0067736D},
        {"\\if", 0x00006669},
        {"\\ MSG", 0x0067736D},
        {"\\M s\tG", 0x0067736D},
        {"\\abcd", 0x64636261},
        {"\\abcde", -1},
        {"", 0},
        {"\\", 0},
        {"@@lab", -1},  // five bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(TKelScript::CommandCode(c.word), c.code) << c.word;
    static_assert(Cmd("\\CPY") == Cmd("cpy"));
}

class KelScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        H.Kinds.RegisterHandler(TObjectKind::Image,
                                [this](TKelScript&, int32_t code, TStringList& args, TKelObjectDataCustom& o) {
                                    Calls.push_back(o.Name() + ":" + args[0]);
                                    return code == Cmd("show");
                                });
    }
    TScriptHarness H;
    std::vector<std::string> Calls;
};

TEST_F(KelScriptTest, ResetLocksEverythingAndDeclaresTheConstants) {
    const TScriptStateBlock& s = H.Script.State;
    EXPECT_EQ(s.Locks, 0xFFFFFFFu);
    EXPECT_EQ(s.CustomLocks, 0xFFFFFFFu);
    EXPECT_EQ(s.UpdateMask, 0xFFFFFFFu);
    EXPECT_EQ(s.DrawMask, 0xFFFFFFFu);
    EXPECT_EQ(s.LinesPerFrame, 2048u);
    EXPECT_EQ(s.CursorVisible, 1);
    EXPECT_EQ(s.CursorHideTime, 10000u);
    const char* locks[] = {"_lkScreen", "_lkSave", "_lkLoad", "_lkConfig", "_lkLog",   "_lkView",
                           "_lkAuto",   "_lkSkip", "_lkJump", "_lkMenu",   "_lkReset", "_lkMinimize"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(H.Var(locks[i]).Value, 1 << i) << locks[i];
    EXPECT_EQ(H.Var("_stSE").Value, 2);
    EXPECT_EQ(H.Var("_QuickSaveFilename").Text, "QuickSaveData.svd");
    EXPECT_EQ(H.Var("NULL"), (TCalcValue{TCalcValueType::Object, 0, ""}));
    // Singletons are objects of their kind, named by their array element.
    TKelObjectDataCustom* sys = H.Script.Objects->Find(H.Var("sys").Text);
    ASSERT_NE(sys, nullptr);
    EXPECT_EQ(sys->Name(), "0_sys,0");
    EXPECT_EQ(sys->Kind(), TObjectKind::System);
    TKelObjectDataCustom* llog = H.Script.Objects->Find("0_llog,0");
    ASSERT_NE(llog, nullptr);
    EXPECT_EQ(llog->Kind(), TObjectKind::SkipLog);
    // One routine with its root block.
    ASSERT_EQ(H.Script.Thread->Count(), 1);
    EXPECT_EQ(H.Script.CurrentRoutine()->TopBlock()->Kind, TBlockKind::RoutineRoot);
}

TEST_F(KelScriptTest, StateBlockIsWrittenFieldByFieldAt1199Bytes) {
    TScriptStateBlock& s = H.Script.State;
    s.ScriptClock = 0x01020304;
    s.RunMode = TRunMode::Skip;
    s.SaveDescriptions[3] = std::string(70, 'd');  // cut to 63
    s.SceneReturnLabel = "@@back";
    s.TargetParent = 1;
    s.Reserved[255] = 0xAA;
    TMemoryStream m;
    s.Write(m);
    ASSERT_EQ(m.Size(), 1199);
    const uint8_t* b = m.Memory();
    EXPECT_EQ(b[0], 0x04);
    EXPECT_EQ(b[4], 0xFF);
    EXPECT_EQ(b[7], 0x0F);  // 0xFFFFFFF
    EXPECT_EQ(b[16], 3);
    EXPECT_EQ(b[17], 0x00);  // 2048 little-endian
    EXPECT_EQ(b[18], 0x08);
    EXPECT_EQ(b[21 + 3 * 64], 63);
    EXPECT_EQ(b[797], 6);
    EXPECT_EQ(b[926], 1);
    EXPECT_EQ(b[927], 0x10);  // 10000 = 0x2710
    EXPECT_EQ(b[939], 1);
    EXPECT_EQ(b[1198], 0xAA);

    TScriptStateBlock back;
    m.SetPosition(0);
    ASSERT_TRUE(back.Read(m));
    EXPECT_EQ(back.SaveDescriptions[3], std::string(63, 'd'));
    EXPECT_EQ(back.SceneReturnLabel, "@@back");
    EXPECT_EQ(back.LinesPerFrame, 2048u);
    EXPECT_EQ(back.Reserved[255], 0xAA);

    TMemoryStream shortStream(std::string(1198, '\0'));
    EXPECT_FALSE(back.Read(shortStream));
    EXPECT_EQ(back.ScriptClock, 0x01020304u);
}

TEST_F(KelScriptTest, AnUnscopedUnknownWordIsReportedWithItsPosition) {
    ASSERT_TRUE(H.Start("@@main\r\n\\foo,1\r\n\\bar", "@@main"));
    H.Step();
    EXPECT_EQ(H.Errors(),
              (std::vector<std::string>{"[ERROR]:オブジェクトが指定されていません。\\scpで指定してください。",
                                        "[位置]:test.s @@main(2行,6桁)"}));
    // The loop stopped on the error: the general handler saw the first word only.
    EXPECT_EQ(H.General.Seen, (std::vector<std::string>{"\\foo"}));
}

TEST_F(KelScriptTest, EveryScopedObjectGetsTheStatement) {
    ASSERT_TRUE(H.Script.OnObjectCreate("img", "a"));
    ASSERT_TRUE(H.Script.OnObjectCreate("btn", "b"));
    H.Scope({"a", "ghost", "B"});
    H.Script.ExecuteLine("  \\show,1,{x,y}  ");
    EXPECT_EQ(Calls, (std::vector<std::string>{"a:\\show"}));
    EXPECT_EQ(H.Errors(), (std::vector<std::string>{"[ERROR]:未定義のオブジェクト：ghost",
                                                    "[ERROR]:未定義の命令：B(btn).\\show,1,{x,y}", "[位置]:EOF"}));
    H.ClearErrors();
    H.Scope({"a"});
    H.Script.ExecuteLine("\\zzzzz");
    EXPECT_EQ(H.Errors(), (std::vector<std::string>{"[ERROR]:未定義の命令：a(img).\\zzzzz", "[位置]:EOF"}));
}

TEST_F(KelScriptTest, AHandlerThatResetsLeavesNothingDangling) {
    // The first object's handler resets the interpreter: the objects and the routine are gone.
    H.Kinds.RegisterHandler(TObjectKind::Button, [](TKelScript& s, int32_t, TStringList&, TKelObjectDataCustom&) {
        s.Reset();
        return true;
    });
    ASSERT_TRUE(H.Script.OnObjectCreate("btn", "first"));
    ASSERT_TRUE(H.Script.OnObjectCreate("img", "second"));
    H.Scope({"first", "second"});
    H.Script.ExecuteLine("\\show");
    EXPECT_TRUE(Calls.empty());
    EXPECT_EQ(H.Errors(), (std::vector<std::string>{"[ERROR]:未定義のオブジェクト：second", "[位置]:EOF"}));
    EXPECT_EQ(H.Script.Objects->Find("first"), nullptr);
}

TEST_F(KelScriptTest, HandlersSeeStatementsInChainOrder) {
    TRecordingWordHandler control, jump;
    control.Claims = {Cmd("if")};
    jump.Claims = {Cmd("jmp")};
    H.Script.Words.Control = &control;
    H.Script.Words.Jump = &jump;
    H.General.Claims = {Cmd("cal")};
    for (const char* s : {"\\if,1", "\\jmp,@@x", "\\cal,1", "plain text", "", "@@label"})
        H.Script.ExecuteLine(s);
    EXPECT_EQ(control.Seen, (std::vector<std::string>{"\\if", "\\jmp", "\\cal", "@@label"}));
    EXPECT_EQ(jump.Seen, (std::vector<std::string>{"\\jmp", "\\cal", "@@label"}));
    EXPECT_EQ(H.General.Seen, (std::vector<std::string>{"\\cal"}));
    EXPECT_TRUE(H.Errors().empty());
}

TEST_F(KelScriptTest, ALabelInsideABlockIsReported) {
    H.AddFile("Dir\\Lib.s", "@@top\r\n\\x");
    ASSERT_TRUE(H.Script.Reader->JumpFile("Dir\\Lib.s", "@@top"));
    H.Script.ExecuteLine("@@top");
    EXPECT_TRUE(H.Errors().empty());
    EXPECT_EQ(H.Var("SelfFileName").Text, "dir\\lib.s");
    EXPECT_EQ(H.Var("SelfFilePath").Text, "dir\\");
    H.Script.CurrentRoutine()->Add()->Kind = TBlockKind::IfActive;
    H.Script.ExecuteLine("@@top");
    ASSERT_FALSE(H.Errors().empty());
    EXPECT_EQ(H.Errors()[0], "[ERROR]:\\if～\\fi/\\for～\\next間にラベルを設置しないでください");
}

TEST_F(KelScriptTest, LabelLinesRewriteFileNameVariablesChangedMeanwhile) {
    H.AddFile("Dir\\Lib.s", "@@top\r\n\\x");
    ASSERT_TRUE(H.Script.Reader->JumpFile("Dir\\Lib.s", "@@top"));
    H.Script.ExecuteLine("@@top");
    H.Script.SetResultStr("SelfFileName", 0, "changed");
    H.Script.SetResultStr("SelfFilePath", 0, "changed");
    H.Script.ExecuteLine("@@top");
    EXPECT_EQ(H.Var("SelfFileName").Text, "dir\\lib.s");
    EXPECT_EQ(H.Var("SelfFilePath").Text, "dir\\");
    // Without the variables the label line reports them as undeclared, as any write would.
    H.Script.Variables->Clear(TVariableScope::Game);
    H.Script.ExecuteLine("@@top");
    EXPECT_EQ(H.Errors(), (std::vector<std::string>{"[ERROR]:変数が宣言されていません:SelfFileName",
                                                    "[ERROR]:変数が宣言されていません:SelfFilePath",
                                                    "[位置]:dir\\lib.s @@top(1行,0桁)"}));
}

TEST_F(KelScriptTest, HandlersGetTheirOwnArgumentsEvenWhenTheyChangeThemOrRunStatements) {
    std::vector<std::string> seen;
    H.General.OnWord = [&](TKelScript& s, int32_t code, TStringList& args) {
        seen.push_back(args[0] + " " + args[1] + " " + args[2] + " " + std::to_string(args.Count()));
        if (code == Cmd("out")) {
            args[1] = "changed";
            args.Add("extra");
            s.ExecuteLine("\\in,x,y");
            seen.push_back("after " + args[1] + " " + args[2] + " " + std::to_string(args.Count()));
        } else {
            args[2] = "z";
        }
        return true;
    };
    H.Script.ExecuteLine("\\out,a,b");
    H.Script.ExecuteLine("\\out,a,b");
    H.Script.ExecuteLine("\\in,x,y");
    EXPECT_EQ(seen, (std::vector<std::string>{"\\out a b 9", "\\in x y 9", "after changed b 10", "\\out a b 9",
                                              "\\in x y 9", "after changed b 10", "\\in x y 9"}));
}

TEST_F(KelScriptTest, LinesPerFrameBoundsTheStatementsOfAStep) {
    H.General.Claims = {Cmd("w")};
    ASSERT_TRUE(H.Start("\\w,1\r\n\\w,2 \\w,3\r\n\\w,4"));
    H.Script.State.LinesPerFrame = 1;
    H.Step();
    EXPECT_EQ(H.General.Seen.size(), 1u);
    H.Step();
    EXPECT_EQ(H.General.Seen.size(), 2u);
    H.Script.State.LinesPerFrame = 0;  // below 1 counts as 1
    H.Step();
    EXPECT_EQ(H.General.Seen.size(), 3u);
    H.Script.State.LinesPerFrame = 2048;
    H.Step();
    EXPECT_EQ(H.General.Seen.size(), 4u);
    EXPECT_EQ(H.Script.State.ScriptClock, 64u);
    EXPECT_TRUE(H.Errors().empty());
}

TEST_F(KelScriptTest, TimerWaitHoldsTheLoopUntilItRunsOut) {
    H.General.OnWord = [](TKelScript& s, int32_t code, TStringList&) {
        if (code != Cmd("wait")) return false;
        s.CurrentRoutine()->WaitState = wsTimer;
        s.CurrentRoutine()->WaitTime = 40;
        return true;
    };
    H.General.Claims = {Cmd("w")};
    ASSERT_TRUE(H.Start("\\wait\r\n\\w"));
    H.Step(16);
    EXPECT_EQ(H.General.Seen.size(), 1u);
    H.Step(16);
    EXPECT_EQ(H.General.Seen.size(), 1u);
    H.Script.HoldFrameSteps();  // the next step counts no time
    H.Step(16);
    H.Step(16);
    EXPECT_EQ(H.General.Seen.size(), 1u);
    H.Step(16);
    EXPECT_EQ(H.General.Seen.size(), 2u);
}

TEST_F(KelScriptTest, CommandStringsRunEveryPieceAfterTheFirst) {
    H.General.Claims = {Cmd("a"), Cmd("b")};
    H.Script.ExecuteCommandString("no backslash at all");
    EXPECT_TRUE(H.General.Seen.empty());
    H.Script.ExecuteCommandString("go\\a,1 \\b // \\c");
    EXPECT_EQ(H.General.Seen, (std::vector<std::string>{"\\a", "\\b"}));
}

TEST(KelScriptArguments, BracketTextTakesTheInnerTextLiterally) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"{a b, c}", "a b, c"}, {" {x{y}z} tail", "x{y}z"},
        {"\"q u\"", "q u"},     {"(1, (2))", "1,(2)"},
        {"[a]", "a"},           {"   ", ""},
        {"{open", "open"},      {"{\"}\"}", "\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KelScriptLib::BracketText(c.in), c.out) << c.in;
    TScriptHarness h;
    EXPECT_EQ(h.Script.GetTextArgument("{ keep  blanks }"), " keep  blanks ");
    EXPECT_EQ(h.Script.GetTextArgument(""), "");
    TStringList l;
    l.Add("x");
    KelScriptLib::PadArguments(l, 3);
    EXPECT_EQ(l.Count(), 3);
    EXPECT_TRUE(KelScriptLib::IsSceneLabel("@@a"));
    EXPECT_FALSE(KelScriptLib::IsSceneLabel("@@!a"));
    EXPECT_FALSE(KelScriptLib::IsSceneLabel("@@"));
}

class FakeImage final : public TKelObjectDataCustom {
public:
    FakeImage(std::string name, int id) : TKelObjectDataCustom(std::move(name), TObjectKind::Image, 1), Id(id) {}
    bool SwapEngineObject(TKelObjectDataCustom& other) override {
        auto* o = dynamic_cast<FakeImage*>(&other);
        if (!o) return false;
        std::swap(Id, o->Id);
        return true;
    }
    int Id;
};

TEST_F(KelScriptTest, ObjectsComeFromFactoriesAndSwapOnlyWithTheirOwnKind) {
    int next = 0;
    H.Kinds.RegisterFactory(
        "IMG", [&](TKelScript&, const std::string& name) { return std::make_unique<FakeImage>(name, ++next); });
    ASSERT_TRUE(H.Script.OnObjectCreate("img", "p"));
    ASSERT_TRUE(H.Script.OnObjectCreate("img", "q"));
    EXPECT_FALSE(H.Script.OnObjectCreate("img", "P"));  // names differ without regard to case only
    ASSERT_TRUE(H.Script.OnObjectCreate("btn", "b"));
    EXPECT_EQ(H.Script.CreateObjectByKind("nothing", "n"), nullptr);
    EXPECT_FALSE(H.Script.OnObjectCreate("nothing", "n"));

    EXPECT_FALSE(H.Script.SwapObjects("p", "b"));
    EXPECT_FALSE(H.Script.SwapObjects("p", "P"));
    EXPECT_FALSE(H.Script.SwapObjects("0_sys,0", "0_dat,0"));
    ASSERT_TRUE(H.Script.SwapObjects("p", "q"));
    EXPECT_EQ(static_cast<FakeImage*>(H.Script.Objects->Find("p"))->Id, 2);

    EXPECT_TRUE(H.Script.OnObjectDelete("q"));
    EXPECT_FALSE(H.Script.OnObjectDelete("q"));
    TKelObjectDataCustom named("0_snd,3");
    EXPECT_EQ(TKelScript::ObjectElementIndex(named), 3);
    EXPECT_EQ(TKelScript::ObjectElementIndex(TKelObjectDataCustom("x")), 0);
    EXPECT_EQ(TKelScript::ObjectElementIndex(TKelObjectDataCustom("a,b")), 0);
}

TEST_F(KelScriptTest, ResultSettersWriteTheGameTableWithForce) {
    H.Script.SetResultInt("ResultInt", 15, 7);
    H.Script.SetResultStr("ResultStr", 1, "t");
    H.Script.SetResultObj("ResultObj", 0, "0_sys,0");
    EXPECT_EQ(H.Var("ResultInt", 15).Value, 7);
    EXPECT_EQ(H.Var("ResultStr", 1).Text, "t");
    EXPECT_EQ(H.Var("ResultObj").Type, TCalcValueType::Object);
    H.Script.ClearResults();
    EXPECT_EQ(H.Var("ResultInt", 15).Value, 0);
    EXPECT_EQ(H.Var("ResultStr", 1).Text, "");
    EXPECT_EQ(H.Var("ResultObj").Text, "");
    EXPECT_TRUE(H.Errors().empty());
}

// The interpreter in the engine's own configuration keeps the splits of statement places, the
// programs of their arguments and the places of variables, and leaves out the jump words for other
// words. A second interpreter cuts every line afresh (a replace rule that matches nothing),
// compiles every expression afresh and hands every statement through a label handler of its own,
// which takes the general route. Both run the same script, through nested and recursive calls,
// returns into the middle of lines, variables deleted and declared again, errors, and a game saved
// and loaded again, and do the same at every frame step.
TEST(KelScriptEngineWords, KeptSplitsProgramsAndPlacesRunAsTheGeneralRoute) {
    const std::string script =
        "@@main\r\n"
        "\\gvar,int,n,i,j,k,r,x,y,t[8]\r\n"
        "\\gvar,str,tr,s\r\n"
        "\\for,i=0,i<6,i=i+1\r\n"
        "  \\sub,@@fact,,i \\cal,tr=tr+\"f\"+r+\" \"\r\n"
        "  \\if,i%2==0\r\n"
        "    \\cal,t[i%8]=t[i%8]+i\r\n"
        "  \\else\r\n"
        "    \\sub,@@pair,,i,\"w\"+i \\cal,tr=tr+x\r\n"
        "  \\fi\r\n"
        "  \\case,i\r\n"
        "  \\ans,1,3\r\n"
        "    \\cal,x=x+10\r\n"
        "  \\ans,4\r\n"
        "    \\del,y\r\n"
        "    \\gvar,int,y\r\n"
        "    \\cal,y=y+4\r\n"
        "  \\else\r\n"
        "    \\cal,x=x+1\r\n"
        "  \\end\r\n"
        "  \\fmt,\"%d回:\",i,\"%s;\",s\r\n"
        "  \\cal,tr=tr+ResultStr[0]\r\n"
        "  \\for,j=0,j<4,j=j+1\r\n"
        "    \\if,j==1 \\cnt \\fi\r\n"
        "    \\if,j==3 \\brk \\fi\r\n"
        "    \\cal,k=k+j\r\n"
        "  \\next\r\n"
        "\\next\r\n"
        "\\sub,@@deep,,1\r\n"
        "\\cal,tr=tr+\"deep\"+r\r\n"
        "\\sub,@@nowhere\r\n"
        "\\cal,tr=tr+zz\r\n"
        "\\jmp,@@again\r\n"
        "@@fact\r\n"
        "\\var,int,m\r\n"
        "\\cal,m=ParamInt[0]\r\n"
        "\\if,m<=1\r\n"
        "  \\cal,r=1\r\n"
        "  \\ret\r\n"
        "\\fi\r\n"
        "\\sub,@@fact,,m-1\r\n"
        "\\cal,r=r*m\r\n"
        "\\ret\r\n"
        "@@pair\r\n"
        "\\cal,s=ParamStr[1]+ParamInt[0]\r\n"
        "\\var,str,q\r\n"
        "\\cal,q=s\r\n"
        "\\del,q\r\n"
        "\\var,int,q\r\n"
        "\\cal,q=ParamInt[0]*2 \\cal,x=x+q\r\n"
        "\\ret\r\n"
        "@@deep\r\n"
        "\\sub,@@deeper,,ParamInt[0]+1\r\n"
        "\\cal,tr=tr+\"not reached\"\r\n"
        "@@deeper\r\n"
        "\\if,ParamInt[0]<4\r\n"
        "  \\sub,@@deeper,,ParamInt[0]+1\r\n"
        "\\fi\r\n"
        "\\cal,r=r+ParamInt[0]\r\n"
        "\\ret,@@main\r\n"
        "@@again\r\n"
        "\\cal,n=n+1\r\n"
        "\\if,n<3 \\jmp,@@main \\fi\r\n"
        "\\cal,tr=tr+\"done\"\r\n"
        "@@stop\r\n"
        "\\jmp,@@stop\r\n";
    class TLabelWords final : public IScriptWordHandler {
    public:
        bool Handle(TKelScript& s, int32_t, TStringList& args) override { return s.DoLabelLine(args[0]); }
    } labelWords;
    auto run = [&](bool general) {
        std::vector<std::string> trace;
        TScriptHarness h;
        h.Script.Words.General = &KelGeneralCommands::Handler();
        if (general) {
            h.Script.Words.Label = &labelWords;
            static_cast<TKelCalculation*>(h.Script.Calculation.get())->UseCache = false;
            h.Script.Reader->AddReplace("\x7f\x7f", "", 0);
        }
        EXPECT_TRUE(h.Start(script, "@@main"));
        h.Script.State.LinesPerFrame = 5;
        std::string saved[4];
        for (int step = 0; step < 400; ++step) {
            if (step % 37 == 11) {
                // A game saved here is loaded again a few steps later.
                TMemoryStream thread, reader, game, local;
                h.Script.Thread->SaveToStream(&thread);
                h.Script.Reader->SaveToStream(&reader);
                h.Script.Variables->SaveToStream(TVariableScope::Game, game);
                h.Script.Variables->SaveToStream(TVariableScope::Local, local);
                saved[0] = thread.AsString(), saved[1] = reader.AsString(), saved[2] = game.AsString();
                saved[3] = local.AsString();
            }
            if (step % 37 == 17) {
                TMemoryStream thread(saved[0]), reader(saved[1]), game(saved[2]), local(saved[3]);
                EXPECT_TRUE(h.Script.Variables->LoadFromStream(TVariableScope::Game, game));
                EXPECT_TRUE(h.Script.Variables->LoadFromStream(TVariableScope::Local, local));
                EXPECT_TRUE(h.Script.Thread->LoadFromStream(&thread));
                EXPECT_TRUE(h.Script.Reader->LoadFromStream(&reader));
            }
            h.Step();
            std::string line = std::to_string(step) + " " + h.Script.Reader->GetPositionText();
            for (const char* v : {"tr", "x", "y", "k", "r", "n", "s"}) {
                line += ' ';
                line += h.Var(v).Text;
            }
            line = Encoding::SjisToUtf8(line) + " depth " + std::to_string(h.Script.Depth());
            for (const std::string& e : h.Errors()) {
                line += " | ";
                line += e;
            }
            trace.push_back(line);
            h.ClearErrors();
        }
        return trace;
    };
    const std::vector<std::string> engine = run(false), general = run(true);
    ASSERT_EQ(engine.size(), general.size());
    for (size_t k = 0; k < engine.size(); ++k)
        ASSERT_EQ(engine[k], general[k]);
    // The script went all its way: three rounds, with the faults it holds reported.
    EXPECT_NE(engine.back().find("done"), std::string::npos) << engine.back();
    size_t faults = 0;
    for (const std::string& line : engine)
        for (size_t at = line.find("[ERROR]"); at != std::string::npos; at = line.find("[ERROR]", at + 1))
            ++faults;
    EXPECT_GE(faults, 6u);
}

}  // namespace
