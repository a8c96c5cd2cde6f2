#include "script/KelScriptState.h"

#include "foundation/ErrorLogLib.h"
#include "foundation/StreamStrings.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"

namespace {

using LittleEndian::Read32;
using LittleEndian::Read8;
using LittleEndian::Write32;
using LittleEndian::Write8;

}  // namespace

// ---- blocks ----

bool TScriptBlockBase::SaveToStream(TStream* stream) const {
    if (!stream) return false;
    uMisc::WriteStreamString(stream, FileName);
    Write8(*stream, static_cast<uint8_t>(Kind));
    uMisc::WriteStreamString(stream, LabelName);
    Write32(*stream, static_cast<uint32_t>(LineInLabel));
    Write32(*stream, static_cast<uint32_t>(Column));
    return true;
}

bool TScriptBlockBase::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    uint8_t kind = 0;
    if (!uMisc::ReadStreamString(stream, FileName) || !Read8(*stream, kind) ||
        !uMisc::ReadStreamString(stream, LabelName) || !Read32(*stream, LineInLabel) || !Read32(*stream, Column))
        return false;
    // No engine state has another kind; a record with one is damaged.
    if (kind > kLastBlockKind) return false;
    Kind = static_cast<TBlockKind>(kind);
    return true;
}

void TScriptBlockBase::Clear() {
    FileName.clear();
    Kind = TBlockKind::None;
    LabelName.clear();
    LineInLabel = 0;
    Column = 0;
}

bool TScriptBlock::SaveToStream(TStream* stream) const {
    if (!TScriptBlockBase::SaveToStream(stream)) return false;
    for (const auto& v : Values)
        uMisc::WriteStreamString(stream, v);
    return true;
}

bool TScriptBlock::LoadFromStream(TStream* stream) {
    if (!TScriptBlockBase::LoadFromStream(stream)) return false;
    for (auto& v : Values)
        if (!uMisc::ReadStreamString(stream, v)) return false;
    return true;
}

void TScriptBlock::Clear() {
    TScriptBlockBase::Clear();
    for (auto& v : Values)
        v.clear();
}

// ---- lists ----

template <class TItem>
bool TScriptDataListInterface<TItem>::SaveToStream(TStream* stream) const {
    if (!stream) return false;
    Write32(*stream, static_cast<uint32_t>(Items.size()));
    for (const auto& item : Items)
        if (!item->SaveToStream(stream)) return false;
    return true;
}

template <class TItem>
bool TScriptDataListInterface<TItem>::LoadFromStream(TStream* stream) {
    Clear();
    if (!stream) return false;
    uint32_t count = 0;
    if (!Read32(*stream, count)) return false;
    if (count > static_cast<uint32_t>(kScriptStackLimit) ||
        static_cast<int64_t>(count) * TItem::kMinStreamSize > stream->Remaining())
        return false;
    for (uint32_t i = 0; i < count; ++i)
        Add();
    for (auto& item : Items)
        if (!item->LoadFromStream(stream)) return false;
    return true;
}

template class TScriptDataListInterface<TScriptBlock>;
template class TScriptDataListInterface<TScriptRoutine>;

// ---- routines ----

TScriptBlock* TScriptRoutine::Add() {
    TScriptBlock* b = TScriptDataListInterface<TScriptBlock>::Add();
    if (PushReportsOverflow() && Log) Log->ErrorLog("ブロックスタックが限界値を超えました。"_sj);
    return b;
}

bool TScriptRoutine::TruncateBlocks(int32_t n) {
    if (Items.empty() || n < 0 || n >= Count()) return false;
    while (Count() > n + 1)
        PopLast();
    return true;
}

int32_t TScriptRoutine::FindBlockOfKind(TBlockKind kind) const {
    for (int32_t i = Count() - 1; i >= 0; --i)
        if (Items[static_cast<size_t>(i)]->Kind == kind) return i;
    return -1;
}

bool TScriptRoutine::IsSkipping() const {
    for (const auto& b : Items)
        if (IsSkippingKind(b->Kind)) return true;
    return false;
}

void TScriptRoutine::ClearScopeNames() {
    for (auto& s : ScopeNames)
        s.clear();
}

void TScriptRoutine::Clear() {
    TScriptDataListInterface<TScriptBlock>::Clear();
    ClearScopeNames();
    WaitState = wsNone;
    WaitTime = WaitTime2 = 0;
    SoundChannel = 0;
    ClickLabel.clear();
    EventLabel.clear();
    EventArgument.clear();
}

bool TScriptRoutine::SaveToStream(TStream* stream) const {
    if (!TScriptDataListInterface<TScriptBlock>::SaveToStream(stream)) return false;
    for (const auto& s : ScopeNames)
        uMisc::WriteStreamString(stream, s);
    Write8(*stream, WaitState);
    Write32(*stream, static_cast<uint32_t>(WaitTime));
    Write32(*stream, static_cast<uint32_t>(WaitTime2));
    uMisc::WriteStreamString(stream, ClickLabel);
    Write32(*stream, static_cast<uint32_t>(SoundChannel));
    uMisc::WriteStreamString(stream, EventLabel);
    uMisc::WriteStreamString(stream, EventArgument);
    return true;
}

bool TScriptRoutine::LoadFromStream(TStream* stream) {
    if (!TScriptDataListInterface<TScriptBlock>::LoadFromStream(stream)) return false;
    for (auto& s : ScopeNames)
        if (!uMisc::ReadStreamString(stream, s)) return false;
    uint8_t state = 0;
    if (!Read8(*stream, state)) return false;
    WaitState = static_cast<TWaitState>(state);
    return Read32(*stream, WaitTime) && Read32(*stream, WaitTime2) && uMisc::ReadStreamString(stream, ClickLabel) &&
           Read32(*stream, SoundChannel) && uMisc::ReadStreamString(stream, EventLabel) &&
           uMisc::ReadStreamString(stream, EventArgument);
}

// ---- thread ----

TScriptRoutine* TScriptThread::Add() {
    TScriptRoutine* r = TScriptDataListInterface<TScriptRoutine>::Add();
    r->Log = Log;
    if (PushReportsOverflow() && Log) Log->ErrorLog("サブルーチンスタックが限界値を超えました。"_sj);
    return r;
}

bool TScriptThread::TruncateRoutines(int32_t n) {
    if (Items.empty() || n < 0 || n >= Count()) return false;
    while (Count() > n + 1)
        PopLast();
    return true;
}

int32_t TScriptThread::FindRoutineByLabel(const std::string& label) const {
    for (int32_t i = Count() - 1; i >= 0; --i) {
        const TScriptRoutine& r = *Items[static_cast<size_t>(i)];
        if (r.Count() > 0 && ClassLib::SameTextAscii(r.Block(0)->LabelName, label)) return i;
    }
    return -1;
}
