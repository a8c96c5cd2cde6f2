#include "tests/support/GameFixture.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "platform/Encoding.h"
#include "shell/KelSystemLib.h"
#include "shell/MainWindow.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace GameFixture {

void Write(const std::string& dir, const std::map<std::string, std::string>& files, const std::string& library,
           const std::map<std::string, std::string>& binaries) {
    namespace fs = std::filesystem;
    std::vector<PackWriter::TEntry> entries;
    for (const auto& [name, text] : files)
        entries.push_back({name, Encoding::Utf8ToSjis(text)});
    for (const auto& [name, bytes] : binaries)
        entries.push_back({name, bytes});
    fs::create_directories(dir + "/GameData");
    std::ofstream(dir + "/GameData/data0.pack", std::ios::binary)
        << PackWriter::Pack(entries, PackWriter::TVersion::V20);
    if (library.empty()) return;
    fs::create_directories(dir + "/DLL");
    fs::copy_file(library, dir + "/DLL/SystemInfo.so", fs::copy_options::overwrite_existing);
}

}  // namespace GameFixture

TOpenGame::TOpenGame(TSystemConfig& config, const std::map<std::string, std::string>& files,
                     const std::map<std::string, std::string>& binaries)
    : Dir(TestData::ScratchDir()) {
    GameFixture::Write(Dir, files, "", binaries);
    Files.SetFolder(Dir);
    Packs.UseFiles(&Files);
    Packs.OpenPacks("GameData\\");
    config.LoadPackMessageTable(Packs);
    KelSystemLib::LoadGameData(config, Packs);
    config.LoadUserSettings(Files);
}

TOpenGame::~TOpenGame() {
    Packs.ClosePacks();
    Packs.UseFiles(nullptr);
}
