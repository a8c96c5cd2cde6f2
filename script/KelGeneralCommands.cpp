#include "script/KelGeneralCommands.h"

#include <algorithm>

#include "foundation/ErrorLogLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"
#include "script/KelCalculationLib.h"
#include "script/KelFormat.h"
#include "script/KelScriptLib.h"
#include "script/KelValueLib.h"

namespace {

constexpr int32_t kResultTexts = 16;
constexpr int32_t kScopeSlots = 16;

size_t CharLen(std::string_view s, size_t i) {
    return uMisc::IsSJISLeadByte(static_cast<uint8_t>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// The words "var", "gvar", "svar", "del", "init", "vexs", "fobj", "fexs" and "lexs" act on the
// owner script while the target flag is set.
TKelScript& Target(TKelScript& s) {
    return s.TargetScript();
}

// An empty argument is the error value; it is not handed to the evaluator.
TCalcValue Value(TKelScript& s, const std::string& argument) {
    return argument.empty() ? TCalcValue::ErrorValue() : s.Evaluate(argument);
}

// A label argument: "@@..." is taken literally, anything else is evaluated.
std::string LabelArgument(TKelScript& s, const std::string& argument) {
    if (argument.size() >= 2 && argument[0] == '@' && argument[1] == '@') return argument;
    return Value(s, argument).Text;
}

// A variable name written with an optional index list: the name and the indexes, evaluated at the
// script's depth, the last one written being index 0.
std::string Locate(TKelScript& s, std::string_view name, TVariableIndexes& idx) {
    TStringList parts = KelCalculationLib::IndexList(name, ',');
    if (parts.Count() == 0) return {};
    int32_t k = 0;
    for (int32_t i = parts.Count() - 1; i >= 1 && k < 4; --i, ++k)
        idx.I[k] = s.Evaluate(parts[i]).Value;
    return parts[0];
}

std::string BareName(std::string_view name) {
    TStringList parts = KelCalculationLib::IndexList(name, ',');
    return parts.Count() > 0 ? parts[0] : std::string();
}

bool SetVariable(TKelScript& s, std::string_view name, const TCalcValue& value) {
    TVariableIndexes idx;
    std::string bare = Locate(s, name, idx);
    TVariableScope scope = s.Variables->FindVariable(bare, s.Depth());
    if (scope == TVariableScope::None) {
        s.Log().ErrorLog("未定義の変数："_sj + bare);
        return false;
    }
    return s.Variables->WriteElement(scope, bare, idx, s.Depth(), value, false);
}

// One variable operand; the error value when it cannot be read.
TCalcValue GetVariable(TKelScript& s, std::string_view name) {
    TVariableIndexes idx;
    std::string bare = Locate(s, name, idx);
    TVariableScope scope = s.Variables->FindVariable(bare, s.Depth());
    if (scope == TVariableScope::None) {
        s.Log().ErrorLog("未定義の変数："_sj + std::string(name));
        return TCalcValue::ErrorValue();
    }
    TCalcValue v{TCalcValueType::Integer, 0, ""};  // what an index outside the array gives
    s.Variables->ReadElement(scope, bare, idx, s.Depth(), v, false);
    return v;
}

void SetTexts(TKelScript& s, const TStringList& texts) {
    for (int32_t i = 0; i < texts.Count() && i < kResultTexts; ++i)
        s.SetResultStr("ResultStr", i, texts[i]);
}

void ResultInt(TKelScript& s, int32_t value) {
    s.ClearResults();
    s.SetResultInt("ResultInt", 0, value);
}

void ResultStr(TKelScript& s, std::string text) {
    s.ClearResults();
    static const std::string kResultStr = "ResultStr";
    s.SetResultStr(kResultStr, 0, std::move(text));
}

int32_t SaturatingAdd(int32_t a, int32_t b) {
    int64_t v = int64_t{a} + b;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// ---- variables ----

void DeclareWord(TKelScript& s, TStringList& args, TVariableScope scope) {
    TKelScript& t = Target(s);
    const std::string type = ClassLib::LowerAscii(args[1]);
    TCalcValueType valueType = TCalcValueType::Object;
    uint16_t flags = 0xFF;
    bool reference = false;
    if (type == "int") {
        valueType = TCalcValueType::Integer;
    } else if (type == "str") {
        valueType = TCalcValueType::String;
    } else if (type == "obj") {
        reference = true;
    } else {
        flags = 0xFD;  // an owning array of script objects: its elements are not written by scripts
    }
    const int32_t level = t.Depth();
    for (int32_t i = 2; i < args.Count(); ++i) {
        if (args[i].empty()) continue;
        TStringList parts = KelCalculationLib::IndexList(args[i], ',');
        if (parts.Count() == 0 || parts[0].empty()) continue;
        if (t.Variables->FindVariable(parts[0], level) != TVariableScope::None) continue;
        // At most four dimensions; the last one written is d0.
        if (parts.Count() - 1 > 4) {
            s.Log().ErrorLog(KelValueLib::TooManyIndexesMessage() + parts[0]);
            continue;
        }
        int32_t dims[4] = {1, 1, 1, 1};
        int32_t k = 0;
        for (int32_t j = parts.Count() - 1; j >= 1; --j, ++k) {
            int32_t d = t.Evaluate(parts[j]).Value;
            dims[k] = d < 1 ? 1 : d;
        }
        t.Variables->Declare(scope, parts[0], type, dims, scope == TVariableScope::Local ? level : 0, valueType, flags,
                             reference);
    }
}

void DeleteWord(TKelScript& s, TStringList& args) {
    TKelScript& t = Target(s);
    for (int32_t i = 1; i < args.Count(); ++i) {
        std::string name = BareName(args[i]);
        if (name.empty()) continue;
        t.Variables->DeleteVariable(name, t.Depth());
    }
}

void InitWord(TKelScript& s, TStringList& args) {
    TKelScript& t = Target(s);
    for (int32_t i = 1; i < args.Count(); ++i) {
        std::string name = BareName(args[i]);
        if (name.empty()) continue;
        TVariableScope scope = t.Variables->FindVariable(name, t.Depth());
        if (scope == TVariableScope::None)
            s.Log().ErrorLog("変数が宣言されていません:"_sj + name);
        else
            t.Variables->InitVariable(scope, name, t.Depth(), false);
    }
}

void CalculateWord(TKelScript& s, TStringList& args) {
    for (int32_t i = 1; i < args.Count(); ++i) {
        if (args[i].empty()) continue;
        if (s.Evaluate(args[i]).IsError()) s.Log().ErrorLog("計算に失敗しました："_sj + args[i]);
    }
}

void SwapWord(TKelScript& s, TStringList& args) {
    TCalcValue a = GetVariable(s, args[1]);
    if (a.IsError()) return;
    TCalcValue b = GetVariable(s, args[2]);
    if (b.IsError()) return;
    if (a.Type != b.Type) {
        s.Log().ErrorLog("型が異なります:"_sj + args[1]);
        return;
    }
    if (a.Type == TCalcValueType::Object) {
        if (!s.SwapObjects(a.Text, b.Text))
            s.Log().ErrorLog("オブジェクトのスワップに失敗しました:"_sj + args[1] + "/" + args[2]);
        return;
    }
    SetVariable(s, args[1], b);
    SetVariable(s, args[2], a);
}

void ScopeWord(TKelScript& s, TStringList& args) {
    std::string names[kScopeSlots];
    for (int32_t k = 1; k <= kScopeSlots && k < args.Count(); ++k) {
        if (args[k].empty()) continue;
        TCalcValue v = s.Evaluate(args[k]);
        if (v.Type == TCalcValueType::String || v.Type == TCalcValueType::Object)
            names[k - 1] = v.Text;
        else
            s.Log().ErrorLog("オブジェクト型以外の変数はスコープ出来ません："_sj + args[k]);
    }
    if (TScriptRoutine* r = s.CurrentRoutine())
        for (int32_t i = 0; i < kScopeSlots; ++i)
            r->ScopeNames[i] = names[i];
}

// ---- strings ----

void FormatWord(TKelScript& s, TStringList& args) {
    const int32_t pairs = std::max((args.Count() - 1) / 2, 4);
    std::string result, piece;
    TCalcValue format, v;
    for (int32_t p = 0; p < pairs; ++p) {
        int32_t i = 1 + 2 * p;
        if (i >= args.Count() || args[i].empty()) continue;
        format = TCalcValue::ErrorValue();
        s.Evaluate(args[i], format);
        if (format.Text.empty()) continue;
        v = TCalcValue::ErrorValue();
        if (i + 1 < args.Count() && !args[i + 1].empty()) s.Evaluate(args[i + 1], v);
        KelFormat::TFormatArg arg;
        arg.IsInteger = v.Type == TCalcValueType::Integer;
        arg.Integer = v.Value;
        arg.Text = v.Text;
        if (KelFormat::Format(format.Text, &arg, 1, piece)) result += piece;
        if (result.size() > kMaxTextSize) break;  // refused as a result; the rest need not be made
    }
    ResultStr(s, std::move(result));
}

void DivideWord(TKelScript& s, TStringList& args) {
    std::string delimiter = Value(s, args[1]).Text;
    std::string text = Value(s, args[2]).Text;
    bool strip = Value(s, args[3]).Value == 1;
    std::unique_ptr<TStringList> items = uMisc::SplitString(delimiter, text, strip, true, 0);
    s.ClearResults();
    s.SetResultInt("ResultInt", 0, items->Count());
    SetTexts(s, *items);
}

void RegExpMatchWord(TKelScript& s, TStringList& args) {
    std::string pattern = s.GetTextArgument(args[1]);
    std::string text = Value(s, args[2]).Text;
    TStringList found;
    if (s.Links.RegExp) found.Items = s.Links.RegExp->Match(pattern, text);
    s.ClearResults();
    s.SetResultInt("ResultInt", 0, found.Count());
    SetTexts(s, found);
}

// ---- waits ----

// The innermost routine that is stopped or waits for events.
TScriptRoutine* StoppedRoutine(TKelScript& s) {
    for (int32_t i = s.Thread->Count() - 1; i >= 0; --i) {
        TScriptRoutine* r = s.Thread->Routine(i);
        if (r->WaitState == wsStop || r->WaitState == wsEvent) return r;
    }
    return nullptr;
}

int32_t StreamCount(TKelScript& s) {
    return s.Links.Sound ? s.Links.Sound->StreamChannelCount() : 0;
}

// A channel outside the sound tables waits as a timer that has run out: the wait ends at its next
// test and no channel is read.
void EndAtNextTest(TScriptRoutine& r) {
    r.WaitTime = 0;
    r.WaitState = wsTimer;
}

bool WaitWord(TKelScript& s, int32_t code, TStringList& args) {
    TScriptRoutine* r = s.CurrentRoutine();
    switch (code) {
        case Cmd("wait"): {
            int32_t ms = Value(s, args[1]).Value;
            s.SetResultInt("ResultClkInt", 0, 0);
            if (!r) return true;
            r->WaitTime = ms;
            if (ms > 0) r->WaitState = wsTimer;
            return true;
        }
        case Cmd("clk"): {
            int32_t ms = Value(s, args[1]).Value;
            int32_t ms2 = Value(s, args[2]).Value;
            std::string label = LabelArgument(s, args[3]);
            s.SetResultInt("ResultClkInt", 0, 0);
            if (!r) return true;
            r->WaitState = wsClick;
            r->WaitTime = ms;
            if (ms == 0) {
                r->WaitTime = -1;
                s.AutoModeWait() = SaturatingAdd(s.AutoModeWait(), s.Config().Config.AutoPlayClickTime);
            }
            r->WaitTime2 = args[2].empty() ? r->WaitTime : ms2;
            r->ClickLabel = label;
            return true;
        }
        case Cmd("time"): {
            int32_t clock = Value(s, args[1]).Value;
            std::string label = LabelArgument(s, args[3]);
            s.SetResultInt("ResultClkInt", 0, 0);
            if (!r) return true;
            r->WaitTime = clock;
            r->WaitState = wsClock;
            r->ClickLabel = label;
            return true;
        }
        case Cmd("sndt"): {
            int32_t channel = Value(s, args[1]).Value;
            int32_t ms = Value(s, args[2]).Value;
            std::string label = LabelArgument(s, args[3]);
            s.SetResultInt("ResultClkInt", 0, 0);
            if (!r) return true;
            channel = std::min(channel, StreamCount(s) - 1);
            r->SoundChannel = channel;
            r->ClickLabel = label;
            if (channel < 0) {
                EndAtNextTest(*r);
                return true;
            }
            r->WaitTime = ms;
            r->WaitState = wsSoundPosition;
            return true;
        }
        case Cmd("wav"): {
            int32_t channel = Value(s, args[1]).Value;
            if (!r) return true;
            r->SoundChannel = channel;
            if (channel < 0 || channel >= StreamCount(s))
                EndAtNextTest(*r);
            else
                r->WaitState = wsSoundEnd;
            return true;
        }
        case Cmd("msg"):
            if (r) r->WaitState = wsMessageTyping;
            return true;
        case Cmd("btn"): {
            int32_t ms = Value(s, args[1]).Value;
            if (!r) return true;
            r->WaitState = wsButton;
            r->WaitTime = ms == 0 ? -1 : ms;
            return true;
        }
        case Cmd("stop"): {
            if (args[1].empty()) {
                if (TScriptRoutine* stopped = StoppedRoutine(s)) stopped->WaitState = wsEvent;
                return true;
            }
            std::string label = LabelArgument(s, args[1]);
            int32_t ms = Value(s, args[2]).Value;
            int32_t ms2 = Value(s, args[3]).Value;
            if (!r) return true;
            r->EventLabel = label;
            r->WaitTime = ms == 0 ? -1 : ms;
            r->WaitTime2 = args[3].empty() ? r->WaitTime : ms2;
            r->WaitState = wsEvent;
            return true;
        }
        case Cmd("play"):
            if (TScriptRoutine* stopped = StoppedRoutine(s)) stopped->WaitState = wsStop;
            return true;
        default:
            return false;
    }
}

bool StringWord(TKelScript& s, int32_t code, TStringList& args) {
    auto text = [&](int32_t i) { return Value(s, args[i]).Text; };
    auto integer = [&](int32_t i) { return Value(s, args[i]).Value; };
    switch (code) {
        case Cmd("len"):
            ResultInt(s, uMisc::SJISLength(text(1)));
            return true;
        case Cmd("hlen"):
            ResultInt(s, static_cast<int32_t>(text(1).size()));
            return true;
        case Cmd("pos"): {
            std::string sub = text(1), in = text(2);
            ResultInt(s, uMisc::SJISPos(ClassLib::LowerAscii(sub), ClassLib::LowerAscii(in)));
            return true;
        }
        case Cmd("hpos"): {
            std::string sub = text(1), in = text(2);
            ResultInt(s, KelGeneralCommands::BytePos(sub, in));
            return true;
        }
        case Cmd("cpy"):
        case Cmd("copy"): {
            std::string in = text(1);
            int32_t start = integer(2), count = integer(3);
            ResultStr(s, uMisc::SJISCopy(in, start, count));
            return true;
        }
        case Cmd("hcpy"): {
            std::string in = text(1);
            int32_t start = std::max(integer(2), 1), count = integer(3);
            std::string out;
            if (count > 0 && static_cast<size_t>(start) <= in.size())
                out = in.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(count));
            ResultStr(s, out);
            return true;
        }
        case Cmd("div"):
            DivideWord(s, args);
            return true;
        case Cmd("rep"): {
            std::string in = text(1), from = text(2), to = text(3);
            ResultStr(s, KelGeneralCommands::ReplaceText(in, from, to));
            return true;
        }
        case Cmd("lowc"):
            ResultStr(s, ClassLib::LowerAscii(text(1)));
            return true;
        case Cmd("upc"):
            ResultStr(s, KelGeneralCommands::UpperAscii(text(1)));
            return true;
        case Cmd("zenc"):
            ResultStr(s, uMisc::ToFullWidth(text(1)));
            return true;
        case Cmd("hanc"):
            ResultStr(s, uMisc::ToHalfWidth(text(1)));
            return true;
        case Cmd("trim"):
            ResultStr(s, std::string(KelCalculationLib::Trim(text(1))));
            return true;
        case Cmd("fmt"):
            FormatWord(s, args);
            return true;
        case Cmd("bmat"):
        case Cmd("bspl"):  // matches like "bmat": scripts rely on its results
            RegExpMatchWord(s, args);
            return true;
        case Cmd("bsub"): {
            std::string pattern = s.GetTextArgument(args[1]), in = text(2);
            ResultStr(s, s.Links.RegExp ? s.Links.RegExp->Substitute(pattern, in) : in);
            return true;
        }
        case Cmd("btra"): {
            std::string pattern = s.GetTextArgument(args[1]), in = text(2);
            ResultStr(s, s.Links.RegExp ? s.Links.RegExp->Translate(pattern, in) : in);
            return true;
        }
        default:
            return false;
    }
}

bool VariableWord(TKelScript& s, int32_t code, TStringList& args) {
    switch (code) {
        case Cmd("var"):
            DeclareWord(s, args, TVariableScope::Local);
            return true;
        case Cmd("gvar"):
            DeclareWord(s, args, TVariableScope::Game);
            return true;
        case Cmd("svar"):
            DeclareWord(s, args, TVariableScope::System);
            return true;
        case Cmd("del"):
            DeleteWord(s, args);
            return true;
        case Cmd("init"):
            InitWord(s, args);
            return true;
        case Cmd("cal"):
            CalculateWord(s, args);
            return true;
        case Cmd("vexs"): {
            TKelScript& t = Target(s);
            auto scope = t.Variables->FindVariable(BareName(args[1]), t.Depth());
            ResultInt(s, static_cast<int32_t>(scope));
            return true;
        }
        case Cmd("fexs"): {
            TKelScript& t = Target(s);
            std::string name = Value(s, args[1]).Text;
            std::string found;
            bool exists = t.Path->Resolve(name, false, found);
            ResultInt(s, exists ? 1 : 0);
            return true;
        }
        case Cmd("lexs"): {
            TKelScript& t = Target(s);
            std::string label = LabelArgument(s, args[1]);
            ResultInt(s, t.Reader && t.Reader->IndexOfLabel(label) >= 0 ? 1 : 0);
            return true;
        }
        case Cmd("vget"): {
            TCalcValue v = Value(s.OwnerScript(), args[2]);
            SetVariable(s, args[1], v);
            return true;
        }
        case Cmd("vset"): {
            TCalcValue v = Value(s, args[2]);
            SetVariable(s.OwnerScript(), args[1], v);
            return true;
        }
        case Cmd("fobj"): {
            TKelScript& t = Target(s);
            std::string name = Value(s, args[1]).Text;
            TCalcValue v = GetVariable(t, name);
            s.ClearResults();
            if (v.Type == TCalcValueType::Object) s.SetResultObj("ResultObj", 0, v.Text);
            return true;
        }
        case Cmd("swap"):
            SwapWord(s, args);
            return true;
        case Cmd("scp"):
            ScopeWord(s, args);
            return true;
        case Cmd("srct"):
            s.State.TargetParent = static_cast<uint32_t>(Value(s, args[1]).Value);
            return true;
        case Cmd("draw"):
            s.DelayFrames();
            return true;
        case Cmd("thrd"): {
            int32_t which = Value(s, args[1]).Value;
            std::string label = LabelArgument(s, args[2]);
            if (which == 1)
                s.Request = srEnterSystem;
            else if (which == 0)
                s.Request = srLeaveSystem;
            s.RequestArgument = label;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

bool TKelGeneralCommands::Handle(TKelScript& script, int32_t code, TStringList& args) {
    // Every word reads its arguments by position; missing ones are empty.
    KelScriptLib::PadArguments(args, 9);
    switch (code) {
        case Cmd("dout"):
        case Cmd("ddlg"):
        case Cmd("dbrk"):
            return true;
        default:
            return VariableWord(script, code, args) || StringWord(script, code, args) || WaitWord(script, code, args);
    }
}

namespace KelGeneralCommands {

IScriptWordHandler& Handler() {
    static TKelGeneralCommands handler;
    return handler;
}

int32_t BytePos(std::string_view sub, std::string_view text) {
    if (sub.empty() || text.empty()) return 0;
    std::string lowSub = ClassLib::LowerAscii(sub), lowText = ClassLib::LowerAscii(text);
    for (size_t i = 0; i < lowText.size(); i += CharLen(lowText, i))
        if (lowText.compare(i, lowSub.size(), lowSub) == 0) return static_cast<int32_t>(i + 1);
    return 0;
}

std::string ReplaceText(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string lowText = ClassLib::LowerAscii(text), lowFrom = ClassLib::LowerAscii(from);
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() <= kMaxTextSize;) {
        if (lowText.compare(i, lowFrom.size(), lowFrom) == 0) {
            out.append(to);
            i += from.size();
            continue;
        }
        size_t n = CharLen(text, i);
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string r(text);
    for (size_t i = 0; i < r.size(); i += CharLen(r, i))
        if (r[i] >= 'a' && r[i] <= 'z') r[i] = static_cast<char>(r[i] - 32);
    return r;
}

}  // namespace KelGeneralCommands
