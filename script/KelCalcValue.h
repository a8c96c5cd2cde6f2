// The evaluator's typed value, shared by the evaluator, the variable tables and every handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The longest text a script value may hold: far above anything a game needs, and low enough that
// a script which keeps doubling a text stops with a script error long before memory runs out.
// The operations that make texts longer (joining, replacing, widening, formatting, the results of
// the words) refuse a text past it.
constexpr size_t kMaxTextSize = size_t{16} << 20;

enum class TCalcValueType : uint8_t { Integer = 0, String = 1, Object = 2, Token = 3, Error = 4 };

// A typed value. Both fields are carried by every value and neither follows the other by itself:
// each operation says which one it sets. The error value is (Error, 0, "").
struct TCalcValue {
    TCalcValueType Type = TCalcValueType::Error;
    int32_t Value = 0;  // 32-bit, all arithmetic wraps
    std::string Text;

    static TCalcValue ErrorValue() { return {}; }
    // (Integer, v, decimal text of v): an evaluated integer.
    static TCalcValue Int(int32_t v) { return {TCalcValueType::Integer, v, std::to_string(v)}; }
    // (String, 0, s).
    static TCalcValue Str(std::string s) { return {TCalcValueType::String, 0, std::move(s)}; }
    // Both fields as given: (Integer, v, text) and (String, v, text).
    static TCalcValue Integer(int32_t v, std::string text = {}) {
        return {TCalcValueType::Integer, v, std::move(text)};
    }
    static TCalcValue String(std::string text, int32_t v = 0) { return {TCalcValueType::String, v, std::move(text)}; }
    // (Object, 0, name).
    static TCalcValue Object(std::string name) { return {TCalcValueType::Object, 0, std::move(name)}; }
    bool IsError() const { return Type == TCalcValueType::Error; }
    bool operator==(const TCalcValue&) const = default;
};
