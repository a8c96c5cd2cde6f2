#include "script/uScriptReplaceDLL.h"

#include <cstring>
#include <stdexcept>

#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/NativeLibrary.h"

namespace {

std::string& LibraryFolderRef() {
    static std::string folder;
    return folder;
}

std::string LibraryFolder() {
    const std::string& f = LibraryFolderRef();
    return f.empty() ? FileSystem::ProgramFolder() : f;
}

}  // namespace

TScriptReplaceDLL::TScriptReplaceDLL(const std::string& path) {
    std::string host = NativeLibrary::Find(path, LibraryFolder());
    std::string expanded = host.empty() ? NativeLibrary::Expand(path, LibraryFolder()) : host;
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

std::string TScriptReplaceDLL::Replace(std::string_view line) const {
    if (!SRReplace || line.size() >= kBufferSize) return std::string(line);
    char buffer[kBufferSize] = {};
    std::memcpy(buffer, line.data(), line.size());
    SRReplace(buffer);
    return std::string(buffer, strnlen(buffer, kBufferSize));
}

namespace uScriptReplaceDLL {

std::unique_ptr<TScriptReplaceDLL> ScriptReplaceDLL;

bool ScriptReplaceInitialize(const std::string& path, std::string* failure) {
    ScriptReplaceFinalize();
    if (NativeLibrary::Find(path, LibraryFolder()).empty()) return false;
    try {
        ScriptReplaceDLL = std::make_unique<TScriptReplaceDLL>(path);
    } catch (const std::exception& e) {
        if (failure) *failure = e.what();
        return false;
    }
    return true;
}

void ScriptReplaceFinalize() {
    ScriptReplaceDLL.reset();
}

void SetLibraryFolder(std::string_view hostFolder) {
    LibraryFolderRef() = std::string(hostFolder);
}

namespace {
class TScriptLineReplacerLink final : public IScriptLineReplacer {
public:
    std::string Replace(const std::string& line) override {
        return ScriptReplaceDLL ? ScriptReplaceDLL->Replace(line) : line;
    }
    bool Active() const override { return ScriptReplaceDLL != nullptr; }
};
}  // namespace

IScriptLineReplacer& ScriptLineReplacer() {
    static TScriptLineReplacerLink link;
    return link;
}

}  // namespace uScriptReplaceDLL
