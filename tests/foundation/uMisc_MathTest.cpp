#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <string>

#include "foundation/PackLib.h"
#include "foundation/uMisc_Math.h"
#include "tests/support/ContextFixture.h"

using namespace uMisc_Math;

namespace {

class MathTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Every name exists as far as the pack set is concerned; the load hook decides what it holds.
        Packs.FileExistsHook = [](const std::string&) { return true; };
    }
    TRandomState R;  // a fresh game's
    TContextFixture Context;
    TPackSet& Packs = Context.Packs;
};

// 1024 little-endian integers first, base + i, then any extra bytes.
std::string TableBytes(int32_t base, size_t size) {
    std::string s;
    for (int32_t i = 0; s.size() < size; ++i) {
        const uint32_t v = static_cast<uint32_t>(base + i);
        for (int b = 0; b < 4; ++b)
            s += static_cast<char>((v >> (8 * b)) & 0xFF);
    }
    s.resize(size);
    return s;
}

// ---- random table and generator ----

TEST_F(MathTest, BuiltTableIsTheUnseededGeneratorSequence) {
    EXPECT_EQ(R.RandomTable[0], 0);
    EXPECT_EQ(R.RandomTable[1], 67387906);
    EXPECT_EQ(R.RandomTable[2], 1849087502);
    for (int32_t v : R.RandomTable)
        EXPECT_GE(v, 0);
    EXPECT_EQ(R.RandomIndex, 0);

    // The same sequence from the runtime generator; building the table leaves its state alone.
    R.RandSeed = 0;
    for (int i = 0; i < kRandomTableSize; ++i)
        ASSERT_EQ(R.Random(0x7FFFFFFF), static_cast<uint32_t>(R.RandomTable[i]));
    const uint32_t after = R.RandSeed;
    R.InitRandomTable();
    EXPECT_EQ(R.RandSeed, after);
}

TEST_F(MathTest, EveryGameDrawsFromItsOwnState) {
    R.RandSeed = 7;
    R.Random(100);
    R.TableRandom(1);
    R.RandomTable[2] = -1;
    const TRandomState& other = Context.Context.Random;
    EXPECT_EQ(other.RandSeed, 0u);
    EXPECT_EQ(other.RandomIndex, 0);
    EXPECT_EQ(other.RandomTable, TRandomState().RandomTable);
}

TEST_F(MathTest, RuntimeGeneratorRanges) {
    R.RandSeed = 12345;
    EXPECT_EQ(R.Random(0), 0u);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(R.Random(1), 0u);
        EXPECT_LT(R.Random(7), 7u);
    }
    R.RandSeed = 0xFFFFFFFF;  // s * 0x08088405 + 1 wraps
    EXPECT_EQ(R.Random(0xFFFFFFFF),
              static_cast<uint32_t>((uint64_t{0xFFFFFFFFu * 0x08088405u + 1u} * 0xFFFFFFFFu) >> 32));
}

TEST_F(MathTest, TableRandomAdvancesAndWraps) {
    // Index 0 was last read: the first draw reads entry 1.
    EXPECT_EQ(R.TableRandom(INT_MAX), 67387906);
    EXPECT_EQ(R.RandomIndex, 1);
    R.SetRandomIndex(1023);
    EXPECT_EQ(R.TableRandom(INT_MAX), 0);  // entry 0
    R.SetRandomIndex(1023);
    EXPECT_EQ(R.TableRandom(1), 0);  // n = 1 still advances
    EXPECT_EQ(R.RandomIndex, 0);
    EXPECT_EQ(R.TableRandom(0), 0);
    EXPECT_EQ(R.RandomIndex, 1);
    R.SetRandomIndex(1023 + 1024 * 5);  // any index stands for its place in the ring
    EXPECT_EQ(R.TableRandom(INT_MAX), 0);
}

TEST_F(MathTest, TableRandomRangesOverTheWholeTable) {
    struct Case {
        int32_t n, lo, hi;
    };
    for (const Case c : {Case{1, 0, 0}, Case{10, 0, 9}, Case{-10, -5, 4}, Case{-1, 0, 0}, Case{-40, -20, 19},
                         Case{INT_MIN, -(1 << 30), (1 << 30) - 1}, Case{INT_MAX, 0, INT_MAX - 1}}) {
        int32_t lo = INT_MAX, hi = INT_MIN;
        for (int i = 0; i < kRandomTableSize; ++i) {
            const int32_t r = R.TableRandom(c.n);
            lo = std::min(lo, r);
            hi = std::max(hi, r);
        }
        EXPECT_GE(lo, c.lo) << c.n;
        EXPECT_LE(hi, c.hi) << c.n;
        if (c.hi - c.lo < 100) {  // small ranges are hit at both ends
            EXPECT_EQ(lo, c.lo) << c.n;
            EXPECT_EQ(hi, c.hi) << c.n;
        }
    }
    // A loaded table may hold negative values: the remainder keeps the sign of the value.
    R.RandomTable[1] = -7;
    R.SetRandomIndex(0);
    EXPECT_EQ(R.TableRandom(5), -2);
    R.SetRandomIndex(0);
    EXPECT_EQ(R.TableRandom(-5), -4);  // -2 - 2
}

TEST_F(MathTest, TableRandomFloatStaysWithinScale) {
    R.SetRandomIndex(0);
    EXPECT_FLOAT_EQ(R.TableRandomFloat(1.0f), (67387906 % 16777215) / 16777215.0f);
    for (int i = 0; i < kRandomTableSize; ++i) {
        const float r = R.TableRandomFloat(40.0f);
        EXPECT_GE(r, 0.0f);
        EXPECT_LE(r, 40.0f);
    }
}

TEST_F(MathTest, LoadRandomTableReplacesTheTableFromTheGameFile) {
    std::string asked;
    Packs.LoadFileHook = [&](const std::string& name) {
        asked = name;
        return std::make_unique<TMemoryStream>(TableBytes(-3, 4096 + 8));  // extra bytes are ignored
    };
    R.TableRandom(1);
    ASSERT_TRUE(R.LoadRandomTable(Packs));
    EXPECT_EQ(asked, "system\\etc\\RandomTable.dat");
    EXPECT_EQ(R.RandomIndex, 0);
    EXPECT_EQ(R.RandomTable[0], -3);
    EXPECT_EQ(R.RandomTable[1023], 1020);

    // From the stream's position.
    TMemoryStream s(std::string(4, 'x') + TableBytes(0x01020304, 4096));
    s.SetPosition(4);
    ASSERT_TRUE(R.LoadRandomTable(&s));
    EXPECT_EQ(R.RandomTable[0], 0x01020304);
    EXPECT_EQ(s.Position(), 4100);
}

TEST_F(MathTest, AShortTableFileReplacesTheLeadingEntries) {
    const auto built = R.RandomTable;
    for (size_t size : {size_t{0}, size_t{4}, size_t{4095}}) {
        SCOPED_TRACE(size);
        R.RandomTable = built;
        R.TableRandom(1);
        Packs.LoadFileHook = [size](const std::string&) {
            return std::make_unique<TMemoryStream>(TableBytes(99, size));
        };
        EXPECT_TRUE(R.LoadRandomTable(Packs));
        EXPECT_EQ(R.RandomIndex, 0);
        auto expected = built;
        for (size_t i = 0; i < size / 4; ++i)
            expected[i] = static_cast<int32_t>(99 + i);
        if (size % 4 != 0)  // the partial last entry: its three low bytes replaced, its high byte kept
            expected[size / 4] =
                static_cast<int32_t>((static_cast<uint32_t>(built[size / 4]) & 0xFF000000u) | (99u + 1023u));
        EXPECT_EQ(R.RandomTable, expected);
    }

    // No stream, or no file: nothing changes.
    R.RandomTable = built;
    R.TableRandom(1);
    Packs.LoadFileHook = [](const std::string&) { return std::unique_ptr<TMemoryStream>(); };
    EXPECT_FALSE(R.LoadRandomTable(Packs));
    EXPECT_FALSE(R.LoadRandomTable(nullptr));
    EXPECT_EQ(R.RandomTable, built);
    EXPECT_EQ(R.RandomIndex, 1);
}

// ---- sine ----

TEST_F(MathTest, SineTableValues) {
    struct Case {
        int32_t angle;
        float sin, negCos;
    };
    for (const Case c :
         {Case{0, 0.0f, -1.0f}, Case{256, 1.0f, 0.0f}, Case{512, 0.0f, 1.0f}, Case{768, -1.0f, 0.0f},
          Case{1024, 0.0f, -1.0f}, Case{-256, -1.0f, 0.0f}, Case{128, std::sqrt(0.5f), -std::sqrt(0.5f)}}) {
        EXPECT_NEAR(TableSin(c.angle), c.sin, 1e-7f) << c.angle;
        EXPECT_NEAR(TableNegCos(c.angle), c.negCos, 1e-7f) << c.angle;
    }
    EXPECT_EQ(TableSin(256), 1.0f);
    EXPECT_EQ(TableNegCos(0), -1.0f);
    EXPECT_EQ(TableSin(1024 + 5), TableSin(5));
    EXPECT_EQ(TableSin(INT_MIN), TableSin(0));
    EXPECT_EQ(TableNegCos(INT_MAX), TableSin((1023 + 768) & 1023));
}

TEST_F(MathTest, RadiansToUnits) {
    constexpr float pi = std::numbers::pi_v<float>;
    struct Case {
        float r;
        int32_t units;
    };
    for (const Case c :
         {Case{0, 0}, Case{pi / 2, 256}, Case{pi, 512}, Case{-pi / 2, -256}, Case{2 * pi, 1024}, Case{0.001f, 0},
          Case{0.004f, 1}, Case{1000.0f, 162975}, Case{std::numeric_limits<float>::quiet_NaN(), 0},
          Case{std::numeric_limits<float>::infinity(), 0}}) {
        EXPECT_EQ(RadToUnits(c.r), c.units) << c.r;
    }
    EXPECT_EQ(TableSinRad(pi / 2), 1.0f);
    EXPECT_EQ(TableNegCosRad(0), -1.0f);
}

// ---- arctangent ----

TEST_F(MathTest, AtanTableShape) {
    EXPECT_EQ(AtanTable[0], 1);
    EXPECT_EQ(AtanTable[5], 1);
    EXPECT_EQ(AtanTable[6], 2);  // a shared boundary goes to the higher angle
    EXPECT_EQ(AtanTable[1011], 127);
    EXPECT_EQ(AtanTable[1012], 128);
    EXPECT_EQ(AtanTable[1024], 128);
    for (int k = 1; k < kAtanTableSize; ++k)
        ASSERT_LE(AtanTable[k - 1], AtanTable[k]) << k;
}

TEST_F(MathTest, TableAtan2Directions) {
    struct Case {
        int32_t x, y, units;
    };
    for (const Case c : {
             Case{1, 0, 1023},
             Case{0, 1, 257},
             Case{-1, 0, 513},
             Case{0, -1, 767},  // axes
             Case{5, 5, 128},
             Case{-5, 5, 384},
             Case{-5, -5, 640},
             Case{3, -3, 896},  // diagonals
             Case{1000, 1, 1},
             Case{1, 1000, 255},
             Case{-1000, 1, 511},
             Case{-1000, -1, 513},  // near axes
             Case{100, 41, 64},
             Case{0, 0, 0},  // tan 22.3 deg
             Case{INT_MAX, INT_MAX, 128},
             Case{INT_MIN, INT_MIN, 640},
             Case{INT_MIN, 0, 513},  // extremes
             Case{0, INT_MIN, 767},
             Case{INT_MAX, INT_MIN, 768 + 128},
             Case{INT_MIN, INT_MAX, 384},
             Case{INT_MAX, 1, 1},
             Case{1, INT_MAX, 255},
         }) {
        EXPECT_EQ(TableAtan2(c.x, c.y), c.units) << c.x << ", " << c.y;
    }
    // Every other direction lies in 1 .. 1023, also where x * 1024 would overflow 32 bits.
    for (int32_t a : {1, 2097152, 2097153, 123456789, INT_MAX, INT_MIN, -7, -2097153})
        for (int32_t b : {0, 1, -1, 3000000, -3000000, INT_MAX, INT_MIN}) {
            const int32_t u = TableAtan2(a, b), v = TableAtan2(b, a);
            EXPECT_TRUE(u >= 1 && u <= 1023) << a << ", " << b;
            EXPECT_TRUE(v >= 1 && v <= 1023) << b << ", " << a;
        }
    EXPECT_FLOAT_EQ(TableAtan2Rad(5, 5), std::numbers::pi_v<float> / 4);
    EXPECT_FLOAT_EQ(TableAtan2Rad(1, 0), 1023 * std::numbers::pi_v<float> / 512);
}

// ---- curves ----

TEST_F(MathTest, LinearCurveSteps) {
    struct Case {
        float start, end, t, p, result;
    };
    for (const Case c :
         {Case{0, 1000, 0.33f, 0.5f, 350}, Case{0, 100, 0.25f, 0.5f, 0},
          Case{0, 100, 0.75f, 0.5f, 100},  // steps round ties to even
          Case{0, 1000, 0.33f, 1, 330}, Case{0, 1000, 0.33f, 0.99f, 330}, Case{0, 1000, 0.33f, 0.98f, 330},
          Case{0, 1000, 0.33f, 0.97f, 330}, Case{0, 1000, 0.32f, 0.0f, 300}, Case{10, 20, 0, 0.5f, 10},
          Case{10, 20, 1, 1, 20}, Case{100, 0, 0.36f, 0.8f, 60}, Case{7, 7, 0.5f, 0.5f, 7}, Case{0, 100, 1.5f, 1, 150},
          Case{0, 100, 0.3f, std::numeric_limits<float>::quiet_NaN(), 30},
          Case{0, 100, 0.3f, -std::numeric_limits<float>::infinity(), 0}}) {
        EXPECT_FLOAT_EQ(CurveLinear(c.start, c.end, c.t, c.p), c.result)
            << c.start << ".." << c.end << " t=" << c.t << " p=" << c.p;
    }
}

TEST_F(MathTest, EasingCurves) {
    struct Case {
        float t, p, decelerate, accelerate;
    };
    for (const Case c : {Case{0, 0.5f, 0, 0}, Case{1, 0.5f, 100, 100}, Case{0.5f, 0, 50, 50}, Case{0.25f, 0, 25, 25},
                         Case{0.5f, 1, 81.05f, 18.95f},
                         // progress outside 0 .. 1 is held at the ends, never a NaN
                         Case{-0.5f, 1, 0, 0}, Case{1.5f, 1, 100, 100}, Case{-2, 0.3f, 0, 0},
                         Case{std::numeric_limits<float>::quiet_NaN(), 1, 0, 0}}) {
        EXPECT_NEAR(CurveDecelerate(0, 100, c.t, c.p), c.decelerate, 0.01f) << c.t << " " << c.p;
        EXPECT_NEAR(CurveAccelerate(0, 100, c.t, c.p), c.accelerate, 0.01f) << c.t << " " << c.p;
    }
    EXPECT_EQ(CurveDecelerate(3, 3, 0.5f, 1), 3);
    EXPECT_EQ(CurveAccelerate(3, 3, std::numeric_limits<float>::quiet_NaN(), 1), 3);
}

TEST_F(MathTest, HermiteCurve) {
    struct Case {
        float prev, start, end, next, t, result;
    };
    for (const Case c : {Case{0, 0, 100, 100, 0, 0}, Case{0, 0, 100, 100, 1, 100}, Case{0, 0, 100, 100, 0.5f, 50},
                         Case{0, 10, 20, 30, 0.5f, 15}, Case{5, 5, 5, 5, 0.7f, 5}, Case{-7, 5, 5, -7, 0.3f, 5},
                         // start = end but different neighbours: quartered tangents bend the curve
                         Case{0, 10, 10, 40, 0.5f, 10 + 0.125f * 2.5f - 0.125f * 7.5f}}) {
        EXPECT_FLOAT_EQ(CurveHermite(c.prev, c.start, c.end, c.next, c.t, 1, 1, 1), c.result)
            << c.prev << " " << c.start << " " << c.end << " " << c.next << " t=" << c.t;
    }
    // Tangent factors scale the tangents: m0 = 100 * 2 * 0.5, m1 = 0; h10(0.5) = 0.125.
    EXPECT_FLOAT_EQ(CurveHermite(0, 0, 100, 0, 0.5f, 2, 1, 0.5f), 50 + 0.125f * 100);
}

TEST_F(MathTest, BSplineCurve) {
    // The pure B-spline does not pass through start and end.
    EXPECT_FLOAT_EQ(CurveBSpline(0, 60, 120, 0, 0, 1), (0 + 4 * 60 + 120) / 6.0f);
    EXPECT_FLOAT_EQ(CurveBSpline(0, 60, 120, 0, 1, 1), (60 + 4 * 120 + 0) / 6.0f);
    EXPECT_FLOAT_EQ(CurveBSpline(0, 0, 60, 60, 0.5f, 1.004f), 30);  // rounds to weight 100
    EXPECT_EQ(CurveBSpline(4, 4, 4, 4, 0.3f, 0), 4);
    // w = 0 is the straight line, w = 2 the Hermite curve, between them a blend.
    for (float t : {0.0f, 0.25f, 0.6f, 1.0f}) {
        EXPECT_FLOAT_EQ(CurveBSpline(-50, 0, 60, 300, t, 0), CurveLinear(0, 60, t, 1)) << t;
        EXPECT_FLOAT_EQ(CurveBSpline(-50, 0, 60, 300, t, 2), CurveHermite(-50, 0, 60, 300, t, 1, 1, 1)) << t;
        const float b = CurveBSpline(-50, 0, 60, 300, t, 1);
        EXPECT_NEAR(CurveBSpline(-50, 0, 60, 300, t, 0.5f), (b + CurveLinear(0, 60, t, 1)) / 2, 1e-4f) << t;
        EXPECT_NEAR(CurveBSpline(-50, 0, 60, 300, t, 1.5f), (b + CurveHermite(-50, 0, 60, 300, t, 1, 1, 1)) / 2, 1e-4f)
            << t;
    }
}

}  // namespace
