#include "shell/KelConfigLib.h"

#include <algorithm>

#include "foundation/DirectXPackLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/uARGB8888Manager.h"
#include "media/uSoundLib.h"
#include "media/uWaveDataManager.h"
#include "script/KelScriptLib.h"

namespace KelConfigLib {

int32_t SoundCacheCapacity(int32_t cacheSize) {
    return std::min(cacheSize / 6, kSoundCacheLimit);
}

int32_t EffectiveVolume(int32_t volume, int32_t factor, int32_t mute) {
    if (mute == 1) return 0;
    // Both come from files: the product is taken in 64 bits and the quotient kept in range.
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{volume} * factor / 256, INT32_MIN, INT32_MAX));
}

}  // namespace KelConfigLib

using namespace KelConfigLib;

TKelConfig::TKelConfig(TDirectXPack* directXPack) : DirectXPack(directXPack) {}

void TKelConfig::Init(TKelScript* gameScript, IKelSound* sound) {
    GameScript = gameScript;
    Sound = sound;
}

void TKelConfig::ApplyConfig() {
    ApplyDisplayMode();
    ApplyVolumes();
    ApplyFonts();
    ApplyMessageAlpha();
    ApplyCacheSizes();
    ApplyCrcCheck();
}

void TKelConfig::ApplyDisplayMode() {
    if (!DirectXPack) return;
    const TSystemData& c = SystemConfigLib::Config;
    if (!DirectXPack->Started || c.FullScreen != DirectXPack->RememberedFullScreen ||
        (c.FullScreen == 1 && c.ColorMode != DirectXPack->RememberedColorMode))
        DirectXPack->ChangeDisplayMode();
}

void TKelConfig::ApplyVolumes() {
    TSound* library = Sound ? Sound->Library() : nullptr;
    if (!GameScript || !library) return;
    const TSystemData& c = SystemConfigLib::Config;
    const int32_t volumes[3] = {EffectiveVolume(c.BGMVolume, c.MulBGMVolume, c.BGMMute),
                                EffectiveVolume(c.VOICEVolume, c.MulVOICEVolume, c.VOICEMute),
                                EffectiveVolume(c.SEVolume, c.MulSEVolume, c.SEMute)};
    bool differs = false;
    for (uint32_t g = 0; g < 3; ++g)
        differs = differs || static_cast<int64_t>(library->GetGroupVolume(g)) != volumes[g];
    if (!differs) return;
    for (uint32_t g = 0; g < 3; ++g)
        library->SetGroupVolume(g, volumes[g]);
    library->UpdateGroupVolumes();
}

void TKelConfig::ApplyFonts() {
    SystemConfigLib::ApplyFonts(SystemConfigLib::Config);
}

void TKelConfig::ApplyMessageAlpha() {
    KelScriptLib::SetMessageAlpha(SystemConfigLib::Config.MessageAlpha);
}

void TKelConfig::ApplyCacheSizes() {
    // A capacity is a byte count: a negative setting (from a file) is taken as none.
    const int32_t images = std::max(SystemConfigLib::Config.CacheSize, 0);
    const int32_t sounds = SoundCacheCapacity(images);
    auto& imageCache = uARGB8888Manager::ARGB8888Manager;
    auto& soundCache = uWaveDataManager::WaveDataManager;
    if (imageCache && imageCache->GetCapacity() != images) imageCache->SetCapacity(images);
    if (soundCache && soundCache->GetCapacity() != sounds) soundCache->SetCapacity(sounds);
}

void TKelConfig::ApplyCrcCheck() {
    PackLib::SetPackVerify(SystemConfigLib::Config.CRCCheck == 1);
}

void TKelConfig::SelectPage(int32_t page) {
    if (page < 0 || page >= kPageCount) return;
    if ((page == 2 && !VoicePageEnabled) || (page == 4 && !FontPageEnabled)) return;
    PageToShow = page;
}
