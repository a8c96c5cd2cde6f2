#include "platform/NativeLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

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

std::string Find(std::string_view enginePath, const std::string& hostBase) {
    std::vector<std::string> names;
    if (enginePath.size() > 4 && ClassLib::SameTextAscii(enginePath.substr(enginePath.size() - 4), ".dll"))
        names.push_back(std::string(enginePath.substr(0, enginePath.size() - 4)) + ".so");
    names.emplace_back(enginePath);
    for (const std::string& n : names) {
        std::string hit = FileSystem::HostPathIn(hostBase, n);
        if (!hit.empty() && IsFile(hit)) return hit;
    }
    return {};
}

std::string Expand(std::string_view enginePath, const std::string& hostBase) {
    return FileSystem::HostPathForWriteIn(hostBase, enginePath);
}

void* Open(const std::string& hostPath, std::string* error) {
    void* handle = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) {
        const char* why = dlerror();
        *error = why ? why : "the library cannot be loaded";
    }
    return handle;
}

void* Symbol(void* handle, const char* name) {
    return handle ? dlsym(handle, name) : nullptr;
}

void Close(void* handle) {
    if (handle) dlclose(handle);
}

}  // namespace NativeLibrary
