#include "script/KelVariableStandIn.h"

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"
#include "script/KelCalculationLib.h"

TStandInVariables::~TStandInVariables() {
    Clear(TVariableScope::Local);
    Clear(TVariableScope::Game);
    Clear(TVariableScope::System);
}

void TStandInVariables::Error(const std::string& message) {
    if (Report) ErrorLogLib::ErrorLog(message);
}

std::vector<TStandInVariables::TRecord>* TStandInVariables::Table(TVariableScope scope) {
    switch (scope) {
    case TVariableScope::System: return SystemInUse;
    case TVariableScope::Game: return &Game;
    case TVariableScope::Local: return &Local;
    default: return nullptr;
    }
}

TStandInVariables::TRecord* TStandInVariables::Find(TVariableScope scope, std::string_view name, int32_t level) {
    std::vector<TRecord>* t = Table(scope);
    if (!t) return nullptr;
    if (scope != TVariableScope::Local) level = 0;
    for (auto& r : *t)
        if (r.Level == level && ClassLib::SameTextAscii(r.Name, name)) return &r;
    return nullptr;
}

TVariableScope TStandInVariables::FindVariable(std::string_view name, int32_t level) {
    for (TVariableScope s : {TVariableScope::Local, TVariableScope::Game, TVariableScope::System})
        if (Find(s, name, level)) return s;
    return TVariableScope::None;
}

namespace {
int64_t Flat(const int32_t dims[4], const TVariableIndexes& idx) {
    return int64_t{idx.I[0]} + int64_t{idx.I[1]} * dims[0] + int64_t{idx.I[2]} * dims[0] * dims[1] +
           int64_t{idx.I[3]} * dims[0] * dims[1] * dims[2];
}
int32_t IntReading(const std::string& s) {
    int64_t v = 0;
    if (!KelCalculationLib::TryStrToInt64(s, v) || v < INT32_MIN || v > UINT32_MAX) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}
}  // namespace

bool TStandInVariables::ReadElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx,
                                    int32_t level, TCalcValue& value, bool force) {
    TRecord* r = Find(scope, name, level);
    if (!r) {
        value = TCalcValue::ErrorValue();
        return false;
    }
    if (!force && !(r->Flags & 1)) {
        Error("変数に読み込みロックがかかっています:"_sj + r->Name);
        value = TCalcValue::ErrorValue();
        return false;
    }
    int64_t k = Flat(r->Dims, idx);
    if (k < 0 || k >= r->Count()) {
        Error("範囲外の配列を読み込もうとしました:"_sj + r->Name);
        return false;
    }
    size_t i = static_cast<size_t>(k);
    switch (r->Type) {
    case TCalcValueType::Integer: value = TCalcValue::Int(r->Ints[i]); break;
    case TCalcValueType::String: value = {TCalcValueType::String, IntReading(r->Texts[i]), r->Texts[i]}; break;
    default: value = {TCalcValueType::Object, 0, r->Texts[i]}; break;
    }
    return true;
}

bool TStandInVariables::WriteElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx,
                                     int32_t level, const TCalcValue& value, bool force) {
    TRecord* r = Find(scope, name, level);
    if (!r) {
        Error("変数が宣言されていません:"_sj + std::string(name));
        return false;
    }
    if (!force && !(r->Flags & 2)) {
        Error("変数に書き込みロックがかかっています:"_sj + r->Name);
        return false;
    }
    int64_t k = Flat(r->Dims, idx);
    if (k < 0 || k >= r->Count()) {
        Error("範囲外の配列に書き込もうとしました:"_sj + r->Name);
        return false;
    }
    if (r->Type == TCalcValueType::Integer) r->Ints[static_cast<size_t>(k)] = value.Value;
    else r->Texts[static_cast<size_t>(k)] = value.Text;
    return true;
}

bool TStandInVariables::Declare(TVariableScope scope, const std::string& name, const std::string& className,
                                const int32_t dims[4], int32_t level, TCalcValueType type, uint16_t flags,
                                bool reference) {
    std::vector<TRecord>* t = Table(scope);
    if (!t || name.empty() || Find(scope, name, level)) return false;
    if (type != TCalcValueType::Integer && type != TCalcValueType::String && type != TCalcValueType::Object)
        return false;
    TRecord r;
    r.Name = name;
    r.ClassName = type == TCalcValueType::Object ? className : std::string();
    r.Type = type;
    r.Level = scope == TVariableScope::Local ? level : 0;
    r.Flags = flags;
    r.Reference = reference;
    int64_t count = 1;
    for (int i = 0; i < 4; ++i) {
        r.Dims[i] = dims[i] < 1 ? 1 : dims[i];
        count *= r.Dims[i];
        if (count > 0x100000) return false;  // the stand-in keeps arrays small
    }
    if (type == TCalcValueType::Integer) r.Ints.assign(static_cast<size_t>(count), 0);
    else r.Texts.assign(static_cast<size_t>(count), std::string());
    t->push_back(std::move(r));
    TRecord& added = t->back();
    if (type == TCalcValueType::Object && !reference) {
        for (int64_t k = 0; k < count; ++k) {
            std::string element = std::to_string(added.Level) + "_" + added.Name + "," + std::to_string(k);
            // The create callback may declare or read variables; the record is found again after it.
            if (Callbacks.Create && !Callbacks.Create(className, name, element))
                Error("Objectの生成に失敗しました："_sj + element);
            if (TRecord* again = Find(scope, name, level)) again->Texts[static_cast<size_t>(k)] = element;
        }
    }
    return true;
}

bool TStandInVariables::InitVariable(TVariableScope scope, std::string_view name, int32_t level, bool force) {
    TRecord* r = Find(scope, name, level);
    if (!r) {
        Error("変数が宣言されていません:"_sj + std::string(name));
        return false;
    }
    if (!force && !(r->Flags & 2)) {
        Error("変数に書き込みロックがかかっています:"_sj + r->Name);
        return false;
    }
    for (auto& v : r->Ints) v = 0;
    for (auto& s : r->Texts) s.clear();
    return true;
}

void TStandInVariables::FreeObjects(TRecord& r) {
    if (r.Type != TCalcValueType::Object || r.Reference) return;
    for (auto& element : r.Texts) {
        if (element.empty()) continue;
        if (Callbacks.Free && !Callbacks.Free(r.ClassName, r.Name, element))
            Error("Objectの解放に失敗しました："_sj + element);
        element.clear();
    }
}

void TStandInVariables::Clear(TVariableScope scope) {
    std::vector<TRecord>* t = Table(scope);
    if (!t) return;
    std::vector<TRecord> gone;
    gone.swap(*t);
    for (auto& r : gone) FreeObjects(r);
}

void TStandInVariables::DeleteAboveOwner(int32_t level) {
    std::vector<TRecord> keep, gone;
    for (auto& r : Local) (r.Level > level ? gone : keep).push_back(std::move(r));
    Local.swap(keep);
    for (auto& r : gone) FreeObjects(r);
}

void TStandInVariables::UseSystemTableOf(IScriptVariables* other) {
    auto* tables = dynamic_cast<TStandInVariables*>(other);
    SystemInUse = tables ? tables->SystemInUse : &System;
}
