#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "tests/support/TestData.h"

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = TestData::ScratchDir();
        OldRoot = FileSystem::Root();
        FileSystem::SetRoot(Dir);
    }
    void TearDown() override { FileSystem::SetRoot(OldRoot); }
    void Put(const std::string& rel, const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(Dir + "/" + rel).parent_path());
        std::ofstream(Dir + "/" + rel, std::ios::binary) << bytes;
    }
    std::string Dir, OldRoot;
};

TEST_F(FileSystemTest, FindsSegmentsWithoutRegardToCase) {
    Put("gamedata/system/config.txt", "x=1");
    std::string bytes;
    ASSERT_TRUE(FileSystem::ReadFile("GameData\\System\\Config.TXT", bytes));
    EXPECT_EQ(bytes, "x=1");
    EXPECT_TRUE(FileSystem::FileExists("GAMEDATA/system\\CONFIG.txt"));
    EXPECT_FALSE(FileSystem::FileExists("GameData\\System"));  // a folder is not a file
    EXPECT_TRUE(FileSystem::DirectoryExists("GameData\\System"));
    EXPECT_FALSE(FileSystem::FileExists("GameData\\Missing\\config.txt"));
    // The host would see the path only up to its zero byte, another file than the one named.
    const std::string zero = std::string("GameData\\System\\config.txt") + '\0' + ".bak";
    EXPECT_FALSE(FileSystem::FileExists(zero));
    EXPECT_EQ(FileSystem::HostPathForWrite(zero), "");
    EXPECT_FALSE(FileSystem::WriteFileReplace(zero, "x"));
    ASSERT_TRUE(FileSystem::ReadFile("GameData\\System\\Config.TXT", bytes));
    EXPECT_EQ(bytes, "x=1");
}

TEST_F(FileSystemTest, ShiftJisNamesGoToTheHostInUtf8) {
    Put("セーブ/データ.txt", "ok");
    std::string bytes;
    ASSERT_TRUE(FileSystem::ReadFile("セーブ\\データ.txt"_sj, bytes));
    EXPECT_EQ(bytes, "ok");
    auto names = FileSystem::ListFiles("セーブ"_sj, "*.TXT");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "データ.txt"_sj);
}

TEST_F(FileSystemTest, ReplaceFileKeepsTheOldFileWhenTheWriterFails) {
    Put("save/slot.dat", "old contents");
    bool ok = FileSystem::ReplaceFile("SAVE\\slot.dat", [](TStream& s) {
        s.WriteBuffer("new", 3);
        return false;  // fails midway
    });
    EXPECT_FALSE(ok);
    bool threw = FileSystem::ReplaceFile("save\\slot.dat", [](TStream& s) -> bool {
        s.WriteBuffer("new", 3);
        throw EStreamError("disk full");
    });
    EXPECT_FALSE(threw);
    std::string bytes;
    ASSERT_TRUE(FileSystem::ReadFile("save\\slot.dat", bytes));
    EXPECT_EQ(bytes, "old contents");
    EXPECT_EQ(FileSystem::ListFiles("save").size(), 1u);  // no temporary file left behind

    ASSERT_TRUE(FileSystem::WriteFileReplace("Save\\Slot.dat", "new contents"));
    ASSERT_TRUE(FileSystem::ReadFile("save\\slot.dat", bytes));
    EXPECT_EQ(bytes, "new contents");
    EXPECT_EQ(FileSystem::ListFiles("save").size(), 1u);  // the existing name was reused
}

TEST_F(FileSystemTest, WritesCreateNewNamesAsWritten) {
    ASSERT_TRUE(FileSystem::ForceDirectories("SaveData\\Sub"));
    ASSERT_TRUE(FileSystem::WriteFileReplace("SaveData\\Sub\\New.dat", "abc"));
    EXPECT_TRUE(std::filesystem::exists(Dir + "/SaveData/Sub/New.dat"));
    EXPECT_EQ(FileSystem::FileSize("savedata\\sub\\new.dat"), 3);
    EXPECT_TRUE(FileSystem::DeleteFile("savedata\\sub\\new.dat"));
    EXPECT_EQ(FileSystem::FileSize("savedata\\sub\\new.dat"), -1);
}

TEST_F(FileSystemTest, WritesNeverGoThroughASymbolicLink) {
    const std::string outside = TestData::ScratchDir() + "/outside.txt";
    std::ofstream(outside, std::ios::binary) << "keep me";
    auto outsideText = [&] {
        std::string bytes;
        FileSystem::ReadFile(outside, bytes);
        return bytes;
    };
    namespace fs = std::filesystem;
    // A link in the file's place is replaced by the new file.
    fs::create_symlink(outside, Dir + "/save.dat");
    ASSERT_TRUE(FileSystem::WriteFileReplace("SAVE.DAT", "new"));
    EXPECT_FALSE(fs::is_symlink(Dir + "/save.dat"));
    std::string bytes;
    ASSERT_TRUE(FileSystem::ReadFile("save.dat", bytes));
    EXPECT_EQ(bytes, "new");
    // A link planted under the temporary file's name is not written through either.
    fs::create_symlink(outside, Dir + "/other.dat.tmp" + std::to_string(getpid()));
    ASSERT_TRUE(FileSystem::WriteFileReplace("other.dat", "x"));
    EXPECT_EQ(FileSystem::ListFiles("", "other*").size(), 1u);
    // The streams that write refuse a link; reading through one is allowed.
    fs::create_symlink(outside, Dir + "/link.dat");
    for (TFileMode mode : {TFileMode::OpenReadWrite, TFileMode::Create, TFileMode::CreateNew})
        EXPECT_THROW(TFileStream("link.dat", mode), EStreamError) << static_cast<int>(mode);
    EXPECT_NO_THROW(TFileStream("link.dat", TFileMode::OpenRead));
    EXPECT_EQ(outsideText(), "keep me");
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
    EXPECT_FALSE(FileSystem::WriteFileReplace("slot.dat", "new"));
    std::string bytes;
    ASSERT_TRUE(FileSystem::ReadFile("slot.dat", bytes));
    EXPECT_EQ(bytes, "old");
    EXPECT_EQ(FileSystem::ListFiles("").size(), 1u);
    // The folder's sync after the rename fails: the new file is in place, but it is not reported
    // as safely written.
    failingSyncCalls = 2;
    EXPECT_FALSE(FileSystem::WriteFileReplace("slot.dat", "new"));
    ASSERT_TRUE(FileSystem::ReadFile("slot.dat", bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_EQ(FileSystem::ListFiles("").size(), 1u);
    FileSystem::SetSyncCall(previous);
    EXPECT_TRUE(FileSystem::WriteFileReplace("slot.dat", "newer"));
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
    std::string folder = FileSystem::ProgramFolder();
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
