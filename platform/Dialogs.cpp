#include "platform/Dialogs.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

}  // namespace

TDialogKeys::TDialogKeys(const TDialogRequest& request) : Request(request) {}

int TDialogKeys::Press(char key, bool shift) {
    const int count = static_cast<int>(Request.Buttons.size());
    if (count == 0) return -1;
    // Hot keys first, as one-character texts without regard to case.
    for (int index : Request.HotKeyOrder) {
        if (index < 0 || index >= count) continue;
        const std::string& hot = Request.Buttons[static_cast<size_t>(index)].HotKey;
        if (hot.size() == 1 && UpperAscii(hot[0]) == UpperAscii(key)) return index;
    }
    switch (key) {
        case DialogKey::Enter:
        case DialogKey::Space:
            return FocusIndex;
        case DialogKey::Tab:
            FocusIndex = (FocusIndex + (shift ? count - 1 : 1)) % count;
            return -1;
        case DialogKey::Escape:
            return Request.CancelButton < count ? Request.CancelButton : -1;
        default:
            return -1;
    }
}

void TDialogKeys::SetFocused(int index) {
    if (index >= 0 && index < static_cast<int>(Request.Buttons.size())) FocusIndex = index;
}

namespace Dialogs {

int ShowModal(IDialogs* dialogs, const TDialogRequest& request) {
    TModalLoop* loop = dialogs ? dialogs->ModalLoop() : nullptr;
    if (loop) loop->TakeCancel();
    int pressed = dialogs ? dialogs->ShowModal(request) : -1;
    if (loop) loop->RunAfterModalHook();
    return pressed;
}

TLabelLayout FitLabel(const std::string& utf8Text, int labelWidth, int labelHeight, int lineHeight,
                      const TMeasure& measure, int maxGrow) {
    TLabelLayout layout;
    // Lines below what the form can grow to are not shown: the layout stops there, so a huge text
    // costs no more than a full form.
    const int64_t room = int64_t{labelHeight} + std::max(maxGrow, 0);
    auto full = [&] { return int64_t{lineHeight} * static_cast<int64_t>(layout.Lines.size()) >= room; };
    // The length of the UTF-8 character that starts at a byte; a stray continuation byte counts as
    // one, so a damaged text still advances.
    auto charLength = [&](size_t at) {
        size_t n = 1;
        while (at + n < utf8Text.size() && (static_cast<uint8_t>(utf8Text[at + n]) & 0xC0) == 0x80)
            ++n;
        return n;
    };
    for (size_t start = 0; start <= utf8Text.size() && !full();) {
        size_t end = utf8Text.find('\n', start);
        if (end == std::string::npos) end = utf8Text.size();
        // One line of the text, broken into as many label lines as it needs. Widths add up
        // character by character, as the forms draw a label.
        size_t from = start;
        do {
            size_t fit = from, lastSpace = std::string::npos;
            int64_t width = 0;
            for (size_t at = from; at < end;) {
                const size_t next = at + charLength(at);
                width += measure(utf8Text.substr(at, next - at));
                if (width > labelWidth) break;
                if (utf8Text[at] == ' ') lastSpace = at;
                fit = at = next;
            }
            if (fit == end) {
                layout.Lines.push_back(utf8Text.substr(from, end - from));
                from = end;
            } else if (lastSpace != std::string::npos && lastSpace > from) {
                layout.Lines.push_back(utf8Text.substr(from, lastSpace - from));
                from = lastSpace + 1;
            } else {
                // Not even one character fits: it takes a line of its own.
                if (fit == from) fit = from + charLength(from);
                layout.Lines.push_back(utf8Text.substr(from, fit - from));
                from = fit;
            }
        } while (from < end && !full());
        start = end + 1;
    }
    const int64_t needed = int64_t{lineHeight} * static_cast<int64_t>(layout.Lines.size());
    layout.Grow = static_cast<int>(std::clamp<int64_t>(needed - labelHeight, 0, std::max(maxGrow, 0)));
    return layout;
}

}  // namespace Dialogs
