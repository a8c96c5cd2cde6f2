// The modal forms that scripts open: the checked text-input dialog, the one-line input form, the
// memo viewer, the font settings form, the file open and save dialogs and the colour dialog. The
// engine describes a form and gets back what the player left in it; a real backend shows it on
// screen, a headless one answers from a queue. Texts cross this interface in Shift-JIS; a backend
// converts them to its toolkit's encoding and back at its own boundary.
//
// What a form does with the player's input is decided here, once, so that every backend behaves
// the same: the text dialog's checks (TTextInputDlg), the refusal of typed text that Shift-JIS
// cannot hold, the file dialogs' filter and default extension, the memo viewer's layout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class IDialogOwner;  // platform/Dialogs.h
class TFileRoot;     // platform/FileRoot.h

// ---- the checked text-input dialog ----

struct TTextInputDlgRequest {
    const IDialogOwner* Owner = nullptr;
    std::string Title;       // the form's caption and its group box's
    std::string Prompt;      // the label above the edit box
    std::string Text;        // what the edit box starts with
    int32_t MaxLength = -1;  // bytes of Shift-JIS; -1: no limit
};

// The input checks of the text dialog, run in this order when the player confirms. Text is
// counted and walked as Shift-JIS bytes.
class TTextInputDlg {
public:
    // False when a limit is set and the text has more bytes than it allows.
    static bool CheckLength(std::string_view sjis, int32_t maxLength);
    // False when a character starts with a control byte (below 0x20) or is one of the double
    // quote, comma, backslash and the two braces. A lead byte (0x81..0x9F, 0xE0..0xFF) takes the
    // next byte with it, and two-byte characters always pass, whatever their second byte.
    static bool CheckCharacters(std::string_view sjis);

    // The hint under the edit box for a limit; empty without one.
    static std::string HintText(int32_t maxLength);
    static std::string LengthMessage(int32_t maxLength);
    static const std::string& ForbiddenMessage();

    // The checks on the edit box's text as the toolkit holds it (UTF-8): the text in Shift-JIS,
    // and the message of the first check that fails, or an empty message when the text passes. A
    // character Shift-JIS cannot hold fails like a forbidden one.
    static std::string Check(std::string_view utf8, int32_t maxLength, std::string& sjis);
};

// ---- the one-line input form ----

struct TLineInputRequest {
    const IDialogOwner* Owner = nullptr;
    std::string Caption;
    std::string GroupCaption;  // the box around the edit box
    std::string Text;
    // With OneButton, only the second button shows, with SecondButton's caption.
    bool OneButton = false;
    std::string FirstButton;
    std::string SecondButton;
};

// ---- the memo viewer ----

struct TMemoRequest {
    const IDialogOwner* Owner = nullptr;
    std::string Caption;
    std::string GroupCaption;
    std::string Text;  // lines ended by CR LF
    // Each button shows with its caption, or not at all when the caption is empty.
    std::string CopyButton;
    std::string OkButton;
    std::string CancelButton;
    bool AllowEdit = false;  // else read-only, on the button face's colour
    int32_t ClientWidth = 495;
    int32_t ClientHeight = 449;
};

// How the memo viewer ends.
enum TMemoResult : int32_t {
    mrClosed = 0,  // the window's close box
    mrOk = 1,
    mrCancel = 2,
};

// Where the memo viewer's parts go for a client area: the group box fills it but for the button
// row, the copy button sits at the left, OK and Cancel at the right.
struct TMemoLayout {
    struct TRect {
        int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    };
    TRect Group, Copy, Ok, Cancel;
    static TMemoLayout For(int32_t clientWidth, int32_t clientHeight);
};

// ---- the font settings form ----

// What the form's controls show: the face chosen (-1: keep the selection as it is), the quality
// list's index, the style bits (1 bold, 2 shadow, 4 outline, 8 thick outline) of the check boxes,
// and the swatch's colour in the toolkit's order (red in the low byte).
struct TFontFormState {
    int32_t FaceIndex = -1;
    int32_t Quality = 0;
    int32_t Style = 0;
    uint32_t SwatchColor = 0;
};

namespace FontStyle {
constexpr int32_t Bold = 1;
constexpr int32_t Shadow = 2;
constexpr int32_t Outline = 4;
constexpr int32_t ThickOutline = 8;
}  // namespace FontStyle

// The engine's side of the font settings form: the settings it edits live and the preview drawn
// with the engine's own text drawing. The form calls it on every change the player makes and then
// shows State and the preview again.
class IFontFormModel {
public:
    static constexpr int32_t kPreviewWidth = 396;
    static constexpr int32_t kPreviewHeight = 51;

    virtual ~IFontFormModel() = default;
    virtual std::vector<std::string> FaceNames() = 0;  // Shift-JIS, in the face list's order
    virtual TFontFormState State() = 0;
    // The face, quality and check boxes as the player left them.
    virtual void ControlsChanged(const TFontFormState& controls) = 0;
    // The colour the colour dialog opens on, in the toolkit's order.
    virtual uint32_t StyleColorForDialog() = 0;
    virtual void StyleColorChosen(uint32_t toolkitColor) = 0;
    // The cancel button: the settings go back to what they were when the form was set up.
    virtual void Cancel() = 0;
    // kPreviewWidth x kPreviewHeight pixels, 0xAARRGGBB, rows top to bottom.
    virtual std::vector<uint32_t> Preview() = 0;
};

struct TFontFormRequest {
    const IDialogOwner* Owner = nullptr;
    std::string Caption;
    std::string ConfirmButton;
    std::string CancelButton;
};

// How the font form ends.
enum TFontFormResult : int32_t {
    ffClosed = 0,   // the close box: the changes stay
    ffConfirm = 1,  // the changes stay
    ffCancel = 2,   // the model was told to put the settings back
};

// ---- the platform's standard dialogs ----

struct TFileDialogRequest {
    const IDialogOwner* Owner = nullptr;
    bool Save = false;  // else an open dialog: the file must exist
    std::string FileName;
    std::string Title;  // empty: the dialog's own title
    std::string InitialFolder;
    std::string DefaultExtension;
    std::string Filter;  // "description|patterns|description|patterns...", patterns split by ";"
    // The folder the names are engine paths below: the game's folder. Without it no file can be
    // chosen, and the dialog ends as cancelled.
    const TFileRoot* Files = nullptr;
};

// One entry of a file dialog's filter.
struct TFileFilter {
    std::string Description;
    std::vector<std::string> Patterns;
};

struct TColorDialogRequest {
    const IDialogOwner* Owner = nullptr;
    uint32_t Color = 0;  // red in the low byte, blue in the third
};

namespace ScriptForms {

// The filter text of a file dialog taken apart; an entry without patterns is dropped.
std::vector<TFileFilter> ParseFilter(std::string_view filter);
// The length of a path's folder part: up to and including its last "\", "/" or ":", never inside
// a two-byte character.
size_t FolderLength(std::string_view path);
// The name with "." and the extension appended when its last segment has no extension of its
// own; a leading dot of the extension is not doubled.
std::string WithDefaultExtension(const std::string& name, std::string_view extension);
// Why a file chosen in a file dialog cannot be taken, or an empty text: an open dialog needs an
// existing file, a save dialog an existing folder. The name is an engine path below the root.
std::string FileRefusal(const TFileRoot& root, bool save, const std::string& fileName);
// Text as a toolkit holds it: UTF-8 with LF line ends (a lone CR is a line end too).
std::string ToolkitText(std::string_view sjis);
// And back, as the engine's lines: Shift-JIS, every line ended by CR LF (a last line too).
std::string EngineLines(std::string_view utf8);
// Whether text typed into a form may go in: false for text that Shift-JIS cannot hold, which the
// form refuses with TTextInputDlg::ForbiddenMessage.
bool TypedTextFits(std::string_view utf8);
// Exchanges bytes 0 and 2 of a colour: the engine's 0x00RRGGBB to the toolkit's order and back.
constexpr uint32_t SwapRedBlue(uint32_t color) {
    return (color & 0xFF00FF00u) | ((color & 0xFFu) << 16) | ((color >> 16) & 0xFFu);
}

}  // namespace ScriptForms

// The forms, each shown modally over its owner (centred on it); each returns only when the player
// has ended it. Without a backend that can show it, a form ends as if cancelled.
class IScriptForms {
public:
    virtual ~IScriptForms() = default;
    // True when the player confirmed a text that passed the checks. Text is what the edit box held
    // when the form closed, however it closed.
    virtual bool TextInputDlg(const TTextInputDlgRequest& request, std::string& text) = 0;
    // True when the first button or Enter in the edit box ended the form. Text as above.
    virtual bool LineInput(const TLineInputRequest& request, std::string& text) = 0;
    // Text: the memo's lines, each ended by CR LF, when the form closed.
    virtual TMemoResult Memo(const TMemoRequest& request, std::string& text) = 0;
    virtual TFontFormResult FontSettings(const TFontFormRequest& request, IFontFormModel& model) = 0;
    // True when the player chose a file; fileName then holds it as an engine path.
    virtual bool FileDialog(const TFileDialogRequest& request, std::string& fileName) = 0;
    // True when the player confirmed a colour; color then holds it.
    virtual bool ColorDialog(const TColorDialogRequest& request, uint32_t& color) = 0;
};
