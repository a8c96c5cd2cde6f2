// The "skey" and "inp" words run as script statements: bindings made by the words reach the frame
// step, keys and pointer read from the input device, the recent click over four frame steps, the
// seventeenth key held, the cursor settings of the target script, and the clicks of buttons and
// drags of scroll bars that are reported once each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/ButtonLib.h"
#include "objects/KelButtonCommands.h"
#include "objects/KelImageCommands.h"
#include "objects/KelInputCommands.h"
#include "objects/KelScreenObjects.h"
#include "objects/ScrollBarLib.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"

namespace {

constexpr uint8_t kKeyA = 'A';

class InputWordsTest : public ::testing::Test {
protected:
    InputWordsTest()
        : H([](TObjectKindRegistry& kinds, TScriptLinks&) {
              KelScreenObjects::Register(kinds);
              KelImageCommands::Register(kinds);
              KelButtonCommands::Register(kinds);
              KelInputCommands::Register(kinds);
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.PassInputLock();
    }
    // Down in one frame step, up in the next.
    void Tap(uint8_t vk) {
        H.InputSource.Press(vk);
        H.Step();
        H.InputSource.Release(vk);
        H.Step();
    }

    TScriptHarness H;
};

TEST_F(InputWordsTest, BindingsMadeByTheWordsReachTheFrameStep) {
    ASSERT_TRUE(H.Start("\\clk"));
    H.Execute({"\\scp,skey", "\\a,65,\"menu\",@@open,0", "\\a,65,\"log\",@@other,0", "\\a,66,\"custom\",\"@@sys\",12"});
    ASSERT_EQ(H.Script.SystemKeys->Count(), 2);  // a key bound already keeps its first binding
    const TSystemKeyData& custom = *H.Script.SystemKeys->Items(1);
    EXPECT_EQ(custom.Label, "@@sys");
    EXPECT_EQ(custom.NumberText, "12");
    EXPECT_EQ(custom.FourthText, "");

    H.Script.State.Locks = 0;
    H.InputSource.Press(kKeyA);
    H.Step();
    EXPECT_EQ(H.Script.Request, srMenu);
    EXPECT_EQ(H.Script.RequestArgument, "@@open");
    H.InputSource.Release(kKeyA);

    // Locked, the table reads no key; "i" removes every binding and the lock.
    QueryRows::Run(H, {
                          {{"\\lk,1"}, "\\?lk", {1}},
                          {{"\\lk,2"}, "\\?lk", {0}},
                          {{"\\lk,1", "\\i"}, "\\?lk", {0}},
                      });
    EXPECT_EQ(H.Script.SystemKeys->Count(), 0);
    H.Execute({"\\a,65,\"menu\"", "\\d,65", "\\d,99"});
    EXPECT_EQ(H.Script.SystemKeys->Count(), 0);
    Tap(kKeyA);
    EXPECT_EQ(H.Script.Request, 0);
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
}

TEST_F(InputWordsTest, KeysPointerAndWheel) {
    H.Execute({"\\scp,inp"});
    H.InputSource.Press(kKeyA);
    H.InputSource.PointerAt = {30, 40};
    H.InputSource.Wheel(-120);
    H.Step();
    QueryRows::Run(H, {
                          {{}, "\\k,65", {1}},      // pressed in this step
                          {{}, "\\k,262209", {1}},  // held (mode 4)
                          {{}, "\\k,4161", {0}},    // with Ctrl: not held
                          {{}, "\\kl,0", {65}},     // the keys pressed now
                          {{}, "\\mp", {30, 40}},
                          {{}, "\\mw", {-120}},
                      });
    H.Step();
    QueryRows::Run(H, {{{}, "\\k,65", {0}}, {{}, "\\mw", {0}}});
    H.InputSource.Release(kKeyA);
    H.Execute({"\\smp,7,8"});
    EXPECT_EQ(H.InputSource.PointerAt.X, 7);
    EXPECT_EQ(H.InputSource.PointerAt.Y, 8);
    // An injected key is seen at the next poll, in that step only.
    H.Execute({"\\sk,66"});
    H.Step();
    QueryRows::Run(H, {{{}, "\\k,66", {1}}});
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
}

TEST_F(InputWordsTest, ASeventeenthKeyIsReportedWithoutStoppingTheScript) {
    for (uint8_t vk = 'A'; vk <= 'R'; ++vk)
        H.InputSource.Press(vk);
    H.Step();
    H.Execute({"\\scp,inp", "\\kl,0"});
    for (int32_t k = 0; k < 16; ++k)
        EXPECT_EQ(H.ResultInt(k), 'A' + k);
    const std::vector<std::string> errors = H.Errors();
    ASSERT_EQ(errors.size(), 2u);  // 'Q' and 'R'
    EXPECT_NE(errors[0].find("範囲外の配列に書き込もうとしました:ResultInt"), std::string::npos) << errors[0];
    EXPECT_FALSE(H.Context.Log.ErrorFlag);
}

TEST_F(InputWordsTest, ARecentClickIsReportedWithinFourSteps) {
    ASSERT_TRUE(H.Start("\\wait,100000"));
    H.Execute({"\\scp,skey", "\\a,65,\"keyclick\"", "\\scp,inp"});
    auto sc = [&] {
        H.Execute({"\\sc"});
        return H.ResultInt(0);
    };
    H.InputSource.Press(kKeyA);
    H.Step();  // the click
    EXPECT_EQ(sc(), 1);
    EXPECT_EQ(sc(), 1);  // again in the same step
    H.InputSource.Release(kKeyA);
    H.Step();
    EXPECT_EQ(sc(), 0);  // reported already

    // Unasked, it stays for the step of the click and the three after it.
    H.InputSource.Press(kKeyA);
    H.Step();
    H.InputSource.Release(kKeyA);
    H.Step();
    H.Step();
    H.Step();
    EXPECT_EQ(sc(), 1);
    H.Step();
    EXPECT_EQ(sc(), 0);
}

TEST_F(InputWordsTest, CursorSettingsGoToTheTarget) {
    H.Execute({"\\scp,inp", "\\ms,2", "\\mh,500", "\\bsv,3,-4", "\\bs,\"nowhere\""});
    EXPECT_EQ(H.Script.State.CursorVisible, 0);  // only 1 shows it
    EXPECT_EQ(H.Script.State.CursorHideTime, 500u);
    // The frame step hands the setting to the input device, whose next poll hides the cursor.
    H.Run(2);
    EXPECT_FALSE(H.InputSource.Shown);
    QueryRows::Run(H, {{{"\\ms,1"}, "\\?bsv", {3, -4}}});
    H.Run(2);
    EXPECT_TRUE(H.InputSource.Shown);
}

TEST_F(InputWordsTest, ClicksOfButtonsAndDragsOfBarsAreReportedOnceEach) {
    H.AddRawFile("btn.b", AnimationBmpWriter::Write(
                              AnimationFixtures::StateFile(8, 8, {AnimationFixtures::SolidPng(8, 8, ~0u)})));
    H.Execute({"\\var,btn,first,second", "\\var,bar,volume", "\\scp,first", "\\l,\"btn.b\"", "\\ui,1,2,3,4",
               "\\us,\"a\",\"b\"", "\\scp,second", "\\l,\"btn.b\"", "\\ui,9", "\\scp,volume", "\\ui,5", "\\us,\"v\""});
    auto button = [&](const char* name) -> TButtonLib& {
        return dynamic_cast<TButtonLink*>(H.Script.Objects->Find(H.Var(name).Text)->ScreenObject())->Object();
    };
    auto* bar = dynamic_cast<TKelObjectDataScrollBar*>(H.Script.Objects->Find(H.Var("volume").Text));
    TImageScrollBar& track = dynamic_cast<TKelScrollBarLink*>(bar->ScrollBar())->Object();
    button("first").ButtonRecord.ClickCountdown = 4;
    button("second").ButtonRecord.ClickCountdown = 2;
    track.Record.DragCountdown = 3;

    H.Execute({"\\scp,inp"});
    QueryRows::Run(H, {
                          {{}, "\\gbc", {1, 2, 3, 4}, {"a", "b", "", ""}},
                          {{}, "\\gbc", {9, 0, 0, 0}},
                          {{}, "\\gbc", {0}},
                          {{}, "\\gsc", {5}, {"v"}},
                          {{}, "\\gsc", {0}},
                      });
    EXPECT_EQ(button("first").ButtonRecord.ClickCountdown, 0);
    // A countdown that ran out before anyone asked reports nothing.
    button("second").ButtonRecord.ClickCountdown = 1;
    H.Script.HoldFrames = 0;  // the loads' hold has passed: the step updates the objects
    H.Step();
    QueryRows::Run(H, {{{}, "\\gbc", {0}}});
    // The object name comes with the results.
    button("second").ButtonRecord.ClickCountdown = 1;
    H.Execute({"\\gbc"});
    EXPECT_EQ(H.Var("ResultObj").Text, H.Var("second").Text);
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
}

}  // namespace
