// The way of a key from the input script of a headless run to the script and the engine core,
// frame by frame: the game binds its keys, the device reads them, the frame step turns them into
// clicks and requests, and the engine core opens the menu, the back-log or makes the quick save.
// Then the demo: it binds its keys, and clicks, the right click and the wheel reach it in their
// frames, in the program and in the runner program, from input scripts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"
#include "script/KelScriptLib.h"
#include "shell/HeadlessRunner.h"
#include "tests/support/CountingScreens.h"
#include "tests/support/GameFixture.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace {

const char* kMessages = "OK=OK\r\n";

class KeyPathTest : public ::testing::Test {
protected:
    // Opens a game of one script, with the menu, the back-log and the quick saves counted and
    // every lock clear, as a game's "sys" "lk" would leave them.
    void Open(const std::string& startup, const std::string& input) {
        const std::string dir = TestData::ScratchDir();
        GameFixture::Write(dir,
                           {{"System\\etc\\Game.dat", "GameTitle=keys\r\nScreenWidth=320\r\nScreenHeight=240\r\n"},
                            {"System\\etc\\Message.txt", kMessages},
                            {"startup.s", startup}},
                           KEL_SYSTEMINFO_LIBRARY);
        std::string error;
        ASSERT_TRUE(HeadlessRunner::ParseInputScript(input, Game.Events, error)) << error;
        ASSERT_TRUE(Game.Open(dir, error)) << error;
        Menu = new TCountingScreen;
        Log = new TCountingScreen;
        Saves = new TCountingQuickSaves;
        Game.Engine->Menu.reset(Menu);
        Game.Engine->Log.reset(Log);
        Game.Engine->QuickSaves.reset(Saves);
        Game.Engine->GameScript->State.Locks = 0;
    }
    int32_t Variable(const std::string& name) {
        TCalcValue v;
        Game.Engine->GameScript->Variables->ReadElement(TVariableScope::Game, name, {}, 0, v, true);
        return v.Value;
    }

    THeadlessGame Game;
    TCountingScreen* Menu = nullptr;
    TCountingScreen* Log = nullptr;
    TCountingQuickSaves* Saves = nullptr;
};

TEST_F(KeyPathTest, EachKeyReachesTheScriptOrTheEngineCoreInItsFrame) {
    Open(
        "@@reset\r\n@@top\r\n"
        "\\scp,skey\r\n\\a,65537,\"click\"\r\n\\a,65538,\"menu\"\r\n\\a,240,\"log\"\r\n\\a,13,\"keyclick\"\r\n"
        "\\a,116,\"quicksave\"\r\n\\a,120,\"quickload\"\r\n"
        "\\gvar,int,clicks\r\n"
        "@@wait\r\n\\clk\r\n\\cal,clicks=clicks+1\r\n\\jmp,@@wait\r\n",
        // A left click (taken on its release), a right click, the wheel, F5, F9, Enter.
        "20 click 10 10\n30 down 2\n31 up 2\n40 wheel 120\n50 tap 116\n60 tap 120\n70 tap 13\n");
    // The frame after which each thing was first seen.
    std::map<std::string, int64_t> first;
    auto seen = [&](const std::string& what, bool now) {
        if (now && !first.count(what)) first[what] = Game.FramesRun;
    };
    while (Game.FramesRun < 75) {
        Game.Run(1);
        seen("click", Variable("clicks") >= 1);
        seen("menu request", Game.Engine->Mode == KelSystemLib::kmMenu);
        seen("menu open", Menu->Opened > 0);
        seen("log request", Game.Engine->Mode == KelSystemLib::kmLogScreen);
        seen("quick save", Saves->Saves > 0);
        seen("quick load", Saves->Loads > 0);
        seen("key click", Variable("clicks") >= 2);
    }
    const std::map<std::string, int64_t> expected = {
        {"click", 22},                                                // pressed in frame 21, released in 22
        {"menu request", 32}, {"menu open", 33},                      // the screen opens in the frame after its request
        {"log request", 41},                                          // the wheel turned before frame 41
        {"quick save", 51},   {"quick load", 61}, {"key click", 71},  // keys on their press
    };
    EXPECT_EQ(first, expected);
    EXPECT_EQ(Menu->Opened, 1);
    EXPECT_EQ(Log->Opened, 1);
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 0) << Game.Report();
}

// The demo binds its keys at its start. A click on its start button ends the title in the frame
// of the release (its loop leaves "t" at 61; running out of time leaves 60), a click ends the wait
// of its first line in the frame of the release, and the right click and the wheel reach the
// engine core once the locks are clear; all from input scripts, in the program as in the runner.
TEST_F(KeyPathTest, TheDemoTakesItsKeys) {
    const std::string demo = TestData::ScratchDir();
    const std::string build = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + demo + "' '" +
                              ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(build.c_str()), 0);

    // The start button is pressed before frame 41 and let go before frame 42.
    const std::string start = "40 click 400 405\n";
    std::string error;
    ASSERT_TRUE(HeadlessRunner::ParseInputScript(start, Game.Events, error));
    ASSERT_TRUE(Game.Open(demo, error)) << error;
    Menu = new TCountingScreen;
    Log = new TCountingScreen;
    Game.Engine->Menu.reset(Menu);
    Game.Engine->Log.reset(Log);
    TKelScript& g = *Game.Engine->GameScript;
    Game.Run(1);
    EXPECT_EQ(g.SystemKeys->Count(), 7);
    g.State.Locks = 0;  // as the game's "sys" "lk" would leave them
    // The first line of the scene waits for a click, up to three seconds.
    auto waiting = [&] { return g.CurrentRoutine()->WaitState == wsClick; };
    while (Game.FramesRun < 2000 && !waiting())
        Game.Run(1);
    ASSERT_TRUE(waiting());
    const int64_t f = Game.FramesRun;  // the first frame step that waits
    EXPECT_EQ(Variable("t"), 61);

    // A click (taken on its release), then the right click, then the wheel.
    auto at = [&](int64_t frame) { return std::to_string(f + frame); };
    const std::string keys =
        at(2) + " click 100 100\n" + at(12) + " down 2\n" + at(13) + " up 2\n" + at(20) + " wheel 120\n";
    ASSERT_TRUE(HeadlessRunner::ParseInputScript(keys, Game.Events, error)) << error;
    Game.Run(3);
    EXPECT_TRUE(waiting());  // pressed
    Game.Run(1);
    // Released: the wait ends, and in the same frame the script runs on into the 800 ms wait of
    // the next scene, which sets the click result back to 0.
    EXPECT_EQ(g.CurrentRoutine()->WaitState, wsTimer);
    EXPECT_EQ(g.CurrentRoutine()->WaitTime, 800);
    EXPECT_EQ(g.Evaluate("ResultClkInt").Value, 0);
    while (Game.FramesRun < f + 13)
        Game.Run(1);
    EXPECT_EQ(Game.Engine->Mode, KelSystemLib::kmGameScript);  // the right button is down
    Game.Run(1);
    EXPECT_EQ(Game.Engine->Mode, KelSystemLib::kmMenu);
    Game.Run(f + 21 - Game.FramesRun);
    EXPECT_EQ(Game.Engine->Mode, KelSystemLib::kmLogScreen);
    Game.Run(2);
    EXPECT_EQ(Menu->Opened, 1);
    EXPECT_EQ(Log->Opened, 1);
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 0) << Game.Report();

    // The runner program from the same input script: the menu opens in the frame after the right
    // button comes up, and not before.
    const std::string input = demo + "/input.txt";
    std::ofstream(input) << start << keys;
    for (const auto& [frames, mode] :
         {std::pair{f + 13, KelSystemLib::kmGameScript}, std::pair{f + 14, KelSystemLib::kmMenu}}) {
        const ToolRun::TRun run = ToolRun::Run(
            "kel-headless", "--frames " + std::to_string(frames) + " --input '" + input + "' '" + demo + "'");
        EXPECT_EQ(run.Code, 0) << run.Output;
        EXPECT_NE(run.Output.find("  t = 61\n"), std::string::npos) << run.Output;
        EXPECT_NE(run.Output.find("mode: " + std::to_string(int(mode)) + ","), std::string::npos)
            << frames << " frames:\n"
            << run.Output;
    }
}

}  // namespace
