#include "tests/support/TestData.h"

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
}  // namespace TestData
