// The draws beyond a rectangle copy: rotated, rule-masked, half blend, area-averaging reduction,
// and the whole-picture transitions of the screen compositor.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "media/ARGB8888DrawSupport.h"
#include "media/ARGB8888Kernels.h"
#include "media/ARGB8888Lib.h"

using namespace ARGB8888Lib;
using ARGB8888DrawSupport::RowSkipped;
using ARGB8888DrawSupport::Unaliased;

namespace {

struct TSegmentSpan {
    double A = 0.0;
    double B = 1.0;
};

// The part of the segment (u0, v0)-(u1, v1) that lies over the rectangle l..r, t..b, as parameters
// 0 <= A <= B <= 1. The line is cut with the four edges; two cuts give the span, none gives an
// empty one, any other count the whole segment.
TSegmentSpan ClipSegment(double l, double t, double r, double b, double u0, double v0, double u1, double v1) {
    if (std::fabs(u1 - u0) < 0.01 || std::fabs(v1 - v0) < 0.01 || r - l < 0.01 || b - t < 0.01) return {};
    const double m = (v1 - v0) / (u1 - u0);
    const double c = v0 - u0 * m;
    double cuts[4];
    int count = 0;
    for (double u : {l, r}) {
        const double v = std::trunc(u * m + c);
        if (t <= v && v <= b) cuts[count++] = (v - v0) / (v1 - v0);
    }
    for (double v : {t, b}) {
        const double u = std::trunc((v - c) / m);
        if (l <= u && u <= r) cuts[count++] = (u - u0) / (u1 - u0);
    }
    TSegmentSpan span;
    if (count == 0) {
        span.A = span.B = 0.0;
    } else if (count == 2) {
        span.A = std::min(cuts[0], cuts[1]);
        span.B = std::max(cuts[0], cuts[1]);
    }
    span.A = std::clamp(span.A, 0.0, 1.0);
    span.B = std::clamp(span.B, 0.0, 1.0);
    return span;
}

// What one row of a rotated draw needs besides its position.
struct TRotateRow {
    const TBitmap32* Source;
    TBitmap32* Dest;
    int64_t SL, ST, SR, SB;  // sample bounds, source pixels
    int64_t DU, DV;          // steps per destination pixel, 1/4096 source pixel
    ARGB8888Kernels::TBlendRow Row;
    uint32_t Add, Mul;
    std::vector<uint32_t>* Samples;
};

void RotateSpan(const TRotateRow& p, int64_t y, int64_t xL, int64_t xR, int64_t u0, int64_t v0) {
    const int64_t destWidth = p.Dest->Width;
    if (y < 0 || y >= p.Dest->Height || xL >= destWidth) return;
    int64_t start = xL, end = xR, u = u0, v = v0;
    if (p.DU != 0 && p.DV != 0) {
        const double length = static_cast<double>(xR - xL);
        const TSegmentSpan span =
            ClipSegment(static_cast<double>(p.SL) * 4096.0, static_cast<double>(p.ST) * 4096.0,
                        static_cast<double>(p.SR) * 4096.0, static_cast<double>(p.SB) * 4096.0, static_cast<double>(u0),
                        static_cast<double>(v0), static_cast<double>(u0) + length * static_cast<double>(p.DU),
                        static_cast<double>(v0) + length * static_cast<double>(p.DV));
        const int64_t n = RoundHalfAway(length * span.A);
        start = xL + n;
        end = xL + RoundHalfAway(length * span.B);
        u += n * p.DU;
        v += n * p.DV;
    }
    if (start < 0) {
        u += -start * p.DU;
        v += -start * p.DV;
        start = 0;
    }
    end = std::min(end, destWidth);
    const int64_t pairs = (end - start) / 2;
    if (pairs < 1) return;
    // Every pixel samples one step further along, the first one included.
    std::vector<uint32_t>& samples = *p.Samples;
    samples.resize(static_cast<size_t>(2 * pairs));
    for (auto& sample : samples) {
        u += p.DU;
        v += p.DV;
        const int64_t su = u >> 12, sv = v >> 12;
        sample = (p.SL <= su && su < p.SR && p.ST <= sv && sv < p.SB) ? p.Source->ScanLine(static_cast<int32_t>(sv))[su]
                                                                      : 0u;
    }
    uint32_t* d = p.Dest->ScanLine(static_cast<int32_t>(y)) + start;
    p.Row(d, d, samples.data(), static_cast<int32_t>(pairs), p.Add, p.Mul);
}

}  // namespace

void TARGB8888::RotateDraw(TARGB8888* dest, uint32_t addColor, float centerX, float centerY, float scaleX, float scaleY,
                           float angle, float fleft, float ftop, float fright, float fbottom, uint32_t mulColor,
                           uint32_t alpha, TBlendMode mode, int32_t clipTop, int32_t clipBottom) const {
    if (!Active || !dest || !dest->Active) return;
    for (float v : {centerX, centerY, scaleX, scaleY, angle, fleft, ftop, fright, fbottom})
        if (!std::isfinite(v)) return;
    const double cx = centerX, cy = centerY, scx = scaleX, scy = scaleY;
    const double left = fleft, top = ftop, right = fright, bottom = fbottom;
    if (scx < 0.0001 || scy < 0.0001 || right - left < 1.0) return;
    const int32_t a = RoundHalfAway(static_cast<double>(angle) * 4096.0) % 4096;
    const double hw = (right - left) * 0.5, hh = (bottom - top) * 0.5;
    if (a == 0) {
        if (RoundHalfAway(scx * 4096.0) == 4096 && RoundHalfAway(scy * 4096.0) == 4096)
            DrawEx(dest, addColor, static_cast<float>(cx - hw), static_cast<float>(cy - hh), fleft, ftop, fright,
                   fbottom, mulColor, alpha, mode, clipTop, clipBottom);
        else
            StretchDraw(dest, addColor, static_cast<float>(cx - hw * scx), static_cast<float>(cy - hh * scy),
                        static_cast<float>(cx + hw * scx), static_cast<float>(cy + hh * scy), fleft, ftop, fright,
                        fbottom, mulColor, alpha, mode, clipTop, clipBottom);
        return;
    }

    // The angle's constant is 3.1415, as the stored pictures were made with it.
    const double theta = 3.1415 * static_cast<double>(angle) / 0.5;
    const double cs = std::cos(theta), sn = std::sin(theta);
    double minx = std::numeric_limits<double>::infinity(), maxx = -minx, miny = minx, maxy = -minx;
    for (int corner = 0; corner < 4; ++corner) {
        const double px = (corner & 1) ? hw * scx : -hw * scx;
        const double py = (corner & 2) ? hh * scy : -hh * scy;
        const double x = px * cs - py * sn, y = px * sn + py * cs;
        minx = std::min(minx, x), maxx = std::max(maxx, x);
        miny = std::min(miny, y), maxy = std::max(maxy, y);
    }
    const double c = std::cos(-theta), s = std::sin(-theta);
    const double midU = (left + right) / 2, midV = (top + bottom) / 2;
    auto inverseU = [&](double px, double py) { return (px * c - py * s) / scx + midU; };
    auto inverseV = [&](double px, double py) { return (px * s + py * c) / scy + midV; };
    const double uA = inverseU(minx, miny), vA = inverseV(minx, miny);
    const double uB = inverseU(maxx, miny), vB = inverseV(maxx, miny);
    const double uC = inverseU(minx, maxy), vC = inverseV(minx, maxy);
    minx += cx, maxx += cx, miny += cy, maxy += cy;
    if (maxx - minx < 2.0) return;

    const uint32_t add = addColor & 0xFFFFFF;
    const uint32_t m = (mulColor & 0xFFFFFF) | ((alpha & 0xFF) << 24);
    if (mode == bmBlend && !IsTransparent() && alpha == 255) mode = bmCopy;
    std::unique_ptr<TBitmap32> copy;
    std::vector<uint32_t> samples;
    TRotateRow p;
    p.Source = &Unaliased(*Active, *dest->Active, copy);
    p.Dest = dest->Active;
    p.DU = RoundHalfAway((uB - uA) / (maxx - minx) * 4096.0);
    p.DV = RoundHalfAway((vB - vA) / (maxx - minx) * 4096.0);
    p.SL = RoundHalfAway(std::max(left, 0.0));
    p.ST = RoundHalfAway(std::max(top, 0.0));
    p.SR = RoundHalfAway(std::min(right, static_cast<double>(Width())));
    p.SB = RoundHalfAway(std::min(bottom, static_cast<double>(Height())));
    p.Row = ARGB8888Kernels::BlendRow(ARGB8888DrawSupport::Kernels(), SelectBlendKernel(mode, true),
                                      SelectColorFilter(add, m), true);
    p.Add = add;
    p.Mul = m;
    p.Samples = &samples;

    // Rows outside the destination draw nothing, so the loop starts and ends within it.
    const int64_t y0 = std::max<int64_t>(RoundHalfAway(std::max(miny, static_cast<double>(clipTop))), 0);
    const int64_t y1 =
        std::min<int64_t>(RoundHalfAway(std::min(maxy, static_cast<double>(clipBottom))), dest->Height());
    const int64_t xL = RoundHalfAway(minx), xR = RoundHalfAway(maxx);
    for (int64_t y = y0; y < y1; ++y) {
        if (RowSkipped(dest->Interlace, y)) continue;
        const double f = (static_cast<double>(y) - miny) / (maxy - miny);
        const double uL = (1 - f) * uA + f * uC, vL = (1 - f) * vA + f * vC;
        RotateSpan(p, y, xL, xR, RoundHalfAway(uL * 4096.0), RoundHalfAway(vL * 4096.0));
    }
}

void TARGB8888::RuleDraw(TARGB8888* dest, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                         int32_t bottom, uint32_t addColor, uint32_t mulColor, uint32_t alpha, TBlendMode mode,
                         int32_t clipTop, int32_t clipBottom) const {
    (void)addColor, (void)mulColor;  // the rule draw has no colour filter
    if (!Active || alpha == 0 || !dest || !dest->Active) return;
    if (ClipUnscaled(x, y, left, top, right, bottom, dest->Width(), dest->Height(), Width(), Height())) return;
    const int32_t w = right - left, h = bottom - top;
    if (w < 2 || h < 1) return;
    const int64_t r0 = std::max<int64_t>(0, static_cast<int64_t>(clipTop) - y);
    const int64_t r1 = std::min<int64_t>(h, static_cast<int64_t>(clipBottom) - y);
    if (mode == bmBlend) mode = bmCopy;
    if (mode < bmCopy || mode > bmDarken) return;
    // Levels above 255 reveal everything, as 255 does.
    const int32_t t = ARGB8888Kernels::Threshold(static_cast<int32_t>(std::min<uint32_t>(alpha, 255)));
    std::unique_ptr<TBitmap32> copy;
    const TBitmap32& source = Unaliased(*Active, *dest->Active, copy);
    const ARGB8888Kernels::TRuleRow row = ARGB8888Kernels::RuleRow(ARGB8888DrawSupport::Kernels());
    for (int64_t r = r0; r < r1; ++r) {
        if (RowSkipped(dest->Interlace, y + r)) continue;
        uint32_t* d = dest->ScanLine(static_cast<int32_t>(y + r)) + x;
        row(d, source.ScanLine(static_cast<int32_t>(top + r)) + left, d, w / 2, t);
    }
}

void TARGB8888::BlendHalf(TARGB8888* dest, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                          int32_t bottom) const {
    if (!Active || !dest || !dest->Active) return;
    if (ClipUnscaled(x, y, left, top, right, bottom, dest->Width(), dest->Height(), Width(), Height())) return;
    const int32_t w = right - left, h = bottom - top;
    if (w < 2 || h < 1) return;
    std::unique_ptr<TBitmap32> copy;
    const TBitmap32& source = Unaliased(*Active, *dest->Active, copy);
    const ARGB8888Kernels::THalfRow row = ARGB8888Kernels::HalfRow(ARGB8888DrawSupport::Kernels());
    for (int32_t r = 0; r < h; ++r) {
        if (RowSkipped(dest->Interlace, static_cast<int64_t>(y) + r)) continue;
        row(dest->ScanLine(y + r) + x, source.ScanLine(top + r) + left, w / 2);
    }
}

void TARGB8888::ShrinkDraw(TARGB8888* dest, int32_t destLeft, int32_t destTop, int32_t destRight, int32_t destBottom,
                           int32_t left, int32_t top, int32_t right, int32_t bottom) const {
    if (!Active || !dest || !dest->Active) return;
    if (ClipRect(destLeft, destTop, destRight, destBottom, left, top, right, bottom, dest->Width(), dest->Height(),
                 Width(), Height()))
        return;
    const int64_t dw = destRight - destLeft, dh = destBottom - destTop;
    const int64_t sw = right - left, sh = bottom - top;
    const int64_t bw = sw / dw, bh = sh / dh;
    if (bw == 0 || bh == 0) return;  // the reduction never enlarges
    const int64_t sx = (sw << 10) / dw, sy = (sh << 10) / dh;
    const int64_t q = 4096 / (bw * bh);
    std::unique_ptr<TBitmap32> copy;
    const TBitmap32& source = Unaliased(*Active, *dest->Active, copy);
    for (int64_t r = 0; r < dh; ++r) {
        const int64_t boxTop = top + ((r * sy) >> 10);
        uint32_t* d = dest->ScanLine(static_cast<int32_t>(destTop + r)) + destLeft;
        for (int64_t c = 0; c < dw; ++c) {
            const int64_t boxLeft = left + ((c * sx) >> 10);
            int64_t sum[4] = {0, 0, 0, 0};
            for (int64_t by = 0; by < bh; ++by) {
                const uint32_t* s = source.ScanLine(static_cast<int32_t>(boxTop + by)) + boxLeft;
                for (int64_t bx = 0; bx < bw; ++bx)
                    for (int i = 0; i < 4; ++i)
                        sum[i] += (s[bx] >> (8 * i)) & 0xFF;
            }
            uint32_t pixel = 0;
            for (int i = 0; i < 4; ++i)
                pixel |= static_cast<uint32_t>(((sum[i] * q) >> 12) & 0xFF) << (8 * i);
            d[c] = pixel;
        }
    }
}

void TARGB8888::SetAlphaFromImage(const TARGB8888* mask) {
    if (!Active || !mask || !mask->Active) return;
    const int32_t w = std::min(Width(), mask->Width()), h = std::min(Height(), mask->Height());
    for (int32_t y = 0; y < h; ++y) {
        uint32_t* p = ScanLine(y);
        const uint32_t* m = mask->ScanLine(y);
        for (int32_t x = 0; x < w; ++x)
            p[x] = (p[x] & 0xFFFFFF) | ((m[x] & 0xFF) << 24);
    }
}

namespace {

// The common part of the two transitions: clip against this picture and the destination, then
// require the other picture to cover both the source and the destination position.
bool TransitionArea(const TARGB8888& self, const TARGB8888& dest, const TARGB8888& other, int32_t& x, int32_t& y,
                    int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) {
    if (ClipUnscaled(x, y, left, top, right, bottom, dest.Width(), dest.Height(), self.Width(), self.Height()))
        return false;
    const int64_t w = right - left, h = bottom - top;
    if (other.Width() < x + w || other.Width() < right || other.Height() < y + h || other.Height() < bottom)
        return false;
    return w >= 2 && h >= 1;
}

template <class TRow>
void TransitionRows(const TBitmap32& self, TBitmap32& dest, const TInterlace* interlace, const TBitmap32& other,
                    int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom, TRow row,
                    int32_t value) {
    std::unique_ptr<TBitmap32> selfCopy, otherCopy;
    const TBitmap32& s = Unaliased(self, dest, selfCopy);
    const TBitmap32& o = Unaliased(other, dest, otherCopy);
    const int32_t pairs = (right - left) / 2;
    for (int32_t r = 0; r < bottom - top; ++r) {
        if (RowSkipped(interlace, static_cast<int64_t>(y) + r)) continue;
        row(dest.ScanLine(y + r) + x, s.ScanLine(top + r) + left, o.ScanLine(top + r) + left, pairs, value);
    }
}

}  // namespace

void TARGB8888::RuleTransition(TARGB8888* dest, const TARGB8888* other, int32_t x, int32_t y, int32_t left, int32_t top,
                               int32_t right, int32_t bottom, int32_t level) const {
    if (!Active || !dest || !dest->Active || !other || !other->Active || level < 1) return;
    if (!TransitionArea(*this, *dest, *other, x, y, left, top, right, bottom)) return;
    // Levels above 255 show this picture everywhere, as 255 does.
    TransitionRows(*Active, *dest->Active, dest->Interlace, *other->Active, x, y, left, top, right, bottom,
                   ARGB8888Kernels::RuleRow(ARGB8888DrawSupport::Kernels()),
                   ARGB8888Kernels::Threshold(std::min(level, 255)));
}

void TARGB8888::FadeDraw(TARGB8888* dest, const TARGB8888* other, int32_t x, int32_t y, int32_t left, int32_t top,
                         int32_t right, int32_t bottom, int32_t level) const {
    if (!Active || !dest || !dest->Active || !other || !other->Active) return;
    if (!TransitionArea(*this, *dest, *other, x, y, left, top, right, bottom)) return;
    const int32_t k = (255 - std::clamp(level, 0, 255)) >> 1;
    TransitionRows(*Active, *dest->Active, dest->Interlace, *other->Active, x, y, left, top, right, bottom,
                   ARGB8888Kernels::FadeRow(ARGB8888DrawSupport::Kernels()), k);
}

void TARGB8888::FillBlend(TARGB8888* dest, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t color,
                          TBlendMode mode) const {
    if (!Active || !dest || !dest->Active) return;
    if (NormalizeFillRect(left, top, right, bottom, Width(), Height())) return;
    // Held to the destination too: it reads and writes the same positions in both pictures.
    right = std::min(right, dest->Width());
    bottom = std::min(bottom, dest->Height());
    const int32_t w = right - left, h = bottom - top;
    if (w < 2 || h < 1) return;
    if (mode == bmBlend && (color >> 24) == 255) mode = bmCopy;
    std::unique_ptr<TBitmap32> copy;
    const TBitmap32& source = Unaliased(*Active, *dest->Active, copy);
    const int32_t pairs = w / 2;
    const std::vector<uint32_t> colour(2 * static_cast<size_t>(pairs), color);
    const ARGB8888Kernels::TBlendRow row = ARGB8888Kernels::BlendRow(
        ARGB8888DrawSupport::Kernels(), SelectBlendKernel(mode, false), TColorFilter::None, false);
    for (int32_t r = 0; r < h; ++r) {
        if (RowSkipped(dest->Interlace, static_cast<int64_t>(top) + r)) continue;
        row(dest->ScanLine(top + r) + left, source.ScanLine(top + r) + left, colour.data(), pairs, 0, 0xFFFFFFFFu);
    }
}
