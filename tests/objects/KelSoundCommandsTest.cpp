// The "snd", "dsnd" and "show" words run as script statements through the headless interpreter:
// the sound words on the sound library over the manual sound device, the movie words on a movie
// object over the fake movie backend. What each word does to its channel or movie, what the
// queries report and which of them clear the results, the frame holds and delays, the load
// messages, and the setting that skips movies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/SoundComponent.h"
#include "foundation/SystemConfigLib.h"
#include "media/KelDirectShow.h"
#include "media/uSoundLib.h"
#include "objects/KelSoundCommands.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/headless/FakeMovies.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelGeneralCommands.h"
#include "shell/KelSoundLink.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/SoundFixtures.h"
#include "tests/support/TestData.h"

namespace {

// An interpreter with the sound and movie words and the general words, its services linked by the
// test before its set-up.
class WordsTest : public ::testing::Test {
protected:
    explicit WordsTest(const std::function<void(TObjectKindRegistry&, TScriptLinks&)>& links)
        : H([&](TObjectKindRegistry& kinds, TScriptLinks& l) {
              KelSoundCommands::Register(kinds);
              links(kinds, l);
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
    }
    // A row of a word table: a statement (or none), then a query with the results it leaves and
    // whether it clears what the results held before.
    struct TRow {
        const char* Statement;
        const char* Query;
        std::vector<int32_t> Ints;
        const char* Text = "";
        bool Clears = true;
    };
    void Check(const TRow& row) {
        if (row.Statement[0]) H.Execute({row.Statement});
        // Leftovers past every element a query writes.
        H.Script.SetResultInt("ResultInt", 9, 77);
        H.Script.SetResultStr("ResultStr", 9, "old");
        H.Execute({row.Query});
        for (size_t i = 0; i < row.Ints.size(); ++i)
            EXPECT_EQ(H.ResultInt(static_cast<int32_t>(i)), row.Ints[i])
                << row.Statement << " " << row.Query << " " << i;
        EXPECT_EQ(H.ResultStr(), row.Text) << row.Statement << " " << row.Query;
        const bool cleared = H.ResultInt(9) == 0 && H.ResultStr(9).empty();
        EXPECT_EQ(cleared, row.Clears) << row.Query;
    }

    TScriptHarness H;
};

// The sound library as the engine core links it, on the manual device: 16 streams and 15 effect
// channels. Made as the interpreter is set up, which sizes its "snd" and "dsnd" arrays by it, and
// on the interpreter's clock.
struct TSoundRig {
    TSoundRig() {
        Component.DuplicateStaticBuffers = false;
        Component.SetChannelCount(16);
        Component.Initialize();
    }
    TKelSoundLink* MakeLink(IClock& clock) {
        Link = std::make_unique<TKelSoundLink>(Component, Packs, 16384, clock, Binding.Decoder);
        return Link.get();
    }
    TSSound& Streams() { return *Link->Library()->SSound; }
    TDSound& Effects() { return *Link->Library()->DSound; }

    SoundFixtures::TVorbisBinding Binding;
    TPackSet Packs;  // reads what the interpreter's harness serves
    TManualAudioDevice Device;
    TDDSD7 Component{&Device};
    std::unique_ptr<TKelSoundLink> Link;
};

class SoundWordsTest : public TSoundRig, public WordsTest {
protected:
    SoundWordsTest()
        : WordsTest([this](TObjectKindRegistry&, TScriptLinks& links) {
              links.Sound = MakeLink(H.Clock);
              links.SoundLibrary = Link->Library();
          }) {
        SoundFixtures::ReadThrough(Packs, H.Context.Packs);
        H.AddRawFile("sound\\tone.ogg", SoundFixtures::ToneOgg(44100, 2, 2.0, 1000, 0.5));
        H.AddRawFile("sound\\broken.ogg", "OggS this is no Vorbis stream");
        H.Script.Path->Add("sound\\");
    }
    // The time passes as the device plays.
    void Play(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 10) {
            Device.Render(441);
            H.Clock.Now += 10;
        }
    }
};

TEST_F(SoundWordsTest, StreamWordsDriveTheirChannelAndQueriesReportIt) {
    H.Execute({"\\scp,snd[3]", "\\l,\"tone.ogg\""});
    ASSERT_EQ(Streams().GetName(3), "sound\\tone.ogg");
    EXPECT_EQ(H.Script.HoldFrames, 2);
    const TRow rows[] = {
        {"", "\\?l", {0}, "sound\\tone.ogg", true},
        {"", "\\gf", {1}, "sound\\tone.ogg", false},
        {"", "\\gt", {2000}, "", false},
        {"", "\\tt", {2000}, "", true},
        {"", "\\?tt", {2000}, "", true},
        {"", "\\gp", {1}, "Stop", false},
        {"\\p,1", "\\gp", {3}, "LoopPlay", false},
        {"", "\\?p", {2}, "", true},
        {"\\p,0", "\\?p", {1}, "", true},
        {"\\p,2", "\\gp", {2}, "Play", false},
        {"\\v,100,1000", "\\?v", {100}, "", true},  // the volume given
        {"", "\\gv", {100}, "", false},             // the target, while the fade runs
        {"\\t,1", "\\?t", {1}, "", true},
        {"\\sk,500", "\\?sk", {500}, "", true},
        {"\\agc,200", "\\?agc", {200, 255, 50, 7}, "", true},  // as the message windows' voices
        {"\\agc,230,128,40,9", "\\?agc", {230, 128, 40, 9}, "", true},
        {"\\agc,230,128,0,9", "\\?agc", {0, 0, 0, 0}, "", true},  // any 0 switches it off
        {"\\s,0", "\\gp", {1}, "Stop", false},
        {"", "\\?sk", {0}, "", true},  // stopped and rewound
        {"\\i", "\\gp", {0}, "NoFile", false},
        {"", "\\gf", {0}, "", false},
        {"", "\\?nv", {0}, "", true},
    };
    for (const auto& row : rows)
        Check(row);
    H.Execute({"\\sv,5"});
    EXPECT_EQ(Streams().Record(3).SilenceThreshold, 5);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(SoundWordsTest, StopRewindsPauseResumesAndTheLevelIsMeasured) {
    H.Execute({"\\scp,snd[0]", "\\l,\"tone.ogg\"", "\\p,0"});
    Play(300);
    H.Execute({"\\?nv,2"});
    EXPECT_NEAR(H.ResultInt(), 81, 6);  // the mean level of a tone of half the full scale: 256 x 0.5 x 2 / pi
    H.Execute({"\\s,1"});
    Play(200);  // what the ring held plays out
    H.Execute({"\\?nt"});
    const int32_t paused = H.ResultInt();
    EXPECT_GT(paused, 200);
    Play(200);
    H.Execute({"\\?nt"});
    EXPECT_EQ(H.ResultInt(), paused);  // it stays where it stopped
    H.Execute({"\\p,0"});
    Play(200);
    H.Execute({"\\?nt"});
    EXPECT_GT(H.ResultInt(), paused + 100);  // and goes on from there
    H.Execute({"\\s,0", "\\?sk"});
    EXPECT_EQ(H.ResultInt(), 0);
    H.Execute({"\\?nv"});
    EXPECT_EQ(H.ResultInt(), 0);  // silent while stopped
}

TEST_F(SoundWordsTest, TheEqualiserFormFollowsTheArgumentCount) {
    // Each statement on stream 1 against the library called directly on stream 2; a gain of 255 is
    // unity.
    struct Case {
        const char* Statement;
        int Bands;  // 0: no change
        std::vector<int32_t> Gains;
    };
    const Case cases[] = {
        {"\\eq,255,128,64,0,0", 4, {255, 128, 64, 0}},
        {"\\eq,0,32,64,96,128,160,200,255,0", 8, {0, 32, 64, 96, 128, 160, 200, 255}},
        {"\\eq,9,9,9,9,0,9", 4, {9, 9, 9, 9}},  // A6 alone does not make it eight bands
        {"\\eq,1,2,3,4,5,6,7,8,0,10", 0, {}},   // ten arguments: neither form
        {"\\eq,255,255,255,255,0", 4, {255, 255, 255, 255}},
    };
    H.Execute({"\\scp,snd[1]"});
    for (const auto& c : cases) {
        const int32_t reset[8] = {50, 50, 50, 50, 50, 50, 50, 50};
        Streams().SetEqualizer8(1, reset, 0);
        Streams().SetEqualizer8(2, reset, 0);
        H.Execute({c.Statement});
        if (c.Bands == 4) Streams().SetEqualizer4(2, c.Gains.data(), 0);
        if (c.Bands == 8) Streams().SetEqualizer8(2, c.Gains.data(), 0);
        TMemoryStream saved;
        Streams().SaveToStream(saved);  // brings the current band gains into the records
        EXPECT_EQ(Streams().Record(1).BandGains, Streams().Record(2).BandGains) << c.Statement;
    }
    EXPECT_EQ(Streams().Record(1).BandGains.front(), 255.0f / 255.0f);
}

TEST_F(SoundWordsTest, SwapClampsBothChannelsIntoTheLibrary) {
    ASSERT_TRUE(Streams().LoadStream(0, "sound\\tone.ogg", sgMusic, false, 0));
    H.Execute({"\\scp,snd[7]", "\\sw,0,20"});  // the object's own channel plays no part
    EXPECT_EQ(Streams().GetName(0), "");
    EXPECT_EQ(Streams().GetName(15), "sound\\tone.ogg");
    H.Execute({"\\sw,-4,15"});
    EXPECT_EQ(Streams().GetName(0), "sound\\tone.ogg");
}

TEST_F(SoundWordsTest, EffectWordsDriveTheirChannel) {
    H.Execute({"\\scp,dsnd[4]", "\\l,\"tone.ogg\""});
    EXPECT_EQ(Effects().GetName(4), "sound\\tone.ogg");
    EXPECT_EQ(Effects().Record(4).Group, static_cast<uint32_t>(sgEffect));
    EXPECT_EQ(H.Script.HoldFrames, 2);
    const TRow rows[] = {
        {"", "\\gf", {0}, "sound\\tone.ogg", true}, {"", "\\gp", {1}, "Stop", false},
        {"\\p,1", "\\gp", {3}, "LoopPlay", false},  {"\\s", "\\gp", {1}, "Stop", false},
        {"\\p,2", "\\gp", {2}, "Play", false},      {"\\v,100", "\\?v", {100}, "", true},
        {"\\mv,90", "\\gv", {90}, "", true},        {"\\i", "\\gp", {0}, "NoFile", false},
    };
    for (const auto& row : rows) {
        H.Clock.Now += 30;  // two starts closer than 25 ms are one
        Check(row);
    }
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(SoundWordsTest, AFailedLoadWritesItsMessageHoldsTheFrameAndTheScriptGoesOn) {
    struct Case {
        const char* Object;
        const char* File;
        const char* Message;
    };
    const Case cases[] = {
        // A name that no search folder holds resolves to the empty name, and the message says so.
        {"snd[0]", "missing.ogg", "\\l：サウンドデータのロードに失敗："},
        {"snd[0]", "broken.ogg", "\\l：サウンドデータのロードに失敗：sound\\broken.ogg"},
        {"dsnd[0]", "missing.ogg", "\\l:サウンドデータのロードに失敗："},
        {"dsnd[0]", "broken.ogg", "\\l:サウンドデータのロードに失敗：sound\\broken.ogg"},
    };
    H.Script.Words.General = &KelGeneralCommands::Handler();
    for (const auto& c : cases) {
        H.ClearErrors();
        H.Script.HoldFrames = 0;
        H.Execute({std::string("\\scp,") + c.Object, std::string("\\l,\"") + c.File + "\"", "\\gvar,int,after"});
        EXPECT_EQ(H.FirstError(), c.Message) << c.Object << " " << c.File;
        EXPECT_EQ(H.Script.HoldFrames, 2) << c.Object << " " << c.File;
        EXPECT_NE(H.Script.Variables->FindVariable("after", 0), TVariableScope::None);
        H.Execute({"\\gf"});
        EXPECT_EQ(H.ResultStr(), "") << c.Object << " " << c.File;  // the channel is left empty
        H.Execute({"\\del,after"});
    }
}

// A movie object on the fake backend, with a file "movie\\op.mpg" beside the program. Made before
// the interpreter, which links it at its set-up.
struct TMovieRig {
    TMovieRig() {
        std::filesystem::create_directories(Scratch + "/movie");
        std::ofstream(Scratch + "/movie/op.mpg") << "x";
        Sound.SetChannelCount(16);
        Sound.Initialize();
    }
    ~TMovieRig() { Movie.reset(); }

    std::string Scratch = TestData::ScratchDir();
    TFileRoot Files{Scratch};
    TManualAudioDevice Audio;
    TDDSD7 Sound{&Audio};
    TFakeMovieBackend Fake;
    std::unique_ptr<TKelDirectShowPlayer> Movie;
    // The movie object on the settings of the interpreter's context.
    TKelDirectShowPlayer* MakeMovie(const TScriptLinks& links) {
        Movie = std::make_unique<TKelDirectShowPlayer>(TMovieDevices{.Backend = &Fake,
                                                                     .Sound = &Sound,
                                                                     .WaitForDecoder = true,
                                                                     .Files = &Files,
                                                                     .Config = &links.Context->Config.Config});
        return Movie.get();
    }
};

class MovieWordsTest : public TMovieRig, public WordsTest {
protected:
    MovieWordsTest()
        : WordsTest([this](TObjectKindRegistry&, TScriptLinks& links) { links.Movie = MakeMovie(links); }) {
        H.Execute({"\\scp,show"});
    }
};

TEST_F(MovieWordsTest, WordsDriveTheMovieAndQueriesReportIt) {
    H.Execute({"\\l,\"op.mpg\""});
    ASSERT_NE(Movie->Player(), nullptr);
    ASSERT_TRUE(Movie->Player()->WaitDecoded(10000));
    const TRow rows[] = {
        {"", "\\?l", {0}, "op.mpg"},
        {"", "\\?ss", {32, 24}},  // the pictures' own size
        {"\\pp,12,-34", "\\?pp", {12, -34}},
        {"\\ss,320,240", "\\?ss", {320, 240}},
        {"\\v,128", "\\?v", {128}},
        {"\\v,-5", "\\?v", {0}},
        {"", "\\tt", {1000}},
        {"", "\\?tt", {1000}},
        {"\\p", "\\?p", {1}},
        {"\\s", "\\?p", {0}},
        {"\\sk,500", "\\?sk", {500}},
        {"\\i", "\\?l", {0}, ""},
        {"", "\\?p", {0}},
    };
    for (const auto& row : rows)
        Check(row);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(MovieWordsTest, LoadPlayAndCloseDelayTheNextFrame) {
    struct Case {
        const char* Statement;
        bool Delays;
    };
    const Case cases[] = {{"\\l,\"op.mpg\"", true}, {"\\p", true}, {"\\s", false}, {"\\v,10", false},
                          {"\\sk,100", false},      {"\\i", true}, {"\\?p", false}};
    for (const auto& c : cases) {
        H.Script.FrameDelay = 0;
        H.Execute({c.Statement});
        EXPECT_EQ(H.Script.FrameDelay, c.Delays ? 2 : 0) << c.Statement;
    }
}

TEST_F(MovieWordsTest, AFailedLoadWritesItsMessageUnlessMoviesAreSkipped) {
    H.Execute({"\\l,\"none.mpg\""});
    EXPECT_EQ(H.FirstError(), "\\l:ムービーファイルのロードに失敗：none.mpg");
    EXPECT_EQ(Movie->Player(), nullptr);
    EXPECT_EQ(H.Script.FrameDelay, 2);  // also after a failure

    // Skipped by the player's choice: nothing plays and nothing stops the script.
    H.ClearErrors();
    H.Context.Settings.MovieDecoder = 0;
    H.Execute({"\\l,\"op.mpg\"", "\\p", "\\?p"});
    EXPECT_EQ(H.ResultInt(), 0);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
    EXPECT_TRUE(Fake.Opened.empty());
}

}  // namespace
