// A button: a message window whose picture is the button and whose text, if any, its caption.
// The caption is typed at once (instant, no full pages, no speed of its own) and never reaches a
// back-log. Besides the hover motions of every screen object a button has a checked and a locked
// state, each shown through its own family of motions when the animation has them:
//   locked:     "*OnLock", with "*OnLockOnMouse" / "*OnLockOffMouse" under and off the pointer
//   checked:    "*OnCheck", with "*OnCheckOnMouse" / "*OnCheckOffMouse"
//   neither:    "*OffLock" or "*OffCheck" when a state ends, then "*OnMouse" / "*OffMouse"
//   a click:    "*OnCheckClick" on a checked button, "*OnClick" otherwise
// A click that the button takes starts a countdown of kClickUpdates updates, by which scripts tell
// a recent click.
//
// Saved state, in this order:
//   the message window's saved state (TMessageLib)
//   the button's record, 132 bytes (TButtonRecord has the layout)
#pragma once

#include <cstdint>
#include <functional>

#include "objects/MessageLib.h"

// 0  u8  checked (0 or 1)   1  u8  locked (0 or 1)   2  i32  click countdown, in updates
// 6  126 zero
struct TButtonRecord {
    static constexpr int32_t kSize = 132;
    static constexpr int32_t kTailSize = 126;

    uint8_t Checked = 0;
    uint8_t Locked = 0;
    int32_t ClickCountdown = 0;

    void Write(TRecordWriter& w) const;
    void Read(TRecordReader& r);
    bool operator==(const TButtonRecord&) const = default;
};

// Made like every screen object: ImageLib::Make<TButtonLib>(packs, sound).
class TButtonLib : public TMessageLib {
public:
    // Updates during which a click still counts as recent.
    static constexpr int32_t kClickUpdates = 4;

    explicit TButtonLib(const TPackSet& packs, IAnimationSound* sound = nullptr);
    ~TButtonLib() override;

    // The motions of the states above; the pointer's hover as for every object when neither
    // state holds.
    void UpdateHover() override;
    // The window's clear, and neither checked nor locked, no recent click.
    void Clear() override;
    // The window's update (its mask plays no part), then one update off the click countdown.
    void Update(uint32_t mask, int32_t elapsed) override;
    bool SaveToStream(TStream* stream) override;
    // False for a damaged or short stream, which leaves the button cleared.
    bool LoadFromStream(TStream* stream) override;

    // Keeps the pointer. Taken when the button is enabled, the masks meet, it is not locked and
    // the point hits it: the click motion plays (restarted), the countdown starts, OnClick runs.
    bool Click(uint32_t mask, int32_t x, int32_t y);
    // A change shows the new state's motions and, for the check, runs OnCheck or OnUncheck; the
    // state it has already changes nothing.
    void SetChecked(bool checked);
    void SetLocked(bool locked);
    bool IsChecked() const { return ButtonRecord.Checked != 0; }
    bool IsLocked() const { return ButtonRecord.Locked != 0; }

    // Called with the button.
    std::function<void(TButtonLib&)> OnCheck;
    std::function<void(TButtonLib&)> OnUncheck;
    std::function<void(TButtonLib&)> OnClick;

    TButtonRecord ButtonRecord;

private:
    // The first motion when the animation has it, else the second; neither restarted.
    void SelectEither(const char* first, const char* second);
    // The motions of a held state ("*OnLock" or "*OnCheck" and their pointer variants); current
    // is the motion's lower-cased name before any change.
    void ShowState(const std::string& current, const std::string& state);
};
