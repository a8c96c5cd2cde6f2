// The save and load screens under a real X server: the program kel plays the demo in its window;
// once the first line is on the screen the menu's SAVE opens the save screen, slot 3 is selected
// and saved into, and the menu's LOAD opens the load screen, where slot 3 now shows the game's
// thumbnail, and loads it. A frame of each screen is kept as screenshots/save-screen.png and
// screenshots/load-screen.png beside the test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "media/ARGB8888Lib.h"
#include "tests/real/RealWindow.h"
#include "tests/support/MenuWalk.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

TEST(KelFileSelectRealTest, TheScreensInTheWindowAndScreenshotsAreKept) {
    std::string why;
    if (RealWindow::NoDisplay(why)) GTEST_SKIP() << "no X display could be opened (" << why << "); run under xvfb-run";
    const std::string demo = TestData::ScratchDir();
    const std::string build = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + demo + "' '" +
                              ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(build.c_str()), 0);
    const MenuWalk::TPlan plan = MenuWalk::Plan(demo);
    ASSERT_GT(plan.Shown, 0);
    fs::remove_all(demo + "/SaveData");

    // The walk of the runner's test: the screens ignore input for 200 ms, eight frames.
    const int64_t save = plan.Shown + 70, load = save + 90, end = load + 20;
    std::string input;
    for (const auto& [at, y] : {std::pair{save, 118}, std::pair{load, 178}})
        input += std::to_string(at - 60) + " tap 2\n" + std::to_string(at - 40) + " click 400 " + std::to_string(y) +
                 "\n" + std::to_string(at - 10) + " click 100 220\n" + std::to_string(at) + " click 100 220\n";
    const std::string dir = TestData::ScratchDir();
    std::ofstream(dir + "/input.txt") << input;
    const auto run = ToolRun::Run("../kel", "--frames " + std::to_string(end) + " --input '" + dir +
                                                "/input.txt' --png-every 3 --png '" + dir + "/frames' '" + demo + "'");
    ASSERT_EQ(run.Code, 0) << run.Output;
    EXPECT_NE(run.Output.find("error log: empty"), std::string::npos) << run.Output;
    EXPECT_TRUE(fs::exists(demo + "/SaveData/SaveData2.svd"));

    // A frame with slot 3 selected on the save screen, and one of the load screen before its
    // clicks. Presents are counted like frames, give or take the few that present nothing.
    const auto frames = MenuWalk::Frames(dir + "/frames");
    auto within = [&](int64_t from, int64_t to) {
        const auto it = frames.lower_bound(from);
        return it != frames.end() && it->first < to ? it->second : std::string();
    };
    const std::string saveScreen = within(save - 7, save - 2), loadScreen = within(load - 25, load - 14);
    ASSERT_FALSE(saveScreen.empty());
    ASSERT_FALSE(loadScreen.empty());
    // Slot 3's thumbnail: the empty slot's picture on the save screen, the game on the load screen.
    const auto before = MenuWalk::Picture(saveScreen), after = MenuWalk::Picture(loadScreen);
    ASSERT_TRUE(before && after);
    const uint32_t empty = 0x202030;
    EXPECT_EQ(before->ScanLine(200)[100] & 0xFFFFFFu, empty);
    EXPECT_NE(after->ScanLine(200)[100] & 0xFFFFFFu, empty);

    fs::create_directories("screenshots");
    fs::copy_file(saveScreen, "screenshots/save-screen.png", fs::copy_options::overwrite_existing);
    fs::copy_file(loadScreen, "screenshots/load-screen.png", fs::copy_options::overwrite_existing);
}

}  // namespace
