// Rectangle draws, the stretched draw, fills, the alpha overwrite, the clips they share and the
// colour helpers of the image library.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "media/ARGB8888DrawSupport.h"
#include "media/ARGB8888Kernels.h"
#include "media/ARGB8888Lib.h"

using ARGB8888DrawSupport::RowSkipped;
using ARGB8888DrawSupport::Unaliased;
using ARGB8888Lib::TBlendKernel;
using ARGB8888Lib::TColorFilter;

namespace ARGB8888Lib {

TColorFilter SelectColorFilter(uint32_t addColor, uint32_t mulColor) {
    if (addColor == 0) return mulColor == 0xFFFFFFFFu ? TColorFilter::None : TColorFilter::Multiply;
    return mulColor == 0xFFFFFFFFu ? TColorFilter::Add : TColorFilter::MultiplyAdd;
}

TBlendKernel SelectBlendKernel(TBlendMode mode, bool alphaTest) {
    switch (mode & 127) {
        case bmCopy:
            return alphaTest ? TBlendKernel::CopyAlphaTest : TBlendKernel::Copy;
        case bmBlend:
            return TBlendKernel::Blend;
        case bmScreen:
            return TBlendKernel::Screen;
        case bmMultiply:
            return TBlendKernel::Multiply;
        case bmDifference:
            return TBlendKernel::Difference;
        case bmLighten:
            return TBlendKernel::Lighten;
        case bmDarken:
            return TBlendKernel::Darken;
        case bmAdd:
            return TBlendKernel::Add;
        case bmSubtract:
            return TBlendKernel::Subtract;
        default:
            return TBlendKernel::Copy;
    }
}

int32_t TruncSaturate(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}

int32_t RoundHalfAway(double x) {
    return TruncSaturate(x >= 0.5 ? x + 0.5 : x - 0.5);
}

uint32_t MakeARGB(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}

uint32_t SwapRedBlue(uint32_t color) {
    return (color & 0xFF00FF00u) | ((color & 0xFF) << 16) | ((color >> 16) & 0xFF);
}

uint32_t AddColor(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int i = 0; i < 32; i += 8)
        out |= std::min<uint32_t>(255, ((a >> i) & 0xFF) + ((b >> i) & 0xFF)) << i;
    return out;
}

uint32_t BlendColor(uint32_t a, uint32_t b, int32_t t) {
    const uint32_t w = static_cast<uint32_t>(std::clamp(t, 0, 255));
    uint32_t out = 0;
    for (int i = 0; i < 32; i += 8)
        out |= (((255 - w) * ((a >> i) & 0xFF) + w * ((b >> i) & 0xFF)) / 255) << i;
    return out;
}

namespace {

// One edge moved in proportion: ((n - lo) x far + (hi - n) x near) div (hi - lo), truncating
// towards zero. The products can pass 64 bits only for rectangles the caller then rejects, so the
// result is held to 64 bits.
int64_t Proportion(int64_t n, int64_t lo, int64_t hi, int64_t nearEdge, int64_t farEdge) {
    const __int128 v = (static_cast<__int128>(n - lo) * farEdge + static_cast<__int128>(hi - n) * nearEdge) / (hi - lo);
    return static_cast<int64_t>(
        std::clamp<__int128>(v, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()));
}

}  // namespace

bool ClipRect(int32_t& destLeft, int32_t& destTop, int32_t& destRight, int32_t& destBottom, int32_t& left, int32_t& top,
              int32_t& right, int32_t& bottom, int32_t destWidth, int32_t destHeight, int32_t sourceWidth,
              int32_t sourceHeight) {
    int64_t dl = destLeft, dt = destTop, dr = destRight, db = destBottom;
    int64_t sl = left, st = top, sr = right, sb = bottom;
    if (sl > sr) std::swap(sl, sr);
    if (st > sb) std::swap(st, sb);
    if (dl > dr) std::swap(dl, dr);
    if (dt > db) std::swap(dt, db);
    auto empty = [&] { return sr - sl < 1 || sb - st < 1 || dr - dl < 1 || db - dt < 1; };
    if (empty()) return true;
    {
        const int64_t ndl = std::max<int64_t>(dl, 0), ndt = std::max<int64_t>(dt, 0);
        const int64_t ndr = std::min<int64_t>(dr, destWidth), ndb = std::min<int64_t>(db, destHeight);
        const int64_t nsl = Proportion(ndl, dl, dr, sl, sr), nst = Proportion(ndt, dt, db, st, sb);
        const int64_t nsr = Proportion(ndr, dl, dr, sl, sr), nsb = Proportion(ndb, dt, db, st, sb);
        dl = ndl, dt = ndt, dr = ndr, db = ndb;
        sl = nsl, st = nst, sr = nsr, sb = nsb;
    }
    if (dl > destWidth || dt > destHeight || dr < 0 || db < 0 || empty()) return true;
    {
        const int64_t nsl = std::max<int64_t>(sl, 0), nst = std::max<int64_t>(st, 0);
        const int64_t nsr = std::min<int64_t>(sr, sourceWidth), nsb = std::min<int64_t>(sb, sourceHeight);
        const int64_t ndl = Proportion(nsl, sl, sr, dl, dr), ndt = Proportion(nst, st, sb, dt, db);
        const int64_t ndr = Proportion(nsr, sl, sr, dl, dr), ndb = Proportion(nsb, st, sb, dt, db);
        sl = nsl, st = nst, sr = nsr, sb = nsb;
        dl = ndl, dt = ndt, dr = ndr, db = ndb;
    }
    if (sl > sourceWidth || st > sourceHeight || sr < 0 || sb < 0) return true;
    // Edges that met leave nothing to divide by.
    if (empty()) return true;
    destLeft = static_cast<int32_t>(dl), destTop = static_cast<int32_t>(dt);
    destRight = static_cast<int32_t>(dr), destBottom = static_cast<int32_t>(db);
    left = static_cast<int32_t>(sl), top = static_cast<int32_t>(st);
    right = static_cast<int32_t>(sr), bottom = static_cast<int32_t>(sb);
    return false;
}

bool ClipRectF(float& destLeft, float& destTop, float& destRight, float& destBottom, float& left, float& top,
               float& right, float& bottom, int32_t destWidth, int32_t destHeight, int32_t sourceWidth,
               int32_t sourceHeight) {
    float dl = destLeft, dt = destTop, dr = destRight, db = destBottom;
    float sl = left, st = top, sr = right, sb = bottom;
    for (float v : {dl, dt, dr, db, sl, st, sr, sb})
        if (!std::isfinite(v)) return true;
    if (sl > sr) std::swap(sl, sr);
    if (st > sb) std::swap(st, sb);
    if (dl > dr) std::swap(dl, dr);
    if (dt > db) std::swap(dt, db);
    // Extents are computed in double from the stored floats.
    auto empty = [&] {
        return double(sr) - sl < 0.1 || double(sb) - st < 0.1 || double(dr) - dl < 1.0 || double(db) - dt < 1.0;
    };
    auto moved = [](double n, double lo, double hi, double nearEdge, double farEdge) {
        return static_cast<float>(((n - lo) * farEdge + (hi - n) * nearEdge) / (hi - lo));
    };
    if (empty()) return true;
    {
        const float ndl = std::max(dl, 0.0f), ndt = std::max(dt, 0.0f);
        const float ndr = std::min(dr, static_cast<float>(destWidth)),
                    ndb = std::min(db, static_cast<float>(destHeight));
        const float nsl = moved(ndl, dl, dr, sl, sr), nst = moved(ndt, dt, db, st, sb);
        const float nsr = moved(ndr, dl, dr, sl, sr), nsb = moved(ndb, dt, db, st, sb);
        dl = ndl, dt = ndt, dr = ndr, db = ndb;
        sl = nsl, st = nst, sr = nsr, sb = nsb;
    }
    if (dl > destWidth || dt > destHeight || dr < 0 || db < 0 || empty()) return true;
    {
        const float nsl = std::max(sl, 0.0f), nst = std::max(st, 0.0f);
        const float nsr = std::min(sr, static_cast<float>(sourceWidth));
        const float nsb = std::min(sb, static_cast<float>(sourceHeight));
        const float ndl = moved(nsl, sl, sr, dl, dr), ndt = moved(nst, st, sb, dt, db);
        const float ndr = moved(nsr, sl, sr, dl, dr), ndb = moved(nsb, st, sb, dt, db);
        sl = nsl, st = nst, sr = nsr, sb = nsb;
        dl = ndl, dt = ndt, dr = ndr, db = ndb;
    }
    if (sl > sourceWidth || st > sourceHeight || sr < 0 || sb < 0) return true;
    destLeft = dl, destTop = dt, destRight = dr, destBottom = db;
    left = sl, top = st, right = sr, bottom = sb;
    return false;
}

bool NormalizeFillRect(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom, int32_t width, int32_t height) {
    int64_t l = left, t = top, r = right, b = bottom;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    if (r - l < 1 || b - t < 1) return true;
    l = std::max<int64_t>(l, 0), t = std::max<int64_t>(t, 0);
    r = std::min<int64_t>(r, width), b = std::min<int64_t>(b, height);
    if (l > width || t > height || r < 0 || b < 0) return true;
    left = static_cast<int32_t>(l), top = static_cast<int32_t>(t);
    right = static_cast<int32_t>(r), bottom = static_cast<int32_t>(b);
    return false;
}

}  // namespace ARGB8888Lib

using namespace ARGB8888Lib;

namespace {

// The first and end row of a rectangle of h rows at y under the vertical clip.
std::pair<int64_t, int64_t> ClipRows(int64_t y, int64_t h, int32_t clipTop, int32_t clipBottom) {
    return {std::max<int64_t>(0, clipTop - y), std::min<int64_t>(h, clipBottom - y)};
}

}  // namespace

void TARGB8888::Draw(TARGB8888* dest, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                     int32_t bottom) const {
    if (!dest) return;
    // Clipped at the destination's own height, so that pictures taller than 1024 rows draw whole.
    DrawEx(dest, 0, static_cast<float>(x), static_cast<float>(y), static_cast<float>(left), static_cast<float>(top),
           static_cast<float>(right), static_cast<float>(bottom), 0xFFFFFF, 255, bmCopy, 0, dest->Height());
}

void TARGB8888::DrawEx(TARGB8888* dest, uint32_t addColor, float fx, float fy, float fleft, float ftop, float fright,
                       float fbottom, uint32_t mulColor, uint32_t alpha, TBlendMode mode, int32_t clipTop,
                       int32_t clipBottom) const {
    if (!Active || alpha == 0 || !dest || !dest->Active) return;
    int32_t x = RoundHalfAway(fx), y = RoundHalfAway(fy);
    int32_t left = RoundHalfAway(fleft), top = RoundHalfAway(ftop);
    int32_t right = RoundHalfAway(fright), bottom = RoundHalfAway(fbottom);
    if (ClipUnscaled(x, y, left, top, right, bottom, dest->Width(), dest->Height(), Width(), Height())) return;
    const int32_t w = right - left, h = bottom - top;
    if (w < 2 || h < 1) return;
    const auto [r0, r1] = ClipRows(y, h, clipTop, clipBottom);
    if (r1 <= r0) return;
    const uint32_t add = addColor & 0xFFFFFF;
    const uint32_t m = (mulColor & 0xFFFFFF) | ((alpha & 0xFF) << 24);
    if (mode == bmBlend && !IsTransparent() && alpha == 255) mode = bmCopy;

    std::unique_ptr<TBitmap32> copy;
    const TBitmap32& source = Unaliased(*Active, *dest->Active, copy);
    const int32_t pairs = w / 2;
    if (add == 0 && m == 0xFFFFFFFFu && mode == bmCopy) {
        for (int64_t r = r0; r < r1; ++r) {
            if (RowSkipped(dest->Interlace, y + r)) continue;
            std::memcpy(dest->ScanLine(static_cast<int32_t>(y + r)) + x,
                        source.ScanLine(static_cast<int32_t>(top + r)) + left, sizeof(uint32_t) * 2 * pairs);
        }
        return;
    }
    const ARGB8888Kernels::TBlendRow row = ARGB8888Kernels::BlendRow(
        ARGB8888DrawSupport::Kernels(), SelectBlendKernel(mode, false), SelectColorFilter(add, m), true);
    for (int64_t r = r0; r < r1; ++r) {
        if (RowSkipped(dest->Interlace, y + r)) continue;
        uint32_t* d = dest->ScanLine(static_cast<int32_t>(y + r)) + x;
        row(d, d, source.ScanLine(static_cast<int32_t>(top + r)) + left, pairs, add, m);
    }
}

void TARGB8888::StretchDraw(TARGB8888* dest, uint32_t addColor, float destLeft, float destTop, float destRight,
                            float destBottom, float left, float top, float right, float bottom, uint32_t mulColor,
                            uint32_t alpha, TBlendMode mode, int32_t clipTop, int32_t clipBottom) const {
    if (!Active || alpha == 0 || !dest || !dest->Active) return;
    if (std::fabs((double(right) - left) - (double(destRight) - destLeft)) < 1.0 &&
        std::fabs((double(bottom) - top) - (double(destBottom) - destTop)) < 1.0) {
        DrawEx(dest, addColor, destLeft, destTop, left, top, right, bottom, mulColor, alpha, mode, clipTop, clipBottom);
        return;
    }
    const int32_t destWidth = dest->Width(), destHeight = dest->Height();
    if (ClipRectF(destLeft, destTop, destRight, destBottom, left, top, right, bottom, destWidth, destHeight, Width(),
                  Height()))
        return;
    const int64_t X = RoundHalfAway(destLeft), Y = RoundHalfAway(destTop);
    const int64_t w = RoundHalfAway(destRight) - X, h = RoundHalfAway(destBottom) - Y;
    if (w < 2 || h < 1) return;
    // The clip keeps the rectangle inside the destination; held here as well, whatever rounding did.
    if (X < 0 || Y < 0 || X + w > destWidth || Y + h > destHeight) return;

    // Steps in 1/4096 of a source pixel; the start offsets use 4094.
    const double sl = left, st = top, sr = right, sb = bottom;
    int64_t sx = RoundHalfAway((sr - sl) / static_cast<double>(w) * 4096.0);
    int64_t sy = RoundHalfAway((sb - st) / static_cast<double>(h) * 4096.0);
    const int64_t ox = TruncSaturate((sl - std::trunc(sl)) * 4094.0);
    const int64_t oy = TruncSaturate((st - std::trunc(st)) * 4094.0);
    // The last sample stays inside the source rectangle.
    while (sx > 0 && sl * 4096.0 + static_cast<double>(w - 1) * static_cast<double>(sx) >= sr * 4096.0)
        --sx;
    while (sy > 0 && st * 4096.0 + static_cast<double>(h - 1) * static_cast<double>(sy) >= sb * 4096.0)
        --sy;

    const int64_t sourceLeft = TruncSaturate(sl), sourceTop = TruncSaturate(st);
    const auto [r0, r1] = ClipRows(Y, h, clipTop, clipBottom);
    if (r1 <= r0) return;
    const uint32_t add = addColor & 0xFFFFFF;
    const uint32_t m = (mulColor & 0xFFFFFF) | ((alpha & 0xFF) << 24);
    if (mode == bmBlend && !IsTransparent() && alpha == 255) mode = bmCopy;

    std::unique_ptr<TBitmap32> copy;
    const TBitmap32& source = Unaliased(*Active, *dest->Active, copy);
    const int32_t pairs = static_cast<int32_t>(w / 2);
    // Source columns of the destination columns; held inside the image as a last guard.
    std::vector<int32_t> columns(2 * static_cast<size_t>(pairs));
    for (int32_t c = 0; c < 2 * pairs; ++c)
        columns[c] = static_cast<int32_t>(std::clamp<int64_t>(sourceLeft + ((ox + c * sx) >> 12), 0, source.Width - 1));
    std::vector<uint32_t> samples(columns.size());
    const ARGB8888Kernels::TBlendRow row = ARGB8888Kernels::BlendRow(
        ARGB8888DrawSupport::Kernels(), SelectBlendKernel(mode, false), SelectColorFilter(add, m), true);
    int64_t gathered = -1;  // an enlarged picture repeats source rows: their samples are kept
    for (int64_t r = r0; r < r1; ++r) {
        if (RowSkipped(dest->Interlace, Y + r)) continue;
        const int64_t sourceRow = std::clamp<int64_t>(sourceTop + ((sy * r + oy) >> 12), 0, source.Height - 1);
        if (sourceRow != gathered) {
            const uint32_t* s = source.ScanLine(static_cast<int32_t>(sourceRow));
            for (size_t c = 0; c < samples.size(); ++c)
                samples[c] = s[columns[c]];
            gathered = sourceRow;
        }
        uint32_t* d = dest->ScanLine(static_cast<int32_t>(Y + r)) + X;
        row(d, d, samples.data(), pairs, add, m);
    }
}

void TARGB8888::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t color) {
    // Clipped at the image's own height, so that pictures taller than 1024 rows fill whole.
    FillRectEx(color, bmCopy, static_cast<float>(left), static_cast<float>(top), static_cast<float>(right),
               static_cast<float>(bottom), 0, Height());
}

void TARGB8888::FillRectEx(uint32_t color, TBlendMode mode, float fleft, float ftop, float fright, float fbottom,
                           int32_t clipTop, int32_t clipBottom) {
    if (!Active) return;
    if (mode != bmCopy && (color >> 24) == 0) return;
    int32_t left = RoundHalfAway(fleft), top = RoundHalfAway(ftop);
    int32_t right = RoundHalfAway(fright), bottom = RoundHalfAway(fbottom);
    if (NormalizeFillRect(left, top, right, bottom, Width(), Height())) return;
    const int32_t w = right - left, h = bottom - top;
    if (w < 2 || h < 1) return;
    const auto [r0, r1] = ClipRows(top, h, clipTop, clipBottom);
    if (mode == bmBlend && (color >> 24) == 255) mode = bmCopy;
    const int32_t pairs = w / 2;
    if (mode == bmCopy) {
        for (int64_t r = r0; r < r1; ++r) {
            if (RowSkipped(Interlace, top + r)) continue;
            std::fill_n(ScanLine(static_cast<int32_t>(top + r)) + left, 2 * pairs, color);
        }
        return;
    }
    const std::vector<uint32_t> colour(2 * static_cast<size_t>(pairs), color);
    const ARGB8888Kernels::TBlendRow row = ARGB8888Kernels::BlendRow(
        ARGB8888DrawSupport::Kernels(), SelectBlendKernel(mode, false), TColorFilter::None, false);
    for (int64_t r = r0; r < r1; ++r) {
        if (RowSkipped(Interlace, top + r)) continue;
        uint32_t* d = ScanLine(static_cast<int32_t>(top + r)) + left;
        row(d, d, colour.data(), pairs, 0, 0xFFFFFFFFu);
    }
}

void TARGB8888::FillRectAdd(uint32_t colorA, uint32_t colorB, float left, float top, float right, float bottom,
                            uint32_t alpha, TBlendMode mode, int32_t clipTop, int32_t clipBottom) {
    FillRectEx((AddColor(colorA, colorB) & 0xFFFFFF) | ((alpha & 0xFF) << 24), mode, left, top, right, bottom, clipTop,
               clipBottom);
}

void TARGB8888::FillAlpha(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t alpha) {
    if (!Active) return;
    const uint32_t a = std::min<uint32_t>(alpha, 255) << 24;
    if (NormalizeFillRect(left, top, right, bottom, Width(), Height())) return;
    const int32_t w = right - left, h = bottom - top;
    if (w < 2 || h < 1) return;
    const int32_t n = w / 2 * 2;
    for (int32_t r = top; r < bottom; ++r) {
        uint32_t* p = ScanLine(r) + left;
        for (int32_t i = 0; i < n; ++i)
            p[i] = (p[i] & 0xFFFFFF) | a;
    }
}
