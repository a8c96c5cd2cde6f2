// The script forms as real FLTK windows on the X server, driven from outside with xdotool: each
// form is opened, clicked and typed into, its result checked, and a picture of it written to
// "script-forms/" in the test's folder. Japanese text goes in through the form's own edit box
// where no input method is at hand; ASCII is typed as keys.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "foundation/GameContext.h"
#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Font.h"
#include "objects/KelFontDialog.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/SystemFonts.h"
#include "platform/fltk/FltkDialogs.h"
#include "platform/fltk/FltkScriptForms.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/ImageFixtures.h"

// FLTK's drawing header brings in the X headers, whose macros (None, Bool) would break the headers
// above: it comes last.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_File_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Multiline_Input.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

namespace {

bool HaveXdotool() {
    return std::system("command -v xdotool >/dev/null 2>&1") == 0;
}

void Xdotool(const std::string& arguments) {
    const std::string command = "timeout 10 xdotool " + arguments + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// Every widget of a window, depth first.
void Collect(Fl_Group* group, std::vector<Fl_Widget*>& out) {
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* w = group->child(i);
        out.push_back(w);
        if (Fl_Group* g = w->as_group()) Collect(g, out);
    }
}

Fl_Widget* FindLabel(Fl_Window* window, const std::string& utf8) {
    std::vector<Fl_Widget*> all;
    Collect(window, all);
    for (Fl_Widget* w : all)
        if (w->label() && utf8 == w->label()) return w;
    return nullptr;
}

template <class T>
T* FindKind(Fl_Window* window) {
    std::vector<Fl_Widget*> all;
    Collect(window, all);
    for (Fl_Widget* w : all)
        if (auto* hit = dynamic_cast<T*>(w)) return hit;
    return nullptr;
}

// A click on the middle of a widget, as the X server sees it.
void ClickOn(Fl_Window* window, Fl_Widget* widget) {
    ASSERT_NE(widget, nullptr);
    const int x = window->x() + widget->x() + widget->w() / 2, y = window->y() + widget->y() + widget->h() / 2;
    Xdotool("mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

// The window's pixels as the X server holds them, written as a PNG file.
void Screenshot(Fl_Window* window, const std::string& name) {
    Fl::flush();
    window->make_current();
    const int w = window->w(), h = window->h();
    std::vector<uchar> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    fl_read_image(rgb.data(), 0, 0, w, h);
    ImageFixtures::TPng png{.Width = w, .Height = h, .ColourType = 2};
    png.Samples.assign(rgb.begin(), rgb.end());
    std::filesystem::create_directories("script-forms");
    std::ofstream("script-forms/" + name + ".png", std::ios::binary) << ImageFixtures::WritePng(png);
    // A form drawn with its Japanese face has more than the background and the text colour.
    size_t differing = 0;
    for (size_t i = 3; i < rgb.size(); i += 3)
        differing += rgb[i] != rgb[0] || rgb[i + 1] != rgb[1] || rgb[i + 2] != rgb[2];
    EXPECT_GT(differing, 100u) << name << " looks empty";
}

class FltkScriptFormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TFltkDialogs::DisplayAvailable())
            GTEST_SKIP() << "no X display could be opened (DISPLAY unset or refused); run under xvfb-run";
        if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed (tools/setup.sh installs it)";
        Forms.Title = &Title;
        // One step per turn of the form's loop, once the form has been shown for a few turns; a step
        // that returns false is tried again. A form left open when the steps run out is hidden
        // after a while, so a fault fails the test instead of hanging it.
        Forms.WhileOpen = [this] {
            Fl_Window* w = Fl::modal();
            if (!w || !w->shown()) return;
            if (++Turns < 4) return;
            if (Turns > 400) {
                ADD_FAILURE() << "the form stayed open: " << (w->label() ? w->label() : "");
                w->hide();
            } else if (!Steps.empty() && Steps.front()(w)) {
                Steps.pop_front();
                Turns = 0;
            }
        };
    }
    void Then(std::function<bool(Fl_Window*)> step) { Steps.push_back(std::move(step)); }
    // A step on the window whose caption is given (a message box or a chooser opened by the form).
    void On(const std::string& caption, std::function<void(Fl_Window*)> act) {
        Then([caption, act](Fl_Window* w) {
            if (!w->label() || caption != w->label()) return false;
            act(w);
            return true;
        });
    }

    TFltkScriptForms Forms;
    std::string Title = "テスト"_sj;
    std::deque<std::function<bool(Fl_Window*)>> Steps;
    int Turns = 0;
};

TEST_F(FltkScriptFormsTest, TextInputDialogRefusesTooLongTextThenTakesTheName) {
    On("名前の入力", [](Fl_Window* w) {
        Screenshot(w, "text-input");
        ClickOn(w, FindKind<Fl_Input>(w));
        Xdotool("type --delay 5 abcdefghijk");  // eleven bytes against a limit of ten
        ClickOn(w, FindLabel(w, "ＯＫ"));
    });
    On("テスト", [](Fl_Window* w) {  // the message box, captioned with the application's title
        Screenshot(w, "text-input-refused");
        ClickOn(w, FindLabel(w, "OK"));
    });
    On("名前の入力", [](Fl_Window* w) {
        FindKind<Fl_Input>(w)->value("山田太郎");  // Japanese through the form itself
        ClickOn(w, FindLabel(w, "ＯＫ"));
    });
    const TTextInputDlgRequest r{nullptr, "名前の入力"_sj, "名前を入力してください。"_sj, "", 10};
    std::string text;
    EXPECT_TRUE(Forms.TextInputDlg(r, text));
    EXPECT_EQ(text, "山田太郎"_sj);
    EXPECT_TRUE(Steps.empty());
}

TEST_F(FltkScriptFormsTest, OneLineInputTakesEnterAsTheFirstButton) {
    On("入力", [](Fl_Window* w) {
        Screenshot(w, "line-input");
        ClickOn(w, FindKind<Fl_Input>(w));
        Xdotool("key End");
        Xdotool("type --delay 5 abc");
        Xdotool("key Return");
    });
    const TLineInputRequest r{nullptr, "入力"_sj, "テキストを入力してください"_sj, "初期値"_sj, false, "OK", "Cancel"};
    std::string text;
    EXPECT_TRUE(Forms.LineInput(r, text));
    EXPECT_EQ(text, "初期値abc"_sj);
}

TEST_F(FltkScriptFormsTest, MemoViewerCopiesAndEdits) {
    On("メモ", [](Fl_Window* w) {
        Screenshot(w, "memo");
        ClickOn(w, FindLabel(w, "クリップボードにコピー"));
    });
    std::string pasted;
    Then([&](Fl_Window* w) {
        Fl_Multiline_Input receiver(0, 0, 10, 10);
        Fl::paste(receiver, 1);
        pasted = receiver.value();
        ClickOn(w, FindKind<Fl_Text_Display>(w));
        Xdotool("key ctrl+End");
        Xdotool("type --delay 5 abc");
        return true;
    });
    Then([](Fl_Window* w) {
        ClickOn(w, FindLabel(w, "ＯＫ"));
        return true;
    });
    const TMemoRequest r{nullptr,
                         "メモ"_sj,
                         "内容"_sj,
                         "一行目\r\n二行目\r\n"_sj,
                         "クリップボードにコピー"_sj,
                         "ＯＫ"_sj,
                         "キャンセル"_sj,
                         true,
                         495,
                         449};
    std::string text;
    EXPECT_EQ(Forms.Memo(r, text), mrOk);
    EXPECT_EQ(pasted, "一行目\n二行目\n");
    EXPECT_EQ(text, "一行目\r\n二行目\r\nabc\r\n"_sj);
}

TEST_F(FltkScriptFormsTest, FontFormEditsTheSlotAndPreviewsIt) {
    TFreeTypeFonts fonts;
    TGameContext context;
    TFontTable table;
    ARGB8888Font::Install(table, &fonts, &context.Config);
    TSystemData& c = context.Config.Config;
    c.FontLists[0].Clear();
    c.FontListFlags[0].Clear();
    for (const char* face : {"ＭＳ ゴシック", "ＭＳ 明朝"}) {
        c.FontLists[0].Add(Encoding::Utf8ToSjis(face));
        c.FontListFlags[0].Add("1");
    }
    c.Font[0] = {"ＭＳ ゴシック"_sj, 0, 1, 0x0000FF};
    {
        // No glyph files: system faces only.
        TKelFontDialog model(context.Config, context.Packs, nullptr, &table);
        model.Setup(0, "", 0, 0);
        On("フォント", [](Fl_Window* w) {
            Screenshot(w, "font");
            ClickOn(w, FindLabel(w, "太字"));
            ClickOn(w, FindLabel(w, "色変更"));
        });
        On("色の設定", [](Fl_Window* w) {
            Screenshot(w, "font-color");
            ClickOn(w, FindLabel(w, "OK"));
        });
        On("フォント", [](Fl_Window* w) {
            Screenshot(w, "font-changed");
            ClickOn(w, FindLabel(w, "設定"));
        });
        const TFontFormRequest r{nullptr, "フォント"_sj, "設定"_sj, "キャンセル"_sj};
        EXPECT_EQ(Forms.FontSettings(r, model), ffConfirm);
        EXPECT_EQ(c.Font[0].Style, FontStyle::Bold);
        EXPECT_EQ(c.Font[0].StyleColor, 0x0000FF);  // the colour dialog confirmed as it opened
    }
    ARGB8888Font::Install(table, nullptr);
}

TEST_F(FltkScriptFormsTest, FileDialogChoosesAFileAndPutsBackTheCurrentFolder) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kel-fltk-file-dialog";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "セーブ.txt") << "x";
    std::ofstream(folder / "other.txt") << "y";
    const std::filesystem::path before = std::filesystem::current_path();
    On("開く", [](Fl_Window* w) {
        Screenshot(w, "file-open");
        // Both files are listed: the brackets in the filter's description fool no pattern.
        ASSERT_NE(FindKind<Fl_File_Browser>(w), nullptr);
        EXPECT_EQ(FindKind<Fl_File_Browser>(w)->size(), 3);  // "../" and the two files
        ClickOn(w, FindKind<Fl_Input>(w));                   // the name box
        Xdotool("type --delay 5 other.txt");
        Xdotool("key Return");
    });
    const TFileRoot root;
    TFileDialogRequest r{nullptr, false, "", "", "", "txt", "テキスト (*.txt)|*.txt|すべて|*.*"_sj, &root};
    r.InitialFolder = Encoding::Utf8ToSjis(folder.string());
    std::string chosen;
    EXPECT_TRUE(Forms.FileDialog(r, chosen));
    std::string expected = Encoding::Utf8ToSjis((folder / "other.txt").string());
    for (char& ch : expected)
        if (ch == '/') ch = '\\';
    EXPECT_EQ(chosen, expected);
    EXPECT_EQ(std::filesystem::current_path(), before);
    std::filesystem::remove_all(folder);
}

TEST_F(FltkScriptFormsTest, ColorDialogAnswersInTheToolkitsOrder) {
    On("色の設定", [](Fl_Window* w) {
        Screenshot(w, "color");
        ClickOn(w, FindLabel(w, "OK"));
    });
    uint32_t color = 0;
    EXPECT_TRUE(Forms.ColorDialog({nullptr, 0x0000FF}, color));
    EXPECT_EQ(color, 0x0000FFu);
}

}  // namespace
