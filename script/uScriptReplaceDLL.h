// The optional line-replace library "DLL\SCRREP.dll": a native shared library in the program's
// folder whose one call "SRReplace" rewrites a script line in place. Its C signature:
//     void SRReplace(char* line);   // line: a 1024-byte buffer holding a NUL-terminated line
// (a result, if it has one, is not used). Without the library, lines stay as they are.
#pragma once

#include <memory>
#include <string>

#include "script/KelScriptSeams.h"

// The bound library is the script reader's line replacer.
class TScriptReplaceDLL final : public IScriptLineReplacer {
public:
    using TSRReplace = void (*)(char* line);
    static constexpr size_t kBufferSize = 1024;

    // Loads the library an engine path names below the host folder (empty: the program's folder);
    // raises std::runtime_error when it cannot be loaded (with the loader's reason when the file
    // exists) or lacks "SRReplace".
    TScriptReplaceDLL(const std::string& path, const std::string& hostFolder);
    // Binds a call that is already part of the program (tests).
    explicit TScriptReplaceDLL(TSRReplace call);
    ~TScriptReplaceDLL() override;
    TScriptReplaceDLL(const TScriptReplaceDLL&) = delete;
    TScriptReplaceDLL& operator=(const TScriptReplaceDLL&) = delete;

    // The line after "SRReplace". A line that does not fit the buffer with its terminating NUL
    // (1024 bytes or more) comes back unchanged.
    std::string Replace(const std::string& line) override;

    TSRReplace SRReplace = nullptr;
    void* Module = nullptr;
    std::string ModuleFileName;
};

namespace uScriptReplaceDLL {

// The library bound when its file exists below the host folder (empty: the program's folder);
// null when there is no file or it cannot be bound, in the second case with the reason in
// *failure (when given). Without the library, lines stay as they are.
std::unique_ptr<TScriptReplaceDLL> ScriptReplaceInitialize(const std::string& path, const std::string& hostFolder,
                                                           std::string* failure = nullptr);

}  // namespace uScriptReplaceDLL
