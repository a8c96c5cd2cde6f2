// A small stand-in for the variable tables: three tables of typed arrays with the scope search,
// element access, owning object arrays and the table messages. It serves the interpreter until
// the full tables (stream format, deletion, the declaring words) replace it behind
// IScriptVariables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/KelScriptSeams.h"

class TStandInVariables final : public IScriptVariables {
public:
    explicit TStandInVariables(TObjectVariableCallbacks callbacks) : Callbacks(std::move(callbacks)) {}
    ~TStandInVariables() override;

    void SetErrorReport(bool on) override { Report = on; }
    TVariableScope FindVariable(std::string_view name, int32_t level) override;
    bool ReadElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx, int32_t level,
                     TCalcValue& value, bool force) override;
    bool WriteElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx, int32_t level,
                      const TCalcValue& value, bool force) override;
    bool Declare(TVariableScope scope, const std::string& name, const std::string& className, const int32_t dims[4],
                 int32_t level, TCalcValueType type, uint16_t flags, bool reference) override;
    bool InitVariable(TVariableScope scope, std::string_view name, int32_t level, bool force) override;
    void Clear(TVariableScope scope) override;
    void DeleteAboveOwner(int32_t level) override;
    void UseSystemTableOf(IScriptVariables* other) override;

private:
    struct TRecord {
        std::string Name;
        std::string ClassName;
        TCalcValueType Type = TCalcValueType::Integer;
        int32_t Level = 0;
        uint16_t Flags = 0;
        bool Reference = false;
        int32_t Dims[4] = {1, 1, 1, 1};
        std::vector<int32_t> Ints;
        std::vector<std::string> Texts;  // strings and object names
        int32_t Count() const { return Dims[0] * Dims[1] * Dims[2] * Dims[3]; }
    };
    std::vector<TRecord>* Table(TVariableScope scope);
    TRecord* Find(TVariableScope scope, std::string_view name, int32_t level);
    void FreeObjects(TRecord& r);
    void Error(const std::string& message);

    TObjectVariableCallbacks Callbacks;
    bool Report = true;
    std::vector<TRecord> System, Game, Local;
    std::vector<TRecord>* SystemInUse = &System;
};
