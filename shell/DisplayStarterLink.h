// The display starter and its display component as the engine core reaches them (IKelDisplay).
// The main window, the headless runner and tests build one over their TDirectXPack and hand it to
// TKelSystem::Setup.
#pragma once

#include "shell/KelSystemSeams.h"

class TDirectXPack;

class TDirectXPackDisplay final : public IKelDisplay {
public:
    // The starter must have its display component; neither is owned.
    explicit TDirectXPackDisplay(TDirectXPack& pack) : Pack(pack) {}

    bool Ready() override;
    bool IsFullScreen() override;
    void ToggleFullScreen() override;
    bool TestBackBuffer() override;
    bool Reinitialize() override;
    void SetDisplayResetEvents(std::function<void()> before, std::function<void()> after) override;
    TDDDD7* DisplayComponent() override;

private:
    TDirectXPack& Pack;
};
