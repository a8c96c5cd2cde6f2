// Save games and the system data of an interpreter run headless on the script engine alone: a game
// saved inside a subroutine's wait comes back with its variables, routines, state block and log
// settings and goes on where it stood; files that fail their checks are refused with the game left
// alone, and a body that lies ends the game; the system data and its backup; saves killed halfway
// leave whole files; handlers that reset or free objects while the dispatcher hands a statement to
// several objects.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "foundation/SystemConfigLib.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/LittleEndian.h"
#include "script/KelGeneralCommands.h"
#include "script/KelSaveData.h"
#include "script/KelSystemCommands.h"
#include "script/uLabelLog.h"
#include "tests/support/SaveFixtures.h"
#include "tests/support/ScriptHarness.h"

namespace {

std::string ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteHost(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

const char* const kScript =
    "@@main\n"
    "\\gvar,int,n\n"
    "\\gvar,str,s\n"
    "\\svar,int,visits\n"
    "\\cal,n=5\n"
    "\\cal,s=\"before\"\n"
    "\\scp,sys\n"
    "\\n,\"chapter [c,1]one\"\n"
    "\\lk,7\n"
    "\\sub,@@inner\n"
    "\\cal,n=n+100\n"
    "\\wait,100000000\n"
    "@@inner\n"
    "\\var,int,deep\n"
    "\\cal,deep=9\n"
    "\\cal,n=n+1\n"
    "\\wait,50\n"
    "\\cal,n=n+deep\n"
    "\\ret\n";

class SaveGameTest : public ::testing::Test {
protected:
    SaveGameTest() { Make(); }

    // A new interpreter on the same folder: it reads the system data as it is set up.
    void Make() {
        H.reset();
        H = std::make_unique<TScriptHarness>([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
            KelSystemCommands::Register(kinds);
            links.SaveData = &Host;
            links.Dialogs = &Dialogs;
            links.Files = &Folder.Files;
            links.ReadTextLog = &ReadLog;
            links.FileUseLog = &FileLog;
        });
        H->Script.Words.General = &KelGeneralCommands::Handler();
    }
    // The game stopped in the subroutine's wait, n being 6.
    void Play() {
        ASSERT_TRUE(H->Start(kScript));
        H->Step();
        ASSERT_EQ(H->Var("n").Value, 6);
        ASSERT_EQ(H->Script.Thread->Count(), 2);
    }
    // The save file's body taken out, changed and put back as a file that passes every check.
    void Rewrite(const std::string& name, const std::function<void(std::string&)>& change) {
        TKelSaveData save(H->Context.Settings.CodeKey);
        ASSERT_TRUE(save.LoadFromFile(Folder.Files, "SaveData\\" + name, true, true));
        std::string body = save.Body->AsString();
        change(body);
        save.SetBody(TMemoryStream(body));
        ASSERT_TRUE(save.SaveToFile(Folder.Files, "SaveData\\" + name, true, true));
    }

    uint32_t OldKey = 0;  // the key of a fresh configuration
    TSaveFolder Folder;
    TRecordingSaveData Host{Folder.Files};
    TRecordingDialogs Dialogs;
    TLabelLog ReadLog, FileLog;
    std::unique_ptr<TScriptHarness> H;
};

TEST_F(SaveGameTest, ALoadedGameGoesOnWhereItWasSaved) {
    Play();
    TKelScript& s = H->Script;
    s.FileLogSuspended = 1;
    s.FileLogPatterns[3] = "bgm";
    ASSERT_TRUE(s.SaveGame("a.svd", true));
    // Everything changes before the load.
    H->Execute({"\\cal,n=42", "\\cal,s=\"after\"", "\\scp,sys", "\\lk,0"});
    s.FileLogSuspended = 0;
    s.FileLogPatterns[3].clear();
    H->Step(20);

    ASSERT_TRUE(s.LoadGame("a.svd"));
    EXPECT_EQ(H->Var("n").Value, 6);
    EXPECT_EQ(H->Var("s").Text, "before");
    EXPECT_EQ(H->Var("deep").Value, 9);  // a local variable of the subroutine
    EXPECT_EQ(s.Thread->Count(), 2);
    EXPECT_EQ(s.State.Locks, 7u);
    EXPECT_EQ(s.State.SaveDescriptions[0], "chapter one");
    EXPECT_EQ(s.FileLogSuspended, 1);
    EXPECT_EQ(s.FileLogPatterns[3], "bgm");
    // The wait had 50 ms left when the game was saved.
    H->Step(40);
    EXPECT_EQ(H->Var("n").Value, 6);
    H->Step(20);
    EXPECT_EQ(H->Var("n").Value, 115);
    EXPECT_EQ(H->Errors(), std::vector<std::string>());
    EXPECT_TRUE(Dialogs.Shown.empty());

    // The header carries the descriptions; without screen objects there is no thumbnail.
    TKelSaveData header(H->Context.Settings.CodeKey);
    ASSERT_TRUE(header.LoadFromFile(Folder.Files, "SaveData\\a.svd", true, false));
    EXPECT_EQ(header.Header.Descriptions[0], "chapter one");
    EXPECT_EQ(header.Thumbnail, "");
}

TEST_F(SaveGameTest, FilesThatFailTheirChecksAreRefusedAndTheGameStays) {
    Play();
    ASSERT_TRUE(H->Script.SaveGame("a.svd", true));
    const std::string good = ReadHost(Folder.Host("a.svd"));
    H->Execute({"\\cal,n=42"});
    std::string flipped = good;
    flipped[good.size() / 2] ^= 1;
    struct Case {
        const char* What;
        std::string File;
        uint32_t KeyChange;
    };
    const Case cases[] = {
        {"another key", good, 1},
        {"damaged", flipped, 0},
        {"cut short", good.substr(0, good.size() - 100), 0},
        {"no save file at all", "KELSAVE110", 0},
    };
    for (const Case& c : cases) {
        WriteHost(Folder.Host("b.svd"), c.File);
        H->Context.Settings.CodeKey = OldKey + c.KeyChange;
        Dialogs.Shown.clear();
        EXPECT_FALSE(H->Script.LoadGame("b.svd")) << c.What;
        EXPECT_EQ(Dialogs.Shown, std::vector<std::string>{"ReadSaveFileError"}) << c.What;
        EXPECT_EQ(H->Var("n").Value, 42) << c.What;
        EXPECT_EQ(Host.Resets, 0) << c.What;
    }
    H->Context.Settings.CodeKey = OldKey;
    Dialogs.Shown.clear();
    EXPECT_FALSE(H->Script.LoadGame("missing.svd"));
    EXPECT_TRUE(Dialogs.Shown.empty()) << "a missing file is no damaged one";
}

TEST_F(SaveGameTest, ABodyThatLiesEndsTheGame) {
    Play();
    ASSERT_TRUE(H->Script.SaveGame("a.svd", true));
    const std::string good = ReadHost(Folder.Host("a.svd"));
    struct Case {
        const char* What;
        std::function<void(std::string&)> Change;
    };
    const Case cases[] = {
        {"a routine count beyond its bytes", [](std::string& b) { b.replace(0, 4, "\xFF\xFF\xFF\x7F"); }},
        {"a byte short", [](std::string& b) { b.pop_back(); }},
        {"a byte too many", [](std::string& b) { b.push_back('\0'); }},
    };
    int resets = 0;
    for (const Case& c : cases) {
        WriteHost(Folder.Host("a.svd"), good);
        Rewrite("a.svd", c.Change);
        H->Execute({"\\gvar,int,n", "\\cal,n=42"});
        Dialogs.Shown.clear();
        EXPECT_FALSE(H->Script.LoadGame("a.svd")) << c.What;
        EXPECT_EQ(Host.Resets, ++resets) << c.What;
        EXPECT_EQ(Dialogs.Shown, std::vector<std::string>{"ReadSaveFileError"}) << c.What;
        // Nothing of either game is left: the interpreter starts afresh.
        EXPECT_EQ(H->Script.Variables->FindVariable("n", 0), TVariableScope::None) << c.What;
        EXPECT_EQ(H->Script.Thread->Count(), 1) << c.What;
    }
}

TEST_F(SaveGameTest, SystemDataRoundTripsAndDamageChangesNothing) {
    Play();
    H->Execute({"\\cal,visits=3"});
    ReadLog.SetCount("test.s@@inner", 4, true);
    FileLog.SetCount("bgm\\theme.ogg", 2, true);
    ASSERT_TRUE(H->Script.SaveSystemData("SystemData.dat"));
    const std::string good = ReadHost(Folder.Host("SystemData.dat"));

    H->Execute({"\\cal,visits=8"});
    ReadLog.Clear();
    FileLog.Clear();
    ASSERT_TRUE(H->Script.LoadSystemData("SystemData.dat"));
    EXPECT_EQ(H->Var("visits").Value, 3);
    EXPECT_EQ(ReadLog.GetCount("test.s@@inner"), 4);
    EXPECT_EQ(FileLog.GetCount("bgm\\theme.ogg"), 2);

    std::string flipped = good;
    flipped[good.size() / 2] ^= 4;
    H->Execute({"\\cal,visits=8"});
    for (const std::string& bad : {flipped, good.substr(0, 200), std::string()}) {
        WriteHost(Folder.Host("SystemData.dat"), bad);
        EXPECT_FALSE(H->Script.LoadSystemData("SystemData.dat"));
        EXPECT_EQ(H->Var("visits").Value, 8);
        EXPECT_EQ(ReadLog.GetCount("test.s@@inner"), 4);
    }
    H->Context.Settings.CodeKey = OldKey ^ 0x10;
    WriteHost(Folder.Host("SystemData.dat"), good);
    EXPECT_FALSE(H->Script.LoadSystemData("SystemData.dat")) << "another key";
    H->Context.Settings.CodeKey = OldKey;

    // Set-up reads the backup when the file itself is damaged. (The interpreter that goes writes
    // the file first.)
    H.reset();
    WriteHost(Folder.Host("SystemData.dat"), flipped);
    WriteHost(Folder.Host("SystemData.dat.bak"), good);
    Make();
    EXPECT_EQ(H->Var("visits").Value, 3);
}

TEST_F(SaveGameTest, SavingWritesBothSystemFilesAndLoadingOnlyTheFirst) {
    Play();
    ASSERT_TRUE(H->Script.SaveGame("a.svd", true));
    EXPECT_TRUE(std::filesystem::exists(Folder.Host("SystemData.dat")));
    EXPECT_TRUE(std::filesystem::exists(Folder.Host("SystemData.dat.bak")));
    std::filesystem::remove(Folder.Host("SystemData.dat"));
    std::filesystem::remove(Folder.Host("SystemData.dat.bak"));
    ASSERT_TRUE(H->Script.LoadGame("a.svd"));
    EXPECT_TRUE(std::filesystem::exists(Folder.Host("SystemData.dat")));
    EXPECT_FALSE(std::filesystem::exists(Folder.Host("SystemData.dat.bak")));
}

TEST_F(SaveGameTest, AFailedWriteKeepsTheOldFile) {
    Play();
    ASSERT_TRUE(H->Script.SaveGame("a.svd", true));
    const std::string old = ReadHost(Folder.Host("a.svd"));
    H->Execute({"\\cal,n=42"});
    const FileSystem::TSyncCall previous = FileSystem::SetSyncCall([](int) { return -1; });
    EXPECT_FALSE(H->Script.SaveGame("a.svd", true));
    FileSystem::SetSyncCall(previous);
    EXPECT_EQ(ReadHost(Folder.Host("a.svd")), old);
    ASSERT_TRUE(H->Script.LoadGame("a.svd"));
    EXPECT_EQ(H->Var("n").Value, 6);
}

// A child process saves two games in turn, over and over, and is killed at a random moment, two
// hundred times: every time the save file and both system-data files hold one of the two whole.
// Flushing to the disk guards against a power cut, which no test can make; a killed process leaves
// its writes to the file system, so the flushes are skipped (and the body is not compressed), which
// lets the child make many saves in the time it is given.
TEST_F(SaveGameTest, AKilledSaveLeavesTheOldOrTheNewFile) {
    struct TNoFlush {
        FileSystem::TSyncCall Previous = FileSystem::SetSyncCall([](int) { return 0; });
        ~TNoFlush() { FileSystem::SetSyncCall(Previous); }
    } noFlush;
    Play();
    // The two games: their bodies, and their system-data files, which hold no date.
    std::string bodies[2], systemData[2];
    std::chrono::steady_clock::duration saving{};
    for (int k = 0; k < 2; ++k) {
        const auto started = std::chrono::steady_clock::now();
        H->Execute({"\\cal,n=" + std::to_string(k), "\\cal,visits=" + std::to_string(k)});
        ASSERT_TRUE(H->Script.SaveGame("a.svd", false));
        saving += std::chrono::steady_clock::now() - started;
        TKelSaveData save(H->Context.Settings.CodeKey);
        ASSERT_TRUE(save.LoadFromFile(Folder.Files, "SaveData\\a.svd", false, true));
        bodies[k] = save.Body->AsString();
        systemData[k] = ReadHost(Folder.Host("SystemData.dat"));
        ASSERT_TRUE(H->Script.LoadSystemData("SystemData.dat.bak"));
    }
    ASSERT_NE(bodies[0], bodies[1]);
    ASSERT_NE(systemData[0], systemData[1]);
    // A kill lands anywhere in the first two saves of the child.
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(saving);
    std::mt19937 random(47);
    std::uniform_int_distribution<int64_t> moment(0, span.count());
    for (int kill = 0; kill < 200; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int k = 0;; k ^= 1) {
                H->Script.ExecuteLine("\\cal,n=" + std::to_string(k));
                H->Script.ExecuteLine("\\cal,visits=" + std::to_string(k));
                H->Script.SaveGame("a.svd", false);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        TKelSaveData save(H->Context.Settings.CodeKey);
        ASSERT_TRUE(save.LoadFromFile(Folder.Files, "SaveData\\a.svd", false, true)) << kill << ": " << save.Error();
        EXPECT_TRUE(save.Body->AsString() == bodies[0] || save.Body->AsString() == bodies[1]) << kill;
        for (const char* name : {"SystemData.dat", "SystemData.dat.bak"}) {
            const std::string bytes = ReadHost(Folder.Host(name));
            EXPECT_TRUE(bytes == systemData[0] || bytes == systemData[1]) << kill << ": " << name;
        }
        // What a killed save leaves behind is its temporary file, never a part of the file itself.
        for (const auto& entry : std::filesystem::directory_iterator(Folder.Root + "/SaveData"))
            if (entry.path().string().find(".tmp") != std::string::npos) std::filesystem::remove(entry.path());
    }
}

// A handler may reset the interpreter or free objects while the dispatcher still has scoped objects
// to hand the statement to: each is found again by its name.
TEST_F(SaveGameTest, HandlersThatResetOrFreeObjectsLeaveTheWalkSound) {
    ASSERT_TRUE(
        H->Start("@@main\n"
                 "\\svar,int,loads\n"
                 "\\gvar,int,n\n"
                 "\\cal,n=n+1\n"
                 "\\scp,dat\n"
                 "\\s,\"w.svd\"\n"
                 "\\if,loads==0\n"
                 "\\cal,loads=1\n"
                 "\\scp,dat,tcp,sys\n"
                 "\\l,\"w.svd\"\n"
                 "\\fi\n"
                 "\\cal,n=n+10\n"
                 "\\wait,100000000\n"));
    H->Step();
    // The load took the game back to just after the save, with a fresh "tcp" and "sys" of the
    // loaded game; "sys" took "l" as its own word, the load screen.
    EXPECT_EQ(H->Script.Request, srLoad);
    H->Step();
    EXPECT_EQ(H->Var("n").Value, 11);
    EXPECT_EQ(H->Errors(), std::vector<std::string>());

    // Emptying the system variables frees the object they own, which was scoped next.
    H->Execute({"\\svar,img,pic", "\\scp,sdat,pic", "\\i"});
    EXPECT_EQ(H->Script.Variables->FindVariable("pic", 0), TVariableScope::None);
    EXPECT_NE(H->FirstError().find("未定義のオブジェクト"), std::string::npos) << H->FirstError();
}

}  // namespace
