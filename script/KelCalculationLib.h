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
#include "script/KelTextCache.h"
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

// The evaluator's reading of a number: uMisc::TryStrToInt as 64 bits, with "$" or "0x" before
// hexadecimal digits. False when the text is not such a number.
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
    // Messages go to the log; without one they are not written.
    explicit TKelCalculation(IScriptVariables& variables, TErrorLog* log = nullptr);
    // Works on the engine's tables and serves them as their evaluator (dimension and index
    // expressions, index lists) for as long as it lives.
    explicit TKelCalculation(TKelVariables& tables, TErrorLog* log = nullptr);
    ~TKelCalculation() override;

    void Calculate(std::string_view text, int32_t level, TCalcValue& result) override {
        Evaluate(text, nullptr, level, result);
    }
    void Calculate(std::string_view text, int32_t level, TCalcValue& result, TEvaluationMemo& memo) override {
        Evaluate(text, &memo, level, result);
    }
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
    void ClearCache() { Cache.Clear(); }

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
    // Calculate, with the program taken from the memo when it holds one of this evaluator's and
    // the cache is on, and left in it.
    void Evaluate(std::string_view text, TEvaluationMemo* memo, int32_t level, TCalcValue& result);
    std::shared_ptr<const TProgram> Compile(std::string_view text, int32_t level);
    void Replay(const TProgram& program, int32_t level);
    void Run(const TProgram& program, int32_t level, TCalcValue& result);
    bool ParseOperand(TCalcValue& value, int32_t level);
    bool Apply(char code, TCalcValue& a, const TCalcValue& b);
    bool ReadIndexes(std::string_view name, int32_t level, std::string& bare, TVariableIndexes& idx);
    // The index expressions of an operand with an index list, evaluated the last written first.
    void EvaluateIndexes(const TOperand& operand, int32_t level, TVariableIndexes& idx);
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
    TErrorLog* Log = nullptr;
    int32_t Nesting = 0;
    int32_t Evaluations = 0;     // started since the outermost evaluation began
    bool LimitReported = false;  // a refusal of this expression was reported
    // One operand stack for all evaluations: each uses the entries above the base it started at,
    // so a nested evaluation never disturbs the values pending below it. Entries stay where they
    // are while others are pushed above them (the stack grows by chunks that never move), so an
    // operator works on its operands in place. Popped entries keep their text buffers for the
    // next push.
    class TSlotStack {
    public:
        size_t size() const { return Size; }
        TSlot& operator[](size_t i) { return Chunks[i >> kShift][i & (kChunk - 1)]; }
        TSlot& back() { return (*this)[Size - 1]; }
        // A slot as new: the error value, no operand.
        TSlot& emplace_back() {
            if ((Size >> kShift) == Chunks.size()) Chunks.push_back(std::make_unique<TSlot[]>(kChunk));
            TSlot& slot = (*this)[Size++];
            slot.Value.Type = TCalcValueType::Error;
            slot.Value.Value = 0;
            slot.Value.Text.clear();
            slot.Operand = nullptr;
            return slot;
        }
        void push_back(TSlot&& slot) { emplace_back() = std::move(slot); }
        void pop_back() { --Size; }
        // Drops the entries from n on.
        void resize(size_t n) { Size = n < Size ? n : Size; }

    private:
        static constexpr size_t kShift = 7, kChunk = size_t{1} << kShift;
        std::vector<std::unique_ptr<TSlot[]>> Chunks;
        size_t Size = 0;
    };
    TSlotStack Stack;
    size_t StackBase = 0;
    TTextCache<std::shared_ptr<const TProgram>> Cache;
};
