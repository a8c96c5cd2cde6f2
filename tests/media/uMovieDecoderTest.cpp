// Motion movies made by the writer and read back: every picture type, frames by number and by
// time, links, the key-frame index, damaged files, and the movie as an image driven by its
// set-time hook.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "media/uARGB8888Movie.h"
#include "media/uJpegLoader.h"
#include "media/uMovieDecoder.h"
#include "media/uMovieWriter.h"
#include "platform/ClassLib.h"
#include "platform/LittleEndian.h"
#include "tests/support/ImageFixtures.h"

namespace {

using Type = TMoviePictureType;
using uMovieWriter::TFrame;
using uMovieWriter::TLayout;
using uMovieWriter::TOptions;

// Smooth colour ramps (kind to JPEG) with a left half opaque and a right half transparent, the
// edge on a block boundary so that the alpha JPEG keeps it sharp.
TBitmap32 Picture(int32_t w, int32_t h) {
    TBitmap32 b(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t a = x < 8 ? 255 : 0;
            b.ScanLine(y)[x] = (a << 24) | (uint32_t(40 + 8 * x) << 16) | (uint32_t(60 + 6 * y) << 8) | 200u;
        }
    return b;
}

TBitmap32 Flat(int32_t w, int32_t h, uint32_t colour) {
    TBitmap32 b(w, h);
    std::fill(b.Pixels.begin(), b.Pixels.end(), colour);
    return b;
}

struct TOpened {
    std::unique_ptr<TMotionMovie> Movie = std::make_unique<TMotionMovie>();
    TMemoryStream* Bytes = nullptr;  // owned by the movie; tests may change it behind its back
    bool Loaded = false;
};

TOpened Open(const std::string& file) {
    TOpened o;
    auto stream = std::make_unique<TMemoryStream>(file);
    o.Bytes = stream.get();
    o.Loaded = o.Movie->LoadFromStream(std::move(stream));
    return o;
}

// One frame per picture, each the given type.
std::string MovieOf(const std::vector<TBitmap32>& pictures, Type type, TOptions options = {},
                    TLayout* layout = nullptr) {
    std::vector<TFrame> frames;
    for (const TBitmap32& p : pictures)
        frames.push_back({static_cast<int32_t>(type), uMovieWriter::EncodePicture(p, type)});
    return uMovieWriter::WriteMovie(frames, options, layout);
}

// Frame i a flat picture of red i, as raw 24-bit pixels: which frame is shown reads off a pixel.
std::string Numbered(int32_t count, TOptions options = {}, TLayout* layout = nullptr) {
    std::vector<TBitmap32> pictures;
    for (int32_t i = 0; i < count; ++i)
        pictures.push_back(Flat(1, 1, 0xFF000000u | (uint32_t(i & 0xFF) << 16) | uint32_t(i >> 8)));
    return MovieOf(pictures, Type::Raw24, options, layout);
}

int32_t Shown(TMotionMovie& m) {
    const TBitmap32* b = m.GetImage();
    if (!b || b->Pixels.empty()) return -1;
    return static_cast<int32_t>(((b->Pixels[0] >> 16) & 0xFF) | ((b->Pixels[0] & 0xFF) << 8));
}

TOptions Timed(int32_t totalTime, int32_t indexSpacing = 10) {
    TOptions o;
    o.TotalTime = totalTime;
    o.IndexSpacing = indexSpacing;
    return o;
}

void Poke32(std::string& file, int64_t at, int32_t value) {
    LittleEndian::Put32(reinterpret_cast<uint8_t*>(file.data() + at), static_cast<uint32_t>(value));
}
void Poke32(TMemoryStream& s, int64_t at, int32_t value) {
    LittleEndian::Put32(s.Memory() + at, static_cast<uint32_t>(value));
}

int MaxDifference(uint32_t a, uint32_t b) {
    int d = 0;
    for (int i = 0; i < 32; i += 8)
        d = std::max(d, std::abs(int((a >> i) & 0xFF) - int((b >> i) & 0xFF)));
    return d;
}

// The expansions of the 16-bit types.
uint32_t Expand565(uint32_t p) {
    const uint32_t r = (p >> 19) & 0x1F, g = (p >> 10) & 0x3F, b = (p >> 3) & 0x1F;
    return 0xFF000000u | (((r << 3) | (r >> 3)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 3));
}
uint32_t Expand4444(uint32_t p) {
    uint32_t out = 0;
    for (int i = 0; i < 32; i += 8)
        out |= ((p >> (i + 4)) & 0xF) * 17u << i;
    return out;
}

TEST(MovieDecoderTest, EveryPictureTypeDecodes) {
    struct TCase {
        Type PictureType;
        bool Alpha;
        std::function<uint32_t(uint32_t)> Expected;  // for the raw types; JPEG is compared loosely
    };
    const TCase cases[] = {
        {Type::Raw24, false, [](uint32_t p) { return p | 0xFF000000u; }},
        {Type::Raw32, true, [](uint32_t p) { return p; }},
        {Type::Raw565, false, Expand565},
        {Type::Raw4444, true, Expand4444},
        {Type::Jpeg, false, nullptr},
        {Type::JpegAlpha, true, nullptr},
        {Type::GreyJpeg, false, nullptr},
    };
    for (int32_t width : {16, 7, 1}) {  // even, odd, a single column
        const TBitmap32 picture = Picture(width, 5);
        for (const TCase& c : cases) {
            TOpened o = Open(MovieOf({picture}, c.PictureType));
            ASSERT_TRUE(o.Loaded) << o.Movie->Error();
            const TBitmap32* shown = o.Movie->GetImage();
            ASSERT_NE(shown, nullptr);
            ASSERT_EQ(shown->Width, width);
            ASSERT_EQ(shown->Height, 5);
            EXPECT_EQ(o.Movie->HasAlpha(), c.Alpha) << int(c.PictureType);
            EXPECT_EQ(o.Movie->DecodedPictureId(), 0);
            for (size_t i = 0; i < picture.Pixels.size(); ++i) {
                const uint32_t p = picture.Pixels[i], got = shown->Pixels[i];
                if (c.Expected) {
                    ASSERT_EQ(got, c.Expected(p)) << int(c.PictureType) << " width " << width << " pixel " << i;
                    continue;
                }
                if (c.PictureType == Type::GreyJpeg) {
                    // Opaque grey: the luminance on the 236 levels.
                    const double luma = 0.299 * ((p >> 16) & 0xFF) + 0.587 * ((p >> 8) & 0xFF) + 0.114 * (p & 0xFF);
                    ASSERT_EQ(got, 0xFF000000u | (got & 0xFF) * 0x010101u) << width << " pixel " << i;
                    ASSERT_NEAR(double(got & 0xFF), luma * 235 / 255, 6) << width << " pixel " << i;
                    continue;
                }
                // Colour near the picture's; alpha 255, or for the alpha JPEG the 236 levels.
                ASSERT_LE(MaxDifference(got | 0xFF000000u, p | 0xFF000000u), 12) << width << " pixel " << i;
                const uint32_t alpha = c.PictureType == Type::Jpeg ? 255u : (p >> 24) ? 235u : 0u;
                ASSERT_EQ(got >> 24, alpha) << int(c.PictureType) << " width " << width << " pixel " << i;
            }
        }
    }
}

TEST(MovieDecoderTest, GreyJpegShowsLevelsUpTo235) {
    // Black on the left block, white on the right: levels 0 and 235, opaque grey.
    TBitmap32 picture(16, 8);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 16; ++x)
            picture.ScanLine(y)[x] = x < 8 ? 0xFF000000u : 0xFFFFFFFFu;
    TOpened o = Open(MovieOf({picture}, Type::GreyJpeg));
    ASSERT_TRUE(o.Loaded);
    const TBitmap32* shown = o.Movie->GetImage();
    ASSERT_NE(shown, nullptr);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 16; ++x)
            ASSERT_EQ(shown->ScanLine(y)[x], x < 8 ? 0xFF000000u : 0xFFEBEBEBu) << x << "," << y;
    EXPECT_FALSE(o.Movie->HasAlpha());
}

TEST(MovieDecoderTest, FramesByNumberAndTime) {
    TOpened o = Open(Numbered(10, Timed(1000)));
    ASSERT_TRUE(o.Loaded);
    EXPECT_EQ(o.Movie->GetFrameCount(), 10);
    EXPECT_EQ(o.Movie->GetLength(), 1000);
    for (int32_t n : {0, 3, 9, 4, 0, 7})  // forward and back
    {
        o.Movie->SetFrame(n);
        EXPECT_EQ(Shown(*o.Movie), n);
    }
    o.Movie->SetFrame(-5);
    EXPECT_EQ(Shown(*o.Movie), 0);
    o.Movie->SetFrame(50);
    EXPECT_EQ(Shown(*o.Movie), 9);

    struct TCase {
        int32_t Time, Frame;
    };
    for (const TCase& c : {TCase{-5, 0}, TCase{0, 0}, TCase{99, 0}, TCase{100, 1}, TCase{555, 5}, TCase{999, 9},
                           TCase{1000, 9}, TCase{std::numeric_limits<int32_t>::max(), 9}}) {
        o.Movie->SetTime(c.Time);
        EXPECT_EQ(Shown(*o.Movie), c.Frame) << c.Time;
    }

    // No total time: always the first frame.
    for (int32_t total : {0, -100}) {
        TOpened z = Open(Numbered(4, Timed(total)));
        z.Movie->SetFrame(3);
        z.Movie->SetTime(50);
        EXPECT_EQ(Shown(*z.Movie), 0) << total;
    }
    // Frame count x time beyond 32 bits.
    TOpened big = Open(Numbered(3, Timed(std::numeric_limits<int32_t>::max())));
    big.Movie->SetTime(std::numeric_limits<int32_t>::max() / 2);
    EXPECT_EQ(Shown(*big.Movie), 1);
}

TEST(MovieDecoderTest, LinkedFramesShareOneDecode) {
    // Frames 3 to 7 show frame 2's picture, 7 through a chain 7 -> 6 -> 2.
    std::vector<TFrame> frames;
    for (int32_t i = 0; i < 8; ++i) {
        TFrame f;
        f.Type = static_cast<int32_t>(Type::Raw24);
        f.Data = uMovieWriter::EncodePicture(Flat(2, 2, 0xFF000000u | uint32_t(10 * i)), Type::Raw24);
        f.LinkTo = i >= 3 ? (i == 7 ? 6 : 2) : -1;
        frames.push_back(f);
    }
    TLayout layout;
    TOpened o = Open(uMovieWriter::WriteMovie(frames, {}, &layout));
    ASSERT_TRUE(o.Loaded);
    o.Movie->SetFrame(2);
    ASSERT_EQ(o.Movie->GetImage()->Pixels[0], 0xFF000014u);
    // Frame 2's stored pixels change behind the movie's back: a linked frame that decoded again
    // would show the change.
    const int64_t pixelsAt = layout.AreaStart + layout.RecordOffsets[2] + TMotionMovieFrame::kHeadSize + 8;
    o.Bytes->Memory()[pixelsAt] = 0x77;
    for (int32_t n : {3, 5, 7, 4}) {
        o.Movie->SetFrame(n);
        EXPECT_EQ(o.Movie->GetImage()->Pixels[0], 0xFF000014u) << n;
        EXPECT_EQ(o.Movie->DecodedPictureId(), 2) << n;
    }
    o.Movie->SetFrame(1);
    EXPECT_EQ(o.Movie->GetImage()->Pixels[0], 0xFF00000Au);
    o.Movie->SetFrame(6);  // now the picture is decoded again, changed
    EXPECT_EQ(o.Movie->GetImage()->Pixels[0], 0xFF000077u);
}

TEST(MovieDecoderTest, SeeksStartAtTheNearestKeyFrame) {
    // 700 frames with a key frame every 100. Which record a seek starts from shows by breaking
    // the walks that should not be taken: a step over a record whose link is 0 fails.
    TLayout layout;
    const std::string file = Numbered(700, Timed(7000, 100), &layout);
    auto breakNext = [&](std::string& f, int32_t from, int32_t to) {
        for (int32_t i = from; i < to; ++i)
            Poke32(f, layout.AreaStart + layout.RecordOffsets[size_t(i)], 0);
    };
    struct TCase {
        int32_t Target;
        int32_t BrokenFrom, BrokenTo;  // forward steps broken over these frames
    };
    const TCase cases[] = {
        {500, 10, 500},   // from key frame 500, not by 490 steps from frame 10
        {560, 500, 560},  // from 600, 40 steps back
        {550, 500, 550},  // a tie goes to the later key frame
        {20, 0, 10},      // nearer to frame 10 than to key frame 0: walks on from 10
    };
    for (const TCase& c : cases) {
        std::string f = file;
        breakNext(f, c.BrokenFrom, c.BrokenTo);
        TOpened o = Open(c.Target == 20 ? file : f);
        ASSERT_TRUE(o.Loaded);
        o.Movie->SetFrame(10);
        ASSERT_EQ(Shown(*o.Movie), 10);
        if (c.Target == 20)  // the key frame's way would need these, broken only now
            for (int32_t i = c.BrokenFrom; i < c.BrokenTo; ++i)
                Poke32(*o.Bytes, layout.AreaStart + layout.RecordOffsets[size_t(i)], 0);
        o.Movie->SetFrame(c.Target);
        EXPECT_EQ(Shown(*o.Movie), c.Target) << c.Target << ": " << o.Movie->Error();
    }

    // Index entries with no spacing between the first two: the search runs from the first entry.
    std::string f = file;
    Poke32(f, layout.IndexStart + 16 + 8, 0);  // entry 1 claims frame 0 too
    breakNext(f, 0, 600);
    TOpened o = Open(f);
    o.Movie->SetFrame(650);
    EXPECT_EQ(Shown(*o.Movie), 650);
}

TEST(MovieDecoderTest, DamagedFilesFailCleanly) {
    TLayout layout;
    const std::string file = Numbered(3, {}, &layout);
    const int64_t movieAt = 12 + 20;
    const int64_t area = layout.AreaStart;
    const auto record = [&](int32_t frame) { return area + layout.RecordOffsets[size_t(frame)]; };
    // Damage that the load itself refuses.
    struct TLoadCase {
        const char* What;
        std::function<void(std::string&)> Damage;
    };
    const TLoadCase loadCases[] = {
        {"header cut", [](std::string& f) { f.resize(5); }},
        {"sound too large", [](std::string& f) { Poke32(f, 12 + 12, 1 << 30); }},
        {"sound negative", [](std::string& f) { Poke32(f, 12 + 12, -1); }},
        {"movie block cut", [&](std::string& f) { f.resize(size_t(movieAt) + 20); }},
        {"frame count negative", [&](std::string& f) { Poke32(f, movieAt + 16, -1); }},
        {"more frames than records fit", [&](std::string& f) { Poke32(f, movieAt + 16, 1 << 20); }},
        {"area past the end", [&](std::string& f) { Poke32(f, movieAt + 28, 1 << 30); }},
        {"area negative", [&](std::string& f) { Poke32(f, movieAt + 28, -28); }},
        {"index missing", [&](std::string& f) { f.resize(size_t(layout.IndexStart)); }},
        {"index count too large", [&](std::string& f) { Poke32(f, layout.IndexStart + 12, 1 << 28); }},
        {"index count negative", [&](std::string& f) { Poke32(f, layout.IndexStart + 12, -2); }},
    };
    for (const TLoadCase& c : loadCases) {
        std::string f = file;
        c.Damage(f);
        TOpened o = Open(f);
        EXPECT_FALSE(o.Loaded) << c.What;
        EXPECT_FALSE(o.Movie->Error().empty()) << c.What;
        EXPECT_EQ(o.Movie->GetFrameCount(), 0) << c.What;
        o.Movie->SetTime(500);
        EXPECT_EQ(o.Movie->GetImage(), nullptr) << c.What;
    }

    // Damage to a frame: frame 0 shows, then asking for frame 2 leaves frame 0's picture. A
    // record read whole counts as decoded even when its picture does not decode.
    std::string jpegFile;
    {
        std::vector<TFrame> frames(3);
        frames[0] = {static_cast<int32_t>(Type::Jpeg), uMovieWriter::EncodePicture(Flat(8, 8, 0xFF0000FF), Type::Jpeg)};
        frames[1] = frames[0];
        frames[2] = {static_cast<int32_t>(Type::Jpeg), uMovieWriter::EncodePicture(Flat(8, 8, 0xFFFF0000), Type::Jpeg)};
        jpegFile = uMovieWriter::WriteMovie(frames, {});
    }
    struct TFrameCase {
        const char* What;
        bool Jpeg;
        int32_t DecodedId;  // 2 once frame 2's record was read whole, whether it decodes or not
        std::function<void(std::string&)> Damage;
    };
    const TFrameCase frameCases[] = {
        {"a record that is its own next", false, 0, [&](std::string& f) { Poke32(f, record(1), 0); }},
        {"next outside the area", false, 0, [&](std::string& f) { Poke32(f, record(1), 1 << 20); }},
        {"next before the area", false, 0, [&](std::string& f) { Poke32(f, record(0), -1000); }},
        {"links in a circle", false, 0,
         [&](std::string& f) {
             Poke32(f, record(2) + 16, layout.RecordOffsets[1] - layout.RecordOffsets[2]);
             Poke32(f, record(1) + 16, layout.RecordOffsets[2] - layout.RecordOffsets[1]);
         }},
        {"link outside the area", false, 0, [&](std::string& f) { Poke32(f, record(2) + 16, -(1 << 30)); }},
        {"data past the area", false, 0, [&](std::string& f) { Poke32(f, record(2) + 20, 1 << 20); }},
        {"data size negative", false, 0, [&](std::string& f) { Poke32(f, record(2) + 20, -5); }},
        {"unknown type", false, 2, [&](std::string& f) { Poke32(f, record(2) + 24, 7); }},
        {"raw size beyond the data", false, 2, [&](std::string& f) { Poke32(f, record(2) + 28, 1000); }},
        {"raw width 0", false, 2, [&](std::string& f) { Poke32(f, record(2) + 28, 0); }},
        {"raw type without a size", false, 2, [&](std::string& f) { Poke32(f, record(2) + 20, 4); }},
        {"JPEG data garbled", true, 2,
         [&](std::string& f) {
             const size_t at = f.rfind(std::string("\xFF\xD8"));  // frame 2's picture
             for (size_t i = at; i < at + 40; ++i)
                 f[i] = static_cast<char>(0x5A ^ i);
         }},
        {"JPEG of the wrong kind", true, 2, [&](std::string& f) { Poke32(f, f.rfind("\xFF\xD8") - 4, 1); }},
        {"alpha JPEG sizes beyond the data", true, 2,
         [&](std::string& f) {
             const size_t at = f.rfind("\xFF\xD8") - 4;
             Poke32(f, at, 2);  // type 2, whose first size reads from the JPEG's marker bytes
         }},
    };
    for (const TFrameCase& c : frameCases) {
        std::string f = c.Jpeg ? jpegFile : file;
        c.Damage(f);
        TOpened o = Open(f);
        ASSERT_TRUE(o.Loaded) << c.What << ": " << o.Movie->Error();
        const TBitmap32* first = o.Movie->GetImage();
        ASSERT_NE(first, nullptr) << c.What;
        const std::vector<uint32_t> before = first->Pixels;
        ASSERT_FALSE(before.empty()) << c.What;
        o.Movie->SetFrame(2);
        const TBitmap32* after = o.Movie->GetImage();
        EXPECT_EQ(after, first) << c.What;  // the same bitmap, showing the same picture
        EXPECT_EQ(after->Pixels, before) << c.What;
        EXPECT_EQ(o.Movie->DecodedPictureId(), c.DecodedId) << c.What;
        EXPECT_FALSE(o.Movie->Error().empty()) << c.What;
    }
}

TEST(MovieDecoderTest, AMovieWithoutFramesDoesNothing) {
    TOpened o = Open(uMovieWriter::WriteMovie({}, {}));
    ASSERT_TRUE(o.Loaded);
    o.Movie->SetFrame(3);
    o.Movie->SetTime(400);
    EXPECT_EQ(o.Movie->GetImage(), nullptr);
    EXPECT_EQ(o.Movie->CurrentFrame(), 0);

    TMotionMovie none;
    EXPECT_FALSE(none.LoadFromStream(nullptr));
    EXPECT_EQ(none.GetImage(), nullptr);
}

TEST(MovieDecoderTest, JpegLoaderRefusesWhatItCannotDecode) {
    TJpegLoader loader;
    EXPECT_FALSE(loader.LoadFromStream(nullptr));
    TMemoryStream empty;
    EXPECT_FALSE(loader.LoadFromStream(&empty));
    TMemoryStream garbage(std::string(64, 'x'));
    EXPECT_FALSE(loader.LoadFromStream(&garbage));
    EXPECT_NE(loader.Error().find("JPEG"), std::string::npos);
    // A four-component picture cannot become blue, green, red rows.
    TMemoryStream cmyk(ImageFixtures::WriteCmykJpeg(8, 8));
    EXPECT_FALSE(loader.LoadFromStream(&cmyk));

    // The loader stays usable after a failure, and rows come in order after the size.
    TMemoryStream good(uMovieWriter::EncodePicture(Flat(9, 3, 0xFF204080), Type::Jpeg));
    std::vector<int32_t> events;
    loader.OnSize = [&](int32_t w, int32_t h, TJpegRowFormat f) {
        events.push_back(w * 100 + h * 10 + static_cast<int32_t>(f));
        return true;
    };
    loader.OnRow24 = [&](const uint8_t* row, int32_t y) {
        events.push_back(y);
        EXPECT_NEAR(row[0], 0x80, 3);  // blue first
        EXPECT_NEAR(row[2], 0x20, 3);
    };
    EXPECT_TRUE(loader.LoadFromStream(&good));
    EXPECT_EQ(events, (std::vector<int32_t>{936, 0, 1, 2}));
}

TEST(MovieImageTest, SetTimeHookPicksThePictureAndTheSerial) {
    // Frames 0 and 1 opaque JPEG, 2 to 3 one raw picture with alpha shown twice.
    std::vector<TFrame> frames(4);
    frames[0] = {static_cast<int32_t>(Type::Jpeg), uMovieWriter::EncodePicture(Flat(4, 2, 0xFF0000FF), Type::Jpeg)};
    frames[1] = {static_cast<int32_t>(Type::Jpeg), uMovieWriter::EncodePicture(Flat(4, 2, 0xFFFF0000), Type::Jpeg)};
    frames[2] = {static_cast<int32_t>(Type::Raw4444),
                 uMovieWriter::EncodePicture(Flat(4, 2, 0x8000FF00), Type::Raw4444)};
    frames[3].LinkTo = 2;
    const std::string file = "prefix" + uMovieWriter::WriteMovie(frames, Timed(400));

    TARGB8888Movie movie;
    TMemoryStream stream(file + "trailing bytes");
    stream.SetPosition(6);
    ASSERT_TRUE(movie.LoadFromStream(&stream, static_cast<int64_t>(file.size()) - 6));
    EXPECT_EQ(movie.GetLength(), 400);
    TARGB8888* image = movie.GetImage();
    ASSERT_EQ(image->Width(), 4);
    EXPECT_FALSE(image->IsTransparent());

    // The compositor's call before each use.
    ASSERT_TRUE(image->OnSetTime);
    image->OnSetTime(0);
    const uint32_t serial0 = image->Serial;
    EXPECT_NEAR(int(image->ScanLine(0)[0] & 0xFF), 0xFF, 4);
    image->OnSetTime(150);
    const uint32_t serial1 = image->Serial;
    EXPECT_NE(serial1, serial0);
    EXPECT_NEAR(int((image->ScanLine(1)[3] >> 16) & 0xFF), 0xFF, 4);
    EXPECT_FALSE(image->IsTransparent());
    image->OnSetTime(250);
    EXPECT_EQ(image->ScanLine(0)[0], 0x8800FF00u);
    EXPECT_TRUE(image->IsTransparent());
    const uint32_t serial2 = image->Serial;
    EXPECT_NE(serial2, serial1);
    image->OnSetTime(399);  // frame 3: the same picture, the same serial
    EXPECT_EQ(image->Serial, serial2);
    image->OnSetTime(0);  // back: frame 0's serial again
    EXPECT_EQ(image->Serial, serial0);

    // A second movie in the same image takes serials of its own.
    TMemoryStream again(file.substr(6));
    ASSERT_TRUE(movie.LoadFromStream(&again, static_cast<int64_t>(file.size())));
    image->OnSetTime(0);
    EXPECT_NE(image->Serial, serial0);

    // A picture of a type that decodes nothing keeps the picture before it but takes its own
    // serial; frames linking to it do not read it again.
    std::vector<TFrame> unknown(3);
    unknown[0] = {static_cast<int32_t>(Type::Raw32), uMovieWriter::EncodePicture(Flat(2, 1, 0x80112233), Type::Raw32)};
    unknown[1] = {7, "not a picture"};
    unknown[2].LinkTo = 1;
    TMemoryStream odd(uMovieWriter::WriteMovie(unknown, Timed(300)));
    ASSERT_TRUE(movie.LoadFromStream(&odd, odd.Size()));
    image->OnSetTime(0);
    const uint32_t oddSerial0 = image->Serial;
    image->OnSetTime(100);
    EXPECT_EQ(image->Serial, (oddSerial0 + 1) & 0xFFFFFF);
    EXPECT_EQ(image->ScanLine(0)[1], 0x80112233u);
    EXPECT_TRUE(image->IsTransparent());
    image->OnSetTime(200);
    EXPECT_EQ(image->Serial, (oddSerial0 + 1) & 0xFFFFFF);

    // A movie that cannot be opened leaves the image empty.
    TMemoryStream bad(std::string("short"));
    EXPECT_FALSE(movie.LoadFromStream(&bad, 5));
    EXPECT_EQ(movie.GetImage()->Active, nullptr);
    EXPECT_FALSE(movie.LoadFromStream(nullptr, 10));
}

}  // namespace
