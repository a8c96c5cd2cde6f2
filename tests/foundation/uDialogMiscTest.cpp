#include <gtest/gtest.h>

#include "foundation/uDialog1Button.h"
#include "foundation/uDialog2Button.h"
#include "foundation/uDialog3Button.h"
#include "foundation/uDialogMisc.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/headless/HeadlessDialogs.h"

namespace {

class DialogTest : public ::testing::Test {
protected:
    TModalLoop Modal;
    THeadlessDialogs Answerer{&Modal};
    std::string Title = "テストゲーム"_sj;
    TDialogHost Host{&Answerer, &Title};
};

TEST_F(DialogTest, SettersExpandTitleNewLinesAndDefaults) {
    TDialog3Button form(Host, nullptr);
    EXPECT_EQ(form.SetCaption("%%%app - %%%app"), "テストゲーム - テストゲーム"_sj);
    EXPECT_EQ(form.SetCaption("%%app"), "%%app");
    form.ApplyCaption("");
    EXPECT_EQ(form.Caption, "テストゲーム"_sj);
    form.ApplyCaption("確認：%%%app"_sj);
    EXPECT_EQ(form.Caption, "確認：テストゲーム"_sj);
    form.SetText("一行目%%%n二行目%%%n"_sj);
    EXPECT_EQ(form.Text, "一行目\r\n二行目\r\n"_sj);

    form.SetButton1Caption("");
    form.SetButton2Caption("");
    form.SetButton3Caption("");
    EXPECT_EQ(form.Buttons[0].Caption, "Yes");
    EXPECT_EQ(form.Buttons[1].Caption, "No");
    EXPECT_EQ(form.Buttons[2].Caption, "Cancel");
    TDialog1Button one(Host, nullptr);
    EXPECT_EQ(one.Buttons[0].Caption, "ＯＫ"_sj);  // as designed, until the front end sets it
    one.SetButtonCaption("");
    EXPECT_EQ(one.Buttons[0].Caption, "OK");
    one.SetButtonCaption("閉じる"_sj);
    EXPECT_EQ(one.Buttons[0].Caption, "閉じる"_sj);
}

TEST_F(DialogTest, HotKeyIsTheByteAfterTheFirstOpeningBracket) {
    const struct {
        std::string Caption, HotKey;
    } cases[] = {
        {"はい(Y)"_sj, "Y"},
        {"Yes(y)", "y"},
        {"No", ""},
        {"Close(", ""},
        {"((a)", "("},
        {"（Ｎ）(N)"_sj, "N"},                    // full-width brackets are not "("
        {"(ア)"_sj, std::string(1, "ア"_sj[0])},  // a single byte, even of a two-byte character
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TDialogForm::HotKeyOf(c.Caption), c.HotKey) << c.Caption;
}

TEST_F(DialogTest, EmptyTextShowsNothing) {
    int afterModal = 0;
    Modal.SetAfterModalHook([&] { ++afterModal; });
    uDialogMisc::ShowDialog1(Host, "caption", "", "OK", nullptr);
    EXPECT_EQ(uDialogMisc::ShowDialog2(Host, "caption", "", "a", "b", nullptr), 1);
    Answerer.Click(2);
    EXPECT_EQ(uDialogMisc::ShowDialog3(Host, "caption", "", "a", "b", "c", nullptr), 1);
    EXPECT_TRUE(Answerer.Shown.empty());
    EXPECT_EQ(afterModal, 0);
    EXPECT_EQ(Answerer.Answers.size(), 1u);  // no answer was used
}

TEST_F(DialogTest, FormsShowTheirTextsAndRunTheHooks) {
    int whileModal = 0, afterModal = 0;
    Modal.SetWhileModalHook([&] { ++whileModal; });
    Modal.SetAfterModalHook([&] { ++afterModal; });
    uDialogMisc::ShowDialog1(Host, "", "保存しました。%%%n次へ進みます。"_sj, "", nullptr);
    EXPECT_EQ(uDialogMisc::ShowDialog2(Host, "%%%app", "終了しますか？"_sj, "はい(Y)"_sj, "いいえ(N)"_sj, nullptr), 1);

    ASSERT_EQ(Answerer.Shown.size(), 2u);
    const auto& one = Answerer.Shown[0];
    EXPECT_EQ(one.Caption, "テストゲーム"_sj);
    EXPECT_EQ(one.Text, "保存しました。\r\n次へ進みます。"_sj);
    EXPECT_EQ(one.Buttons, std::vector<std::string>{"OK"});
    const auto& two = Answerer.Shown[1];
    EXPECT_EQ(two.Caption, "テストゲーム"_sj);
    EXPECT_EQ(two.Buttons, (std::vector<std::string>{"はい(Y)"_sj, "いいえ(N)"_sj}));
    EXPECT_EQ(two.HotKeys, (std::vector<std::string>{"Y", "N"}));
    EXPECT_GE(whileModal, 2);
    EXPECT_EQ(afterModal, 2);
}

TEST_F(DialogTest, KeysAndClicksPickTheButtons) {
    const struct {
        int Buttons;
        std::string Keys;
        int Click;
        int Result;
    } cases[] = {
        {2, "y", -1, 1},
        {2, "Y", -1, 1},
        {2, "n", -1, 0},
        {2, "N", -1, 0},
        {2, "\r", -1, 1},
        {2, " ", -1, 1},
        {2, "\t\r", -1, 0},
        {2, "\t\t ", -1, 1},
        {2, "xq", -1, 1},     // keys that press nothing
                              // leave the form open
        {2, "x\x1b", -1, 0},  // Escape answers as the last button: "No"
        {2, "", 1, 0},
        {3, "c", -1, -1},
        {3, "C", -1, -1},
        {3, "y", -1, 1},
        {3, "\t\t\r", -1, -1},
        {3, "", 2, -1},
        {3, "", 1, 0},
        {3, "\x1b", -1, -1},  // and here "Cancel"
    };
    for (const auto& c : cases) {
        if (c.Click >= 0)
            Answerer.Click(c.Click);
        else
            Answerer.TypeKeys(c.Keys);
        int result = c.Buttons == 2 ? uDialogMisc::ShowDialog2(Host, "", "?", "はい(Y)"_sj, "いいえ(N)"_sj, nullptr)
                                    : uDialogMisc::ShowDialog3(Host, "", "?", "はい(Y)"_sj, "いいえ(N)"_sj,
                                                               "キャンセル(C)"_sj, nullptr);
        EXPECT_EQ(result, c.Result) << c.Buttons << " buttons, keys \"" << c.Keys << "\", click " << c.Click;
        EXPECT_TRUE(Answerer.Answers.empty());
    }
}

TEST_F(DialogTest, HotKeysAreComparedInTheFormsOrder) {
    // Two-button form: Button2 before Button1. Three-button form: Button2, Button1, Button3.
    Answerer.TypeKeys("a");
    EXPECT_EQ(uDialogMisc::ShowDialog2(Host, "", "?", "(A)", "(A)", nullptr), 0);
    Answerer.TypeKeys("a");
    EXPECT_EQ(uDialogMisc::ShowDialog3(Host, "", "?", "(A)", "(B)", "(A)", nullptr), 1);
    Answerer.TypeKeys("b");
    EXPECT_EQ(uDialogMisc::ShowDialog3(Host, "", "?", "(A)", "(B)", "(B)", nullptr), 0);
    // A caption without "(" has no hot key; its letters do nothing.
    Answerer.TypeKeys("n");
    Answerer.Click(0);
    EXPECT_EQ(uDialogMisc::ShowDialog2(Host, "", "?", "Yes", "No", nullptr), 1);
}

TEST_F(DialogTest, AFormThatCannotBeShownAnswersAsCreated) {
    Host.Dialogs = nullptr;
    EXPECT_EQ(uDialogMisc::ShowDialog2(Host, "", "?", "", "", nullptr), 0);
    EXPECT_EQ(uDialogMisc::ShowDialog3(Host, "", "?", "", "", "", nullptr), 0);
}

}  // namespace
