// The exit dialog through the headless forms: its texts and defaults, the placeholders, which key
// presses which button, and that an empty text answers "exit" without a form.
#include <gtest/gtest.h>

#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/headless/HeadlessDialogs.h"
#include "shell/uExitDialog.h"

namespace {

class ExitDialogTest : public ::testing::Test {
protected:
    int32_t Ask(const std::string& text = "終了しますか？"_sj) {
        return uExitDialog::ShowExitDialog("", text, "終了(X)"_sj, "タイトルへ(t)"_sj, "キャンセル(C)"_sj, Host,
                                           nullptr);
    }
    THeadlessDialogs Answers;
    std::string Title = "ゲーム"_sj;
    TDialogHost Host{&Answers, &Title};
};

TEST_F(ExitDialogTest, ShowsItsTextsWithTheCancelButtonFirstAndExpandsPlaceholders) {
    Answers.Click(0);
    EXPECT_EQ(uExitDialog::ShowExitDialog("", "%%%APP を終了?%%%n次へ%%%n"_sj, "", "", "", Host, nullptr), -1);
    ASSERT_EQ(Answers.Shown.size(), 1u);
    const THeadlessDialogs::TShown& shown = Answers.Shown[0];
    EXPECT_EQ(Encoding::SjisToUtf8(shown.Caption), "ゲーム");
    // Each "%%%n" is one line break, in any case of its letters.
    EXPECT_EQ(Encoding::SjisToUtf8(shown.Text), "ゲーム を終了?\r\n次へ\r\n");
    EXPECT_EQ(shown.Buttons, (std::vector<std::string>{"Cancel", "No", "Yes"}));
    EXPECT_EQ(TExitDialog::ExpandPlaceholders("a%%%N%%%App", Title), "a\n\r" + Title);
}

TEST_F(ExitDialogTest, EachWayOfAnsweringGivesItsResult) {
    struct TCase {
        const char* Name;
        std::string Keys;
        int Click;
        int32_t Result;
    };
    const TCase cases[] = {
        {"exit button", "", 2, 1},
        {"title button", "", 1, 0},
        {"cancel button", "", 0, -1},
        {"Enter on the focused cancel button", "\r", -1, -1},
        {"Escape", "\x1b", -1, -1},
        {"exit accelerator in lower case", "x", -1, 1},
        {"title accelerator in upper case", "T", -1, 0},
        {"Tab, then Enter: back to title", "\t\r", -1, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Answers.Shown.clear();
        Answers.Answers.push_back({c.Keys, c.Click});
        EXPECT_EQ(Ask(), c.Result);
        ASSERT_EQ(Answers.Shown.size(), 1u);
        EXPECT_EQ(Answers.Shown[0].HotKeys, (std::vector<std::string>{"C", "t", "X"}));
    }
}

TEST_F(ExitDialogTest, AcceleratorsAndTheEmptyText) {
    EXPECT_EQ(TExitDialog::AcceleratorOf("終了(X)"_sj), "X");
    EXPECT_EQ(TExitDialog::AcceleratorOf("(("), "(");
    EXPECT_EQ(TExitDialog::AcceleratorOf("終了"_sj), "");
    EXPECT_EQ(TExitDialog::AcceleratorOf("末尾("_sj), "");
    // "（" is a two-byte character, no "(": its bytes are never taken for one.
    EXPECT_EQ(TExitDialog::AcceleratorOf("終了（X）"_sj), "");
    // Two captions with the same accelerator: cancel is compared first, then exit.
    Answers.TypeKeys("a");
    EXPECT_EQ(uExitDialog::ShowExitDialog("", "?", "(A)", "(A)", "(B)", Host, nullptr), 1);
    Answers.TypeKeys("a");
    EXPECT_EQ(uExitDialog::ShowExitDialog("", "?", "(B)", "(A)", "(A)", Host, nullptr), -1);
    Answers.Shown.clear();
    EXPECT_EQ(Ask(""), 1);
    EXPECT_TRUE(Answers.Shown.empty());
}

}  // namespace
