#include "script/KelControlLib.h"

#include <array>
#include <climits>
#include <typeinfo>

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"
#include "script/KelScriptLib.h"

namespace KelControlLib {

namespace {

using K = TBlockKind;

// The loop and branch tests take the integer field alone: 2 or -1 count as false.
bool IsOne(const TCalcValue& v) {
    return !v.IsError() && v.Value == 1;
}

// The position just after the statement: the reader's column already points past it.
void RecordPosition(TKelScript& s, TScriptBlock& b) {
    b.FileName = s.Reader->GetFileName();
    b.LabelName = s.Reader->GetLabelName();
    b.LineInLabel = s.Reader->GetLineInLabel();
    b.Column = s.Reader->GetColumn();
}

void If(TKelScript& s, TScriptRoutine& r, bool skipping, const TStringList& args) {
    TScriptBlock* b = r.Add();
    if (skipping) {
        b->Kind = K::IfSkipped;
        RecordPosition(s, *b);
        return;
    }
    TCalcValue v = s.Evaluate(args[1]);
    if (v.Type != TCalcValueType::Integer) {
        // The block stays open with no kind; its closer reports the missing pair.
        s.Log().ErrorLog("if：評価式が間違っています："_sj + args[1]);
        return;
    }
    b->Values[0] = std::to_string(v.Value);
    b->Kind = b->Values[0] == "1" ? K::IfActive : K::IfInactive;
    RecordPosition(s, *b);
}

void Else(TErrorLog& log, TScriptBlock* top) {
    switch (top ? top->Kind : K::None) {
        case K::IfSkipped:
        case K::CaseSkipped:
            break;
        case K::IfActive:
        case K::IfInactive:
            // After an "if" whose value was neither 0 nor 1 neither branch runs.
            top->Kind = top->Values[0] == "0" ? K::IfActive : K::IfInactive;
            break;
        case K::CaseMatched:
        case K::CaseSearching:
            top->Kind = top->Values[1] == "0" ? K::CaseMatched : K::CaseSearching;
            break;
        default:
            log.ErrorLog("\\else：対となる\\if,\\caseがみつかりません"_sj);
    }
}

void Then(TErrorLog& log, TScriptBlock* top) {
    switch (top ? top->Kind : K::None) {
        case K::IfSkipped:
            break;
        case K::IfActive:
        case K::IfInactive:
            top->Kind = top->Values[0] == "1" ? K::IfActive : K::IfInactive;
            break;
        default:
            log.ErrorLog("\\else：\\if～\\fiの中でしか使用できません"_sj);
    }
}

// "fi", "end" and "next" close whatever block is on top.
void Close(TKelScript& s, TScriptRoutine& r) {
    TScriptBlock* top = r.TopBlock();
    switch (top ? top->Kind : K::RoutineRoot) {
        case K::IfSkipped:
        case K::IfActive:
        case K::IfInactive:
        case K::ForSkipped:
        case K::ForFinished:
        case K::CaseSkipped:
        case K::CaseMatched:
        case K::CaseSearching:
            r.DeleteLast();
            break;
        case K::ForRunning:
        case K::ForContinued: {
            s.Evaluate(top->Values[1]);
            if (IsOne(s.Evaluate(top->Values[0]))) {
                // The evaluations cannot drop blocks, so the top block is still the loop.
                s.Reader->JumpLabel(top->LabelName, top->LineInLabel, top->Column);
                top->Kind = K::ForRunning;
            } else {
                r.DeleteLast();
            }
            break;
        }
        default:
            s.Log().ErrorLog("\\end : 対となる制御命令(\\if,\\for,\\swit)が見つかりません"_sj);
    }
}

// Items 1 to 3 are the initialisation, the condition and the step. The three tests below apply
// one after the other: "\for,i=0,i<3,i=i+1" is a counted loop; "\for,cond" and "\for,,,,x" loop
// on their condition; "\for" and "\for,,,,x" with items 1 and 2 empty loop until "brk"; a "for"
// with items 1, 2 and 4 set has an empty condition, which is no value, and never runs.
void For(TKelScript& s, TScriptRoutine& r, bool skipping, const TStringList& args) {
    TScriptBlock* b = r.Add();
    RecordPosition(s, *b);
    if (skipping) {
        b->Kind = K::ForSkipped;
        return;
    }
    if (args[4].empty()) {
        s.Evaluate(args[1]);
        b->Values[0] = args[2];
        b->Values[1] = args[3];
    }
    if (args[2].empty()) {
        b->Values[0] = args[1];
        b->Values[1].clear();
    }
    if (args[1].empty()) {
        b->Values[0].assign(1, '1');
        b->Values[1].clear();
    }
    b->Kind = IsOne(s.Evaluate(b->Values[0])) ? K::ForRunning : K::ForFinished;
}

void Case(TKelScript& s, TScriptRoutine& r, bool skipping, TStringList& args) {
    if (skipping) {
        TScriptBlock* b = r.Add();
        b->Kind = K::CaseSkipped;
        RecordPosition(s, *b);
        return;
    }
    KelScriptLib::PadArguments(args, 2);
    TScriptBlock* b = r.Add();
    TCalcValue v = s.Evaluate(args[1]);
    // A text is kept quoted, so that each "ans" compares it as a text.
    b->Values[0] = v.Type == TCalcValueType::Integer ? std::to_string(v.Value) : "\"" + v.Text + "\"";
    b->Kind = K::CaseSearching;
    RecordPosition(s, *b);
    b->Values[1].assign(1, '0');
}

// Every "ans" tests its own values again, so a matched branch ends at the next "ans".
void Ans(TKelScript& s, TScriptRoutine& r, const TStringList& args) {
    TScriptBlock* top = r.TopBlock();
    switch (top ? top->Kind : K::None) {
        case K::CaseSkipped:
            return;
        case K::CaseMatched:
        case K::CaseSearching:
            break;
        default:
            s.Log().ErrorLog("\\ans：対応する\\caseが見つかりません"_sj);
            return;
    }
    top->Kind = K::CaseSearching;
    const std::string caseValue = top->Values[0];
    for (int32_t i = 1; i < args.Count(); ++i) {
        if (args[i].empty()) continue;
        if (IsOne(s.Evaluate(args[i] + " == " + caseValue))) {
            top->Kind = K::CaseMatched;
            top->Values[1].assign(1, '1');
            return;
        }
    }
}

// "self" or nothing is the current file; any other argument is evaluated and resolved through the
// search folders.
std::string TargetFile(TKelScript& s, const std::string& item) {
    std::string low = ClassLib::LowerAscii(item);
    if (low.empty() || low == "self") return "self";
    std::string name = s.Evaluate(item).Text;
    if (s.ResolveJumpFile) return s.ResolveJumpFile(name);
    return s.OnPathFileExists(name) ? name : std::string();
}

void Jump(TKelScript& s, const TStringList& args, bool go) {
    std::string file = TargetFile(s, args[2]);
    std::string label = GetLabelArgument(s, args[1]);
    if (s.Reader->JumpFile(file, label)) {
        if (go)
            s.Thread->TruncateRoutines(0);
        else
            s.CurrentRoutine()->TruncateBlocks(0);
    } else {
        s.Log().ErrorLog((go ? "\\go：ジャンプ先が見つかりません："_sj : "\\jmp：ジャンプ先が見つかりません："_sj) +
                         args[1] + ":" + args[2]);
    }
    s.UpdateSelfFileVariables();
}

// The parameter variables of a call, declared at its level and written with force. With the
// engine's own tables they are declared and found by their hashes, and each is looked up once.
class TParameterFrame {
public:
    TParameterFrame(TKelScript& s, int32_t level) : Vars(*s.Variables), Level(level) {
        const IScriptVariables* variables = s.Variables.get();
        // The engine's tables (final) are told by their type alone, which is cheaper than a cast.
        if (typeid(*variables) == typeid(TKelVariables)) Local = &static_cast<TKelVariables&>(Vars).LocalVariables();
    }

    void Declare() {
        static const int32_t one[4] = {1, 1, 1, 1};
        static const int32_t sixteen[4] = {16, 1, 1, 1};
        TValueData* declared[3] = {};
        for (size_t k = 0; k < 3; ++k) {
            const TName& n = Names()[k];
            const int32_t* dims = n.Count == 1 ? one : sixteen;
            if (Local)
                declared[k] =
                    Local->Declare(n.Name, n.Hash, "", dims[0], dims[1], dims[2], dims[3], Level, n.Type, 0xFF, 0);
            else
                Vars.Declare(TVariableScope::Local, n.Name, kNoClass(), dims, Level, n.Type, 0xFF, false);
        }
        // A record declared here is the only one of its name at the level, so it is what a look-up
        // finds while the level stays as it is now (levels are kept in 16 bits).
        const bool kept = Level >= INT16_MIN && Level <= INT16_MAX;
        for (size_t k = 0; k < 3 && Local && kept; ++k)
            if (declared[k]) Memos[k] = {Local->LevelVersion(Level), Level, declared[k]};
    }

    // Writes element index of parameter variable k (0 ParamCount, 1 ParamInt, 2 ParamStr).
    void Write(size_t k, int32_t index, const TCalcValue& value) {
        const TName& n = Names()[k];
        if (Local)
            if (TValueData* record = Local->FindRecord(n.Name, n.Hash, Level, Memos[k])) {
                Local->WriteRecord(*record, index, 0, 0, 0, value, true);
                return;
            }
        TVariableIndexes idx;
        idx.I[0] = index;
        Vars.WriteElement(TVariableScope::Local, n.Name, idx, Level, value, true);
    }

private:
    struct TName {
        std::string Name;
        uint32_t Hash;
        int32_t Count;
        TCalcValueType Type;
    };
    static const std::array<TName, 3>& Names() {
        static const std::array<TName, 3> names = [] {
            std::array<TName, 3> n{{{"ParamCount", 0, 1, TCalcValueType::Integer},
                                    {"ParamInt", 0, 16, TCalcValueType::Integer},
                                    {"ParamStr", 0, 16, TCalcValueType::String}}};
            for (TName& name : n)
                name.Hash = KelValueLib::NameHash(name.Name);
            return n;
        }();
        return names;
    }
    static const std::string& kNoClass() {
        static const std::string none;
        return none;
    }

    IScriptVariables& Vars;
    TValue* Local = nullptr;
    int32_t Level;
    TRecordMemo Memos[3];
};

void SetParameters(TKelScript& s, const TStringList& args, int32_t level) {
    TParameterFrame frame(s, level);
    frame.Declare();
    int32_t count = 0;
    for (int32_t i = 0; i < 16; ++i) {
        const std::string_view given = KelCalculationLib::Trim(args[3 + i]);
        if (given.empty()) continue;
        count = i + 1;
        // A bare word that is no variable is a text argument, not a fault.
        if (s.Calculation) s.Calculation->SetErrorReport(false);
        // The argument itself when it is trimmed already, so that its evaluation is remembered.
        TCalcValue v = s.Evaluate(given.size() == args[3 + i].size() ? std::string_view(args[3 + i]) : given);
        if (s.Calculation) s.Calculation->SetErrorReport(true);
        int32_t number = v.Value;
        std::string text = std::move(v.Text);
        if (v.IsError()) {
            number = KelValueLib::StrToIntDef0(given);
            text = given;
        }
        frame.Write(1, i, TCalcValue::Int(number));
        frame.Write(2, i, TCalcValue::Str(std::move(text)));
    }
    // The position of the last argument given, not the number of arguments given.
    frame.Write(0, 0, TCalcValue::Int(count));
}

void Sub(TKelScript& s, TStringList& args) {
    KelScriptLib::PadArguments(args, 19);
    // The return position, taken before the jump moves the reader.
    struct {
        std::string FileName, LabelName;
        int32_t LineInLabel, Column;
    } caller{s.Reader->GetFileName(), s.Reader->GetLabelName(), s.Reader->GetLineInLabel(), s.Reader->GetColumn()};
    std::string file = TargetFile(s, args[2]);
    std::string label = GetLabelArgument(s, args[1]);
    if (s.Reader->JumpFile(file, label)) {
        int32_t depth = s.Thread->Count();
        SetParameters(s, args, depth);
        TScriptBlock* root = s.Thread->Add()->Add();
        root->Kind = K::RoutineRoot;
        root->FileName = std::move(caller.FileName);
        root->LabelName = std::move(caller.LabelName);
        root->LineInLabel = caller.LineInLabel;
        root->Column = caller.Column;
    } else {
        s.Log().ErrorLog("\\sub：不明なファイル名かラベル："_sj + args[1] + ":" + args[2]);
    }
    s.UpdateSelfFileVariables();
}

// Returns to the caller of the current routine or, with a label, of the innermost routine called
// from that label, dropping every routine in between. The first routine has no caller.
void Ret(TKelScript& s, const TStringList& args) {
    std::string label = GetLabelArgument(s, args[1]);
    int32_t r = label.empty() ? s.Thread->Count() - 1 : s.Thread->FindRoutineByLabel(label);
    TScriptRoutine* routine = s.Thread->Routine(r);
    if (r >= 1 && routine && routine->Count() > 0) {
        // The routine and its root block stay until the truncation below; the reader's moves do
        // not touch them.
        const TScriptBlock& root = *routine->Block(0);
        if (!ClassLib::SameTextAscii(root.FileName, s.Reader->GetFileName()))
            s.Reader->LoadScript(root.FileName, false);
        s.Reader->JumpLabel(root.LabelName, root.LineInLabel, root.Column);
        s.Thread->TruncateRoutines(r - 1);
    } else {
        s.Log().ErrorLog("\\ret : 対となる\\subが見つかりません : "_sj + label);
    }
    s.UpdateSelfFileVariables();
}

void LeaveLoop(TErrorLog& log, TScriptRoutine& r, TBlockKind kind, const char* message) {
    int32_t i = r.FindBlockOfKind(K::ForRunning);
    if (i >= 0)
        r.Block(i)->Kind = kind;
    else
        log.ErrorLog(Encoding::Utf8ToSjis(message));
}

class TControlWords final : public IScriptWordHandler {
public:
    bool Handle(TKelScript& script, int32_t code, TStringList& args) override {
        return DoControlCommand(script, code, args);
    }
};

class TJumpWords final : public IScriptWordHandler {
public:
    bool Handle(TKelScript& script, int32_t code, TStringList& args) override {
        return DoJumpCommand(script, code, args);
    }
};

}  // namespace

bool DoControlCommand(TKelScript& s, int32_t code, TStringList& args) {
    TScriptRoutine* r = s.CurrentRoutine();
    if (!r || !s.Reader) return false;
    KelScriptLib::PadArguments(args, 9);
    bool skipping = r->IsSkipping();
    switch (code) {
        case Cmd("if"):
            If(s, *r, skipping, args);
            return true;
        case Cmd("else"):
            Else(s.Log(), r->TopBlock());
            return true;
        case Cmd("then"):
            Then(s.Log(), r->TopBlock());
            return true;
        case Cmd("fi"):
        case Cmd("end"):
        case Cmd("next"):
            Close(s, *r);
            return true;
        case Cmd("for"):
            For(s, *r, skipping, args);
            return true;
        case Cmd("case"):
            Case(s, *r, skipping, args);
            return true;
        case Cmd("ans"):
            Ans(s, *r, args);
            return true;
        default:
            // Inside a skipped region every other statement is swallowed here.
            return skipping;
    }
}

bool DoJumpCommand(TKelScript& s, int32_t code, TStringList& args) {
    if (!s.Thread || !s.Reader || !s.CurrentRoutine()) return false;
    KelScriptLib::PadArguments(args, 9);
    const int32_t before = s.Thread->Count();
    switch (code) {
        case Cmd("jmp"):
            Jump(s, args, false);
            break;
        case Cmd("go"):
            Jump(s, args, true);
            break;
        case Cmd("sub"):
            Sub(s, args);
            break;
        case Cmd("ret"):
            Ret(s, args);
            break;
        case Cmd("brk"):
            LeaveLoop(s.Log(), *s.CurrentRoutine(), K::ForFinished, "\\brkは\\for～\\nextの中でしか使用できません");
            break;
        case Cmd("cnt"):
            LeaveLoop(s.Log(), *s.CurrentRoutine(), K::ForContinued, "\\cntは\\for～\\nextの中でしか使用できません");
            break;
        default:
            return false;
    }
    // Local variables die with the routines that owned them.
    if (s.Thread->Count() != before && s.Variables) s.Variables->DeleteAboveOwner(s.Thread->Count() - 1);
    return true;
}

bool IsJumpWord(int32_t code) {
    switch (code) {
        case Cmd("jmp"):
        case Cmd("go"):
        case Cmd("sub"):
        case Cmd("ret"):
        case Cmd("brk"):
        case Cmd("cnt"):
            return true;
        default:
            return false;
    }
}

std::string GetLabelArgument(TKelScript& s, std::string_view text) {
    if (text.empty()) return {};
    if (KelScriptLib::IsLabelWord(text)) return std::string(text);
    return s.Evaluate(text).Text;
}

bool CallSubroutineByLabel(TKelScript& s, const std::string& label, const std::string& argument) {
    if (!s.Reader || s.Reader->IndexOfLabel(label) < 0) return false;
    s.ExecuteLine("\\sub," + label);
    if (TScriptRoutine* r = s.CurrentRoutine()) r->EventArgument = argument;
    return true;
}

IScriptWordHandler& ControlWords() {
    static TControlWords handler;
    return handler;
}

IScriptWordHandler& JumpWords() {
    static TJumpWords handler;
    return handler;
}

}  // namespace KelControlLib
