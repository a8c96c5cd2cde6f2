// Save games in the running program, through the headless runner that kel-headless is: the system
// data kept from one run to the next; saves refused with "ReadSaveFileError" and the game left
// alone, or ended as a reset when the body lies; and the demo saved halfway through a voiced line
// and loaded in a fresh run, which then shows the frames of the first run.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "media/uSoundLib.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "script/KelSaveData.h"
#include "shell/HeadlessRunner.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace fs = std::filesystem;

namespace {

std::string ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SaveLinkTest : public ::testing::Test {
protected:
    SaveLinkTest() {
        fs::create_directories(Dir + "/GameData");
        const std::vector<PackWriter::TEntry> entries = {
            {"System\\etc\\Game.dat",
             "GameTitle=s\r\nScreenWidth=64\r\nScreenHeight=48\r\nCodeKey=$123456\r\nThumWidth=16\r\nThumHeight="
             "12\r\n"},
            {"System\\etc\\Message.txt", "OK=OK\r\nReadSaveFileError=cannot read\r\n"},
            {"startup.s",
             "@@reset\r\n@@top\r\n\\svar,int,visits\r\n\\gvar,int,n\r\n\\cal,visits=visits+1\r\n\\cal,n=n+1\r\n"
             "\\wait,100000000\r\n"},
        };
        std::ofstream(Dir + "/GameData/data0.pack", std::ios::binary)
            << PackWriter::Pack(entries, PackWriter::TVersion::V20);
    }

    int32_t Var(THeadlessGame& game, const std::string& name) {
        TVariableIndexes idx;
        TCalcValue v;
        IScriptVariables& vars = *game.Engine->GameScript->Variables;
        return vars.ReadElement(vars.FindVariable(name, 0), name, idx, 0, v, true) ? v.Value : -1;
    }

    std::string Dir = TestData::ScratchDir();
};

TEST_F(SaveLinkTest, SystemDataOutlivesTheRun) {
    for (int32_t run = 1; run <= 2; ++run) {
        THeadlessGame game;
        std::string error;
        ASSERT_TRUE(game.Open(Dir, error)) << error;
        game.Run(2);
        EXPECT_EQ(Var(game, "visits"), run);
    }
    EXPECT_TRUE(fs::exists(Dir + "/SaveData/SystemData.dat"));
}

TEST_F(SaveLinkTest, RefusedLoadsLeaveTheGameAndALyingBodyEndsIt) {
    THeadlessGame game;
    std::string error;
    ASSERT_TRUE(game.Open(Dir, error)) << error;
    game.Run(2);
    TKelSystem& engine = *game.Engine;
    TKelScript& script = *engine.GameScript;
    script.ExecuteLine("\\cal,n=41");
    ASSERT_TRUE(engine.GameState->SaveGame(script, "a.svd", true));
    const std::string good = ReadHost(Dir + "/SaveData/a.svd");

    // The thumbnail: the 64 x 48 screen shrunk to 16 x 12, with 15-bit pixels.
    TKelSaveData save(game.Form->Context.Config.Config.CodeKey);
    ASSERT_TRUE(save.LoadFromFile(game.Files, "SaveData\\a.svd", true, true));
    ASSERT_FALSE(save.Thumbnail.empty());
    EXPECT_EQ(LittleEndian::Get16(reinterpret_cast<const uint8_t*>(save.Thumbnail.data()) + 28), 16);
    auto thumbnail =
        ImageCodecLib::DecodeBmp(reinterpret_cast<const uint8_t*>(save.Thumbnail.data()), save.Thumbnail.size());
    EXPECT_EQ(thumbnail->Width, 16);
    EXPECT_EQ(thumbnail->Height, 12);

    script.ExecuteLine("\\cal,n=42");
    std::string damaged = good;
    damaged[damaged.size() / 2] ^= 0x20;
    struct Case {
        const char* What;
        std::string File;
        uint32_t Key;
    };
    const uint32_t key = game.Form->Context.Config.Config.CodeKey;
    const Case cases[] = {
        {"another key", good, key ^ 1},
        {"damaged", damaged, key},
        {"cut short", good.substr(0, good.size() / 3), key},
    };
    for (const Case& c : cases) {
        std::ofstream(Dir + "/SaveData/b.svd", std::ios::binary) << c.File;
        game.Form->Context.Config.Config.CodeKey = c.Key;
        game.Answers.Shown.clear();
        EXPECT_FALSE(engine.GameState->LoadGame(script, "b.svd")) << c.What;
        game.Form->Context.Config.Config.CodeKey = key;
        ASSERT_EQ(game.Answers.Shown.size(), 1u) << c.What;
        EXPECT_EQ(game.Answers.Shown[0].Text, "cannot read") << c.What;
        EXPECT_EQ(Var(game, "n"), 42) << c.What;
    }

    // A body whose routine count runs past its bytes, in a file that passes every check: the game
    // is reset as a reset request resets it and starts again at "@@reset".
    save.Body->SetPosition(0);
    save.Body->Write("\xFF\xFF\xFF\x7F", 4);
    ASSERT_TRUE(save.SaveToFile(game.Files, "SaveData\\b.svd", true, true));
    game.Answers.Shown.clear();
    EXPECT_FALSE(engine.GameState->LoadGame(script, "b.svd"));
    ASSERT_EQ(game.Answers.Shown.size(), 1u);
    EXPECT_EQ(game.Answers.Shown[0].Text, "cannot read");
    EXPECT_EQ(engine.Mode, KelSystemLib::kmGameScript);
    game.Run(1);
    EXPECT_EQ(Var(game, "n"), 1);
    EXPECT_EQ(game.Form->Context.Log.ErrorList.Count(), 0);

    ASSERT_TRUE(engine.GameState->LoadGame(script, "a.svd"));
    EXPECT_EQ(Var(game, "n"), 41);
}

std::string BuildFolder() {
    // build/tests/kel_tests_shell -> build
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path().string();
}

// The samples of a RIFF wave file the runner wrote (16-bit, interleaved).
std::vector<int16_t> WaveSamples(const std::string& path) {
    const std::string bytes = ReadHost(path);
    std::vector<int16_t> samples;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = LittleEndian::Get32(reinterpret_cast<const uint8_t*>(bytes.data()) + at + 4);
        if (bytes.compare(at, 4, "data") == 0) {
            for (size_t i = at + 8; i + 1 < bytes.size() && i < at + 8 + size; i += 2)
                samples.push_back(
                    static_cast<int16_t>(LittleEndian::Get16(reinterpret_cast<const uint8_t*>(bytes.data()) + i)));
            break;
        }
        at += 8 + size;
    }
    return samples;
}

double Rms(const std::vector<int16_t>& samples, size_t from, size_t count) {
    double sum = 0;
    for (size_t i = from; i < from + count && i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(count));
}

// What a stream or effect channel of the sound library holds, as far as a restore brings it back.
struct TChannel {
    std::string Name;
    int32_t State = 0;
    int32_t Volume = 0;
    uint32_t Group = 0;
    bool operator==(const TChannel&) const = default;
};
std::vector<TChannel> Channels(THeadlessGame& game) {
    TSound& sound = *game.Engine->Sound->Library();
    std::vector<TChannel> out;
    for (int32_t n = 0; n < sound.SSound->Count(); ++n)
        out.push_back({sound.SSound->GetName(n), sound.SSound->GetState(n), sound.SSound->GetVolume(n),
                       sound.SSound->Record(n).Group});
    // Effects that loop come back; one-shot ones of 5 s or less do not.
    for (int32_t n = 0; n < sound.DSound->Count(); ++n)
        if (sound.DSound->GetState(n) == psLOOP || sound.DSound->WaveBytes(n) > uSoundLib::kReplayBytes)
            out.push_back({sound.DSound->GetName(n), sound.DSound->GetState(n), sound.DSound->GetVolume(n),
                           sound.DSound->Record(n).Group});
    return out;
}

// The demo is saved while Hana's voiced line is typing, her animation breathes and the music
// loops; a fresh run loads the save before its first frame. Every tenth frame of both runs is
// written. The message window's record keeps no clock of the typing, so after the load its next
// characters come up to a frame later, inside the window; from then on every frame is the first
// run's. The sound library restores each stream at its decoder's position with a fade-in of two
// seconds: the same sounds play on the same channels, but not sample for sample.
TEST(KelSaveRoundTripTest, TheDemoGoesOnFromASave) {
    const fs::path demo = fs::path(BuildFolder()) / "demo";
    if (!fs::exists(demo / "GameData" / "data0.pack")) GTEST_SKIP() << "this build made no demo";
    const std::string dir = TestData::ScratchDir();
    for (const char* part : {"GameData", "DLL"})
        fs::copy(demo / part, fs::path(dir) / part, fs::copy_options::recursive);
    constexpr int64_t kSaveFrame = 340, kFrames = 120, kEvery = 10;

    auto play = [&](const std::string& input, const std::string& name, int64_t before, std::vector<TChannel>& sound) {
        THeadlessGame game;
        std::string error;
        ASSERT_TRUE(HeadlessRunner::ParseInputScript(input, game.Events, error)) << error;
        game.Screen.CaptureTo(dir + "/" + name, kEvery);
        ASSERT_TRUE(game.Open(dir, error)) << error;
        ASSERT_TRUE(game.CaptureSound(dir + "/" + name + ".wav", error)) << error;
        game.Run(before + 1);
        sound = Channels(game);
        game.Run(kFrames - 1);
        ASSERT_TRUE(game.FinishSound(error)) << error;
        EXPECT_EQ(game.Form->Context.Log.ErrorList.Count(), 0) << game.Report();
        EXPECT_TRUE(game.Answers.Shown.empty()) << game.Report();
    };
    std::vector<TChannel> first, second;
    play(std::to_string(kSaveFrame) + " save rt.svd\n", "first", kSaveFrame, first);
    play("0 load rt.svd\n", "second", 0, second);

    EXPECT_EQ(second, first);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(Encoding::SjisToUtf8(first[0].Name), "bgm\\demo_theme.ogg");

    auto frame = [&](const std::string& run, int64_t n) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%06lld.png", static_cast<long long>(n));
        return ReadHost(dir + "/" + run + name);
    };
    for (int64_t k = 1; k < kFrames; k += kEvery) {
        const std::string a = frame("first", kSaveFrame + k), b = frame("second", k);
        ASSERT_FALSE(a.empty() || b.empty()) << k;
        if (k > 1) {
            EXPECT_TRUE(a == b) << "frame " << k << " after the load";
            continue;
        }
        auto pa = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(a.data()), a.size());
        auto pb = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(b.data()), b.size());
        int32_t top = pa->Height;
        for (size_t i = 0; i < pa->Pixels.size(); ++i)
            if (pa->Pixels[i] != pb->Pixels[i]) top = std::min(top, static_cast<int32_t>(i) / pa->Width);
        EXPECT_GE(top, 420) << "the first frame differs only in the message window";
    }

    // The music is heard again once the streams come through: the last second of the second run
    // is about as loud as the same second of the first.
    const std::vector<int16_t> a = WaveSamples(dir + "/first.wav"), b = WaveSamples(dir + "/second.wav");
    const size_t oneSecond = 2 * 44100;
    ASSERT_GT(b.size(), 2 * oneSecond);
    const double loud = Rms(a, a.size() - oneSecond, oneSecond), heard = Rms(b, b.size() - oneSecond, oneSecond);
    EXPECT_GT(heard, 0.5 * loud);
    EXPECT_LT(heard, 2.0 * loud);
}

}  // namespace
