#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "foundation/PackLib.h"
#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "platform/headless/HeadlessDialogs.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/ImageFixtures.h"

namespace {

using ImageFixtures::TBmp;
using ImageFixtures::TPng;

using ImageFixtures::PixelsOf;

// Loads bytes under a name; the load's own result must be true.
void Load(TARGB8888& image, const std::string& bytes, const std::string& name) {
    TMemoryStream s(bytes);
    ASSERT_TRUE(image.LoadFromStream(&s, name));
}

std::string LoadError(const std::string& bytes, const std::string& name) {
    TARGB8888 image;
    TMemoryStream s(bytes);
    try {
        image.LoadFromStream(&s, name);
    } catch (const EImageLoadError& e) {
        EXPECT_EQ(image.Active, nullptr);
        EXPECT_EQ(image.Width(), 0);
        return e.what();
    }
    return "no error";
}

class ImageTest : public ::testing::Test {};

// ------------------------------------------------------------------ object and serials

TEST_F(ImageTest, SerialsAreHandedOutInOrderAndWrap) {
    TARGB8888 a, b;
    EXPECT_EQ(b.Serial, (a.Serial + 1) & 0xFFFFFF);

    ARGB8888Lib::SetNextSerial(0xFFFFFF);
    EXPECT_EQ(ARGB8888Lib::NextSerial(), 0xFFFFFFu);
    EXPECT_EQ(ARGB8888Lib::NextSerial(), 0u);
    EXPECT_EQ(ARGB8888Lib::NextSerial(), 1u);

    // Everything that replaces the pixels takes a new serial; a target does not.
    uint32_t last = a.Serial;
    auto fresh = [&](const char* what) {
        EXPECT_NE(a.Serial, last) << what;
        last = a.Serial;
    };
    a.SetSize(2, 2);
    fresh("SetSize");
    a.Changed();
    fresh("Changed");
    a.Assign(&b);
    fresh("Assign");
    a.Clear();
    fresh("Clear");
    Load(a, ImageFixtures::WriteBmp({.Width = 1, .Height = 1, .Pixels = {0x123456}}), ".bmp");
    fresh("load");
    TBitmap32 foreign(4, 4);
    a.SetTarget(&foreign);
    EXPECT_EQ(a.Serial, last);
}

TEST_F(ImageTest, SerialsDrawnOnSeveralThreadsAreAllDifferent) {
    constexpr int kThreads = 4, kEach = 20000;
    std::vector<std::vector<uint32_t>> drawn(kThreads);
    std::vector<std::thread> threads;
    for (auto& serials : drawn)
        threads.emplace_back([&serials] {
            for (int i = 0; i < kEach; ++i)
                serials.push_back(ARGB8888Lib::NextSerial());
        });
    for (auto& t : threads)
        t.join();
    std::set<uint32_t> all;
    for (const auto& serials : drawn)
        all.insert(serials.begin(), serials.end());
    EXPECT_EQ(all.size(), size_t{kThreads} * kEach);
}

TEST_F(ImageTest, SizeTargetAndTransparency) {
    TARGB8888 image;
    EXPECT_EQ(image.Width(), 0);
    EXPECT_TRUE(image.IsTransparent());  // nothing owned

    image.SetSize(3, 2);
    EXPECT_EQ(PixelsOf(image), std::vector<uint32_t>(6, 0));
    EXPECT_TRUE(image.IsTransparent());

    image.SetSize(5, 0);  // no rows: opaque
    EXPECT_FALSE(image.IsTransparent());

    TBitmap32 opaque(2, 2);
    opaque.Pixels = {0xFF000000, 0xFFFFFFFF, 0xFF102030, 0xFEFFFFFF};
    opaque.SourceBits = 32;
    image.AssignBitmap(&opaque);
    EXPECT_TRUE(image.IsTransparent());  // the last pixel has alpha 254
    opaque.Pixels[3] = 0xFFFFFFFF;
    image.AssignBitmap(&opaque);
    EXPECT_FALSE(image.IsTransparent());

    // A target is shown but never scanned, replaced or freed.
    TBitmap32 foreign(7, 3);
    image.SetTarget(&foreign);
    EXPECT_EQ(image.Width(), 7);
    EXPECT_EQ(image.Height(), 3);
    EXPECT_FALSE(image.IsTransparent());
    image.SetTarget(nullptr);
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.ScanLine(1)[0], 0xFF102030u);

    image.OnIsTransparent = [] { return true; };
    EXPECT_TRUE(image.IsTransparent());
    image.Clear();
    EXPECT_FALSE(image.OnIsTransparent);
    EXPECT_EQ(image.Width(), 0);
}

TEST_F(ImageTest, AssignCopiesTheActiveBitmapAndTheTransparencyAnswer) {
    TARGB8888 source;
    source.SetSize(2, 1);
    source.ScanLine(0)[0] = 0x80FF0000;
    TBitmap32 foreign(3, 1);
    foreign.Pixels = {1, 2, 3};
    source.SetTarget(&foreign);
    source.OnIsTransparent = [] { return false; };

    TARGB8888 copy;
    copy.OnSetTime = [](int32_t) {};
    copy.Assign(&source);
    EXPECT_EQ(PixelsOf(copy), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_FALSE(copy.IsTransparent());  // taken from the answer, not rescanned
    EXPECT_FALSE(copy.OnSetTime);
    EXPECT_EQ(copy.Target, nullptr);

    copy.Assign(nullptr);
    EXPECT_EQ(copy.Width(), 3);
    copy.Assign(&copy);
    EXPECT_EQ(PixelsOf(copy), (std::vector<uint32_t>{1, 2, 3}));

    TBitmap32 rgb(1, 1);
    rgb.Pixels = {0x00123456};
    rgb.SourceBits = 24;
    copy.AssignBitmap(&rgb);
    EXPECT_EQ(copy.ScanLine(0)[0], 0xFF123456u);
    EXPECT_FALSE(copy.IsTransparent());
}

TEST_F(ImageTest, InterlaceFieldToggles) {
    TInterlace lace;
    lace.ToggleField();
    EXPECT_EQ(lace.Field, 1);
    lace.ToggleField();
    EXPECT_EQ(lace.Field, 0);
}

// ------------------------------------------------------------------ loading

TEST_F(ImageTest, TheExtensionChoosesTheReader) {
    const std::string bmp = ImageFixtures::WriteBmp({.Width = 1, .Height = 1, .Pixels = {0x123456}});
    struct TCase {
        std::string Name;
        bool Loads;
    } cases[] = {
        {".bmp", true},          {"GameData\\Pic.BMP", true}, {"a.b\\c.bmp", true}, {"pic.bmp.txt", false},
        {"dir.bmp\\pic", false}, {"pic.jpeg", false},         {"pic", false},
    };
    for (const auto& c : cases) {
        TARGB8888 image;
        image.SetSize(1, 1);
        Load(image, bmp, c.Name);
        EXPECT_EQ(image.Width(), c.Loads ? 1 : 0) << c.Name;
    }
    // A ".jpg" of any case goes to the JPEG reader.
    TARGB8888 image;
    std::vector<uint8_t> grey(4, 0x80);
    Load(image, ImageFixtures::WriteJpeg(2, 2, true, grey), "X.JPG");
    EXPECT_EQ(image.Width(), 2);
    EXPECT_FALSE(image.IsTransparent());

    TARGB8888 untouched;
    untouched.SetSize(1, 1);
    EXPECT_FALSE(untouched.LoadFromStream(nullptr, ".bmp"));
    EXPECT_EQ(untouched.Width(), 1);
}

TEST_F(ImageTest, AFailedLoadEmptiesTheImageAndNamesTheFile) {
    const std::string bmp = ImageFixtures::WriteBmp({.Width = 4, .Height = 4, .Pixels = std::vector<uint32_t>(16)});
    EXPECT_EQ(LoadError(bmp.substr(0, bmp.size() - 1), "画像\\a.bmp"_sj),
              "画像\\a.bmp"_sj + "の読み込みに失敗しました"_sj);
    EXPECT_EQ(LoadError("not a png at all", ".png"), ".png" + "の読み込みに失敗しました"_sj);
    EXPECT_EQ(LoadError("", ".png"), ".png" + "の読み込みに失敗しました"_sj);
    EXPECT_EQ(LoadError(ImageFixtures::WriteCmykJpeg(8, 8), "c.jpg"), "c.jpg" + "の読み込みに失敗しました"_sj);

    TARGB8888 image;
    image.SetSize(2, 2);
    TMemoryStream s("BMxx");
    EXPECT_THROW(image.LoadFromStream(&s, ".bmp"), EImageLoadError);
    EXPECT_EQ(image.OwnedBitmap, nullptr);
    EXPECT_TRUE(image.IsTransparent());
}

TEST_F(ImageTest, AJpegWithoutAReadableHeaderIsShownAndLeavesAnEmptyImage) {
    THeadlessDialogs dialogs;
    const std::string title = "ゲーム"_sj;
    const std::string jpeg = ImageFixtures::WriteJpeg(4, 4, false, std::vector<uint8_t>(48, 0x40));
    for (const std::string& bytes : {std::string("GIF89a not a jpeg"), jpeg.substr(0, 20), std::string()}) {
        TARGB8888 image;
        TMemoryStream s(bytes);
        ASSERT_TRUE(image.LoadFromStream(&s, ".jpg", {&dialogs, &title}));
        EXPECT_EQ(image.Active, nullptr);
    }
    // A one-button message box each time, under the application's title.
    ASSERT_EQ(dialogs.Shown.size(), 3u);
    EXPECT_EQ(dialogs.Shown[0].Text, "規格外のJPEGを読み込みました。読み込みを中断します。"_sj);
    EXPECT_EQ(dialogs.Shown[0].Buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(dialogs.Shown[0].Caption, title);
}

TEST_F(ImageTest, LoadFromFileReadsThroughThePackSet) {
    const std::string bmp = ImageFixtures::WriteBmp({.Width = 2, .Height = 1, .Pixels = {0x010203, 0x040506}});
    std::vector<std::string> asked;
    TContextFixture context;
    context.Packs.FileExistsHook = [](const std::string&) { return true; };  // the load hook decides
    context.Packs.LoadFileHook = [&](const std::string& name) -> std::unique_ptr<TMemoryStream> {
        asked.push_back(name);
        if (name != "GameData\\bg\\a.bmp") return nullptr;
        return std::make_unique<TMemoryStream>(bmp);
    };
    TARGB8888 image;
    EXPECT_TRUE(image.LoadFromFile(context.Packs, "GameData\\bg\\a.bmp"));
    EXPECT_EQ(PixelsOf(image), (std::vector<uint32_t>{0xFF010203, 0xFF040506}));
    EXPECT_FALSE(image.LoadFromFile(context.Packs, "GameData\\bg\\missing.bmp"));
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(ImageTest, ShiftFillMovesThePictureAndFillsWhatItUncovers) {
    // 5 x 3, pixel (x, y) = 0x800000yx. Moved by (-1, 1): the fill and the copy both work on
    // pixel pairs, so the odd last column is neither filled nor drawn.
    TARGB8888 image;
    std::vector<uint32_t> pixels;
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 5; ++x)
            pixels.push_back(0x80000000 | (y << 4) | x);
    ImageFixtures::SetPixels(image, 5, 3, pixels);
    const uint32_t C = 0xFFABCDEF;
    image.ShiftFill(-1, 1, C);
    EXPECT_EQ(PixelsOf(image), (std::vector<uint32_t>{C, C, C, C, 0x80000004,                                      //
                                                      0x80000001, 0x80000002, 0x80000003, 0x80000004, 0x80000014,  //
                                                      0x80000011, 0x80000012, 0x80000013, 0x80000014, 0x80000024}));

    TARGB8888 empty;
    empty.ShiftFill(1, 1, C);  // no bitmap: nothing happens
    EXPECT_EQ(empty.Width(), 0);
}

// ------------------------------------------------------------------ BMP

TEST_F(ImageTest, BmpOfEveryDepthAndLayout) {
    const std::vector<uint32_t> pal2 = {0x000000, 0xFFFFFF};
    const std::vector<uint32_t> pal16 = {0x000000, 0x800000, 0x008000, 0x000080, 0x808080, 0xFF0000,
                                         0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0xC0C0C0,
                                         0x102030, 0x405060, 0x708090, 0xFFFFFF};
    std::vector<uint32_t> pal256;
    for (uint32_t i = 0; i < 256; ++i)
        pal256.push_back(i * 0x010101u ^ 0x00FF00u);
    auto from = [](const std::vector<uint32_t>& pal, const std::vector<uint32_t>& idx) {
        std::vector<uint32_t> out;
        for (uint32_t i : idx)
            out.push_back(0xFF000000 | pal[i]);
        return out;
    };
    // 3 x 2 pictures, or 9 x 2 where the depth packs several pixels into a byte.
    const std::vector<uint32_t> idx1 = {1, 0, 1, 1, 0, 0, 1, 0, 1, 0, 1, 1, 1, 1, 0, 0, 0, 0};
    const std::vector<uint32_t> idx4 = {15, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 15, 5};
    const std::vector<uint32_t> idx8 = {0, 255, 17, 128, 3, 200};
    const std::vector<uint32_t> rgb = {0x102030, 0xFFFFFF, 0x000000, 0x7F8081, 0xFF0000, 0x0000FF};

    struct TCase {
        const char* Name;
        TBmp Bmp;
        std::vector<uint32_t> Expected;
    };
    std::vector<TCase> cases = {
        {"1 bit", {.Width = 9, .Height = 2, .Bits = 1, .Palette = pal2, .Pixels = idx1}, from(pal2, idx1)},
        {"4 bits", {.Width = 9, .Height = 2, .Bits = 4, .Palette = pal16, .Pixels = idx4}, from(pal16, idx4)},
        {"8 bits", {.Width = 3, .Height = 2, .Bits = 8, .Palette = pal256, .Pixels = idx8}, from(pal256, idx8)},
        {"8 bits, core header",
         {.Width = 3, .Height = 2, .Bits = 8, .HeaderSize = 12, .Palette = pal256, .Pixels = idx8},
         from(pal256, idx8)},
        {"8 bits, short palette",  // an index past the palette is black
         {.Width = 3, .Height = 2, .Bits = 8, .Palette = {0x112233, 0x445566}, .Pixels = {0, 1, 2, 1, 0, 255}},
         {0xFF112233, 0xFF445566, 0xFF000000, 0xFF445566, 0xFF112233, 0xFF000000}},
        {"16 bits 5-5-5",
         {.Width = 3, .Height = 2, .Bits = 16, .Pixels = {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x0000, 0x4210}},
         {0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000, 0xFF848484}},
        {"16 bits 5-6-5 fields",
         {.Width = 3,
          .Height = 2,
          .Bits = 16,
          .Compression = 3,
          .Masks = {0xF800, 0x07E0, 0x001F, 0},
          .Pixels = {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0000, 0x0820}},
         {0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000, 0xFF080400}},
        {"24 bits", {.Width = 3, .Height = 2, .Bits = 24, .Pixels = rgb}, {}},
        {"24 bits top-down", {.Width = 3, .Height = 2, .Bits = 24, .TopDown = true, .Pixels = rgb}, {}},
        {"32 bits keep alpha",
         {.Width = 3, .Height = 2, .Bits = 32, .Pixels = {0x00102030, 0x80FFFFFF, 0xFF000000, 1, 2, 0x7F000003}},
         {0x00102030, 0x80FFFFFF, 0xFF000000, 1, 2, 0x7F000003}},
        {"32 bits, fields in a V4 header",
         {.Width = 3,
          .Height = 2,
          .Bits = 32,
          .Compression = 3,
          .HeaderSize = 108,
          .Masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000},  // stored as R G B A bytes
          .Pixels = {0x80030201, 0xFF000000, 0, 0x00FFFFFF, 0x12345678, 0xFFFFFFFF}},
         {0x80010203, 0xFF000000, 0, 0x00FFFFFF, 0x12785634, 0xFFFFFFFF}},
    };
    for (uint32_t c : rgb)
        cases[7].Expected.push_back(0xFF000000 | c);
    cases[8].Expected = cases[7].Expected;
    for (const auto& c : cases) {
        TARGB8888 image;
        Load(image, ImageFixtures::WriteBmp(c.Bmp), ".bmp");
        EXPECT_EQ(image.Width(), c.Bmp.Width) << c.Name;
        EXPECT_EQ(PixelsOf(image), c.Expected) << c.Name;
    }
}

TEST_F(ImageTest, RunLengthBmp) {
    const std::vector<uint32_t> pal = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
    // 6 x 3, rows bottom-up. RLE8: row 0: run of 3 x index 1, literal (2 3 4) padded, end of line;
    // row 1: run of 2 x index 4, move (2, 1) to column 4 of row 2, run of 2 x index 3, end.
    const std::string rle8(
        "\x03\x01\x00\x03\x02\x03\x04\x00\x00\x00"
        "\x02\x04\x00\x02\x02\x01\x02\x03\x00\x01",
        20);
    TARGB8888 image;
    Load(image,
         ImageFixtures::WriteBmp({.Width = 6, .Height = 3, .Bits = 8, .Compression = 1, .Palette = pal, .Data = rle8}),
         ".bmp");
    const uint32_t K = 0xFF000000, B = 0xFF0000FF, G = 0xFF00FF00, R = 0xFFFF0000, W = 0xFFFFFFFF;
    EXPECT_EQ(PixelsOf(image), (std::vector<uint32_t>{K, K, K, K, R, R,  //
                                                      W, W, K, K, K, K,  //
                                                      B, B, B, G, R, W}));
    // RLE4: a run alternates its two nibbles; a literal of 3 nibbles takes 2 bytes.
    const std::string rle4("\x05\x12\x00\x03\x34\x10\x00\x00\x00\x01", 10);
    Load(image,
         ImageFixtures::WriteBmp({.Width = 8, .Height = 1, .Bits = 4, .Compression = 2, .Palette = pal, .Data = rle4}),
         ".bmp");
    EXPECT_EQ(PixelsOf(image), (std::vector<uint32_t>{B, G, B, G, B, R, W, B}));

    // Data that stops before the picture ends is a cut file, inside a command or between two.
    for (size_t cut : {2u, 5u, 10u, 14u}) {
        EXPECT_NE(LoadError(ImageFixtures::WriteBmp({.Width = 6,
                                                     .Height = 3,
                                                     .Bits = 8,
                                                     .Compression = 1,
                                                     .Palette = pal,
                                                     .Data = rle8.substr(0, cut)}),
                            ".bmp"),
                  "no error")
            << cut;
    }
    // Without the end-of-picture escape, a complete last row ends the picture.
    Load(image,
         ImageFixtures::WriteBmp(
             {.Width = 4, .Height = 1, .Bits = 8, .Compression = 1, .Palette = pal, .Data = "\x04\x02"}),
         ".bmp");
    EXPECT_EQ(PixelsOf(image), std::vector<uint32_t>(4, G));
}

TEST_F(ImageTest, PicturesAreLimitedByPixelCountNotBySide) {
    // Longer sides than 16384 pixels load in every format.
    const std::string bmp =
        ImageFixtures::WriteBmp({.Width = 1, .Height = 17000, .Pixels = std::vector<uint32_t>(17000, 0x123456)});
    const std::string png = ImageFixtures::WritePng(
        {.Width = 17000, .Height = 1, .ColourType = 0, .Samples = std::vector<uint16_t>(17000, 7)});
    const std::string jpeg = ImageFixtures::WriteJpeg(1, 17000, true, std::vector<uint8_t>(17000, 200));
    const std::tuple<std::string, const char*, int32_t, int32_t> cases[] = {
        {bmp, ".bmp", 1, 17000}, {png, ".png", 17000, 1}, {jpeg, ".jpg", 1, 17000}};
    for (const auto& [bytes, ext, w, h] : cases) {
        TARGB8888 image;
        Load(image, bytes, ext);
        EXPECT_EQ(image.Width(), w) << ext;
        EXPECT_EQ(image.Height(), h) << ext;
    }
    // The count is what is bounded: 2^26 pixels pass, one row more does not.
    EXPECT_TRUE(ImageCodecLib::SizeAllowed(8192, 8192));
    EXPECT_TRUE(ImageCodecLib::SizeAllowed(1, 1 << 26));
    EXPECT_FALSE(ImageCodecLib::SizeAllowed(8192, 8193));
    EXPECT_FALSE(ImageCodecLib::SizeAllowed(int64_t(1) << 40, int64_t(1) << 40));  // no overflow
}

TEST_F(ImageTest, DamagedBmpIsRefusedBeforeAllocating) {
    const TBmp good{.Width = 3, .Height = 2, .Bits = 24, .Pixels = std::vector<uint32_t>(6, 0x123456)};
    const std::string bytes = ImageFixtures::WriteBmp(good);
    auto patched = [&](size_t at, uint32_t v, int n = 4) {
        std::string s = bytes;
        auto* p = reinterpret_cast<uint8_t*>(s.data() + at);
        if (n == 2)
            LittleEndian::Put16(p, static_cast<uint16_t>(v));
        else
            LittleEndian::Put32(p, v);
        return s;
    };
    const std::string cases[] = {
        "XM" + bytes.substr(2),   // magic
        patched(28, 7, 2),        // depth
        patched(30, 4),           // embedded JPEG
        patched(30, 1),           // RLE8 at 24 bits
        patched(18, 1000000),     // width beyond the data and beyond any sane size
        patched(22, 0x40000000),  // height
        patched(18, 0x80000000),  // negative width
        patched(14, 20),          // unknown header size
        bytes.substr(0, bytes.size() - 2),
        bytes.substr(0, 30),
    };
    for (const auto& c : cases)
        EXPECT_NE(LoadError(c, ".bmp"), "no error");
}

// ------------------------------------------------------------------ PNG and JPEG

TEST_F(ImageTest, PngOfEveryColourType) {
    struct TCase {
        const char* Name;
        TPng Png;
        std::vector<uint32_t> Expected;
    };
    const std::vector<uint32_t> grey = {0xFF000000, 0xFFFFFFFF, 0xFF555555, 0xFFAAAAAA};
    const TCase cases[] = {
        {"grey 2 bits", {.Width = 2, .Height = 2, .ColourType = 0, .BitDepth = 2, .Samples = {0, 3, 1, 2}}, grey},
        {"grey 8 bits, a key that is not used",
         {.Width = 2, .Height = 2, .ColourType = 0, .Samples = {0, 255, 0x55, 0xAA}, .Transparency = {0}},
         grey},
        {"grey 16 bits",
         {.Width = 2, .Height = 2, .ColourType = 0, .BitDepth = 16, .Samples = {0x00FF, 0xFFFF, 0x5500, 0xAA99}},
         grey},
        {"RGB", {.Width = 2, .Height = 1, .Samples = {1, 2, 3, 250, 251, 252}}, {0xFF010203, 0xFFFAFBFC}},
        {"RGB 16 bits interlaced",
         {.Width = 3, .Height = 3, .BitDepth = 16, .Interlaced = true, .Samples = std::vector<uint16_t>(27, 0x12FF)},
         std::vector<uint32_t>(9, 0xFF121212)},
        {"palette with a transparency chunk that is not used",
         {.Width = 3,
          .Height = 1,
          .ColourType = 3,
          .BitDepth = 4,
          .Samples = {0, 1, 2},
          .Palette = {0xFF0000, 0x00FF00, 0x0000FF},
          .Transparency = {0, 128, 255}},
         {0xFFFF0000, 0xFF00FF00, 0xFF0000FF}},
        {"grey and alpha",
         {.Width = 2, .Height = 1, .ColourType = 4, .Samples = {0x10, 0, 0xF0, 0x80}},
         {0x00101010, 0x80F0F0F0}},
        {"RGBA",
         {.Width = 2, .Height = 1, .ColourType = 6, .Samples = {1, 2, 3, 4, 5, 6, 7, 255}},
         {0x04010203, 0xFF050607}},
    };
    for (const auto& c : cases) {
        TARGB8888 image;
        Load(image, ImageFixtures::WritePng(c.Png), ".png");
        EXPECT_EQ(PixelsOf(image), c.Expected) << c.Name;
        EXPECT_EQ(image.IsTransparent(), c.Png.ColourType == 4 || c.Png.ColourType == 6) << c.Name;
    }
}

TEST_F(ImageTest, PngAfterAFourBytePrefixAndDamagedPng) {
    const std::string png = ImageFixtures::WritePng({.Width = 1, .Height = 1, .Samples = {9, 8, 7}});
    TARGB8888 image;
    Load(image, "KPNG" + png, ".png");
    EXPECT_EQ(PixelsOf(image), std::vector<uint32_t>{0xFF090807});

    // Read from the stream's position: whatever comes before it is not looked at.
    TMemoryStream s("junk" + std::string("\x01\x02\x03\x04", 4) + png);
    s.SetPosition(4);
    ASSERT_TRUE(image.LoadFromPngStream(&s));
    EXPECT_EQ(PixelsOf(image), std::vector<uint32_t>{0xFF090807});

    std::string corrupt = png;
    corrupt[corrupt.size() / 2] ^= 0x55;
    std::string huge = png;  // IHDR claims 10000 x 10000 pixels over a handful of bytes
    huge[16 + 2] = 0x27, huge[16 + 3] = 0x10, huge[20 + 2] = 0x27, huge[20 + 3] = 0x10;
    for (const std::string& bad : {corrupt, png.substr(0, png.size() - 20), huge, std::string("\x89PNG")})
        EXPECT_NE(LoadError(bad, ".png"), "no error");
}

TEST_F(ImageTest, JpegDecodesAsTheLibraryDoes) {
    std::vector<uint8_t> rgb, grey;
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 17; ++x) {
            rgb.insert(rgb.end(), {uint8_t(x * 15), uint8_t(y * 19), uint8_t((x ^ y) * 9)});
            grey.push_back(uint8_t(x * 7 + y * 5));
        }
    for (bool isGrey : {false, true}) {
        const std::string jpeg = ImageFixtures::WriteJpeg(17, 13, isGrey, isGrey ? grey : rgb);
        TARGB8888 image;
        Load(image, jpeg, ".jpg");
        ASSERT_EQ(image.Width(), 17);
        std::vector<uint32_t> expected = ImageFixtures::DecodeJpegReference(jpeg, false);
        for (uint32_t& p : expected)
            p |= 0xFF000000;
        EXPECT_EQ(PixelsOf(image), expected);
        EXPECT_FALSE(image.IsTransparent());
    }
}

// ------------------------------------------------------------------ writers

TEST_F(ImageTest, BmpWriterRoundTripsWithAlpha) {
    TARGB8888 image;
    image.SetSize(3, 2);
    const std::vector<uint32_t> pixels = {0x00000000, 0x80FF0000, 0xFF00FF00, 0x12345678, 0xFFFFFFFF, 0x7F0000FF};
    for (int i = 0; i < 6; ++i)
        image.ScanLine(i / 3)[i % 3] = pixels[static_cast<size_t>(i)];
    TMemoryStream out;
    ASSERT_TRUE(image.SaveToStream(&out));
    EXPECT_EQ(out.Size(), 54 + 24);
    TARGB8888 back;
    Load(back, out.AsString(), ".bmp");
    EXPECT_EQ(PixelsOf(back), pixels);

    TARGB8888 empty;
    EXPECT_FALSE(empty.SaveToStream(&out));
    EXPECT_FALSE(image.SaveToStream(nullptr));

    class TFullStream : public TMemoryStream {
        int64_t Write(const void*, int64_t) override { return 0; }
    } full;
    EXPECT_FALSE(image.SaveToStream(&full));
    EXPECT_FALSE(image.SaveToJpegStream(&full, 90));
}

// Thumbnails of save games: 15 bits a pixel, five of each channel, rows padded to four bytes.
TEST_F(ImageTest, FifteenBitBmpKeepsFiveBitsOfEachChannel) {
    TBitmap32 bitmap(3, 2);
    bitmap.Pixels = {0xFF000000, 0x80FF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0x00848887};
    const std::string bmp = ImageCodecLib::EncodeBmp15(bitmap);
    EXPECT_EQ(bmp.size(), 54u + 2 * 8);
    auto back = ImageCodecLib::DecodeBmp(reinterpret_cast<const uint8_t*>(bmp.data()), bmp.size());
    ASSERT_EQ(back->Width, 3);
    ASSERT_EQ(back->Height, 2);
    back->ConvertTo32(255);
    for (size_t i = 0; i < 6; ++i)
        for (int shift : {0, 8, 16}) {
            const int want = static_cast<int>((bitmap.Pixels[i] >> shift) & 0xF8) * 255 / 0xF8;
            EXPECT_NEAR(static_cast<int>((back->Pixels[i] >> shift) & 0xFF), want, 4) << i << " " << shift;
        }
}

TEST_F(ImageTest, JpegWriterGivesBaselineColour) {
    TARGB8888 image;
    image.SetSize(16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            image.ScanLine(y)[x] = 0x00000000u | (uint32_t(x * 16) << 16) | (uint32_t(y * 32) << 8) | 0x40;
    TMemoryStream out;
    ASSERT_TRUE(image.SaveToJpegStream(&out, 90));
    const std::string jpeg = out.AsString();
    EXPECT_NE(jpeg.find("\xFF\xC0", 0, 2), std::string::npos);  // baseline frame
    EXPECT_EQ(jpeg.find("\xFF\xC2", 0, 2), std::string::npos);  // not progressive
    const auto sof = jpeg.find("\xFF\xC0", 0, 2);
    EXPECT_EQ(jpeg[sof + 9], 3);  // three components: colour, not grey

    // The library's own baseline encoding of the same colours at that quality, byte for byte.
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            rgb.insert(rgb.end(), {uint8_t(x * 16), uint8_t(y * 32), 0x40});
    EXPECT_EQ(jpeg, ImageFixtures::WriteJpeg(16, 8, false, rgb, 90));

    TARGB8888 back;
    Load(back, jpeg, ".jpg");
    EXPECT_EQ(back.Width(), 16);
    EXPECT_EQ(back.Height(), 8);
    EXPECT_FALSE(back.IsTransparent());

    TARGB8888 empty;
    EXPECT_FALSE(empty.SaveToJpegStream(&out, 90));
    empty.SetSize(0, 0);
    EXPECT_FALSE(empty.SaveToJpegStream(&out, 90));
}

// ------------------------------------------------------------------ clip and surface transfer

TEST_F(ImageTest, UnscaledClip) {
    struct TCase {
        int32_t X, Y, L, T, R, B;
        bool Nothing;
        int32_t Xo = 0, Yo = 0, Lo = 0, To = 0, Ro = 0, Bo = 0;
    } cases[] = {
        {0, 0, 0, 0, 10, 10, false, 0, 0, 0, 0, 10, 10},
        {-3, 0, 0, 0, 10, 10, false, 0, 0, 3, 0, 10, 10},   // left part off the destination
        {5, 5, 10, 10, 0, 0, false, 5, 5, 0, 0, 10, 10},    // edges swapped
        {0, 0, -4, -2, 30, 30, false, 4, 2, 0, 0, 16, 12},  // source beyond its image
        {95, 98, 0, 0, 10, 10, false, 95, 98, 0, 0, 5, 2},  // cut at the destination's edge
        {0, 0, 3, 3, 3, 9, true},                           // no width
        {100, 0, 0, 0, 10, 10, true},                       // past the destination
        {-10, 0, 0, 0, 10, 10, true},                       // wholly left of it
        {0x7FFFFFF0, 0, 0, 0, 10, 10, true},                // extreme values do not wrap
        {-0x7FFFFFFF, 0, -0x7FFFFFFF, 0, 0x7FFFFFFF, 5, false, 0, 0, 0, 0, 16, 5},
    };
    for (const auto& c : cases) {
        int32_t x = c.X, y = c.Y, l = c.L, t = c.T, r = c.R, b = c.B;
        const bool nothing = ARGB8888Lib::ClipUnscaled(x, y, l, t, r, b, 100, 100, 16, 12);
        EXPECT_EQ(nothing, c.Nothing) << c.X << "," << c.L;
        if (!c.Nothing && !nothing) {
            EXPECT_EQ((std::vector<int32_t>{x, y, l, t, r, b}),
                      (std::vector<int32_t>{c.Xo, c.Yo, c.Lo, c.To, c.Ro, c.Bo}))
                << c.X << "," << c.L;
        }
    }
}

struct TSurface {
    TSurface(int32_t width, int32_t height, uint32_t bits, uint32_t greenMask)
        : Pitch(width * int32_t(bits / 8) + 5), Memory(size_t(Pitch) * size_t(height), 0xCD) {
        Desc = {Memory.data(), Pitch, width, height, bits, 0, greenMask, 0};
    }
    // The value of pixel (x, y) in the surface's format, or -1 while it still holds the filler.
    int64_t At(int32_t x, int32_t y) const {
        const int32_t n = int32_t(Desc.RGBBitCount / 8);
        const uint8_t* p = Memory.data() + size_t(y) * size_t(Pitch) + size_t(x) * size_t(n);
        uint32_t v = 0;
        bool filler = true;
        for (int i = 0; i < n; ++i)
            v |= uint32_t(p[i]) << (8 * i), filler &= p[i] == 0xCD;
        return filler ? -1 : int64_t(v);
    }
    int32_t Pitch;
    std::vector<uint8_t> Memory;
    TSurfaceDesc Desc;
};

TEST_F(ImageTest, TransferToSurfacesOfEveryFormat) {
    TARGB8888 image;
    image.SetSize(10, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            image.ScanLine(y)[x] = (uint32_t(y * 30) << 24) | (uint32_t(x * 25 + 3) << 16) |
                                   (uint32_t(y * 31 + 1) << 8) | uint32_t(x * y * 3 + 7);
    auto expect = [](uint32_t bits, uint32_t green, uint32_t c) -> int64_t {
        const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
        if (bits == 16 && green == 0x7E0) return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        if (bits == 16) return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        if (bits == 24) return c & 0xFFFFFF;
        return c | 0xFF000000;
    };
    // A 7-pixel-wide rectangle moves all 7 columns in every format, the odd ones at the end too.
    struct TFormat {
        uint32_t Bits, Green;
    } formats[] = {{16, 0x7E0}, {16, 0x3E0}, {24, 0}, {32, 0}};
    struct TLace {
        bool On;
        int32_t Field;
        std::vector<int32_t> Rows;  // surface rows written for y = 10 and 5 rows
    } laces[] = {{false, 0, {10, 11, 12, 13, 14}}, {true, 1, {11, 13}}, {true, 0, {10, 12, 14}}};
    for (const auto& f : formats) {
        for (const auto& lace : laces) {
            const TInterlace field{lace.Field};
            image.Interlace = lace.On ? &field : nullptr;
            TSurface s(20, 20, f.Bits, f.Green);
            EXPECT_TRUE(image.TransferToSurface(s.Desc, 3, 10, 2, 1, 9, 6));
            for (int32_t y = 0; y < 20; ++y) {
                const bool rowWritten = std::find(lace.Rows.begin(), lace.Rows.end(), y) != lace.Rows.end();
                for (int32_t x = 0; x < 20; ++x) {
                    const bool written = rowWritten && x >= 3 && x < 3 + 7;
                    const int64_t want = written ? expect(f.Bits, f.Green, image.ScanLine(1 + y - 10)[2 + x - 3]) : -1;
                    ASSERT_EQ(s.At(x, y), want)
                        << f.Bits << " bits, interlace " << lace.On << lace.Field << " at " << x << "," << y;
                }
            }
            image.Interlace = nullptr;
        }
    }
    // Known values: 0x12345678 in each format.
    image.ScanLine(0)[0] = image.ScanLine(0)[1] = image.ScanLine(0)[2] = image.ScanLine(0)[3] = 0x12345678;
    for (const auto& [bits, green, value] : {std::tuple{16u, 0x7E0u, 0x32AFll}, std::tuple{16u, 0x3E0u, 0x194Fll},
                                             std::tuple{24u, 0u, 0x345678ll}, std::tuple{32u, 0u, 0xFF345678ll}}) {
        TSurface s(4, 1, bits, green);
        image.TransferToSurface(s.Desc, 0, 0, 0, 0, 4, 1);
        EXPECT_EQ(s.At(0, 0), value) << bits;
    }
}

TEST_F(ImageTest, TransferClipsAndSkipsWhatItCannotMove) {
    TARGB8888 image;
    image.SetSize(8, 4);
    for (int x = 0; x < 8; ++x)
        image.ScanLine(0)[x] = 0xFF000000u | uint32_t(x);
    TSurface s(6, 3, 32, 0);
    // Placed at x = -3: the surface starts with source column 3; 5 columns fit, all of them moved,
    // and the row ends there.
    image.TransferToSurface(s.Desc, -3, 0, 0, 0, 8, 1);
    EXPECT_EQ(s.At(0, 0), 0xFF000003);
    EXPECT_EQ(s.At(4, 0), 0xFF000007);
    EXPECT_EQ(s.At(5, 0), -1);

    // Screens narrower than a group of 4 or an odd one wide get their last columns as well.
    TSurface narrow(6, 3, 16, 0x7E0);
    image.TransferToSurface(narrow.Desc, 0, 0, 0, 0, 3, 1);
    EXPECT_EQ(narrow.At(2, 0), 0);
    EXPECT_EQ(narrow.At(3, 0), -1);
    TSurface single(1, 1, 32, 0);
    image.TransferToSurface(single.Desc, 0, 0, 7, 0, 8, 1);
    EXPECT_EQ(single.At(0, 0), 0xFF000007);

    TSurface odd(6, 3, 8, 0);  // a bit count without a conversion
    EXPECT_TRUE(image.TransferToSurface(odd.Desc, 0, 0, 0, 0, 8, 4));
    TARGB8888 empty;
    EXPECT_TRUE(empty.TransferToSurface(s.Desc, 0, 0, 0, 0, 8, 4));
    EXPECT_TRUE(std::all_of(odd.Memory.begin(), odd.Memory.end(), [](uint8_t b) { return b == 0xCD; }));

    // Interlace with a single row of the other parity leaves nothing.
    const TInterlace even{0};
    image.Interlace = &even;
    TSurface one(6, 3, 24, 0);
    image.TransferToSurface(one.Desc, 0, 1, 0, 0, 4, 1);
    EXPECT_TRUE(std::all_of(one.Memory.begin(), one.Memory.end(), [](uint8_t b) { return b == 0xCD; }));
}

}  // namespace
