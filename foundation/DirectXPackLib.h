// The display starter: puts the display component into the mode the configuration asks for, a
// window of the game's size or full screen at 32 (else 24) or 16 (else 15) bits, and falls back to
// a window with the "FullScreenError" message when the display offers neither depth. The hooks
// around a change let the engine core save a playing movie and restore it afterwards.
//
// Settings used: ScreenWidth and ScreenHeight (1..4096, else 800 x 600, written back), FullScreen
// (0 window, 1 full screen) and ColorMode (1: 32/24 bits, else 16/15 bits).
#pragma once

#include <cstdint>
#include <functional>

class IDialogOwner;
class TDDDD7;
class TDDSD7;

class TDirectXPack {
public:
    // The components and the form belong to the main window.
    TDirectXPack(const IDialogOwner* owner, TDDDD7* dddd, TDDSD7* ddsd);

    // Calls the before hook, starts the display in the configured mode, remembers FullScreen and
    // ColorMode and calls the after hook. True.
    bool ChangeDisplayMode();
    // Switches FullScreen over, then ChangeDisplayMode.
    bool ToggleFullScreen();

    int32_t RememberedFullScreen = 0;  // the settings of the last completed change
    int32_t RememberedColorMode = 0;
    std::function<void()> OnBeforeChange;
    std::function<void()> OnAfterChange;
    TDDDD7* DDDD;
    TDDSD7* DDSD;
    const IDialogOwner* Owner;
    // False until the first change has completed, and while a change runs.
    bool Started = false;

private:
    void StartDisplay();
};
