// The message-window words run as script statements on a window that a script declares: the text
// each appender adds, the options and what their queries report, the voice words with a recording
// fake and with a real sound library that meets a file it cannot decode, the image words reaching
// the window first, arguments at the ends of the 32-bit range, and the messages for missing
// objects and words that no table knows.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/AnimationBmpWriter.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "objects/KelImageCommands.h"
#include "objects/KelLogdataLib.h"
#include "objects/KelMessageCommands.h"
#include "objects/KelScreenObjects.h"
#include "objects/MessageLib.h"
#include "platform/Encoding.h"
#include "script/KelGeneralCommands.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/FontFixtures.h"
#include "tests/support/MessageFixtures.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/SoundFixtures.h"

namespace {

std::string Sj(const std::string& utf8) {
    return Encoding::Utf8ToSjis(utf8);
}

// The speaker the window words' voices are told for, on voice channel 3 of the test's settings.
void AddSpeaker(TScriptLinks& links) {
    links.Context->Config.Config.ActorLists[3].Add("alice");
}

class MessageWordsTest : public ::testing::Test {
protected:
    MessageWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelScreenObjects::Register(kinds);
              KelImageCommands::Register(kinds);
              KelMessageCommands::Register(kinds);
              AddSpeaker(links);
              links.Sound = &Sound;
              links.BackLog = &Log;
              links.Media = &Media;
          }) {
        FontFixtures::InstallMessageFonts(Media.Fonts);
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.AddRawFile("frame.b", AnimationBmpWriter::Write(AnimationFixtures::StateFile(
                                    24, 12, {AnimationFixtures::SolidPng(24, 12, 0xFF0000FF)})));
        H.AddRawFile("voice\\alice01.ogg", "heard by the fake only");
        H.Declare(TVariableScope::Game, "s", TCalcValueType::String, {1}, "xyz");
        H.Execute({"\\var,msg,win", "\\scp,win", "\\ts,0,0,96,32"});
        auto voice = std::make_unique<TRecordingVoice>();
        Voice = voice.get();
        Window().Voices = std::move(voice);
    }

    TMessageLib& Window() {
        TKelObjectDataCustom* object = H.Script.Objects->Find(H.Var("win").Text);
        return dynamic_cast<TMessageLink&>(*object->ScreenObject()).Object();
    }
    // Runs a statement; what it appended to the window's text.
    std::string Appended(const std::string& statement) {
        const size_t before = Window().MainText.size();
        H.Execute({statement});
        return Window().MainText.substr(before);
    }

    TChannelCounts Sound;
    TKelLogData Log;
    TMediaContext Media;  // the text in font 0, the ruby in font 7
    TScriptHarness H;
    TRecordingVoice* Voice = nullptr;
};

TEST_F(MessageWordsTest, TextWordsAppendTextAndInlineCommands) {
    struct Case {
        std::string Statement;
        std::string Text;  // UTF-8
        std::string Error = "";
    };
    const Case cases[] = {
        {"\\t,こんにちは", "こんにちは"},
        {"\\t,{a,b}", "a,b"},        // inside braces the comma is text
        {"\\t,\"x\"+1", "\"x\"+1"},  // not evaluated
        {"\\o,12+3", "15"},
        {"\\o,\"a\"+s", "axyz"},
        {"\\o,nobody", "", "未定義の変数：nobody"},  // the evaluator's own message
        {"\\o", "0"},
        {"\\n,3", "[n,3]"},
        {"\\n,-2147483648", "[n,-2147483648]"},
        {"\\tp,10,-20", "[p,10,-20]"},
        {"\\oc,0xFFFF0000", "[c,$FFFF0000]"},
        {"\\oc,255", "[c,$FF]"},
        {"\\oc,-2147483648", "[c,$80000000]"},
        {"\\orc,-1", "[rc,$FFFFFFFF]"},
        {"\\opc,\"中央\"", "[pc,中央]"},
        {"\\opr,s", "[pr,xyz]"},
        {"\\orb,\"漢字\",\"かんじ\"", "[rb,漢字,かんじ]"},
        {"\\orb,\"a,b\",\"]\"", "[rb,a,b,]]"},  // passed on as they are
        {"\\w,100", "[w,100]"},
        {"\\w,-2147483648", "[w,0]"},  // a negative wait is none
    };
    for (const Case& c : cases) {
        H.ClearErrors();
        EXPECT_EQ(Appended(c.Statement), Sj(c.Text)) << c.Statement;
        EXPECT_EQ(H.FirstError(), c.Error) << c.Statement;
        EXPECT_EQ(Window().GetState(), TMessageState::Printing) << c.Statement;
    }
    // A window that types at once takes no waits.
    Window().Instant = 1;
    EXPECT_EQ(Appended("\\w,100"), "");
}

// Message windows and buttons, made by the game script or by a system script under it, type into
// the game's one auto-mode wait.
TEST_F(MessageWordsTest, EveryWindowTypesIntoTheGamesAutoModeWait) {
    TKelScript system;
    system.Kinds = &H.Kinds;
    ASSERT_TRUE(system.Setup(TScriptLinks{.Context = &H.Context.Context, .Media = &Media}, &H.Script));
    H.Context.Settings.AutoPlayWaitTime = 30;
    H.Context.Settings.MessageSpeed = 0;
    struct TCase {
        TKelScript* Maker;
        const char* Kind;
    };
    for (const TCase& c :
         {TCase{&H.Script, "msg"}, TCase{&H.Script, "btn"}, TCase{&system, "msg"}, TCase{&system, "btn"}}) {
        const std::string what = std::string(c.Maker == &system ? "system " : "game ") + c.Kind;
        const std::string name = std::string("typist_") + c.Kind;
        ASSERT_TRUE(c.Maker->OnObjectCreate(c.Kind, name)) << what;
        IKelScreenObject* object = c.Maker->Objects->Find(name)->ScreenObject();
        TMessageLib& w = std::string(c.Kind) == "btn"
                             ? static_cast<TMessageLib&>(dynamic_cast<TButtonLink&>(*object).Object())
                             : dynamic_cast<TMessageLink&>(*object).Object();
        w.SetTextRect(0, 0, 96, 32);
        w.SetAutoWait(true);
        w.OwnSpeed = 10;
        H.Script.AutoModeWait() = 0;
        w.AddText(Sj("あい"));
        for (int32_t i = 0; i < 10; ++i)
            w.Update(255, 16);
        EXPECT_EQ(H.Script.AutoModeWait(), 2 * 30) << what;
        EXPECT_EQ(system.AutoModeWaitCounter, 0) << what;
    }
}

TEST_F(MessageWordsTest, TypingOptionsAndTheirQueries) {
    const std::string long200(200, 'h');
    struct Case {
        std::vector<std::string> Statements;
        std::string Query;
        std::vector<int32_t> Ints;
        std::vector<std::string> Strs = {};
    };
    const Case cases[] = {
        {{"\\cc"}, "\\gt", {0}},
        {{"\\t,あ"}, "\\gt", {1}},
        {{"\\cc", "\\oc,255"}, "\\gt", {0}},  // commands alone are nothing to show
        // Typing at 10 ms a character: the advance flushes the page and scrolls full pages at once.
        {{"\\cc", "\\t,あいうえおかきくけこさしすせそ"}, "\\?mc", {1}},
        {{"\\mc"}, "\\?mc", {0}},
        {{"\\ap,1"}, "\\?ap", {1}},
        {{"\\ap,2"}, "\\?ap", {0}},  // only 1 switches it on
        {{"\\as,1"}, "\\?as", {1}},
        {{"\\as,0"}, "\\?as", {0}},
        {{"\\ns,6"}, "\\?ns", {6}},
        {{"\\ns,-2147483648"}, "\\?ns", {INT_MIN}},
        {{"\\nsw,\"「（\""}, "\\?nsw", {}, {"「（"}},
        {{"\\nsw,\"" + long200 + "\""}, "\\?nsw", {}, {long200.substr(0, 127)}},
        // The pen after a clear, and after a character of the window's 32-pixel size.
        {{"\\ns,0", "\\ts,0,0,64,48", "\\t,[p,4,8]"}, "\\?tp", {0, 0}},
        {{"\\mc"}, "\\?tp", {4, 8}},
        {{"\\t,あ", "\\mc"}, "\\?tp", {36, 8}},
    };
    for (const Case& c : cases) {
        std::string what;
        for (const std::string& s : c.Statements)
            what += s + " ";
        what += c.Query;
        H.ClearErrors();
        for (const std::string& s : c.Statements)
            H.Execute({s});
        QueryRows::PlantStale(H);
        H.Execute({c.Query});
        for (size_t i = 0; i < c.Ints.size(); ++i)
            EXPECT_EQ(H.ResultInt(static_cast<int32_t>(i)), c.Ints[i]) << what << ", element " << i;
        for (size_t i = 0; i < c.Strs.size(); ++i)
            EXPECT_EQ(H.ResultStr(static_cast<int32_t>(i)), c.Strs[i]) << what << ", element " << i;
        EXPECT_TRUE(QueryRows::StaleCleared(H)) << what;
        EXPECT_EQ(H.Errors(), std::vector<std::string>{}) << what;
    }
    TMessageLib& w = Window();
    EXPECT_EQ(w.AreaRight, 64);
    // Vertical writing follows the low byte alone, and clears the page.
    H.Execute({"\\t,あ", "\\ls,256"});
    EXPECT_EQ(w.Vertical, 0);
    EXPECT_FALSE(w.HasPendingText());
    H.Execute({"\\ls,0x101"});
    EXPECT_EQ(w.Vertical, 1);
    // "bg" is taken and changes nothing.
    const TMessageRecord before = w.MakeRecord();
    H.Execute({"\\bg,0xFF00FF00"});
    EXPECT_EQ(w.MakeRecord(), before);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(MessageWordsTest, SpeakerVoiceAndBackLog) {
    TMessageLib& w = Window();
    const std::string n = std::to_string(w.Record.SoundChannel);
    H.Execute({"\\ac,\"alice\"", "\\wv,300", "\\sk,1500", "\\sv,40", "\\agc,90"});
    EXPECT_EQ(w.SpeakerName, "alice");
    EXPECT_EQ(w.VoiceVolume, 255);  // held to 0..255
    EXPECT_EQ(w.VoiceStart, 1500);
    EXPECT_EQ(w.VoiceSkipLevel, 40);
    EXPECT_EQ(w.VoiceAutoGain, 90);
    const std::vector<std::string> played = {"stop " + n,
                                             "load " + n + " voice\\alice01.ogg as voice of 3",
                                             "volume " + n + " 255 in 0",
                                             "seek " + n + " 1500",
                                             "skip silence " + n + " 40",
                                             "auto gain " + n + " 90",
                                             "play " + n};
    struct Case {
        std::string Statement;
        bool Loads;
        std::vector<std::string> Calls;
        std::string Stored;
        std::string Error = "";
    };
    const Case cases[] = {
        {"\\wf,\"voice\\alice01.ogg\"", true, played, "voice\\alice01.ogg"},
        {"\\wf,\"voice\\alice01.ogg\",1", true, played, "voice\\alice01.ogg"},
        // Any other flag keeps the voice for the back-log without playing it.
        {"\\wf,\"voice\\alice01.ogg\",0", true, {"stop " + n}, "voice\\alice01.ogg"},
        {"\\wf,\"voice\\alice01.ogg\",2", true, {"stop " + n}, "voice\\alice01.ogg"},
        // No search folder holds it: the voice is forgotten without a word.
        {"\\wf,\"nobody.ogg\"", true, {}, ""},
        {"\\wf", true, {}, ""},
        // The file is there but does not decode: reported, and the script goes on.
        {"\\wf,\"voice\\alice01.ogg\"",
         false,
         {played[0], played[1]},
         "voice\\alice01.ogg",
         "\\wf：ボイスの再生に失敗：voice\\alice01.ogg"},
    };
    for (const Case& c : cases) {
        H.ClearErrors();
        Voice->Calls.clear();
        Voice->Loads = c.Loads;
        H.Script.HoldFrames = 0;
        H.Execute({c.Statement});
        EXPECT_EQ(Voice->Calls, c.Calls) << c.Statement;
        EXPECT_EQ(w.VoiceFile, c.Stored) << c.Statement;
        EXPECT_EQ(H.FirstError(), c.Error) << c.Statement;
        EXPECT_EQ(H.Script.HoldFrames, 2) << c.Statement;  // the next frame step counts no time
    }

    // A start before the voice's beginning is its beginning; the message goes to the back-log
    // with the voice and its settings.
    H.Execute({"\\sk,-2147483648", "\\wv,-5", "\\wf,\"voice\\alice01.ogg\",0", "\\t,こんにちは", "\\lg"});
    EXPECT_EQ(w.VoiceStart, 0);
    EXPECT_EQ(w.VoiceVolume, 0);
    ASSERT_EQ(Log.Count, 1);
    EXPECT_EQ(Log.GetPlainText(0), Sj("こんにちは"));
    EXPECT_EQ(Log.GetName(0), "alice");
    EXPECT_EQ(Log.GetVoice(0), "voice\\alice01.ogg");
    EXPECT_EQ(w.LogCopy, "");
    H.Execute({"\\lg"});  // nothing new to log
    EXPECT_EQ(Log.Count, 1);
}

// A voice file that the sound library cannot decode: the library refuses it, the word reports it
// and the next statements run; a good file plays on the window's stream.
TEST(MessageVoiceTest, AnUndecodableVoiceIsReportedAndTheScriptGoesOn) {
    SoundFixtures::TSoundLibraryRig rig;
    ASSERT_NE(rig.Sound, nullptr);
    TSound& sound = *rig.Sound;
    TScriptHarness h([&](TObjectKindRegistry& kinds, TScriptLinks& links) {
        KelScreenObjects::Register(kinds);
        KelImageCommands::Register(kinds);
        KelMessageCommands::Register(kinds);
        AddSpeaker(links);
        links.SoundLibrary = &sound;
    });
    rig.ReadThrough(h.Context.Packs);
    h.Script.Words.General = &KelGeneralCommands::Handler();
    h.AddRawFile("good.ogg", SoundFixtures::ToneOgg(44100, 2, 1.0));
    h.AddRawFile("broken.ogg", "OggS" + std::string(200, '\x07'));
    ASSERT_TRUE(
        h.Start("\\var,msg,win\n\\scp,win\n\\ac,\"alice\"\n\\wf,\"broken.ogg\"\n\\t,after\n"
                "\\?mc\n\\wf,\"good.ogg\"\n"));
    h.Run(8);  // the raised error flag lets one statement run a frame
    EXPECT_EQ(h.FirstError(), "\\wf：ボイスの再生に失敗：broken.ogg");
    const std::vector<std::string> errors = h.Errors();
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [](const std::string& e) { return e.find("[ERROR]") != std::string::npos; }),
              1);
    TKelObjectDataCustom* object = h.Script.Objects->Find(h.Var("win").Text);
    TMessageLib& w = dynamic_cast<TMessageLink&>(*object->ScreenObject()).Object();
    EXPECT_EQ(w.LogCopy, "after");
    EXPECT_EQ(w.VoiceFile, "good.ogg");
    EXPECT_EQ(sound.SSound->GetState(w.Record.SoundChannel), psPLAY);
}

TEST_F(MessageWordsTest, ImageWordsReachTheWindowFirst) {
    H.Execute({"\\l,\"frame.b\"", "\\p,5,6,2,0", "\\t,[p,9,3]", "\\mc", "\\?p"});
    TMessageLib& w = Window();
    EXPECT_EQ(w.Record.Files[0], "frame.b");
    EXPECT_EQ((std::vector<int32_t>{H.ResultInt(0), H.ResultInt(1), H.ResultInt(2)}), (std::vector<int32_t>{5, 6, 2}));
    EXPECT_EQ(w.PenX, 9);  // "p" placed the window; the text's pen moves on its own
    H.Execute({"\\e"});
    EXPECT_TRUE(w.IsEnabled());
    EXPECT_GT(w.FadeRate, 0);  // opening fades the text in
    H.Execute({"\\d", "\\?e"});
    EXPECT_EQ(H.ResultInt(), 0);
    EXPECT_LT(w.FadeRate, 0);
    H.Execute({"\\t,x", "\\i"});  // the window's own clear
    EXPECT_EQ(w.MainText.find('x'), std::string::npos);
    EXPECT_EQ(H.Errors(), std::vector<std::string>{});
}

TEST_F(MessageWordsTest, EveryWordIsHandledAndOthersAreReported) {
    for (const auto& table : {KelImageCommands::ImageWords(), KelMessageCommands::MessageWords()})
        for (const char* word : table) {
            const std::string statement = std::string("\\") + word;
            H.ClearErrors();
            QueryRows::PlantStale(H);
            H.Execute({statement});
            for (const std::string& e : H.Errors())
                EXPECT_EQ(e.find("未定義"), std::string::npos) << statement << ": " << e;
            if (word[0] == '?' || statement == "\\gt") {
                EXPECT_TRUE(QueryRows::StaleCleared(H)) << statement;
            }
        }
    const QueryRows::TErrorRow cases[] = {
        {{"\\scp,\"nobody\"", "\\t,x"}, "未定義のオブジェクト：nobody"},
        {{"\\scp,win", "\\zz,1"}, "未定義の命令：0_win,0(msg).\\zz,1"},
        {{"\\scp,win", "\\lk,1"}, "未定義の命令：0_win,0(msg).\\lk,1"},  // a button's word
    };
    QueryRows::RunErrors(H, cases);
}

// Arguments at the ends of the 32-bit range reach the window held or refused, and typing and
// drawing with them raise nothing and finish.
TEST_F(MessageWordsTest, ExtremeArgumentsTypeAndDraw) {
    TMessageLib& w = Window();
    H.Execute({"\\ts,-2147483648,-2147483648,2147483647,2147483647"});
    EXPECT_EQ(w.AreaWidth(), MessageLib::kMaxTextSide);
    EXPECT_EQ(w.AreaHeight(), MessageLib::kMaxTextSide);
    H.Execute({"\\ts,2147483647,2147483647,-2147483648,-2147483648", "\\t,あ", "\\mc"});
    EXPECT_TRUE(w.AreaEmpty());
    // A new line further down than the largest page is one of that page's height.
    EXPECT_EQ(Appended("\\n,2147483647"), "[n,4096]");
    H.Execute({"\\l,\"frame.b\"", "\\e", "\\ts,0,0,96,32", "\\ns,2147483647", "\\tp,2147483647,-2147483648",
               "\\t,あいう", "\\n,2147483647", "\\w,2147483647", "\\t,え", "\\ls,-2147483647", "\\t,お",
               "\\ns,-2147483648", "\\t,か", "\\sk,2147483647", "\\sv,-2147483648", "\\agc,2147483647"});
    TARGB8888CellDraw cells;
    cells.SetScreenSize(64, 32);
    for (int frame = 0; frame < 4; ++frame) {
        H.Step(16);
        w.Draw(&cells, 255, 0, 0);
        H.Execute({"\\mc"});
    }
    cells.Render(0xFF000000, false, 0xFFFF);
    EXPECT_EQ(w.GetState(), TMessageState::Done);
    EXPECT_EQ(w.Vertical, 1);
    for (const std::string& e : H.Errors())
        EXPECT_NE(e.find("WARNING"), std::string::npos) << e;  // only the warning of the huge area
}

}  // namespace
