// A walk through the demo's system menu for the tests that run the demo in the programs: once the
// first line is on the screen, a right click opens the menu over the dimmed game, a click on the
// locked QUICK LOAD button (no quick save exists) changes nothing, a click on MARK checks it, and
// a right click closes the menu, which stays up for its end mute time (300 ms) before the game
// comes back. Helpers read what the frames of such a run show.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class TBitmap32;

namespace MenuWalk {

struct TPlan {
    int64_t Shown = 0;  // the frame in which the first line reached the back-log; 0 when it never did
    int64_t Open = 0, Quick = 0, Mark = 0, Cancel = 0, End = 0;  // frames of the walk's events
    std::string Input;                                           // the input script, in the runners' format
};

// Plays the demo built in the folder until its first line is shown, and plans the walk.
TPlan Plan(const std::string& demoFolder);

// The frames a run wrote into the folder, by present.
std::map<int64_t, std::string> Frames(const std::string& folder);

// The frame in a PNG file; null when it cannot be read or is not 800 x 600.
std::unique_ptr<TBitmap32> Picture(const std::string& pngPath);
// The colour (0x00RRGGBB) of the still park left of the panel, where the game shows under the menu.
uint32_t Park(const TBitmap32& frame);
// The colour the layout's blend colour $A0000010 makes of a game colour under the menu.
uint32_t Dimmed(uint32_t game);
// Whether two colours are the same within 2 in each channel.
bool Near(uint32_t a, uint32_t b);
// Whether the frame shows the menu's panel (its light edge), and MARK checked (the checked face's dot).
bool PanelShown(const TBitmap32& frame);
bool MarkChecked(const TBitmap32& frame);

}  // namespace MenuWalk
