// Key frames of a layer: editing, the search for the key frame in force, the interpolation of a
// layer's state between key frames, and the key stack.
#include <algorithm>
#include <cmath>

#include "foundation/uMisc.h"
#include "foundation/uMisc_Math.h"
#include "media/AnimationBmpLib.h"

using AnimationBmpLib::kKeyCount;

namespace {

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Four neighbouring values of one field and the curve between the middle two.
struct TSpan {
    float P0, P1, P2, P3;
};

// The curves of the source and destination. A shake draws from the random state given; without
// one the sixth is the plain decelerating curve (depth, angle and the scales of rotated pictures
// do not shake).
float Curve(uint8_t curve, float p, float f, const TSpan& v, uMisc_Math::TRandomState* shake) {
    using namespace uMisc_Math;
    switch (static_cast<TABMPCurve>(curve & 127)) {
        case TABMPCurve::Linear:
            return CurveLinear(v.P1, v.P2, f, p);
        case TABMPCurve::BSpline:
            return CurveBSpline(v.P0, v.P1, v.P2, v.P3, f, p);
        case TABMPCurve::Decelerate:
            return CurveDecelerate(v.P1, v.P2, f, p);
        case TABMPCurve::Accelerate:
            return CurveAccelerate(v.P1, v.P2, f, p);
        case TABMPCurve::Hermite:
            return CurveHermite(v.P0, v.P1, v.P2, v.P3, f, 1, 1, p);
        case TABMPCurve::Shake: {
            if (!shake) return CurveDecelerate(v.P1, v.P2, f, p);
            // Largest at the key frame, dying out towards the next.
            const float r = shake->TableRandomFloat(40 * p);
            const float eased = CurveDecelerate(v.P1, v.P2, f, p);
            return static_cast<float>(eased + (static_cast<double>(r) - 20.0 * p) * (1.0 - f));
        }
        default:
            return v.P1;
    }
}

}  // namespace

void TABMPLayer10::Reset() {
    Version = 12;
    LayerName = "NoName";
    KeyStackMode = 0;
    for (int32_t k = 0; k < kKeyCount; ++k) {
        ResetKey(k);
        Keys[k].Time = k * 1000;
        Keys[k].SrcTension = 100;
        Keys[k].DstTension = 100;
    }
}

void TABMPLayer10::ResetKey(int32_t k) {
    if (k < 0 || k >= kKeyCount) return;
    TABMPKeyFrame fresh;
    fresh.Time = Keys[k].Time;
    fresh.SrcTension = 0;
    fresh.DstTension = 0;
    Keys[k] = fresh;
}

void TABMPLayer10::ShiftKeyTime(int32_t k, int32_t delta, bool following) {
    if (k < 0 || k >= kKeyCount) return;
    int64_t d = delta;
    if (k == 0 && Keys[0].Time + d < 0) d = -int64_t{Keys[0].Time};
    if (k > 0 && Keys[k].Time + d < Keys[k - 1].Time + int64_t{1}) d = Keys[k - 1].Time + int64_t{1} - Keys[k].Time;
    for (int32_t j = k; j < kKeyCount && (j == k || following); ++j)
        Keys[j].Time = Saturate(Keys[j].Time + d);
    for (int32_t j = 1; j < kKeyCount; ++j)
        if (Keys[j].Time < Keys[j - 1].Time + int64_t{1}) Keys[j].Time = Saturate(Keys[j - 1].Time + int64_t{1});
}

int32_t TABMPLayer10::FindKey(double time) const {
    if (std::isnan(time)) return -1;
    const double r = std::rint(time);
    for (int32_t k = 0; k < kKeyCount; ++k)
        if (Keys[k].Time > r) return k - 1;
    return kKeyCount - 1;
}

void TABMPLayer10::Evaluate(TABMPLayerState& s, double time, uMisc_Math::TRandomState& random) const {
    s = TABMPLayerState{};
    const int32_t i = FindKey(time);
    if (i < 0) return;
    const TABMPKeyFrame& k0 = Keys[std::max(i - 1, 0)];
    const TABMPKeyFrame& k1 = Keys[i];
    const TABMPKeyFrame& k2 = Keys[std::min(i + 1, kKeyCount - 1)];
    const TABMPKeyFrame& k3 = Keys[std::min(i + 2, kKeyCount - 1)];

    // Progress from k1 to k2, 0 at the last key frame and between key frames of equal time.
    float f = 0;
    if (k2.Time != k1.Time) {
        const double q = (time - k1.Time) / (static_cast<double>(k2.Time) - k1.Time);
        f = !(q > 0) ? 0.0f : q >= 1 ? 1.0f : static_cast<float>(q);
    }

    s.Kind = k1.Kind;
    s.Mode = AnimationBmpLib::BlendMode(k1.Blend);
    s.SrcAnchor = k1.SrcAnchor;
    s.DstAnchor = k1.DstAnchor;
    s.Image = k1.Image;
    s.Image2 = k1.Image2;
    s.Command = k1.Command;
    s.Arg1 = k1.Arg1;
    s.Arg2 = k1.Arg2;
    s.Arg3 = k1.Arg3;
    s.Arg4 = k1.Arg4;

    const int32_t w = static_cast<int32_t>(f * 255);
    if (k1.ColorLerp == 1) {
        s.AddColor = uMisc::BlendARGB(k1.AddColor, k2.AddColor, w);
        s.MulColor = uMisc::BlendARGB(k1.MulColor, k2.MulColor, w);
        s.Alpha = (k1.Alpha * (255 - w) + k2.Alpha * w) / 255;
    } else {
        s.AddColor = k1.AddColor;
        s.MulColor = k1.MulColor;
        s.Alpha = k1.Alpha;
    }

    auto span = [&](auto field) {
        return TSpan{static_cast<float>(k0.*field), static_cast<float>(k1.*field), static_cast<float>(k2.*field),
                     static_cast<float>(k3.*field)};
    };
    auto scaled = [&](int16_t TABMPKeyFrame::*field, double by) {
        auto v = [&](const TABMPKeyFrame& k) { return static_cast<float>(k.*field * by); };
        return TSpan{v(k0), v(k1), v(k2), v(k3)};
    };
    // The shakes draw from the random table in this order: destination, then source.
    const float dp = k1.DstTension / 100.0f;
    s.DstX = Curve(k1.DstCurve, dp, f, span(&TABMPKeyFrame::DstX), &random);
    s.DstY = Curve(k1.DstCurve, dp, f, span(&TABMPKeyFrame::DstY), &random);
    if (s.Kind == static_cast<uint8_t>(TABMPKind::Rotate)) {
        s.DstW = Curve(k1.DstCurve, dp, f, scaled(&TABMPKeyFrame::DstW, 1 / 100.0), nullptr);
        s.DstH = Curve(k1.DstCurve, dp, f, scaled(&TABMPKeyFrame::DstH, 1 / 100.0), nullptr);
    } else {
        s.DstW = Curve(k1.DstCurve, dp, f, span(&TABMPKeyFrame::DstW), &random);
        s.DstH = Curve(k1.DstCurve, dp, f, span(&TABMPKeyFrame::DstH), &random);
    }
    s.Depth = Curve(k1.DstCurve, dp, f, span(&TABMPKeyFrame::Depth), nullptr);
    s.Angle = Curve(k1.DstCurve, dp, f, scaled(&TABMPKeyFrame::Angle, 1 / 360.0), nullptr);
    const float sp = k1.SrcTension / 100.0f;
    s.SrcX = Curve(k1.SrcCurve, sp, f, span(&TABMPKeyFrame::SrcX), &random);
    s.SrcY = Curve(k1.SrcCurve, sp, f, span(&TABMPKeyFrame::SrcY), &random);
    s.SrcW = Curve(k1.SrcCurve, sp, f, span(&TABMPKeyFrame::SrcW), &random);
    s.SrcH = Curve(k1.SrcCurve, sp, f, span(&TABMPKeyFrame::SrcH), &random);

    using uMisc_Math::CurveLinear;
    s.Param =
        AnimationBmpLib::RoundHalfEven(CurveLinear(static_cast<float>(k1.Param), static_cast<float>(k2.Param), f, 1));
    s.Param2 =
        AnimationBmpLib::RoundHalfEven(CurveLinear(static_cast<float>(k1.Param2), static_cast<float>(k2.Param2), f, 1));
}

// ---- the key stack ----

namespace {
int32_t MulAlpha(int32_t a, int32_t b) {
    return Saturate(int64_t{a} * b / 255);
}
}  // namespace

void TKeyStack::Push(const TABMPLayerState& s) {
    if (Count >= kCapacity) return;
    if (Count == 0) {
        Entries[0] = s;
    } else {
        const TABMPLayerState& t = Entries[Count - 1];
        TABMPLayerState& e = Entries[Count];
        e.DstX = s.DstX + t.DstX;
        e.DstY = s.DstY + t.DstY;
        e.SrcX = s.SrcX + t.SrcX;
        e.SrcY = s.SrcY + t.SrcY;
        e.Depth = s.Depth + t.Depth;
        e.Angle = s.Angle + t.Angle;
        e.AddColor = uMisc::AddARGB(s.AddColor, t.AddColor);
        e.MulColor = uMisc::MulARGB(s.MulColor, t.MulColor);
        e.Alpha = MulAlpha(s.Alpha, t.Alpha);
    }
    ++Count;
}

void TKeyStack::Apply(TABMPLayerState& s) const {
    if (Count == 0) return;
    const TABMPLayerState& t = Entries[Count - 1];
    s.DstX += t.DstX;
    s.DstY += t.DstY;
    s.Depth += t.Depth;
    s.Angle += t.Angle;
    s.SrcX += t.SrcX;
    s.SrcY += t.SrcY;
    s.AddColor = uMisc::AddARGB(s.AddColor, t.AddColor);
    s.MulColor = uMisc::MulARGB(s.MulColor, t.MulColor);
    s.Alpha = MulAlpha(s.Alpha, t.Alpha);
}
