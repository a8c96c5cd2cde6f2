#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace TestData {
namespace {
struct TScratch {
    ~TScratch() {
        for (const auto& d : Dirs) {
            std::error_code ec;
            std::filesystem::remove_all(d, ec);
        }
    }
    std::vector<std::string> Dirs;
};
TScratch scratch;
}  // namespace

std::string ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kel-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    std::string dir = made ? std::string(made) : std::string();
    if (!dir.empty()) scratch.Dirs.push_back(dir);
    return dir;
}

namespace {
// The single-instance lock of the programs the tests start lies in a runtime folder of the test
// program's own: a game played on the desktop, or by another test program, never holds a started
// kel back.
class TRuntimeFolder final : public ::testing::Environment {
public:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", ScratchDir().c_str(), 1); }
};
[[maybe_unused]] ::testing::Environment* const runtimeFolder = ::testing::AddGlobalTestEnvironment(new TRuntimeFolder);
}  // namespace
}  // namespace TestData
