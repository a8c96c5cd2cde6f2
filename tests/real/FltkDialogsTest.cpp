// The message forms as real FLTK windows: each form is opened and ended by simulated keys and
// clicks, sent through FLTK's own event dispatch from the while-modal hook.
#include <gtest/gtest.h>

// Before the X headers, which define Button1 to Button5.
#include "shell/uExitDialog.h"

// After the test framework: the X headers define names (None among them) that it uses.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cstring>
#include <deque>
#include <functional>
#include <vector>

#include "foundation/uDialogMisc.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/fltk/FltkDialogs.h"

namespace {

std::vector<Fl_Button*> ButtonsOf(Fl_Window* w) {
    std::vector<Fl_Button*> buttons;
    for (int i = 0; i < w->children(); ++i) {
        if (auto* b = dynamic_cast<Fl_Button*>(w->child(i))) buttons.push_back(b);
    }
    return buttons;
}

void Key(Fl_Window* w, int keysym, const char* text, bool shift = false) {
    static char buffer[8];
    std::strncpy(buffer, text, sizeof buffer - 1);
    Fl::e_keysym = keysym;
    Fl::e_text = buffer;
    Fl::e_length = static_cast<int>(std::strlen(buffer));
    Fl::e_state = shift ? FL_SHIFT : 0;
    Fl::handle(FL_KEYBOARD, w);
}

void Click(Fl_Window* w, int index) {
    Fl_Button* b = ButtonsOf(w).at(static_cast<size_t>(index));
    Fl::e_x = b->x() + b->w() / 2;
    Fl::e_y = b->y() + b->h() / 2;
    Fl::e_x_root = w->x() + Fl::e_x;
    Fl::e_y_root = w->y() + Fl::e_y;
    Fl::e_keysym = FL_Button + 1;
    Fl::e_state = FL_BUTTON1;
    Fl::handle(FL_PUSH, w);
    Fl::e_state = 0;
    Fl::handle(FL_RELEASE, w);
}

class FltkDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TFltkDialogs::DisplayAvailable())
            GTEST_SKIP() << "no X display could be opened (DISPLAY unset or refused); run under xvfb-run";
        // One step per turn of the form's loop; a form left open when the steps run out is ended
        // by its first button after a while, so a fault fails the test instead of hanging it.
        Modal.SetWhileModalHook([this] {
            auto* w = Fl::modal();
            if (!w) return;
            if (!Steps.empty()) {
                auto step = std::move(Steps.front());
                Steps.pop_front();
                step(w);
            } else if (++IdleTurns > 300) {
                ADD_FAILURE() << "the form stayed open";
                ButtonsOf(w).at(0)->do_callback();
            }
        });
    }
    // Runs one form, ended by the given steps.
    void Then(std::function<void(Fl_Window*)> step) { Steps.push_back(std::move(step)); }

    TModalLoop Modal;
    TFltkDialogs Real{&Modal};
    std::string Title = "テスト"_sj;
    TDialogHost Host{&Real, &Title};
    std::deque<std::function<void(Fl_Window*)>> Steps;
    int IdleTurns = 0;
};

TEST_F(FltkDialogsTest, OneButtonFormShowsItsTextsTakesTheKeyboardAndEndsByItsButtonOrEscape) {
    Fl_Window* seen = nullptr;
    Then([&](Fl_Window* w) {
        seen = w;
        // The form has the keyboard as it opens, without a click into it.
        ::Window focus = 0;
        int revert = 0;
        XGetInputFocus(fl_display, &focus, &revert);
        EXPECT_EQ(focus, fl_xid(w));
        EXPECT_STREQ(w->label(), "テスト");  // empty caption: the application's title, in UTF-8
        EXPECT_EQ(w->w(), 420);
        EXPECT_EQ(w->h(), 100);
        auto buttons = ButtonsOf(w);
        ASSERT_EQ(buttons.size(), 1u);
        EXPECT_STREQ(buttons[0]->label(), "OK");
        EXPECT_EQ(buttons[0]->x(), 312);
        EXPECT_EQ(buttons[0]->y(), 72);
        EXPECT_EQ(buttons[0]->w(), 97);
        EXPECT_EQ(buttons[0]->h(), 25);
        w->do_callback();  // the window manager's close
        Key(w, 'q', "q");  // a key that is no hot key
    });
    Then([&](Fl_Window* w) {
        EXPECT_TRUE(w->shown());
        Key(w, FL_Enter, "\r");
    });
    uDialogMisc::ShowDialog1(Host, "", "一行目%%%n二行目"_sj, "", nullptr);
    EXPECT_TRUE(Steps.empty());
    EXPECT_NE(seen, nullptr);
    Then([&](Fl_Window* w) { Key(w, FL_Escape, "\x1b"); });
    uDialogMisc::ShowDialog1(Host, "", "Escape"_sj, "", nullptr);
    EXPECT_TRUE(Steps.empty());
}

TEST_F(FltkDialogsTest, ATextThatDoesNotFitWrapsAndTheFormGrowsToShowItWhole) {
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "ライブラリ「/home/player/games/mygame/DLL/SystemInfo.so」を読み込めませんでした。";
    Then([&](Fl_Window* w) {
        auto buttons = ButtonsOf(w);
        ASSERT_EQ(buttons.size(), 1u);
        const int grow = w->h() - 100;
        EXPECT_GT(grow, 49);  // many lines more than the label's three
        EXPECT_EQ(w->w(), 420);
        EXPECT_EQ(buttons[0]->y(), 72 + grow);   // the button moves down with the line
        EXPECT_EQ(w->child(0)->h(), 49 + grow);  // the label
        Key(w, FL_Enter, "\r");
    });
    uDialogMisc::ShowDialog1(Host, "", Encoding::Utf8ToSjis(text), "", nullptr);
    EXPECT_TRUE(Steps.empty());
}

TEST_F(FltkDialogsTest, ACancelAskedForWhileAFormWaitsEndsItAsEscapeDoes) {
    Then([this](Fl_Window*) { Modal.CancelOpenForm(); });
    EXPECT_EQ(uDialogMisc::ShowDialog3(Host, "", "どうしますか？"_sj, "", "", "", nullptr), -1);
    Then([this](Fl_Window*) { Modal.CancelOpenForm(); });
    EXPECT_EQ(uDialogMisc::ShowDialog2(Host, "", "どうしますか？"_sj, "", "", nullptr), 0);
    EXPECT_TRUE(Steps.empty());
}

TEST_F(FltkDialogsTest, TwoButtonFormAnswersHotKeysFocusAndClicks) {
    const struct {
        std::function<void(Fl_Window*)> Act;
        int Result;
    } cases[] = {
        {[](Fl_Window* w) { Key(w, 'n', "n"); }, 0},
        {[](Fl_Window* w) { Key(w, 'y', "Y", true); }, 1},
        {[](Fl_Window* w) { Key(w, ' ', " "); }, 1},
        {[](Fl_Window* w) {
             Key(w, FL_Tab, "\t");
             Key(w, FL_Enter, "\r");
         },
         0},
        {[](Fl_Window* w) { Click(w, 1); }, 0},
        {[](Fl_Window* w) { Click(w, 0); }, 1},
        {[](Fl_Window* w) { Key(w, FL_Escape, "\x1b"); }, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Then([&](Fl_Window* w) {
            EXPECT_STREQ(w->label(), "確認 - テスト");
            auto buttons = ButtonsOf(w);
            ASSERT_EQ(buttons.size(), 2u);
            EXPECT_STREQ(buttons[0]->label(), "はい(Y)");
            EXPECT_STREQ(buttons[1]->label(), "いいえ(N)");
            cases[i].Act(w);
        });
        int result = uDialogMisc::ShowDialog2(Host, "確認 - %%%app"_sj, "終了しますか？"_sj, "はい(Y)"_sj,
                                              "いいえ(N)"_sj, nullptr);
        EXPECT_EQ(result, cases[i].Result) << "case " << i;
    }
}

TEST_F(FltkDialogsTest, ThreeButtonFormAnswersEachButton) {
    const struct {
        std::function<void(Fl_Window*)> Act;
        int Result;
    } cases[] = {
        {[](Fl_Window* w) { Click(w, 2); }, -1},
        {[](Fl_Window* w) {
             Key(w, 'c', "c");
             Key(w, FL_Enter, "\r");
         },
         1},  // "Cancel" has no hot key
        {[](Fl_Window* w) {
             Key(w, FL_Tab, "\t", true);
             Key(w, ' ', " ");
         },
         -1},
        {[](Fl_Window* w) { Key(w, 'n', "n"); }, 0},
        {[](Fl_Window* w) { Key(w, FL_KP_Enter, "\r"); }, 1},
        {[](Fl_Window* w) { Key(w, FL_Escape, "\x1b"); }, -1},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Then([&](Fl_Window* w) {
            auto buttons = ButtonsOf(w);
            ASSERT_EQ(buttons.size(), 3u);
            EXPECT_STREQ(buttons[2]->label(), "Cancel");
            EXPECT_EQ(buttons[2]->x(), 8);
            EXPECT_EQ(buttons[2]->y(), 71);
            cases[i].Act(w);
        });
        int result = uDialogMisc::ShowDialog3(Host, "", "どうしますか？"_sj, "はい(Y)"_sj, "いいえ(N)"_sj, "", nullptr);
        EXPECT_EQ(result, cases[i].Result) << "case " << i;
    }
}

// The exit dialog: its own size and button places, the cancel button focused, and the close box
// and Escape both cancel.
TEST_F(FltkDialogsTest, ExitDialogCancelsOnItsCloseBoxAndEscape) {
    const struct {
        std::function<void(Fl_Window*)> Act;
        int Result;
    } cases[] = {
        {[](Fl_Window* w) { w->do_callback(); }, -1},  // the window manager's close
        {[](Fl_Window* w) { Key(w, FL_Escape, "\x1b"); }, -1}, {[](Fl_Window* w) { Key(w, FL_Enter, "\r"); }, -1},
        {[](Fl_Window* w) { Key(w, 'x', "x"); }, 1},           {[](Fl_Window* w) { Click(w, 1); }, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Then([&](Fl_Window* w) {
            EXPECT_EQ(w->w(), 425);
            EXPECT_EQ(w->h(), 98);
            auto buttons = ButtonsOf(w);
            ASSERT_EQ(buttons.size(), 3u);
            EXPECT_STREQ(buttons[0]->label(), "キャンセル(C)");
            EXPECT_EQ(buttons[0]->x(), 304);
            EXPECT_EQ(buttons[1]->x(), 8);
            EXPECT_EQ(buttons[2]->x(), 184);
            cases[i].Act(w);
        });
        const int result = uExitDialog::ShowExitDialog("", "終了しますか？%%%n次の行"_sj, "終了(X)"_sj,
                                                       "タイトルへ(T)"_sj, "キャンセル(C)"_sj, Host, nullptr);
        EXPECT_EQ(result, cases[i].Result) << "case " << i;
    }
}

}  // namespace
