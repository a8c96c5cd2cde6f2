// The program kel as a process on the demo: a second copy ends at once while the first plays, a
// copy killed outright keeps no one out, and an end signal in the middle of the game ends it
// within a second with the settings and the system data written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/sdl/SdlMainWindow.h"
#include "tests/real/XServer.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class KelInstanceRealTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            TSdlMainWindow probe("probe", 16, 16);
            if (probe.Failed() || !XServer::Available(probe.Handle()))
                GTEST_SKIP() << "no X display could be opened (" << probe.Error() << "); run under xvfb-run";
        }
        Demo = TestData::ScratchDir();
        Runtime = TestData::ScratchDir();
        const std::string build = "bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + Demo + "' '" +
                                  ToolRun::ToolPath("kelpack") + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(build.c_str()), 0);
    }
    void TearDown() override {
        for (pid_t pid : Started) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // kel on the demo, its lock in a runtime folder of this test's own.
    pid_t Start() {
        const pid_t pid = fork();
        if (pid == 0) {
            const int quiet = open("/dev/null", O_RDWR);
            dup2(quiet, 1);
            dup2(quiet, 2);
            setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            const std::string kel = ToolRun::ToolPath("../kel");
            execl(kel.c_str(), "kel", Demo.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid > 0) Started.push_back(pid);
        return pid;
    }
    // Waits up to the time for the process to end; its status when it did.
    bool Ended(pid_t pid, std::chrono::milliseconds within, int& status) {
        const auto until = Clock::now() + within;
        do {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(Started, pid);
                return true;
            }
            usleep(2000);
        } while (Clock::now() < until);
        return false;
    }
    // Waits up to ten seconds for the game to play: its start writes the settings, and the system
    // data is removed once that happened, so that only the end can write it again.
    bool Playing(pid_t pid) {
        const auto until = Clock::now() + std::chrono::seconds(10);
        int status = 0;
        while (!fs::exists(Settings()) && Clock::now() < until)
            if (Ended(pid, std::chrono::milliseconds(10), status)) return false;
        if (!fs::exists(Settings())) return false;
        // A few hundred milliseconds into the game.
        return !Ended(pid, std::chrono::milliseconds(300), status);
    }
    std::string Settings() const { return Demo + "/GameData/System/config.txt"; }
    std::string SystemData() const { return Demo + "/SaveData/SystemData.dat"; }

    std::string Demo, Runtime;
    std::vector<pid_t> Started;
};

TEST_F(KelInstanceRealTest, OneCopyPlaysAtATimeAndAnEndSignalSavesWithinASecond) {
    const pid_t first = Start();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(Playing(first)) << "the demo did not come to play";

    // A second copy ends at once, successfully, and the first plays on.
    int status = -1;
    const pid_t second = Start();
    ASSERT_TRUE(Ended(second, std::chrono::seconds(3), status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(Ended(first, std::chrono::milliseconds(0), status));

    // Killed outright, the first leaves nothing behind that holds a new one back.
    kill(first, SIGKILL);
    ASSERT_TRUE(Ended(first, std::chrono::seconds(3), status));
    fs::remove(Settings());
    const pid_t third = Start();
    ASSERT_TRUE(Playing(third)) << "a new copy did not start after the first was killed";

    fs::remove(Settings());
    fs::remove(SystemData());
    const auto sent = Clock::now();
    kill(third, SIGTERM);
    ASSERT_TRUE(Ended(third, std::chrono::seconds(5), status));
    EXPECT_LT(Clock::now() - sent, std::chrono::seconds(1));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(fs::exists(Settings()));
    EXPECT_TRUE(fs::exists(SystemData()));
}

}  // namespace
