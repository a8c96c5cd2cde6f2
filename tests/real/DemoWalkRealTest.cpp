// The player's walk through the whole demo (DemoWalk) in the program kel under a real X server,
// played with xdotool: its pointer, its clicks, its keys and its wheel, and its clicks on the
// quick-load window and the configuration dialog. Before each action the window must show the
// frame the headless walk kept of that screen, pixel for pixel outside the places that move with
// the clock; every screen is kept as screenshots/walk-NN-NAME.png beside the test program, the two
// forms as screenshots/walk-quick-load.png and screenshots/walk-config.png.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/real/Processes.h"
#include "tests/real/RealWindow.h"
#include "tests/real/XServer.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/DemoWalk.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

using Processes::End;
using Processes::Start;
using Processes::Xdo;
using SteadyClock = std::chrono::steady_clock;

// The windows that show, by their numbers.
std::vector<unsigned long> ShownWindows(const std::string& scratch) {
    const std::string out = scratch + "/ids.txt";
    std::vector<unsigned long> ids;
    const pid_t pid = Start({"timeout", "10", "xdotool", "search", "--onlyvisible", "--name", "."}, out);
    if (pid <= 0) return ids;
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(out);
    for (unsigned long id = 0; in >> id;)
        ids.push_back(id);
    return ids;
}

// A window that was not among those shown before, of the size when one is given, waited for up to
// 10 s; 0 when none came. (The names of kel's windows are Japanese, which xdotool's name patterns
// do not match.)
unsigned long NewWindow(const std::vector<unsigned long>& before, const std::string& scratch, int32_t width = 0,
                        int32_t height = 0) {
    const auto end = SteadyClock::now() + std::chrono::seconds(10);
    while (SteadyClock::now() < end) {
        for (unsigned long id : ShownWindows(scratch)) {
            if (std::find(before.begin(), before.end(), id) != before.end()) continue;
            std::vector<uint32_t> pixels;
            int32_t w = 0, h = 0;
            if (width == 0 || (XServer::Read(id, pixels, w, h) && w == width && h == height)) return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

void Keep(const std::string& name, const std::vector<uint32_t>& pixels, int32_t width, int32_t height) {
    std::vector<uint32_t> argb(pixels);
    for (uint32_t& p : argb)
        p |= 0xFF000000u;
    fs::create_directories("screenshots");
    std::ofstream("screenshots/" + name + ".png", std::ios::binary) << AnimationFixtures::Png(width, height, argb);
}

// The xdotool words for a key of the input script.
std::string KeyName(int vk) {
    switch (vk) {
        case 27:
            return "Escape";
        case 116:
            return "F5";
        case 120:
            return "F9";
        default:
            return "";
    }
}

TEST(DemoWalkRealTest, TheWalkInTheProgramShowsTheRunnersScreens) {
    std::string why;
    if (RealWindow::NoDisplay(why)) GTEST_SKIP() << "no X display could be opened (" << why << "); run under xvfb-run";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
    const std::string demo = TestData::ScratchDir(), copy = TestData::ScratchDir(), scratch = TestData::ScratchDir();
    const std::string build = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + demo + "' '" +
                              ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(build.c_str()), 0);
    // Each walk on its own copy: both write saves and system data.
    fs::copy(demo, copy, fs::copy_options::recursive);
    const DemoWalk::TResult headless = DemoWalk::PlayHeadless(copy);
    const auto& steps = DemoWalk::Steps();
    ASSERT_EQ(headless.Screens.size(), steps.size() - 1) << headless.Input << headless.Report;

    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const auto started = SteadyClock::now();
    const std::vector<unsigned long> before = ShownWindows(scratch);
    const pid_t kel = Start({ToolRun::ToolPath("../kel"), demo});
    ASSERT_GT(kel, 0);
    const unsigned long id = NewWindow(before, scratch, 800, 600);
    const std::string window = std::to_string(id);
    if (id == 0 || !Xdo("windowfocus --sync " + window)) {
        End(kel);
        FAIL() << "the window of kel did not show";
    }
    // Clicks with a pause between press and release, as a player makes them.
    auto click = [&](int button, const std::string& where) {
        return Xdo(where + "mousedown " + std::to_string(button) + " sleep 0.05 mouseup " + std::to_string(button));
    };
    // A form of kel: found as the new window, kept, answered by a click, and gone again; the game's window
    // then gets the focus back, and its input device pauses for a moment after that.
    auto answerForm = [&](const std::vector<unsigned long>& shown, const std::string& keep, const std::string& answer) {
        const unsigned long form = NewWindow(shown, scratch);
        if (form == 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::vector<uint32_t> pixels;
        int32_t w = 0, h = 0;
        if (XServer::Read(form, pixels, w, h)) Keep(keep, pixels, w, h);
        Xdo("mousemove --window " + std::to_string(form) + " " + answer);
        bool gone = false;
        for (int i = 0; i < 50 && !gone; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gone = !XServer::Read(form, pixels, w, h);
        }
        Xdo("windowfocus --sync " + window);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return gone;
    };

    size_t screen = 0;
    for (size_t k = 0; k < steps.size(); ++k) {
        const DemoWalk::TStep& step = steps[k];
        if (!step.Screen.empty()) {
            const DemoWalk::TScreen& expected = headless.Screens[screen++];
            std::vector<uint32_t> pixels;
            int32_t w = 0, h = 0;
            int64_t wrong = -1;
            const auto end = SteadyClock::now() + std::chrono::seconds(10);
            while (wrong != 0 && SteadyClock::now() < end) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (XServer::Read(id, pixels, w, h) && w == 800 && h == 600)
                    wrong = DemoWalk::Differences(pixels, expected.Pixels, expected.Masks);
            }
            char name[64];
            std::snprintf(name, sizeof name, "walk-%02zu-%s", k, step.Screen.c_str());
            if (!pixels.empty()) Keep(name, pixels, w, h);
            if (wrong != 0) {
                ADD_FAILURE() << "the window did not show the screen " << step.Screen << " (" << wrong
                              << " pixels differ; see screenshots/" << name << ".png)";
                break;
            }
            // The screens ignore the player for their first moments.
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        std::istringstream lines(step.Actions);
        bool pick = false, configure = false;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string action;
            int a = 0, b = 0;
            words >> action >> a >> b;
            const std::string at = "mousemove --window " + window + " " + std::to_string(a) + " " + std::to_string(b);
            if (action == "move") {
                Xdo(at);
            } else if (action == "click") {
                const std::vector<unsigned long> shown =
                    configure ? ShownWindows(scratch) : std::vector<unsigned long>{};
                click(1, at + " ");
                // The configuration dialog: its "設定" button takes the settings as they stand (the
                // headless walk halves the music's volume, which no frame shows).
                if (configure) {
                    EXPECT_TRUE(answerForm(shown, "walk-config", "294 444 click 1"));
                }
            } else if (action == "tap" && a == 2) {
                click(3, "");
            } else if (action == "tap") {
                const std::vector<unsigned long> shown = pick ? ShownWindows(scratch) : std::vector<unsigned long>{};
                Xdo("windowfocus --sync " + window + " keydown " + KeyName(a) + " sleep 0.05 keyup " + KeyName(a));
                // The quick-load window: a double click on its newest line loads it.
                if (pick) {
                    EXPECT_TRUE(answerForm(shown, "walk-quick-load", "100 8 click --repeat 2 --delay 80 1"));
                }
            } else if (action == "wheel") {
                Xdo("click 4");
            } else if (action == "pick") {
                pick = true;
            } else {
                configure = true;  // page, set, press: the answers of the configuration dialog
            }
        }
    }
    const auto took = SteadyClock::now() - started;
    End(kel);
    EXPECT_EQ(screen, headless.Screens.size());
    EXPECT_LT(took, std::chrono::seconds(60));
    EXPECT_TRUE(fs::exists(demo + "/SaveData/SaveData2.svd"));
    EXPECT_TRUE(fs::exists(demo + "/SaveData/QuickSaveData0.svd"));
}

}  // namespace
