// Applying the configuration: the display mode changes only when it must, the volumes reach the
// sound library's groups, the caches take their capacities, and the page to show follows the
// pages there are.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/DisplayComponent.h"
#include "foundation/DisplayStarter.h"
#include "foundation/SoundComponent.h"
#include "foundation/SystemConfigLib.h"
#include "media/AnimationBmpLib.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/headless/HeadlessConfigForms.h"
#include "platform/headless/HeadlessDialogs.h"
#include "platform/headless/HeadlessDisplay.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelScriptLib.h"
#include "shell/HeadlessRunner.h"
#include "shell/KelConfigLib.h"
#include "shell/KelSoundLink.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/GameFixture.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TestData.h"

namespace {

class KelConfigTest : public ::testing::Test, public TContextFixture {};

TEST_F(KelConfigTest, VolumesReachTheSoundLibrarysGroups) {
    TSystemData& c = Settings;
    c.BGMVolume = 200, c.VOICEVolume = 255, c.SEVolume = 255;
    c.MulBGMVolume = 256, c.MulVOICEVolume = 128, c.MulSEVolume = 300;
    TManualAudioDevice audio;
    TDDSD7 component(&audio);
    component.SetChannelCount(16);
    ASSERT_TRUE(component.Initialize());
    TFakeClock time;
    TKelSoundLink sound(component, Context.Packs, 131072, time, nullptr);
    TSound& library = *sound.Library();
    auto groups = [&] {
        return std::vector<uint32_t>{library.GetGroupVolume(0), library.GetGroupVolume(1), library.GetGroupVolume(2)};
    };
    const std::vector<uint32_t> before = groups();
    TKelScript game;
    TKelConfig config(Context.Config, Context.Packs, nullptr);

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
    TKelConfig config(Context.Config, Context.Packs, nullptr);
    config.ApplyCacheSizes();  // no caches: nothing to do
    TMediaContext media;
    config.Media = &media;
    // The sound cache takes a sixth of the picture cache's size, up to 8 MiB; a negative size (from
    // a file) sizes both as none.
    const struct {
        int32_t Size, Pictures, Sounds;
    } cases[] = {{20971520, 20971520, 3495253}, {62914560, 62914560, 8388608}, {0, 0, 0}, {-600, 0, 0}};
    for (const auto& c : cases) {
        Settings.CacheSize = c.Size;
        config.ApplyCacheSizes();
        EXPECT_EQ(media.Pictures.GetCapacity(), c.Pictures) << c.Size;
        EXPECT_EQ(media.Sounds.GetCapacity(), c.Sounds) << c.Size;
    }
}

TEST_F(KelConfigTest, DisplayModeChangesOnlyWhenItMust) {
    TSystemData& c = Settings;
    c.ScreenWidth = 64, c.ScreenHeight = 48;
    THeadlessDisplay device;
    TDDDD7 dddd(&device);
    dddd.AutoDisplayModeInitialize = false;
    dddd.InitialScreenWidth = 64;
    dddd.InitialScreenHeight = 48;
    dddd.Loaded();
    ASSERT_TRUE(dddd.Start());
    TDirectXPack pack(Context.Config, {}, nullptr, &dddd, nullptr);
    int changes = 0;
    pack.OnAfterChange = [&] { ++changes; };
    TKelConfig config(Context.Config, Context.Packs, &pack);

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
    TKelConfig config(Context.Config, Context.Packs, nullptr);
    config.VoicePageEnabled = false;
    config.FontPageEnabled = true;
    const std::pair<int32_t, int32_t> steps[] = {{3, 3}, {-1, 3}, {6, 3}, {2, 3}, {5, 5}, {0, 0}, {4, 4}};
    for (auto [page, shown] : steps) {
        config.SelectPage(page);
        EXPECT_EQ(config.PageToShow, shown) << page;
    }
}

// ---- the dialog, its player's actions answered ----

const char* kDialogMessages = "CONFIGRESET_Text=戻しますか？\r\nCONFIGRESET_Yes=はい\r\nCONFIGRESET_No=いいえ\r\n";

std::map<std::string, std::string> DialogGame(const std::string& voiceData, bool fonts = true) {
    std::map<std::string, std::string> files = {
        {"System\\etc\\Game.dat", ""},
        {"System\\etc\\Config.txt",
         "BGMVolume=204\r\nFPSLimit=40\r\nMessageAlpha=255\r\nFont[0].Name=ＭＳ ゴシック\r\n"},
        {"System\\etc\\Message.txt", kDialogMessages}};
    if (fonts) files["system\\font\\fontdata.dat"] = "show=Enable\r\n";
    if (!voiceData.empty()) files["system\\voice\\voicedata.dat"] = voiceData;
    return files;
}

class KelConfigDialogTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        // What the live configuration holds as each of the player's actions is taken.
        Modal.SetWhileModalHook([this] { Seen.push_back(Settings.BGMVolume); });
    }
    TModalLoop Modal;
    THeadlessConfigForms Forms{&Modal};
    THeadlessDialogs Answers{&Modal};
    TDialogHost Host{&Answers};
    std::vector<int32_t> Seen;
};

TEST_F(KelConfigDialogTest, ControlsShowTheSettings) {
    TOpenGame game(Context.Config, DialogGame(""));
    TSystemData& c = Settings;
    TKelConfig config(Context.Config, game.Packs, nullptr, &Forms, nullptr, Host);
    const struct {
        int32_t Fps, Cache, FullScreen;
        int32_t FpsItem, CacheItem, ScreenItem;
    } cases[] = {
        {80, 15728640, 1, 3, 1, 1},    // 15 MiB shows "10 M"
        {0, 52428800, 2, -1, -1, -1},  // no item for any of them
        {100, 0, 0, -1, 0, 0},
    };
    for (const auto& k : cases) {
        c.FPSLimit = k.Fps, c.CacheSize = k.Cache, c.FullScreen = k.FullScreen;
        config.LoadControls();
        EXPECT_EQ(config.Form[config.C.FpsLimit].Value, k.FpsItem) << k.Fps;
        EXPECT_EQ(config.Form[config.C.CacheSize].Value, k.CacheItem) << k.Cache;
        EXPECT_EQ(config.Form[config.C.ScreenMode].Value, k.ScreenItem) << k.FullScreen;
    }
    c.BGMVolume = 204, c.MessageSpeed = 25, c.AutoPlayClickTime = 99999;
    config.LoadControls();
    EXPECT_EQ(config.Form[config.C.VolumeBars[0]].Value, 8);
    EXPECT_EQ(config.Form[config.C.MessageBars[0]].Value, 2);   // 2.5: halves go to the even side
    EXPECT_EQ(config.Form[config.C.MessageBars[3]].Value, 10);  // beyond the bar: its end
    EXPECT_EQ(Encoding::SjisToUtf8(config.Form[config.C.VolumeLabels[0]].Caption), "80 ％");
    EXPECT_EQ(Encoding::SjisToUtf8(config.Form[config.C.MessageLabels[0]].Caption), "25 ミリ秒");
}

// Every control writes its setting at once; "キャンセル" puts back every user setting and applies
// them, "設定" keeps them.
TEST_F(KelConfigDialogTest, ChangesAreLiveAndCancelRestoresThem) {
    TOpenGame game(Context.Config, DialogGame(""));
    TSystemData& c = Settings;
    c.BGMVolume = 127, c.FullScreen = 0, c.FPSLimit = 60, c.MessageAlpha = 255;
    const TSystemData before = c;
    TKelConfig config(Context.Config, game.Packs, nullptr, &Forms, nullptr, Host);
    config.SelectPage(1);
    Forms.Set("TrackBar1", 6);  // from 5: 6 x 255 div 10
    Forms.ShowPage(0);
    Forms.Set("ComboBox3", 1);
    Forms.Set("ComboBox19", 0);
    Forms.ShowPage(3);
    Forms.Set("TrackBar5", 3);
    Forms.ShowPage(4);
    Forms.Set("FontCheckBold", 1);
    Forms.Click("Button5");
    config.ShowModal();
    ASSERT_GE(Seen.size(), 3u);
    EXPECT_EQ(Seen[1], 153);  // live while the dialog is open
    EXPECT_EQ(Encoding::SjisToUtf8(config.Form[config.C.VolumeLabels[0]].Caption), "60 ％");
    EXPECT_EQ(c.BGMVolume, 127);
    EXPECT_EQ(c.FullScreen, 0);
    EXPECT_EQ(c.FPSLimit, 60);
    EXPECT_EQ(c.MessageAlpha, 255);
    EXPECT_EQ(c.Font[0].Style, before.Font[0].Style);
    EXPECT_EQ(config.PageToShow, 4);  // the page last shown comes first next time
    EXPECT_TRUE(Forms.Shown.back().Refused.empty());

    Forms.ShowPage(1);
    Forms.Set("TrackBar1", 6);
    Forms.ShowPage(0);
    Forms.Set("ComboBox3", 1);
    Forms.Click("Button4");
    config.ShowModal();
    EXPECT_EQ(c.BGMVolume, 153);
    EXPECT_EQ(c.FullScreen, 1);
    EXPECT_EQ(Forms.Shown.back().PagesShown.front(), 4);
}

TEST_F(KelConfigDialogTest, PagesAndResetButtonsFollowTheGamesFiles) {
    // No font list and no defaults file: no font page and no reset buttons.
    std::map<std::string, std::string> files = DialogGame("", false);
    files.erase("System\\etc\\Config.txt");
    TOpenGame game(Context.Config, files);
    TKelConfig config(Context.Config, game.Packs, nullptr, &Forms, nullptr, Host);
    EXPECT_FALSE(config.FontPageEnabled);
    EXPECT_FALSE(config.VoicePageEnabled);
    Forms.ShowPage(4);
    Forms.ShowPage(2);
    Forms.Click("SysResetButton");
    Forms.ShowPage(5);
    Forms.Click("Button2");
    Forms.Click("Button4");
    config.ShowModal();
    const auto& shown = Forms.Shown.back();
    ASSERT_EQ(shown.Pages.size(), 4u);
    EXPECT_EQ(shown.Refused, (std::vector<std::string>{"page 4", "page 2", "click SysResetButton"}));
    // The information page builds its report when it shows; the button copies it.
    ASSERT_EQ(shown.Copied.size(), 1u);
    EXPECT_NE(shown.Copied[0].find("\r\nType   :Relese\r\n"), std::string::npos);
}

TEST_F(KelConfigDialogTest, ResetButtonsAskAndTakeTheDefaults) {
    TOpenGame game(Context.Config, DialogGame(""));
    TSystemData& c = Settings;
    c.BGMVolume = 51, c.FPSLimit = 20;
    TKelConfig config(Context.Config, game.Packs, nullptr, &Forms, nullptr, Host);
    Answers.Click(1);  // "いいえ"
    Forms.Click("SysResetButton");
    Forms.ShowPage(1);
    Forms.Click("VolResetButton");  // "はい"
    Forms.Click("Button4");
    config.ShowModal();
    EXPECT_EQ(c.FPSLimit, 20);
    EXPECT_EQ(c.BGMVolume, 204);  // 204 x 10 div 255 = 8, stored as 8 x 255 div 10
    ASSERT_EQ(Answers.Shown.size(), 2u);
    EXPECT_EQ(Encoding::SjisToUtf8(Answers.Shown[1].Text), "戻しますか？");
}

// Speakers of "VoiceData.dat": a panel per named slot, four rows in view, the condition variable
// choosing between the name and picture and their alternatives.
TEST_F(KelConfigDialogTest, SpeakerPanels) {
    {
        std::string voices = "show=enable\r\n";
        for (int i = 0; i < 7; ++i)
            voices += "gui[" + std::to_string(i) + "]=$FF0000,話者" + std::to_string(i) + ",？？？\r\n";
        TOpenGame game(Context.Config, DialogGame(voices));
        TKelConfig config(Context.Config, game.Packs, nullptr, &Forms, nullptr, Host);
        EXPECT_TRUE(config.VoicePageEnabled);
        EXPECT_TRUE(config.Form[config.C.ScrollBar].Visible);
        EXPECT_EQ(config.Form[config.C.ScrollBar].Max, 3);
    }
    const std::string voices = "show=enable\r\ngui[9]=$00FF00, 九番 , 誰か , face.png , other.bmp , met9  // note\r\n";
    TOpenGame game(Context.Config, DialogGame(voices),
                   {{"system\\voice\\face.png", AnimationFixtures::SolidPng(60, 40, 0xFF102030)}});
    TKelConfig config(Context.Config, game.Packs, nullptr, &Forms, nullptr, Host);
    const TKelConfig::TSpeaker& s = config.Speakers[9];
    ASSERT_GE(s.Panel, 0);
    EXPECT_EQ(config.Form[config.C.ScrollBar].Max, 6);
    EXPECT_EQ(config.Form[s.Panel].Top, 9 * 74);  // empty rows above it
    EXPECT_EQ(config.Form[s.Panel].TextColor, 0x00FF00u);
    EXPECT_EQ(config.Form.Find("VoiceVolume9"), s.Volume);

    TScriptHarness script;
    config.Init(&script.Script, nullptr);
    config.LoadControls();  // no variable "met9": the alternatives
    EXPECT_EQ(Encoding::SjisToUtf8(config.Form[s.Panel].Caption), "誰か");
    EXPECT_EQ(config.Form[s.Image].Pixels[31 * 62 + 31], 0xFFFFFFFFu);  // white: no such picture
    EXPECT_EQ(script.Context.Log.ErrorList.Count(), 0);
    script.Declare(TVariableScope::Game, "met9", TCalcValueType::Integer, {1}, "1");
    config.LoadControls();
    EXPECT_EQ(Encoding::SjisToUtf8(config.Form[s.Panel].Caption), "九番");
    EXPECT_EQ(config.Form[s.Image].Pixels[0], 0xFF000000u);  // the frame
    EXPECT_EQ(config.Form[s.Image].Pixels[31 * 62 + 31], 0xFF102030u);

    Forms.ShowPage(2);
    Forms.Set("ScrollBar1", 6);
    Forms.Set("VoiceVolume9", 3);
    Forms.Set("VoiceMute9", 1);
    Forms.Click("Button4");
    config.ShowModal();
    EXPECT_EQ(config.Form[s.Panel].Top, 3 * 74);
    EXPECT_EQ(Settings.ActorVolume[9], 76);  // round(3 x 255 / 10)
    EXPECT_EQ(Settings.ActorMute[9], 1);
    EXPECT_EQ(Encoding::SjisToUtf8(config.Form[s.ValueLabel].Caption), "30 ％");
}

// A game run headless: the start-up dialog shows before the game starts and stores its choices;
// the engine's configuration request then opens the configuration dialog.
TEST(KelConfigRunTest, TheStartUpAndTheConfigurationRequestShowTheirDialogs) {
    const std::string dir = TestData::ScratchDir();
    GameFixture::Write(dir,
                       {{"System\\etc\\Game.dat", "GameTitle=起動\r\nConfigStartupSkip=FALSE\r\n"},
                        {"System\\etc\\Config.txt", "FPSLimit=60\r\nBGMVolume=255\r\n"},
                        {"System\\etc\\Message.txt", kDialogMessages},
                        {"startup.s", "@@reset\r\n@@top\r\n\\wait,10\r\n\\jmp,@@top\r\n"}},
                       KEL_SYSTEMINFO_LIBRARY);
    THeadlessGame game;
    game.Forms.Set("ComboBox5", 1);  // 40 FPS
    game.Forms.Click("Button1");
    std::string error;
    ASSERT_TRUE(game.Open(dir, error)) << error;
    ASSERT_EQ(game.Forms.Shown.size(), 1u);
    EXPECT_EQ(Encoding::SjisToUtf8(game.Forms.Shown[0].Caption), "起動設定");
    EXPECT_EQ(game.Form->Context.Config.Config.FPSLimit, 40);

    game.Run(2);
    game.Forms.ShowPage(1);
    game.Forms.Set("TrackBar1", 4);
    game.Forms.Click("Button4");
    game.Engine->DoRequest(srConfig, "");
    game.Run(3);
    ASSERT_EQ(game.Forms.Shown.size(), 2u);
    EXPECT_EQ(Encoding::SjisToUtf8(game.Forms.Shown[1].Caption), "コンフィグ設定");
    EXPECT_EQ(game.Forms.Shown[1].ClosedBy, "Button4");
    EXPECT_EQ(game.Form->Context.Config.Config.BGMVolume, 102);
    // The music group plays at the new volume: the dialog's close applied the configuration.
    EXPECT_EQ(game.Engine->Sound->Library()->GetGroupVolume(0), 102u);
    EXPECT_NE(game.Report().find("form: コンフィグ設定 -> Button4"), std::string::npos);
}

TEST(KelConfigPreviewTest, TheTypingPreviewRunsItsCycle) {
    // 10 ms a character, 20 ms auto wait a character, 1000 ms a page: 15 characters typed by
    // 150 ms, the page waits until 300 ms, the auto mode's wait runs to the cycle's end at 1300.
    const struct {
        int32_t Time;
        const char* Text;
    } steps[] = {{0, ""},
                 {50, ">>>>>"},
                 {140, ">>>>>>>>>>>>>>"},
                 {150, ">>>>>>>>>>>>>>>."},
                 {250, ">>>>>>>>>>>>>>>"},
                 {350, ">>>>>>>>>>>>>>>_"},
                 {600, ">>>>>>>>>>>>>>>"},
                 {850, ">>>>>>>>>>>>>>>_"}};
    for (const auto& s : steps)
        EXPECT_EQ(KelConfigLib::PreviewText(s.Time, 10, 20), s.Text) << s.Time;
    EXPECT_EQ(KelConfigLib::NextPreviewTime(1200, 10, 20, 1000), 1250);
    EXPECT_EQ(KelConfigLib::NextPreviewTime(1250, 10, 20, 1000), 0);
    // Settings from a file that make the cycle empty or longer than the time can count do not fault.
    EXPECT_EQ(KelConfigLib::NextPreviewTime(0, 0, 0, -100000), 0);
    EXPECT_EQ(KelConfigLib::NextPreviewTime(INT32_MAX - 10, INT32_MAX, INT32_MAX, INT32_MAX), 40);
}

}  // namespace
