// Picture files made in code for the image tests and the fuzz seeds: BMP of any depth and
// layout, PNG through libpng's writer, JPEG through libjpeg, and the ".argb" container.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TARGB8888;

namespace ImageFixtures {

struct TBmp {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Bits = 24;
    uint32_t Compression = 0;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    bool TopDown = false;
    int32_t HeaderSize = 40;           // 12 (core), 40, or 108 (masks inside the header)
    std::vector<uint32_t> Palette{};   // 0x00RRGGBB
    uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (bit fields)
    // Row 0 is the top row. Per pixel: the palette index (8 bits and fewer), the 16-bit word,
    // 0x00RRGGBB (24 bits) or the 32-bit value as stored.
    std::vector<uint32_t> Pixels{};
    std::string Data{};  // when not empty, the pixel data as written (RLE)
};
std::string WriteBmp(const TBmp& bmp);

struct TPng {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t ColourType = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    int32_t BitDepth = 8;
    bool Interlaced = false;
    std::vector<uint16_t> Samples{};      // row 0 first, channels interleaved, one value per sample
    std::vector<uint32_t> Palette{};      // 0x00RRGGBB
    std::vector<uint8_t> Transparency{};  // a tRNS chunk: palette alphas, or one grey / RGB key
};
std::string WritePng(const TPng& png);

// Samples: one (grey) or three (R, G, B) bytes per pixel, row 0 first.
std::string WriteJpeg(int32_t width, int32_t height, bool grey, const std::vector<uint8_t>& samples,
                      int32_t quality = 90);
// A four-component (CMYK) JPEG: its header reads, but it cannot be decoded to RGB.
std::string WriteCmykJpeg(int32_t width, int32_t height);
// What libjpeg itself decodes with the loaders' settings: 0x00RRGGBB per pixel, or for grey236
// the quantised grey level repeated in the three colour bytes.
std::vector<uint32_t> DecodeJpegReference(const std::string& jpeg, bool grey236);

std::string WriteArgb(uint8_t type, const std::string& picture1, const std::string& picture2,
                      const std::string& magic = "ARGBSaveData1");

// Pixels of an image, row by row; and an image set to given pixels or one colour.
using TPixels = std::vector<uint32_t>;
TPixels PixelsOf(const TARGB8888& image);
void SetPixels(TARGB8888& image, int32_t w, int32_t h, const TPixels& pixels);
void Filled(TARGB8888& image, int32_t w, int32_t h, uint32_t colour);

}  // namespace ImageFixtures
