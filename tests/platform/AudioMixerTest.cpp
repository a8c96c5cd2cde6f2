#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "platform/AudioMixer.h"

namespace {

using namespace AudioMixer;

TVoiceId AddVoice(TAudioMixer& m, std::vector<int16_t> samples, bool notify = false, bool followsFocus = false) {
    const auto bytes = static_cast<uint32_t>(samples.size() * 2);
    return m.Add(std::make_shared<TSamples>(std::move(samples)), bytes, notify, followsFocus);
}

// A voice of n frames whose left sample is the frame number from 1 and whose right is its negative.
std::vector<int16_t> Ramp(int n) {
    std::vector<int16_t> s;
    for (int i = 1; i <= n; ++i)
        s.insert(s.end(), {static_cast<int16_t>(i), static_cast<int16_t>(-i)});
    return s;
}

std::vector<int16_t> Mix(TAudioMixer& m, uint32_t frames) {
    std::vector<int16_t> out(frames * 2, 12345);
    m.Mix(out.data(), frames);
    return out;
}

std::vector<int16_t> Lefts(const std::vector<int16_t>& out) {
    std::vector<int16_t> l;
    for (size_t i = 0; i < out.size(); i += 2)
        l.push_back(out[i]);
    return l;
}

TEST(AudioMixerTest, GainsFollowHundredthsOfADecibel) {
    struct {
        int32_t Level;
        int32_t Gain;
    } const levels[] = {{0, 32768}, {25, 32768}, {-1, 32730}, {-600, 16423}, {-2000, 3277}, {-9999, 0}, {-10000, 0}};
    for (const auto& c : levels)
        EXPECT_EQ(GainOf(c.Level), c.Gain) << c.Level;

    struct {
        int32_t Volume, Pan, Left, Right;
    } const pans[] = {
        {0, 0, 32768, 32768},      {0, 600, 16423, 32768}, {0, -600, 32768, 16423},
        {-600, 1400, 3277, 16423}, {0, 20000, 0, 32768},  // pan beyond the right end is the right end
        {-20000, 0, 0, 0},
    };
    for (const auto& c : pans) {
        const TGains g = GainsOf(c.Volume, c.Pan);
        EXPECT_EQ(g.Left, c.Left) << c.Volume << " " << c.Pan;
        EXPECT_EQ(g.Right, c.Right) << c.Volume << " " << c.Pan;
    }
}

TEST(AudioMixerTest, KernelMatchesAScalarReference) {
    std::mt19937 rng(120);
    for (uint32_t frames = 0; frames < 23; ++frames) {
        std::vector<int16_t> samples(2 * frames);
        for (auto& v : samples)
            v = static_cast<int16_t>(rng());
        const TGains gains{static_cast<int32_t>(rng() % 32769), static_cast<int32_t>(rng() % 32769)};
        std::vector<int32_t> sums(2 * frames, 7), reference(2 * frames, 7);
        Accumulate(sums.data(), samples.data(), frames, gains);
        for (uint32_t i = 0; i < frames; ++i) {
            reference[2 * i] += (samples[2 * i] * gains.Left) >> 15;
            reference[2 * i + 1] += (samples[2 * i + 1] * gains.Right) >> 15;
        }
        EXPECT_EQ(sums, reference) << frames;
    }
}

TEST(AudioMixerTest, SumsScaledVoicesAndSaturates) {
    struct TVoiceCase {
        int16_t L, R;
        int32_t Volume = 0, Pan = 0;
    };
    struct {
        std::vector<TVoiceCase> Voices;
        int16_t L, R;
    } const cases[] = {
        {{{1000, -1000}}, 1000, -1000},
        {{{1000, 2000}, {300, -500}}, 1300, 1500},
        // (sample x gain) >> 15 rounds towards minus infinity on both sides
        {{{10000, -10000, -600}}, 5011, -5012},
        {{{10000, 10000, 0, 600}}, 5011, 10000},
        {{{30000, -30000}, {30000, -30000}}, 32767, -32768},
        {{{30000, -30000}, {30000, -30000}, {-30000, 30000}}, 30000, -30000},  // saturates the sum only
        {{{30000, 30000, -10000}}, 0, 0},
    };
    for (const auto& c : cases) {
        TAudioMixer m;
        for (const auto& v : c.Voices) {
            const TVoiceId id = AddVoice(m, {v.L, v.R});
            m.SetVolume(id, v.Volume);
            m.SetPan(id, v.Pan);
            m.Play(id, true);
        }
        const auto out = Mix(m, 3);
        for (int f = 0; f < 3; ++f) {
            EXPECT_EQ(out[2 * f], c.L) << "voices " << c.Voices.size() << ", frame " << f;
            EXPECT_EQ(out[2 * f + 1], c.R) << "voices " << c.Voices.size() << ", frame " << f;
        }
    }
}

TEST(AudioMixerTest, LoopsWrapAndSingleRunsStopAtTheEnd) {
    TAudioMixer m;
    const TVoiceId loop = AddVoice(m, Ramp(3));
    m.Play(loop, true);
    EXPECT_EQ(Lefts(Mix(m, 7)), (std::vector<int16_t>{1, 2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(m.Status(loop), kStatusPlaying | kStatusLooping);

    m.Stop(loop);
    const TVoiceId once = AddVoice(m, Ramp(3));
    ASSERT_TRUE(m.SetPosition(once, 4));  // from the second frame
    m.Play(once, false);
    const auto out = Mix(m, 4);
    EXPECT_EQ(out, (std::vector<int16_t>{2, -2, 3, -3, 0, 0, 0, 0}));
    uint32_t play, write;
    m.GetPosition(once, play, write);
    EXPECT_EQ(m.Status(once), 0u);
    EXPECT_EQ(play, 0u);  // back at the start, so a new play runs it whole
    m.GetPosition(loop, play, write);
    EXPECT_EQ(play, 4u);  // a stop keeps the position
    EXPECT_FALSE(m.SetPosition(once, 12));

    // An odd tail byte is never heard.
    TAudioMixer odd;
    const TVoiceId tail = odd.Add(std::make_shared<TSamples>(std::vector<int16_t>{7, 8, 9}), 6, false, false);
    ASSERT_NE(tail, 0u);
    odd.Play(tail, true);
    EXPECT_EQ(Lefts(Mix(odd, 3)), (std::vector<int16_t>{7, 7, 7}));
}

TEST(AudioMixerTest, NotificationPositionsAreMarkedWhenPassed) {
    // 16 frames (64 bytes) with positions at the start, the middle and the stop.
    TAudioMixer m;
    const TVoiceId id = AddVoice(m, Ramp(16), true);
    const uint32_t positions[] = {0, 32, kNotifyOnStop};
    ASSERT_TRUE(m.SetNotifyPositions(id, positions, 3));
    m.Play(id, true);
    struct {
        uint32_t Frames;  // 0: stop the voice instead
        uint32_t Bits;
        const char* What;
    } const steps[] = {
        {7, 0, "up to byte 28"},      {1, 2, "reaching the middle exactly"},      {1, 0, "on from the middle"},
        {7, 1, "completing the lap"}, {20, 3, "a whole lap and more in one mix"}, {0, 4, "stopped"},
        {0, 0, "stopped again"},
    };
    for (const auto& s : steps) {
        if (s.Frames > 0) {
            Mix(m, s.Frames);
        } else {
            m.Stop(id);
        }
        EXPECT_EQ(m.TakeSignalled(id), s.Bits) << s.What;
    }

    // A voice played once marks the lap's end and the stop together.
    m.SetPosition(id, 48);
    m.Play(id, false);
    Mix(m, 10);
    EXPECT_EQ(m.TakeSignalled(id), 5u);

    // Positions need the notification control, a stopped voice and offsets inside it.
    const TVoiceId plain = AddVoice(m, Ramp(16));
    EXPECT_FALSE(m.SetNotifyPositions(plain, positions, 3));
    const uint32_t outside[] = {64};
    EXPECT_FALSE(m.SetNotifyPositions(id, outside, 1));
    m.Play(id, true);
    EXPECT_FALSE(m.SetNotifyPositions(id, positions, 3));
}

TEST(AudioMixerTest, WritesWrapDuplicatesShareDataAndIdsAreNotReused) {
    TAudioMixer m;
    const TVoiceId id = AddVoice(m, std::vector<int16_t>(32, 0));  // 64 bytes
    const int16_t data[4] = {11, 12, 13, 14};
    ASSERT_TRUE(m.Write(id, 60, data, 8));  // the last frame, then the first
    EXPECT_FALSE(m.Write(id, 64, data, 4));
    EXPECT_FALSE(m.Write(id, 0, data, 65));

    const TVoiceId dup = m.Duplicate(id);
    ASSERT_NE(dup, 0u);
    m.SetPosition(id, 60);
    m.Play(id, false);
    m.Play(dup, false);
    // The original plays the last frame, the duplicate the first: its own position over the same data.
    EXPECT_EQ(Mix(m, 1), (std::vector<int16_t>{11 + 13, 12 + 14}));

    EXPECT_EQ(m.Count(), 2u);
    EXPECT_NE(m.Remove(id), nullptr);
    EXPECT_EQ(m.Remove(id), nullptr);
    const TVoiceId next = AddVoice(m, Ramp(1));
    EXPECT_NE(next, id);
    EXPECT_FALSE(m.Valid(id));
    EXPECT_FALSE(m.Play(id, true));
    EXPECT_EQ(m.Count(), 2u);
}

TEST(AudioMixerTest, FocusAndWriteCursor) {
    TAudioMixer m;
    const TVoiceId follows = AddVoice(m, std::vector<int16_t>(2048, 100), false, true);  // 1024 frames
    m.Play(follows, true);
    m.SetFocused(false);
    EXPECT_EQ(Mix(m, 2), (std::vector<int16_t>{0, 0, 0, 0}));
    m.SetFocused(true);
    EXPECT_EQ(Mix(m, 1), (std::vector<int16_t>{100, 100}));

    uint32_t play, write;
    m.GetPosition(follows, play, write);
    EXPECT_EQ(play, 12u);  // it went on while silent
    EXPECT_EQ(write, 12u + kWriteAheadBytes);
    Mix(m, 1020);
    m.GetPosition(follows, play, write);
    EXPECT_EQ(write, (4092u + kWriteAheadBytes) % 4096u);
    m.Stop(follows);
    m.GetPosition(follows, play, write);
    EXPECT_EQ(write, play);
}

}  // namespace
