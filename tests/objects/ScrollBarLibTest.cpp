// Scroll bars on small track and thumb animations: where the thumb stands for a value, what a
// press or a drag on the track sets (rounded halves to even, clamped), the value rules and their
// event, the saved record at its offsets and damaged saves, and bars declared by a script that a
// scripted pointer presses and drags through the interpreter's frame step.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpWriter.h"
#include "objects/KelScreenObjects.h"
#include "objects/ScrollBarLib.h"
#include "platform/LittleEndian.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ScriptHarness.h"

namespace {

using AnimationBmpWriter::TLayer;
using AnimationFixtures::Key;

constexpr uint32_t kTrackColour = 0xFFFF0000;
constexpr uint32_t kThumbColour = 0xFF00FF00;

// A w x h animation of one colour with a hit area over its whole frame.
std::string Solid(int32_t w, int32_t h, uint32_t colour) {
    TLayer draw;
    draw.Keys[0] = Key(0, TABMPKind::Draw);
    TLayer hit;
    TABMPKeyFrame area = Key(0, TABMPKind::HitArea);
    area.DstW = static_cast<int16_t>(w);
    area.DstH = static_cast<int16_t>(h);
    hit.Keys[0] = area;
    AnimationBmpWriter::TFile file = AnimationFixtures::File({draw, hit}, {AnimationFixtures::SolidPng(w, h, colour)});
    file.Width = w;
    file.Height = h;
    return AnimationBmpWriter::Write(file);
}

int32_t I32At(const std::string& s, size_t offset) {
    return static_cast<int32_t>(LittleEndian::Get32(reinterpret_cast<const uint8_t*>(s.data()) + offset));
}
std::string ShortAt(const std::string& s, size_t offset) {
    return s.substr(offset + 1, static_cast<uint8_t>(s[offset]));
}

// The pictures: a horizontal track 104 x 10 with a thumb 4 x 10, so that the thumb's centre
// runs from 2 to 102 and a value of max 100 is the pixel along the track less 2; a vertical
// pair of the same lengths; and a thumb longer than the track.
class ScrollBarLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        H.AddRawFile("track.b", Solid(104, 10, kTrackColour));
        H.AddRawFile("thumb.b", Solid(4, 10, kThumbColour));
        H.AddRawFile("vtrack.b", Solid(10, 104, kTrackColour));
        H.AddRawFile("vthumb.b", Solid(6, 4, kThumbColour));
        H.AddRawFile("long.b", Solid(200, 10, kThumbColour));
    }

    // A horizontal bar at (20, 30), layer 5, shown and run for one frame, counting its events.
    std::unique_ptr<TImageScrollBar> Bar(const std::string& thumb = "thumb.b", const std::string& track = "track.b",
                                         bool vertical = false) {
        auto bar = std::make_unique<TImageScrollBar>(H.Context.Packs);
        EXPECT_TRUE(bar->Load(thumb, track, vertical));
        bar->SetPos(20, 30, 5);
        bar->Enable();
        bar->Update(255, 0);
        bar->OnChange = [this](TImageScrollBar& b) { Changes.push_back(b.GetValue()); };
        return bar;
    }

    TScriptHarness H;  // serves the files
    std::vector<int32_t> Changes;
};

TEST_F(ScrollBarLibTest, TheThumbStandsWhereTheValuePutsIt) {
    struct TCase {
        const char *Thumb, *Track;
        bool Vertical;
        int32_t Value, Max;
        int32_t Start, End;
        int32_t ThumbX, ThumbY;
    };
    const TCase cases[] = {
        {"thumb.b", "track.b", false, 0, 100, 2, 102, 20, 30},
        {"thumb.b", "track.b", false, 37, 100, 2, 102, 57, 30},
        {"thumb.b", "track.b", false, 100, 100, 2, 102, 120, 30},
        {"thumb.b", "track.b", false, 1, 3, 2, 102, 53, 30},  // 100 x 1 div 3 = 33
        {"vthumb.b", "vtrack.b", true, 37, 100, 2, 102, 22, 67},
        // Longer than the track: the travel is one pixel.
        {"long.b", "track.b", false, 100, 100, 100, 101, 21, 30},
        {"long.b", "track.b", false, 99, 100, 100, 101, 20, 30},
        // Never loaded: no sizes, and still a track of one pixel.
        {"", "", false, 50, 100, 0, 1, 20, 30},
    };
    for (const TCase& c : cases) {
        auto bar = std::make_unique<TImageScrollBar>(H.Context.Packs);
        bar->Load(c.Thumb, c.Track, c.Vertical);
        bar->SetPos(20, 30, 5);
        bar->SetMax(c.Max);
        bar->SetValue(c.Value);
        const std::string what = std::string(c.Thumb) + " value " + std::to_string(c.Value);
        EXPECT_EQ(bar->TrackStart, c.Start) << what;
        EXPECT_EQ(bar->TrackEnd, c.End) << what;
        EXPECT_EQ(bar->Thumb->Record.X, c.ThumbX) << what;
        EXPECT_EQ(bar->Thumb->Record.Y, c.ThumbY) << what;
        EXPECT_EQ(bar->Thumb->Record.Z, 15) << what;
        EXPECT_EQ((std::array<int32_t, 3>{bar->Track->Record.X, bar->Track->Record.Y, bar->Track->Record.Z}),
                  (std::array<int32_t, 3>{20, 30, 5}))
            << what;
    }

    // Drawn: the track, and the thumb over it on its higher layer.
    auto bar = Bar();
    bar->SetValue(50);
    TARGB8888CellDraw cells;
    cells.SetScreenSize(160, 60);
    cells.Clear();
    cells.InvalidateAll();
    bar->Draw(&cells, 255, 0, 0);
    cells.Render(0xFF000000, false, 0x7FFFFFFF);
    struct TPixel {
        int32_t X, Y;
        uint32_t Colour;
    };
    for (const TPixel& p : {TPixel{20, 30, kTrackColour}, TPixel{69, 35, kTrackColour}, TPixel{70, 35, kThumbColour},
                            TPixel{73, 39, kThumbColour}, TPixel{74, 35, kTrackColour}, TPixel{123, 39, kTrackColour},
                            TPixel{124, 35, 0xFF000000}})
        EXPECT_EQ(cells.FrameBuffer->ScanLine(p.Y)[p.X], p.Colour) << p.X << "," << p.Y;
}

TEST_F(ScrollBarLibTest, PressingOnTheTrackSetsTheValueUnderThePointer) {
    struct TCase {
        const char* What;
        int32_t Max;
        int32_t X, Y;
        int32_t Value;  // -1: unchanged from 10
    };
    // Along the track the pixel p from the bar's x gives (p - 2) x max / 100.
    const TCase cases[] = {
        {"on the track", 100, 59, 35, 37},
        {"on the thumb's first place", 100, 22, 35, 0},
        {"before the travel starts", 100, 20, 31, 0},
        {"past the travel", 100, 123, 39, 100},
        {"the value it has", 100, 32, 35, -1},
        {"0.5 rounds to 0", 50, 23, 35, 0},
        {"1.5 rounds to 2", 50, 25, 35, 2},
        {"2.5 rounds to 2", 50, 27, 35, 2},
        {"3.5 rounds to 4", 50, 29, 35, 4},
        {"0.51 rounds up", 3, 39, 35, 1},
        {"0.48 rounds down", 3, 38, 35, 0},
        {"right of the track", 100, 124, 35, -1},
        {"below the track", 100, 59, 40, -1},
        {"above the track", 100, 59, 29, -1},
    };
    for (const TCase& c : cases) {
        auto bar = Bar();
        bar->SetMax(c.Max);
        bar->SetValueSilent(10);
        Changes.clear();
        bar->MouseDown(255, c.X, c.Y);
        if (c.Value < 0) {
            EXPECT_EQ(bar->GetValue(), 10) << c.What;
            EXPECT_TRUE(Changes.empty()) << c.What;
            EXPECT_EQ(bar->Record.DragCountdown, 0) << c.What;
        } else {
            EXPECT_EQ(bar->GetValue(), c.Value) << c.What;
            EXPECT_EQ(Changes, std::vector<int32_t>{c.Value}) << c.What;
            EXPECT_EQ(bar->Record.DragCountdown, 4) << c.What;
            // The thumb stands there at once.
            EXPECT_EQ(bar->Thumb->Record.X, 20 + 100 * c.Value / c.Max) << c.What;
        }
    }

    // Vertical: the distance from the bar's y counts.
    auto bar = Bar("vthumb.b", "vtrack.b", true);
    bar->MouseDown(255, 25, 30 + 2 + 60);
    EXPECT_EQ(bar->GetValue(), 60);
}

TEST_F(ScrollBarLibTest, DraggingFollowsTheHeldButtonAndTheMasks) {
    auto bar = Bar();
    bar->SetInputMask(6);
    struct TStep {
        const char* What;
        uint32_t Mask, Shift;
        int32_t X;
        int32_t Value;
        std::vector<int32_t> Changes;
    };
    const TStep steps[] = {
        {"moving without the button", 255, 0, 50, 0, {}},
        {"with the button", 2, TImageScrollBar::kLeftButton, 50, 28, {28}},
        {"other bits of the shift state do not drag", 2, 1 | 16, 80, 28, {28}},
        {"masks that do not meet", 1, TImageScrollBar::kLeftButton, 80, 28, {28}},
        {"along the track", 4, TImageScrollBar::kLeftButton | 1, 80, 58, {28, 58}},
        {"to the same value", 4, TImageScrollBar::kLeftButton, 80, 58, {28, 58}},
        {"off the track", 4, TImageScrollBar::kLeftButton, 140, 58, {28, 58}},
    };
    for (const TStep& s : steps) {
        bar->MouseMove(s.Mask, s.Shift, s.X, 35);
        EXPECT_EQ(bar->GetValue(), s.Value) << s.What;
        EXPECT_EQ(Changes, s.Changes) << s.What;
    }
    // Both pictures keep the pointer for their hover.
    EXPECT_EQ(bar->Track->Record.PointerX, 140);
    EXPECT_EQ(bar->Thumb->Record.PointerX, 140);

    // The drag countdown runs out over four updates; the thumb keeps its place meanwhile.
    for (int32_t left : {3, 2, 1, 0, 0}) {
        bar->Update(255, 16);
        EXPECT_EQ(bar->Record.DragCountdown, left);
    }
    EXPECT_EQ(bar->Thumb->Record.X, 78);
}

TEST_F(ScrollBarLibTest, ValueAndMaximumRules) {
    auto bar = Bar();
    struct TStep {
        const char* What;
        void (TImageScrollBar::*Set)(int32_t);
        int32_t Argument;
        int32_t Value, Max;
        std::vector<int32_t> Changes;
    };
    const TStep steps[] = {
        {"set", &TImageScrollBar::SetValue, 40, 40, 100, {40}},
        {"the same again", &TImageScrollBar::SetValue, 40, 40, 100, {40}},
        {"clamped above", &TImageScrollBar::SetValue, 500, 100, 100, {40, 100}},
        {"clamped below", &TImageScrollBar::SetValue, -5, 0, 100, {40, 100, 0}},
        {"silently", &TImageScrollBar::SetValueSilent, 70, 70, 100, {40, 100, 0}},
        {"silently clamped", &TImageScrollBar::SetValueSilent, 700, 100, 100, {40, 100, 0}},
        {"max 0 is ignored", &TImageScrollBar::SetMax, 0, 100, 100, {40, 100, 0}},
        {"max -3 is ignored", &TImageScrollBar::SetMax, -3, 100, 100, {40, 100, 0}},
        {"max below the value lowers it without an event", &TImageScrollBar::SetMax, 30, 30, 30, {40, 100, 0}},
        {"max above keeps it", &TImageScrollBar::SetMax, 60, 30, 60, {40, 100, 0}},
    };
    for (const TStep& s : steps) {
        (bar.get()->*s.Set)(s.Argument);
        EXPECT_EQ(bar->GetValue(), s.Value) << s.What;
        EXPECT_EQ(bar->GetMax(), s.Max) << s.What;
        EXPECT_EQ(Changes, s.Changes) << s.What;
    }
    // A silent value is laid out by the next update; SetMax lays out at once.
    EXPECT_EQ(bar->Thumb->Record.X, 20 + 100 * 30 / 60);
    bar->SetValueSilent(60);
    EXPECT_EQ(bar->Thumb->Record.X, 70);
    bar->Update(255, 0);
    EXPECT_EQ(bar->Thumb->Record.X, 120);

    // States, masks and channels reach both pictures; the bar is enabled while its thumb is.
    bar->Disable();
    EXPECT_FALSE(bar->IsEnabled());
    EXPECT_FALSE(bar->Track->IsEnabled());
    bar->Enable();
    EXPECT_TRUE(bar->IsEnabled() && bar->Track->IsEnabled());
    bar->SetDrawMask(3);
    bar->SetInputMask(5);
    bar->SetSoundChannel(2);
    bar->SetEffectChannel(4);
    for (TImageLib* image : {bar->Thumb.get(), bar->Track.get()}) {
        EXPECT_EQ(image->Record.DrawMask, 3u);
        EXPECT_EQ(image->Record.InputMask, 5u);
        EXPECT_EQ(image->Record.SoundChannel, 2);
        EXPECT_EQ(image->Record.EffectChannel, 4);
    }

    // Clear: record defaults, the pictures emptied, a one-pixel track.
    bar->Clear();
    EXPECT_EQ(bar->Record, TScrollBarRecord{});
    EXPECT_EQ(bar->Thumb->Record.InputMask, 255u);
    EXPECT_EQ(bar->Track->Record.Files[0], "");
    EXPECT_EQ(bar->TrackEnd - bar->TrackStart, 1);

    // A load that misses a picture says so and keeps the names it was given.
    EXPECT_FALSE(bar->Load("thumb.b", "missing.b", false));
    EXPECT_EQ(bar->Record.TrackFile, "missing.b");
    EXPECT_EQ(bar->Thumb->Record.Files[0], "thumb.b");
    EXPECT_FALSE(bar->Load("missing.b", "track.b", true));
    EXPECT_EQ(bar->Record.Vertical, 1);
}

TEST_F(ScrollBarLibTest, RecordFieldsAtTheirOffsets) {
    auto bar = Bar();
    bar->Load("thumb.b", "track.b", true);
    bar->SetPos(-11, 12, 13);
    bar->SetMax(90);
    bar->SetValue(45);
    for (int32_t i = 0; i < 4; ++i) {
        bar->SetUserInt(i, 1000 + i);
        bar->SetUserString(i, std::string(i == 3 ? 70 : 1, static_cast<char>('a' + i)));
    }
    bar->SetInputMask(0x12345678);
    bar->SetDrawMask(0x9ABCDEF0);
    bar->Record.DragCountdown = 3;

    TMemoryStream stream;
    ASSERT_TRUE(bar->SaveToStream(&stream));
    const std::string s = stream.AsString();
    struct TInt {
        size_t Offset;
        int32_t Value;
    };
    for (const TInt& f : {TInt{0, -11}, TInt{4, 12}, TInt{8, 13}, TInt{12, 0}, TInt{16, 1}, TInt{276, 45},
                          TInt{280, 90}, TInt{284, 0}, TInt{288, 0}, TInt{552, 1000}, TInt{564, 1003},
                          TInt{568, 0x12345678}, TInt{572, static_cast<int32_t>(0x9ABCDEF0)}, TInt{576, 3}})
        EXPECT_EQ(I32At(s, f.Offset), f.Value) << "at " << f.Offset;
    struct TText {
        size_t Offset;
        std::string Value;
    };
    for (const TText& f : {TText{20, "thumb.b"}, TText{148, "track.b"}, TText{292, "a"}, TText{292 + 65, "b"},
                           TText{292 + 195, std::string(64, 'd')}})
        EXPECT_EQ(ShortAt(s, f.Offset), f.Value) << "at " << f.Offset;
    EXPECT_EQ(s.substr(580, 126), std::string(126, '\0'));

    // The pictures follow, thumb first: each loads as a screen object of its own.
    TMemoryStream pictures(s.substr(TScrollBarRecord::kSize));
    auto thumb = ImageLib::Make<TImageLib>(H.Context.Packs);
    auto track = ImageLib::Make<TImageLib>(H.Context.Packs);
    ASSERT_TRUE(thumb->LoadFromStream(&pictures));
    ASSERT_TRUE(track->LoadFromStream(&pictures));
    EXPECT_EQ(pictures.Remaining(), 0);
    EXPECT_EQ(thumb->Record.Files[0], "thumb.b");
    EXPECT_EQ(track->Record.Files[0], "track.b");

    // Into a fresh bar: the same record, the travel read from the pictures, the same bytes again.
    TImageScrollBar copy(H.Context.Packs);
    stream.SetPosition(0);
    ASSERT_TRUE(copy.LoadFromStream(&stream));
    EXPECT_EQ(stream.Remaining(), 0);
    EXPECT_EQ(copy.Record, bar->Record);
    // Vertical pictures' heights: the thumb's half, 5, and the track's 10 less 5 leave one pixel.
    EXPECT_EQ(copy.TrackStart, 5);
    EXPECT_EQ(copy.TrackEnd, 6);
    TMemoryStream again;
    copy.SaveToStream(&again);
    EXPECT_EQ(again.AsString(), s);
}

TEST_F(ScrollBarLibTest, SavedMaximumsBelowOneAndDamagedSaves) {
    auto bar = Bar();
    bar->SetValue(30);
    TMemoryStream stream;
    bar->SaveToStream(&stream);
    const std::string s = stream.AsString();

    struct TCase {
        int32_t Max, Value;
        int32_t LoadedMax, LoadedValue;
    };
    for (const TCase& c : {TCase{0, 30, 1, 1}, TCase{-7, -2, 1, 0}, TCase{50, 80, 50, 50}, TCase{50, -1, 50, 0}}) {
        std::string patched = s;
        LittleEndian::Put32(reinterpret_cast<uint8_t*>(patched.data()) + 280, static_cast<uint32_t>(c.Max));
        LittleEndian::Put32(reinterpret_cast<uint8_t*>(patched.data()) + 276, static_cast<uint32_t>(c.Value));
        TMemoryStream in(patched);
        TImageScrollBar loaded(H.Context.Packs);
        ASSERT_TRUE(loaded.LoadFromStream(&in)) << c.Max;
        EXPECT_EQ(loaded.GetMax(), c.LoadedMax) << c.Max;
        EXPECT_EQ(loaded.GetValue(), c.LoadedValue) << c.Max;
        // It lays out, updates and takes a press like any bar.
        loaded.Update(255, 16);
        loaded.MouseDown(255, 123, 35);
        EXPECT_EQ(loaded.GetValue(), c.LoadedMax) << c.Max;
    }

    // Cut anywhere: refused, and the bar is left cleared.
    for (size_t cut : {size_t{0}, size_t{100}, size_t{TScrollBarRecord::kSize}, size_t{TScrollBarRecord::kSize + 10},
                       s.size() - 1}) {
        auto target = Bar();
        target->SetValue(9);
        TMemoryStream part(s.substr(0, cut));
        EXPECT_FALSE(target->LoadFromStream(&part)) << cut;
        EXPECT_EQ(target->Record, TScrollBarRecord{}) << cut;
        EXPECT_EQ(target->Thumb->Record.Files[0], "") << cut;
        EXPECT_FALSE(target->IsEnabled()) << cut;
    }

    // A length byte beyond a short string's capacity reads as the capacity.
    std::string longName = s;
    longName[292] = static_cast<char>(200);
    TMemoryStream clamped(longName);
    TImageScrollBar loaded(H.Context.Packs);
    EXPECT_TRUE(loaded.LoadFromStream(&clamped));
    EXPECT_EQ(loaded.UserString(0).size(), 64u);
    EXPECT_FALSE(loaded.SaveToStream(nullptr));
    EXPECT_FALSE(loaded.LoadFromStream(nullptr));
}

TEST_F(ScrollBarLibTest, CaptureAndRestoreBringBackThePictures) {
    auto bar = Bar("vthumb.b", "vtrack.b", true);
    bar->CaptureState();
    bar->Thumb->LoadImages("long.b", "", "", "", "", false, false);
    bar->ReadThumbBounds();
    EXPECT_EQ(bar->ThumbHeight, 10);
    bar->RestoreState();
    EXPECT_EQ(bar->Thumb->Record.Files[0], "vthumb.b");
    EXPECT_TRUE(bar->IsEnabled());
    EXPECT_EQ(bar->ThumbHeight, 4);
    EXPECT_EQ(bar->TrackEnd, 102);
}

// ---- declared by scripts ----

class ScrollBarScriptTest : public ScrollBarLibTest {
protected:
    void SetUp() override {
        ScrollBarLibTest::SetUp();
        KelScreenObjects::Register(H.Kinds);
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.PassInputLock();
    }

    TImageScrollBar& BarOf(const std::string& name) {
        auto* object = dynamic_cast<TKelObjectDataScrollBar*>(H.Script.Objects->Find(name));
        EXPECT_NE(object, nullptr) << name;
        auto* link = dynamic_cast<TKelScrollBarLink*>(object->ScrollBar());
        EXPECT_NE(link, nullptr) << name;
        return link->Object();
    }

    // One frame step with the pointer at (x, y) and the left button up or down.
    void Pointer(int32_t x, int32_t y, bool down) {
        H.InputSource.PointerAt = {x, y};
        if (down)
            H.InputSource.Press(VirtualKey::LButton);
        else
            H.InputSource.Release(VirtualKey::LButton);
        H.Step();
    }
};

TEST_F(ScrollBarScriptTest, AScriptedPointerPressesAndDragsADeclaredBar) {
    // Waiting for a button, the script lets the pointer reach its game objects.
    ASSERT_TRUE(H.Start("\\var,bar,volume\r\n\\btn,0\r\n"));
    H.Step();
    TKelObjectDataCustom* object = H.Script.Objects->Find("0_volume,0");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Kind(), TObjectKind::ScrollBar);
    TImageScrollBar& bar = BarOf("0_volume,0");
    ASSERT_TRUE(bar.Load("thumb.b", "track.b", false));
    bar.SetPos(20, 30, 5);
    bar.Enable();
    H.Step();
    EXPECT_EQ(object->GetInfo(), "xyza(20,30,5,255)file(thumb.b,track.b)show(1)");

    struct TFrame {
        const char* What;
        int32_t X, Y;
        bool Down;
        int32_t Value;
    };
    const TFrame frames[] = {
        {"hovering", 60, 35, false, 0},
        {"pressed on the track", 60, 35, true, 38},
        {"dragged while held", 90, 35, true, 68},
        {"dragged past the end, still on the track", 123, 35, true, 100},
        {"dragged off the track", 200, 35, true, 100},
        {"back, held", 50, 35, true, 28},
        {"released", 50, 35, false, 28},
        {"moved without the button", 100, 35, false, 28},
        {"pressed beside the track", 100, 45, true, 28},
        {"held onto the track", 100, 35, true, 78},
    };
    for (const TFrame& f : frames) {
        Pointer(f.X, f.Y, f.Down);
        EXPECT_EQ(bar.GetValue(), f.Value) << f.What;
    }

    // The camera shifts the pointer onto the world, unless the bar is an overlay.
    Pointer(100, 35, false);
    H.Script.Objects->SetCamera(10, 0);
    Pointer(40, 35, false);  // the objects take the camera at their update
    Pointer(40, 35, true);
    EXPECT_EQ(bar.GetValue(), 28);
    Pointer(40, 35, false);
    bar.SetPos(20, 30, kOverlayLayer);
    Pointer(40, 35, true);
    EXPECT_EQ(bar.GetValue(), 18);

    // Saved and loaded through the script object.
    TMemoryStream saved;
    ASSERT_TRUE(object->SaveToStream(saved));
    object->Reset();
    EXPECT_EQ(bar.GetValue(), 0);
    saved.SetPosition(0);
    ASSERT_TRUE(object->LoadFromStream(saved));
    EXPECT_EQ(bar.GetValue(), 18);
    EXPECT_EQ(bar.Record.Z, kOverlayLayer);
}

}  // namespace
