#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/DisplayComponent.h"
#include "platform/Encoding.h"
#include "platform/headless/HeadlessDialogs.h"
#include "platform/headless/HeadlessDisplay.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"

namespace {

class DisplayComponentTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override { Scratch = TestData::ScratchDir(); }
    // A component as the main window sets it up: halting recorded instead of ending the test, the
    // debug log in the scratch folder.
    std::unique_ptr<TDDDD7> Make(IDisplayDevice* device = nullptr) {
        auto d = std::make_unique<TDDDD7>(device ? device : &Device);
        d->SetDebugLogFolder(Scratch);
        d->AutoDisplayModeInitialize = false;
        d->VsyncAtWindowed = false;
        d->Log = &Log;
        d->Dialogs.Dialogs = &Answers;
        d->OnHalt = [this](const std::string& reason) { Halts.push_back(Encoding::SjisToUtf8(reason)); };
        d->Loaded();
        return d;
    }
    std::string ReadDebugLog() {
        std::ifstream in(Scratch + "/dddd.debug", std::ios::binary);
        return Encoding::SjisToUtf8(std::string(std::istreambuf_iterator<char>(in), {}));
    }

    std::string Scratch;
    THeadlessDisplay Device;
    THeadlessDialogs Answers;
    std::vector<std::string> Halts;
};

TEST_F(DisplayComponentTest, StartsWindowedThenTakesModesOfEitherDepth) {
    auto dd = Make();
    int inits = 0;
    bool needChange = false;
    dd->OnInit = [&](TDDDD7&, bool& need) {
        ++inits;
        needChange = need;
    };
    int changes = 0;
    dd->OnChangeDisplayMode = [&] { ++changes; };
    ASSERT_TRUE(dd->Start());
    EXPECT_EQ(inits, 1);
    EXPECT_TRUE(needChange);  // without the automatic set-up the owner still has to choose a mode
    EXPECT_EQ(changes, 0);    // the first start's own window is no change
    EXPECT_EQ(dd->Mode.Width, 640);
    EXPECT_EQ(dd->Mode.BitDepth, 32);
    EXPECT_EQ(dd->Mode.FullScreen, 0);
    EXPECT_FALSE(Device.Setup.FullScreen);

    struct Case {
        bool full;
        int32_t depth;
        int32_t bits;
        uint32_t r, g, b;
        int32_t gPosition, gLoss;
    };
    const Case cases[] = {
        {false, 32, 32, 0xFF0000, 0xFF00, 0xFF, 8, 0},  // a window takes the desktop's depth
        {true, 32, 32, 0xFF0000, 0xFF00, 0xFF, 8, 0},   //
        {true, 24, 24, 0xFF0000, 0xFF00, 0xFF, 8, 0},   //
        {true, 16, 16, 0xF800, 0x07E0, 0x001F, 5, 2},   // 5-6-5
        {true, 15, 16, 0x7C00, 0x03E0, 0x001F, 5, 3},   // 5-5-5
    };
    for (const Case& c : cases) {
        if (c.full)
            dd->InitializeFullScreen(800, 600, c.depth, 0, "");
        else
            dd->InitializeWindowed(800, 600);
        SCOPED_TRACE(c.depth);
        ASSERT_NE(dd->BackBuffer, nullptr);
        EXPECT_EQ(dd->Mode.FullScreen, c.full ? 1 : 0);
        EXPECT_EQ(dd->Mode.BitDepth, c.depth);
        TDisplayLock lock;
        ASSERT_TRUE(dd->BackBuffer->Lock(lock));
        EXPECT_EQ(lock.Width, 800);
        EXPECT_EQ(lock.Height, 600);
        EXPECT_EQ(lock.Format.BitCount, c.bits);
        EXPECT_EQ(lock.Format.RMask, c.r);
        EXPECT_EQ(lock.Format.GMask, c.g);
        EXPECT_EQ(lock.Format.BMask, c.b);
        EXPECT_GE(lock.Pitch, 800 * lock.Format.BytesPerPixel);
        EXPECT_EQ(dd->BackBuffer->GreenMask.Position, c.gPosition);
        EXPECT_EQ(dd->BackBuffer->GreenMask.Loss, c.gLoss);
        EXPECT_EQ(dd->BackBuffer->AlphaMask.Loss, 8);  // no alpha channel
        TDisplayLock again;
        EXPECT_FALSE(dd->BackBuffer->Lock(again));  // one lock at a time
        dd->BackBuffer->Unlock();
        EXPECT_FALSE(dd->BackBuffer->Locked);
    }
    EXPECT_EQ(changes, 5);
    EXPECT_TRUE(Halts.empty());
}

TEST_F(DisplayComponentTest, FlipCarriesExactlyTheChangedRows) {
    auto dd = Make();
    ASSERT_TRUE(dd->Start());
    dd->InitializeFullScreen(64, 32, 16, 0, "");
    std::vector<THeadlessFrame> frames;
    Device.OnFrame = [&](const THeadlessFrame& f) { frames.push_back(f); };

    dd->Flip();  // a new back buffer goes out whole
    ASSERT_EQ(Device.LastPresentRows, (std::vector<Display::TRowSpan>{{0, 32}}));

    TDisplayLock lock;
    ASSERT_TRUE(dd->BackBuffer->Lock(lock));
    const std::vector<uint32_t> red(64, 0xFFFF0000);
    Display::StoreRect(lock, 0, 3, 64, 2, red.data(), 0);
    Display::StoreRect(lock, 10, 20, 1, 1, red.data(), 0);
    dd->BackBuffer->Changed(3, 5);
    dd->BackBuffer->Changed(20, 21);
    dd->BackBuffer->Changed(30, 99);  // cut to the buffer
    dd->BackBuffer->Unlock();
    dd->Flip();
    EXPECT_EQ(Device.LastPresentRows, (std::vector<Display::TRowSpan>{{3, 5}, {20, 21}, {30, 32}}));
    dd->Flip();
    EXPECT_TRUE(Device.LastPresentRows.empty());

    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1].Pixels[3 * 64 + 5], 0xFFFF0000u);  // red survives 5-6-5
    EXPECT_EQ(frames[1].Pixels[20 * 64 + 10], 0xFFFF0000u);
    EXPECT_EQ(frames[1].Pixels[20 * 64 + 11], 0xFF000000u);
}

TEST_F(DisplayComponentTest, ALostDeviceIsRestoredOnActivationAndByReinitialize) {
    auto dd = Make();
    ASSERT_TRUE(dd->Start());
    int restores = 0, ownHandler = 0;
    dd->OnRestore = [&] { ++restores; };
    dd->OnActivate = [&] { ++ownHandler; };

    Device.LoseDevice();
    TDisplayLock lock;
    EXPECT_FALSE(dd->BackBuffer->Lock(lock));
    Device.Activate(false);  // not the active window: nothing is restored
    EXPECT_TRUE(Device.IsLost());
    Device.Activate(true);
    EXPECT_FALSE(Device.IsLost());
    EXPECT_EQ(restores, 1);
    EXPECT_EQ(ownHandler, 1);  // the window's own handler runs after the component's
    dd->Flip();
    EXPECT_EQ(Device.LastPresentRows, (std::vector<Display::TRowSpan>{{0, 480}}));  // everything again

    dd->InitializeFullScreen(320, 200, 16, 0, "");
    Device.LoseDevice();
    EXPECT_TRUE(dd->Reinitialize());
    EXPECT_EQ(Device.Setup.Width, 320);
    EXPECT_TRUE(Device.Setup.FullScreen);
    EXPECT_EQ(Device.Setup.BitDepth, 16);
    EXPECT_TRUE(dd->BackBuffer->Lock(lock));
    dd->BackBuffer->Unlock();

    Device.FailStep = TDisplayStep::Device;
    EXPECT_FALSE(dd->Reinitialize());  // a display that could not be made again is no success
}

TEST_F(DisplayComponentTest, AFailedCallIsLoggedAndEndsTheProgramWithItsReason) {
    auto dd = Make();
    ASSERT_TRUE(dd->Start());
    const struct {
        TDisplayStep step;
        const char* message;
    } cases[] = {
        {TDisplayStep::Device, "DirectDrawオブジェクトが作成できません(Error Code(1))"},
        {TDisplayStep::DisplayMode, "画面モード1024x768x16の初期化に失敗しました(Error Code(1))"},
        {TDisplayStep::BackBuffer, "バックバッファの作成に失敗しました(Error Code(1))"},
    };
    for (const auto& c : cases) {
        Halts.clear();
        Device.FailStep = c.step;
        dd->InitializeFullScreen(1024, 768, 16, 0, "");
        ASSERT_EQ(Halts.size(), 1u);
        EXPECT_EQ(Halts[0].rfind(c.message, 0), 0u) << Halts[0];
        EXPECT_NE(Halts[0].find("failure asked by the test"), std::string::npos);  // the device's reason
        EXPECT_EQ(dd->BackBuffer, nullptr);
        EXPECT_FALSE(Device.IsOpen());
    }
    // The reason also reaches the error log before the program ends.
    ASSERT_EQ(Log.ErrorList.Count(), 3);
    EXPECT_EQ(Encoding::SjisToUtf8(Log.ErrorList[2]).rfind("[ERROR]:バックバッファ", 0), 0u);

    Halts.clear();
    dd->SetDebugOption(0);  // without the halt option a failure is only logged (nowhere, here)
    Device.FailStep = TDisplayStep::Device;
    dd->InitializeWindowed(640, 480);
    EXPECT_TRUE(Halts.empty());
}

TEST_F(DisplayComponentTest, DebugLogWritesOnlyWithItsOption) {
    auto dd = Make();
    dd->SetDebugOption(ddoDetailedLog);  // detail without the message option writes nothing
    ASSERT_TRUE(dd->Start());
    Device.FailStep = TDisplayStep::BackBuffer;
    dd->InitializeWindowed(640, 480);
    EXPECT_EQ(ReadDebugLog(), "");

    dd->SetDebugOption(ddoDebugMessage);
    Device.FailStep = TDisplayStep::BackBuffer;
    dd->InitializeWindowed(640, 480);
    Device.FailStep = TDisplayStep::BackBuffer;
    dd->InitializeWindowed(640, 480);
    const std::string log = ReadDebugLog();
    EXPECT_EQ(log.rfind("debug#00001 ... バックバッファの作成に失敗しました(Error Code(1))", 0), 0u) << log;
    EXPECT_NE(log.find("\r\ndebug#00002 ... バックバッファ"), std::string::npos) << log;

    dd->SetDebugOption(ddoDebugMessage | ddoDetailedLog);
    dd->InitializeFullScreen(800, 600, 16, 0, "");
    const std::string detailed = ReadDebugLog();
    EXPECT_NE(detailed.find("スクリーンモード800 x 600 x 16 として初期化を開始します"), std::string::npos);
    EXPECT_NE(detailed.find("フルスクリーンで初期化を開始します"), std::string::npos);
    EXPECT_NE(detailed.find("PixelFormat: AMask=00000000 RMask=0000f800 GMask=000007e0 BMask=0000001f"),
              std::string::npos)
        << detailed;
}

TEST_F(DisplayComponentTest, EachComponentChecksAndLogsByItsOwnOptions) {
    auto logging = Make();
    logging->SetDebugOption(ddoDebugMessage);
    ASSERT_TRUE(logging->Start());
    // A second component made and loaded later, halting and logging elsewhere, changes nothing of
    // the first's.
    THeadlessDisplay otherDevice;
    auto halting = Make(&otherDevice);
    const std::string otherFolder = TestData::ScratchDir();
    halting->SetDebugLogFolder(otherFolder);
    ASSERT_TRUE(halting->Start());

    Device.FailStep = TDisplayStep::BackBuffer;
    logging->InitializeWindowed(640, 480);
    EXPECT_TRUE(Halts.empty());
    EXPECT_EQ(ReadDebugLog().rfind("debug#00001 ... バックバッファの作成に失敗しました", 0), 0u) << ReadDebugLog();

    otherDevice.FailStep = TDisplayStep::BackBuffer;
    halting->InitializeWindowed(640, 480);
    EXPECT_EQ(Halts.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(otherFolder + "/dddd.debug"));
}

TEST_F(DisplayComponentTest, AutomaticStartTakesTheInitialModeOrRefusesAWrongDepth) {
    {
        auto dd = Make();
        dd->AutoDisplayModeInitialize = true;
        dd->InitialFullScreen = true;
        dd->InitialScreenWidth = 800;
        dd->InitialScreenHeight = 600;
        dd->InitialBitDepth = 16;
        bool needChange = true;
        dd->OnInit = [&](TDDDD7&, bool& need) { needChange = need; };
        ASSERT_TRUE(dd->Start());
        EXPECT_FALSE(needChange);
        EXPECT_EQ(dd->Mode.FullScreen, 1);
        EXPECT_EQ(dd->Mode.BitDepth, 16);
    }
    auto dd = Make();
    dd->AutoDisplayModeInitialize = true;
    dd->InitialBitDepth = 16;  // a window must run at the desktop's depth
    EXPECT_FALSE(dd->Start());
    ASSERT_EQ(Answers.Shown.size(), 1u);
    EXPECT_EQ(Encoding::SjisToUtf8(Answers.Shown[0].Text),
              "画面モードが不適切です。色数を 16 ビットに設定して、起動しなおしてください。");
    EXPECT_EQ(Halts.size(), 1u);
}

TEST_F(DisplayComponentTest, ScreenSaverIsHeldOffWhileTheComponentLives) {
    Device.ScreenSaver = true;
    {
        auto dd = Make();
        EXPECT_FALSE(Device.ScreenSaverEnabled());
        int destroyed = 0;
        dd->OnDestroy = [&] { ++destroyed; };
        ASSERT_TRUE(dd->Start());
        dd.reset();
        EXPECT_EQ(destroyed, 1);
    }
    EXPECT_TRUE(Device.ScreenSaverEnabled());
    EXPECT_FALSE(Device.IsOpen());
}

TEST_F(DisplayComponentTest, DriversAreListedAndChosenByTheirLine) {
    Device.DriverList = {{"Soft", "soft", false}, {"Card", "card", true}};
    auto dd = Make();
    EXPECT_EQ(dd->Drivers, (std::vector<std::string>{"Soft (soft)", "Card (card)"}));
    ASSERT_TRUE(dd->Start());
    EXPECT_EQ(Device.Setup.Driver, -1);
    dd->InitializeFullScreen(640, 480, 32, 0, "Card (card)");
    EXPECT_EQ(Device.Setup.Driver, 1);
    dd->InitializeFullScreen(640, 480, 32, 0, "Missing (missing)");
    EXPECT_EQ(Device.Setup.Driver, -1);
    dd->Use3D = true;
    dd->InitializeFullScreen(640, 480, 32, 0, "");
    EXPECT_EQ(Device.Setup.Driver, 1);  // the first driver that draws with the graphics processor
    EXPECT_TRUE(dd->Is3D);
    dd->InitializeWindowed(640, 480);
    EXPECT_EQ(Device.Setup.Driver, -1);  // a window always takes the default
}

}  // namespace
