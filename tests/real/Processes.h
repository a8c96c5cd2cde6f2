// Programs the real-window tests start next to the one under test (xdotool, xclip, kel itself).
// Each is started in a process group of its own and ended with it, so that nothing it started in
// turn outlives the test and holds the test's output open.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace Processes {

// Starts a program with an argument vector; its standard output goes to the file when one is
// named. -1 when it cannot be started.
pid_t Start(const std::vector<std::string>& args, const std::string& output = "");
// Ends a started program with its process group and collects it.
void End(pid_t pid);
// Calls step until done holds or ms milliseconds have run out; whether it held.
bool Until(const std::function<bool()>& done, const std::function<void()>& step, int ms = 5000);
// Runs a program to its end while step runs (the program may wait for this one to answer); a
// program still running after ms milliseconds is ended. Whether it ran and exited with 0.
bool RunWhile(const std::vector<std::string>& args, const std::function<void()>& step, const std::string& output = "",
              int ms = 5000);
// An xdotool command, bounded: "windowfocus --sync" waits for the focus for ever where no window
// manager gives it. Whether it succeeded.
bool Xdo(const std::string& args);

}  // namespace Processes
