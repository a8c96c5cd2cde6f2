#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "foundation/SoundComponent.h"
#include "platform/Encoding.h"
#include "platform/headless/ManualAudio.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"

namespace {

using ddsd7::TRefillHalf;

TEST(DDSD7RefillTest, StepsOnTheCursorsOfARing) {
    // A ring of 131072 bytes: the middle is 65536; the write cursor runs 2048 bytes ahead while playing.
    constexpr uint32_t half = 65536;
    struct {
        int32_t State;
        uint32_t Play, Write;
        bool Playing;
        int32_t NewState;
        TRefillHalf Half;
        bool Fill;
        const char* What;
    } const cases[] = {
        {0, 1000, 3048, true, 1, TRefillHalf::Second, true, "wrapped below the middle: the second half"},
        {0, 63000, 500, true, 1, TRefillHalf::Second, true, "the write cursor wrapped first"},
        {0, 64000, 66048, true, 0, TRefillHalf::None, false, "the write cursor is past the middle"},
        {1, 70000, 72048, true, 0, TRefillHalf::First, true, "both past the middle: the first half"},
        {1, 65536, 67584, true, 1, TRefillHalf::None, false, "at the middle is not past it"},
        {1, 130000, 1000, true, 1, TRefillHalf::None, false, "the write cursor wrapped to the start"},
        {1, 1000, 3048, true, 1, TRefillHalf::None, false, "state 1 waits for the middle"},
        {0, 70000, 72048, true, 0, TRefillHalf::None, false, "state 0 waits for the wrap"},
        {0, 0, 0, true, 0, TRefillHalf::None, false, "both 0 are no reading"},
        {1, 0x80000000u, 70000, true, 1, TRefillHalf::None, false, "a negative cursor is no reading"},
        {1, 70000, 0xFFFFFFF0u, true, 1, TRefillHalf::None, false, "a negative write cursor too"},
        {1, 0, 0, false, 1, TRefillHalf::None, false, "stopped at 0: nothing"},
        {1, 70000, 70000, false, 0, TRefillHalf::First, false, "stopped past the middle: toggles, no fill"},
        {0, 70000, 70000, false, 0, TRefillHalf::None, false, "and stays so"},
        {0, 100, 100, false, 1, TRefillHalf::Second, false, "stopped before the middle in state 0"},
    };
    for (const auto& c : cases) {
        const ddsd7::TRefill r = ddsd7::RefillStep(c.State, c.Play, c.Write, c.Playing, half);
        EXPECT_EQ(r.State, c.NewState) << c.What;
        EXPECT_EQ(r.Half, c.Half) << c.What;
        EXPECT_EQ(r.Fill, c.Fill) << c.What;
    }
}

TEST(DDSD7RefillTest, StreamSizesAreClampedToWholeFramesInEachHalf) {
    struct {
        int64_t Asked;
        uint32_t Got;
    } const cases[] = {{131072, 131072},
                       {131075, 131072},
                       {20004, 20000},
                       {0, 16384},
                       {-8, 16384},
                       {16383, 16384},
                       {int64_t{1} << 40, 4u << 20}};
    for (const auto& c : cases)
        EXPECT_EQ(ddsd7::StreamBytes(c.Asked), c.Got) << c.Asked;
}

// A device that opens but stands in for one that could not: nothing is heard.
class TSilentDevice final : public TMixingAudioDevice {
public:
    bool Open(std::string&) override {
        std::lock_guard lock(Guard);
        IsOpen = true;
        return true;
    }
    std::string Error() const override { return "no sound server"; }
    uint32_t Close() override {
        std::lock_guard lock(Guard);
        IsOpen = false;
        return Mixer.Count();
    }
};

class DDSD7Test : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        Dir = TestData::ScratchDir();
        Halts = 0;
        LastHalt.clear();
    }
    // A component writing its debug lines to the scratch folder, whose halts are counted instead
    // of ending the test.
    void Use(TDDSD7& sound) {
        sound.SetDebugFolder(Dir);
        sound.SetHaltHandler(&CountHalt);
    }

    // The debug file in UTF-8, "" when there is none.
    std::string DebugFile() const {
        std::ifstream in(Dir + "/ddsd.debug", std::ios::binary);
        return Encoding::SjisToUtf8(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }

    static void CountHalt(const std::string& text) {
        ++Halts;
        LastHalt = text;
    }
    static inline int Halts = 0;
    static inline std::string LastHalt;
    std::string Dir;
    TManualAudioDevice Device;
};

TEST_F(DDSD7Test, AStreamIsRefilledHalfByHalfBehindThePlayPosition) {
    TDDSD7 sound(&Device);
    Use(sound);
    sound.SetChannelCount(16);
    ASSERT_TRUE(sound.Initialize());
    struct TFill {
        uint32_t Offset, Size;
        TDDSDChannel* Context;
    };
    std::vector<TFill> fills;  // written on the thread, read after Render has waited for it
    auto wave = TDDSDWaveData::CreateStream(sound, 131072, true, 16, 44100);
    ASSERT_EQ(wave->Size(), 131072u);
    ASSERT_NE(wave->Buffer(), 0u);
    const std::vector<uint8_t> silence(wave->Size());
    wave->Write(0, silence.data(), wave->Size());
    wave->SetOnFill([&](TDDSDGenWave& w, TDDSDChannel* context, uint32_t offset, uint32_t size) {
        fills.push_back({offset, size, context});
        const std::vector<int16_t> level(size / 2, static_cast<int16_t>(fills.size()));
        w.Write(offset, level.data(), size);
    });
    TDDSDChannel* channel = sound.GetChannel(15);
    channel->SetWaveData(wave.get());
    EXPECT_EQ(wave->Context(), channel);

    Device.Render(8 * TManualAudioDevice::kChunkFrames);
    EXPECT_TRUE(fills.empty()) << "a stopped stream is never filled";

    channel->PlayLoop();
    // Two and a half laps of 32768 frames.
    const std::vector<int16_t> out = Device.Render(81920);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {0, 65536}, {65536, 65536}, {0, 65536}, {65536, 65536}};
    ASSERT_EQ(fills.size(), expected.size());
    for (size_t i = 0; i < fills.size(); ++i) {
        EXPECT_EQ(fills[i].Offset, expected[i].first) << i;
        EXPECT_EQ(fills[i].Size, expected[i].second) << i;
        EXPECT_EQ(fills[i].Context, channel) << i;
    }
    // Each half is heard with what was written while the other half played.
    struct {
        uint32_t From, To;
        int16_t Level;
    } const heard[] = {{0, 32768, 0}, {32768, 49152, 1}, {49152, 65536, 2}, {65536, 81920, 3}};
    for (const auto& h : heard)
        for (uint32_t f = h.From; f < h.To; f += 512)
            ASSERT_EQ(out[2 * f], h.Level) << "frame " << f;

    channel->SetWaveData(nullptr);
    EXPECT_EQ(wave->Context(), nullptr);
    EXPECT_EQ(Device.OutputPlaying(), true);
}

TEST_F(DDSD7Test, TheCheckerWritesRaisesOrEndsAsTheOptionSays) {
    struct {
        TDDSDDebugOption Options;
        int Lines;
        bool Raises;
        int Halts;
    } const cases[] = {
        {0, 0, false, 0},
        {dsoHaltOnError, 0, false, 1},
        {dsoDebugMessage, 1, false, 0},
        {dsoExceptOnError | dsoHaltOnError, 0, true, 0},  // the exception leaves before the end
        {dsoDebugMessage | dsoExceptOnError, 1, true, 0},
    };
    for (const auto& c : cases) {
        Halts = 0;
        LastHalt.clear();
        TDDSD7 sound(&Device);
        Use(sound);
        sound.SetDebugOption(c.Options);
        ASSERT_TRUE(sound.Initialize());
        auto wave = TDDSDWaveData::Create(sound, 64, true, 16, 44100);
        bool raised = false;
        try {
            wave->Write(64, "abcd", 4);
        } catch (const EDDSD& e) {
            raised = true;
            EXPECT_EQ(Encoding::SjisToUtf8(e.what()), "DirectSoundBufferのロックに失敗しました(Error Code(80070057))");
        }
        EXPECT_EQ(sound.DebugLineCount(), c.Lines) << int(c.Options);
        EXPECT_EQ(raised, c.Raises) << int(c.Options);
        EXPECT_EQ(Halts, c.Halts) << int(c.Options);
        // Ending the program is told the reason, which the main window puts in the error log.
        if (c.Halts) {
            EXPECT_EQ(Encoding::SjisToUtf8(LastHalt), "DirectSoundBufferのロックに失敗しました(Error Code(80070057))");
        }
    }
}

TEST_F(DDSD7Test, DebugLinesAreNumberedAndANewRunStartsTheFileAgain) {
    TDDSD7 sound(&Device);
    Use(sound);
    sound.SetChannelCount(16);
    sound.SetDebugOption(dsoDebugMessage);
    ASSERT_TRUE(sound.Initialize());
    auto tooSmall = TDDSDWaveData::Create(sound, 2, true, 16, 44100);
    EXPECT_EQ(tooSmall->Buffer(), 0u);
    sound.SetPrimaryFormat(22050, 16, true);
    EXPECT_EQ(sound.GetChannel(16), nullptr);
    EXPECT_EQ(DebugFile(),
              "debug#00001 ... サウンドバッファの作成に失敗しました(Error Code(80070057))\r\n"
              "debug#00002 ... プライマリ・バッファのフォーマットの設定に失敗しました(Error Code(88780064))\r\n"
              "debug#00003 ... チャンネル番号16は無効です、0～15の範囲で指定してください\r\n");
    EXPECT_TRUE(Device.OutputPlaying());

    sound.ResetDebugLineCount();
    sound.GetChannel(99);
    EXPECT_EQ(DebugFile(), "debug#00001 ... チャンネル番号99は無効です、0～15の範囲で指定してください\r\n");
    EXPECT_EQ(Halts, 0);
}

TEST_F(DDSD7Test, ChannelsDuplicateOrShareAStaticWave) {
    for (bool duplicate : {true, false}) {
        TManualAudioDevice device;  // output chunks start afresh
        auto sound = std::make_unique<TDDSD7>(&device);
        Use(*sound);
        sound->DuplicateStaticBuffers = duplicate;
        ASSERT_TRUE(sound->Initialize());
        // 1024 frames whose left sample is the frame's number and whose right is its negative.
        std::vector<int16_t> ramp;
        for (int16_t f = 0; f < 1024; ++f)
            ramp.insert(ramp.end(), {f, static_cast<int16_t>(-f)});
        auto wave = TDDSDWaveData::Create(*sound, 4096, true, 16, 44100);
        wave->Write(0, ramp.data(), 4096);
        TDDSDChannel* a = sound->GetChannel(0);
        TDDSDChannel* b = sound->GetChannel(1);
        a->SetWaveData(wave.get());
        b->SetWaveData(wave.get());
        EXPECT_EQ(a->Buffer() == b->Buffer(), !duplicate);
        a->PlayFrom(0);
        device.Render(TManualAudioDevice::kChunkFrames);
        b->PlayLoopFrom(256 * 4);  // a shared buffer jumps back for both channels
        const auto out = device.Render(1);
        const std::vector<int16_t> expected =
            duplicate ? std::vector<int16_t>{512 + 256, -512 - 256} : std::vector<int16_t>{256, -256};
        EXPECT_EQ(out, expected) << duplicate;
        a->Stop();
        EXPECT_EQ(b->GetStatus() != 0, duplicate) << duplicate;
        a->SetVolume(-10000);
        a->SetWaveData(nullptr);
        b->SetWaveData(nullptr);
        EXPECT_EQ(a->Wave(), nullptr);
        wave.reset();
        sound.reset();
        // The component gave back every buffer it made: the device has none left.
        std::string error;
        ASSERT_TRUE(device.Open(error));
        EXPECT_EQ(device.Close(), 0u);
    }
    EXPECT_EQ(Halts, 0);
}

TEST_F(DDSD7Test, FailuresOnTheNotificationThreadWaitForTheMainThread) {
    TDDSD7 sound(&Device);
    Use(sound);
    sound.SetDebugOption(dsoDebugMessage | dsoHaltOnError);
    ASSERT_TRUE(sound.Initialize());
    int calls = 0;
    auto wave = TDDSDWaveData::CreateStream(sound, 16384, true, 16, 44100);
    wave->SetOnFill([&](TDDSDGenWave& w, TDDSDChannel*, uint32_t, uint32_t) {
        if (++calls == 1)
            w.Write(w.Size(), "abcd", 4);
        else
            throw std::runtime_error("the decoder broke");
    });
    sound.GetChannel(0)->SetWaveData(wave.get());
    sound.GetChannel(0)->PlayLoop();
    Device.Render(4096);  // one lap of the ring: both halves are asked for
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Halts, 0);
    EXPECT_EQ(DebugFile(), "");

    sound.DeliverThreadFailures();
    EXPECT_EQ(Halts, 2);
    EXPECT_EQ(DebugFile(),
              "debug#00001 ... DirectSoundBufferのロックに失敗しました(Error Code(80070057))\r\n"
              "debug#00002 ... the decoder broke\r\n");
    sound.DeliverThreadFailures();
    EXPECT_EQ(Halts, 2);
}

TEST_F(DDSD7Test, EachComponentKeepsItsOwnOptionsLogAndPostedFailures) {
    TDDSD7 logging(&Device);
    Use(logging);
    logging.SetDebugOption(dsoDebugMessage);
    ASSERT_TRUE(logging.Initialize());
    // A second component made later, halting and logging elsewhere, changes nothing of the first's.
    TManualAudioDevice otherDevice;
    TDDSD7 halting(&otherDevice);
    Use(halting);
    const std::string otherFolder = TestData::ScratchDir();
    halting.SetDebugFolder(otherFolder);
    ASSERT_TRUE(halting.Initialize());

    auto wave = TDDSDWaveData::Create(logging, 64, true, 16, 44100);
    wave->Write(64, "abcd", 4);
    EXPECT_EQ(Halts, 0);
    EXPECT_EQ(logging.DebugLineCount(), 1);
    auto other = TDDSDWaveData::Create(halting, 64, true, 16, 44100);
    other->Write(64, "abcd", 4);
    EXPECT_EQ(Halts, 1);
    EXPECT_EQ(logging.DebugLineCount(), 1);
    EXPECT_FALSE(std::filesystem::exists(otherFolder + "/ddsd.debug"));

    // A failure on a stream's thread waits for its own component.
    int calls = 0;
    auto stream = TDDSDWaveData::CreateStream(logging, 16384, true, 16, 44100);
    stream->SetOnFill([&](TDDSDGenWave&, TDDSDChannel*, uint32_t, uint32_t) {
        ++calls;
        throw std::runtime_error("the decoder broke");
    });
    logging.GetChannel(0)->SetWaveData(stream.get());
    logging.GetChannel(0)->PlayLoop();
    Device.Render(4096);
    ASSERT_GT(calls, 0);
    halting.DeliverThreadFailures();
    EXPECT_EQ(Halts, 1);
    logging.DeliverThreadFailures();
    EXPECT_EQ(logging.DebugLineCount(), 1 + calls);
    EXPECT_EQ(Halts, 1);
}

TEST_F(DDSD7Test, StartsOnlyWithAnOpenDeviceAndSaysOnceWhenSoundIsOff) {
    TDDSD7 none(nullptr);
    Use(none);
    EXPECT_FALSE(none.Initialize());
    auto inert = TDDSDWaveData::CreateStream(none, 16384, true, 16, 44100);
    EXPECT_EQ(inert->Buffer(), 0u);
    inert->Write(0, "abcd", 4);
    none.GetChannel(0)->SetWaveData(inert.get());
    EXPECT_EQ(none.GetChannel(0)->Wave(), nullptr);
    EXPECT_EQ(none.GetChannel(0)->GetStatus(), 0u);

    Device.OpenFailure = "no output";
    TDDSD7 refused(&Device);
    Use(refused);
    EXPECT_FALSE(refused.Initialize());
    EXPECT_EQ(refused.Error(), "no output");
    Device.OpenFailure.clear();

    TDDSD7 headless(&Device);
    Use(headless);
    headless.Log = &Log;
    EXPECT_TRUE(headless.Initialize());
    EXPECT_EQ(Log.ErrorList.Count(), 0);

    TSilentDevice silent;
    TDDSD7 quiet(&silent);
    Use(quiet);
    quiet.Log = &Log;
    EXPECT_TRUE(quiet.Initialize());
    ASSERT_EQ(Log.ErrorList.Count(), 1);
    EXPECT_NE(Log.ErrorList[0].find("no sound server"), std::string::npos);
    EXPECT_FALSE(Log.ErrorFlag);  // not a script error: the game goes on
}

TEST_F(DDSD7Test, AWaveFreedWhileBoundLeavesNoChannelPointingAtIt) {
    auto sound = std::make_unique<TDDSD7>(&Device);
    Use(*sound);
    sound->SetDebugOption(dsoDebugMessage);
    ASSERT_TRUE(sound->Initialize());
    auto stream = TDDSDWaveData::CreateStream(*sound, 16384, true, 16, 44100);
    auto effect = TDDSDWaveData::Create(*sound, 64, true, 16, 44100);
    sound->GetChannel(0)->SetWaveData(stream.get());
    sound->GetChannel(1)->SetWaveData(effect.get());
    sound->GetChannel(0)->PlayLoop();
    stream.reset();
    EXPECT_EQ(sound->GetChannel(0)->Wave(), nullptr);
    EXPECT_EQ(sound->GetChannel(1)->Wave(), effect.get());

    // A wave outliving its component is given back with it, counted as a failure to release.
    sound.reset();
    EXPECT_EQ(DebugFile(), "debug#00001 ... DirectSoundの解放に失敗しました(Error Code(1))\r\n");
    effect->Write(0, "abcd", 4);
    EXPECT_EQ(effect->Buffer(), 0u);
}

}  // namespace
