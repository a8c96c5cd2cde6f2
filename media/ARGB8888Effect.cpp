// The picture effects of the image: bilinear zoom, box blur, the tone-table effects (brightness and
// contrast, gamma, level range, tone line, colour tone), saturation and mirroring. They work on
// one picture in place and are made for the copies that carry an effect text, not for the frame
// being composed, so they ignore the interlace switch.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "media/ARGB8888DrawSupport.h"
#include "media/ARGB8888Lib.h"

using ARGB8888Lib::RoundHalfAway;

namespace {

// Round to nearest with halves to even, in double, saturating to the i32 range; NaN gives 0.
int32_t RoundEven(double x) {
    if (std::isnan(x)) return 0;
    const double r = std::nearbyint(x);
    if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

uint8_t ClampByte(int64_t v) {
    return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
}

// The bilinear step on one byte, f in 0..127: the weights sum to 127, so even equal bytes lose a
// little (255 becomes 253).
inline uint8_t MixByte(uint32_t p, uint32_t q, uint32_t f) {
    return static_cast<uint8_t>((p * (127 - f) + q * f) >> 7);
}

// One pass of the box blur from source into dest (same size): each byte becomes the mean of the
// (2 rx + 1) x (2 ry + 1) box around it, rows and columns beyond the picture repeating its edge.
// Sums per column of the box's rows slide down the picture, and a window over those sums slides
// along each row, so a pixel costs the same whatever the radius.
void BoxPass(const TBitmap32& source, TBitmap32& dest, int32_t rx, int32_t ry) {
    const int32_t w = source.Width, h = source.Height;
    const size_t lanes = static_cast<size_t>(w) * 4;
    std::vector<uint64_t> columns(lanes, 0);
    auto addRow = [&](int32_t y, int64_t times) {
        const uint32_t* row = source.ScanLine(y);
        for (int32_t x = 0; x < w; ++x)
            for (int i = 0; i < 4; ++i)
                columns[4 * static_cast<size_t>(x) + i] += static_cast<uint64_t>(times) * ((row[x] >> (8 * i)) & 0xFF);
    };
    addRow(0, ry + 1);
    for (int32_t d = 1; d <= ry; ++d)
        addRow(std::min(d, h - 1), 1);

    // A mean is floor(sum / n) with sum <= 255 n. (sum + 0.5) x (1 / n) lands strictly inside
    // (k, k + 1) for the true quotient k, far from either end for any n below 2^40, so the
    // truncation gives the exact floor without a division per byte.
    const double n = static_cast<double>(2 * static_cast<int64_t>(rx) + 1) * static_cast<double>(2 * ry + 1);
    const double inverse = 1.0 / n;
    const uint64_t* col = columns.data();
    for (int32_t y = 0; y < h; ++y) {
        uint64_t sum[4] = {0, 0, 0, 0};
        for (int i = 0; i < 4; ++i)
            sum[i] = static_cast<uint64_t>(rx + 1) * col[i];
        for (int32_t d = 1; d <= rx; ++d) {
            const size_t c = 4 * static_cast<size_t>(std::min(d, w - 1));
            for (int i = 0; i < 4; ++i)
                sum[i] += col[c + i];
        }
        uint32_t* out = dest.ScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            uint32_t p = 0;
            for (int i = 0; i < 4; ++i)
                p |= static_cast<uint32_t>((static_cast<double>(sum[i]) + 0.5) * inverse) << (8 * i);
            out[x] = p;
            const size_t in = 4 * static_cast<size_t>(std::min(x + rx + 1, w - 1));
            const size_t off = 4 * static_cast<size_t>(std::max(x - rx, 0));
            for (int i = 0; i < 4; ++i)
                sum[i] += col[in + i] - col[off + i];
        }
        if (y + 1 == h) break;
        const uint32_t* drop = source.ScanLine(std::max(y - ry, 0));
        const uint32_t* take = source.ScanLine(std::min(y + ry + 1, h - 1));
        for (int32_t x = 0; x < w; ++x)
            for (int i = 0; i < 4; ++i)
                columns[4 * static_cast<size_t>(x) + i] +=
                    static_cast<uint64_t>((take[x] >> (8 * i)) & 0xFF) - ((drop[x] >> (8 * i)) & 0xFF);
    }
}

}  // namespace

void TARGB8888::Zoom(int32_t x, int32_t y, float scaleX, float scaleY) {
    if (!Active) return;
    const double halfW = Width() / 2.0, halfH = Height() / 2.0;
    const int32_t left = Saturate(int64_t{RoundHalfAway(-halfW * scaleX)} + x);
    const int32_t top = Saturate(int64_t{RoundHalfAway(-halfH * scaleY)} + y);
    const int32_t right = Saturate(int64_t{RoundHalfAway(halfW * scaleX)} + x);
    const int32_t bottom = Saturate(int64_t{RoundHalfAway(halfH * scaleY)} + y);
    BilinearDraw(this, left, top, right, bottom, 0, 0, Width(), Height());
}

void TARGB8888::BilinearDraw(TARGB8888* dest, int32_t destLeft, int32_t destTop, int32_t destRight, int32_t destBottom,
                             int32_t left, int32_t top, int32_t right, int32_t bottom) const {
    if (!Active || !dest || !dest->Active) return;
    if (ARGB8888Lib::ClipRect(destLeft, destTop, destRight, destBottom, left, top, right, bottom, dest->Width(),
                              dest->Height(), Width(), Height()))
        return;
    std::unique_ptr<TBitmap32> copy;
    const TBitmap32& source = ARGB8888DrawSupport::Unaliased(*Active, *dest->Active, copy);
    TBitmap32& out = *dest->Active;

    // A picture drawn short of the edges would leave the old pixels around it: clear the
    // source's area first. Every pixel, also an odd last column.
    if (destLeft > 1 || destTop > 1 || destRight < source.Width - 2 || destBottom < source.Height - 2) {
        const int32_t clearW = std::min(source.Width, out.Width), clearH = std::min(source.Height, out.Height);
        for (int32_t y = 0; y < clearH; ++y)
            std::fill_n(out.ScanLine(y), clearW, 0u);
    }

    // Positions in 1/1024 pixel; the weight is their fraction in 1/128.
    const int32_t dw = destRight - destLeft, dh = destBottom - destTop;
    const int64_t stepX = (static_cast<int64_t>(right - left) << 10) / dw;
    const int64_t stepY = (static_cast<int64_t>(bottom - top) << 10) / dh;
    const int32_t lastX = source.Width - 1, lastY = source.Height - 1;
    std::vector<int32_t> x0(static_cast<size_t>(dw)), x1(static_cast<size_t>(dw));
    std::vector<uint32_t> fx(static_cast<size_t>(dw));
    for (int32_t c = 0; c < dw; ++c) {
        const int64_t pos = (static_cast<int64_t>(left) << 10) + c * stepX;
        const int32_t col = static_cast<int32_t>(pos >> 10);
        x0[c] = std::min(col, lastX);
        x1[c] = col >= lastX ? lastX : col + 1;
        fx[c] = static_cast<uint32_t>((pos & 0x3FF) >> 3);
    }
    // Each byte is mixed across first, then down. A source row is mixed across once, into a row
    // of the destination's width, and kept while the destination rows between it and its
    // neighbour are mixed down from it. The pixel pairs are gathered before they are mixed, and
    // every byte of a column carries the column's weight, so that both mixes run on vector lanes.
    const size_t bytes = 4 * static_cast<size_t>(dw);
    std::vector<uint8_t> weight(bytes);
    for (size_t i = 0; i < bytes; ++i)
        weight[i] = static_cast<uint8_t>(fx[i / 4]);
    std::vector<uint32_t> firsts(static_cast<size_t>(dw)), seconds(static_cast<size_t>(dw));
    std::vector<uint32_t> across[2] = {std::vector<uint32_t>(static_cast<size_t>(dw)),
                                       std::vector<uint32_t>(static_cast<size_t>(dw))};
    int32_t acrossRow[2] = {-1, -1};
    auto mixedAcross = [&](int32_t y, int32_t keep) {
        for (int slot = 0; slot < 2; ++slot)
            if (acrossRow[slot] == y) return across[slot].data();
        const int slot = acrossRow[0] == keep ? 1 : 0;
        const uint32_t* row = source.ScanLine(y);
        for (int32_t c = 0; c < dw; ++c) {
            firsts[c] = row[x0[c]];
            seconds[c] = row[x1[c]];
        }
        const auto* p = reinterpret_cast<const uint8_t*>(firsts.data());
        const auto* q = reinterpret_cast<const uint8_t*>(seconds.data());
        const uint8_t* w = weight.data();
        auto* out = reinterpret_cast<uint8_t*>(across[slot].data());
        for (size_t i = 0; i < bytes; ++i)
            out[i] = MixByte(p[i], q[i], w[i]);
        acrossRow[slot] = y;
        return across[slot].data();
    };
    for (int32_t r = 0; r < dh; ++r) {
        const int64_t pos = (static_cast<int64_t>(top) << 10) + r * stepY;
        const int32_t y0 = std::min(static_cast<int32_t>(pos >> 10), lastY);
        const int32_t y1 = y0 >= lastY ? lastY : y0 + 1;
        const auto fy = static_cast<uint32_t>((pos & 0x3FF) >> 3);
        const auto* upper = reinterpret_cast<const uint8_t*>(mixedAcross(y0, y1));
        const auto* lower = reinterpret_cast<const uint8_t*>(mixedAcross(y1, y0));
        auto* d = reinterpret_cast<uint8_t*>(out.ScanLine(destTop + r) + destLeft);
        for (size_t i = 0; i < bytes; ++i)
            d[i] = MixByte(upper[i], lower[i], fy);
    }
    // The cleared border and the filtered alpha bytes are seldom opaque.
    dest->ScanTransparency();
}

void TARGB8888::Blur(int32_t width, int32_t height) {
    if (!Active) return;
    int32_t rx = width / 2, ry = height / 2;
    if (rx < 1 && ry < 1) return;
    // A radius beyond the picture counts as the picture's size: the sums stay small and the
    // cost bounded, and no sane radius changes.
    rx = std::clamp(rx, 1, std::max(Width(), 1));
    ry = std::clamp(ry, 1, std::max(Height(), 1));
    if (Width() < 1 || Height() < 1) return;
    TBitmap32 temporary(Width(), Height());
    BoxPass(*Active, temporary, rx, ry);
    BoxPass(temporary, *Active, rx, ry);
    ScanTransparency();  // transparent pixels spread into their neighbours
}

void TARGB8888::Bright(float brightness, float contrast) {
    int32_t inLow = 0, inHigh = 255, outLow = 0, outHigh = 255;
    const double c = contrast;
    if (c > 0) {
        inLow = RoundEven(127 * c);
        inHigh = RoundEven(255 - 127 * c);
    } else if (c < 0) {
        outLow = RoundEven(127 * -c);
        outHigh = RoundEven(255 - 127 * -c);
    }
    const int64_t shift = RoundEven(static_cast<double>(brightness) * 100);
    ToneLine(inLow, Saturate(outLow + shift), inHigh, Saturate(outHigh + shift));
}

void TARGB8888::Gamma(float gamma) {
    if (!Active || !(gamma > 0)) return;
    const double exponent = 1.0 / static_cast<double>(gamma);
    TToneTable table;
    for (int i = 0; i < 256; ++i)
        table[i] = ClampByte(RoundEven(255 * std::pow(i / 255.0, exponent)));
    ApplyToneTable(table);
}

void TARGB8888::Range(int32_t a, int32_t b) {
    ToneLine(std::min(a, b), 0, std::max(a, b), 255);
}

void TARGB8888::ToneLine(int32_t inputLow, int32_t outputLow, int32_t inputHigh, int32_t outputHigh) {
    if (!Active) return;
    TToneTable table;
    if (outputHigh == outputLow) {
        table.fill(ClampByte(outputLow));
    } else if (inputHigh == inputLow) {
        // A step at the input level; levels outside 0..255 put the whole table on one side.
        for (int i = 0; i < 256; ++i)
            table[i] = i < inputLow ? 0 : 255;
    } else {
        const double m = (static_cast<double>(outputHigh) - outputLow) / (static_cast<double>(inputHigh) - inputLow);
        const double n = outputLow - inputLow * m;
        for (int i = 0; i < 256; ++i)
            table[i] = ClampByte(RoundEven(i * m + n));
    }
    ApplyToneTable(table);
}

void TARGB8888::Chroma(float amount) {
    if (!Active) return;
    const int64_t k = RoundEven(static_cast<double>(amount) * -85);
    const int64_t w = 255 - 2 * k;
    for (uint32_t& p : Active->Pixels) {
        const int64_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        const uint32_t r2 = ClampByte((r * w + (g + b) * k) >> 8);
        const uint32_t g2 = ClampByte((g * w + (r + b) * k) >> 8);
        const uint32_t b2 = ClampByte((b * w + (r + g) * k) >> 8);
        p = (p & 0xFF000000u) | (r2 << 16) | (g2 << 8) | b2;
    }
}

void TARGB8888::ColorTone(uint32_t color, uint8_t mode) {
    if (!Active || mode < 2 || mode > 7) return;
    const auto a = static_cast<int32_t>(color >> 24);
    // The colour weighed by its alpha, over black (over white for multiply).
    const uint32_t weighed = ARGB8888Lib::BlendColor(mode == 4 ? 0xFFFFFFFFu : 0u, color, a);
    TToneTable tables[3];
    for (int channel = 0; channel < 3; ++channel) {
        const int shift = 16 - 8 * channel;  // red, green, blue
        const int32_t plain = static_cast<int32_t>((color >> shift) & 0xFF);
        const int32_t c = static_cast<int32_t>((weighed >> shift) & 0xFF);
        for (int32_t i = 0; i < 256; ++i) {
            int32_t v = 0;
            switch (mode) {
                case 2:
                    v = (i * (255 - a) + plain * a) >> 8;
                    break;
                case 3:
                    v = c + i - (i * c) / 255;
                    break;
                case 4:
                    v = (i * c) >> 8;
                    break;
                case 5:
                    v = std::abs(i - c);
                    break;
                case 6:
                    v = std::max(i, c);
                    break;
                default:
                    v = std::min(i, c);
                    break;
            }
            tables[channel][i] = ClampByte(v);
        }
    }
    ApplyChannelTables(tables[0], tables[1], tables[2]);
}

void TARGB8888::Mirror(bool horizontal, bool vertical) {
    if (!Active || (!horizontal && !vertical)) return;
    const TBitmap32 copy(*Active);
    const int32_t w = copy.Width, h = copy.Height;
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* from = copy.ScanLine(vertical ? h - 1 - y : y);
        uint32_t* to = Active->ScanLine(y);
        if (horizontal) {
            std::reverse_copy(from, from + w, to);
        } else {
            std::copy(from, from + w, to);
        }
    }
}

void TARGB8888::ApplyToneTable(const TToneTable& table) {
    ApplyChannelTables(table, table, table);
}

void TARGB8888::ApplyChannelTables(const TToneTable& red, const TToneTable& green, const TToneTable& blue) {
    if (!Active) return;
    for (uint32_t& p : Active->Pixels)
        p = (p & 0xFF000000u) | (static_cast<uint32_t>(red[(p >> 16) & 0xFF]) << 16) |
            (static_cast<uint32_t>(green[(p >> 8) & 0xFF]) << 8) | blue[p & 0xFF];
}
