#include "script/uScriptReplaceDLL.h"

#include <cstring>
#include <stdexcept>

#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/NativeLibrary.h"

namespace {

std::string LibraryFolder(const std::string& hostFolder) {
    return hostFolder.empty() ? FileSystem::ProgramFolder() : hostFolder;
}

}  // namespace

TScriptReplaceDLL::TScriptReplaceDLL(const std::string& path, const std::string& hostFolder) {
    const std::string folder = LibraryFolder(hostFolder);
    std::string host = NativeLibrary::Find(path, folder);
    std::string expanded = host.empty() ? NativeLibrary::Expand(path, folder) : host;
    std::string why;
    Module = host.empty() ? nullptr : NativeLibrary::Open(host, &why);
    // A file that exists but does not load adds the loader's reason on a line of its own.
    if (!Module)
        throw std::runtime_error("Not Found SCRREP.DLL \r\n(" + Encoding::Utf8ToSjis(expanded) + ")" +
                                 (why.empty() ? "" : "\r\n" + Encoding::Utf8ToSjis(why)));
    ModuleFileName = Encoding::Utf8ToSjis(expanded).substr(0, 255);
    if (ModuleFileName.empty()) ModuleFileName = "SCRREP.dll";
    void* proc = NativeLibrary::Symbol(Module, "SRReplace");
    if (!proc) {
        NativeLibrary::Close(Module);
        throw std::runtime_error("関数(SRReplace)の所得に失敗しました"_sj);
    }
    SRReplace = reinterpret_cast<TSRReplace>(proc);
}

TScriptReplaceDLL::TScriptReplaceDLL(TSRReplace call) : SRReplace(call), ModuleFileName("SCRREP.dll") {}

TScriptReplaceDLL::~TScriptReplaceDLL() {
    NativeLibrary::Close(Module);
}

std::string TScriptReplaceDLL::Replace(const std::string& line) {
    if (!SRReplace || line.size() >= kBufferSize) return line;
    char buffer[kBufferSize] = {};
    std::memcpy(buffer, line.data(), line.size());
    SRReplace(buffer);
    return std::string(buffer, strnlen(buffer, kBufferSize));
}

namespace uScriptReplaceDLL {

std::unique_ptr<TScriptReplaceDLL> ScriptReplaceInitialize(const std::string& path, const std::string& hostFolder,
                                                           std::string* failure) {
    if (NativeLibrary::Find(path, LibraryFolder(hostFolder)).empty()) return nullptr;
    try {
        return std::make_unique<TScriptReplaceDLL>(path, hostFolder);
    } catch (const std::exception& e) {
        if (failure) *failure = e.what();
        return nullptr;
    }
}

}  // namespace uScriptReplaceDLL
