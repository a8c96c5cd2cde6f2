#include "platform/fltk/FltkDialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "platform/fltk/FltkText.h"

using FltkText::ToolkitText;

namespace {

// The form's key as TDialogKeys sees it, or 0 for a key it does not know.
char KeyOfEvent(bool& shift) {
    shift = (Fl::event_state() & FL_SHIFT) != 0;
    switch (Fl::event_key()) {
        case FL_Enter:
        case FL_KP_Enter:
            return DialogKey::Enter;
        case FL_Tab:
            return DialogKey::Tab;
        case FL_Escape:
            return DialogKey::Escape;
        default:
            break;
    }
    if (Fl::event_length() <= 0) return 0;
    // Typed text is UTF-8; a key is one Shift-JIS byte (ASCII or a half-width kana).
    std::string sjis = Encoding::Utf8ToSjis(std::string(Fl::event_text(), static_cast<size_t>(Fl::event_length())));
    return sjis.size() == 1 ? sjis[0] : 0;
}

// The label: its lines as FitLabel broke them, left-aligned, centred vertically, clipped to its
// box, no symbols.
class TLabel final : public Fl_Box {
public:
    TLabel(int x, int y, int w, int h, std::string text, int size)
        : Fl_Box(x, y, w, h), Text(std::move(text)), Size(size) {}
    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_font(FL_COURIER, Size);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(Text.c_str(), x(), y(), w(), h(), FL_ALIGN_LEFT, nullptr, 0);
        fl_pop_clip();
    }

private:
    std::string Text;
    int Size;
};

// Buttons leave every key to the form, so that Space, Enter and hot keys follow one rule.
class TButton final : public Fl_Button {
public:
    using Fl_Button::Fl_Button;
    int handle(int event) override {
        if (event == FL_KEYBOARD || event == FL_SHORTCUT) return 0;
        return Fl_Button::handle(event);
    }
};

class TForm final : public Fl_Double_Window {
public:
    TForm(const TDialogRequest& request, int grow)
        : Fl_Double_Window(request.ClientWidth, request.ClientHeight + grow), Keys(request) {}

    int handle(int event) override {
        if (event != FL_KEYBOARD && event != FL_SHORTCUT) return Fl_Double_Window::handle(event);
        for (size_t i = 0; i < Buttons.size(); ++i) {
            if (Fl::focus() == Buttons[i]) Keys.SetFocused(static_cast<int>(i));
        }
        bool shift = false;
        char key = KeyOfEvent(shift);
        if (key == 0) return 1;
        int before = Keys.Focused();
        int press = Keys.Press(key, shift);
        if (press >= 0) {
            Pressed = press;
        } else if (Keys.Focused() != before) {
            Buttons[static_cast<size_t>(Keys.Focused())]->take_focus();
        }
        return 1;  // every key is the form's: FLTK's own meaning of Escape (closing) never applies
    }

    TDialogKeys Keys;
    std::vector<Fl_Button*> Buttons;  // children of the window, which deletes them
    int Pressed = -1;
};

struct TClick {
    TForm* Form;
    int Index;
};

// The label's lines in the label's face, and how much the form grows to show them.
TLabelLayout LayOutLabel(const TDialogRequest& request, int formHeight) {
    fl_font(FL_COURIER, request.TextFontHeight);
    const Dialogs::TMeasure measure = [](const std::string& utf8) {
        return static_cast<int>(fl_width(utf8.data(), static_cast<int>(utf8.size())) + 0.5);
    };
    // The form grows at most to the screen's height, less room for its title bar.
    int sx, sy, sw, sh;
    Fl::screen_work_area(sx, sy, sw, sh);
    return Dialogs::FitLabel(ToolkitText(request.Text, false), request.TextWidth, request.TextHeight, fl_height(),
                             measure, sh - formHeight - 48);
}

// Gives the form the keyboard once it is on screen. Without a window manager nothing else would;
// a manager is asked through the desktop convention, and may still keep it where it was. The
// server refuses the focus to a window not yet on screen, which may take a moment (at most a
// second is waited for: a form that never shows is left without it).
void TakeKeyboard(Fl_Window& window) {
    auto viewable = [&] {
        XWindowAttributes attributes{};
        return window.shown() && XGetWindowAttributes(fl_display, fl_xid(&window), &attributes) != 0 &&
               attributes.map_state == IsViewable;
    };
    for (int turn = 0; turn < 100 && !viewable(); ++turn)
        Fl::wait(0.01);
    if (!viewable()) return;
    XSetInputFocus(fl_display, fl_xid(&window), RevertToParent, CurrentTime);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = fl_xid(&window);
    event.xclient.message_type = XInternAtom(fl_display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // asked by an application
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(fl_display, DefaultRootWindow(fl_display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(fl_display);
}

void ButtonCallback(Fl_Widget*, void* data) {
    auto* click = static_cast<TClick*>(data);
    click->Form->Pressed = click->Index;
}

// Asks the window manager for a frame without a close box (a move-only window with border and
// title). Managers that ignore the hint still cannot close the form: its callback swallows closing.
void RemoveCloseBox(Fl_Window& window) {
    struct {
        unsigned long Flags, Functions, Decorations;
        long InputMode;
        unsigned long State;
    } hints = {1 | 2, 4 /* move */, 2 | 8 /* border, title */, 0, 0};
    Atom atom = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(fl_display, fl_xid(&window), atom, atom, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&hints), 5);
}

}  // namespace

bool TFltkDialogs::DisplayAvailable() {
    if (fl_display) return true;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    fl_open_display(display);
    return true;
}

int TFltkDialogs::ShowModal(const TDialogRequest& request) {
    if (request.Buttons.empty() || !DisplayAvailable()) return -1;
    FltkText::UseJapaneseFaces();

    const TLabelLayout label = LayOutLabel(request, request.ClientHeight);
    std::string text;
    for (size_t i = 0; i < label.Lines.size(); ++i)
        text.append(i == 0 ? "" : "\n").append(label.Lines[i]);
    const int grow = label.Grow;
    TForm form(request, grow);
    form.begin();
    new TLabel(request.TextLeft, request.TextTop, request.TextWidth, request.TextHeight + grow, text,
               request.TextFontHeight);
    if (request.LineY >= 0) new Fl_Box(FL_THIN_DOWN_BOX, 8, request.LineY + grow, request.ClientWidth - 16, 2, nullptr);
    std::vector<TClick> clicks(request.Buttons.size());
    for (size_t i = 0; i < request.Buttons.size(); ++i) {
        const TDialogButton& b = request.Buttons[i];
        auto* button = new TButton(b.Left, b.Top + grow, b.Width, b.Height);
        button->copy_label(ToolkitText(b.Caption, true).c_str());
        button->labelfont(FL_HELVETICA);
        button->labelsize(request.FormFontHeight);
        clicks[i] = {&form, static_cast<int>(i)};
        button->callback(ButtonCallback, &clicks[i]);
        form.Buttons.push_back(button);
    }
    form.end();
    form.copy_label(ToolkitText(request.Caption, false).c_str());
    // The close box ends the form only where it stands for the cancel button; Escape is a key of the
    // form's own (TDialogKeys).
    if (request.CloseBox && request.CancelButton >= 0 && request.CancelButton < static_cast<int>(form.Buttons.size()))
        form.callback(
            [](Fl_Widget* window, void* cancel) {
                static_cast<TForm*>(window)->Pressed = static_cast<int>(reinterpret_cast<intptr_t>(cancel));
            },
            reinterpret_cast<void*>(static_cast<intptr_t>(request.CancelButton)));
    else
        form.callback([](Fl_Widget*, void*) {});
    const int height = request.ClientHeight + grow;
    form.size_range(request.ClientWidth, height, request.ClientWidth, height);
    form.set_modal();

    int ox, oy, ow, oh;
    if (!request.Owner || !request.Owner->ScreenBounds(ox, oy, ow, oh)) Fl::screen_xywh(ox, oy, ow, oh);
    form.position(ox + (ow - request.ClientWidth) / 2, std::max(0, oy + (oh - height) / 2));

    form.show();
    if (!request.CloseBox) RemoveCloseBox(form);
    TakeKeyboard(form);
    form.Buttons[0]->take_focus();
    while (form.Pressed < 0 && form.shown()) {
        Fl::wait(0.016);
        if (Loop) Loop->RunWhileModalHook();
        if (Loop && Loop->TakeCancel()) {
            // A form without a cancel button ends with none pressed.
            if (request.CancelButton < 0 || request.CancelButton >= static_cast<int>(form.Buttons.size())) break;
            form.Pressed = request.CancelButton;
        }
    }
    form.hide();
    Fl::flush();
    return form.Pressed;
}
