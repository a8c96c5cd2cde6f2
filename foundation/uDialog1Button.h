// The one-button message form: the text and an OK button.
#pragma once

#include "foundation/uDialogForm.h"

class TDialog1Button final : public TDialogForm {
public:
    TDialog1Button(const TDialogHost& host, const IDialogOwner* owner);
    // The button's caption, or "OK" when the text is empty.
    void SetButtonCaption(std::string_view text);
    void Button1Click() {}  // only closes the form

protected:
    std::vector<int> HotKeyOrder() const override { return {0}; }
    void ButtonClick(int) override { Button1Click(); }
};
