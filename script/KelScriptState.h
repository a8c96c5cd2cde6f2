// The execution state of a script: a thread of subroutine levels (routines), each a stack of
// control blocks. A routine's first block is its root; its position is where "ret" returns to.
//
// Stream layout (the first record of every save game; integers little-endian, stream strings a
// u16 length and the bytes):
//   thread:  u32 routine count, then each routine
//   routine: u32 block count, then each block; 16 scope names (strings); wait state (u8); wait
//            time (i32); second wait time (i32); click label (string); sound channel (i32); event
//            label (string); event argument (string)
//   block:   file name (string); kind (u8); label name (string); line in label (i32); column
//            (i32); 8 values (strings)
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ClassLib.h"

class TErrorLog;

enum class TBlockKind : uint8_t {
    None = 0,       // an "if" whose value could not be evaluated
    IfSkipped = 1,  // "if" met inside a skipped region
    IfActive = 2,
    IfInactive = 3,
    ForSkipped = 4,  // "for" met inside a skipped region
    ForRunning = 5,
    ForFinished = 6,   // finished, or left by "brk"
    ForContinued = 7,  // continued by "cnt": skips to its closer, which steps and tests again
    CaseSkipped = 8,   // "case" met inside a skipped region
    CaseMatched = 9,
    CaseSearching = 10,
    RoutineRoot = 11,  // its position is the return position of the routine
};
constexpr uint8_t kLastBlockKind = 11;

// A block kind that makes the routine skip statements.
constexpr bool IsSkippingKind(TBlockKind k) {
    switch (k) {
        case TBlockKind::IfSkipped:
        case TBlockKind::IfInactive:
        case TBlockKind::ForSkipped:
        case TBlockKind::ForFinished:
        case TBlockKind::ForContinued:
        case TBlockKind::CaseSkipped:
        case TBlockKind::CaseSearching:
            return true;
        default:
            return false;
    }
}

// Routines per thread and blocks per routine. A push past the limit is kept and reported; the
// error stops the script.
constexpr int32_t kScriptStackLimit = 1024;

class TScriptDataInterface {
public:
    virtual ~TScriptDataInterface() = default;
    // False for a nil stream; loading also fails on a record that is cut short or malformed.
    virtual bool SaveToStream(TStream* stream) const = 0;
    virtual bool LoadFromStream(TStream* stream) = 0;
};

// A reading position with the block's kind: file, label, line offset within the label, column.
class TScriptBlockBase : public TScriptDataInterface {
public:
    bool SaveToStream(TStream* stream) const override;
    bool LoadFromStream(TStream* stream) override;
    virtual void Clear();

    std::string FileName;
    TBlockKind Kind = TBlockKind::None;
    std::string LabelName;
    int32_t LineInLabel = 0;
    int32_t Column = 0;
};

class TScriptBlock final : public TScriptBlockBase {
public:
    // Fewest bytes a block takes in a stream: nine empty strings, the kind and two integers.
    static constexpr int64_t kMinStreamSize = 2 + 1 + 2 + 4 + 4 + 8 * 2;

    bool SaveToStream(TStream* stream) const override;
    bool LoadFromStream(TStream* stream) override;
    void Clear() override;

    // [0] the if value, the loop condition or the case value; [1] the loop step or the case's
    // matched flag ("1" once an "ans" matched); [2..7] always empty, but saved.
    std::string Values[8];
};

// An owning list of items that saves as a u32 count and then each item.
template <class TItem>
class TScriptDataListInterface : public TScriptDataInterface {
public:
    int32_t Count() const { return static_cast<int32_t>(Items.size()); }
    TItem* Item(int32_t i) const { return i >= 0 && i < Count() ? Items[static_cast<size_t>(i)].get() : nullptr; }
    bool Delete(int32_t i) {
        if (i < 0 || i >= Count()) return false;
        Items.erase(Items.begin() + i);
        return true;
    }
    void DeleteLast() {
        if (!Items.empty()) PopLast();
    }
    // Frees every item, from the last.
    virtual void Clear() {
        while (!Items.empty())
            PopLast();
    }
    // Pushes one new item.
    virtual TItem* Add() {
        if (Spare.empty()) {
            Items.push_back(std::make_unique<TItem>());
        } else {
            Items.push_back(std::move(Spare.back()));
            Spare.pop_back();
            Items.back()->Clear();  // as new: every field empty
        }
        return Items.back().get();
    }
    bool SaveToStream(TStream* stream) const override;
    // Clears first. The count must not exceed the stack limit nor the items that the remaining
    // bytes could hold; then the items are loaded in order, and the first that fails fails the load.
    bool LoadFromStream(TStream* stream) override;

    std::vector<std::unique_ptr<TItem>> Items;

protected:
    // Past this count Add reports the overflow.
    bool PushReportsOverflow() const { return Count() > kScriptStackLimit; }
    // Blocks and routines come and go with every "if" and "sub": a few popped items are kept for
    // the next Add, which clears them, instead of being freed and made again.
    void PopLast() {
        if (Spare.size() < kSpareItems) Spare.push_back(std::move(Items.back()));
        Items.pop_back();
    }

private:
    static constexpr size_t kSpareItems = 8;
    std::vector<std::unique_ptr<TItem>> Spare;
};

extern template class TScriptDataListInterface<TScriptBlock>;

// The run modes of an interpreter: viewing (no input), automatic reading, skipping, and skipping
// only text that was read before.
enum class TRunMode : uint8_t { Normal = 0, View = 1, Auto = 2, Skip = 3, SkipRead = 4 };

// The wait states of a routine. A damaged save game may hold any other byte; nothing but a click
// or a jump ends such a wait.
enum TWaitState : uint8_t {
    wsNone = 0,
    wsStop = 1,
    wsEvent = 2,
    wsTimer = 3,
    wsClick = 4,
    wsClock = 5,
    wsSoundPosition = 6,
    wsMessageTyping = 7,
    wsMessagePage = 8,
    wsButton = 9,
    wsSoundEnd = 10,
};

class TScriptRoutine final : public TScriptDataListInterface<TScriptBlock> {
public:
    // Fewest bytes a routine takes in a stream: its block count, 16 empty scope names, the wait
    // fields and three empty strings.
    static constexpr int64_t kMinStreamSize = 4 + 16 * 2 + 1 + 4 + 4 + 2 + 4 + 2 + 2;

    TScriptBlock* Block(int32_t i) const { return Item(i); }
    TScriptBlock* TopBlock() const { return Item(Count() - 1); }
    TScriptBlock* Add() override;
    // Pops until n + 1 blocks remain; false when empty or n is outside 0..Count-1.
    bool TruncateBlocks(int32_t n);
    // Index of the innermost block of the kind; -1 when there is none.
    int32_t FindBlockOfKind(TBlockKind kind) const;
    // Whether any block of the routine makes it skip statements.
    bool IsSkipping() const;
    void ClearScopeNames();
    void Clear() override;
    bool SaveToStream(TStream* stream) const override;
    bool LoadFromStream(TStream* stream) override;

    std::string ScopeNames[16];  // the scoped object names
    TWaitState WaitState = wsNone;
    int32_t WaitTime = 0;    // ms
    int32_t WaitTime2 = 0;   // ms
    std::string ClickLabel;  // jumped to when a click ends a wait
    int32_t SoundChannel = 0;
    std::string EventLabel;
    std::string EventArgument;
    // Where a block stack past its limit is reported (the thread's log); none: it is not.
    TErrorLog* Log = nullptr;
};

extern template class TScriptDataListInterface<TScriptRoutine>;

class TScriptThread final : public TScriptDataListInterface<TScriptRoutine> {
public:
    TScriptRoutine* Routine(int32_t i) const { return Item(i); }
    TScriptRoutine* TopRoutine() const { return Item(Count() - 1); }
    TScriptRoutine* Add() override;
    // Pops until n + 1 routines remain; false when empty or n is outside 0..Count-1.
    bool TruncateRoutines(int32_t n);
    // From the innermost routine down, the first whose root block lies in the label (compared
    // without regard to case); -1 when none.
    int32_t FindRoutineByLabel(const std::string& label) const;
    // Where a routine stack past its limit is reported; each routine added reports to it too.
    TErrorLog* Log = nullptr;
};
