// Plug-in object libraries: native shared libraries named by the game's "DLLObject[i]" settings,
// each bringing one object type to the scripts. The engine core loads the set when it is set up
// and frees it after its interpreters; declaring a script object whose type keyword matches a
// library's type name makes a kind-34 object that owns one instance inside that library, and every
// command on it goes to the library's "ObjectOP" with the evaluated arguments.
//
// What a library exports and the layout of the block it exchanges are in sdk/kel_plugin.h, the
// header game makers build against; the engine uses the same declarations, so the two cannot
// drift apart.
//
// Paths: a configured path names a file below the game's folder (or an absolute one), found
// without regard to case, a ".dll" name also as ".so". The file is loaded by its absolute path only,
// so the dynamic loader never searches its own folders for it.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ClassLib.h"
#include "script/KelObjectSeams.h"
#include "script/KelScriptSeams.h"
#include "sdk/kel_plugin.h"

struct TSystemData;
class TKelScript;
class TKelObjectDataCustom;

// A library that exists but cannot be loaded, or lacks an export. The message (Shift-JIS) is the
// one the start shows: "Not Found ObjectDLL \r\n(<absolute path>)" followed by the loader's reason
// on a line of its own, or "関数(<export>)の所得に失敗しました".
class EScriptObjectDLL : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One loaded library with its seven exports.
class TScriptObjectDLL {
public:
    // Loads the library at a host path, binds the exports in their fixed order and calls
    // "_DLLInitialize". Raises EScriptObjectDLL; nothing stays loaded then.
    explicit TScriptObjectDLL(const std::string& hostPath);
    // "_DLLFinalize", then the library is unloaded.
    ~TScriptObjectDLL();
    TScriptObjectDLL(const TScriptObjectDLL&) = delete;
    TScriptObjectDLL& operator=(const TScriptObjectDLL&) = delete;

    void* Module = nullptr;
    std::string ModuleFileName;  // the absolute path, Shift-JIS, at most 255 bytes
    KelDLLInitializeProc DLLInitialize = nullptr;
    KelDLLFinalizeProc DLLFinalize = nullptr;
    KelObjectCreateProc ObjectCreate = nullptr;
    KelObjectDestroyProc ObjectDestroy = nullptr;
    KelObjectInitProc ObjectInit = nullptr;
    KelObjectTimeMoveProc ObjectTimeMove = nullptr;  // bound only: the engine never calls it
    KelObjectOPProc ObjectOP = nullptr;
};

// One instance inside a library, owned by its script object; the library outlives it.
class TScriptObjectClass final : public IKelPluginInstance {
public:
    explicit TScriptObjectClass(TScriptObjectDLL& library);  // "ObjectCreate"
    ~TScriptObjectClass() override;                          // "ObjectDestroy"
    TScriptObjectClass(const TScriptObjectClass&) = delete;
    TScriptObjectClass& operator=(const TScriptObjectClass&) = delete;

    void Init() override;  // "ObjectInit"
    // Save and load keep the base's answer: true, nothing written or read.

    // "ObjectOP" with the name in a zero-filled 256-byte buffer, cut to 255 bytes as the block's
    // texts are; 0 without a call for an empty name.
    int32_t Operate(const std::string& name, KelPluginBlock& block);

    TScriptObjectDLL& Library;
    int32_t Handle = 0;
};

// The set of loaded libraries and their type names, lower-cased, in the order of the settings.
class TKelDLLCustomObject {
public:
    // Loads the libraries the configuration names, relative paths below the host folder. Raises
    // EScriptObjectDLL from the first library that fails; those loaded before it are freed again.
    TKelDLLCustomObject(const TSystemData& config, const std::string& hostFolder);
    ~TKelDLLCustomObject();  // FreeAll
    TKelDLLCustomObject(const TKelDLLCustomObject&) = delete;
    TKelDLLCustomObject& operator=(const TKelDLLCustomObject&) = delete;

    // Each of the 16 entries whose path names a file, in order; an entry without a file is passed
    // over without a word.
    void LoadAll(const TSystemData& config, const std::string& hostFolder);
    // Frees the libraries from the first on.
    void FreeAll();
    int32_t Count() const { return static_cast<int32_t>(Items.size()); }
    TScriptObjectDLL& GetItem(int32_t i) { return *Items[static_cast<size_t>(i)]; }
    const std::string& GetName(int32_t i) const { return Names[static_cast<size_t>(i)]; }

private:
    std::vector<std::unique_ptr<TScriptObjectDLL>> Items;
    std::vector<std::string> Names;
};

namespace ScriptObjectDLL {

// A text as a block's or the name buffer's 256 bytes hold it: at most 255 bytes, never ending
// inside a two-byte character.
std::string FitText(const std::string& text);

// The script object of a plug-in type: the library with that lower-cased type name that comes last
// in the set; nullptr when none has it.
std::unique_ptr<TKelObjectDataCustom> CreateObject(TKelDLLCustomObject& set, const std::string& lowerTypeName,
                                                   const std::string& objectName);

// The handler of kind 34: the command word as written and up to 8 evaluated arguments go to the
// object's "ObjectOP"; an answer of 2 clears the results and writes what the block holds. Handled
// when the library answers anything but 0.
bool DoCustomCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The handler under kind 34 and the maker of plug-in objects.
void Register(TObjectKindRegistry& registry);

}  // namespace ScriptObjectDLL
