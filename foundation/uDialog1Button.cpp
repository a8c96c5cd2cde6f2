#include "foundation/uDialog1Button.h"

#include "platform/Encoding.h"

TDialog1Button::TDialog1Button(const TDialogHost& host, const IDialogOwner* owner) : TDialogForm(host, owner) {
    Buttons = {{312, 72, 97, "ＯＫ"_sj, ""}};
}

void TDialog1Button::SetButtonCaption(std::string_view text) {
    SetButton(0, text, "OK");
}
