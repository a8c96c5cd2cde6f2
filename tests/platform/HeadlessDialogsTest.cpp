#include <gtest/gtest.h>

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
    EXPECT_EQ(keys.Press(DialogKey::Escape), -1);
    EXPECT_EQ(keys.Press('n'), 1);  // a hot key wins whatever has the focus
    keys.SetFocused(7);             // out of range: ignored
    EXPECT_EQ(keys.Focused(), 0);
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

}  // namespace
