#include "tests/real/Processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace Processes {

pid_t Start(const std::vector<std::string>& args, const std::string& output) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty())
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void End(pid_t pid) {
    if (pid <= 0) return;
    kill(-pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

bool Until(const std::function<bool()>& done, const std::function<void()>& step, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        step();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool RunWhile(const std::vector<std::string>& args, const std::function<void()>& step, const std::string& output,
              int ms) {
    const pid_t pid = Start(args, output);
    if (pid < 0) return false;
    int status = 0;
    const bool ended = Until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, step, ms);
    if (!ended) {
        End(pid);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Xdo(const std::string& args) {
    return std::system(("timeout 10 xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace Processes
