#include "platform/Viewport.h"

namespace Viewport {
namespace {

// Division rounding towards minus infinity, so that points left of or above the picture map to
// negative pixels instead of folding onto pixel 0.
int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

int32_t Clamp32(int64_t v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(v);
}

}  // namespace

TRect Fit(TSize window, TSize game) {
    if (window.W <= 0 || window.H <= 0 || game.W <= 0 || game.H <= 0) return {0, 0, game.W, game.H};
    const int64_t ww = window.W, wh = window.H, gw = game.W, gh = game.H;
    TRect r;
    if (ww * gh <= wh * gw) {
        // The window is relatively taller: full width, bars above and below.
        r.W = window.W;
        r.H = static_cast<int32_t>(gh * ww / gw);
        r.X = 0;
        r.Y = static_cast<int32_t>((wh - r.H) / 2);
    } else {
        r.H = window.H;
        r.W = static_cast<int32_t>(gw * wh / gh);
        r.Y = 0;
        r.X = static_cast<int32_t>((ww - r.W) / 2);
    }
    return r;
}

TPoint WindowToGame(TPoint window, TSize windowSize, TSize game) {
    const TRect r = Fit(windowSize, game);
    if (r.W <= 0 || r.H <= 0 || game.W <= 0 || game.H <= 0) return window;
    // Each window pixel is taken at its centre, so that it belongs to the game pixel covering most
    // of it and GameToWindow's points map back exactly.
    return {Clamp32(FloorDiv((2 * (int64_t(window.X) - r.X) + 1) * game.W, 2 * int64_t(r.W))),
            Clamp32(FloorDiv((2 * (int64_t(window.Y) - r.Y) + 1) * game.H, 2 * int64_t(r.H)))};
}

TPoint GameToWindow(TPoint game, TSize windowSize, TSize gameSize) {
    const TRect r = Fit(windowSize, gameSize);
    if (r.W <= 0 || r.H <= 0 || gameSize.W <= 0 || gameSize.H <= 0) return game;
    return {Clamp32(r.X + FloorDiv((2 * int64_t(game.X) + 1) * r.W, 2 * int64_t(gameSize.W))),
            Clamp32(r.Y + FloorDiv((2 * int64_t(game.Y) + 1) * r.H, 2 * int64_t(gameSize.H)))};
}

}  // namespace Viewport
