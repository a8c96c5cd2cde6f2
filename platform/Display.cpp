#include "platform/Display.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// The part of a w x h copy at (x, y) that lies inside a width x height area: the shifts into the
// source and the size left. False when nothing is left.
bool ClipCopy(int32_t& x, int32_t& y, int32_t& w, int32_t& h, int32_t& skipX, int32_t& skipY, int32_t width,
              int32_t height) {
    skipX = skipY = 0;
    int64_t left = x, top = y, right = int64_t(x) + w, bottom = int64_t(y) + h;
    if (left < 0) skipX = static_cast<int32_t>(-left), left = 0;
    if (top < 0) skipY = static_cast<int32_t>(-top), top = 0;
    right = std::min<int64_t>(right, width);
    bottom = std::min<int64_t>(bottom, height);
    if (right <= left || bottom <= top) return false;
    x = static_cast<int32_t>(left);
    y = static_cast<int32_t>(top);
    w = static_cast<int32_t>(right - left);
    h = static_cast<int32_t>(bottom - top);
    return true;
}

// A channel of `bits` bits widened to eight by repeating its top bits.
uint32_t Widen(uint32_t v, int bits) {
    return ((v << (8 - bits)) | (v >> (2 * bits - 8))) & 0xFF;
}

}  // namespace

namespace Display {

TDisplayPixelFormat FormatForDepth(int32_t bitDepth) {
    if (bitDepth > 24) return {32, 4, 0, 0xFF0000, 0x00FF00, 0x0000FF};
    if (bitDepth > 16) return {24, 3, 0, 0xFF0000, 0x00FF00, 0x0000FF};
    if (bitDepth == 16) return {16, 2, 0, 0xF800, 0x07E0, 0x001F};
    return {16, 2, 0, 0x7C00, 0x03E0, 0x001F};
}

bool DepthSupported(int32_t bitDepth) {
    return bitDepth == 32 || bitDepth == 24 || bitDepth == 16 || bitDepth == 15;
}

void StoreRow(const TDisplayPixelFormat& format, uint8_t* to, const uint32_t* from, int32_t count) {
    switch (format.BytesPerPixel) {
        case 4:
            for (int32_t i = 0; i < count; ++i) {
                const uint32_t v = from[i] | 0xFF000000;
                std::memcpy(to + 4 * i, &v, 4);
            }
            break;
        case 3:
            for (int32_t i = 0; i < count; ++i) {
                const uint32_t c = from[i];
                to[3 * i] = static_cast<uint8_t>(c);
                to[3 * i + 1] = static_cast<uint8_t>(c >> 8);
                to[3 * i + 2] = static_cast<uint8_t>(c >> 16);
            }
            break;
        default:
            if (format.GMask == 0x07E0) {
                for (int32_t i = 0; i < count; ++i) {
                    const uint32_t c = from[i];
                    const auto v = static_cast<uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x1F));
                    std::memcpy(to + 2 * i, &v, 2);
                }
            } else {
                for (int32_t i = 0; i < count; ++i) {
                    const uint32_t c = from[i];
                    const auto v = static_cast<uint16_t>(((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x1F));
                    std::memcpy(to + 2 * i, &v, 2);
                }
            }
            break;
    }
}

uint32_t LoadPixel(const TDisplayPixelFormat& format, const uint8_t* at) {
    switch (format.BytesPerPixel) {
        case 4: {
            uint32_t v;
            std::memcpy(&v, at, 4);
            return v | 0xFF000000;
        }
        case 3:
            return 0xFF000000 | (uint32_t(at[2]) << 16) | (uint32_t(at[1]) << 8) | at[0];
        default: {
            uint16_t v;
            std::memcpy(&v, at, 2);
            const bool wideGreen = format.GMask == 0x07E0;
            const uint32_t r = wideGreen ? (v >> 11) & 31 : (v >> 10) & 31;
            const uint32_t g = wideGreen ? (v >> 5) & 63 : (v >> 5) & 31;
            const uint32_t b = v & 31;
            return 0xFF000000 | (Widen(r, 5) << 16) | (Widen(g, wideGreen ? 6 : 5) << 8) | Widen(b, 5);
        }
    }
}

TRowSpan StoreRect(const TDisplayLock& lock, int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* pixels,
                   int32_t stride) {
    int32_t skipX, skipY;
    if (!lock.Pixels || !pixels || !ClipCopy(x, y, w, h, skipX, skipY, lock.Width, lock.Height)) return {};
    for (int32_t r = 0; r < h; ++r) {
        const uint32_t* from = pixels + static_cast<ptrdiff_t>(r + skipY) * stride + skipX;
        uint8_t* to = lock.Pixels + static_cast<ptrdiff_t>(y + r) * lock.Pitch +
                      static_cast<ptrdiff_t>(x) * lock.Format.BytesPerPixel;
        StoreRow(lock.Format, to, from, w);
    }
    return {y, y + h};
}

}  // namespace Display

TMemoryDC::TMemoryDC(int32_t width, int32_t height)
    : Width(std::max(width, 0)), Height(std::max(height, 0)), Pixels(static_cast<size_t>(Width) * Height) {}

void TMemoryDC::BitBlt(int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* pixels, int32_t stride) {
    ++Blits;
    int32_t skipX, skipY;
    if (!pixels || !ClipCopy(x, y, w, h, skipX, skipY, Width, Height)) return;
    for (int32_t r = 0; r < h; ++r)
        std::memcpy(&Pixels[static_cast<size_t>(y + r) * Width + x],
                    pixels + static_cast<ptrdiff_t>(r + skipY) * stride + skipX, sizeof(uint32_t) * w);
}

void TBackBuffer::Reset(int32_t width, int32_t height, const TDisplayPixelFormat& format, uint32_t color) {
    W = std::max(width, 0);
    H = std::max(height, 0);
    Layout = format;
    RowBytes = W * format.BytesPerPixel;
    Locked = false;
    Bytes.assign(static_cast<size_t>(RowBytes) * H, 0);
    if (W > 0 && H > 0) {
        const std::vector<uint32_t> row(W, color);
        Display::StoreRow(Layout, Row(0), row.data(), W);
        for (int32_t y = 1; y < H; ++y)
            std::memcpy(Row(y), Row(0), RowBytes);
    }
    ChangedRows.assign(H, 1);
    ChangedTop = 0;
    ChangedBottom = H;
}

void TBackBuffer::Release() {
    Locked = false;
    W = H = RowBytes = 0;
    Bytes.clear();
    Bytes.shrink_to_fit();
    ChangedRows.clear();
    ChangedTop = ChangedBottom = 0;
}

TDisplayLock TBackBuffer::Describe() {
    return {Bytes.empty() ? nullptr : Bytes.data(), RowBytes, W, H, Layout};
}

bool TBackBuffer::Lock(TDisplayLock& lock) {
    if (Locked || Bytes.empty()) return false;
    Locked = true;
    lock = Describe();
    return true;
}

bool TBackBuffer::Unlock() {
    if (!Locked) return false;
    Locked = false;
    return true;
}

void TBackBuffer::MarkChanged(int32_t top, int32_t bottom) {
    top = std::max(top, 0);
    bottom = std::min(bottom, H);
    if (top >= bottom) return;
    for (int32_t y = top; y < bottom; ++y)
        ChangedRows[y] = 1;
    if (ChangedTop >= ChangedBottom) {
        ChangedTop = top;
        ChangedBottom = bottom;
    } else {
        ChangedTop = std::min(ChangedTop, top);
        ChangedBottom = std::max(ChangedBottom, bottom);
    }
}

const std::vector<Display::TRowSpan>& TBackBuffer::TakeChanged() {
    Spans.clear();
    // Only the rows between the first and the last marked are looked at: a still frame looks at none.
    const int32_t end = std::min(ChangedBottom, H);
    for (int32_t y = std::max(ChangedTop, 0); y < end;) {
        if (!ChangedRows[y]) {
            ++y;
            continue;
        }
        const int32_t top = y;
        while (y < end && ChangedRows[y])
            ChangedRows[y++] = 0;
        Spans.push_back({top, y});
    }
    ChangedTop = ChangedBottom = 0;
    return Spans;
}

void TBackBuffer::ReadPixels(std::vector<uint32_t>& out) const {
    out.resize(static_cast<size_t>(W) * H);
    for (int32_t y = 0; y < H; ++y) {
        const uint8_t* row = Row(y);
        for (int32_t x = 0; x < W; ++x)
            out[static_cast<size_t>(y) * W + x] = Display::LoadPixel(Layout, row + x * Layout.BytesPerPixel);
    }
}

void TDisplayWindowDC::BitBlt(int32_t x, int32_t y, int32_t w, int32_t h, const uint32_t* pixels, int32_t stride) {
    TDisplayLock lock;
    if (!Device.Lock(lock)) return;
    const Display::TRowSpan rows = Display::StoreRect(lock, x, y, w, h, pixels, stride);
    Device.MarkChanged(rows.Top, rows.Bottom);
    Device.Unlock();
}
