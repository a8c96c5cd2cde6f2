// A small bitmap font made in code, so that text comes out the same on every machine: tests that
// draw text, and dumps of text layout, use it instead of an installed face.
//
// Every Shift-JIS character has a glyph: one-byte characters are half a cell wide, two-byte ones a
// whole cell; both advance by a whole cell in the other direction. A glyph is a frame of palette
// index 1 as wide as its advance, with a pattern of index 2 inside it that depends on the code;
// the spaces 0x20 and 0x8140 are empty. Two-byte characters share 96 patterns, so the font stays
// one page whatever the cell size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TFontTable;

namespace FontFixtures {

struct TTestFont {
    int32_t CellWidth = 8;
    int32_t CellHeight = 8;
    // Without the flag the palette is white (index 1 opaque, index 2 half transparent) and the
    // text colour multiplies it; with it the palette is black and the text colour is added.
    bool UseTextColor = false;
    // The characters that have glyphs; empty for every Shift-JIS character.
    std::vector<uint32_t> Codes;
};

// Palette colours of the two indices.
uint32_t PaletteColor(const TTestFont& font, uint8_t index);

// The glyph's cell: palette indices, CellWidth x CellHeight, rows top to bottom.
std::vector<uint8_t> Glyph(const TTestFont& font, uint32_t code);
// The advance of a character in 128ths of the cell: horizontal, and vertical in the given set.
uint8_t AdvanceX(uint32_t code);
uint8_t AdvanceY(uint32_t code, bool verticalSet);

// The ".of" file of one writing direction.
std::string OfFile(const TTestFont& font, bool verticalSet = false);

// Loads the font, both directions, into slot of the fonts under the given face name.
void Install(TFontTable& fonts, const TTestFont& font = {}, int32_t slot = 0,
             const std::string& name = "kel test font");
// The fonts of the message tests: font 0 with cells of text x text pixels for the text, font 7
// with cells of ruby x ruby for the ruby.
void InstallMessageFonts(TFontTable& fonts, int32_t text = 16, int32_t ruby = 8);

}  // namespace FontFixtures
