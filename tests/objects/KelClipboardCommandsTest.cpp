// The "clip" words run as script statements over the in-memory clipboard: Japanese text both ways
// (held in UTF-8 as the desktop holds it), what the clipboard reports holding, a picture from the
// packs, and string lists to and from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/KelClipboardCommands.h"
#include "platform/headless/HeadlessClipboard.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"

namespace {

class ClipboardWordsTest : public ::testing::Test {
protected:
    ClipboardWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelClipboardCommands::Register(kinds);
              links.Clipboard = &Clipboard;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.Execute({"\\scp,clip"});
    }
    TStringList& List(const char* variable) {
        return dynamic_cast<TKelObjectDataStringList*>(H.Script.Objects->Find(H.Var(variable).Text))->Lines();
    }

    THeadlessClipboard Clipboard;
    TScriptHarness H;
};

TEST_F(ClipboardWordsTest, TextBothWaysAndWhatTheClipboardHolds) {
    QueryRows::Run(H, {{{}, "\\gt", {0}}, {{}, "\\pt", {}, {""}}});
    H.Execute({"\\ct,\"日本語のテキスト\""});
    EXPECT_EQ(Clipboard.Utf8Text, "日本語のテキスト");
    QueryRows::Run(H, {{{}, "\\gt", {1}}, {{}, "\\pt", {}, {"日本語のテキスト"}}});
    // Another program put text the engine's encoding lacks: it arrives replaced, not lost.
    Clipboard.Utf8Text = "かな😀";
    H.Execute({"\\pt"});
    EXPECT_EQ(H.ResultStr(0).rfind("かな", 0), 0u);
    // Text and a picture at once: the picture counts.
    const uint32_t pixel = 0xFF00FF00;
    Clipboard.Picture = {pixel};
    Clipboard.PictureWidth = Clipboard.PictureHeight = 1;
    QueryRows::Run(H, {{{"\\ci"}, "\\gt", {2}}});
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
}

TEST_F(ClipboardWordsTest, APictureFromThePacks) {
    H.AddRawFile("image\\pic.png", AnimationFixtures::Png(2, 1, {0xFFFF0000, 0x800000FF}));
    H.AddRawFile("image\\bad.png", "no picture");
    H.Execute({"\\ct,\"x\"", "\\cb,\"image\\missing.png\""});
    EXPECT_TRUE(Clipboard.HasText());  // nothing there: nothing changes
    H.Execute({"\\cb,\"image\\pic.png\""});
    EXPECT_FALSE(Clipboard.HasText());
    ASSERT_EQ(Clipboard.PictureWidth, 2);
    EXPECT_EQ(Clipboard.Picture, (std::vector<uint32_t>{0xFFFF0000, 0x800000FF}));
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
    // A file that is no picture of its kind is reported, and the clipboard keeps what it held.
    H.Execute({"\\cb,\"image\\bad.png\""});
    EXPECT_EQ(H.FirstError().rfind("\\cb:", 0), 0u) << H.FirstError();
    EXPECT_EQ(Clipboard.PictureWidth, 2);
}

TEST_F(ClipboardWordsTest, StringListsToAndFromTheClipboard) {
    H.Execute({"\\var,list,lines,other", "\\var,int,n"});
    List("lines").SetText(Encoding::Utf8ToSjis("一行目\r\n二行目"));
    H.Execute({"\\cl,lines"});
    EXPECT_EQ(Clipboard.Utf8Text, "一行目\r\n二行目\r\n");
    Clipboard.Utf8Text = "a\nb\nc";
    H.Execute({"\\pl,other"});
    EXPECT_EQ(List("other").Count(), 3);
    EXPECT_EQ(List("other")[2], "c");
    // Names of no string list are passed over; without text nothing is pasted.
    H.Execute({"\\cl,n", "\\pl,n", "\\cl,\"nothing\""});
    EXPECT_EQ(Clipboard.Utf8Text, "a\nb\nc");
    Clipboard.Clear();
    H.Execute({"\\pl,lines"});
    EXPECT_EQ(List("lines").Count(), 2);
    EXPECT_TRUE(H.Errors().empty()) << H.FirstError();
}

TEST_F(ClipboardWordsTest, WithoutAClipboardTheWordsDoNothing) {
    H.Script.Links.Clipboard = nullptr;
    QueryRows::Run(H, {{{"\\ct,\"x\"", "\\cb,\"none.png\""}, "\\gt", {0}}, {{}, "\\pt", {}, {""}}});
}

}  // namespace
