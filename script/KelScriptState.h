// The execution state of a script: a thread of subroutine levels (routines), each a stack of
// control blocks. A routine's first block is its root; its position is where "ret" returns to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TBlockKind : uint8_t {
    None = 0,
    IfSkipped = 1,
    IfActive = 2,
    IfInactive = 3,
    ForSkipped = 4,
    ForRunning = 5,
    ForFinished = 6,
    ForContinued = 7,
    CaseSkipped = 8,
    CaseMatched = 9,
    CaseSearching = 10,
    RoutineRoot = 11,
};

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

struct TScriptBlock {
    std::string FileName;
    TBlockKind Kind = TBlockKind::None;
    std::string LabelName;
    int32_t LineInLabel = 0;
    int32_t Column = 0;
    std::string Values[8];
};

constexpr int32_t kScriptStackLimit = 1024;

class TScriptRoutine {
public:
    int32_t Count() const { return static_cast<int32_t>(Blocks.size()); }
    TScriptBlock* Block(int32_t i) { return i >= 0 && i < Count() ? Blocks[static_cast<size_t>(i)].get() : nullptr; }
    TScriptBlock* TopBlock() { return Block(Count() - 1); }
    // Pushes a new block; past the limit the block is kept and the fault reported.
    TScriptBlock* Add();
    bool TruncateBlocks(int32_t n);
    bool IsSkipping() const;
    void Clear();

    std::vector<std::unique_ptr<TScriptBlock>> Blocks;
    std::string ScopeNames[16];
    uint8_t WaitState = 0;
    int32_t WaitTime = 0;
    int32_t WaitTime2 = 0;
    std::string ClickLabel;
    int32_t SoundChannel = 0;
    std::string EventLabel;
    std::string EventArgument;
};

class TScriptThread {
public:
    int32_t Count() const { return static_cast<int32_t>(Routines.size()); }
    TScriptRoutine* Routine(int32_t i) {
        return i >= 0 && i < Count() ? Routines[static_cast<size_t>(i)].get() : nullptr;
    }
    TScriptRoutine* TopRoutine() { return Routine(Count() - 1); }
    TScriptRoutine* Add();
    bool TruncateRoutines(int32_t n);
    void Clear() {
        while (!Routines.empty()) Routines.pop_back();
    }

    std::vector<std::unique_ptr<TScriptRoutine>> Routines;
};
