// One outside library bound by path. The engine names its libraries the Windows way
// ("DLL\SystemInfo.dll"); the native-library layer finds and loads the file this system can use
// (the ".so" of such a name first) with every symbol resolved at once and kept private to it.
// A subclass looks its exports up in Bind.
#pragma once

#include <cstdint>
#include <string>

class TFileRoot;  // platform/FileRoot.h

class TDLLObject {
public:
    TDLLObject() = default;
    virtual ~TDLLObject();  // unloads the library
    TDLLObject(const TDLLObject&) = delete;
    TDLLObject& operator=(const TDLLObject&) = delete;

    // Loads the library at an engine path (relative paths start at the root, the game's folder)
    // when nothing is loaded yet, then returns what Bind says. False when a library was loaded
    // before, no candidate file exists or loading fails; Error() then says why.
    bool LoadDLL(const TFileRoot& root, const std::string& path);

    // The address of an export into a slot; true when the export exists. False without a library.
    bool GetProc(void*& slot, const char* name);
    template <class TFunc>
    bool GetProc(TFunc*& slot, const char* name) {
        void* p = nullptr;
        bool found = GetProc(p, name);
        slot = reinterpret_cast<TFunc*>(p);
        return found;
    }

    // Looks up the subclass's exports once the library is loaded.
    virtual bool Bind() = 0;

    void* Module = nullptr;      // null while nothing is loaded
    std::string ModuleFileName;  // Shift-JIS host path of the loaded file, at most 255 bytes
    int32_t Reserved = 0;
    // Why the last LoadDLL failed; empty after a success.
    const std::string& Error() const { return ErrorText; }
    std::string ErrorText;
};
