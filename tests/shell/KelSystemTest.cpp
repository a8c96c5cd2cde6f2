// The engine core run headless on small games packed in code: the limiter on the fake clock, the
// requests of a script acted on in the frame that makes them, resets, the script-error state; and
// the demo game built by its pack script and run for a number of frames.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <new>
#include <set>

#include "media/ARGB8888Font.h"
#include "media/ImageCodecLib.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelLogdataLib.h"
#include "platform/Encoding.h"
#include "platform/HostFiles.h"
#include "script/KelGeneralCommands.h"
#include "shell/HeadlessRunner.h"
#include "shell/KelLogLib.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/BackLogWalk.h"
#include "tests/support/DemoWalk.h"
#include "tests/support/MenuWalk.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace fs = std::filesystem;
using namespace KelSystemLib;

namespace {

// ---- limiter arithmetic ----

TEST(KelSystemLimiterTest, PeriodSleepAndTimeStep) {
    struct {
        int32_t Fps;
        bool Skipping;
        int32_t Period;
    } periods[] = {{40, false, 25},  {60, false, 16},  {10, false, 100}, {9, false, 100}, {0, false, 100},
                   {-5, false, 100}, {1000, false, 1}, {2000, false, 0}, {40, true, 0}};
    for (const auto& c : periods)
        EXPECT_EQ(FramePeriod(c.Fps, c.Skipping), c.Period) << c.Fps << " " << c.Skipping;

    // remaining -> sleep: capped at 100, less 3 when above 4, nothing for 4 or less
    const std::pair<int64_t, uint32_t> sleeps[] = {{0, 0}, {4, 0}, {5, 2}, {20, 17}, {100, 97}, {60000, 97}};
    for (auto [remaining, ms] : sleeps)
        EXPECT_EQ(SleepFor(remaining), ms) << remaining;

    const std::pair<int64_t, int32_t> deltas[] = {{0, 1}, {1, 1}, {26, 26}, {5000, 5000}, {60000, 5000}};
    for (auto [elapsed, delta] : deltas)
        EXPECT_EQ(ClampDelta(elapsed), delta) << elapsed;

    // A frame is due only when strictly more than the period has passed.
    EXPECT_EQ(Remaining(25, 25), 0);
    EXPECT_LT(Remaining(25, 26), 0);
    EXPECT_LT(Remaining(0, 1), 0);
    EXPECT_EQ(Remaining(0, 0), 0);
    // The clock wraps after 2^32 ms: the step across the wrap is an ordinary one.
    EXPECT_EQ(ElapsedSince(0xFFFFFFF0, 0x10), 0x20);
}

TEST(KelSystemLimiterTest, Caption) {
    struct {
        const char* Format;
        int32_t Fps, Delta, Busy;
        const char* Out;
    } cases[] = {
        {"%%%fps/%%%limit/%%%cpu", 60, 20, 8, "50/60/50"},        // fps min(60, 1000/20); cpu 8*100/16
        {"%%%FPS %%%Limit %%%CPU", 40, 10, 100, "40 40 100"},     // markers in any case; cpu capped
        {"デモ %%%fps fps %%%fps", 30, 40, 0, "デモ 25 fps 25"},  // every occurrence
        {"%%%cpu", 0, 16, 5, "0"},                                // no divide by zero: 0
        {"%%%cpu", 2000, 16, 5, "0"},                             // 1000 div 2000 is 0: 0
        {"%%%fp", 60, 16, 0, "%%%fp"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Encoding::SjisToUtf8(BuildCaption(Encoding::Utf8ToSjis(c.Format), c.Fps, c.Delta, c.Busy)), c.Out)
            << c.Format;
}

// ---- games packed in code ----

const char* kGameDat =
    "GameTitle=テスト\r\nFormCaption=テスト %%%fps\r\nScreenWidth=640\r\nScreenHeight=480\r\n"
    "ConfigStartupSkip=TRUE\r\n";
const char* kMessages =
    "OK=ＯＫ\r\nEXIT_Text=終了しますか？\r\nEXIT_Yes=はい\r\nEXIT_no=いいえ\r\n"
    "RESET_Text=戻りますか？\r\nRESET_Yes=はい\r\nRESET_no=いいえ\r\n";

// Words for tests: "\mark,x" records x; "\req,code,text" leaves a request; "\halt" waits forever.
class TTestWords final : public IScriptWordHandler {
public:
    bool Handle(TKelScript& s, int32_t code, TStringList& args) override {
        switch (code) {
            case Cmd("mark"):
                Marks.push_back(args[1]);
                return true;
            case Cmd("req"):
                s.Request = static_cast<uint8_t>(std::stoi(args[1]));
                s.RequestArgument = KelScriptLib::BracketText(args[2]);
                return true;
            case Cmd("halt"):
                s.CurrentRoutine()->WaitState = wsClick;
                s.CurrentRoutine()->WaitTime = -1;
                return true;
            default:
                return false;
        }
    }
    std::vector<std::string> Marks;
};

class KelSystemGameTest : public ::testing::Test {
protected:
    // Packs the files (UTF-8 text, stored in Shift-JIS) with the settings and the message table
    // into a new game folder, and starts the engine on it.
    void Start(std::map<std::string, std::string> files, int32_t fpsLimit = 40) {
        files.emplace("System\\etc\\Game.dat", kGameDat);
        files.emplace("System\\etc\\Message.txt", kMessages);
        std::vector<PackWriter::TEntry> entries;
        for (const auto& [name, text] : files)
            entries.push_back({name, Encoding::Utf8ToSjis(text), !StorePlain, !StorePlain});
        Dir = TestData::ScratchDir();
        fs::create_directories(Dir + "/GameData");
        std::string pack = PackWriter::Pack(entries, PackWriter::TVersion::V20);
        if (DamagePack) DamagePack(pack);
        std::ofstream(Dir + "/GameData/data0.pack", std::ios::binary) << pack;
        if (!UserConfig.empty()) {
            fs::create_directories(Dir + "/GameData/System");
            std::ofstream(Dir + "/GameData/System/config.txt", std::ios::binary) << UserConfig;
        }
        std::string error;
        ASSERT_TRUE(Game.Open(Dir, error)) << error;
        Game.Form->Context.Config.Config.FPSLimit = fpsLimit;
        Game.Engine->GameScript->Words.General = &Words;
        Game.Engine->SystemScript->Words.General = &SystemWords;
    }
    void Restart() {
        Game.Close();
        Game.FakeClock.Now = 0;
    }
    TKelSystem& Engine() { return *Game.Engine; }
    std::vector<std::string> Errors() {
        std::vector<std::string> out;
        for (const auto& l : Game.Form->Context.Log.ErrorList.Items)
            out.push_back(Encoding::SjisToUtf8(l));
        return out;
    }
    // Calls Frame until one runs; its result.
    uint8_t NextFrame() {
        const int64_t frames = Game.FramesRun;
        uint8_t result = 0;
        for (int i = 0; i < 1000 && Game.FramesRun == frames; ++i) {
            const int64_t last = Engine().LastFrameTime;
            const uint32_t before = Game.FakeClock.Now;
            result = Engine().Frame();
            if (Engine().LastFrameTime != last)
                ++Game.FramesRun;
            else if (Game.FakeClock.Now == before)
                ++Game.FakeClock.Now;
        }
        return result;
    }

    std::string Dir;
    bool StorePlain = false;                            // entries neither compressed nor scrambled
    std::function<void(std::string& pack)> DamagePack;  // changes the pack's bytes before it is opened
    std::string UserConfig;                             // the user's settings file, when not empty
    THeadlessGame Game;
    TTestWords Words, SystemWords;
};

const char* kMarkedStartup =
    "@@reset\r\n\\mark,reset\r\n@@top\r\n\\mark,top\r\n\\halt\r\n"
    "@@b\r\n\\mark,b\r\n\\halt\r\n";

TEST_F(KelSystemGameTest, StartBeginsAtTopAndResetAtReset) {
    Start({{"startup.s", kMarkedStartup}, {"other.s", "@@b\r\n\\mark,other-b\r\n\\halt\r\n"}});
    EXPECT_EQ(Engine().Mode, kmGameScript);
    EXPECT_EQ(NextFrame(), kmGameScript);
    EXPECT_EQ(Words.Marks, (std::vector<std::string>{"top"}));

    Engine().Reset("", "");
    NextFrame();
    EXPECT_EQ(Words.Marks, (std::vector<std::string>{"top", "reset", "top"}));

    Engine().Reset("@@b", "other.s");
    NextFrame();
    EXPECT_EQ(Words.Marks.back(), "other-b");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(KelSystemGameTest, LimiterOnTheFakeClock) {
    Start({{"startup.s", kMarkedStartup}}, 40);
    TKelScript& g = *Engine().GameScript;
    // Period 25 ms: from 0, the first call sleeps 22 ms, the next ones leave the last 3 ms to idle
    // calls, and the frame runs once 26 ms have passed, with that time step.
    EXPECT_EQ(Engine().Frame(), 0);
    EXPECT_EQ(Game.FakeClock.Now, 22u);
    Game.FakeClock.Now = 25;
    EXPECT_EQ(Engine().Frame(), 0);
    EXPECT_EQ(Game.FakeClock.Now, 25u);
    const uint32_t clock0 = g.State.ScriptClock;
    Game.FakeClock.Now = 26;
    EXPECT_EQ(Engine().Frame(), kmGameScript);
    EXPECT_EQ(g.State.ScriptClock - clock0, 26u);

    // Held up for a minute: the next time step is 5000 ms.
    Game.FakeClock.Now += 60000;
    EXPECT_EQ(Engine().Frame(), kmGameScript);
    EXPECT_EQ(g.State.ScriptClock - clock0, 5026u);

    // Below 10 acts as 10: period 100, sleeps at most 97.
    Game.Form->Context.Config.Config.FPSLimit = 3;
    const uint32_t t = Game.FakeClock.Now;
    EXPECT_EQ(Engine().Frame(), 0);
    EXPECT_EQ(Game.FakeClock.Now - t, 97u);

    // Skipping (the interpreter sets the flag from its run mode): a frame whenever 1 ms passed.
    // A reset locks everything; the script would unlock skipping before entering it.
    g.State.Locks = 0;
    g.State.RunMode = TRunMode::Skip;
    Game.FakeClock.Now += 200;
    EXPECT_EQ(Engine().Frame(), kmGameScript);
    EXPECT_TRUE(Game.Form->Context.Config.Config.Skipping);
    EXPECT_EQ(Engine().Frame(), 0);
    Game.FakeClock.Now += 1;
    EXPECT_EQ(Engine().Frame(), kmGameScript);
    g.StopRunMode();
}

TEST_F(KelSystemGameTest, RequestsAreActedOnInTheFrameThatMakesThem) {
    struct Case {
        const char* Top;
        uint8_t Result;    // Frame's result in the frame of the request
        TRunMode RunMode;  // the game interpreter's run mode afterwards
    } cases[] = {
        {"\\req,1", kmExit, TRunMode::Normal},
        {"\\req,2", kmConfirmExit, TRunMode::Normal},
        {"\\req,3", kmMenu, TRunMode::Normal},
        {"\\req,3,{@@SysTop}", kmSystemScript, TRunMode::Normal},  // the label runs instead of the menu
        {"\\req,4", kmLogScreen, TRunMode::Normal},
        {"\\req,7", kmConfirmReset, TRunMode::Normal},
        {"\\req,9", kmSaveScreen, TRunMode::Normal},
        {"\\req,10", kmLoadScreen, TRunMode::Normal},
        {"\\req,11", kmConfigDialog, TRunMode::Normal},
        {"\\req,12", kmGameScript, TRunMode::View},
        {"\\req,13", kmGameScript, TRunMode::Auto},
        {"\\req,14", kmGameScript, TRunMode::Skip},
        {"\\req,15", kmGameScript, TRunMode::SkipRead},
        {"\\req,22,{@@SysTop}", kmSystemScript, TRunMode::Normal},
        {"\\req,22", kmSystemScript, TRunMode::Normal},  // no label-first: always the system script
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Top);
        Restart();  // each case on a new engine
        Words.Marks.clear();
        SystemWords.Marks.clear();
        Start({{"startup.s", std::string("@@reset\r\n@@top\r\n") + c.Top + "\r\n\\mark,after\r\n\\halt\r\n"},
               {"SysStartUp.s", "@@SysTop\r\n\\mark,systop\r\n\\halt\r\n"}});
        EXPECT_EQ(NextFrame(), c.Result);
        EXPECT_EQ(Engine().GameScript->State.RunMode, c.RunMode);
        EXPECT_TRUE(Words.Marks.empty());  // the request ended the slice
        if (c.Result == kmSystemScript) {
            // The system script starts in the next frame at its label.
            NextFrame();
            EXPECT_EQ(SystemWords.Marks, std::string(c.Top).find("SysTop") != std::string::npos
                                             ? std::vector<std::string>{"systop"}
                                             : std::vector<std::string>{});
        }
        if (std::string(c.Top) == "\\req,22") {
            // "\go" to an empty label fails in the system script: a script error.
            EXPECT_FALSE(Errors().empty());
        } else {
            EXPECT_TRUE(Errors().empty()) << (Errors().empty() ? "" : Errors()[0]);
        }
    }
}

TEST_F(KelSystemGameTest, ScreensOpenInTheNextFrameAndConfirmationsAsk) {
    Start({{"startup.s", "@@reset\r\n@@top\r\n\\req,3\r\n\\halt\r\n"}});
    Engine().Menu.reset();
    EXPECT_EQ(NextFrame(), kmMenu);
    EXPECT_EQ(Engine().FramesInMode, 1);
    // Without a menu unit the menu is left at once, as cancelled.
    EXPECT_EQ(NextFrame(), kmGameScript);

    Engine().SetMode(kmConfirmExit);
    Game.Answers.Click(1);  // "no"
    EXPECT_EQ(NextFrame(), kmGameScript);
    Engine().SetMode(kmConfirmExit);
    Game.Answers.Click(0);  // "yes": the window closes in the same frame
    EXPECT_EQ(NextFrame(), kmExit);
    ASSERT_EQ(Game.Answers.Shown.size(), 2u);
    EXPECT_EQ(Encoding::SjisToUtf8(Game.Answers.Shown[0].Text), "終了しますか？");
    EXPECT_EQ(Game.Answers.Shown[0].Buttons.size(), 2u);
    // Kept open: exit stops at idle.
    EXPECT_EQ(NextFrame(), kmIdle);
}

TEST_F(KelSystemGameTest, BackLogRequestOpensTheScreenUntilItIsLeft) {
    Start({{"startup.s", "@@reset\r\n@@top\r\n\\req,4\r\n\\halt\r\n"},
           {"System\\Log\\Layout.dat", "EmptyText=まだありません\r\n"}});
    auto* screen = dynamic_cast<TKelLog*>(Engine().Log.get());
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(NextFrame(), kmLogScreen);
    EXPECT_FALSE(screen->Opened);  // it opens in the next frame
    EXPECT_EQ(NextFrame(), kmLogScreen);
    EXPECT_TRUE(screen->Opened);
    ASSERT_NE(screen->Entries, nullptr);
    EXPECT_EQ(screen->Entries->RowCount(), 1);  // the empty back-log's text

    Game.Source.Press(27);
    EXPECT_EQ(NextFrame(), kmLogScreen);
    Game.Source.Release(27);
    EXPECT_EQ(NextFrame(), kmGameScript);
    EXPECT_FALSE(screen->Opened);
    EXPECT_EQ(Engine().GameScript->HoldFrames, 2);
    EXPECT_TRUE(Errors().empty());

    // A reset forgets the layout; the next opening reads it again.
    Engine().Reset("", "");
    EXPECT_TRUE(screen->LayoutName.empty());
}

TEST_F(KelSystemGameTest, ResetRequestSplitsLabelAndFile) {
    const char* startup = "@@reset\r\n\\mark,reset\r\n@@top\r\n\\mark,top\r\n\\req,8,{@@b,other.s}\r\n\\halt\r\n";
    Start({{"startup.s", startup}, {"other.s", "@@b\r\n\\mark,b\r\n\\req,8,{@@b}\r\n\\halt\r\n"}});
    NextFrame();  // top, then the request resets to @@b in other.s
    NextFrame();  // b, then a request with one part: back to @@reset of startup.s
    NextFrame();
    EXPECT_EQ(Words.Marks, (std::vector<std::string>{"top", "b", "reset", "top"}));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(KelSystemGameTest, ScriptErrorEntersTheErrorStateUntilReset) {
    Start(
        {{"startup.s", "@@reset\r\n\\mark,reset\r\n\\halt\r\n@@top\r\n\\mark,top\r\n\\nosuchword\r\n\\mark,late\r\n"}});
    NextFrame();  // the error stops the slice
    EXPECT_EQ(Words.Marks, (std::vector<std::string>{"top"}));
    EXPECT_EQ(Engine().ErrorState, 0);
    ASSERT_FALSE(Errors().empty());
    EXPECT_EQ(Errors()[0], "[ERROR]:オブジェクトが指定されていません。\\scpで指定してください。");

    EXPECT_EQ(NextFrame(), kmGameScript);
    EXPECT_EQ(Engine().ErrorState, kErrorStateOn);
    EXPECT_FALSE(Game.Form->Context.Log.ErrorFlag);
    const auto& texts = Game.Host.Texts;
    ASSERT_EQ(texts.size(), 1 + Game.Form->Context.Log.ErrorList.Items.size());
    EXPECT_EQ(Encoding::SjisToUtf8(texts[0].Text), "■スクリプトエラー");
    EXPECT_EQ(Encoding::SjisToUtf8(texts[0].FontName), "ＭＳ ゴシック");
    EXPECT_EQ(texts[0].FontHeight, 12);
    EXPECT_EQ(texts[0].Color, 0x0288FFFFu);
    EXPECT_EQ(texts[0].BrushColor, 0x02000000u);
    EXPECT_EQ(texts[0].X, 20);
    EXPECT_EQ(texts[0].Y, 100);
    for (size_t i = 1; i < texts.size(); ++i) {
        EXPECT_EQ(texts[i].Text, Game.Form->Context.Log.ErrorList.Items[i - 1]);
        EXPECT_EQ(texts[i].Y, 150 + 12 * static_cast<int32_t>(i - 1));
    }

    // No script runs; while the window is inactive no frame runs at all.
    NextFrame();
    EXPECT_EQ(Words.Marks.size(), 1u);
    const size_t drawn = texts.size();
    Game.Host.Source.Active = false;
    EXPECT_EQ(NextFrame(), 0);
    EXPECT_EQ(texts.size(), drawn);
    Game.Host.Source.Active = true;

    // A reset is the way out, and empties the error list.
    Engine().Reset("", "");
    EXPECT_EQ(Engine().ErrorState, 0);
    EXPECT_TRUE(Errors().empty());
    NextFrame();
    EXPECT_EQ(Words.Marks.back(), "reset");
    EXPECT_EQ(Engine().ErrorState, 0);
}

TEST_F(KelSystemGameTest, ARunawayTextStopsTheScriptWithAnError) {
    Start({{"startup.s",
            "@@reset\r\n@@top\r\n\\gvar,str,s\r\n\\cal,s=\"x\"\r\n@@loop\r\n\\cal,s=s+s\r\n"
            "\\jmp,@@loop\r\n"}});
    Engine().GameScript->Words.General = &KelGeneralCommands::Handler();
    NextFrame();
    NextFrame();
    EXPECT_EQ(Engine().ErrorState, kErrorStateOn);
    ASSERT_FALSE(Errors().empty());
    EXPECT_EQ(Errors()[0], "[ERROR]:文字列が長すぎます（16MBまで）");
    EXPECT_EQ(Engine().Mode, kmGameScript);
}

// Throws from the first call of every frame.
class TFailingPresenter final : public IKelPresenter {
public:
    void Present(TKelScript&, bool, bool) override {}
    void PresentCellDraw(TKelScript&, bool, bool) override {}
    bool CanPresent(TKelScript&) override { return false; }
    void InvalidateAll(TKelScript&) override {}
    void ToggleInterlaceField() override { throw std::bad_alloc(); }
};

TEST_F(KelSystemGameTest, AFailedAllocationIsLoggedAndStopsInOrder) {
    Start({{"startup.s", kMarkedStartup}});
    Engine().Presenter = std::make_unique<TFailingPresenter>();
    // The first failure stops the script as an error does ...
    EXPECT_EQ(NextFrame(), kmGameScript);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "[ERROR]:メモリが足りません。");
    // ... and one while the error screen is up ends the game.
    EXPECT_EQ(NextFrame(), kmExit);
    EXPECT_EQ(Engine().ErrorState, kErrorStateOn);
    EXPECT_EQ(Engine().Mode, kmExit);
}

// A pack whose "startup.s" says "\mark,toq" where its checksum was made for "\mark,top".
class KelSystemDamagedPackTest : public KelSystemGameTest {
protected:
    void Start(const char* userConfig) {
        StorePlain = true;
        UserConfig = userConfig;
        DamagePack = [](std::string& pack) { pack[pack.find("\\mark,top") + 8] = 'q'; };
        std::map<std::string, std::string> files = {
            {"startup.s", "@@reset\r\n@@top\r\n\\mark,top\r\n\\halt\r\n"},
            {"System\\etc\\Message.txt", std::string(kMessages) + "CRCCHECKERROR=データが壊れています\r\n"}};
        KelSystemGameTest::Start(files);
        Game.Run(2);
    }
};

TEST_F(KelSystemDamagedPackTest, ADamagedEntryEndsTheGameWithItsDialog) {
    Start("");  // checksums are checked by default
    EXPECT_TRUE(Words.Marks.empty());
    EXPECT_TRUE(Game.Form->Terminated);
    EXPECT_EQ(Game.Form->DamagedEntries, (std::vector<std::string>{"startup.s"}));
    ASSERT_EQ(Game.Answers.Shown.size(), 1u);
    EXPECT_EQ(Encoding::SjisToUtf8(Game.Answers.Shown[0].Text), "データが壊れています");
    EXPECT_NE(Game.Report().find("damaged pack entry: startup.s"), std::string::npos);
}

TEST_F(KelSystemDamagedPackTest, WithChecksumsOffTheEntryIsReadAsItIs) {
    Start("CRCCheck=0\r\n");
    EXPECT_EQ(Words.Marks, (std::vector<std::string>{"toq"}));
    EXPECT_FALSE(Game.Form->Terminated);
    EXPECT_TRUE(Game.Answers.Shown.empty());
}

TEST_F(KelSystemGameTest, ManyErrorsShowThirtyOneLines) {
    std::string top = "@@reset\r\n@@top\r\n";
    Start({{"startup.s", top + "\\nosuchword\r\n"}});
    for (int i = 0; i < 40; ++i)
        Game.Form->Context.Log.WriteErrorLog("line " + std::to_string(i));
    NextFrame();
    NextFrame();
    EXPECT_EQ(Game.Host.Texts.size(), 32u);
}

TEST_F(KelSystemGameTest, FramesArePresentedThroughEachInterpretersCompositor) {
    Start({{"startup.s", "@@reset\r\n@@top\r\n\\halt\r\n"}});
    TKelScript& game = *Engine().GameScript;
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(game);
    ASSERT_NE(graphic, nullptr);
    EXPECT_NE(KelGraphicLib::CameraOf(game), nullptr);
    EXPECT_NE(KelGraphicLib::GraphicOf(*Engine().SystemScript), graphic);
    // Both screens draw interlaced frames in the field the engine flips.
    EXPECT_EQ(graphic->CellDraw()->Interlace, &Game.Form->Media.Interlace);
    EXPECT_EQ(KelGraphicLib::GraphicOf(*Engine().SystemScript)->CellDraw()->Interlace, &Game.Form->Media.Interlace);
    EXPECT_EQ(graphic->Width(), 640);  // the game's screen
    EXPECT_EQ(graphic->Height(), 480);

    // Every frame presents, and the row parity flips once a frame.
    graphic->SetBackColor(0x336699);
    const THeadlessDisplay& device = Game.Screen.Device;
    const int64_t presents = device.Presents;
    std::vector<int32_t> fields;
    for (int i = 0; i < 4; ++i) {
        NextFrame();
        fields.push_back(Game.Form->Media.Interlace.Field);
    }
    EXPECT_EQ(device.Presents - presents, 4);
    EXPECT_EQ(fields[1], 1 - fields[0]);
    EXPECT_EQ(fields[2], fields[0]);
    EXPECT_EQ(fields[3], fields[1]);
    EXPECT_EQ(device.Pixels()[640 * 480 - 1], 0xFF336699u);

    // A transition over the whole screen shows from the frame that starts it.
    graphic->ColorFade(0, kWholeScreenLayer, 0xFFFF0000, 0);
    NextFrame();
    EXPECT_EQ(device.Pixels()[0], 0xFFFF0000u);
    graphic->EndTransition();
    NextFrame();
    EXPECT_EQ(device.Pixels()[0], 0xFF336699u);
}

// Save games that fail or succeed as told, and a file select that ends with "done".
class TFakeGameState final : public IKelGameState {
public:
    bool SaveGame(TKelScript&, const std::string& name, bool) override {
        Saved.push_back(name);
        return SaveWorks;
    }
    bool LoadGame(TKelScript&, const std::string& name) override {
        Loaded.push_back(name);
        return true;
    }
    bool SaveFileExists(TKelScript&, const std::string&) override { return FilesExist; }
    bool DeleteSaveFile(TKelScript&, const std::string&) override { return true; }
    bool CanSceneReturn(TKelScript&) override { return false; }
    void SceneReturn(TKelScript&) override {}
    bool IsViewAllowed(TKelScript&) override { return true; }
    bool IsSkipAllowed(TKelScript&) override { return true; }
    bool IsAutoAllowed(TKelScript&) override { return true; }
    bool IsSceneLabelSkipAllowed(TKelScript&) override { return true; }
    bool SaveWorks = false, FilesExist = false;
    std::vector<std::string> Saved, Loaded;
};

class TDoneFileSelect final : public IKelScreen {
public:
    void Reset() override {}
    void Open(int32_t kind) override { Opened.push_back(kind); }
    int32_t Update(int32_t) override { return 1; }
    void Draw() override {}
    void Close() override {}
    std::string FileName() override { return "SaveData001.svd"; }
    std::string EventLabel() override { return "*OnSave"; }
    std::vector<int32_t> Opened;
};

class TQuickSaves final : public IKelQuickSaves {
public:
    std::string NextQuickSaveFile() override { return "QuickSave01.svd"; }
    std::string ChooseQuickLoadFile() override { return ""; }
};

TEST_F(KelSystemGameTest, SavesLeaveTheirMotionNames) {
    Start({{"startup.s", "@@reset\r\n@@top\r\n\\halt\r\n"}});
    auto* state = new TFakeGameState;
    auto* select = new TDoneFileSelect;
    Engine().GameState.reset(state);
    Engine().FileSelect.reset(select);
    Engine().QuickSaves = std::make_unique<TQuickSaves>();
    TKelScript& g = *Engine().GameScript;

    // A failed save from the save screen leaves no motion; the screen opened as the save screen.
    // A request's own frame counts itself in the new mode, so the screen opens in the next one.
    Engine().DoRequest(srSave, "");
    ++Engine().FramesInMode;
    EXPECT_EQ(NextFrame(), kmGameScript);
    EXPECT_EQ(select->Opened, (std::vector<int32_t>{0}));
    EXPECT_EQ(state->Saved, (std::vector<std::string>{"SaveData001.svd"}));
    EXPECT_EQ(g.PendingCursorLabel, "");
    state->SaveWorks = true;
    Engine().DoRequest(srSave, "");
    ++Engine().FramesInMode;
    NextFrame();
    EXPECT_EQ(g.PendingCursorLabel, "*OnSave");

    // A quick save leaves its motion even when it fails.
    g.PendingCursorLabel.clear();
    state->SaveWorks = false;
    Engine().DoRequest(srQuickSave, "");
    EXPECT_EQ(g.PendingCursorLabel, "*OnQuickSave");
    EXPECT_EQ(state->Saved.back(), "QuickSave01.svd");

    // A selection load without its file does nothing and asks nothing; with it, it asks.
    g.PendingCursorLabel.clear();
    Engine().SetMode(kmMenu);
    Engine().DoRequest(srSelectLoad, "");
    EXPECT_EQ(Engine().Mode, kmMenu);
    EXPECT_TRUE(Game.Answers.Shown.empty());
    state->FilesExist = true;
    Engine().DoRequest(srSelectLoad, "");
    // The message table has no "SelectLoad_Text": the question answers yes without showing.
    EXPECT_TRUE(Game.Answers.Shown.empty());
    EXPECT_EQ(Engine().Mode, kmGameScript);
    EXPECT_EQ(state->Loaded, (std::vector<std::string>{"SelectSaveData.svd"}));
    EXPECT_EQ(g.PendingCursorLabel, "*OnSelectLoad");
}

// ---- the demo game ----

std::string BuildFolder() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    // build/tests/kel_tests_shell -> build
    return fs::path(std::string(buf, static_cast<size_t>(n))).parent_path().parent_path().string();
}

int RunCommand(const std::string& command, std::string& output) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        output.append(buf.data(), n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The demo, built once for the tests of this program that play it; empty when the build failed.
const std::string& DemoFolder() {
    static const std::string folder = [] {
        const std::string out = TestData::ScratchDir();
        std::string log;
        if (RunCommand("bash '" + std::string(KEL_SOURCE_DIR) + "/tools/build-demo.sh' '" + out + "' '" +
                           BuildFolder() + "/tools/kelpack'",
                       log) == 0)
            return out;
        ADD_FAILURE() << log;
        return std::string();
    }();
    return folder;
}

TEST(KelSystemDemoTest, DemoRunsHeadlessWithoutErrors) {
    const std::string build = BuildFolder();
    const std::string out = DemoFolder();
    ASSERT_FALSE(out.empty());

    {
        THeadlessGame game;
        std::string error;
        ASSERT_TRUE(game.Open(out, error)) << error;
        game.Run(300);
        EXPECT_EQ(game.FramesRun, 300);
        EXPECT_EQ(game.Engine->Mode, kmGameScript);
        EXPECT_EQ(game.Engine->ErrorState, 0);
        EXPECT_EQ(game.Form->Context.Log.ErrorList.Count(), 0) << game.Report();
        EXPECT_EQ(Encoding::SjisToUtf8(game.Form->Context.Config.Config.GameTitle), "Kel デモ");
        // A first start has no settings of the player's: the font lists lead the message and
        // ruby slots to the demo's bitmap fonts, made in the sizes the window draws.
        const struct {
            int32_t Slot;
            const char* Face;
            int32_t Cell;
        } fonts[] = {{0, "KelDemo", 32}, {1, "KelRuby", 12}};
        for (const auto& f : fonts) {
            const TARGB8888Font& font = game.Form->Media.Fonts.Slots[static_cast<size_t>(f.Slot)];
            ASSERT_TRUE(font.IsBitmapFont()) << f.Face;
            EXPECT_EQ(font.FaceName(), f.Face);
            EXPECT_EQ(font.BitmapFont->Horizontal.CellHeight, f.Cell) << f.Face;
        }
    }

    // The runner program prints the same.
    std::string report;
    const std::string frames = out + "/frames";
    EXPECT_EQ(
        RunCommand("'" + build + "/tools/kel-headless' --frames 50 --png '" + frames + "' --png-every 10 '" + out + "'",
                   report),
        0)
        << report;
    EXPECT_NE(report.find("frames: 50,"), std::string::npos) << report;
    EXPECT_NE(report.find("error log: empty"), std::string::npos) << report;
    // Every frame is presented; every tenth is written.
    EXPECT_NE(report.find("frames written: 5"), std::string::npos) << report;
    EXPECT_TRUE(fs::exists(frames + "/frame000041.png"));
}

// The back-log in the runner program: kel-headless plays the demo through its two voiced lines,
// the wheel opens the back-log, scrolls it down and up, a click on the second line replays its
// voice, and Esc leaves while it plays. The frames show the screen and its bar moving; the sound
// has the replay, cut short by the fade: the line's own voice, the same file at the same volume,
// is loud for longer.
TEST(KelSystemDemoTest, BackLogInTheRunner) {
    if (!BackLogWalk::DemoBindsTheBackLog()) GTEST_SKIP() << "the demo binds no key to the back-log";
    const std::string demo = DemoFolder();
    ASSERT_FALSE(demo.empty());
    const BackLogWalk::TPlan plan = BackLogWalk::Plan(demo);
    ASSERT_GT(plan.Logged, 0);
    const std::string dir = TestData::ScratchDir();
    std::ofstream(dir + "/input.txt") << plan.Input;
    std::string report;
    ASSERT_EQ(RunCommand("'" + BuildFolder() + "/tools/kel-headless' --frames " + std::to_string(plan.End) +
                             " --input '" + dir + "/input.txt' --png '" + dir + "/frames' --png-every 4 --wav '" + dir +
                             "/run.wav' '" + demo + "'",
                         report),
              0)
        << report;
    EXPECT_NE(report.find("mode: 5,"), std::string::npos) << report;
    EXPECT_NE(report.find("error log: empty"), std::string::npos) << report;

    // Presents are counted like frames, give or take the few frames that present nothing.
    std::map<int64_t, int32_t> thumbs;  // present -> thumb end
    for (const auto& f : fs::directory_iterator(dir + "/frames"))
        thumbs[std::stoll(f.path().stem().string().substr(5))] = BackLogWalk::ThumbEnd(f.path().string());
    auto shown = [&](int64_t from, int64_t to) {
        std::set<int32_t> ends;
        for (auto it = thumbs.lower_bound(from + 3); it != thumbs.end() && it->first < to - 3; ++it)
            ends.insert(it->second);
        return ends;
    };
    EXPECT_EQ(shown(plan.Logged, plan.Open), std::set<int32_t>{-1});   // the game
    EXPECT_EQ(shown(plan.Open + 8, plan.Down), std::set<int32_t>{0});  // the newest lines, bar at the top
    EXPECT_EQ(shown(plan.Down, plan.Up), std::set<int32_t>{1});        // one line on
    EXPECT_EQ(shown(plan.Up, plan.Leave), std::set<int32_t>{0});       // and back
    EXPECT_EQ(shown(plan.Leave, plan.End), std::set<int32_t>{-1});     // the game again

    // The report's time over its frames is the frame period of the run.
    const size_t at = report.find("time: ");
    ASSERT_NE(at, std::string::npos);
    const double period = std::stod(report.substr(at + 6)) / static_cast<double>(plan.End);
    const auto loud = BackLogWalk::LoudStretches(dir + "/run.wav", 4500);
    const double click = period * static_cast<double>(plan.Click), logged = period * static_cast<double>(plan.Logged);
    int32_t own = 0, replay = 0;
    for (auto [start, end] : loud) {
        if (end < click && start > logged - 5000) own = std::max(own, end - start);  // the lines' own voices
        if (start > click && start < click + 1500) replay = std::max(replay, end - start);
    }
    EXPECT_GT(own, 400);
    EXPECT_GT(replay, 100);
    EXPECT_LT(replay, own * 4 / 5) << "the replay was not faded";
}

// The system menu in the runner program: once the first line of the demo is on the screen, the
// right click opens the menu over the dimmed game. A click on the locked QUICK LOAD button (no
// quick save exists) changes nothing; a click on MARK checks it and sets "marked"; a right click
// closes the menu, which stays on the screen for its end mute time (300 ms) and then gives the
// game back.
TEST(KelSystemDemoTest, MenuInTheRunner) {
    const std::string demo = DemoFolder();
    ASSERT_FALSE(demo.empty());
    const MenuWalk::TPlan plan = MenuWalk::Plan(demo);
    ASSERT_GT(plan.Shown, 0);
    const int64_t shown = plan.Shown, open = plan.Open, quick = plan.Quick, mark = plan.Mark, cancel = plan.Cancel,
                  end = plan.End;
    const std::string dir = TestData::ScratchDir();
    std::ofstream(dir + "/input.txt") << plan.Input;
    std::string report;
    ASSERT_EQ(RunCommand("'" + BuildFolder() + "/tools/kel-headless' --frames " + std::to_string(end) + " --input '" +
                             dir + "/input.txt' --png '" + dir + "/frames' --png-every 4 --var marked '" + demo + "'",
                         report),
              0)
        << report;
    EXPECT_NE(report.find("error log: empty"), std::string::npos) << report;
    EXPECT_NE(report.find("marked = 1\n"), std::string::npos) << report;

    // Presents are counted like frames, give or take the few frames that present nothing.
    const std::map<int64_t, std::string> frames = MenuWalk::Frames(dir + "/frames");
    auto each = [&](int64_t from, int64_t to, const std::function<void(const TBitmap32&, const std::string&)>& check) {
        int32_t seen = 0;
        for (auto it = frames.lower_bound(from + 3); it != frames.end() && it->first < to - 3; ++it, ++seen) {
            std::string bytes;
            ASSERT_TRUE(HostFiles::Read(it->second, bytes));
            const auto picture = MenuWalk::Picture(it->second);
            ASSERT_TRUE(picture) << it->second;
            check(*picture, bytes);
        }
        EXPECT_GT(seen, 0) << from << ".." << to;
    };
    using MenuWalk::Dimmed, MenuWalk::MarkChecked, MenuWalk::Near, MenuWalk::Park;
    // The still park left of the panel, plain and dimmed by the layout's blend colour.
    const uint32_t game = [&] {
        const auto p = MenuWalk::Picture(std::prev(frames.lower_bound(open - 3))->second);
        return p ? Park(*p) : 0u;
    }();

    each(shown, open, [&](const TBitmap32& p, const std::string&) { EXPECT_EQ(Park(p), game); });
    std::string menu;  // the menu's frame before the clicks
    each(open + 20, quick, [&](const TBitmap32& p, const std::string& bytes) {
        EXPECT_TRUE(Near(Park(p), Dimmed(game))) << std::hex << Park(p) << " " << Dimmed(game) << " " << game;
        EXPECT_TRUE(MenuWalk::PanelShown(p));
        EXPECT_FALSE(MarkChecked(p));
        if (menu.empty()) menu = bytes;
        EXPECT_EQ(bytes, menu);
    });
    each(quick, mark, [&](const TBitmap32&, const std::string& bytes) { EXPECT_EQ(bytes, menu); });
    each(mark, cancel, [&](const TBitmap32& p, const std::string&) {
        EXPECT_TRUE(MarkChecked(p));
        EXPECT_TRUE(Near(Park(p), Dimmed(game)));
    });
    // The cancel counts when the button comes up, a frame after the tap; the menu goes 300 ms on.
    const size_t time = report.find("time: ");
    ASSERT_NE(time, std::string::npos);
    const auto period = static_cast<int64_t>(std::stod(report.substr(time + 6))) / end;
    ASSERT_GT(period, 0);
    const int64_t gone = cancel + 1 + (300 + period - 1) / period;
    each(cancel, gone, [&](const TBitmap32& p, const std::string&) { EXPECT_TRUE(Near(Park(p), Dimmed(game))); });
    each(gone, end, [&](const TBitmap32& p, const std::string&) {
        EXPECT_FALSE(MarkChecked(p));
        EXPECT_EQ(Park(p), game);
    });
}

// Saving and loading on the demo, in the runner that kel-headless runs, fed from an input script
// as the program is: once the first line is on the screen, the menu's SAVE opens the save screen,
// where slot 3 is selected and clicked again; the game plays on, and the menu's LOAD loads slot 3
// back from the load screen: the frames after the load are those after the save. Then F5 makes a
// quick save, and F9 opens the quick-load window, whose newest line is picked: the frames after
// that load are those after the quick save. (The frames are compared in memory: writing each as a
// picture would cost the run most of its time.)
TEST(KelSystemDemoTest, SaveAndLoadInTheRunner) {
    const std::string source = DemoFolder();
    ASSERT_FALSE(source.empty());
    // A copy of its own: the run writes save files into the game's folder.
    const std::string demo = TestData::ScratchDir();
    fs::copy(source, demo, fs::copy_options::recursive);
    fs::remove_all(demo + "/SaveData");
    {
        THeadlessGame game;
        std::string error;
        ASSERT_TRUE(game.Open(demo, error)) << error;
        std::map<int64_t, size_t> frames;  // present -> hash of its pixels
        game.Screen.Device.OnFrame = [&](const THeadlessFrame& f) {
            frames[f.Index] = std::hash<std::string_view>()(
                std::string_view(reinterpret_cast<const char*>(f.Pixels.data()), f.Pixels.size() * sizeof(uint32_t)));
        };
        while (game.Engine->LogData->Count < 1 && game.FramesRun < 3000)
            game.Run(1);
        const int64_t shown = game.FramesRun;
        ASSERT_LT(shown, 3000);
        // The menu and the screens ignore input for their first 200 ms, eight frames; a choice is
        // reported 150 ms after its click. SAVE and LOAD are the menu's second and third buttons;
        // slot 3 is the first of the screens' second row.
        const int64_t save = shown + 70, load = save + 90, quick = load + 30, quickLoad = quick + 30,
                      end = quickLoad + 40;
        std::string input;
        for (const auto& [at, y] : {std::pair{save, 118}, std::pair{load, 178}})
            input += std::to_string(at - 60) + " tap 2\n" + std::to_string(at - 40) + " click 400 " +
                     std::to_string(y) + "\n" + std::to_string(at - 10) + " click 100 220\n" + std::to_string(at) +
                     " click 100 220\n";
        input += std::to_string(quick) + " tap 116\n" + std::to_string(quickLoad) + " pick 0\n" +
                 std::to_string(quickLoad) + " tap 120\n";
        ASSERT_TRUE(HeadlessRunner::ParseInputScript(input, game.Events, error)) << error;
        game.Run(end - shown);
        EXPECT_EQ(game.Form->Context.Log.ErrorList.Count(), 0) << game.Report();
        EXPECT_TRUE(game.Answers.Shown.empty()) << game.Report();  // a new slot: no question
        ASSERT_FALSE(game.Forms.Shown.empty());
        EXPECT_EQ(game.Forms.Shown.back().ClosedBy, "OkButton");
        EXPECT_TRUE(fs::exists(demo + "/SaveData/SaveData2.svd"));
        EXPECT_TRUE(fs::exists(demo + "/SaveData/QuickSaveData0.svd"));

        // The frames from a little after the load on are those from as long after the save.
        // Frames that present nothing (the opening frames of the screens, the frame of a quick
        // load) make the presents in between a few fewer than the frames.
        auto same = [&](int64_t after, int64_t again, int64_t from, int64_t to) {
            for (int64_t fewer = 0; fewer <= 6; ++fewer) {
                bool all = true;
                for (int64_t k = from; k < to && all; ++k)
                    all = frames.count(after + k) && frames.count(again - fewer + k) &&
                          frames[after + k] == frames[again - fewer + k];
                if (all) return true;
            }
            return false;
        };
        EXPECT_TRUE(same(save, load, 8, 28));
        EXPECT_TRUE(same(quick, quickLoad, 2, 22));
        // Frames before the load are not those before the save (the load screen shows the save).
        EXPECT_FALSE(same(save - 30, load - 30, 8, 28));
    }
}

// A player's walk through the whole demo in the runner, fed from the input script the walk makes
// (its steps are in DemoWalk): title, lines, the choice of the sky, the menu, saving into slot 3,
// the back-log, loading slot 3, a quick save and a quick load, the configuration dialog answered
// with the music's volume at half, the second line, the ending and the title again. The frame of
// every screen is written as a picture.
TEST(KelSystemDemoTest, AWalkThroughTheWholeGameInTheRunner) {
    const std::string source = DemoFolder();
    ASSERT_FALSE(source.empty());
    const std::string demo = TestData::ScratchDir();
    fs::copy(source, demo, fs::copy_options::recursive);
    fs::remove_all(demo + "/SaveData");
    const DemoWalk::TResult walk = DemoWalk::PlayHeadless(demo);
    const auto& steps = DemoWalk::Steps();
    ASSERT_EQ(walk.Screens.size(), steps.size() - 1) << "stuck before " << steps[walk.Screens.size() + 1].Screen << "\n"
                                                     << walk.Input << walk.Report;
    EXPECT_NE(walk.Report.find("error log: empty"), std::string::npos) << walk.Report;
    EXPECT_NE(walk.Report.find("route = 1\n"), std::string::npos) << walk.Report;  // the sky
    EXPECT_NE(walk.Report.find("plays = 2\n"), std::string::npos) << walk.Report;  // the title again
    // No question: slot 3 was empty. The quick-load window took its newest line, the configuration
    // its answers.
    EXPECT_EQ(walk.Report.find("dialog: "), std::string::npos) << walk.Report;
    EXPECT_NE(walk.Report.find("form: クイックロード -> OkButton"), std::string::npos) << walk.Report;
    EXPECT_NE(walk.Report.find("form: コンフィグ設定 -> Button4"), std::string::npos) << walk.Report;
    EXPECT_EQ(walk.BGMVolume, 127);  // 5 of the bar's 10 steps
    EXPECT_TRUE(fs::exists(demo + "/SaveData/SaveData2.svd"));
    EXPECT_TRUE(fs::exists(demo + "/SaveData/QuickSaveData0.svd"));

    std::map<std::string, const DemoWalk::TScreen*> screens;
    const std::string frames = TestData::ScratchDir();
    for (const auto& s : walk.Screens) {
        screens[s.Name] = &s;
        std::vector<uint32_t> argb(s.Pixels);
        for (uint32_t& p : argb)
            p |= 0xFF000000u;
        std::ofstream(frames + "/" + s.Name + ".png", std::ios::binary) << AnimationFixtures::Png(800, 600, argb);
        EXPECT_TRUE(MenuWalk::Picture(frames + "/" + s.Name + ".png")) << s.Name;
    }
    auto differ = [&](const char* a, const char* b) {
        return DemoWalk::Differences(screens.at(a)->Pixels, screens.at(b)->Pixels, screens.at(a)->Masks);
    };
    // The game comes back as it was after each screen and each load; the title is the title again.
    for (const char* same : {"saved", "sky-again", "loaded", "quick-saved", "quick-loaded", "configured"})
        EXPECT_EQ(differ(same, "sky"), 0) << same;
    EXPECT_EQ(differ("title-again", "title"), 0);
    // Each screen shows something of its own.
    for (const auto& [a, b] :
         {std::pair{"choice", "question"}, std::pair{"menu", "sky"}, std::pair{"save", "save-screen"},
          std::pair{"back-log", "sky"}, std::pair{"load-screen", "save-screen"}, std::pair{"sky-2", "sky"},
          std::pair{"ending", "sky-2"}})
        EXPECT_GT(differ(a, b), 1000) << a << " " << b;
    // Slot 3 shows the game's thumbnail on the load screen, the empty slot's picture before the save.
    EXPECT_EQ(screens.at("save-screen")->Pixels[200 * 800 + 100], 0x202030u);
    EXPECT_NE(screens.at("load-screen")->Pixels[200 * 800 + 100], 0x202030u);
}

// The choice's other answer: a click on FLOWERS leads to the flower bed, where the lines are not
// the sky's.
TEST(KelSystemDemoTest, TheOtherAnswerLeadsToTheFlowers) {
    const std::string demo = DemoFolder();
    ASSERT_FALSE(demo.empty());
    {
        THeadlessGame game;
        std::string error;
        ASSERT_TRUE(game.Open(demo, error)) << error;
        auto until = [&](int32_t lines) {
            while (game.Engine->LogData->Count < lines && game.FramesRun < 3000)
                game.Run(1);
            return game.Engine->LogData->Count >= lines;
        };
        ASSERT_TRUE(until(3));  // the question
        game.Run(20);
        ASSERT_TRUE(
            HeadlessRunner::ParseInputScript(std::to_string(game.FramesRun) + " click 400 258\n", game.Events, error));
        ASSERT_TRUE(until(4));
        TCalcValue route;
        game.Engine->GameScript->Variables->ReadElement(TVariableScope::Game, "route", {}, 0, route, true);
        EXPECT_EQ(route.Value, 2);
        std::string lines;
        for (int32_t i = 0; i < game.Engine->LogData->Count; ++i)
            lines += Encoding::SjisToUtf8(game.Engine->LogData->GetPlainText(i)) + "\n";
        EXPECT_NE(lines.find("きれいな花がいっぱい"), std::string::npos) << lines;
        EXPECT_EQ(lines.find("雲"), std::string::npos) << lines;
        EXPECT_EQ(game.Form->Context.Log.ErrorList.Count(), 0) << game.Report();
    }
}

TEST(KelSystemDemoTest, ADamagedPatchPackStopsTheStart) {
    const std::string dir = TestData::ScratchDir();
    fs::create_directories(dir + "/GameData");
    std::ofstream(dir + "/GameData/data0.pack", std::ios::binary) << PackWriter::Pack(
        std::vector<PackWriter::TEntry>{{"System\\etc\\Game.dat", "ScreenWidth=640\r\n"}}, PackWriter::TVersion::V20);
    std::ofstream(dir + "/GameData/data1.pack", std::ios::binary) << std::string(2000, 'x');
    {
        THeadlessGame game;
        std::string error;
        EXPECT_FALSE(game.Open(dir, error));
        EXPECT_NE(error.find("起動に必要なデータがみつからないため起動できません。"), std::string::npos) << error;
        EXPECT_NE(error.find("data1.pack"), std::string::npos) << error;
        EXPECT_EQ(game.Engine, nullptr);
    }
}

TEST(KelSystemDemoTest, InputScriptFormat) {
    std::vector<THeadlessEvent> events;
    std::string error;
    ASSERT_TRUE(HeadlessRunner::ParseInputScript("# keys\n3 tap 13\n\n5 click 10 20\r\n7 dialog 1\n", events, error));
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].Action, "down");
    EXPECT_EQ(events[1].Frame, 4);
    EXPECT_EQ(events[1].Action, "up");
    EXPECT_EQ(events[2].Action, "move");
    EXPECT_EQ(events[2].B, 20);
    EXPECT_EQ(events[5].Action, "dialog");
    // An action for the settings forms names its control.
    events.clear();
    ASSERT_TRUE(HeadlessRunner::ParseInputScript("2 page 1\n3 set TrackBar1 -5\n4 press Button4\n", events, error));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].A, 1);
    EXPECT_EQ(events[1].Name, "TrackBar1");
    EXPECT_EQ(events[1].A, -5);
    EXPECT_EQ(events[2].Action, "press");
    EXPECT_EQ(events[2].Name, "Button4");
    for (const char* bad : {"x tap 1", "1 jump 2", "1 tap", "1 tap 300", "1 move 1", "1 wheel z",
                            // numbers out of their range, or not quite numbers
                            "9223372036854775807 up 1", "9223372036854775806 tap 1", "9223372036854775808 up 1",
                            "1 move 2147483648 0", "1 click 0 -2147483649", "1 wheel 0x80000000", "1 active 2",
                            "1 dialog -1", "+1 up 1", "1 up 0x", "1 up --1", "1 up 1e3", "1 up  0x-5",
                            // the settings forms' actions
                            "1 page -1", "1 page", "1 set TrackBar1", "1 set TrackBar1 x", "1 set TrackBar1 0x80000000",
                            "1 press", "1 press Button4 1"}) {
        events.clear();
        EXPECT_FALSE(HeadlessRunner::ParseInputScript(bad, events, error)) << bad;
        EXPECT_EQ(error.rfind("line 1: ", 0), 0u) << error;
    }
    // The line number counts every line; control bytes in the quoted line are escaped.
    EXPECT_FALSE(HeadlessRunner::ParseInputScript("0 up 1\n\n# x\n3 wheel 1\x1b[2J 2\n", events, error));
    EXPECT_EQ(error, "line 4: wrong number of arguments: 3 wheel 1\\x1B[2J 2");
    // The edges of the ranges; a leading zero is no octal mark.
    events.clear();
    ASSERT_TRUE(
        HeadlessRunner::ParseInputScript("9223372036854775805 tap 1\n9223372036854775806 up 2\n1 move -2147483648 "
                                         "2147483647\n1 wheel -0x80000000\n010 up 0x1f\n",
                                         events, error))
        << error;
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[1].Frame, INT64_MAX - 1);  // the tap's end
    EXPECT_EQ(events[2].Frame, INT64_MAX - 1);
    EXPECT_EQ(events[3].A, INT32_MIN);
    EXPECT_EQ(events[3].B, INT32_MAX);
    EXPECT_EQ(events[4].A, INT32_MIN);
    EXPECT_EQ(events[5].Frame, 10);
    EXPECT_EQ(events[5].A, 31);
}

}  // namespace
