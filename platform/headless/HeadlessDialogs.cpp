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
    if (count > 0) {
        while (pressed < 0 && !Answers.empty()) {
            TAnswer answer = std::move(Answers.front());
            Answers.pop_front();
            Dialogs::RunWhileModalHook();
            if (answer.Click >= 0 && answer.Click < count) {
                pressed = answer.Click;
                break;
            }
            for (char key : answer.Keys) {
                pressed = keys.Press(key);
                if (pressed >= 0) break;
            }
        }
        if (pressed < 0) {
            Dialogs::RunWhileModalHook();
            pressed = keys.Press(DialogKey::Enter);
        }
    }
    shown.Pressed = pressed;
    Shown.push_back(std::move(shown));
    return pressed;
}
