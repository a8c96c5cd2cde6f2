#include <gtest/gtest.h>

#include "platform/Display.h"
#include "platform/headless/HeadlessDisplay.h"

namespace {

using Display::TRowSpan;

TEST(DisplayTest, PixelsRoundTripThroughEveryBackBufferFormat) {
    struct Case {
        int32_t depth;
        uint32_t in;
        uint32_t stored;  // the bytes as a little-endian number
        uint32_t out;
    };
    const Case cases[] = {
        {32, 0x12345678, 0xFF345678, 0xFF345678},  // alpha is not kept
        {24, 0x80FF8001, 0x00FF8001, 0xFFFF8001},
        {16, 0xFFFFFFFF, 0xFFFF, 0xFFFFFFFF},
        {16, 0xFF0408F8, 0x0000 | (0x00 << 11) | (0x02 << 5) | 0x1F, 0xFF0008FF},  // 5-6-5, top bits repeated
        {16, 0xFF840000, 0x8000, 0xFF840000},
        {15, 0xFF840000, 0x4000, 0xFF840000},  // 5-5-5, top bit left 0
        {15, 0xFFFFFFFF, 0x7FFF, 0xFFFFFFFF},
        {15, 0xFF000800, 0x0020, 0xFF000800},
    };
    for (const Case& c : cases) {
        const TDisplayPixelFormat f = Display::FormatForDepth(c.depth);
        uint8_t bytes[4] = {0, 0, 0, 0};
        Display::StoreRow(f, bytes, &c.in, 1);
        const uint32_t stored = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
        EXPECT_EQ(stored, c.stored) << c.depth << " " << std::hex << c.in;
        EXPECT_EQ(Display::LoadPixel(f, bytes), c.out) << c.depth << " " << std::hex << c.in;
    }
    EXPECT_TRUE(Display::DepthSupported(15));
    EXPECT_FALSE(Display::DepthSupported(8));
}

TEST(DisplayTest, BackBufferCollectsChangedRowsIntoRuns) {
    TBackBuffer b;
    b.Reset(4, 10, Display::FormatForDepth(32), 0x102030);
    EXPECT_EQ(b.TakeChanged(), (std::vector<TRowSpan>{{0, 10}}));
    EXPECT_TRUE(b.TakeChanged().empty());
    b.MarkChanged(2, 4);
    b.MarkChanged(3, 5);
    b.MarkChanged(7, 8);
    b.MarkChanged(9, 20);
    b.MarkChanged(-5, 1);
    b.MarkChanged(6, 6);
    EXPECT_EQ(b.TakeChanged(), (std::vector<TRowSpan>{{0, 1}, {2, 5}, {7, 8}, {9, 10}}));
    std::vector<uint32_t> pixels;
    b.ReadPixels(pixels);
    EXPECT_EQ(pixels, std::vector<uint32_t>(40, 0xFF102030));
}

TEST(DisplayTest, CopiesAreCutToTheTarget) {
    const uint32_t source[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // 3 x 3
    TMemoryDC dc(4, 3);
    dc.BitBlt(-1, 1, 3, 3, source, 3);  // its left column and bottom row fall outside
    dc.BitBlt(3, 0, 3, 1, source, 3);
    dc.BitBlt(9, 9, 3, 3, source, 3);
    EXPECT_EQ(dc.Blits, 3);
    EXPECT_EQ(dc.Pixels, (std::vector<uint32_t>{0, 0, 0, 1, 2, 3, 0, 0, 5, 6, 0, 0}));

    TBackBuffer b;
    b.Reset(4, 3, Display::FormatForDepth(32), 0);
    b.TakeChanged();
    TDisplayLock lock = b.Describe();
    EXPECT_EQ(Display::StoreRect(lock, 2, -1, 3, 3, source, 3), (TRowSpan{0, 2}));
    EXPECT_EQ(Display::StoreRect(lock, 4, 0, 3, 3, source, 3), (TRowSpan{}));
    std::vector<uint32_t> pixels;
    b.ReadPixels(pixels);
    EXPECT_EQ(pixels[2], 0xFF000004u);
    EXPECT_EQ(pixels[3], 0xFF000005u);
    EXPECT_EQ(pixels[4 + 2], 0xFF000007u);
    EXPECT_EQ(pixels[8 + 2], 0xFF000000u);
}

TEST(DisplayTest, TheWindowCanvasDrawsIntoTheBackBufferAndPresentsOnFlush) {
    THeadlessDisplay device;
    TDisplaySetup setup;
    setup.Width = 8;
    setup.Height = 6;
    setup.BitDepth = 16;
    TDisplayError error;
    ASSERT_TRUE(device.Open(setup, error));
    device.Present();
    const std::vector<uint32_t> white(8 * 2, 0xFFFFFFFF);
    device.WindowDC().BitBlt(0, 4, 8, 2, white.data(), 8);
    EXPECT_EQ(device.Presents, 1);
    device.WindowDC().Flush();
    EXPECT_EQ(device.Presents, 2);
    EXPECT_EQ(device.LastPresentRows, (std::vector<TRowSpan>{{4, 6}}));
    EXPECT_EQ(device.Pixels()[5 * 8 + 7], 0xFFFFFFFFu);

    device.LoseDevice();  // nothing can be drawn while the device is lost
    device.WindowDC().BitBlt(0, 0, 8, 2, white.data(), 8);
    EXPECT_TRUE(device.Restore());
    EXPECT_EQ(device.Pixels()[0], 0xFF000000u);
}

}  // namespace
