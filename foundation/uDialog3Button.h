// The three-button message form: Button1 answers 1, Button2 0 and Button3, which stands at the
// left, -1.
#pragma once

#include <cstdint>

#include "foundation/uDialogForm.h"

class TDialog3Button final : public TDialogForm {
public:
    TDialog3Button(const TDialogHost& host, const IDialogOwner* owner);
    // A button's caption, or its default ("Yes", "No", "Cancel") when the text is empty.
    void SetButton1Caption(std::string_view text);
    void SetButton2Caption(std::string_view text);
    void SetButton3Caption(std::string_view text);
    void FormCreate() { Result = 0; }
    void Button1Click() { Result = 1; }
    void Button2Click() { Result = 0; }
    void Button3Click() { Result = -1; }

    int32_t Result = 0;

protected:
    std::vector<int> HotKeyOrder() const override { return {1, 0, 2}; }
    void ButtonClick(int index) override {
        if (index == 0)
            Button1Click();
        else if (index == 1)
            Button2Click();
        else
            Button3Click();
    }
};
