// The script forms on screen, as FLTK windows; the file dialogs are FLTK's native chooser (its own
// FLTK chooser, never a desktop toolkit's, so that it behaves alike everywhere) and the colour
// dialog FLTK's colour chooser. Texts arrive in Shift-JIS and are converted to UTF-8 here, and
// what the player typed back again; the faces are set to installed Japanese ones, since FLTK's
// defaults have no Japanese glyphs. What the forms check and refuse is decided in
// platform/ScriptForms.h, so the forms behave as the headless ones do.
#pragma once

#include <functional>
#include <string>

#include "platform/ScriptForms.h"

class TFltkScriptForms final : public IScriptForms {
public:
    // Each form answers as cancelled, without touching FLTK, when no X display can be opened.
    bool TextInputDlg(const TTextInputDlgRequest& request, std::string& text) override;
    bool LineInput(const TLineInputRequest& request, std::string& text) override;
    TMemoResult Memo(const TMemoRequest& request, std::string& text) override;
    TFontFormResult FontSettings(const TFontFormRequest& request, IFontFormModel& model) override;
    bool FileDialog(const TFileDialogRequest& request, std::string& fileName) override;
    bool ColorDialog(const TColorDialogRequest& request, uint32_t& color) override;

    // Called again and again (about every 16 ms) for as long as a form or a message box of a form
    // is open, so that the game window can pump its own events and repaint. Not called again
    // while it runs.
    std::function<void()> WhileOpen;
    // The application's title (Shift-JIS), which a form's message box shows; none: the title
    // before a game gives one.
    const std::string* Title = nullptr;
};
