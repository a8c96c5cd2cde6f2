#include "foundation/uDialog3Button.h"

TDialog3Button::TDialog3Button(const TDialogHost& host, const IDialogOwner* owner) : TDialogForm(host, owner) {
    Buttons = {{176, 72, 113, "Yes", ""}, {296, 72, 113, "No", ""}, {8, 71, 113, "Cancel", ""}};
    FormCreate();
}

void TDialog3Button::SetButton1Caption(std::string_view text) {
    SetButton(0, text, "Yes");
}
void TDialog3Button::SetButton2Caption(std::string_view text) {
    SetButton(1, text, "No");
}
void TDialog3Button::SetButton3Caption(std::string_view text) {
    SetButton(2, text, "Cancel");
}
