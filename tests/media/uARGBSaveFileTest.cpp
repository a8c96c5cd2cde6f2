#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "media/uARGBSaveFile.h"
#include "platform/ClassLib.h"
#include "tests/support/ImageFixtures.h"

namespace {

using ImageFixtures::WriteArgb;

using ImageFixtures::PixelsOf;

// Loads as the image library does; the image is empty when nothing was loaded.
std::vector<uint32_t> LoadArgb(const std::string& bytes, bool* transparent = nullptr) {
    TARGB8888 image;
    TMemoryStream s(bytes);
    s.Seek(0, TSeekOrigin::End);  // the reader starts from the beginning whatever the position
    EXPECT_TRUE(image.LoadFromStream(&s, "pic.ARGB"));
    if (transparent) *transparent = image.IsTransparent();
    return PixelsOf(image);
}

bool Fails(const std::string& bytes) {
    TARGB8888 image;
    TMemoryStream s(bytes);
    try {
        image.LoadFromStream(&s, ".argb");
    } catch (const EImageLoadError&) {
        return image.Active == nullptr;
    }
    return false;
}

struct TPictures {
    TPictures() {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                Rgb.insert(Rgb.end(), {uint8_t(x * 20), uint8_t(255 - y * 30), uint8_t(x * y * 4)});
                Grey.push_back(uint8_t(x * 21 + y * 9));
            }
        for (uint8_t v : Rgb)
            RgbSamples.push_back(v);
        for (uint8_t v : Grey)
            GreySamples.push_back(v);
        Bmp.Width = W, Bmp.Height = H, Bmp.Bits = 24;
        for (size_t i = 0; i < Rgb.size(); i += 3)
            Bmp.Pixels.push_back((Rgb[i] << 16) | (Rgb[i + 1] << 8) | Rgb[i + 2]);
    }
    // The colour picture as 0x00RRGGBB.
    std::vector<uint32_t> Colour() const { return Bmp.Pixels; }
    static constexpr int W = 11, H = 7;
    std::vector<uint8_t> Rgb, Grey;
    std::vector<uint16_t> RgbSamples, GreySamples;
    ImageFixtures::TBmp Bmp;
};

TEST(ArgbContainer, EveryPictureType) {
    const TPictures p;
    const std::string bmp24 = ImageFixtures::WriteBmp(p.Bmp);
    const std::string pngRgb =
        ImageFixtures::WritePng({.Width = p.W, .Height = p.H, .ColourType = 2, .Samples = p.RgbSamples});
    const std::string pngGrey =
        ImageFixtures::WritePng({.Width = p.W, .Height = p.H, .ColourType = 0, .Samples = p.GreySamples});
    const std::string jpegRgb = ImageFixtures::WriteJpeg(p.W, p.H, false, p.Rgb);
    const std::string jpegGrey = ImageFixtures::WriteJpeg(p.W, p.H, true, p.Grey);
    const std::vector<uint32_t> jpegColour = ImageFixtures::DecodeJpegReference(jpegRgb, false);
    const std::vector<uint32_t> jpegGrey236 = ImageFixtures::DecodeJpegReference(jpegGrey, true);

    auto withAlpha = [](std::vector<uint32_t> colour, const std::vector<uint32_t>& alpha) {
        for (size_t i = 0; i < colour.size(); ++i)
            colour[i] = (colour[i] & 0xFFFFFF) | ((alpha[i] & 0xFF00) << 16);
        return colour;
    };
    std::vector<uint32_t> greyPixels;
    for (uint8_t g : p.Grey)
        greyPixels.push_back(g * 0x010101u);
    std::vector<uint32_t> opaque = p.Colour();
    for (uint32_t& c : opaque)
        c |= 0xFF000000;

    // Type 0: a BMP of 24 bits keeps alpha 0, unlike the same BMP loaded as a ".bmp" file.
    bool transparent = false;
    EXPECT_EQ(LoadArgb(WriteArgb(0, bmp24, "ignored"), &transparent), p.Colour());
    EXPECT_TRUE(transparent);
    // Type 1: a PNG without alpha channel is opaque.
    EXPECT_EQ(LoadArgb(WriteArgb(1, pngRgb, ""), &transparent), opaque);
    EXPECT_FALSE(transparent);
    // Types 2 to 4: the alpha is the green byte of the alpha picture.
    EXPECT_EQ(LoadArgb(WriteArgb(2, jpegRgb, jpegGrey)), withAlpha(jpegColour, jpegGrey236));
    EXPECT_EQ(LoadArgb(WriteArgb(3, jpegRgb, pngGrey)), withAlpha(jpegColour, greyPixels));
    EXPECT_EQ(LoadArgb(WriteArgb(4, pngRgb, jpegRgb)), withAlpha(p.Colour(), jpegColour));

    // 236 levels at most, and the quantised levels follow the picture.
    std::vector<bool> seen(256);
    for (uint32_t g : jpegGrey236)
        seen[g & 0xFF] = true;
    EXPECT_LE(std::count(seen.begin(), seen.end(), true), 236);
}

TEST(ArgbContainer, AlphaOfTheColourPictureItself) {
    ImageFixtures::TBmp bmp32{.Width = 2, .Height = 1, .Bits = 32, .Pixels = {0x80102030, 0x00FFFFFF}};
    EXPECT_EQ(LoadArgb(WriteArgb(0, ImageFixtures::WriteBmp(bmp32), "")),
              (std::vector<uint32_t>{0x80102030, 0x00FFFFFF}));
    const std::string rgba =
        ImageFixtures::WritePng({.Width = 2, .Height = 1, .ColourType = 6, .Samples = {1, 2, 3, 0x40, 4, 5, 6, 0xFF}});
    EXPECT_EQ(LoadArgb(WriteArgb(1, rgba, "")), (std::vector<uint32_t>{0x40010203, 0xFF040506}));
}

TEST(ArgbContainer, MagicTypeAndHeader) {
    const std::string bmp = ImageFixtures::WriteBmp({.Width = 1, .Height = 1, .Pixels = {0x0A0B0C}});
    const std::vector<uint32_t> one = {0x000A0B0C};
    EXPECT_EQ(LoadArgb(WriteArgb(0, bmp, "", "argbsavedata1")), one);
    EXPECT_EQ(LoadArgb(WriteArgb(0, bmp, "", std::string("ARGBSaveData1\0zz", 16))), one);
    EXPECT_TRUE(LoadArgb(WriteArgb(0, bmp, "", "ARGBSaveData12")).empty());
    EXPECT_TRUE(LoadArgb(WriteArgb(0, bmp, "", "ARGBSaveData2")).empty());
    EXPECT_TRUE(LoadArgb(WriteArgb(7, bmp, "")).empty());

    // The function itself reads from the stream's position and hands out the type.
    TMemoryStream s("prefix" + WriteArgb(0, bmp, ""));
    s.SetPosition(6);
    uint8_t type = 99;
    auto bitmap = uARGBSaveFile::LoadARGBSaveData(&s, type);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(bitmap->Pixels, one);
    TMemoryStream seven(WriteArgb(7, bmp, ""));
    EXPECT_EQ(uARGBSaveFile::LoadARGBSaveData(&seven, type), nullptr);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(uARGBSaveFile::LoadARGBSaveData(nullptr, type), nullptr);
}

TEST(ArgbContainer, DamagedContainersFailTheLoad) {
    const TPictures p;
    const std::string pngRgb =
        ImageFixtures::WritePng({.Width = p.W, .Height = p.H, .ColourType = 2, .Samples = p.RgbSamples});
    const std::string jpegRgb = ImageFixtures::WriteJpeg(p.W, p.H, false, p.Rgb);
    const std::string smallGrey = ImageFixtures::WritePng(
        {.Width = p.W - 1, .Height = p.H, .ColourType = 0, .Samples = std::vector<uint16_t>((p.W - 1) * p.H, 9)});
    std::string beyond = WriteArgb(4, pngRgb, jpegRgb);
    beyond[21] = '\x7F', beyond[22] = '\x7F';  // picture 2 claims far more bytes than follow
    std::string negative = WriteArgb(1, pngRgb, "");
    negative[17] = negative[18] = negative[19] = negative[20] = '\xFF';  // -1: no picture 1

    EXPECT_TRUE(Fails(beyond));
    EXPECT_TRUE(Fails(negative));
    EXPECT_TRUE(Fails(WriteArgb(3, jpegRgb, smallGrey)));             // alpha picture narrower than the colour
    EXPECT_TRUE(Fails(WriteArgb(2, jpegRgb, "")));                    // no alpha picture
    EXPECT_TRUE(Fails(WriteArgb(2, jpegRgb, pngRgb)));                // alpha is not a JPEG
    EXPECT_TRUE(Fails(WriteArgb(4, pngRgb, jpegRgb).substr(0, 20)));  // short header
    EXPECT_TRUE(Fails(WriteArgb(1, jpegRgb, "")));
}

}  // namespace
