// An input source that tests script frame by frame: set keys, buttons, the pointer and the
// window's activity between two updates, turn the wheel as a window event would, and read back
// what the engine did to the cursor.
#pragma once

#include "platform/InputSource.h"

class THeadlessInputSource final : public IInputSource {
public:
    void Poll() override { State.ApplyInjected(); }
    bool WindowActive() const override { return Active; }
    bool KeyDown(uint8_t vk) const override { return State.KeyDown(vk); }
    void KeysDown(uint8_t first, uint8_t last, uint8_t* out) const override { State.KeysDown(first, last, out); }
    Viewport::TPoint Pointer() const override { return PointerAt; }
    Viewport::TSize GameSize() const override { return Game; }
    void SetPointer(Viewport::TPoint game) override {
        PointerAt = game;
        ++Warps;
    }
    bool CursorShown() const override { return Shown; }
    void ShowCursor(bool shown) override {
        Shown = shown;
        ++CursorChanges;
    }
    TWheelHandler SetWheelHandler(TWheelHandler handler) override { return State.SetWheelHandler(std::move(handler)); }
    void InjectKey(uint8_t vk, bool down) override { State.InjectKey(vk, down); }
    void InjectWheel(int32_t delta) override { State.InjectWheel(delta); }

    // The script's side.
    void Press(uint8_t vk) { State.SetKey(vk, true); }
    void Release(uint8_t vk) { State.SetKey(vk, false); }
    void Wheel(int32_t delta) { State.Wheel(delta); }  // delivered at once, as between frames
    bool InjectedPending() const { return State.InjectedPending(); }

    bool Active = true;
    Viewport::TPoint PointerAt{0, 0};
    Viewport::TSize Game{640, 480};
    bool Shown = true;
    int CursorChanges = 0;  // calls of ShowCursor
    int Warps = 0;          // calls of SetPointer

private:
    TInputState State;
};
