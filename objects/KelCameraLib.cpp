#include "objects/KelCameraLib.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundation/uMisc_Math.h"
#include "platform/LittleEndian.h"

namespace {

// The weight of the target, 0..1024, for the two bent curves.
int64_t Weight(uint8_t type, int32_t p) {
    if (type == ccAccelerate) return std::llround(std::pow(double(p), 2.4) / 16384.0);
    return 1024 - std::llround(std::pow(double(1024 - p), 2.4) / 16384.0);
}

// Positions are anywhere in 32 bits and durations up to 2^31 ms: the mix is done in 64 bits.
int32_t Mix(int32_t start, int32_t target, int64_t w) {
    return static_cast<int32_t>((int64_t{start} * (1024 - w) + int64_t{target} * w) / 1024);
}

}  // namespace

int32_t TCamera::CurveValue(int32_t start, int32_t target, uint8_t type, int32_t p, uMisc_Math::TRandomState& random) {
    switch (type) {
        case ccJump:
            return p >= 1024 ? target : start;
        case ccDecelerate:
        case ccAccelerate:
            return Mix(start, target, Weight(type, p));
        case ccShake: {
            const int64_t r = random.TableRandom(-40);  // -20..19
            const int64_t v = Mix(start, target, Weight(ccDecelerate, p)) + (1024 - p) * r / 1024;
            return static_cast<int32_t>(static_cast<uint32_t>(v));
        }
        default:
            return Mix(start, target, p);
    }
}

static_assert(8 * 4 + 1 + 128 == TCamera::kRecordSize);

void TCamera::Reset() {
    *this = TCamera(*Random);
    MoveTo(0, 0, 0);
}

void TCamera::MoveTo(int32_t x, int32_t y, int32_t ms) {
    StartX = X;
    StartY = Y;
    TargetX = x;
    TargetY = y;
    Elapsed = 0;
    Duration = ms;
}

void TCamera::Advance(int32_t elapsed) {
    Elapsed = static_cast<int32_t>(std::clamp<int64_t>(int64_t{Elapsed} + elapsed, INT32_MIN, Duration));
    // A damaged record may hold an elapsed time below 0; the curves are only defined on 0..1024.
    const int64_t p = Duration >= 1 ? std::clamp<int64_t>(int64_t{Elapsed} * 1024 / Duration, 0, 1024) : 1024;
    X = CurveValue(StartX, TargetX, Curve, static_cast<int32_t>(p), *Random);
    Y = CurveValue(StartY, TargetY, Curve, static_cast<int32_t>(p), *Random);
}

void TCamera::SaveToStream(TStream& stream) const {
    TRecordWriter w(kRecordSize);
    for (int32_t v : {X, Y, StartX, StartY, TargetX, TargetY, Elapsed, Duration})
        w.I32(v);
    w.U8(Curve);
    for (uint8_t b : Reserved)
        w.U8(b);
    w.WriteTo(stream);
}

bool TCamera::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(stream, kRecordSize, bytes)) return false;
    TRecordReader r(bytes);
    for (int32_t* v : {&X, &Y, &StartX, &StartY, &TargetX, &TargetY, &Elapsed, &Duration})
        *v = r.I32();
    Curve = r.U8();
    for (uint8_t& b : Reserved)
        b = r.U8();
    return true;
}
