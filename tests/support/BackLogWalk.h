// A walk through the demo's back-log screen for the tests that run the demo in the programs: the
// demo is played headless until its second voiced line reaches the back-log, and from there an
// input script turns the wheel up to open the screen, scrolls it down and up again, clicks the
// second line to replay its voice and leaves with Esc soon after, while the voice still plays.
// Helpers read what such a run wrote: the loud stretches of its sound and the bar in its frames.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace BackLogWalk {

struct TPlan {
    int64_t Logged = 0;  // the frame in which the second line reached the back-log; 0 when it never did
    int64_t Open = 0, Down = 0, Up = 0, Click = 0, Leave = 0, End = 0;  // frames of the walk's events
    std::string Input;                                                  // the input script, in the runners' format
};

// Plays the demo built in the folder headless until its back-log holds the number of lines, and
// gives the frame in which it did (and, when asked, the milliseconds a frame took); 0 when it
// never did within 3000 frames.
int64_t FramesUntilLogged(const std::string& demoFolder, int32_t lines, int64_t* periodMs = nullptr);
// Whether the demo's script binds a key to the back-log (the wheel turned up).
bool DemoBindsTheBackLog();
// Plays the demo built in the folder until the second line is logged, and plans the walk.
TPlan Plan(const std::string& demoFolder);

// Stretches [start, end) in milliseconds in which the sound of a RIFF wave file of the engine's
// format is loud (the root mean square of each 25 ms above the level); empty when the file cannot
// be read. A stretch still loud where the file ends is left out: its end is not known.
std::vector<std::pair<int32_t, int32_t>> LoudStretches(const std::string& wavePath, double level);

// The demo layout's bar: whether the frame (0x00RRGGBB pixels of 800 x 600, as a PNG file) shows the
// bar's thumb at its top end (value 0) or its bottom end; -1 when the thumb is not there at all.
int32_t ThumbEnd(const std::string& pngPath);

}  // namespace BackLogWalk
