// The optional line-replace library "DLL\SCRREP.dll": a native shared library in the program's
// folder whose one call "SRReplace" rewrites a script line in place. Its C signature:
//     void SRReplace(char* line);   // line: a 1024-byte buffer holding a NUL-terminated line
// (a result, if it has one, is not used). Without the library, lines stay as they are.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "script/KelScriptSeams.h"

class TScriptReplaceDLL {
public:
    using TSRReplace = void (*)(char* line);
    static constexpr size_t kBufferSize = 1024;

    // Loads the library an engine path names below the library folder; raises std::runtime_error
    // when it cannot be loaded (with the loader's reason when the file exists) or lacks
    // "SRReplace".
    explicit TScriptReplaceDLL(const std::string& path);
    // Binds a call that is already part of the program (tests).
    explicit TScriptReplaceDLL(TSRReplace call);
    ~TScriptReplaceDLL();
    TScriptReplaceDLL(const TScriptReplaceDLL&) = delete;
    TScriptReplaceDLL& operator=(const TScriptReplaceDLL&) = delete;

    // The line after "SRReplace". A line that does not fit the buffer with its terminating NUL
    // (1024 bytes or more) comes back unchanged.
    std::string Replace(std::string_view line) const;

    TSRReplace SRReplace = nullptr;
    void* Module = nullptr;
    std::string ModuleFileName;
};

namespace uScriptReplaceDLL {

extern std::unique_ptr<TScriptReplaceDLL> ScriptReplaceDLL;  // null when absent

// Frees any previous binding; binds the library when its file exists. False when there is no file
// or it cannot be bound; in the second case *failure (when given) receives the reason.
bool ScriptReplaceInitialize(const std::string& path, std::string* failure = nullptr);
void ScriptReplaceFinalize();

// The host folder relative library paths start from; empty (the default) means the program's
// folder. Tests point it at a scratch folder.
void SetLibraryFolder(std::string_view hostFolder);

// The script reader's line replacer: the bound library's call, or the line unchanged while no
// library is bound.
IScriptLineReplacer& ScriptLineReplacer();

}  // namespace uScriptReplaceDLL
