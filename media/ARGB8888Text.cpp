#include <algorithm>
#include <cstdint>
#include <string_view>

#include "media/ARGB8888Font.h"
#include "media/ARGB8888Lib.h"

void TARGB8888::TextOut(TFontTable& fonts, int32_t x, int32_t y, const std::string& text, int32_t charWidth,
                        int32_t charHeight, uint32_t color, int32_t fontIndex, bool vertical, int32_t& extentWidth,
                        int32_t& extentHeight) {
    if (!Active) return;
    extentWidth = extentHeight = 0;
    if (text.empty()) return;
    TARGB8888Font& fallback = fonts.Slots[0];
    TARGB8888Font& font =
        fontIndex >= 0 && fontIndex < ARGB8888Font::kFontCount ? fonts.Slots[static_cast<size_t>(fontIndex)] : fallback;
    // Positions are kept in 64 bits: advances from scripts' sizes may add up past 32 bits.
    int64_t dx = 0, dy = 0;
    int32_t width = 0, height = 0;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<uint8_t>(text[i]);
        // A lead byte takes the byte after it, when there is one, whatever that byte is.
        const size_t n = ((b >= 0x80 && b <= 0x9F) || b >= 0xE0) && i + 1 < text.size() ? 2 : 1;
        const std::string_view character(text.data() + i, n);
        i += n;
        const auto at = [](int64_t origin, int64_t advance) {
            return static_cast<int32_t>(std::clamp<int64_t>(origin + advance, INT32_MIN, INT32_MAX));
        };
        font.DrawText(Active, at(x, dx), at(y, dy), character, charWidth, charHeight, color, vertical, width, height);
        if (width == 0 && height == 0)
            fallback.DrawText(Active, at(x, dx), at(y, dy), character, charWidth, charHeight, color, vertical, width,
                              height);
        if (vertical)
            dy += height;
        else
            dx += width;
    }
    const auto clamp32 = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    extentWidth = vertical ? width : clamp32(dx);
    extentHeight = vertical ? clamp32(dy) : height;
}
