// The camera: where each curve stands at chosen times, moves that land on the next step, long
// durations and far positions, the shake, and the saved record.
#include <gtest/gtest.h>

#include "foundation/uMisc_Math.h"
#include "objects/KelCameraLib.h"
#include "objects/KelGraphicLib.h"
#include "platform/LittleEndian.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/ContextFixture.h"

namespace {

// A camera at (-100, 100) about to move to (300, -300) over 1024 ms, so that the elapsed time is
// the progress p.
TCamera Prepared(uint8_t curve, uMisc_Math::TRandomState& random) {
    TCamera c(random);
    c.Reset();
    c.MoveTo(-100, 100, 0);
    c.Advance(1);
    c.SetCurve(curve);
    c.MoveTo(300, -300, 1024);
    return c;
}

TEST(KelCameraTest, CurvesAtChosenTimes) {
    const int32_t times[] = {0, 256, 512, 768, 1000, 1024, 5000};
    struct {
        uint8_t Curve;
        int32_t X[7];
    } cases[] = {
        {ccJump, {-100, -100, -100, -100, -100, 300, 300}},
        {ccLinear, {-100, 0, 100, 200, 290, 300, 300}},
        {2, {-100, 0, 100, 200, 290, 300, 300}},
        {5, {-100, 0, 100, 200, 290, 300, 300}},
        {7, {-100, 0, 100, 200, 290, 300, 300}},
        {ccDecelerate, {-100, 99, 224, 285, 300, 300, 300}},
        // -85.5 goes to -85: divisions truncate towards zero.
        {ccAccelerate, {-100, -85, -24, 100, 277, 300, 300}},
    };
    uMisc_Math::TRandomState random;
    for (const auto& c : cases) {
        TCamera cam = Prepared(c.Curve, random);
        int32_t at = 0;
        for (int i = 0; i < 7; ++i) {
            cam.Advance(times[i] - at);
            at = times[i];
            EXPECT_EQ(cam.X, c.X[i]) << "curve " << int(c.Curve) << " at " << at;
            EXPECT_EQ(cam.Y, -c.X[i]) << "curve " << int(c.Curve) << " at " << at;
            EXPECT_EQ(cam.GetOffsetX(), -cam.X);
            EXPECT_EQ(cam.OffsetY(), -cam.Y);
        }
        EXPECT_EQ(cam.Elapsed, 1024);  // not beyond the duration
    }
}

TEST(KelCameraTest, AMoveOfNoTimeLandsOnTheNextStep) {
    uMisc_Math::TRandomState random;
    TCamera cam(random);
    cam.Reset();
    cam.MoveTo(40, -7, 0);
    EXPECT_EQ(cam.X, 0);
    cam.Advance(16);
    EXPECT_EQ(cam.X, 40);
    EXPECT_EQ(cam.Y, -7);
    // A move starts where the camera is, not where the last one was going.
    cam.SetCurve(ccLinear);
    cam.MoveTo(0, 0, 100);
    cam.Advance(50);
    cam.MoveTo(100, 0, 100);
    EXPECT_EQ(cam.StartX, 20);
    // Reset puts it back at once.
    cam.Reset();
    EXPECT_EQ(cam.X, 0);
    EXPECT_EQ(cam.TargetX, 0);
}

TEST(KelCameraTest, LongMovesAndFarPositions) {
    uMisc_Math::TRandomState random;
    TCamera cam(random);
    cam.Reset();
    cam.SetCurve(ccLinear);
    cam.MoveTo(-2000000000, 2000000000, 0);
    cam.Advance(1);
    cam.MoveTo(2000000000, -2000000000, 2000000000);
    cam.Advance(1000000000);  // p = 512: elapsed x 1024 and the mix need 64 bits
    EXPECT_EQ(cam.X, 0);
    EXPECT_EQ(cam.Y, 0);
    cam.Advance(2000000000);
    EXPECT_EQ(cam.X, 2000000000);
    EXPECT_EQ(cam.Elapsed, 2000000000);
}

TEST(KelCameraTest, TheShakeDiesOutOnTheTarget) {
    uMisc_Math::TRandomState random;
    random.RandomTable[1] = 5;   // -15 in -20..19
    random.RandomTable[2] = 39;  // 19
    random.RandomTable[3] = 0;
    random.RandomTable[4] = 0;
    TCamera cam = Prepared(ccShake, random);
    cam.Advance(512);
    EXPECT_EQ(cam.X, 224 - 7);  // the decelerating curve, plus 512 x -15 div 1024
    EXPECT_EQ(cam.Y, -224 + 9);
    cam.Advance(512);
    EXPECT_EQ(cam.X, 300);
    EXPECT_EQ(cam.Y, -300);
    // A reset keeps the state the shakes draw from.
    cam.Reset();
    cam.SetCurve(ccShake);
    cam.MoveTo(0, 0, 1024);
    cam.Advance(512);
    EXPECT_EQ(random.RandomIndex, 6);
}

TEST(KelCameraTest, RecordRoundTrip) {
    uMisc_Math::TRandomState random;
    TCamera cam = Prepared(ccDecelerate, random);
    cam.Advance(300);
    cam.Reserved[127] = 0xAB;
    TMemoryStream s;
    cam.SaveToStream(s);
    ASSERT_EQ(s.Size(), TCamera::kRecordSize);
    const uint8_t* r = s.Memory();
    EXPECT_EQ(int32_t(LittleEndian::Get32(r)), cam.X);
    EXPECT_EQ(int32_t(LittleEndian::Get32(r + 8)), -100);   // start x
    EXPECT_EQ(int32_t(LittleEndian::Get32(r + 20)), -300);  // target y
    EXPECT_EQ(LittleEndian::Get32(r + 24), 300u);
    EXPECT_EQ(LittleEndian::Get32(r + 28), 1024u);
    EXPECT_EQ(r[32], ccDecelerate);
    EXPECT_EQ(r[160], 0xAB);

    TCamera loaded(random);
    s.SetPosition(0);
    ASSERT_TRUE(loaded.LoadFromStream(s));
    loaded.Advance(200);
    cam.Advance(200);
    EXPECT_EQ(loaded.X, cam.X);
    EXPECT_EQ(loaded.Y, cam.Y);

    // A short stream changes nothing.
    TMemoryStream shortStream(s.AsString().substr(0, 160));
    EXPECT_FALSE(loaded.LoadFromStream(shortStream));
    EXPECT_EQ(loaded.Elapsed, 500);
}

// A screen object on a layer that records where it is drawn.
class TPlacedObject final : public IKelScreenObject {
public:
    explicit TPlacedObject(int32_t z) : Layer(z) {}
    void Clear() override {}
    void Update(uint32_t, int32_t) override {}
    void Draw(TARGB8888CellDraw* target, uint32_t, int32_t dx, int32_t dy) override {
        Target = target;
        DrawnAt = {dx, dy};
    }
    bool SaveToStream(TStream&) override { return true; }
    bool LoadFromStream(TStream&) override { return true; }
    void RestoreState() override {}
    void CaptureState() override {}
    int32_t Z() const override { return Layer; }
    TKelScreenObjectInfo Info() const override { return {}; }
    void MouseMove(uint32_t, int32_t, int32_t) override {}

    int32_t Layer;
    TARGB8888CellDraw* Target = nullptr;
    std::pair<int32_t, int32_t> DrawnAt{-1, -1};
};

TEST(KelCameraTest, TheInterpreterMovesItsObjectsButNotItsOverlays) {
    TObjectKindRegistry kinds;
    KelGraphicLib::Register(kinds);
    std::map<std::string, TPlacedObject*> placed;
    kinds.RegisterFactory("img", [&](TKelScript&, const std::string& name) {
        auto object = std::make_unique<TPlacedObject>(name == "overlay" ? kOverlayLayer : kOverlayLayer - 1);
        placed[name] = object.get();
        return std::make_unique<TKelObjectDataImage>(name, std::move(object));
    });
    TContextFixture context;
    TKelScript script;
    script.Kinds = &kinds;
    ASSERT_TRUE(script.Setup(TScriptLinks{.Context = &context.Context}));
    TCamera* camera = KelGraphicLib::CameraOf(script);
    ASSERT_NE(camera, nullptr);
    ASSERT_NE(KelGraphicLib::GraphicOf(script), nullptr);
    ASSERT_TRUE(script.OnObjectCreate("img", "scene"));
    ASSERT_TRUE(script.OnObjectCreate("img", "overlay"));

    camera->SetCurve(ccLinear);
    camera->MoveTo(30, -10, 100);
    script.Execute(50, true);  // the frame step moves the camera on
    script.Draw(0, true, 0xFFFF);
    EXPECT_EQ(placed["scene"]->DrawnAt, (std::pair{15, -5}));
    EXPECT_EQ(placed["overlay"]->DrawnAt, (std::pair{0, 0}));
    EXPECT_EQ(placed["scene"]->Target, KelGraphicLib::GraphicOf(script)->CellDraw());
    // Its shakes draw from the game's random state.
    camera->SetCurve(ccShake);
    camera->MoveTo(0, 0, 100);
    script.Execute(50, true);
    EXPECT_EQ(context.Context.Random.RandomIndex, 2);
    // A reset puts the camera back at once.
    script.Reset();
    EXPECT_EQ(camera->X, 0);
}

}  // namespace
