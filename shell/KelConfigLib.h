// The configuration dialog of the running game, as far as the engine applies what it set: the
// display mode, the three group volumes, the fonts, the message opacity, the cache capacities and
// the pack checksum switch, each taken from the live configuration SystemConfigLib::Config. The
// engine core applies all of them when it starts and whenever the dialog closes or a script asks.
//
// The form itself (its pages, controls and previews) is not here yet: showing the dialog leaves
// the configuration as it is.
#pragma once

#include <cstdint>

#include "shell/KelSystemSeams.h"

class TDirectXPack;

namespace KelConfigLib {

// The sound cache takes a sixth of the image cache's capacity, at most 8 MiB.
constexpr int32_t kSoundCacheLimit = 8388608;
int32_t SoundCacheCapacity(int32_t cacheSize);

// The volume a group plays at: the player's volume scaled by the game's factor in 256ths, or 0
// while the group is muted.
int32_t EffectiveVolume(int32_t volume, int32_t factor, int32_t mute);

}  // namespace KelConfigLib

class TKelConfig final : public IKelConfigDialog {
public:
    // The display starter belongs to the main window; null leaves the display mode alone.
    explicit TKelConfig(TDirectXPack* directXPack);

    void Init(TKelScript* gameScript, IKelSound* sound) override;

    // Display mode, volumes, fonts, message opacity, cache sizes, checksum switch, in this order.
    void ApplyConfig() override;
    // Changes the display mode when the starter has not set one yet, when FullScreen differs from
    // the mode it last set, or, in full screen, when ColorMode does.
    void ApplyDisplayMode();
    // Music, voices and effects (groups 0, 1, 2 of the sound library). Nothing before the game
    // interpreter exists; the groups change only when one of the three effective volumes differs
    // from what the library holds.
    void ApplyVolumes() override;
    void ApplyFonts() override;
    void ApplyMessageAlpha() override;
    void ApplyCacheSizes() override;
    void ApplyCrcCheck() override;

    // The page shown next: 0..5 when that page is there to be shown; other values (-1 above all)
    // keep the page last shown.
    void SelectPage(int32_t page) override;
    void ShowModal() override {}

    static constexpr int32_t kPageCount = 6;
    int32_t PageToShow = 0;
    // Whether the font and voice pages are shown; the form decides once it reads the game's font
    // and speaker data.
    bool FontPageEnabled = true;
    bool VoicePageEnabled = true;

    TDirectXPack* DirectXPack;
    TKelScript* GameScript = nullptr;
    IKelSound* Sound = nullptr;
};
