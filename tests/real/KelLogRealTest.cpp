// The back-log screen under a real X server: the program kel plays the demo in its window through
// the walk of the runner's test (the wheel opens the back-log, scrolls it, a click replays a
// voice, Esc leaves), and every frame it reads back from the window is the runner's, pixel for
// pixel. A frame of the open screen is kept as screenshots/back-log.png beside the test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/HostFiles.h"
#include "platform/sdl/SdlMainWindow.h"
#include "tests/real/XServer.h"
#include "tests/support/BackLogWalk.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

TEST(KelLogRealTest, TheBackLogInTheWindowIsTheRunnersAndAScreenshotIsKept) {
    {
        TSdlMainWindow probe("probe", 16, 16);
        if (probe.Failed() || !XServer::Available(probe.Handle()))
            GTEST_SKIP() << "no X display could be opened (" << probe.Error() << "); run under xvfb-run";
    }
    if (!BackLogWalk::DemoBindsTheBackLog()) GTEST_SKIP() << "the demo binds no key to the back-log";
    const std::string demo = TestData::ScratchDir();
    const std::string build = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + demo + "' '" +
                              ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(build.c_str()), 0);
    const BackLogWalk::TPlan plan = BackLogWalk::Plan(demo);
    ASSERT_GT(plan.Logged, 0);

    const std::string dir = TestData::ScratchDir(), window = dir + "/window", headless = dir + "/headless";
    std::ofstream(dir + "/input.txt") << plan.Input;
    const std::string args = "--frames " + std::to_string(plan.End) + " --input '" + dir + "/input.txt' --png-every 8 ";
    const auto a = ToolRun::Run("../kel", args + "--png '" + window + "' '" + demo + "'");
    const auto b = ToolRun::Run("kel-headless", args + "--png '" + headless + "' '" + demo + "'");
    ASSERT_EQ(b.Code, 0) << b.Output;
    EXPECT_EQ(a.Code, b.Code) << a.Output;

    std::string kept;
    int compared = 0;
    for (const auto& f : fs::directory_iterator(headless)) {
        const std::string name = f.path().filename().string();
        std::string x, y;
        ASSERT_TRUE(HostFiles::Read(window + "/" + name, x)) << name;
        ASSERT_TRUE(HostFiles::Read(headless + "/" + name, y)) << name;
        const auto px = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(x.data()), x.size());
        const auto py = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(y.data()), y.size());
        ASSERT_TRUE(px && py) << name;
        EXPECT_EQ(px->Pixels, py->Pixels) << name;
        ++compared;
        // The first frame of the open screen with the newest lines, after its first 200 ms.
        const int64_t present = std::stoll(f.path().stem().string().substr(5));
        if (present > plan.Open + 10 && present < plan.Down - 3 && BackLogWalk::ThumbEnd(window + "/" + name) == 0 &&
            (kept.empty() || name < fs::path(kept).filename().string()))
            kept = window + "/" + name;
    }
    EXPECT_GT(compared, 50);
    ASSERT_FALSE(kept.empty()) << "no frame of the window shows the back-log";
    fs::create_directories("screenshots");
    fs::copy_file(kept, "screenshots/back-log.png", fs::copy_options::overwrite_existing);
}

}  // namespace
