// The picture codecs behind the image library: BMP read and written by our own code, JPEG through
// libjpeg, PNG through libpng. Each reader takes the bytes of one complete file and gives a
// 32-bit bitmap whose SourceBits tells the depth the picture had; below 32 the alpha bytes are 0
// and the caller decides what they become (TBitmap32::ConvertTo32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

class TBitmap32;

namespace ImageCodecLib {

// A picture that cannot be read or written.
class ECodecError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// A JPEG whose header cannot be read: not a JPEG at all, or a damaged one.
class EJpegHeaderError : public ECodecError {
public:
    using ECodecError::ECodecError;
};

// The largest picture any reader accepts, by its pixel count only (256 MiB of pixels): a tall
// staff roll or a large photograph passes, whatever the length of one side. A size taken from a
// file is checked against it before anything is allocated.
constexpr int64_t MaxPixels = int64_t(1) << 26;
bool SizeAllowed(int64_t width, int64_t height);

// Windows BMP: core (12-byte) and info headers of 40 bytes or more; 1, 4, 8, 16, 24 and 32 bits
// per pixel; uncompressed, RLE8, RLE4 and bit fields; bottom-up or top-down rows. A 32-bit
// picture keeps its fourth byte as alpha. No bytes at all give an empty (0 x 0) bitmap. Pixel
// data that ends before the picture does is an error, run-length encoded or not.
std::unique_ptr<TBitmap32> DecodeBmp(const uint8_t* data, size_t size);
// A 32-bit uncompressed bottom-up BMP with a 40-byte header; DecodeBmp reads it back unchanged.
std::string EncodeBmp32(const TBitmap32& bitmap);
// A 16-bit uncompressed bottom-up BMP with a 40-byte header and 5-5-5 pixels (the top bit 0), each
// channel keeping its 5 high bits; rows padded to 4 bytes. Thumbnails of save games are stored so.
std::string EncodeBmp15(const TBitmap32& bitmap);

enum class TJpegOutput {
    Colour,   // 24-bit colour, SourceBits 24
    Grey236,  // greyscale quantised (with the library's dithering) to 236 levels, SourceBits 8
};
// Full scale, the accurate integer transform, fancy upsampling, no block smoothing.
std::unique_ptr<TBitmap32> DecodeJpeg(const uint8_t* data, size_t size, TJpegOutput output);
// Baseline JPEG of 24-bit colour (alpha dropped), quality 1..100.
std::string EncodeJpeg(const TBitmap32& bitmap, int32_t quality);

// PNG of any colour type and depth; 16-bit samples keep their high byte. Only the colour types
// with an alpha channel (grey + alpha, RGBA) give alpha (SourceBits 32); a transparency chunk of
// the other types is not used.
std::unique_ptr<TBitmap32> DecodePng(const uint8_t* data, size_t size);

}  // namespace ImageCodecLib
