#include "foundation/uDialogMisc.h"

#include "foundation/uDialog1Button.h"
#include "foundation/uDialog2Button.h"
#include "foundation/uDialog3Button.h"

namespace uDialogMisc {

void ShowDialog1(const TDialogHost& host, std::string_view caption, std::string_view text,
                 std::string_view buttonCaption, const IDialogOwner* owner) {
    if (text.empty()) return;
    TDialog1Button form(host, owner);
    form.ApplyCaption(caption);
    form.SetText(text);
    form.SetButtonCaption(buttonCaption);
    form.ShowModal();
}

int32_t ShowDialog2(const TDialogHost& host, std::string_view caption, std::string_view text, std::string_view button1,
                    std::string_view button2, const IDialogOwner* owner) {
    if (text.empty()) return 1;
    TDialog2Button form(host, owner);
    form.ApplyCaption(caption);
    form.SetText(text);
    form.SetButton1Caption(button1);
    form.SetButton2Caption(button2);
    form.ShowModal();
    return form.Result;
}

int32_t ShowDialog3(const TDialogHost& host, std::string_view caption, std::string_view text, std::string_view button1,
                    std::string_view button2, std::string_view button3, const IDialogOwner* owner) {
    if (text.empty()) return 1;
    TDialog3Button form(host, owner);
    form.ApplyCaption(caption);
    form.SetText(text);
    form.SetButton1Caption(button1);
    form.SetButton2Caption(button2);
    form.SetButton3Caption(button3);
    form.ShowModal();
    return form.Result;
}

}  // namespace uDialogMisc
