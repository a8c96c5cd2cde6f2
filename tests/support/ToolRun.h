// Runs one of the repository's tool programs, built beside the test programs, and takes what it
// printed and its exit code.
#pragma once

#include <string>

namespace ToolRun {

struct TRun {
    int Code = -1;       // the exit code; -1 when the program did not end normally
    std::string Output;  // standard output and standard error together
};

// The host path of build/tools/<name>, found from the running test program.
std::string ToolPath(const std::string& name);
// Runs the tool with arguments that the shell splits (quote them as the shell wants).
TRun Run(const std::string& name, const std::string& args);
// Runs a shell command line.
TRun Shell(const std::string& command);

}  // namespace ToolRun
