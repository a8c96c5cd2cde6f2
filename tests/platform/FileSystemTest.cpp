#include <gtest/gtest.h>

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

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
    std::string folder = FileSystem::ProgramFolder();
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
