#include "foundation/uDialog2Button.h"

TDialog2Button::TDialog2Button(const TDialogHost& host, const IDialogOwner* owner) : TDialogForm(host, owner) {
    Buttons = {{176, 72, 113, "Yes", ""}, {296, 72, 113, "No", ""}};
    FormCreate();
}

void TDialog2Button::SetButton1Caption(std::string_view text) {
    SetButton(0, text, "Yes");
}
void TDialog2Button::SetButton2Caption(std::string_view text) {
    SetButton(1, text, "No");
}
