// Game folders made in code for the tests that start games: the packs, and the system-information
// library the start binds.
#pragma once

#include <map>
#include <string>

namespace GameFixture {

// Writes dir/GameData/data0.pack holding the files (texts in UTF-8, stored in Shift-JIS as a game
// stores them) and the binary files as they are and, unless library is empty, copies that file to
// dir/DLL/SystemInfo.so.
void Write(const std::string& dir, const std::map<std::string, std::string>& files, const std::string& library,
           const std::map<std::string, std::string>& binaries = {});

}  // namespace GameFixture
