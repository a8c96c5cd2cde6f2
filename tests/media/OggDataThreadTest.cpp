// A stream decoding on the mixer's thread while the main thread seeks, changes volumes, reads the
// meter and reopens it: decoding errors stop the stream and nothing waits for ever. CTest's
// time-out on this program catches a hang.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "media/OggDataLib.h"
#include "platform/Clock.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/SoundFixtures.h"
#include "tests/support/TestData.h"

namespace {

TEST(OggDataThreads, DecodingErrorsOnTheMixerThreadNeverHang) {
    SoundFixtures::TVorbisBinding binding;
    TContextFixture context;
    struct TCase {
        const char* Name;
        std::string Bytes;
        int32_t BufferSize;
        bool Fails;
    };
    const TCase cases[] = {
        {"damaged page", SoundFixtures::CorruptMiddlePage(SoundFixtures::NoiseOgg()), 8192, true},
        {"48000 Hz", SoundFixtures::ToneOgg(48000, 2, 0.2), 8192, true},
        {"odd half buffer", SoundFixtures::ToneOgg(22050, 1, 0.3), 8194, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        context.Log.ClearErrorLog();
        TSystemClock clock;
        TOggData ogg(c.BufferSize, clock, binding.Decoder);
        ogg.Log = &context.Log;
        ASSERT_TRUE(ogg.Open(SoundFixtures::Stream(c.Bytes), c.Name));
        ogg.Play(true);
        std::atomic<bool> done{false};
        std::atomic<int32_t> errors{0};
        std::thread mixer([&] {
            // At least 300 halves, and for a faulty file until it has failed a few times (the main
            // thread's seeks and reopenings keep sending the decoder back over the damage).
            for (int i = 0; i < 300 || (c.Fails && errors < 3 && i < 1000000); ++i) {
                if (ogg.FillNextHalf(0) < 0) ++errors;
                if (!ogg.Playing) ogg.Play(true);
            }
            done = true;
        });
        int32_t turns = 0;
        while (!done) {
            if (turns % 64 == 0) ogg.Seek(0.35f + 0.02f * static_cast<float>(turns / 64 % 4));
            ogg.SetVolume(0.5f + 0.1f * static_cast<float>(turns % 3), 0.02f);
            ogg.SetBandGain(turns % 256, 0.01f, turns % 2 ? 1.0f : 0.8f);
            ogg.SetAGCLevel(turns % 2 ? 0.0f : 0.9f);
            (void)ogg.GetLevel(2);
            (void)ogg.GetPlayState();
            (void)ogg.GetPlayingTime();
            if (turns % 256 == 255) {
                ogg.Open(SoundFixtures::Stream(c.Bytes), c.Name);
                ogg.Play(true);
            }
            ++turns;
            std::this_thread::yield();
        }
        mixer.join();
        (void)ogg.GetPlayState();  // the main thread logs what the mixer met
        if (c.Fails) {
            EXPECT_GT(errors.load(), 0);
            ASSERT_GE(context.Log.ErrorList.Count(), 1);
            // Once per opened file at most.
            EXPECT_LE(context.Log.ErrorList.Count(), turns / 256 + 1);
            EXPECT_NE(context.Log.ErrorList[0].find(c.Name), std::string::npos);
        } else {
            EXPECT_EQ(errors.load(), 0);
            EXPECT_EQ(context.Log.ErrorList.Count(), 0);
        }
    }
}

}  // namespace
