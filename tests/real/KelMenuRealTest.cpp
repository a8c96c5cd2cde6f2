// The system menu under a real X server: the program kel plays the demo in its window through the
// walk of the runner's test (a right click opens the menu over the dimmed game, the locked QUICK
// LOAD takes no click, MARK is checked, a right click gives the game back after the end mute
// time), and every frame it reads back from the window is the runner's, pixel for pixel, and shows
// what the walk should show. A frame of the menu with MARK checked is kept as screenshots/menu.png
// beside the test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>

#include "media/ARGB8888Lib.h"
#include "platform/FileSystem.h"
#include "platform/sdl/SdlMainWindow.h"
#include "tests/real/XServer.h"
#include "tests/support/MenuWalk.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

TEST(KelMenuRealTest, TheMenuInTheWindowIsTheRunnersAndAScreenshotIsKept) {
    {
        TSdlMainWindow probe("probe", 16, 16);
        if (probe.Failed() || !XServer::Available(probe.Handle()))
            GTEST_SKIP() << "no X display could be opened (" << probe.Error() << "); run under xvfb-run";
    }
    const std::string demo = TestData::ScratchDir();
    const std::string build = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + demo + "' '" +
                              ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(build.c_str()), 0);
    const MenuWalk::TPlan plan = MenuWalk::Plan(demo);
    ASSERT_GT(plan.Shown, 0);

    const std::string dir = TestData::ScratchDir(), window = dir + "/window", headless = dir + "/headless";
    std::ofstream(dir + "/input.txt") << plan.Input;
    const std::string args = "--frames " + std::to_string(plan.End) + " --input '" + dir + "/input.txt' --png-every 4 ";
    // The two programs run side by side, each on its own copy of the game, as both write its system
    // data.
    fs::copy(demo, dir + "/game", fs::copy_options::recursive);
    auto runner = std::async(std::launch::async, [&] {
        return ToolRun::Run("kel-headless", args + "--png '" + headless + "' '" + dir + "/game'");
    });
    const auto a = ToolRun::Run("../kel", args + "--png '" + window + "' '" + demo + "'");
    const auto b = runner.get();
    ASSERT_EQ(b.Code, 0) << b.Output;
    EXPECT_EQ(a.Code, b.Code) << a.Output;
    EXPECT_NE(a.Output.find("error log: empty"), std::string::npos) << a.Output;

    const auto ours = MenuWalk::Frames(window), theirs = MenuWalk::Frames(headless);
    ASSERT_EQ(ours.size(), theirs.size());
    ASSERT_FALSE(ours.empty());
    for (const auto& [present, path] : theirs) {
        ASSERT_TRUE(ours.count(present)) << path;
        const auto px = MenuWalk::Picture(ours.at(present)), py = MenuWalk::Picture(path);
        ASSERT_TRUE(px && py) << path;
        EXPECT_EQ(px->Pixels, py->Pixels) << path;
    }

    // What the window shows along the walk; presents are counted like frames, give or take the few
    // frames that present nothing, so each stretch keeps clear of its ends.
    using MenuWalk::Dimmed, MenuWalk::MarkChecked, MenuWalk::Near, MenuWalk::PanelShown, MenuWalk::Park;
    const auto before = MenuWalk::Picture(std::prev(ours.lower_bound(plan.Open - 3))->second);
    ASSERT_TRUE(before);
    const uint32_t game = Park(*before);
    std::string kept;
    auto each = [&](int64_t from, int64_t to, const auto& check) {
        int32_t seen = 0;
        for (auto it = ours.lower_bound(from + 3); it != ours.end() && it->first < to - 3; ++it, ++seen) {
            const auto p = MenuWalk::Picture(it->second);
            ASSERT_TRUE(p) << it->second;
            check(*p, it->second);
        }
        EXPECT_GT(seen, 0) << from << ".." << to;
    };
    each(plan.Shown, plan.Open, [&](const TBitmap32& p, const std::string& name) {
        EXPECT_EQ(Park(p), game) << name;
        EXPECT_FALSE(MarkChecked(p)) << name;
    });
    each(plan.Open + 20, plan.Quick, [&](const TBitmap32& p, const std::string& name) {
        EXPECT_TRUE(Near(Park(p), Dimmed(game))) << name;
        EXPECT_TRUE(PanelShown(p)) << name;
        EXPECT_FALSE(MarkChecked(p)) << name;
    });
    each(plan.Mark, plan.Cancel, [&](const TBitmap32& p, const std::string& name) {
        EXPECT_TRUE(Near(Park(p), Dimmed(game))) << name;
        EXPECT_TRUE(PanelShown(p)) << name;
        EXPECT_TRUE(MarkChecked(p)) << name;
        if (kept.empty()) kept = name;
    });
    // The cancel counts when the button comes up, a frame after the tap; the menu goes 300 ms on.
    const size_t time = a.Output.find("time: ");
    ASSERT_NE(time, std::string::npos) << a.Output;
    const auto period = static_cast<int64_t>(std::stod(a.Output.substr(time + 6))) / plan.End;
    ASSERT_GT(period, 0);
    const int64_t gone = plan.Cancel + 1 + (300 + period - 1) / period;
    each(plan.Cancel, gone,
         [&](const TBitmap32& p, const std::string& name) { EXPECT_TRUE(Near(Park(p), Dimmed(game))) << name; });
    each(gone, plan.End, [&](const TBitmap32& p, const std::string& name) {
        EXPECT_EQ(Park(p), game) << name;
        EXPECT_FALSE(MarkChecked(p)) << name;
    });

    ASSERT_FALSE(kept.empty()) << "no frame of the window shows the menu with MARK checked";
    fs::create_directories("screenshots");
    fs::copy_file(kept, "screenshots/menu.png", fs::copy_options::overwrite_existing);
}

}  // namespace
