// Modal message forms behind one small interface. The engine describes a form (caption, text,
// buttons with their places and hot keys) and gets back which button ended it; a real backend
// shows it on screen, a headless one answers from a queue. Texts are Shift-JIS; a backend that
// hands them to a toolkit converts them at its own boundary.
//
// How a form reacts to keys is decided here, once, by TDialogKeys, so every backend behaves the
// same: a typed character is compared with the buttons' hot keys, Enter and Space press the
// focused button, Tab moves the focus, Escape presses the form's cancel button (when it names one)
// and nothing else ends the form. Forms have no close box unless they ask for one (CloseBox, which
// presses the cancel button): only a button ends them. A label whose text does not fit is wrapped
// and the form grows to show it whole (FitLabel).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Application.h"

// Whatever a form is shown over. Forms are centred over their owner, or on the screen without one.
class IDialogOwner {
public:
    virtual ~IDialogOwner() = default;
    // The owner's client area in screen pixels; false when it has none to offer (not shown).
    virtual bool ScreenBounds(int& x, int& y, int& width, int& height) const = 0;
};

struct TDialogButton {
    int Left = 0, Top = 0, Width = 0, Height = 0;  // client pixels
    std::string Caption;                           // Shift-JIS
    std::string HotKey;                            // one byte, or empty for none
};

// One modal form. Coordinates are client pixels of the form.
struct TDialogRequest {
    int ClientWidth = 0, ClientHeight = 0;
    int FormFontHeight = 12;  // the buttons' font, in pixels
    std::string Caption;      // the title bar
    // The label: lines separated by CR LF, left-aligned and centred vertically. A line wider than
    // the label is wrapped (FitLabel).
    std::string Text;
    int TextLeft = 0, TextTop = 0, TextWidth = 0, TextHeight = 0;
    int TextFontHeight = 13;
    int LineY = -1;                      // a horizontal line across the form at this y; negative: none
    std::vector<TDialogButton> Buttons;  // in tab order; the first has the focus when the form opens
    std::vector<int> HotKeyOrder;        // button indices, in the order a typed key is compared
    int CancelButton = -1;               // the button Escape presses; negative: none
    // The form has a close box in its title bar, which presses the cancel button. Without one only
    // a button ends the form.
    bool CloseBox = false;
    const IDialogOwner* Owner = nullptr;
};

// How a form's label is laid out once its text is measured in the backend's face.
struct TLabelLayout {
    std::vector<std::string> Lines;  // UTF-8, each as wide as the label at most (a lone wide character aside)
    int Grow = 0;                    // pixels added below the label: the form, its line and buttons move down
};

namespace Dialogs {

// Measures a UTF-8 text in pixels, as the backend draws it.
using TMeasure = std::function<int(const std::string& utf8)>;

// Lays the label's text (UTF-8, lines separated by LF) out in its width: a line that does not fit
// breaks after its last space that fits, else after its last character that fits, and the rest
// goes on in the next line. When the lines take more height than the label has, the form grows by
// the difference, but never past maxGrow pixels (the rest is then cut off below).
TLabelLayout FitLabel(const std::string& utf8Text, int labelWidth, int labelHeight, int lineHeight,
                      const TMeasure& measure, int maxGrow);

}  // namespace Dialogs

// Keys as the forms see them: a typed character, or one of these.
namespace DialogKey {
constexpr char Enter = '\r';
constexpr char Space = ' ';
constexpr char Tab = '\t';
constexpr char Escape = '\x1b';
}  // namespace DialogKey

// The focus and key rules of one open form.
class TDialogKeys {
public:
    explicit TDialogKeys(const TDialogRequest& request);
    // One key typed while the form or one of its buttons has the focus; shift matters only with
    // Tab (backwards). The index of the button the key presses, or -1 when it presses none.
    int Press(char key, bool shift = false);
    int Focused() const { return FocusIndex; }
    // For a backend whose toolkit moved the focus itself (a mouse press on a button).
    void SetFocused(int index);

private:
    const TDialogRequest& Request;
    int FocusIndex = 0;
};

// The loop an open form runs in, as the layer that owns the game window sees it: that window
// keeps running while a form is open. The program holds one and hands it to the backends that run
// forms' loops; a backend given none runs its forms as with empty hooks and no cancel.
class TModalLoop {
public:
    // Two hooks, either of which may be empty:
    // - while-modal: a backend calls it again and again (about every 16 ms) for as long as a form
    //   is open, so the game window can pump its own events and repaint;
    // - after-modal: called once after each message form has closed (Dialogs::ShowModal), so that
    //   keys and clicks that reached the game window meanwhile are dropped instead of acting on
    //   the game.
    void SetWhileModalHook(std::function<void()> hook) { WhileModal = std::move(hook); }
    void SetAfterModalHook(std::function<void()> hook) { AfterModal = std::move(hook); }
    void RunWhileModalHook() const {  // for backends
        if (WhileModal) WhileModal();
    }
    void RunAfterModalHook() const {
        if (AfterModal) AfterModal();
    }

    // Ends the form that is open, if any, as Escape would: the program must end while a form waits
    // for its user (an end signal). A backend whose forms wait for events looks at it between them
    // with TakeCancel, which also forgets the request.
    void CancelOpenForm() { CancelRequested = true; }
    bool TakeCancel() { return std::exchange(CancelRequested, false); }

private:
    std::function<void()> WhileModal;
    std::function<void()> AfterModal;
    bool CancelRequested = false;
};

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // Shows the form and returns only when a button has ended it: the index of that button, or -1
    // when the form could not be shown at all.
    virtual int ShowModal(const TDialogRequest& request) = 0;
    // The loop this backend runs its forms in; none: its forms run no hooks and take no cancel.
    virtual TModalLoop* ModalLoop() const { return nullptr; }
};

// What message forms need besides the window they are shown over: the backend that shows them,
// and the application's title, which their captions show.
struct TDialogHost {
    IDialogs* Dialogs = nullptr;         // none: nothing is shown and every form answers -1
    const std::string* Title = nullptr;  // Shift-JIS; none: the title before a game gives one
    std::string TitleText() const { return Title ? *Title : std::string(Application::kUntitled); }
};

namespace Dialogs {

// Shows a form through the backend (none: nothing is shown and the form answers -1). A cancel
// asked for before the form opened is forgotten, and the backend's after-modal hook runs once the
// form has closed.
int ShowModal(IDialogs* dialogs, const TDialogRequest& request);

}  // namespace Dialogs
