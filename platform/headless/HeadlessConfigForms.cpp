#include "platform/headless/HeadlessConfigForms.h"

#include "platform/Dialogs.h"

namespace {

class THeadlessView final : public IFormView {
public:
    THeadlessView(THeadlessConfigForms& forms, size_t shown) : Forms(forms), ShownIndex(shown) {}
    void CopyText(const std::string& text) override { Forms.Shown[ShownIndex].Copied.push_back(text); }
    bool ChooseColor(uint32_t& color) override {
        if (Forms.Colors.empty()) return false;
        std::optional<uint32_t> answer = Forms.Colors.front();
        Forms.Colors.pop_front();
        if (!answer) return false;
        color = *answer & 0xFFFFFF;
        return true;
    }
    const IDialogOwner* Owner() override { return nullptr; }

private:
    THeadlessConfigForms& Forms;
    size_t ShownIndex;  // Shown grows while nested forms open: no references into it are kept
};

bool ValueFits(const TFormControl& c, int32_t value) {
    switch (c.Kind) {
        case TFormControlKind::ComboBox:
            return value >= 0 && value < static_cast<int32_t>(c.Items.size());
        case TFormControlKind::TrackBar:
        case TFormControlKind::ScrollBar:
            return value >= c.Min && value <= c.Max;
        case TFormControlKind::CheckBox:
            return value == 0 || value == 1;
        case TFormControlKind::ListBox:
            return value >= -1 && value < static_cast<int32_t>(c.Items.size());
        default:
            return false;
    }
}

}  // namespace

bool THeadlessConfigForms::ShowModal(TConfigForm& form, IFormEvents& events) {
    const size_t index = Shown.size();
    Shown.emplace_back();
    Shown[index].Caption = form.Caption;
    for (const TFormPage& p : form.Pages)
        if (p.Visible) Shown[index].Pages.push_back(p.Caption);
    Shown[index].PagesShown.push_back(form.ActivePage);
    THeadlessView view(*this, index);
    auto refuse = [&](const std::string& what) { Shown[index].Refused.push_back(what); };
    auto click = [&](int32_t control) {
        if (!form.Reachable(control)) return false;
        const TFormControlKind kind = form[control].Kind;
        if (kind != TFormControlKind::Button && (kind != TFormControlKind::ListBox || form[control].Value < 0))
            return false;
        events.Clicked(view, control);
        if (form.Closed && Shown[index].ClosedBy.empty()) Shown[index].ClosedBy = form[control].Name;
        return true;
    };
    auto tick = [&](int32_t periods) {
        for (int32_t i = 0; i < periods && !form.Closed && form.TimerInterval > 0; ++i) {
            if (Loop) Loop->RunWhileModalHook();
            events.Timer(view);
        }
    };

    while (!form.Closed && !Actions.empty()) {
        TAction a = std::move(Actions.front());
        Actions.pop_front();
        if (Loop) Loop->RunWhileModalHook();
        const int32_t control = form.Find(a.Control);
        switch (a.Kind) {
            case TAction::Set:
                if (!form.Reachable(control) || !ValueFits(form[control], a.Value)) {
                    refuse("set " + a.Control + " " + std::to_string(a.Value));
                } else if (form[control].Value != a.Value) {
                    form[control].Value = a.Value;
                    events.Changed(view, control);
                }
                break;
            case TAction::Click:
                if (!click(control)) refuse("click " + a.Control);
                break;
            case TAction::Page:
                if (a.Value < 0 || a.Value >= static_cast<int32_t>(form.Pages.size()) ||
                    !form.Pages[static_cast<size_t>(a.Value)].Visible) {
                    refuse("page " + std::to_string(a.Value));
                } else if (form.ActivePage != a.Value) {
                    form.ActivePage = a.Value;
                    Shown[index].PagesShown.push_back(a.Value);
                    events.PageChanged(view);
                }
                break;
            case TAction::Tick:
                tick(a.Value);
                continue;
        }
        tick(1);
    }
    if (!form.Closed) click(form.DefaultButton);
    if (!form.Closed) click(form.CloseButton);
    form.Closed = true;
    return true;
}
