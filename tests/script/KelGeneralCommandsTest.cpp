#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "foundation/SystemConfigLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "script/KelGeneralCommands.h"
#include "script/uBregExpLib.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/ScriptHarness.h"

namespace {

class FakeSound final : public IScriptSound {
public:
    int32_t StreamChannelCount() override { return 4; }
    int32_t EffectChannelCount() override { return 2; }
    bool SwapChannels(bool, int32_t, int32_t) override { return false; }
};

class GeneralCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.Script.Links.Sound = &Sound;
    }
    void Run(std::initializer_list<std::string> lines) {
        for (const auto& line : lines)
            H.Script.ExecuteLine(Encoding::Utf8ToSjis(line));
    }
    int32_t Int(int32_t i = 0) { return H.Var("ResultInt", i).Value; }
    std::string Str(int32_t i = 0) { return Encoding::SjisToUtf8(H.Var("ResultStr", i).Text); }
    // The first error-log line, without its "[ERROR]:" mark.
    std::string FirstError() {
        auto errors = H.Errors();
        if (errors.empty()) return "";
        const std::string mark = "[ERROR]:";
        return errors[0].rfind(mark, 0) == 0 ? errors[0].substr(mark.size()) : errors[0];
    }

    TScriptHarness H;
    FakeSound Sound;
};

TEST_F(GeneralCommandsTest, StringWordsWriteTheirResults) {
    struct Case {
        const char* Statement;
        std::optional<int32_t> Int;
        std::vector<std::string> Texts;
    };
    const Case cases[] = {
        {R"(\len,"aあb")", 3, {}},
        {R"(\hlen,"aあb")", 4, {}},
        {R"(\pos,"B","abc")", 2, {}},
        {R"(\pos,"x","abc")", 0, {}},
        {R"(\pos,"A","アA")", 2, {}},  // the trail byte of ア is 0x41 and is no letter
        {R"(\hpos,"b","あb")", 3, {}},
        {R"(\hpos,"A","アA")", 3, {}},
        {R"(\hpos,"","abc")", 0, {}},
        {R"(\cpy,"aあbc",2,2)", std::nullopt, {"あb"}},
        {R"(\copy,"aあbc",0,9)", std::nullopt, {"aあbc"}},
        {R"(\hcpy,"abcdef",0,2)", std::nullopt, {"ab"}},
        {R"(\hcpy,"abcdef",3,0)", std::nullopt, {""}},
        {R"(\hcpy,"abc",5,2)", std::nullopt, {""}},
        {R"(\div,",","a,b//c")", 2, {"a", "b"}},
        {R"(\div,";"," a ; b c",1)", 2, {"a", "bc"}},
        {R"(\div,";","x;y",0)", 2, {"x", "y"}},
        {R"(\rep,"aXbxc","x","-")", std::nullopt, {"a-b-c"}},
        {R"(\rep,"アa","a","-")", std::nullopt, {"ア-"}},  // never inside a character
        {R"(\rep,"abc","","-")", std::nullopt, {"abc"}},
        {R"(\lowc,"AbヂC")", std::nullopt, {"abヂc"}},
        {R"(\upc,"ヂa")", std::nullopt, {"ヂA"}},  // the trail byte of ヂ is 0x61 and stays
        {R"(\zenc,"A1")", std::nullopt, {"Ａ１"}},
        {R"(\hanc,"Ａ１")", std::nullopt, {"A1"}},
        {"\\trim,\"  ab \t\"", std::nullopt, {"ab"}},
        {R"(\fmt,"%.3d",7,"[%s]","x")", std::nullopt, {"007[x]"}},
        {R"(\fmt,"%d","x","<%s>","y")", std::nullopt, {"<y>"}},  // the misfit pair adds nothing
        {R"(\fmt,"%5s|","ab","%-4d|",-3)", std::nullopt, {"   ab|-3  |"}},
        {R"(\fmt,"%x",255,"",1,"%u",-1)", std::nullopt, {"FF4294967295"}},
        {R"(\fmt,"%f",1,"%9999d",1,"%d%d",1,"%q",1,"ok",0)", std::nullopt, {"ok"}},
        {R"(\fmt,"a",0,"b",0,"c",0,"d",0,"e",0,"f")", std::nullopt, {"abcde"}},  // five pairs
    };
    for (const auto& c : cases) {
        H.Script.SetResultInt("ResultInt", 5, 99);
        H.Script.SetResultStr("ResultStr", 5, "stale");
        Run({c.Statement});
        EXPECT_EQ(H.Errors(), std::vector<std::string>{}) << c.Statement;
        EXPECT_EQ(Int(0), c.Int.value_or(0)) << c.Statement;
        for (size_t i = 0; i < c.Texts.size(); ++i)
            EXPECT_EQ(Str(static_cast<int32_t>(i)), c.Texts[i]) << c.Statement;
        EXPECT_EQ(Int(5), 0) << c.Statement << ": results are cleared first";
        EXPECT_EQ(Str(5), "") << c.Statement;
    }
}

TEST_F(GeneralCommandsTest, ArgumentsAreReadBeforeTheResultsAreCleared) {
    Run({R"(\div,",","a,b,c")", R"(\len,ResultStr[2]+ResultStr[0])"});
    EXPECT_EQ(Int(), 2);
    Run({R"(\fmt,"%d",ResultInt[0],"%s",ResultStr[0])"});
    EXPECT_EQ(Str(), "2");
}

TEST_F(GeneralCommandsTest, DivideCountsAllItemsAndReturnsSixteen) {
    std::string text = "0";
    for (int i = 1; i < 20; ++i)
        text.append(",").append(std::to_string(i));
    Run({"\\div,\",\",\"" + text + "\""});
    EXPECT_EQ(Int(), 20);
    EXPECT_EQ(Str(15), "15");
}

TEST_F(GeneralCommandsTest, RegularExpressionWords) {
    std::unique_ptr<TScriptRegExp> re = uBregExpLib::BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
    ASSERT_NE(re, nullptr);
    H.Script.Links.RegExp = re.get();
    struct Case {
        const char* Statement;
        int32_t Int;
        std::vector<std::string> Texts;
    };
    const Case cases[] = {
        {R"(\bmat,{m/(\d+)-(\d+)/},"a12-34b")", 3, {"12-34", "12", "34"}},
        {R"(\bmat,"m/z/","abc")", 0, {""}},
        {R"(\bspl,{m/,(.)/},"a,b")", 2, {",b", "b"}},  // matches as bmat does
        {R"(\bsub,{s/,/;/g},"a,b,c")", 0, {"a;b;c"}},
        {R"(\bsub,{s/z/y/},"abc")", 0, {"abc"}},
        {R"(\btra,{tr/a-c/A-C/},"abcd")", 0, {"ABCd"}},
        {R"(\bmat,{m/表(示)/},"図表示")", 2, {"表示", "示"}},
    };
    for (const auto& c : cases) {
        Run({c.Statement});
        EXPECT_EQ(H.Errors(), std::vector<std::string>{}) << c.Statement;
        EXPECT_EQ(Int(), c.Int) << c.Statement;
        for (size_t i = 0; i < c.Texts.size(); ++i)
            EXPECT_EQ(Str(static_cast<int32_t>(i)), c.Texts[i]) << c.Statement;
    }
    // Without the library no pattern matches and texts stay.
    H.Script.Links.RegExp = nullptr;
    Run({R"(\bsub,{s/,/;/g},"a,b")"});
    EXPECT_EQ(Str(), "a,b");
}

TEST_F(GeneralCommandsTest, DeclaringWordsAndScopes) {
    Run({R"(\var,int,x,y[10])", R"(\cal,x=5,y[9]=7)", R"(\var,int,x,y[3])"});
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
    EXPECT_EQ(H.Var("x").Value, 5);  // declaring again keeps the variable and its contents
    EXPECT_EQ(H.Var("y", 9).Value, 7);
    Run({R"(\gvar,STR,s)", R"(\svar,int,q)", R"(\var,str,m[0,2])"});
    Run({R"(\vexs,x)"});
    EXPECT_EQ(Int(), 3);
    Run({R"(\vexs,s)"});
    EXPECT_EQ(Int(), 2);
    Run({R"(\vexs,q[0])"});
    EXPECT_EQ(Int(), 1);
    Run({R"(\vexs,nothing)"});
    EXPECT_EQ(Int(), 0);
    Run({R"(\cal,m[1]="b")"});  // a dimension below 1 is 1: m has 2 elements
    EXPECT_EQ(H.Var("m", 1).Text, "b");

    // More than four dimensions are refused by every declaring word, and the next declaration of
    // the statement is still made.
    const std::pair<std::string, int32_t> words[] = {{"var", 3}, {"gvar", 2}, {"svar", 1}};  // vexs gives the scope
    for (const auto& [word, scope] : words) {
        H.ClearErrors();
        Run({"\\" + word + ",int," + word + "5[2,1,1,1,1]," + word + "ok[2]"});
        EXPECT_EQ(FirstError(), "配列の次元が多すぎます:" + word + "5");
        Run({"\\vexs," + word + "5"});
        EXPECT_EQ(Int(), 0) << word;
        Run({"\\vexs," + word + "ok"});
        EXPECT_EQ(Int(), scope) << word;
    }
    H.ClearErrors();

    // Object kinds declare owning arrays whose objects exist at once and whose names scripts
    // cannot overwrite.
    Run({R"(\var,img,pics[2])"});
    ASSERT_NE(H.Script.Objects->Find("0_pics,1"), nullptr);
    EXPECT_EQ(H.Script.Objects->Find("0_pics,1")->Kind(), TObjectKind::Image);
    Run({R"(\cal,pics[0]="x")"});
    EXPECT_NE(FirstError().find("変数に書き込みロックがかかっています:pics"), std::string::npos);
}

TEST_F(GeneralCommandsTest, DeleteInitAndCalculate) {
    Run({R"(\var,int,x)", R"(\gvar,int,g)", R"(\cal,x=3,g=4)", R"(\del,x,nothere,g[0])"});
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
    EXPECT_EQ(H.Script.Variables->FindVariable("x", 0), TVariableScope::None);
    EXPECT_EQ(H.Script.Variables->FindVariable("g", 0), TVariableScope::None);
    Run({R"(\del,ResultInt)"});  // not deletable: skipped silently
    EXPECT_EQ(H.Script.Variables->FindVariable("ResultInt", 0), TVariableScope::Game);

    Run({R"(\var,int,a)", R"(\var,str,b)", R"(\cal,a=9,b="t")", R"(\init,a,b)"});
    EXPECT_EQ(H.Var("a").Value, 0);
    EXPECT_EQ(H.Var("b").Text, "");

    struct Case {
        const char* Statement;
        const char* Error;
    };
    const Case failures[] = {
        {R"(\init,zz)", "変数が宣言されていません:zz"},   {R"(\init,sys)", "変数に書き込みロックがかかっています:sys"},
        {R"(\cal,a=1,1+)", "計算に失敗しました：1+"},     {R"(\cal,nope+1)", "未定義の変数：nope"},
        {R"(\cal,nope+1)", "計算に失敗しました：nope+1"},
    };
    for (const auto& f : failures) {
        H.ClearErrors();
        Run({f.Statement});
        EXPECT_TRUE(H.Context.Log.ErrorFlag) << f.Statement;
        bool found = false;
        for (const auto& line : H.Errors())
            found = found || line.find(f.Error) != std::string::npos;
        EXPECT_TRUE(found) << f.Statement << " should report " << f.Error;
    }
}

TEST_F(GeneralCommandsTest, SwapExchangesValuesOrObjects) {
    Run({R"(\var,int,i,j)", R"(\var,str,s,t)", R"(\cal,i=1,j=2,s="a",t="b")", R"(\swap,i,j)", R"(\swap,s,t)"});
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
    EXPECT_EQ(H.Var("i").Value, 2);
    EXPECT_EQ(H.Var("j").Value, 1);
    EXPECT_EQ(H.Var("s").Text, "b");
    EXPECT_EQ(H.Var("t").Text, "a");

    Run({R"(\swap,i,s)"});
    EXPECT_EQ(FirstError(), "型が異なります:i");
    H.ClearErrors();
    // A system singleton and a data singleton are of different kinds: nothing changes.
    Run({R"(\var,obj,o1,o2)", R"(\cal,o1=sys,o2=dat)", R"(\swap,o1,o2)"});
    EXPECT_EQ(FirstError(), "オブジェクトのスワップに失敗しました:o1/o2");
    EXPECT_EQ(H.Var("o1").Text, "0_sys,0");
}

TEST_F(GeneralCommandsTest, ScopeTakesObjectNamesAndStrings) {
    Run({R"(\scp,"bg",sys,,"x")"});
    TScriptRoutine* r = H.Script.CurrentRoutine();
    EXPECT_EQ(r->ScopeNames[0], "bg");
    EXPECT_EQ(r->ScopeNames[1], "0_sys,0");
    EXPECT_EQ(r->ScopeNames[2], "");
    EXPECT_EQ(r->ScopeNames[3], "x");
    Run({R"(\scp,5,"y")"});
    EXPECT_EQ(FirstError(), "オブジェクト型以外の変数はスコープ出来ません：5");
    EXPECT_EQ(r->ScopeNames[0], "");
    EXPECT_EQ(r->ScopeNames[1], "y");
    EXPECT_EQ(r->ScopeNames[3], "");  // every slot is emptied first
}

TEST_F(GeneralCommandsTest, ExistenceTestsAndObjectLookup) {
    H.AddFile("bgm\\a.ogg", "x");
    ASSERT_TRUE(H.Start("@@start\n\\cal,1\n@@second\n\\cal,2\n"));
    struct Case {
        const char* Statement;
        int32_t Int;
    };
    const Case cases[] = {
        {R"(\fexs,"BGM\a.ogg")", 1},   {R"(\fexs,"bgm\b.ogg")", 0}, {R"(\lexs,@@second)", 1},
        {R"(\lexs,"@@sec"+"ond")", 1}, {R"(\lexs,@@third)", 0},
    };
    for (const auto& c : cases) {
        Run({c.Statement});
        EXPECT_EQ(Int(), c.Int) << c.Statement;
    }
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});

    Run({R"(\fobj,"sys")"});
    EXPECT_EQ(H.Var("ResultObj").Text, "0_sys,0");
    Run({R"(\var,int,n)", R"(\fobj,"n")"});
    EXPECT_EQ(H.Var("ResultObj").Text, "");
}

TEST_F(GeneralCommandsTest, FileExistenceGoesThroughTheSearchFolders) {
    H.AddRawFile("image\\x.png", "png");
    H.Script.Path->Add("image\\");
    Run({R"(\fexs,"x.png")"});
    EXPECT_EQ(Int(), 1);
    Run({R"(\fexs,"y.png")"});
    EXPECT_EQ(Int(), 0);
}

TEST_F(GeneralCommandsTest, TargetParentAndValueExchangeWithTheSystemScript) {
    TKelScript child;
    child.Kinds = &H.Kinds;
    child.Words.General = &KelGeneralCommands::Handler();
    ASSERT_TRUE(child.Setup(TScriptLinks{.Context = &H.Context.Context}, &H.Script));
    auto run = [&](const char* s) { child.ExecuteLine(Encoding::Utf8ToSjis(s)); };

    run(R"(\svar,int,shared)");  // one system table for both scripts
    EXPECT_EQ(H.Script.Variables->FindVariable("shared", 0), TVariableScope::System);

    Run({R"(\gvar,int,pv)", R"(\cal,pv=41)"});
    run(R"(\gvar,int,cv)");
    run(R"(\vget,cv,pv+1)");  // evaluated in the parent, written here
    EXPECT_EQ(child.Evaluate("cv").Value, 42);
    run(R"(\vset,pv,cv*2)");  // evaluated here, written in the parent
    EXPECT_EQ(H.Var("pv").Value, 84);

    run(R"(\srct,1)");
    EXPECT_EQ(child.State.TargetParent, 1u);
    run(R"(\var,int,inparent)");
    run(R"(\vexs,inparent)");
    EXPECT_EQ(child.Evaluate("ResultInt[0]").Value, 3);
    EXPECT_EQ(H.Script.Variables->FindVariable("inparent", 0), TVariableScope::Local);
    EXPECT_EQ(child.Variables->FindVariable("inparent", 0), TVariableScope::None);
    run(R"(\srct,0)");
    run(R"(\vexs,inparent)");
    EXPECT_EQ(child.Evaluate("ResultInt[0]").Value, 0);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(GeneralCommandsTest, RequestsAndFrameDelay) {
    struct Case {
        const char* Statement;
        uint8_t Request;
        const char* Argument;
    };
    const Case cases[] = {
        {R"(\thrd,1,@@sys)", srEnterSystem, "@@sys"},
        {R"(\thrd,0,"@@back")", srLeaveSystem, "@@back"},
        {R"(\thrd,2,@@x)", 0, "@@x"},  // no request, but the argument is set
    };
    for (const auto& c : cases) {
        H.Script.Request = 0;
        Run({c.Statement});
        EXPECT_EQ(H.Script.Request, c.Request) << c.Statement;
        EXPECT_EQ(H.Script.RequestArgument, c.Argument) << c.Statement;
    }
    Run({R"(\draw)"});
    EXPECT_EQ(H.Script.FrameDelay, 2);
    H.Script.FrameDelay = 0;
    H.Context.Settings.Skipping = 1;
    Run({R"(\draw)"});
    H.Context.Settings.Skipping = 0;
    EXPECT_EQ(H.Script.FrameDelay, 0);  // no pause while skipping
    Run({R"(\dout,"x")", R"(\ddlg)", R"(\dbrk)"});
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(GeneralCommandsTest, WaitWordsSetTheRoutineWait) {
    H.Context.Settings.AutoPlayClickTime = 700;
    struct Case {
        const char* Statement;
        uint8_t State;
        int32_t Time, Time2;
        const char* Label;
        int32_t Channel;
    };
    const Case cases[] = {
        {R"(\wait,100)", wsTimer, 100, 0, "", 0},
        {R"(\wait,0)", wsNone, 0, 0, "", 0},
        {R"(\wait,-5)", wsNone, -5, 0, "", 0},
        {R"(\clk,0)", wsClick, -1, -1, "", 0},
        {R"(\clk,500,200,@@lab)", wsClick, 500, 200, "@@lab", 0},
        {R"(\clk,500)", wsClick, 500, 500, "", 0},
        {R"(\time,3000,9,@@t)", wsClock, 3000, 0, "@@t", 0},
        {R"(\sndt,2,5000,@@s)", wsSoundPosition, 5000, 0, "@@s", 2},
        {R"(\sndt,9,5000)", wsSoundPosition, 5000, 0, "", 3},  // lowered to the last stream
        {R"(\sndt,-1,5000)", wsTimer, 0, 0, "", -1},           // outside the tables: ends at the next test
        {R"(\wav,2)", wsSoundEnd, 0, 0, "", 2},
        {R"(\wav,4)", wsTimer, 0, 0, "", 4},
        {R"(\wav,-1)", wsTimer, 0, 0, "", -1},
        {R"(\msg)", wsMessageTyping, 0, 0, "", 0},
        {R"(\btn,0)", wsButton, -1, 0, "", 0},
        {R"(\btn,300)", wsButton, 300, 0, "", 0},
    };
    for (const auto& c : cases) {
        TScriptRoutine* r = H.Script.CurrentRoutine();
        r->WaitState = wsNone;
        r->WaitTime = r->WaitTime2 = r->SoundChannel = 0;
        r->ClickLabel.clear();
        H.Script.SetResultInt("ResultClkInt", 0, 77);
        H.Script.AutoModeWait() = 0;
        Run({c.Statement});
        EXPECT_EQ(r->WaitState, c.State) << c.Statement;
        EXPECT_EQ(r->WaitTime, c.Time) << c.Statement;
        EXPECT_EQ(r->WaitTime2, c.Time2) << c.Statement;
        EXPECT_EQ(r->ClickLabel, c.Label) << c.Statement;
        EXPECT_EQ(r->SoundChannel, c.Channel) << c.Statement;
        std::string word = c.Statement;
        bool clears = word.rfind("\\wav", 0) != 0 && word.rfind("\\msg", 0) != 0 && word.rfind("\\btn", 0) != 0;
        EXPECT_EQ(H.Var("ResultClkInt").Value, clears ? 0 : 77) << c.Statement;
        // Only a click wait without a time limit adds the configured automatic wait.
        EXPECT_EQ(H.Script.AutoModeWait(), std::string(c.Statement) == "\\clk,0" ? 700 : 0) << c.Statement;
    }
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
    H.Context.Settings.AutoPlayClickTime = 0;
}

TEST_F(GeneralCommandsTest, StopAndPlayReachTheInnermostStoppedRoutine) {
    TScriptRoutine* r = H.Script.CurrentRoutine();
    Run({R"(\stop,@@ev,0)"});
    EXPECT_EQ(r->WaitState, wsEvent);
    EXPECT_EQ(r->EventLabel, "@@ev");
    EXPECT_EQ(r->WaitTime, -1);
    EXPECT_EQ(r->WaitTime2, -1);
    Run({R"(\stop,"@@e"+"v2",100,50)"});
    EXPECT_EQ(r->EventLabel, "@@ev2");
    EXPECT_EQ(r->WaitTime, 100);
    EXPECT_EQ(r->WaitTime2, 50);

    // The event label runs as a subroutine above the waiting routine.
    TScriptRoutine* sub = H.Script.Thread->Add();
    Run({R"(\play)"});
    EXPECT_EQ(r->WaitState, wsStop);
    EXPECT_EQ(sub->WaitState, wsNone);
    Run({R"(\stop)"});
    EXPECT_EQ(r->WaitState, wsEvent);
    EXPECT_EQ(sub->WaitState, wsNone);
}

TEST_F(GeneralCommandsTest, AnOutOfRangeSoundWaitEndsAtItsNextTest) {
    ASSERT_TRUE(H.Start("\\gvar,int,done\n\\wav,7\n\\cal,done=1\n"));
    H.Step();
    EXPECT_EQ(H.Var("done").Value, 0);  // the wait stops this frame's statements
    H.Step();
    EXPECT_EQ(H.Var("done").Value, 1);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(GeneralCommandsTest, UnknownWordsGoOnToTheScopedObjects) {
    std::vector<std::string> seen;
    H.Kinds.RegisterHandler(TObjectKind::System, [&](TKelScript&, int32_t, TStringList& args, TKelObjectDataCustom& o) {
        seen.push_back(o.Name() + ":" + args[0]);
        return true;
    });
    Run({R"(\scp,sys)", R"(\zz,1)", R"(\len,"ab")"});
    EXPECT_EQ(seen, std::vector<std::string>{"0_sys,0:\\zz"});
    EXPECT_EQ(Int(), 2);
}

// A statement is split once and its arguments reused: every run of the same statement, a
// subroutine call with arguments among them, sees the same arguments, and an object handler that
// changes its arguments changes only its own copy.
TEST_F(GeneralCommandsTest, RepeatedStatementsSeeTheSameArgumentsEveryTime) {
    int32_t objectRuns = 0;
    H.Kinds.RegisterHandler(TObjectKind::System, [&](TKelScript&, int32_t, TStringList& args, TKelObjectDataCustom&) {
        EXPECT_EQ(args.Count(), 9);
        EXPECT_EQ(args[1], "1");
        args.Items[1] = "changed";
        args.Add("more");
        ++objectRuns;
        return true;
    });
    ASSERT_TRUE(
        H.Start("@@f\n"
                "\\cal,count[i]=ParamCount,first[i]=ParamInt[0],text[i]=ParamStr[1]\n"
                "\\ret\n"
                "@@main\n"
                "\\gvar,int,i,count[4],first[4]\n"
                "\\gvar,str,text[4],made[4]\n"
                "\\scp,sys\n"
                "\\for,i=0,i<4,i=i+1\n"
                "\\sub,@@f,,i*10,\"あ\"\n"
                "\\fmt,\"%d:\",i,\"%s\",text[i]\n"
                "\\cal,made[i]=ResultStr[0]\n"
                "\\zz,1\n"
                "\\next\n"
                "\\wait,100000\n",
                "@@main"));
    H.Run(2);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
    EXPECT_EQ(objectRuns, 4);
    for (int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(H.Var("count", i).Value, 2);
        EXPECT_EQ(H.Var("first", i).Value, i * 10);
        EXPECT_EQ(Encoding::SjisToUtf8(H.Var("made", i).Text), std::to_string(i) + ":あ");
    }
}

TEST(GeneralCommandsSetup, AnInterpreterWithoutAGeneralHandlerGetsThisOne) {
    TContextFixture context;
    TKelScript script;
    ASSERT_TRUE(script.Setup(TScriptLinks{.Context = &context.Context}));
    EXPECT_EQ(script.Words.General, &KelGeneralCommands::Handler());
}

TEST_F(GeneralCommandsTest, TextsPastTheSizeLimitAreRefused) {
    // Texts just under and just over half the limit: doubling the first fits, the second does not.
    const std::string fits(kMaxTextSize / 2, 'x'), over(kMaxTextSize / 2 + 1, 'x');
    H.Declare(TVariableScope::Game, "s", TCalcValueType::String);
    H.Declare(TVariableScope::Game, "t", TCalcValueType::String);
    auto set = [&](const std::string& text) {
        H.Script.Variables->WriteElement(TVariableScope::Game, "s", TVariableIndexes{}, 0, TCalcValue::Str(text), true);
    };
    struct Case {
        const char* Statement;
        const std::string* Text;
        bool Refused;
    };
    const Case cases[] = {
        {R"(\cal,t=s+s)", &fits, false},
        {R"(\cal,t=s+s)", &over, true},
        {R"(\cal,t=s&s)", &over, true},
        {R"(\cal,t=1+s+s)", &fits, true},
        {R"(\rep,s,"x","xxxxxxxx")", &fits, true},
        {R"(\fmt,"%s",s,"%s",s)", &over, true},
        {R"(\fmt,"%s",s,"%s",s)", &fits, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Statement) + (c.Text == &over ? " over" : " fits"));
        H.ClearErrors();
        set(*c.Text);
        H.Script.ExecuteLine("\\cal,t=\"\"");
        Run({c.Statement});
        const size_t made = std::max(H.Var("t").Text.size(), H.Var("ResultStr").Text.size());
        if (c.Refused) {
            EXPECT_NE(FirstError().find("文字列が長すぎます"), std::string::npos) << FirstError();
            EXPECT_TRUE(H.Context.Log.ErrorFlag);
            EXPECT_EQ(made, 0u);  // nothing past the limit is kept
        } else {
            EXPECT_EQ(H.Errors().size(), 0u) << FirstError();
            EXPECT_EQ(made, kMaxTextSize);
        }
    }
    // Every word's text result goes through this one write.
    H.ClearErrors();
    H.Script.SetResultStr("ResultStr", 1, over + over);
    EXPECT_NE(FirstError().find("文字列が長すぎます"), std::string::npos);
    EXPECT_EQ(H.Var("ResultStr", 1).Text, "");
}

}  // namespace
