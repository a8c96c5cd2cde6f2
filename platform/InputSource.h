// What the input device reads from the window system once per frame: the down state of the 256
// virtual keys (the mouse buttons among them: 1 left, 2 right, 4 middle, 5 and 6 the side
// buttons), whether the game window is active, the pointer in game coordinates, the wheel, and
// the cursor. The SDL source fills it from window events; tests script a headless one.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>

#include "platform/Viewport.h"

// Virtual-key numbers of the window system that the engine names itself.
namespace VirtualKey {
constexpr uint8_t LButton = 1, RButton = 2, MButton = 4, XButton1 = 5, XButton2 = 6;
constexpr uint8_t Shift = 16, Control = 17, Menu = 18;  // Menu is Alt
constexpr uint8_t LShift = 160, RShift = 161, LControl = 162, RControl = 163, LMenu = 164, RMenu = 165;
}  // namespace VirtualKey

class IInputSource {
public:
    // Receives each wheel event as it arrives: +120 per notch away from the user, -120 towards.
    using TWheelHandler = std::function<void(int32_t delta)>;

    virtual ~IInputSource() = default;

    // Takes over what happened since the last poll; called once at the start of every frame.
    // Injected events are applied here in order, up to the first event of a key that already
    // changed in the same batch, so each key changes at most once per frame and an injected tap
    // (press and release) is down for exactly one frame.
    virtual void Poll() = 0;

    virtual bool WindowActive() const = 0;
    virtual bool KeyDown(uint8_t vk) const = 0;
    // The states of keys first..last - 1 as KeyDown answers them, 1 down and 0 up, into
    // out[first..last - 1]: the whole keyboard is read every frame, in one call.
    virtual void KeysDown(uint8_t first, uint8_t last, uint8_t* out) const = 0;

    // The pointer in game coordinates, mapped through Viewport; it may lie outside the game area.
    virtual Viewport::TPoint Pointer() const = 0;
    virtual Viewport::TSize GameSize() const = 0;
    // Moves the system cursor onto a game pixel.
    virtual void SetPointer(Viewport::TPoint game) = 0;

    virtual bool CursorShown() const = 0;
    virtual void ShowCursor(bool shown) = 0;

    // Installs the wheel handler and gives back the one it replaces (empty when none).
    virtual TWheelHandler SetWheelHandler(TWheelHandler handler) = 0;

    // Injected events change this source's state only; no other program sees them.
    virtual void InjectKey(uint8_t vk, bool down) = 0;
    virtual void InjectWheel(int32_t delta) = 0;
};

// The part of a source that every backend keeps the same way: the key states, the queue of
// injected events and the wheel handler.
class TInputState {
public:
    bool KeyDown(uint8_t vk) const { return Keys[vk]; }
    void KeysDown(uint8_t first, uint8_t last, uint8_t* out) const {
        for (int vk = first; vk < last; ++vk)
            out[vk] = Keys[static_cast<size_t>(vk)] ? 1 : 0;
    }
    void SetKey(uint8_t vk, bool down) { Keys[vk] = down; }
    // Every key up, and whatever was queued forgotten.
    void ReleaseAll() {
        Keys.fill(false);
        Queue.clear();
    }

    // Key 0 is no key: injecting it does nothing, as with the window system. A backend queues the
    // window's own key changes the same way, so that they too change a key at most once a frame.
    void InjectKey(uint8_t vk, bool down);
    void InjectWheel(int32_t delta);
    void ApplyInjected();
    bool InjectedPending() const { return !Queue.empty(); }

    IInputSource::TWheelHandler SetWheelHandler(IInputSource::TWheelHandler handler);
    void Wheel(int32_t delta) {
        if (Handler) Handler(delta);
    }

private:
    struct TEvent {
        bool IsWheel;
        uint8_t Vk;
        bool Down;
        int32_t Delta;
    };
    std::array<bool, 256> Keys{};
    std::deque<TEvent> Queue;
    IInputSource::TWheelHandler Handler;
};
