// The display device: one window that shows the game's frame, and a back buffer in memory that
// the engine fills and then presents. The back buffer keeps its pixels between frames; whoever
// writes rows says which (MarkChanged), and Present carries only those rows to the window before
// showing the frame. Full screen is the desktop's own full screen with the frame scaled to fit at
// its aspect ratio (Viewport::Fit); a window shows the frame at its size.
//
// Two backends: the SDL window (platform/sdl/SdlDisplay) and an in-memory one that hands every
// presented frame to a callback (platform/headless/HeadlessDisplay).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Viewport.h"

// How the pixels of a back buffer are laid out: bits and bytes per pixel and the masks of the
// channels, as a locked surface reports them.
struct TDisplayPixelFormat {
    int32_t BitCount = 32;  // 32, 24 or 16
    int32_t BytesPerPixel = 4;
    uint32_t AMask = 0;
    uint32_t RMask = 0xFF0000;
    uint32_t GMask = 0x00FF00;
    uint32_t BMask = 0x0000FF;
    bool operator==(const TDisplayPixelFormat&) const = default;
};

// A locked back buffer: row 0 at Pixels, Pitch bytes from one row to the next.
struct TDisplayLock {
    uint8_t* Pixels = nullptr;
    int32_t Pitch = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    TDisplayPixelFormat Format;
};

// What a display is opened with.
struct TDisplaySetup {
    int32_t Width = 640;  // the back buffer and the frame, in game pixels
    int32_t Height = 480;
    int32_t BitDepth = 32;  // 32, 24, 16 (5-6-5) or 15 (5-5-5)
    bool FullScreen = false;
    int32_t Refresh = 0;  // 0: any
    int32_t Driver = -1;  // index into Drivers(); -1 the default
    bool VSync = false;
    bool SystemMemory = false;  // draw without the graphics processor
    uint32_t BackColor = 0;     // 0x00RRGGBB of the bars and of a new back buffer
};

// One way of drawing the window that the device can offer.
struct TDisplayDriver {
    std::string Description;
    std::string Name;
    bool Accelerated = false;  // drawn by the graphics processor
};

// The step of opening a display that failed.
enum class TDisplayStep : uint8_t {
    None,
    Device,       // the drawing device (renderer) could not be created
    DisplayMode,  // the window could not take the asked mode (full screen, size, depth)
    BackBuffer,   // the back buffer or its texture could not be created
};

struct TDisplayError {
    TDisplayStep Step = TDisplayStep::None;
    int32_t Code = 0;  // not 0 on failure
    std::string Text;  // the library's own words
};

// A place that takes copies of 32-bit pictures, as a window's canvas does. Pixels are 0xAARRGGBB;
// whatever falls outside the context is cut off.
class IDeviceContext {
public:
    virtual ~IDeviceContext() = default;
    // Copies w x h pixels to (x, y); pixels points at the first source pixel, stride counts
    // pixels from one source row to the next.
    virtual void BitBlt(int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* pixels, int32_t stride) = 0;
    // Shows what was copied since the last flush, where the context is on screen.
    virtual void Flush() {}
};

// A device context in memory: the start-up preview's picture, and tests.
class TMemoryDC final : public IDeviceContext {
public:
    TMemoryDC(int32_t width, int32_t height);
    void BitBlt(int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* pixels, int32_t stride) override;
    void Flush() override { ++Flushes; }
    uint32_t Pixel(int32_t x, int32_t y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }

    int32_t Width;
    int32_t Height;
    std::vector<uint32_t> Pixels;
    int32_t Blits = 0;  // BitBlt calls
    int32_t Flushes = 0;
};

class IDisplayDevice {
public:
    virtual ~IDisplayDevice() = default;

    // The desktop: its colour depth in bits (32 for four bytes a pixel) and its size in pixels.
    virtual int32_t DesktopBitDepth() = 0;
    virtual Viewport::TSize DesktopSize() = 0;
    // Whether the device can show a game of this size and depth in full screen (refresh 0: any).
    virtual bool HasMode(int32_t width, int32_t height, int32_t bitDepth, int32_t refresh) = 0;
    virtual std::vector<TDisplayDriver> Drivers() = 0;

    // Puts the window into the asked mode and creates the drawing device and a back buffer filled
    // with the back colour. A window gets the game's size and is centred on the desktop; full
    // screen shows the window first. False with the step and the reason on failure; nothing is
    // left open then.
    virtual bool Open(const TDisplaySetup& setup, TDisplayError& error) = 0;
    // Releases the drawing device and the back buffer. The window keeps its mode until the next
    // Open, so that re-creating a full-screen display does not pass through a window.
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;
    // Whether the open device draws with the graphics processor.
    virtual bool Accelerated() = 0;

    // The back buffer. Lock fails while the device is closed, lost or already locked; Unlock fails
    // when nothing is locked.
    virtual bool Lock(TDisplayLock& lock) = 0;
    virtual bool Unlock() = 0;
    // Rows top..bottom - 1 of the back buffer were written; the next Present carries them.
    virtual void MarkChanged(int32_t top, int32_t bottom) = 0;
    // Carries the changed rows to the window and shows the frame.
    virtual void Present() = 0;

    // The device lost its drawing resources (the graphics device was reset); the back buffer
    // cannot be locked until Restore re-creates them. The back buffer's pixels survive.
    virtual bool IsLost() = 0;
    virtual bool Restore() = 0;

    // Whether the window is the active window of the desktop.
    virtual bool WindowActive() = 0;
    // Called whenever the window becomes the active window.
    virtual void SetActivateHandler(std::function<void()> handler) = 0;

    virtual bool ScreenSaverEnabled() = 0;
    virtual void SetScreenSaverEnabled(bool enabled) = 0;

    // The window's canvas: copies land in the back buffer, a flush presents them.
    virtual IDeviceContext& WindowDC() = 0;
};

namespace Display {

// The back-buffer layout of a colour depth: above 24 bits 8-8-8 in four bytes, 24 bits three
// bytes (blue, green, red), 16 bits 5-6-5, 15 bits 5-5-5 with the top bit unused.
TDisplayPixelFormat FormatForDepth(int32_t bitDepth);
// Whether a depth is one the back buffer can have (32, 24, 16, 15).
bool DepthSupported(int32_t bitDepth);
// Pixels 0xAARRGGBB stored in a format (the alpha byte is dropped).
void StoreRow(const TDisplayPixelFormat& format, uint8_t* to, const uint32_t* from, int32_t count);
// A stored pixel as 0xFFRRGGBB, each channel widened by repeating its top bits.
uint32_t LoadPixel(const TDisplayPixelFormat& format, const uint8_t* at);

// Runs of rows top..bottom - 1.
struct TRowSpan {
    int32_t Top = 0;
    int32_t Bottom = 0;
    bool operator==(const TRowSpan&) const = default;
};

// Copies w x h pixels 0xAARRGGBB into a locked buffer at (x, y), cut to the buffer; the rows
// written, empty when nothing was.
TRowSpan StoreRect(const TDisplayLock& lock, int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* pixels,
                   int32_t stride);

}  // namespace Display

// The back buffer both backends keep: pixels in memory in the mode's format, and the rows changed
// since the last present.
class TBackBuffer {
public:
    // A buffer of the given size and format, every pixel the colour (0x00RRGGBB); every row counts
    // as changed.
    void Reset(int32_t width, int32_t height, const TDisplayPixelFormat& format, uint32_t color);
    void Release();

    int32_t Width() const { return W; }
    int32_t Height() const { return H; }
    int32_t Pitch() const { return RowBytes; }
    const TDisplayPixelFormat& Format() const { return Layout; }
    uint8_t* Row(int32_t y) { return Bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(RowBytes); }
    const uint8_t* Row(int32_t y) const {
        return Bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(RowBytes);
    }
    TDisplayLock Describe();
    // One lock at a time: false while locked or empty.
    bool Lock(TDisplayLock& lock);
    bool Unlock();

    // Marks rows top..bottom - 1, cut to the buffer.
    void MarkChanged(int32_t top, int32_t bottom);
    void MarkAll() { MarkChanged(0, H); }
    // The runs of changed rows, top to bottom; the marks are cleared. The list is reused.
    const std::vector<Display::TRowSpan>& TakeChanged();

    // The whole buffer as 0xFFRRGGBB pixels.
    void ReadPixels(std::vector<uint32_t>& out) const;

private:
    int32_t W = 0;
    int32_t H = 0;
    int32_t RowBytes = 0;
    TDisplayPixelFormat Layout;
    std::vector<uint8_t> Bytes;
    std::vector<uint8_t> ChangedRows;  // one flag a row
    int32_t ChangedTop = 0;            // the marked rows lie in ChangedTop..ChangedBottom - 1
    int32_t ChangedBottom = 0;
    std::vector<Display::TRowSpan> Spans;
    bool Locked = false;
};

// The window canvas of a display device: a copy is stored into the back buffer (locked for the
// copy), a flush presents the frame.
class TDisplayWindowDC final : public IDeviceContext {
public:
    explicit TDisplayWindowDC(IDisplayDevice& device) : Device(device) {}
    void BitBlt(int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* pixels, int32_t stride) override;
    void Flush() override { Device.Present(); }

private:
    IDisplayDevice& Device;
};
