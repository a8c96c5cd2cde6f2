#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"

namespace {

class ErrorLogLibTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        Dir = Log.LogFolder();
        LogFile = Dir + "/ERRORLOG.txt";
    }
    std::string FileText() const {
        std::ifstream in(LogFile, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void PutFile(const std::string& bytes) const { std::ofstream(LogFile, std::ios::binary) << bytes; }
    std::string Dir, LogFile;
};

TEST_F(ErrorLogLibTest, FirstLineTruncatesLaterLinesAppendAndAResetStartsANewFile) {
    PutFile("[ERROR]:from an older run\r\n");
    const std::string position = "[位置]:main.s 開始(3行,1桁)"_sj;

    Log.ErrorLog("\\set bad argument");
    EXPECT_TRUE(Log.ErrorFlag);
    EXPECT_EQ(FileText(), "[ERROR]:\\set bad argument\r\n");

    Log.ErrorFlag = false;
    Log.WriteErrorLog(position);  // a plain line does not raise the flag
    EXPECT_FALSE(Log.ErrorFlag);
    EXPECT_EQ(FileText(), "[ERROR]:\\set bad argument\r\n" + position + "\r\n");
    EXPECT_EQ(Log.ErrorList.Text(), FileText());  // the file's lines are the list's lines

    Log.ClearErrorLog();
    EXPECT_EQ(Log.ErrorList.Count(), 0);
    EXPECT_EQ(FileText(), "[ERROR]:\\set bad argument\r\n" + position + "\r\n");  // clearing alone keeps the file

    Log.ErrorLog("second");
    EXPECT_EQ(FileText(), "[ERROR]:second\r\n");
    EXPECT_EQ(Log.ErrorList.Text(), FileText());
}

TEST_F(ErrorLogLibTest, AnUnwritableFileLosesTheFileLineOnly) {
    // A folder in the way fails the open even for root, who ignores permission bits.
    std::filesystem::create_directory(LogFile);
    Log.ErrorLog("one");
    Log.ErrorLog("two");
    EXPECT_TRUE(Log.ErrorFlag);
    ASSERT_EQ(Log.ErrorList.Count(), 2);
    EXPECT_EQ(Log.ErrorList[0], "[ERROR]:one");
    EXPECT_EQ(Log.ErrorList[1], "[ERROR]:two");

    if (geteuid() != 0) {
        std::filesystem::remove(LogFile);
        Log.ClearErrorLog();
        PutFile("kept\r\n");
        std::filesystem::permissions(LogFile, std::filesystem::perms::owner_read);
        Log.ErrorLog("read-only");
        EXPECT_EQ(Log.ErrorList.Count(), 1);
        EXPECT_EQ(FileText(), "kept\r\n");
    }
}

TEST_F(ErrorLogLibTest, AfterAFailedTruncationLaterLinesDoNotJoinAnOlderFile) {
    std::filesystem::create_directory(LogFile);
    Log.ErrorLog("first");  // cannot truncate
    std::filesystem::remove(LogFile);
    PutFile("[ERROR]:older run\r\n");  // the file is back, still holding another run's lines

    Log.ErrorLog("second");
    EXPECT_EQ(FileText(), "[ERROR]:older run\r\n");
    EXPECT_EQ(Log.ErrorList.Count(), 2);

    Log.ClearErrorLog();  // the next run of lines starts the file again
    Log.ErrorLog("third");
    EXPECT_EQ(FileText(), "[ERROR]:third\r\n");
}

TEST_F(ErrorLogLibTest, AnAppendDoesNotCreateAMissingFile) {
    Log.ErrorLog("first");
    std::filesystem::remove(LogFile);
    Log.ErrorLog("second");
    EXPECT_FALSE(std::filesystem::exists(LogFile));
    EXPECT_EQ(Log.ErrorList.Count(), 2);
}

TEST_F(ErrorLogLibTest, ALinkInTheLogsPlaceIsReplacedNotWrittenThrough) {
    const std::string outside = TestData::ScratchDir() + "/outside.txt";
    std::ofstream(outside, std::ios::binary) << "not a log";
    std::filesystem::create_symlink(outside, LogFile);
    Log.ErrorLog("one");
    Log.ErrorLog("two");
    EXPECT_FALSE(std::filesystem::is_symlink(LogFile));
    EXPECT_EQ(FileText(), "[ERROR]:one\r\n[ERROR]:two\r\n");
    std::ifstream in(outside, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "not a log");
}

TEST_F(ErrorLogLibTest, TwoContextsKeepTheirOwnLinesFlagAndFile) {
    TContextFixture other;
    const std::string otherFile = other.Log.LogFolder() + "/ERRORLOG.txt";
    Log.ErrorLog("here");
    other.Log.WriteErrorLog("there");
    other.Log.WriteErrorLog("again");
    EXPECT_TRUE(Log.ErrorFlag);
    EXPECT_FALSE(other.Log.ErrorFlag);
    EXPECT_EQ(Log.ErrorList.Count(), 1);
    EXPECT_EQ(FileText(), "[ERROR]:here\r\n");
    std::ifstream in(otherFile, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "there\r\nagain\r\n");
}

}  // namespace
