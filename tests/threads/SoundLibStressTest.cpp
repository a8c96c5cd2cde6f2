// The sound library under load: a second thread renders the device without pause (so the
// streaming wave's thread mixes all the time) while the main thread loads, frees, plays, fades,
// swaps, saves and restores streams and effects, switches the library off and on, and finally
// destroys it with the device still rendering. Built and run under ThreadSanitizer; the test's
// time-out in CTest is the watchdog against deadlocks.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "foundation/PackLib.h"
#include "media/VorbisBinding.h"
#include "media/uSoundLib.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "platform/headless/ManualAudio.h"
#include "tools/kelsound/SoundWriter.h"

namespace {

std::atomic<int> halts = 0;
void CountHalt(const std::string&) {
    ++halts;
}

TEST(SoundLibStressTest, TheMainThreadChangesStreamsWhileTheyAreMixed) {
    const auto decoder = OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll");
    ASSERT_NE(decoder, nullptr);
    std::map<std::string, std::string> files;
    files["a.ogg"] = SoundWriter::EncodeOgg(SoundWriter::Sine(44100, 2, 20000, 440, 0.3), 44100, 2, {});
    files["b.ogg"] = SoundWriter::EncodeOgg(SoundWriter::Sine(22050, 1, 9000, 300, 0.3), 22050, 1,
                                            {SoundWriter::LoopComment({"*looptime,0,0.1,0.3,-1"})});
    files["bad.ogg"] = "OggS not really";
    const char* names[] = {"a.ogg", "b.ogg", "bad.ogg", "none.ogg"};
    TPackSet packs;
    packs.FileExistsHook = [&](const std::string& n) { return files.count(n) > 0; };
    packs.LoadFileHook = [&](const std::string& n) -> std::unique_ptr<TMemoryStream> {
        auto it = files.find(n);
        return it == files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
    };

    TManualAudioDevice device;
    auto component = std::make_unique<TDDSD7>(&device);
    component->SetHaltHandler(&CountHalt);
    component->DuplicateStaticBuffers = false;
    component->SetChannelCount(16);
    ASSERT_TRUE(component->Initialize());
    TSystemClock clock;
    auto sound = std::make_unique<TSound>(*component, packs, 16384, clock, decoder);

    std::atomic<bool> rendering = true;
    std::thread renderer([&] {
        while (rendering)
            device.Render(TManualAudioDevice::kChunkFrames);
    });

    std::mt19937 rng(30);
    auto pick = [&](uint32_t n) { return static_cast<int32_t>(rng() % n); };
    TSSound& s = *sound->SSound;
    TDSound& d = *sound->DSound;
    for (int step = 0; step < 1200; ++step) {
        const int32_t n = pick(16), m = pick(16), e = pick(15);
        switch (pick(14)) {
            case 0:
                s.LoadStream(n, names[pick(4)], static_cast<uint32_t>(pick(3)), pick(2) == 0, 0);
                break;
            case 1:
                s.LoadVoice(n, names[pick(2)], static_cast<uint32_t>(pick(4)));
                break;
            case 2:
                s.Play(n, pick(2) == 0);
                break;
            case 3:
                s.FreeStream(n);
                break;
            case 4:
                s.SetVolume(n, pick(300), pick(200));
                break;
            case 5:
                s.SwapStreams(n, m);
                break;
            case 6:
                s.SeekMs(n, pick(500));
                break;
            case 7:
                sound->SetGroupVolume(static_cast<uint32_t>(pick(3)), pick(256));
                sound->UpdateGroupVolumes();
                break;
            case 8: {
                TMemoryStream saved;
                sound->SaveToStream(saved);
                saved.SetPosition(0);
                sound->LoadFromStream(&saved);
                break;
            }
            case 9:
                sound->SetActive(pick(3) != 0);
                break;
            case 10:
                d.LoadSound(e, names[pick(4)], sgEffect, pick(2) == 0, 0);
                break;
            case 11:
                d.Play(e, pick(2) == 0, pick(300));
                break;
            case 12:
                d.SwapChannels(e, pick(15));
                break;
            default:
                s.FadeOutVoices(static_cast<uint32_t>(pick(4)), 100);
                (void)s.GetLevel(n, 2);
                (void)s.GetPlayingTimeMs(n);
                break;
        }
        if (step % 64 == 0) component->DeliverThreadFailures();
    }
    sound->SetActive(true);
    sound.reset();  // with the device still rendering
    rendering = false;
    renderer.join();
    component->DeliverThreadFailures();
    component.reset();
    EXPECT_EQ(halts, 0);
}

}  // namespace
