#include "script/uBregExpLib.h"

#include <cstring>

#include "platform/Encoding.h"
#include "platform/FileRoot.h"

namespace {

// Looks a call up by name and gives it its type, or raises the binding's error.
template <typename T>
T Bind(RegexLibrary::TModule* module, const char* name) {
    RegexLibrary::TProc proc = RegexLibrary::GetExport(module, name);
    if (!proc) throw std::runtime_error("関数("_sj + name + ")の所得に失敗しました"_sj);
    return reinterpret_cast<T>(proc);
}

}  // namespace

TBregExpDLL::TBregExpDLL(const TFileRoot& root, const std::string& path) {
    std::string expanded = Encoding::Utf8ToSjis(root.HostPathForWrite(path));
    Module = RegexLibrary::LoadModule(expanded);
    if (!Module) throw std::runtime_error("Not Found BregExp.DLL \r\n(" + expanded + ")");
    ModuleFileName = expanded.substr(0, 255);
    if (ModuleFileName.empty()) ModuleFileName = "BregExp.dll";
    try {
        BMatch = Bind<RegexLibrary::TTextCall>(Module, "BMatch");
        BSubst = Bind<RegexLibrary::TTextCall>(Module, "BSubst");
        BTrans = Bind<RegexLibrary::TTextCall>(Module, "BTrans");
        BSplit = Bind<RegexLibrary::TSplitCall>(Module, "BSplit");
        BRegfree = Bind<RegexLibrary::TFreeCall>(Module, "BRegfree");
        BRegexpVersion = Bind<RegexLibrary::TVersionCall>(Module, "BRegexpVersion");
    } catch (...) {
        RegexLibrary::FreeModule(Module);
        throw;
    }
}

TBregExpDLL::~TBregExpDLL() {
    if (Module) RegexLibrary::FreeModule(Module);
}

TBRegExp::TBRegExp(std::unique_ptr<TBregExpDLL> dll) : DLL(std::move(dll)) {}

TBRegExp::~TBRegExp() {
    Release();
}

void TBRegExp::Release() {
    const TBregExpDLL* dll = DLL.get();
    if (Rec && dll && dll->BRegfree) dll->BRegfree(Rec);
    Rec = nullptr;
    FMode = 0;
}

void TBRegExp::FreePattern(const std::string& pattern) {
    if (!Rec) return;
    const char* held = Rec->ParaP ? Rec->ParaP : "";
    size_t n = std::strlen(held);
    if (std::strncmp(pattern.c_str(), held, n) != 0) Release();
}

bool TBRegExp::Call(const std::string& pattern, const std::string& text, RegexLibrary::TTextCall call, int32_t limit,
                    uint8_t successMode) {
    FreePattern(pattern);
    char message[RegexLibrary::kMessageSize] = {};
    FMode = 0;
    const TBregExpDLL* dll = DLL.get();
    if (!dll) return false;
    Target = text;
    const char* start = Target.c_str();
    const char* end = start + Target.size();
    int32_t result = call ? call(pattern.c_str(), start, end, &Rec, message)
                          : dll->BSplit(pattern.c_str(), start, end, limit, &Rec, message);
    message[sizeof message - 1] = '\0';
    bool ok = (result & 0xFF) != 0;
    if (ok && message[0] == '\0') FMode = successMode;
    return ok;
}

bool TBRegExp::Match(const std::string& pattern, const std::string& text) {
    const TBregExpDLL* dll = DLL.get();
    return dll && Call(pattern, text, dll->BMatch, 0, 1);
}

bool TBRegExp::Split(const std::string& pattern, const std::string& text, int32_t limit) {
    return DLL && Call(pattern, text, nullptr, limit, 2);
}

bool TBRegExp::Subst(const std::string& pattern, const std::string& text) {
    const TBregExpDLL* dll = DLL.get();
    return dll && Call(pattern, text, dll->BSubst, 0, 1);
}

bool TBRegExp::Trans(const std::string& pattern, const std::string& text) {
    const TBregExpDLL* dll = DLL.get();
    return dll && Call(pattern, text, dll->BTrans, 0, 1);
}

int32_t TBRegExp::Count() const {
    if (!Rec) return 0;
    if (FMode == 1) return Rec->Nparens + 1;
    if (FMode == 2) return Rec->SplitCount;
    return 0;
}

std::string TBRegExp::Strings(int32_t index) const {
    if (FMode == 0) throw EBRegExpError("no strings now");
    if (index < 0 || index >= Count()) throw EBRegExpError("index out of range");
    const char *a = nullptr, *b = nullptr;
    if (FMode == 1 && Rec->StartP && Rec->EndP) {
        a = Rec->StartP[index];
        b = Rec->EndP[index];
    } else if (FMode == 2 && Rec->SplitP) {
        a = Rec->SplitP[2 * index];
        b = Rec->SplitP[2 * index + 1];
    }
    return a && b > a ? std::string(a, b) : std::string();
}

std::string TBRegExp::Output() const {
    if (!Rec || !Rec->OutP) return {};
    return Rec->OutEndP ? std::string(Rec->OutP, Rec->OutEndP) : std::string(Rec->OutP);
}

namespace {

std::vector<std::string> Held(const TBRegExp& re) {
    std::vector<std::string> list;
    for (int32_t i = 0; i < re.Count(); ++i)
        list.push_back(re.Strings(i));
    return list;
}

}  // namespace

std::vector<std::string> TScriptRegExp::Match(const std::string& pattern, const std::string& text) {
    if (!Matcher.Match(pattern, text)) return {};
    return Held(Matcher);
}

std::vector<std::string> TScriptRegExp::Split(const std::string& pattern, const std::string& text, int32_t limit) {
    if (!Matcher.Split(pattern, text, limit)) return {};
    return Held(Matcher);
}

std::string TScriptRegExp::Substitute(const std::string& pattern, const std::string& text) {
    if (!Matcher.Subst(pattern, text)) return text;
    return Matcher.Output();
}

std::string TScriptRegExp::Translate(const std::string& pattern, const std::string& text) {
    if (!Matcher.Trans(pattern, text)) return text;
    return Matcher.Output();
}

namespace uBregExpLib {

std::unique_ptr<TScriptRegExp> BRegExpInitialize(const TFileRoot& root, const std::string& path) {
    try {
        return std::make_unique<TScriptRegExp>(std::make_unique<TBregExpDLL>(root, path));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace uBregExpLib
