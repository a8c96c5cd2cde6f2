#include <gtest/gtest.h>

#include <sstream>

#include "foundation/DisplayComponent.h"
#include "foundation/DisplayStarter.h"
#include "foundation/SystemConfigLib.h"
#include "platform/Encoding.h"
#include "platform/headless/HeadlessDialogs.h"
#include "platform/headless/HeadlessDisplay.h"
#include "tests/support/ContextFixture.h"

namespace {

class DisplayStartTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        Context.Config.MessageTable.SetValue("FullScreenError", "フルスクリーンにできません"_sj);
        Context.Config.MessageTable.SetValue("OK", "了解"_sj);
        DDDD.AutoDisplayModeInitialize = false;
        DDDD.OnHalt = [](const std::string& reason) { FAIL() << Encoding::SjisToUtf8(reason); };
        DDDD.Loaded();
        ASSERT_TRUE(DDDD.Start());
        Settings.ScreenWidth = 800;
        Settings.ScreenHeight = 600;
    }

    THeadlessDisplay Device;
    THeadlessDialogs Answers;
    TDDDD7 DDDD{&Device};
    TDirectXPack Pack{Context.Config, {&Answers}, nullptr, &DDDD, nullptr};
};

TEST_F(DisplayStartTest, FullScreenFallsBackThroughTheDepthsThenToAWindow) {
    struct Case {
        int32_t fullScreen, colorMode;
        std::vector<THeadlessMode> offered;
        bool full;  // the mode reached
        int32_t depth;
        bool message;  // "FullScreenError" shown
    };
    const Case cases[] = {
        {0, 1, {{800, 600, 32, 60}}, false, 32, false},
        {1, 1, {{800, 600, 16, 60}, {800, 600, 32, 60}}, true, 32, false},
        {1, 1, {{800, 600, 24, 75}}, true, 24, false},
        {1, 0, {{800, 600, 32, 60}, {800, 600, 16, 60}}, true, 16, false},
        {1, 0, {{800, 600, 15, 60}}, true, 15, false},
        {5, 1, {{800, 600, 32, 60}}, true, 32, false},  // any other value than 0 asks for full screen
        {1, 1, {{800, 600, 16, 60}, {800, 600, 15, 60}}, false, 32, true},
        {1, 0, {{800, 600, 32, 60}, {800, 600, 24, 60}}, false, 32, true},
        {1, 1, {{640, 480, 32, 60}}, false, 32, true},  // the game's size is not offered
        {1, 0, {}, false, 32, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fullScreen << "/" << c.colorMode << " -> " << c.depth);
        Device.Modes = c.offered;
        Answers.Shown.clear();
        Settings.FullScreen = c.fullScreen;
        Settings.ColorMode = c.colorMode;
        EXPECT_TRUE(Pack.ChangeDisplayMode());
        EXPECT_EQ(Device.Setup.FullScreen, c.full);
        EXPECT_EQ(Device.Setup.BitDepth, c.depth);
        EXPECT_EQ(Device.Setup.Width, 800);
        EXPECT_EQ(Device.Setup.Height, 600);
        EXPECT_EQ(Settings.FullScreen, c.full ? 1 : 0);
        EXPECT_EQ(Pack.RememberedFullScreen, Settings.FullScreen);
        EXPECT_EQ(Pack.RememberedColorMode, c.colorMode);
        ASSERT_EQ(Answers.Shown.size(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_EQ(Answers.Shown[0].Text, "フルスクリーンにできません"_sj);
            EXPECT_EQ(Answers.Shown[0].Buttons, std::vector<std::string>{"了解"_sj});
        }
    }
}

TEST_F(DisplayStartTest, ScreenSizesOutsideOneTo4096AreReplaced) {
    const struct {
        int32_t w, h, expectW, expectH;
    } cases[] = {
        {4096, 4096, 4096, 4096}, {1, 1, 1, 1},     {4097, 600, 800, 600},
        {-1, 600, 800, 600},      {0, 0, 800, 600}, {640, 4097, 640, 600},
    };
    Settings.FullScreen = 0;
    for (const auto& c : cases) {
        Settings.ScreenWidth = c.w;
        Settings.ScreenHeight = c.h;
        Pack.ChangeDisplayMode();
        EXPECT_EQ(Settings.ScreenWidth, c.expectW);
        EXPECT_EQ(Settings.ScreenHeight, c.expectH);
        EXPECT_EQ(Device.Setup.Width, c.expectW);
        EXPECT_EQ(Device.Setup.Height, c.expectH);
    }
}

TEST_F(DisplayStartTest, ToggleRunsTheHooksAroundEachChange) {
    std::vector<std::string> calls;
    auto note = [&](const char* when) {
        std::ostringstream line;
        line << when << (Pack.Started ? " started" : " stopped") << " full " << int{DDDD.Mode.FullScreen};
        calls.push_back(line.str());
    };
    Pack.OnBeforeChange = [&] { note("before"); };
    Pack.OnAfterChange = [&] { note("after"); };
    Settings.FullScreen = 0;
    Settings.ColorMode = 1;
    EXPECT_FALSE(Pack.Started);
    Pack.ChangeDisplayMode();
    Pack.ToggleFullScreen();
    EXPECT_EQ(Settings.FullScreen, 1);
    EXPECT_EQ(Pack.RememberedFullScreen, 1);
    Pack.ToggleFullScreen();
    EXPECT_EQ(Settings.FullScreen, 0);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"before stopped full 0", "after started full 0", "before stopped full 0",
                                        "after started full 1", "before stopped full 1", "after started full 0"}));
    EXPECT_EQ(Device.Setup.FullScreen, false);
    EXPECT_EQ(Device.Setup.Width, 800);
}

}  // namespace
