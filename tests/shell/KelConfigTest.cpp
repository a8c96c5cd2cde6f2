// Applying the configuration: the display mode changes only when it must, the volumes reach the
// sound library's groups, the caches take their capacities, and the page to show follows the
// pages there are.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/DirectXPackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/dddd7.h"
#include "foundation/ddsd7.h"
#include "media/AnimationBmpLib.h"
#include "media/uARGB8888Manager.h"
#include "media/uSoundLib.h"
#include "media/uWaveDataManager.h"
#include "platform/headless/HeadlessDisplay.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelScriptLib.h"
#include "shell/KelConfigLib.h"
#include "shell/KelSoundLink.h"

namespace {

class KelConfigTest : public ::testing::Test {
protected:
    void SetUp() override { SystemConfigLib::InitDefaults(); }
    void TearDown() override { SystemConfigLib::InitDefaults(); }
};

TEST_F(KelConfigTest, VolumesReachTheSoundLibrarysGroups) {
    TSystemData& c = SystemConfigLib::Config;
    c.BGMVolume = 200, c.VOICEVolume = 255, c.SEVolume = 255;
    c.MulBGMVolume = 256, c.MulVOICEVolume = 128, c.MulSEVolume = 300;
    TManualAudioDevice audio;
    TDDSD7 component(&audio);
    component.SetChannelCount(16);
    ASSERT_TRUE(component.Initialize());
    TKelSoundLink sound(component, 131072);
    TSound& library = *sound.Library();
    auto groups = [&] {
        return std::vector<uint32_t>{library.GetGroupVolume(0), library.GetGroupVolume(1), library.GetGroupVolume(2)};
    };
    const std::vector<uint32_t> before = groups();
    TKelScript game;
    TKelConfig config(nullptr);

    config.Init(nullptr, &sound);
    config.ApplyVolumes();  // no game interpreter yet: nothing
    EXPECT_EQ(groups(), before);
    config.Init(&game, &sound);
    config.ApplyVolumes();
    // Scaled by the game's factors in 256ths; the library keeps a volume within 0..255.
    EXPECT_EQ(groups(), (std::vector<uint32_t>{200, 127, 255}));
    c.VOICEMute = 1;
    config.ApplyVolumes();
    EXPECT_EQ(groups(), (std::vector<uint32_t>{200, 0, 255}));

    // Volumes and factors come from files: a product past 32 bits stays in range.
    EXPECT_EQ(KelConfigLib::EffectiveVolume(INT32_MAX, INT32_MAX, 0), INT32_MAX);
}

TEST_F(KelConfigTest, CacheCapacities) {
    TKelConfig config(nullptr);
    AnimationBmpLib::FreeManagers();
    config.ApplyCacheSizes();  // no caches: nothing to do
    AnimationBmpLib::CreateManagers();
    // The sound cache takes a sixth of the picture cache's size, up to 8 MiB; a negative size (from
    // a file) sizes both as none.
    const struct {
        int32_t Size, Pictures, Sounds;
    } cases[] = {{20971520, 20971520, 3495253}, {62914560, 62914560, 8388608}, {0, 0, 0}, {-600, 0, 0}};
    for (const auto& c : cases) {
        SystemConfigLib::Config.CacheSize = c.Size;
        config.ApplyCacheSizes();
        EXPECT_EQ(uARGB8888Manager::ARGB8888Manager->GetCapacity(), c.Pictures) << c.Size;
        EXPECT_EQ(uWaveDataManager::WaveDataManager->GetCapacity(), c.Sounds) << c.Size;
    }
    AnimationBmpLib::CreateManagers();  // empty again, as the program starts with them
}

TEST_F(KelConfigTest, DisplayModeChangesOnlyWhenItMust) {
    TSystemData& c = SystemConfigLib::Config;
    c.ScreenWidth = 64, c.ScreenHeight = 48;
    THeadlessDisplay device;
    TDDDD7 dddd(&device);
    dddd.AutoDisplayModeInitialize = false;
    dddd.InitialScreenWidth = 64;
    dddd.InitialScreenHeight = 48;
    dddd.Loaded();
    ASSERT_TRUE(dddd.Start());
    TDirectXPack pack(nullptr, &dddd, nullptr);
    int changes = 0;
    pack.OnAfterChange = [&] { ++changes; };
    TKelConfig config(&pack);

    struct {
        const char* Name;
        int32_t FullScreen, ColorMode;
        int Changes;
    } steps[] = {
        {"not started yet", 0, 1, 1},
        {"the same window", 0, 1, 1},
        {"a window in another colour mode", 0, 0, 1},
        {"full screen", 1, 0, 2},
        {"full screen, same colour mode", 1, 0, 2},
        {"full screen, other colour mode", 1, 1, 3},
        {"back to a window", 0, 1, 4},
    };
    for (const auto& s : steps) {
        c.FullScreen = s.FullScreen;
        c.ColorMode = s.ColorMode;
        config.ApplyDisplayMode();
        EXPECT_EQ(changes, s.Changes) << s.Name;
    }
}

TEST_F(KelConfigTest, SelectPageKeepsThePageForPagesThatAreNotThere) {
    TKelConfig config(nullptr);
    config.VoicePageEnabled = false;
    const std::pair<int32_t, int32_t> steps[] = {{3, 3}, {-1, 3}, {6, 3}, {2, 3}, {5, 5}, {0, 0}, {4, 4}};
    for (auto [page, shown] : steps) {
        config.SelectPage(page);
        EXPECT_EQ(config.PageToShow, shown) << page;
    }
}

}  // namespace
