// Writes ".of" glyph sets, the bitmap-font files the engine reads (see media/ARGB8888Font.h). Used
// by the kelfont tool and by tests that make fonts in code. Header-only, so that both can include
// it without another library.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "media/ARGB8888Font.h"
#include "platform/LittleEndian.h"

namespace OfWriter {

struct TGlyph {
    uint32_t Code = 0;          // Shift-JIS character code (lead byte x 256 + trail byte)
    std::vector<uint8_t> Cell;  // CellWidth x CellHeight palette indices, rows top to bottom; 0 empty
    uint8_t AdvanceX = 128;     // 128ths of the cell width
    uint8_t AdvanceY = 128;     // 128ths of the cell height
};

struct TGlyphSetFile {
    int32_t CellWidth = 0;
    int32_t CellHeight = 0;
    std::array<uint32_t, 256> Palette{};  // 0xAARRGGBB
    bool UseTextColor = false;
    std::vector<TGlyph> Glyphs;
};

// A page holds 16 x 16 cells. The first cell of the first page is never used: its map entry would
// be 0, which means "no glyph". Glyphs whose cells are alike share one cell.
constexpr int32_t kCellsPerPage = 256;
constexpr int32_t kMaxPages = 255;

// The file's bytes; false with the reason when the set cannot be written (a code without a glyph
// index, a cell of the wrong size, too many glyphs or too large a cell for the page fields).
inline bool Write(const TGlyphSetFile& set, std::string& out, std::string& error) {
    using namespace LittleEndian;
    const int32_t cw = set.CellWidth, ch = set.CellHeight;
    if (cw < 1 || ch < 1 || cw * 16 > 0xFFFF || ch * 16 > 0xFFFF) {
        error = "the cell size must be 1 to 4095 pixels a side";
        return false;
    }
    // Cells first: each distinct one gets the next slot.
    std::map<std::string, int32_t> slotOf;
    std::vector<const std::string*> cells;
    std::vector<int32_t> slotOfGlyph;
    for (const TGlyph& glyph : set.Glyphs) {
        if (ARGB8888Font::GlyphIndex(glyph.Code) < 0) {
            error = "code " + std::to_string(glyph.Code) + " has no glyph index";
            return false;
        }
        if (glyph.Cell.size() != static_cast<size_t>(cw) * static_cast<size_t>(ch)) {
            error = "the glyph of code " + std::to_string(glyph.Code) + " is not one cell in size";
            return false;
        }
        auto [it, added] = slotOf.try_emplace(std::string(glyph.Cell.begin(), glyph.Cell.end()),
                                              static_cast<int32_t>(cells.size()) + 1);
        if (added) cells.push_back(&it->first);
        slotOfGlyph.push_back(it->second);
    }
    const int64_t slots = static_cast<int64_t>(cells.size()) + 1;
    const int32_t pages = cells.empty() ? 0 : static_cast<int32_t>((slots + kCellsPerPage - 1) / kCellsPerPage);
    if (pages > kMaxPages) {
        error = "too many different glyphs: at most " + std::to_string(kMaxPages * kCellsPerPage - 1);
        return false;
    }
    // A single page is only as high as the rows it uses, so that small fonts stay small.
    const int32_t rows = pages == 1 ? static_cast<int32_t>((slots + 15) / 16) : 16;
    const size_t pageWidth = static_cast<size_t>(16 * cw), pageHeight = static_cast<size_t>(rows * ch);
    std::vector<uint8_t> header(static_cast<size_t>(ARGB8888Font::kOfHeaderSize), 0);
    std::vector<uint8_t> pixels(static_cast<size_t>(pages) * pageWidth * pageHeight);
    for (size_t c = 0; c < cells.size(); ++c) {
        const int32_t slot = static_cast<int32_t>(c) + 1;
        const size_t pageStart = static_cast<size_t>(slot / kCellsPerPage) * pageWidth * pageHeight;
        const int32_t cell = slot % kCellsPerPage;
        const size_t left = static_cast<size_t>((cell & 15) * cw), top = static_cast<size_t>((cell >> 4) * ch);
        const std::string& bytes = *cells[c];
        for (size_t y = 0; y < static_cast<size_t>(ch); ++y)
            for (size_t x = 0; x < static_cast<size_t>(cw); ++x)
                pixels[pageStart + (top + y) * pageWidth + left + x] =
                    static_cast<uint8_t>(bytes[y * static_cast<size_t>(cw) + x]);
    }
    for (size_t g = 0; g < set.Glyphs.size(); ++g) {
        const TGlyph& glyph = set.Glyphs[g];
        const auto k = static_cast<size_t>(ARGB8888Font::GlyphIndex(glyph.Code));
        const int32_t slot = slotOfGlyph[g];
        Put16(&header[0x40 + 2 * k], static_cast<uint16_t>((slot / kCellsPerPage) << 8 | (slot % kCellsPerPage)));
        header[0x8040 + k] = glyph.AdvanceX;
        header[0xC040 + k] = glyph.AdvanceY;
    }
    for (size_t i = 0; i < 256; ++i)
        Put32(&header[0x10040 + 4 * i], set.Palette[i]);
    Put16(&header[0x10440], static_cast<uint16_t>(cw));
    Put16(&header[0x10442], static_cast<uint16_t>(ch));
    header[0x10444] = static_cast<uint8_t>(pages);
    Put16(&header[0x10445], static_cast<uint16_t>(pageWidth));
    Put16(&header[0x10447], static_cast<uint16_t>(pageHeight));
    header[0x10449] = set.UseTextColor ? 1 : 0;
    out.assign(header.begin(), header.end());
    out.append(pixels.begin(), pixels.end());
    return true;
}

}  // namespace OfWriter
