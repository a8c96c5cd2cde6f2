// The display of the headless runner: the engine core reaches it through its display seam, and
// the presented frames are written as PNG pictures (kel-headless --png, --png-every).
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/DisplayComponent.h"
#include "foundation/DisplayStarter.h"
#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/HostFiles.h"
#include "shell/DisplayStarterLink.h"
#include "shell/HeadlessScreen.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"

namespace {

class HeadlessScreenTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        Settings.ScreenWidth = 40;
        Settings.ScreenHeight = 30;
        Settings.FullScreen = 0;
    }

    // The display component and starter over the screen's device, as the main window makes them.
    struct TComponents {
        TComponents(THeadlessScreen& screen, TSystemConfig& config)
            : DDDD(&screen.Device), Starter{config, {}, nullptr, &DDDD, nullptr} {
            DDDD.AutoDisplayModeInitialize = false;
            DDDD.VsyncAtWindowed = false;
            DDDD.Loaded();
            DDDD.InitialScreenWidth = 40;
            DDDD.InitialScreenHeight = 30;
        }
        TDDDD7 DDDD;
        TDirectXPack Starter;
        TDirectXPackDisplay Seam{Starter};
    };

    // Paints the whole back buffer one colour and presents it.
    void PresentColour(uint32_t colour) {
        TDisplayLock lock;
        ASSERT_TRUE(Parts.DDDD.BackBuffer->Lock(lock));
        const std::vector<uint32_t> pixels(40 * 30, colour);
        Display::StoreRect(lock, 0, 0, 40, 30, pixels.data(), 40);
        Parts.DDDD.BackBuffer->Changed(0, 30);
        Parts.DDDD.BackBuffer->Unlock();
        Parts.DDDD.Flip();
    }

    THeadlessScreen Screen;
    TComponents Parts{Screen, Context.Config};
};

TEST_F(HeadlessScreenTest, TheSeamFollowsTheStarterAndTheBackBuffer) {
    ASSERT_TRUE(Parts.DDDD.Start());
    IKelDisplay& seam = Parts.Seam;
    EXPECT_FALSE(seam.Ready());  // no mode of the game's yet
    int before = 0, after = 0;
    seam.SetDisplayResetEvents([&] { ++before; }, [&] { ++after; });
    Parts.Starter.ChangeDisplayMode();
    EXPECT_TRUE(seam.Ready());
    EXPECT_FALSE(seam.IsFullScreen());
    seam.ToggleFullScreen();
    EXPECT_TRUE(seam.IsFullScreen());
    EXPECT_EQ(Settings.FullScreen, 1);
    EXPECT_EQ(before, 2);
    EXPECT_EQ(after, 2);

    EXPECT_TRUE(seam.TestBackBuffer());
    Screen.Device.LoseDevice();
    EXPECT_FALSE(seam.TestBackBuffer());
    EXPECT_TRUE(seam.Reinitialize());
    EXPECT_TRUE(seam.TestBackBuffer());
    EXPECT_TRUE(seam.IsFullScreen());
}

TEST_F(HeadlessScreenTest, PresentedFramesAreWrittenAsPictures) {
    const std::string folder = TestData::ScratchDir() + "/frames";
    ASSERT_TRUE(Parts.DDDD.Start());
    Parts.Starter.ChangeDisplayMode();
    Screen.CaptureTo(folder, 2);
    const uint32_t colours[] = {0xFF102030, 0xFF405060, 0xFFFF8000, 0xFF00FF00};
    for (uint32_t c : colours)
        PresentColour(c);
    EXPECT_EQ(Screen.FramesWritten, 2);
    EXPECT_TRUE(Screen.WriteError.empty()) << Screen.WriteError;
    // Presents 1 and 3 of the capture: every second one from the first.
    for (auto [index, colour] : {std::pair{1, colours[0]}, std::pair{3, colours[2]}}) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%06d.png", index);
        std::string bytes;
        ASSERT_TRUE(HostFiles::Read(folder + name, bytes)) << name;
        const auto picture = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ASSERT_EQ(picture->Width, 40);
        ASSERT_EQ(picture->Height, 30);
        EXPECT_EQ(picture->Pixels[0] & 0xFFFFFF, colour & 0xFFFFFF);
        EXPECT_EQ(picture->Pixels[40 * 30 - 1] & 0xFFFFFF, colour & 0xFFFFFF);
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/frame000002.png"));

    // A folder that cannot be written stops the writing with its reason.
    THeadlessScreen other;
    TComponents otherParts(other, Context.Config);
    ASSERT_TRUE(otherParts.DDDD.Start());
    otherParts.Starter.ChangeDisplayMode();
    other.CaptureTo("/proc/no-such-folder", 1);
    otherParts.DDDD.Flip();
    EXPECT_EQ(other.FramesWritten, 0);
    EXPECT_NE(other.WriteError.find("/proc/no-such-folder/frame000001.png"), std::string::npos);
}

}  // namespace
