// The input source of the SDL window. The window's event loop hands every event to HandleEvent;
// key events become the window system's virtual-key numbers, which are what key codes name. Key
// and button changes are taken over at the next poll, each key at most once a poll: a press and
// its release that arrive between two frames (a tap on a touch pad, a click of a program) are seen
// down in one frame and up in the next, instead of not at all.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>

#include "platform/InputSource.h"

namespace SdlInput {
// The virtual key of an SDL key, 0 when it has none. Letters, digits and punctuation follow the
// key's meaning in the active layout and fall back to its US position (so the digit row is always
// '0'..'9'); the keypad gives the navigation keys while Num Lock is off.
uint8_t VirtualKeyOf(const SDL_Keysym& key);
// The virtual key of a mouse button (SDL_BUTTON_LEFT ...), 0 when it has none.
uint8_t VirtualButtonOf(uint8_t button);
// One wheel notch as the window system counts it.
constexpr int32_t kWheelNotch = 120;
}  // namespace SdlInput

class TSdlInputSource final : public IInputSource {
public:
    // The window may be null, for tests: it then counts as active and its size is what
    // SetWindowSize or the size events say (at first the game size).
    TSdlInputSource(SDL_Window* window, Viewport::TSize game);

    // Takes one event from the window's loop; false when it is none of ours.
    bool HandleEvent(const SDL_Event& event);
    void SetWindowSize(Viewport::TSize size) { WindowSize = size; }
    // The game's size, once the game's settings are read.
    void SetGameSize(Viewport::TSize game) { Game = game; }

    void Poll() override { State.ApplyInjected(); }
    bool WindowActive() const override { return Active; }
    bool KeyDown(uint8_t vk) const override { return State.KeyDown(vk); }
    void KeysDown(uint8_t first, uint8_t last, uint8_t* out) const override { State.KeysDown(first, last, out); }
    Viewport::TPoint Pointer() const override;
    Viewport::TSize GameSize() const override { return Game; }
    void SetPointer(Viewport::TPoint game) override;
    bool CursorShown() const override { return Shown; }
    void ShowCursor(bool shown) override;
    TWheelHandler SetWheelHandler(TWheelHandler handler) override { return State.SetWheelHandler(std::move(handler)); }
    void InjectKey(uint8_t vk, bool down) override { State.InjectKey(vk, down); }
    void InjectWheel(int32_t delta) override { State.InjectWheel(delta); }

private:
    void SetKey(uint8_t vk, bool down);
    Viewport::TSize CurrentWindowSize() const;
    bool OurWindow(uint32_t windowId) const;

    SDL_Window* Window;
    Viewport::TSize Game;
    Viewport::TSize WindowSize;
    Viewport::TPoint WindowPointer{0, 0};  // window coordinates
    bool Active = true;
    bool Shown = true;
    TInputState State;
    // Each key as the last event left it, ahead of what the last poll took over.
    std::array<bool, 256> Latest{};
};
