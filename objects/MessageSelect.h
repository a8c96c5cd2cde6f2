// A message window that lists entries one under another and remembers where each begins and ends
// on its text bitmap, so that the entries can be marked with a colour, lit under the pointer and
// picked by a click. The back-log screen shows its entries through it.
//
// Rows: up to 128. Row i covers the text-bitmap rows Boundaries[i] .. Boundaries[i + 1]; boundary
// 0 is set when the rows are cleared and every added row sets the next one. The caller types an
// entry (AddText, then Flush), fills in the row's entry index and voice, and then closes the row
// with AddRow; a row that does not fit is refused, and the window stays full until the next clear.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "objects/MessageLib.h"

class TMessageSelect : public TMessageLib {
public:
    static constexpr int32_t kMaxRows = 128;

    struct TRow {
        uint32_t MarkColor = 0;  // laid behind the row; 0 none
        std::string Voice;       // resolved voice file, empty for none
        int32_t Index = 0;       // the back-log entry the row shows
        bool Selected = false;
    };

    // A window that types at once and never waits for a full page; no sound, voices or log.
    explicit TMessageSelect(const TPackSet& packs);

    // Closes the row being typed: the pen goes to a new line and the row ends there. False, with
    // nothing changed, when 128 rows exist or the pen has passed the bottom of the text bitmap;
    // from then on Full() holds until ClearRows.
    bool AddRow(uint32_t markColor);
    // Every row emptied and the page cleared; boundary 0 at the pen's line.
    void ClearRows();
    // The window, then the mark of every marked row (layer z + 8) and the hover colour over the
    // row under the pointer (z + 9) while the pointer hits the window.
    void Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) override;
    // Toggles the selection of the row under (x, y) when the masks meet and the point hits the
    // window.
    virtual void Click(uint32_t mask, int32_t x, int32_t y);
    void SetHoverColor(uint32_t color) { HoverColor = color; }

    // The row under a screen point, or -1: strictly inside the hit rectangle's columns and between
    // the row's boundaries, the window drawn at offset (dx, dy).
    int32_t RowAt(int32_t x, int32_t y, int32_t dx = 0, int32_t dy = 0) const;
    int32_t RowCount() const { return Count; }
    bool Full() const { return Refused; }
    int32_t Boundary(int32_t i) const { return Boundaries[static_cast<size_t>(i)]; }

    std::array<TRow, kMaxRows> Rows;

private:
    std::array<int32_t, kMaxRows + 1> Boundaries{};
    uint32_t HoverColor = 0;
    int32_t Count = 0;
    bool Refused = false;
};
