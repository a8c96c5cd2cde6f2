// Game folders made in code for the tests that start games: the packs, and the system-information
// library the start binds.
#pragma once

#include <initializer_list>
#include <map>
#include <string>

#include "platform/FileRoot.h"
#include "tests/support/ContextFixture.h"

class TSystemConfig;

namespace GameFixture {

// Writes dir/GameData/data0.pack holding the files (texts in UTF-8, stored in Shift-JIS as a game
// stores them) and, unless library is empty, copies that file to dir/DLL/SystemInfo.so.
// Files in binaries are stored as they are.
void Write(const std::string& dir, const std::map<std::string, std::string>& files, const std::string& library,
           const std::map<std::string, std::string>& binaries = {});

}  // namespace GameFixture

// A game folder as the program has it open when its start-up dialog shows: Files is the root of
// engine paths, the packs are open, and the game's settings, the defaults and the user's file are
// read into a fresh configuration. The packs, the context's, close on destruction.
class TOpenGame {
public:
    using TFiles = std::map<std::string, std::string>;
    // The game's settings and messages are read into the configuration, a test context's.
    TOpenGame(TSystemConfig& config, const TFiles& files, const TFiles& binaries = {});
    // The same for a list written in place: TOpenGame game(config, {{"System\\etc\\Game.dat", "..."}}).
    TOpenGame(TSystemConfig& config, std::initializer_list<TFiles::value_type> files)
        : TOpenGame(config, TFiles(files)) {}
    ~TOpenGame();
    TOpenGame(const TOpenGame&) = delete;
    TOpenGame& operator=(const TOpenGame&) = delete;

    std::string Dir;  // host path
    TFileRoot Files;
    TContextFixture Context;
    TPackSet& Packs = Context.Packs;
};
