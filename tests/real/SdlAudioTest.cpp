// The SDL sound device on SDL's dummy output, which keeps real time without hardware: the audio
// callback mixes, and a stream's notification thread refills it, at the pace of a real device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "foundation/SoundComponent.h"
#include "platform/sdl/SdlAudio.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"

namespace {

// Polls a condition in real time; false when it has not come true within the limit.
template <typename F>
bool Within(std::chrono::milliseconds limit, F done) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TEST(SdlAudioTest, WithoutADeviceTheStandInOutputPlaysInRealTime) {
    // A driver that does not exist stands for a machine without sound.
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    TContextFixture context;
    TSdlAudioDevice device;
    {
        TDDSD7 sound(&device);
        sound.Log = &context.Log;
        ASSERT_TRUE(sound.Initialize());
        unsetenv("SDL_AUDIODRIVER");
        EXPECT_EQ(device.DriverName(), "dummy");
        EXPECT_NE(device.Error().find("no-such-driver"), std::string::npos) << device.Error();
        ASSERT_EQ(context.Log.ErrorList.Count(), 1);
        EXPECT_NE(context.Log.ErrorList[0].find("no-such-driver"), std::string::npos);

        // 50 ms played once ends by itself.
        auto effect = TDDSDWaveData::Create(sound, 8820, true, 16, 44100);
        TDDSDChannel* channel = sound.GetChannel(0);
        channel->SetWaveData(effect.get());
        channel->PlayFrom(0);
        EXPECT_NE(channel->GetStatus(), 0u);
        EXPECT_TRUE(Within(std::chrono::milliseconds(2000), [&] { return channel->GetStatus() == 0; }));

        // The smallest stream (46 ms a half) asks for both halves within a lap.
        std::atomic<int> fills = 0;
        auto stream = TDDSDWaveData::CreateStream(sound, 0, true, 16, 44100);
        stream->SetOnFill([&](TDDSDGenWave& w, TDDSDChannel*, uint32_t offset, uint32_t size) {
            const std::vector<uint8_t> silence(size);
            w.Write(offset, silence.data(), size);
            ++fills;
        });
        TDDSDChannel* music = sound.GetChannel(7);
        music->SetWaveData(stream.get());
        music->PlayLoop();
        EXPECT_TRUE(Within(std::chrono::milliseconds(3000), [&] { return fills >= 2; }));
        music->SetWaveData(nullptr);
        channel->SetWaveData(nullptr);
        sound.DeliverThreadFailures();
    }
}

}  // namespace
