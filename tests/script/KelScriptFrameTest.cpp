#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "foundation/SystemConfigLib.h"
#include "platform/FileRoot.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"
#include "script/uLabelLog.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TestData.h"

namespace {

constexpr uint8_t kKeyA = 65, kKeyB = 66;

// The parts of a screen object that the frame step does not look at.
template <typename Base>
class TQuietObject : public Base {
public:
    void Clear() override {}
    void Update(uint32_t, int32_t elapsed) override { Updated += elapsed; }
    void Draw(TARGB8888CellDraw*, uint32_t, int32_t, int32_t) override {}
    bool SaveToStream(TStream&) override { return true; }
    bool LoadFromStream(TStream&) override { return true; }
    void RestoreState() override {}
    void CaptureState() override {}
    int32_t Z() const override { return 0; }
    TKelScreenObjectInfo Info() const override { return {}; }
    void MouseMove(uint32_t, int32_t, int32_t) override {}
    int32_t Updated = 0;
};

// A button that takes clicks inside x 0..99, y 0..99, with user data, lock and check.
class TFakeButton final : public TQuietObject<IKelButtonObject>, public IKelUserData, public IKelButtonState {
public:
    bool Click(uint32_t, int32_t x, int32_t y) override {
        ++Clicks;
        return x >= 0 && x < 100 && y >= 0 && y < 100;
    }
    int32_t UserInt(int32_t i) const override { return Ints[i]; }
    std::string UserString(int32_t i) const override { return Strs[i]; }
    void SetLocked(bool locked) override { Locked = locked; }
    void SetChecked(bool checked) override { IsChecked = checked; }
    bool Checked() const override { return IsChecked; }

    int32_t Ints[4] = {0, 0, 0, 0};
    std::string Strs[4];
    bool Locked = false, IsChecked = false;
    int Clicks = 0;
};

// A message window of some pages: it types each page for TypeMs, then waits for the page turn.
class TFakeMessage final : public TQuietObject<IKelMessageObject>, public IKelMessageProgress {
public:
    void Update(uint32_t, int32_t elapsed) override { Left = Left > elapsed ? Left - elapsed : 0; }
    void Advance(uint32_t) override {
        if (Typing()) {
            Left = 0;
        } else if (PageFull()) {
            --Pages;
            Left = Pages > 0 ? TypeMs : 0;
        }
    }
    bool PageFull() const override { return Pages > 0 && Left == 0; }
    bool Typing() const override { return Pages > 0 && Left > 0; }
    int32_t Pages = 0, TypeMs = 100, Left = 0;
};

class TFakeSound final : public IScriptSound {
public:
    struct TChannel {
        int32_t State = 0, Ms = 0, Group = 0;
    };
    int32_t StreamChannelCount() override { return 4; }
    int32_t EffectChannelCount() override { return 0; }
    bool SwapChannels(bool, int32_t, int32_t) override { return false; }
    int32_t StreamState(int32_t c) override { return Channels[c].State; }
    int32_t StreamPlayingTimeMs(int32_t c) override { return Channels[c].Ms; }
    int32_t StreamGroup(int32_t c) override { return Channels[c].Group; }
    std::map<int32_t, TChannel> Channels;
};

class TFakeCursor final : public IScriptCursorImage {
public:
    void Clear() override {}
    void Draw(uint32_t) override {}
    bool HasMotion(const std::string& name) override { return Motions.count(name) > 0; }
    void SetMotion(const std::string& name, bool force) override {
        Motion = name;
        Forced = force;
    }
    std::set<std::string> Motions;
    std::string Motion;
    bool Forced = false;
};

int32_t Num(const std::string& s) {
    return std::atoi(s.c_str());
}

class KelScriptFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        // "\w,state,time,time2,label,channel" puts the current routine into a wait; "\n,x" marks
        // that the script got there; "\d" delays frames.
        H.General.OnWord = [this](TKelScript& s, int32_t code, TStringList& a) {
            if (code == Cmd("w")) {
                TScriptRoutine* r = s.CurrentRoutine();
                r->WaitState = static_cast<TWaitState>(Num(a[1]));
                r->WaitTime = Num(a[2]);
                r->WaitTime2 = Num(a[3]);
                r->ClickLabel = r->EventLabel = a[4];
                r->SoundChannel = Num(a[5]);
                return true;
            }
            if (code == Cmd("n")) {
                Marks.push_back(a[1]);
                return true;
            }
            if (code == Cmd("d")) {
                s.DelayFrames();
                return true;
            }
            return false;
        };
        H.Kinds.RegisterFactory("btn", [this](TKelScript&, const std::string& n) {
            auto b = std::make_unique<TFakeButton>();
            Buttons[n] = b.get();
            return std::make_unique<TKelObjectDataButton>(n, std::move(b));
        });
        H.Kinds.RegisterFactory("sbtn", [this](TKelScript&, const std::string& n) {
            auto b = std::make_unique<TFakeButton>();
            Buttons[n] = b.get();
            return std::make_unique<TKelObjectDataSysButton>(n, std::move(b));
        });
        H.Kinds.RegisterFactory("msg", [this](TKelScript&, const std::string& n) {
            auto m = std::make_unique<TFakeMessage>();
            Messages[n] = m.get();
            return std::make_unique<TKelObjectDataMessage>(n, std::move(m));
        });
        H.Script.Links.Sound = &Sound;
        H.PassInputLock();
    }

    void Create(const std::string& keyword, const std::string& name) {
        ASSERT_TRUE(H.Script.OnObjectCreate(keyword, name));
    }
    void Bind(uint8_t vk, const std::string& action, const std::string& number = "", const std::string& label = "") {
        H.Script.SystemKeys->Add(vk, action, "", number, label);
    }
    // A key pressed for one frame step; the device sees it released before the next.
    void Tap(uint8_t vk, uint32_t ms = 16) {
        H.InputSource.Press(vk);
        H.Step(ms);
        H.InputSource.Release(vk);
        H.Input.Update();
    }
    void PointAt(int32_t x, int32_t y) { H.InputSource.PointerAt = {x, y}; }
    TScriptRoutine& Routine() { return *H.Script.CurrentRoutine(); }
    TWaitState Wait() { return Routine().WaitState; }

    TScriptHarness H;
    TFakeSound Sound;
    std::vector<std::string> Marks;
    std::map<std::string, TFakeButton*> Buttons;
    std::map<std::string, TFakeMessage*> Messages;
};

// ---- waits ----

TEST_F(KelScriptFrameTest, StopWaitEndsAtOnceAndHandsOnItsTimes) {
    ASSERT_TRUE(H.Start("\\w,1,25,10 \\n,a"));
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
    EXPECT_EQ(H.Var("ResultStopInt").Value, 25);
    EXPECT_EQ(H.Script.ExtraElapsed, 10);  // added to the next step's time
}

TEST_F(KelScriptFrameTest, ClickWaitEndsByClickOrByItsTime) {
    Bind(kKeyA, "keyclick");
    Create("btn", "b");
    // No limit: only a click ends it, and the click result is the -1 it held.
    ASSERT_TRUE(H.Start("\\w,4,-1,-1 \\n,a \\w,4,100,250 \\n,b \\w,4,40 \\n,c"));
    H.Run(10);
    EXPECT_TRUE(Marks.empty());
    Tap(kKeyA);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
    EXPECT_EQ(H.Var("ResultClkInt").Value, -1);

    // Clicked with 68 ms left: the result holds them, and the rest of the second time is added
    // to the time of this step, which the objects see.
    H.Run(2);
    int32_t before = Buttons["b"]->Updated;
    Tap(kKeyA);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(H.Var("ResultClkInt").Value, 100 - 32);
    EXPECT_EQ(Buttons["b"]->Updated - before, 16 + 250 - 32);

    // A timed wait ends by itself when its time has run down.
    H.Run(2);
    EXPECT_EQ(Marks.size(), 2u);
    H.Run(1);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(KelScriptFrameTest, ClockWaitEndsWhenTheScriptClockReachesItsTime) {
    Bind(kKeyA, "keyclick");
    ASSERT_TRUE(H.Start("\\w,5,100 \\n,a \\w,5,100000,0,@@there \\n,no\r\n@@there\r\n\\n,there"));
    H.Run(6);  // the clock is at 96
    EXPECT_TRUE(Marks.empty());
    H.Run(1);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
    // A click reports the clock and, with a click label, jumps there.
    Tap(kKeyA);
    EXPECT_EQ(H.Var("ResultClkInt").Value, 112);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "there"}));
}

TEST_F(KelScriptFrameTest, SoundWaitsEndByPositionStopOrEnd) {
    Bind(kKeyA, "keyclick");
    Sound.Channels[2] = {2, 4, 0};
    ASSERT_TRUE(
        H.Start("\\w,6,5000,0,,2 \\n,a \\w,10,0,0,,2 \\n,b \\w,6,999999,0,@@x,2 \\n,no\r\n@@x\r\n"
                "\\n,x \\w,6,999999,0,,1 \\n,stopped"));
    H.Step();
    // 1000 × 4 ms is below the 5000 - 16 left.
    H.Step();
    EXPECT_TRUE(Marks.empty());
    // 1000 × 5 ms reaches the 4968 left.
    Sound.Channels[2].Ms = 5;
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
    // The sound-end wait holds while the stream plays or loops.
    Sound.Channels[2].State = 3;
    H.Step();
    EXPECT_EQ(Marks.size(), 1u);
    Sound.Channels[2].State = 1;
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b"}));
    // A click reports 1000 × the playing time and jumps to the click label.
    Sound.Channels[2] = {2, 7, 0};
    H.Step();
    Tap(kKeyA);
    EXPECT_EQ(H.Var("ResultClkInt").Value, 7000);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b", "x"}));
    // A stream that stops ends the position wait.
    Sound.Channels[1] = {2, 0, 0};
    H.Step();
    EXPECT_EQ(Marks.back(), "x");
    Sound.Channels[1].State = 1;
    H.Step();
    EXPECT_EQ(Marks.back(), "stopped");
}

TEST_F(KelScriptFrameTest, MessageWaitFollowsTheWindowsAndClicksAdvanceThem) {
    Create("msg", "m");
    Bind(kKeyA, "keyclick");
    Messages["m"]->Pages = 2;
    Messages["m"]->Left = 100;
    ASSERT_TRUE(H.Start("\\w,7 \\n,done"));
    H.Step();
    EXPECT_EQ(Wait(), wsMessageTyping);
    H.Step(100);  // typing ends: the page waits to be turned
    EXPECT_EQ(Wait(), wsMessagePage);
    Tap(kKeyA);  // turns to the second page, which types again
    EXPECT_EQ(Wait(), wsMessageTyping);
    Tap(kKeyA);  // finishes the typing at once
    EXPECT_EQ(Wait(), wsMessagePage);
    EXPECT_TRUE(Marks.empty());
    Tap(kKeyA);
    EXPECT_EQ(Wait(), wsNone);
    EXPECT_EQ(Marks, (std::vector<std::string>{"done"}));
}

TEST_F(KelScriptFrameTest, EventWaitCallsItsLabelUntilItRunsOutWithinTheBudget) {
    // Returns land in the caller's label, so the waiting code stands under one.
    ASSERT_TRUE(H.Start("@@main\r\n\\w,2,40,0,@@ev \\n,after\r\n@@ev\r\n\\n,ev \\ret", "@@main"));
    // A call takes four passes: the call, the label line, the mark and the return, after which
    // the waiting routine ends the step. Three passes leave the call unfinished.
    H.Script.State.LinesPerFrame = 3;
    H.Run(2);
    EXPECT_EQ(Marks, (std::vector<std::string>{"ev"}));
    EXPECT_EQ(H.Script.Thread->Count(), 2);
    H.Step();  // returns; the wait's time did not run while the event routine was on top
    EXPECT_EQ(H.Script.Thread->Count(), 1);
    EXPECT_EQ(Routine().WaitTime, 24);
    H.Run(2);
    EXPECT_EQ(Marks, (std::vector<std::string>{"ev", "ev"}));
    H.Step();  // 8 - 16: the wait is over
    EXPECT_EQ(Marks, (std::vector<std::string>{"ev", "ev", "after"}));
    EXPECT_TRUE(H.Errors().empty());
}

TEST_F(KelScriptFrameTest, ButtonWaitTakesTheClickedButtonOrTimesOut) {
    Create("btn", "yes");
    Buttons["yes"]->Ints[0] = 7;
    Buttons["yes"]->Ints[3] = 9;
    Buttons["yes"]->Strs[1] = "one";
    Bind(kKeyA, "click");
    ASSERT_TRUE(H.Start("\\w,9,-1 \\n,a \\w,9,30 \\n,b"));
    H.Step();
    PointAt(300, 300);  // misses
    Tap(kKeyA);
    EXPECT_EQ(Wait(), wsButton);
    PointAt(10, 10);
    Tap(kKeyA);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
    EXPECT_EQ(H.Var("ResultBtn").Text, "yes");
    EXPECT_EQ(H.Var("ResultBtnInt", 0).Value, 7);
    EXPECT_EQ(H.Var("ResultBtnInt", 3).Value, 9);
    EXPECT_EQ(H.Var("ResultBtnStr", 1).Text, "one");
    H.Run(2);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(H.Var("ResultBtn").Text, "");
    EXPECT_EQ(H.Var("ResultBtnInt", 0).Value, 0);
}

// ---- frame pacing ----

TEST_F(KelScriptFrameTest, DelayedFramesRunNoStatementsUnlessSkipping) {
    ASSERT_TRUE(H.Start("\\n,a \\d \\n,b \\d \\n,c \\d \\n,e"));
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
    H.Step();  // the delayed step
    EXPECT_EQ(Marks.size(), 1u);
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b"}));
    H.Script.State.Locks = 0;
    H.Script.State.RunMode = TRunMode::Skip;
    H.Step();
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b", "c", "e"}));
}

TEST_F(KelScriptFrameTest, HeldFramesStopTimeForWaitsAndObjects) {
    Create("btn", "b");
    ASSERT_TRUE(H.Start("\\w,3,30 \\n,a"));
    H.Step();
    H.Script.HoldFrameSteps();
    H.Step();
    EXPECT_EQ(Routine().WaitTime, 30);
    EXPECT_EQ(Buttons["b"]->Updated, 16);        // only the first step moved it
    EXPECT_EQ(H.Script.State.ScriptClock, 32u);  // the clock counts every step
    H.Step();
    EXPECT_EQ(Routine().WaitTime, 14);
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
}

// ---- run modes ----

TEST_F(KelScriptFrameTest, AutoModeClicksWhenTheCounterRunsOutAndNoVoicePlays) {
    H.Script.State.Locks = 0;
    H.Script.State.RunMode = TRunMode::Auto;
    ASSERT_TRUE(H.Start("\\w,4,-1 \\n,a \\w,4,48 \\n,b"));
    H.Step();
    H.Script.AutoModeWait() = 40;
    H.Run(3);  // 40 → 24 → 8 → 0, tested before each countdown
    EXPECT_TRUE(Marks.empty());
    Sound.Channels[3] = {2, 0, 1};  // a voice plays
    H.Step();
    EXPECT_TRUE(Marks.empty());
    Sound.Channels[3].Group = 0;  // music does not hold the auto mode
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
    EXPECT_EQ(H.Script.State.RunMode, TRunMode::Auto);
    // A timed click wait is never clicked while it still has time.
    H.Run(2);
    EXPECT_EQ(Marks.size(), 1u);
    H.Step();
    EXPECT_EQ(Marks.size(), 2u);
    EXPECT_EQ(H.Var("ResultClkInt").Value, -1);  // the timed wait ended by itself
}

TEST_F(KelScriptFrameTest, RunModesStopOnTheirLockABoundKeyOrARealClick) {
    Bind(kKeyA, "click");
    Bind(kKeyB, "nothing-known");
    ASSERT_TRUE(H.Start("\\w,4,-1"));
    H.Step();
    constexpr TRunMode View = TRunMode::View, Auto = TRunMode::Auto, Skip = TRunMode::Skip,
                       SkipRead = TRunMode::SkipRead;
    struct Case {
        TRunMode mode;
        uint32_t locks;
        uint8_t key;  // 0: none
        bool stops;
    } cases[] = {
        {Auto, lkAuto, 0, true},  {Auto, lkSkip, 0, false}, {Skip, lkSkip, 0, true}, {SkipRead, lkSkip, 0, true},
        {Skip, lkAuto, 0, false}, {Auto, 0, kKeyA, true},   {View, 0, kKeyA, true},  {Skip, 0, kKeyB, false},
    };
    for (const auto& c : cases) {
        H.Script.State.RunMode = c.mode;
        H.Script.State.Locks = c.locks;
        Routine().WaitState = wsTimer;  // a click does nothing to it
        Routine().WaitTime = -1;
        if (c.key)
            Tap(c.key);
        else
            H.Step();
        EXPECT_EQ(H.Script.State.RunMode == TRunMode::Normal, c.stops)
            << int(c.mode) << " " << c.locks << " " << int(c.key);
    }
}

TEST_F(KelScriptFrameTest, SkipModeClicksEveryStepButLetsTimersRun) {
    H.Script.State.Locks = 0;
    H.Script.State.RunMode = TRunMode::Skip;
    Create("msg", "m");
    Messages["m"]->Pages = 1;
    Messages["m"]->Left = 500;
    ASSERT_TRUE(
        H.Start("\\w,4,-1 \\n,click \\w,10,0,0,,0 \\n,wav \\w,7 \\n,msg \\w,3,40 \\n,timer \\w,5,500 \\n,clock "
                "\\w,5,99999,0,@@x \\n,no\r\n@@x\r\n\\w,2,-1,0,@@ev \\n,no\r\n@@ev\r\n\\ret"));
    Sound.Channels[0] = {3, 0, 0};  // looping: only the click ends the wait
    H.Step();
    H.Step();
    EXPECT_TRUE(H.Context.Settings.Skipping);
    EXPECT_EQ(Marks, (std::vector<std::string>{"click"}));
    H.Step();
    EXPECT_EQ(Marks.back(), "wav");
    H.Step();  // finishes the typing; the next step turns the page
    H.Step();
    EXPECT_EQ(Marks.back(), "msg");
    H.Step();
    EXPECT_EQ(Marks.back(), "msg");  // the timer runs its course
    H.Run(2);
    EXPECT_EQ(Marks.back(), "timer");
    EXPECT_EQ(Wait(), wsClock);
    H.Step();
    EXPECT_EQ(Marks.back(), "timer");  // a clock wait without a label too
    H.Script.State.ScriptClock = 500;
    H.Step();
    EXPECT_EQ(Marks.back(), "clock");
    H.Step();  // with a label it ends and jumps; then the event wait gets no click
    EXPECT_EQ(Wait(), wsEvent);
    H.Step();
    EXPECT_EQ(Wait(), wsEvent);
    EXPECT_EQ(H.Script.State.RunMode, TRunMode::Skip);
    EXPECT_EQ(std::count(Marks.begin(), Marks.end(), "no"), 0);
    // A button wait ends the skip and does not end itself.
    Routine().WaitState = wsButton;
    H.Step();
    EXPECT_EQ(H.Script.State.RunMode, TRunMode::Normal);
    EXPECT_FALSE(H.Context.Settings.Skipping);
    EXPECT_EQ(Wait(), wsButton);
}

TEST_F(KelScriptFrameTest, SkippingReadTextStopsAtTheFirstLineNeverRead) {
    TLabelLog log;
    H.Script.Links.ReadTextLog = &log;
    ASSERT_TRUE(H.Start("@@scene\r\n\\n,1\r\n\\n,2\r\n\\n,3\r\n\\n,4", "@@scene"));
    log.SetCount("test.s@@scene", 2, false);
    H.Script.State.Locks = 0;
    H.Script.State.RunMode = TRunMode::SkipRead;
    H.Script.State.LinesPerFrame = 1;
    H.Run(3);  // the label line, then two lines read before
    EXPECT_EQ(Marks, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(H.Script.State.RunMode, TRunMode::SkipRead);
    H.Step();  // fetching line 3 stores a new offset and ends the mode
    EXPECT_EQ(H.Script.State.RunMode, TRunMode::Normal);
    EXPECT_EQ(log.GetCount("test.s@@scene"), 3);
}

// ---- key actions ----

TEST_F(KelScriptFrameTest, KeyBindingsAskTheHostOnlyWhenTheirLockIsClear) {
    struct Case {
        const char* action;
        uint32_t lock;
        uint8_t request;
    } cases[] = {
        {"menu", lkMenu, 3},          {"log", lkLog, 4},           {"screen", lkScreen, 5},
        {"reset", lkReset, 7},        {"exit", lkReset, 2},        {"load", lkLoad, 10},
        {"save", lkSave, 9},          {"view", lkView, 12},        {"config", lkConfig, 11},
        {"minimize", lkMinimize, 24}, {"auto", lkAuto, 13},        {"skip", lkSkip, 14},
        {"logskip", lkSkip, 15},      {"quicksave", lkSave, 16},   {"quickload", lkLoad, 17},
        {"selectload", lkLoad, 18},   {"SceneReturn", lkJump, 21},
    };
    ASSERT_TRUE(H.Start("\\w,4,-1"));
    for (const auto& c : cases) {
        H.Script.SystemKeys->Clear();
        Bind(kKeyA, c.action, "", "@@label");
        H.Script.State.Locks = TScriptStateBlock::kAllLocks & ~c.lock;
        Tap(kKeyA);
        EXPECT_EQ(H.Script.Request, c.request) << c.action;
        EXPECT_EQ(H.Script.RequestArgument, "@@label") << c.action;
        H.Script.State.Locks = c.lock;
        Tap(kKeyA);
        EXPECT_EQ(H.Script.Request, 0) << c.action;
    }
    // A custom binding is locked by any bit its number shares with the custom locks.
    H.Script.SystemKeys->Clear();
    Bind(kKeyA, "custom", "6", "@@sys");
    H.Script.State.CustomLocks = 2;
    Tap(kKeyA);
    EXPECT_EQ(H.Script.Request, 0);
    H.Script.State.CustomLocks = 0x9;
    Tap(kKeyA);
    EXPECT_EQ(H.Script.Request, srEnterSystem);
    EXPECT_EQ(H.Script.RequestArgument, "@@sys");
    // A locked table reads no key.
    H.Script.SystemKeys->Lock = 1;
    Tap(kKeyA);
    EXPECT_EQ(H.Script.Request, 0);
}

TEST_F(KelScriptFrameTest, ARequestStopsTheLineLoopAndViewModeSwallowsTheKey) {
    Bind(kKeyA, "menu");
    ASSERT_TRUE(H.Start("\\n,a\r\n\\n,b"));
    H.Script.State.Locks = 0;
    H.Script.State.LinesPerFrame = 1;
    Tap(kKeyA);
    EXPECT_EQ(H.Script.Request, srMenu);
    EXPECT_TRUE(Marks.empty());
    // In view mode the key only ends the mode.
    H.Script.State.RunMode = TRunMode::View;
    Tap(kKeyA);
    EXPECT_EQ(H.Script.State.RunMode, TRunMode::Normal);
    EXPECT_EQ(H.Script.Request, 0);
    EXPECT_EQ(Marks, (std::vector<std::string>{"a"}));
}

TEST_F(KelScriptFrameTest, SkipClickEndsTheWaitAndSkipsThisStep) {
    Bind(kKeyA, "skipclick");
    ASSERT_TRUE(H.Start("\\w,4,-1 \\n,a \\d \\n,b"));
    H.Step();
    Tap(kKeyA);
    // Skipping for the rest of this step: the frame delay is not taken.
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b"}));
    H.Step();
    EXPECT_FALSE(H.Context.Settings.Skipping);
}

// ---- system buttons ----

TEST_F(KelScriptFrameTest, SystemButtonsAskTheHostAndShowLocksAndModes) {
    Create("sbtn", "save");
    Create("sbtn", "auto");
    Create("sbtn", "custom");
    Create("sbtn", "plain");
    Buttons["save"]->Strs[0] = "SAVE";
    Buttons["save"]->Strs[1] = "@@s";
    Buttons["auto"]->Strs[0] = "auto";
    Buttons["custom"]->Strs[0] = "custom";
    Buttons["custom"]->Ints[0] = 4;
    Buttons["custom"]->Ints[1] = 1;
    ASSERT_TRUE(H.Start("\\w,4,-1"));
    H.Script.State.Locks = lkSave;
    H.Script.State.CustomLocks = 0;
    H.Script.State.CustomStates = 1;
    H.Step();
    EXPECT_TRUE(Buttons["save"]->Locked);
    EXPECT_FALSE(Buttons["auto"]->Locked);
    EXPECT_FALSE(Buttons["auto"]->IsChecked);
    EXPECT_TRUE(Buttons["custom"]->IsChecked);
    EXPECT_FALSE(Buttons["plain"]->Locked);

    // The last button hit takes the click and shows its pressed look for 10 ms.
    Buttons["auto"]->Strs[0] = "";
    Buttons["custom"]->Strs[0] = "";
    Buttons["plain"]->Strs[0] = "";
    uint32_t before = H.Clock.Now;
    H.Script.Click(10, 10, false);
    EXPECT_EQ(H.Script.Request, 0);  // "plain" has no action name: the click goes on to the wait
    EXPECT_EQ(Wait(), wsNone);
    EXPECT_EQ(H.Clock.Now - before, 10u);

    Routine().WaitState = wsClick;
    Create("sbtn", "top");
    Buttons["top"]->Strs[0] = "Save";
    Buttons["top"]->Strs[1] = "@@s";
    H.Script.Click(10, 10, false);
    EXPECT_EQ(H.Script.Request, srSave);  // the lock bit is not tested here
    EXPECT_EQ(H.Script.RequestArgument, "@@s");
    EXPECT_EQ(Wait(), wsClick);
    EXPECT_EQ(H.Script.RecentClickFrames, 0);

    // A mode button asks for the mode; pressed again while checked it ends it.
    Buttons["top"]->Strs[0] = "auto";
    H.Script.Request = 0;
    H.Script.Click(10, 10, false);
    EXPECT_EQ(H.Script.Request, srAuto);
    EXPECT_TRUE(Buttons["top"]->IsChecked);
    H.Script.Request = 0;
    H.Script.State.RunMode = TRunMode::Auto;
    H.Script.Click(10, 10, true);
    EXPECT_EQ(H.Script.Request, 0);
    EXPECT_EQ(H.Script.State.RunMode, TRunMode::Normal);
    EXPECT_FALSE(Buttons["top"]->IsChecked);
}

// ---- permissions, scene return, cursors ----

TEST_F(KelScriptFrameTest, PermissionTestsFollowLocksWaitsAndTheReadLog) {
    TLabelLog log;
    H.Script.Links.ReadTextLog = &log;
    ASSERT_TRUE(H.Start("@@scene\r\n\\n,1\r\n\\sub,@@!sub\r\n@@!sub\r\n\\n,2\r\n\\w,4,-1", "@@scene"));
    H.Script.State.Locks = 0;
    H.Step();
    EXPECT_TRUE(H.Script.IsAutoAllowed());
    EXPECT_TRUE(H.Script.IsSkipAllowed());
    // "@@!sub" is no scene: the scene is the caller's, "@@scene" at line 2, not read beyond yet.
    EXPECT_FALSE(H.Script.IsSceneLabelSkipAllowed());
    log.SetCount("TEST.S@@SCENE", 3, true);
    EXPECT_TRUE(H.Script.IsSceneLabelSkipAllowed());
    Routine().WaitState = wsButton;
    EXPECT_FALSE(H.Script.IsAutoAllowed());
    EXPECT_FALSE(H.Script.IsSkipAllowed());
    EXPECT_FALSE(H.Script.IsSceneLabelSkipAllowed());
    EXPECT_TRUE(H.Script.IsViewAllowed());
    H.Script.State.Locks = lkView | lkJump;
    H.Script.State.SceneSkipEnabled = 1;
    EXPECT_FALSE(H.Script.IsViewAllowed());
    EXPECT_FALSE(H.Script.IsSceneSkipEnabled());
    H.Script.State.Locks = 0;
    EXPECT_TRUE(H.Script.IsSceneSkipEnabled());
    H.Script.Links.ReadTextLog = nullptr;
    Routine().WaitState = wsNone;
    EXPECT_FALSE(H.Script.IsSceneLabelSkipAllowed());
}

TEST_F(KelScriptFrameTest, SceneReturnGoesBackToTheSceneLabelAndClearsTheWait) {
    ASSERT_TRUE(H.Start("@@scene\r\n\\sub,@@menu\r\n\\n,back\r\n@@menu\r\n\\w,4,-1", "@@scene"));
    H.Script.State.Locks = 0;
    H.Script.State.SceneReturnLabel = "@@Scene";
    H.Step();
    ASSERT_EQ(Wait(), wsClick);
    H.Script.State.Locks = lkJump;
    EXPECT_FALSE(H.Script.CanSceneReturn());
    H.Script.State.Locks = 0;
    ASSERT_TRUE(H.Script.SceneReturn());
    EXPECT_EQ(H.Script.Thread->Count(), 1);
    EXPECT_EQ(Wait(), wsNone);
    EXPECT_FALSE(H.Script.CanSceneReturn());  // already in the scene label
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"back"}));
}

TEST_F(KelScriptFrameTest, CursorMotionFollowsTheWaitAndTheRunMode) {
    TFakeCursor cursor, system;
    cursor.Motions = {"*Default", "*OnClick", "*OnAuto", "*OnButton"};
    H.Script.Links.Cursor = &cursor;
    H.Script.Links.SystemCursor = &system;
    ASSERT_TRUE(H.Start("\\w,4,-1"));
    constexpr TRunMode Normal = TRunMode::Normal;
    struct Case {
        TWaitState state;
        int32_t time;
        TRunMode mode;
        const char* motion;
    } cases[] = {
        {wsClick, -1, Normal, "*OnClick"},  {wsClick, -1, TRunMode::Auto, "*OnAuto"},
        {wsClick, 500, Normal, "*Default"}, {wsButton, -1, TRunMode::Skip, "*OnButton"},
        {wsTimer, 500, Normal, "*Default"},  // no "*OnWait" motion
    };
    H.Step();
    for (const auto& c : cases) {
        Routine().WaitState = c.state;
        Routine().WaitTime = c.time;
        H.Script.State.RunMode = c.mode;
        H.Script.UpdateCursorLabel();
        EXPECT_EQ(cursor.Motion, c.motion) << int(c.state) << " " << int(c.mode);
        EXPECT_FALSE(cursor.Forced);
    }
    H.Script.PendingCursorLabel = "*OnSave";
    H.Step();
    EXPECT_EQ(system.Motion, "*OnSave");
    EXPECT_TRUE(system.Forced);
    EXPECT_TRUE(H.Script.PendingCursorLabel.empty());
}

// ---- search folders, logs, save files ----

TEST_F(KelScriptFrameTest, JumpsFindFilesThroughTheFoldersAndCountThemInTheFileLog) {
    TLabelLog fileLog;
    H.Script.Links.FileUseLog = &fileLog;
    H.Script.FileLogPatterns[0] = "scn";
    H.AddFile("story\\scn01.s", "@@start\r\n\\n,arrived");
    H.Script.Path->Add("story");
    ASSERT_TRUE(H.Start("\\jmp,@@start,\"scn01.s\""));
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"arrived"}));
    EXPECT_EQ(fileLog.GetCount("story\\scn01.s"), 1);
    H.Script.Reset();
    EXPECT_EQ(H.Script.Path->Count(), 0);
}

TEST_F(KelScriptFrameTest, AFailedJumpKeepsTheCurrentScript) {
    ASSERT_TRUE(H.Start("@@top\r\n\\n,a\r\n\\jmp,@@x,\"missing.s\"\r\n\\n,b"));
    H.Script.State.LinesPerFrame = 3;
    H.Step();
    EXPECT_FALSE(H.Errors().empty());
    H.ClearErrors();
    H.Step();
    EXPECT_EQ(Marks, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(H.Script.Reader->GetFileName(), "test.s");
    EXPECT_EQ(H.Script.Reader->IndexOfLabel("@@top"), 0);
}

TEST_F(KelScriptFrameTest, SelectSaveFileIsTestedAgainEveryFortiethCall) {
    const TFileRoot files(TestData::ScratchDir());
    H.Script.Links.Files = &files;
    ASSERT_TRUE(TKelScript::CheckSaveDirectory(files, "SaveData\\"));
    EXPECT_FALSE(H.Script.SelectSaveExists(true));
    ASSERT_TRUE(files.WriteFileReplace("SaveData\\SelectSaveData.svd", "x"));
    int calls = 1;
    while (!H.Script.SelectSaveExists(false))
        ++calls;
    EXPECT_EQ(calls, 40);
    ASSERT_TRUE(TKelScript::DeleteSaveFile(files, "SelectSaveData.svd"));
    EXPECT_TRUE(H.Script.SelectSaveExists(false));  // cached
    EXPECT_FALSE(H.Script.SelectSaveExists(true));
    H.Script.Links.Files = nullptr;
}

}  // namespace
