// The headless runner's sound: the manual device mixes as far as the fake clock has come, and the
// capture holds exactly that.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/SoundComponent.h"
#include "platform/LittleEndian.h"
#include "shell/HeadlessRunner.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

// The demo game packed into a scratch folder by its pack script and the build's kelpack.
std::string DemoGame() {
    const std::string out = TestData::ScratchDir();
    const std::string command = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + out + "' '" +
                                ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? out : "";
}

TEST(HeadlessSoundTest, ARunMixesByItsFakeClockIntoTheCapture) {
    const std::string game = DemoGame();
    ASSERT_FALSE(game.empty());
    const std::string wav = TestData::ScratchDir() + "/run.wav";
    uint32_t ms = 0;
    {
        THeadlessGame run;
        std::string error;
        ASSERT_TRUE(run.Open(game, error)) << error;
        ASSERT_TRUE(run.Sound && run.Sound->Initialized());
        ASSERT_TRUE(run.CaptureSound(wav, error)) << error;
        // A sound of 1000 frames started before the first frame.
        auto beep = TDDSDWaveData::Create(*run.Sound, 4000, true, 16, 44100);
        const std::vector<int16_t> level(2000, 1234);
        beep->Write(0, level.data(), 4000);
        run.Sound->GetChannel(0)->SetWaveData(beep.get());
        run.Sound->GetChannel(0)->PlayFrom(0);
        run.Run(20);
        ASSERT_TRUE(run.FinishSound(error)) << error;
        ms = run.FakeClock.Now;
        EXPECT_EQ(run.Audio.FramesRendered(), uint64_t{ms} * 44100 / 1000);
        run.Sound->GetChannel(0)->SetWaveData(nullptr);
    }

    std::ifstream in(wav, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(ms, 0u);
    const uint64_t frames = uint64_t{ms} * 44100 / 1000;
    ASSERT_EQ(bytes.size(), 44 + frames * 4);
    EXPECT_EQ(LittleEndian::Get32(reinterpret_cast<const uint8_t*>(bytes.data()) + 40), frames * 4);
    auto sample = [&](uint64_t frame) {
        return static_cast<int16_t>(
            LittleEndian::Get16(reinterpret_cast<const uint8_t*>(bytes.data()) + 44 + 4 * frame));
    };
    EXPECT_EQ(sample(0), 1234);
    EXPECT_EQ(sample(999), 1234);
    EXPECT_EQ(sample(1000), 0);
    EXPECT_EQ(sample(frames - 1), 0);

    // The program writes the same capture for --wav, as long as the run's fake time.
    const std::string cli = TestData::ScratchDir() + "/cli.wav";
    const ToolRun::TRun run = ToolRun::Run("kel-headless", "--frames 20 --wav '" + cli + "' '" + game + "'");
    EXPECT_EQ(run.Code, 0) << run.Output;
    EXPECT_EQ(fs::file_size(cli), 44 + frames * 4) << run.Output;
    const ToolRun::TRun bad = ToolRun::Run("kel-headless", "--wav '" + game + "/no/such/folder/x.wav' '" + game + "'");
    EXPECT_EQ(bad.Code, 1);
    EXPECT_NE(bad.Output.find("x.wav"), std::string::npos) << bad.Output;
}

}  // namespace
