#include "tests/support/FontFixtures.h"

#include <stdexcept>

#include "media/ARGB8888Font.h"
#include "platform/ClassLib.h"
#include "tools/kelfont/OfWriter.h"

namespace FontFixtures {

namespace {

bool IsTwoByte(uint32_t code) {
    return code >= 0x100;
}

// Every character a Shift-JIS text can hold.
std::vector<uint32_t> AllCodes() {
    std::vector<uint32_t> codes;
    for (uint32_t c = 0x20; c <= 0x7E; ++c)
        codes.push_back(c);
    for (uint32_t c = 0xA1; c <= 0xDF; ++c)
        codes.push_back(c);
    for (uint32_t lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead < 0xE0) continue;
        for (uint32_t trail = 0x40; trail <= 0xFC; ++trail)
            if (trail != 0x7F) codes.push_back(lead << 8 | trail);
    }
    return codes;
}

}  // namespace

uint32_t PaletteColor(const TTestFont& font, uint8_t index) {
    const uint32_t rgb = font.UseTextColor ? 0x000000u : 0xFFFFFFu;
    switch (index) {
        case 1:
            return 0xFF000000u | rgb;
        case 2:
            return 0x80000000u | rgb;
        default:
            return 0;
    }
}

uint8_t AdvanceX(uint32_t code) {
    return IsTwoByte(code) ? 128 : 64;
}

uint8_t AdvanceY(uint32_t code, bool verticalSet) {
    return verticalSet ? AdvanceX(code) : 128;
}

std::vector<uint8_t> Glyph(const TTestFont& font, uint32_t code) {
    const int32_t w = font.CellWidth, h = font.CellHeight;
    std::vector<uint8_t> cell(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    if (code == 0x20 || code == 0x8140) return cell;
    const int32_t inkWidth = IsTwoByte(code) ? w : w / 2;
    const uint32_t pattern = IsTwoByte(code) ? 0x100 + code % 96 : code;
    int32_t bit = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < inkWidth; ++x) {
            uint8_t& p = cell[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)];
            if (x == 0 || y == 0 || x == inkWidth - 1 || y == h - 1)
                p = 1;
            else
                p = (pattern >> (bit++ % 9)) & 1 ? 2 : 0;
        }
    return cell;
}

std::string OfFile(const TTestFont& font, bool verticalSet) {
    OfWriter::TGlyphSetFile set;
    set.CellWidth = font.CellWidth;
    set.CellHeight = font.CellHeight;
    set.UseTextColor = font.UseTextColor;
    for (uint8_t i = 1; i <= 2; ++i)
        set.Palette[i] = PaletteColor(font, i);
    const std::vector<uint32_t> codes = font.Codes.empty() ? AllCodes() : font.Codes;
    for (uint32_t code : codes) {
        OfWriter::TGlyph g;
        g.Code = code;
        g.Cell = Glyph(font, code);
        g.AdvanceX = verticalSet ? 128 : AdvanceX(code);
        g.AdvanceY = AdvanceY(code, verticalSet);
        set.Glyphs.push_back(std::move(g));
    }
    std::string out, error;
    if (!OfWriter::Write(set, out, error)) throw std::runtime_error("test font: " + error);
    return out;
}

void Install(TFontTable& fonts, const TTestFont& font, int32_t slot, const std::string& name) {
    TMemoryStream horizontal(OfFile(font, false)), vertical(OfFile(font, true));
    fonts.Slots.at(static_cast<size_t>(slot)).LoadBitmapFont(name, &horizontal, &vertical);
}

void InstallMessageFonts(TFontTable& fonts, int32_t text, int32_t ruby) {
    TTestFont font;
    font.CellWidth = font.CellHeight = text;
    Install(fonts, font, 0, "test " + std::to_string(text));
    font.CellWidth = font.CellHeight = ruby;
    Install(fonts, font, 7, "test " + std::to_string(ruby));
}

}  // namespace FontFixtures
