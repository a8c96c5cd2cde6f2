// Window icons: the largest picture is chosen, a bitmap picture takes its mask (or keeps its own
// alpha), a PNG picture is read as it is, and damaged files give a reason instead of a picture.
#include <gtest/gtest.h>

#include "media/ARGB8888Lib.h"
#include "media/IconFile.h"
#include "platform/LittleEndian.h"
#include "tests/support/ImageFixtures.h"

namespace {

using ImageFixtures::TBmp;

// A bitmap picture as an icon stores it: the BMP without its file header, the height counted
// twice, and the mask rows (bottom row first, padded to four bytes) after the colour rows.
std::string IconBitmap(const TBmp& bmp, const std::vector<std::string>& maskRows) {
    std::string dib = ImageFixtures::WriteBmp(bmp).substr(14);
    LittleEndian::Put32(reinterpret_cast<uint8_t*>(dib.data()) + 8, static_cast<uint32_t>(bmp.Height * 2));
    const size_t stride = (static_cast<size_t>(bmp.Width) + 31) / 32 * 4;
    for (size_t r = maskRows.size(); r-- > 0;) {
        std::string row(stride, '\0');
        for (size_t x = 0; x < maskRows[r].size(); ++x)
            if (maskRows[r][x] == '#') row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        dib += row;
    }
    return dib;
}

struct TPicture {
    int Width, Height, Bits;
    std::string Bytes;
};

std::string Icon(const std::vector<TPicture>& pictures) {
    std::string out(6 + 16 * pictures.size(), '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    LittleEndian::Put16(p + 2, 1);
    LittleEndian::Put16(p + 4, static_cast<uint16_t>(pictures.size()));
    for (size_t i = 0; i < pictures.size(); ++i) {
        uint8_t* e = p + 6 + 16 * i;
        e[0] = static_cast<uint8_t>(pictures[i].Width);
        e[1] = static_cast<uint8_t>(pictures[i].Height);
        LittleEndian::Put16(e + 4, 1);
        LittleEndian::Put16(e + 6, static_cast<uint16_t>(pictures[i].Bits));
        LittleEndian::Put32(e + 8, static_cast<uint32_t>(pictures[i].Bytes.size()));
        LittleEndian::Put32(e + 12, static_cast<uint32_t>(out.size()));
        out += pictures[i].Bytes;
        p = reinterpret_cast<uint8_t*>(out.data());
    }
    return out;
}

std::unique_ptr<TBitmap32> Decode(const std::string& bytes, std::string& error) {
    return IconFile::Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), error);
}

// A 4 x 2 picture of 4 bits a pixel: red, green, blue, white over black, with its mask.
TPicture Small4Bit() {
    TBmp bmp{.Width = 4, .Height = 2, .Bits = 4};
    bmp.Palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    bmp.Pixels = {1, 2, 3, 4, 0, 0, 4, 4};
    return {4, 2, 4, IconBitmap(bmp, {"#...", "..##"})};
}

TEST(IconFileTest, TheLargestPictureWithItsMaskOrItsOwnAlpha) {
    TBmp tiny{.Width = 2, .Height = 1, .Bits = 32};
    tiny.Pixels = {0xFF123456, 0xFF654321};
    std::string error;
    auto picture = Decode(Icon({{2, 1, 32, IconBitmap(tiny, {".."})}, Small4Bit()}), error);
    ASSERT_TRUE(picture) << error;
    ASSERT_EQ(picture->Width, 4);
    ASSERT_EQ(picture->Height, 2);
    const std::vector<uint32_t> want = {0x00000000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF,
                                        0xFF000000, 0xFF000000, 0x00000000, 0x00000000};
    EXPECT_EQ(picture->Pixels, want);

    // A 32-bit picture with alpha keeps it and ignores its mask.
    TBmp alpha{.Width = 2, .Height = 2, .Bits = 32};
    alpha.Pixels = {0x80FF0000, 0xFF00FF00, 0x00000000, 0x400000FF};
    picture = Decode(Icon({{2, 2, 32, IconBitmap(alpha, {"##", "##"})}}), error);
    ASSERT_TRUE(picture) << error;
    EXPECT_EQ(picture->Pixels, alpha.Pixels);
}

TEST(IconFileTest, APngPicture) {
    ImageFixtures::TPng png{.Width = 2, .Height = 1, .ColourType = 2};
    png.Samples = {255, 0, 0, 0, 0, 255};
    std::string error;
    auto picture = Decode(Icon({Small4Bit(), {0, 0, 32, ImageFixtures::WritePng(png)}}), error);
    ASSERT_TRUE(picture) << error;  // 0 stands for 256 a side: the PNG entry is the largest
    EXPECT_EQ(picture->Pixels, (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
}

TEST(IconFileTest, DamagedFilesGiveAReason) {
    const std::string good = Icon({Small4Bit()});
    std::string oddHeight = good;
    oddHeight[6 + 16 + 8] = 3;  // the bitmap's doubled height
    std::string outside = good;
    LittleEndian::Put32(reinterpret_cast<uint8_t*>(outside.data()) + 6 + 12, 1000);
    std::string noPalette = good.substr(0, 6 + 16 + 44);
    LittleEndian::Put32(reinterpret_cast<uint8_t*>(noPalette.data()) + 6 + 8, 44);
    ImageFixtures::TPng png{.Width = 2, .Height = 1, .ColourType = 2};
    png.Samples = {1, 2, 3, 4, 5, 6};
    const std::string brokenPng = Icon({{2, 1, 32, ImageFixtures::WritePng(png).substr(0, 30)}});
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"a cursor, not an icon", std::string("\0\0\2\0\1\0", 6)},
        {"no pictures", std::string("\0\0\1\0\0\0", 6)},
        {"directory cut short", good.substr(0, 12)},
        {"picture outside the file", outside},
        {"odd bitmap height", oddHeight},
        {"palette cut short", noPalette},
        {"damaged PNG", brokenPng},
    };
    for (const auto& [name, bytes] : cases) {
        std::string error;
        EXPECT_FALSE(Decode(bytes, error)) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
}

}  // namespace
