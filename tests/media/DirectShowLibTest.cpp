#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SoundComponent.h"
#include "media/DirectShowLib.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/headless/FakeMovies.h"
#include "platform/headless/ManualAudio.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/MovieFixtures.h"
#include "tests/support/TestData.h"

namespace {

using namespace DirectShowLib;

constexpr uint32_t kChunk = TManualAudioDevice::kChunkFrames;

// The time of a count of sound frames, in whole milliseconds.
int32_t MsOf(int64_t frames) {
    return static_cast<int32_t>(frames * 1000 / 44100);
}
int64_t FrameAtMs(int64_t ms) {
    return (ms * 44100 + 500) / 1000;
}

// A 32-bit back buffer in memory.
struct TCanvas {
    TCanvas(int32_t w, int32_t h, uint32_t fill = 0xFF123456) : Pixels(size_t(w) * size_t(h), fill) {
        Lock.Pixels = reinterpret_cast<uint8_t*>(Pixels.data());
        Lock.Pitch = w * 4;
        Lock.Width = w;
        Lock.Height = h;
    }
    uint32_t At(int32_t x, int32_t y) const { return Pixels[size_t(y) * size_t(Lock.Width) + size_t(x)] & 0xFFFFFF; }
    std::vector<uint32_t> Pixels;
    TDisplayLock Lock;
};

class MoviePlayerTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        Scratch = TestData::ScratchDir();
        File = Scratch + "/clip.mkv";
        std::ofstream(File) << "x";
        Sound = std::make_unique<TDDSD7>(&Audio);
        Sound->SetChannelCount(16);
        ASSERT_TRUE(Sound->Initialize());
    }

    std::unique_ptr<TDirectShowPlayer> Make(IMovieBackend* backend = nullptr, bool withSound = true) {
        TMovieDevices devices{.Backend = backend ? backend : &Fake,
                              .Sound = withSound ? Sound.get() : nullptr,
                              .Clock = &Time,
                              .WaitForDecoder = true,
                              .Log = &Log};
        return std::make_unique<TDirectShowPlayer>(devices);
    }
    // Opens the file and lets the decoder read ahead.
    std::unique_ptr<TDirectShowPlayer> Opened(IMovieBackend* backend = nullptr, bool withSound = true) {
        auto p = Make(backend, withSound);
        EXPECT_TRUE(p->Open(File));
        EXPECT_TRUE(p->WaitDecoded(10000));
        return p;
    }
    std::vector<int16_t> Render(uint32_t chunks) { return Audio.Render(chunks * kChunk); }
    // The colour in the middle of the video rectangle.
    uint32_t Shown(TDirectShowPlayer& p) {
        TCanvas c(p.Left + p.Width, p.Top + p.Height);
        p.DrawVideo(c.Lock);
        return c.At(p.Left + p.Width / 2, p.Top + p.Height / 2);
    }

    std::string Scratch, File;
    TManualAudioDevice Audio;
    std::unique_ptr<TDDSD7> Sound;
    TFakeMovieBackend Fake;
    TFakeClock Time;  // the engine's clock, which a silent movie plays on
};

TEST(MovieVolumeTest, LevelsInHundredthsOfADecibel) {
    const struct {
        int32_t Volume, Level;
    } cases[] = {{0, -10000}, {1, -2407}, {128, -299}, {254, -2}, {255, 0}, {-7, -10000}, {300, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(VolumeLevel(c.Volume), c.Level) << c.Volume;
}

TEST_F(MoviePlayerTest, PlaysToTheEndOnTheSoundClock) {
    auto p = Opened();
    EXPECT_EQ(p->GetState(), mpsPaused);  // placed at its own size, paused, not yet shown
    EXPECT_FALSE(p->Visible());
    EXPECT_EQ(p->Width, 32);
    EXPECT_EQ(p->GetLength(), 1000);
    p->Play();
    EXPECT_TRUE(p->Visible());
    EXPECT_EQ(p->GetState(), mpsPlaying);
    int64_t heard = 0;
    for (uint32_t step = 0; step < 100; ++step) {
        const std::vector<int16_t> out = Render(1);
        for (uint32_t i = 0; i < kChunk; ++i, ++heard) {
            const int16_t want = heard < 44100 ? FakeMovies::SoundSample(heard) : 0;
            ASSERT_EQ(out[2 * i], want) << heard;
            ASSERT_EQ(out[2 * i + 1], -want) << heard;
        }
        const int32_t ms = std::min(MsOf(heard), 1000);
        ASSERT_EQ(p->GetPosition(), ms);
        ASSERT_EQ(Shown(*p), FakeMovies::PictureColor(std::min(ms / 100, 9)) & 0xFFFFFF) << ms;
        ASSERT_EQ(p->GetState(), heard < 44100 ? mpsPlaying : mpsStopped) << heard;
    }
    EXPECT_EQ(p->GetPosition(), 1000);
    EXPECT_EQ(p->GetLength(), 1000);
    EXPECT_TRUE(p->Visible());  // the last picture stays until the video is stopped or closed
    p->Stop();
    EXPECT_FALSE(p->Visible());
}

TEST_F(MoviePlayerTest, SeeksToTheSampleAndPictureOfTheTime) {
    auto p = Opened();
    p->Play();
    Render(10);
    p->Seek(550);
    EXPECT_EQ(p->GetPosition(), 550);
    EXPECT_EQ(p->GetState(), mpsPlaying);
    std::vector<int16_t> out = Render(2);
    EXPECT_EQ(out[0], FakeMovies::SoundSample(FrameAtMs(550)));
    EXPECT_EQ(out[2 * kChunk + 2], FakeMovies::SoundSample(FrameAtMs(550) + kChunk + 1));
    EXPECT_EQ(Shown(*p), FakeMovies::PictureColor(5) & 0xFFFFFF);

    // Paused, the seek shows the picture of the time and playing goes on from there.
    p->Pause();
    p->Seek(250);
    ASSERT_TRUE(p->WaitDecoded(10000));
    EXPECT_EQ(p->GetPosition(), 250);
    EXPECT_EQ(p->GetState(), mpsPaused);
    EXPECT_EQ(Shown(*p), FakeMovies::PictureColor(2) & 0xFFFFFF);
    p->Play();
    out = Render(1);
    EXPECT_EQ(out[0], FakeMovies::SoundSample(FrameAtMs(250)));

    // Outside the movie: before its start is its start, past its end is its end.
    p->Seek(-40);
    EXPECT_EQ(p->GetPosition(), 0);
    p->Seek(5000);
    EXPECT_EQ(p->GetPosition(), 1000);
    EXPECT_EQ(p->GetState(), mpsStopped);
    p->Seek(0);
    EXPECT_EQ(p->GetState(), mpsPlaying);
}

TEST_F(MoviePlayerTest, PauseHoldsThePositionAndResumesWithoutAGap) {
    auto p = Opened();
    p->Play();
    Render(20);
    p->Pause();
    EXPECT_EQ(p->GetState(), mpsPaused);
    const std::vector<int16_t> quiet = Render(10);
    EXPECT_EQ(quiet, std::vector<int16_t>(quiet.size(), 0));
    EXPECT_EQ(p->GetPosition(), MsOf(20 * kChunk));
    p->Play();
    const std::vector<int16_t> out = Render(1);
    EXPECT_EQ(out[0], FakeMovies::SoundSample(20 * kChunk));
    EXPECT_EQ(p->GetPosition(), MsOf(21 * kChunk));
}

TEST_F(MoviePlayerTest, VolumeScalesTheStream) {
    auto p = Opened();
    p->SetVolume(128);
    EXPECT_EQ(p->Volume, 128);
    p->Play();
    const std::vector<int16_t> out = Render(1);
    const int32_t gain = AudioMixer::GainOf(-299);
    for (uint32_t i = 1; i < kChunk; i += 97)
        EXPECT_EQ(out[2 * i], (FakeMovies::SoundSample(i) * gain) >> 15) << i;
    p->SetVolume(-3);
    EXPECT_EQ(p->Volume, 0);
    EXPECT_EQ(Render(1), std::vector<int16_t>(2 * kChunk, 0));
}

TEST_F(MoviePlayerTest, PlacingOrSizingTheVideoPausesIt) {
    auto p = Opened();
    p->Play();
    p->SetPosition(10, 20);
    EXPECT_EQ(p->GetState(), mpsPaused);
    EXPECT_TRUE(p->Visible());
    p->Play();
    p->SetSize(64, 48);
    EXPECT_EQ(p->GetState(), mpsPaused);
    EXPECT_EQ(p->Left, 10);
    EXPECT_EQ(p->Top, 20);
    EXPECT_EQ(p->Width, 64);
    EXPECT_EQ(p->Height, 48);
}

TEST_F(MoviePlayerTest, FiveMinutesInIsFiveMinutesIn) {
    Fake.Movie = {.Pictures = 6000, .SoundUs = 0, .DurationUs = 600'000'000};
    auto p = Opened();
    p->Seek(300000);
    ASSERT_TRUE(p->WaitDecoded(10000));
    EXPECT_EQ(p->GetPosition(), 300000);
    EXPECT_EQ(p->GetLength(), 600000);
    EXPECT_EQ(p->GetState(), mpsPaused);
    p->Play();
    EXPECT_EQ(Shown(*p), FakeMovies::PictureColor(3000) & 0xFFFFFF);
    Render(4);
    EXPECT_EQ(p->GetPosition(), 300000 + MsOf(4 * kChunk));
}

TEST_F(MoviePlayerTest, WithoutASoundDeviceTheMovieRunsOnTheEngineClock) {
    TFakeClock& clock = Time;
    auto p = Opened(nullptr, false);
    p->Play();
    clock.Now += 450;
    EXPECT_EQ(p->GetPosition(), 450);
    EXPECT_EQ(Shown(*p), FakeMovies::PictureColor(4) & 0xFFFFFF);
    p->Pause();
    clock.Now += 300;
    EXPECT_EQ(p->GetPosition(), 450);
    p->Play();
    clock.Now += 600;
    EXPECT_EQ(p->GetPosition(), 1000);
    EXPECT_EQ(p->GetState(), mpsStopped);
}

TEST_F(MoviePlayerTest, AFileThatDoesNotDecodeEndsAtOnceAndIsLoggedOnce) {
    Fake.Refuse = "no such codec";
    auto p = Make();
    EXPECT_TRUE(p->Open(File));  // it exists, so it counts as opened
    EXPECT_TRUE(p->Opened);
    p->Play();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(p->GetState(), mpsStopped);
    EXPECT_EQ(p->GetLength(), 0);
    EXPECT_EQ(p->Error(), "no such codec");
    ASSERT_EQ(Log.ErrorList.Count(), 1);
    EXPECT_NE(Log.ErrorList[0].find("no such codec"), std::string::npos);
    EXPECT_FALSE(Log.ErrorFlag);  // a script waiting for the end goes on

    // A file that is not there is no failure to report: Open says so.
    EXPECT_FALSE(p->Open(Scratch + "/none.mkv"));
    EXPECT_FALSE(p->Opened);
    EXPECT_EQ(Log.ErrorList.Count(), 1);
}

TEST_F(MoviePlayerTest, DrawsIntoItsRectangleCutToTheBuffer) {
    auto p = Opened();
    p->Play();
    Render(1);
    const uint32_t color = FakeMovies::PictureColor(0) & 0xFFFFFF;

    // Sticking out at the left and bottom: only the rows inside are written.
    p->SetPosition(-8, 50);
    TCanvas c(80, 60);
    const Display::TRowSpan rows = p->DrawVideo(c.Lock);
    EXPECT_EQ(rows, (Display::TRowSpan{50, 60}));
    EXPECT_EQ(c.At(0, 50), color);
    EXPECT_EQ(c.At(23, 59), color);
    EXPECT_EQ(c.At(24, 59), 0x123456u);
    EXPECT_EQ(c.At(0, 49), 0x123456u);

    // A new size: the picture on show is stretched to it until pictures of that size come.
    p->SetPosition(5, 5);
    p->SetSize(64, 10);
    TCanvas d(80, 60);
    EXPECT_EQ(p->DrawVideo(d.Lock), (Display::TRowSpan{5, 15}));
    EXPECT_EQ(d.At(5, 5), color);
    EXPECT_EQ(d.At(68, 14), color);
    EXPECT_EQ(d.At(69, 14), 0x123456u);
    EXPECT_EQ(d.At(5, 15), 0x123456u);

    // Entirely outside, empty, or stopped: nothing.
    p->SetPosition(80, 0);
    EXPECT_EQ(p->DrawVideo(d.Lock), Display::TRowSpan{});
    p->SetPosition(0, 0);
    p->SetSize(0, 10);
    EXPECT_EQ(p->DrawVideo(d.Lock), Display::TRowSpan{});
    p->SetSize(10, 10);
    p->Stop();
    EXPECT_EQ(p->DrawVideo(d.Lock), Display::TRowSpan{});
}

// ---- a real file through FFmpeg ----

TEST_F(MoviePlayerTest, PlaysAMovieFileMadeByTheEncoders) {
    File = Scratch + "/real.mkv";
    ASSERT_EQ(MovieFixtures::WriteMovie(File, {}), "");
    TFfmpegMovies movies;
    auto p = Opened(&movies);
    EXPECT_EQ(p->VideoWidth, 64);
    EXPECT_EQ(p->VideoHeight, 48);
    EXPECT_NEAR(p->GetLength(), 1000, 20);
    p->Play();
    int crossings = 0;
    int16_t last = 0;
    int64_t heard = 0;
    while (heard < 44100 && !HasFailure()) {
        const std::vector<int16_t> out = Render(1);
        for (uint32_t i = 0; i < kChunk; ++i) {
            if ((last < 0) != (out[2 * i] < 0)) ++crossings;
            last = out[2 * i];
        }
        heard += kChunk;
        const int32_t ms = MsOf(heard);
        if (ms % 100 > 10 && ms % 100 < 90) {
            const uint32_t want = MovieFixtures::PictureColor(ms / 100);
            const uint32_t got = Shown(*p);
            for (int shift = 0; shift < 24; shift += 8)
                EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), 12) << ms;
        }
    }
    EXPECT_NEAR(crossings, 2 * 441, 6);  // the tone, at its pitch
    Render(20);
    EXPECT_EQ(p->GetState(), mpsStopped);
    EXPECT_EQ(p->GetPosition(), p->GetLength());
    EXPECT_TRUE(p->Error().empty());
    EXPECT_EQ(Log.ErrorList.Count(), 0);
}

TEST_F(MoviePlayerTest, AFileOfNoKnownKindEndsAtOnce) {
    std::ofstream(File, std::ios::binary) << std::string(3000, '\x5a');
    TFfmpegMovies movies;
    auto p = Make(&movies);
    EXPECT_TRUE(p->Open(File));
    p->Play();
    EXPECT_EQ(p->GetState(), mpsStopped);
    EXPECT_EQ(Log.ErrorList.Count(), 1);
    EXPECT_NE(Encoding::SjisToUtf8(Log.ErrorList[0]).find("clip.mkv"), std::string::npos);
}

}  // namespace
