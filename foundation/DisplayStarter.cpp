#include "foundation/DisplayStarter.h"

#include "foundation/DisplayComponent.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uDialogMisc.h"

namespace DirectXPackLib {

Viewport::TSize ScreenSize(int32_t screenWidth, int32_t screenHeight) {
    auto side = [](int32_t value, int32_t replacement) { return value >= 1 && value <= 4096 ? value : replacement; };
    return {side(screenWidth, 800), side(screenHeight, 600)};
}

}  // namespace DirectXPackLib

TDirectXPack::TDirectXPack(TSystemConfig& config, const TDialogHost& dialogs, const IDialogOwner* owner, TDDDD7* dddd,
                           TDDSD7* ddsd)
    : DDDD(dddd), DDSD(ddsd), Dialogs(dialogs), Owner(owner), Config(config) {}

bool TDirectXPack::ChangeDisplayMode() {
    Started = false;
    if (OnBeforeChange) OnBeforeChange();
    StartDisplay();
    Started = true;
    RememberedFullScreen = Config.Config.FullScreen;
    RememberedColorMode = Config.Config.ColorMode;
    if (OnAfterChange) OnAfterChange();
    return true;
}

bool TDirectXPack::ToggleFullScreen() {
    Config.Config.FullScreen ^= 1;
    return ChangeDisplayMode();
}

void TDirectXPack::StartDisplay() {
    TSystemData& config = Config.Config;
    const Viewport::TSize size = DirectXPackLib::ScreenSize(config.ScreenWidth, config.ScreenHeight);
    config.ScreenWidth = size.W;
    config.ScreenHeight = size.H;
    if (config.FullScreen != 0) config.FullScreen = 1;
    if (!DDDD) return;
    const int32_t w = config.ScreenWidth, h = config.ScreenHeight;
    if (config.FullScreen == 0) {
        DDDD->InitializeWindowed(w, h);
    } else {
        // The preferred depth first, then the one the display is more likely to offer.
        const int32_t depths[2] = {config.ColorMode == 1 ? 32 : 16, config.ColorMode == 1 ? 24 : 15};
        bool done = false;
        for (int32_t depth : depths)
            if (DDDD->HasDisplayMode(w, h, depth, 0)) {
                DDDD->InitializeFullScreen(w, h, depth, 0, "");
                done = true;
                break;
            }
        if (!done) {
            uDialogMisc::ShowDialog1(Dialogs, "", Config.MessageTable.Values("FullScreenError"),
                                     Config.MessageTable.Values("OK"), Owner);
            config.FullScreen = 0;
            StartDisplay();
        }
    }
    config.FullScreen = DDDD->Mode.FullScreen ? 1 : 0;
}
