// The input device: a per-frame snapshot of keyboard and mouse that the interpreter queries with
// key codes. A key code (TKeyCode) is a 32-bit integer naming a key and a condition:
//   bits 0..11   key slot: 0..255 the window system's virtual keys (1, 2, 4 the left, right and
//                middle button), 240 the wheel turned up in this frame, 241 down; 256..271 are
//                never set; slots from 272 (bit 15 set, for one) never match
//   0x1000       Ctrl must be held, 0x2000 Alt, 0x4000 Shift: matched exactly against the
//                modifiers held, except for the modifier keys' own slots (16, 17, 18, 160..165),
//                which match whatever else is held
//   bits 16..    mode: 0 pressed in this frame, 1 released in this frame (buttons only within the
//                click tolerance of where they went down), 2 pressed or repeating, 3 repeating,
//                4 held; any other value never matches
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/ClassLib.h"
#include "platform/InputSource.h"

class IClock;

using TKeyCode = int32_t;

namespace uInputDevice {
constexpr int32_t kSlotCount = 272;
constexpr int32_t kWheelUp = 240, kWheelDown = 241;
constexpr TKeyCode kCtrl = 0x1000, kAlt = 0x2000, kShift = 0x4000;
constexpr TKeyCode kPressed = 0 << 16, kReleased = 1 << 16, kPressedOrRepeating = 2 << 16, kRepeating = 3 << 16,
                   kHeld = 4 << 16;
}  // namespace uInputDevice

class TInput {
public:
    // Bound to the window's input source (not owned); takes over its wheel handler and gives the
    // previous one back on destruction. Key times are read on the clock (not owned).
    TInput(IInputSource& owner, IClock& clock);
    ~TInput();
    TInput(const TInput&) = delete;
    TInput& operator=(const TInput&) = delete;

    // Forgets every key and the cursor position and swallows input for 300 ms, so that a click
    // that closed a dialog does not reach the game.
    void Reset();
    // The per-frame poll, once per frame before the script runs; the source first takes over what
    // happened since the last frame.
    void Update();

    bool Check(TKeyCode code) const;
    bool IsPressed(TKeyCode code) const;
    bool IsReleased(TKeyCode code) const;
    bool IsClickReleased(TKeyCode code) const;
    bool InClickRange() const;
    bool IsHeld(TKeyCode code) const;
    bool RepeatDue(TKeyCode code) const;
    bool IsRepeating(TKeyCode code) const;
    bool IsPressedOrRepeating(TKeyCode code) const;
    bool ModifiersMatch(TKeyCode code) const;

    // The key codes (decimal text) that satisfy the mode given as key-code bits (mode << 16) now;
    // for capturing a key binding.
    std::unique_ptr<TStringList> GetMatchingKeys(int32_t modeBits) const;
    // Injects the key events a code stands for into the source's own key state.
    void SendKey(TKeyCode code);

    void SetMousePos(int32_t x, int32_t y);
    void SetCursorVisible(bool visible);
    void SetCursorHideTime(int32_t ms);
    void MouseWheel(int32_t delta);
    void UpdateMousePos();

    int32_t MouseX = 0, MouseY = 0;  // game coordinates
    int32_t WheelDelta = 0;          // the wheel delta taken over in this frame
    uint8_t Modifiers = 0;           // 1 Shift, 2 Alt, 4 Ctrl, 8 left, 16 right, 32 middle button down
    int32_t PressX = 0, PressY = 0;  // cursor position at the last button press
    int32_t PressCount = 0;          // button presses since the last reset

private:
    uint32_t Now() const;
    // The slot a code names, or -1 when it lies past the slots.
    static int32_t SlotOf(TKeyCode code);
    bool DownNow(int32_t slot) const { return Current[static_cast<size_t>(slot)] != 0; }
    bool DownBefore(int32_t slot) const { return Previous[static_cast<size_t>(slot)] != 0; }
    bool Matches(TKeyCode code, uint32_t mode, bool plainRelease) const;

    IInputSource* Owner;
    IClock& Clock;
    IInputSource::TWheelHandler SavedWheelHandler;
    int32_t PendingWheelDelta = 0;
    std::array<uint8_t, uInputDevice::kSlotCount> Current{};
    std::array<uint8_t, uInputDevice::kSlotCount> Previous{};
    // For each slot, when the key entered its present held state; renewed every frame while up.
    std::array<uint32_t, uInputDevice::kSlotCount> KeyTimes{};
    uint32_t LastUpdate = 0;
    uint32_t CurrentTime = 0;
    int32_t InputLock = 0;  // ms; while above 0 no input is read
    bool WasActive = false;
    int32_t CursorHideTime = 10000;  // ms without movement before the cursor hides; 0 never
    int32_t IdleTime = 0;
    bool CursorVisible = true;
    int32_t ClickTolerance = 16;  // pixels
    int32_t RepeatDelay = 750;    // ms
};
