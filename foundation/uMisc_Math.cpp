#include "foundation/uMisc_Math.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/PackLib.h"
#include "platform/LittleEndian.h"

namespace uMisc_Math {

// Expressions are evaluated in extended precision and stored in single precision where a value is
// named, as the curves' stored key frames expect; "round" is to nearest, ties to even (the
// default rounding mode). Rounding uses rint, not nearbyint: the same result, without saving and
// restoring the floating-point environment, which made the curves of animations several times
// slower.
namespace {
using Ext = long double;
constexpr Ext kPi = 3.14159265358979323846264338327950288L;

// A rounded value as a 64-bit integer; a value that has none (not finite, or out of range) gives
// the integer-indefinite value, the lowest one.
int64_t RoundInt64(Ext x) {
    constexpr Ext kLimit = 9223372036854775808.0L;  // 2^63
    if (!(x > -kLimit && x < kLimit)) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(std::rint(x));
}

// The runtime's power rule: an exponent of 0 gives 1, a base of 0 gives 0.
Ext Power(Ext base, Ext exponent) {
    if (exponent == 0) return 1;
    if (base == 0) return 0;
    return std::pow(base, exponent);
}

// Progress outside 0 .. 1 (or not a number) would give a power of a negative base.
float ClampProgress(float t) {
    if (!(t > 0)) return 0;
    return t > 1 ? 1.0f : t;
}

uint32_t Next(uint32_t& s, uint32_t range) {
    s = s * 0x08088405u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(s) * range) >> 32);
}
}  // namespace

// ---- random state ----

uint32_t TRandomState::Random(uint32_t range) {
    return Next(RandSeed, range);
}

void TRandomState::InitRandomTable() {
    uint32_t s = 0;
    for (auto& v : RandomTable)
        v = static_cast<int32_t>(Next(s, 0x7FFFFFFF));
    RandomIndex = 0;
}

bool TRandomState::LoadRandomTable(TStream* stream) {
    constexpr int64_t kBytes = kRandomTableSize * 4;
    if (!stream) return false;
    uint8_t buf[kBytes];
    const int64_t n = stream->Read(buf, std::min(kBytes, stream->Remaining()));
    // The bytes lie over the table as it is stored: a short file replaces the leading entries,
    // the low bytes of a last partial one included, and keeps the rest.
    for (int64_t i = 0; i < n; ++i) {
        auto& entry = RandomTable[static_cast<size_t>(i / 4)];
        const int shift = static_cast<int>(i % 4) * 8;
        entry = static_cast<int32_t>((static_cast<uint32_t>(entry) & ~(0xFFu << shift)) | (uint32_t{buf[i]} << shift));
    }
    RandomIndex = 0;
    return true;
}

bool TRandomState::LoadRandomTable(const TPackSet& packs) {
    auto stream = packs.LoadFile(kRandomTableFile);
    return LoadRandomTable(stream.get());
}

void TRandomState::SetRandomIndex(int32_t index) {
    RandomIndex = index & (kRandomTableSize - 1);
}

int32_t TRandomState::TableRandom(int32_t n) {
    RandomIndex = static_cast<int32_t>((static_cast<uint32_t>(RandomIndex) + 1u) & (kRandomTableSize - 1));
    const int64_t v = RandomTable[static_cast<size_t>(RandomIndex)];
    if (n == 0) return 0;
    if (n > 0) return static_cast<int32_t>(v % n);
    const int64_t m = -static_cast<int64_t>(n);  // up to 2^31
    return static_cast<int32_t>(v % m - m / 2);
}

float TRandomState::TableRandomFloat(float scale) {
    constexpr float c = static_cast<float>(1.0 / 16777215.0);
    return static_cast<float>(static_cast<Ext>(TableRandom(16777215)) * scale * c);
}

// ---- sine table ----

std::array<float, kSinTableSize> SinTable{};

void InitSinTable() {
    for (int32_t i = 0; i < kSinTableSize; ++i)
        SinTable[static_cast<size_t>(i)] = static_cast<float>(std::sin(i * kPi / 512));
}

float TableSin(int32_t angle) {
    return SinTable[static_cast<uint32_t>(angle) & (kSinTableSize - 1)];
}

float TableNegCos(int32_t angle) {
    return SinTable[(static_cast<uint32_t>(angle) + 768u) & (kSinTableSize - 1)];
}

int32_t RadToUnits(float radians) {
    constexpr float kInvPi = 0.31830987f;
    return static_cast<int32_t>(static_cast<uint32_t>(RoundInt64(512 * Ext{radians} * kInvPi)));
}

float TableSinRad(float radians) {
    return TableSin(RadToUnits(radians));
}

float TableNegCosRad(float radians) {
    return TableNegCos(RadToUnits(radians));
}

// ---- arctangent table ----

std::array<int32_t, kAtanTableSize> AtanTable{};

void InitAtanTable() {
    // Angle i covers the entries from the previous angle's tangent up to its own; a shared boundary
    // entry goes to the higher angle, so entry 0 ends as 1.
    int64_t from = 0;
    for (int32_t i = 0; i < 128; ++i) {
        const Ext a = i * kPi / 512;
        const int64_t to = RoundInt64(1024 * std::sin(a) / std::cos(a));
        for (int64_t k = from; k <= to; ++k)
            AtanTable[static_cast<size_t>(k)] = i;
        from = to;
    }
    for (int64_t k = from; k < kAtanTableSize; ++k)
        AtanTable[static_cast<size_t>(k)] = 128;
}

int32_t TableAtan2(int32_t x, int32_t y) {
    // 64 bits: magnitudes up to 2^31 shifted by 10 bits. The divisor is always the larger or equal
    // magnitude, so every index lies in 0 .. 1024.
    const int64_t ax = std::abs(int64_t{x});
    const int64_t ay = std::abs(int64_t{y});
    if (ax == 0 && ay == 0) return 0;
    auto t = [](int64_t a, int64_t b) { return AtanTable[static_cast<size_t>((a << AtanShift) / b)]; };
    if (x > 0 && y > 0) return ay < ax ? t(ay, ax) : 256 - t(ax, ay);
    if (y > 0) return ay >= ax ? 256 + t(ax, ay) : 512 - t(ay, ax);
    if (x <= 0) return ay < ax ? 512 + t(ay, ax) : 768 - t(ax, ay);
    return ay < ax ? 1024 - t(ay, ax) : 768 + t(ax, ay);
}

float TableAtan2Rad(int32_t x, int32_t y) {
    return static_cast<float>(TableAtan2(x, y) * kPi / 512);
}

void InitTables() {
    InitSinTable();
    InitAtanTable();
}

namespace {
// Built before anything else in the program can read them.
const struct TTablesAtStart {
    TTablesAtStart() { InitTables(); }
} TablesAtStart;
}  // namespace

// ---- interpolation curves ----

float CurveLinear(float start, float end, float t, float p) {
    if (start == end) return start;
    const float v = static_cast<float>(start * (1 - Ext{t}) + end * Ext{t});
    const Ext q = 100 - std::rint(Ext{p} * 100);
    if (!(q > 1)) return v;  // no steps (also for a p that is not a number)
    if (std::isinf(q)) return start;
    return static_cast<float>(start + std::rint((v - Ext{start}) / q) * q);
}

namespace {
float EaseExponent(float p) {
    return static_cast<float>(1.4L * p + 1);
}

float Mix(float start, float end, float w) {
    return static_cast<float>(start * (1 - Ext{w}) + end * Ext{w});
}
}  // namespace

float CurveDecelerate(float start, float end, float t, float p) {
    if (start == end) return start;
    t = ClampProgress(t);
    const float w = static_cast<float>(1 - Power(1 - Ext{t}, EaseExponent(p)));
    return Mix(start, end, w);
}

float CurveAccelerate(float start, float end, float t, float p) {
    if (start == end) return start;
    t = ClampProgress(t);
    const float w = static_cast<float>(Power(t, EaseExponent(p)));
    return Mix(start, end, w);
}

float CurveHermite(float prev, float start, float end, float next, float t, float k0, float k1, float s) {
    if (start == end && prev == next) return start;
    float m0 = static_cast<float>(Ext{end - Ext{prev}} * k0 * s);
    float m1 = static_cast<float>(Ext{next - Ext{start}} * k1 * s);
    if (start == end) {
        m0 *= 0.25f;
        m1 *= 0.25f;
    }
    const Ext x = t;
    const float h00 = static_cast<float>((1 - x) * (1 - x) * (1 + 2 * x));
    const float h01 = static_cast<float>(x * x * (3 - 2 * x));
    const float h10 = static_cast<float>(x * (1 - x) * (1 - x));
    const float h11 = static_cast<float>(x * x * (x - 1));
    return static_cast<float>(Ext{h00} * start + Ext{h01} * end + Ext{h10} * m0 + Ext{h11} * m1);
}

float CurveBSpline(float prev, float start, float end, float next, float t, float w) {
    if (prev == start && start == end && end == next) return prev;
    const Ext x = t, x2 = x * x, x3 = x2 * x;
    const float b = static_cast<float>(((1 - x) * (1 - x) * (1 - x) * prev + (3 * x3 - 6 * x2 + 4) * start +
                                        (-3 * x3 + 3 * x2 + 3 * x + 1) * end + x3 * next) /
                                       6);
    if (std::rint(Ext{w} * 100) == 100) return b;
    Ext other, f;
    if (w >= 1) {
        other = CurveHermite(prev, start, end, next, t, 1, 1, 1);
        f = 2 - Ext{w};
    } else {
        other = CurveLinear(start, end, t, 1);
        f = w;
    }
    return static_cast<float>(b * f + (1 - f) * other);
}

}  // namespace uMisc_Math
