#include "tests/support/ToolRun.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>

namespace ToolRun {

std::string ToolPath(const std::string& name) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    // build/tests/kel_tests_<folder> -> build/tools/<name>
    const std::filesystem::path self(std::string(buf, static_cast<size_t>(n)));
    return (self.parent_path().parent_path() / "tools" / name).string();
}

TRun Run(const std::string& name, const std::string& args) {
    return Shell("'" + ToolPath(name) + "' " + args);
}

TRun Shell(const std::string& command) {
    TRun r;
    const std::string cmd = "{ " + command + "; } 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.Output.append(buf.data(), n);
    const int status = pclose(p);
    r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace ToolRun
