// Settings forms: a window of pages with combo boxes, track bars, check boxes, buttons, labels,
// pictures and a text box, which the engine lays out and keeps the values of, and which a backend
// shows modally (FLTK windows in the program, an answerer in tests and headless runs).
//
// The engine owns the form record. The backend shows what the record holds and reports each thing
// the user does (a value changed, a button clicked, another page chosen, the timer) after it has
// stored the new value in the record; the engine reacts by changing the record, and the backend
// shows those changes before the next report. A form ends only when the engine sets Closed.
//
// Coordinates are client pixels: of the form for the form's own controls, of the inside of the
// page control (below its tabs) for a page's controls, of the parent for a control in a group.
// Texts are Shift-JIS; a backend that hands them to a toolkit converts them at its boundary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class IDialogOwner;

enum class TFormControlKind : uint8_t {
    Label,
    ComboBox,  // a drop-down list: Value is the item index, -1 while no item is shown
    TrackBar,  // a horizontal bar with a tick per step: Value in Min..Max
    CheckBox,  // Value 0 or 1
    Button,
    Image,      // Pixels, Width x Height, drawn opaque
    Memo,       // read-only text of several lines (Text), scrolled by the user
    GroupBox,   // a frame with a caption; other controls may lie in it
    ScrollBar,  // a vertical bar: Value in Min..Max
    ClipArea,   // an unframed area that shows only the parts of its controls that lie inside it
    // A list of lines (Items), one of them selected at most: Value is its index, -1 for none. A
    // press on a line selects it and a press below the lines drops the selection (both reported
    // as a change); a double click on a line is reported as a click of the list.
    ListBox,
};

struct TFormControl {
    TFormControlKind Kind = TFormControlKind::Label;
    std::string Name;     // what the engine, tests and answers call it: "ComboBox3"
    int32_t Page = -1;    // the page it lies on, or -1 for the form itself
    int32_t Parent = -1;  // the group box or clip area it lies in, or -1
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    std::string Caption;  // label, button, check box and group texts
    std::vector<std::string> Items;
    // Per item, the installed family (UTF-8) the item is written in; empty: the form's own face.
    std::vector<std::string> ItemFaces;
    int32_t Min = 0, Max = 0;
    int32_t Value = 0;
    bool Visible = true;
    bool Enabled = true;
    uint32_t TextColor = 0;  // 0x00RRGGBB of the caption
    std::string Text;        // the memo's lines, CR LF between them
    std::vector<uint32_t> Pixels;
    // Raised whenever Items, ItemFaces, Text or Pixels change, so that a backend copies those only
    // when they did.
    uint32_t Revision = 0;
};

struct TFormPage {
    std::string Caption;
    bool Visible = true;  // a hidden page has no tab
};

struct TConfigForm {
    std::string Caption;
    int32_t ClientWidth = 0, ClientHeight = 0;
    // The page control, tabs included.
    int32_t PagesLeft = 0, PagesTop = 0, PagesWidth = 0, PagesHeight = 0;
    std::vector<TFormPage> Pages;
    int32_t ActivePage = 0;
    std::vector<TFormControl> Controls;
    // The timer's period in ms while the form is open; 0 stops it. The engine may change it.
    int32_t TimerInterval = 0;
    // The button the window's close box and Escape stand for, and the button that has the focus
    // when the form opens; -1 for none.
    int32_t CloseButton = -1;
    int32_t DefaultButton = -1;
    // The form is centred over its owner, or on the screen without one.
    const IDialogOwner* Owner = nullptr;
    bool Closed = false;

    // Appends a control; its index.
    int32_t Add(TFormControl control);
    // Appends a control of a kind at a place with a caption, on a page (-1: the form) and in a
    // parent (-1: none); its index.
    int32_t Add(TFormControlKind kind, std::string name, int32_t page, int32_t parent, int32_t left, int32_t top,
                int32_t width, int32_t height, std::string caption = {});
    // Replace a control's list, text or picture and raise its revision.
    void SetItems(int32_t index, std::vector<std::string> items, std::vector<std::string> faces = {});
    void SetText(int32_t index, std::string text);
    void SetPixels(int32_t index, std::vector<uint32_t> pixels);
    // The index of the control of that name, or -1.
    int32_t Find(std::string_view name) const;
    TFormControl& operator[](int32_t index) { return Controls[static_cast<size_t>(index)]; }
    const TFormControl& operator[](int32_t index) const { return Controls[static_cast<size_t>(index)]; }
    // Whether the user can reach the control now: it and every parent are visible and enabled,
    // and it lies on the form or on the active page, which is visible.
    bool Reachable(int32_t index) const;
};

// What the engine may ask of the backend while its form is open.
class IFormView {
public:
    virtual ~IFormView() = default;
    // Puts the text on the clipboard.
    virtual void CopyText(const std::string& text) = 0;
    // The colour dialog, starting from colour (0x00RRGGBB); false when the user cancelled it.
    virtual bool ChooseColor(uint32_t& color) = 0;
    // The owner that message forms shown meanwhile are centred over.
    virtual const IDialogOwner* Owner() = 0;
};

// The engine's side of an open form. Values are stored in the form before each call.
class IFormEvents {
public:
    virtual ~IFormEvents() = default;
    virtual void Changed(IFormView& view, int32_t control) = 0;
    virtual void Clicked(IFormView& view, int32_t control) = 0;
    virtual void PageChanged(IFormView& view) = 0;
    virtual void Timer(IFormView& view) = 0;
};

class IConfigForms {
public:
    virtual ~IConfigForms() = default;
    // Shows the form and returns when the engine has closed it: true, or false, with nothing
    // shown, when the form cannot be shown at all. A form may show another one from its events.
    virtual bool ShowModal(TConfigForm& form, IFormEvents& events) = 0;
};
