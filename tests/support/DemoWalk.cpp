#include "tests/support/DemoWalk.h"

#include <sstream>

#include "script/KelScriptLib.h"
#include "shell/HeadlessRunner.h"

namespace DemoWalk {

namespace {

// The star over the title, and the two characters with the room their breathing takes.
const TRect kStar{508, 118, 612, 222};
const std::vector<TRect> kCharacters{{160, 200, 360, 592}, {460, 200, 660, 592}};
// The load screen's slot 3: its number line and date show when the save was made.
const TRect kSlot3Date{190, 160, 390, 232};

// Frames a screen must stay the same before the player acts: a line has been typed to its end,
// and a screen's opening has ended.
constexpr int64_t kStill = 12;

}  // namespace

const std::vector<TStep>& Steps() {
    // The menu's buttons are 240 x 56 from x 280: SAVE at y 90, LOAD 150, CONFIG 390. Slot 3 of the
    // save and load screens is the first of their second row. The start button and the lines take
    // a click anywhere below the choice buttons; the sky's button is the upper one.
    static const std::vector<TStep> steps{
        {"", {}, "move 400 408"},
        {"title", {kStar}, "click 400 408"},
        {"line", kCharacters, "click 400 408"},
        {"line-2", kCharacters, "click 400 408"},
        {"question", kCharacters, "move 400 178"},
        {"choice", kCharacters, "click 400 178"},
        {"sky", {}, "tap 2"},
        {"menu", {}, "click 400 118"},
        {"save-screen", {}, "click 100 220"},
        {"save", {}, "click 100 220"},
        {"saved", {}, "wheel 120"},
        {"back-log", {}, "tap 27"},
        {"sky-again", {}, "tap 2"},
        {"menu-2", {}, "click 400 178"},
        {"load-screen", {kSlot3Date}, "click 100 220"},
        {"load", {kSlot3Date}, "click 100 220"},
        {"loaded", {}, "tap 116"},
        {"quick-saved", {}, "pick 0\ntap 120"},
        {"quick-loaded", {}, "tap 2"},
        {"menu-3", {}, "page 1\nset TrackBar1 5\npress Button4\nclick 400 418"},
        {"configured", {}, "click 400 408"},
        {"sky-2", {}, "click 400 408"},
        {"ending", {}, "click 400 408"},
        {"title-again", {kStar}, ""},
    };
    return steps;
}

int64_t Differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, const std::vector<TRect>& masks) {
    if (a.size() != 800u * 600u || b.size() != a.size()) return 800 * 600;
    int64_t wrong = 0;
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 800; ++x) {
            bool masked = false;
            for (const TRect& m : masks)
                masked = masked || (x >= m.L && x < m.R && y >= m.T && y < m.B);
            const size_t i = static_cast<size_t>(y) * 800 + static_cast<size_t>(x);
            wrong += !masked && (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
        }
    return wrong;
}

TResult PlayHeadless(const std::string& demoFolder) {
    TResult result;
    {
        THeadlessGame game;
        std::string error;
        if (!game.Open(demoFolder, error)) {
            result.Report = error;
            return result;
        }
        std::vector<uint32_t> shown;
        game.Screen.Device.OnFrame = [&](const THeadlessFrame& f) {
            shown.resize(f.Pixels.size());
            for (size_t i = 0; i < f.Pixels.size(); ++i)
                shown[i] = f.Pixels[i] & 0xFFFFFF;
        };
        for (const TStep& step : Steps()) {
            if (!step.Screen.empty()) {
                // The screen is reached once it has stayed the same for a while; the first frames
                // after the last action (a tap ends in the frame after it) do not count.
                game.Run(3);
                std::vector<uint32_t> last = shown;
                int64_t still = 0;
                const int64_t limit = game.FramesRun + 1500;
                // A still picture while the game runs on by itself (a pause in a scene) is not yet
                // the screen: the game must wait for the player, or a system screen be up.
                auto waiting = [&] {
                    if (game.Engine->Mode != KelSystemLib::kmGameScript) return true;
                    const uint8_t w = game.Engine->GameScript->CurrentRoutine()->WaitState;
                    return w == wsClick || w == wsButton;
                };
                while (!(still >= kStill && waiting()) && game.FramesRun < limit && !game.Exited) {
                    game.Run(1);
                    still = Differences(shown, last, step.Masks) == 0 ? still + 1 : 0;
                    last = shown;
                }
                if (still < kStill || !waiting()) break;
                result.Screens.push_back({step.Screen, step.Masks, shown});
            }
            std::istringstream lines(step.Actions);
            std::string script;
            for (std::string line; std::getline(lines, line);)
                script += std::to_string(game.FramesRun) + " " + line + "\n";
            if (!HeadlessRunner::ParseInputScript(script, game.Events, error)) {
                result.Report = error;
                break;
            }
            result.Input += script;
        }
        game.Run(2);
        result.Frames = game.FramesRun;
        result.BGMVolume = game.Form->Context.Config.Config.BGMVolume;
        if (result.Report.empty()) result.Report = game.Report({"route", "plays"});
    }
    return result;
}

}  // namespace DemoWalk
