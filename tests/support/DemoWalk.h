// A player's walk through the whole demo, shared by the test that plays it headless and the one
// that plays it in the program's window: the title, the first lines, the choice (the sky), the
// menu, the save screen, the back-log, the load screen, a quick save and a quick load, the
// configuration dialog, the second line of the sky, the ending and the title again. The walk is a
// list of screens, each followed by what the player does on it; the headless walk keeps the frame
// of each screen, which the window's walk must show before it acts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace DemoWalk {

// left, top, right, bottom; right and bottom exclusive.
struct TRect {
    int32_t L = 0, T = 0, R = 0, B = 0;
};

struct TStep {
    std::string Screen;  // the screen the walk waits for
    // Where the screen moves with the clock (the twinkling star, the breathing characters) or with
    // the date (the time of a save): left out of comparisons.
    std::vector<TRect> Masks;
    // What the player then does, in the words of the runners' input script with the frame left out,
    // one action a line; the forms' answers (page, set, press, pick) are queued before the key or
    // click that opens the form.
    std::string Actions;
};

// The walk.
const std::vector<TStep>& Steps();

struct TScreen {
    std::string Name;
    std::vector<TRect> Masks;
    std::vector<uint32_t> Pixels;  // 800 x 600, 0x00RRGGBB
};

struct TResult {
    std::vector<TScreen> Screens;  // in the order of the steps; fewer when the walk got stuck
    std::string Input;             // the input script the walk made, with its frames
    std::string Report;            // the runner's report at the end
    int64_t Frames = 0;
    int32_t BGMVolume = 0;  // the game's live setting at the end
};

// Plays the walk in the headless runner on the demo built in the folder. A screen is reached once
// its frames have stayed the same outside its masks for a while and the game waits for the player
// (or a system screen is up); the player's actions then go into the input script at the next frame.
TResult PlayHeadless(const std::string& demoFolder);

// Whether two frames of 800 x 600 are the same outside the masks; how many pixels differ.
int64_t Differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, const std::vector<TRect>& masks);

}  // namespace DemoWalk
