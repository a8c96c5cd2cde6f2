// The image's presents: into the display component's back buffer (the rows written reach the
// next flip) and onto a canvas.
#include <gtest/gtest.h>

#include "foundation/DisplayComponent.h"
#include "media/ARGB8888Lib.h"
#include "platform/Display.h"
#include "platform/headless/HeadlessDisplay.h"
#include "tests/support/ImageFixtures.h"

namespace {

TEST(ARGB8888PresentTest, DrawToSurfaceWritesTheRectangleAndMarksItsRows) {
    THeadlessDisplay device;
    TDDDD7 dd(&device);
    dd.AutoDisplayModeInitialize = false;
    dd.Loaded();
    TARGB8888 image;
    ImageFixtures::Filled(image, 8, 8, 0xFF0080FF);
    EXPECT_FALSE(image.DrawToSurface(nullptr, 0, 0, 0, 0, 8, 8));
    EXPECT_FALSE(image.DrawToSurface(&dd, 0, 0, 0, 0, 8, 8));  // not started: no back buffer
    ASSERT_TRUE(dd.Start());
    dd.InitializeFullScreen(16, 12, 16, 0, "");
    dd.Flip();

    // Rows 2..5 of the picture at row 9 of the surface: three rows fit below.
    EXPECT_TRUE(image.DrawToSurface(&dd, 4, 9, 2, 2, 6, 6));
    dd.Flip();
    EXPECT_EQ(device.LastPresentRows, (std::vector<Display::TRowSpan>{{9, 12}}));
    const std::vector<uint32_t> shown = device.Pixels();
    EXPECT_EQ(shown[9 * 16 + 4], 0xFF0082FFu);  // through 5-6-5
    EXPECT_EQ(shown[11 * 16 + 7], 0xFF0082FFu);
    EXPECT_EQ(shown[11 * 16 + 8], 0xFF000000u);
    EXPECT_EQ(shown[8 * 16 + 4], 0xFF000000u);

    EXPECT_TRUE(image.DrawToSurface(&dd, 20, 0, 0, 0, 8, 8));  // nothing left after the clip
    dd.Flip();
    EXPECT_TRUE(device.LastPresentRows.empty());

    device.LoseDevice();
    EXPECT_FALSE(image.DrawToSurface(&dd, 0, 0, 0, 0, 8, 8));
}

TEST(ARGB8888PresentTest, BitBltCopiesTheWholePictureToTheCanvas) {
    TARGB8888 image;
    ImageFixtures::SetPixels(image, 3, 2, {1, 2, 3, 4, 5, 6});
    TMemoryDC dc(2, 3);
    image.BitBltTo(&dc);
    EXPECT_EQ(dc.Pixels, (std::vector<uint32_t>{1, 2, 4, 5, 0, 0}));
    EXPECT_EQ(dc.Flushes, 1);
    TARGB8888 empty;
    empty.BitBltTo(&dc);
    image.BitBltTo(nullptr);
    EXPECT_EQ(dc.Blits, 1);
}

}  // namespace
