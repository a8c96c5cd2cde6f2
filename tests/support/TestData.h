// Where the tests find their fixtures, and a scratch folder per test.
#pragma once

#include <string>

namespace TestData {
// Host path of a file below tests/data.
inline std::string Path(const std::string& name) {
    return std::string(KEL_TEST_DATA) + "/" + name;
}
// A new empty folder under the system's temporary folder (host path), removed with the process.
std::string ScratchDir();
}  // namespace TestData
