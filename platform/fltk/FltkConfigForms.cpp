#include "platform/fltk/FltkConfigForms.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Color_Chooser.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Slider.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/fltk/FltkDialogs.h"
#include "platform/fltk/FltkPixels.h"
#include "platform/fltk/FltkText.h"

using FltkText::ToolkitText;

namespace {

constexpr int kTabHeight = 24;
constexpr int kFontSize = 12;
constexpr double kLoopSeconds = 0.016;

Fl_Color ColorOf(uint32_t rgb) {
    return fl_rgb_color(static_cast<uchar>(rgb >> 16), static_cast<uchar>(rgb >> 8), static_cast<uchar>(rgb));
}

// A picture of 0xAARRGGBB pixels, drawn opaque.
class TPicture final : public Fl_Widget {
public:
    TPicture(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
    void SetPixels(const std::vector<uint32_t>& pixels, int width) {
        Width = width > 0 ? width : 1;
        Height = static_cast<int>(pixels.size()) / Width;
        Rgb = FltkPixels::ToRgb(pixels.data(), pixels.size());
        redraw();
    }
    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_color(FL_BACKGROUND_COLOR);
        fl_rectf(x(), y(), w(), h());
        if (Height > 0) fl_draw_image(Rgb.data(), x(), y(), Width, Height, 3);
        fl_pop_clip();
    }

private:
    std::vector<uchar> Rgb;
    int Width = 1, Height = 0;
};

// A frame with its caption set into the top edge.
class TGroupBox final : public Fl_Group {
public:
    TGroupBox(int x, int y, int w, int h) : Fl_Group(x, y, w, h) {
        end();
        resizable(nullptr);
    }
    void draw() override {
        if (damage() & ~FL_DAMAGE_CHILD) {
            fl_push_clip(x(), y(), w(), h());
            fl_color(FL_BACKGROUND_COLOR);
            fl_rectf(x(), y(), w(), h());
            fl_draw_box(FL_ENGRAVED_FRAME, x(), y() + 8, w(), h() - 8, FL_BACKGROUND_COLOR);
            if (!Caption.empty()) {
                fl_font(FL_HELVETICA, kFontSize);
                const int width = static_cast<int>(fl_width(Caption.c_str()));
                fl_color(FL_BACKGROUND_COLOR);
                fl_rectf(x() + 6, y(), width + 4, kFontSize + 4);
                fl_color(labelcolor());
                fl_draw(Caption.c_str(), x() + 8, y() + kFontSize);
            }
            fl_pop_clip();
        }
        draw_children();
    }
    std::string Caption;  // UTF-8
};

// Shows only what lies inside it.
class TClipArea final : public Fl_Group {
public:
    TClipArea(int x, int y, int w, int h) : Fl_Group(x, y, w, h) {
        end();
        resizable(nullptr);
    }
    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        if (damage() & ~FL_DAMAGE_CHILD) {
            fl_color(FL_BACKGROUND_COLOR);
            fl_rectf(x(), y(), w(), h());
        }
        draw_children();
        fl_pop_clip();
    }
};

// A horizontal bar with a tick mark under each step.
class TTrackBar final : public Fl_Slider {
public:
    TTrackBar(int x, int y, int w, int h) : Fl_Slider(x, y, w, h) {
        type(FL_HOR_NICE_SLIDER);
        box(FL_FLAT_BOX);
        step(1);
    }
    int handle(int event) override { return Fl_Slider::handle(event, x(), y(), w(), Bar()); }
    void draw() override {
        fl_color(FL_BACKGROUND_COLOR);
        fl_rectf(x(), y(), w(), h());
        Fl_Slider::draw(x(), y(), w(), Bar());
        const int steps = static_cast<int>(maximum() - minimum());
        if (steps <= 0) return;
        const int knob = Bar();  // a nice slider's knob is about as wide as the bar is high
        fl_color(FL_DARK3);
        for (int i = 0; i <= steps; ++i) {
            const int tx = x() + knob / 2 + (w() - knob) * i / steps;
            fl_line(tx, y() + Bar() + 2, tx, y() + h() - 2);
        }
    }

private:
    int Bar() const { return h() * 2 / 3; }
};

// A list of lines with one selected at most: a press below the lines drops the selection, and a
// double click on a line is told apart from a plain press (DoubleClicked).
class TListBox final : public Fl_Hold_Browser {
public:
    TListBox(int x, int y, int w, int h) : Fl_Hold_Browser(x, y, w, h) { when(FL_WHEN_CHANGED | FL_WHEN_NOT_CHANGED); }
    int handle(int event) override {
        if (event == FL_PUSH && Fl::event_button() == FL_LEFT_MOUSE && Fl::event_inside(this)) {
            DoubleClicked = false;
            if (!find_item(Fl::event_y())) {
                // Below the lines (or on the scroll bar, which the browser handles itself).
                const int bar = scrollbar_size() > 0 ? scrollbar_size() : Fl::scrollbar_size();
                if (Fl::event_x() < x() + w() - bar - Fl::box_dw(box()) && value() != 0) {
                    deselect();
                    do_callback();
                    return 1;
                }
            } else if (Fl::event_clicks() > 0) {
                DoubleClicked = true;
                const int r = Fl_Hold_Browser::handle(event);
                do_callback();
                DoubleClicked = false;
                return r;
            }
        }
        return Fl_Hold_Browser::handle(event);
    }
    bool DoubleClicked = false;
};

class TFormWindow;

struct TLink {
    TFormWindow* Window;
    int32_t Control;
};

// One open form: its widgets, and the engine's side called back from them.
class TFormWindow final : public IFormView, public IDialogOwner {
public:
    TFormWindow(TConfigForm& form, IFormEvents& events, TFltkConfigForms& forms)
        : Form(form), Events(events), Forms(forms) {
        Build();
    }
    ~TFormWindow() override {
        std::vector<Fl_Text_Buffer*> buffers;
        for (Fl_Text_Display* memo : Memos)
            buffers.push_back(memo->buffer());
        // Pages without a tab are not children of the window.
        for (Fl_Group* page : Pages)
            if (!page->parent()) delete page;
        Window.reset();
        for (Fl_Text_Buffer* buffer : buffers)
            delete buffer;
    }

    void Run() {
        int ox, oy, ow, oh;
        if (!Form.Owner || !Form.Owner->ScreenBounds(ox, oy, ow, oh)) Fl::screen_xywh(ox, oy, ow, oh);
        Window->position(ox + (ow - Form.ClientWidth) / 2, oy + (oh - Form.ClientHeight) / 2);
        Window->show();
        if (Form.DefaultButton >= 0) Widgets[static_cast<size_t>(Form.DefaultButton)]->take_focus();
        using TClock = std::chrono::steady_clock;
        TClock::time_point due = TClock::now() + std::chrono::milliseconds(Form.TimerInterval);
        while (!Form.Closed) {
            double wait = kLoopSeconds;
            if (Form.TimerInterval > 0)
                wait = std::clamp(std::chrono::duration<double>(due - TClock::now()).count(), 0.0, kLoopSeconds);
            Fl::wait(wait);
            if (TModalLoop* loop = Forms.ModalLoop()) loop->RunWhileModalHook();
            if (Form.Closed) break;
            if (!Window->shown()) Act(Form.CloseButton, nullptr);  // hidden from outside: a close
            if (Form.TimerInterval > 0 && TClock::now() >= due) {
                Events.Timer(*this);
                Sync();
                due = TClock::now() + std::chrono::milliseconds(std::max(Form.TimerInterval, 1));
            }
        }
        Window->hide();
        Fl::flush();
    }

    // ---- IFormView ----
    void CopyText(const std::string& text) override {
        const std::string utf8 = ToolkitText(text, false);
        Fl::copy(utf8.c_str(), static_cast<int>(utf8.size()), 1);
    }
    bool ChooseColor(uint32_t& color) override {
        uchar r = static_cast<uchar>(color >> 16), g = static_cast<uchar>(color >> 8), b = static_cast<uchar>(color);
        // The chooser runs its own loop: the game window is kept painted from a timer meanwhile.
        Fl::add_timeout(kLoopSeconds, KeepHostPainted, Forms.ModalLoop());
        const int chosen = fl_color_chooser("色の設定", r, g, b, 1);
        Fl::remove_timeout(KeepHostPainted, Forms.ModalLoop());
        if (!chosen) return false;
        color = uint32_t{r} << 16 | uint32_t{g} << 8 | b;
        return true;
    }
    const IDialogOwner* Owner() override { return this; }

    // ---- IDialogOwner ----
    bool ScreenBounds(int& x, int& y, int& width, int& height) const override {
        if (!Window->shown()) return false;
        x = Window->x(), y = Window->y(), width = Window->w(), height = Window->h();
        return true;
    }

    std::unique_ptr<Fl_Double_Window> Window;

private:
    static void KeepHostPainted(void* loop) {
        if (loop) static_cast<TModalLoop*>(loop)->RunWhileModalHook();
        Fl::repeat_timeout(kLoopSeconds, KeepHostPainted, loop);
    }
    static void OnWidget(Fl_Widget* widget, void* data) {
        auto* link = static_cast<TLink*>(data);
        link->Window->Act(link->Control, widget);
    }
    static void OnTabs(Fl_Widget*, void* data) { static_cast<TFormWindow*>(data)->PageChosen(); }
    static void OnClose(Fl_Widget*, void* data) {
        auto* w = static_cast<TFormWindow*>(data);
        w->Act(w->Form.CloseButton, nullptr);
    }

    void Build() {
        FltkText::UseJapaneseFaces();
        Fl_Group::current(nullptr);
        Window = std::make_unique<Fl_Double_Window>(Form.ClientWidth, Form.ClientHeight);
        Window->end();
        Window->copy_label(ToolkitText(Form.Caption, false).c_str());
        Window->callback(OnClose, this);
        Window->size_range(Form.ClientWidth, Form.ClientHeight, Form.ClientWidth, Form.ClientHeight);
        Window->set_modal();
        if (!Form.Pages.empty()) {
            Tabs = new Fl_Tabs(Form.PagesLeft, Form.PagesTop, Form.PagesWidth, Form.PagesHeight);
            Tabs->end();
            Tabs->callback(OnTabs, this);
            Tabs->when(FL_WHEN_CHANGED);
            Window->add(Tabs);
            for (const TFormPage& page : Form.Pages) {
                auto* group = new Fl_Group(Form.PagesLeft, Form.PagesTop + kTabHeight, Form.PagesWidth,
                                           Form.PagesHeight - kTabHeight);
                group->end();
                group->box(FL_THIN_UP_BOX);
                group->copy_label(ToolkitText(page.Caption, true).c_str());
                group->labelfont(FL_HELVETICA);
                group->labelsize(kFontSize);
                group->resizable(nullptr);
                Pages.push_back(group);
                Tabs->add(group);
            }
        }
        Links.resize(Form.Controls.size());
        for (size_t i = 0; i < Form.Controls.size(); ++i) {
            Links[i] = {this, static_cast<int32_t>(i)};
            Widgets.push_back(Create(Form.Controls[i], Links[i]));
        }
        Captions.assign(Form.Controls.size(), std::string("\x01"));  // never a caption: the first sync sets all
        Revisions.assign(Form.Controls.size(), UINT32_MAX);
        ShownPages.assign(Form.Pages.size(), true);
        Sync();
    }

    Fl_Widget* Create(const TFormControl& c, TLink& link) {
        Fl_Widget* w = nullptr;
        switch (c.Kind) {
            case TFormControlKind::Label: {
                auto* box = new Fl_Box(FL_FLAT_BOX, 0, 0, 1, 1, nullptr);
                box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
                w = box;
                break;
            }
            case TFormControlKind::ComboBox: {
                auto* choice = new Fl_Choice(0, 0, 1, 1);
                choice->textfont(FL_HELVETICA);
                choice->textsize(kFontSize);
                w = choice;
                break;
            }
            case TFormControlKind::TrackBar:
                w = new TTrackBar(0, 0, 1, 1);
                break;
            case TFormControlKind::CheckBox:
                w = new Fl_Check_Button(0, 0, 1, 1);
                break;
            case TFormControlKind::Button:
                w = new Fl_Button(0, 0, 1, 1);
                break;
            case TFormControlKind::Image:
                w = new TPicture(0, 0, 1, 1);
                break;
            case TFormControlKind::Memo: {
                auto* memo = new Fl_Text_Display(0, 0, 1, 1);
                memo->buffer(new Fl_Text_Buffer);
                memo->textfont(FL_COURIER);
                memo->textsize(kFontSize);
                w = memo;
                Memos.push_back(memo);
                break;
            }
            case TFormControlKind::GroupBox:
                w = new TGroupBox(0, 0, 1, 1);
                break;
            case TFormControlKind::ScrollBar:
                w = new Fl_Scrollbar(0, 0, 1, 1);
                break;
            case TFormControlKind::ClipArea:
                w = new TClipArea(0, 0, 1, 1);
                break;
            case TFormControlKind::ListBox: {
                auto* list = new TListBox(0, 0, 1, 1);
                list->textfont(FL_COURIER);
                list->textsize(13);
                w = list;
                break;
            }
        }
        w->labelfont(FL_HELVETICA);
        w->labelsize(kFontSize);
        w->callback(OnWidget, &link);
        Container(c)->add(w);
        return w;
    }

    Fl_Group* Container(const TFormControl& c) {
        if (c.Parent >= 0) return static_cast<Fl_Group*>(Widgets[static_cast<size_t>(c.Parent)]);
        if (c.Page >= 0 && c.Page < static_cast<int32_t>(Pages.size())) return Pages[static_cast<size_t>(c.Page)];
        return Window.get();
    }

    // A control in a clip area shows only while it lies wholly inside it.
    bool Inside(int32_t index) const {
        const TFormControl& c = Form[index];
        if (c.Parent < 0 || Form[c.Parent].Kind != TFormControlKind::ClipArea) return true;
        const TFormControl& area = Form[c.Parent];
        return c.Left >= 0 && c.Top >= 0 && c.Left + c.Width <= area.Width && c.Top + c.Height <= area.Height;
    }

    void SyncPages() {
        if (!Tabs) return;
        bool changed = false;
        for (size_t p = 0; p < Pages.size(); ++p) {
            if (ShownPages[p] == Form.Pages[p].Visible) continue;
            changed = true;
            ShownPages[p] = Form.Pages[p].Visible;
            if (!ShownPages[p]) {
                Tabs->remove(Pages[p]);
                continue;
            }
            int at = 0;  // after the shown pages that come before it
            for (size_t q = 0; q < p; ++q)
                at += ShownPages[q] ? 1 : 0;
            Tabs->insert(*Pages[p], at);
        }
        const auto active = static_cast<size_t>(Form.ActivePage);
        if (active < Pages.size() && ShownPages[active] && Tabs->value() != Pages[active]) {
            Tabs->value(Pages[active]);
            changed = true;
        }
        if (changed) Tabs->redraw();
    }

    void Sync() {
        SyncPages();
        for (size_t i = 0; i < Form.Controls.size(); ++i) {
            const TFormControl& c = Form.Controls[i];
            Fl_Widget* w = Widgets[i];
            int x = 0, y = 0;
            TFltkConfigForms::Place(Form, static_cast<int32_t>(i), x, y);
            if (w->x() != x || w->y() != y || w->w() != c.Width || w->h() != c.Height) {
                w->resize(x, y, c.Width, c.Height);
                if (w->parent()) w->parent()->redraw();
            }
            const bool visible = c.Visible && Inside(static_cast<int32_t>(i));
            if (visible != (w->visible() != 0)) {
                visible ? w->show() : w->hide();
                if (w->parent()) w->parent()->redraw();
            }
            c.Enabled ? w->activate() : w->deactivate();
            if (w->labelcolor() != ColorOf(c.TextColor)) {
                w->labelcolor(ColorOf(c.TextColor));
                w->redraw();
            }
            if (Captions[i] != c.Caption) {
                Captions[i] = c.Caption;
                if (c.Kind == TFormControlKind::GroupBox)
                    static_cast<TGroupBox*>(w)->Caption = ToolkitText(c.Caption, false);
                else if (c.Kind != TFormControlKind::ClipArea && c.Kind != TFormControlKind::ComboBox &&
                         c.Kind != TFormControlKind::ListBox)
                    w->copy_label(ToolkitText(c.Caption, true).c_str());
                w->redraw();
            }
            if (Revisions[i] != c.Revision) {
                Revisions[i] = c.Revision;
                SyncContent(c, w);
            }
            SyncValue(c, w);
        }
    }

    void SyncContent(const TFormControl& c, Fl_Widget* w) {
        switch (c.Kind) {
            case TFormControlKind::ComboBox: {
                auto* choice = static_cast<Fl_Choice*>(w);
                auto& texts = ItemTexts[w];
                auto& items = MenuItems[w];
                texts.clear();
                for (const std::string& item : c.Items)
                    texts.push_back(ToolkitText(item, false));
                items.assign(texts.size() + 1, Fl_Menu_Item{});
                for (size_t k = 0; k < texts.size(); ++k) {
                    items[k].text = texts[k].c_str();
                    items[k].labelfont_ =
                        static_cast<Fl_Font>(k < c.ItemFaces.size() ? Forms.FaceOf(c.ItemFaces[k]) : FL_HELVETICA);
                    items[k].labelsize_ = kFontSize;
                    items[k].labelcolor_ = FL_FOREGROUND_COLOR;
                }
                choice->menu(items.data());
                choice->value(-1);
                break;
            }
            case TFormControlKind::Image:
                static_cast<TPicture*>(w)->SetPixels(c.Pixels, c.Width);
                break;
            case TFormControlKind::ListBox: {
                auto* list = static_cast<TListBox*>(w);
                list->clear();
                // "@" starts a format in a browser line; the format character is turned off.
                list->format_char(0);
                for (const std::string& item : c.Items)
                    list->add(ToolkitText(item, false).c_str());
                break;
            }
            case TFormControlKind::Memo:
                static_cast<Fl_Text_Display*>(w)->buffer()->text(ToolkitText(c.Text, false).c_str());
                break;
            default:
                break;
        }
    }

    void SyncValue(const TFormControl& c, Fl_Widget* w) {
        switch (c.Kind) {
            case TFormControlKind::ComboBox: {
                auto* choice = static_cast<Fl_Choice*>(w);
                const int want = c.Value >= 0 && c.Value < static_cast<int32_t>(c.Items.size()) ? c.Value : -1;
                if (choice->value() != want) choice->value(want);
                break;
            }
            case TFormControlKind::TrackBar: {
                auto* bar = static_cast<Fl_Slider*>(w);
                if (bar->minimum() != c.Min || bar->maximum() != c.Max) bar->bounds(c.Min, c.Max);
                if (bar->value() != c.Value) bar->value(c.Value);
                break;
            }
            case TFormControlKind::ScrollBar: {
                auto* bar = static_cast<Fl_Scrollbar*>(w);
                if (bar->value() != c.Value || bar->minimum() != c.Min || bar->maximum() != c.Max)
                    bar->value(c.Value, 1, c.Min, c.Max - c.Min + 1);
                break;
            }
            case TFormControlKind::CheckBox: {
                auto* check = static_cast<Fl_Check_Button*>(w);
                if (check->value() != (c.Value != 0)) check->value(c.Value != 0);
                break;
            }
            case TFormControlKind::ListBox: {
                auto* list = static_cast<TListBox*>(w);
                const int want = c.Value >= 0 && c.Value < static_cast<int32_t>(c.Items.size()) ? c.Value + 1 : 0;
                if (list->value() != want) want ? list->select(want) : list->deselect();
                break;
            }
            default:
                break;
        }
    }

    // The user did something to a control (null widget: the window's close).
    void Act(int32_t index, Fl_Widget* widget) {
        if (index < 0 || index >= static_cast<int32_t>(Form.Controls.size()) || Form.Closed) return;
        TFormControl& c = Form[index];
        if (c.Kind == TFormControlKind::Button) {
            Events.Clicked(*this, index);
        } else if (c.Kind == TFormControlKind::ListBox && widget) {
            auto* list = static_cast<TListBox*>(widget);
            const int32_t value = list->value() - 1;
            if (value != c.Value) {
                c.Value = value;
                Events.Changed(*this, index);
            }
            if (list->DoubleClicked && c.Value >= 0 && !Form.Closed) Events.Clicked(*this, index);
        } else if (widget) {
            int32_t value = c.Value;
            switch (c.Kind) {
                case TFormControlKind::ComboBox:
                    value = static_cast<Fl_Choice*>(widget)->value();
                    break;
                case TFormControlKind::TrackBar:
                case TFormControlKind::ScrollBar:
                    value = static_cast<int32_t>(static_cast<Fl_Valuator*>(widget)->value());
                    break;
                case TFormControlKind::CheckBox:
                    value = static_cast<Fl_Check_Button*>(widget)->value();
                    break;
                default:
                    return;
            }
            if (value == c.Value) return;
            c.Value = value;
            Events.Changed(*this, index);
        }
        Sync();
    }

    void PageChosen() {
        Fl_Widget* chosen = Tabs->value();
        for (size_t p = 0; p < Pages.size(); ++p) {
            if (Pages[p] != chosen || Form.ActivePage == static_cast<int32_t>(p)) continue;
            Form.ActivePage = static_cast<int32_t>(p);
            Events.PageChanged(*this);
            Sync();
        }
    }

    TConfigForm& Form;
    IFormEvents& Events;
    TFltkConfigForms& Forms;
    Fl_Tabs* Tabs = nullptr;
    std::vector<Fl_Group*> Pages;
    std::vector<bool> ShownPages;
    std::vector<Fl_Widget*> Widgets;  // children of the window or its groups, deleted with them
    std::vector<TLink> Links;
    std::vector<std::string> Captions;
    std::vector<uint32_t> Revisions;
    std::map<Fl_Widget*, std::vector<std::string>> ItemTexts;
    std::map<Fl_Widget*, std::vector<Fl_Menu_Item>> MenuItems;
    std::vector<Fl_Text_Display*> Memos;  // their buffers are ours to delete
};

}  // namespace

void TFltkConfigForms::Place(const TConfigForm& form, int32_t index, int& x, int& y) {
    const TFormControl& c = form[index];
    if (c.Parent >= 0) {
        Place(form, c.Parent, x, y);
    } else if (c.Page >= 0) {
        x = form.PagesLeft, y = form.PagesTop + kTabHeight;
    } else {
        x = 0, y = 0;
    }
    x += c.Left, y += c.Top;
}

int TFltkConfigForms::FaceOf(const std::string& family) {
    if (family.empty()) return FL_HELVETICA;
    auto it = FaceNumbers.find(family);
    if (it != FaceNumbers.end()) return it->second;
    const int number = FL_FREE_FONT + static_cast<int>(FaceNumbers.size());
    FaceNames.push_back(" " + family);
    Fl::set_font(static_cast<Fl_Font>(number), FaceNames.back().c_str());
    return FaceNumbers[family] = number;
}

bool TFltkConfigForms::ShowModal(TConfigForm& form, IFormEvents& events) {
    if (!TFltkDialogs::DisplayAvailable()) return false;
    TFormWindow window(form, events, *this);
    window.Run();
    return true;
}
