#include "objects/MessageSelect.h"

#include "media/ARGB8888CellDrawLib.h"

TMessageSelect::TMessageSelect(const TPackSet& packs) : TMessageLib(packs, nullptr, nullptr, nullptr) {
    PageCheck = 0;
    Instant = 1;
    OwnSpeed = 0;
    SetFadeTime(0);
}

bool TMessageSelect::AddRow(uint32_t markColor) {
    if (Count >= kMaxRows || PenY > TextBitmap.Height()) {
        Refused = true;
        return false;
    }
    Flush();
    NewLine(0);
    Boundaries[static_cast<size_t>(Count) + 1] = PenY - PitchY;
    Rows[static_cast<size_t>(Count)].MarkColor = markColor;
    ++Count;
    return true;
}

void TMessageSelect::ClearRows() {
    Rows.fill(TRow{});
    Count = 0;
    Refused = false;
    ClearText();
    Boundaries[0] = PenY - PitchY;
}

int32_t TMessageSelect::RowAt(int32_t x, int32_t y, int32_t dx, int32_t dy) const {
    const int64_t x1 = int64_t{Record.X} + dx + Record.HitX1, x2 = int64_t{Record.X} + dx + Record.HitX2;
    const int64_t y0 = int64_t{Record.Y} + AreaTop + dy;
    if (!(x1 < x && x < x2)) return -1;
    for (int32_t i = 0; i < Count; ++i)
        if (y0 + Boundaries[static_cast<size_t>(i)] < y && y < y0 + Boundaries[static_cast<size_t>(i) + 1]) return i;
    return -1;
}

void TMessageSelect::Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) {
    TMessageLib::Draw(target, mask, dx, dy);
    if (!target) return;
    const auto x1 = static_cast<float>(int64_t{Record.X} + dx + Record.HitX1);
    const auto x2 = static_cast<float>(int64_t{Record.X} + dx + Record.HitX2);
    const int64_t y0 = int64_t{Record.Y} + AreaTop + dy;
    const auto z = static_cast<float>(Record.Z);
    auto band = [&](int32_t i, uint32_t color, float layer) {
        target->AddFillRect(color, bmBlend, x1, static_cast<float>(y0 + Boundaries[static_cast<size_t>(i)]), x2,
                            static_cast<float>(y0 + Boundaries[static_cast<size_t>(i) + 1] - 1), layer, 0);
    };
    for (int32_t i = 0; i < Count; ++i)
        if (Rows[static_cast<size_t>(i)].MarkColor != 0) band(i, Rows[static_cast<size_t>(i)].MarkColor, z + 8);
    if (HoverColor == 0 || !HitTest(Record.PointerX, Record.PointerY)) return;
    const int32_t row = RowAt(Record.PointerX, Record.PointerY, dx, dy);
    if (row >= 0) band(row, HoverColor, z + 9);
}

void TMessageSelect::Click(uint32_t mask, int32_t x, int32_t y) {
    if ((Record.InputMask & mask) == 0 || !HitTest(x, y)) return;
    const int32_t row = RowAt(x, y);
    if (row >= 0) Rows[static_cast<size_t>(row)].Selected = !Rows[static_cast<size_t>(row)].Selected;
}
