// The screen compositor on a 4 x 2 screen presented to a headless display: every transition kind
// frame by frame against golden pixels, over the whole screen and on a layer below an overlay;
// the state rules between transitions; saving and loading, with a save in the middle of a wipe.
//
// The golden pixels follow from the lane arithmetic of the draws: scene A 0xFFC08040 is frozen,
// scene B 0xFF4080C0 replaces it, and the rule picture's grey levels are 0, 120, 160 and 255 from
// left to right.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "foundation/DisplayComponent.h"
#include "foundation/PackLib.h"
#include "media/AnimationBmpLib.h"
#include "objects/KelGraphicLib.h"
#include "platform/LittleEndian.h"
#include "platform/headless/HeadlessDisplay.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/ImageFixtures.h"

namespace {

using ImageFixtures::Filled;
using ImageFixtures::TPixels;

constexpr int32_t kW = 4, kH = 2;
constexpr uint32_t A = 0xFFC08040, B = 0xFF4080C0, C = 0xFF10E020, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;
constexpr int32_t kWhole = kWholeScreenLayer;
// Where the saved transition image begins, and where the captures begin while the image is empty
// (its record and 16 empty effect texts).
constexpr int32_t kImageAt = TKelGraphicRecord::kSize;
constexpr int32_t kCapturesAt = kImageAt + TImageRecord::kSize + TImageLib::kEffectCount * 2;
using TRow = std::array<uint32_t, kW>;

TRow Same(uint32_t p) {
    return {p, p, p, p};
}

// Every channel within 2: what a JPEG copy of a plain colour gives back.
bool Near(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 2) return false;
    return true;
}

// An animation for animation transitions, 100 ms long: its picture 0 (the held picture, once
// given) drawn whole at full alpha, at half alpha from 60 ms, and every layer ended at 100 ms.
std::string TransitionAnimation() {
    using AnimationFixtures::Key;
    AnimationBmpWriter::TLayer layer;
    layer.Keys[0] = Key(0, TABMPKind::Draw);
    layer.Keys[1] = Key(60, TABMPKind::Draw);
    layer.Keys[1].Alpha = 128;
    layer.Keys[2] = Key(100, TABMPKind::Draw, TABMPCommand::End);
    layer.Keys[2].Alpha = 128;
    AnimationBmpWriter::TFile file = AnimationFixtures::File({layer}, {AnimationFixtures::SolidPng(kW, kH, kWhite)});
    file.Length = 100;
    return AnimationBmpWriter::Write(file);
}

class KelGraphicTest : public ::testing::Test {
protected:
    void SetUp() override {
        G.CellDraw()->Interlace = &Lace;
        DDDD.AutoDisplayModeInitialize = false;
        DDDD.OnHalt = [](const std::string& reason) { ADD_FAILURE() << reason; };
        DDDD.Loaded();
        DDDD.InitialScreenWidth = kW;
        DDDD.InitialScreenHeight = kH;
        ASSERT_TRUE(DDDD.Start());
        Filled(PictureA, kW, kH, A);
        Filled(PictureB, kW, kH, B);
        Filled(Overlay, 2, kH, C);
        for (TARGB8888* p : {&PictureA, &PictureB, &Overlay})
            p->Transparent = false;
        const std::string rule = ImageFixtures::WriteBmp(
            {.Width = kW, .Height = kH, .Pixels = {0, 0x787878, 0xA0A0A0, 0xFFFFFF, 0, 0x787878, 0xA0A0A0, 0xFFFFFF}});
        Files["rule.bmp"] = rule;
        Files["broken.bmp"] = rule.substr(0, 20);
        Files["wipe.b"] = TransitionAnimation();
        Context.Packs.FileExistsHook = [this](const std::string& name) { return Files.count(name) > 0; };
        Context.Packs.LoadFileHook = [this](const std::string& name) -> std::unique_ptr<TMemoryStream> {
            auto it = Files.find(name);
            return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
        };
        Start(G);
    }
    // A compositor of the test screen that draws the current scene, as the interpreter would.
    void Start(TKelGraphic& g) {
        g.SetSize(kW, kH);
        g.Clear();
        g.OnDraw = [this, &g](int32_t interlace, bool, int32_t maxLayer) {
            DrawScene(g);
            return g.Render(interlace, maxLayer);
        };
    }
    // The scene: a full-screen picture on layer 0, and the overlay on the right half at layer 20.
    void Show(TARGB8888* ground, bool overlay = false) {
        Ground = ground;
        WithOverlay = overlay;
    }
    void DrawScene(TKelGraphic& g) {
        if (Ground) g.CellDraw()->AddDraw(Ground, 0, 0, 0, 0, 0, kW, kH, 0, 0, 255, 0, 0xFFFFFF, bmBlend);
        if (WithOverlay) g.CellDraw()->AddDraw(&Overlay, 0, 2, 0, 0, 0, 2, kH, 20, 0, 255, 0, 0xFFFFFF, bmBlend);
    }
    // Scene A shown and frozen (below the layer), then scene B under it.
    void FreezeAThenShowB(int32_t layer = kWhole, bool overlay = false) {
        Show(&PictureA, overlay);
        Frame(0);
        G.Freeze(layer);
        Show(&PictureB, overlay);
    }
    // One frame as the engine runs it: time passes, the scene is drawn and rendered, and the
    // compositor presents it. The presented pixels.
    TPixels Frame(int32_t ms, int32_t interlace = 0, TKelGraphic* graphic = nullptr) {
        TKelGraphic& g = graphic ? *graphic : G;
        if (ms > 0) g.UpdateTransition(ms);
        g.OnDraw(interlace, true, 0xFFFF);
        g.Present(&DDDD, false, interlace != 0);
        return Device.Pixels();
    }
    static TPixels Rows(const TRow& top, const TRow& bottom) {
        TPixels p(top.begin(), top.end());
        p.insert(p.end(), bottom.begin(), bottom.end());
        return p;
    }

    // A step of a transition's run: what the script does, the time that passes before the next
    // frame, and the frame that is presented then (both rows alike).
    struct TStep {
        std::function<void()> Act;
        int32_t Ms;
        TRow Expect;
    };
    // Each run starts from a cleared compositor.
    void Run(const char* name, const std::vector<TStep>& steps) {
        SCOPED_TRACE(name);
        G.Clear();
        for (size_t i = 0; i < steps.size(); ++i) {
            if (steps[i].Act) steps[i].Act();
            EXPECT_EQ(Frame(steps[i].Ms), Rows(steps[i].Expect, steps[i].Expect)) << "step " << i;
        }
    }

    TContextFixture Context;
    THeadlessDisplay Device;
    TDDDD7 DDDD{&Device};
    TInterlace Lace;  // the field of G's interlaced frames
    TKelGraphic G{Context.Packs};
    TARGB8888 PictureA, PictureB, Overlay;
    TARGB8888* Ground = nullptr;
    bool WithOverlay = false;
    std::map<std::string, std::string> Files;
};

TEST_F(KelGraphicTest, WholeScreenTransitionsFrameByFrame) {
    auto showB = [this] {
        Show(&PictureB);
        Frame(0);
    };
    Run("freeze", {{[this] { FreezeAThenShowB(); }, 0, Same(A)},
                   {nullptr, 5000, Same(A)},
                   {[this] { G.EndTransition(); }, 0, Same(B)}});
    Run("fade in", {{[&] {
                         FreezeAThenShowB();
                         G.FadeIn(100, kWhole);
                     },
                     0, Same(A)},
                    {nullptr, 50, Same(0xFF81807F)},
                    {nullptr, 50, Same(B)}});
    // Out of the scene into the held picture (opaque black after a clear), which then stays.
    Run("fade out", {{[&] {
                          showB();
                          G.FadeOut(100, kWhole);
                      },
                      0, Same(0xFF3F7FBE)},
                     {nullptr, 50, Same(0xFF204060)},
                     {nullptr, 50, Same(kBlack)},
                     {nullptr, 1000, Same(kBlack)},
                     {[this] { G.EndTransition(); }, 0, Same(B)}});
    // Low rule levels go first; 120 lies on the soft edge at the half-way frame.
    Run("rule in", {{[&] {
                         FreezeAThenShowB();
                         G.RuleIn(100, kWhole, "rule.bmp");
                     },
                     0, Same(A)},
                    {nullptr, 25, {A, A, A, 0xFF4180BF}},
                    {nullptr, 25, {A, 0xFFA08060, 0xFF4180BF, 0xFF4180BF}},
                    {nullptr, 25, {A, 0xFF4180BF, 0xFF4180BF, 0xFF4180BF}},
                    {nullptr, 25, Same(B)}});
    // The first frame of a wipe out is the scene itself, and the wiped-in picture is then held
    // whole, also where the rule picture is 0.
    Run("rule out", {{[&] {
                          showB();
                          G.RuleOut(100, kWhole, "rule.bmp");
                      },
                      0, Same(B)},
                     {nullptr, 25, {kBlack, 0xFF3F7FBE, 0xFF3F7FBE, 0xFF3F7FBE}},
                     {nullptr, 25, {kBlack, 0xFF122436, 0xFF3F7FBE, 0xFF3F7FBE}},
                     {nullptr, 25, {kBlack, kBlack, kBlack, 0xFF3F7FBE}},
                     {nullptr, 25, Same(kBlack)},
                     {nullptr, 25, Same(kBlack)}});
    // Up to opaque white, which stays; then from there to a transparent white, which ends.
    Run("colour fade", {{[&] {
                             showB();
                             G.ColorFade(100, kWhole, kWhite, 0);
                         },
                         0, Same(0xFF3F7FBE)},
                        {nullptr, 50, Same(0xFF5F7F9F)},
                        {nullptr, 50, Same(kWhite)},
                        {nullptr, 1000, Same(kWhite)},
                        {[this] { G.ColorFade(100, kWhole, 0x00FFFFFF, 0); }, 50, Same(0xFFA0C0DF)},
                        {nullptr, 50, Same(B)}});
}

TEST_F(KelGraphicTest, AnimationTransitionFrameByFrame) {
    // 200 ms for 100 ms of animation: it runs at half speed. Layer 256 has no bit in common with
    // an image's draw mask; the animation shows all the same.
    Run("animation in", {{[&] {
                              FreezeAThenShowB();
                              G.TransitionIn(200, 256, "wipe.b");
                          },
                          0, Same(A)},
                         {nullptr, 100, Same(A)},
                         {nullptr, 40, Same(0xFF7F7F7F)},
                         {nullptr, 60, Same(B)}});

    // Its sounds go to the channels set before it starts.
    G.SetAnimSoundChannel(3);
    G.SetAnimEffectChannel(5);
    G.AnimIn(200, kWhole, "wipe.b");
    EXPECT_EQ(G.TransitionImage->Animation->VoiceStream, 3);
    EXPECT_EQ(G.TransitionImage->Animation->SoundChannel, 5);

    // An animation that cannot be had ends at once; other files start nothing.
    Run("missing", {{[this] { G.AnimIn(200, kWhole, "missing.b"); }, 16, Same(B)}});
    EXPECT_EQ(G.Kind(), tkNone);
    G.AnimIn(200, kWhole, "rule.bmp");
    EXPECT_EQ(G.Kind(), tkNone);
}

TEST_F(KelGraphicTest, TransitionsOnALayerLeaveTheOverlayAlone) {
    // The held picture has only what lies below its layer: the overlay shows above it, live.
    Run("freeze", {{[&] { FreezeAThenShowB(10, true); }, 0, {A, A, C, C}},
                   {[this] { WithOverlay = false; }, 0, Same(A)},
                   {[this] { G.EndTransition(); }, 0, Same(B)}});
    Run("fade in", {{[&] {
                         FreezeAThenShowB(10, true);
                         G.FadeIn(100, 10);
                     },
                     0,
                     {A, A, C, C}},
                    {nullptr, 50, {0xFF7F7F7F, 0xFF7F7F7F, C, C}},
                    {nullptr, 50, {B, B, C, C}}});
    Run("rule in", {{[&] {
                         FreezeAThenShowB(10, true);
                         G.RuleIn(100, 10, "rule.bmp");
                     },
                     50,
                     {A, 0xFFA08060, C, C}},
                    {nullptr, 50, {B, B, C, C}}});
    // A fill of no alpha draws nothing on a layer.
    Run("colour fade", {{[this] {
                             Show(&PictureB, true);
                             G.ColorFade(100, 10, 0x80FF0000, 0);
                         },
                         0,
                         {B, B, C, C}},
                        {nullptr, 50, {0xFF4F6090, 0xFF4F6090, C, C}}});
}

TEST_F(KelGraphicTest, InterlacedFramesChangeTheRowsOfTheFieldOnly) {
    FreezeAThenShowB();
    G.FadeIn(100, kWhole);
    EXPECT_EQ(Frame(0), Rows(Same(A), Same(A)));
    Lace.Field = 1;
    EXPECT_EQ(Frame(50, 1), Rows(Same(A), Same(0xFF81807F)));
    // Unlinked again after rendering and presenting.
    EXPECT_EQ(G.WholeFrame->Interlace, nullptr);
    EXPECT_EQ(G.CellDraw()->FrameBuffer->Interlace, nullptr);
}

TEST_F(KelGraphicTest, StateBetweenTransitions) {
    Show(&PictureA);
    Frame(0);
    // A second freeze keeps the first picture.
    G.Freeze(kWhole);
    Show(&PictureB);
    G.Freeze(kWhole);
    EXPECT_EQ(Frame(0), Rows(Same(A), Same(A)));

    // A colour fade starts from the previous target colour; after a freeze, from opaque black.
    G.ColorFade(100, kWhole, 0x80FF0000, 3);
    EXPECT_EQ(G.Record.FadeStart, kBlack);
    G.ColorFade(100, kWhole, 0x200000FF, 3);
    EXPECT_EQ(G.Record.FadeStart, 0x80FF0000u);
    EXPECT_EQ(G.Record.FadeMode, 3);
    G.EndTransition();
    G.ColorFade(0, kWhole, 0, 0);
    EXPECT_EQ(G.Record.FadeStart, 0u);
    // A fade of no time covers the screen with its colour at once, and for good.
    G.ColorFade(0, kWhole, 0xFF00FF00, 0);
    EXPECT_EQ(Frame(0), TPixels(kW * kH, 0xFF00FF00));
    EXPECT_EQ(Frame(100), TPixels(kW * kH, 0xFF00FF00));

    // The file decides the kind; an animation does not go out, and leaves the transition alone.
    struct {
        bool In;
        const char* File;
        TTransitionKind Kind;
    } cases[] = {{true, "", tkFadeIn},   {true, "rule.bmp", tkRuleIn},       {true, "wipe\\IN.B", tkAnimIn},
                 {false, "", tkFadeOut}, {false, "rule.bmp", tkRuleOut},     {false, "x.b", tkColorFade},
                 {true, "b", tkRuleIn},  {true, "dir.b\\rule.bmp", tkRuleIn}};
    for (const auto& c : cases) {
        G.EndTransition();
        G.ColorFade(10, 5, kBlack, 0);
        if (c.In)
            G.TransitionIn(10, 7, c.File);
        else
            G.TransitionOut(10, 7, c.File);
        EXPECT_EQ(G.Kind(), c.Kind) << c.File;
        EXPECT_EQ(G.Record.Layer, c.Kind == tkColorFade ? 5 : 7) << c.File;
    }

    // A missing or damaged rule picture leaves the held picture's alpha as it was.
    G.EndTransition();
    EXPECT_FALSE(G.LoadRuleImage("missing.bmp"));
    EXPECT_FALSE(G.LoadRuleImage("broken.bmp"));
    EXPECT_EQ(ImageFixtures::PixelsOf(*G.HeldPicture), TPixels(kW * kH, kBlack));
    EXPECT_TRUE(G.LoadRuleImage("rule.bmp"));
    EXPECT_EQ(G.HeldPicture->ScanLine(0)[1], 0x78000000u);

    // Ending shows the scene, stops frame blending and leaves both pictures opaque black.
    G.SetFrameBlend(true);
    G.SetBackColor(0x00123456);
    EXPECT_EQ(G.BackgroundColor(), 0x123456u);
    EXPECT_EQ(G.Record.BackColor, 0xFF123456u);
    G.EndTransition();
    EXPECT_EQ(G.Record.FrameBlend, 0);
    EXPECT_EQ(G.Record.Layer, kWhole);
    EXPECT_EQ(ImageFixtures::PixelsOf(*G.WholeFrame), TPixels(kW * kH, kBlack));
}

TEST_F(KelGraphicTest, LongDurationsKeepTheirStep) {
    // elapsed x 255 needs more than 32 bits from about 8.4 million ms on.
    G.FadeIn(2000000000, kWhole);
    G.UpdateTransition(1000000000);
    EXPECT_EQ(G.Step(), 127);
    G.UpdateTransition(2000000000);
    EXPECT_EQ(G.Kind(), tkNone);
    EXPECT_EQ(G.Record.Elapsed, 2000000000);
}

TEST_F(KelGraphicTest, ScreenshotIsWhatTheScreenShows) {
    Show(&PictureB);
    Frame(0);
    auto shot = [this] {
        TMemoryStream s;
        EXPECT_TRUE(G.SaveScreenshot(s));
        s.SetPosition(0);
        TARGB8888 picture;
        picture.LoadFromBmpStream(&s);
        return ImageFixtures::PixelsOf(picture);
    };
    EXPECT_EQ(shot(), TPixels(kW * kH, B));
    G.FadeOut(100, kWhole);
    Frame(50);
    EXPECT_EQ(shot(), TPixels(kW * kH, 0xFF204060));
}

// ---- saved state ----

TEST_F(KelGraphicTest, RecordLayout) {
    G.SetBackColor(0x11223344);
    G.SetFrameBlend(true);
    G.RuleIn(300, 42, "rule.bmp");
    G.UpdateTransition(100);
    G.SetAnimEffectChannel(7);
    G.SetAnimSoundChannel(9);
    TMemoryStream s;
    ASSERT_TRUE(G.SaveToStream(s));
    ASSERT_GT(s.Size(), TKelGraphicRecord::kSize);
    const uint8_t* r = s.Memory();
    EXPECT_EQ(LittleEndian::Get32(r + 0), 0xFF223344u);
    EXPECT_EQ(r[4], 1);
    EXPECT_EQ(r[5], 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 6), 8), "rule.bmp");
    EXPECT_EQ(r[133], tkRuleIn);
    EXPECT_EQ(LittleEndian::Get32(r + 134), 100u);
    EXPECT_EQ(LittleEndian::Get32(r + 138), 300u);
    EXPECT_EQ(r[151], 7);
    EXPECT_EQ(r[152], 9);
    EXPECT_EQ(LittleEndian::Get32(r + 153), 42u);
    EXPECT_EQ(r[157], 1);  // the held picture follows
    EXPECT_EQ(r[158], 1);  // so does the last frame
    EXPECT_EQ(r[159] | r[160], 0);
    // The first capture directly after the transition image.
    EXPECT_EQ(LittleEndian::Get16(r + kCapturesAt), 11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + kCapturesAt + 2), 11), "Capture.jpg");

    // Without a transition only the last frame is kept.
    G.EndTransition();
    TMemoryStream plain;
    ASSERT_TRUE(G.SaveToStream(plain));
    EXPECT_EQ(plain.Memory()[157], 0);
    EXPECT_EQ(plain.Memory()[158], 1);
    EXPECT_EQ(LittleEndian::Get16(plain.Memory() + kCapturesAt), 10);
}

TEST_F(KelGraphicTest, ASaveInTheMiddleOfAWipeChangesNothingOnScreen) {
    FreezeAThenShowB();
    G.RuleIn(100, kWhole, "rule.bmp");
    Frame(25);
    TMemoryStream saved;
    ASSERT_TRUE(G.SaveToStream(saved));
    EXPECT_EQ(Frame(25), Rows({A, 0xFFA08060, 0xFF4180BF, 0xFF4180BF}, {A, 0xFFA08060, 0xFF4180BF, 0xFF4180BF}));

    // Loaded into another compositor, the wipe goes on from the saved time with the saved held
    // picture (JPEG keeps a uniform colour within a step) and the rule read again.
    TKelGraphic loaded(Context.Packs);
    Start(loaded);
    saved.SetPosition(0);
    ASSERT_TRUE(loaded.LoadFromStream(saved)) << loaded.Error();
    EXPECT_EQ(saved.Remaining(), 0);
    EXPECT_EQ(loaded.Kind(), tkRuleIn);
    EXPECT_EQ(loaded.Record.Elapsed, 25);
    EXPECT_EQ(loaded.Record.TransitionFile, "rule.bmp");
    const TPixels next = Frame(25, 0, &loaded);
    const TRow expected = {A, 0xFFA08060, 0xFF4180BF, 0xFF4180BF};
    for (size_t i = 0; i < next.size(); ++i)
        EXPECT_TRUE(Near(next[i], expected[i % kW])) << i << ": " << std::hex << next[i];
}

TEST_F(KelGraphicTest, AnAnimationTransitionGoesOnAfterLoading) {
    FreezeAThenShowB();
    G.AnimIn(200, kWhole, "wipe.b");
    Frame(140);
    TMemoryStream saved;
    ASSERT_TRUE(G.SaveToStream(saved));
    // The transition image is saved after the record: shown, on its file, with its clock.
    const uint8_t* image = saved.Memory() + kImageAt;
    EXPECT_EQ(image[0], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image + 2083), image[2082]), "wipe.b");
    EXPECT_EQ(LittleEndian::Get32(image + 10), 70u);  // layer 0 at half speed: 70 ms in

    TKelGraphic loaded(Context.Packs);
    Start(loaded);
    saved.SetPosition(0);
    ASSERT_TRUE(loaded.LoadFromStream(saved)) << loaded.Error();
    EXPECT_EQ(loaded.Kind(), tkAnimIn);
    for (uint32_t p : Frame(0, 0, &loaded))
        EXPECT_TRUE(Near(p, 0xFF7F7F7F)) << std::hex << p;
    EXPECT_EQ(Frame(60, 0, &loaded), TPixels(kW * kH, B));
    EXPECT_EQ(loaded.Kind(), tkNone);
}

TEST_F(KelGraphicTest, LoadingRefusesDamagedStreams) {
    G.FadeIn(100, 3);
    TMemoryStream good;
    ASSERT_TRUE(G.SaveToStream(good));
    const std::string bytes = good.AsString();

    TKelGraphic loaded(Context.Packs);
    Start(loaded);
    struct {
        const char* Name;
        std::string Bytes;
        const char* Reason;
    } cases[] = {
        {"short record", bytes.substr(0, 2000), "record"},
        {"transition image cut short", bytes.substr(0, kImageAt + 3000), "transition image"},
        {"capture cut short", bytes.substr(0, bytes.size() - 10), "Buffer.jpg"},
        {"count past the end",
         [&] {
             std::string b = bytes;
             LittleEndian::Put32(reinterpret_cast<uint8_t*>(b.data()) + kCapturesAt + 13, 0x7FFFFFF0);
             return b;
         }(),
         "Capture.jpg"},
        {"not a picture",
         [&] {
             std::string b = bytes;
             b.replace(kCapturesAt + 13 + 4, 64, 64, 'X');
             return b;
         }(),
         "Capture.jpg"},
    };
    for (const auto& c : cases) {
        loaded.FadeOut(100, 4);
        TMemoryStream s(c.Bytes);
        EXPECT_FALSE(loaded.LoadFromStream(s)) << c.Name;
        EXPECT_NE(loaded.Error().find(c.Reason), std::string::npos) << c.Name << ": " << loaded.Error();
        EXPECT_EQ(loaded.Kind(), tkNone) << c.Name;
    }
    TMemoryStream s(bytes);
    EXPECT_TRUE(loaded.LoadFromStream(s));
    EXPECT_EQ(loaded.Kind(), tkFadeIn);
    EXPECT_EQ(loaded.Record.Layer, 3);
}

}  // namespace
