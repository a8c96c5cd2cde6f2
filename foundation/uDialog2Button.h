// The two-button message form: Button1 answers 1, Button2 answers 0.
#pragma once

#include <cstdint>

#include "foundation/uDialogForm.h"

class TDialog2Button final : public TDialogForm {
public:
    TDialog2Button(const TDialogHost& host, const IDialogOwner* owner);
    // A button's caption, or its default ("Yes", "No") when the text is empty.
    void SetButton1Caption(std::string_view text);
    void SetButton2Caption(std::string_view text);
    void FormCreate() { Result = 0; }
    void Button1Click() { Result = 1; }
    void Button2Click() { Result = 0; }

    int32_t Result = 0;

protected:
    std::vector<int> HotKeyOrder() const override { return {1, 0}; }
    void ButtonClick(int index) override { index == 0 ? Button1Click() : Button2Click(); }
};
