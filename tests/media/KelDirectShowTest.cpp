#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "foundation/DisplayComponent.h"
#include "foundation/PackLib.h"
#include "foundation/SoundComponent.h"
#include "foundation/SystemConfigLib.h"
#include "media/KelDirectShow.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/LittleEndian.h"
#include "platform/headless/FakeMovies.h"
#include "platform/headless/HeadlessDisplay.h"
#include "platform/headless/ManualAudio.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"

namespace {

using namespace DirectShowLib;

constexpr uint32_t kChunk = TManualAudioDevice::kChunkFrames;

void Touch(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "x";
}

TEST(MovieRecordTest, FieldsSitWhereTheFormatPutsThem) {
    TDirectShowState s;
    s.Left = -3;
    s.Top = 70000;
    s.Width = 320;
    s.Height = 240;
    s.FileName = "op.mpg";
    s.State = 2;
    s.Volume = 128;
    s.Position = 123456;
    TMemoryStream m;
    s.Write(m);
    ASSERT_EQ(m.Size(), 156);
    const uint8_t* b = m.Memory();
    EXPECT_EQ(int32_t(LittleEndian::Get32(b + 0)), -3);
    EXPECT_EQ(LittleEndian::Get32(b + 4), 70000u);
    EXPECT_EQ(LittleEndian::Get32(b + 12), 240u);
    EXPECT_EQ(b[16], 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 17), 6), "op.mpg");
    EXPECT_EQ(b[23], 0);
    EXPECT_EQ(LittleEndian::Get32(b + 144), 2u);
    EXPECT_EQ(LittleEndian::Get32(b + 148), 128u);
    EXPECT_EQ(LittleEndian::Get32(b + 152), 123456u);

    m.SetPosition(0);
    TDirectShowState back;
    ASSERT_TRUE(back.Read(m));
    EXPECT_EQ(back.Left, -3);
    EXPECT_EQ(back.FileName, "op.mpg");
    EXPECT_EQ(back.Position, 123456);

    // A length byte past the capacity reads as the capacity; a long name is cut when written.
    m.Memory()[16] = 200;
    m.SetPosition(0);
    ASSERT_TRUE(back.Read(m));
    EXPECT_EQ(back.FileName.size(), 127u);
    s.FileName = std::string(300, 'a');
    TMemoryStream n;
    s.Write(n);
    EXPECT_EQ(n.Size(), 156);
    EXPECT_EQ(n.Memory()[16], 127);

    // Fewer than 156 bytes: nothing read, nothing taken.
    TMemoryStream shortOne(std::string(155, '\0'));
    EXPECT_FALSE(back.Read(shortOne));
    EXPECT_EQ(shortOne.Position(), 0);
}

TEST(MovieNameTest, NamesThatCouldLeaveTheMovieFolderAreRefused) {
    const struct {
        std::string Name;
        bool Safe;
    } cases[] = {
        {"op.mpg", true},
        {"sub\\op.mpg", true},
        {"..op.mpg", true},
        {"...", true},
        {"..", false},
        {"..\\save\\a.sav", false},
        {"sub/../../x.mpg", false},
        {"sub\\..", false},
        {"\\etc\\passwd", false},
        {"/etc/passwd", false},
        {"C:\\movie.mpg", false},
        {"a.mpg:stream", false},
        {"表.mpg", true},  // 0x95 0x5C: the trail byte is no separator
        {"表\\..\\x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KelDirectShow::SafeName(Encoding::Utf8ToSjis(c.Name)), c.Safe) << c.Name;
}

class MovieObjectTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        std::filesystem::create_directories(Scratch + "/game");
        Sound = std::make_unique<TDDSD7>(&Audio);
        Sound->SetChannelCount(16);
        ASSERT_TRUE(Sound->Initialize());
        Movie = std::make_unique<TKelDirectShowPlayer>(TMovieDevices{.Backend = &Fake,
                                                                     .Sound = Sound.get(),
                                                                     .WaitForDecoder = true,
                                                                     .Files = &Files,
                                                                     .Log = &Log,
                                                                     .Config = &Settings,
                                                                     .Packs = &Packs});
    }
    void TearDown() override { Movie.reset(); }

    std::string Scratch = TestData::ScratchDir();
    TFileRoot Files{Scratch + "/game"};
    TManualAudioDevice Audio;
    std::unique_ptr<TDDSD7> Sound;
    TFakeMovieBackend Fake;
    std::unique_ptr<TKelDirectShowPlayer> Movie;
};

TEST_F(MovieObjectTest, FindsTheFileUnderEitherMovieFolderTheDataFolderLast) {
    Touch(Scratch + "/game/Movie/OP.mpg");
    Touch(Scratch + "/data/movie/op.mpg");
    Touch(Scratch + "/data/movie/ed.mpg");
    ASSERT_TRUE(Movie->Open("op.mpg"));  // before the packs are found: the folder beside the program
    ASSERT_EQ(Fake.Opened.size(), 1u);
    EXPECT_EQ(Fake.Opened.back(), Scratch + "/game/Movie/OP.mpg");
    EXPECT_EQ(Movie->State().FileName, "op.mpg");
    EXPECT_EQ(Movie->State().Width, 32);  // the pictures' own size
    EXPECT_EQ(Movie->State().Height, 24);

    Packs.DataPath = Scratch + "/data/";
    ASSERT_TRUE(Movie->Open("OP.MPG"));
    EXPECT_EQ(Fake.Opened.back(), Scratch + "/data/movie/op.mpg");
    ASSERT_TRUE(Movie->Open("ed.mpg"));
    EXPECT_EQ(Fake.Opened.back(), Scratch + "/data/movie/ed.mpg");

    // Missing, a folder, or a name leading out of the folder: closed, and no file was touched.
    Touch(Scratch + "/game/secret.mpg");
    Fake.Opened.clear();
    for (const char* name : {"none.mpg", "", "..\\secret.mpg", "..\\game\\secret.mpg"}) {
        EXPECT_FALSE(Movie->Open(name)) << name;
        EXPECT_EQ(Movie->Player(), nullptr);
        EXPECT_EQ(Movie->State().FileName, "");
    }
    EXPECT_TRUE(Fake.Opened.empty());
}

TEST_F(MovieObjectTest, WithTheDecoderSettingOffOnlyTheRecordIsKept) {
    Touch(Scratch + "/game/movie/op.mpg");
    Settings.MovieDecoder = 0;
    EXPECT_FALSE(Movie->Open("op.mpg"));
    EXPECT_TRUE(Fake.Opened.empty());
    Movie->SetPosition(12, 34);
    Movie->SetSize(320, 240);
    Movie->SetVolume(-9);
    Movie->Play();
    Movie->Seek(500);
    EXPECT_EQ(Movie->GetState(), mpsStopped);
    EXPECT_EQ(Movie->GetPosition(), 0);
    EXPECT_EQ(Movie->GetLength(), 0);

    TMemoryStream m;
    Movie->SaveToStream(m);
    Movie->Close();
    EXPECT_EQ(Movie->State().Width, 200);
    m.SetPosition(0);
    ASSERT_TRUE(Movie->LoadFromStream(m));
    EXPECT_EQ(Movie->State().Left, 12);
    EXPECT_EQ(Movie->State().Top, 34);
    EXPECT_EQ(Movie->State().Width, 320);
    EXPECT_EQ(Movie->State().Height, 240);
    EXPECT_EQ(Movie->State().Volume, 0);
    EXPECT_EQ(Movie->State().State, mpsStopped);

    // A movie opened before the setting went off is left alone.
    Settings.MovieDecoder = 1;
    ASSERT_TRUE(Movie->Open("op.mpg"));
    Settings.MovieDecoder = 0;
    Movie->Play();
    EXPECT_EQ(Movie->GetState(), mpsStopped);
    EXPECT_FALSE(Movie->Player()->Visible());
}

TEST_F(MovieObjectTest, ARecordSavedWhilePlayingResumesFromItsMillisecond) {
    Touch(Scratch + "/game/movie/op.mpg");
    ASSERT_TRUE(Movie->Open("op.mpg"));
    Movie->SetVolume(255);
    Movie->SetPosition(4, 5);
    ASSERT_TRUE(Movie->Player()->WaitDecoded(10000));
    Movie->Play();
    Audio.Render(40 * kChunk);
    TMemoryStream m;
    Movie->SaveToStream(m);
    EXPECT_EQ(Movie->State().State, mpsPlaying);
    const int32_t at = Movie->State().Position;
    EXPECT_EQ(at, 40 * int32_t(kChunk) * 1000 / 44100);

    Movie->Close();
    EXPECT_EQ(Movie->GetState(), mpsStopped);
    m.SetPosition(0);
    ASSERT_TRUE(Movie->LoadFromStream(m));
    EXPECT_EQ(m.Position(), 156);
    EXPECT_EQ(Movie->GetState(), mpsPlaying);
    EXPECT_EQ(Movie->GetPosition(), at);
    EXPECT_EQ(Movie->State().Left, 4);
    EXPECT_EQ(Movie->Player()->Left, 4);
    const std::vector<int16_t> out = Audio.Render(kChunk);
    EXPECT_EQ(out[0], FakeMovies::SoundSample((int64_t{at} * 44100 + 500) / 1000));

    // A stream too short for a record leaves the object closed and the stream where it was.
    TMemoryStream shortOne(std::string(100, '\0'));
    EXPECT_FALSE(Movie->LoadFromStream(shortOne));
    EXPECT_EQ(Movie->Player(), nullptr);
    EXPECT_EQ(shortOne.Position(), 0);
}

TEST_F(MovieObjectTest, ThePresentDrawsTheVideoOverTheFrameAndSaysWhenItHasGone) {
    THeadlessDisplay device;
    TDDDD7 display(&device);
    display.AutoDisplayModeInitialize = false;
    display.VsyncAtWindowed = false;
    display.Loaded();
    ASSERT_TRUE(display.Start());
    display.InitializeWindowed(80, 60);
    display.Flip();  // the new back buffer goes out whole once
    std::vector<THeadlessFrame> frames;
    device.OnFrame = [&](const THeadlessFrame& f) { frames.push_back(f); };

    EXPECT_EQ(Movie->PresentOver(display), TMoviePresent::Nothing);
    Touch(Scratch + "/game/movie/op.mpg");
    ASSERT_TRUE(Movie->Open("op.mpg"));
    ASSERT_TRUE(Movie->Player()->WaitDecoded(10000));
    Movie->SetPosition(10, 20);
    EXPECT_EQ(Movie->PresentOver(display), TMoviePresent::Nothing);  // hidden until it plays
    Movie->Play();
    ASSERT_EQ(Movie->PresentOver(display), TMoviePresent::Drawn);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(device.LastPresentRows, (std::vector<Display::TRowSpan>{{20, 44}}));
    EXPECT_EQ(frames.back().Pixels[30 * 80 + 20], FakeMovies::PictureColor(0));
    EXPECT_EQ(frames.back().Pixels[30 * 80 + 9], 0xFF000000u);  // the game frame beside it

    EXPECT_EQ(Movie->PresentOver(display), TMoviePresent::Unchanged);
    Audio.Render(20 * kChunk);  // picture 2 is due
    EXPECT_EQ(Movie->PresentOver(display), TMoviePresent::Drawn);
    EXPECT_EQ(frames.back().Pixels[30 * 80 + 20], FakeMovies::PictureColor(2));
    // Paused, the game frame may change under it: it is drawn on every call.
    Movie->Pause();
    EXPECT_EQ(Movie->PresentOver(display), TMoviePresent::Drawn);
    EXPECT_EQ(Movie->PresentOver(display), TMoviePresent::Drawn);
    Movie->Close();
    EXPECT_EQ(Movie->PresentOver(display), TMoviePresent::Hidden);
    EXPECT_EQ(Movie->PresentOver(display), TMoviePresent::Nothing);
}

}  // namespace
