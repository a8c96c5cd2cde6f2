// A font table whose fonts 0 and 7 are small bitmap fonts of 8 x 8 cells with a glyph for every
// code, so that the targets over message text place characters without an installed face. Made
// once, on the first call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/ARGB8888Font.h"

namespace FuzzFonts {

inline TFontTable& Install() {
    static TFontTable fonts;
    static bool installed = false;
    if (installed) return fonts;
    installed = true;
    for (size_t slot : {size_t{0}, size_t{7}}) {
        TARGB8888Font& font = fonts.Slots[slot];
        font.SystemFont.reset();
        font.BitmapFont = std::make_unique<TBitmapFont>();
        for (TGlyphSet* set : {&font.BitmapFont->Horizontal, &font.BitmapFont->Vertical}) {
            set->CellWidth = set->CellHeight = 8;
            set->PageCount = 1;
            set->PageWidth = set->PageHeight = 128;
            set->Palette[1] = 0xFFFFFFFFu;
            set->Pages.assign(1, std::vector<uint8_t>(128 * 128, 0));
            for (int y = 0; y < 8; ++y)
                for (int x = 8; x < 16; ++x)
                    set->Pages[0][static_cast<size_t>(y * 128 + x)] = static_cast<uint8_t>((x + y) & 1);
            for (size_t i = 0; i < ARGB8888Font::kGlyphCount; ++i) {
                set->Map[i] = 1;
                set->AdvanceX[i] = i < 0x100 ? 64 : 128;
                set->AdvanceY[i] = 128;
            }
        }
    }
    return fonts;
}

}  // namespace FuzzFonts
