// The frame compositor: which bands each frame redraws and presents, and that what it presents is
// the picture a full redraw of the same commands gives.
#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/DisplayComponent.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/ImageCodecLib.h"
#include "platform/ClassLib.h"
#include "platform/headless/HeadlessDisplay.h"
#include "tests/support/ImageFixtures.h"

namespace {

using ImageFixtures::Filled;
using ImageFixtures::TPixels;

constexpr uint32_t kGround = 0xFF203040;

// One thing drawn in a frame: a picture, a fill, or a frame blend.
struct TItem {
    TARGB8888* Image = nullptr;
    float X = 0, Y = 0;
    float Layer = 0;
    bool Blend = false;
};
using TScene = std::vector<TItem>;

// Bit b set: band b was drawn by the last Render.
uint32_t DrawnBands(const TARGB8888CellDraw& cd) {
    uint32_t mask = 0;
    for (int32_t b = 0; b < cd.BandCount(); ++b)
        if (cd.BandDrawn(b)) mask |= 1u << b;
    return mask;
}

uint32_t Checksum(const TPixels& pixels) {
    uint32_t h = 2166136261u;
    for (uint32_t p : pixels)
        for (int i = 0; i < 4; ++i)
            h = (h ^ ((p >> (8 * i)) & 0xFF)) * 16777619u;
    return h;
}

// A 20 x 20 disc: opaque inside, half transparent on its rim, clear in the corners.
void Sprite(TARGB8888& image, uint32_t rgb) {
    TPixels p(400);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            const int32_t d = (2 * x - 19) * (2 * x - 19) + (2 * y - 19) * (2 * y - 19);
            const uint32_t a = d < 200 ? 255 : d < 361 ? 128 : 0;
            p[y * 20 + x] = (a << 24) | rgb;
        }
    ImageFixtures::SetPixels(image, 20, 20, p);
}

// An opaque picture with a different colour at every pixel.
void Opaque(TARGB8888& image, int32_t w, int32_t h) {
    TPixels p(static_cast<size_t>(w) * h);
    for (int32_t i = 0; i < w * h; ++i)
        p[i] = 0xFF000000 | uint32_t((i / w) * 0x010203 + (i % w) * 0x030201);
    ImageFixtures::SetPixels(image, w, h, p);
    image.Transparent = false;
}

class CellDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        DDDD.AutoDisplayModeInitialize = false;
        DDDD.Loaded();
        ASSERT_TRUE(DDDD.Start());
        Device.OnFrame = [this](const THeadlessFrame& f) { Presented = f.Pixels; };
    }
    void Open(int32_t w, int32_t h) {
        Cd.SetScreenSize(w, h);
        DDDD.InitializeWindowed(w, h);
    }
    void Record(const TScene& scene) {
        for (const TItem& i : scene) {
            if (i.Blend)
                Cd.AddFrameBlend();
            else
                Cd.AddDraw(i.Image, 0, i.X, i.Y, 0, 0, float(i.Image->Width()), float(i.Image->Height()), i.Layer, 0,
                           255, 0, 0xFFFFFF, 2);
        }
    }
    // The scene drawn whole: background, then layer by layer, in recording order within a layer.
    TPixels Reference(const TScene& scene) {
        const int32_t w = Cd.Width(), h = Cd.Height();
        TARGB8888 frame;
        frame.SetSize(w + 4, h);
        frame.FillRectAdd(0, kGround & 0xFFFFFF, 0, 0, 2048, 2048, kGround >> 24, 2, 0, h);
        TScene order;
        for (const TItem& i : scene)
            if (!i.Blend) order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [](const TItem& a, const TItem& b) { return a.Layer < b.Layer; });
        for (const TItem& i : order)
            i.Image->DrawEx(&frame, 0, i.X, i.Y, 0, 0, float(i.Image->Width()), float(i.Image->Height()), 0xFFFFFF, 255,
                            2, 0, h);
        TPixels out;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                out.push_back(frame.ScanLine(y)[x] | 0xFF000000);
        return out;
    }
    // Records, renders and presents one frame.
    void Frame(const TScene& scene) {
        Record(scene);
        Cd.Render(kGround, false, 65535);
        Cd.PresentToSurface(&DDDD, false, false);
    }
    // The entries of band b after the last Render, as "type@x1,y1".
    std::vector<std::string> Listed(int32_t b) {
        std::vector<std::string> out;
        const auto& list = Cd.LastList(b);
        for (int32_t i = 0; i < list.Count; ++i) {
            const TCellDrawCommand& c = list.Entries[i];
            out.push_back(std::to_string(int(c.Type)) + "@" + std::to_string(int(c.X1)) + "," +
                          std::to_string(int(c.Y1)));
        }
        return out;
    }

    THeadlessDisplay Device;
    TDDDD7 DDDD{&Device};
    TARGB8888CellDraw Cd;
    TPixels Presented;
};

TEST_F(CellDrawTest, AFixedSequenceRedrawsOnlyWhatChanged) {
    constexpr int32_t W = 100, H = 270;  // bands 0..4, the last one 30 rows high
    Open(W, H);
    TARGB8888 sprite, cover;
    Sprite(sprite, 0xFF4010);
    Opaque(cover, W, H);

    const TScene empty;
    const TScene high{{&sprite, 10, 70, 10}};
    const TScene low{{&sprite, 10, 110, 10}};
    const TScene covered{{&cover, 0, 0, 5}, {&sprite, 50, 200, 10}, {&sprite, 60, 30, 4}};
    const TScene blendStart{{&sprite, 50, 200, 10}, {nullptr, 0, 0, 0, true}};
    const TScene blending{{&sprite, 50, 200, 10}};
    struct Step {
        const TScene* scene;
        uint32_t drawn;  // bands drawn: bit b for band b
        bool blended;    // the average of the last frame and the new picture
        uint32_t checksum;
    };
    // After a reset every band is drawn, and again in the two frames after. A sprite that appears,
    // moves or goes draws the bands of its old and new place for three frames. An opaque cover
    // leaves nothing below it in any band (the sprite at layer 4 is hidden). A frame blend draws
    // every band it started in for 16 frames, each the average of the last frame and the new
    // picture; two plain frames follow.
    const Step steps[] = {
        {&empty, 0b11111, false, 0xA6746C85},     {&empty, 0b11111, false, 0xA6746C85},
        {&empty, 0b11111, false, 0xA6746C85},     {&empty, 0, false, 0xA6746C85},
        {&high, 0b00010, false, 0xFDA4FB95},      {&high, 0b00010, false, 0xFDA4FB95},
        {&low, 0b00110, false, 0xFA635B95},       {&low, 0b00110, false, 0xFA635B95},
        {&empty, 0b00110, false, 0xA6746C85},     {&empty, 0b00110, false, 0xA6746C85},
        {&empty, 0b00110, false, 0xA6746C85},     {&empty, 0, false, 0xA6746C85},
        {&covered, 0b11111, false, 0x535835EA},   {&covered, 0b11111, false, 0x535835EA},
        {&covered, 0b11111, false, 0x535835EA},   {&covered, 0, false, 0x535835EA},
        {&blendStart, 0b11111, true, 0xE0759CDC}, {&blending, 0b11111, true, 0x418D821B},
        {&blending, 0b11111, true, 0x51BAA23A},   {&blending, 0b11111, true, 0xB4D52D1E},
        {&blending, 0b11111, true, 0x604642F1},   {&blending, 0b11111, true, 0x2FC37921},
        {&blending, 0b11111, true, 0xDE176A6E},   {&blending, 0b11111, true, 0x3249CC4B},
        {&blending, 0b11111, true, 0x3249CC4B},   {&blending, 0b11111, true, 0x3249CC4B},
        {&blending, 0b11111, true, 0x3249CC4B},   {&blending, 0b11111, true, 0x3249CC4B},
        {&blending, 0b11111, true, 0x3249CC4B},   {&blending, 0b11111, true, 0x3249CC4B},
        {&blending, 0b11111, true, 0x3249CC4B},   {&blending, 0b11111, true, 0x3249CC4B},
        {&blending, 0b11111, false, 0xDD417595},  {&blending, 0b11111, false, 0xDD417595},
        {&blending, 0, false, 0xDD417595},
    };
    int frame = 0;
    for (const Step& s : steps) {
        ++frame;
        SCOPED_TRACE(testing::Message() << "frame " << frame);
        const TPixels last = Presented;
        Frame(*s.scene);
        EXPECT_EQ(DrawnBands(Cd), s.drawn);
        // An unchanged frame carries no rows to the window.
        EXPECT_EQ(Device.LastPresentRows.empty(), s.drawn == 0);
        TPixels expected = Reference(*s.scene);
        if (s.blended)
            for (size_t i = 0; i < expected.size(); ++i)
                expected[i] = 0xFF000000 | (((expected[i] >> 1) & 0x7F7F7F) + ((last[i] >> 1) & 0x7F7F7F));
        EXPECT_EQ(Presented, expected);
        EXPECT_EQ(Checksum(Presented), s.checksum) << std::hex << Checksum(Presented);
    }
}

TEST_F(CellDrawTest, RecordingRoundsAndTurnsWholeTurnsIntoDraws) {
    Open(200, 60);
    TARGB8888 image;
    Filled(image, 30, 10, 0x80FFFFFF);
    struct Case {
        std::function<void()> record;
        std::string listed;  // "" when nothing is recorded
    };
    TARGB8888* im = &image;
    TARGB8888CellDraw& cd = Cd;
    const Case cases[] = {
        {[&] { cd.AddDraw(im, 0, 10.5f, 20.4f, 0, 0, 30, 10, 1, 0, 255, 0, 0xFFFFFF, 2); }, "1@11,20"},
        {[&] { cd.AddDraw(im, 0, -10.5f, -0.5f, 0, 0, 30, 10, 1, 0, 255, 0, 0xFFFFFF, 2); }, "1@-11,-1"},
        {[&] { cd.AddStretchDraw(im, 0, 5, 5, 35, 15, 0, 0, 30, 10, 1, 0, 255, 0, 0xFFFFFF, 2); }, "1@5,5"},
        {[&] { cd.AddStretchDraw(im, 0, 5, 5, 65, 25, 0, 0, 30, 10, 1, 0, 255, 0, 0xFFFFFF, 2); }, "2@5,5"},
        // Whole turns: a draw where the picture would stand, or a stretch when scaled.
        {[&] { cd.AddRotateDraw(im, 0, 40, 20, 1, 1, 0, 0, 30, 10, 1, 1.0f, 255, 0, 0xFFFFFF, 2); }, "1@40,20"},
        {[&] { cd.AddRotateDraw(im, 0, 40, 20, 2, 2, 0, 0, 30, 10, 1, -2.0f, 255, 0, 0xFFFFFF, 2); }, "2@40,20"},
        {[&] { cd.AddRotateDraw(im, 0, 40, 20, 1, 1, 0, 0, 30, 10, 1, 0.5f, 255, 0, 0xFFFFFF, 2); }, "3@55,25"},
        {[&] { cd.AddRotateDraw(im, 0, 40, 20, 0.00005f, 1, 0, 0, 30, 10, 1, 0.5f, 255, 0, 0xFFFFFF, 2); }, ""},
        {[&] { cd.AddRotateDraw(im, 0, 40, 20, 1, 1, 0, 0, 0.5f, 10, 1, 0.5f, 255, 0, 0xFFFFFF, 2); }, ""},
        {[&] { cd.AddRotateDraw(im, 0, 40, 20, 1, 1, 30, 0, 0, 10, 1, 0.5f, 255, 0, 0xFFFFFF, 2); }, ""},
        {[&] { cd.AddFillRect(0xFF00FF00, 2, 10, 10, 10.0005f, 10.0002f, 1, 0); }, ""},          // no extent
        {[&] { cd.AddFillRect(0x00FF0000, 2, 10, 10, 50, 50, 1, 0); }, ""},                      // alpha 0: invisible
        {[&] { cd.AddDraw(nullptr, 0, 10, 10, 0, 0, 30, 10, 1, 0, 255, 0, 0xFFFFFF, 2); }, ""},  // no picture
        {[&] { cd.AddDraw(im, 0, 250, 10, 0, 0, 30, 10, 1, 0, 255, 0, 0xFFFFFF, 2); }, ""},      // off screen
    };
    for (const Case& c : cases) {
        c.record();
        Cd.Render(0xFF000000, false, 65535);
        const std::vector<std::string> listed = Listed(0);
        ASSERT_GE(listed.size(), 1u);
        EXPECT_EQ(listed[0], "0@0,0");  // the background
        EXPECT_EQ(listed.size() > 1 ? listed[1] : "", c.listed);
        EXPECT_LE(listed.size(), 2u);
    }
}

TEST_F(CellDrawTest, BandsListWhatTheyShowAndCoversHideWhatLiesBelow) {
    Open(100, 180);  // bands 0, 1, 2
    TARGB8888 see, solid;
    Filled(see, 100, 60, 0x80FF0000);
    Opaque(solid, 100, 60);
    // Rows 100..120 end on a band boundary, and reach the band below.
    Cd.AddFillRect(0xFF00FF00, 2, 0, 100, 10, 120, 1, 0);
    // A whole band covered opaquely drops the background there; a cover that leaves a pixel free,
    // or a picture with transparent pixels, does not.
    Cd.AddDraw(&solid, 0, 0, 0, 0, 0, 100, 60, 1, 0, 255, 0, 0xFFFFFF, 2);
    Cd.AddDraw(&solid, 0, 1, 120, 0, 0, 100, 60, 1, 0, 255, 0, 0xFFFFFF, 2);
    Cd.AddDraw(&see, 0, 0, 60, 0, 0, 100, 60, 1, 0, 255, 0, 0xFFFFFF, 2);
    Cd.Render(0xFF000000, false, 65535);
    EXPECT_EQ(Listed(0), (std::vector<std::string>{"1@0,0"}));
    // A picture that ends on a band boundary is listed below it too, where it covers nothing.
    EXPECT_EQ(Listed(1), (std::vector<std::string>{"0@0,0", "0@0,100", "1@0,0", "1@0,60"}));
    EXPECT_EQ(Listed(2), (std::vector<std::string>{"0@0,0", "0@0,100", "1@1,120", "1@0,60"}));

    // 64 entries a band: the background and 63 more; the 1024th command of a frame is the last.
    for (int i = 0; i < 70; ++i)
        Cd.AddFillRect(0xFF000001 + i, 2, 0, 0, 1 + i, 1, 1, 0);
    Cd.Render(0xFF000000, false, 65535);
    EXPECT_EQ(Cd.LastList(0).Count, 64);
    EXPECT_EQ(Cd.LastList(0).Entries[63].MulColor, 0x00003Fu);
    EXPECT_EQ(Cd.LastList(1).Count, 1);
    for (int i = 0; i < 1030; ++i)
        Cd.AddFillRect(0x80000000 + i, 2, 0, 130, 2, 131, 1, 0);
    EXPECT_EQ(Cd.CommandCount(), 1024);
    // A full frame still has its background (the band beyond the fills shows it).
    Cd.Render(0xFF123456, false, 65535);
    EXPECT_EQ(Cd.FrameBuffer->ScanLine(170)[50], 0xFF123456u);
    EXPECT_EQ(Cd.LastList(2).Entries[0].MulColor, 0x123456u);
}

TEST_F(CellDrawTest, LayersSortStablyAndTheMaximumLayerIsNotDrawn) {
    Open(20, 20);
    // Equal layers keep their order even where a float key could no longer tell them apart.
    const struct {
        float layer;
        uint32_t color;
    } fills[] = {{60000, 0xFFFF0000}, {60000, 0xFF00FF00}, {59999.4f, 0xFF0000FF}, {-7, 0xFFFFFF00}};
    for (const auto& f : fills)
        Cd.AddFillRect(f.color, 1, 0, 0, 10, 10, f.layer, 0);
    Cd.AddFillRect(0xFF808080, 1, 10, 0, 20, 10, 9.4f, 0);
    Cd.AddFillRect(0xFFFFFFFF, 1, 10, 10, 20, 20, 9.5f, 0);  // layer 10
    Cd.Render(0xFF000000, false, 10);
    EXPECT_EQ(Cd.FrameBuffer->ScanLine(5)[4], 0xFFFFFF00u);    // only the layer below 10 of the four
    EXPECT_EQ(Cd.FrameBuffer->ScanLine(5)[14], 0xFF808080u);   // 9.4 is layer 9
    EXPECT_EQ(Cd.FrameBuffer->ScanLine(15)[14], 0xFF000000u);  // 10 is the maximum: not drawn
    for (const auto& f : fills)
        Cd.AddFillRect(f.color, 1, 0, 0, 10, 10, f.layer, 0);
    Cd.Render(0xFF000000, false, 65535);
    EXPECT_EQ(Cd.FrameBuffer->ScanLine(5)[4], 0xFF00FF00u);

    // Before a screen size there are no bands: the commands are only dropped.
    TARGB8888CellDraw fresh;
    fresh.AddFillRect(0xFFFFFFFF, 1, 0, 0, 10, 10, 0, 0);
    fresh.Render(0xFF000000, false, 65535);
    EXPECT_EQ(fresh.CommandCount(), 0);
}

TEST_F(CellDrawTest, InvalidatedBandsAndChangedPicturesAreRedrawn) {
    Open(100, 180);
    TARGB8888 movie;
    Filled(movie, 20, 20, 0xFF102030);
    // A movie picks its picture by the time it is handed, and says so with a new serial.
    int32_t shown = -1;
    movie.OnSetTime = [&](int32_t time) {
        if (time != shown) movie.Changed();
        shown = time;
    };
    auto frame = [&](uint32_t time) {
        Cd.AddDraw(&movie, time, 10, 70, 0, 0, 20, 20, 1, 0, 255, 0, 0xFFFFFF, 2);
        Cd.Render(0xFF000000, false, 65535);
        return DrawnBands(Cd);
    };
    for (int i = 0; i < 4; ++i)
        frame(0);
    EXPECT_EQ(frame(0), 0u);
    EXPECT_EQ(frame(40), 0u);      // the time reaches the picture during this frame's drawing
    EXPECT_EQ(frame(40), 0b010u);  // so the next frame finds the serial changed
    EXPECT_EQ(frame(40), 0b010u);
    EXPECT_EQ(frame(40), 0b010u);
    EXPECT_EQ(frame(40), 0u);

    Cd.InvalidateRect(0, 119, 100, 121);
    EXPECT_EQ(frame(40), 0b110u);
    EXPECT_EQ(frame(40), 0b110u);  // and the tail
    Cd.InvalidateAll();
    EXPECT_EQ(frame(40), 0b111u);
    Cd.InvalidateRect(0, -500, 0, 5000);  // rows beyond the screen reach its first and last band
    EXPECT_EQ(frame(40), 0b111u);

    // A frame that records the last one's commands is redrawn all the same where a picture no
    // longer covers as it did, or where the background or the layer limit changed.
    TARGB8888 dot, solid;
    Filled(dot, 20, 20, 0xFF405060);
    Opaque(solid, 100, 60);
    auto still = [&](uint32_t background, int32_t maxLayer) {
        Cd.AddDraw(&dot, 0, 10, 70, 0, 0, 20, 20, 1, 0, 255, 0, 0xFFFFFF, 2);
        Cd.AddDraw(&solid, 0, 0, 60, 0, 0, 100, 60, 2, 0, 255, 0, 0xFFFFFF, 2);  // hides the dot
        Cd.Render(background, false, maxLayer);
        return DrawnBands(Cd);
    };
    const struct {
        std::function<void()> change;
        uint32_t background;
        int32_t maxLayer;
        uint32_t drawn;
    } changes[] = {
        {[&] { solid.Transparent = true; }, 0xFF000000, 65535, 0b010u},  // no new serial: the dot shows
        {[] {}, 0xFF000080, 65535, 0b111u},
        {[] {}, 0xFF000000, 2, 0b110u},
    };
    for (const auto& c : changes) {
        for (int i = 0; i < 4; ++i)
            still(0xFF000000, 65535);
        EXPECT_EQ(still(0xFF000000, 65535), 0u);
        c.change();
        EXPECT_EQ(still(c.background, c.maxLayer), c.drawn);
    }
}

TEST_F(CellDrawTest, PresentingToACanvasCopiesBandsOrTheWholeFrame) {
    Open(30, 290);  // five bands, the last one 50 rows high
    for (int i = 0; i < 4; ++i)
        Cd.Render(0xFF000000, false, 65535);
    struct Case {
        std::vector<float> rows;  // invalidated
        bool whole;
        int32_t blits;
    };
    const Case cases[] = {
        {{}, false, 0},        {{10}, false, 1},
        {{10, 289}, false, 2}, {{10, 70, 289}, false, 1},  // three of five bands: two thirds or more, one copy of all
        {{}, true, 1},
    };
    for (const Case& c : cases) {
        TMemoryDC dc(30, 290);
        for (float y : c.rows)
            Cd.InvalidateRect(0, y, 1, y);
        Cd.Render(0xFF000000, false, 65535);
        Cd.PresentToDC(&dc, c.whole);
        EXPECT_EQ(dc.Blits, c.blits) << c.rows.size();
        EXPECT_EQ(dc.Flushes, c.blits > 0 ? 1 : 0);
        for (float y : c.rows)
            EXPECT_EQ(dc.Pixel(29, int32_t(y)), 0xFF000000u) << y;  // copied: no longer 0
        if (c.blits == 2) {
            EXPECT_EQ(dc.Pixel(0, 70), 0u);  // a band not drawn is not copied
        }
        for (int i = 0; i < 3; ++i)  // the tail of the invalidated bands runs out
            Cd.Render(0xFF000000, false, 65535);
    }
}

TEST_F(CellDrawTest, InterlacedFramesTouchOneParityOfRows) {
    Open(8, 6);
    Cd.Render(0xFF000000, false, 65535);
    Cd.PresentToSurface(&DDDD, true, false);
    TInterlace lace{1};
    Cd.Interlace = &lace;
    Cd.AddFillRect(0xFFFFFFFF, 2, 0, 0, 8, 6, 1, 0);
    Cd.Render(0xFF000000, true, 65535);
    EXPECT_EQ(Cd.FrameBuffer->Interlace, nullptr);  // unlinked again
    EXPECT_EQ(Cd.BandBuffer->Interlace, nullptr);
    for (int32_t y = 0; y < 6; ++y)
        EXPECT_EQ(Cd.FrameBuffer->ScanLine(y)[0], y % 2 ? 0xFFFFFFFFu : 0xFF000000u) << y;
    // The presented rows: the frame buffer is all white now, the surface takes even rows only.
    for (int32_t y = 0; y < 6; ++y)
        std::fill_n(Cd.FrameBuffer->ScanLine(y), 8, 0xFFFFFFFF);
    lace.ToggleField();
    Cd.PresentToSurface(&DDDD, true, true);
    EXPECT_EQ(Cd.FrameBuffer->Interlace, nullptr);
    for (int32_t y = 0; y < 6; ++y)
        EXPECT_EQ(Presented[y * 8 + 3], y % 2 ? 0xFF000000u : 0xFFFFFFFFu) << y;
    // Without a field, an interlaced frame is a whole one.
    Cd.Interlace = nullptr;
    Cd.AddFillRect(0xFF00FF00, 2, 0, 0, 8, 6, 1, 0);
    Cd.Render(0xFF000000, true, 65535);
    Cd.PresentToSurface(&DDDD, true, true);
    for (int32_t y = 0; y < 6; ++y) {
        EXPECT_EQ(Cd.FrameBuffer->ScanLine(y)[0], 0xFF00FF00u) << y;
        EXPECT_EQ(Presented[y * 8 + 3], 0xFF00FF00u) << y;
    }
}

TEST_F(CellDrawTest, ScreensOfAnyWidthReachTheirLastColumn) {
    // The 16-bit formats once moved groups of 4 pixels and the 32-bit one pairs, leaving the right
    // edge of other widths black.
    for (int32_t depth : {16, 15, 24, 32}) {
        for (int32_t width : {5, 6, 7}) {
            Device.DesktopDepth = depth;
            Open(width, 2);
            Cd.Render(0xFFFFFFFF, false, 65535);  // a white screen, the odd last column as well
            Cd.PresentToSurface(&DDDD, true, false);
            ASSERT_EQ(Presented.size(), static_cast<size_t>(width * 2)) << depth << " bits, " << width;
            EXPECT_EQ(Presented, std::vector<uint32_t>(Presented.size(), 0xFFFFFFFF)) << depth << " bits, " << width;
        }
    }
}

TEST_F(CellDrawTest, SavesTheFrameAsAnOpaqueBitmap) {
    Open(5, 3);
    Cd.AddFillRect(0x80FF0000, 1, 0, 0, 6, 3, 1, 0);  // a copy keeps the alpha of 0x80
    Cd.Render(0xFF000000, false, 65535);
    TMemoryStream stream;
    ASSERT_TRUE(Cd.SaveToStream(&stream));
    const auto picture = ImageCodecLib::DecodeBmp(stream.Memory(), static_cast<size_t>(stream.Size()));
    ASSERT_EQ(picture->Width, 5);
    ASSERT_EQ(picture->Height, 3);
    EXPECT_EQ(picture->Pixels, std::vector<uint32_t>(15, 0xFFFF0000));  // the odd last column as well
}

}  // namespace
