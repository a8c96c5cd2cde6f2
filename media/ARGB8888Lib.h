// The image every picture of the engine lives in: width x height pixels of 32 bits, 0xAARRGGBB,
// so blue is the lowest byte and alpha the highest (255 covers, 0 lets everything through). A
// serial number changes when the pixels are declared changed, which is how the compositor spots
// new pictures, and a flag records whether some pixel is less than opaque. Pictures are read from BMP, JPEG, PNG and
// ".argb" streams and written as BMP and JPEG; the image is transferred into locked display surfaces of 16, 24 or 32
// bits per pixel.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

class IDeviceContext;
class TDDDD7;
class TFontTable;  // media/ARGB8888Font.h
class TPackSet;    // foundation/PackLib.h
class TStream;
struct TDisplayLock;

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

// The row parity that interlaced drawing writes, flipped once a frame so that two frames make a
// whole picture. The media context holds the game's. While an image is linked to one (see
// TARGB8888::Interlace), draws into the image and its transfers to a surface write only the rows
// whose y has that parity.
struct TInterlace {
    int32_t Field = 0;  // 0 or 1

    void ToggleField() { Field = (Field + 1) & 1; }
    bool Skips(int64_t y) const { return static_cast<int32_t>(y & 1) != Field; }
};

// A blend mode of the draws and fills. Scripts and stored pictures give any byte: the kernel goes
// by mode and 127, and the values from 10 up replace as bmReplace does.
using TBlendMode = uint8_t;
enum : TBlendMode {
    bmReplace = 0,  // the source replaces the destination
    bmCopy = 1,     // the same, except that rotated draws keep the destination under source alpha 0 and 1
    bmBlend = 2,
    bmScreen = 3,
    bmMultiply = 4,  // then blended by the source alpha, as are the next three
    bmDifference = 5,
    bmLighten = 6,
    bmDarken = 7,
    bmAdd = 8,
    bmSubtract = 9,
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
    // be read leaves the image empty and raises EImageLoadError; a JPEG whose header the decoder
    // refuses leaves it empty as well, and the player is told through the host's message forms.
    bool LoadFromStream(TStream* stream, const std::string& name, const TDialogHost& notices = {});
    bool LoadFromBmpStream(TStream* stream) { return LoadFromStream(stream, ".bmp"); }
    bool LoadFromJpegStream(TStream* stream) { return LoadFromStream(stream, ".jpg"); }
    bool LoadFromPngStream(TStream* stream) { return LoadFromStream(stream, ".png"); }
    bool LoadFromArgbStream(TStream* stream) { return LoadFromStream(stream, ".argb"); }
    // Reads the file through the pack set and loads it under its own name; false when the file
    // cannot be had.
    bool LoadFromFile(const TPackSet& packs, const std::string& name, const TDialogHost& notices = {});

    // The active bitmap as a 32-bit BMP file; false without a stream or bitmap, or when the
    // write fails.
    bool SaveToStream(TStream* stream) const;
    // The active bitmap as a baseline JPEG of 24-bit colour; false without a stream or bitmap, or
    // when the picture cannot be encoded or written.
    bool SaveToJpegStream(TStream* stream, int32_t quality) const;

    // Copies the source rectangle (left, top, right, bottom; right and bottom exclusive) to
    // (x, y) of a locked surface, converted to the surface's pixel format; while this image is
    // linked to an interlace field, only surface rows of the field's parity. Always true.
    bool TransferToSurface(const TSurfaceDesc& desc, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                           int32_t bottom) const;

    // ---- Presents (ARGB8888Present.cpp): the picture onto the display and onto a window canvas.
    // Copies the source rectangle to (x, y) of the display component's back buffer, locked for the
    // copy, and marks the rows written for the next flip. False without a display or back buffer,
    // or when the back buffer cannot be locked.
    bool DrawToSurface(TDDDD7* display, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                       int32_t bottom) const;
    // The whole active bitmap to (0, 0) of the canvas.
    void BitBltTo(IDeviceContext* dc) const;
    // The surface description of a locked back buffer.
    static TSurfaceDesc SurfaceOf(const TDisplayLock& lock);

    // ---- Draws, fills and transitions. The image the method is called on is the source (the
    // "from" picture of a transition), the first argument the destination; a nullptr destination
    // or an empty image does nothing. Rectangles are left, top, right, bottom with right and
    // bottom exclusive; pixels are handled in pairs, so an odd last column is left untouched.
    // Only destination rows clipTop <= y < clipBottom are written, and while the destination is
    // linked to an interlace field only those of the field's parity.

    // A plain copy of the source rectangle (alpha included) to (x, y), rows 0..destination height.
    void Draw(TARGB8888* dest, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom) const;
    // The source rectangle with its top-left corner at (x, y), through the colour filter (multiply
    // colour with alpha in its alpha byte, add colour) and the mode's kernel.
    void DrawEx(TARGB8888* dest, uint32_t addColor, float x, float y, float left, float top, float right, float bottom,
                uint32_t mulColor, uint32_t alpha, TBlendMode mode, int32_t clipTop, int32_t clipBottom) const;
    // The source rectangle scaled onto the destination rectangle, nearest pixel.
    void StretchDraw(TARGB8888* dest, uint32_t addColor, float destLeft, float destTop, float destRight,
                     float destBottom, float left, float top, float right, float bottom, uint32_t mulColor,
                     uint32_t alpha, TBlendMode mode, int32_t clipTop, int32_t clipBottom) const;
    // Fills a rectangle of this image, rows 0..height.
    void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t color);
    void FillRectEx(uint32_t color, TBlendMode mode, float left, float top, float right, float bottom, int32_t clipTop,
                    int32_t clipBottom);
    // FillRectEx with the colour bytes of AddColor(colorA, colorB) and the alpha byte of alpha.
    void FillRectAdd(uint32_t colorA, uint32_t colorB, float left, float top, float right, float bottom, uint32_t alpha,
                     TBlendMode mode, int32_t clipTop, int32_t clipBottom);
    // Sets the alpha byte of every pixel in the rectangle (above 255 counts as 255); no interlace.
    void FillAlpha(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t alpha);
    // Moves the picture by (dx, dy) inside the image and fills what it uncovers with colour: a fill
    // of the whole image, then a plain copy of the old picture drawn back at (dx, dy). Both work
    // on pixel pairs, so an odd last column keeps its pixels.
    void ShiftFill(int32_t dx, int32_t dy, uint32_t color);

    // The source rectangle scaled and rotated (angle in turns) about its centre, the centre landing
    // on (centerX, centerY).
    void RotateDraw(TARGB8888* dest, uint32_t addColor, float centerX, float centerY, float scaleX, float scaleY,
                    float angle, float left, float top, float right, float bottom, uint32_t mulColor, uint32_t alpha,
                    TBlendMode mode, int32_t clipTop, int32_t clipBottom) const;
    // Reveals the source rectangle where its alpha bytes are at or below the level's threshold,
    // with a 32-step soft edge. Modes 1 to 7 draw alike; the colours have no effect.
    void RuleDraw(TARGB8888* dest, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom,
                  uint32_t addColor, uint32_t mulColor, uint32_t alpha, TBlendMode mode, int32_t clipTop,
                  int32_t clipBottom) const;
    // Destination := per-byte average of source and destination, each halved first.
    void BlendHalf(TARGB8888* dest, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                   int32_t bottom) const;
    // Area-averaging reduction of the source rectangle into the destination rectangle; never enlarges.
    void ShrinkDraw(TARGB8888* dest, int32_t destLeft, int32_t destTop, int32_t destRight, int32_t destBottom,
                    int32_t left, int32_t top, int32_t right, int32_t bottom) const;
    // Alpha byte of each pixel := blue byte of the mask's pixel at the same place (common area).
    void SetAlphaFromImage(const TARGB8888* mask);
    // Destination := this picture and other mixed by this picture's alpha against the level (1..255).
    void RuleTransition(TARGB8888* dest, const TARGB8888* other, int32_t x, int32_t y, int32_t left, int32_t top,
                        int32_t right, int32_t bottom, int32_t level) const;
    // Destination := cross-fade from other (level 0) to this picture (level 255).
    void FadeDraw(TARGB8888* dest, const TARGB8888* other, int32_t x, int32_t y, int32_t left, int32_t top,
                  int32_t right, int32_t bottom, int32_t level) const;
    // Destination := the mode's kernel of colour over this picture, for colour fades.
    void FillBlend(TARGB8888* dest, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t color,
                   TBlendMode mode) const;

    // ---- Text through the engine's fonts (media/ARGB8888Text.cpp).
    // Draws Shift-JIS text into the active bitmap at (x, y), character by character, with font
    // fontIndex of the table (0..7; any other index draws with font 0) at a cell of charWidth x
    // charHeight; a character the font has no glyph for is drawn with font 0. The extent is the
    // advance along the writing direction and the other size of the last character. Without an
    // active bitmap nothing is drawn and the extent is left as it was.
    void TextOut(TFontTable& fonts, int32_t x, int32_t y, const std::string& text, int32_t charWidth,
                 int32_t charHeight, uint32_t color, int32_t fontIndex, bool vertical, int32_t& extentWidth,
                 int32_t& extentHeight);

    // ---- Picture effects (ARGB8888Effect.cpp). They change this image in place, every pixel of
    // it, without blending, pair rule or interlace; an image without an active bitmap is left
    // alone. None of them takes a new serial: the caller decides when the change shows.

    // A 256-entry map of a colour channel's value.
    using TToneTable = std::array<uint8_t, 256>;

    // Redraws the picture scaled by (scaleX, scaleY) about its centre, the centre landing on (x, y).
    void Zoom(int32_t x, int32_t y, float scaleX, float scaleY);
    // The source rectangle scaled onto the destination rectangle with bilinear filtering (weights of
    // 1/128 that sum to 127/128), stored unblended. The destination is first cleared to 0 over the
    // source's size unless the drawn rectangle reaches to within a pixel or two of every edge.
    void BilinearDraw(TARGB8888* dest, int32_t destLeft, int32_t destTop, int32_t destRight, int32_t destBottom,
                      int32_t left, int32_t top, int32_t right, int32_t bottom) const;
    // A box blur of (width div 2) by (height div 2) pixels each way, done twice; edge pixels repeat
    // beyond the picture.
    void Blur(int32_t width, int32_t height);
    // Brightness and contrast as fractions (0.2 = +20%).
    void Bright(float brightness, float contrast);
    void Gamma(float gamma);
    // Stretches the colour levels a..b (either order) to the whole range.
    void Range(int32_t a, int32_t b);
    // The straight tone line through (inputLow, outputLow) and (inputHigh, outputHigh).
    void ToneLine(int32_t inputLow, int32_t outputLow, int32_t inputHigh, int32_t outputHigh);
    // Saturation: -1 makes the picture grey, 0 keeps it (but for a slight darkening), above 0 raises it.
    void Chroma(float amount);
    // Lays colour (0xAARRGGBB) over every pixel's colour through blend mode 2 to 7; alpha kept.
    void ColorTone(uint32_t color, uint8_t mode);
    void Mirror(bool horizontal, bool vertical);
    // Maps the red, green and blue bytes of every pixel; alpha bytes stay.
    void ApplyToneTable(const TToneTable& table);
    void ApplyChannelTables(const TToneTable& red, const TToneTable& green, const TToneTable& blue);

    std::unique_ptr<TBitmap32> OwnedBitmap;  // nullptr when the image is empty
    TBitmap32* Target = nullptr;             // not owned
    TBitmap32* Active = nullptr;             // Target when set, else OwnedBitmap
    bool Transparent = true;
    std::function<void(int32_t time)> OnSetTime;
    std::function<bool()> OnIsTransparent;
    uint32_t Serial = 0;  // 0..0xFFFFFF
    // The field interlaced drawing writes in this image; nullptr (the default): every row.
    const TInterlace* Interlace = nullptr;

private:
    void ScanTransparency();
};

// Links an image to an interlace field (nullptr: to none) for a scope and puts its old link back
// afterwards.
class TInterlaceScope {
public:
    TInterlaceScope(TARGB8888& image, const TInterlace* field) : Image(image), Saved(image.Interlace) {
        image.Interlace = field;
    }
    ~TInterlaceScope() { Image.Interlace = Saved; }
    TInterlaceScope(const TInterlaceScope&) = delete;
    TInterlaceScope& operator=(const TInterlaceScope&) = delete;

private:
    TARGB8888& Image;
    const TInterlace* Saved;
};

namespace ARGB8888Lib {

// The next serial; the counter then advances, wrapping from 0xFFFFFF to 0. A serial tells an image
// apart from every other image alive and from its own earlier pixels, so there is one counter for
// the process, safe to draw from on any thread.
uint32_t NextSerial();
// Where the counter goes on; for tests of its wrap.
void SetNextSerial(uint32_t serial);

// The clip of every unscaled copy: the source rectangle and the destination position (changed in
// place) against the destination and source sizes. True when nothing is left.
bool ClipUnscaled(int32_t& x, int32_t& y, int32_t& left, int32_t& top, int32_t& right, int32_t& bottom,
                  int32_t destWidth, int32_t destHeight, int32_t sourceWidth, int32_t sourceHeight);

// ---- Colour helpers, kernels and the clips of the draws.

// How a draw tints each source lane before its kernel sees it. m: the multiply colour, whose alpha
// byte carries the draw's alpha; a: the add colour, its alpha byte cleared.
enum class TColorFilter : uint8_t {
    None,         // a = 0 and m = 0xFFFFFFFF
    Multiply,     // s := (s x m) shr 8
    Add,          // s := min(255, s + a)
    MultiplyAdd,  // s := min(255, ((s x m) shr 8) + a)
};
// The pixel kernels of the blend modes.
enum class TBlendKernel : uint8_t {
    Copy,
    CopyAlphaTest,  // copy, except that a source alpha of 0 or 1 keeps the destination pixel
    Blend,
    Screen,
    Multiply,
    Difference,
    Lighten,
    Darken,
    Add,
    Subtract,
};

TColorFilter SelectColorFilter(uint32_t addColor, uint32_t mulColor);
TBlendKernel SelectBlendKernel(TBlendMode mode, bool alphaTest);
// Round to nearest, halves away from zero; saturates to the i32 range, NaN gives 0.
int32_t RoundHalfAway(double x);
// Truncation towards zero that saturates to the i32 range, NaN giving 0.
int32_t TruncSaturate(double x);
uint32_t MakeARGB(uint32_t a, uint32_t r, uint32_t g, uint32_t b);
// Exchanges bytes 0 and 2 (0x00BBGGRR and 0x00RRGGBB convert into each other).
uint32_t SwapRedBlue(uint32_t color);
// Per byte min(255, a + b), all four bytes.
uint32_t AddColor(uint32_t a, uint32_t b);
// Per byte ((255 - t) x a + t x b) div 255, t clamped to 0..255.
uint32_t BlendColor(uint32_t a, uint32_t b, int32_t t);
bool IsMMXAvailable();

// The scaled clip of two rectangles (destination, source; changed in place) against the
// destination and source sizes, source edges moved in proportion to the destination's and back.
// True when nothing is left. The integer form computes in 64 bits.
bool ClipRect(int32_t& destLeft, int32_t& destTop, int32_t& destRight, int32_t& destBottom, int32_t& left, int32_t& top,
              int32_t& right, int32_t& bottom, int32_t destWidth, int32_t destHeight, int32_t sourceWidth,
              int32_t sourceHeight);
// The same on floats with exact division; stops at source extents below 0.1 and destination
// extents below 1.0. Rectangles that are not finite leave nothing.
bool ClipRectF(float& destLeft, float& destTop, float& destRight, float& destBottom, float& left, float& top,
               float& right, float& bottom, int32_t destWidth, int32_t destHeight, int32_t sourceWidth,
               int32_t sourceHeight);
// The fills' rectangle: ordered, then cut to width x height. True when nothing is left.
bool NormalizeFillRect(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom, int32_t width, int32_t height);

}  // namespace ARGB8888Lib

// ---- names of media items (used by the picture and sound caches too)
namespace ARGB8888Lib {
// The extension of a name: from the last "." after the last path delimiter, lower-cased; "" when
// there is none.
std::string ExtensionOf(const std::string& name);
}  // namespace ARGB8888Lib
