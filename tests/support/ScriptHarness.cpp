#include "tests/support/ScriptHarness.h"

#include "foundation/PackLib.h"
#include "platform/Encoding.h"

bool TRecordingWordHandler::Handle(TKelScript& script, int32_t code, TStringList& args) {
    Seen.push_back(args[0]);
    if (OnWord && OnWord(script, code, args)) return true;
    return Claims.count(code) > 0;
}

namespace {
std::string Key(const std::string& name) {
    return ClassLib::LowerAscii(PackLib::NormalizePath(name));
}
}  // namespace

TScriptHarness::TScriptHarness() : TScriptHarness(nullptr) {}

TScriptHarness::TScriptHarness(const std::function<void(TObjectKindRegistry&, TScriptLinks&)>& beforeSetup) {
    Context.Packs.FileExistsHook = [this](const std::string& name) { return Files.count(Key(name)) > 0; };
    Context.Packs.LoadFileHook = [this](const std::string& name) -> std::unique_ptr<TMemoryStream> {
        auto it = Files.find(Key(name));
        if (it == Files.end()) return nullptr;
        return std::make_unique<TMemoryStream>(it->second);
    };
    Script.Kinds = &Kinds;
    Script.Words.General = &General;
    TScriptLinks links;
    links.Context = &Context.Context;
    links.Input = &Input;
    links.Clock = &Clock;
    if (beforeSetup) beforeSetup(Kinds, links);
    Script.Setup(links);
}

TScriptHarness::~TScriptHarness() {
    Context.Packs.FileExistsHook = nullptr;
    Context.Packs.LoadFileHook = nullptr;
}

void TScriptHarness::AddFile(const std::string& name, const std::string& utf8Text) {
    Files[Key(name)] = Encoding::Utf8ToSjis(utf8Text);
}

void TScriptHarness::AddRawFile(const std::string& name, const std::string& bytes) {
    Files[Key(name)] = bytes;
}

bool TScriptHarness::Start(const std::string& utf8Text, const std::string& label) {
    AddFile("test.s", utf8Text);
    if (!Script.Reader->LoadScript("test.s", true)) return false;
    return label.empty() || Script.Reader->JumpLabel(label, 0, 0);
}

void TScriptHarness::Step(uint32_t ms) {
    Clock.SleepMs(ms);
    Input.Update();
    Script.Execute(static_cast<int32_t>(ms), true);
}

void TScriptHarness::PassInputLock() {
    Clock.SleepMs(301);
    Input.Update();
}

void TScriptHarness::Run(int frames, uint32_t ms) {
    for (int i = 0; i < frames; ++i)
        Step(ms);
}

void TScriptHarness::Execute(std::initializer_list<std::string> utf8Statements) {
    for (const auto& statement : utf8Statements)
        Script.ExecuteLine(Encoding::Utf8ToSjis(statement));
}

int32_t TScriptHarness::ResultInt(int32_t i) {
    return Var("ResultInt", i).Value;
}

std::string TScriptHarness::ResultStr(int32_t i) {
    return Encoding::SjisToUtf8(Var("ResultStr", i).Text);
}

std::string TScriptHarness::FirstError() const {
    const std::vector<std::string> errors = Errors();
    if (errors.empty()) return "";
    const std::string mark = "[ERROR]:";
    return errors[0].rfind(mark, 0) == 0 ? errors[0].substr(mark.size()) : errors[0];
}

std::vector<std::string> TScriptHarness::Errors() const {
    return Context.ErrorLines();
}

void TScriptHarness::ClearErrors() {
    Context.Log.ClearErrorLog();
    Context.Log.ErrorFlag = false;
}

TCalcValue TScriptHarness::Eval(const std::string& utf8Expression) {
    TCalcValue v = Script.Evaluate(Encoding::Utf8ToSjis(utf8Expression));
    v.Text = Encoding::SjisToUtf8(v.Text);
    return v;
}

TCalcValue TScriptHarness::Var(const std::string& name, int32_t index) {
    TCalcValue v;
    TVariableIndexes idx;
    idx.I[0] = index;
    int32_t level = Script.Depth();
    TVariableScope scope = Script.Variables->FindVariable(name, level);
    Script.Variables->ReadElement(scope, name, idx, level, v, true);
    return v;
}

void TScriptHarness::Scope(const std::vector<std::string>& names) {
    TScriptRoutine* r = Script.CurrentRoutine();
    for (auto& s : r->ScopeNames)
        s.clear();
    for (size_t i = 0; i < names.size() && i < 16; ++i)
        r->ScopeNames[i] = names[i];
}

void TScriptHarness::Declare(TVariableScope scope, const std::string& name, TCalcValueType type,
                             std::vector<int32_t> dims, const std::string& utf8Value) {
    int32_t d[4] = {1, 1, 1, 1};
    // Written first to last like a declaration: the last one is d[0].
    for (size_t i = 0; i < dims.size() && i < 4; ++i)
        d[i] = dims[dims.size() - 1 - i];
    const char* cls = type == TCalcValueType::Object ? "obj" : "";
    Script.Variables->Declare(scope, name, cls, d, Script.Depth(), type, 0xFF, true);
    if (utf8Value.empty()) return;
    TCalcValue v = type == TCalcValueType::Integer ? TCalcValue::Int(std::stoi(utf8Value))
                                                   : TCalcValue{type, 0, Encoding::Utf8ToSjis(utf8Value)};
    Script.Variables->WriteElement(scope, name, TVariableIndexes{}, Script.Depth(), v, true);
}

bool TScriptHarness::DeclareObjects(TVariableScope scope, const std::string& name, const std::string& className,
                                    std::vector<int32_t> dims) {
    int32_t d[4] = {1, 1, 1, 1};
    for (size_t i = 0; i < dims.size() && i < 4; ++i)
        d[i] = dims[dims.size() - 1 - i];
    return Script.Variables->Declare(scope, name, className, d, Script.Depth(), TCalcValueType::Object, 0xFF, false);
}
