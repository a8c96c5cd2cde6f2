// What the tests need from the X server below an SDL window or the window of another program:
// pixels as the server holds them, and whether a window manager runs. Kept apart from the tests because the X headers
// define names (Display, None, Bool) that clash with the engine's and the test library's.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

namespace XServer {
// Whether the window lives on an X server.
bool Available(SDL_Window* window);
// The window's X window number, for programs that send it events; 0 off an X server.
unsigned long WindowId(SDL_Window* window);
// The window's pixels as 0x00RRGGBB, row by row, with its size; false when they cannot be read.
bool Read(SDL_Window* window, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height);
// The same for a window of another program by its number; false when it is gone.
bool Read(unsigned long id, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height);
// Whether a window manager that follows the desktop conventions runs on the X server of DISPLAY.
bool WindowManagerRunning();
// Marks the window minimised in its state property, as a window manager that minimised it would
// (the small one the tests start cannot minimise a window itself); false off an X server.
bool MarkMinimized(SDL_Window* window);
}  // namespace XServer
