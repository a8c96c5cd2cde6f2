// Engine paths of arbitrary bytes through the name normalisation of the pack layer and through
// the host file system's look-up, below a small game folder made for the run. A path that is
// relative and has no ".." segment never resolves outside the folder; a host path found exists
// and holds no zero byte; a resolved name is the normalised name; a normalised name starts with
// no separator and uses only backslashes.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "platform/FileRoot.h"

namespace {

std::string MakeFolder() {
    char name[] = "/tmp/kel-fuzz-paths-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    const std::filesystem::path root(name);
    for (const char* dir : {"GameData/System", "GameData/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF", "SaveData"})
        std::filesystem::create_directories(root / dir);
    for (const char* file : {"GameData/System/config.txt", "GameData/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/a.txt",
                             "Readme.TXT", "GameData/data0.pack"})
        std::ofstream(root / file) << "x";
    return root.string();
}

// The single-byte characters of a Shift-JIS text, lead bytes and their trail bytes skipped.
bool HasByte(std::string_view s, char c) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(s[i])) && i + 1 < s.size())
            ++i;
        else if (s[i] == c)
            return true;
    }
    return false;
}

// A path that names no parent folder: no segment is "..".
bool StaysBelow(std::string_view path) {
    if (path.empty() || path[0] == '\\' || path[0] == '/') return false;
    std::string segment;
    for (size_t i = 0; i <= path.size(); ++i) {
        const bool end = i == path.size() || path[i] == '\\' || path[i] == '/';
        if (!end) {
            if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(path[i])) && i + 1 < path.size()) segment += path[i++];
            segment += path[i];
            continue;
        }
        if (segment == "..") return false;
        segment.clear();
    }
    return true;
}

bool Inside(const std::string& host, const std::string& root) {
    return host == root || host.rfind(root + "/", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string root = MakeFolder();
    static const TFileRoot files(root);
    TPackSet packs;
    packs.UseFiles(&files);
    const std::string path(reinterpret_cast<const char*>(data), size);

    const std::string normal = PackLib::NormalizePath(path);
    if (!normal.empty() && normal[0] == '\\') std::abort();
    if (HasByte(normal, '/')) std::abort();

    const std::string resolved = packs.ResolveFileName(path);
    if (!resolved.empty() && resolved != normal) std::abort();

    const std::string found = files.HostPath(path);
    struct stat st;
    if (!found.empty() && lstat(found.c_str(), &st) != 0) std::abort();
    const std::string forWrite = files.HostPathForWrite(path);
    // The host sees a path only up to a zero byte: a path holding one would name another file.
    if (found.find('\0') != std::string::npos || forWrite.find('\0') != std::string::npos) std::abort();
    // An empty result names nothing, which stays inside as well.
    if (StaysBelow(path) &&
        (!Inside(found.empty() ? root : found, root) || !Inside(forWrite.empty() ? root : forWrite, root)))
        std::abort();

    files.FileExists(path);
    files.FileSize(path);
    // The path once more as a mask over the folders the path's first segment names.
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) {
        files.ListFiles(path.substr(0, slash), path.substr(slash + 1));
        files.ListDirectories(path.substr(0, slash), path.substr(slash + 1));
    }
    return 0;
}
