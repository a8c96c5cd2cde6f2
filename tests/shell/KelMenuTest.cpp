// The system menu on a game started headless: its layout, locks and checks, the mute times, the
// cancel keys and the still picture it draws over; then every action reaching the engine core
// from a click, and the menu opened by a key bound to the menu action.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "objects/KelGraphicLib.h"
#include "shell/HeadlessRunner.h"
#include "shell/KelMenuLib.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/GameFixture.h"
#include "tests/support/TestData.h"

using namespace KelSystemLib;
using namespace KelMenuLib;

namespace {

constexpr uint32_t kBack = 0xFF204080, kWhite = 0xFFFFFFFF;

// "@@reset" leaves a mark; the start jumps past it to "@@top".
const char* kStartup =
    "@@reset\r\n\\gvar,int,fromreset\r\n\\cal,fromreset=1\r\n"
    "@@top\r\n\\gvar,int,flag,hits,n\r\n\\scp,eff\r\n\\bg,$FF204080\r\n\\scp,sys\r\n\\lk,0\r\n"
    "@@idle\r\n\\wait,1000\r\n\\jmp,@@idle\r\n";

// Buttons of 16 x 16 in two rows of three (x 0, 20, 40; y 0, 20), a picture below the last.
const char* kLayout =
    "ButtonCount=5\r\nImageCount=1\r\nBlendColor=$80000000\r\n"
    "BeginMuteTime=100\r\nEndMuteTime=300\r\nClickMuteTime=50\r\n"
    "btn[0].Action=Value:Flag\r\nbtn[0].Filename=button.b\r\nbtn[0].Position=0,0,10\r\n"
    "btn[1].Action=script:\\cal,hits=hits+1\r\nbtn[1].Filename=button.b\r\nbtn[1].Position=20,0,10\r\n"
    "btn[2].Action=save\r\nbtn[2].Filename=button.b\r\nbtn[2].Position=40,0,10\r\n"
    "btn[3].Action=cancel\r\nbtn[3].Filename=button.b , // the picture\r\nbtn[3].Position=0,20,10\r\n"
    "btn[4].Action=value:nosuch\r\nbtn[4].Filename=button.b\r\nbtn[4].Position=20,20,10\r\n"
    "btn[4].Action=cancel\r\n"  // a key's first line counts
    "img[0].Filename=frame.png\r\nimg[0].Position=40,40,5\r\n";

class KelMenuTest : public ::testing::Test {
protected:
    void Start(std::map<std::string, std::string> texts) {
        texts.emplace("System\\etc\\Game.dat", "ScreenWidth=64\r\nScreenHeight=48\r\nFPSLimit=40\r\n");
        texts.emplace("startup.s", kStartup);
        GameFixture::Write(Dir, texts, "",
                           {{"System\\Menu\\button.b", AnimationBmpWriter::Write(AnimationFixtures::StateFile(
                                                           16, 16, {AnimationFixtures::SolidPng(16, 16, kWhite)}))},
                            {"System\\Menu\\big.b", AnimationBmpWriter::Write(AnimationFixtures::StateFile(
                                                        64, 48, {AnimationFixtures::SolidPng(64, 48, kWhite)}))},
                            {"System\\Menu\\frame.png", AnimationFixtures::SolidPng(8, 8, kWhite)}});
        std::string error;
        ASSERT_TRUE(Game.Open(Dir, error)) << error;
        // Past the input device's start-up pause.
        Game.Run(20);
        ASSERT_EQ(ErrorLogLib::ErrorList.Count(), 0) << Game.Report();
    }
    void TearDown() override { Game.Close(); }

    TKelSystem& Engine() { return *Game.Engine; }
    TKelScript& GameScript() { return *Engine().GameScript; }
    TKelMenu& Menu() { return static_cast<TKelMenu&>(*Engine().Menu); }
    int32_t Var(const char* name) { return GameScript().Evaluate(name).Value; }

    // One menu frame: the input device takes what the window holds, then the menu's update.
    int32_t Step(int32_t ms) {
        GameScript().Links.Input->Update();
        return Menu().Update(ms);
    }
    // A key (or button) down for one frame and up in the next; the result of the second.
    int32_t Tap(uint8_t vk, int32_t ms = 10) {
        Game.Source.Press(vk);
        Step(ms);
        Game.Source.Release(vk);
        return Step(ms);
    }
    int32_t ClickAt(int32_t x, int32_t y) {
        Game.Source.PointerAt = {x, y};
        return Tap(1);
    }

    std::string Dir = TestData::ScratchDir();
    THeadlessGame Game;
};

TEST_F(KelMenuTest, LocksFollowTheGameAtOpening) {
    // One button per action; the locks of the table with every lock bit set, then with none.
    const std::vector<std::string> actions = {
        "cancel",
        "load",
        "save",
        "log",
        "text",
        "view",
        "skip",
        "auto",
        "screen",
        "config",
        "exit",
        "reset",
        "quicksave",
        "quickload",
        "selectload",
        "scenereturn",
        "sceneskipload",
        "script:",
        "script:\\cal,n=1",
        "value:flag",
        "value:nosuch",
        "value",
        "nosuchaction",
    };
    std::string layout = "ButtonCount=" + std::to_string(actions.size()) + "\r\n";
    for (size_t i = 0; i < actions.size(); ++i)
        layout += "btn[" + std::to_string(i) + "].Action=" + actions[i] + "\r\n";
    Start({{"System\\Menu\\Layout.dat", layout}});
    TKelScript& g = GameScript();

    struct TLocks {
        uint32_t Locks;
        bool QuickSave, SelectSave;
        std::vector<std::string> Locked;
    } rounds[] = {
        {TScriptStateBlock::kAllLocks,
         true,
         true,
         {"load", "save", "log", "view", "skip", "auto", "screen", "config", "exit", "reset", "quicksave", "quickload",
          "selectload", "scenereturn", "sceneskipload", "script:", "value:nosuch", "value"}},
        // Without locks: what is missing stays locked (no quick save, no selection save, scene
        // skipping off).
        {0, false, false, {"quickload", "selectload", "sceneskipload", "script:", "value:nosuch", "value"}},
        {0, true, true, {"sceneskipload", "script:", "value:nosuch", "value"}},
    };
    for (const auto& r : rounds) {
        g.State.Locks = r.Locks;
        for (auto [file, present] :
             {std::pair{"QuickSaveData3.svd", r.QuickSave}, std::pair{"SelectSaveData.svd", r.SelectSave}}) {
            if (present)
                std::ofstream(Dir + "/SaveData/" + file) << "x";
            else
                std::filesystem::remove(Dir + "/SaveData/" + file);
        }
        Menu().Open(0);
        ASSERT_EQ(Menu().Buttons.size(), actions.size());
        std::vector<std::string> locked;
        for (size_t i = 0; i < actions.size(); ++i)
            if (Menu().Buttons[i]->IsLocked()) locked.push_back(actions[i]);
        EXPECT_EQ(locked, r.Locked) << r.Locks << " " << r.QuickSave;
    }
    // Scene skipping on: its buttons unlock.
    g.State.SceneSkipEnabled = 1;
    Menu().Open(0);
    EXPECT_FALSE(Menu().Buttons[16]->IsLocked());
}

TEST_F(KelMenuTest, MuteTimesClicksTogglesAndCancel) {
    Start({{"System\\Menu\\Layout.dat", kLayout}});
    GameScript().ExecuteCommandString("\\cal,flag=1");
    Menu().Open(0);
    ASSERT_EQ(Menu().Buttons.size(), 5u);
    ASSERT_EQ(Menu().Images.size(), 1u);
    // The checked state shows the variable; the first line of a key counts; a missing variable
    // keeps its button locked.
    EXPECT_TRUE(Menu().Buttons[0]->IsChecked());
    EXPECT_EQ(Menu().Buttons[4]->UserString(0), "value:nosuch");
    EXPECT_TRUE(Menu().Buttons[4]->IsLocked());
    EXPECT_EQ(Menu().Buttons[3]->Record.Files[0], "System\\Menu\\button.b");

    // Clicks in the first 100 ms go nowhere.
    EXPECT_EQ(ClickAt(25, 5), 0);
    EXPECT_EQ(ClickAt(25, 5), 0);
    EXPECT_EQ(Var("hits"), 0);
    Step(80);
    // "script:" runs its statements; the menu stays open, input waits for the click mute time.
    EXPECT_EQ(ClickAt(25, 5), 0);
    EXPECT_EQ(Var("hits"), 1);
    EXPECT_EQ(Menu().MuteLeft, 50);
    EXPECT_EQ(ClickAt(25, 5), 0);
    EXPECT_EQ(Var("hits"), 1);
    Step(40);
    // "value:" flips its variable and the check; a locked button takes no click.
    EXPECT_EQ(ClickAt(5, 5), 0);
    EXPECT_EQ(Var("flag"), 0);
    EXPECT_FALSE(Menu().Buttons[0]->IsChecked());
    Step(50);
    EXPECT_EQ(ClickAt(5, 5), 0);
    EXPECT_EQ(Var("flag"), 1);
    EXPECT_TRUE(Menu().Buttons[0]->IsChecked());
    Step(50);
    EXPECT_EQ(ClickAt(25, 25), 0);  // "value:nosuch", locked
    EXPECT_EQ(Menu().Result, 0);

    // Enter cancels: code 1 once the 300 ms of the end mute time are over, while the items play
    // out their disabling.
    EXPECT_EQ(Tap(13), 0);
    EXPECT_EQ(Menu().Result, mcCancel);
    EXPECT_FALSE(Menu().Buttons[0]->IsEnabled());
    EXPECT_FALSE(Menu().Images[0]->IsEnabled());
    EXPECT_EQ(Step(270), 0);
    EXPECT_EQ(Step(20), mcCancel);
}

TEST_F(KelMenuTest, EveryCancelKeyAndTheMenuKeyClose) {
    Start({{"System\\Menu\\Layout.dat", "ButtonCount=0\r\n"}});
    // The menu key action bound to M.
    GameScript().SystemKeys->Add('M', "menu", "", "", "");
    for (uint8_t key : {uint8_t{2}, uint8_t{27}, uint8_t{8}, uint8_t{13}, uint8_t{'M'}}) {
        Menu().Open(0);
        // A right button counts when it is let go; the keys when they go down.
        Game.Source.Press(key);
        EXPECT_EQ(Step(10), 0) << int(key);
        Game.Source.Release(key);
        EXPECT_EQ(Step(10), key == 2 ? 0 : mcCancel) << int(key);
        EXPECT_EQ(Step(10), mcCancel) << int(key);
    }
    // A left click on no button closes nothing.
    Menu().Open(0);
    EXPECT_EQ(ClickAt(30, 30), 0);
    EXPECT_EQ(Step(10), 0);
}

TEST_F(KelMenuTest, DrawsOverTheDimmedStillPicture) {
    Start({{"System\\Menu\\Layout.dat", kLayout}});
    TKelGraphic& graphic = *KelGraphicLib::GraphicOf(GameScript());
    // The game screen where no item stands, dimmed by the blend colour.
    TARGB8888 expected;
    expected.SetSize(2, 1);
    expected.ScanLine(0)[0] = expected.ScanLine(0)[1] = kBack;
    expected.FillRectEx(0x80000000, bmBlend, 0, 0, 2, 1, 0, 1);
    expected.FillAlpha(0, 0, 2, 1, 255);
    GameScript().Draw(0, true, 0xFFFF);
    ASSERT_EQ(graphic.GetScreenSurface()->ScanLine(30)[60] | 0xFF000000u, kBack);

    Menu().Open(0);
    EXPECT_EQ(Menu().Snapshot->ScanLine(30)[60], expected.ScanLine(0)[0]);
    Menu().Draw();
    // The still picture under the items; the items over it.
    const TARGB8888& frame = *graphic.CellDraw()->FrameBuffer;
    const uint32_t shown = frame.ScanLine(30)[60];
    EXPECT_EQ(shown | 0xFF000000u, expected.ScanLine(0)[0]);  // dimmed once, not again by the frame under it
    EXPECT_EQ(frame.ScanLine(5)[5] | 0xFF000000u, kWhite);    // a button
    EXPECT_EQ(frame.ScanLine(44)[44] | 0xFF000000u, kWhite);  // the picture
}

TEST_F(KelMenuTest, LayoutIsReadAgainOnlyWhenItsNameChangesOrAfterAReset) {
    Start({{"System\\Menu\\Layout.dat", kLayout}, {"System\\Menu\\Other.dat", "ButtonCount=1\r\n"}});
    Menu().Open(0);
    const TButtonLib* first = Menu().Buttons[0].get();
    Menu().Open(0);
    EXPECT_EQ(Menu().Buttons[0].get(), first);
    // A missing file of the script's choice falls back to the default layout, which is loaded.
    GameScript().State.MenuScreenFile = "Missing.dat";
    Menu().Open(0);
    EXPECT_EQ(Menu().Buttons[0].get(), first);
    GameScript().State.MenuScreenFile = "other.dat";
    Menu().Open(0);
    EXPECT_EQ(Menu().LayoutName, "System\\Menu\\other.dat");
    EXPECT_EQ(Menu().Buttons.size(), 1u);
    GameScript().State.MenuScreenFile.clear();
    Engine().Reset("", "");
    EXPECT_TRUE(Menu().LayoutName.empty());
    EXPECT_FALSE(Menu().Opened);
    Menu().Open(0);
    EXPECT_EQ(Menu().Buttons.size(), 5u);
}

TEST_F(KelMenuTest, WithoutALayoutTheMenuIsEmptyAndStillCloses) {
    Start({{"System\\Menu\\Huge.dat", "ButtonCount=2000000000\r\nImageCount=-5\r\n"}});
    Menu().Open(0);
    EXPECT_TRUE(Menu().Buttons.empty());
    ASSERT_EQ(ErrorLogLib::ErrorList.Count(), 1);
    EXPECT_NE(ErrorLogLib::ErrorList[0].find("System\\Menu\\Layout.dat"), std::string::npos);
    EXPECT_FALSE(ErrorLogLib::ErrorFlag);  // the script goes on
    EXPECT_EQ(Tap(27), mcCancel);
    // A count far beyond what the file describes makes no more items than it has lines.
    GameScript().State.MenuScreenFile = "Huge.dat";
    Menu().Open(0);
    EXPECT_EQ(Menu().Buttons.size(), 2u);
    EXPECT_TRUE(Menu().Images.empty());
}

// ---- the actions through the engine core ----

class TQuickSaves final : public IKelQuickSaves {
public:
    std::string NextQuickSaveFile() override { return "QuickSaveData0.svd"; }
    std::string ChooseQuickLoadFile() override { return "QuickSaveData0.svd"; }
};

class KelMenuEngineTest : public KelMenuTest {
protected:
    // Calls Frame until one runs; its result.
    uint8_t NextFrame() {
        const int64_t last = Engine().LastFrameTime;
        uint8_t result = 0;
        for (int i = 0; i < 1000 && Engine().LastFrameTime == last; ++i) {
            const uint32_t before = Game.FakeClock.Now;
            result = Engine().Frame();
            if (Game.FakeClock.Now == before) ++Game.FakeClock.Now;
        }
        return result;
    }
    // Opens the menu as a request does, clicks its one button and runs the frame that reports.
    uint8_t ChooseAction() {
        Engine().DoRequest(srMenu, "");
        ++Engine().FramesInMode;
        NextFrame();  // opens
        EXPECT_TRUE(Menu().Opened);
        Game.Source.PointerAt = {30, 30};
        Game.Source.Press(1);
        NextFrame();
        Game.Source.Release(1);
        NextFrame();  // the click
        return NextFrame();
    }
};

TEST_F(KelMenuEngineTest, EveryActionReachesTheEngineCore) {
    std::map<std::string, std::string> files;
    const char* actions[] = {"cancel",    "load",      "save",       "log",           "text",           "view",
                             "skip",      "auto",      "screen",     "config",        "exit",           "reset",
                             "quicksave", "quickload", "selectload", "sceneskipload", "sceneskipnoload"};
    for (const char* a : actions)
        files["System\\Menu\\" + std::string(a) + ".dat"] =
            "ButtonCount=1\r\nbtn[0].Action=" + std::string(a) + "\r\nbtn[0].Filename=big.b\r\n";
    Start(files);
    Engine().QuickSaves = std::make_unique<TQuickSaves>();
    TKelScript& g = GameScript();
    auto* display = Engine().DirectXPack;

    struct TCase {
        const char* Action;
        uint8_t Mode;  // after the frame that reports
        std::function<void()> Prepare;
        std::function<void()> Check;
    };
    auto saveWithN = [&](const char* file) {
        return [&, file] {
            g.ExecuteCommandString("\\cal,n=7");
            ASSERT_TRUE(Engine().GameState->SaveGame(g, file, true));
            g.ExecuteCommandString("\\cal,n=9");
        };
    };
    bool fullScreen = false;
    const TCase cases[] = {
        {"cancel", kmGameScript, {}, [&] { EXPECT_EQ(g.HoldFrames, 0); }},
        {"load", kmLoadScreen, {}, {}},
        {"save", kmSaveScreen, {}, {}},
        {"log", kmLogScreen, {}, {}},
        {"text", kmGameScript, {}, [&] { EXPECT_EQ(g.HoldFrames, 2); }},
        {"view", kmGameScript, {}, [&] { EXPECT_EQ(g.State.RunMode, TRunMode::View); }},
        {"skip", kmGameScript, {}, [&] { EXPECT_EQ(g.State.RunMode, TRunMode::Skip); }},
        {"auto", kmGameScript, {}, [&] { EXPECT_EQ(g.State.RunMode, TRunMode::Auto); }},
        {"screen", kmGameScript, [&] { fullScreen = display->IsFullScreen(); },
         [&] { EXPECT_NE(display->IsFullScreen(), fullScreen); }},
        {"config", kmConfigDialog, {}, [&] { EXPECT_EQ(Engine().ModeParameter, -1); }},
        // The confirmation answers with its first button: the exit ends the game's frames.
        {"exit", kmConfirmExit, {}, [&] { EXPECT_EQ(NextFrame(), kmExit); }},
        {"reset",
         kmConfirmReset,
         {},
         [&] {
             EXPECT_EQ(NextFrame(), kmGameScript);
             NextFrame();
             EXPECT_EQ(Var("fromreset"), 1);
         }},
        {"quicksave",
         kmGameScript,
         {},
         [&] {
             EXPECT_TRUE(TKelScript::SaveFileExists(Game.Files, "QuickSaveData0.svd"));
             EXPECT_EQ(g.PendingCursorLabel, "*OnQuickSave");
         }},
        {"quickload", kmGameScript, saveWithN("QuickSaveData0.svd"),
         [&] {
             EXPECT_EQ(Var("n"), 7);
             EXPECT_EQ(g.PendingCursorLabel, "*OnQuickLoad");
         }},
        {"selectload", kmGameScript, saveWithN("SelectSaveData.svd"),
         [&] {
             EXPECT_EQ(Var("n"), 7);
             EXPECT_EQ(g.PendingCursorLabel, "*OnSelectLoad");
         }},
        // No action of their own: the menu only closes.
        {"sceneskipload", kmGameScript, [&] { g.State.SceneSkipEnabled = 1; }, [&] { EXPECT_EQ(g.HoldFrames, 0); }},
        {"sceneskipnoload", kmGameScript, [&] { g.State.SceneSkipEnabled = 1; }, [&] { EXPECT_EQ(g.HoldFrames, 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Action);
        // Game frames past the input device's pause after the resets and loads of earlier cases.
        Engine().SetMode(kmGameScript);
        for (int i = 0; i < 12; ++i)
            NextFrame();
        g.State.Locks = 0;
        g.StopRunMode();
        g.HoldFrames = 0;
        g.PendingCursorLabel.clear();
        g.State.MenuScreenFile = std::string(c.Action) + ".dat";
        if (c.Prepare) c.Prepare();
        EXPECT_EQ(ChooseAction(), c.Mode);
        if (c.Check) c.Check();
    }
    EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 0) << Game.Report();
}

TEST_F(KelMenuEngineTest, AKeyBoundToTheMenuOpensIt) {
    Start({{"System\\Menu\\Layout.dat", kLayout}});
    // The right button, let go, bound to the menu action.
    GameScript().SystemKeys->Add(uInputDevice::kReleased | 2, "menu", "", "", "");
    Game.Source.Press(2);
    NextFrame();
    Game.Source.Release(2);
    EXPECT_EQ(NextFrame(), kmMenu);
    EXPECT_FALSE(Menu().Opened);
    NextFrame();
    EXPECT_TRUE(Menu().Opened);
    // Past the begin mute time, the right button again goes back to the game after the end mute
    // time: 300 ms, at 26 ms a frame.
    for (int i = 0; i < 5; ++i)
        NextFrame();
    Game.Source.Press(2);
    NextFrame();
    Game.Source.Release(2);
    EXPECT_EQ(NextFrame(), kmMenu);
    EXPECT_EQ(Menu().Result, mcCancel);
    int frames = 0;
    while (NextFrame() == kmMenu && frames < 100)
        ++frames;
    EXPECT_EQ(frames, 300 / 26);
    EXPECT_EQ(Engine().Mode, kmGameScript);
}

}  // namespace
