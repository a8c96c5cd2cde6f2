#include "script/KelCommandArgs.h"

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"
#include "script/KelScriptLib.h"

namespace {
const std::string kNone;
}  // namespace

void TKelCommandArgs::Pad(int32_t n) {
    KelScriptLib::PadArguments(Args, n + 1);
}

const std::string& TKelCommandArgs::Raw(int32_t i) const {
    return i >= 1 && i < Args.Count() ? Args[i] : kNone;
}

std::string TKelCommandArgs::Literal(int32_t i) const {
    const std::string& raw = Raw(i);
    if (!raw.empty() && raw[0] == '{') return KelScriptLib::BracketText(raw);
    return raw;
}

std::string TKelCommandArgs::Braced(int32_t i) const {
    return Owner.GetTextArgument(Raw(i));
}

TCalcValue TKelCommandArgs::Value(int32_t i) const {
    const std::string& raw = Raw(i);
    if (raw.empty()) return TCalcValue::Integer(0);
    return Owner.Evaluate(raw);
}

std::string TKelCommandArgs::Label(int32_t i) const {
    return Owner.GetLabelArgument(Raw(i));
}

namespace {
std::string Resolve(TKelScript& script, const std::string& name) {
    std::string found;
    if (name.empty() || !script.Path) return found;
    script.Path->Resolve(name, true, found);
    return found;
}
}  // namespace

std::string TKelCommandArgs::File(int32_t i) const {
    return Resolve(Owner, Text(i));
}

std::string TKelCommandArgs::ResolveFile(const std::string& name) const {
    return Resolve(Owner, name);
}

std::string TKelCommandArgs::ResolveTargetFile(const std::string& name) const {
    return Resolve(Owner.TargetScript(), name);
}

TKelObjectDataCustom* TKelCommandArgs::Object(int32_t i) const {
    const std::string name = Text(i);
    return name.empty() || !Owner.Objects ? nullptr : Owner.Objects->Find(name);
}

int32_t TKelCommandArgs::Channel(int32_t i, bool effect) const {
    const int32_t channel = Int(i);
    IScriptSound* sound = Owner.Links.Sound;
    const int32_t count = sound ? (effect ? sound->EffectChannelCount() : sound->StreamChannelCount()) : 0;
    if (channel >= 0 && channel < count) return channel;
    const std::string word = Args.Count() > 0 ? ClassLib::LowerAscii(Args[0]) : std::string();
    Owner.Log().ErrorLog(word + ":範囲外のチャンネルを指定しました"_sj);
    return -1;
}

void TKelCommandArgs::ClearResults() const {
    Owner.ClearResults();
}

void TKelCommandArgs::SetInt(int32_t i, int32_t value) const {
    Owner.SetResultInt("ResultInt", i, value);
}

void TKelCommandArgs::SetStr(int32_t i, const std::string& text) const {
    Owner.SetResultStr("ResultStr", i, text);
}

void TKelCommandArgs::SetObj(int32_t i, const std::string& objectName) const {
    Owner.SetResultObj("ResultObj", i, objectName);
}
