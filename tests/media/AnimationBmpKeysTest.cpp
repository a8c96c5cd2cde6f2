// Key frames of a layer: the search for the key frame in force, the interpolated state against the
// curves it is made of, colour blending, the order of the shakes' random draws, the key stack and
// the time shift.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "foundation/uMisc.h"
#include "foundation/uMisc_Math.h"
#include "media/AnimationBmpLib.h"

namespace {

using namespace uMisc_Math;

// Key frames every 1000 ms (the fresh times); key frames 0..3 carry DstX 0, 100, 300, 200.
std::unique_ptr<TABMPLayer10> Layer(uint8_t curve, uint8_t tension = 80) {
    auto layer = std::make_unique<TABMPLayer10>(nullptr);
    const int16_t xs[] = {0, 100, 300, 200};
    for (int k = 0; k < 4; ++k) {
        layer->Keys[k].Kind = static_cast<uint8_t>(TABMPKind::Draw);
        layer->Keys[k].DstX = xs[k];
        layer->Keys[k].DstCurve = curve;
        layer->Keys[k].DstTension = tension;
    }
    return layer;
}

TEST(AnimationBmpKeysTest, FindKeyRoundsTheTimeHalvesToEven) {
    const TABMPLayer10 layer(nullptr);
    struct TCase {
        double Time;
        int32_t Key;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const TCase cases[] = {
        {-1, -1},
        {-0.5, 0},
        {0, 0},
        {999.4, 0},
        {999.5, 1},
        {1000.5, 1},
        {1001.5, 1},
        {30999, 30},
        {31000, 31},
        {1e300, 31},
        {inf, 31},
        {-inf, -1},
        {std::numeric_limits<double>::quiet_NaN(), -1},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(layer.FindKey(c.Time), c.Key) << c.Time;
}

TEST(AnimationBmpKeysTest, EvaluateFollowsTheCurveOfTheKeyFrame) {
    TRandomState random;
    // At 1250 ms: key frame 1 with progress 0.25, neighbours 0, 100 | 300, 200; parameter 0.8.
    const float f = 0.25f, p = 0.8f;
    struct TCase {
        uint8_t Curve;
        float Expected;
    };
    random.SetRandomIndex(5);
    const float r = random.TableRandomFloat(40 * p);
    const float shake = static_cast<float>(CurveDecelerate(100, 300, f, p) + (double{r} - 20.0 * p) * (1.0 - f));
    const TCase cases[] = {
        {0, 100},
        {1, CurveLinear(100, 300, f, p)},
        {2, CurveBSpline(0, 100, 300, 200, f, p)},
        {3, CurveDecelerate(100, 300, f, p)},
        {4, CurveAccelerate(100, 300, f, p)},
        {5, CurveHermite(0, 100, 300, 200, f, 1, 1, p)},
        {6, shake},
        {134, shake},  // only the low 7 bits count
        {7, 100},
        {127, 100},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int{c.Curve});
        TABMPLayerState s;
        random.SetRandomIndex(5);
        Layer(c.Curve)->Evaluate(s, 1250, random);
        EXPECT_EQ(s.DstX, c.Expected);
        EXPECT_EQ(s.Kind, 2);
        EXPECT_EQ(s.Mode, 2);
    }
    EXPECT_NE(CurveLinear(100, 300, f, p), CurveLinear(100, 300, f, 1));  // the steps show

    // Depth and angle never shake; a rotation's scales neither.
    auto layer = Layer(6);
    for (int k = 0; k < 4; ++k) {
        layer->Keys[k].Kind = static_cast<uint8_t>(TABMPKind::Rotate);
        layer->Keys[k].Depth = static_cast<int16_t>(10 * k);
        layer->Keys[k].Angle = static_cast<int16_t>(90 * k);
        layer->Keys[k].DstW = static_cast<int16_t>(100 + 50 * k);
    }
    TABMPLayerState s;
    layer->Evaluate(s, 1250, random);
    EXPECT_EQ(s.Depth, CurveDecelerate(10, 20, f, p));
    EXPECT_EQ(s.Angle, CurveDecelerate(0.25f, 0.5f, f, p));
    EXPECT_EQ(s.DstW, CurveDecelerate(1.5f, 2.0f, f, p));
    EXPECT_EQ(s.DstH, 0);
}

TEST(AnimationBmpKeysTest, ShakesDrawInAFixedOrder) {
    TRandomState random;
    // Shaking destination and source: the draws go to DstX, DstY, DstW, DstH, then SrcX .. SrcH;
    // a rotation's scales take none.
    for (TABMPKind kind : {TABMPKind::Draw, TABMPKind::Rotate}) {
        TABMPLayer10 layer(nullptr);
        layer.Keys[0].Kind = static_cast<uint8_t>(kind);
        layer.Keys[0].DstCurve = 6;
        layer.Keys[0].SrcCurve = 6;
        layer.Keys[0].SrcTension = 50;
        random.SetRandomIndex(100);
        std::vector<float> draws;
        const int n = kind == TABMPKind::Draw ? 8 : 6;
        for (int i = 0; i < n; ++i)
            draws.push_back(random.TableRandomFloat(i < n - 4 ? 40.0f : 20.0f));
        random.SetRandomIndex(100);
        TABMPLayerState s;
        layer.Evaluate(s, 0, random);
        // At progress 0 a shake is its draw less 20 p.
        std::vector<float> got{s.DstX, s.DstY};
        if (kind == TABMPKind::Draw) got.insert(got.end(), {s.DstW, s.DstH});
        got.insert(got.end(), {s.SrcX, s.SrcY, s.SrcW, s.SrcH});
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(got[i], draws[i] - (i < n - 4 ? 20.0f : 10.0f)) << i;
        EXPECT_EQ(random.RandomIndex, 100 + n);
    }
}

TEST(AnimationBmpKeysTest, EvaluateAtTheEdges) {
    TRandomState random;
    // Before the first key frame: nothing.
    auto late = Layer(1);
    late->Keys[0].Time = 100;
    TABMPLayerState s;
    s.Alpha = 9;
    late->Evaluate(s, 50, random);
    EXPECT_EQ(s.Kind, 0);
    EXPECT_EQ(s.Alpha, 0);
    EXPECT_EQ(s.MulColor, 0u);

    // 999.5 ms selects key frame 1 (the search rounds) with progress 0 (it does not).
    Layer(1)->Evaluate(s, 999.5, random);
    EXPECT_EQ(s.DstX, 100);

    // At the last key frame the curve runs with progress 0 against itself: the B-spline does not
    // pass through its key frame, a linear curve holds.
    for (uint8_t curve : {1, 2}) {
        TABMPLayer10 layer(nullptr);
        layer.Keys[30].DstX = 60;
        layer.Keys[31].DstX = 0;
        layer.Keys[31].DstCurve = curve;
        layer.Keys[31].DstTension = 100;
        layer.Evaluate(s, 1e9, random);
        EXPECT_EQ(s.DstX, curve == 2 ? 10 : 0);
    }
}

TEST(AnimationBmpKeysTest, ColoursAndParametersBlend) {
    TRandomState random;
    TABMPLayer10 layer(nullptr);
    TABMPKeyFrame& a = layer.Keys[1];
    TABMPKeyFrame& b = layer.Keys[2];
    a.Kind = static_cast<uint8_t>(TABMPKind::Fill);
    a.Blend = 5;
    a.AddColor = 0x00000010;
    b.AddColor = 0x00FF8040;
    a.MulColor = 0x00FFFFFF;
    b.MulColor = 0x00000000;
    a.Alpha = 255;
    b.Alpha = 0;
    a.Param = 0;
    b.Param = 2;
    a.Param2 = 0;
    b.Param2 = 6;
    a.Command = 8;
    a.Arg3 = 4;
    for (uint8_t lerp : {1, 2}) {
        SCOPED_TRACE(int{lerp});
        a.ColorLerp = lerp;
        TABMPLayerState s;
        layer.Evaluate(s, 1250, random);  // progress 0.25: weight 63 of 255
        const bool blends = lerp == 1;
        EXPECT_EQ(s.AddColor, blends ? uMisc::BlendARGB(0x10, 0xFF8040, 63) : 0x10u);
        EXPECT_EQ(s.MulColor, blends ? uMisc::BlendARGB(0xFFFFFF, 0, 63) : 0xFFFFFFu);
        EXPECT_EQ(s.Alpha, blends ? 192 : 255);
        EXPECT_EQ(s.Param, 0);   // 0.5, halves to even
        EXPECT_EQ(s.Param2, 2);  // 1.5
        EXPECT_EQ(s.Mode, 7);
        EXPECT_EQ(s.Command, 8u);
        EXPECT_EQ(s.Arg3, 4u);
    }
}

TEST(AnimationBmpKeysTest, TheKeyStackCarriesTransformsToLaterLayers) {
    TABMPLayerState a;
    a.DstX = 10;
    a.DstY = 20;
    a.SrcX = 1;
    a.Depth = 3;
    a.Angle = 0.25f;
    a.AddColor = 0x00800000;
    a.MulColor = 0x00FF8080;
    a.Alpha = 128;
    a.DstW = 99;  // sizes are not passed on
    TKeyStack stack;
    stack.Push(a);
    stack.Push(a);
    ASSERT_EQ(stack.Count, 2);
    TABMPLayerState s;
    s.DstX = 5;
    s.MulColor = 0xFFFFFF;
    s.Alpha = 255;
    stack.Apply(s);
    EXPECT_EQ(s.DstX, 25);
    EXPECT_EQ(s.DstY, 40);
    EXPECT_EQ(s.SrcX, 2);
    EXPECT_EQ(s.Depth, 6);
    EXPECT_EQ(s.Angle, 0.5f);
    EXPECT_EQ(s.AddColor, 0x00FF0000u);
    EXPECT_EQ(s.MulColor, uMisc::MulARGB(0xFF8080, 0xFF8080));
    EXPECT_EQ(s.Alpha, 128 * 128 / 255);
    EXPECT_EQ(s.DstW, 0);

    // 31 entries at most: the 32nd push is dropped, and its pop takes the 31st.
    stack.Clear();
    for (int i = 1; i <= 32; ++i) {
        TABMPLayerState e;
        e.DstX = 1;
        stack.Push(e);
    }
    EXPECT_EQ(stack.Count, 31);
    EXPECT_EQ(stack.Entries[30].DstX, 31);
    stack.Pop();
    TABMPLayerState t;
    stack.Apply(t);
    EXPECT_EQ(t.DstX, 30);
    stack.Clear();
    stack.Pop();
    EXPECT_EQ(stack.Count, 0);
}

TEST(AnimationBmpKeysTest, ShiftKeyTimeKeepsTimesIncreasing) {
    struct TCase {
        const char* Name;
        int32_t Key, Delta;
        bool Following;
        std::vector<int32_t> Expected;  // key frames 0..4, and 31
    };
    const TCase cases[] = {
        {"far back, alone", 3, -100000, false, {0, 1000, 2000, 2001, 4000, 31000}},
        {"far back, with the rest", 3, -100000, true, {0, 1000, 2000, 2001, 3001, 30001}},
        {"first below zero", 0, -5, true, {0, 1000, 2000, 3000, 4000, 31000}},
        {"past the next", 2, 1500, false, {0, 1000, 3500, 3501, 4000, 31000}},
        {"forward with the rest", 1, 250, true, {0, 1250, 2250, 3250, 4250, 31250}},
        {"no such key frame", 40, 5, true, {0, 1000, 2000, 3000, 4000, 31000}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TABMPLayer10 layer(nullptr);
        layer.ShiftKeyTime(c.Key, c.Delta, c.Following);
        const std::vector<int32_t> got{layer.Keys[0].Time, layer.Keys[1].Time, layer.Keys[2].Time,
                                       layer.Keys[3].Time, layer.Keys[4].Time, layer.Keys[31].Time};
        EXPECT_EQ(got, c.Expected);
    }
}

TEST(AnimationBmpKeysTest, FreshAndResetKeyFrames) {
    TABMPLayer10 layer(nullptr);
    EXPECT_EQ(layer.Version, 12);
    EXPECT_EQ(layer.LayerName, "NoName");
    EXPECT_EQ(layer.Keys[7].Time, 7000);
    EXPECT_EQ(layer.Keys[7].SrcTension, 100);
    EXPECT_EQ(layer.Keys[7].MulColor, 0xFFFFFFu);
    layer.Keys[7].Kind = 3;
    layer.Keys[7].Time = 7777;
    layer.ResetKey(7);
    TABMPKeyFrame expected;
    expected.Time = 7777;
    expected.SrcTension = 0;
    expected.DstTension = 0;
    EXPECT_TRUE(layer.Keys[7] == expected);
    layer.ResetKey(32);  // ignored
}

}  // namespace
