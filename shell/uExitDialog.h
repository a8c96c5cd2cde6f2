// The three-button dialog that asks whether closing the window ends the game: exit, back to the
// title, or cancel. It is its own form (not the script's three-button message form): its buttons
// stand in another order, the cancel button has the focus, and closing it by its title bar's close
// box, or with Escape, cancels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Dialogs.h"

class TExitDialog {
public:
    // Shown through the host's backend over owner, under the host's title.
    TExitDialog(const TDialogHost& host, const IDialogOwner* owner) : Host(host), Owner(owner) {}

    // Every "%%%app" becomes the title and every "%%%n" LF CR, in any case.
    static std::string ExpandPlaceholders(std::string_view text, std::string_view title);
    std::string ExpandPlaceholders(std::string_view text) const { return ExpandPlaceholders(text, Host.TitleText()); }
    // The character after the first "(" of a caption, whatever it is (a two-byte character gives
    // its first byte: a key is one byte); empty when the caption has no "(".
    static std::string AcceleratorOf(std::string_view caption);

    void SetCaption(std::string_view text) { Caption = ExpandPlaceholders(text); }
    void SetText(std::string_view text) { Label1 = ExpandPlaceholders(text); }
    void SetExitCaption(std::string_view text) { Button3 = ExpandPlaceholders(text); }
    void SetTitleCaption(std::string_view text) { Button1 = ExpandPlaceholders(text); }
    void SetCancelCaption(std::string_view text) { Button2 = ExpandPlaceholders(text); }

    // Shows the form modally through the platform's forms and leaves the answer in Result.
    void ShowModal();
    // Takes the accelerators from the captions. The platform's forms then compare a typed
    // character, without regard to case, with the cancel, the exit and the back-to-title
    // accelerator in that order, and a match presses that button; the cancel button has the focus
    // as the form opens.
    void FormShow();
    void Button1Click() { Result = 0; }
    void Button2Click() { Result = -1; }
    void Button3Click() { Result = 1; }

    // Shift-JIS texts, expanded.
    std::string Caption, Label1, Button1, Button2, Button3;
    int32_t Result = -1;
    std::string CancelKey, ExitKey, TitleKey;
    TDialogHost Host;
    const IDialogOwner* Owner;
};

namespace uExitDialog {

// Asks with the exit dialog and answers 1 (exit), 0 (back to title) or -1 (cancel, or the form
// closed). An empty text answers 1 at once and shows nothing. An empty caption shows the
// application's title; empty button captions show "Yes", "No" and "Cancel".
int32_t ShowExitDialog(std::string_view caption, std::string_view text, std::string_view exitCaption,
                       std::string_view titleCaption, std::string_view cancelCaption, const TDialogHost& host,
                       const IDialogOwner* owner);

}  // namespace uExitDialog
