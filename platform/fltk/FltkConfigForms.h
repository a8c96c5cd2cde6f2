// The settings forms on screen, as FLTK windows: a tab per visible page, a widget per control,
// the window's close box and Escape standing for the form's close button. The form's timer and
// the while-modal hook run from the form's own event loop.
#pragma once

#include <deque>
#include <map>
#include <string>

#include "platform/ConfigForms.h"

class TModalLoop;  // platform/Dialogs.h

class TFltkConfigForms final : public IConfigForms {
public:
    // Forms run in the loop given, if any: its while-modal hook runs from their event loops.
    explicit TFltkConfigForms(TModalLoop* loop = nullptr) : Loop(loop) {}

    // False without touching FLTK when no X display can be opened.
    bool ShowModal(TConfigForm& form, IFormEvents& events) override;
    TModalLoop* ModalLoop() const { return Loop; }

    // Where a control of the form lies, in client pixels of the form's window.
    static void Place(const TConfigForm& form, int32_t index, int& x, int& y);

    // The toolkit's face number of an installed family that list items are written in, given out
    // once per family (the toolkit keeps the name it is given, so the names stay here).
    int FaceOf(const std::string& family);

private:
    TModalLoop* Loop;
    std::map<std::string, int> FaceNumbers;
    std::deque<std::string> FaceNames;
};
