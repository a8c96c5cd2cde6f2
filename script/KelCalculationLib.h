// The expression evaluator's value type and the text routines of its unit, which the interpreter
// also uses to cut statements into arguments and names into index lists.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/ClassLib.h"
#include "script/KelCalcValue.h"
#include "script/KelScriptSeams.h"
#include "script/KelValueLib.h"

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

// The message of an operation whose text would pass kMaxTextSize.
const std::string& TextTooLongMessage();

}  // namespace KelCalculationLib

// The expression evaluator. An expression is tokenised (increments run while it is tokenised),
// folded by precedence into a postfix program and run on an operand stack; variables are read and
// written through the variable tables. What depends on the text alone (the tokens, the program,
// the increments and bracket faults to replay) is cached by text, so that evaluating from the
// cache does exactly what evaluating afresh does.
class TKelCalculation final : public IScriptEvaluator {
public:
    // Nesting of brackets in one text plus nested evaluations (indexes, increments): past this the
    // expression gives the error value.
    static constexpr int32_t kMaxNesting = 100;
    // Evaluations one expression may start, nested ones included. An increment evaluates its
    // operand again, with any index expressions and increments in it, so increments nested in
    // indexes multiply the work: past this the expression gives the error value instead of
    // running for hours.
    static constexpr int32_t kMaxEvaluations = 1000;
    static constexpr int32_t kStackSize = 128;

    // Works on any variable tables through their interface.
    explicit TKelCalculation(IScriptVariables& variables);
    // Works on the engine's tables and serves them as their evaluator (dimension and index
    // expressions, index lists) for as long as it lives.
    explicit TKelCalculation(TKelVariables& tables);
    ~TKelCalculation() override;

    void Calculate(std::string_view text, int32_t level, TCalcValue& result) override;
    TCalcValue Calculate(std::string_view text, int32_t level) {
        TCalcValue v;
        Calculate(text, level, v);
        return v;
    }
    // One operand (literal or variable), no operators.
    TCalcValue GetValue(std::string_view token, int32_t level);
    void SetErrorReport(bool on) override;
    static bool IsOperatorChar(char c);
    // Writes a variable named with an optional index list; "未定義の変数：" when no scope holds it.
    bool SetVariable(std::string_view name, int32_t level, const TCalcValue& value);
    bool SetVariableInteger(std::string_view name, int32_t level, int32_t value) {
        return SetVariable(name, level, TCalcValue::Int(value));
    }

    // Off: every evaluation compiles its text afresh (the reference for differential tests).
    bool UseCache = true;
    void ClearCache() { Cache.clear(); }

    struct TProgram;
    struct TOperand;

private:
    struct TCompileContext;
    // An entry of the operand stack: a value, or the operand of a program not read yet (what a
    // token of its text would be).
    struct TSlot {
        TCalcValue Value;
        const TOperand* Operand = nullptr;
    };
    std::shared_ptr<const TProgram> Compile(std::string_view text, int32_t level);
    void Replay(const TProgram& program, int32_t level);
    void Run(const TProgram& program, int32_t level, TCalcValue& result);
    bool ParseOperand(TCalcValue& value, int32_t level);
    bool Apply(char code, TCalcValue& a, const TCalcValue& b);
    bool ReadIndexes(std::string_view name, int32_t level, std::string& bare, TVariableIndexes& idx);
    void Report(const std::string& message);
    // Reads an operand as ParseOperand reads a token of its text.
    void ReadOperand(const TOperand& operand, int32_t level, TCalcValue& value);
    void Resolve(TSlot& slot, int32_t level);
    bool AssignTo(const TSlot& target, int32_t level, const TCalcValue& value);
    void Push(TSlot slot);
    TSlot Pop();

    // What the tables ask of the evaluator.
    class TVariableLink final : public IVariableEvaluator {
    public:
        explicit TVariableLink(TKelCalculation& owner) : Owner(owner) {}
        TCalcValue Calculate(const std::string& text, int32_t level) override { return Owner.Calculate(text, level); }
        std::unique_ptr<TStringList> IndexList(const std::string& token) override {
            return std::make_unique<TStringList>(KelCalculationLib::IndexList(token, ','));
        }

    private:
        TKelCalculation& Owner;
    };

    IScriptVariables& Variables;
    // Variables when they are the engine's tables, whose one-search reads and writes are used.
    TKelVariables* Tables = nullptr;
    TVariableLink Link{*this};
    TKelVariables* LinkedTables = nullptr;
    bool ErrorReport = true;
    int32_t Nesting = 0;
    int32_t Evaluations = 0;     // started since the outermost evaluation began
    bool LimitReported = false;  // a refusal of this expression was reported
    // One operand stack for all evaluations: each uses the entries above the base it started at,
    // so a nested evaluation never disturbs the values pending below it. Entries stay where they
    // are while others are pushed above them, so an operator works on its operands in place.
    std::deque<TSlot> Stack;
    size_t StackBase = 0;
    struct TTextHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, std::shared_ptr<const TProgram>, TTextHash, std::equal_to<>> Cache;
};
