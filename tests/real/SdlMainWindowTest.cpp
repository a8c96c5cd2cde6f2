// The main window on a real SDL window: the start sizes, titles and places it and a close asks
// through the exit dialog; the pointer lands on the game pixel under it; a counted run shows in
// the window, as the X server holds it, exactly the frames the headless run presents; the programs
// kel and kel-headless, given the same game and input script, write the same report and the same
// frames; and an end signal ends kel in order.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/Encoding.h"
#include "platform/HostFiles.h"
#include "platform/PresentTap.h"
#include "platform/sdl/SdlMainWindow.h"
#include "shell/HeadlessRunner.h"
#include "tests/real/RealWindow.h"
#include "tests/real/XServer.h"
#include "tests/support/GameFixture.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

const char* kMessages =
    "OK=ＯＫ\r\nAPPCLOSE_Text=終了しますか？\r\nAPPCLOSE_Exit=終了\r\nAPPCLOSE_Reset=タイトルへ\r\n"
    "APPCLOSE_Cancel=キャンセル\r\n";

std::string WriteGame(const std::map<std::string, std::string>& files) {
    const std::string dir = TestData::ScratchDir();
    GameFixture::Write(dir, files, KEL_SYSTEMINFO_LIBRARY);
    return dir;
}

// A game that stops at a script error: every frame after it draws the error screen's lines.
std::string ErrorGame() {
    return WriteGame({{"System\\etc\\Game.dat",
                       "GameTitle=エラー\r\nScreenWidth=320\r\nScreenHeight=240\r\nConfigStartupSkip=TRUE\r\n"},
                      {"System\\etc\\Message.txt", kMessages},
                      {"startup.s", "@@reset\r\n@@top\r\n\\wait,100\r\n\\nosuchword\r\n"}});
}

class SdlMainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (RealWindow::NoDisplay(why))
            GTEST_SKIP() << "no X display could be opened (" << why << "); run under xvfb-run";
    }
};

TEST_F(SdlMainWindowTest, TheStartShapesTheWindowAndACloseAsks) {
    const std::string dir = WriteGame(
        {{"System\\etc\\Game.dat", "GameTitle=窓\r\nScreenWidth=400\r\nScreenHeight=300\r\nConfigStartupSkip=TRUE\r\n"},
         {"System\\etc\\Message.txt", kMessages},
         {"startup.s", "@@reset\r\n@@top\r\n\\wait,10\r\n\\jmp,@@top\r\n"}});
    THeadlessGame game;
    TSdlMainWindow window("MainWindow", 320, 240, &game.Source);
    ASSERT_FALSE(window.Failed()) << window.Error();
    game.UseWindow(window, window.Display());
    THeadlessGame::TClosing closing{game};
    std::string error;
    ASSERT_TRUE(game.Open(dir, error)) << error;
    EXPECT_EQ(std::string(SDL_GetWindowTitle(window.Handle())), "窓");
    EXPECT_EQ(window.ClientSize(), (Viewport::TSize{400, 300}));
    EXPECT_TRUE(window.Showing());
    int x = 0, y = 0;
    SDL_GetWindowPosition(window.Handle(), &x, &y);
    const Viewport::TSize screen = window.ScreenSize();
    EXPECT_NEAR(x, (screen.W - 400) / 2, 1);
    EXPECT_NEAR(y, (screen.H - 300) / 2, 1);
    game.Run(3);

    // The window's close box: the exit dialog asks; "cancel" keeps the game, "exit" ends it.
    auto requestClose = [&] {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(window.Handle());
        e.window.event = SDL_WINDOWEVENT_CLOSE;
        SDL_PushEvent(&e);
        window.PumpEvents();
    };
    game.Answers.Click(0);  // the buttons in tab order: cancel, back to title, exit
    requestClose();
    ASSERT_EQ(game.Answers.Shown.size(), 1u);
    EXPECT_EQ(Encoding::SjisToUtf8(game.Answers.Shown[0].Text), "終了しますか？");
    EXPECT_FALSE(game.Form->Closed);
    game.Answers.Click(2);
    requestClose();
    EXPECT_TRUE(game.Form->Closed);
}

// A game size with one side out of range: that side alone is replaced, and the window, the display
// and the pointer all take the same size.
TEST_F(SdlMainWindowTest, ThePointerLandsOnTheGamePixelUnderItWhenOneSideIsOutOfRange) {
    const std::string dir =
        WriteGame({{"System\\etc\\Game.dat", "ScreenWidth=640\r\nScreenHeight=0\r\nConfigStartupSkip=TRUE\r\n"},
                   {"startup.s", "@@reset\r\n@@top\r\n\\wait,10\r\n\\jmp,@@top\r\n"}});
    THeadlessGame game;
    TSdlMainWindow window("MainWindow", 320, 240);  // its own input: the pointer as the window sees it
    ASSERT_FALSE(window.Failed()) << window.Error();
    game.UseWindow(window, window.Display());
    THeadlessGame::TClosing closing{game};
    std::string error;
    ASSERT_TRUE(game.Open(dir, error)) << error;
    game.Run(2);
    EXPECT_EQ(window.ClientSize(), (Viewport::TSize{640, 600}));
    EXPECT_EQ(window.Display().FrameRect(), (Viewport::TRect{0, 0, 640, 600}));
    for (const Viewport::TPoint p : {Viewport::TPoint{0, 0}, Viewport::TPoint{639, 300}, Viewport::TPoint{320, 599}}) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = SDL_GetWindowID(window.Handle());
        e.motion.x = p.X;
        e.motion.y = p.Y;
        window.HandleEvent(e);
        EXPECT_EQ(window.Input().Pointer(), p) << p.X << ", " << p.Y;
    }
}

TEST_F(SdlMainWindowTest, TheWindowShowsTheFramesTheHeadlessRunPresents) {
    const std::string dir = ErrorGame();
    std::vector<THeadlessFrame> headless;
    {
        THeadlessGame game;
        game.Screen.Device.OnFrame = [&](const THeadlessFrame& f) { headless.push_back(f); };
        std::string error;
        ASSERT_TRUE(game.Open(dir, error)) << error;
        game.Run(12);
    }
    ASSERT_GE(headless.size(), 4u);

    std::vector<std::vector<uint32_t>> shown;
    {
        THeadlessGame game;
        TSdlMainWindow window("MainWindow", 320, 240, &game.Source);
        ASSERT_FALSE(window.Failed()) << window.Error();
        // Each present is read from the X server, as it holds the window's picture.
        TPresentTap display(window.Display(), [&] {
            std::vector<uint32_t> pixels;
            int32_t w = 0, h = 0;
            XServer::Read(window.Handle(), pixels, w, h);
            shown.push_back(w == 320 && h == 240 ? pixels : std::vector<uint32_t>{});
        });
        game.UseWindow(window, display);
        THeadlessGame::TClosing closing{game};
        std::string error;
        ASSERT_TRUE(game.Open(dir, error)) << error;
        game.Run(12);
    }
    ASSERT_EQ(shown.size(), headless.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        ASSERT_EQ(shown[i].size(), headless[i].Pixels.size()) << "present " << i + 1;
        int wrong = 0;
        for (size_t k = 0; k < shown[i].size(); ++k)
            wrong += shown[i][k] != (headless[i].Pixels[k] & 0xFFFFFF);
        EXPECT_EQ(wrong, 0) << "present " << i + 1;
    }
    // The frames are not empty: the error screen's heading is drawn in the rows from y = 100.
    const auto& last = headless.back().Pixels;
    EXPECT_NE(std::count_if(last.begin() + 100 * 320, last.begin() + 112 * 320,
                            [](uint32_t p) { return (p & 0xFFFFFF) != 0; }),
              0);
}

// The report of a run from its first line on (SDL may print notes of its own before it).
std::string Report(const std::string& output) {
    const size_t at = output.find("frames: ");
    return at == std::string::npos ? output : output.substr(at);
}

TEST_F(SdlMainWindowTest, KelAndKelHeadlessWriteTheSameFrames) {
    const std::string input = TestData::ScratchDir() + "/input.txt";
    // The demo's title has faded in by frame 60; the pointer then lights its start button.
    std::ofstream(input) << "2 click 100 100\n4 tap 13\n6 wheel 120\n60 move 400 405\n";
    const std::string demo = TestData::ScratchDir();
    const std::string build = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + demo + "' '" +
                              ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(build.c_str()), 0);
    struct TRun {
        std::string Game;
        const char* Frames;  // --frames and --png-every
    };
    for (const TRun& run : {TRun{ErrorGame(), "10 --png-every 1"}, TRun{demo, "70 --png-every 10"}}) {
        SCOPED_TRACE(run.Game);
        const std::string a = TestData::ScratchDir(), b = TestData::ScratchDir();
        const std::string args = "--frames " + std::string(run.Frames) + " --input '" + input + "' --png ";
        const auto window = ToolRun::Run("../kel", args + "'" + a + "' '" + run.Game + "'");
        const auto headless = ToolRun::Run("kel-headless", args + "'" + b + "' '" + run.Game + "'");
        EXPECT_EQ(window.Code, headless.Code) << window.Output;
        EXPECT_EQ(Report(window.Output), Report(headless.Output));
        std::vector<std::string> names;
        for (const auto& f : fs::directory_iterator(b))
            names.push_back(f.path().filename().string());
        EXPECT_GE(names.size(), 7u);
        for (const std::string& name : names) {
            std::string x, y;
            ASSERT_TRUE(HostFiles::Read(a + "/" + name, x)) << name;
            ASSERT_TRUE(HostFiles::Read(b + "/" + name, y)) << name;
            auto px = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(x.data()), x.size());
            auto py = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(y.data()), y.size());
            EXPECT_EQ(px->Pixels, py->Pixels) << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(a), fs::directory_iterator{}), names.size());
    }
}

// The program makes the game's folder the current one; the files of a counted run are still named
// from where it was started.
TEST_F(SdlMainWindowTest, ACountedRunNamesItsFilesFromWhereItStarted) {
    const std::string game = ErrorGame(), here = TestData::ScratchDir();
    std::ofstream(here + "/in.txt") << "1 tap 13\n";
    const std::string command = "cd '" + here + "' && '" + ToolRun::ToolPath("../kel") +
                                "' --frames 2 --input in.txt --png shots '" + game + "' >/dev/null 2>&1";
    std::system(command.c_str());
    EXPECT_TRUE(fs::exists(here + "/shots/frame000001.png"));
    EXPECT_FALSE(fs::exists(game + "/shots"));
}

// SIGTERM, SIGINT and SIGHUP each end kel as the exit dialog's "exit" does: at once, unasked,
// with the settings saved. The game stops on a script error, which shows when it runs (its error
// log appears) and makes the exit code 1; its error line goes to standard error.
TEST_F(SdlMainWindowTest, AnEndSignalEndsKelInOrderWithinASecond) {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(number));
        const std::string dir = ErrorGame(), errors = TestData::ScratchDir() + "/stderr.txt";
        const std::string settings = dir + "/GameData/System/config.txt";
        const pid_t pid = fork();
        if (pid == 0) {
            if (!std::freopen(errors.c_str(), "w", stderr)) _exit(126);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            const std::string kel = ToolRun::ToolPath("../kel");
            execl(kel.c_str(), "kel", dir.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        int status = 0;
        auto ended = [&] { return waitpid(pid, &status, WNOHANG) == pid; };
        bool running = false;
        for (int turn = 0; turn < 1000 && !running && !ended(); ++turn) {
            running = fs::exists(dir + "/ERRORLOG.txt");
            if (!running) usleep(10000);
        }
        if (!running && !ended()) {  // a program left running would keep the test's output open
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        ASSERT_TRUE(running) << "the game did not come to run";
        fs::remove(settings);  // written at the start; the end writes it again
        const auto sent = std::chrono::steady_clock::now();
        kill(pid, number);
        bool gone = false;
        while (!(gone = ended()) && std::chrono::steady_clock::now() - sent < std::chrono::seconds(5))
            usleep(5000);
        if (!gone) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        ASSERT_TRUE(gone);
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(1));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_TRUE(fs::exists(settings));
        std::ifstream in(errors);
        const std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(printed.find("kel: [ERROR]:"), std::string::npos) << printed;
    }
}

}  // namespace
