#include "platform/NativeLibrary.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <vector>

#include "platform/Encoding.h"

namespace NativeLibrary {
namespace {

bool IsLead(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || b >= 0xE0;
}

// Segments of an engine path in UTF-8; a trail byte of "\" belongs to its character.
std::vector<std::string> Segments(std::string_view path) {
    std::vector<std::string> segs;
    std::string cur;
    auto flush = [&] {
        if (!cur.empty() && cur != ".") segs.push_back(Encoding::SjisToUtf8(cur));
        cur.clear();
    };
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsLead(static_cast<uint8_t>(path[i])) && i + 1 < path.size()) {
            cur += path[i];
            cur += path[++i];
        } else if (path[i] == '\\' || path[i] == '/') {
            flush();
        } else {
            cur += path[i];
        }
    }
    flush();
    return segs;
}

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// The entry of a folder with this name: the exact one first, else one equal without regard to
// ASCII case; "" when there is none.
std::string FindEntry(const std::string& folder, const std::string& name) {
    std::string exact = (folder == "/" ? std::string() : folder) + "/" + name;
    struct stat st;
    if (stat(exact.c_str(), &st) == 0) return exact;
    DIR* d = opendir(folder.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = readdir(d)) {
        if (SameAscii(e->d_name, name)) {
            found = (folder == "/" ? std::string() : folder) + "/" + e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

bool IsFile(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Absolute(std::string_view p) {
    return !p.empty() && (p[0] == '\\' || p[0] == '/');
}

}  // namespace

std::string Find(std::string_view enginePath, const std::string& hostBase) {
    std::vector<std::string> segs = Segments(enginePath);
    if (segs.empty()) return {};
    std::string folder = Absolute(enginePath) ? std::string("/") : hostBase;
    for (size_t i = 0; i + 1 < segs.size(); ++i) {
        if (segs[i] == "..") {
            folder += "/..";
            continue;
        }
        folder = FindEntry(folder, segs[i]);
        if (folder.empty()) return {};
    }
    const std::string& name = segs.back();
    std::vector<std::string> names;
    if (name.size() > 4 && SameAscii(std::string_view(name).substr(name.size() - 4), ".dll"))
        names.push_back(name.substr(0, name.size() - 4) + ".so");
    names.push_back(name);
    for (const std::string& n : names) {
        std::string hit = FindEntry(folder, n);
        if (!hit.empty() && IsFile(hit)) return hit;
    }
    return {};
}

std::string Expand(std::string_view enginePath, const std::string& hostBase) {
    std::string out = Absolute(enginePath) ? std::string() : hostBase;
    for (const std::string& s : Segments(enginePath))
        out += "/" + s;
    return out;
}

void* Open(const std::string& hostPath) {
    return dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* Symbol(void* handle, const char* name) {
    return handle ? dlsym(handle, name) : nullptr;
}

void Close(void* handle) {
    if (handle) dlclose(handle);
}

}  // namespace NativeLibrary
