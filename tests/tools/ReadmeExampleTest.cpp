// The README's example game, taken from the README as it stands and run as a shell script from a
// folder that looks like the repository: it must make the game and the game must run cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

// The first "```sh" block after the heading, without its fences; empty when there is none.
std::string ShellBlockAfter(const std::string& text, const std::string& heading) {
    const size_t at = text.find(heading);
    if (at == std::string::npos) return {};
    const size_t open = text.find("\n```sh\n", at);
    if (open == std::string::npos) return {};
    const size_t start = open + 7;
    const size_t close = text.find("\n```\n", start);
    return close == std::string::npos ? std::string() : text.substr(start, close + 1 - start);
}

TEST(ReadmeExampleTest, TheSmallGameOfTheReadmeIsMadeAndRunsWithoutErrors) {
    std::ifstream in(std::string(KEL_SOURCE_DIR) + "/README.md", std::ios::binary);
    const std::string readme((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string script = ShellBlockAfter(readme, "## Making a game");
    ASSERT_FALSE(script.empty());

    // The example names build/ and demo/ from the repository's folder.
    const std::string here = TestData::ScratchDir();
    const fs::path build = fs::path(ToolRun::ToolPath("kelpack")).parent_path().parent_path();
    fs::create_directory_symlink(build, here + "/build");
    fs::create_directory_symlink(std::string(KEL_SOURCE_DIR) + "/demo", here + "/demo");
    std::ofstream(here + "/example.sh", std::ios::binary) << script;

    const ToolRun::TRun run = ToolRun::Shell("cd '" + here + "' && bash -e example.sh");
    EXPECT_EQ(run.Code, 0) << run.Output;
    EXPECT_NE(run.Output.find("error log: empty"), std::string::npos) << run.Output;
    EXPECT_TRUE(fs::exists(here + "/shots/frame000001.png"));
}

}  // namespace
