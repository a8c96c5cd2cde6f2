#include "platform/Dialogs.h"

namespace {

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

class TNoDialogs final : public IDialogs {
public:
    int ShowModal(const TDialogRequest&) override { return -1; }
};

TNoDialogs noDialogs;
IDialogs* current = &noDialogs;

std::function<void()>& WhileModalRef() {
    static std::function<void()> hook;
    return hook;
}

std::function<void()>& AfterModalRef() {
    static std::function<void()> hook;
    return hook;
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
        default:
            return -1;
    }
}

void TDialogKeys::SetFocused(int index) {
    if (index >= 0 && index < static_cast<int>(Request.Buttons.size())) FocusIndex = index;
}

namespace Dialogs {

IDialogs& Current() {
    return *current;
}
void SetCurrent(IDialogs* dialogs) {
    current = dialogs ? dialogs : &noDialogs;
}

int ShowModal(const TDialogRequest& request) {
    int pressed = current->ShowModal(request);
    if (AfterModalRef()) AfterModalRef()();
    return pressed;
}

void SetWhileModalHook(std::function<void()> hook) {
    WhileModalRef() = std::move(hook);
}
void SetAfterModalHook(std::function<void()> hook) {
    AfterModalRef() = std::move(hook);
}

void RunWhileModalHook() {
    if (WhileModalRef()) WhileModalRef()();
}

}  // namespace Dialogs
