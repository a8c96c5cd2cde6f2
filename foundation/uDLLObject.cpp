#include "foundation/uDLLObject.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <vector>

#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"

namespace {

bool IsFile(const std::string& host) {
    struct stat st;
    return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// An absolute host path stays as it is; anything else is looked up below the root folder.
std::string HostFile(const std::string& enginePath) {
    if (!enginePath.empty() && enginePath[0] == '/') return Encoding::SjisToUtf8(enginePath);
    return FileSystem::HostPath(enginePath);
}

}  // namespace

TDLLObject::~TDLLObject() {
    if (Module) dlclose(Module);
}

bool TDLLObject::LoadDLL(const std::string& path) {
    if (Module) {
        LoadError = "a library is loaded already";
        return false;
    }
    std::vector<std::string> candidates{path};
    if (path.size() > 4 && ClassLib::SameTextAscii(std::string_view(path).substr(path.size() - 4), ".dll"))
        candidates.push_back(path.substr(0, path.size() - 4) + ".so");

    LoadError.clear();
    for (const std::string& candidate : candidates) {
        std::string host = HostFile(candidate);
        if (!IsFile(host)) continue;
        char* absolute = realpath(host.c_str(), nullptr);
        std::string full = absolute ? absolute : host;
        free(absolute);
        dlerror();
        void* module = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = dlerror();
            LoadError = full + ": " + (why ? why : "cannot be loaded");
            continue;  // a Windows file under the ".dll" name: the ".so" may still load
        }
        Module = module;
        ModuleFileName = Encoding::Utf8ToSjis(full).substr(0, 255);
        LoadError.clear();
        return Bind();
    }
    if (LoadError.empty()) {
        // None of the names is there: the message names the file this system would load, the
        // ".so" of a ".dll" name, where the binding looked for it.
        const std::string& wanted = candidates.back();
        const std::string host =
            !wanted.empty() && wanted[0] == '/' ? Encoding::SjisToUtf8(wanted) : FileSystem::HostPathForWrite(wanted);
        LoadError = (host.empty() ? Encoding::SjisToUtf8(wanted) : host) + ": no such library";
    }
    return false;
}

bool TDLLObject::GetProc(void*& slot, const char* name) {
    slot = Module ? dlsym(Module, name) : nullptr;
    return slot != nullptr;
}
