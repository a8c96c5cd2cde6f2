// The expression evaluator of KelCalculationLib.
#include <algorithm>

#include "foundation/ErrorLogLib.h"
#include "foundation/ShiftJis.h"
#include "platform/Encoding.h"
#include "script/KelCalculationLib.h"
#include "script/KelValueLib.h"

namespace {

constexpr char kSeparator = '\x01';
constexpr size_t kCacheLimit = 8192;

// Operator codes and the folding pass each belongs to (0: not an operator code).
constexpr int PassOf(char code) {
    switch (code) {
        case 'a':
        case 'b':
        case 'c':
            return 1;
        case '8':
        case '9':
            return 2;
        case '2':
        case '3':
            return 3;
        case 'd':
        case 'e':
        case 'f':
            return 4;
        case '0':
        case '1':
        case '4':
        case '5':
        case 'i':
        case 'j':
            return 5;
        case '6':
        case '7':
            return 6;
        case 'h':
            return 7;
        default:
            return 0;
    }
}

char SingleCode(char c) {
    switch (c) {
        case '*':
            return 'a';
        case '/':
            return 'b';
        case '%':
            return 'c';
        case '+':
            return '8';
        case '-':
            return '9';
        case '&':
            return 'e';
        case '|':
            return 'd';
        case '^':
            return 'f';
        case '>':
            return 'i';
        case '<':
            return 'j';
        case '=':
            return 'h';
        default:
            return 0;
    }
}

char PairCode(char a, char b) {
    if (b == '=') {
        switch (a) {
            case '=':
                return '0';
            case '!':
                return '1';
            case '<':
                return '4';
            case '>':
                return '5';
            default:
                return 0;
        }
    }
    if (a == '<' && b == '<') return '2';
    if (a == '>' && b == '>') return '3';
    if (a == '&' && b == '&') return '6';
    if (a == '|' && b == '|') return '7';
    return 0;
}

bool IsLead(std::string_view s, size_t i) {
    return uMisc::IsSJISLeadByte(static_cast<uint8_t>(s[i])) && i + 1 < s.size();
}

// An operator item of the postfix text: "*" and a code character.
char OperatorCode(std::string_view item) {
    return item.size() >= 2 && item[0] == '*' && PassOf(item[1]) ? item[1] : 0;
}

// One byte's effect on the tokeniser's nesting: a quote opens or closes a level, and outside
// quotes round and square brackets open and close one.
inline void StepNesting(char c, int32_t& depth, bool& quoted) {
    if (c == '"') {
        depth += quoted ? -1 : 1;
        quoted = !quoted;
    } else if (!quoted && (c == '(' || c == '[')) {
        ++depth;
    } else if (!quoted && (c == ')' || c == ']')) {
        --depth;
    }
}

// The deepest bracket and quote nesting the tokeniser will meet in the text.
int32_t TextNesting(std::string_view text) {
    int32_t depth = 0, deepest = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLead(text, i)) {
            ++i;
            continue;
        }
        char c = text[i];
        StepNesting(c, depth, quoted);
        deepest = std::max(deepest, depth);
    }
    return deepest;
}

bool HasOperator(std::string_view text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (IsLead(text, i)) {
            ++i;
            continue;
        }
        char c = text[i];
        if (c == '(' || c == ')' || TKelCalculation::IsOperatorChar(c)) return true;
    }
    return false;
}

bool IsNumberToken(std::string_view t, int64_t& v) {
    if (t.empty()) return false;
    char c = t[0];
    if (c != '$' && c != '-' && c != '+' && !(c >= '0' && c <= '9')) return false;
    return KelCalculationLib::TryStrToInt64(t, v);
}

// A quoted text or a number: what ParseOperand makes of such a token, which needs no variable.
bool ParseLiteral(const std::string& token, TCalcValue& value) {
    if (token[0] == '"') {
        std::string text = KelCalculationLib::BracketContents(token);
        std::string out;
        for (size_t i = 0; i < text.size();) {
            if (text.compare(i, 3, "'''") == 0) {
                out.push_back('"');
                i += 3;
            } else {
                out.push_back(text[i++]);
            }
        }
        value = {TCalcValueType::String, KelValueLib::StrToIntDef0(out), out};
        return true;
    }
    int64_t number;
    if (IsNumberToken(token, number)) {
        value = {TCalcValueType::Integer, static_cast<int32_t>(static_cast<uint32_t>(number)), token};
        return true;
    }
    return false;
}

int CompareText(const std::string& a, const std::string& b) {
    std::string la = ClassLib::LowerAscii(a), lb = ClassLib::LowerAscii(b);
    int r = la.compare(lb);  // std::string compares bytes as unsigned char
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace

// ---- programs ----

// An operand as its text alone decides: a literal has its value already; a plain name (no sign
// prefix, no index list) its hash, so that reading it is one scope search; a name with an index
// list (and an optional sign prefix) its bare name, hash and index expressions, cut once; anything
// else is read as a token.
struct TKelCalculation::TOperand {
    enum TKind : uint8_t { kToken, kLiteral, kName, kIndexed };
    std::string Text;
    uint8_t Kind = kToken;
    uint32_t Hash = 0;
    TCalcValue Value;  // kLiteral
    // kIndexed: the prefix ("+", "-", "^" or none), the bare name (Hash is its hash) and the index
    // expressions, the last written first, at most four.
    char Prefix = 0;
    std::string Bare;
    std::vector<std::string> Indexes;
    mutable TEvaluationMemo IndexMemos[4];
    // An index expression that is a plain number has its value here: evaluating it reads nothing,
    // runs nothing and reports nothing while the nesting limit is not reached.
    bool IndexIsNumber[4] = {false, false, false, false};
    int32_t IndexNumber[4] = {0, 0, 0, 0};
    // kName and kIndexed: where the scope search last found the name.
    mutable TVariableMemo Place;

    explicit TOperand(std::string text) : Text(std::move(text)) {
        if (Text.empty()) return;
        if (ParseLiteral(Text, Value)) {
            Kind = kLiteral;
            return;
        }
        const bool prefixed = Text[0] == '+' || Text[0] == '-' || Text[0] == '^';
        if (!prefixed && Text.back() != ']') {
            Kind = kName;
            Hash = KelValueLib::NameHash(Text);
            return;
        }
        // A name longer than the prefix's cut, or with more indexes than an array has, keeps the
        // token's way with its messages.
        std::string_view name = Text;
        if (prefixed) name.remove_prefix(1);
        if (name.empty() || name.size() > 254 || name.back() != ']') return;
        TStringList parts = KelCalculationLib::IndexList(name, ',');
        if (parts.Count() < 2 || parts.Count() - 1 > 4 || parts[0].empty() || parts[0].back() == ']') return;
        Kind = kIndexed;
        Prefix = prefixed ? Text[0] : 0;
        Bare = parts[0];
        Hash = KelValueLib::NameHash(Bare);
        for (int32_t i = parts.Count() - 1; i >= 1; --i) {
            const size_t k = Indexes.size();
            int64_t number;
            if (!HasOperator(parts[i]) && IsNumberToken(KelCalculationLib::Trim(parts[i]), number)) {
                IndexIsNumber[k] = true;
                IndexNumber[k] = static_cast<int32_t>(static_cast<uint32_t>(number));
            }
            Indexes.push_back(parts[i]);
        }
    }
};

// What a text compiles to. Effects are the increments run and the bracket faults reported while
// the text was tokenised, in the order they happened; a cached program replays them.
struct TKelCalculation::TProgram {
    struct TEffect {
        bool IsMessage = false;
        std::string Text;  // the message, or the increment expression to evaluate
    };
    struct TItem {
        char Code = 0;  // operator code, 0 for an operand
        TOperand Operand;
    };
    std::string Source;  // the text compiled
    bool Single = false;
    TOperand Operand{{}};  // a single operand: the trimmed text
    int32_t Nesting = 0;
    std::vector<TEffect> Effects;
    std::vector<TItem> Items;
};

struct TKelCalculation::TCompileContext {
    TKelCalculation& Owner;
    int32_t Level;
    TProgram& Program;

    // The tokeniser: operands and operator codes, running increments as it meets them.
    std::vector<std::string> Tokens(std::string_view text) {
        std::vector<std::string> list;
        std::string token;
        int32_t depth = 0;
        bool quoted = false, operandExpected = true;
        auto flush = [&] {
            if (!token.empty()) list.push_back(std::move(token));
            token.clear();
        };
        for (size_t i = 0; i < text.size(); ++i) {
            if (IsLead(text, i)) {
                token.append(text.substr(i, 2));
                ++i;
                operandExpected = false;
                continue;
            }
            char c = text[i];
            StepNesting(c, depth, quoted);
            if (depth != 0) {
                token.push_back(c);
                operandExpected = false;
                continue;
            }
            if (static_cast<uint8_t>(c) <= 32) continue;
            if (operandExpected && (c == '+' || c == '-' || c == '^')) {
                flush();
                token.push_back(c);
                operandExpected = false;
                continue;
            }
            if (i + 1 < text.size() && IsOperatorChar(text[i + 1])) {
                char next = text[i + 1];
                if (char code = PairCode(c, next)) {
                    flush();
                    list.push_back(std::string{'*', code});
                    operandExpected = true;
                    ++i;
                    continue;
                }
                if ((c == '+' || c == '-') && next == c) {
                    std::string name = token;
                    flush();
                    Increment(name + "=" + name + (c == '+' ? "+1" : "-1"));
                    operandExpected = false;
                    ++i;
                    continue;
                }
            }
            if (char code = SingleCode(c)) {
                flush();
                list.push_back(std::string{'*', code});
                operandExpected = true;
                continue;
            }
            token.push_back(c);
            operandExpected = false;
        }
        flush();
        if (depth != 0) Message("カッコが正しく閉じられていません"_sj);
        return list;
    }

    void Increment(const std::string& expression) {
        Program.Effects.push_back({false, expression});
        Owner.Calculate(expression, Level);
    }
    void Message(const std::string& message) {
        Program.Effects.push_back({true, message});
        Owner.Report(message);
    }

    std::string CompileBracket(const std::string& token) {
        if (token.empty() || token[0] != '(') return token;
        return ToPostfix(Tokens(KelCalculationLib::BracketContents(token)));
    }

    // Folding by precedence: each pass joins operand, operator, operand into one postfix item.
    std::string ToPostfix(std::vector<std::string> items) {
        if (items.empty()) return {};
        if (items.size() == 1) items[0] = CompileBracket(items[0]);
        for (int pass = 1; pass <= 7; ++pass) {
            for (size_t i = 1; i + 1 < items.size(); ++i) {
                char code = OperatorCode(items[i]);
                if (!code || PassOf(code) != pass) continue;
                std::string left = CompileBracket(items[i - 1]);
                std::string right = CompileBracket(items[i + 1]);
                std::string joined = left + kSeparator + right + kSeparator + items[i];
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(i),
                            items.begin() + static_cast<std::ptrdiff_t>(i) + 2);
                items[i - 1] = std::move(joined);
                --i;
            }
        }
        return items[0];
    }
};

// ---- evaluator ----

TKelCalculation::TKelCalculation(IScriptVariables& variables, TErrorLog* log)
    : Variables(variables), Tables(dynamic_cast<TKelVariables*>(&variables)), Log(log) {}

TKelCalculation::TKelCalculation(TKelVariables& tables, TErrorLog* log)
    : TKelCalculation(static_cast<IScriptVariables&>(tables), log) {
    LinkedTables = &tables;
    tables.SetEvaluator(&Link);
}

TKelCalculation::~TKelCalculation() {
    if (LinkedTables) LinkedTables->SetEvaluator(nullptr);
}

bool TKelCalculation::IsOperatorChar(char c) {
    switch (c) {
        case '+':
        case '-':
        case '*':
        case '/':
        case '%':
        case '&':
        case '|':
        case '^':
        case '>':
        case '<':
        case '=':
        case '!':
            return true;
        default:
            return false;
    }
}

void TKelCalculation::SetErrorReport(bool on) {
    ErrorReport = on;
    Variables.SetErrorReport(on);
}

void TKelCalculation::Report(const std::string& message) {
    if (ErrorReport && Log) Log->ErrorLog(message);
}

void TKelCalculation::Push(TSlot slot) {
    if (Stack.size() - StackBase >= static_cast<size_t>(kStackSize)) return;  // dropped, no message
    Stack.push_back(std::move(slot));
}

TKelCalculation::TSlot TKelCalculation::Pop() {
    if (Stack.size() <= StackBase) return {};
    TSlot v = std::move(Stack.back());
    Stack.pop_back();
    return v;
}

void TKelCalculation::ReadOperand(const TOperand& operand, int32_t level, TCalcValue& value) {
    if (operand.Kind == TOperand::kLiteral) {
        // In place: the value's text keeps its buffer.
        value.Type = operand.Value.Type;
        value.Value = operand.Value.Value;
        value.Text.clear();
        value.Text.append(operand.Value.Text);
        return;
    }
    if (operand.Kind == TOperand::kToken || !Tables) {
        value = {TCalcValueType::Token, 0, operand.Text};
        ParseOperand(value, level);
        return;
    }
    // ParseOperand of a name: its indexes, then one scope search.
    TVariableIndexes idx;
    if (operand.Kind == TOperand::kIndexed) EvaluateIndexes(operand, level, idx);
    value.Type = TCalcValueType::Integer;  // what an index outside the array gives
    value.Value = 0;
    value.Text.clear();
    const std::string_view bare = operand.Kind == TOperand::kIndexed ? operand.Bare : operand.Text;
    if (Tables->ReadFound(bare, operand.Hash, idx, level, value, operand.Place) == TVariableScope::None) {
        Report("未定義の変数："_sj + operand.Text);
        value = TCalcValue::ErrorValue();
        return;
    }
    if (value.Type == TCalcValueType::Integer && operand.Prefix == '-') {
        value.Value = static_cast<int32_t>(0u - static_cast<uint32_t>(value.Value));
        value.Text = std::to_string(value.Value);
    } else if (value.Type == TCalcValueType::Integer && operand.Prefix == '^') {
        value.Value = static_cast<int32_t>(~static_cast<uint32_t>(value.Value));
        value.Text = std::to_string(value.Value);
    }
}

void TKelCalculation::EvaluateIndexes(const TOperand& operand, int32_t level, TVariableIndexes& idx) {
    TCalcValue index;
    for (size_t k = 0; k < operand.Indexes.size(); ++k) {
        if (operand.IndexIsNumber[k] && Nesting + 1 <= kMaxNesting) {
            idx.I[k] = operand.IndexNumber[k];
            continue;
        }
        Evaluate(operand.Indexes[k], &operand.IndexMemos[k], level, index);
        idx.I[k] = index.Value;
    }
}

void TKelCalculation::Resolve(TSlot& slot, int32_t level) {
    if (slot.Operand) {
        ReadOperand(*slot.Operand, level, slot.Value);
        slot.Operand = nullptr;
    } else {
        ParseOperand(slot.Value, level);
    }
}

// The left side of "=": a token that is neither a quoted text nor a number names the variable.
bool TKelCalculation::AssignTo(const TSlot& target, int32_t level, const TCalcValue& value) {
    if (!target.Operand) {
        const TCalcValue& a = target.Value;
        int64_t number;
        return a.Type == TCalcValueType::Token && !a.Text.empty() && a.Text[0] != '"' &&
               !IsNumberToken(a.Text, number) && SetVariable(a.Text, level, value);
    }
    const TOperand& operand = *target.Operand;
    if (operand.Text.empty() || operand.Kind == TOperand::kLiteral) return false;
    const bool named = operand.Kind == TOperand::kName || (operand.Kind == TOperand::kIndexed && !operand.Prefix);
    if (!named || !Tables) return SetVariable(operand.Text, level, value);
    // SetVariable of a name: its indexes, then one scope search.
    TVariableIndexes idx;
    if (operand.Kind == TOperand::kIndexed) EvaluateIndexes(operand, level, idx);
    const std::string& bare = operand.Kind == TOperand::kIndexed ? operand.Bare : operand.Text;
    bool written = false;
    if (Tables->WriteFound(bare, operand.Hash, idx, level, value, written, operand.Place) != TVariableScope::None)
        return written;
    Report("未定義の変数："_sj + bare);
    return false;
}

std::shared_ptr<const TKelCalculation::TProgram> TKelCalculation::Compile(std::string_view text, int32_t level) {
    auto program = std::make_shared<TProgram>();
    program->Source.assign(text);
    program->Nesting = TextNesting(text);
    if (!HasOperator(text)) {
        program->Single = true;
        program->Operand = TOperand(std::string(KelCalculationLib::Trim(text)));
        return program;
    }
    TCompileContext context{*this, level, *program};
    std::string postfix = context.ToPostfix(context.Tokens(text));
    size_t start = 0;
    while (start <= postfix.size()) {
        size_t end = postfix.find(kSeparator, start);
        if (end == std::string::npos) end = postfix.size();
        if (end > start) {
            std::string item = postfix.substr(start, end - start);
            const char code = OperatorCode(item);
            program->Items.push_back({code, TOperand(code ? std::string() : std::move(item))});
        }
        start = end + 1;
    }
    return program;
}

void TKelCalculation::Replay(const TProgram& program, int32_t level) {
    for (const auto& e : program.Effects) {
        if (e.IsMessage)
            Report(e.Text);
        else
            Calculate(e.Text, level);
    }
}

void TKelCalculation::Evaluate(std::string_view text, TEvaluationMemo* memo, int32_t level, TCalcValue& result) {
    // The error value, in place: the text keeps its buffer.
    result.Type = TCalcValueType::Error;
    result.Value = 0;
    result.Text.clear();
    if (text.empty()) return;

    const TProgram* program = nullptr;
    if (UseCache) {
        // A memo stands for the text it was made for; a caller may hand it another.
        const auto* remembered =
            memo && memo->Owner == this ? static_cast<const TProgram*>(memo->Program.get()) : nullptr;
        if (remembered && remembered->Source.size() == text.size() &&
            EqualBytes(remembered->Source.data(), text.data(), text.size())) {
            program = remembered;
        } else if (const auto* found = Cache.Find(text)) {
            program = found->get();
            if (memo) *memo = {this, *found};
        }
    }
    int32_t nesting = program ? program->Nesting : TextNesting(text);
    const bool outermost = Nesting == 0;
    if (outermost) {
        Evaluations = 0;
        LimitReported = false;
    }
    ++Evaluations;
    if (Nesting + 1 + nesting > kMaxNesting || Evaluations > kMaxEvaluations) {
        // Past the count every evaluation left in the expression fails at once. One report
        // stands for all the refusals of one expression.
        if (!LimitReported) Report("計算式が間違っています。"_sj);
        LimitReported = true;
        return;
    }
    // Undone also when an exception (a failed allocation) leaves the evaluation, so that the
    // evaluator stays usable after the frame that caught it.
    struct TLevel {
        TKelCalculation& C;
        const int32_t Depth;
        const size_t SavedBase;
        ~TLevel() {
            C.Stack.resize(C.StackBase);
            C.StackBase = SavedBase;
            C.Nesting -= Depth;
        }
    } guard{*this, 1 + nesting, StackBase};
    Nesting += guard.Depth;
    StackBase = Stack.size();

    std::shared_ptr<const TProgram> compiled;
    if (program) {
        if (!program->Effects.empty()) Replay(*program, level);
    } else {
        compiled = Compile(text, level);
        program = compiled.get();
        if (UseCache && memo) *memo = {this, compiled};
        if (UseCache) {
            // Cached programs are freed only while no evaluation runs, so that none is freed under
            // an evaluation that runs it; a full cache takes no more programs until then.
            if (Cache.Size() >= kCacheLimit && outermost) Cache.Clear();
            if (Cache.Size() < kCacheLimit) Cache.Insert(text, std::move(compiled));
        }
    }
    if (program->Single) {
        ReadOperand(program->Operand, level, result);
        if (result.IsError()) Report("未定義の変数："_sj + std::string(text));
    } else {
        Run(*program, level, result);
    }
    if (Evaluations > kMaxEvaluations) result = TCalcValue::ErrorValue();
}

void TKelCalculation::Run(const TProgram& program, int32_t level, TCalcValue& result) {
    bool failed = false;
    for (const auto& item : program.Items) {
        if (!item.Code) {
            // As Push: dropped, without a message, on a full stack.
            if (Stack.size() - StackBase < static_cast<size_t>(kStackSize))
                Stack.emplace_back().Operand = &item.Operand;
            continue;
        }
        if (Stack.size() - StackBase >= 2) {
            // Both operands on the stack: read and combined where they are. Reading one may run
            // nested evaluations, which only push above them.
            TSlot& a = Stack[Stack.size() - 2];
            TSlot& b = Stack[Stack.size() - 1];
            if (item.Code == 'h') {
                Resolve(b, level);
                if (!AssignTo(a, level, b.Value)) {
                    failed = true;
                    break;
                }
                Stack.pop_back();
                // The assignment's value, 1, in place of its target.
                TSlot& one = Stack.back();
                one.Value.Type = TCalcValueType::Integer;
                one.Value.Value = 1;
                one.Value.Text.assign(1, '1');
                one.Operand = nullptr;
                continue;
            }
            Resolve(a, level);
            Resolve(b, level);
            if (!Apply(item.Code, a.Value, b.Value)) {
                failed = true;
                break;
            }
            Stack.pop_back();
            continue;
        }
        TSlot b = Pop();
        TSlot a = Pop();
        if (item.Code == 'h') {
            Resolve(b, level);
            if (!AssignTo(a, level, b.Value)) {
                failed = true;
                break;
            }
            Push({TCalcValue::Int(1)});
            continue;
        }
        Resolve(a, level);
        Resolve(b, level);
        if (!Apply(item.Code, a.Value, b.Value)) {
            failed = true;
            break;
        }
        Push({std::move(a.Value)});
    }
    if (failed || Stack.size() - StackBase != 1) {
        Report("計算式が間違っています。"_sj);
        result = TCalcValue::ErrorValue();
        return;
    }
    // The last entry is read where it lies; Calculate drops it with the rest of this evaluation.
    TSlot& last = Stack.back();
    Resolve(last, level);
    result = std::move(last.Value);
    if (result.IsError()) Report("計算中エラーが発生しました。"_sj);
}

bool TKelCalculation::ReadIndexes(std::string_view name, int32_t level, std::string& bare, TVariableIndexes& idx) {
    if (name.empty() || name.back() != ']') {
        bare = std::string(name);
        return true;
    }
    TStringList parts = KelCalculationLib::IndexList(name, ',');
    bare = parts.Count() > 0 ? parts[0] : std::string();
    // Arrays have at most four dimensions; a longer index list is refused as the tables refuse it.
    if (parts.Count() - 1 > 4) {
        Report(KelValueLib::TooManyIndexesMessage() + bare);
        return false;
    }
    // The last index written is index 0.
    int32_t k = 0;
    for (int32_t i = parts.Count() - 1; i >= 1; --i, ++k)
        idx.I[k] = Calculate(parts[i], level).Value;
    return true;
}

bool TKelCalculation::ParseOperand(TCalcValue& value, int32_t level) {
    if (value.Type != TCalcValueType::Token || value.Text.empty()) return true;
    // Every path below sets the value anew.
    const std::string token = std::move(value.Text);
    if (ParseLiteral(token, value)) return true;
    char prefix = 0;
    std::string_view name = token;
    if (token[0] == '+' || token[0] == '-' || token[0] == '^') {
        prefix = token[0];
        name = name.substr(1, 254);
    }
    std::string bare;
    TVariableIndexes idx;
    if (!ReadIndexes(name, level, bare, idx)) {
        value = TCalcValue::ErrorValue();
        return false;
    }
    // What an index outside the array gives.
    value.Type = TCalcValueType::Integer;
    value.Value = 0;
    value.Text.clear();
    TVariableScope scope;
    if (Tables) {
        scope = Tables->ReadFound(bare, idx, level, value);
    } else {
        scope = Variables.FindVariable(bare, level);
        if (scope != TVariableScope::None) Variables.ReadElement(scope, bare, idx, level, value, false);
    }
    if (scope == TVariableScope::None) {
        Report("未定義の変数："_sj + token);
        value = TCalcValue::ErrorValue();
        return false;
    }
    if (value.Type == TCalcValueType::Integer && prefix == '-') {
        value.Value = static_cast<int32_t>(0u - static_cast<uint32_t>(value.Value));
        value.Text = std::to_string(value.Value);
    } else if (value.Type == TCalcValueType::Integer && prefix == '^') {
        value.Value = static_cast<int32_t>(~static_cast<uint32_t>(value.Value));
        value.Text = std::to_string(value.Value);
    }
    return !value.IsError();
}

bool TKelCalculation::Apply(char code, TCalcValue& a, const TCalcValue& b) {
    if (a.IsError() || b.IsError()) {
        a = TCalcValue::ErrorValue();
        return false;
    }
    auto ua = static_cast<uint32_t>(a.Value), ub = static_cast<uint32_t>(b.Value);
    auto integer = [&](uint32_t v) {
        a.Value = static_cast<int32_t>(v);
        a.Type = TCalcValueType::Integer;
    };
    auto compare = [&]() {
        if (a.Type == TCalcValueType::String || a.Type == TCalcValueType::Object) return CompareText(a.Text, b.Text);
        return a.Value < b.Value ? -1 : (a.Value > b.Value ? 1 : 0);
    };
    switch (code) {
        case '8':
        case 'e':
            if (a.Text.size() + b.Text.size() > kMaxTextSize) {
                Report(KelCalculationLib::TextTooLongMessage());
                a = TCalcValue::ErrorValue();
                return false;
            }
            a.Value = static_cast<int32_t>(code == '8' ? ua + ub : ua & ub);
            a.Text += b.Text;
            return true;
        case '9':
            integer(ua - ub);
            return true;
        case 'a':
            integer(ua * ub);
            return true;
        case 'd':
            integer(ua | ub);
            return true;
        case 'f':
            integer(ua ^ ub);
            return true;
        case 'b':
        case 'c': {
            int32_t q = 0, r = 0;
            if (b.Value == 0) {
            } else if (a.Value == INT32_MIN && b.Value == -1) {
                q = INT32_MIN;
            } else {
                q = a.Value / b.Value;
                r = a.Value % b.Value;
            }
            integer(static_cast<uint32_t>(code == 'b' ? q : r));
            return true;
        }
        case '2':
            integer(ua << (ub & 31));
            return true;
        case '3':
            integer(ua >> (ub & 31));
            return true;
        case '0': {
            int c = compare();
            integer(c == 0);
            return true;
        }
        case '1': {
            int c = compare();
            integer(c != 0);
            return true;
        }
        case '4': {
            int c = compare();
            integer(c <= 0);
            return true;
        }
        case '5': {
            int c = compare();
            integer(c >= 0);
            return true;
        }
        case 'i': {
            int c = compare();
            integer(c > 0);
            return true;
        }
        case 'j': {
            int c = compare();
            integer(c < 0);
            return true;
        }
        case '6':
        case '7':
            if (a.Type != TCalcValueType::Integer || b.Type != TCalcValueType::Integer) {
                a = TCalcValue::ErrorValue();
                return false;
            }
            integer(code == '6' ? (a.Value == 1 && b.Value == 1) : (a.Value == 1 || b.Value == 1));
            return true;
        default:
            a = TCalcValue::ErrorValue();
            return false;
    }
}

bool TKelCalculation::SetVariable(std::string_view name, int32_t level, const TCalcValue& value) {
    std::string bare;
    TVariableIndexes idx;
    if (!ReadIndexes(name, level, bare, idx)) return false;
    if (Tables) {
        bool written = false;
        if (Tables->WriteFound(bare, idx, level, value, written) != TVariableScope::None) return written;
    } else if (TVariableScope scope = Variables.FindVariable(bare, level); scope != TVariableScope::None) {
        return Variables.WriteElement(scope, bare, idx, level, value, false);
    }
    Report("未定義の変数："_sj + bare);
    return false;
}

TCalcValue TKelCalculation::GetValue(std::string_view token, int32_t level) {
    TCalcValue v{TCalcValueType::Token, 0, std::string(token)};
    ParseOperand(v, level);
    return v;
}
