// Runs one of the project's tools (build/tools/<name>) as a program, for the tools' tests.
#pragma once

#include <string>

namespace ToolRun {

struct TResult {
    int Code = -1;       // the exit code; -1 when the program did not end normally
    std::string Output;  // standard output and standard error together
};

// The tool's path beside the running test program's folder.
std::string ToolPath(const std::string& name);
// args is passed to the shell as it stands: quote paths.
TResult Run(const std::string& name, const std::string& args);

}  // namespace ToolRun
