#include "foundation/uInputDevice.h"

#include <algorithm>
#include <string>

#include "platform/Clock.h"

using namespace uInputDevice;

namespace {

constexpr int32_t kFarAway = -100000;  // a cursor position under which nothing lies
constexpr int32_t kResetLock = 300;    // ms of input swallowed after a reset
constexpr uint32_t kTimeMask = 0x7FFFFFFF;

// Times are the timer's low 31 bits; differences are taken on the same 31 bits, so they stay
// right when the timer wraps.
uint32_t Elapsed(uint32_t now, uint32_t since) {
    return (now - since) & kTimeMask;
}

bool IsModifierSlot(int32_t slot) {
    return slot == VirtualKey::Shift || slot == VirtualKey::Control || slot == VirtualKey::Menu ||
           (slot >= VirtualKey::LShift && slot <= VirtualKey::RMenu);
}

constexpr int32_t kButtons[] = {VirtualKey::LButton, VirtualKey::RButton, VirtualKey::MButton};

}  // namespace

TInput::TInput(IInputSource& owner, IClock& clock) : Owner(&owner), Clock(clock) {
    SavedWheelHandler = Owner->SetWheelHandler([this](int32_t delta) { MouseWheel(delta); });
    WasActive = Owner->WindowActive();
    Reset();
}

TInput::~TInput() {
    Owner->SetWheelHandler(std::move(SavedWheelHandler));
}

uint32_t TInput::Now() const {
    return Clock.NowMs() & kTimeMask;
}

int32_t TInput::SlotOf(TKeyCode code) {
    // The modifier bits are not part of the slot; bit 15 is, which puts such codes past the slots.
    const int32_t slot = static_cast<int32_t>(static_cast<uint32_t>(code) & 0x8FFF);
    return slot < kSlotCount ? slot : -1;
}

void TInput::Reset() {
    const uint32_t now = Now();
    LastUpdate = now;
    CurrentTime = now;
    MouseX = MouseY = kFarAway;
    PressX = PressY = kFarAway;
    PressCount = 0;
    Modifiers = 0;
    Current.fill(0);
    Previous.fill(0);
    KeyTimes.fill(now);
    InputLock = kResetLock;
}

void TInput::Update() {
    Owner->Poll();
    const bool active = Owner->WindowActive();
    if (active && !WasActive) Reset();
    WasActive = active;

    const uint32_t now = Now();
    CurrentTime = now;
    const uint32_t elapsed = Elapsed(now, LastUpdate);

    Previous = Current;
    Current.fill(0);

    bool show = CursorVisible;
    if (CursorHideTime > 0) {
        const int64_t idle = int64_t(IdleTime) + elapsed;
        if (idle >= CursorHideTime) {
            IdleTime = CursorHideTime;
            show = false;
        } else {
            IdleTime = static_cast<int32_t>(idle);
        }
    }
    if (!active) show = true;
    if (show != Owner->CursorShown()) Owner->ShowCursor(show);

    if (elapsed > 0) InputLock = static_cast<int32_t>(std::max<int64_t>(0, int64_t(InputLock) - elapsed));

    if (InputLock == 0) {
        UpdateMousePos();
        if (PendingWheelDelta > 0) Current[kWheelUp] = 1;
        if (PendingWheelDelta < 0) Current[kWheelDown] = 1;
        WheelDelta = PendingWheelDelta;
        PendingWheelDelta = 0;

        if (active) {
            // 20..26 are the input-method keys; nothing from 184 on is read.
            Owner->KeysDown(0, 20, Current.data());
            Owner->KeysDown(27, 184, Current.data());
        }

        // A slot held since the last update keeps the time it went down; every other one starts
        // now. Written without a branch, so that the compiler does the slots several at a time.
        for (size_t slot = 0; slot < KeyTimes.size(); ++slot) {
            const bool held = Previous[slot] != 0 && Current[slot] != 0;
            KeyTimes[slot] = held ? KeyTimes[slot] : now;
        }

        Modifiers = 0;
        if (Owner->KeyDown(VirtualKey::Shift)) Modifiers |= 1;
        if (Owner->KeyDown(VirtualKey::Menu)) Modifiers |= 2;
        if (Owner->KeyDown(VirtualKey::Control)) Modifiers |= 4;
        if (DownNow(VirtualKey::LButton)) Modifiers |= 8;
        if (DownNow(VirtualKey::RButton)) Modifiers |= 16;
        if (DownNow(VirtualKey::MButton)) Modifiers |= 32;

        // Every button press counts and moves the press position, also with a modifier held, so
        // that a modified click is measured from where it went down.
        for (int32_t button : kButtons) {
            if (!DownBefore(button) && DownNow(button)) {
                PressX = MouseX;
                PressY = MouseY;
                ++PressCount;
                break;
            }
        }
    } else {
        // Wheel turns made while input is locked are swallowed like keys and clicks.
        PendingWheelDelta = 0;
        WheelDelta = 0;
    }

    LastUpdate = now;
}

void TInput::UpdateMousePos() {
    if (!Owner->WindowActive()) return;
    const Viewport::TPoint p = Owner->Pointer();
    if (p.X != MouseX || p.Y != MouseY) {
        IdleTime = 0;
        if (!Owner->CursorShown()) Owner->ShowCursor(true);
    }
    const Viewport::TSize game = Owner->GameSize();
    MouseX = std::max(0, std::min(p.X, game.W - 1));
    MouseY = std::max(0, std::min(p.Y, game.H - 1));
}

bool TInput::ModifiersMatch(TKeyCode code) const {
    const int32_t slot = static_cast<int32_t>(static_cast<uint32_t>(code) & 0x8FFF);
    if (IsModifierSlot(slot)) return true;
    uint8_t wanted = 0;
    if (code & kShift) wanted |= 1;
    if (code & kAlt) wanted |= 2;
    if (code & kCtrl) wanted |= 4;
    return (Modifiers & 7) == wanted;
}

bool TInput::IsPressed(TKeyCode code) const {
    const int32_t slot = SlotOf(code);
    return slot >= 0 && ModifiersMatch(code) && !DownBefore(slot) && DownNow(slot);
}

bool TInput::IsReleased(TKeyCode code) const {
    const int32_t slot = SlotOf(code);
    return slot >= 0 && ModifiersMatch(code) && DownBefore(slot) && !DownNow(slot);
}

bool TInput::InClickRange() const {
    return std::abs(int64_t(MouseX) - PressX) < ClickTolerance && std::abs(int64_t(MouseY) - PressY) < ClickTolerance;
}

bool TInput::IsClickReleased(TKeyCode code) const {
    const int32_t slot = SlotOf(code);
    const bool button = slot == VirtualKey::LButton || slot == VirtualKey::RButton || slot == VirtualKey::MButton;
    return (!button || InClickRange()) && IsReleased(code);
}

bool TInput::IsHeld(TKeyCode code) const {
    const int32_t slot = SlotOf(code);
    return slot >= 0 && ModifiersMatch(code) && DownNow(slot);
}

bool TInput::RepeatDue(TKeyCode code) const {
    const int32_t slot = SlotOf(code);
    return slot >= 0 && Elapsed(CurrentTime, KeyTimes[static_cast<size_t>(slot)]) >= uint32_t(RepeatDelay);
}

bool TInput::IsRepeating(TKeyCode code) const {
    return IsHeld(code) && RepeatDue(code);
}

bool TInput::IsPressedOrRepeating(TKeyCode code) const {
    return IsPressed(code) || IsRepeating(code);
}

bool TInput::Matches(TKeyCode code, uint32_t mode, bool plainRelease) const {
    switch (mode) {
        case 0:
            return IsPressed(code);
        case 1:
            return plainRelease ? IsReleased(code) : IsClickReleased(code);
        case 2:
            return IsPressedOrRepeating(code);
        case 3:
            return IsRepeating(code);
        case 4:
            return IsHeld(code);
        default:
            return false;
    }
}

bool TInput::Check(TKeyCode code) const {
    return Matches(code, static_cast<uint32_t>(code) >> 16, false);
}

std::unique_ptr<TStringList> TInput::GetMatchingKeys(int32_t modeBits) const {
    auto list = std::make_unique<TStringList>();
    const bool shift = IsPressed(VirtualKey::Shift), alt = IsPressed(VirtualKey::Menu),
               ctrl = IsPressed(VirtualKey::Control);
    const uint32_t mode = static_cast<uint32_t>(modeBits) >> 16;
    int32_t bits = static_cast<int32_t>(static_cast<uint32_t>(modeBits) & 0xFFFF0000u);
    if (shift) bits |= kShift;
    if (alt) bits |= kAlt;
    if (ctrl) bits |= kCtrl;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        if (slot == VirtualKey::Shift || slot == VirtualKey::Control || slot == VirtualKey::Menu) continue;
        if (Matches(slot, mode, true)) list->Add(std::to_string(slot | bits));
    }
    if (list->Count() == 0) {
        if (shift) list->Add("16");
        if (alt) list->Add("18");
        if (ctrl) list->Add("17");
    }
    return list;
}

void TInput::SendKey(TKeyCode code) {
    const uint32_t c = static_cast<uint32_t>(code);
    const uint32_t slot = c & 0x8FFF;
    const uint32_t mode = c >> 16;
    if (c & kCtrl) Owner->InjectKey(VirtualKey::Control, true);
    if (c & kAlt) Owner->InjectKey(VirtualKey::Menu, true);
    if (c & kShift) Owner->InjectKey(VirtualKey::Shift, true);
    if (slot == uint32_t(kWheelUp)) {
        Owner->InjectWheel(1);
    } else if (slot == uint32_t(kWheelDown)) {
        Owner->InjectWheel(-1);
    } else {
        const uint8_t vk = static_cast<uint8_t>(slot & 0xFF);
        switch (mode) {
            case 0:
                Owner->InjectKey(vk, true);
                break;
            case 1:
                Owner->InjectKey(vk, false);
                break;
            case 2:
            case 3:
            case 4:
                Owner->InjectKey(vk, true);
                Owner->InjectKey(vk, false);
                break;
            default:
                break;
        }
    }
    // The modifiers go up again after the key, or every later binding without them would stop
    // matching while they stayed down.
    if (c & kShift) Owner->InjectKey(VirtualKey::Shift, false);
    if (c & kAlt) Owner->InjectKey(VirtualKey::Menu, false);
    if (c & kCtrl) Owner->InjectKey(VirtualKey::Control, false);
}

void TInput::SetMousePos(int32_t x, int32_t y) {
    Owner->SetPointer({x, y});
}

void TInput::SetCursorVisible(bool visible) {
    if (visible && !CursorVisible) IdleTime = 0;
    CursorVisible = visible;
}

void TInput::SetCursorHideTime(int32_t ms) {
    if (ms == CursorHideTime) return;
    CursorHideTime = ms;
    if (IdleTime > ms) IdleTime = ms;
    if (ms == 0 && !Owner->CursorShown()) Owner->ShowCursor(true);
}

void TInput::MouseWheel(int32_t delta) {
    if (SavedWheelHandler) SavedWheelHandler(delta);
    if (Owner->WindowActive()) PendingWheelDelta = delta;  // the last event of a frame wins
}
