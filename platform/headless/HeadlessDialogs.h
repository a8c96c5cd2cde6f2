// Forms without a screen: answers come from a queue that a test or the headless runner fills, and
// every form shown is recorded. The keys go through the same focus and hot-key rules as on screen.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

class THeadlessDialogs final : public IDialogs {
public:
    // One answer: either keys typed in order ("y", "\t\r"; see DialogKey) or a click on a button.
    struct TAnswer {
        std::string Keys;
        int Click = -1;
    };
    // A form as it was shown (texts Shift-JIS, as the engine gave them) and the button that ended it.
    struct TShown {
        std::string Caption;
        std::string Text;
        std::vector<std::string> Buttons;
        std::vector<std::string> HotKeys;
        int Pressed = -1;
    };

    // Forms run in the loop given, if any.
    explicit THeadlessDialogs(TModalLoop* loop = nullptr) : Loop(loop) {}

    void TypeKeys(std::string keys) { Answers.push_back({std::move(keys), -1}); }
    void Click(int button) { Answers.push_back({std::string(), button}); }

    // Answers are used in order; a form stays open across answers until one of them presses a
    // button (keys that press none, Tab for instance, leave it open for the next answer). With no
    // answer left, Enter presses the focused button. Each answer used runs the while-modal hook
    // once, as a real form's loop would; a cancel asked for there ends the form as Escape does.
    int ShowModal(const TDialogRequest& request) override;
    TModalLoop* ModalLoop() const override { return Loop; }

    std::deque<TAnswer> Answers;
    std::vector<TShown> Shown;

private:
    TModalLoop* Loop;
};
