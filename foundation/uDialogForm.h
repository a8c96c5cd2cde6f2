// What the one-, two- and three-button message forms share: their layout, the caption and text
// setters, hot keys, and showing the form through the platform's dialog backend.
//
// Layout (client pixels): a 420 x 100 client area; the text label at (8, 8), 409 x 49, 13 pixels
// high, centred vertically; a horizontal line at y = 64; buttons 25 pixels high at y = 72 in a
// 12-pixel font. A text that does not fit the label is wrapped and the form grows downwards to show
// it whole (the platform's form rules). Escape answers as the last button does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Dialogs.h"

class TDialogForm {
public:
    // Shown through the host's backend over owner.
    TDialogForm(const TDialogHost& host, const IDialogOwner* owner) : Host(host), Owner(owner) {}
    virtual ~TDialogForm() = default;
    TDialogForm(const TDialogForm&) = delete;
    TDialogForm& operator=(const TDialogForm&) = delete;

    // The text with every "%%%app" replaced by the application's title.
    std::string SetCaption(std::string_view text) const;
    // The form's caption: the expanded caption, or the application's title when it is empty.
    void ApplyCaption(std::string_view caption);
    // The label's text, with every "%%%n" replaced by CR LF.
    void SetText(std::string_view text);
    // The single byte after the first "(" of the caption, found on character boundaries; empty
    // when there is none.
    static std::string HotKeyOf(std::string_view caption);

    // FormShow, then the form runs modally until a button ends it; that button's click handler
    // runs. A form that could not be shown ends with no click.
    void ShowModal();
    // Takes each button's hot key from its current caption.
    void FormShow();

    std::string Caption;  // the form's caption (Shift-JIS)
    std::string Text;     // the label's caption (Shift-JIS, lines separated by CR LF)
    TDialogHost Host;
    const IDialogOwner* Owner;

protected:
    struct TButton {
        int Left, Top, Width;
        std::string Caption;
        std::string HotKey;
    };
    // Sets a button's caption, or its default when the text is empty.
    void SetButton(size_t index, std::string_view text, std::string_view defaultCaption);
    // Button indices in the order a typed key is compared with their hot keys.
    virtual std::vector<int> HotKeyOrder() const = 0;
    virtual void ButtonClick(int index) = 0;

public:
    std::vector<TButton> Buttons;  // in tab order
};
