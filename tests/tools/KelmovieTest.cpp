// The kelmovie tool, run as a program: the movies it writes from a folder of pictures play back
// through the engine's decoder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "media/uMovieDecoder.h"
#include "platform/ClassLib.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

// A 6 x 4 RGBA picture of one colour.
std::string Png(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    ImageFixtures::TPng png;
    png.Width = 6;
    png.Height = 4;
    png.ColourType = 6;
    for (int i = 0; i < 24; ++i)
        png.Samples.insert(png.Samples.end(), {r, g, b, a});
    return ImageFixtures::WritePng(png);
}

std::unique_ptr<TMotionMovie> Load(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto movie = std::make_unique<TMotionMovie>();
    EXPECT_TRUE(movie->LoadFromStream(std::make_unique<TMemoryStream>(bytes))) << movie->Error();
    return movie;
}

uint32_t FirstPixel(TMotionMovie& movie, int32_t frame) {
    movie.SetFrame(frame);
    const TBitmap32* b = movie.GetImage();
    return b && !b->Pixels.empty() ? b->Pixels[0] : 0;
}

class KelmovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(ToolRun::ToolPath("kelmovie")));
        Dir = TestData::ScratchDir();
        Put(Dir + "/pictures/a.png", Png(200, 0, 0, 128));
        Put(Dir + "/pictures/b.png", Png(0, 200, 0, 255));
        Put(Dir + "/pictures/c.png", Png(200, 0, 0, 128));  // the same as a
        Put(Dir + "/pictures/d.PNG", Png(0, 0, 200, 255));
        Put(Dir + "/pictures/notes.txt", "not a picture");
        Put(Dir + "/sound.bin", "sound bytes");
    }
    std::string Dir;
};

TEST_F(KelmovieTest, WritesMoviesThatPlayBack) {
    ToolRun::TRun r = ToolRun::Run("kelmovie", "--type raw32 --link --time 400 --index 2 --sound '" + Dir +
                                                   "/sound.bin' '" + Dir + "/pictures' '" + Dir + "/raw.m'");
    ASSERT_EQ(r.Code, 0) << r.Output;
    EXPECT_NE(r.Output.find("4 frames (1 linked)"), std::string::npos) << r.Output;
    auto movie = Load(Dir + "/raw.m");
    EXPECT_EQ(movie->GetFrameCount(), 4);
    EXPECT_EQ(movie->GetLength(), 400);
    EXPECT_EQ(movie->Sound.Data.AsString(), "sound bytes");
    ASSERT_EQ(movie->Index.Entries.size(), 2u);
    EXPECT_EQ(movie->Index.Entries[1].Frame, 2);
    EXPECT_EQ(FirstPixel(*movie, 0), 0x80C80000u);
    EXPECT_EQ(FirstPixel(*movie, 1), 0xFF00C800u);
    EXPECT_EQ(FirstPixel(*movie, 2), 0x80C80000u);
    EXPECT_EQ(movie->DecodedPictureId(), 0);  // frame 2 shows frame 0's stored picture
    EXPECT_EQ(FirstPixel(*movie, 3), 0xFF0000C8u);
    EXPECT_TRUE(movie->HasAlpha());

    // A colour JPEG with its alpha JPEG; the time from the frame rate.
    r = ToolRun::Run("kelmovie", "--type alpha --fps 10 --quality 95 '" + Dir + "/pictures' '" + Dir + "/alpha.m'");
    ASSERT_EQ(r.Code, 0) << r.Output;
    movie = Load(Dir + "/alpha.m");
    EXPECT_EQ(movie->GetLength(), 400);
    const uint32_t p = FirstPixel(*movie, 0);
    EXPECT_TRUE(movie->HasAlpha());
    EXPECT_NEAR(int(p >> 24), 118, 1);  // alpha 128 on the 236 levels
    EXPECT_NEAR(int((p >> 16) & 0xFF), 200, 4);
}

TEST_F(KelmovieTest, BadInputGivesAMessageAndAFailingExitCode) {
    EXPECT_EQ(ToolRun::Run("kelmovie", "--help").Code, 0);
    struct TCase {
        std::string Args;
        int Code;
    };
    Put(Dir + "/broken/x.png", "not a png");
    fs::create_directories(Dir + "/empty");
    const TCase cases[] = {
        {"", 2},
        {"'" + Dir + "/pictures'", 2},
        {"--type mpeg '" + Dir + "/pictures' '" + Dir + "/x.m'", 2},
        {"--quality 0 '" + Dir + "/pictures' '" + Dir + "/x.m'", 2},
        {"--bogus '" + Dir + "/pictures' '" + Dir + "/x.m'", 2},
        {"'" + Dir + "/missing' '" + Dir + "/x.m'", 1},
        {"'" + Dir + "/empty' '" + Dir + "/x.m'", 1},
        {"'" + Dir + "/broken' '" + Dir + "/x.m'", 1},
        {"--sound '" + Dir + "/nothing.bin' '" + Dir + "/pictures' '" + Dir + "/x.m'", 1},
        {"'" + Dir + "/pictures' '" + Dir + "/no/such/folder/x.m'", 1},
    };
    for (const TCase& c : cases) {
        const ToolRun::TRun r = ToolRun::Run("kelmovie", c.Args);
        EXPECT_EQ(r.Code, c.Code) << c.Args << "\n" << r.Output;
        EXPECT_NE(r.Output.find("kelmovie: "), std::string::npos) << c.Args;
    }
}

}  // namespace
