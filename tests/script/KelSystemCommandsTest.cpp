// The "sys", "dat", "sdat", "ext" and "tcp" words run as script statements: the requests they leave,
// the state they set and read back, the target rule of a system script, the save files they read,
// write, describe and delete, and hostile save names that must not reach outside the save folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/SystemConfigLib.h"
#include "platform/Application.h"
#include "platform/Encoding.h"
#include "script/KelGeneralCommands.h"
#include "script/KelSaveData.h"
#include "script/KelSystemCommands.h"
#include "tests/support/QueryRows.h"
#include "tests/support/SaveFixtures.h"
#include "tests/support/ScriptHarness.h"

namespace {

class SystemWordsTest : public ::testing::Test {
protected:
    SystemWordsTest()
        : H([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
              KelSystemCommands::Register(kinds);
              links.SaveData = &Host;
              links.Dialogs = &Dialogs;
              links.Files = &Folder.Files;
              links.Title = &Title;
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
    }

    // A system script under the harness's game script, as the engine core sets one up, with the
    // system words enabled.
    bool SetUpSystemScript(TKelScript& system) {
        system.Kinds = &H.Kinds;
        system.Words.General = &KelGeneralCommands::Handler();
        if (!system.Setup(TScriptLinks{.Context = &H.Context.Context}, &H.Script)) return false;
        system.ExecuteLine("\\scp,sys");
        return true;
    }

    TSaveFolder Folder;
    TRecordingSaveData Host{Folder.Files};
    TRecordingDialogs Dialogs;
    std::string Title{Application::kUntitled};
    TScriptHarness H;
};

TEST_F(SystemWordsTest, SysRequests) {
    struct Case {
        std::string Statement;
        uint8_t Request;
        std::string Argument;
    };
    const Case cases[] = {
        {"\\e,@@label", srExit, ""},  // no argument even with a label
        {"\\ee,@@x", srExitConfirm, "@@x"},
        {"\\m", srMenu, ""},
        {"\\m,where", srMenu, "@@menu"},  // a label argument is evaluated unless it starts "@@"
        {"\\h,@@log", srLog, "@@log"},
        {"\\rr", srResetConfirm, ""},
        {"\\r,@@top,\"StartUp.s\"", srResetLabel, "@@top,StartUp.s"},
        {"\\s,@@s", srSave, "@@s"},
        {"\\l", srLoad, ""},
        {"\\c,@@c", srConfig, "@@c"},
        {"\\qs", srQuickSave, ""},
        {"\\ql,@@q", srQuickLoad, "@@q"},
        {"\\rsr", srSceneReturn, ""},
        {"\\fm,@@m", srMinimize, ""},
    };
    H.Execute({"\\gvar,str,where", "\\cal,where=\"@@menu\"", "\\scp,sys"});
    for (const Case& c : cases) {
        H.Script.Request = srNone;
        H.Script.RequestArgument = "stale";
        H.Execute({c.Statement});
        EXPECT_EQ(H.Script.Request, c.Request) << c.Statement;
        EXPECT_EQ(H.Script.RequestArgument, c.Argument) << c.Statement;
    }
    EXPECT_EQ(H.Errors(), std::vector<std::string>());
}

TEST_F(SystemWordsTest, SysStateAndQueries) {
    const std::string seventy(70, 'd');
    H.Execute({"\\scp,sys"});
    H.Context.Settings.Skipping = false;
    const std::vector<TQueryRow> rows = {
        {{"\\sr,@@scene"}, "\\?sr", {}, {"@@scene"}},
        {{"\\sret,@@other"}, "\\?sr", {}, {"@@other"}},
        {{"\\p,2"}, "\\?p", {2}},
        {{"\\p,5"}, "\\?p", {2}},  // no such run mode: nothing changes
        {{"\\p,0"}, "\\?p", {0}},
        {{}, "\\skp", {0}},
        {{"\\in,5"}, "\\?in", {5}},
        {{"\\in"}, "\\?in", {0xFFFFFF}},
        {{"\\out,6"}, "\\?out", {6}},
        {{"\\out"}, "\\?out", {0xFFFFFF}},
        {{"\\n,\"[p,0]【花】[rb,今日,きょう]は\",\"\",\"" + seventy + "\",\"four\""},
         "\\?n",
         {},
         {"【花】は", "", std::string(63, 'd'), "four"}},
        {{"\\lk,7"}, "\\?lk", {7}},
        {{"\\lk"}, "\\?lk", {0xFFFFFFF}},  // 28 bits, where "in" and "out" give 24
        {{"\\lkc,12"}, "\\?lkc", {12}},
        {{"\\ckc,3"}, "\\?ckc", {3}},
        {{"\\run,100"}, "\\?run", {100}},
        {{"\\run,0"}, "\\?run", {2048}},
        {{"\\run,-5"}, "\\?run", {2048}},
        {{"\\ss,3"}, "\\?ss", {1}},
        {{"\\ss,0"}, "\\?ss", {0}},
        {{"\\v,\"1.02\""}, "\\?v", {}, {"1.02"}},
        {{"\\ap,300"}, "\\?ap", {300}},
        {{"\\fc,\"Kel %%%fps\""}, "\\?fc", {}, {"Kel %%%fps"}},
        {{"\\tc,\"デモ\""}, "\\?tc", {}, {"デモ"}},
    };
    QueryRows::Run(H, rows);
    EXPECT_EQ(H.Context.Settings.FormCaption, "Kel %%%fps");
    EXPECT_EQ(Title, "デモ"_sj);
    EXPECT_EQ(H.Script.VersionText, "1.02");

    // The layout files of the system screens, cut to 127 bytes.
    H.Execute(
        {"\\lf,\"load.txt\"", "\\sf,\"save.txt\"", "\\mf,\"menu.txt\"", "\\hf,\"" + std::string(130, 'h') + "\""});
    EXPECT_EQ(H.Script.State.LoadScreenFile, "load.txt");
    EXPECT_EQ(H.Script.State.SaveScreenFile, "save.txt");
    EXPECT_EQ(H.Script.State.MenuScreenFile, "menu.txt");
    EXPECT_EQ(H.Script.State.LogScreenFile, std::string(127, 'h'));

    // A query reads only; an unknown word is reported.
    H.Execute({"\\?lk", "\\?n"});
    EXPECT_EQ(H.Script.State.Locks, TScriptStateBlock::kAllLocks);
    H.ClearErrors();
    H.Execute({"\\nope"});
    EXPECT_NE(H.FirstError().find("(sys).\\nope"), std::string::npos) << H.FirstError();
}

// The game script and the system script under it wait for one auto mode: what either sets, both
// read.
TEST_F(SystemWordsTest, TheAutoModeWaitIsTheGameScripts) {
    TKelScript system;
    ASSERT_TRUE(SetUpSystemScript(system));
    system.ExecuteLine("\\ap,300");
    EXPECT_EQ(H.Script.AutoModeWait(), 300);
    H.Execute({"\\scp,sys", "\\ap,120"});
    system.ExecuteLine("\\?ap");
    EXPECT_EQ(system.Evaluate("ResultInt[0]").Value, 120);
    EXPECT_EQ(system.AutoModeWaitCounter, 0);  // the system script keeps none of its own
}

// A system script with the target flag set changes the game script's state, while its requests
// and results stay its own.
TEST_F(SystemWordsTest, TheTargetFlagActsOnTheParent) {
    TKelScript system;
    ASSERT_TRUE(SetUpSystemScript(system));
    system.State.TargetParent = 1;
    system.ExecuteLine("\\lk,5");
    system.ExecuteLine("\\m,@@x");
    system.ExecuteLine("\\?lk");
    EXPECT_EQ(H.Script.State.Locks, 5u);
    EXPECT_EQ(system.State.Locks, TScriptStateBlock::kAllLocks);
    EXPECT_EQ(system.Request, srMenu);
    EXPECT_EQ(H.Script.Request, srNone);
    TCalcValue v = system.Evaluate("ResultInt[0]");
    EXPECT_EQ(v.Value, 5);
    // The system script keeps no system data of its own.
    EXPECT_FALSE(system.SaveSystemData("SystemData.dat"));
    EXPECT_FALSE(system.LoadSystemData("SystemData.dat"));
}

TEST_F(SystemWordsTest, DatWordsOnSaveFiles) {
    H.Execute({"\\gvar,int,n", "\\cal,n=4", "\\scp,sys", "\\n,\"first\",\"second\"", "\\scp,dat"});
    const std::vector<TQueryRow> rows = {
        {{}, "\\s,\"slot.svd\"", {1}},
        {{}, "\\g,\"slot.svd\"", {1}},
        {{}, "\\g,\"none.svd\"", {0}},
        {{}, "\\gd,\"none.svd\"", {0, 0, 0, 0, 0, 0}, {"", "", "", ""}},
        {{"\\cal,n=9"}, "\\l,\"slot.svd\"", {1}},
        {{}, "\\l,\"none.svd\"", {0}},
        {{}, "\\c,\"slot.svd\",\"a\",\"\",\"c\",\"d\"", {1}},
        {{}, "\\c,\"none.svd\",\"a\"", {0}},
        {{}, "\\c,\"3\",\"a\"", {3}},  // a number answers itself, whatever happened
        {{}, "\\d,\"3\"", {3}},
        {{}, "\\d,\"none.svd\"", {0}},
    };
    // The date takes ResultInt[0..5]: the stale result lies past them.
    const TStaleResult stale{6};
    QueryRows::Run(H, rows, stale);
    EXPECT_EQ(H.Var("n").Value, 4);

    // The date and the changed descriptions, the body kept.
    TKelSaveData save(H.Context.Settings.CodeKey);
    ASSERT_TRUE(save.LoadFromFile(Folder.Files, "SaveData\\slot.svd", false, true));
    std::array<int32_t, 6> date{};
    ASSERT_TRUE(KelSaveData::DecodeDate(save.Header.Date, date));
    QueryRows::Run(
        H, {{{}, "\\gd,\"slot.svd\"", {date[0], date[1], date[2], date[3], date[4], date[5]}, {"a", "", "c", "d"}}},
        stale);
    H.Execute({"\\cal,n=9", "\\l,\"slot.svd\""});
    EXPECT_EQ(H.Var("n").Value, 4);

    // A damaged file has no readable header.
    std::ofstream(Folder.Host("bad.svd"), std::ios::binary) << "KELSAVE110 and nothing else";
    QueryRows::Run(H, {{{}, "\\g,\"bad.svd\"", {0}}, {{}, "\\gd,\"bad.svd\"", {0}, {""}}});
    QueryRows::Run(H, {{{}, "\\d,\"slot.svd\"", {1}}, {{}, "\\g,\"slot.svd\"", {0}}});
    EXPECT_FALSE(std::filesystem::exists(Folder.Host("slot.svd")));
}

// Names that point outside the save folder are refused by every word and by the system data;
// nothing outside the folder is read, written or deleted.
TEST_F(SystemWordsTest, HostileSaveNamesStayOutside) {
    std::filesystem::create_directories(Folder.Root + "/deep/inner");
    std::ofstream(Folder.Root + "/x", std::ios::binary) << "keep";
    std::ofstream(Folder.Root + "/deep/x", std::ios::binary) << "keep";
    H.Execute({"\\scp,dat", "\\s,\"inside.svd\""});
    std::filesystem::copy_file(Folder.Host("inside.svd"), Folder.Root + "/x.svd");
    auto listing = [&] {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(Folder.Root))
            if (e.path().string().find("/SaveData") == std::string::npos) files.push_back(e.path().string());
        std::sort(files.begin(), files.end());
        return files;
    };
    const std::vector<std::string> before = listing();
    const std::string names[] = {
        "..\\x",   "..\\x.svd", "..\\..\\x",           "/etc/passwd",         "C:\\x",
        "C:x.svd", "",          "SaveData\\..\\..\\x", std::string(300, 'a'), "sub\\..\\..\\x.svd"};
    for (const std::string& name : names) {
        const std::string arg = "\"" + name + "\"";
        H.ClearErrors();
        for (const char* word : {"\\s,", "\\l,", "\\g,", "\\c,", "\\d,"}) {
            H.Execute({word + arg + ",\"z\""});
            EXPECT_EQ(H.ResultInt(0), 0) << word << Encoding::PrintableUtf8(name);
        }
        H.Execute({"\\gd," + arg});
        EXPECT_EQ(H.ResultInt(0), 0) << Encoding::PrintableUtf8(name);
        EXPECT_TRUE(Dialogs.Shown.empty()) << Encoding::PrintableUtf8(name);
        EXPECT_FALSE(H.Script.SaveSystemData(name)) << Encoding::PrintableUtf8(name);
        EXPECT_FALSE(H.Script.LoadSystemData(name)) << Encoding::PrintableUtf8(name);
        H.Execute({"\\scp,sdat", "\\s," + arg, "\\l," + arg, "\\scp,dat"});
    }
    EXPECT_EQ(listing(), before);
    std::ifstream in(Folder.Root + "/x");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

TEST_F(SystemWordsTest, SdatExtAndTcp) {
    H.Execute({"\\svar,int,visits", "\\cal,visits=3", "\\scp,sdat", "\\s,\"other.dat\"", "\\i"});
    EXPECT_EQ(H.Script.Variables->FindVariable("visits", 0), TVariableScope::None);
    H.Execute({"\\l,\"other.dat\""});
    EXPECT_EQ(H.Var("visits").Value, 3);
    EXPECT_TRUE(std::filesystem::exists(Folder.Host("other.dat")));

    int calls[2] = {0, 0};
    H.Script.ExtensionHooks[0] = [&](TKelScript& s) {
        ++calls[0];
        EXPECT_EQ(s.RequestArgument, "to the host");
    };
    H.Execute({"\\scp,ext", "\\s,\"to the host\""});
    EXPECT_EQ(H.Script.FrameDelay, 2);
    H.Script.FrameDelay = 0;
    H.Execute({"\\i"});  // no second hook: only the delay
    EXPECT_EQ(H.Script.FrameDelay, 2);
    H.Script.ExtensionHooks[1] = [&](TKelScript&) { ++calls[1]; };
    H.Execute({"\\i"});
    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(calls[1], 1);
    EXPECT_EQ(H.Script.Request, srNone);

    H.ClearErrors();
    QueryRows::PlantStale(H);
    H.Execute({"\\scp,tcp", "\\anything,1,2", "\\?x", "\\e"});
    EXPECT_EQ(H.Errors(), std::vector<std::string>());
    EXPECT_EQ(H.Script.Request, srNone);
    EXPECT_EQ(H.ResultInt(5), 77);
}

}  // namespace
