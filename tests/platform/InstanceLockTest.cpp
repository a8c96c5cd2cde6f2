// The instance lock: a second taker is refused while the first holds it, and gets it once it is
// given back; where the file goes with and without the user's runtime folder.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/InstanceLock.h"
#include "tests/support/TestData.h"

namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) OldRuntime = old, HadRuntime = true;
        Dir = TestData::ScratchDir();
        setenv("XDG_RUNTIME_DIR", Dir.c_str(), 1);
    }
    void TearDown() override {
        InstanceLock::Release();
        if (HadRuntime)
            setenv("XDG_RUNTIME_DIR", OldRuntime.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    std::string Dir, OldRuntime;
    bool HadRuntime = false;
};

TEST_F(InstanceLockTest, ASecondTakerIsRefusedUntilTheFirstGivesItBack) {
    ASSERT_EQ(InstanceLock::Take("application_game"), InstanceLock::TTake::Taken);
    // Another descriptor on the same file, as another process would hold it.
    const std::string path = InstanceLock::PathFor("application_game");
    EXPECT_EQ(path, Dir + "/application_game.lock");
    const int other = open(path.c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    InstanceLock::Release();
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(InstanceLock::Take("application_game"), InstanceLock::TTake::HeldElsewhere);
    close(other);
    EXPECT_EQ(InstanceLock::Take("application_game"), InstanceLock::TTake::Taken);
}

TEST_F(InstanceLockTest, WithoutARuntimeFolderTheUserIdNamesTheFile) {
    unsetenv("XDG_RUNTIME_DIR");
    const std::string path = InstanceLock::PathFor("application_game");
    EXPECT_EQ(std::filesystem::path(path).filename().string(),
              "application_game-" + std::to_string(getuid()) + ".lock");
    // A link in the lock file's place is never followed: no lock is made through it.
    setenv("XDG_RUNTIME_DIR", Dir.c_str(), 1);
    std::filesystem::create_symlink(Dir + "/elsewhere", Dir + "/linked.lock");
    EXPECT_EQ(InstanceLock::Take("linked"), InstanceLock::TTake::Unavailable);
    EXPECT_FALSE(std::filesystem::exists(Dir + "/elsewhere"));
}

}  // namespace
