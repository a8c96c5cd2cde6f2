// The expression evaluator over arbitrary texts against a fixed set of variables: each text is
// evaluated three times by an evaluator that compiles afresh and by one that caches by text, each
// over its own copy of the variables. Results, messages and variables must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "script/KelCalculationLib.h"
#include "script/KelValueLib.h"

namespace {

struct TRig {
    explicit TRig(bool cache)
        : Variables(TObjectVariableCallbacks{.Log = &Context.Log}), Calc(Variables, &Context.Log) {
        Calc.UseCache = cache;
        const int32_t one[4] = {1, 1, 1, 1}, five[4] = {5, 1, 1, 1}, grid[4] = {4, 3, 1, 1};
        Variables.Declare(TVariableScope::Game, "x", "", one, 0, TCalcValueType::Integer, 0xFF, false);
        Variables.Declare(TVariableScope::Game, "s", "", one, 0, TCalcValueType::String, 0xFF, false);
        Variables.Declare(TVariableScope::Local, "i", "", one, 0, TCalcValueType::Integer, 0xFF, false);
        Variables.Declare(TVariableScope::Game, "a", "", five, 0, TCalcValueType::Integer, 0xFF, false);
        Variables.Declare(TVariableScope::System, "m", "", grid, 0, TCalcValueType::Integer, 0xFF, false);
        Variables.Declare(TVariableScope::Game, "o", "obj", one, 0, TCalcValueType::Object, 0xFF, true);
        Variables.Declare(TVariableScope::Game, "r", "", one, 0, TCalcValueType::Integer, 1, false);
        Variables.WriteElement(TVariableScope::Game, "x", {}, 0, TCalcValue::Int(4), true);
        Variables.WriteElement(TVariableScope::Game, "s", {}, 0, TCalcValue::Str("abc"), true);
        Variables.WriteElement(TVariableScope::Local, "i", {}, 0, TCalcValue::Int(1), true);
    }
    std::vector<TCalcValue> Snapshot() {
        std::vector<TCalcValue> out;
        for (const char* n : {"x", "s", "i", "o", "r"}) {
            TCalcValue v;
            Variables.ReadElement(Variables.FindVariable(n, 0), n, {}, 0, v, true);
            out.push_back(v);
        }
        for (int k = 0; k < 12; ++k) {
            TVariableIndexes idx;
            idx.I[0] = k;
            TCalcValue v;
            Variables.ReadElement(TVariableScope::System, "m", idx, 0, v, true);
            out.push_back(v);
        }
        return out;
    }
    FuzzSupport::TFuzzContext Context;
    TKelVariables Variables;
    TKelCalculation Calc;
};

std::vector<std::string> TakeErrors(TRig& rig) {
    TErrorLog& log = rig.Context.Log;
    std::vector<std::string> e = log.ErrorList.Items;
    log.ClearErrorLog();
    log.ErrorFlag = false;
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    TRig fresh(false), cached(true);
    for (int round = 0; round < 3; ++round) {
        TCalcValue a = fresh.Calc.Calculate(text, 0);
        std::vector<std::string> ea = TakeErrors(fresh);
        TCalcValue b = cached.Calc.Calculate(text, 0);
        std::vector<std::string> eb = TakeErrors(cached);
        if (!(a == b) || ea != eb || fresh.Snapshot() != cached.Snapshot()) std::abort();
    }
    return 0;
}
