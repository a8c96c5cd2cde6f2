// A bitmap font loaded from ".of" bytes, then Shift-JIS text drawn with it into a small picture at
// sizes and positions that lean towards the extremes, horizontally and vertically, through
// TARGB8888::TextOut (which falls back to font 0, a system font without faces here).
//
// Input: text length n, then 12 control bytes (flags, width, height, x, y, colour), n bytes of
// text, and the rest is the ".of" file.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "media/ARGB8888Font.h"
#include "media/ARGB8888Lib.h"
#include "platform/ClassLib.h"

namespace {

int32_t Size(uint8_t b) {
    static constexpr int32_t extremes[] = {
        0, -1, -24, 1024, 65535, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(), 100000};
    return b < 0xF8 ? static_cast<int32_t>(b % 40) : extremes[b & 7];
}

int32_t Position(uint8_t b) {
    static constexpr int32_t extremes[] = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(),
                                           -100000, 100000};
    return b < 0xFC ? static_cast<int32_t>(b % 48) - 24 : extremes[b & 3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 13) return 0;
    const size_t n = data[0];
    const uint8_t* control = data + 1;
    if (size < 13 + n) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 13), n);
    const std::string file(reinterpret_cast<const char*>(data + 13 + n), size - 13 - n);

    const uint8_t flags = control[0];
    TMemoryStream horizontal(file), vertical(file);
    static TFontTable fonts;
    TARGB8888Font& font = fonts.Slots[1];
    font.LoadBitmapFont("fuzz", (flags & 1) ? &horizontal : nullptr, (flags & 2) ? &vertical : nullptr);

    const int32_t width = Size(control[1]), height = (flags & 4) ? width : Size(control[2]);
    const int32_t x = Position(control[3]), y = Position(control[4]);
    const uint32_t colour = static_cast<uint32_t>(control[5]) | static_cast<uint32_t>(control[6]) << 8 |
                            static_cast<uint32_t>(control[7]) << 16 | static_cast<uint32_t>(control[8]) << 24;
    TARGB8888 image;
    image.SetSize(control[9] % 40, control[10] % 40);
    // Some pixels already inked, so that both blends run.
    for (int32_t py = 0; py < image.Height(); py += 2)
        for (int32_t px = 0; px < image.Width(); px += 3)
            image.ScanLine(py)[px] = 0x80FFFFFFu ^ control[11];
    int32_t w = 0, h = 0;
    image.TextOut(fonts, x, y, text, width, height, colour, (flags & 8) ? 1 : 9, (flags & 16) != 0, w, h);
    return 0;
}
