// The message forms on screen, as FLTK windows. Texts arrive in Shift-JIS and are converted to
// UTF-8 here; the faces are set to installed Japanese ones, since FLTK's defaults have no
// Japanese glyphs. Keys go through TDialogKeys, so the forms behave as the headless ones do.
#pragma once

#include "platform/Dialogs.h"

class TFltkDialogs final : public IDialogs {
public:
    // Forms run in the loop given, if any.
    explicit TFltkDialogs(TModalLoop* loop = nullptr) : Loop(loop) {}

    // Runs its own event loop until a button ends the form, calling the while-modal hook between
    // events. Answers -1 without touching FLTK when no X display can be opened.
    int ShowModal(const TDialogRequest& request) override;
    TModalLoop* ModalLoop() const override { return Loop; }

    // Whether an X display is open or can be opened. Checked before FLTK is used at all, because
    // FLTK ends the program when it cannot open its display.
    static bool DisplayAvailable();

private:
    TModalLoop* Loop;
};
