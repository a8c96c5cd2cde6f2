// A JPEG decoder that hands its picture over row by row, for the motion movies: full scale, the
// fast integer transform, no block smoothing. Colour pictures come as rows of blue, green, red
// bytes; greyscale pictures are quantised with an ordered dither to 236 levels and come as rows
// of level numbers 0..235. One decompression object serves every picture of a movie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TStream;

// How a decoded row is laid out, as announced before the first row.
enum class TJpegRowFormat : uint8_t {
    Grey8 = 3,  // one level byte per pixel
    Bgr24 = 6,  // three bytes per pixel: blue, green, red
};

class TJpegLoader {
public:
    TJpegLoader();
    ~TJpegLoader();
    TJpegLoader(const TJpegLoader&) = delete;
    TJpegLoader& operator=(const TJpegLoader&) = delete;

    // Decodes the JPEG from the stream's position to its end. False for a nullptr or empty
    // stream and for a picture that cannot be decoded (Error() says why).
    bool LoadFromStream(TStream* stream);
    // The same over bytes in memory.
    bool LoadFromMemory(const uint8_t* data, size_t size);

    // Called once with the picture's size before any row; returning false abandons the picture.
    std::function<bool(int32_t width, int32_t height, TJpegRowFormat format)> OnSize;
    // Called for rows 0 .. height - 1 in order, with the row format announced.
    std::function<void(const uint8_t* row, int32_t y)> OnRow8;
    std::function<void(const uint8_t* row, int32_t y)> OnRow24;
    // When set, a colour picture skips OnRow24: the library writes row y straight to the memory
    // this returns, four bytes per pixel (blue, green, red, 255), which saves a pass over every
    // pixel of a movie frame.
    std::function<uint8_t*(int32_t y)> OnColourRowTarget;

    // The settings applied to every picture.
    enum class TDctMethod : uint8_t { IntegerSlow, IntegerFast, Float };
    enum class TDitherMode : uint8_t { None, Ordered, FloydSteinberg };
    TDctMethod DctMethod = TDctMethod::IntegerFast;
    bool TwoPassQuantize = false;
    TDitherMode DitherMode = TDitherMode::Ordered;

    // Why the last picture failed: the library's own message, or ours.
    const std::string& Error() const { return ErrorText; }
    std::string ErrorText;

private:
    struct TDecoder;  // the library's objects, kept out of this header
    bool Decode(const uint8_t* data, size_t size);
    std::unique_ptr<TDecoder> Decoder;
};
