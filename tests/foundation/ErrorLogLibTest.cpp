#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"
#include "tests/support/TestData.h"

namespace {

class ErrorLogLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        OldFolder = ErrorLogLib::LogFolder();
        Dir = TestData::ScratchDir();
        LogFile = Dir + "/ERRORLOG.txt";
        ErrorLogLib::SetLogFolder(Dir);
        ErrorLogLib::ClearErrorLog();
        ErrorLogLib::ErrorFlag = false;
    }
    void TearDown() override {
        ErrorLogLib::SetLogFolder(OldFolder);
        ErrorLogLib::ClearErrorLog();
        ErrorLogLib::ErrorFlag = false;
    }
    std::string FileText() const {
        std::ifstream in(LogFile, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void PutFile(const std::string& bytes) const { std::ofstream(LogFile, std::ios::binary) << bytes; }
    std::string Dir, LogFile, OldFolder;
};

TEST_F(ErrorLogLibTest, FirstLineTruncatesLaterLinesAppendAndAResetStartsANewFile) {
    PutFile("[ERROR]:from an older run\r\n");
    const std::string position = "[位置]:main.s 開始(3行,1桁)"_sj;

    ErrorLogLib::ErrorLog("\\set bad argument");
    EXPECT_TRUE(ErrorLogLib::ErrorFlag);
    EXPECT_EQ(FileText(), "[ERROR]:\\set bad argument\r\n");

    ErrorLogLib::ErrorFlag = false;
    ErrorLogLib::WriteErrorLog(position);  // a plain line does not raise the flag
    EXPECT_FALSE(ErrorLogLib::ErrorFlag);
    EXPECT_EQ(FileText(), "[ERROR]:\\set bad argument\r\n" + position + "\r\n");
    EXPECT_EQ(ErrorLogLib::ErrorList.Text(), FileText());  // the file's lines are the list's lines

    ErrorLogLib::ClearErrorLog();
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 0);
    EXPECT_EQ(FileText(), "[ERROR]:\\set bad argument\r\n" + position + "\r\n");  // clearing alone keeps the file

    ErrorLogLib::ErrorLog("second");
    EXPECT_EQ(FileText(), "[ERROR]:second\r\n");
    EXPECT_EQ(ErrorLogLib::ErrorList.Text(), FileText());
}

TEST_F(ErrorLogLibTest, AnUnwritableFileLosesTheFileLineOnly) {
    // A folder in the way fails the open even for root, who ignores permission bits.
    std::filesystem::create_directory(LogFile);
    ErrorLogLib::ErrorLog("one");
    ErrorLogLib::ErrorLog("two");
    EXPECT_TRUE(ErrorLogLib::ErrorFlag);
    ASSERT_EQ(ErrorLogLib::ErrorList.Count(), 2);
    EXPECT_EQ(ErrorLogLib::ErrorList[0], "[ERROR]:one");
    EXPECT_EQ(ErrorLogLib::ErrorList[1], "[ERROR]:two");

    if (geteuid() != 0) {
        std::filesystem::remove(LogFile);
        ErrorLogLib::ClearErrorLog();
        PutFile("kept\r\n");
        std::filesystem::permissions(LogFile, std::filesystem::perms::owner_read);
        ErrorLogLib::ErrorLog("read-only");
        EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 1);
        EXPECT_EQ(FileText(), "kept\r\n");
    }
}

TEST_F(ErrorLogLibTest, AfterAFailedTruncationLaterLinesDoNotJoinAnOlderFile) {
    std::filesystem::create_directory(LogFile);
    ErrorLogLib::ErrorLog("first");  // cannot truncate
    std::filesystem::remove(LogFile);
    PutFile("[ERROR]:older run\r\n");  // the file is back, still holding another run's lines

    ErrorLogLib::ErrorLog("second");
    EXPECT_EQ(FileText(), "[ERROR]:older run\r\n");
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 2);

    ErrorLogLib::ClearErrorLog();  // the next run of lines starts the file again
    ErrorLogLib::ErrorLog("third");
    EXPECT_EQ(FileText(), "[ERROR]:third\r\n");
}

TEST_F(ErrorLogLibTest, AnAppendDoesNotCreateAMissingFile) {
    ErrorLogLib::ErrorLog("first");
    std::filesystem::remove(LogFile);
    ErrorLogLib::ErrorLog("second");
    EXPECT_FALSE(std::filesystem::exists(LogFile));
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 2);
}

TEST_F(ErrorLogLibTest, ALinkInTheLogsPlaceIsReplacedNotWrittenThrough) {
    const std::string outside = TestData::ScratchDir() + "/outside.txt";
    std::ofstream(outside, std::ios::binary) << "not a log";
    std::filesystem::create_symlink(outside, LogFile);
    ErrorLogLib::ErrorLog("one");
    ErrorLogLib::ErrorLog("two");
    EXPECT_FALSE(std::filesystem::is_symlink(LogFile));
    EXPECT_EQ(FileText(), "[ERROR]:one\r\n[ERROR]:two\r\n");
    std::ifstream in(outside, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "not a log");
}

}  // namespace
