// The evaluator's typed value, shared by the evaluator and the variable tables.
#pragma once

#include <cstdint>
#include <string>

enum class TCalcValueType : uint8_t { Integer = 0, String = 1, Object = 2, Token = 3, Error = 4 };

// A typed value. Both fields are carried by every value and neither follows the other by itself:
// each operation says which one it sets. The error value is (Error, 0, "").
struct TCalcValue {
    TCalcValueType Type = TCalcValueType::Error;
    int32_t Value = 0;
    std::string Text;

    static TCalcValue ErrorValue() { return {}; }
    static TCalcValue Int(int32_t v) { return {TCalcValueType::Integer, v, std::to_string(v)}; }
    static TCalcValue Str(std::string s) { return {TCalcValueType::String, 0, std::move(s)}; }
    bool IsError() const { return Type == TCalcValueType::Error; }
    bool operator==(const TCalcValue&) const = default;
};
