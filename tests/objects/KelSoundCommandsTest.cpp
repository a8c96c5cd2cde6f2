// The "show" words run as script statements through the headless interpreter, on a movie object
// over the fake movie backend and the manual sound device: what each word does to the movie, what
// the queries report and clear, the frame delays, the load message, and the setting that skips
// movies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/SystemConfigLib.h"
#include "foundation/ddsd7.h"
#include "media/KelDirectShow.h"
#include "objects/KelSoundCommands.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/headless/FakeMovies.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelGeneralCommands.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TestData.h"

namespace {

// Shared by the word tables: running statements and reading results and messages.
class WordsTest : public ::testing::Test {
protected:
    explicit WordsTest(const std::function<void(TObjectKindRegistry&, TScriptLinks&)>& links)
        : H([&](TObjectKindRegistry& kinds, TScriptLinks& l) {
              KelSoundCommands::Register(kinds);
              links(kinds, l);
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
    }
    void Run(std::initializer_list<std::string> lines) {
        for (const auto& line : lines)
            H.Script.ExecuteLine(Encoding::Utf8ToSjis(line));
    }
    int32_t Int(int32_t i = 0) { return H.Var("ResultInt", i).Value; }
    std::string Str(int32_t i = 0) { return Encoding::SjisToUtf8(H.Var("ResultStr", i).Text); }
    std::string FirstError() {
        const auto errors = H.Errors();
        if (errors.empty()) return "";
        const std::string mark = "[ERROR]:";
        return errors[0].rfind(mark, 0) == 0 ? errors[0].substr(mark.size()) : errors[0];
    }
    // Leftovers in the results: a word that clears them first removes both.
    void DirtyResults() {
        H.Script.SetResultInt("ResultInt", 3, 77);
        H.Script.SetResultStr("ResultStr", 3, "old");
    }
    bool ResultsCleared() { return Int(3) == 0 && Str(3).empty(); }

    TScriptHarness H;
};

// A movie object on the fake backend, with a file "movie\\op.mpg" beside the program. Made before
// the interpreter, which links it at its set-up.
struct TMovieRig {
    TMovieRig() {
        std::filesystem::create_directories(Scratch + "/movie");
        std::ofstream(Scratch + "/movie/op.mpg") << "x";
        FileSystem::SetRoot(Scratch);
        SystemConfigLib::Config.MovieDecoder = 1;
        Sound.SetChannelCount(16);
        Sound.Initialize();
    }
    ~TMovieRig() {
        Movie.reset();
        SystemConfigLib::Config.MovieDecoder = SavedDecoder;
        FileSystem::SetRoot(OldRoot);
    }

    std::string OldRoot = FileSystem::Root();
    int32_t SavedDecoder = SystemConfigLib::Config.MovieDecoder;
    std::string Scratch = TestData::ScratchDir();
    TManualAudioDevice Audio;
    TDDSD7 Sound{&Audio};
    TFakeMovieBackend Fake;
    std::unique_ptr<TKelDirectShowPlayer> Movie = std::make_unique<TKelDirectShowPlayer>(
        TMovieDevices{.Backend = &Fake, .Sound = &Sound, .WaitForDecoder = true});
};

class MovieWordsTest : public TMovieRig, public WordsTest {
protected:
    MovieWordsTest() : WordsTest([this](TObjectKindRegistry&, TScriptLinks& links) { links.Movie = Movie.get(); }) {
        Run({"\\scp,show"});
    }
};

TEST_F(MovieWordsTest, WordsDriveTheMovieAndQueriesReportIt) {
    Run({"\\l,\"op.mpg\""});
    ASSERT_NE(Movie->Player(), nullptr);
    ASSERT_TRUE(Movie->Player()->WaitDecoded(10000));
    struct Case {
        const char* Statement;
        const char* Query;
        std::vector<int32_t> Ints;
        const char* Text = "";
    };
    const Case cases[] = {
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
    for (const auto& c : cases) {
        if (c.Statement[0]) Run({c.Statement});
        DirtyResults();
        Run({c.Query});
        for (size_t i = 0; i < c.Ints.size(); ++i)
            EXPECT_EQ(Int(static_cast<int32_t>(i)), c.Ints[i]) << c.Statement << " " << c.Query << " " << i;
        EXPECT_EQ(Str(), c.Text) << c.Query;
        EXPECT_TRUE(ResultsCleared()) << c.Query;
    }
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
        Run({c.Statement});
        EXPECT_EQ(H.Script.FrameDelay, c.Delays ? 2 : 0) << c.Statement;
    }
}

TEST_F(MovieWordsTest, AFailedLoadWritesItsMessageUnlessMoviesAreSkipped) {
    Run({"\\l,\"none.mpg\""});
    EXPECT_EQ(FirstError(), "\\l:ムービーファイルのロードに失敗：none.mpg");
    EXPECT_EQ(Movie->Player(), nullptr);
    EXPECT_EQ(H.Script.FrameDelay, 2);  // also after a failure

    // Skipped by the player's choice: nothing plays and nothing stops the script.
    H.ClearErrors();
    SystemConfigLib::Config.MovieDecoder = 0;
    Run({"\\l,\"op.mpg\"", "\\p", "\\?p"});
    EXPECT_EQ(Int(), 0);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
    EXPECT_TRUE(Fake.Opened.empty());
}

}  // namespace
