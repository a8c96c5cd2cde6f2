// The screen object base on pictures and small animations served from an in-memory pack set:
// tweens against the clock, the states and the motions they choose, hover through the hit test,
// anchors, masks and the show rectangle in drawn frames, colour rectangles, reloading, the saved
// record byte by byte, memory pictures through JPEG, capture and restore, damaged saves, and the
// two-phase life of derived objects.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/StreamStrings.h"
#include "foundation/uMisc_Math.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpWriter.h"
#include "media/MediaContext.h"
#include "objects/ImageLib.h"
#include "platform/ClassLib.h"
#include "platform/LittleEndian.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/ImageFixtures.h"

namespace {

using AnimationFixtures::SolidPng;

constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kRed = 0xFFFF0000;

// "anim.b": 40 x 20, one green picture, motions Idle, *Enable, *Disable, *OnMouse, *OffMouse,
// each drawing the picture over a hit area of the whole frame.
std::string StateAnimation() {
    return AnimationBmpWriter::Write(AnimationFixtures::StateFile(40, 20, {SolidPng(40, 20, kGreen)}));
}

class ImageLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        Context.Packs.FileExistsHook = [this](const std::string& name) { return Files.count(Key(name)) > 0; };
        Context.Packs.LoadFileHook = [this](const std::string& name) -> std::unique_ptr<TMemoryStream> {
            auto it = Files.find(Key(name));
            return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
        };
        Files[Key("anim.b")] = StateAnimation();
        Files[Key("pic.png")] = SolidPng(40, 20, kGreen);
        Files[Key("red.png")] = SolidPng(40, 20, kRed);
        Cells.SetScreenSize(200, 120);
    }
    static std::string Key(const std::string& name) { return ClassLib::LowerAscii(PackLib::NormalizePath(name)); }

    // An image showing file 1 at (x, y), shown and enabled, with one frame run.
    ImageLib::TPtr<TImageLib> Shown(const std::string& file, int32_t x = 0, int32_t y = 0) {
        auto image = ImageLib::Make<TImageLib>(Context.Packs);
        EXPECT_TRUE(image->LoadImages(file, "", "", "", "", false, false)) << file;
        image->MoveTo(x, y, 0, 0);
        image->Enable();
        image->Update(255, 0);
        return image;
    }

    // The frame the image draws, and the box of pixels that are not the black background
    // (left, top, right, bottom; all 0 when nothing is drawn).
    std::array<int32_t, 4> DrawnBox(TImageLib& image, uint32_t mask = 255, int32_t dx = 0, int32_t dy = 0) {
        Cells.Clear();
        Cells.InvalidateAll();
        image.Draw(&Cells, mask, dx, dy);
        Cells.Render(0xFF000000, false, 0x7FFFFFFF);
        std::array<int32_t, 4> box{INT32_MAX, INT32_MAX, 0, 0};
        for (int32_t y = 0; y < Cells.Height(); ++y)
            for (int32_t x = 0; x < Cells.Width(); ++x)
                if ((Cells.FrameBuffer->ScanLine(y)[x] & 0xFFFFFF) != 0) {
                    box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1), std::max(box[3], y + 1)};
                }
        return box[0] == INT32_MAX ? std::array<int32_t, 4>{0, 0, 0, 0} : box;
    }

    std::map<std::string, std::string> Files;
    TARGB8888CellDraw Cells;
    TContextFixture Context;
};

TEST(ImageLibEaseTest, KindsAtChosenProgress) {
    struct TCase {
        TMoveEasing Kind;
        int32_t Progress, Value;
    };
    const TCase cases[] = {
        {TMoveEasing::Linear, -1, 0},        {TMoveEasing::Linear, 0, 0},
        {TMoveEasing::Linear, 256, 250},     {TMoveEasing::Linear, 1023, 999},
        {TMoveEasing::Linear, 1024, 1000},   {TMoveEasing::Linear, 5000, 1000},
        {TMoveEasing::Jump, 0, 1000},        {TMoveEasing::Jump, -1, 0},
        {TMoveEasing::BSpline, 256, 318},    {TMoveEasing::BSpline, 512, 500},
        {TMoveEasing::Decelerate, 512, 811},  // 1 - 0.5^2.4
        {TMoveEasing::Accelerate, 512, 189},  // 0.5^2.4
        {TMoveEasing::Hermite, 256, 250},     // the end tangents of a straight move keep it straight
        {TMoveEasing::Shake, 1024, 1000},    {static_cast<TMoveEasing>(7), 512, 1000},
    };
    uMisc_Math::TRandomState random;
    for (const TCase& c : cases)
        EXPECT_EQ(TImageLib::Ease(0, 1000, c.Progress, static_cast<int32_t>(c.Kind), random), c.Value)
            << static_cast<int>(c.Kind) << " at " << c.Progress;

    // The shake strays at most 20 pixels at the start, less on the way, and ends on the target.
    for (int32_t p = 0; p < 1024; p += 64) {
        const int32_t plain = TImageLib::Ease(0, 1000, p, static_cast<int32_t>(TMoveEasing::Decelerate), random);
        const int32_t shaken = TImageLib::Ease(0, 1000, p, static_cast<int32_t>(TMoveEasing::Shake), random);
        EXPECT_LE(std::abs(shaken - plain), 20 - 20 * p / 1024 + 1) << p;
    }
}

TEST_F(ImageLibTest, MovesAndFadesFollowTheClock) {
    auto image = ImageLib::Make<TImageLib>(Context.Packs);
    const TImageRecord& r = image->Record;
    struct TStep {
        int32_t Elapsed;
        int32_t X, Y, Z, Alpha;
    };
    // 0 -> (100, 200, 10) in 1000 ms, eased as a B-spline (which neither starts nor ends on its
    // ends: it runs from 1/6 to 5/6 of the way, then jumps to the target); z still moves in a
    // straight line. 255 -> 0 in 500 ms. The object is hidden all along: tweens run all the same.
    image->SetMoveEasing(static_cast<int32_t>(TMoveEasing::BSpline));
    image->MoveTo(100, 200, 10, 1000);
    image->FadeTo(0, 500);
    for (const TStep& s : {TStep{0, 17, 33, 0, 255}, TStep{250, 32, 64, 2, 128}, TStep{250, 50, 100, 5, 0},
                           TStep{400, 78, 156, 9, 0}, TStep{100, 100, 200, 10, 0}, TStep{100, 100, 200, 10, 0}}) {
        image->Update(255, s.Elapsed);
        EXPECT_EQ((std::array<int32_t, 4>{r.X, r.Y, r.Z, r.Alpha}), (std::array<int32_t, 4>{s.X, s.Y, s.Z, s.Alpha}))
            << "after +" << s.Elapsed;
    }
    EXPECT_FALSE(image->IsVisible());

    // A move replaced halfway continues from the old target, not from where the object stands;
    // a fade likewise.
    image->SetMoveEasing(static_cast<int32_t>(TMoveEasing::Linear));
    image->MoveTo(300, 200, 10, 1000);
    image->Update(255, 500);
    EXPECT_EQ(r.X, 200);
    image->MoveTo(0, 0, 0, 1000);
    image->FadeTo(255, 100);
    image->Update(255, 0);
    EXPECT_EQ(r.X, 300);
    EXPECT_EQ(r.Alpha, 0);
    image->Update(255, 50);
    EXPECT_EQ(r.X, 285);
    EXPECT_EQ(r.Alpha, 128);

    // 0 ms jumps at once, before any update.
    image->MoveTo(-7, 8, 9, 0);
    EXPECT_EQ((std::array<int32_t, 3>{r.X, r.Y, r.Z}), (std::array<int32_t, 3>{-7, 8, 9}));

    // Progress in whole 1024ths: 3 ms with 1 left is 1024 - 341 = 683.
    image->MoveTo(1017, 8, 9, 3);
    image->Update(255, 2);
    EXPECT_EQ(r.X, -7 + 683);

    // Time left x 1024 overflows 32 bits for moves of some hours; the position does not.
    image->MoveTo(0, 8, 9, 0);
    image->MoveTo(1000, 8, 9, 10000000);
    image->Update(255, 5000000);
    EXPECT_EQ(r.X, 500);
}

TEST_F(ImageLibTest, StatesChooseMotions) {
    auto image = ImageLib::Make<TImageLib>(Context.Packs);
    ASSERT_TRUE(image->LoadImages("anim.b", "", "", "", "", false, false));
    struct TStep {
        const char* What;
        std::function<void(TImageLib&)> Act;
        const char* Motion;
        bool Visible, Enabled;
    };
    const TStep steps[] = {
        {"loaded", [](TImageLib&) {}, "Idle", false, false},
        {"show keeps the motion", [](TImageLib& i) { i.Show(); }, "Idle", true, true},
        {"enable when enabled", [](TImageLib& i) { i.Enable(); }, "Idle", true, true},
        {"hide", [](TImageLib& i) { i.Hide(); }, "Idle", false, false},
        {"enable a hidden object", [](TImageLib& i) { i.Enable(); }, "*Enable", true, true},
        {"disable", [](TImageLib& i) { i.Disable(); }, "*Disable", true, false},
        {"disable again", [](TImageLib& i) { i.Disable(); }, "*Disable", true, false},
        {"a motion while disabled hides", [](TImageLib& i) { i.SetMotion("idle", false); }, "Idle", false, false},
        {"enable", [](TImageLib& i) { i.Enable(); }, "*Enable", true, true},
        {"a missing motion", [](TImageLib& i) { i.SetMotion("*nothing", true); }, "*Enable", true, true},
        {"index -1", [](TImageLib& i) { i.SetMotionByIndex(-1, true); }, "*Enable", true, true},
        {"by index", [](TImageLib& i) { i.SetMotionByIndex(4, false); }, "*OffMouse", true, true},
        {"disable while hidden", [](TImageLib& i) { i.Hide(), i.Disable(); }, "*OffMouse", false, false},
    };
    for (const TStep& s : steps) {
        s.Act(*image);
        EXPECT_EQ(image->GetCurrentMotionName(), s.Motion) << s.What;
        EXPECT_EQ(image->IsVisible(), s.Visible) << s.What;
        EXPECT_EQ(image->IsEnabled(), s.Enabled) << s.What;
        EXPECT_EQ(image->Record.MotionIndex, image->GetMotionIndex()) << s.What;
    }

    // A picture has no "*Disable": disabling hides it.
    auto picture = Shown("pic.png");
    picture->Disable();
    EXPECT_FALSE(picture->IsVisible());

    // An unforced choice of the current motion does not restart it; a forced one does.
    image->Enable();
    image->Update(255, 300);
    image->SetMotion("*enable", false);
    EXPECT_EQ(image->Animation->LayerTime[0], 300);
    image->SetMotion("*enable", true);
    EXPECT_EQ(image->Animation->LayerTime[0], 0);
}

TEST_F(ImageLibTest, HoverAndHitTest) {
    auto image = Shown("anim.b", 100, 100);
    image->SetMotion("Idle", true);
    struct TCase {
        int32_t X, Y;
        bool Hit;
    };
    for (const TCase& c : {TCase{100, 100, true}, TCase{139, 119, true}, TCase{140, 100, false}, TCase{100, 120, false},
                           TCase{99, 110, false}})
        EXPECT_EQ(image->HitTest(c.X, c.Y), c.Hit) << c.X << "," << c.Y;

    struct TMove {
        uint32_t Mask;
        int32_t X, Y;
        const char* Motion;
    };
    image->SetInputMask(6);
    for (const TMove& m : {TMove{255, 10, 10, "Idle"}, TMove{1, 110, 110, "Idle"}, TMove{2, 110, 110, "*OnMouse"},
                           TMove{2, 115, 115, "*OnMouse"}, TMove{4, 10, 10, "*OffMouse"}, TMove{4, 20, 20, "*OffMouse"},
                           TMove{4, 110, 110, "*OnMouse"}}) {
        image->MouseMove(m.Mask, m.X, m.Y);
        EXPECT_EQ(image->GetCurrentMotionName(), m.Motion) << m.Mask << " " << m.X << "," << m.Y;
    }
    EXPECT_EQ(image->Record.PointerX, 110);

    // Hidden: no hover, and the animation's clock stands.
    image->Hide();
    image->MouseMove(255, 10, 10);
    EXPECT_EQ(image->GetCurrentMotionName(), "*OnMouse");
    const double clock = image->Animation->LayerTime[0];
    image->Update(255, 100);
    EXPECT_EQ(image->Animation->LayerTime[0], clock);

    // The hit test places the object where its move ends, and the anchor shifts it.
    image->Show();
    image->MoveTo(300, 100, 0, 1000);
    EXPECT_TRUE(image->HitTest(310, 110));
    EXPECT_FALSE(image->HitTest(110, 110));
    image->SetAnchor(1, 2);
    EXPECT_TRUE(image->HitTest(280, 80));
    EXPECT_FALSE(image->HitTest(320, 100));

    // A picture has no hit areas of its own: the extra rectangle, pushed at each update, is all.
    auto picture = Shown("pic.png", 50, 50);
    EXPECT_FALSE(picture->HitTest(50, 50));
    picture->SetHitRect(-5, -5, 5, 5);
    EXPECT_FALSE(picture->HitTest(45, 45));
    picture->Update(255, 16);
    EXPECT_TRUE(picture->HitTest(45, 45));
    EXPECT_FALSE(picture->HitTest(55, 50));
    picture->SetHitSize(3, 3);
    picture->Update(255, 16);
    EXPECT_TRUE(picture->HitTest(52, 52));
    picture->SetHitRect(3, 3, 3, 3);  // a point
    picture->Update(255, 16);
    EXPECT_FALSE(picture->HitTest(53, 53));
}

TEST_F(ImageLibTest, AnchorsPlaceTheDrawnPicture) {
    auto image = Shown("pic.png", 60, 50);
    struct TCase {
        int32_t H, V;
        std::array<int32_t, 4> Box;
        std::array<int32_t, 3> Xs, Ys;  // GetAnchorX and GetAnchorY of points 0, 1, 2
    };
    const TCase cases[] = {
        {0, 0, {60, 50, 100, 70}, {60, 80, 100}, {50, 60, 70}},  {1, 1, {40, 40, 80, 60}, {40, 60, 80}, {40, 50, 60}},
        {2, 2, {20, 30, 60, 50}, {20, 40, 60}, {30, 40, 50}},    {2, 0, {20, 50, 60, 70}, {20, 40, 60}, {50, 60, 70}},
        {7, -1, {60, 50, 100, 70}, {60, 80, 100}, {50, 60, 70}},  // other numbers count as 0
    };
    for (const TCase& c : cases) {
        image->SetAnchor(c.H, c.V);
        EXPECT_EQ(DrawnBox(*image), c.Box) << c.H << "," << c.V;
        for (int32_t p = 0; p < 3; ++p) {
            EXPECT_EQ(image->GetAnchorX(p), c.Xs[static_cast<size_t>(p)]) << c.H << " point " << p;
            EXPECT_EQ(image->GetAnchorY(p), c.Ys[static_cast<size_t>(p)]) << c.V << " point " << p;
        }
    }
    // The edges are those of the move's end; the picture is drawn where the object is now.
    image->SetAnchor(0, 0);
    image->MoveTo(100, 50, 0, 1000);
    image->Update(255, 500);
    EXPECT_EQ(image->GetAnchorX(0), 100);
    EXPECT_EQ(DrawnBox(*image), (std::array<int32_t, 4>{80, 50, 120, 70}));
    EXPECT_EQ(DrawnBox(*image, 255, -30, 5), (std::array<int32_t, 4>{50, 55, 90, 75}));
}

TEST_F(ImageLibTest, WhatIsDrawn) {
    const std::array<int32_t, 4> shown{0, 0, 40, 20}, none{0, 0, 0, 0};
    struct TCase {
        const char* What;
        std::function<void(TImageLib&)> Set;
        uint32_t Mask;
        std::array<int32_t, 4> Box;
    };
    const TCase cases[] = {
        {"shown", [](TImageLib&) {}, 255, shown},
        {"masks do not meet", [](TImageLib& i) { i.SetDrawMask(6); }, 1, none},
        {"masks meet", [](TImageLib& i) { i.SetDrawMask(6); }, 0x10004, shown},
        {"hidden", [](TImageLib& i) { i.Hide(); }, 255, none},
        {"shown but disabled", [](TImageLib& i) { i.Disable(); }, 255, none},
        {"faded out", [](TImageLib& i) { i.FadeTo(0, 0); }, 255, none},
        {"no file", [](TImageLib& i) { i.LoadImages("", "", "", "", "", false, false), i.Show(); }, 255, none},
        {"pointer outside the show rectangle",
         [](TImageLib& i) { i.SetShowRect(0, 0, 40, 20), i.MouseMove(255, 40, 5); }, 255, none},
        {"pointer inside the show rectangle",
         [](TImageLib& i) { i.SetShowRect(0, 0, 40, 20), i.MouseMove(255, 39, 19); }, 255, shown},
        {"an empty show rectangle", [](TImageLib& i) { i.SetShowRect(5, 0, 5, 20), i.MouseMove(255, 99, 99); }, 255,
         shown},
    };
    for (const TCase& c : cases) {
        auto image = Shown("pic.png");
        c.Set(*image);
        EXPECT_EQ(DrawnBox(*image, c.Mask), c.Box) << c.What;
    }
}

TEST_F(ImageLibTest, ColourRectangles) {
    struct TCase {
        const char* Text;
        bool Loads;
        int16_t X, Y, W, H;
        uint32_t Colour;
    };
    const TCase cases[] = {
        {"rect,10,20,,,$80FF0000", true, 10, 20, 800, 600, 0x80FF0000},
        {"RECT,1,2,3,4,$ff00ff00", true, 1, 2, 3, 4, 0xFF00FF00},
        {"rect,-1,x,3,4,", true, -1, 0, 3, 4, 0xFFFFFFFF},
        {"rect,1,2,3,4", false, 0, 0, 0, 0, 0},      // five items: a file name
        {"rect,1,2,3,4,5,6", false, 0, 0, 0, 0, 0},  // seven
    };
    for (const TCase& c : cases) {
        auto image = ImageLib::Make<TImageLib>(Context.Packs);
        image->Show();
        EXPECT_EQ(image->LoadImages(c.Text, "", "", "", "", false, false), c.Loads) << c.Text;
        EXPECT_TRUE(image->IsVisible()) << c.Text;  // neither a rectangle nor a name not found hides
        if (!c.Loads) {
            EXPECT_EQ(image->Record.Files[0], "");
            continue;
        }
        EXPECT_EQ(image->Record.Files[0], c.Text);
        const TABMPKeyFrame& k = image->Animation->Data->Motions[0]->Layers[1]->Keys[0];
        EXPECT_EQ((std::array<int32_t, 4>{k.DstX, k.DstY, k.DstW, k.DstH}),
                  (std::array<int32_t, 4>{c.X, c.Y, c.W, c.H}))
            << c.Text;
        EXPECT_EQ(k.MulColor, c.Colour & 0xFFFFFF) << c.Text;
        EXPECT_EQ(k.Alpha, c.Colour >> 24) << c.Text;
    }
    auto image = ImageLib::Make<TImageLib>(Context.Packs);
    EXPECT_TRUE(image->LoadRect(1, -2, 3, 4, 0x0A0B0C0D));
    EXPECT_EQ(image->Record.Files[0], "rect,1,-2,3,4,$0a0b0c0d");
}

TEST_F(ImageLibTest, LoadingPictures) {
    // The same names again load nothing: the clock runs on and the object stays shown.
    auto image = Shown("anim.b");
    image->Update(255, 300);
    EXPECT_TRUE(image->LoadImages("anim.b", "", "", "", "", false, false));
    EXPECT_TRUE(image->IsVisible());
    EXPECT_EQ(image->Animation->LayerTime[0], 300);
    EXPECT_TRUE(image->LoadImages("anim.b", "", "", "", "", true, false));  // forced
    EXPECT_FALSE(image->IsVisible());
    EXPECT_EQ(image->Animation->LayerTime[0], 0);

    // Files 2 to 5 replace the embedded pictures; missing ones are passed over.
    image->EffectStrings[0] = "mirror,1";
    ASSERT_TRUE(image->LoadImages("anim.b", "red.png", "gone.png", "", "", false, false));
    EXPECT_EQ(image->Record.Files, (TImageLib::TFiles{"anim.b", "red.png", "", "", ""}));
    TABMPImageData10& embedded = *image->Animation->Images->Items[0];
    EXPECT_EQ(embedded.Picture->ScanLine(0)[0], kRed);
    EXPECT_EQ(embedded.Effect.Effect, "mirror,1");

    // A file 1 that is not there, or does not load, leaves the object empty.
    Files[Key("broken.b")] = "abmp11 and then nothing";
    for (const char* file : {"missing.png", "broken.b"}) {
        EXPECT_FALSE(image->LoadImages(file, "red.png", "", "", "", false, false)) << file;
        EXPECT_EQ(image->Record.Files, TImageLib::TFiles{}) << file;
        EXPECT_EQ(image->GetWidth(), 0) << file;
    }

    // Memory pictures ("$$$" names) always load again, and are kept in their slots.
    Files[Key("$$$shot.png")] = SolidPng(4, 4, kGreen);
    image = Shown("$$$shot.png");
    EXPECT_EQ(image->MemoryNames[0], "$$$shot.png");
    ASSERT_NE(image->MemoryStreams[0], nullptr);
    EXPECT_EQ(image->MemoryStreams[0]->AsString(), Files[Key("$$$shot.png")]);
    EXPECT_TRUE(image->LoadImages("$$$shot.png", "", "", "", "", false, false));
    EXPECT_FALSE(image->IsVisible());
    image = Shown("pic.png");
    EXPECT_EQ(image->MemoryStreams[0], nullptr);
    EXPECT_EQ(image->MemoryNames[0], "");

    // The animation keeps the volume the object was given across loads.
    image->SetSoundVolume(100);
    image->LoadImages("anim.b", "", "", "", "", false, false);
    EXPECT_EQ(image->Animation->Volume, 100);
}

TEST_F(ImageLibTest, MemorySlots) {
    struct TCase {
        const char* Name;
        bool Memory;
    };
    for (const TCase& c :
         {TCase{"$$$", true}, TCase{"$$$x.bmp", true}, TCase{"$$", false}, TCase{"a$$$", false}, TCase{"", false}})
        EXPECT_EQ(TImageLib::IsMemoryImageName(c.Name), c.Memory) << c.Name;

    auto image = ImageLib::Make<TImageLib>(Context.Packs);
    TMemoryStream bytes("picture");
    bytes.SetPosition(3);
    image->SetMemoryImage(2, &bytes, "$$$a.bmp");
    EXPECT_EQ(image->MemoryStreams[2]->AsString(), "picture");
    EXPECT_EQ(image->MemoryStreams[2]->Position(), 0);
    EXPECT_EQ(bytes.Position(), 3);
    image->SetMemoryImage(2, &bytes, "plain.bmp");
    EXPECT_EQ(image->MemoryStreams[2], nullptr);
    EXPECT_EQ(image->MemoryNames[2], "");
    image->SetMemoryImage(8, &bytes, "$$$a.bmp");
    image->SetMemoryImage(-1, &bytes, "$$$a.bmp");
    image->SetMemoryImage(7, &bytes, "$$$a.bmp");
    image->Clear();
    EXPECT_EQ(image->MemoryStreams[7], nullptr);
}

// Little-endian reads at record offsets.
int32_t I32At(const std::string& s, size_t offset) {
    return static_cast<int32_t>(LittleEndian::Get32(reinterpret_cast<const uint8_t*>(s.data()) + offset));
}
std::string ShortAt(const std::string& s, size_t offset) {
    return s.substr(offset + 1, static_cast<uint8_t>(s[offset]));
}

TEST_F(ImageLibTest, RecordFieldsAtTheirOffsets) {
    for (const char* name : {"c.png", "d.png", "e.png"})
        Files[Key(name)] = SolidPng(2, 2, kRed);
    auto image = Shown("anim.b");
    ASSERT_TRUE(image->LoadImages("anim.b", "red.png", "c.png", "d.png", "e.png", false, false));
    image->Show();
    image->SetMotionByIndex(2, true);
    image->Disable();  // visible, not enabled
    image->SetSoundVolume(77);
    image->SetSoundChannel(5);
    image->SetEffectChannel(6);
    image->Animation->Speed = 1.5f;
    image->MoveTo(11, 12, 13, 0);
    image->MoveTo(21, 22, 23, 400);
    image->FadeTo(55, 0);
    image->FadeTo(66, 300);
    image->Update(255, 100);                    // a quarter of the move: 13.5, 14.5, 15.5, rounded halves to even
    image->Animation->SetLayerTime(0, 1234.5);  // saved rounded, halves to even
    image->Animation->SetLayerTime(1, -3);
    image->Animation->SetLayerWait(255, 99);
    image->SetHitRect(-1, -2, 3, 4);
    image->MouseMove(0, 31, 32);
    image->SetShowRect(41, 42, 43, 44);
    image->SetMoveEasing(4);
    for (int32_t i = 0; i < 4; ++i) {
        image->SetUserInt(i, 1000 + i);
        image->SetUserString(i, std::string(i == 3 ? 70 : 1, static_cast<char>('a' + i)));
    }
    image->SetAnchor(1, 2);
    image->SetInputMask(0x12345678);
    image->SetDrawMask(0x9ABCDEF0);
    image->SetClickPoint(51, 52);
    image->Record.Paused = 1;

    TMemoryStream stream;
    ASSERT_TRUE(image->SaveToStream(&stream));
    const std::string s = stream.AsString();
    ASSERT_EQ(s.size(), static_cast<size_t>(TImageRecord::kSize + 16 * 2));

    struct TInt {
        size_t Offset;
        int32_t Value;
    };
    const TInt ints[] = {
        {2, 77},
        {6, 2},
        {10, 1234},
        {14, -3},
        {1034 + 4 * 255, 99},
        {2058, 14},
        {2062, 14},
        {2066, 16},
        {2070, 59},
        {2074, 5},
        {2078, 6},
        {2338, -1},
        {2342, -2},
        {2346, 3},
        {2350, 4},
        {2354, 31},
        {2358, 32},
        {2362, 41},
        {2366, 42},
        {2370, 43},
        {2374, 44},
        {2378, 11},
        {2382, 12},
        {2386, 13},
        {2390, 21},
        {2394, 22},
        {2398, 23},
        {2402, 300},
        {2406, 400},
        {2410, 55},
        {2414, 66},
        {2418, 200},
        {2422, 300},
        {2427, 1000},
        {2439, 1003},
        {2699, 1},
        {2703, 2},
        {2707, 0x12345678},
        {2711, static_cast<int32_t>(0x9ABCDEF0)},
        {2715, 51},
        {2719, 52},
        {2723, 2},
        {3120, 150},
    };
    for (const TInt& f : ints)
        EXPECT_EQ(I32At(s, f.Offset), f.Value) << "at " << f.Offset;
    struct TText {
        size_t Offset;
        std::string Value;
    };
    const TText texts[] = {
        {2082, "anim.b"}, {2210, "red.png"}, {2443, "a"},    {2443 + 64, "b"}, {2443 + 192, std::string(63, 'd')},
        {2728, "c.png"},  {2856, "d.png"},   {2984, "e.png"}};
    for (const TText& f : texts)
        EXPECT_EQ(ShortAt(s, f.Offset), f.Value) << "at " << f.Offset;
    EXPECT_EQ(s[0], 1);     // visible
    EXPECT_EQ(s[1], 0);     // enabled
    EXPECT_EQ(s[2426], 4);  // easing
    EXPECT_EQ(s[2727], 1);  // paused
    EXPECT_EQ(s.substr(3112, 8), std::string(8, '\0'));
    EXPECT_EQ(s.substr(3124, 1652), std::string(1652, '\0'));

    // Read back into a fresh object: the same record, and the animation where it was.
    auto copy = ImageLib::Make<TImageLib>(Context.Packs);
    stream.SetPosition(0);
    ASSERT_TRUE(copy->LoadFromStream(&stream));
    EXPECT_EQ(stream.Remaining(), 0);
    EXPECT_EQ(copy->Record, image->Record);
    EXPECT_EQ(copy->GetMotionIndex(), 2);
    EXPECT_EQ(copy->Animation->LayerTime[0], 1234);
    EXPECT_EQ(copy->Animation->LayerWait[255], 99);
    EXPECT_EQ(copy->Animation->Speed, 1.5f);
    EXPECT_EQ(copy->Animation->Volume, 77);
    EXPECT_EQ(copy->Animation->VoiceStream, 5);
    EXPECT_EQ(copy->Animation->SoundChannel, 6);
    EXPECT_EQ(copy->Animation->Images->Items[0]->Picture->ScanLine(0)[0], kRed);
    TMemoryStream again;
    copy->SaveToStream(&again);
    EXPECT_EQ(again.AsString(), s);
}

TEST(ImageLibSpeedTest, PercentAndFactor) {
    struct TCase {
        int32_t Percent;
        float Factor;
    };
    for (const TCase& c : {TCase{0, 1.0f}, TCase{-1, 0.0f}, TCase{150, 1.5f}, TCase{-50, -0.5f}})
        EXPECT_EQ(TImageLib::SpeedFromPercent(c.Percent), c.Factor) << c.Percent;
    struct TBack {
        float Factor;
        int32_t Percent;
    };
    for (const TBack& c : {TBack{1.0f, 100}, TBack{0.0f, -1}, TBack{0.004f, -1}, TBack{0.125f, 12}, TBack{2.5f, 250}})
        EXPECT_EQ(TImageLib::PercentFromSpeed(c.Factor), c.Percent) << c.Factor;
}

// A 4 x 4 BMP of half-transparent red, as the engine's virtual files hand out.
std::string HalfRedBmp() {
    ImageFixtures::TBmp bmp;
    bmp.Width = 4;
    bmp.Height = 4;
    bmp.Bits = 32;
    bmp.Pixels.assign(16, 0x80FF0000);
    return ImageFixtures::WriteBmp(bmp);
}

TEST_F(ImageLibTest, MemoryPicturesTravelAsJpeg) {
    Files[Key("$$$shot.bmp")] = HalfRedBmp();
    auto image = Shown("$$$shot.bmp", 5, 6);
    ASSERT_EQ(image->Animation->Images->Items[0]->GetImage()->ScanLine(0)[0], 0x80FF0000u);
    TMemoryStream stream;
    ASSERT_TRUE(image->SaveToStream(&stream));
    const std::string s = stream.AsString();
    EXPECT_EQ(s[3112], 1);
    EXPECT_EQ(s.substr(3113, 7), std::string(7, '\0'));
    TMemoryStream tail(s.substr(TImageRecord::kSize + 32));
    std::string name;
    ASSERT_TRUE(uMisc::ReadStreamString(&tail, name));
    EXPECT_EQ(name, "$$$shot.jpg");
    uint32_t size = 0;
    ASSERT_TRUE(LittleEndian::Read32(tail, size));
    EXPECT_EQ(size, tail.Remaining());
    EXPECT_EQ(tail.AsString().substr(tail.Position(), 2), "\xFF\xD8");

    // The virtual file shows something else by now: the saved picture comes back, opaque.
    Files[Key("$$$shot.bmp")] = SolidPng(4, 4, kGreen);
    auto copy = ImageLib::Make<TImageLib>(Context.Packs);
    stream.SetPosition(0);
    ASSERT_TRUE(copy->LoadFromStream(&stream));
    EXPECT_EQ(copy->MemoryNames[0], "$$$shot.bmp");
    EXPECT_TRUE(copy->IsVisible());
    const uint32_t pixel = copy->Animation->Images->Items[0]->GetImage()->ScanLine(0)[0];
    EXPECT_EQ(pixel >> 24, 0xFFu);
    EXPECT_GE((pixel >> 16) & 0xFF, 0xF0u);
    EXPECT_LE(pixel & 0xFFFF, 0x1010u);
    EXPECT_EQ(DrawnBox(*copy), (std::array<int32_t, 4>{5, 6, 9, 10}));

    // A slot whose bytes are no picture is not announced, and the save stays whole.
    TMemoryStream junk("not a picture");
    copy->SetMemoryImage(3, &junk, "$$$junk.bmp");
    TMemoryStream second;
    copy->SaveToStream(&second);
    EXPECT_EQ(second.AsString()[3112 + 3], 0);
    second.SetPosition(0);
    EXPECT_TRUE(ImageLib::Make<TImageLib>(Context.Packs)->LoadFromStream(&second));
    EXPECT_EQ(second.Remaining(), 0);
}

// The game's picture cache keeps what it has read under the name it was given: each load of a
// memory picture is a new name, so a later load shows what the virtual file holds by then, while
// an ordinary file is still shared.
TEST_F(ImageLibTest, EachLoadOfAMemoryPictureReadsItAnew) {
    TMediaContext media;
    media.Pictures.SetCapacity(1 << 20);
    auto load = [&](const std::string& name) {
        auto image = ImageLib::Make<TImageLib>(Context.Packs);
        image->UseMedia(&media);
        EXPECT_TRUE(image->LoadImages(name, "", "", "", "", false, false)) << name;
        return image;
    };
    auto bmp = [](uint32_t colour) {
        ImageFixtures::TBmp b;
        b.Width = b.Height = 4;
        b.Bits = 32;
        b.Pixels.assign(16, colour);
        return ImageFixtures::WriteBmp(b);
    };
    Files[Key("$$$shot.bmp")] = bmp(kRed);
    auto first = load("$$$shot.bmp");
    Files[Key("$$$shot.bmp")] = bmp(kGreen);
    auto second = load("$$$shot.bmp");
    EXPECT_EQ(first->Animation->Images->Items[0]->GetImage()->ScanLine(0)[0], kRed);
    EXPECT_EQ(second->Animation->Images->Items[0]->GetImage()->ScanLine(0)[0], kGreen);
    EXPECT_EQ(media.Pictures.MemoryLoads, 2u);

    Files[Key("pic.png")] = SolidPng(4, 4, kRed);
    auto picture = load("pic.png");
    Files[Key("pic.png")] = SolidPng(4, 4, kGreen);
    EXPECT_EQ(load("pic.png")->Animation->Images->Items[0]->GetImage()->ScanLine(0)[0], kRed);
}

TEST_F(ImageLibTest, CaptureAndRestore) {
    auto image = Shown("anim.b");
    image->LoadImages("anim.b", "red.png", "", "", "", false, false);
    image->Enable();
    image->SetMotion("*OnMouse", true);
    image->CaptureState();
    image->LoadImages("pic.png", "", "", "", "", false, false);
    image->Hide();
    image->RestoreState();
    EXPECT_EQ(image->Record.Files, (TImageLib::TFiles{"anim.b", "red.png", "", "", ""}));
    EXPECT_TRUE(image->IsEnabled());
    EXPECT_EQ(image->GetCurrentMotionName(), "*OnMouse");

    // A hidden object is restored hidden; Clear captures the empty object.
    image->Hide();
    image->CaptureState();
    image->Enable();
    image->RestoreState();
    EXPECT_FALSE(image->IsVisible());
    image->Clear();
    image->RestoreState();
    EXPECT_EQ(image->Record.Files[0], "");
}

TEST_F(ImageLibTest, DamagedSavesLeaveTheObjectCleared) {
    Files[Key("$$$shot.bmp")] = HalfRedBmp();
    auto image = Shown("$$$shot.bmp");
    image->EffectStrings[15] = "blur";
    TMemoryStream stream;
    image->SaveToStream(&stream);
    const std::string s = stream.AsString();
    const size_t slot = TImageRecord::kSize + 15 * 2 + 2 + 4;  // after the effect texts
    const size_t count = slot + 2 + std::string("$$$shot.jpg").size();

    auto target = ImageLib::Make<TImageLib>(Context.Packs);
    for (size_t cut :
         {size_t{0}, size_t{100}, size_t{TImageRecord::kSize}, slot - 1, slot + 5, count + 2, s.size() - 1}) {
        target->LoadImages("pic.png", "", "", "", "", false, false);
        target->Show();
        TMemoryStream part(s.substr(0, cut));
        EXPECT_FALSE(target->LoadFromStream(&part)) << cut;
        EXPECT_EQ(target->Record.Files[0], "") << cut;
        EXPECT_FALSE(target->IsVisible()) << cut;
        EXPECT_EQ(target->MemoryStreams[0], nullptr) << cut;
        EXPECT_EQ(target->EffectStrings[15], "") << cut;
    }

    // A byte count beyond the stream is refused before anything is taken.
    std::string huge = s;
    LittleEndian::Put32(reinterpret_cast<uint8_t*>(huge.data()) + count, 0xFFFFFFF0u);
    TMemoryStream tooLong(huge);
    EXPECT_FALSE(target->LoadFromStream(&tooLong));

    // A length byte beyond a short string's capacity reads as the capacity.
    std::string longName = s;
    longName[2210] = static_cast<char>(200);
    TMemoryStream clamped(longName);
    EXPECT_TRUE(target->LoadFromStream(&clamped));
    EXPECT_EQ(target->Record.Files[1].size(), 127u);

    // A saved picture that no longer decodes leaves its slot empty; the rest loads. (With the
    // virtual file gone too, there is no picture to show.)
    std::string badJpeg = s;
    badJpeg[count + 4] = 'X';
    TMemoryStream bad(badJpeg);
    Files.erase(Key("$$$shot.bmp"));
    EXPECT_TRUE(target->LoadFromStream(&bad));
    EXPECT_EQ(target->MemoryStreams[0], nullptr);
    EXPECT_EQ(target->GetWidth(), 0);
    EXPECT_EQ(target->EffectStrings[15], "blur");
    EXPECT_EQ(bad.Remaining(), 0);
    EXPECT_FALSE(target->SaveToStream(nullptr));
    EXPECT_FALSE(target->LoadFromStream(nullptr));
}

// A derived object that counts its Clear calls and keeps a field of its own.
class TCountingImage : public TImageLib {
public:
    TCountingImage(const TPackSet& packs, int32_t& clears) : TImageLib(packs), Clears(clears) {}
    void Clear() override {
        TImageLib::Clear();
        Own = 0;
        ++Clears;
    }
    int32_t& Clears;
    int32_t Own = 7;
};

TEST_F(ImageLibTest, DerivedObjectsGetTheirOwnClear) {
    int32_t clears = 0;
    {
        auto image = ImageLib::Make<TCountingImage>(Context.Packs, clears);
        EXPECT_EQ(clears, 1);
        EXPECT_EQ(image->Own, 0);
        image->Own = 5;
        TMemoryStream stream;
        image->SaveToStream(&stream);
        stream.SetPosition(0);
        image->LoadFromStream(&stream);
        EXPECT_EQ(clears, 2);
        image->Finalize();
        EXPECT_EQ(clears, 3);
    }
    EXPECT_EQ(clears, 3);  // finalized once only
    { auto image = ImageLib::Make<TCountingImage>(Context.Packs, clears); }
    EXPECT_EQ(clears, 5);
}

// Channel counts of a sound library of the standard size, and nothing played.
class TSilentSound final : public IAnimationSound {
public:
    bool LoadFromMemory(int32_t, const TMemoryStream&, int32_t, bool, const std::string&) override { return true; }
    void SetVolume(int32_t, int32_t) override {}
    void Play(int32_t, bool, int32_t) override {}
    void Stop(int32_t) override {}
    float GetLevel(int32_t, int32_t) override { return 0; }
};

TEST_F(ImageLibTest, ClockNotificationAndChannels) {
    auto image = Shown("anim.b");
    int32_t changes = 0;
    image->OnMotionChange = [&](TImageLib& i) {
        EXPECT_EQ(&i, image.get());
        ++changes;
    };
    image->Update(255, 16);
    EXPECT_EQ(changes, 0);
    image->SetMotion("*OnMouse", false);
    image->Update(255, 16);
    image->Update(255, 16);
    EXPECT_EQ(changes, 1);

    // A paused clock stands while the tweens go on.
    image->Record.Paused = 1;
    image->MoveTo(100, 0, 0, 100);
    const double clock = image->Animation->LayerTime[0];
    image->Update(255, 50);
    EXPECT_EQ(image->Animation->LayerTime[0], clock);
    EXPECT_EQ(image->Record.X, 50);

    TSilentSound sound;
    auto voiced = ImageLib::Make<TImageLib>(Context.Packs, &sound);
    EXPECT_EQ(voiced->Record.SoundChannel, 14);
    EXPECT_EQ(voiced->Record.EffectChannel, 13);
    EXPECT_EQ(voiced->Animation->VoiceStream, 14);
    EXPECT_EQ(voiced->Animation->SoundChannel, 13);
    EXPECT_EQ(voiced->Sound(), &sound);
    EXPECT_EQ(image->Record.SoundChannel, 0);
    EXPECT_EQ(image->Record.EffectChannel, 0);
}

}  // namespace
