#include "shell/uExitDialog.h"

#include "foundation/ShiftJis.h"
#include "platform/Dialogs.h"

namespace {

// The form's layout in client pixels; the buttons in tab order: cancel, back to title, exit.
constexpr int kClientWidth = 425, kClientHeight = 98;
constexpr int kButtonTop = 72, kButtonWidth = 113, kButtonHeight = 25;
constexpr int kCancelLeft = 304, kTitleLeft = 8, kExitLeft = 184;
enum { kCancel, kTitle, kExit };

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text holds pattern at a place, ASCII letters compared without regard to case.
bool MatchesAt(std::string_view text, size_t at, std::string_view pattern) {
    if (text.size() - at < pattern.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (LowerAscii(text[at + i]) != pattern[i]) return false;
    return true;
}

}  // namespace

std::string TExitDialog::ExpandPlaceholders(std::string_view text, std::string_view title) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        // "%" is no trail byte of a two-byte character, so the markers are only ever found whole;
        // the bytes between them are copied a character at a time.
        if (MatchesAt(text, i, "%%%app")) {
            out += title;
            i += 6;
        } else if (MatchesAt(text, i, "%%%n")) {
            out += "\n\r";
            i += 4;
        } else {
            const size_t n = uMisc::IsSJISLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string TExitDialog::AcceleratorOf(std::string_view caption) {
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '(') return i + 1 < caption.size() ? std::string(1, caption[i + 1]) : std::string();
        if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(caption[i]))) ++i;
    }
    return std::string();
}

void TExitDialog::FormShow() {
    CancelKey = AcceleratorOf(Button2);
    ExitKey = AcceleratorOf(Button3);
    TitleKey = AcceleratorOf(Button1);
}

void TExitDialog::ShowModal() {
    FormShow();
    TDialogRequest request;
    request.ClientWidth = kClientWidth;
    request.ClientHeight = kClientHeight;
    request.FormFontHeight = 12;
    request.Caption = Caption;
    // The label breaks its lines at LF CR as it would at CR LF: one break each.
    std::string text;
    for (size_t i = 0; i < Label1.size(); ++i) {
        if (Label1[i] == '\n' && i + 1 < Label1.size() && Label1[i + 1] == '\r') {
            text += "\r\n";
            ++i;
        } else {
            text += Label1[i];
        }
    }
    request.Text = text;
    request.TextLeft = 8;
    request.TextTop = 0;
    request.TextWidth = 409;
    request.TextHeight = 65;
    request.TextFontHeight = 13;
    request.LineY = 64;
    request.Buttons = {{kCancelLeft, kButtonTop, kButtonWidth, kButtonHeight, Button2, CancelKey},
                       {kTitleLeft, kButtonTop, kButtonWidth, kButtonHeight, Button1, TitleKey},
                       {kExitLeft, kButtonTop, kButtonWidth, kButtonHeight, Button3, ExitKey}};
    request.HotKeyOrder = {kCancel, kExit, kTitle};
    request.CancelButton = kCancel;
    request.CloseBox = true;
    request.Owner = Owner;
    switch (Dialogs::ShowModal(Host.Dialogs, request)) {
        case kTitle:
            Button1Click();
            break;
        case kExit:
            Button3Click();
            break;
        default:
            Button2Click();
            break;
    }
}

namespace uExitDialog {

int32_t ShowExitDialog(std::string_view caption, std::string_view text, std::string_view exitCaption,
                       std::string_view titleCaption, std::string_view cancelCaption, const TDialogHost& host,
                       const IDialogOwner* owner) {
    if (text.empty()) return 1;
    TExitDialog form(host, owner);
    form.SetCaption(caption.empty() ? std::string_view("%%%app") : caption);
    form.SetText(text);
    form.SetExitCaption(exitCaption.empty() ? std::string_view("Yes") : exitCaption);
    form.SetTitleCaption(titleCaption.empty() ? std::string_view("No") : titleCaption);
    form.SetCancelCaption(cancelCaption.empty() ? std::string_view("Cancel") : cancelCaption);
    form.ShowModal();
    return form.Result;
}

}  // namespace uExitDialog
