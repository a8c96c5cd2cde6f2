#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Movie.h"
#include "tests/support/MovieFixtures.h"
#include "tests/support/TestData.h"

namespace {

// Channels of two pixels differ by at most this much.
bool Near(uint32_t a, uint32_t b, int tolerance = 12) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct TDecoded {
    std::vector<TMoviePicture> Pictures;
    std::vector<TMovieSound> Sounds;
    int64_t SoundFrames = 0;
};

TDecoded DecodeAll(IMovieSource& source, int limit = 10000) {
    TDecoded d;
    TMoviePicture picture;
    TMovieSound sound;
    for (int i = 0; i < limit; ++i) {
        const TMovieStep step = source.Next(picture, sound);
        if (step == TMovieStep::End) break;
        if (step == TMovieStep::Picture) d.Pictures.push_back(picture);
        if (step == TMovieStep::Sound) {
            d.SoundFrames += static_cast<int64_t>(sound.Samples.size() / 2);
            d.Sounds.push_back(sound);
        }
    }
    return d;
}

class FfmpegMovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        Scratch = TestData::ScratchDir();
        Path = Scratch + "/clip.mkv";
        ASSERT_EQ(MovieFixtures::WriteMovie(Path, Spec), "");
    }
    std::unique_ptr<IMovieSource> OpenClip(const std::string& path) {
        std::string error;
        auto source = Movies.Open(path, error);
        EXPECT_NE(source, nullptr) << error;
        return source;
    }

    MovieFixtures::TSpec Spec;
    std::string Scratch, Path;
    TFfmpegMovies Movies;
};

TEST_F(FfmpegMovieTest, DecodesPicturesInOrderAndSoundInTheEngineFormat) {
    auto source = OpenClip(Path);
    ASSERT_NE(source, nullptr);
    const TMovieInfo& info = source->Info();
    EXPECT_TRUE(info.HasVideo);
    EXPECT_TRUE(info.HasAudio);
    EXPECT_EQ(info.Width, 64);
    EXPECT_EQ(info.Height, 48);
    EXPECT_NEAR(info.DurationUs, 1000000, 20000);

    const TDecoded d = DecodeAll(*source);
    ASSERT_EQ(d.Pictures.size(), 10u);
    for (size_t i = 0; i < d.Pictures.size(); ++i) {
        const TMoviePicture& p = d.Pictures[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(p.TimeUs, int64_t(i) * 100000);
        EXPECT_EQ(p.DurationUs, 100000);
        ASSERT_EQ(p.Width, 64);
        ASSERT_EQ(p.Pixels.size(), 64u * 48u);
        EXPECT_EQ(p.Pixels[0] >> 24, 0xFFu);  // opaque
        EXPECT_TRUE(Near(p.Pixels[32 * 64 + 20], MovieFixtures::PictureColor(int32_t(i))))
            << std::hex << p.Pixels[32 * 64 + 20];
    }
    // A second of 22050 Hz mono becomes a second of 44100 Hz stereo: both channels the tone.
    EXPECT_NEAR(double(d.SoundFrames), 44100.0, 300.0);
    std::vector<int16_t> all;
    for (const TMovieSound& s : d.Sounds)
        all.insert(all.end(), s.Samples.begin(), s.Samples.end());
    int crossings = 0;
    for (size_t i = 2; i + 1 < all.size(); i += 2) {
        EXPECT_EQ(all[i], all[i + 1]);
        if ((all[i - 2] < 0) != (all[i] < 0)) ++crossings;
        if (HasFailure()) break;
    }
    EXPECT_NEAR(crossings, 2 * 441, 4);  // 441 Hz for a second
    EXPECT_EQ(d.Sounds.front().TimeUs, 0);
}

TEST_F(FfmpegMovieTest, ScalesPicturesToTheSizeAsked) {
    auto source = OpenClip(Path);
    ASSERT_NE(source, nullptr);
    source->SetPictureSize(21, 130);
    TMoviePicture picture;
    TMovieSound sound;
    while (source->Next(picture, sound) == TMovieStep::Sound) {
    }
    EXPECT_EQ(picture.Width, 21);
    EXPECT_EQ(picture.Height, 130);
    ASSERT_EQ(picture.Pixels.size(), 21u * 130u);
    EXPECT_TRUE(Near(picture.Pixels[65 * 21 + 10], MovieFixtures::PictureColor(0)));
}

TEST_F(FfmpegMovieTest, SeeksToTheKeyPictureBeforeTheTime) {
    auto source = OpenClip(Path);
    ASSERT_NE(source, nullptr);
    DecodeAll(*source);
    // Key pictures every 4: a seek to 0.55 s starts decoding at picture 4 (0.4 s).
    for (int64_t target : {550000, 0, 900000}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(source->Seek(target));
        const TDecoded d = DecodeAll(*source);
        ASSERT_FALSE(d.Pictures.empty());
        EXPECT_EQ(d.Pictures.front().TimeUs, target / 400000 * 400000);
        EXPECT_TRUE(Near(d.Pictures.front().Pixels[0], MovieFixtures::PictureColor(int32_t(target / 400000 * 4))));
        EXPECT_EQ(d.Pictures.back().TimeUs, 900000);
        ASSERT_FALSE(d.Sounds.empty());
        EXPECT_LE(d.Sounds.front().TimeUs, target);
    }
}

TEST_F(FfmpegMovieTest, OpensOnlyPlainLocalMovieFiles) {
    // A list of other files and a streaming playlist are refused, even when they name a movie
    // that exists; so are files that are no movie at all.
    WriteBytes(Scratch + "/list.mkv", "ffconcat version 1.0\nfile '" + Path + "'\n");
    WriteBytes(Scratch + "/play.mkv", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + Path + "\n#EXT-X-ENDLIST\n");
    WriteBytes(Scratch + "/text.mkv", std::string(4000, 'x'));
    WriteBytes(Scratch + "/empty.mkv", "");
    std::string head;
    {
        std::ifstream in(Path, std::ios::binary);
        head.resize(200);
        in.read(head.data(), 200);
    }
    WriteBytes(Scratch + "/cut.mkv", head);
    for (const char* name : {"list.mkv", "play.mkv", "text.mkv", "empty.mkv", "missing.mkv"}) {
        std::string error;
        EXPECT_EQ(Movies.Open(Scratch + "/" + name, error), nullptr) << name;
        EXPECT_NE(error, "") << name;
    }
    // A file cut short after its header opens, or not, but gives no picture and ends.
    std::string error;
    if (auto cut = Movies.Open(Scratch + "/cut.mkv", error)) {
        EXPECT_TRUE(DecodeAll(*cut, 100).Pictures.empty());
    }
    // A colon in the name is part of the file name, not a protocol.
    const std::string colon = Scratch + "/http:clip.mkv";
    ASSERT_EQ(MovieFixtures::WriteMovie(colon, Spec), "");
    EXPECT_NE(OpenClip(colon), nullptr);
}

TEST_F(FfmpegMovieTest, MoviesWithoutSoundOrWithoutPictures) {
    ASSERT_EQ(MovieFixtures::WriteMovie(Scratch + "/silent.avi", {.SoundRate = 0, .Container = "avi"}), "");
    auto source = OpenClip(Scratch + "/silent.avi");
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->Info().HasAudio);
    const TDecoded d = DecodeAll(*source);
    EXPECT_EQ(d.Pictures.size(), 10u);
    EXPECT_EQ(d.SoundFrames, 0);

    ASSERT_EQ(MovieFixtures::WriteMovie(Scratch + "/tone.mkv", {.VideoCodec = "", .SoundChannels = 2}), "");
    source = OpenClip(Scratch + "/tone.mkv");
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->Info().HasVideo);
    EXPECT_EQ(source->Info().Width, 0);
    EXPECT_NEAR(double(DecodeAll(*source).SoundFrames), 44100.0, 300.0);
}

}  // namespace
