// Tables and curves for per-frame and per-pixel code, where trigonometry and a real generator would
// cost too much or differ between runs. Random numbers come in order from a 1024-entry table, so an
// effect plays out identically each time and a game may supply its own table. Sines are tabled at
// 1024 steps per turn and arctangents per integer angle; five curves serve key frames and tweens.
// Angles are integers, 1024 to a turn ("units"): 256 units make a quarter turn, measured from the
// positive x axis towards the positive y axis.
//
// The sine and arctangent tables are constant, built once at program start before anything else
// runs (InitTables); the random table belongs to a game's random state.
#pragma once

#include <array>
#include <cstdint>

#include "platform/ClassLib.h"

class TPackSet;  // foundation/PackLib.h

namespace uMisc_Math {

// ---- random state ----
constexpr int32_t kRandomTableSize = 1024;
// A replacement table: exactly 4096 bytes, 1024 little-endian signed 32-bit integers.
inline constexpr const char* kRandomTableFile = "system\\etc\\RandomTable.dat";

// The random numbers of one game: the runtime generator and the table that effects draw from in
// order. Everything of one game that draws shares one state (the game context's), so that the
// draws keep their order from run to run. A new state holds the built table, index and seed 0.
class TRandomState {
public:
    TRandomState() { InitRandomTable(); }

    // ---- the runtime generator ----
    // A linear congruential sequence: a draw sets s := s * 0x08088405 + 1 (mod 2^32) and returns
    // the high 32 bits of the 64-bit product s * range, so a range n >= 1 gives 0 .. n - 1 and 0
    // gives 0.
    uint32_t Random(uint32_t range);

    // ---- random table ----
    // Fills the table with the first 1024 draws (range 0x7FFFFFFF) of an unseeded generator, and
    // sets the index to 0. The runtime generator's own state is not touched.
    void InitRandomTable();
    // Copies what the stream holds from its position, 4096 bytes at most, onto the table's bytes
    // (so a short file replaces only the first entries), then sets the index to 0. A nil stream
    // changes nothing and gives false.
    bool LoadRandomTable(TStream* stream);
    // The same for the game's table file, read through the pack set; false when it cannot be had.
    bool LoadRandomTable(const TPackSet& packs);
    void SetRandomIndex(int32_t index);
    // Steps the index on and reads v there. Zero for n = 0; v mod n for positive n; for negative
    // n, with m = -n, v mod m less m div 2, a range centred on 0. Remainders keep v's sign, and a
    // generated table holds no negative entry: the results are 0 .. n - 1, or -(m div 2) .. m - 1 -
    // (m div 2).
    int32_t TableRandom(int32_t n);
    // TableRandom(16777215) * scale / 16777215 in single precision: 0 up to about scale.
    float TableRandomFloat(float scale);

    uint32_t RandSeed = 0;  // the generator's state
    std::array<int32_t, kRandomTableSize> RandomTable{};
    int32_t RandomIndex = 0;  // 0 .. 1023; the next draw reads the entry after it
};

// ---- sine table ----
constexpr int32_t kSinTableSize = 1024;
extern std::array<float, kSinTableSize> SinTable;  // entry i = sin(i * pi / 512)

void InitSinTable();
float TableSin(int32_t angle);
float TableNegCos(int32_t angle);  // the negated cosine
// round(512 * r / pi) with 1/pi the single-precision 0.31830987, ties to even; the low 32 bits
// of the rounded value (0 when r is not a finite number).
int32_t RadToUnits(float radians);
float TableSinRad(float radians);
float TableNegCosRad(float radians);

// ---- arctangent table ----
// Entry k (0 .. 1024) is the angle in units (0 .. 128, an eighth of a turn) whose tangent is
// about k / 1024; ratios are scaled by 2^AtanShift to index it.
constexpr int32_t AtanShift = 10;
constexpr int32_t kAtanTableSize = (1 << AtanShift) + 1;
extern std::array<int32_t, kAtanTableSize> AtanTable;

void InitAtanTable();
// The direction of the vector (x, y) in units, 1 .. 1023 for every pair of 32-bit integers but
// (0, 0), which gives 0. Entry 0 of the table is 1, so the axes come out one unit past the exact
// quarter turns: (1, 0) gives 1023, (0, 1) 257, (-1, 0) 513, (0, -1) 767.
int32_t TableAtan2(int32_t x, int32_t y);
float TableAtan2Rad(int32_t x, int32_t y);  // the same direction in radians

// Builds the sine and arctangent tables (also done once when the program starts).
void InitTables();

// ---- interpolation curves: t runs from 0 (start) to 1 (end) ----
// Straight line; p below 1 quantises the distance travelled from start into steps of
// 100 - round(p * 100) units (p = 1: no steps).
float CurveLinear(float start, float end, float t, float p);
// Fast start, slow finish: w = 1 - (1 - t)^(1.4 p + 1). p = 0 is the straight line. t is clamped
// to 0 .. 1.
float CurveDecelerate(float start, float end, float t, float p);
// Slow start, fast finish: w = t^(1.4 p + 1). t is clamped to 0 .. 1.
float CurveAccelerate(float start, float end, float t, float p);
// Cubic Hermite from start to end with the tangents (end - prev) * k0 * s and (next - start) *
// k1 * s, quartered when start = end.
float CurveHermite(float prev, float start, float end, float next, float t, float k0, float k1, float s);
// Uniform cubic B-spline over the four values, blended with the straight line (w = 0 .. 1) or with
// the Hermite curve (w = 1 .. 2); w = 1 is the pure B-spline, which does not pass through start
// and end.
float CurveBSpline(float prev, float start, float end, float next, float t, float w);

}  // namespace uMisc_Math
