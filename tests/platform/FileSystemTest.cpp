#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/FileSystem.h"
#include "tests/support/TestData.h"

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void Put(const std::string& rel, const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(Dir + "/" + rel).parent_path());
        std::ofstream(Dir + "/" + rel, std::ios::binary) << bytes;
    }
    std::string Dir = TestData::ScratchDir();
    TFileRoot Files{Dir};
};

TEST_F(FileSystemTest, FindsSegmentsWithoutRegardToCase) {
    Put("gamedata/system/config.txt", "x=1");
    std::string bytes;
    ASSERT_TRUE(Files.ReadFile("GameData\\System\\Config.TXT", bytes));
    EXPECT_EQ(bytes, "x=1");
    EXPECT_TRUE(Files.FileExists("GAMEDATA/system\\CONFIG.txt"));
    EXPECT_FALSE(Files.FileExists("GameData\\System"));  // a folder is not a file
    EXPECT_TRUE(Files.DirectoryExists("GameData\\System"));
    EXPECT_FALSE(Files.FileExists("GameData\\Missing\\config.txt"));
    // The host would see the path only up to its zero byte, another file than the one named.
    const std::string zero = std::string("GameData\\System\\config.txt") + '\0' + ".bak";
    EXPECT_FALSE(Files.FileExists(zero));
    EXPECT_EQ(Files.HostPathForWrite(zero), "");
    EXPECT_FALSE(Files.WriteFileReplace(zero, "x"));
    ASSERT_TRUE(Files.ReadFile("GameData\\System\\Config.TXT", bytes));
    EXPECT_EQ(bytes, "x=1");
}

TEST_F(FileSystemTest, ShiftJisNamesGoToTheHostInUtf8) {
    Put("セーブ/データ.txt", "ok");
    std::string bytes;
    ASSERT_TRUE(Files.ReadFile("セーブ\\データ.txt"_sj, bytes));
    EXPECT_EQ(bytes, "ok");
    auto names = Files.ListFiles("セーブ"_sj, "*.TXT");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "データ.txt"_sj);
}

TEST_F(FileSystemTest, ReplaceFileKeepsTheOldFileWhenTheWriterFails) {
    Put("save/slot.dat", "old contents");
    bool ok = Files.ReplaceFile("SAVE\\slot.dat", [](TStream& s) {
        s.WriteBuffer("new", 3);
        return false;  // fails midway
    });
    EXPECT_FALSE(ok);
    bool threw = Files.ReplaceFile("save\\slot.dat", [](TStream& s) -> bool {
        s.WriteBuffer("new", 3);
        throw EStreamError("disk full");
    });
    EXPECT_FALSE(threw);
    std::string bytes;
    ASSERT_TRUE(Files.ReadFile("save\\slot.dat", bytes));
    EXPECT_EQ(bytes, "old contents");
    EXPECT_EQ(Files.ListFiles("save").size(), 1u);  // no temporary file left behind

    ASSERT_TRUE(Files.WriteFileReplace("Save\\Slot.dat", "new contents"));
    ASSERT_TRUE(Files.ReadFile("save\\slot.dat", bytes));
    EXPECT_EQ(bytes, "new contents");
    EXPECT_EQ(Files.ListFiles("save").size(), 1u);  // the existing name was reused
}

TEST_F(FileSystemTest, WritesCreateNewNamesAsWritten) {
    ASSERT_TRUE(Files.ForceDirectories("SaveData\\Sub"));
    ASSERT_TRUE(Files.WriteFileReplace("SaveData\\Sub\\New.dat", "abc"));
    EXPECT_TRUE(std::filesystem::exists(Dir + "/SaveData/Sub/New.dat"));
    EXPECT_EQ(Files.FileSize("savedata\\sub\\new.dat"), 3);
    EXPECT_TRUE(Files.DeleteFile("savedata\\sub\\new.dat"));
    EXPECT_EQ(Files.FileSize("savedata\\sub\\new.dat"), -1);
}

// Each root is a folder of its own: two side by side never see each other's files, and one that
// moves reads its new folder.
TEST_F(FileSystemTest, RootsAreIndependentFolders) {
    Put("a.txt", "first");
    const std::string other = TestData::ScratchDir();
    std::ofstream(other + "/b.txt") << "second";
    TFileRoot second(other);
    std::string bytes;
    EXPECT_TRUE(Files.FileExists("A.TXT"));
    EXPECT_FALSE(second.FileExists("a.txt"));
    ASSERT_TRUE(second.ReadFile("B.txt", bytes));
    EXPECT_EQ(bytes, "second");
    EXPECT_FALSE(Files.FileExists("b.txt"));
    second.SetFolder(Dir);
    EXPECT_EQ(second.Folder(), Dir);
    EXPECT_TRUE(second.FileExists("a.txt"));
    EXPECT_FALSE(second.FileExists("b.txt"));
}

TEST_F(FileSystemTest, WritesNeverGoThroughASymbolicLink) {
    const std::string outside = TestData::ScratchDir() + "/outside.txt";
    std::ofstream(outside, std::ios::binary) << "keep me";
    auto outsideText = [&] {
        std::string bytes;
        Files.ReadFile(outside, bytes);
        return bytes;
    };
    namespace fs = std::filesystem;
    // A link in the file's place is replaced by the new file.
    fs::create_symlink(outside, Dir + "/save.dat");
    ASSERT_TRUE(Files.WriteFileReplace("SAVE.DAT", "new"));
    EXPECT_FALSE(fs::is_symlink(Dir + "/save.dat"));
    std::string bytes;
    ASSERT_TRUE(Files.ReadFile("save.dat", bytes));
    EXPECT_EQ(bytes, "new");
    // A link planted under the temporary file's name is not written through either.
    fs::create_symlink(outside, Dir + "/other.dat.tmp" + std::to_string(getpid()));
    ASSERT_TRUE(Files.WriteFileReplace("other.dat", "x"));
    EXPECT_EQ(Files.ListFiles("", "other*").size(), 1u);
    // The streams that write refuse a link; one that leads outside the root is not read either.
    fs::create_symlink(outside, Dir + "/link.dat");
    for (TFileMode mode : {TFileMode::OpenReadWrite, TFileMode::Create, TFileMode::CreateNew, TFileMode::OpenRead})
        EXPECT_THROW(TFileStream(Files, "link.dat", mode), EStreamError) << static_cast<int>(mode);
    EXPECT_EQ(outsideText(), "keep me");
}

TEST_F(FileSystemTest, NothingBelowTheRootIsReachedThroughALinkThatLeadsOutside) {
    namespace fs = std::filesystem;
    const std::string outside = TestData::ScratchDir();
    std::ofstream(outside + "/a.txt", std::ios::binary) << "outside";
    fs::create_symlink(outside, Dir + "/linked");               // a folder outside
    fs::create_symlink(outside + "/a.txt", Dir + "/file.txt");  // a file outside
    Put("inner/real.txt", "inside");
    fs::create_symlink(Dir + "/inner", Dir + "/near");  // a folder inside: followed as ever
    std::string bytes;
    EXPECT_FALSE(Files.FileExists("linked\\a.txt"));
    EXPECT_FALSE(Files.ReadFile("LINKED\\a.txt", bytes));
    EXPECT_FALSE(Files.DirectoryExists("linked"));
    EXPECT_TRUE(Files.ListFiles("linked").empty());
    EXPECT_FALSE(Files.FileExists("file.txt"));
    EXPECT_FALSE(Files.WriteFileReplace("linked\\new.txt", "x"));
    EXPECT_FALSE(Files.ForceDirectories("linked\\sub"));
    EXPECT_FALSE(Files.DeleteFile("linked\\a.txt"));
    EXPECT_FALSE(Files.RenameFile("inner\\real.txt", "linked\\real.txt"));
    EXPECT_THROW(TFileStream(Files, "linked\\b.txt", TFileMode::Create), EStreamError);
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    ASSERT_TRUE(Files.ReadFile("near\\real.txt", bytes));
    EXPECT_EQ(bytes, "inside");
    EXPECT_TRUE(Files.WriteFileReplace("near\\new.txt", "x"));
    EXPECT_TRUE(fs::exists(Dir + "/inner/new.txt"));
    // The file's own link is replaced by what is written; the file outside stays as it was.
    ASSERT_TRUE(Files.WriteFileReplace("file.txt", "mine"));
    EXPECT_FALSE(fs::is_symlink(Dir + "/file.txt"));
    ASSERT_TRUE(Files.ReadFile(outside + "/a.txt", bytes));
    EXPECT_EQ(bytes, "outside");
}

TEST_F(FileSystemTest, AppendingNeverWritesThroughALink) {
    namespace fs = std::filesystem;
    const std::string outside = TestData::ScratchDir() + "/outside.log";
    std::ofstream(outside, std::ios::binary) << "keep";
    const std::string log = Dir + "/x.log";
    fs::create_symlink(outside, log);
    EXPECT_FALSE(FileSystem::AppendToFile(log, "a", FileSystem::TAppend::CreateMissing));
    EXPECT_FALSE(FileSystem::AppendToFile(log, "a", FileSystem::TAppend::Existing));
    // Starting over replaces the link by a file of its own.
    ASSERT_TRUE(FileSystem::AppendToFile(log, "1\n", FileSystem::TAppend::Restart));
    EXPECT_FALSE(fs::is_symlink(log));
    ASSERT_TRUE(FileSystem::AppendToFile(log, "2\n", FileSystem::TAppend::Existing));
    fs::remove(log);
    EXPECT_FALSE(FileSystem::AppendToFile(log, "3\n", FileSystem::TAppend::Existing));  // not made again
    ASSERT_TRUE(FileSystem::AppendToFile(log, "4\n", FileSystem::TAppend::CreateMissing));
    std::string bytes;
    ASSERT_TRUE(Files.ReadFile(log, bytes));
    EXPECT_EQ(bytes, "4\n");
    ASSERT_TRUE(Files.ReadFile(outside, bytes));
    EXPECT_EQ(bytes, "keep");
}

TEST_F(FileSystemTest, StaleTemporariesOfAFileAreRemoved) {
    // The number of a process that has ended.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child), mine = std::to_string(getpid());
    for (const std::string& name : {"cfg.txt.tmp" + dead, "cfg.txt.tmp" + mine, std::string("cfg.txt.tmp1"),
                                    std::string("cfg.txt.tmpx"), "other.txt.tmp" + dead, std::string("cfg.txt")})
        Put("sys/" + name, "x");
    Files.RemoveStaleTemporaries("SYS\\CFG.TXT");
    std::vector<std::string> left = Files.ListFiles("sys");
    std::sort(left.begin(), left.end());
    // Only the leftover of the ended process goes: a running one may be writing its file now.
    EXPECT_EQ(left, (std::vector<std::string>{"cfg.txt", "cfg.txt.tmp1", "cfg.txt.tmp" + mine, "cfg.txt.tmpx",
                                              "other.txt.tmp" + dead}));
}

int failingSyncCalls = 0;  // the number of the sync call that fails, counting down
int FailingSync(int fd) {
    if (--failingSyncCalls == 0) {
        errno = EIO;
        return -1;
    }
    return ::fsync(fd);
}

TEST_F(FileSystemTest, ReplaceFileReportsAFailedSync) {
    Put("slot.dat", "old");
    // The file's sync fails: the old file stays and the temporary file goes.
    failingSyncCalls = 1;
    FileSystem::TSyncCall previous = FileSystem::SetSyncCall(&FailingSync);
    EXPECT_FALSE(Files.WriteFileReplace("slot.dat", "new"));
    std::string bytes;
    ASSERT_TRUE(Files.ReadFile("slot.dat", bytes));
    EXPECT_EQ(bytes, "old");
    EXPECT_EQ(Files.ListFiles("").size(), 1u);
    // The folder's sync after the rename fails: the new file is in place, but it is not reported
    // as safely written.
    failingSyncCalls = 2;
    EXPECT_FALSE(Files.WriteFileReplace("slot.dat", "new"));
    ASSERT_TRUE(Files.ReadFile("slot.dat", bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_EQ(Files.ListFiles("").size(), 1u);
    FileSystem::SetSyncCall(previous);
    EXPECT_TRUE(Files.WriteFileReplace("slot.dat", "newer"));
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
    std::string folder = FileSystem::ProgramFolder();
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
