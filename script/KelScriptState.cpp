#include "script/KelScriptState.h"

#include "foundation/ErrorLogLib.h"
#include "platform/Encoding.h"

TScriptBlock* TScriptRoutine::Add() {
    Blocks.push_back(std::make_unique<TScriptBlock>());
    if (Count() > kScriptStackLimit) ErrorLogLib::ErrorLog("ブロックスタックが限界値を超えました。"_sj);
    return Blocks.back().get();
}

bool TScriptRoutine::TruncateBlocks(int32_t n) {
    if (Blocks.empty() || n < 0 || n >= Count()) return false;
    while (Count() > n + 1) Blocks.pop_back();
    return true;
}

bool TScriptRoutine::IsSkipping() const {
    for (const auto& b : Blocks)
        if (IsSkippingKind(b->Kind)) return true;
    return false;
}

void TScriptRoutine::Clear() {
    while (!Blocks.empty()) Blocks.pop_back();
    for (auto& s : ScopeNames) s.clear();
    WaitState = 0;
    WaitTime = WaitTime2 = 0;
    SoundChannel = 0;
    ClickLabel.clear();
    EventLabel.clear();
    EventArgument.clear();
}

TScriptRoutine* TScriptThread::Add() {
    Routines.push_back(std::make_unique<TScriptRoutine>());
    if (Count() > kScriptStackLimit) ErrorLogLib::ErrorLog("サブルーチンスタックが限界値を超えました。"_sj);
    return Routines.back().get();
}

bool TScriptThread::TruncateRoutines(int32_t n) {
    if (Routines.empty() || n < 0 || n >= Count()) return false;
    while (Count() > n + 1) Routines.pop_back();
    return true;
}
