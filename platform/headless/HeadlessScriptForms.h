// The script forms without a screen: answers come from a queue that a test or a runner fills, and
// every form shown is recorded with what it asked and how it ended. Typed text and the checks go
// through the same rules as on screen (platform/ScriptForms.h).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ScriptForms.h"

class THeadlessScriptForms final : public IScriptForms {
public:
    // What the player does in a form, in this order: types a text, edits the font settings, and
    // presses a button. A form stays open across answers until one of them ends it; with no answer
    // left, it ends as cancelled.
    enum class TPress {
        None,    // nothing pressed: the form stays open for the next answer
        Ok,      // the confirming button (the sole button of a one-button form)
        Cancel,  // the second button, cancel
        Copy,    // the memo viewer's copy button
        Close,   // the window's close box
    };
    struct TAnswer {
        // The edit box's or the memo's whole text as the toolkit hands it over (UTF-8). Text that
        // Shift-JIS cannot hold is refused whole, with the message, and the box keeps its text.
        std::optional<std::string> Text;
        // The font form's controls: each given one is changed, one change at a time.
        std::optional<int32_t> Face, Quality, Style;
        // The colour chosen in a colour dialog (toolkit order); for the font form, in the colour
        // dialog its colour button opens. Unset: that dialog is cancelled.
        std::optional<uint32_t> Color;
        // The file chosen in a file dialog (an engine path); unset: the dialog is cancelled.
        std::optional<std::string> FileName;
        TPress Press = TPress::Ok;
    };
    // A form as it was shown (texts Shift-JIS, as the engine gave them) and how it ended.
    struct TShown {
        std::string Kind;  // "text", "line", "memo", "font", "open", "save", "color"
        std::string Caption;
        // The form's other texts in its own order: labels, group captions, button captions, the
        // edit box's or memo's first text.
        std::vector<std::string> Texts;
        std::vector<std::string> Messages;  // message boxes shown while it was open
        std::string Result;                 // "ok", "cancel", "close"
        // The file dialog's filter and extension as a toolkit would get them; the font form's
        // face list.
        std::vector<TFileFilter> Filters;
        std::vector<std::string> Faces;
        std::string DefaultExtension;
        int32_t Width = 0, Height = 0;  // the memo viewer's client size
    };

    void Answer(TAnswer answer) { Answers.push_back(std::move(answer)); }

    // Run once for each answer used, as a real form's loop runs it while the form is open.
    std::function<void()> WhileOpen;

    bool TextInputDlg(const TTextInputDlgRequest& request, std::string& text) override;
    bool LineInput(const TLineInputRequest& request, std::string& text) override;
    TMemoResult Memo(const TMemoRequest& request, std::string& text) override;
    TFontFormResult FontSettings(const TFontFormRequest& request, IFontFormModel& model) override;
    bool FileDialog(const TFileDialogRequest& request, std::string& fileName) override;
    bool ColorDialog(const TColorDialogRequest& request, uint32_t& color) override;

    std::deque<TAnswer> Answers;
    std::vector<TShown> Shown;
    // What the memo viewer's copy button put on the clipboard last (Shift-JIS).
    std::string Clipboard;

private:
    // The next answer; with the queue empty, the close box where the form has one, else its
    // cancel button.
    TAnswer Next(bool closeBox);
    // Applies typed text to the edit box (UTF-8, as a toolkit holds it); a refusal is recorded in
    // the form.
    static void Type(const TAnswer& answer, std::string& box, TShown& shown);
};
