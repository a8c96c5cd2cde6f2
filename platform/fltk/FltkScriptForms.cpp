#include "platform/fltk/FltkScriptForms.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Color_Chooser.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Editor.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/fltk/FltkDialogs.h"
#include "platform/fltk/FltkPixels.h"
#include "platform/fltk/FltkText.h"

namespace {

// Texts as FLTK takes them; a widget label has its "@" doubled, which FLTK would read as the start
// of a symbol.
std::string ToolkitText(const std::string& sjis) {
    return FltkText::ToolkitText(sjis, false);
}
std::string WidgetLabel(const std::string& sjis) {
    return FltkText::ToolkitText(sjis, true);
}

constexpr double kTick = 0.016;
constexpr int kButtonHeight = 25;

// The forms' faces are the Japanese ones (FL_COURIER: the fixed face of edit boxes and the memo).
// The standard dialogs get Japanese texts, and the file chooser is FLTK's own.
void PrepareToolkit() {
    static bool done = false;
    if (done) return;
    FltkText::UseJapaneseFaces();
    Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
    fl_ok = "OK";
    fl_cancel = "キャンセル";
    fl_yes = "はい";
    fl_no = "いいえ";
    Fl_File_Chooser::filename_label = "ファイル名:";
    Fl_File_Chooser::show_label = "種類:";
    Fl_File_Chooser::all_files_label = "すべてのファイル (*)";
    Fl_File_Chooser::custom_filter_label = "フィルタ";
    Fl_File_Chooser::favorites_label = "お気に入り";
    Fl_File_Chooser::add_favorites_label = "お気に入りに追加";
    Fl_File_Chooser::manage_favorites_label = "お気に入りの整理";
    Fl_File_Chooser::filesystems_label = "ファイルシステム";
    Fl_File_Chooser::new_directory_label = "新しいフォルダの名前:";
    Fl_File_Chooser::new_directory_tooltip = "新しいフォルダ";
    Fl_File_Chooser::preview_label = "プレビュー";
    Fl_File_Chooser::hidden_label = "隠しファイルを表示";
    Fl_File_Chooser::save_label = "保存";
    Fl_File_Chooser::existing_file_label = "既にあるファイルを選んでください";
    Fl_Native_File_Chooser::file_exists_message = "同じ名前のファイルがあります。置き換えますか？";
    done = true;
}

// Runs the while-open hook about every 16 ms while it lives, also through FLTK's own modal loops
// (the file and colour choosers, which run their own loops).
class TPump {
public:
    explicit TPump(const std::function<void()>& hook) : Hook(hook) { Fl::add_timeout(kTick, Tick, this); }
    ~TPump() { Fl::remove_timeout(Tick, this); }
    TPump(const TPump&) = delete;
    TPump& operator=(const TPump&) = delete;

private:
    static void Tick(void* data) {
        auto* self = static_cast<TPump*>(data);
        Fl::add_timeout(kTick, Tick, data);
        if (self->Running || !self->Hook) return;
        self->Running = true;
        self->Hook();
        self->Running = false;
    }
    const std::function<void()>& Hook;
    bool Running = false;
};

// What every form needs from its caller: the owner it is centred on, the hook of its loop.
struct TFormContext {
    const IDialogOwner* Owner;
    const std::function<void()>& Hook;
    const std::string* Title;  // the application's, for the message box
};

// Shows the window modally, centred over the owner, with the focus on the given widget, and runs
// FLTK until done is set or the window is gone. (A focus taken before the window shows would keep
// FLTK from making it the modal window.)
void RunModal(Fl_Double_Window& window, const TFormContext& context, const bool& done, Fl_Widget* focus = nullptr) {
    int ox, oy, ow, oh;
    if (!context.Owner || !context.Owner->ScreenBounds(ox, oy, ow, oh)) Fl::screen_xywh(ox, oy, ow, oh);
    window.position(ox + (ow - window.w()) / 2, oy + (oh - window.h()) / 2);
    window.set_modal();
    window.show();
    if (focus) focus->take_focus();
    TPump pump(context.Hook);
    while (!done && window.shown())
        Fl::wait(1.0);
    window.hide();
    Fl::flush();
}

// A text drawn as it stands: left-aligned, centred vertically, clipped, no symbols.
class TTextLabel final : public Fl_Box {
public:
    TTextLabel(int x, int y, int w, int h, const std::string& sjis, Fl_Font font, int size)
        : Fl_Box(x, y, w, h), Text(ToolkitText(sjis)), Font(font), Size(size) {}
    void SetText(const std::string& sjis) {
        Text = ToolkitText(sjis);
        redraw();
    }
    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_font(Font, Size);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(Text.c_str(), x(), y(), w(), h(), FL_ALIGN_LEFT, nullptr, 0);
        fl_pop_clip();
    }

private:
    std::string Text;
    Fl_Font Font;
    int Size;
};

// A group box: an engraved frame with its caption on the top line.
class TGroupFrame final : public Fl_Box {
public:
    TGroupFrame(int x, int y, int w, int h, const std::string& sjis, Fl_Font font, int size)
        : Fl_Box(x, y, w, h), Caption(ToolkitText(sjis)), Font(font), Size(size) {}
    void draw() override {
        const int line = Size / 2;
        fl_draw_box(FL_ENGRAVED_FRAME, x(), y() + line, w(), h() - line, FL_BACKGROUND_COLOR);
        if (Caption.empty()) return;
        fl_font(Font, Size);
        const int width = static_cast<int>(fl_width(Caption.c_str())) + 4;
        fl_color(FL_BACKGROUND_COLOR);
        fl_rectf(x() + 6, y(), std::min(width, w() - 12), Size + 2);
        fl_push_clip(x() + 6, y(), w() - 12, Size + 2);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(Caption.c_str(), x() + 8, y() + Size - fl_descent() + 1);
        fl_pop_clip();
    }

private:
    std::string Caption;
    Fl_Font Font;
    int Size;
};

// Text that Shift-JIS cannot hold is refused as it is typed or pasted, with the form's message.
template <class TBase>
class TShiftJisEntry final : public TBase {
public:
    using TBase::TBase;
    int handle(int event) override {
        if ((event == FL_KEYBOARD || event == FL_PASTE) && Fl::event_length() > 0 &&
            !ScriptForms::TypedTextFits(std::string_view(Fl::event_text(), static_cast<size_t>(Fl::event_length())))) {
            if (Refused) Refused();
            return 1;
        }
        if (event == FL_KEYBOARD && OnEnter && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            OnEnter();
            return 1;
        }
        return TBase::handle(event);
    }
    std::function<void()> Refused;
    std::function<void()> OnEnter;  // when set, Enter calls it instead of reaching the form
};
using TEdit = TShiftJisEntry<Fl_Input>;
using TMemoEditor = TShiftJisEntry<Fl_Text_Editor>;

Fl_Button* MakeButton(int x, int y, int w, const std::string& sjis) {
    auto* b = new Fl_Button(x, y, w, kButtonHeight);
    b->copy_label(WidgetLabel(sjis).c_str());
    b->labelfont(FL_HELVETICA);
    b->labelsize(12);
    return b;
}

// A callback that runs a function object kept by the form.
void RunAction(Fl_Widget*, void* action) {
    (*static_cast<std::function<void()>*>(action))();
}

// The window's callback: its close box ends the form, Escape does not (FLTK sends both here).
void CloseBox(Fl_Widget*, void* action) {
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    (*static_cast<std::function<void()>*>(action))();
}

// The platform's message box: the text and one OK button.
void ShowMessage(const std::string& sjis, const TFormContext& context) {
    Fl_Double_Window w(380, 108);
    w.copy_label(ToolkitText(context.Title ? *context.Title : std::string(Application::kUntitled)).c_str());
    bool done = false;
    std::function<void()> close = [&] { done = true; };
    w.begin();
    new TTextLabel(16, 12, 348, 48, sjis, FL_HELVETICA, 13);
    // Enter and Escape end it as well.
    auto* ok = new Fl_Return_Button(146, 72, 88, kButtonHeight, "OK");
    ok->labelfont(FL_HELVETICA);
    ok->labelsize(12);
    ok->callback(RunAction, &close);
    w.end();
    w.callback(RunAction, &close);
    RunModal(w, context, done);
}

// ---- the checked text-input dialog ----

bool ShowTextInputDlg(const TTextInputDlgRequest& r, std::string& text, const TFormContext& context) {
    Fl_Double_Window w(553, 243);
    w.copy_label(ToolkitText(r.Title).c_str());
    bool done = false, accepted = false;
    w.begin();
    new TGroupFrame(8, 8, 537, 190, r.Title, FL_HELVETICA_BOLD, 16);
    new TTextLabel(24, 34, 505, 20, r.Prompt, FL_COURIER, 16);
    auto* edit = new TEdit(24, 60, 505, 21);
    edit->textfont(FL_COURIER);
    edit->textsize(16);
    edit->value(ToolkitText(r.Text).c_str());
    new TTextLabel(24, 88, 505, 20, TTextInputDlg::HintText(r.MaxLength), FL_COURIER, 16);
    new TTextLabel(24, 132, 505, 20, "[注意] 外字、制御文字、以下の文字は使用できません。"_sj, FL_COURIER, 16);
    new TTextLabel(24, 158, 505, 20, "\" , { } \\", FL_COURIER, 16);
    Fl_Button* ok = MakeButton(336, 208, 101, "ＯＫ"_sj);
    Fl_Button* cancel = MakeButton(444, 208, 101, "キャンセル"_sj);
    w.end();
    std::function<void()> confirm = [&] {
        std::string sjis;
        const std::string message = TTextInputDlg::Check(edit->value(), r.MaxLength, sjis);
        if (!message.empty()) {
            ShowMessage(message, context);
            return;
        }
        accepted = done = true;
    };
    std::function<void()> close = [&] { done = true; };
    std::function<void()> none = [] {};
    edit->Refused = [&] { ShowMessage(TTextInputDlg::ForbiddenMessage(), context); };
    ok->callback(RunAction, &confirm);
    cancel->callback(RunAction, &close);
    w.callback(RunAction, &none);  // no close box: only the two buttons end the form
    RunModal(w, context, done, edit);
    std::string sjis;
    if (!Encoding::Utf8ToSjisStrict(edit->value(), sjis)) sjis = Encoding::Utf8ToSjis(edit->value());
    text = sjis;
    return accepted;
}

// ---- the one-line input form ----

bool ShowLineInput(const TLineInputRequest& r, std::string& text, const TFormContext& context) {
    Fl_Double_Window w(506, 103);
    w.copy_label(ToolkitText(r.Caption).c_str());
    bool done = false, confirmed = false;
    w.begin();
    new TGroupFrame(8, 4, 490, 58, r.GroupCaption, FL_HELVETICA, 12);
    auto* edit = new TEdit(20, 26, 466, 24);
    edit->textfont(FL_HELVETICA);
    edit->textsize(14);
    edit->value(ToolkitText(r.Text).c_str());
    Fl_Button* first = r.OneButton ? nullptr : MakeButton(306, 70, 92, r.FirstButton);
    Fl_Button* second = MakeButton(406, 70, 92, r.SecondButton);
    w.end();
    std::function<void()> confirm = [&] { confirmed = done = true; };
    std::function<void()> close = [&] { done = true; };
    edit->Refused = [&] { ShowMessage(TTextInputDlg::ForbiddenMessage(), context); };
    edit->OnEnter = confirm;
    if (first) first->callback(RunAction, &confirm);
    second->callback(RunAction, &close);
    w.callback(CloseBox, &close);
    RunModal(w, context, done, edit);
    text = Encoding::Utf8ToSjis(edit->value());
    return confirmed;
}

// ---- the memo viewer ----

class TMemoWindow final : public Fl_Double_Window {
public:
    using Fl_Double_Window::Fl_Double_Window;
    void resize(int x, int y, int w, int h) override {
        Fl_Double_Window::resize(x, y, w, h);
        Layout();
    }
    // Places the parts for the client size; FLTK's own resizing is not used.
    void Layout() {
        const TMemoLayout l = TMemoLayout::For(w(), h());
        const auto place = [](Fl_Widget* widget, const TMemoLayout::TRect& r) {
            if (widget) widget->Fl_Widget::resize(r.Left, r.Top, r.Width, r.Height);
        };
        place(Group, l.Group);
        if (Memo) Memo->resize(l.Group.Left + 8, l.Group.Top + 20, l.Group.Width - 16, l.Group.Height - 28);
        place(Copy, l.Copy);
        place(Ok, l.Ok);
        place(Cancel, l.Cancel);
        redraw();
    }
    Fl_Widget* Group = nullptr;
    Fl_Text_Display* Memo = nullptr;
    Fl_Widget *Copy = nullptr, *Ok = nullptr, *Cancel = nullptr;
};

TMemoResult ShowMemo(const TMemoRequest& r, std::string& text, const TFormContext& context) {
    TMemoWindow w(r.ClientWidth, r.ClientHeight);
    w.copy_label(ToolkitText(r.Caption).c_str());
    bool done = false;
    TMemoResult result = mrClosed;
    Fl_Text_Buffer buffer;
    buffer.text(ToolkitText(r.Text).c_str());
    w.begin();
    w.Group = new TGroupFrame(0, 0, 10, 10, r.GroupCaption, FL_HELVETICA, 12);
    if (r.AllowEdit) {
        auto* editor = new TMemoEditor(0, 0, 10, 10);
        editor->Refused = [&] { ShowMessage(TTextInputDlg::ForbiddenMessage(), context); };
        editor->color(FL_BACKGROUND2_COLOR);
        w.Memo = editor;
    } else {
        w.Memo = new Fl_Text_Display(0, 0, 10, 10);
        w.Memo->color(FL_BACKGROUND_COLOR);
    }
    w.Memo->buffer(&buffer);
    w.Memo->textfont(FL_COURIER);
    w.Memo->textsize(13);
    const auto button = [&](const std::string& caption) {
        return caption.empty() ? nullptr : MakeButton(0, 0, 10, caption);
    };
    w.Copy = button(r.CopyButton);
    w.Ok = button(r.OkButton);
    w.Cancel = button(r.CancelButton);
    w.end();
    w.Layout();
    w.resizable(&w);
    w.size_range(r.ClientWidth, r.ClientHeight);
    std::function<void()> ok = [&] {
        result = mrOk;
        done = true;
    };
    std::function<void()> cancel = [&] {
        result = mrCancel;
        done = true;
    };
    std::function<void()> close = [&] { done = true; };
    std::function<void()> copy = [&] {
        const std::unique_ptr<char, decltype(&std::free)> all(buffer.text(), &std::free);
        Fl::copy(all.get(), static_cast<int>(std::strlen(all.get())), 1);
    };
    if (w.Ok) w.Ok->callback(RunAction, &ok);
    if (w.Cancel) w.Cancel->callback(RunAction, &cancel);
    if (w.Copy) w.Copy->callback(RunAction, &copy);
    w.callback(CloseBox, &close);
    RunModal(w, context, done);
    const std::unique_ptr<char, decltype(&std::free)> all(buffer.text(), &std::free);
    text = ScriptForms::EngineLines(all.get());
    w.Memo->buffer(nullptr);
    return result;
}

// ---- the standard dialogs ----

// FLTK's chooser on its own loop; the pump keeps the hook running meanwhile.
bool ChooseColor(const char* title, uint32_t& color, const TFormContext& context) {
    auto r = static_cast<uchar>(color & 0xFF), g = static_cast<uchar>((color >> 8) & 0xFF),
         b = static_cast<uchar>((color >> 16) & 0xFF);
    TPump pump(context.Hook);
    if (!fl_color_chooser(title, r, g, b, 1)) return false;
    color = uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16;
    return true;
}

// A filter as FLTK's chooser reads it: one "description TAB pattern" a line, several patterns
// as "{a,b}". The chooser shows the pattern in brackets after the description and reads it back
// from the brackets, so brackets in a description ("Text (*.txt)") become full-width ones.
std::string ToolkitFilter(const std::string& filter) {
    std::string out;
    for (const TFileFilter& f : ScriptForms::ParseFilter(filter)) {
        if (!out.empty()) out += '\n';
        for (char c : ToolkitText(f.Description)) {
            if (c == '(')
                out += "（";
            else if (c == ')')
                out += "）";
            else if (c != '\t' && c != '\n')
                out += c;
        }
        out += '\t';
        if (f.Patterns.size() == 1) {
            out += ToolkitText(f.Patterns[0]);
            continue;
        }
        out += '{';
        for (size_t i = 0; i < f.Patterns.size(); ++i) {
            if (i > 0) out += ',';
            out += ToolkitText(f.Patterns[i]);
        }
        out += '}';
    }
    return out;
}

// A host path as the engine names it: Shift-JIS, backslashes.
std::string EnginePath(const char* hostPath) {
    std::string path = Encoding::Utf8ToSjis(hostPath);
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

bool ShowFileDialog(const TFileDialogRequest& r, std::string& fileName, const TFormContext& context) {
    // The chooser may move the current folder; it is put back afterwards.
    char* before = getcwd(nullptr, 0);
    Fl_Native_File_Chooser chooser(r.Save ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE
                                          : Fl_Native_File_Chooser::BROWSE_FILE);
    if (r.Save) chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM);
    const std::string title = r.Title.empty() ? (r.Save ? "名前を付けて保存" : "開く") : ToolkitText(r.Title);
    chooser.title(title.c_str());
    const std::string filter = ToolkitFilter(r.Filter);
    if (!filter.empty()) chooser.filter(filter.c_str());
    // The name without its folder goes into the name box; the folder is the initial one, else
    // the name's own, else the game's folder.
    const size_t cut = ScriptForms::FolderLength(r.FileName);
    std::string folder = r.Files->HostPath(r.InitialFolder.empty() ? r.FileName.substr(0, cut) : r.InitialFolder);
    if (folder.empty()) folder = r.Files->Folder();
    chooser.directory(folder.c_str());
    const std::string preset = ToolkitText(r.FileName.substr(cut));
    if (!preset.empty()) chooser.preset_file(preset.c_str());
    bool chosen = false;
    for (;;) {
        int answer;
        {
            TPump pump(context.Hook);
            answer = chooser.show();
        }
        if (answer != 0 || !chooser.filename() || !*chooser.filename()) break;
        const std::string name = ScriptForms::WithDefaultExtension(EnginePath(chooser.filename()), r.DefaultExtension);
        const std::string refusal = ScriptForms::FileRefusal(*r.Files, r.Save, name);
        if (refusal.empty()) {
            fileName = name;
            chosen = true;
            break;
        }
        ShowMessage(refusal, context);
    }
    if (before) {
        // A folder that went away meanwhile cannot be returned to; the chosen name stays good.
        [[maybe_unused]] const int back = chdir(before);
        std::free(before);
    }
    return chosen;
}

// ---- the font settings form ----

class TPreview final : public Fl_Box {
public:
    TPreview(int x, int y) : Fl_Box(x, y, IFontFormModel::kPreviewWidth, IFontFormModel::kPreviewHeight) {}
    void Show(const std::vector<uint32_t>& pixels) {
        Rgb = FltkPixels::ToRgb(pixels.data(), pixels.size());
        redraw();
    }
    void draw() override {
        if (Rgb.size() == static_cast<size_t>(w()) * static_cast<size_t>(h()) * 3)
            fl_draw_image(Rgb.data(), x(), y(), w(), h(), 3);
    }

private:
    std::vector<uchar> Rgb;
};

// Menu entries whose texts FLTK takes as they stand (no submenus, no shortcuts).
struct TChoiceItems {
    explicit TChoiceItems(const std::vector<std::string>& sjisTexts) {
        for (const std::string& t : sjisTexts)
            Texts.push_back(WidgetLabel(t));
        Items.resize(Texts.size() + 1);
        for (size_t i = 0; i < Texts.size(); ++i) {
            Items[i].text = Texts[i].c_str();
            Items[i].labelfont_ = FL_HELVETICA;
            Items[i].labelsize_ = 12;
        }
    }
    std::vector<std::string> Texts;
    std::vector<Fl_Menu_Item> Items;  // ended by an empty item
};

TFontFormResult ShowFontSettings(const TFontFormRequest& r, IFontFormModel& model, const TFormContext& context) {
    Fl_Double_Window w(436, 326);
    w.copy_label(ToolkitText(r.Caption).c_str());
    bool done = false;
    TFontFormResult result = ffClosed;
    TChoiceItems faces(model.FaceNames());
    TChoiceItems qualities({"速度優先"_sj, "標準"_sj, "画質優先"_sj});
    w.begin();
    new TGroupFrame(8, 4, 420, 196, "フォント設定"_sj, FL_HELVETICA, 12);
    new TTextLabel(20, 26, 76, 22, "フォント"_sj, FL_HELVETICA, 12);
    auto* faceBox = new Fl_Choice(100, 26, 312, 22);
    faceBox->menu(faces.Items.data());
    faceBox->textfont(FL_HELVETICA);
    new TTextLabel(20, 58, 76, 22, "スタイル"_sj, FL_HELVETICA, 12);
    const auto check = [&](int x, int y, int width, const std::string& caption) {
        auto* c = new Fl_Check_Button(x, y, width, 22);
        c->copy_label(WidgetLabel(caption).c_str());
        c->labelfont(FL_HELVETICA);
        c->labelsize(12);
        return c;
    };
    Fl_Check_Button* bold = check(100, 58, 70, "太字"_sj);
    Fl_Check_Button* outline = check(176, 58, 100, "縁をつける"_sj);
    Fl_Check_Button* shadow = check(282, 58, 100, "影をつける"_sj);
    Fl_Check_Button* thick = check(100, 84, 120, "縁を太くする"_sj);
    auto* swatch = new Fl_Box(FL_DOWN_BOX, 232, 84, 49, 25, nullptr);
    Fl_Button* colorButton = MakeButton(290, 84, 90, "色変更"_sj);
    new TTextLabel(100, 114, 316, 20, "（ビットマップフォントを使用する場合は反映されません）"_sj, FL_HELVETICA, 12);
    new TTextLabel(20, 144, 76, 22, "クオリティ"_sj, FL_HELVETICA, 12);
    auto* qualityBox = new Fl_Choice(100, 144, 110, 22);
    qualityBox->menu(qualities.Items.data());
    new TTextLabel(220, 144, 196, 22, "（表示クオリティを設定します）"_sj, FL_HELVETICA, 12);
    new TGroupFrame(8, 206, 420, 76, "プレビュー"_sj, FL_HELVETICA, 12);
    auto* preview = new TPreview(20, 224);
    Fl_Button* confirm = MakeButton(236, 292, 92, r.ConfirmButton);
    Fl_Button* cancel = MakeButton(336, 292, 92, r.CancelButton);
    w.end();

    // The controls follow the model; setting them from here runs no callbacks.
    const auto refresh = [&] {
        const TFontFormState s = model.State();
        if (s.FaceIndex >= 0 && s.FaceIndex < faceBox->size() - 1) faceBox->value(s.FaceIndex);
        bold->value((s.Style & FontStyle::Bold) != 0);
        shadow->value((s.Style & FontStyle::Shadow) != 0);
        outline->value((s.Style & FontStyle::Outline) != 0);
        thick->value((s.Style & FontStyle::ThickOutline) != 0);
        swatch->color(fl_rgb_color(static_cast<uchar>(s.SwatchColor), static_cast<uchar>(s.SwatchColor >> 8),
                                   static_cast<uchar>(s.SwatchColor >> 16)));
        swatch->redraw();
        if (s.Quality >= 0 && s.Quality < 3) qualityBox->value(s.Quality);
        preview->Show(model.Preview());
    };
    std::function<void()> changed = [&] {
        TFontFormState c = model.State();
        c.FaceIndex = faceBox->value();
        c.Quality = qualityBox->value();
        c.Style = (bold->value() ? FontStyle::Bold : 0) | (shadow->value() ? FontStyle::Shadow : 0) |
                  (outline->value() ? FontStyle::Outline : 0) | (thick->value() ? FontStyle::ThickOutline : 0);
        model.ControlsChanged(c);
        refresh();
    };
    std::function<void()> pickColor = [&] {
        uint32_t color = model.StyleColorForDialog();
        if (ChooseColor("色の設定", color, context)) model.StyleColorChosen(color);
        refresh();
    };
    std::function<void()> ok = [&] {
        result = ffConfirm;
        done = true;
    };
    std::function<void()> back = [&] {
        model.Cancel();
        result = ffCancel;
        done = true;
    };
    std::function<void()> close = [&] { done = true; };
    for (Fl_Widget* control : std::initializer_list<Fl_Widget*>{faceBox, qualityBox, bold, outline, shadow, thick})
        control->callback(RunAction, &changed);
    colorButton->callback(RunAction, &pickColor);
    confirm->callback(RunAction, &ok);
    cancel->callback(RunAction, &back);
    w.callback(CloseBox, &close);
    refresh();
    RunModal(w, context, done);
    return result;
}

}  // namespace

bool TFltkScriptForms::TextInputDlg(const TTextInputDlgRequest& request, std::string& text) {
    if (!TFltkDialogs::DisplayAvailable()) return false;
    PrepareToolkit();
    return ShowTextInputDlg(request, text, {request.Owner, WhileOpen, Title});
}

bool TFltkScriptForms::LineInput(const TLineInputRequest& request, std::string& text) {
    if (!TFltkDialogs::DisplayAvailable()) return false;
    PrepareToolkit();
    return ShowLineInput(request, text, {request.Owner, WhileOpen, Title});
}

TMemoResult TFltkScriptForms::Memo(const TMemoRequest& request, std::string& text) {
    if (!TFltkDialogs::DisplayAvailable()) return mrClosed;
    PrepareToolkit();
    return ShowMemo(request, text, {request.Owner, WhileOpen, Title});
}

TFontFormResult TFltkScriptForms::FontSettings(const TFontFormRequest& request, IFontFormModel& model) {
    if (!TFltkDialogs::DisplayAvailable()) return ffClosed;
    PrepareToolkit();
    return ShowFontSettings(request, model, {request.Owner, WhileOpen, Title});
}

bool TFltkScriptForms::FileDialog(const TFileDialogRequest& request, std::string& fileName) {
    if (!request.Files || !TFltkDialogs::DisplayAvailable()) return false;
    PrepareToolkit();
    return ShowFileDialog(request, fileName, {request.Owner, WhileOpen, Title});
}

bool TFltkScriptForms::ColorDialog(const TColorDialogRequest& request, uint32_t& color) {
    if (!TFltkDialogs::DisplayAvailable()) return false;
    PrepareToolkit();
    uint32_t chosen = request.Color;
    if (!ChooseColor("色の設定", chosen, {request.Owner, WhileOpen, Title})) return false;
    color = chosen;
    return true;
}
