#include "platform/headless/HeadlessDialogs.h"

int THeadlessDialogs::ShowModal(const TDialogRequest& request) {
    TShown shown;
    shown.Caption = request.Caption;
    shown.Text = request.Text;
    for (const TDialogButton& b : request.Buttons) {
        shown.Buttons.push_back(b.Caption);
        shown.HotKeys.push_back(b.HotKey);
    }
    const int count = static_cast<int>(request.Buttons.size());
    TDialogKeys keys(request);
    int pressed = -1;
    bool cancelled = false;
    // One turn of the form's loop: the hook, and the form ends when it asked to cancel.
    auto turn = [&] {
        if (!Loop) return false;
        Loop->RunWhileModalHook();
        if (!Loop->TakeCancel()) return false;
        pressed = keys.Press(DialogKey::Escape);
        cancelled = true;
        return true;
    };
    if (count > 0) {
        while (pressed < 0 && !cancelled && !Answers.empty()) {
            TAnswer answer = std::move(Answers.front());
            Answers.pop_front();
            if (turn()) break;
            if (answer.Click >= 0 && answer.Click < count) {
                pressed = answer.Click;
                break;
            }
            for (char key : answer.Keys) {
                pressed = keys.Press(key);
                if (pressed >= 0) break;
            }
        }
        if (pressed < 0 && !cancelled && !turn()) pressed = keys.Press(DialogKey::Enter);
    }
    shown.Pressed = pressed;
    Shown.push_back(std::move(shown));
    return pressed;
}
