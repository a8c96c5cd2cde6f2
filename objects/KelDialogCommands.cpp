#include "objects/KelDialogCommands.h"

#include <algorithm>
#include <cstdio>

#include "foundation/uDialogMisc.h"
#include "foundation/uInputDevice.h"
#include "media/MediaContext.h"
#include "objects/KelFontDialog.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/ScriptForms.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"

namespace {

constexpr const char* kDialogsWords[] = {"o", "s", "c", "f", "t", "sl", "d1", "d2", "d3", "d"};
static_assert(std::size(kDialogsWords) == 10);

// The memo viewer's client area as designed; a script may only make it larger.
constexpr int32_t kMemoWidth = 495;
constexpr int32_t kMemoHeight = 449;

std::string CaptionOrTitle(const TKelCommandArgs& a, const std::string& caption) {
    const std::string* title = a.Script().Links.Title;
    if (!caption.empty()) return caption;
    return title ? *title : std::string(Application::kUntitled);
}

std::string OrDefault(const std::string& caption, const std::string& designed) {
    return caption.empty() ? designed : caption;
}

// "o" and "s": the chosen file, or A1 again after a cancel.
void FileWord(const TKelCommandArgs& a, IScriptForms* forms, const IDialogOwner* owner, bool save) {
    TFileDialogRequest r;
    r.Owner = owner;
    r.Files = a.Script().Links.Files;
    r.Save = save;
    r.FileName = a.Text(1);
    r.Title = a.Text(2);
    r.InitialFolder = a.Text(3);
    r.DefaultExtension = a.Text(4);
    r.Filter = a.Text(5);
    std::string chosen;
    const bool confirmed = forms && forms->FileDialog(r, chosen);
    a.ClearResults();
    a.SetInt(0, confirmed ? 1 : 0);
    a.SetStr(0, confirmed ? chosen : r.FileName);
}

// "c": the colour in the toolkit's order (red in the low byte), and as "$" and six hex digits.
void ColorWord(const TKelCommandArgs& a, IScriptForms* forms, const IDialogOwner* owner) {
    const auto start = static_cast<uint32_t>(a.Int(1));
    uint32_t color = start;
    const bool confirmed = forms && forms->ColorDialog({owner, start}, color);
    if (!confirmed) color = start;
    char hex[16];
    std::snprintf(hex, sizeof hex, "$%.6x", color);
    a.ClearResults();
    a.SetInt(0, confirmed ? 1 : 0);
    a.SetInt(1, static_cast<int32_t>(color));
    a.SetStr(0, hex);
}

void FontWord(const TKelCommandArgs& a, IScriptForms* forms, const IDialogOwner* owner) {
    const int32_t slot = a.Int(1);
    const std::string caption = a.Text(2), confirm = a.Text(3), cancel = a.Text(4), preview = a.Text(5);
    const int32_t charWidth = a.Int(6), charHeight = a.Int(7);
    TFontFormResult result = ffClosed;
    if (forms) {
        TKelFontDialog model(a.Script().Config(), a.Script().Packs(), &a.Script().Log(),
                             FontsOf(a.Script().Links.Media));
        model.Setup(slot, preview, charWidth, charHeight);
        const TFontFormRequest r{owner, CaptionOrTitle(a, caption), OrDefault(confirm, "設定"_sj),
                                 OrDefault(cancel, "キャンセル"_sj)};
        result = forms->FontSettings(r, model);
    }
    a.ClearResults();
    a.SetInt(0, result == ffConfirm ? 1 : 0);
}

// "t": with an empty second caption the form has one button, captioned A4, and always answers 1.
void LineWord(const TKelCommandArgs& a, IScriptForms* forms, const IDialogOwner* owner) {
    TLineInputRequest r;
    r.Owner = owner;
    r.Text = a.Text(1);
    r.Caption = CaptionOrTitle(a, a.Text(2));
    r.GroupCaption = OrDefault(a.Text(3), "テキストを入力してください"_sj);
    const std::string first = a.Text(4), second = a.Text(5);
    r.OneButton = second.empty();
    r.FirstButton = first;
    r.SecondButton = r.OneButton ? first : second;
    std::string text = r.Text;
    const bool confirmed = forms && forms->LineInput(r, text);
    a.ClearResults();
    a.SetStr(0, text);
    a.SetInt(0, r.OneButton || confirmed ? 1 : 0);
}

// "sl": an editable memo gives its lines back to the list however the form closed.
void MemoWord(const TKelCommandArgs& a, IScriptForms* forms, const IDialogOwner* owner) {
    auto* list = dynamic_cast<TKelObjectDataStringList*>(a.Object(1));
    TMemoRequest r;
    r.Owner = owner;
    r.Caption = CaptionOrTitle(a, a.Text(2));
    r.GroupCaption = a.Text(3);
    r.CopyButton = a.Text(4);
    r.OkButton = a.Text(5);
    r.CancelButton = a.Text(6);
    r.AllowEdit = a.Int(7) == 1;
    // A statement without the ninth argument keeps the designed height.
    r.ClientWidth = std::max(a.Int(8), kMemoWidth);
    r.ClientHeight = std::max(a.Int(9), kMemoHeight);
    r.Text = list ? list->Lines().Text() : std::string();
    std::string text = r.Text;
    const TMemoResult result = forms ? forms->Memo(r, text) : mrClosed;
    a.ClearResults();
    a.SetInt(0, result == mrOk ? 1 : 0);
    if (r.AllowEdit && list && forms) list->Lines().SetText(text);
}

void MessageWord(const TKelCommandArgs& a, int32_t code, const IDialogOwner* owner) {
    const TDialogHost host{a.Script().Links.MessageForms, a.Script().Links.Title};
    const std::string text = a.Text(1), caption = a.Text(2);
    int32_t result = 1;
    switch (code) {
        case Cmd("d1"): {
            const std::string button = a.Text(3);
            uDialogMisc::ShowDialog1(host, caption, text, button, owner);
            return;  // no result
        }
        case Cmd("d2"): {
            const std::string first = a.Text(3), second = a.Text(4);
            result = uDialogMisc::ShowDialog2(host, caption, text, first, second, owner);
            break;
        }
        case Cmd("d3"): {
            // A3 stands at the left of the form: the form's third button.
            const std::string left = a.Text(3), first = a.Text(4), second = a.Text(5);
            result = uDialogMisc::ShowDialog3(host, caption, text, first, second, left, owner);
            break;
        }
        default: {
            const std::string first = a.Text(3), second = a.Text(4);
            if (second.empty())
                uDialogMisc::ShowDialog1(host, caption, text, first, owner);
            else
                result = uDialogMisc::ShowDialog2(host, caption, text, first, second, owner);
            break;
        }
    }
    a.ClearResults();
    a.SetInt(0, result);
}

}  // namespace

namespace KelDialogCommands {

std::span<const char* const> DialogsWords() {
    return kDialogsWords;
}

bool DoDialogsCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    IScriptForms* forms = script.Links.Forms;
    const IDialogOwner* owner = script.Links.DialogOwner;
    switch (code) {
        case Cmd("o"):
        case Cmd("s"):
            FileWord(a, forms, owner, code == Cmd("s"));
            break;
        case Cmd("c"):
            ColorWord(a, forms, owner);
            break;
        case Cmd("f"):
            FontWord(a, forms, owner);
            break;
        case Cmd("t"):
            LineWord(a, forms, owner);
            break;
        case Cmd("sl"):
            MemoWord(a, forms, owner);
            break;
        case Cmd("d1"):
        case Cmd("d2"):
        case Cmd("d3"):
        case Cmd("d"):
            MessageWord(a, code, owner);
            break;
        default:
            return false;
    }
    // What was typed and clicked in the form stays out of the script.
    if (script.Links.Input) script.Links.Input->Reset();
    return true;
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Dialogs, DoDialogsCommand);
}

}  // namespace KelDialogCommands
