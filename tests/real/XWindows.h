// Windows of other programs on the X server, as the tests that play a program see them. Kept apart
// from the tests because the X headers define names that clash with the engine's.
#pragma once

#include <cstdint>
#include <vector>

namespace XWindows {
// A window's pixels as the server holds them, 0x00RRGGBB, row by row, with its size; false when
// the window cannot be read (it is gone).
bool Read(unsigned long id, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height);
}  // namespace XWindows
