// The kelpaint tool, run as a program: the demo's pictures are PNG files the engine decodes, in the
// sizes the demo's animations and scripts cut them by.
#include <gtest/gtest.h>

#include <filesystem>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/HostFiles.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace {

TEST(Kelpaint, DrawsTheDemosPicturesInTheirSizes) {
    const std::string dir = TestData::ScratchDir();
    ASSERT_EQ(ToolRun::Run("kelpaint", "demo '" + dir + "'").Code, 0);
    struct TCase {
        const char* File;
        int32_t Width, Height;
    };
    const TCase cases[] = {
        {"image/title.png", 800, 600},       {"image/park.png", 800, 600},
        {"image/ending.png", 800, 600},      {"image/hana.png", 400, 380},
        {"image/sora.png", 400, 380},        {"image/btn_start.png", 240, 112},
        {"image/msg_frame.png", 760, 170},   {"image/blank.png", 4, 4},
        {"image/rule_wipe.png", 800, 600},   {"image/bar_thumb.png", 24, 32},
        {"image/bar_track.png", 320, 32},    {"sparkle/frame11.png", 96, 96},
        {"System/Log/voice.png", 24, 24},    {"System/Log/hana.png", 48, 48},
        {"System/Log/sora.png", 48, 48},     {"System/Log/thumb.png", 16, 40},
        {"System/Log/track.png", 16, 440},   {"image/sky.png", 800, 600},
        {"image/flowers.png", 800, 600},     {"image/btn_sky.png", 240, 112},
        {"image/btn_flowers.png", 240, 112}, {"System/Menu/menu_panel.png", 320, 580},
    };
    for (const TCase& c : cases) {
        std::string bytes;
        ASSERT_TRUE(HostFiles::Read(dir + "/" + c.File, bytes)) << c.File;
        const auto picture = ImageCodecLib::DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ASSERT_TRUE(picture) << c.File;
        EXPECT_EQ(picture->Width, c.Width) << c.File;
        EXPECT_EQ(picture->Height, c.Height) << c.File;
    }
    EXPECT_EQ(ToolRun::Run("kelpaint", "paint '" + dir + "'").Code, 2);
}

}  // namespace
