#include "foundation/PackLib.h"

#include "platform/FileSystem.h"

namespace PackLib {

TFileExistsHook FileExistsHook;
TLoadFileHook LoadFileHook;
TPackErrorEvent OnPackError;

namespace {
bool IsScript(const std::string& name) {
    return name.size() >= 2 && name[name.size() - 2] == '.' && (name.back() == 's' || name.back() == 'S');
}
}  // namespace

// Until the pack readers exist the set is empty: names go to the hooks, or to the disk.
bool OpenPacks(const std::string&) { return false; }
void ClosePacks() {}
bool PackExists(int) { return false; }
void SetPackVerify(bool) {}

std::string NormalizePath(std::string_view name) {
    std::string r(name);
    for (auto& c : r)
        if (c == '/') c = '\\';
    return r;
}

std::string ResolveFileName(std::string_view name) {
    std::string n = NormalizePath(name);
    if (FileExistsHook) return FileExistsHook(n) ? n : std::string();
    return FileSystem::FileExists(n) ? n : std::string();
}

std::unique_ptr<TMemoryStream> LoadFile(std::string_view name) {
    std::string n = NormalizePath(name);
    if (LoadFileHook) return LoadFileHook(n);
    if (IsScript(n)) return nullptr;
    auto s = std::make_unique<TMemoryStream>();
    if (!s->LoadFromFile(n)) return nullptr;
    return s;
}

}  // namespace PackLib
