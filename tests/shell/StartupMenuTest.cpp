// The start-up settings dialog and the game-pad dialog with the player's actions answered: what
// "起動" stores, what a setting without an item in its list does, the pages the game's settings
// show, the preview's pace, and the game-pad file with its button exclusion, defaults and damage.
#include <gtest/gtest.h>

#include <string>

#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Lib.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/headless/HeadlessConfigForms.h"
#include "platform/headless/HeadlessDialogs.h"
#include "shell/PadMenuLib.h"
#include "shell/StartupMenuLib.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/GameFixture.h"

namespace {

const char* kMessages = "CONFIGRESET_Text=戻しますか？\r\nCONFIGRESET_Yes=はい\r\nCONFIGRESET_No=いいえ\r\n";

class StartupMenuTest : public ::testing::Test, public TContextFixture {
protected:
    THeadlessConfigForms Forms;
    THeadlessDialogs Answers;
    TDialogHost Host{&Answers};
    TFakeClock Time;
};

TEST_F(StartupMenuTest, StartStoresTheChoicesAndQuitStoresNothing) {
    TOpenGame game(Context.Config, {{"System\\etc\\Game.dat", "ConfigSurfaceMemory=TRUE\r\n"}});
    TSystemData& c = Settings;
    c.FullScreen = 0, c.FPSLimit = 60, c.StreamLength = 131072, c.Interlace = 0, c.SurfaceMemory = 0;
    {
        TStartupMenu menu(Context.Config, Forms, game.Files, game.Packs, nullptr, Host, Time);
        EXPECT_EQ(menu.Form[menu.C.StreamLength].Value, 1);  // 128 KiB is "普通"
        Forms.Set("ComboBox1", 1);                           // full screen
        Forms.Set("ComboBox5", 1);                           // 40 FPS
        Forms.Set("ComboBox2", 1);                           // interlace: stored at once
        EXPECT_EQ(c.Interlace, 0);
        Forms.Click("Button3");  // "終了"
        EXPECT_FALSE(menu.ShowModal());
    }
    // Only the interlace, which the preview shows while the dialog is open, changed.
    EXPECT_EQ(c.FullScreen, 0);
    EXPECT_EQ(c.FPSLimit, 60);
    EXPECT_EQ(c.Interlace, 1);

    TStartupMenu menu(Context.Config, Forms, game.Files, game.Packs, nullptr, Host, Time);
    Forms.Set("ComboBox1", 1);
    Forms.Set("ComboBox5", 1);
    Forms.ShowPage(1);
    Forms.Set("ComboBox6", 2);  // "長い"
    Forms.ShowPage(3);
    Forms.Set("ComboBox9", 1);
    Forms.Click("Button1");  // "起動"
    EXPECT_TRUE(menu.ShowModal());
    EXPECT_EQ(c.FullScreen, 1);
    EXPECT_EQ(c.FPSLimit, 40);
    EXPECT_EQ(c.StreamLength, 196608);  // three times 64 KiB
    EXPECT_EQ(c.SurfaceMemory, 1);
    EXPECT_EQ(Forms.Shown.back().ClosedBy, "Button1");
    EXPECT_TRUE(Forms.Shown.back().Refused.empty());
}

// A setting outside its list shows no item and keeps its value through "起動"; the preview then
// runs at the configured rate.
TEST_F(StartupMenuTest, SettingsWithoutAnItemStayAsTheyAre) {
    TOpenGame game(Context.Config, {{"System\\etc\\Game.dat", ""}});
    TSystemData& c = Settings;
    const struct {
        int32_t Fps, Stream;
        int32_t FpsItem, StreamItem, Interval;
    } cases[] = {
        {0, 0, -1, -1, 100},         // 1000 div max(0, 10)
        {100, 1048576, -1, -1, 10},  // 1000 div 100
        {30, 65536, 0, 0, 50},       // 30 falls into "20 FPS": the preview follows the item
        {80, 196608, 3, 2, 12},
    };
    for (const auto& k : cases) {
        c.FPSLimit = k.Fps, c.StreamLength = k.Stream;
        TStartupMenu menu(Context.Config, Forms, game.Files, game.Packs, nullptr, Host, Time);
        EXPECT_EQ(menu.Form[menu.C.FpsLimit].Value, k.FpsItem) << k.Fps;
        EXPECT_EQ(menu.Form[menu.C.StreamLength].Value, k.StreamItem) << k.Stream;
        EXPECT_EQ(menu.PreviewInterval(), k.Interval) << k.Fps;
        Forms.Click("Button1");
        ASSERT_TRUE(menu.ShowModal());
        EXPECT_EQ(c.FPSLimit, k.FpsItem < 0 ? k.Fps : 20 + 20 * k.FpsItem);
        EXPECT_EQ(c.StreamLength, k.StreamItem < 0 ? k.Stream : (64 + 64 * k.StreamItem) * 1024);
    }
}

TEST_F(StartupMenuTest, TheGamesSettingsChooseThePagesAndOptions) {
    TOpenGame game(Context.Config, {{"System\\etc\\Game.dat",
                                     "ConfigSpecTab=FALSE\r\nConfigSurfaceMemory=FALSE\r\nConfigSoundTab=TRUE\r\n"}});
    Settings.SurfaceMemory = 1;
    TStartupMenu menu(Context.Config, Forms, game.Files, game.Packs, nullptr, Host, Time);
    Forms.ShowPage(4);  // the information page is not there
    Forms.ShowPage(3);
    Forms.Set("ComboBox9", 0);          // nor is the surface-memory box
    Forms.Click("GraphicResetButton");  // without "System\etc\Config.txt" no reset button shows
    Forms.Click("Button1");
    menu.ShowModal();
    const auto& shown = Forms.Shown.back();
    EXPECT_EQ(Encoding::SjisToUtf8(shown.Caption), "起動設定");
    ASSERT_EQ(shown.Pages.size(), 4u);
    EXPECT_EQ(Encoding::SjisToUtf8(shown.Pages.back()), "オプション");
    EXPECT_EQ(shown.Refused, (std::vector<std::string>{"page 4", "set ComboBox9 0", "click GraphicResetButton"}));
    EXPECT_EQ(Settings.SurfaceMemory, 1);
}

// The reset buttons ask first and change only the dialog's boxes; the configuration changes on
// "起動". The information page builds its report once it shows and copies it.
TEST_F(StartupMenuTest, ResetsAskAndTheInformationPageCopiesItsReport) {
    TOpenGame game(Context.Config, {{"System\\etc\\Game.dat", ""},
                                    {"System\\etc\\Config.txt", "FullScreen=1\r\nFPSLimit=80\r\n"},
                                    {"System\\etc\\Message.txt", kMessages}});
    Settings.FullScreen = 0, Settings.FPSLimit = 20;
    TStartupMenu menu(Context.Config, Forms, game.Files, game.Packs, nullptr, Host, Time);
    Answers.Click(1);  // "いいえ": nothing changes
    Forms.Click("GraphicResetButton");
    Forms.Click("GraphicResetButton");  // "はい" (no answer left: the first button)
    Forms.ShowPage(4);
    Forms.Click("Button4");
    Forms.Click("Button3");
    menu.ShowModal();
    EXPECT_EQ(menu.Form[menu.C.ScreenMode].Value, 1);
    EXPECT_EQ(menu.Form[menu.C.FpsLimit].Value, 3);
    EXPECT_EQ(Settings.FullScreen, 0);  // left by "終了"
    ASSERT_EQ(Answers.Shown.size(), 2u);
    EXPECT_EQ(Encoding::SjisToUtf8(Answers.Shown[0].Text), "戻しますか？");
    const auto& copied = Forms.Shown.back().Copied;
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(copied[0], menu.Form[menu.C.Memo].Text);
    EXPECT_EQ(copied[0].rfind("■APPLICATION\r\n"_sj, 0), 0u);
    // No version-text line: the type follows the version.
    const size_t version = copied[0].find("\r\nVersion:");
    ASSERT_NE(version, std::string::npos);
    EXPECT_EQ(copied[0].substr(copied[0].find("\r\n", version + 2) + 2, 8), "Type   :");
}

TEST_F(StartupMenuTest, ThePreviewPlaysTheGamesAnimation) {
    TOpenGame game(
        Context.Config, {{"System\\etc\\Game.dat", ""}},
        {{"System\\Startup\\Startup.b", AnimationBmpWriter::Write(AnimationFixtures::StateFile(
                                            300, 300, {AnimationFixtures::SolidPng(300, 300, 0xFF3366CC)}))}});
    TStartupMenu menu(Context.Config, Forms, game.Files, game.Packs, nullptr, Host, Time);
    ASSERT_TRUE(menu.Animation);
    menu.StepPreview();
    const TFormControl& preview = menu.Form[menu.C.Preview];
    ASSERT_EQ(preview.Pixels.size(), 240u * 240u);
    EXPECT_EQ(preview.Pixels[0], 0xFF000000u);                         // the frame
    EXPECT_EQ(preview.Pixels[120 * 240 + 120] & 0xFFFFFF, 0x3366CCu);  // the animation
}

// ---- the game-pad dialog ----

std::string PadFile(const TFileRoot& files) {
    std::string bytes;
    files.ReadFile(PadMenuLib::kPadFile, bytes);
    return bytes;
}

TEST_F(StartupMenuTest, PadSettingsRoundTripThroughTheFile) {
    TOpenGame game(Context.Config, {{"System\\etc\\Game.dat", ""}});
    game.Files.ForceDirectories("GameData\\System");
    // Two buttons hold left click: the lower one counts. Other lines stay as they are.
    game.Files.WriteFileReplace(PadMenuLib::kPadFile,
                                "; pad\r\nButton7=-1\r\nButton2=-1\r\nButton3=-6\r\nSpeed=700\r\n");
    {
        TPadMenu pad(Forms, game.Files, nullptr, Host);
        EXPECT_EQ(pad.Form[pad.Combo[0]].Value, 2);
        EXPECT_EQ(pad.Form[pad.Combo[3]].Value, 3);
        EXPECT_EQ(pad.Form[pad.SpeedBar].Value, 7);
        EXPECT_EQ(pad.Form[pad.DeadZoneBar].Value, 1);  // default 10 %
        EXPECT_EQ(Encoding::SjisToUtf8(pad.Form[pad.SpeedLabel].Caption), "(700pix/sec)");
        Forms.Set("ComboBox3", 5);   // wheel click on button 5
        Forms.Set("ComboBox4", 5);   // wheel up takes button 5: wheel click lets it go
        Forms.Set("ComboBox11", 2);  // a shortcut takes button 2 from left click
        Forms.Set("TrackBar2", 3);
        Forms.Click("Button1");
        EXPECT_TRUE(pad.ShowModal());
        EXPECT_EQ(pad.Form[pad.Combo[2]].Value, 0);
        EXPECT_EQ(pad.Form[pad.Combo[0]].Value, 0);
    }
    const std::string file = PadFile(game.Files);
    EXPECT_EQ(file.rfind("; pad\r\n", 0), 0u);
    TPadMenu again(Forms, game.Files, nullptr, Host);
    EXPECT_EQ(again.Form[again.Combo[0]].Value, 0);
    EXPECT_EQ(again.Form[again.Combo[3]].Value, 5);
    EXPECT_EQ(again.Form[again.SpeedBar].Value, 7);
    EXPECT_EQ(again.Form[again.DeadZoneBar].Value, 3);
    const PadMenuLib::TPadSettings s = PadMenuLib::ReadPadFile(game.Files, PadMenuLib::kPadFile, &Log);
    EXPECT_EQ(s.Buttons[4], -6);
    EXPECT_EQ(s.Buttons[6], 0);  // every button not chosen is written as none
    EXPECT_EQ(s.DeadZone, 30);
    EXPECT_EQ(Log.ErrorList.Count(), 0);
}

TEST_F(StartupMenuTest, ADamagedPadFileGivesTheDefaultsAndALogLine) {
    TOpenGame game(Context.Config, {{"System\\etc\\Game.dat", ""}});
    game.Files.ForceDirectories("GameData\\System");
    game.Files.WriteFileReplace(PadMenuLib::kPadFile, "Button1=-1\r\nButton2=left\r\nButton3=-4\r\nSpeed=\x01\r\n");
    const PadMenuLib::TPadSettings s = PadMenuLib::ReadPadFile(game.Files, PadMenuLib::kPadFile, &Log);
    EXPECT_EQ(s.Buttons[0], -1);
    EXPECT_EQ(s.Buttons[1], 0);
    EXPECT_EQ(s.Buttons[2], 0);
    EXPECT_EQ(s.Speed, 400);
    ASSERT_EQ(Log.ErrorList.Count(), 1);
    const std::string line = Encoding::SjisToUtf8(Log.ErrorList[0]);
    EXPECT_NE(line.find("config_pad.txt"), std::string::npos) << line;
    EXPECT_NE(line.find("Button2, Button3, Speed"), std::string::npos) << line;
    EXPECT_FALSE(Log.ErrorFlag);  // no script error: the game runs on

    // No file at all: the defaults, quietly.
    game.Files.DeleteFile(PadMenuLib::kPadFile);
    Log.ClearErrorLog();
    const PadMenuLib::TPadSettings none = PadMenuLib::ReadPadFile(game.Files, PadMenuLib::kPadFile, &Log);
    EXPECT_EQ(none.Speed, 400);
    EXPECT_EQ(none.DeadZone, 10);
    EXPECT_EQ(Log.ErrorList.Count(), 0);
}

// The mouse reset asks; "いいえ" changes nothing, the bars included. Cancelling writes nothing.
TEST_F(StartupMenuTest, PadResetsAskAndCancelWritesNothing) {
    TOpenGame game(Context.Config, {{"System\\etc\\Game.dat", ""}});
    TPadMenu pad(Forms, game.Files, nullptr, Host);
    Forms.Set("ComboBox1", 6);
    Forms.Set("TrackBar1", 9);
    Answers.Click(1);
    Forms.Click("Button3");
    Forms.Click("Button2");
    EXPECT_FALSE(pad.ShowModal());
    EXPECT_EQ(pad.Form[pad.SpeedBar].Value, 9);
    EXPECT_EQ(pad.Form[pad.Combo[0]].Value, 6);
    EXPECT_EQ(Encoding::SjisToUtf8(Answers.Shown[0].Text), "マウスのキー設定を初期設定に戻します。宜しいですか？");

    Forms.Click("Button3");  // "はい": no answer queued takes the first button
    Forms.Click("Button2");
    EXPECT_FALSE(pad.ShowModal());
    EXPECT_EQ(pad.Form[pad.SpeedBar].Value, 4);
    EXPECT_EQ(pad.Form[pad.DeadZoneBar].Value, 1);
    EXPECT_EQ(pad.Form[pad.Combo[0]].Value, 1);
    EXPECT_EQ(pad.Form[pad.Combo[2]].Value, 3);
    EXPECT_FALSE(game.Files.FileExists(PadMenuLib::kPadFile));
}

}  // namespace
