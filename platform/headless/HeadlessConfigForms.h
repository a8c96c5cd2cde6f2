// Settings forms without a screen: the user's actions come from a queue that a test or a headless
// run fills, and every form shown is recorded with what happened on it. An action the user could
// not take on screen (a control that is hidden, disabled or on another page, a value outside a
// list or a bar) is refused and recorded instead of being carried out.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ConfigForms.h"

class TModalLoop;  // platform/Dialogs.h

class THeadlessConfigForms final : public IConfigForms {
public:
    // Forms run in the loop given, if any: its while-modal hook runs before each action and timer
    // period.
    explicit THeadlessConfigForms(TModalLoop* loop = nullptr) : Loop(loop) {}

    struct TAction {
        enum TKind : uint8_t { Set, Click, Page, Tick };
        TKind Kind = Click;
        std::string Control;  // Set and Click
        int32_t Value = 0;    // Set: the new value; Page: the page; Tick: how many timer periods
    };
    // A form as it was shown and what happened on it.
    struct TShown {
        std::string Caption;
        std::vector<std::string> Pages;    // the captions of the visible pages when it opened
        std::vector<int32_t> PagesShown;   // the active page when it opened, then each page chosen
        std::vector<std::string> Copied;   // texts put on the clipboard
        std::vector<std::string> Refused;  // actions that could not be taken, described
        std::string ClosedBy;              // the control whose click closed it
    };

    // Set on a list box selects a line (-1: a press below the lines); Click on it is a double
    // click on the selected line.
    void Set(std::string control, int32_t value) { Actions.push_back({TAction::Set, std::move(control), value}); }
    void Click(std::string control) { Actions.push_back({TAction::Click, std::move(control), 0}); }
    void ShowPage(int32_t page) { Actions.push_back({TAction::Page, std::string(), page}); }
    void Tick(int32_t periods = 1) { Actions.push_back({TAction::Tick, std::string(), periods}); }

    // Actions are taken in order, by whichever form is open (a form opened from another takes the
    // next ones). After each action that is not a tick, a form with a timer gets one period of it,
    // as time passes between a user's actions. With no action left, the form's default button is
    // clicked, then its close button; a form that stays open after both is closed as it is.
    bool ShowModal(TConfigForm& form, IFormEvents& events) override;

    std::deque<TAction> Actions;
    // The colour dialog's answers in order; none (or an empty queue) cancels it.
    std::deque<std::optional<uint32_t>> Colors;
    std::vector<TShown> Shown;

private:
    TModalLoop* Loop;
};
