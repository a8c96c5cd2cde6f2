// The kelsound tool, run as a program: what it writes is read back by the engine's Ogg stream
// and RIFF reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/OggDataLib.h"
#include "media/uWaveDataManager.h"
#include "platform/Clock.h"
#include "tests/support/SoundFixtures.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

int Kelsound(const std::string& args) {
    return ToolRun::Run("kelsound", args).Code;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Kelsound, WritesWhatTheEngineReads) {
    SoundFixtures::TVorbisBinding binding;
    const fs::path dir = TestData::ScratchDir();
    const std::string ogg = (dir / "a.ogg").string(), wav = (dir / "b.wav").string();
    ASSERT_EQ(Kelsound("ogg --rate 22050 --channels 1 --seconds 0.25 --loop '*looptime,2,0.05,0.2,3' '" + ogg + "'"),
              0);
    TSystemClock clock;
    TOggData stream(8192, clock, binding.Decoder);
    ASSERT_TRUE(stream.Open(SoundFixtures::Stream(ReadAll(ogg))));
    EXPECT_EQ(stream.Rate, 22050);
    EXPECT_EQ(stream.Channels, 1);
    EXPECT_EQ(stream.PcmTotal, 5512);
    EXPECT_FLOAT_EQ(stream.Loops[2].Stop, 0.2f);
    EXPECT_EQ(stream.Loops[2].Count, 3);

    ASSERT_EQ(Kelsound("wav --rate 44100 --channels 2 --seconds 0.01 '" + wav + "'"), 0);
    TMemoryStream w(ReadAll(wav));
    auto pcm = uWaveDataManager::LoadWaveRiff(&w);
    ASSERT_TRUE(pcm);
    EXPECT_EQ(pcm->Size(), 441 * 4);

    ASSERT_EQ(Kelsound("demo '" + (dir / "demo").string() + "'"), 0);
    for (const char* f : {"bgm/demo_theme.ogg", "voice/demo_voice.ogg", "se/demo_chime.ogg"}) {
        TSystemClock clock;
        TOggData s(8192, clock, binding.Decoder);
        EXPECT_TRUE(s.Open(SoundFixtures::Stream(ReadAll(dir / "demo" / f)))) << f;
    }
    EXPECT_GT(fs::file_size(dir / "demo" / "se" / "demo_chime.wav"), 44u);

    for (const char* bad : {"", "mp3 x", "ogg", "wav --loop x y.wav", "ogg --rate abc x.ogg", "ogg a b"})
        EXPECT_EQ(Kelsound(bad), 2) << bad;
}

}  // namespace
