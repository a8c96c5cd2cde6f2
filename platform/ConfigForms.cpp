#include "platform/ConfigForms.h"

int32_t TConfigForm::Add(TFormControl control) {
    Controls.push_back(std::move(control));
    return static_cast<int32_t>(Controls.size()) - 1;
}

int32_t TConfigForm::Add(TFormControlKind kind, std::string name, int32_t page, int32_t parent, int32_t left,
                         int32_t top, int32_t width, int32_t height, std::string caption) {
    TFormControl c;
    c.Kind = kind;
    c.Name = std::move(name);
    c.Page = page;
    c.Parent = parent;
    c.Left = left, c.Top = top, c.Width = width, c.Height = height;
    c.Caption = std::move(caption);
    return Add(std::move(c));
}

void TConfigForm::SetItems(int32_t index, std::vector<std::string> items, std::vector<std::string> faces) {
    TFormControl& c = (*this)[index];
    c.Items = std::move(items);
    c.ItemFaces = std::move(faces);
    ++c.Revision;
}

void TConfigForm::SetText(int32_t index, std::string text) {
    TFormControl& c = (*this)[index];
    c.Text = std::move(text);
    ++c.Revision;
}

void TConfigForm::SetPixels(int32_t index, std::vector<uint32_t> pixels) {
    TFormControl& c = (*this)[index];
    c.Pixels = std::move(pixels);
    ++c.Revision;
}

int32_t TConfigForm::Find(std::string_view name) const {
    for (size_t i = 0; i < Controls.size(); ++i)
        if (Controls[i].Name == name) return static_cast<int32_t>(i);
    return -1;
}

bool TConfigForm::Reachable(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(Controls.size())) return false;
    int32_t page = -1;
    // A parent chain is at most as long as the list; a longer one loops and reaches nothing.
    for (size_t steps = 0; index >= 0 && steps <= Controls.size(); ++steps) {
        const TFormControl& c = Controls[static_cast<size_t>(index)];
        if (!c.Visible || !c.Enabled) return false;
        page = c.Page;
        index = c.Parent;
        if (index >= static_cast<int32_t>(Controls.size())) return false;
    }
    if (index >= 0) return false;
    if (page < 0) return true;
    return page == ActivePage && page < static_cast<int32_t>(Pages.size()) && Pages[static_cast<size_t>(page)].Visible;
}
