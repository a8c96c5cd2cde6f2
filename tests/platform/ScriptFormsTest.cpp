// What the script forms decide the same on every backend: the text dialog's checks and texts, the
// file dialogs' filter, default extension and refusals, the memo viewer's layout; and the headless
// answerer that plays the forms for tests and runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/ScriptForms.h"
#include "platform/headless/HeadlessScriptForms.h"

namespace {

using TPress = THeadlessScriptForms::TPress;
using TAnswer = THeadlessScriptForms::TAnswer;

TEST(ScriptForms, TextDialogChecksCountBytesAndRefuseSingleByteDelimiters) {
    const std::string tooLong10 = "最大10文字(2バイト文字は5文字)までです。"_sj;
    const std::string forbidden = "使用禁止文字が含まれています。"_sj;
    struct Case {
        int32_t Max;
        const char* Utf8;
        std::string Message;
    };
    const Case cases[] = {
        {10, "あいうえお", ""},                      // ten bytes
        {10, "あいうえおa", tooLong10},              // the eleventh byte, sixth character
        {10, "abcdefghij", ""},                      //
        {10, "abcdefghijk", tooLong10},              //
        {-1, "とても長いとても長いとても長い", ""},  // no limit
        {0, "", ""},                                 //
        {0, "a", "最大0文字(2バイト文字は0文字)までです。"_sj},
        {-1, "a\tb", forbidden},
        {-1, "\x7f", ""},  // only bytes below 0x20 are control characters here
        {-1, "a,b", forbidden},
        {-1, "\\", forbidden},
        {-1, "{", forbidden},
        {-1, "}", forbidden},
        {-1, "\"", forbidden},
        {-1, "表", ""},   // 0x95 0x5C: a two-byte character whatever its second byte
        {-1, "ｱｲｳ", ""},  // half-width katakana
        {3, "a,bcd", "最大3文字(2バイト文字は1文字)までです。"_sj},  // the length goes first
        {-1, "\xF0\x9F\x98\x80", forbidden},                         // no Shift-JIS form
    };
    for (const Case& c : cases) {
        std::string sjis;
        EXPECT_EQ(TTextInputDlg::Check(c.Utf8, c.Max, sjis), c.Message) << c.Utf8 << " / " << c.Max;
    }
    std::string sjis;
    TTextInputDlg::Check("表", 10, sjis);
    EXPECT_EQ(sjis, "\x95\x5C");

    EXPECT_EQ(TTextInputDlg::HintText(15), "最大15文字(２バイト文字は7文字)までです。"_sj);
    EXPECT_EQ(TTextInputDlg::HintText(-1), "");
    EXPECT_EQ(TTextInputDlg::HintText(-3), "最大-3文字(２バイト文字は-1文字)までです。"_sj);  // halves toward zero
}

TEST(ScriptForms, FileDialogFiltersExtensionsAndRefusals) {
    const auto filters = ScriptForms::ParseFilter("テキスト (*.txt)|*.txt|画像|*.png; *.bmp|空|"_sj);
    ASSERT_EQ(filters.size(), 2u);  // an entry without patterns is dropped
    EXPECT_EQ(filters[0].Description, "テキスト (*.txt)"_sj);
    EXPECT_EQ(filters[0].Patterns, std::vector<std::string>{"*.txt"});
    EXPECT_EQ(filters[1].Patterns, (std::vector<std::string>{"*.png", "*.bmp"}));
    EXPECT_TRUE(ScriptForms::ParseFilter("").empty());

    const struct {
        const char* Name;
        const char* Extension;
        const char* Result;
    } names[] = {
        {"save", "txt", "save.txt"},
        {"save", ".txt", "save.txt"},
        {"save.dat", "txt", "save.dat"},
        {"dir.x\\save", "txt", "dir.x\\save.txt"},
        {"dir\\", "txt", "dir\\"},
        {"save", "", "save"},
        {"", "txt", ""},
    };
    for (const auto& n : names)
        EXPECT_EQ(ScriptForms::WithDefaultExtension(n.Name, n.Extension), n.Result) << n.Name;
    // The second byte of "表" is a backslash: it separates nothing.
    EXPECT_EQ(ScriptForms::FolderLength("a\\表"_sj), 2u);
    EXPECT_EQ(ScriptForms::FolderLength("表"_sj), 0u);

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kel-script-forms";
    std::filesystem::create_directories(folder / "sub");
    const TFileRoot root(folder.string());
    ASSERT_TRUE(root.WriteFileReplace("sub\\there.txt", "x"));
    EXPECT_EQ(ScriptForms::FileRefusal(root, false, "SUB\\there.txt"), "");
    EXPECT_EQ(ScriptForms::FileRefusal(root, false, "sub\\none.txt"), "ファイルが見つかりません。"_sj);
    EXPECT_EQ(ScriptForms::FileRefusal(root, true, "sub\\new.txt"), "");
    EXPECT_EQ(ScriptForms::FileRefusal(root, true, "new.txt"), "");
    EXPECT_EQ(ScriptForms::FileRefusal(root, true, "nope\\new.txt"), "フォルダが見つかりません。"_sj);
    std::filesystem::remove_all(folder);
}

TEST(ScriptForms, MemoLayoutFollowsTheClientSize) {
    const TMemoLayout l = TMemoLayout::For(495, 449);
    EXPECT_EQ(l.Group.Left, 8);
    EXPECT_EQ(l.Group.Width, 479);
    EXPECT_EQ(l.Group.Height, 393);
    EXPECT_EQ(l.Copy.Top, 417);
    EXPECT_EQ(l.Ok.Left, 217);
    EXPECT_EQ(l.Cancel.Left, 361);
    EXPECT_EQ(ScriptForms::SwapRedBlue(0x12345678), 0x12785634u);
}

TEST(HeadlessScriptForms, AnswersPlayTheFormsAndTheLogRecordsThem) {
    THeadlessScriptForms forms;
    int turns = 0;
    forms.WhileOpen = [&] { ++turns; };

    // The one-line form: the first button confirms; in the one-button form nothing does.
    TLineInputRequest line{nullptr, "題"_sj, "入力"_sj, "初め"_sj, false, "OK", "Cancel"};
    TAnswer typed;
    typed.Text = "変えた";
    forms.Answer(typed);
    std::string text;
    EXPECT_TRUE(forms.LineInput(line, text));
    EXPECT_EQ(text, "変えた"_sj);
    line.OneButton = true;
    forms.Answer({});
    EXPECT_FALSE(forms.LineInput(line, text));
    EXPECT_EQ(text, "初め"_sj);

    // The memo: hidden buttons cannot be pressed, the copy button copies, the close box ends it.
    const TMemoRequest memo{nullptr, "メモ"_sj, "", "一\r\n二\r\n"_sj, "", "OK", "", true, 495, 449};
    TAnswer copy;
    copy.Text = "一\n三";
    copy.Press = TPress::Copy;
    forms.Answer(copy);
    TAnswer cancel;
    cancel.Press = TPress::Cancel;  // not on the form
    forms.Answer(cancel);
    EXPECT_EQ(forms.Memo(memo, text), mrClosed);  // no answer left: the close box
    EXPECT_EQ(text, "一\r\n三\r\n"_sj);
    EXPECT_EQ(forms.Clipboard, "");  // no copy button on this form
    const TMemoRequest readOnly{nullptr, "", "", "a\r\n", "コピー"_sj, "OK", "", false, 495, 449};
    forms.Answer(copy);
    TAnswer ok;
    forms.Answer(ok);
    EXPECT_EQ(forms.Memo(readOnly, text), mrOk);
    EXPECT_EQ(text, "a\r\n");  // read-only: typing changes nothing
    EXPECT_EQ(forms.Clipboard, "a\r\n");

    // The file dialog: the default extension, an open dialog's missing file refused.
    const TFileRoot root;
    TFileDialogRequest open{nullptr, false, "x", "", "", "txt", "Text|*.txt", &root};
    TAnswer missing;
    missing.FileName = "\\no\\such\\file";
    forms.Answer(missing);
    std::string chosen = "kept";
    EXPECT_FALSE(forms.FileDialog(open, chosen));
    EXPECT_EQ(chosen, "kept");
    EXPECT_EQ(forms.Shown.back().Messages, std::vector<std::string>{"ファイルが見つかりません。"_sj});
    EXPECT_EQ(forms.Shown.back().Filters.size(), 1u);

    // The colour dialog: cancelled without a colour.
    uint32_t color = 5;
    forms.Answer({});
    EXPECT_FALSE(forms.ColorDialog({nullptr, 5}, color));
    TAnswer red;
    red.Color = 0xFF;
    forms.Answer(red);
    EXPECT_TRUE(forms.ColorDialog({nullptr, 5}, color));
    EXPECT_EQ(color, 0xFFu);

    std::vector<std::string> kinds, results;
    for (const auto& shown : forms.Shown) {
        kinds.push_back(shown.Kind);
        results.push_back(shown.Result);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"line", "line", "memo", "memo", "open", "color", "color"}));
    EXPECT_EQ(results, (std::vector<std::string>{"ok", "cancel", "close", "ok", "cancel", "cancel", "ok"}));
    EXPECT_EQ(turns, 11);  // once for every answer taken, and for each end without one
}

}  // namespace
