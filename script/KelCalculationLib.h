// The expression evaluator's value type and the text routines of its unit, which the interpreter
// also uses to cut statements into arguments and names into index lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"

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

namespace KelCalculationLib {

// Bytes of 32 or below cut from both ends (blanks and control characters).
std::string_view Trim(std::string_view s);

// Items at the delimiter outside braces, quotes and brackets, each trimmed; empty items between
// two delimiters are kept, a delimiter at the very end adds none; then empty items up to the
// minimum count. A text that is blank gives an empty list.
TStringList SplitParameters(std::string_view text, char delimiter, int32_t minimumCount);
// The text between the first double quote, "[" or "(" and its matching close; blanks and control
// characters outside quotes are dropped; without a close, the rest of the text.
std::string BracketContents(std::string_view text);
// The characters before the first "{", double quote, "[" or "(", blanks dropped.
std::string NameBeforeBracket(std::string_view text);
// a[i,j+1] gives a, i and j+1; a token not ending in "]" gives itself; "" gives nothing.
TStringList IndexList(std::string_view token, char delimiter);

// Reads a decimal or hexadecimal ("$", "0x") integer as 64 bits with optional leading blanks and a
// sign, as the evaluator's numbers are read. False when the text is not such a number.
bool TryStrToInt64(std::string_view text, int64_t& value);

}  // namespace KelCalculationLib
