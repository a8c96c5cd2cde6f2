// The display starter: puts the display component into the mode the configuration asks for, a
// window of the game's size or full screen at 32 (else 24) or 16 (else 15) bits, and falls back to
// a window with the "FullScreenError" message when the display offers neither depth. The hooks
// around a change let the engine core save a playing movie and restore it afterwards.
//
// Settings used: ScreenWidth and ScreenHeight (each side on its own: 1..4096, else 800 for the
// width and 600 for the height, written back), FullScreen (0 window, 1 full screen) and ColorMode
// (1: 32/24 bits, else 16/15 bits).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Dialogs.h"
#include "platform/Viewport.h"

class IDialogOwner;
class TDDDD7;
class TDDSD7;
class TSystemConfig;

namespace DirectXPackLib {

// The game's screen size as the display, the window and the input all take it: a side outside
// 1..4096 becomes 800 (width) or 600 (height), each side on its own. A side of 0 would give an
// empty back buffer, so the smallest side is 1.
Viewport::TSize ScreenSize(int32_t screenWidth, int32_t screenHeight);

}  // namespace DirectXPackLib

class TDirectXPack {
public:
    // The configuration is the game context's; the components and the form belong to the main
    // window; the message of a failed start is shown through dialogs over the form.
    TDirectXPack(TSystemConfig& config, const TDialogHost& dialogs, const IDialogOwner* owner, TDDDD7* dddd,
                 TDDSD7* ddsd);

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
    TDialogHost Dialogs;
    const IDialogOwner* Owner;
    TSystemConfig& Config;
    // False until the first change has completed, and while a change runs.
    bool Started = false;

private:
    void StartDisplay();
};
