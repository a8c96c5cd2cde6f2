#include "foundation/uDialogForm.h"

#include "foundation/ShiftJis.h"

namespace {

// "%" cannot be the trail byte of a two-byte character, so a plain search stays on boundaries.
std::string ReplaceAll(std::string_view text, std::string_view pattern, std::string_view by) {
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(pattern); at != std::string_view::npos; at = text.find(pattern, from)) {
        out.append(text.substr(from, at - from));
        out.append(by);
        from = at + pattern.size();
    }
    out.append(text.substr(from));
    return out;
}

}  // namespace

std::string TDialogForm::SetCaption(std::string_view text) const {
    return ReplaceAll(text, "%%%app", Host.TitleText());
}

void TDialogForm::ApplyCaption(std::string_view caption) {
    Caption = SetCaption(caption.empty() ? std::string_view("%%%app") : caption);
}

void TDialogForm::SetText(std::string_view text) {
    Text = ReplaceAll(text, "%%%n", "\r\n");
}

std::string TDialogForm::HotKeyOf(std::string_view caption) {
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '(') return i + 1 < caption.size() ? std::string(1, caption[i + 1]) : std::string();
        if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(caption[i]))) ++i;
    }
    return std::string();
}

void TDialogForm::SetButton(size_t index, std::string_view text, std::string_view defaultCaption) {
    Buttons[index].Caption = std::string(text.empty() ? defaultCaption : text);
}

void TDialogForm::FormShow() {
    for (TButton& b : Buttons)
        b.HotKey = HotKeyOf(b.Caption);
}

void TDialogForm::ShowModal() {
    FormShow();
    TDialogRequest request;
    request.ClientWidth = 420;
    request.ClientHeight = 100;
    request.FormFontHeight = 12;
    request.Caption = Caption;
    request.Text = Text;
    request.TextLeft = 8;
    request.TextTop = 8;
    request.TextWidth = 409;
    request.TextHeight = 49;
    request.TextFontHeight = 13;
    request.LineY = 64;
    for (const TButton& b : Buttons)
        request.Buttons.push_back({b.Left, b.Top, b.Width, 25, b.Caption, b.HotKey});
    request.HotKeyOrder = HotKeyOrder();
    // Escape cancels: it answers as the last button does ("OK", "No" with 0, "Cancel" with -1).
    request.CancelButton = static_cast<int>(Buttons.size()) - 1;
    request.Owner = Owner;
    int pressed = Dialogs::ShowModal(Host.Dialogs, request);
    if (pressed >= 0 && pressed < static_cast<int>(Buttons.size())) ButtonClick(pressed);
}
