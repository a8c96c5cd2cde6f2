// The sound component under load on SDL's dummy output: sounds are loaded, freed, played, stopped,
// swapped and re-voiced from the main thread while the audio callback mixes and a stream's
// notification thread refills its ring, for a few seconds. Built and run under ThreadSanitizer;
// the test's time-out in CTest is the watchdog against deadlocks.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "foundation/SoundComponent.h"
#include "platform/sdl/SdlAudio.h"

namespace {

std::atomic<int> halts = 0;
void CountHalt(const std::string&) {
    ++halts;
}

TEST(SoundStressTest, LoadFreePlayStopAndSwapWhileTheDeviceMixes) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TSdlAudioDevice device;
    {
        TDDSD7 sound(&device);
        sound.SetHaltHandler(&CountHalt);
        sound.DuplicateStaticBuffers = false;
        sound.SetChannelCount(16);
        ASSERT_TRUE(sound.Initialize());

        // The stream on the last channel, refilled with a slow ramp by its thread.
        std::atomic<int> fills = 0;
        auto makeStream = [&] {
            auto stream = TDDSDWaveData::CreateStream(sound, 16384, true, 16, 44100);
            const std::vector<uint8_t> silence(stream->Size());
            stream->Write(0, silence.data(), stream->Size());
            stream->SetOnFill([&fills](TDDSDGenWave& w, TDDSDChannel* context, uint32_t offset, uint32_t size) {
                if (!context) return;
                std::vector<int16_t> ramp(size / 2);
                for (size_t i = 0; i < ramp.size(); ++i)
                    ramp[i] = static_cast<int16_t>((i + fills * 7) % 2000);
                w.Write(offset, ramp.data(), size);
                ++fills;
            });
            return stream;
        };
        TDDSDChannel* music = sound.GetChannel(15);
        auto stream = makeStream();
        music->SetWaveData(stream.get());
        music->PlayLoop();

        std::mt19937 rng(28);
        std::array<std::unique_ptr<TDDSDWaveData>, 15> waves;
        auto load = [&](uint32_t ch) {
            const uint32_t bytes = 4 * (1 + rng() % 20000);
            std::vector<int16_t> data(bytes / 2);
            for (auto& s : data)
                s = static_cast<int16_t>(rng());
            auto wave = TDDSDWaveData::Create(sound, bytes, true, 16, 44100);
            wave->Write(0, data.data(), bytes);
            sound.GetChannel(ch)->SetWaveData(wave.get());
            waves[ch] = std::move(wave);
        };
        int operations = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < end) {
            const uint32_t ch = rng() % 15;
            TDDSDChannel* c = sound.GetChannel(ch);
            switch (rng() % 9) {
                case 0:
                    load(ch);
                    break;
                case 1:
                    c->SetWaveData(nullptr);
                    waves[ch].reset();
                    break;
                case 2:
                    c->PlayFrom(4 * (rng() % 1000));
                    break;
                case 3:
                    c->PlayLoopFrom(4 * (rng() % 1000));
                    break;
                case 4:
                    c->Stop();
                    break;
                case 5: {
                    // Swap two channels' sounds, as the sound library does.
                    const uint32_t other = rng() % 15;
                    std::swap(waves[ch], waves[other]);
                    sound.GetChannel(ch)->SetWaveData(waves[ch].get());
                    sound.GetChannel(other)->SetWaveData(waves[other].get());
                    break;
                }
                case 6:
                    c->SetVolume(-static_cast<int32_t>(rng() % 10001));
                    c->SetPan(static_cast<int32_t>(rng() % 20001) - 10000);
                    break;
                case 7:
                    // The stream channel is stopped, unbound, bound again and restarted.
                    music->SetWaveData(nullptr);
                    music->SetWaveData(stream.get());
                    if (rng() % 2) music->PlayLoop();
                    break;
                case 8:
                    // Now and then the stream itself is made anew: its thread ends and a new one starts.
                    if (rng() % 8 == 0) {
                        music->SetWaveData(nullptr);
                        stream = makeStream();
                        music->SetWaveData(stream.get());
                        music->PlayLoop();
                    }
                    break;
            }
            c->GetStatus();
            sound.DeliverThreadFailures();
            if (++operations % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 1000));
        }
        music->PlayLoop();
        const int before = fills;
        const auto wait = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (fills < before + 2 && std::chrono::steady_clock::now() < wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_GE(fills, before + 2) << "the stream is still refilled";
        for (uint32_t ch = 0; ch < 15; ++ch)
            sound.GetChannel(ch)->SetWaveData(nullptr);
        music->SetWaveData(nullptr);
        stream.reset();
        for (auto& w : waves)
            w.reset();
        EXPECT_GT(operations, 1000);
        sound.DeliverThreadFailures();
    }
    EXPECT_EQ(halts, 0) << "a device call failed";
    unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
