// Where the game picture lies in the window. The window may be any size (full screen on the
// desktop, a resized frame); the game keeps its own size in pixels and is scaled to fit at its
// own aspect ratio, centred, with bars on the other axis. The display draws into this rectangle
// and the input source maps the pointer back through it, so both always agree.
#pragma once

#include <cstdint>

namespace Viewport {

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    bool operator==(const TPoint&) const = default;
};

struct TSize {
    int32_t W = 0;
    int32_t H = 0;
    bool operator==(const TSize&) const = default;
};

struct TRect {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t W = 0;
    int32_t H = 0;
    bool operator==(const TRect&) const = default;
};

// The game picture's rectangle in window coordinates: as large as fits, centred. When either
// size is empty the game maps one to one onto the window's top-left corner.
TRect Fit(TSize window, TSize game);

// The game pixel under a window point. Points on the bars or outside the window map outside
// 0 .. game size - 1; callers clamp when they need a point inside.
TPoint WindowToGame(TPoint window, TSize windowSize, TSize game);

// The window point at the centre of a game pixel. WindowToGame gives the pixel back whenever
// the picture is at least the game's size (a smaller picture merges pixels).
TPoint GameToWindow(TPoint game, TSize windowSize, TSize gameSize);

}  // namespace Viewport
