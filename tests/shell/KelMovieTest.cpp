// The movie object in a headless run, as the engine core owns it: handed to the interpreters,
// shown over the frame, saved and restored around a display-mode change.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/DisplayStarter.h"
#include "foundation/ErrorLogLib.h"
#include "media/DirectShowLib.h"
#include "media/KelDirectShow.h"
#include "platform/Encoding.h"
#include "script/KelScriptLib.h"
#include "shell/HeadlessRunner.h"
#include "tests/support/MovieFixtures.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace {

using namespace DirectShowLib;

class KelMovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = TestData::ScratchDir();
        std::filesystem::create_directories(Dir + "/GameData");
        std::filesystem::create_directories(Dir + "/movie");
        const std::vector<PackWriter::TEntry> entries = {
            {"System\\etc\\Game.dat",
             "GameTitle=m\r\nScreenWidth=160\r\nScreenHeight=120\r\nConfigStartupSkip=TRUE\r\n"},
            {"System\\etc\\Message.txt", "OK=OK\r\n"},
            {"startup.s", "@@reset\r\n@@top\r\n\\wait,100000000\r\n"},
        };
        std::ofstream(Dir + "/GameData/data0.pack", std::ios::binary)
            << PackWriter::Pack(entries, PackWriter::TVersion::V20);
        ASSERT_EQ(MovieFixtures::WriteMovie(Dir + "/movie/op.mkv", {}), "");
        std::string error;
        ASSERT_TRUE(Game.Open(Dir, error)) << error;
        Game.Screen.Device.OnFrame = [this](const THeadlessFrame& f) { Last = f; };
    }

    // The colour of the last presented frame at a point.
    uint32_t At(int32_t x, int32_t y) const { return Last.Pixels[size_t(y) * size_t(Last.Width) + size_t(x)]; }
    static bool Near(uint32_t a, uint32_t b) {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 12) return false;
        return true;
    }

    std::string Dir;
    THeadlessGame Game;
    THeadlessFrame Last;
};

TEST_F(KelMovieTest, PlaysOverTheFrameAndSurvivesADisplayChange) {
    TKelDirectShowPlayer* movie = Game.Movie();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(Game.Engine->GameScript->Links.Movie, movie);
    EXPECT_EQ(Game.Engine->SystemScript->Links.Movie, movie);

    ASSERT_TRUE(movie->Open("OP.MKV"));
    movie->SetPosition(40, 30);
    ASSERT_TRUE(movie->Player()->WaitDecoded(10000));
    movie->Play();
    Game.Run(12);  // 300 ms at 40 frames a second
    EXPECT_EQ(movie->GetState(), mpsPlaying);
    const int32_t at = movie->GetPosition();
    EXPECT_GE(at, 250);
    EXPECT_LE(at, 350);
    ASSERT_EQ(Last.Width, 160);
    EXPECT_TRUE(Near(At(72, 54), MovieFixtures::PictureColor(at / 100))) << std::hex << At(72, 54);

    // Around a change of display mode the movie is saved, closed, reopened and resumed.
    ASSERT_TRUE(Game.Form->DirectXPack->ToggleFullScreen());
    EXPECT_EQ(movie->GetState(), mpsPlaying);
    EXPECT_EQ(movie->GetPosition(), at);
    EXPECT_EQ(movie->State().Left, 40);
    EXPECT_EQ(movie->State().FileName, "OP.MKV");

    Game.Run(40);  // a second more: to its end, where the engine core presents again
    EXPECT_EQ(movie->GetState(), mpsStopped);
    EXPECT_EQ(movie->GetPosition(), movie->GetLength());
    EXPECT_TRUE(Near(At(72, 54), MovieFixtures::PictureColor(9)));  // the last picture stays
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 0);
}

}  // namespace
