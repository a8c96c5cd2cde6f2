// The message typesetter over arbitrary text: Shift-JIS characters, commands nested or never
// closed, extreme numbers, long ruby. Whatever the text, flushing and replaying stop within their
// step caps, the read positions stay inside the texts, the inked area inside the text area and the
// bitmap, and the bitmap inside its size limit.
//
// Input: 8 control bytes, then the text.
//   0, 1  area width and height (signed bytes times 2; 0x7F stands for 300, 0x80 for the least int)
//   2     flags: 1 vertical, 2 page check off, 4 auto-scroll, 8 stepped instead of flushed,
//         16 instant while stepping
//   3     margin (signed byte)
//   4..7  ignore mask
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

#include "fuzz/FuzzFonts.h"
#include "objects/MessageLib.h"

namespace {

int32_t Side(uint8_t b) {
    if (b == 0x7F) return 300;
    if (b == 0x80) return std::numeric_limits<int32_t>::min();
    return static_cast<int8_t>(b) * 2;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckInvariants(const TMessageText& t) {
    Check(t.MainPos >= 0 && static_cast<size_t>(t.MainPos) <= t.MainText.size());
    Check(t.InsertPos >= 0 && static_cast<size_t>(t.InsertPos) <= t.InsertString.size());
    const int32_t w = t.AreaWidth(), h = t.AreaHeight();
    Check(w >= 0 && h >= 0 && w <= MessageLib::kMaxTextSide && h <= MessageLib::kMaxTextSide);
    // The bitmap is the area's size (at least 4 x 4) once an area is set; before, it keeps its first size.
    Check(t.TextBitmap.Width() <= MessageLib::kMaxTextSide && t.TextBitmap.Height() <= MessageLib::kMaxTextSide);
    if (w > 0) Check(t.TextBitmap.Width() == std::max(w, 4) && t.TextBitmap.Height() == std::max(h, 4));
    if (!t.InkEmpty()) {
        Check(t.InkMinX >= 0 && t.InkMaxX <= w);
        Check(t.InkMinY >= 0 && t.InkMaxY <= h);
    }
    Check(t.State == TMessageState::Done || t.State == TMessageState::Printing || t.State == TMessageState::PageFull);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    TFontTable& fonts = FuzzFonts::Install();
    const uint8_t flags = data[2];
    const std::string text(reinterpret_cast<const char*>(data + 8), size - 8);

    TMessageText t;
    t.Fonts = &fonts;
    t.SetMargin(static_cast<int8_t>(data[3]));
    t.SetVertical(flags & 1);
    t.SetTextRect(0, 0, Side(data[0]), Side(data[1]));
    t.PageCheck = (flags & 2) ? 0 : 1;
    t.AutoScroll = (flags & 4) ? 1 : 0;
    t.IgnoreMask = static_cast<uint32_t>(data[4]) | static_cast<uint32_t>(data[5]) << 8 |
                   static_cast<uint32_t>(data[6]) << 16 | static_cast<uint32_t>(data[7]) << 24;
    // The fonts' own size: drawing glyphs scaled costs the most and is not what is tested here.
    t.SetSize(8, 8);
    t.SetRubySize(8, 8);
    t.ClearText();
    t.AppendText(TMessageText::CrLfToTags(text));

    if (flags & 8) {
        // As a window types it: steps, the player advancing full pages, waits running out.
        t.Instant = (flags & 16) ? 1 : 0;
        const size_t cap = 4 * text.size() + 64;
        for (size_t i = 0; i < cap && !t.Step(false); ++i) {
            CheckInvariants(t);
            if (t.State == TMessageState::PageFull) t.ScrollLine();
            t.WaitLeft = 0;
        }
        t.Instant = 0;
    } else {
        t.Flush();
    }
    CheckInvariants(t);

    // A load replays the text to where it was read.
    const std::string typed = t.MainText;
    t.ReplayText(typed, t.MainPos);
    CheckInvariants(t);
    t.ReplayText(typed, static_cast<int32_t>(typed.size() / 2));
    CheckInvariants(t);

    (void)TMessageText::HasPrintableText(text);
    (void)t.TextWidth(text);
    (void)TMessageText::StringWidth(text, t.SizeW, t.PitchX);
    return 0;
}
