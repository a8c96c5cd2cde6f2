#include "platform/headless/HeadlessScriptForms.h"

#include "platform/Encoding.h"

namespace {

// A form goes into the log when it has ended, so that a form opened while another is open (from
// the while-open hook) cannot move the entry being filled.
struct TRecord {
    explicit TRecord(std::vector<THeadlessScriptForms::TShown>& to) : To(to) {}
    ~TRecord() { To.push_back(std::move(Item)); }
    std::vector<THeadlessScriptForms::TShown>& To;
    THeadlessScriptForms::TShown Item;
};

}  // namespace

THeadlessScriptForms::TAnswer THeadlessScriptForms::Next(bool closeBox) {
    if (WhileOpen) WhileOpen();
    if (Answers.empty()) {
        TAnswer end;
        end.Press = closeBox ? TPress::Close : TPress::Cancel;
        return end;
    }
    TAnswer a = std::move(Answers.front());
    Answers.pop_front();
    return a;
}

void THeadlessScriptForms::Type(const TAnswer& answer, std::string& box, TShown& shown) {
    if (!answer.Text) return;
    if (ScriptForms::TypedTextFits(*answer.Text))
        box = *answer.Text;
    else
        shown.Messages.push_back(TTextInputDlg::ForbiddenMessage());
}

bool THeadlessScriptForms::TextInputDlg(const TTextInputDlgRequest& request, std::string& text) {
    TRecord record(Shown);
    TShown& shown = record.Item;
    shown.Kind = "text";
    shown.Caption = request.Title;
    shown.Texts = {request.Prompt, TTextInputDlg::HintText(request.MaxLength), request.Text};
    std::string box = ScriptForms::ToolkitText(request.Text);
    for (;;) {
        const TAnswer a = Next(false);  // no close box: only the two buttons end the form
        Type(a, box, shown);
        if (a.Press == TPress::Ok) {
            std::string sjis;
            const std::string message = TTextInputDlg::Check(box, request.MaxLength, sjis);
            if (!message.empty()) {
                shown.Messages.push_back(message);
                continue;
            }
            text = sjis;
            shown.Result = "ok";
            return true;
        }
        if (a.Press == TPress::Cancel) {
            text = Encoding::Utf8ToSjis(box);
            shown.Result = "cancel";
            return false;
        }
    }
}

bool THeadlessScriptForms::LineInput(const TLineInputRequest& request, std::string& text) {
    TRecord record(Shown);
    TShown& shown = record.Item;
    shown.Kind = "line";
    shown.Caption = request.Caption;
    shown.Texts = {request.GroupCaption, request.Text};
    if (!request.OneButton) shown.Texts.push_back(request.FirstButton);
    shown.Texts.push_back(request.SecondButton);
    std::string box = ScriptForms::ToolkitText(request.Text);
    for (;;) {
        const TAnswer a = Next(true);
        Type(a, box, shown);
        if (a.Press == TPress::None || a.Press == TPress::Copy) continue;
        text = Encoding::Utf8ToSjis(box);
        // The sole button of a one-button form is the second one, which does not confirm.
        const bool confirmed = a.Press == TPress::Ok && !request.OneButton;
        shown.Result = confirmed ? "ok" : a.Press == TPress::Close ? "close" : "cancel";
        return confirmed;
    }
}

TMemoResult THeadlessScriptForms::Memo(const TMemoRequest& request, std::string& text) {
    TRecord record(Shown);
    TShown& shown = record.Item;
    shown.Kind = "memo";
    shown.Caption = request.Caption;
    shown.Texts = {request.GroupCaption, request.CopyButton, request.OkButton, request.CancelButton, request.Text};
    shown.Width = request.ClientWidth;
    shown.Height = request.ClientHeight;
    std::string box = ScriptForms::ToolkitText(request.Text);
    for (;;) {
        TAnswer a = Next(true);
        if (request.AllowEdit) Type(a, box, shown);
        // A button without a caption is not on the form.
        const bool shownOk = !request.OkButton.empty(), shownCancel = !request.CancelButton.empty();
        if (a.Press == TPress::Copy && !request.CopyButton.empty()) Clipboard = ScriptForms::EngineLines(box);
        TMemoResult result;
        if (a.Press == TPress::Ok && shownOk)
            result = mrOk;
        else if (a.Press == TPress::Cancel && shownCancel)
            result = mrCancel;
        else if (a.Press == TPress::Close)
            result = mrClosed;
        else
            continue;
        text = ScriptForms::EngineLines(box);
        shown.Result = result == mrOk ? "ok" : result == mrCancel ? "cancel" : "close";
        return result;
    }
}

TFontFormResult THeadlessScriptForms::FontSettings(const TFontFormRequest& request, IFontFormModel& model) {
    TRecord record(Shown);
    TShown& shown = record.Item;
    shown.Kind = "font";
    shown.Caption = request.Caption;
    shown.Texts = {request.ConfirmButton, request.CancelButton};
    shown.Faces = model.FaceNames();
    for (;;) {
        const TAnswer a = Next(true);
        // Each control the player touches is one change of the form.
        const auto change = [&](const std::optional<int32_t>& value, int32_t TFontFormState::*field) {
            if (!value) return;
            TFontFormState controls = model.State();
            controls.*field = *value;
            model.ControlsChanged(controls);
        };
        change(a.Face, &TFontFormState::FaceIndex);
        change(a.Quality, &TFontFormState::Quality);
        change(a.Style, &TFontFormState::Style);
        if (a.Color) model.StyleColorChosen(*a.Color);
        switch (a.Press) {
            case TPress::Ok:
                shown.Result = "ok";
                return ffConfirm;
            case TPress::Cancel:
                model.Cancel();
                shown.Result = "cancel";
                return ffCancel;
            case TPress::Close:
                shown.Result = "close";
                return ffClosed;
            default:
                break;
        }
    }
}

bool THeadlessScriptForms::FileDialog(const TFileDialogRequest& request, std::string& fileName) {
    TRecord record(Shown);
    TShown& shown = record.Item;
    shown.Kind = request.Save ? "save" : "open";
    shown.Caption = request.Title;
    shown.Texts = {request.FileName, request.InitialFolder};
    shown.Filters = ScriptForms::ParseFilter(request.Filter);
    shown.DefaultExtension = request.DefaultExtension;
    for (;;) {
        const TAnswer a = Next(false);
        if (a.Press == TPress::None) continue;
        if (a.Press != TPress::Ok || !a.FileName) {
            shown.Result = "cancel";
            return false;
        }
        const std::string chosen = ScriptForms::WithDefaultExtension(*a.FileName, request.DefaultExtension);
        if (!request.Files) {
            shown.Result = "cancel";
            return false;
        }
        const std::string refusal = ScriptForms::FileRefusal(*request.Files, request.Save, chosen);
        if (!refusal.empty()) {
            shown.Messages.push_back(refusal);
            continue;
        }
        fileName = chosen;
        shown.Result = "ok";
        return true;
    }
}

bool THeadlessScriptForms::ColorDialog(const TColorDialogRequest& request, uint32_t& color) {
    TRecord record(Shown);
    TShown& shown = record.Item;
    shown.Kind = "color";
    shown.Texts = {std::to_string(request.Color)};
    for (;;) {
        const TAnswer a = Next(false);
        if (a.Press == TPress::None) continue;
        if (a.Press != TPress::Ok || !a.Color) {
            shown.Result = "cancel";
            return false;
        }
        color = *a.Color;
        shown.Result = "ok";
        return true;
    }
}
