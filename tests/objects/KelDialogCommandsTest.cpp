// The "dlgs" words run as script statements through the headless interpreter, their forms played
// by the headless answerers: what each form is shown, what the word returns however the form
// ends, the input reset after every word; and the font settings form's model on a test font:
// the slot it edits, its check boxes, its cancel and its preview.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "foundation/SystemConfigLib.h"
#include "foundation/uInputDevice.h"
#include "media/ARGB8888Font.h"
#include "objects/KelDialogCommands.h"
#include "objects/KelFontDialog.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/headless/HeadlessDialogs.h"
#include "platform/headless/HeadlessScriptForms.h"
#include "script/KelGeneralCommands.h"
#include "script/KelListCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/FontFixtures.h"
#include "tests/support/ScriptHarness.h"

namespace {

using TPress = THeadlessScriptForms::TPress;
using TAnswer = THeadlessScriptForms::TAnswer;

TAnswer Press(TPress press) {
    TAnswer a;
    a.Press = press;
    return a;
}

class DialogsWordsTest : public ::testing::Test {
protected:
    DialogsWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelDialogCommands::Register(kinds);
              KelListCommands::Register(kinds);
              links.Forms = &Forms;
              links.Files = &Files;
              links.MessageForms = &Messages;
              links.Title = &Title;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.Execute({"\\var,list,L", "\\scp,L", "\\a,\"一行目\"", "\\a,\"二行目\"", "\\scp,dlgs"});
    }
    // Runs one statement with a press left in the input device: the word must clear it.
    void Run(const std::string& statement) {
        H.Input.PressCount = 2;
        H.Execute({statement});
        EXPECT_EQ(H.Input.PressCount, 0) << statement << ": the input was not reset";
    }
    std::string Lines() {
        auto* list = dynamic_cast<TKelObjectDataStringList*>(H.Script.Objects->Find(H.Script.Evaluate("L").Text));
        return list ? Encoding::SjisToUtf8(list->Lines().Text()) : "no list";
    }

    TFileRoot Files;
    THeadlessScriptForms Forms;
    THeadlessDialogs Messages;
    std::string Title = "タイトル"_sj;
    TScriptHarness H;
};

TEST_F(DialogsWordsTest, FileDialogs) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kel-dialogs-words";
    std::filesystem::create_directories(folder);
    Files.SetFolder(folder.string());
    ASSERT_TRUE(Files.WriteFileReplace("save01.dat", "x"));

    Forms.Answer(Press(TPress::Cancel));
    Run("\\o,\"start.dat\",\"\",\"saves\",\"dat\",\"セーブ (*.dat)|*.dat|すべて|*.*\"");
    EXPECT_EQ(H.ResultInt(0), 0);
    EXPECT_EQ(H.ResultStr(0), "start.dat");  // cancelled: the name as given
    const auto& open = Forms.Shown.back();
    EXPECT_EQ(open.Kind, "open");
    EXPECT_EQ(open.Caption, "");  // an empty title leaves the dialog its own
    EXPECT_EQ(open.Texts, (std::vector<std::string>{"start.dat", "saves"}));
    ASSERT_EQ(open.Filters.size(), 2u);
    EXPECT_EQ(open.Filters[1].Patterns, std::vector<std::string>{"*.*"});

    TAnswer pick;
    pick.FileName = "save01";
    Forms.Answer(pick);
    Run("\\o,\"\",\"開く\",\"\",\"dat\",\"\"");
    EXPECT_EQ(H.ResultInt(0), 1);
    EXPECT_EQ(H.ResultStr(0), "save01.dat");
    EXPECT_EQ(Forms.Shown.back().Caption, "開く"_sj);

    pick.FileName = "new";
    Forms.Answer(pick);
    Run("\\s,\"\",\"\",\"\",\".txt\",\"\"");
    EXPECT_EQ(Forms.Shown.back().Kind, "save");
    EXPECT_EQ(H.ResultStr(0), "new.txt");
    std::filesystem::remove_all(folder);
}

TEST_F(DialogsWordsTest, ColorDialog) {
    TAnswer red;
    red.Color = 255;
    Forms.Answer(red);
    Run("\\c,0x00ff00");
    EXPECT_EQ(H.ResultInt(0), 1);
    EXPECT_EQ(H.ResultInt(1), 255);
    EXPECT_EQ(H.ResultStr(0), "$0000ff");
    EXPECT_EQ(Forms.Shown.back().Texts, std::vector<std::string>{std::to_string(0x00ff00)});

    Forms.Answer(Press(TPress::Cancel));
    Run("\\c,0x123456");
    EXPECT_EQ(H.ResultInt(0), 0);
    EXPECT_EQ(H.ResultInt(1), 0x123456);
    EXPECT_EQ(H.ResultStr(0), "$123456");
}

TEST_F(DialogsWordsTest, OneLineInputForm) {
    struct Case {
        const char* Statement;
        TAnswer Answer;
        int32_t Result;
        const char* Text;
        std::vector<std::string> Texts;  // group caption, text, the buttons shown
    };
    TAnswer typed;
    typed.Text = "入力した";
    TAnswer typedCancel = typed;
    typedCancel.Press = TPress::Cancel;
    const Case cases[] = {
        {"\\t,\"初め\",\"\",\"\",\"閉じる\",\"\"",
         Press(TPress::Close),
         1,
         "初め",
         {"テキストを入力してください"_sj, "初め"_sj, "閉じる"_sj}},
        {"\\t,\"初め\",\"題\",\"名前\",\"閉じる\",\"\"", typed, 1, "入力した", {"名前"_sj, "初め"_sj, "閉じる"_sj}},
        {"\\t,\"初め\",\"題\",\"名前\",\"はい\",\"いいえ\"",
         typed,
         1,
         "入力した",
         {"名前"_sj, "初め"_sj, "はい"_sj, "いいえ"_sj}},
        {"\\t,\"初め\",\"題\",\"名前\",\"はい\",\"いいえ\"",
         typedCancel,
         0,
         "入力した",
         {"名前"_sj, "初め"_sj, "はい"_sj, "いいえ"_sj}},
        {"\\t,\"初め\",\"題\",\"名前\",\"はい\",\"いいえ\"",
         Press(TPress::Close),
         0,
         "初め",
         {"名前"_sj, "初め"_sj, "はい"_sj, "いいえ"_sj}},
    };
    for (const Case& c : cases) {
        Forms.Answer(c.Answer);
        Run(c.Statement);
        EXPECT_EQ(H.ResultInt(0), c.Result) << c.Statement;
        EXPECT_EQ(H.ResultStr(0), c.Text) << c.Statement;
        EXPECT_EQ(Forms.Shown.back().Texts, c.Texts) << c.Statement;
    }
    EXPECT_EQ(Forms.Shown.front().Caption, "タイトル"_sj);  // an empty caption: the application's title
    EXPECT_EQ(Forms.Shown.back().Caption, "題"_sj);
}

TEST_F(DialogsWordsTest, MemoViewer) {
    // Read-only: the list stays as it was whatever the form did.
    TAnswer typed;
    typed.Text = "書き換え";
    Forms.Answer(typed);
    Run("\\sl,L,\"\",\"中身\",\"コピー\",\"OK\",\"\",0,300,500");
    EXPECT_EQ(H.ResultInt(0), 1);
    EXPECT_EQ(Lines(), "一行目\r\n二行目\r\n");
    const auto& shown = Forms.Shown.back();
    EXPECT_EQ(shown.Caption, "タイトル"_sj);
    EXPECT_EQ(shown.Texts, (std::vector<std::string>{"中身"_sj, "コピー"_sj, "OK", "", "一行目\r\n二行目\r\n"_sj}));
    EXPECT_EQ(shown.Width, 495);  // never below the designed size
    EXPECT_EQ(shown.Height, 500);

    // Editable: the list takes the memo's lines also when the form is cancelled.
    typed.Text = "新しい\n二行";
    typed.Press = TPress::Cancel;
    Forms.Answer(typed);
    Run("\\sl,L,\"題\",\"\",\"\",\"OK\",\"やめる\",1,600");  // no ninth argument: the designed height
    EXPECT_EQ(H.ResultInt(0), 0);
    EXPECT_EQ(Lines(), "新しい\r\n二行\r\n");
    EXPECT_EQ(Forms.Shown.back().Width, 600);
    EXPECT_EQ(Forms.Shown.back().Height, 449);

    // A name that is no list shows an empty memo and changes nothing.
    Forms.Answer(typed);
    Run("\\sl,\"none\",\"\",\"\",\"\",\"OK\",\"やめる\",1");
    EXPECT_EQ(Forms.Shown.back().Texts.back(), "");
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(DialogsWordsTest, MessageForms) {
    struct Case {
        const char* Statement;
        int Click;  // the button clicked, in the form's tab order; -1: none shown
        int32_t Result;
        std::vector<std::string> Buttons;
    };
    const Case cases[] = {
        {"\\d2,\"本文\",\"\",\"はい\",\"いいえ\"", 0, 1, {"はい"_sj, "いいえ"_sj}},
        {"\\d2,\"本文\",\"\",\"はい\",\"いいえ\"", 1, 0, {"はい"_sj, "いいえ"_sj}},
        // A3, A4, A5 stand from left to right: A3 is the form's third button.
        {"\\d3,\"本文\",\"\",\"左\",\"中\",\"右\"", 2, -1, {"中"_sj, "右"_sj, "左"_sj}},
        {"\\d3,\"本文\",\"\",\"左\",\"中\",\"右\"", 0, 1, {"中"_sj, "右"_sj, "左"_sj}},
        {"\\d3,\"本文\",\"\",\"左\",\"中\",\"右\"", 1, 0, {"中"_sj, "右"_sj, "左"_sj}},
        {"\\d,\"本文\",\"\",\"閉じる\",\"\"", 0, 1, {"閉じる"_sj}},
        {"\\d,\"本文\",\"\",\"はい\",\"いいえ\"", 1, 0, {"はい"_sj, "いいえ"_sj}},
        {"\\d2,\"\",\"\",\"はい\",\"いいえ\"", -1, 1, {}},  // no text: nothing shown
        {"\\d,\"\",\"\",\"はい\",\"いいえ\"", -1, 1, {}},
    };
    for (const Case& c : cases) {
        Messages.Shown.clear();
        if (c.Click >= 0) Messages.Click(c.Click);
        Run(c.Statement);
        EXPECT_EQ(H.ResultInt(0), c.Result) << c.Statement;
        ASSERT_EQ(Messages.Shown.size(), c.Click >= 0 ? 1u : 0u) << c.Statement;
        if (c.Click >= 0) {
            EXPECT_EQ(Messages.Shown[0].Buttons, c.Buttons) << c.Statement;
        }
    }
    // "d1" has no result: the results stay as they were.
    H.Script.SetResultInt("ResultInt", 0, 42);
    Messages.Shown.clear();
    Run("\\d1,\"本文\",\"見出し\",\"了解\"");
    EXPECT_EQ(H.ResultInt(0), 42);
    ASSERT_EQ(Messages.Shown.size(), 1u);
    EXPECT_EQ(Messages.Shown[0].Caption, "見出し"_sj);
}

TEST_F(DialogsWordsTest, FontFormAndWordsOutsideTheTable) {
    H.Context.Settings.FontLists[2].Clear();
    H.Context.Settings.FontLists[2].Add("甲"_sj);
    H.Context.Settings.FontLists[2].Add("乙"_sj);
    H.Context.Settings.FontListFlags[2].Clear();
    H.Context.Settings.FontListFlags[2].Add("1");
    H.Context.Settings.FontListFlags[2].Add("1");
    H.Context.Settings.Font[2] = {"甲"_sj, 0, 0, 0};
    TAnswer change;
    change.Face = 1;
    change.Style = FontStyle::Bold;
    Forms.Answer(change);
    Run("\\f,2,\"\",\"\",\"\",\"\",0,0");
    EXPECT_EQ(H.ResultInt(0), 1);
    EXPECT_EQ(H.Context.Settings.Font[2].Name, "乙"_sj);
    EXPECT_EQ(H.Context.Settings.Font[2].Style, FontStyle::Bold);
    const auto& shown = Forms.Shown.back();
    EXPECT_EQ(shown.Caption, "タイトル"_sj);
    EXPECT_EQ(shown.Texts, (std::vector<std::string>{"設定"_sj, "キャンセル"_sj}));
    EXPECT_EQ(shown.Faces, (std::vector<std::string>{"甲"_sj, "乙"_sj}));

    change.Press = TPress::Cancel;
    change.Face = 0;
    Forms.Answer(change);
    Run("\\f,2,\"フォント\",\"決定\",\"戻す\"");
    EXPECT_EQ(H.ResultInt(0), 0);
    EXPECT_EQ(H.Context.Settings.Font[2].Name, "乙"_sj);  // put back as it was at the set-up
    EXPECT_EQ(Forms.Shown.back().Texts, (std::vector<std::string>{"決定"_sj, "戻す"_sj}));

    H.ClearErrors();
    H.Execute({"\\nope"});
    EXPECT_NE(H.FirstError().find("未定義の命令"), std::string::npos);
}

// ---- the font form's model ----

class FontDialogTest : public ::testing::Test, public TContextFixture {
protected:
    FontDialogTest() {
        for (int32_t slot = 0; slot < kFontSlotCount; ++slot) {
            auto& lists = Settings;
            lists.FontLists[static_cast<size_t>(slot)].Clear();
            lists.FontListFlags[static_cast<size_t>(slot)].Clear();
            for (const std::string& name : {std::string(kTestFace), "face " + std::to_string(slot), std::string("B")}) {
                lists.FontLists[static_cast<size_t>(slot)].Add(name);
                lists.FontListFlags[static_cast<size_t>(slot)].Add("1");
            }
            lists.Font[static_cast<size_t>(slot)] = {kTestFace, 0, 0, 0};
        }
        // The configuration sets these fonts, as the main window's media context's.
        ARGB8888Font::Install(Fonts, nullptr, &Context.Config);
    }
    static constexpr const char* kTestFace = "kel test font";
    TFontTable Fonts;
};

TEST_F(FontDialogTest, SetupChoosesTheSlotAndKeepsWhatIsNotGiven) {
    Settings.Font[4] = {"b", 5, 0, 0x112233};  // the last equal name of the list wins
    Settings.FontLists[4].Add("b");
    TKelFontDialog d(Context.Config, Context.Packs);
    EXPECT_EQ(d.Slot, 0);
    d.Setup(4, "", 0, -4);
    EXPECT_EQ(d.Slot, 4);
    EXPECT_EQ(d.PreviewText, "０１あい亜永翳麒―「」"_sj);
    EXPECT_EQ(d.CharWidth, 32);
    EXPECT_EQ(d.CharHeight, 32);
    EXPECT_EQ(d.FaceNames(), (std::vector<std::string>{kTestFace, "face 4", "B", "b"}));
    EXPECT_EQ(d.State().FaceIndex, 3);
    EXPECT_EQ(d.State().Style, 5);
    EXPECT_EQ(d.State().SwatchColor, 0x332211u);
    EXPECT_EQ(d.StyleColorForDialog(), 0x332211u);
    d.Setup(8, "あ"_sj, 20, 24);
    EXPECT_EQ(d.Slot, 4);
    EXPECT_EQ(d.CharWidth, 20);
}

TEST_F(FontDialogTest, ChangesGoLiveAndCancelPutsBackTheSetUpValues) {
    TKelFontDialog d(Context.Config, Context.Packs);
    d.Setup(5, "", 0, 0);
    TFontFormState c = d.State();
    c.FaceIndex = 1;
    c.Quality = 2;
    c.Style = FontStyle::Outline | FontStyle::ThickOutline | FontStyle::Shadow;
    d.ControlsChanged(c);
    const TFontSetting& s = Settings.Font[5];
    EXPECT_EQ(s.Name, "face 5");
    EXPECT_EQ(s.AA, 2);
    EXPECT_EQ(s.Style, 14);
    // Unchecking the outline unchecks the thick outline; checking the thick one alone is undone.
    c = d.State();
    c.Style &= ~FontStyle::Outline;
    d.ControlsChanged(c);
    EXPECT_EQ(s.Style, FontStyle::Shadow);
    EXPECT_EQ(d.State().Style, FontStyle::Shadow);
    c = d.State();
    c.Style |= FontStyle::ThickOutline;
    d.ControlsChanged(c);
    EXPECT_EQ(d.State().Style, FontStyle::Shadow);
    d.StyleColorChosen(0xFF0000FF);  // toolkit order: red, with a high byte the slot does not keep
    EXPECT_EQ(s.StyleColor, 0xFF0000);
    EXPECT_EQ(d.State().SwatchColor, 0xFFu);

    d.Cancel();
    EXPECT_EQ(s.Name, kTestFace);
    EXPECT_EQ(s.Style, 0);
    EXPECT_EQ(s.StyleColor, 0);
    EXPECT_EQ(s.AA, 0);
    EXPECT_EQ(d.State().FaceIndex, 0);
}

TEST_F(FontDialogTest, PreviewShadesTheCellsFromBlackToWhite) {
    // Slot 3 draws with the test font, whose 8 x 8 cells are drawn as they are at that size; the
    // slot keeps its name, so applying the fonts keeps the font.
    FontFixtures::Install(Fonts, {}, 3, kTestFace);
    TKelFontDialog d(Context.Config, Context.Packs, nullptr, &Fonts);
    d.Setup(3, "", 8, 8);
    const std::vector<uint32_t> p = d.Preview();
    ASSERT_EQ(p.size(), 396u * 51u);
    const auto at = [&](int x, int y) { return p[static_cast<size_t>(y) * 396 + static_cast<size_t>(x)]; };
    // The glyphs' frames start at the cells' corners, in grey levels 0, 127 and 255 as the
    // engine's alpha blend lays them over the background (within its one level of rounding).
    const int y = (51 - 8) / 2;
    const auto grey = [](uint32_t pixel, int level) {
        for (int shift : {0, 8, 16})
            if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - level) > 1) return false;
        return true;
    };
    EXPECT_PRED2(grey, at(10, y), 0);
    EXPECT_PRED2(grey, at(10 + 5 * 8, y), 127);
    EXPECT_PRED2(grey, at(10 + 10 * 8, y), 255);
    EXPECT_EQ(at(5, 25), 0xFF888888u);  // the background
    for (int x : {0, 200, 395}) {
        EXPECT_EQ(at(x, 0), 0xFF000000u);
        EXPECT_EQ(at(x, 50), 0xFF000000u);
    }
    EXPECT_EQ(at(0, 25), 0xFF000000u);
    EXPECT_EQ(at(395, 25), 0xFF000000u);

    // One character has no steps to shade across: it is black. Sizes beyond the picture draw
    // nothing and break nothing.
    d.Setup(3, "亜"_sj, 0, 0);
    EXPECT_PRED2(grey, d.Preview()[static_cast<size_t>(y) * 396 + 10], 0);
    d.Setup(3, "", 2000000000, 2000000000);
    EXPECT_EQ(d.Preview()[25 * 396 + 5], 0xFF888888u);
}

}  // namespace
