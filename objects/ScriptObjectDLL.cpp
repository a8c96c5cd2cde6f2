#include "objects/ScriptObjectDLL.h"

#include <cstring>
#include <filesystem>
#include <type_traits>

#include "foundation/ShiftJis.h"
#include "foundation/SystemConfigLib.h"
#include "platform/Encoding.h"
#include "platform/NativeLibrary.h"
#include "script/KelCommandArgs.h"
#include "script/uKelObjectKinds.h"

// The header's declarations and the pointer types the engine calls through must agree.
static_assert(std::is_same_v<decltype(&_DLLInitialize), KelDLLInitializeProc>);
static_assert(std::is_same_v<decltype(&_DLLFinalize), KelDLLFinalizeProc>);
static_assert(std::is_same_v<decltype(&ObjectCreate), KelObjectCreateProc>);
static_assert(std::is_same_v<decltype(&ObjectDestroy), KelObjectDestroyProc>);
static_assert(std::is_same_v<decltype(&ObjectInit), KelObjectInitProc>);
static_assert(std::is_same_v<decltype(&ObjectTimeMove), KelObjectTimeMoveProc>);
static_assert(std::is_same_v<decltype(&ObjectOP), KelObjectOPProc>);
static_assert(KEL_PLUGIN_NAME_SIZE == KEL_PLUGIN_STRING_SIZE);

namespace {

std::string AbsolutePath(const std::string& hostPath) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(hostPath, ec);
    return ec ? hostPath : full.lexically_normal().string();
}

template <class TProc>
void Bind(void* module, TProc& slot, const char* name) {
    slot = reinterpret_cast<TProc>(NativeLibrary::Symbol(module, name));
    if (!slot) throw EScriptObjectDLL("関数("_sj + name + ")の所得に失敗しました"_sj);
}

// The text into a zero-filled 256-byte field.
void PutText(char (&field)[KEL_PLUGIN_STRING_SIZE], const std::string& text) {
    const std::string fitted = ScriptObjectDLL::FitText(text);
    std::memcpy(field, fitted.data(), fitted.size());
}

}  // namespace

// ---- one library ----

TScriptObjectDLL::TScriptObjectDLL(const std::string& hostPath) {
    const std::string absolute = AbsolutePath(hostPath);
    std::string why;
    Module = NativeLibrary::Open(absolute, &why);
    if (!Module)
        throw EScriptObjectDLL("Not Found ObjectDLL \r\n(" + Encoding::Utf8ToSjis(absolute) + ")" +
                               (why.empty() ? "" : "\r\n" + Encoding::Utf8ToSjis(why)));
    ModuleFileName = ScriptObjectDLL::FitText(Encoding::Utf8ToSjis(absolute));
    try {
        Bind(Module, DLLInitialize, "_DLLInitialize");
        Bind(Module, DLLFinalize, "_DLLFinalize");
        Bind(Module, ObjectCreate, "ObjectCreate");
        Bind(Module, ObjectDestroy, "ObjectDestroy");
        Bind(Module, ObjectInit, "ObjectInit");
        Bind(Module, ObjectTimeMove, "ObjectTimeMove");
        Bind(Module, ObjectOP, "ObjectOP");
    } catch (...) {
        // Never initialised, so never finalised either.
        NativeLibrary::Close(Module);
        Module = nullptr;
        throw;
    }
    DLLInitialize();
}

TScriptObjectDLL::~TScriptObjectDLL() {
    DLLFinalize();
    NativeLibrary::Close(Module);
}

// ---- one instance ----

TScriptObjectClass::TScriptObjectClass(TScriptObjectDLL& library) : Library(library) {
    Handle = Library.ObjectCreate();
}

TScriptObjectClass::~TScriptObjectClass() {
    Library.ObjectDestroy(Handle);
}

void TScriptObjectClass::Init() {
    Library.ObjectInit(Handle);
}

int32_t TScriptObjectClass::Operate(const std::string& name, KelPluginBlock& block) {
    if (name.empty()) return KEL_OP_UNHANDLED;
    char buffer[KEL_PLUGIN_NAME_SIZE] = {};
    PutText(buffer, name);
    return Library.ObjectOP(Handle, buffer, &block);
}

// ---- the set ----

TKelDLLCustomObject::TKelDLLCustomObject(const TSystemData& config, const std::string& hostFolder) {
    try {
        LoadAll(config, hostFolder);
    } catch (...) {
        FreeAll();
        throw;
    }
}

TKelDLLCustomObject::~TKelDLLCustomObject() {
    FreeAll();
}

void TKelDLLCustomObject::LoadAll(const TSystemData& config, const std::string& hostFolder) {
    for (size_t i = 0; i < config.DLLObjectPaths.size(); ++i) {
        const std::string& path = config.DLLObjectPaths[i];
        const std::string host = path.empty() ? std::string() : NativeLibrary::Find(path, hostFolder);
        if (host.empty()) continue;
        Items.push_back(std::make_unique<TScriptObjectDLL>(host));
        Names.push_back(ClassLib::LowerAscii(config.DLLObjectNames[i]));
    }
}

void TKelDLLCustomObject::FreeAll() {
    for (std::unique_ptr<TScriptObjectDLL>& item : Items)
        item.reset();
    Items.clear();
    Names.clear();
}

// ---- the script objects and their words ----

namespace ScriptObjectDLL {

std::string FitText(const std::string& text) {
    constexpr size_t kMax = KEL_PLUGIN_STRING_SIZE - 1;
    if (text.size() <= kMax) return text;
    size_t end = 0;
    while (end < kMax) {
        const size_t step = uMisc::IsSJISLeadByte(static_cast<uint8_t>(text[end])) ? 2 : 1;
        if (end + step > kMax) break;
        end += step;
    }
    return text.substr(0, end);
}

std::unique_ptr<TKelObjectDataCustom> CreateObject(TKelDLLCustomObject& set, const std::string& lowerTypeName,
                                                   const std::string& objectName) {
    if (lowerTypeName.empty()) return nullptr;
    for (int32_t i = set.Count() - 1; i >= 0; --i) {
        if (set.GetName(i) != lowerTypeName) continue;
        return std::make_unique<TKelObjectDataDLLObject>(objectName, set.GetName(i),
                                                         std::make_unique<TScriptObjectClass>(set.GetItem(i)));
    }
    return nullptr;
}

bool DoCustomCommand(TKelScript& script, int32_t, TStringList& args, TKelObjectDataCustom& object) {
    if (args.Count() == 0) return false;
    TKelCommandArgs a(script, args);
    KelPluginBlock block{};
    for (int32_t i = 0; i < KEL_PLUGIN_SLOTS; ++i) {
        if (a.Empty(i + 1)) continue;
        const TCalcValue value = a.Value(i + 1);
        block.Ints[i] = value.Value;
        PutText(block.Strings[i], value.Text);
    }
    // Looked up after the arguments are evaluated, which is the last the script can change.
    const auto* plugin = dynamic_cast<const TKelObjectDataDLLObject*>(&object);
    auto* instance = plugin ? dynamic_cast<TScriptObjectClass*>(plugin->Plugin()) : nullptr;
    if (!instance) return false;
    const int32_t answer = instance->Operate(args[0], block);
    if (answer == KEL_OP_RESULTS) {
        a.ClearResults();
        for (int32_t i = 0; i < KEL_PLUGIN_SLOTS; ++i) {
            if (block.Ints[i] != 0) a.SetInt(i, block.Ints[i]);
            const size_t length = strnlen(block.Strings[i], KEL_PLUGIN_STRING_SIZE);
            if (length > 0) a.SetStr(i, std::string(block.Strings[i], length));
        }
    }
    return answer != KEL_OP_UNHANDLED;
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::DLLObject, DoCustomCommand);
    registry.RegisterPluginMaker(CreateObject);
}

}  // namespace ScriptObjectDLL
