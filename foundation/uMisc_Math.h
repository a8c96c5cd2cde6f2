// The engine's cheap, repeatable numbers: a table of 1024 pseudo-random integers read in sequence
// (effects repeat the same way every run, and a game can ship its own table), a sine table of 1024
// steps per turn, an arctangent table for integer angles, and the interpolation curves of key
// frames and tweens. Angles are integers in 1024ths of a turn ("units"); 256 units are a quarter
// turn, counted from the positive x axis towards the positive y axis.
//
// The tables are built once at program start, before anything else runs (InitTables).
#pragma once

#include <array>
#include <cstdint>

#include "platform/ClassLib.h"

namespace uMisc_Math {

// ---- the runtime generator ----
// A linear congruential sequence: a draw sets s := s * 0x08088405 + 1 (mod 2^32) and returns the
// high 32 bits of the 64-bit product s * range, so a range n >= 1 gives 0 .. n - 1 and 0 gives 0.
// The state is 0 until someone seeds it.
extern uint32_t RandSeed;
uint32_t Random(uint32_t range);

// ---- random table ----
constexpr int32_t kRandomTableSize = 1024;
// A replacement table: exactly 4096 bytes, 1024 little-endian signed 32-bit integers.
inline constexpr const char* kRandomTableFile = "system\\etc\\RandomTable.dat";

extern std::array<int32_t, kRandomTableSize> RandomTable;
extern int32_t RandomIndex;  // 0 .. 1023; the next draw reads the entry after it

// Fills the table with the first 1024 draws (range 0x7FFFFFFF) of an unseeded generator, and
// sets the index to 0. The runtime generator's own state is not touched.
void InitRandomTable();
// Reads up to 4096 bytes from the stream's position over the table (a short stream replaces only
// the leading entries) and sets the index to 0. False, changing nothing, for a nil stream.
bool LoadRandomTable(TStream* stream);
// The same for the game's table file, read through the pack set; false when it cannot be had.
bool LoadRandomTable();
void SetRandomIndex(int32_t index);
// Advances the index, then takes v = table[index]: n = 0 gives 0, n > 0 gives v mod n, n < 0 gives
// (v mod m) - (m div 2) with m = -n. The remainder has the sign of v, so a generated table
// (never negative) gives 0 .. n - 1, respectively -(m div 2) .. m - 1 - (m div 2).
int32_t TableRandom(int32_t n);
// TableRandom(16777215) * scale / 16777215 in single precision: 0 up to about scale.
float TableRandomFloat(float scale);

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

// Builds all three tables (also done once when the program starts).
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
