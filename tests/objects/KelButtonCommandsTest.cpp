// The button and scroll-bar words run as script statements through the headless interpreter: a
// button's own words after the image words it shares, the click it makes and the click query that
// answers once, the bar's table with its value rules, channels, masks and user data, loads and
// their messages, objects without an engine object, unknown words, and extreme arguments.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "media/AnimationBmpWriter.h"
#include "objects/ButtonLib.h"
#include "objects/KelButtonCommands.h"
#include "objects/KelImageCommands.h"
#include "objects/KelMessageCommands.h"
#include "objects/KelScreenObjects.h"
#include "objects/ScrollBarLib.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"

namespace {

using AnimationFixtures::SolidPng;

// w x h, hit over the whole frame, with the usual motions and any others named.
std::string Animation(int32_t w, int32_t h, const std::vector<const char*>& extra = {}) {
    AnimationBmpWriter::TFile file = AnimationFixtures::StateFile(w, h, {SolidPng(w, h, 0xFF808080)});
    const AnimationBmpWriter::TMotion like = file.Motions[0];
    for (const char* name : extra) {
        file.Motions.push_back(like);
        file.Motions.back().Name = name;
    }
    return AnimationBmpWriter::Write(file);
}

const std::string kFailedLoad = "\\l：画像にロードに失敗：";

class ButtonWordsTest : public ::testing::Test {
protected:
    ButtonWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelScreenObjects::Register(kinds);
              KelImageCommands::Register(kinds);
              KelButtonCommands::Register(kinds);
              links.Sound = &Sound;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        // Buttons 40 x 20; a track 104 x 10 and a thumb 4 x 10, so that a value of max 100 is
        // the pixel along the track less 2.
        H.AddRawFile("btn.b", Animation(40, 20, {"*OnClick", "*OnLock", "*OnCheck"}));
        H.AddRawFile("track.b", Animation(104, 10));
        H.AddRawFile("thumb.b", Animation(4, 10));
        H.Execute({"\\var,btn,ok", "\\var,sbtn,menu", "\\var,bar,volume"});
    }

    // Statements, then a query whose first elements must read as given, and the first message
    // the statements wrote. Every query clears the results before it writes.
    void Check(const std::vector<TQueryRow>& rows) { QueryRows::Run(H, rows, {6, 66, "stale"}); }

    TButtonLib& Button(const std::string& variable = "ok") {
        return dynamic_cast<TButtonLink*>(H.Script.Objects->Find(H.Var(variable).Text)->ScreenObject())->Object();
    }
    TImageScrollBar& Bar() {
        auto* object = dynamic_cast<TKelObjectDataScrollBar*>(H.Script.Objects->Find(H.Var("volume").Text));
        return dynamic_cast<TKelScrollBarLink*>(object->ScrollBar())->Object();
    }

    TChannelCounts Sound;
    TScriptHarness H;
};

TEST_F(ButtonWordsTest, StateWordsAndTheClickThatAnswersOnce) {
    H.Execute({"\\scp,ok", "\\l,\"btn.b\"", "\\e", "\\p,10,10,0,0", "\\sp,5,5"});
    H.Script.HoldFrames = 0;  // the load's hold has passed
    H.Step();                 // the hit areas stand where the frame put them
    int32_t clicks = 0;
    Button().OnClick = [&clicks](TButtonLib&) { ++clicks; };
    Check({
        {{"\\lk,1"}, "\\?lk", {1}},
        {{"\\lk,256"}, "\\?lk", {0}},  // only the low byte counts
        {{"\\ck,1"}, "\\?ck", {1}},
        {{"\\ck,-255"}, "\\?ck", {1}},  // low byte 1
        {{"\\ck,0"}, "\\?ck", {0}},
        {{}, "\\?bc", {0}},
        {{"\\bc"}, "\\?bc", {1}},
    });
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Button().GetCurrentMotionName(), "*OnClick");
    // The query left the countdown at 1: the next update ends the click.
    EXPECT_EQ(Button().ButtonRecord.ClickCountdown, 1);
    H.Step();
    Check({{{}, "\\?bc", {0}}});

    // A click that the button does not take: nothing to report, no event.
    Check({
        {{"\\lk,1", "\\bc"}, "\\?bc", {0}},
        {{"\\lk,0", "\\d", "\\bc"}, "\\?bc", {0}},
        {{"\\e", "\\in,0", "\\bc"}, "\\?bc", {0}},
        {{"\\in", "\\sp,50,5", "\\bc"}, "\\?bc", {0}},  // the click point lies off the button
        {{"\\sp,39,19", "\\bc"}, "\\?bc", {1}},
    });
    EXPECT_EQ(clicks, 2);
    H.Step();
    // The interpreter's update mask decides, as for a real click.
    H.Script.State.UpdateMask = 2;
    Check({{{"\\in,1", "\\bc"}, "\\?bc", {0}}, {{"\\in,3", "\\bc"}, "\\?bc", {1}}});
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(ButtonWordsTest, AButtonTakesTheImageAndMessageWordsFirst) {
    H.Execute({"\\scp,menu", "\\l,\"btn.b\"", "\\e", "\\ck,1"});
    // The caption: typed whole at once.
    Check({{{"\\ts,0,0,40,20", "\\t,Go[n]on"}, "\\gt", {1}}});
    EXPECT_EQ(Button("menu").GetState(), TMessageState::Done);
    EXPECT_EQ(Button("menu").MainPos, static_cast<int32_t>(Button("menu").MainText.size()));
    Check({
        {{"\\p,3,4,5,0"}, "\\?p", {3, 4, 5}},
        {{"\\ui,7"}, "\\?ui", {7}},
        {{}, "\\?l", {}, {"btn.b"}},
        {{"\\m,\"*OnLock\""}, "\\?m", {6}, {"*OnLock"}},
        // Clear is the button's own: the check goes with it.
        {{"\\i"}, "\\?ck", {0}},
        {{}, "\\?e", {0}},
    });
    EXPECT_EQ(Button("menu").Record.Files[0], "");
    EXPECT_EQ(Button("menu").MainText, "");
}

TEST_F(ButtonWordsTest, ScrollBarWords) {
    int32_t changes = 0;
    Bar().OnChange = [&changes](TImageScrollBar&) { ++changes; };
    H.Execute({"\\scp,volume"});
    const std::string long70(70, 'y');
    Check({
        {{"\\l,\"thumb.b\",\"track.b\",0", "\\p,20,30,5", "\\e"}, "\\?l", {}, {"thumb.b", "track.b"}},
        {{}, "\\?p", {20, 30, 5}},
        {{}, "\\?e", {1}},
        {{"\\v,37"}, "\\?v", {37}},
        {{"\\v,500"}, "\\?v", {100}},
        {{"\\v,-4"}, "\\?v", {0}},
        {{"\\mv,50", "\\v,80"}, "\\?mv", {50}},
        {{}, "\\?v", {50}},
        {{"\\mv,0"}, "\\?mv", {50}},  // ignored
        {{"\\mv,20"}, "\\?v", {20}},  // lowered, without an event
        // Disabled, the bar reports neither value nor maximum.
        {{"\\d"}, "\\?v", {0}},
        {{}, "\\?mv", {0}},
        {{}, "\\?e", {0}},
        {{"\\e"}, "\\?v", {20}},
        // Masks: no argument restores all bits.
        {{"\\in,0"}, "\\?in", {0}},
        {{"\\in"}, "\\?in", {255}},
        {{"\\out,6"}, "\\?out", {6}},
        {{"\\out"}, "\\?out", {255}},
        // The bar's own user data.
        {{"\\ui,1,2,3,4", "\\ui,5,,7"}, "\\?ui", {5, 2, 7, 4}},
        {{"\\us,\"a\",\"b\"", "\\us,,\"" + long70 + "\""}, "\\?us", {}, {"a", long70.substr(0, 64), "", ""}},
        // Channels: 4 streams, 3 effect channels.
        {{"\\sc,3"}, "\\?sc", {3}},
        {{"\\sc,4"}, "\\?sc", {3}, {}, "\\sc:範囲外のチャンネルを指定しました"},
        {{"\\dc,2"}, "\\?dc", {2}},
        {{"\\dc,-1"}, "\\?dc", {2}, {}, "\\dc:範囲外のチャンネルを指定しました"},
    });
    EXPECT_EQ(changes, 4);  // 37, 100, 0, 50; not 20, which the maximum set
    TImageScrollBar& bar = Bar();
    EXPECT_EQ(bar.Track->Record.SoundChannel, 3);
    EXPECT_EQ(bar.Track->Record.EffectChannel, 2);
    EXPECT_EQ(bar.Track->Record.InputMask, 255u);
    EXPECT_EQ(bar.Thumb->Record.DrawMask, 255u);
    // Laid out by the next frame: value 20 of 20 puts the thumb at the track's far end.
    H.Step();
    EXPECT_EQ(bar.Thumb->Record.X, 120);
    EXPECT_EQ(bar.Thumb->Record.Z, 15);

    // Clear: the record's defaults, and a bar that reports nothing until enabled again.
    Check({{{"\\i"}, "\\?l", {}, {"", ""}}, {{}, "\\?v", {0}}, {{"\\e"}, "\\?mv", {100}}});
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(ButtonWordsTest, ScrollBarLoadsAndTheirMessages) {
    H.AddRawFile("bad.b", "not an animation");
    H.Execute({"\\scp,volume"});
    struct TCase {
        std::string Statement;
        std::string Error;
        std::string Thumb;
        int32_t Vertical;
    };
    const TCase cases[] = {
        {"\\l,\"thumb.b\",\"track.b\",7", "", "thumb.b", 1},
        // Names that no search folder holds are empty names: those pictures are left empty.
        {"\\l,\"lost.b\",\"track.b\"", "", "", 0},
        {"\\l,\"thumb.b\",\"gone.b\",1", "", "thumb.b", 1},
        {"\\l,\"thumb.b\",\"bad.b\"", kFailedLoad + "thumb.b:bad.b", "thumb.b", 0},
        {"\\l", "", "", 0},  // no files: an empty bar
    };
    for (const TCase& c : cases) {
        H.ClearErrors();
        H.Script.HoldFrames = 0;
        H.Execute({c.Statement});
        EXPECT_EQ(H.FirstError(), c.Error) << c.Statement;
        EXPECT_EQ(Bar().Thumb->Record.Files[0], c.Thumb) << c.Statement;
        EXPECT_EQ(Bar().Record.Vertical, c.Vertical) << c.Statement;
        EXPECT_EQ(H.Script.HoldFrames, 0) << c.Statement;  // a bar's load holds no frame
    }
}

TEST_F(ButtonWordsTest, EveryWordWithoutAnEngineObjectAndUnknownWords) {
    // Objects whose kinds have handlers but no factory: every word is taken and changes nothing.
    TObjectKindRegistry handlersOnly;
    KelButtonCommands::Register(handlersOnly);
    TKelScript bare;
    bare.Kinds = &handlersOnly;
    bare.Words.General = &KelGeneralCommands::Handler();
    ASSERT_TRUE(bare.Setup(TScriptLinks{.Context = &H.Context.Context}));
    bare.ExecuteLine("\\var,btn,b");
    bare.ExecuteLine("\\var,bar,s");
    struct TTable {
        const char* Object;
        std::vector<const char*> Words;
    };
    std::vector<const char*> buttonWords(KelImageCommands::ImageWords().begin(), KelImageCommands::ImageWords().end());
    for (auto words : {KelMessageCommands::MessageWords(), KelButtonCommands::ButtonWords()})
        buttonWords.insert(buttonWords.end(), words.begin(), words.end());
    const std::vector<const char*> barWords(KelButtonCommands::ScrollBarWords().begin(),
                                            KelButtonCommands::ScrollBarWords().end());
    for (const TTable& t : {TTable{"b", buttonWords}, TTable{"s", barWords}}) {
        bare.ExecuteLine(std::string("\\scp,") + t.Object);
        for (const char* word : t.Words) {
            H.ClearErrors();
            bare.SetResultInt("ResultInt", 3, 9);
            bare.ExecuteLine(std::string("\\") + word);
            EXPECT_EQ(H.Errors(), std::vector<std::string>{}) << t.Object << " " << word;
            if (word[0] == '?') {
                EXPECT_EQ(bare.Evaluate("ResultInt[3]").Value, 0) << t.Object << " " << word;
            }
        }
    }

    // A word of no table is left to the dispatcher; a bar knows no image word that it lacks.
    const QueryRows::TErrorRow cases[] = {
        {{"\\scp,ok", "\\zz,1"}, "未定義の命令：0_ok,0(btn).\\zz,1"},
        {{"\\scp,menu", "\\zz"}, "未定義の命令：0_menu,0(sbtn).\\zz"},
        {{"\\scp,volume", "\\m,1"}, "未定義の命令：0_volume,0(bar).\\m,1"},
        {{"\\scp,volume", "\\bc"}, "未定義の命令：0_volume,0(bar).\\bc"},
    };
    QueryRows::RunErrors(H, cases);
}

// Positions, click points, values and maximums at the ends of the 32-bit range reach the objects
// saturated: nothing overflows, and the bar still lays out and reports within its bounds.
TEST_F(ButtonWordsTest, ExtremeArguments) {
    H.Execute({"\\scp,ok", "\\l,\"btn.b\"", "\\e", "\\p,2147483647,-2147483648,0,0", "\\sp,2147483647,-2147483648",
               "\\bc", "\\lk,-2147483648", "\\ck,2147483647"});
    EXPECT_EQ(Button().Record.PointerX, INT_MAX);
    EXPECT_EQ(Button().Record.PointerY, INT_MIN);
    EXPECT_FALSE(Button().IsLocked());  // low byte 0
    EXPECT_TRUE(Button().IsChecked());  // low byte 0xFF

    H.Execute({"\\scp,volume", "\\l,\"thumb.b\",\"track.b\",0", "\\e"});
    Check({
        {{"\\p,2147483647,-2147483648,2147483647", "\\mv,2147483647", "\\v,2147483647"}, "\\?v", {INT_MAX}},
        {{}, "\\?p", {INT_MAX, INT_MIN, INT_MAX}},
        {{"\\mv,-2147483648"}, "\\?mv", {INT_MAX}},
        {{"\\v,-2147483648"}, "\\?v", {0}},
        {{"\\in,-1", "\\us,,,,\"z\""}, "\\?in", {-1}},
    });
    H.Step();
    H.Execute({"\\v,2147483647"});
    H.Step();
    EXPECT_EQ(Bar().Thumb->Record.Z, INT_MAX);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

}  // namespace
