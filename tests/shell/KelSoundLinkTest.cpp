// The sound library linked into a headless game: the "snd" and "dsnd" arrays have one element per
// channel and show the channel records, and the frame step's sound waits end on real streams.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "media/uSoundLib.h"
#include "platform/Encoding.h"
#include "shell/HeadlessRunner.h"
#include "tests/support/SoundFixtures.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace {

// Half a second of sound; the script waits for a fifth of a second of it to have been heard, then
// for its end.
const char* kStartup =
    "@@reset\r\n@@top\r\n"
    "\\gvar,int,heard,done\r\n"
    "\\sndt,0,200000\r\n\\cal,heard=1\r\n"
    "\\wav,0\r\n\\cal,done=1\r\n"
    "@@loop\r\n\\wait,1000\r\n\\jmp,@@loop\r\n";

class KelSoundLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<PackWriter::TEntry> entries = {
            {"System\\etc\\Game.dat", "ScreenWidth=320\r\nScreenHeight=240\r\nConfigStartupSkip=TRUE\r\n"},
            {"startup.s", kStartup},
            {"voice.ogg", SoundFixtures::ToneOgg(44100, 2, 0.5, 1000, 0.5)},
            {"damaged.ogg", SoundFixtures::CorruptMiddlePage(SoundFixtures::NoiseOgg())},
        };
        Dir = TestData::ScratchDir();
        std::filesystem::create_directories(Dir + "/GameData/System");
        // The shortest ring: what is mixed is heard 46 to 93 ms later.
        std::ofstream(Dir + "/GameData/System/config.txt") << "StreamLength=16384\r\n";
        std::ofstream(Dir + "/GameData/data0.pack", std::ios::binary)
            << PackWriter::Pack(entries, PackWriter::TVersion::V20);
        std::string error;
        ASSERT_TRUE(Game.Open(Dir, error)) << error;
        Game.Form->Context.Config.Config.FPSLimit = 40;
    }

    int64_t Variable(const char* name) {
        TCalcValue v;
        Game.Engine->GameScript->Variables->ReadElement(TVariableScope::Game, name, TVariableIndexes{}, 0, v, true);
        return v.Value;
    }
    // The information text of element k of a sound array.
    std::string ElementInfo(TObjectKind kind, int32_t k) {
        TKelObjectManager& objects = *Game.Engine->GameScript->Objects;
        for (int32_t i = 0; i < objects.Count(); ++i) {
            TKelObjectDataCustom* o = objects.Item(i);
            if (o->Kind() == kind && TKelScript::ObjectElementIndex(*o) == k) return o->GetInfo();
        }
        return "(none)";
    }

    std::string Dir;
    THeadlessGame Game;
};

TEST_F(KelSoundLinkTest, ScriptsSeeTheChannelsAndWaitForRealStreams) {
    TSound* sound = Game.Engine->Sound->Library();
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(Game.Engine->GameScript->Links.SoundLibrary, sound);
    EXPECT_EQ(Game.Engine->SystemScript->Links.SoundLibrary, sound);
    ASSERT_TRUE(sound->SSound->LoadVoice(0, "voice.ogg", 2));
    sound->SSound->SetVolume(0, 200, 0);
    sound->SSound->Play(0, false);
    EXPECT_EQ(ElementInfo(TObjectKind::Sound, 0), "file(voice.ogg)state(2)vol(200)type(1)");
    EXPECT_EQ(ElementInfo(TObjectKind::Sound, 15), "file()state(0)vol(0)type(0)");
    EXPECT_EQ(ElementInfo(TObjectKind::Sound, 16), "(none)");
    EXPECT_EQ(ElementInfo(TObjectKind::DirectSound, 14), "file()state(0)vol(255)type(0)");
    EXPECT_EQ(ElementInfo(TObjectKind::DirectSound, 15), "(none)");

    // Heard from about 70 ms on, at 26 ms a frame.
    Game.Run(8);
    EXPECT_EQ(Variable("heard"), 0) << "a fifth of a second has not been heard yet";
    Game.Run(8);
    EXPECT_EQ(Variable("heard"), 1);
    EXPECT_EQ(Variable("done"), 0);
    Game.Run(10);
    EXPECT_EQ(Variable("done"), 1);
    EXPECT_EQ(sound->SSound->GetState(0), psSTOP);
    EXPECT_TRUE(Game.Form->Context.Log.ErrorList.Items.empty());

    // The engine core's reset frees every stream.
    Game.Engine->Reset("", "");
    EXPECT_EQ(sound->SSound->GetName(0), "");
}

TEST_F(KelSoundLinkTest, AStreamsDecodingErrorIsLoggedByTheNextFrame) {
    // The script only waits: no sound word gives the stream a chance to report.
    TSound* sound = Game.Engine->Sound->Library();
    ASSERT_NE(sound, nullptr);
    Game.Form->Context.Log.ClearErrorLog();
    ASSERT_TRUE(sound->SSound->LoadStream(0, "damaged.ogg", sgMusic, false, 0));
    sound->SSound->Play(0, false);
    Game.Run(60);
    ASSERT_EQ(Game.Form->Context.Log.ErrorList.Count(), 1);
    EXPECT_EQ(Game.Form->Context.Log.ErrorList[0].rfind("[SOUND]:damaged.ogg: ", 0), 0u)
        << Game.Form->Context.Log.ErrorList[0];
    EXPECT_FALSE(Game.Form->Context.Log.ErrorFlag);  // the game goes on
}

}  // namespace
