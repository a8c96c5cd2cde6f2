// Ogg streams: loop tags, the four played formats, loops, fades, volumes, silence skipping and
// whole-sound decoding, against the decoder library's own output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/OggDataLib.h"
#include "platform/Clock.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/SoundFixtures.h"
#include "tests/support/TestData.h"

namespace {

using SoundFixtures::ToneOgg;

class OggDataTest : public ::testing::Test, public TContextFixture {
protected:
    static void Open(TOggData& ogg, const std::string& bytes) {
        ASSERT_TRUE(ogg.Open(SoundFixtures::Stream(bytes), "test.ogg"));
    }

    // Blocks of the given size until the stream stops (or maxBlocks); only the bytes each block
    // reports as decoded are kept.
    static std::vector<int16_t> ReadAll(TOggData& ogg, int32_t block, int32_t maxBlocks = 1000) {
        std::vector<int16_t> out;
        std::vector<uint8_t> buf(static_cast<size_t>(block));
        for (int32_t i = 0; i < maxBlocks && ogg.Playing; ++i) {
            const int32_t r = ogg.Read(buf.data(), block, 0);
            if (r <= 0) break;
            const size_t at = out.size();
            out.resize(at + static_cast<size_t>(r) / 2);
            std::memcpy(out.data() + at, buf.data(), static_cast<size_t>(r) & ~size_t{1});
        }
        return out;
    }

    // The decoder's samples in the engine's format (44100 Hz stereo), each times v / 256 (clipped
    // to +-32766 above 255).
    static std::vector<int16_t> Expected(const std::string& ogg, int32_t rate, int32_t channels, int32_t v) {
        const std::vector<int16_t> raw = SoundFixtures::ReferenceDecode(ogg);
        auto scale = [v](int16_t s) {
            const int32_t x = s * v / 256;
            return static_cast<int16_t>(v > 255 ? std::clamp(x, -32766, 32766) : x);
        };
        std::vector<int16_t> out;
        for (size_t f = 0; f + static_cast<size_t>(channels) <= raw.size(); f += static_cast<size_t>(channels)) {
            const int16_t l = scale(raw[f]);
            const int16_t r = scale(raw[f + (channels == 2 ? 1 : 0)]);
            for (int rep = 0; rep < (rate == 22050 ? 2 : 1); ++rep)
                out.insert(out.end(), {l, r});
        }
        return out;
    }

    SoundFixtures::TVorbisBinding Binding;
    TFakeClock FakeClock;
};

TEST(OggLoopTags, Table) {
    struct TCase {
        const char* Text;
        int32_t Rate;
        int32_t Slot;  // the slot to look at
        TOggLoopSlot Want;
    };
    const TCase cases[] = {
        {"*looptime,0,12.5,60.25,-1", 44100, 0, {12.5f, 60.25f, -1}},
        {"*loopsample,1,44100,882000,2", 44100, 1, {1.0f, 20.0f, 2}},
        {"*loopsample,1,44100,882000,2", 22050, 1, {2.0f, 40.0f, 2}},
        {"*LOOPTIME,0,10,20", 44100, 0, {10.0f, 20.0f, -1}},                     // any case, count defaults to -1
        {" *looptime , 3 , 1 , 2 , 0 // the intro", 44100, 3, {1.0f, 2.0f, 0}},  // blanks, remark
        {"*looptime,2,12.5s,20,1", 44100, 2, {0.0f, 20.0f, 1}},                  // not wholly a number: 0
        {"*looptime,1.5,1,2,1", 44100, 0, {1.0f, 2.0f, 1}},                      // a slot must be whole: slot 0
        {"*looptime,0,1,2,x", 44100, 0, {1.0f, 2.0f, -1}},                       // a bad count: for ever
        {"*looptime,0,nan,inf,1", 44100, 0, {0.0f, 0.0f, 1}},                    // no infinities
        {"*looptime,16,1,2,1", 44100, 0, {0.0f, 0.0f, 0}},                       // slot 16: ignored
        {"*looptime,-1,1,2,1", 44100, 15, {0.0f, 0.0f, 0}},                      // slot -1: ignored
        {"*looptime,0,1,2,1\r\n*looptime,0,3,4,5", 44100, 0, {3.0f, 4.0f, 5}},   // the later one wins
        {"*looptime,0,1,2,1\n*looptime,4,3,4,5", 44100, 4, {3.0f, 4.0f, 5}},     // a bare LF also ends a line
        {"*loopsample,0,1,2,1", 0, 0, {0.0f, 0.0f, 0}},                          // samples without a rate: ignored
        {"looptime,0,1,2,1", 44100, 0, {0.0f, 0.0f, 0}},
    };
    for (const TCase& c : cases) {
        std::array<TOggLoopSlot, TOggData::kLoopSlots> loops{};
        OggDataLib::ParseLoopTags(c.Text, c.Rate, loops);
        const TOggLoopSlot& s = loops[static_cast<size_t>(c.Slot)];
        EXPECT_FLOAT_EQ(s.Start, c.Want.Start) << c.Text;
        EXPECT_FLOAT_EQ(s.Stop, c.Want.Stop) << c.Text;
        EXPECT_EQ(s.Count, c.Want.Count) << c.Text;
    }
}

TEST_F(OggDataTest, OpenReadsInformationAndLoopTags) {
    TOggData ogg(8192, FakeClock, Binding.Decoder);
    EXPECT_EQ(ogg.GetState(), psNONE);
    Open(ogg, ToneOgg(44100, 2, 0.25, 440, 0.5, {"*looptime,3,0.05,0.2,2"}));
    EXPECT_EQ(ogg.GetState(), psSTOP);
    EXPECT_EQ(ogg.Channels, 2);
    EXPECT_EQ(ogg.Rate, 44100);
    EXPECT_EQ(ogg.PcmTotal, 11025);
    EXPECT_EQ(ogg.TotalBytes, 44100);
    EXPECT_NEAR(ogg.TimeTotal, 0.25, 1e-6);
    EXPECT_FALSE(ogg.Vendor.empty());
    EXPECT_EQ(ogg.Comments.Names(0), "COMMENT");
    EXPECT_FLOAT_EQ(ogg.Loops[3].Start, 0.05f);
    EXPECT_EQ(ogg.Loops[3].Count, 2);
    EXPECT_TRUE(ogg.IsSeekable());

    ogg.Close();
    EXPECT_EQ(ogg.GetState(), psNONE);
    EXPECT_EQ(ogg.Loops[3].Count, 0);
    EXPECT_EQ(ogg.Comments.Count(), 0);
}

TEST_F(OggDataTest, RefusedFilesRaiseAndAreFreed) {
    TOggData ogg(8192, FakeClock, Binding.Decoder);
    EXPECT_FALSE(ogg.Open(nullptr));
    EXPECT_THROW(ogg.Open(SoundFixtures::Stream("not an ogg file at all")), EOggError);
    EXPECT_EQ(ogg.GetState(), psNONE);
    TOggData unbound(8192, FakeClock, nullptr);  // no decoder: refused the same way
    EXPECT_THROW(unbound.Open(SoundFixtures::Stream(ToneOgg(44100, 2, 0.1))), EOggError);
}

// The four formats decode to exactly the decoder's samples, converted; 48000 Hz stays silent, stops
// and is logged once.
TEST_F(OggDataTest, FormatsDecodeToTheEngineFormat) {
    struct TCase {
        int32_t Rate, Channels;
        bool Plays;
    };
    const TCase cases[] = {{44100, 2, true}, {44100, 1, true}, {22050, 2, true}, {22050, 1, true}, {48000, 2, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Rate << " Hz, " << c.Channels << " channels");
        Log.ClearErrorLog();
        const std::string& bytes = ToneOgg(c.Rate, c.Channels, 0.2);
        TOggData ogg(8192, FakeClock, Binding.Decoder);
        ogg.Log = &Log;
        Open(ogg, bytes);
        ogg.Play(false);
        // A block size that is not a multiple of the converted frames exercises the carry.
        const std::vector<int16_t> got = ReadAll(ogg, 4100);
        EXPECT_EQ(ogg.GetState(), psSTOP);
        if (c.Plays) {
            EXPECT_EQ(got, Expected(bytes, c.Rate, c.Channels, 254));
            EXPECT_EQ(ogg.GetPlayState(), psPLAY);  // it was playing when the last block began
            EXPECT_EQ(Log.ErrorList.Count(), 0);
        } else {
            EXPECT_TRUE(got.empty());
            std::vector<uint8_t> buf(4096, 0xFF);
            ogg.Play(false);
            EXPECT_LT(ogg.Read(buf.data(), 4096, 0), 0);
            EXPECT_EQ(buf, std::vector<uint8_t>(4096, 0));
            EXPECT_EQ(ogg.GetState(), psSTOP);
            EXPECT_EQ(ogg.GetPlayState(), psPLAY);
            ASSERT_EQ(Log.ErrorList.Count(), 1);
            EXPECT_NE(Log.ErrorList[0].find("48000 Hz"), std::string::npos);
            EXPECT_FALSE(Log.ErrorFlag);
        }
    }
}

TEST_F(OggDataTest, ReadsOfOddSizesAndPlacesAreWholeFrames) {
    const std::string& bytes = ToneOgg(44100, 2, 0.1);
    const std::vector<int16_t> want = Expected(bytes, 44100, 2, 254);
    TOggData ogg(8194, FakeClock, Binding.Decoder);
    EXPECT_EQ(ogg.HalfSize(), 4096);  // the halves are whole frames; the last 2 bytes go unused
    Open(ogg, bytes);
    ogg.Play(false);
    // 1027 bytes at an odd address: 256 frames, then 3 silent bytes.
    std::vector<uint8_t> buf(1028, 0xEE);
    EXPECT_EQ(ogg.Read(buf.data() + 1, 1027, 0), 1024);
    EXPECT_EQ(std::memcmp(buf.data() + 1, want.data(), 1024), 0);
    EXPECT_EQ(buf[1025] | buf[1026] | buf[1027], 0);
    EXPECT_EQ(ogg.FillNextHalf(0), 4096);
    EXPECT_EQ(std::memcmp(ogg.CurrentHalf(), want.data() + 512, 4096), 0);
}

// Loop slots: 0..0.5 s, then 0.2..0.5 s Count times more, then on to the end (1 s).
TEST_F(OggDataTest, LoopSlotsJumpBackTheirCount) {
    struct TCase {
        int32_t Count;
        double Seconds;  // heard before the stream ends; 0 for never
    };
    for (const TCase& c : {TCase{0, 1.0}, TCase{1, 1.3}, TCase{2, 1.6}, TCase{-1, 0}}) {
        SCOPED_TRACE(c.Count);
        const std::string line = "*looptime,0,0.2,0.5," + std::to_string(c.Count);
        TOggData ogg(8192, FakeClock, Binding.Decoder);
        Open(ogg, ToneOgg(44100, 2, 1.0, 440, 0.5, {line}));
        ogg.Play(false);
        const auto got = ReadAll(ogg, 4410 * 4, 40);  // 0.1 s a block, 4 s at most
        if (c.Seconds == 0) {
            EXPECT_TRUE(ogg.Playing);
            EXPECT_EQ(got.size(), 40u * 4410 * 2);
        } else {
            EXPECT_FALSE(ogg.Playing);
            EXPECT_NEAR(static_cast<double>(got.size()) / 2 / 44100, c.Seconds, 0.002);
        }
    }
}

// A looping file restarts at 0 s whatever its slots, and a slot's count starts again once playing
// has passed its end.
TEST_F(OggDataTest, WholeFileLoopRestartsAndResetsSlotCounters) {
    TOggData ogg(8192, FakeClock, Binding.Decoder);
    Open(ogg, ToneOgg(44100, 2, 1.0, 440, 0.5, {"*looptime,0,0.2,0.5,1"}));
    ogg.Play(true);
    int jumps = 0;
    float last = 0;
    std::vector<uint8_t> buf(4410 * 4);
    for (int i = 0; i < 26; ++i) {  // 2.6 s: two passes of 1.3 s
        ASSERT_EQ(ogg.Read(buf.data(), static_cast<int32_t>(buf.size()), 0), static_cast<int32_t>(buf.size()));
        const float pos = ogg.GetPosition();
        if (pos < last) ++jumps;
        last = pos;
    }
    EXPECT_EQ(jumps, 3);  // slot, end of file, slot again
    EXPECT_EQ(ogg.GetState(), psLOOP);
}

TEST_F(OggDataTest, EmptyLoopingFileEndsTheBlock) {
    TOggData ogg(8192, FakeClock, Binding.Decoder);
    Open(ogg, SoundFixtures::SamplesOgg({}, 44100, 2));
    ogg.Play(true);
    std::vector<uint8_t> buf(4096, 1);
    EXPECT_EQ(ogg.Read(buf.data(), 4096, 0), 0);
    EXPECT_EQ(ogg.GetState(), psSTOP);
}

TEST_F(OggDataTest, VolumesAndGainsScaleSamples) {
    struct TCase {
        float Volume, GainA, GainB;
        int32_t V;  // the factor in 256ths
    };
    const float nan = std::nanf("");
    const TCase cases[] = {
        {1.0f, 1.0f, 1.0f, 254}, {0.5f, 1.0f, 1.0f, 127}, {2.0f, 1.0f, 1.0f, 508},
        {1.0f, 0.5f, 1.0f, 127}, {1.0f, 0.5f, 0.5f, 64},  {3.0f, 1.0f, 1.0f, 508},
        {nan, nan, 1.0f, 254},   {1.0f, -2.0f, 9.0f, 0},  {INFINITY, 1.0f, INFINITY, 254},
    };
    const std::string& bytes = ToneOgg(44100, 2, 0.1, 440, 0.9);
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Volume << " " << c.GainA << " " << c.GainB);
        TOggData ogg(8192, FakeClock, Binding.Decoder);
        Open(ogg, bytes);
        ogg.SetVolumeNow(c.Volume);
        ogg.SetGainA(c.GainA);
        ogg.SetGainB(c.GainB);
        ogg.Play(false);
        EXPECT_EQ(ReadAll(ogg, 8192), Expected(bytes, 44100, 2, c.V));
    }
}

TEST_F(OggDataTest, FadeOutStopsWithoutRewinding) {
    TOggData ogg(8192, FakeClock, Binding.Decoder);
    Open(ogg, ToneOgg(44100, 2, 1.5));
    ogg.Play(false);
    ogg.SetVolume(0.0f, 1.0f);
    EXPECT_FLOAT_EQ(ogg.GetVolumeTarget(), 0.0f);
    std::vector<uint8_t> buf(4410 * 4);
    for (int i = 0; i < 5; ++i)
        ogg.Read(buf.data(), static_cast<int32_t>(buf.size()), 0);
    EXPECT_NEAR(ogg.GetVolumeNow(), 0.5f, 0.001f);  // half way after 0.5 s
    for (int i = 0; i < 5; ++i)
        ogg.Read(buf.data(), static_cast<int32_t>(buf.size()), 0);
    EXPECT_LT(ogg.GetVolumeNow(), 0.01f);
    EXPECT_TRUE(ogg.Playing);
    EXPECT_EQ(ogg.Read(buf.data(), static_cast<int32_t>(buf.size()), 0), 0);  // the next block stops it
    EXPECT_EQ(ogg.GetState(), psSTOP);
    EXPECT_NEAR(ogg.GetPosition(), 1.0, 0.01);

    ogg.SetVolume(std::nanf(""), std::nanf(""));  // not a number: 1.0 at once
    EXPECT_EQ(ogg.GetVolumeNow(), 1.0f);
}

TEST_F(OggDataTest, SeekClampsToTheFile) {
    TOggData ogg(8192, FakeClock, Binding.Decoder);
    ogg.Seek(1.0f);  // nothing loaded: nothing happens
    Open(ogg, ToneOgg(44100, 2, 0.5));
    for (auto [to, want] : {std::pair{0.25f, 0.25f}, {-3.0f, 0.0f}, {9.0f, 0.5f}, {std::nanf(""), 0.0f}}) {
        ogg.Seek(to);
        EXPECT_NEAR(ogg.GetPosition(), want, 1e-4) << to;
    }
    ogg.Seek(0.3f);
    ogg.Play(true);
    ogg.StopAndRewind();
    EXPECT_EQ(ogg.GetPosition(), 0.0f);
    EXPECT_EQ(ogg.GetState(), psSTOP);
}

TEST_F(OggDataTest, SkipSilenceFindsTheFirstSound) {
    SoundWriter::TSamples quietThenTone(44100 * 2, 0);
    const auto tone = SoundWriter::Sine(44100, 2, 22050, 440, 0.5);
    quietThenTone.insert(quietThenTone.end(), tone.begin(), tone.end());
    struct TCase {
        std::string Bytes;
        float Want;
    };
    const TCase cases[] = {
        {SoundFixtures::SamplesOgg(quietThenTone, 44100, 2), 0.8f},  // sound at 1.0 s: 0.2 s before it
        {SoundFixtures::SamplesOgg(SoundWriter::TSamples(44100, 0), 44100, 2), 0.0f},  // none: the start
        {SoundFixtures::CorruptMiddlePage(SoundFixtures::SamplesOgg(quietThenTone, 44100, 2)), -1},
    };
    for (const TCase& c : cases) {
        TOggData ogg(8192, FakeClock, Binding.Decoder);
        Open(ogg, c.Bytes);
        ogg.SkipSilence(100);  // ends, whatever the file holds
        if (c.Want >= 0) {
            EXPECT_NEAR(ogg.GetPosition(), c.Want, 0.01);
        }
    }
}

TEST_F(OggDataTest, DecodeToPCMStreamIsOneReadOfTheFilesLength) {
    EXPECT_EQ(OggDataLib::DecodeToPCMStream(Binding.Decoder, nullptr), nullptr);
    const std::string& mono = ToneOgg(22050, 1, 1.0);
    TMemoryStream in(mono);
    in.SetPosition(100);  // read from the start whatever the position
    auto pcm = OggDataLib::DecodeToPCMStream(Binding.Decoder, &in);
    ASSERT_TRUE(pcm);
    EXPECT_EQ(pcm->Size(), 177152);  // 176400 rounded up to 1024s
    EXPECT_EQ(pcm->Position(), 0);
    std::vector<int16_t> want = Expected(mono, 22050, 1, 254);
    ASSERT_EQ(want.size(), 88200u);
    EXPECT_EQ(std::memcmp(pcm->Memory(), want.data(), 176400), 0);

    // A short sound is padded to 32768 bytes; a last page claiming more than the file holds
    // gives silence after the sound, and one claiming more than any sound buffer holds is refused.
    const std::string& shortTone = ToneOgg(44100, 2, 0.05);
    TMemoryStream s1(shortTone);
    EXPECT_EQ(OggDataLib::DecodeToPCMStream(Binding.Decoder, &s1)->Size(), 32768);
    // (The decoder takes the length from the last page only when the sound spans several pages.)
    const std::string& three = ToneOgg(44100, 2, 3.0);
    const std::string four = SoundFixtures::WithLastGranule(three, 44100 * 4);
    TMemoryStream s2(four);
    pcm = OggDataLib::DecodeToPCMStream(Binding.Decoder, &s2);
    ASSERT_TRUE(pcm);
    ASSERT_EQ(pcm->Size(), 706560);  // 4 s rounded up to 1024s
    want = Expected(four, 44100, 2, 254);
    const size_t bytes = want.size() * 2;
    ASSERT_GE(bytes, 529200u);
    ASSERT_LT(bytes, 706560u);
    EXPECT_EQ(std::memcmp(pcm->Memory(), want.data(), bytes), 0);
    EXPECT_EQ(std::count(pcm->Data.begin() + static_cast<ptrdiff_t>(bytes), pcm->Data.end(), 0),
              static_cast<ptrdiff_t>(706560 - bytes));
    TMemoryStream s3(SoundFixtures::WithLastGranule(three, int64_t{44100} * 3600 * 10));
    EXPECT_EQ(OggDataLib::DecodeToPCMStream(Binding.Decoder, &s3), nullptr);

    TMemoryStream bad("junk");
    EXPECT_THROW(OggDataLib::DecodeToPCMStream(Binding.Decoder, &bad), EOggError);
}

TEST_F(OggDataTest, DecodeToPCMStreamLoopsOnceAsOneReadOfAStreamDoes) {
    // 0.5 s with a loop from 0.3 s back to 0.1 s for ever, and a later slot ending sooner, which
    // does not act: one read jumps once, for the first slot in order. So 0 to 0.3 s, then 0.1 s
    // on until the 89088 bytes are full.
    const std::string looped = ToneOgg(44100, 2, 0.5, 440, 0.5, {"*looptime,0,0.1,0.3,-1", "*looptime,1,0,0.2,-1"});
    TMemoryStream in(looped);
    auto pcm = OggDataLib::DecodeToPCMStream(Binding.Decoder, &in);
    ASSERT_TRUE(pcm);
    ASSERT_EQ(pcm->Size(), 89088);
    const std::vector<int16_t> tone = Expected(looped, 44100, 2, 254);
    const size_t jump = 13230 * 2, from = 4410 * 2, rest = (89088 - 13230 * 4) / 2;
    const auto* got = reinterpret_cast<const int16_t*>(pcm->Memory());
    EXPECT_TRUE(std::equal(tone.begin(), tone.begin() + jump, got));
    EXPECT_TRUE(std::equal(tone.begin() + from, tone.begin() + from + rest, got + jump));

    // A stream of the same file read in one block of that size gives the same bytes.
    TOggData ogg(8192, FakeClock, Binding.Decoder);
    Open(ogg, looped);
    ogg.Play(true);
    std::vector<uint8_t> block(89088);
    ogg.Read(block.data(), 89088, 0);
    EXPECT_EQ(std::memcmp(block.data(), pcm->Memory(), block.size()), 0);
}

TEST_F(OggDataTest, PlayingTimeAndLevelFollowTheClock) {
    // 0.1 s double buffer: 8820 bytes, halves of 0.05 s.
    TOggData ogg(17640, FakeClock, Binding.Decoder);
    Open(ogg, ToneOgg(44100, 2, 1.0, 689.0625, 0.5));  // 256 frames are 4 whole periods
    ogg.Play(false);
    FakeClock.Now = 1000;
    ogg.FillNextHalf(0);
    ogg.FillNextHalf(0);
    // Decoded up to 0.1 s; the buffer of 0.1 s is ahead of what is heard, nothing heard yet.
    EXPECT_NEAR(ogg.GetPlayingTime(), 0.0, 1e-3);
    FakeClock.Now = 1030;
    EXPECT_NEAR(ogg.GetPlayingTime(), 0.03, 1e-3);
    // A sine of amplitude a averages 2a/pi in magnitude.
    const double mean = 2 * 0.5 / 3.14159265 * 254 / 256;
    EXPECT_NEAR(ogg.GetLevel(0), mean, 0.02);
    EXPECT_NEAR(ogg.GetLevel(1), mean, 0.02);
    EXPECT_NEAR(ogg.GetLevel(2), mean, 0.02);
    FakeClock.Now = 1000 + 101;  // longer than the buffer lasts without a fill
    EXPECT_EQ(ogg.GetLevel(2), 0.0f);
    ogg.StopAndRewind();
    FakeClock.Now = 1030;
    EXPECT_EQ(ogg.GetLevel(2), 0.0f);
}

}  // namespace
