// Keys and clicks made by the X server (through xdotool) on the real SDL window: they reach the
// script and the engine core of a game run in the window, the demo, and the program kel itself; and the
// clipboard words exchange Japanese text and pictures with another program over the X clipboard.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ErrorLogLib.h"
#include "objects/KelClipboardCommands.h"
#include "platform/Encoding.h"
#include "platform/fltk/FltkPictureClipboard.h"
#include "platform/sdl/SdlClipboard.h"
#include "platform/sdl/SdlMainWindow.h"
#include "script/KelGeneralCommands.h"
#include "shell/HeadlessRunner.h"
#include "tests/real/Processes.h"
#include "tests/real/RealWindow.h"
#include "tests/real/XServer.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/CountingScreens.h"
#include "tests/support/GameFixture.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

using Processes::RunWhile;
using Processes::Start;
using Processes::Until;
using Processes::Xdo;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class KeyPathRealTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (RealWindow::NoDisplay(why))
            GTEST_SKIP() << "no X display could be opened (" << why << "); run under xvfb-run";
        if (std::system("command -v xdotool >/dev/null && command -v xclip >/dev/null") != 0)
            GTEST_SKIP() << "xdotool and xclip are needed (tools/setup.sh installs them)";
    }
};

// Opens the game in the window, on the window's own keyboard and mouse, with a menu and a back-log
// that only count how often they were opened.
void OpenInWindow(THeadlessGame& game, TSdlMainWindow& window, const std::string& dir, TCountingScreen*& menu,
                  TCountingScreen*& log) {
    game.UseWindow(window, window.Display());
    game.UseWindowInput();
    std::string error;
    ASSERT_TRUE(game.Open(dir, error)) << error;
    menu = new TCountingScreen;
    log = new TCountingScreen;
    game.Engine->Menu.reset(menu);
    game.Engine->Log.reset(log);
}

// The caption is the title until the first second has run, then "FormCaption": both name the window.
const char* kGameDat =
    "GameTitle=kelkeys\r\nFormCaption=kelkeys\r\nScreenWidth=320\r\nScreenHeight=240\r\nConfigStartupSkip=TRUE\r\n";

// The game runs in the window on its own keyboard and mouse; the X server makes the events.
TEST_F(KeyPathRealTest, TheWindowsEventsReachTheScriptAndTheEngineCore) {
    const std::string dir = TestData::ScratchDir();
    GameFixture::Write(dir,
                       {{"System\\etc\\Game.dat", kGameDat},
                        {"System\\etc\\Message.txt", "OK=OK\r\n"},
                        {"startup.s",
                         "@@reset\r\n@@top\r\n\\scp,skey\r\n\\a,65537,\"click\"\r\n\\a,65538,\"menu\"\r\n"
                         "\\a,240,\"log\"\r\n\\a,116,\"quicksave\"\r\n\\a,13,\"keyclick\"\r\n"
                         "\\gvar,int,clicks\r\n@@wait\r\n\\clk\r\n\\cal,clicks=clicks+1\r\n\\jmp,@@wait\r\n"}},
                       KEL_SYSTEMINFO_LIBRARY);
    THeadlessGame game;
    TSdlMainWindow window("MainWindow", 320, 240);
    ASSERT_FALSE(window.Failed()) << window.Error();
    THeadlessGame::TClosing closing{game};
    TCountingScreen *menu = nullptr, *log = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenInWindow(game, window, dir, menu, log));
    auto* saves = new TCountingQuickSaves;
    game.Engine->QuickSaves.reset(saves);
    game.Engine->GameScript->State.Locks = 0;  // as the game's "sys" "lk" would leave them
    auto clicks = [&] {
        TCalcValue v;
        game.Engine->GameScript->Variables->ReadElement(TVariableScope::Game, "clicks", {}, 0, v, true);
        return v.Value;
    };
    auto frame = [&] { game.Run(1); };

    const std::string id = std::to_string(XServer::WindowId(window.Handle()));
    ASSERT_TRUE(Xdo("windowfocus --sync " + id));
    ASSERT_TRUE(Until([&] { return window.Input().WindowActive(); }, [&] { window.PumpEvents(); }));
    game.Run(20);  // the input device's pause after the focus came back

    // A click's press and release reach the window together: the click is still seen.
    ASSERT_TRUE(Xdo("mousemove --window " + id + " 30 30 click 1"));
    EXPECT_TRUE(Until([&] { return clicks() == 1; }, frame));
    ASSERT_TRUE(Xdo("click 3"));
    EXPECT_TRUE(Until([&] { return menu->Opened == 1; }, frame));
    ASSERT_TRUE(Xdo("click 4"));  // the wheel turned away from the user
    EXPECT_TRUE(Until([&] { return log->Opened == 1; }, frame));
    ASSERT_TRUE(Xdo("key F5"));
    EXPECT_TRUE(Until([&] { return saves->Saves == 1; }, frame));
    ASSERT_TRUE(Xdo("key Return"));
    EXPECT_TRUE(Until([&] { return clicks() == 2; }, frame));
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 0) << game.Report();
}

// The demo in the window binds its keys itself. Made by the X server, a click ends the wait of its
// first line, the right click asks for the menu and the wheel for the back-log.
TEST_F(KeyPathRealTest, TheDemoTakesTheWindowsClicks) {
    const std::string demo = TestData::ScratchDir();
    const std::string build = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + demo + "' '" +
                              ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(build.c_str()), 0);
    THeadlessGame game;
    TSdlMainWindow window("MainWindow", 320, 240);
    ASSERT_FALSE(window.Failed()) << window.Error();
    THeadlessGame::TClosing closing{game};
    TCountingScreen *menu = nullptr, *log = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenInWindow(game, window, demo, menu, log));
    TKelScript& g = *game.Engine->GameScript;
    const std::string id = std::to_string(XServer::WindowId(window.Handle()));
    ASSERT_TRUE(Xdo("windowfocus --sync " + id));
    ASSERT_TRUE(Until([&] { return window.Input().WindowActive(); }, [&] { window.PumpEvents(); }));
    game.Run(1);
    EXPECT_EQ(g.SystemKeys->Count(), 7);
    g.State.Locks = 0;  // as the game's "sys" "lk" would leave them

    // The title runs out by itself; the first line of the scene then waits for a click.
    auto waiting = [&] { return g.CurrentRoutine()->WaitState == wsClick; };
    while (game.FramesRun < 2000 && !waiting())
        game.Run(1);
    ASSERT_TRUE(waiting());
    auto frame = [&] { game.Run(1); };
    ASSERT_TRUE(Xdo("mousemove --window " + id + " 100 100 click 1"));
    EXPECT_TRUE(Until([&] { return !waiting(); }, frame));
    // Ended by the click long before its three seconds ran out: the script is in the 800 ms wait
    // that follows, which it entered in the frame of the release.
    EXPECT_EQ(g.CurrentRoutine()->WaitState, wsTimer);
    EXPECT_EQ(g.CurrentRoutine()->WaitTime, 800);
    ASSERT_TRUE(Xdo("click 3"));
    EXPECT_TRUE(Until([&] { return game.Engine->Mode == KelSystemLib::kmMenu; }, frame));
    // The wheel is the game's once the menu has been left; the menu's own frames take what comes.
    EXPECT_TRUE(Until([&] { return game.Engine->Mode == KelSystemLib::kmGameScript; }, frame));
    ASSERT_TRUE(Xdo("click 4"));  // the wheel turned away from the user
    EXPECT_TRUE(Until([&] { return game.Engine->Mode == KelSystemLib::kmLogScreen; }, frame));
    game.Run(2);
    EXPECT_EQ(menu->Opened, 1);
    EXPECT_EQ(log->Opened, 1);
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 0) << game.Report();
}

// The program itself: its script writes a file for each thing it was given.
TEST_F(KeyPathRealTest, TheProgramTakesClicksFromTheXServer) {
    const std::string dir = TestData::ScratchDir();
    GameFixture::Write(dir,
                       {{"System\\etc\\Game.dat", kGameDat},
                        {"System\\etc\\Message.txt", "OK=OK\r\n"},
                        {"startup.s",
                         "@@reset\r\n@@top\r\n\\scp,skey\r\n\\a,65537,\"click\"\r\n\\a,65538,\"custom\",@@OnRight\r\n"
                         "\\scp,misc\r\n\\ptof,\"System\\etc\\Game.dat\",\"ready.txt\"\r\n\\clk\r\n"
                         "\\ptof,\"System\\etc\\Game.dat\",\"clicked.txt\"\r\n\\wait,1000000\r\n"},
                        {"SysStartUp.s",
                         "@@OnRight\r\n\\scp,misc\r\n\\ptof,\"System\\etc\\Game.dat\",\"right.txt\"\r\n"
                         "\\wait,1000000\r\n"}},
                       KEL_SYSTEMINFO_LIBRARY);
    const pid_t kel = Start({ToolRun::ToolPath("../kel"), dir});
    ASSERT_GT(kel, 0);
    const std::string ids = dir + "/window.txt";
    const bool found = RunWhile(
        {"timeout", "20", "xdotool", "search", "--sync", "--name", "^kelkeys$"}, [] {}, ids, 25000);
    const std::string id = ReadFile(ids).substr(0, ReadFile(ids).find('\n'));
    auto done = [&](const char* marker) { return fs::exists(dir + "/" + marker); };
    auto wait = [] {};
    if (found && !id.empty()) {
        EXPECT_TRUE(Xdo("windowfocus --sync " + id));
        EXPECT_TRUE(Until([&] { return done("ready.txt"); }, wait));
        // After the focus came the device pauses for 300 ms; a click it swallowed all the same
        // (on a slow machine) is made again.
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        for (int i = 0; i < 5 && !done("clicked.txt"); ++i) {
            Xdo("mousemove --window " + id + " 40 40 click 1");
            Until([&] { return done("clicked.txt"); }, wait, 1000);
        }
        EXPECT_TRUE(done("clicked.txt"));
        // The right click asks to run a label of the system script.
        Xdo("click 3");
        EXPECT_TRUE(Until([&] { return done("right.txt"); }, wait));
    } else {
        ADD_FAILURE() << "the window of kel did not show";
    }
    Processes::End(kel);
    EXPECT_EQ(ReadFile(dir + "/clicked.txt"), std::string(kGameDat));
}

// The clipboard words with the X clipboard, xclip on the other side.
TEST_F(KeyPathRealTest, TheClipboardWordsTradeWithAnotherProgram) {
    TSdlMainWindow window("MainWindow", 64, 64);
    ASSERT_FALSE(window.Failed()) << window.Error();
    TFltkPictureClipboard pictures;
    TSdlClipboard clipboard(window.Handle(),
                            [&](const uint32_t* pixels, int32_t w, int32_t h) { return pictures.Put(pixels, w, h); });
    TScriptHarness h([&](TObjectKindRegistry& kinds, TScriptLinks& links) {
        KelClipboardCommands::Register(kinds);
        links.Clipboard = &clipboard;
    });
    h.Script.Words.General = &KelGeneralCommands::Handler();
    h.AddRawFile("pic.png", AnimationFixtures::Png(3, 2, {~0u, ~0u, ~0u, 0xFF000000, 0xFF000000, 0xFF000000}));
    const std::string dir = TestData::ScratchDir();
    // This program answers the other one while it waits for it.
    auto answer = [&] {
        window.PumpEvents();
        pictures.Serve();
    };
    const std::vector<std::string> paste = {"xclip", "-selection", "clipboard", "-o"};

    h.Execute({"\\scp,clip", "\\ct,\"日本語のテキスト、コピー\"", "\\gt"});
    EXPECT_EQ(h.ResultInt(0), 1);
    ASSERT_TRUE(RunWhile(paste, answer, dir + "/pasted.txt"));
    EXPECT_EQ(ReadFile(dir + "/pasted.txt"), "日本語のテキスト、コピー");

    // The other program copies; the words read it.
    std::ofstream(dir + "/copy.txt") << "かな漢字カナ";
    // xclip leaves a copy of itself to answer, which may take the clipboard a moment later.
    auto word = [&](const char* statement, auto result, auto expected) {
        return Until(
            [&] {
                h.Execute({statement});
                return result() == expected;
            },
            answer);
    };
    auto text = [&] { return h.ResultStr(0); };
    auto number = [&] { return h.ResultInt(0); };
    ASSERT_TRUE(RunWhile({"xclip", "-selection", "clipboard", "-i", dir + "/copy.txt"}, answer));
    EXPECT_TRUE(word("\\pt", text, std::string("かな漢字カナ"))) << text();
    EXPECT_TRUE(word("\\gt", number, 1)) << number();
    std::ofstream(dir + "/pic.png", std::ios::binary) << AnimationFixtures::SolidPng(2, 2, 0xFF112233);
    ASSERT_TRUE(RunWhile({"xclip", "-selection", "clipboard", "-t", "image/png", "-i", dir + "/pic.png"}, answer));
    EXPECT_TRUE(word("\\gt", number, 2)) << number();

    // A picture from the packs: the other program finds an image type and a bitmap of its size.
    h.Execute({"\\cb,\"pic.png\"", "\\gt"});
    EXPECT_EQ(h.ResultInt(0), 2);
    ASSERT_TRUE(RunWhile({"xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"}, answer, dir + "/targets.txt"));
    EXPECT_NE(ReadFile(dir + "/targets.txt").find("image/"), std::string::npos) << ReadFile(dir + "/targets.txt");
    ASSERT_TRUE(RunWhile({"xclip", "-selection", "clipboard", "-t", "image/bmp", "-o"}, answer, dir + "/pic.bmp"));
    const std::string bmp = ReadFile(dir + "/pic.bmp");
    ASSERT_GE(bmp.size(), 26u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<uint8_t>(bmp[18]), 3);  // the width
    // Text again: this program takes the clipboard back, and the other one lets go.
    h.Execute({"\\ct,\"終わり\"", "\\gt"});
    EXPECT_EQ(h.ResultInt(0), 1);
    ASSERT_TRUE(RunWhile(paste, answer, dir + "/pasted.txt"));
    EXPECT_EQ(ReadFile(dir + "/pasted.txt"), "終わり");
    EXPECT_TRUE(h.Errors().empty()) << h.FirstError();
}

}  // namespace
