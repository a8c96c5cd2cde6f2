#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "platform/LittleEndian.h"
#include "platform/headless/ManualAudio.h"
#include "tests/support/TestData.h"

namespace {

using namespace Audio;

TBufferId Buffer(IAudioDevice& d, const std::vector<int16_t>& samples, bool notify = false) {
    TBufferDesc desc;
    desc.Bytes = static_cast<uint32_t>(samples.size() * 2);
    desc.PositionNotify = notify;
    TBufferId id = 0;
    EXPECT_EQ(d.CreateBuffer(desc, id), arOk);
    EXPECT_EQ(d.WriteBuffer(id, 0, samples.data(), desc.Bytes), arOk);
    return id;
}

std::vector<int16_t> Noise(size_t samples, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<int16_t> s(samples);
    for (auto& v : s)
        v = static_cast<int16_t>(rng());
    return s;
}

void OpenAndPlay(TManualAudioDevice& d) {
    std::string error;
    ASSERT_TRUE(d.Open(error));
    d.PlayOutput();
}

TEST(ManualAudioTest, RendersTheSameHoweverTheCallsCutTheOutput) {
    auto play = [](TManualAudioDevice& d) {
        const TBufferId a = Buffer(d, Noise(2 * 1000, 1)), b = Buffer(d, Noise(2 * 333, 2));
        d.SetVolume(a, -300);
        d.SetPan(b, 2000);
        d.Play(a, true);
        d.Play(b, false);
    };
    TManualAudioDevice whole, pieces;
    OpenAndPlay(whole);
    OpenAndPlay(pieces);
    play(whole);
    play(pieces);
    const std::vector<int16_t> expected = whole.Render(3000);
    std::vector<int16_t> got;
    for (uint32_t n : {1u, 511u, 700u, 1788u}) {
        const auto part = pieces.Render(n);
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(pieces.FramesRendered(), 3000u);

    // The mix is the mixer's own: the same voices in a mixer give the same samples.
    TAudioMixer m;
    auto add = [&](std::vector<int16_t> s) {
        const auto bytes = static_cast<uint32_t>(s.size() * 2);
        return m.Add(std::make_shared<AudioMixer::TSamples>(std::move(s)), bytes, false, false);
    };
    const TVoiceId a = add(Noise(2 * 1000, 1)), b = add(Noise(2 * 333, 2));
    m.SetVolume(a, -300);
    m.SetPan(b, 2000);
    m.Play(a, true);
    m.Play(b, false);
    std::vector<int16_t> direct(6000);
    m.Mix(direct.data(), 3000);
    EXPECT_EQ(direct, expected);
}

TEST(ManualAudioTest, StoppedOutputIsSilentAndHoldsEveryBufferStill) {
    TManualAudioDevice d;
    OpenAndPlay(d);
    const TBufferId id = Buffer(d, std::vector<int16_t>(2048, 500));
    d.Play(id, true);
    d.Render(512);
    d.StopOutput();
    EXPECT_EQ(d.Render(1024), std::vector<int16_t>(2048, 0));
    uint32_t play, write;
    d.GetPosition(id, play, write);
    EXPECT_EQ(play, 512u * 4);
    d.PlayOutput();
    EXPECT_EQ(d.Render(2), std::vector<int16_t>(4, 500));
}

TEST(ManualAudioTest, AWaitingThreadStepsOnceBetweenTwoChunks) {
    TManualAudioDevice d;
    OpenAndPlay(d);
    // 1024 frames, positions at the start, the middle and the stop.
    const TBufferId id = Buffer(d, std::vector<int16_t>(2048, 1), true);
    const uint32_t positions[] = {0, 2048, AudioMixer::kNotifyOnStop};
    ASSERT_EQ(d.SetNotifyPositions(id, positions, 3), arOk);
    struct TWake {
        uint32_t Bits, Play;
    };
    std::vector<TWake> wakes;  // written by the thread only between two renders
    std::jthread waiter([&](std::stop_token stop) {
        while (true) {
            const uint32_t bits = d.WaitNotify(id, 5, stop);
            if (stop.stop_requested()) break;
            uint32_t play, write;
            d.GetPosition(id, play, write);
            wakes.push_back({bits, play});
        }
    });
    d.Play(id, true);
    d.Render(4 * TManualAudioDevice::kChunkFrames);
    d.Stop(id);
    d.Render(1);
    waiter.request_stop();
    waiter.join();
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{2, 2048}, {1, 0}, {2, 2048}, {1, 0}, {4, 0}};
    ASSERT_EQ(wakes.size(), expected.size());
    for (size_t i = 0; i < wakes.size(); ++i) {
        EXPECT_EQ(wakes[i].Bits, expected[i].first) << i;
        EXPECT_EQ(wakes[i].Play, expected[i].second) << i;
    }
}

TEST(ManualAudioTest, RefusesWhatItCannotDoAndCountsBuffersLeftAtClose) {
    TManualAudioDevice d;
    TBufferDesc desc;
    desc.Bytes = 64;
    TBufferId id = 0;
    EXPECT_EQ(d.CreateBuffer(desc, id), arNoDriver);
    d.OpenFailure = "no output here";
    std::string error;
    EXPECT_FALSE(d.Open(error));
    EXPECT_EQ(error, "no output here");
    d.OpenFailure.clear();
    ASSERT_TRUE(d.Open(error));

    struct {
        uint32_t Bytes, Rate, Bits, Channels;
        uint32_t Result;
    } const creates[] = {
        {64, 44100, 16, 2, arOk},        {2, 44100, 16, 2, arInvalidParam}, {0x10000000, 44100, 16, 2, arInvalidParam},
        {64, 22050, 16, 2, arBadFormat}, {64, 44100, 8, 2, arBadFormat},    {64, 44100, 16, 1, arBadFormat},
    };
    for (const auto& c : creates) {
        desc = {c.Bytes, c.Rate, c.Bits, c.Channels};
        EXPECT_EQ(d.CreateBuffer(desc, id), c.Result) << c.Bytes << " " << c.Rate << " " << c.Bits << " " << c.Channels;
    }
    EXPECT_EQ(d.SetOutputFormat(48000, 16, 2), arBadFormat);
    desc = {64};
    ASSERT_EQ(d.CreateBuffer(desc, id), arOk);
    EXPECT_EQ(d.SetVolume(id, 1), arInvalidParam);
    EXPECT_EQ(d.WriteBuffer(id, 63, "abcd", 4), arOk);  // wraps round
    EXPECT_EQ(d.WriteBuffer(id, 64, "abcd", 4), arInvalidParam);

    TBufferId dup = 0;
    ASSERT_EQ(d.DuplicateBuffer(id, dup), arOk);
    EXPECT_EQ(d.ReleaseBuffer(id), arOk);
    EXPECT_EQ(d.ReleaseBuffer(id), arInvalidParam);
    EXPECT_EQ(d.Close(), 2u);  // the first buffer and the duplicate were never given back
}

TEST(ManualAudioTest, WaveFileHoldsTheFramesBehindARiffHeader) {
    const std::string path = TestData::ScratchDir() + "/out.wav";
    TWaveFileWriter w;
    std::string error;
    ASSERT_TRUE(w.Open(path, error)) << error;
    const int16_t frames[] = {1, -1, 2, -2, 3, -3};
    ASSERT_TRUE(w.Append(frames, 2));
    ASSERT_TRUE(w.Append(frames + 4, 1));
    ASSERT_TRUE(w.Close(error)) << error;

    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 44u + 12u);
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(LittleEndian::Get32(b + 4), 48u);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(LittleEndian::Get16(b + 20), 1u);  // PCM
    EXPECT_EQ(LittleEndian::Get16(b + 22), 2u);
    EXPECT_EQ(LittleEndian::Get32(b + 24), 44100u);
    EXPECT_EQ(LittleEndian::Get32(b + 28), 176400u);
    EXPECT_EQ(LittleEndian::Get16(b + 32), 4u);
    EXPECT_EQ(LittleEndian::Get16(b + 34), 16u);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(LittleEndian::Get32(b + 40), 12u);
    EXPECT_EQ(static_cast<int16_t>(LittleEndian::Get16(b + 54)), -3);

    EXPECT_FALSE(w.Open(TestData::ScratchDir() + "/missing/out.wav", error));
    EXPECT_NE(error.find("missing/out.wav"), std::string::npos);
}

}  // namespace
