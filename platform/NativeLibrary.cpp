#include "platform/NativeLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "platform/ClassLib.h"
#include "platform/FileSystem.h"

namespace NativeLibrary {
namespace {

bool IsFile(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<std::string> Candidates(std::string_view enginePath) {
    std::vector<std::string> names;
    if (enginePath.size() > 4 && ClassLib::SameTextAscii(enginePath.substr(enginePath.size() - 4), ".dll"))
        names.push_back(std::string(enginePath.substr(0, enginePath.size() - 4)) + ".so");
    names.emplace_back(enginePath);
    return names;
}

std::string Find(std::string_view enginePath, const std::string& hostBase) {
    for (const std::string& n : Candidates(enginePath)) {
        std::string hit = FileSystem::HostPathIn(hostBase, n);
        if (!hit.empty() && IsFile(hit)) return hit;
    }
    return {};
}

std::string Expand(std::string_view enginePath, const std::string& hostBase) {
    return FileSystem::HostPathForWriteIn(hostBase, enginePath);
}

void* Open(const std::string& hostPath, std::string* error) {
    dlerror();
    void* handle = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) {
        const char* why = dlerror();
        *error = why ? why : "the library cannot be loaded";
    }
    return handle;
}

void* Load(std::string_view enginePath, const std::string& hostBase, std::string* loaded, std::string* error) {
    const std::vector<std::string> names = Candidates(enginePath);
    std::string why;
    for (const std::string& n : names) {
        const std::string hit = FileSystem::HostPathIn(hostBase, n);
        if (hit.empty() || !IsFile(hit)) continue;
        char* absolute = realpath(hit.c_str(), nullptr);
        const std::string full = absolute ? absolute : hit;
        free(absolute);
        std::string reason;
        if (void* handle = Open(full, &reason)) {
            if (loaded) *loaded = full;
            return handle;
        }
        if (why.empty()) why = full + ": " + reason;
    }
    if (why.empty()) {
        const std::string wanted = Expand(names.front(), hostBase);
        why = (wanted.empty() ? names.front() : wanted) + ": no such library";
    }
    if (error) *error = why;
    return nullptr;
}

void* Symbol(void* handle, const char* name) {
    return handle ? dlsym(handle, name) : nullptr;
}

void Close(void* handle) {
    if (handle) dlclose(handle);
}

}  // namespace NativeLibrary
