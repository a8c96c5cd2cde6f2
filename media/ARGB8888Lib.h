// The engine's software image: a rectangle of 32-bit pixels 0xAARRGGBB (blue in the low byte,
// alpha in the high byte; alpha 255 is opaque, 0 fully transparent), with a serial number that
// tells the compositor when the pixels changed and a flag that says whether any pixel is not
// opaque. Pictures are read from BMP, JPEG, PNG and ".argb" streams and written as BMP and JPEG;
// the image is transferred into locked display surfaces of 16, 24 or 32 bits per pixel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TStream;

// A bitmap of 32-bit pixels, rows top to bottom, each row Width pixels with no padding.
// Pixels always holds Width x Height values. SourceBits is the depth of the picture the pixels
// came from: below 32 the alpha bytes carry nothing yet (see ConvertTo32).
class TBitmap32 {
public:
    TBitmap32() = default;
    TBitmap32(int32_t width, int32_t height);  // every pixel 0x00000000

    uint32_t* ScanLine(int32_t y) { return Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Width); }
    const uint32_t* ScanLine(int32_t y) const {
        return Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Width);
    }
    // Makes the bitmap a 32-bit picture: when it came from fewer bits per pixel, every alpha byte
    // becomes alpha; a 32-bit picture keeps its alpha bytes.
    void ConvertTo32(uint8_t alpha);

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t SourceBits = 32;
    std::vector<uint32_t> Pixels;
};

// A locked display surface: where its pixels are and how they are laid out.
struct TSurfaceDesc {
    uint8_t* Surface = nullptr;  // first byte of row 0
    int32_t Pitch = 0;           // bytes from one row to the next
    int32_t Width = 0;
    int32_t Height = 0;
    uint32_t RGBBitCount = 0;  // 16, 24 or 32
    uint32_t RBitMask = 0;
    uint32_t GBitMask = 0;  // 0x7E0 tells 5-6-5 from 5-5-5 at 16 bits
    uint32_t BBitMask = 0;
};

// A picture that could not be loaded; the message is the name the loader was given followed by
// "の読み込みに失敗しました".
class EImageLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TARGB8888 {
public:
    TARGB8888();   // empty, with a serial of its own
    ~TARGB8888();  // frees the owned bitmap only
    TARGB8888(const TARGB8888&) = delete;
    TARGB8888& operator=(const TARGB8888&) = delete;

    // Frees the owned bitmap, drops the target and both events, takes a new serial.
    void Clear();
    // A new owned bitmap of width x height with every pixel 0x00000000 (negative sizes count as 0).
    void SetSize(int32_t width, int32_t height);
    int32_t Width() const { return Active ? Active->Width : 0; }
    int32_t Height() const { return Active ? Active->Height : 0; }
    // Row y of the active bitmap; valid until the bitmap changes. y must be in 0..Height-1.
    uint32_t* ScanLine(int32_t y) const { return Active->ScanLine(y); }

    // Shows a foreign bitmap (not owned) instead of the owned one; nullptr returns to the owned
    // bitmap. Serial and transparency stay.
    void SetTarget(TBitmap32* bitmap);
    // Copies the other image's active bitmap and its transparency answer; nullptr does nothing.
    void Assign(const TARGB8888* image);
    // Copies a bitmap; one that came from fewer than 32 bits per pixel becomes opaque.
    void AssignBitmap(const TBitmap32* bitmap);
    bool IsTransparent() const;
    // Takes a new serial: whoever writes pixels of an image that is on screen calls it afterwards.
    void Changed();

    // Loads the picture whose kind the extension of name gives (".bmp", ".jpg", ".png", ".argb",
    // any case; name may be a whole file name or just the extension). Any other extension loads
    // nothing and leaves the image empty. False only for a nullptr stream. A picture that cannot
    // be read leaves the image empty and raises EImageLoadError.
    bool LoadFromStream(TStream* stream, const std::string& name);
    bool LoadFromBmpStream(TStream* stream) { return LoadFromStream(stream, ".bmp"); }
    bool LoadFromJpegStream(TStream* stream) { return LoadFromStream(stream, ".jpg"); }
    bool LoadFromPngStream(TStream* stream) { return LoadFromStream(stream, ".png"); }
    bool LoadFromArgbStream(TStream* stream) { return LoadFromStream(stream, ".argb"); }
    // Reads the file through the pack set and loads it under its own name; false when the file
    // cannot be had.
    bool LoadFromFile(const std::string& name);

    // The active bitmap as a 32-bit BMP file; false without a stream or bitmap, or when the
    // write fails.
    bool SaveToStream(TStream* stream) const;
    // The active bitmap as a baseline JPEG of 24-bit colour; false without a stream or bitmap, or
    // when the picture cannot be encoded or written.
    bool SaveToJpegStream(TStream* stream, int32_t quality) const;

    // Copies the source rectangle (left, top, right, bottom; right and bottom exclusive) to
    // (x, y) of a locked surface, converted to the surface's pixel format. Always true.
    bool TransferToSurface(const TSurfaceDesc& desc, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                           int32_t bottom) const;

    std::unique_ptr<TBitmap32> OwnedBitmap;  // nullptr when the image is empty
    TBitmap32* Target = nullptr;             // not owned
    TBitmap32* Active = nullptr;             // Target when set, else OwnedBitmap
    bool Transparent = true;
    std::function<void(int32_t time)> OnSetTime;
    std::function<bool()> OnIsTransparent;
    uint32_t Serial = 0;  // 0..0xFFFFFF

private:
    void ScanTransparency();
};

namespace ARGB8888Lib {

extern uint32_t SerialCounter;  // the next serial to hand out
// While set, every row loop of the image library touches only the rows whose y has the parity
// InterlaceField.
extern bool InterlaceMode;
extern int32_t InterlaceField;  // 0 or 1

// Shows a message to the user (the loaders' notice about a JPEG they cannot read). Set by the
// application; without it the notice is dropped.
extern std::function<void(const std::string& text)> OnMessage;

// The counter's value; the counter then advances, wrapping from 0xFFFFFF to 0.
uint32_t NextSerial();
void ToggleInterlaceField();

// The clip of every unscaled copy: the source rectangle and the destination position (changed in
// place) against the destination and source sizes. True when nothing is left.
bool ClipUnscaled(int32_t& x, int32_t& y, int32_t& left, int32_t& top, int32_t& right, int32_t& bottom,
                  int32_t destWidth, int32_t destHeight, int32_t sourceWidth, int32_t sourceHeight);

}  // namespace ARGB8888Lib
