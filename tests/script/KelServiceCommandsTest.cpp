// The "dlg", "path", "rep", "slog" and "flog" words run as script statements through the headless
// interpreter: what each leaves in the service it reaches, what the queries report and clear, the
// text dialog shown through the headless forms, and the target flag that hands a system script the
// game script's dialog, folders and replace rules.
#include <gtest/gtest.h>

#include "foundation/uInputDevice.h"
#include "platform/Encoding.h"
#include "platform/headless/HeadlessScriptForms.h"
#include "script/KelGeneralCommands.h"
#include "script/KelServiceCommands.h"
#include "script/uLabelLog.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"

namespace {

using TPress = THeadlessScriptForms::TPress;

class ServiceWordsTest : public ::testing::Test {
protected:
    ServiceWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelServiceCommands::Register(kinds);
              links.Forms = &Forms;
              links.ReadTextLog = &ReadText;
              links.FileUseLog = &FileUse;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
    }
    std::string Folders() {
        std::string out;
        for (int32_t i = 0; i < H.Script.Path->Count(); ++i)
            out += Encoding::SjisToUtf8((*H.Script.Path)[i]) + "|";
        return out;
    }

    THeadlessScriptForms Forms;
    TLabelLog ReadText, FileUse;
    TScriptHarness H;
};

TEST_F(ServiceWordsTest, PathReplaceAndLogWords) {
    H.Execute({"\\scp,path", "\\a,\"data\"", "\\a,\"DATA\\\"", "\\d,\"data\""});
    EXPECT_EQ(Folders(), "data\\|");  // added once, with its backslash; removed only as written
    H.Execute({"\\d,\"data\\\""});
    EXPECT_EQ(Folders(), "");

    const std::vector<TQueryRow> rows = {
        {{"\\scp,path", "\\lk,1"}, "\\?lk", {1}},
        {{"\\lk,2"}, "\\?lk", {0}},
        {{"\\lk,1", "\\a,\"x\"", "\\i"}, "\\?lk", {0}},
        {{"\\scp,rep", "\\lk,1"}, "\\?lk", {1}},
        {{"\\lk,0"}, "\\?lk", {0}},
        {{"\\lk,-3"}, "\\?lk", {1}},
        {{"\\i"}, "\\?lk", {0}},
        // The two log switches are separate.
        {{"\\scp,flog", "\\lk,0", "\\scp,llog", "\\lk,1"}, "\\?lk", {1}},
        {{"\\scp,flog"}, "\\?lk", {0}},
        {{"\\scp,llog", "\\i"}, "\\?lk", {0}},
        {{"\\s,\"a.sLabel\",7"}, "\\g,\"A.SLABEL\"", {7}},
        {{"\\s,\"a.sLabel\",5"}, "\\g,\"a.slabel\"", {5}},  // forced, also when smaller
        {{}, "\\g,\"other\"", {-1}},
        {{"\\cc"}, "\\g,\"a.slabel\"", {-1}},
        {{"\\scp,flog", "\\s,\"bgm\\\\a.ogg\",3"}, "\\g,\"bgm\\\\a.ogg\"", {3}},
        {{"\\cc"}, "\\g,\"bgm\\\\a.ogg\"", {-1}},
    };
    QueryRows::Run(H, rows);

    H.Execute({"\\scp,rep", "\\a,{ほげ},{z},1", "\\a,{ほげ},{y},2", "\\a,{b},{c}"});
    ASSERT_EQ(H.Script.Reader->Rules().size(), 2u);
    EXPECT_EQ(H.Script.Reader->Rules()[0].From, "ほげ"_sj);
    EXPECT_EQ(H.Script.Reader->Rules()[0].To, "y");  // the same "from" is overwritten
    EXPECT_EQ(H.Script.Reader->Rules()[0].Kind, 2);
    H.Execute({"\\d,{ほげ}"});
    ASSERT_EQ(H.Script.Reader->Rules().size(), 1u);
    EXPECT_EQ(H.Script.Reader->Rules()[0].Kind, 0);
    const std::string long200(200, 'p');
    H.Execute({"\\et,{" + long200 + "}", "\\nt,{ 空行 }"});
    EXPECT_EQ(H.Script.Reader->PositionRecord().TextLinePrefix, std::string(127, 'p'));
    EXPECT_EQ(H.Script.Reader->PositionRecord().EmptyLineText, " 空行 "_sj);
    H.Execute({"\\i"});
    EXPECT_TRUE(H.Script.Reader->Rules().empty());
    EXPECT_EQ(H.Script.Reader->PositionRecord().TextLinePrefix, "");
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(ServiceWordsTest, AWordOutsideTheTablesIsNotTheirs) {
    for (const char* scope : {"\\scp,dlg", "\\scp,path", "\\scp,rep", "\\scp,llog", "\\scp,flog"}) {
        H.Execute({scope});
        H.ClearErrors();
        H.Execute({"\\nope"});
        EXPECT_NE(H.FirstError().find("未定義の命令"), std::string::npos) << scope;
    }
}

TEST_F(ServiceWordsTest, FileLogPatternsAreKeptLowerCasedAndCut) {
    H.Execute({"\\scp,flog", "\\a,\"BGM\\\"", "\\a,\"bgm\\\"", "\\a,\"AbcdefghijklmnopQ\""});
    EXPECT_EQ(H.Script.FileLogPatterns[0], "bgm\\");
    EXPECT_EQ(H.Script.FileLogPatterns[1], "bgm\\");  // stored again
    EXPECT_EQ(H.Script.FileLogPatterns[2], "abcdefghijklmno");
    H.Execute({"\\d,\"BGM\\\""});  // compared as written: the upper-case text removes nothing
    EXPECT_EQ(H.Script.FileLogPatterns[0], "bgm\\");
    H.Execute({"\\d,\"bgm\\\""});
    EXPECT_EQ(H.Script.FileLogPatterns[0], "");
    EXPECT_EQ(H.Script.FileLogPatterns[1], "");
    for (int i = 0; i < 70; ++i)
        H.Execute({"\\a,\"p" + std::to_string(i) + "\""});
    EXPECT_EQ(H.Script.FileLogPatterns[0], "p0");
    EXPECT_EQ(H.Script.FileLogPatterns[63], "p62");  // a full table takes no more
    H.Execute({"\\lk,1", "\\i"});
    EXPECT_EQ(H.Script.FileLogSuspended, 0);
    for (const std::string& pattern : H.Script.FileLogPatterns)
        EXPECT_EQ(pattern, "");

    // The patterns decide which used files the file-use log counts.
    H.Execute({"\\a,\"SE\\\""});
    H.Script.OnPathFileFound("se\\door.wav");
    H.Script.OnPathFileFound("bgm\\a.ogg");
    EXPECT_EQ(FileUse.GetCount("se\\door.wav"), 1);
    EXPECT_EQ(FileUse.GetCount("bgm\\a.ogg"), -1);
}

TEST_F(ServiceWordsTest, ReadPositionOfTheCurrentScene) {
    ASSERT_TRUE(H.Start("@@scene\n\\wait\n", "@@scene"));
    H.Execute({"\\scp,llog", "\\k"});
    EXPECT_EQ(H.ResultInt(0), 0);
    ReadText.SetCount(H.Script.Reader->GetFileName() + "@@scene", 50, true);
    H.Execute({"\\k"});
    EXPECT_EQ(H.ResultInt(0), 1);
}

TEST_F(ServiceWordsTest, TheTextDialogKeepsItsSettingsAndShowsThem) {
    H.Execute({"\\scp,dlg", "\\t,\"名前\"", "\\c,\"名前を入れてください\"", "\\l,10", "\\p,\"たろう\""});
    THeadlessScriptForms::TAnswer typed;
    typed.Text = "はなこ";
    Forms.Answer(typed);
    H.Input.PressCount = 3;
    H.Execute({"\\e"});
    EXPECT_EQ(H.ResultInt(0), 1);
    EXPECT_EQ(H.ResultStr(0), "はなこ");
    EXPECT_EQ(H.Script.FrameDelay, 2);
    EXPECT_EQ(H.Input.PressCount, 0);  // what was done in the form does not reach the script
    ASSERT_EQ(Forms.Shown.size(), 1u);
    EXPECT_EQ(Forms.Shown[0].Kind, "text");
    EXPECT_EQ(Forms.Shown[0].Caption, "名前"_sj);
    EXPECT_EQ(Forms.Shown[0].Texts,
              (std::vector<std::string>{"名前を入れてください"_sj, "最大10文字(２バイト文字は5文字)までです。"_sj,
                                        "たろう"_sj}));

    // Cancelled: 0 and an empty text, while the dialog keeps what the box held.
    typed.Text = "じろう";
    typed.Press = TPress::Cancel;
    Forms.Answer(typed);
    H.Execute({"\\e"});
    EXPECT_EQ(H.ResultInt(0), 0);
    EXPECT_EQ(H.ResultStr(0), "");
    EXPECT_EQ(H.Script.TextDialog->Text, "じろう"_sj);

    // The settings go into save games.
    TMemoryStream record;
    H.Script.TextDialog->SaveToStream(&record);
    TKelTextDialog back;
    record.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(&record));
    EXPECT_EQ(back.Title, "名前"_sj);
    EXPECT_EQ(back.MaxLength, 10);

    H.Execute({"\\i"});
    EXPECT_EQ(H.Script.TextDialog->Title, "テキスト入力ダイアログ"_sj);
    EXPECT_EQ(H.Script.TextDialog->MaxLength, -1);
    EXPECT_EQ(H.Script.TextDialog->Text, "");
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(ServiceWordsTest, TheTextDialogRefusesTheEleventhByteAndForbiddenCharacters) {
    H.Execute({"\\scp,dlg", "\\l,10"});
    const std::string tooLong = "最大10文字(2バイト文字は5文字)までです。"_sj;
    const std::string forbidden = "使用禁止文字が含まれています。"_sj;
    struct Case {
        std::vector<std::string> Typed;  // each confirmed in turn; the last one passes
        std::vector<std::string> Messages;
    };
    const Case cases[] = {
        {{"あいうえおa", "あいうえお"}, {tooLong}},  // six characters, eleven bytes
        {{"abcdefghijk", "abcdefghij"}, {tooLong}},
        {{"a,b", "a\tb", "{b}", "a\\b", "a\"b", "ab"}, {forbidden, forbidden, forbidden, forbidden, forbidden}},
        {{"表ｶﾅ"}, {}},  // 0x95 0x5C and half-width katakana pass
        // Too long and forbidden: only the length is reported.
        {{"a,bcdefghijk", "a"}, {tooLong}},
    };
    for (const Case& c : cases) {
        Forms.Shown.clear();
        for (const std::string& text : c.Typed) {
            THeadlessScriptForms::TAnswer a;
            a.Text = text;
            Forms.Answer(a);
        }
        H.Execute({"\\e"});
        EXPECT_EQ(H.ResultInt(0), 1) << c.Typed.back();
        EXPECT_EQ(H.ResultStr(0), c.Typed.back());
        ASSERT_EQ(Forms.Shown.size(), 1u);
        EXPECT_EQ(Forms.Shown[0].Messages, c.Messages) << c.Typed.front();
    }

    // A character Shift-JIS cannot hold is refused as it is typed, with the same message.
    Forms.Shown.clear();
    THeadlessScriptForms::TAnswer emoji;
    emoji.Text = "ok\xF0\x9F\x98\x80";
    emoji.Press = TPress::None;
    Forms.Answer(emoji);
    THeadlessScriptForms::TAnswer plain;
    plain.Text = "ok";
    Forms.Answer(plain);
    H.Execute({"\\e"});
    EXPECT_EQ(H.ResultStr(0), "ok");
    EXPECT_EQ(Forms.Shown[0].Messages, std::vector<std::string>{forbidden});
}

TEST_F(ServiceWordsTest, TheTargetFlagHandsASystemScriptTheGameScriptsServices) {
    TKelScript system;
    system.Kinds = &H.Kinds;
    system.Words.General = &KelGeneralCommands::Handler();
    TScriptLinks links{.Context = &H.Context.Context};
    links.Forms = &Forms;
    links.ReadTextLog = &ReadText;
    ASSERT_TRUE(system.Setup(links, &H.Script));
    const auto run = [&](std::initializer_list<const char*> lines) {
        for (const char* line : lines)
            system.ExecuteLine(Encoding::Utf8ToSjis(line));
    };
    run({"\\scp,path", "\\a,\"own\"", "\\srct,1", "\\scp,path", "\\a,\"game\"", "\\lk,1", "\\scp,rep", "\\a,{x},{y}",
         "\\scp,dlg", "\\t,\"game\"", "\\scp,llog", "\\lk,1", "\\scp,path", "\\?lk"});
    EXPECT_EQ(system.Path->Count(), 1);
    EXPECT_EQ(system.Path->Lock, 0);
    EXPECT_EQ(Folders(), "game\\|");
    EXPECT_EQ(H.Script.Path->Lock, 1);
    EXPECT_EQ(H.Script.Reader->Rules().size(), 1u);
    EXPECT_TRUE(system.Reader->Rules().empty());
    EXPECT_EQ(H.Script.TextDialog->Title, "game");
    EXPECT_EQ(system.TextDialog->Title, "テキスト入力ダイアログ"_sj);
    // The log switches are always the interpreter's own; results go to its own variables.
    EXPECT_EQ(system.ReadLogSuspended, 1);
    EXPECT_EQ(H.Script.ReadLogSuspended, 0);
    EXPECT_EQ(system.Evaluate("ResultInt[0]").Value, 1);
    EXPECT_EQ(H.ResultInt(0), 0);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

}  // namespace
