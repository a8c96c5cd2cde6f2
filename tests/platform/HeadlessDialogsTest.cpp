#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/HeadlessDialogs.h"

namespace {

TDialogRequest ThreeButtons() {
    TDialogRequest r;
    r.Buttons = {{0, 0, 10, 10, "Yes(Y)", "Y"}, {0, 0, 10, 10, "No(N)", "N"}, {0, 0, 10, 10, "Cancel", ""}};
    r.HotKeyOrder = {1, 0, 2};
    return r;
}

TEST(DialogKeysTest, TabMovesTheFocusThatEnterAndSpacePress) {
    TDialogRequest r = ThreeButtons();
    TDialogKeys keys(r);
    EXPECT_EQ(keys.Focused(), 0);
    EXPECT_EQ(keys.Press(DialogKey::Tab, true), -1);  // backwards wraps to the last button
    EXPECT_EQ(keys.Focused(), 2);
    EXPECT_EQ(keys.Press(DialogKey::Space), 2);
    EXPECT_EQ(keys.Press(DialogKey::Tab), -1);  // forwards wraps to the first
    EXPECT_EQ(keys.Press(DialogKey::Enter), 0);
    EXPECT_EQ(keys.Press(DialogKey::Escape), -1);  // the form names no cancel button
    EXPECT_EQ(keys.Press('n'), 1);                 // a hot key wins whatever has the focus
    keys.SetFocused(7);                            // out of range: ignored
    EXPECT_EQ(keys.Focused(), 0);
    r.CancelButton = 2;
    EXPECT_EQ(keys.Press(DialogKey::Escape), 2);
}

TEST(HeadlessDialogsTest, AnswersCarryOverUntilAButtonIsPressedAndEnterIsTheDefault) {
    THeadlessDialogs dialogs;
    TDialogRequest r = ThreeButtons();
    dialogs.TypeKeys("\t");  // focus to the second button, nothing pressed
    dialogs.TypeKeys("\r");
    dialogs.Click(2);
    EXPECT_EQ(dialogs.ShowModal(r), 1);
    EXPECT_EQ(dialogs.ShowModal(r), 2);
    EXPECT_EQ(dialogs.ShowModal(r), 0);  // nothing queued: Enter on the first button
    ASSERT_EQ(dialogs.Shown.size(), 3u);
    EXPECT_EQ(dialogs.Shown[1].Pressed, 2);
    EXPECT_EQ(dialogs.Shown[0].HotKeys, (std::vector<std::string>{"Y", "N", ""}));
}

TEST(HeadlessDialogsTest, ACancelAskedForWhileTheFormWaitsEndsItAsEscapeDoes) {
    TModalLoop modal;
    THeadlessDialogs dialogs(&modal);
    TDialogRequest r = ThreeButtons();
    r.CancelButton = 2;
    modal.SetWhileModalHook([&] { modal.CancelOpenForm(); });
    dialogs.TypeKeys("\t");
    EXPECT_EQ(dialogs.ShowModal(r), 2);
    EXPECT_EQ(dialogs.Answers.size(), 0u);
    r.CancelButton = -1;  // nothing to press: the form ends with none
    EXPECT_EQ(dialogs.ShowModal(r), -1);
    modal.SetWhileModalHook(nullptr);
    EXPECT_FALSE(modal.TakeCancel());
}

TEST(HeadlessDialogsTest, EachBackendRunsOnlyTheLoopItWasGiven) {
    TModalLoop first, second;
    THeadlessDialogs linked(&first), other(&second), unlinked;
    int firstTurns = 0, secondTurns = 0;
    first.SetWhileModalHook([&] { ++firstTurns; });
    second.SetWhileModalHook([&] { ++secondTurns; });
    TDialogRequest r = ThreeButtons();
    r.CancelButton = 2;

    // A cancel asked for on one loop leaves the forms of another, and of a backend given none, alone.
    first.CancelOpenForm();
    other.Click(1);
    EXPECT_EQ(other.ShowModal(r), 1);
    unlinked.Click(1);
    EXPECT_EQ(unlinked.ShowModal(r), 1);
    EXPECT_EQ(firstTurns, 0);
    EXPECT_EQ(secondTurns, 1);
    EXPECT_EQ(linked.ShowModal(r), 2);
    EXPECT_EQ(firstTurns, 1);

    // Shown through Dialogs::ShowModal, a cancel asked for before the form opened is forgotten, and
    // the after-modal hook of the backend's own loop runs once it has closed.
    int firstAfter = 0, secondAfter = 0;
    first.SetAfterModalHook([&] { ++firstAfter; });
    second.SetAfterModalHook([&] { ++secondAfter; });
    first.CancelOpenForm();
    linked.Click(0);
    EXPECT_EQ(Dialogs::ShowModal(&linked, r), 0);
    EXPECT_EQ(Dialogs::ShowModal(&unlinked, r), 0);
    EXPECT_EQ(Dialogs::ShowModal(nullptr, r), -1);
    EXPECT_EQ(firstAfter, 1);
    EXPECT_EQ(secondAfter, 0);
}

// A label 60 pixels wide and 24 high (two lines of 12), growing by 36 at most; one-byte
// characters 6 pixels wide, any other 12.
TEST(DialogLayoutTest, ALabelWrapsWhatDoesNotFitAndTheFormGrowsToShowIt) {
    const Dialogs::TMeasure measure = [](const std::string& ch) { return ch.size() == 1 ? 6 : 12; };
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "line\n";
    const struct {
        std::string Text;
        std::vector<std::string> Lines;
        int Grow;
    } cases[] = {
        {"short", {"short"}, 0},
        {"", {""}, 0},
        {"a\nb", {"a", "b"}, 0},
        {"one two three four", {"one two", "three four"}, 0},  // broken after a space that fits
        {"abcdefghijklmno", {"abcdefghij", "klmno"}, 0},       // no space: after the last character that fits
        {"あいうえおかきくけこさし", {"あいうえお", "かきくけこ", "さし"}, 12},  // never inside a character
        {"ab\n\ncd", {"ab", "", "cd"}, 12},
        {many, {"line", "line", "line", "line", "line"}, 36},  // stops where the form can grow no more
    };
    for (const auto& c : cases) {
        const TLabelLayout layout = Dialogs::FitLabel(c.Text, 60, 24, 12, measure, 36);
        EXPECT_EQ(layout.Lines, c.Lines) << c.Text.substr(0, 40);
        EXPECT_EQ(layout.Grow, c.Grow) << c.Text.substr(0, 40);
    }
    // A character wider than the label takes a line of its own instead of stopping the layout.
    EXPECT_EQ(Dialogs::FitLabel("あい", 8, 24, 12, measure, 36).Lines, (std::vector<std::string>{"あ", "い"}));
}

}  // namespace
