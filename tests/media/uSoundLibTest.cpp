// The sound library on the manual device with a fake clock: what is heard follows the volume
// groups, the fades and the voices; loads keep, restart or refuse; the save records hold their
// fields at fixed offsets and a restore fades music in and replays only long effects.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/AnimationBmpLib.h"
#include "media/OggDataLib.h"
#include "media/uSoundLib.h"
#include "platform/Clock.h"
#include "platform/LittleEndian.h"
#include "platform/headless/ManualAudio.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/SoundFixtures.h"
#include "tests/support/TestData.h"

namespace {

// ---- records and the mixing kernel, without a device

TEST(SoundRecordTest, FieldsSitAtTheirOffsets) {
    TSSoundStreamRecord s;
    s.Name = "bgm\\theme.ogg";
    s.Volume = 200;
    s.FadeTime = 1500;
    s.SilenceThreshold = -3;
    s.SeekPosition = 12345;
    s.State = psLOOP;
    for (size_t i = 0; i < s.BandGains.size(); ++i)
        s.BandGains[i] = static_cast<float>(i) / 4.0f;
    s.Group = 300;
    s.Actor = 7;
    s.AGCLimit = 230;
    s.Position = 61.5f;
    s.AGCRate = 50;
    s.AGCInitialGain = 255;
    s.AGCNoiseFloor = 9;
    TMemoryStream out;
    s.Write(out);
    ASSERT_EQ(out.Size(), 1313);
    const uint8_t* b = out.Memory();
    auto f32 = [&](size_t at) {
        float v;
        const uint32_t u = LittleEndian::Get32(b + at);
        std::memcpy(&v, &u, 4);
        return v;
    };
    struct {
        size_t Offset;
        uint32_t Value;
        const char* Field;
    } const fields[] = {{0, 13, "name length"},       {128, 200, "volume"},    {132, 1500, "fade"},
                        {136, 0xFFFFFFFD, "silence"}, {140, 12345, "seek"},    {1169, 300, "group"},
                        {1173, 7, "actor"},           {1177, 230, "limit"},    {1185, 50, "rate"},
                        {1189, 255, "initial gain"},  {1193, 9, "noise floor"}};
    for (const auto& f : fields)
        EXPECT_EQ(f.Field == std::string("name length") ? b[f.Offset] : LittleEndian::Get32(b + f.Offset), f.Value)
            << f.Field;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 1), 13), s.Name);
    EXPECT_EQ(b[144], psLOOP);
    EXPECT_EQ(f32(145), 0.0f);
    EXPECT_EQ(f32(145 + 4 * 255), 63.75f);
    EXPECT_EQ(f32(1181), 61.5f);
    for (size_t i = 1197; i < 1313; ++i)
        ASSERT_EQ(b[i], 0) << i;

    TSSoundStreamRecord back;
    back.Read(out.Data);
    EXPECT_EQ(back.Name, s.Name);
    EXPECT_EQ(back.SilenceThreshold, -3);
    EXPECT_EQ(back.BandGains, s.BandGains);
    EXPECT_EQ(back.Group, 300u);
    EXPECT_EQ(back.Position, 61.5f);
    EXPECT_EQ(back.AGCNoiseFloor, 9);

    TDSoundChannelRecord d;
    d.Name = "$$$anim" + std::string(200, 'x');  // cut to the field's 127 bytes
    d.Volume = 128;
    d.State = psPLAY;
    d.Group = 2;
    d.Tag = 0x01020304;
    d.FromMemory = 1;
    TMemoryStream dout;
    d.Write(dout);
    ASSERT_EQ(dout.Size(), 274);
    const uint8_t* c = dout.Memory();
    EXPECT_EQ(c[0], 127);
    EXPECT_EQ(LittleEndian::Get32(c + 128), 128u);
    EXPECT_EQ(c[132], psPLAY);
    EXPECT_EQ(LittleEndian::Get32(c + 133), 2u);
    EXPECT_EQ(LittleEndian::Get32(c + 137), 0x01020304u);
    EXPECT_EQ(c[141], 1);
    for (size_t i = 142; i < 274; ++i)
        ASSERT_EQ(c[i], 0) << i;

    // A length byte past the field's 127 bytes reads as 127.
    for (auto* bytes : {&out.Data, &dout.Data}) {
        (*bytes)[0] = 200;
        TSSoundStreamRecord rs;
        TDSoundChannelRecord rd;
        if (bytes == &out.Data) {
            rs.Read(*bytes);
            EXPECT_EQ(rs.Name.size(), 127u);
            EXPECT_EQ(rs.Volume, 200);
        } else {
            rd.Read(*bytes);
            EXPECT_EQ(rd.Name.size(), 127u);
            EXPECT_EQ(rd.Volume, 128);
        }
    }
}

TEST(SoundMixerTest, SumsAreClampedAndTheDelayIsTheHalfHeard) {
    struct {
        std::vector<std::vector<int16_t>> Sources;
        std::vector<int16_t> Out;
    } const cases[] = {
        {{}, {0, 0, 0}},
        {{{1, -2, 32767}}, {1, -2, 32767}},
        {{{20000, -20000, -32768}, {20000, -20000, 5}}, {32767, -32767, -32763}},
        {{{-32768, 100, 0}}, {-32767, 100, 0}},
    };
    for (const auto& c : cases) {
        std::vector<const int16_t*> sources;
        for (const auto& s : c.Sources)
            sources.push_back(s.data());
        std::vector<int16_t> out(3, 99);
        OggPlayerLib::MixSources(out.data(), sources.data(), static_cast<int32_t>(sources.size()), 3);
        EXPECT_EQ(out, c.Out);
    }
    // Sixteen full-scale streams over more than one run of the kernel do not wrap.
    std::vector<int16_t> loud(1500, 32767);
    std::vector<const int16_t*> sixteen(16, loud.data());
    std::vector<int16_t> out(1500);
    OggPlayerLib::MixSources(out.data(), sixteen.data(), 16, 1500);
    EXPECT_EQ(out.front(), 32767);
    EXPECT_EQ(out.back(), 32767);

    const std::tuple<uint32_t, uint32_t, int32_t> delays[] = {
        {0, 16384, 0}, {8192, 16384, 0}, {1764, 16384, 10}, {8192 + 1764, 16384, 10}, {100, 0, 0}};
    for (auto [play, size, ms] : delays)
        EXPECT_EQ(OggPlayerLib::HeardDelay(play, size), ms) << play << " " << size;

    const std::tuple<int32_t, uint32_t, int32_t> volumes[] = {{128, 255, -299}, {255, 128, -299}, {255, 255, 0},
                                                              {0, 255, -10000}, {1, 1, -10000},   {600, 255, 0},
                                                              {-5, 255, -10000}};
    for (auto [volume, group, db] : volumes)
        EXPECT_EQ(uSoundLib::EffectVolume(volume, group), db) << volume << " " << group;
}

// ---- the library on the manual device

class SoundLibTest : public ::testing::Test, public TContextFixture {
protected:
    static constexpr int32_t kStreamLength = 16384;  // the shortest ring: 4096 frames, 93 ms

    void SetUp() override {
        FakeClock.Now = 100000;
        Halts = 0;
        Packs.FileExistsHook = [this](const std::string& n) { return Files.count(ClassLib::LowerAscii(n)) > 0; };
        Packs.LoadFileHook = [this](const std::string& n) -> std::unique_ptr<TMemoryStream> {
            auto it = Files.find(ClassLib::LowerAscii(n));
            return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
        };
        Files["tone.ogg"] = SoundFixtures::ToneOgg(44100, 2, 2.0, 1000, 0.5);
        Files["tone2.ogg"] = SoundFixtures::ToneOgg(44100, 2, 2.0, 1000, 0.25);
        Files["quiet.ogg"] = SoundFixtures::ToneOgg(44100, 2, 2.0, 1000, 0.05);
        Files["broken.ogg"] = "OggS this is no Vorbis stream";
        Component = std::make_unique<TDDSD7>(&Device);
        Component->SetHaltHandler(&CountHalt);
        Component->DuplicateStaticBuffers = false;
        Component->SetChannelCount(16);
        Component->Log = &Log;
        ASSERT_TRUE(Component->Initialize());
        Sound = std::make_unique<TSound>(*Component, Packs, kStreamLength, FakeClock, Binding.Decoder);
        Sound->DSound->Config = &Settings;
    }
    void TearDown() override {
        Sound.reset();
        Component.reset();
        EXPECT_EQ(Halts, 0);
    }

    // The next ms of output, the fake clock moving with it.
    std::vector<int16_t> Render(uint32_t ms) {
        std::vector<int16_t> out;
        for (uint32_t i = 0; i < ms; i += 10) {
            const auto part = Device.Render(441);
            out.insert(out.end(), part.begin(), part.end());
            FakeClock.Now += 10;
        }
        return out;
    }
    // Mean magnitude of the left samples of the frames from..to (ms into the rendered block), as
    // a share of a full-volume tone of amplitude 0.5.
    static double Level(const std::vector<int16_t>& out, uint32_t fromMs, uint32_t toMs) {
        const size_t from = size_t{fromMs} * 441 / 10, to = std::min(size_t{toMs} * 441 / 10, out.size() / 2);
        double sum = 0;
        for (size_t f = from; f < to; ++f)
            sum += std::abs(out[2 * f]);
        const double fullTone = 0.5 * 32767 * 2 / 3.14159265358979 * 254 / 256;  // volume 255 is 254/256
        return to > from ? sum / static_cast<double>(to - from) / fullTone : 0;
    }

    static void CountHalt(const std::string&) { ++Halts; }
    static inline int Halts = 0;
    SoundFixtures::TVorbisBinding Binding;
    TFakeClock FakeClock;
    TManualAudioDevice Device;
    std::unique_ptr<TDDSD7> Component;
    std::unique_ptr<TSound> Sound;
    std::map<std::string, std::string> Files;
};

TEST_F(SoundLibTest, TheStreamLevelFollowsItsVolumeAndItsGroup) {
    TSSound& s = *Sound->SSound;
    struct {
        int32_t Group;
        int32_t Volume;
        double Level;
    } const cases[] = {{255, 255, 1.0}, {128, 255, 0.5}, {255, 128, 0.5}, {64, 128, 0.125}, {0, 255, 0}};
    for (const auto& c : cases) {
        ASSERT_TRUE(s.LoadStream(3, "tone.ogg", sgMusic, true, 0));
        Sound->SetGroupVolume(sgMusic, c.Group);
        s.SetVolume(3, c.Volume, 0);
        s.Play(3, true);
        const auto out = Render(400);
        EXPECT_NEAR(Level(out, 200, 400), c.Level, 0.02) << c.Group << " " << c.Volume;
        s.FreeStream(3);
        Render(200);
    }

    // A group's change is heard at once once applied; a group outside the table is always 255.
    Sound->SetGroupVolume(sgMusic, 255);
    ASSERT_TRUE(s.LoadStream(0, "tone.ogg", sgMusic, true, 0));
    s.Play(0, true);
    Render(300);
    Sound->SetGroupVolume(sgMusic, 128);
    EXPECT_NEAR(Level(Render(300), 100, 300), 1.0, 0.02) << "not applied yet";
    Sound->UpdateGroupVolumes();
    EXPECT_NEAR(Level(Render(300), 150, 300), 0.5, 0.02);
    Sound->SetGroupVolume(300, 0);  // ignored
    s.SetGroup(0, 300);
    EXPECT_EQ(Sound->GetGroupVolume(300), 255u);
    Sound->UpdateGroupVolumes();
    EXPECT_NEAR(Level(Render(300), 150, 300), 1.0, 0.02);
    EXPECT_EQ(s.Record(0).Group, 300u);
}

TEST_F(SoundLibTest, FadesReachTheirTargetAndAFadeToSilenceStops) {
    TSSound& s = *Sound->SSound;
    struct {
        const char* What;
        int32_t From, To, FadeMs;
        double Middle, End;  // heard half-way and after the fade
        int32_t State;
    } const cases[] = {
        {"out", 255, 0, 1000, 0.5, 0.0, psSTOP},
        {"in", 0, 255, 1000, 0.5, 1.0, psLOOP},
        {"down to half", 255, 128, 1000, 0.75, 0.5, psLOOP},
        {"at once", 255, 128, 0, 0.5, 0.5, psLOOP},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(s.LoadStream(1, "tone.ogg", sgMusic, true, 0));
        s.SetVolume(1, c.From, 0);
        s.SetVolume(1, c.To, c.FadeMs);
        EXPECT_EQ(s.GetVolume(1), c.To) << c.What;  // the target, at once
        s.Play(1, true);
        const auto out = Render(1500);
        // The fade begins with the next half decoded, which is heard 46 to 93 ms later.
        EXPECT_NEAR(Level(out, 550, 590), c.Middle, 0.04) << c.What;
        EXPECT_NEAR(Level(out, 1300, 1500), c.End, 0.02) << c.What;
        EXPECT_EQ(s.GetState(1), c.State) << c.What;
        s.FreeStream(1);
        Render(200);
    }
}

TEST_F(SoundLibTest, VoicesBelongToTheirSpeakerAndFadeOutTogether) {
    TSSound& s = *Sound->SSound;
    ASSERT_TRUE(s.LoadVoice(0, "tone.ogg", 3));
    ASSERT_TRUE(s.LoadVoice(1, "tone2.ogg", 4));
    ASSERT_TRUE(s.LoadStream(2, "quiet.ogg", sgMusic, false, 3));  // an actor, but no voice
    EXPECT_EQ(s.Record(0).Group, uint32_t{sgVoice});
    EXPECT_EQ(s.Record(0).Actor, 3u);
    EXPECT_TRUE(s.IsVoice(0));
    EXPECT_FALSE(s.IsVoice(2));
    Sound->SetGroupVolume(sgVoice, 128);
    for (int n = 0; n < 3; ++n)
        s.Play(n, true);
    // Voices at half their level (0.5 and 0.25), the music at its own (0.1).
    EXPECT_NEAR(Level(Render(400), 200, 400), 0.5 + 0.25 + 0.1, 0.03);

    s.FadeOutVoices(3, 500);
    const auto out = Render(800);
    EXPECT_NEAR(Level(out, 600, 800), 0.25 + 0.1, 0.02) << "only the speaker's voice is gone";
    EXPECT_EQ(s.GetState(0), psSTOP);
    EXPECT_EQ(s.GetState(1), psLOOP);
    EXPECT_EQ(s.GetState(2), psLOOP);

    // A voice stays that speaker's until the stream is loaded again or freed.
    ASSERT_TRUE(s.LoadStream(1, "tone.ogg", sgMusic, false, 4));
    EXPECT_FALSE(s.IsVoice(1));
    s.Play(1, true);
    s.FadeOutVoices(4, 0);
    EXPECT_EQ(s.GetVolume(1), 255);
    ASSERT_TRUE(s.LoadVoice(1, "tone.ogg", 4));
    s.FreeStream(1);
    EXPECT_FALSE(s.IsVoice(1));
}

TEST_F(SoundLibTest, AllSixteenStreamsAreMixed) {
    TSSound& s = *Sound->SSound;
    Files["faint.ogg"] = SoundFixtures::ToneOgg(44100, 2, 2.0, 1000, 0.05);
    for (int n = 0; n < 16; ++n) {
        ASSERT_TRUE(s.LoadStream(n, "faint.ogg", sgMusic, false, 0));
        s.Play(n, true);
    }
    // Sixteen copies of one tone in step add up to sixteen times its level.
    EXPECT_NEAR(Level(Render(400), 200, 400), 16 * 0.1, 0.03);
    for (int n = 0; n < 16; n += 2)
        s.Pause(n);
    EXPECT_NEAR(Level(Render(400), 200, 400), 8 * 0.1, 0.02);
}

TEST_F(SoundLibTest, LoadsKeepRestartOrRefuse) {
    TSSound& s = *Sound->SSound;
    TDSound& d = *Sound->DSound;
    ASSERT_TRUE(s.LoadStream(0, "tone.ogg", sgMusic, false, 0));
    s.Play(0, true);
    Render(300);
    const int32_t at = s.GetPositionMs(0);
    EXPECT_GT(at, 200);
    // The same file again goes on playing; forced, it starts over.
    EXPECT_TRUE(s.LoadStream(0, "tone.ogg", sgMusic, false, 0));
    EXPECT_EQ(s.GetState(0), psLOOP);
    EXPECT_GE(s.GetPositionMs(0), at);
    EXPECT_TRUE(s.LoadStream(0, "tone.ogg", sgMusic, true, 0));
    EXPECT_EQ(s.GetState(0), psSTOP);
    EXPECT_EQ(s.GetPositionMs(0), 0);
    EXPECT_EQ(s.GetLengthMs(0), 2000);

    // Refusals leave the stream free and raise nothing.
    struct {
        const char* Name;
        std::string Kept;  // the record's name afterwards
    } const refused[] = {{"broken.ogg", ""}, {"missing.ogg", "missing.ogg"}};
    for (const auto& r : refused) {
        s.Play(0, true);
        EXPECT_FALSE(s.LoadStream(0, r.Name, sgMusic, true, 0)) << r.Name;
        EXPECT_EQ(s.GetState(0), psNONE) << r.Name;
        EXPECT_EQ(s.GetName(0), r.Kept) << r.Name;
        EXPECT_FALSE(d.LoadSound(0, r.Name, sgEffect, true, 0)) << r.Name;
        EXPECT_EQ(d.GetState(0), psNONE) << r.Name;
        ASSERT_TRUE(s.LoadStream(0, "tone.ogg", sgMusic, true, 0));
    }

    // Effects: an unchanged name is kept, an engine-made "$$$" file is always made anew.
    Files["$$$sound.ogg"] = Files["tone.ogg"];
    ASSERT_TRUE(d.LoadSound(1, "tone.ogg", sgEffect, false, 0));
    ASSERT_TRUE(d.LoadSound(2, "$$$sound.ogg", sgEffect, false, 0));
    EXPECT_EQ(d.GetName(2), "$$$sound.ogg");
    const uint32_t bytes = d.WaveBytes(1);
    EXPECT_EQ(bytes, 353280u);  // 2 s, in whole kilobytes
    Files["tone.ogg"] = Files["$$$sound.ogg"] = SoundFixtures::ToneOgg(44100, 2, 1.0, 1000, 0.5);
    ASSERT_TRUE(d.LoadSound(1, "tone.ogg", sgEffect, false, 0));
    ASSERT_TRUE(d.LoadSound(2, "$$$sound.ogg", sgEffect, false, 0));
    EXPECT_EQ(d.WaveBytes(1), bytes);
    EXPECT_LT(d.WaveBytes(2), bytes);
    // Sounds from memory: an empty one is refused and changes nothing.
    TMemoryStream empty;
    EXPECT_FALSE(d.LoadFromMemory(1, &empty, sgEffect, true, "empty"));
    EXPECT_FALSE(d.LoadFromMemory(1, nullptr, sgEffect, true, "none"));
    EXPECT_EQ(d.GetName(1), "tone.ogg");

    // With the forced mode of the settings the loads succeed and nothing is there to hear.
    Settings.ForceDirectSoundMode = 1;
    EXPECT_TRUE(d.LoadSound(3, "tone.ogg", sgEffect, false, 0));
    TMemoryStream pcm(std::string(4000, '\x10'));
    EXPECT_TRUE(d.LoadFromMemory(4, &pcm, sgEffect, false, "pcm"));
    d.Play(3, false, 0);
    d.Play(4, true, 0);
    EXPECT_EQ(d.GetState(3), psNONE);
    EXPECT_EQ(d.GetState(4), psNONE);
    EXPECT_NEAR(Level(Render(200), 100, 200), 0, 1e-9);  // past what the ring held from before

    // Numbers outside the library are not playing and change nothing.
    for (int32_t n : {-1, 16, 1000}) {
        EXPECT_FALSE(s.LoadStream(n, "tone.ogg", sgMusic, true, 0));
        s.Play(n, true);
        s.SetVolume(n, 10, 0);
        s.SwapStreams(0, n);
        EXPECT_EQ(s.GetState(n), psNONE);
        EXPECT_EQ(s.GetVolume(n), 255);
        EXPECT_EQ(s.GetName(n), "");
        EXPECT_EQ(s.GetPlayingTimeMs(n), 0);
    }
    for (int32_t n : {-1, 15, 16}) {
        EXPECT_FALSE(d.LoadSound(n, "tone.ogg", sgEffect, true, 0));
        d.Play(n, true, 0);
        d.SwapChannels(1, n);
        EXPECT_EQ(d.GetState(n), psNONE);
        EXPECT_EQ(d.GetVolume(n), 255);
    }
    EXPECT_EQ(d.GetName(1), "tone.ogg");
    EXPECT_EQ(Log.ErrorList.Count(), 0);
}

TEST_F(SoundLibTest, DecodingErrorsAreLoggedOnceUnderTheFilesName) {
    Files["damaged.ogg"] = SoundFixtures::CorruptMiddlePage(SoundFixtures::NoiseOgg());
    // An effect decodes whole on the main thread: its error is logged at once, under its name.
    ASSERT_TRUE(Sound->DSound->LoadSound(1, "damaged.ogg", sgEffect, true, 0));
    ASSERT_EQ(Log.ErrorList.Count(), 1);
    EXPECT_EQ(Log.ErrorList[0].rfind("[SOUND]:damaged.ogg: ", 0), 0u) << Log.ErrorList[0];
    Log.ClearErrorLog();

    // A stream meets the damage on the mixer's side; the main thread's call writes it, once.
    TSSound& s = *Sound->SSound;
    ASSERT_TRUE(s.LoadStream(0, "damaged.ogg", sgMusic, false, 0));
    s.Play(0, false);
    Render(1200);
    EXPECT_EQ(s.GetState(0), psSTOP);
    EXPECT_EQ(Log.ErrorList.Count(), 0);
    Sound->LogDecodeErrors();
    Sound->LogDecodeErrors();
    ASSERT_EQ(Log.ErrorList.Count(), 1);
    EXPECT_EQ(Log.ErrorList[0].rfind("[SOUND]:damaged.ogg: ", 0), 0u) << Log.ErrorList[0];
    EXPECT_FALSE(Log.ErrorFlag);
    Log.ClearErrorLog();
}

TEST_F(SoundLibTest, EffectsAreHeardAtTheVolumeOfTheirLastStart) {
    TDSound& d = *Sound->DSound;
    // Half a second of a constant 8000 in both channels.
    std::string bytes;
    for (int i = 0; i < 2 * 22050; ++i)
        bytes += std::string("\x40\x1F", 2);
    TMemoryStream pcm(bytes);
    ASSERT_TRUE(d.LoadFromMemory(0, &pcm, sgEffect, false, "anim,se"));
    EXPECT_EQ(d.Record(0).FromMemory, 1);
    // Changes are heard from the next chunk of the device: every render here takes whole chunks.
    constexpr uint32_t kChunk = TManualAudioDevice::kChunkFrames;
    auto heard = [&] { return Device.Render(kChunk)[0]; };
    struct {
        int32_t Group, Volume;
        int16_t Heard;  // 8000 x 10^(dB / 20)
    } const cases[] = {{255, 255, 8000}, {255, 128, 5668}, {128, 255, 5668}, {255, 0, 0}};
    for (const auto& c : cases) {
        Sound->SetGroupVolume(sgEffect, c.Group);
        Sound->UpdateGroupVolumes();
        d.SetVolume(0, c.Volume);
        FakeClock.Now += 100;
        d.Play(0, true, 0);
        EXPECT_NEAR(heard(), c.Heard, 3) << c.Group << " " << c.Volume;
        // Changes while it plays wait for the next start.
        d.SetVolume(0, 255);
        Sound->SetGroupVolume(sgEffect, 255);
        Sound->UpdateGroupVolumes();
        EXPECT_NEAR(heard(), c.Heard, 3);
        EXPECT_EQ(d.GetState(0), psLOOP);
    }
    // A second start within 25 ms is the first one: the sound of 22050 frames ends where the
    // first start would have it end.
    FakeClock.Now += 100;
    d.Play(0, false, 0);
    Device.Render(2 * kChunk);
    FakeClock.Now += 24;
    d.Play(0, false, 0);
    Device.Render(42 * kChunk);
    EXPECT_EQ(d.GetState(0), psSTOP);
    FakeClock.Now += 25;
    d.Play(0, false, 400);  // 100 ms (4410 frames) are left
    EXPECT_EQ(d.GetState(0), psPLAY);
    Device.Render(9 * kChunk);
    EXPECT_EQ(d.GetState(0), psSTOP);
    FakeClock.Now += 25;
    d.Play(0, true, 1400);  // a loop comes round to a start past its end
    EXPECT_EQ(d.GetState(0), psLOOP);
    d.Stop(0);

    // Switching the library off stops the effects and silences the streams.
    ASSERT_TRUE(Sound->SSound->LoadStream(0, "tone.ogg", sgMusic, false, 0));
    Sound->SSound->Play(0, true);
    FakeClock.Now += 100;
    d.Play(0, true, 0);
    Render(300);
    Sound->SetActive(false);
    EXPECT_EQ(d.GetState(0), psSTOP);
    EXPECT_NEAR(Level(Render(300), 20, 300), 0, 1e-9);
    // What was mixed before is not played again when the library comes back.
    Sound->SSound->FreeStream(0);
    Sound->SetActive(true);
    EXPECT_NEAR(Level(Render(400), 0, 400), 0, 1e-9);
}

TEST_F(SoundLibTest, AnimationsPlayTheirSoundsOnEffectChannels) {
    IAnimationSound& animation = Sound->AnimationSound();
    constexpr uint32_t kChunk = TManualAudioDevice::kChunkFrames;
    auto constant = [](int16_t v) {
        TMemoryStream pcm;
        for (int i = 0; i < 2 * 4096; ++i)
            pcm.Data.insert(pcm.Data.end(), {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)});
        return pcm;
    };
    const TMemoryStream first = constant(1000), second = constant(3000);
    ASSERT_TRUE(animation.LoadFromMemory(5, first, sgEffect, false, "walk.bstep"));
    // The same name again is the sound already there.
    ASSERT_TRUE(animation.LoadFromMemory(5, second, sgEffect, false, "walk.bstep"));
    animation.SetVolume(5, 255);
    animation.Play(5, true, 0);
    EXPECT_EQ(Device.Render(kChunk)[0], 1000);
    EXPECT_EQ(Sound->DSound->Record(5).FromMemory, 1);
    animation.Stop(5);
    EXPECT_EQ(Device.Render(kChunk)[0], 0);

    // The voice level the animation reads is the stream's meter.
    EXPECT_EQ(animation.GetLevel(2, 2), 0.0f);
    ASSERT_TRUE(Sound->SSound->LoadVoice(2, "tone.ogg", 0));
    Sound->SSound->Play(2, true);
    Render(300);
    EXPECT_NEAR(animation.GetLevel(2, 2), 0.5 * 2 / 3.14159265, 0.03);
    EXPECT_EQ(animation.GetLevel(16, 2), 0.0f);
}

TEST_F(SoundLibTest, SwapsMoveWhatPlaysWithItsRecord) {
    TSSound& s = *Sound->SSound;
    TDSound& d = *Sound->DSound;
    ASSERT_TRUE(s.LoadVoice(2, "tone.ogg", 5));
    s.SetVolume(2, 128, 0);
    s.Play(2, true);
    Render(300);
    s.SwapStreams(2, 9);
    EXPECT_EQ(s.GetState(2), psNONE);
    EXPECT_EQ(s.GetState(9), psLOOP);
    EXPECT_EQ(s.GetName(9), "tone.ogg");
    EXPECT_TRUE(s.IsVoice(9));
    EXPECT_EQ(s.Record(9).Volume, 128);
    EXPECT_NEAR(Level(Render(300), 0, 300), 0.5, 0.01) << "the stream plays on without a break";

    ASSERT_TRUE(d.LoadSound(0, "tone.ogg", sgEffect, false, 0));
    d.SetVolume(0, 77);
    d.SwapChannels(0, 14);
    EXPECT_EQ(d.GetName(14), "tone.ogg");
    EXPECT_EQ(d.GetVolume(14), 77);
    EXPECT_EQ(d.GetState(0), psNONE);
    EXPECT_EQ(d.GetState(14), psSTOP);
    d.Play(14, true, 0);
    EXPECT_EQ(d.GetState(14), psLOOP);
    EXPECT_EQ(Component->GetChannel(14)->Wave()->Size(), d.WaveBytes(14));
}

TEST_F(SoundLibTest, ARestoreFadesMusicInAndReplaysOnlyLongEffects) {
    TSSound& s = *Sound->SSound;
    TDSound& d = *Sound->DSound;
    Files["long.ogg"] = SoundFixtures::ToneOgg(44100, 2, 6.0, 500, 0.3);
    Files["short.ogg"] = SoundFixtures::ToneOgg(44100, 2, 3.0, 500, 0.3);
    Files["music.ogg"] = SoundFixtures::ToneOgg(44100, 2, 4.0, 1000, 0.5);
    ASSERT_TRUE(s.LoadStream(4, "music.ogg", sgMusic, false, 0));
    s.SetVolume(4, 200, 0);
    s.SeekMs(4, 1500);
    s.Play(4, true);
    ASSERT_TRUE(s.LoadStream(6, "tone.ogg", sgMusic, false, 0));  // loaded, never played
    s.SetAGC(6, 255, 7, 128, 50);
    const int32_t eq[4] = {255, 128, 128, 255};
    s.SetEqualizer4(6, eq, 0);
    ASSERT_TRUE(d.LoadSound(0, "long.ogg", sgEffect, false, 0));
    ASSERT_TRUE(d.LoadSound(1, "short.ogg", sgEffect, false, 0));
    ASSERT_TRUE(d.LoadSound(2, "tone.ogg", sgEffect, false, 0));
    ASSERT_TRUE(d.LoadSound(3, "tone.ogg", sgEffect, false, 0));
    TMemoryStream pcm(std::string(4000, '\x10'));
    ASSERT_TRUE(d.LoadFromMemory(4, &pcm, sgEffect, false, "anim,se"));
    d.SetVolume(2, 90);
    for (int n : {0, 1, 4})
        d.Play(n, false, 0);
    d.Play(2, true, 0);
    Render(200);
    TMemoryStream saved;
    Sound->SaveToStream(saved);
    ASSERT_EQ(saved.Size(), 15 * 274 + 16 * 1313);
    const float position = static_cast<float>(s.GetPositionMs(4)) / 1000.0f;

    // A short save changes nothing.
    TMemoryStream cut(saved.AsString().substr(0, saved.Data.size() - 1));
    EXPECT_FALSE(Sound->LoadFromStream(&cut));
    EXPECT_EQ(s.GetState(4), psLOOP);
    EXPECT_EQ(d.GetState(2), psLOOP);

    Sound->StopAll();
    EXPECT_EQ(s.GetState(4), psNONE);
    FakeClock.Now += 5000;
    saved.SetPosition(0);
    ASSERT_TRUE(Sound->LoadFromStream(&saved));
    EXPECT_EQ(saved.Position(), saved.Size());

    EXPECT_EQ(s.GetState(4), psLOOP);
    EXPECT_EQ(s.GetName(4), "music.ogg");
    EXPECT_NEAR(s.GetPositionMs(4) / 1000.0, position, 0.05);
    EXPECT_EQ(s.GetVolume(4), 200);
    EXPECT_EQ(s.GetState(6), psSTOP);
    EXPECT_EQ(s.Record(6).AGCLimit, 128);
    EXPECT_EQ(s.Record(6).AGCRate, 50);
    EXPECT_NEAR(s.Record(6).BandGains[128], 128.0f / 255.0f, 0.05);
    EXPECT_EQ(s.GetState(5), psNONE);

    EXPECT_EQ(d.GetState(0), psPLAY) << "the six-second sound starts again";
    EXPECT_EQ(d.GetName(0), "long.ogg");
    EXPECT_EQ(d.GetState(1), psSTOP) << "the three-second one does not";
    EXPECT_EQ(d.GetState(2), psLOOP);
    EXPECT_EQ(d.GetVolume(2), 90);
    EXPECT_EQ(d.GetState(3), psSTOP);
    EXPECT_EQ(d.GetState(4), psNONE) << "a sound from memory is its owner's to bring back";
    EXPECT_EQ(d.GetName(4), "");

    // The music comes back over two seconds (the effects are stopped so that it is heard alone).
    d.Stop(0);
    d.Stop(2);
    const auto out = Render(2600);
    EXPECT_LT(Level(out, 100, 200), 0.1);
    EXPECT_NEAR(Level(out, 1100, 1200), 0.5 * 200 / 255, 0.1);
    EXPECT_NEAR(Level(out, 2300, 2600), 200.0 / 255, 0.06);
    EXPECT_EQ(Log.ErrorList.Count(), 0);
}

}  // namespace
