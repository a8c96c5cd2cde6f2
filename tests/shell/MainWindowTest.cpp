// The main window on a headless window and display: the start-up with each piece a game needs
// missing, the sizes and settings of a start that succeeds, closing through the exit dialog or a
// close label, the idle guard, minimising, and what destruction leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <new>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/SystemFonts.h"
#include "platform/headless/HeadlessDialogs.h"
#include "platform/headless/HeadlessDisplay.h"
#include "platform/headless/HeadlessMainWindow.h"
#include "platform/headless/HeadlessScriptForms.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelScriptLib.h"
#include "shell/MainWindow.h"
#include "tests/support/GameFixture.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace fs = std::filesystem;

namespace {

const char* kGameDat =
    "GameTitle=テスト\r\nFormCaption=テスト\r\nScreenWidth=640\r\nScreenHeight=480\r\nConfigStartupSkip=TRUE\r\n"
    "MinimizeSystemStop=1\r\n";
const char* kMessages =
    "OK=ＯＫ\r\nSystemInfoDLLERROR=情報なし\r\nDirectDrawERROR=画面なし\r\nDirectSoundERROR=音なし\r\n"
    "CRCCHECKERROR=壊れています\r\n"
    "APPCLOSE_Text=終了しますか？\r\nAPPCLOSE_Exit=終了\r\nAPPCLOSE_Reset=タイトルへ\r\nAPPCLOSE_Cancel=キャンセル\r\n";
// Counts resets and frames in game variables. The start jumps straight on to "@@top"; a later
// reset runs "@@reset" first. A declaration of a name that exists is passed over.
const char* kStartup =
    "@@reset\r\n\\gvar,int,resets\r\n\\cal,resets=resets+1\r\n@@top\r\n\\gvar,int,resets,frames\r\n@@loop\r\n"
    "\\cal,frames=frames+1\r\n\\wait,10\r\n\\jmp,@@loop\r\n";
// "\\quit" is the tests' word for a script that asks the engine to exit.
const char* kSysStartup = "@@close\r\n\\quit\r\n@@idle\r\n\\wait,10\r\n\\jmp,@@idle\r\n";

// The members are public: the cases of the start-up table prepare the game through them.
class MainWindowTest : public ::testing::Test {
public:
    void SetUp() override {
        Dir = TestData::ScratchDir();
        Files = {{"System\\etc\\Game.dat", kGameDat},
                 {"System\\etc\\Message.txt", kMessages},
                 {"startup.s", kStartup},
                 {"SysStartUp.s", kSysStartup}};
    }
    void TearDown() override { Form.reset(); }

    // Writes the game folder: the packs of Files, and the system-information library unless
    // library is false.
    void WriteGame(bool library = true) { GameFixture::Write(Dir, Files, library ? KEL_SYSTEMINFO_LIBRARY : ""); }
    // Creates the form on the game folder, shows the window and makes the first idle call.
    void Open() {
        GameFolder.SetFolder(Dir);
        Form = std::make_unique<TForm1>(Window, Devices);
        Window.Show();
        Form->AppIdle();
    }
    // Idle calls until n more frames have run.
    void Frames(int n) {
        for (int k = 0; k < n && !Form->Ended(); ++k) {
            const int64_t last = Form->Engine->LastFrameTime;
            for (int guard = 0; guard < 1000 && Form->Engine->LastFrameTime == last && !Form->Ended(); ++guard) {
                const uint32_t before = FakeClock.Now;
                Form->AppIdle();
                if (FakeClock.Now == before) FakeClock.Now += 1;
            }
        }
    }
    int64_t GameInt(const char* name) {
        IScriptVariables& vars = *Form->Engine->GameScript->Variables;
        TCalcValue v;
        TVariableIndexes idx;
        const bool flag = Form->Context.Log.ErrorFlag;
        vars.SetErrorReport(false);
        const bool found = vars.ReadElement(TVariableScope::Game, name, idx, 0, v, true);
        vars.SetErrorReport(true);
        Form->Context.Log.ErrorFlag = flag;
        return found ? v.Value : -1;
    }
    std::vector<std::string> DialogTexts() {
        std::vector<std::string> out;
        for (const auto& d : Answers.Shown)
            out.push_back(Encoding::SjisToUtf8(d.Text));
        return out;
    }
    // The first line of each dialog's text: a library's dialog names the file in its second.
    std::vector<std::string> DialogFirstLines() {
        std::vector<std::string> out = DialogTexts();
        for (std::string& text : out)
            text = text.substr(0, text.find("\r\n"));
        return out;
    }
    std::string ErrorLines() {
        std::string out;
        for (const auto& line : Form->Context.Log.ErrorList.Items)
            out += Encoding::SjisToUtf8(line) + "\n";
        return out;
    }
    std::string SettingsFile() {
        std::string bytes;
        GameFolder.ReadFile("GameData\\System\\config.txt", bytes);
        return bytes;
    }

    std::string Dir;
    std::map<std::string, std::string> Files;
    TFakeClock FakeClock;
    TModalLoop Modal;
    THeadlessDialogs Answers{&Modal};
    THeadlessDisplay Display;
    TManualAudioDevice Audio;
    THeadlessMainWindow Window;
    TFileRoot GameFolder;
    TPlatformHost Devices{.Display = &Display,
                          .Audio = &Audio,
                          .Files = &GameFolder,
                          .Clock = &FakeClock,
                          .Dialogs = &Answers,
                          .Modal = &Modal};
    std::unique_ptr<TForm1> Form;
};

TEST_F(MainWindowTest, EachMissingPieceEndsTheStartWithItsDialog) {
    struct TCase {
        const char* Name;
        std::function<void(MainWindowTest&)> Prepare;
        std::vector<std::string> Dialogs;  // the texts shown, in order
        bool Ends;
    };
    const TCase cases[] = {
        {"no packs", [](MainWindowTest&) {}, {"起動に必要なデータがみつからないため起動できません。"}, true},
        {"no Game.dat",
         [](MainWindowTest& t) {
             t.Files.erase("System\\etc\\Game.dat");
             t.WriteGame();
         },
         {"設定に必要なデータがみつからないため起動できません。"},
         true},
        {"no system-information library", [](MainWindowTest& t) { t.WriteGame(false); }, {"情報なし"}, true},
        // Without a message table the later dialogs have no text to show, and still end the start.
        {"no library and no message table",
         [](MainWindowTest& t) {
             t.Files.erase("System\\etc\\Message.txt");
             t.WriteGame(false);
         },
         {},
         true},
        {"no display device",
         [](MainWindowTest& t) {
             t.WriteGame();
             t.Devices.Display = nullptr;
         },
         {"画面なし"},
         true},
        {"display that cannot be opened",
         [](MainWindowTest& t) {
             t.WriteGame();
             t.Display.FailStep = TDisplayStep::Device;
         },
         {"画面なし"},
         true},
        {"no sound device",
         [](MainWindowTest& t) {
             t.WriteGame();
             t.Devices.Audio = nullptr;
         },
         {"音なし"},
         true},
        {"sound output that cannot be opened",
         [](MainWindowTest& t) {
             t.WriteGame();
             t.Audio.OpenFailure = "no output";
         },
         {"音なし"},
         true},
        {"screen size out of range",
         [](MainWindowTest& t) {
             t.Files["System\\etc\\Game.dat"] = "ScreenWidth=0\r\nScreenHeight=99999\r\nConfigStartupSkip=TRUE\r\n";
             t.WriteGame();
         },
         {},
         false},
        {"damaged icon",
         [](MainWindowTest& t) {
             t.Files["system\\etc\\icon.ico"] = "not an icon";
             t.WriteGame();
         },
         {},
         false},
        {"everything there", [](MainWindowTest& t) { t.WriteGame(); }, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        Answers.Shown.clear();
        Devices.Display = &Display;
        Devices.Audio = &Audio;
        Display.FailStep = TDisplayStep::None;
        Audio.OpenFailure.clear();
        c.Prepare(*this);
        Open();
        EXPECT_EQ(DialogFirstLines(), c.Dialogs);
        EXPECT_EQ(Form->Ended(), c.Ends);
        EXPECT_EQ(Form->State, c.Ends ? 0 : 1);
        if (!c.Ends) {
            EXPECT_EQ(Form->Engine->Mode, KelSystemLib::kmGameScript);
            EXPECT_EQ(Form->Context.Log.ErrorList.Count(), 0) << ErrorLines();
        }
    }
}

TEST_F(MainWindowTest, StartSizesTheWindowTakesTheTitleAndWritesTheSettings) {
    Files["System\\etc\\Game.dat"] = std::string(kGameDat) + "ConfigForceWindowMode=TRUE\r\n";
    WriteGame();
    fs::create_directories(Dir + "/GameData/System");
    std::ofstream(Dir + "/GameData/System/config.txt") << "FullScreen=1\r\nFPSLimit=40\r\nMessageAlpha=100\r\n";
    Open();
    ASSERT_EQ(Form->State, 1);
    EXPECT_EQ(Window.Client, (Viewport::TSize{640, 480}));
    EXPECT_EQ(Window.Position, (Viewport::TPoint{(1920 - 640) / 2, (1080 - 480) / 2}));
    EXPECT_EQ(Encoding::SjisToUtf8(Window.Caption), "テスト");
    EXPECT_EQ(Encoding::SjisToUtf8(Form->Title), "テスト");
    // The display opened windowed at the game's size, the stored full screen being ignored and
    // written back as a window.
    EXPECT_EQ(Display.Setup.Width, 640);
    EXPECT_FALSE(Display.Setup.FullScreen);
    EXPECT_NE(SettingsFile().find("FullScreen=0"), std::string::npos);
    EXPECT_NE(SettingsFile().find("FPSLimit=40"), std::string::npos);
    // The start applied the configuration: the message opacity reached the animations' media.
    EXPECT_EQ(Form->Media.MessageAlpha, 100);
    // A paint before the start filled the window black; the start slept 100 ms on the clock.
    EXPECT_EQ(Window.BlackFills, 1);
    EXPECT_GE(FakeClock.Now, 100u);
    Frames(3);
    EXPECT_EQ(GameInt("frames"), 4);
    EXPECT_EQ(GameInt("resets"), 0);
}

TEST_F(MainWindowTest, StartupMenuLeftWithoutStartingSavesTheSettingsAndEnds) {
    Files["System\\etc\\Game.dat"] = "GameTitle=t\r\nScreenWidth=64\r\nScreenHeight=48\r\nConfigStartupSkip=FALSE\r\n";
    WriteGame();
    int shown = 0;
    GameFolder.SetFolder(Dir);
    FakeClock.Now = 4321;
    Form = std::make_unique<TForm1>(Window, Devices);
    EXPECT_EQ(Form->Context.Random.RandSeed, 4321u);  // the game's generator is seeded from the clock
    Form->ShowStartupMenu = [&] {
        ++shown;
        return false;
    };
    Window.Show();
    Form->AppIdle();
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(Form->Ended());
    EXPECT_FALSE(Form->Engine);
    EXPECT_TRUE(Answers.Shown.empty());
    EXPECT_NE(SettingsFile().find("FPSLimit="), std::string::npos);
}

TEST_F(MainWindowTest, ClosingAsksWithTheExitDialog) {
    struct TCase {
        const char* Name;
        int Button;  // -1: the dialog has no text
        bool Closes;
        int64_t Resets;
    };
    // The buttons in tab order: cancel, back to title, exit.
    const TCase cases[] = {
        {"exit", 2, true, 0},
        {"to the title", 1, false, 1},
        {"cancel", 0, false, 0},
        {"no text", -1, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        Answers.Shown.clear();
        if (c.Button < 0) Files["System\\etc\\Message.txt"] = "OK=ＯＫ\r\n";
        WriteGame();
        Open();
        ASSERT_EQ(Form->State, 1);
        Frames(2);
        if (c.Button >= 0) Answers.Click(c.Button);
        Window.RequestClose();
        EXPECT_EQ(Form->Closed, c.Closes);
        EXPECT_EQ(Answers.Shown.size(), c.Button < 0 ? 0u : 1u);
        EXPECT_FALSE(Form->Busy);
        if (!c.Closes) {
            Frames(1);
            EXPECT_EQ(GameInt("resets"), c.Resets);
        }
    }
}

TEST_F(MainWindowTest, CloseLabelRunsTheSystemScriptAndTheEngineClosesWithoutAsking) {
    Files["System\\etc\\Game.dat"] = std::string(kGameDat) + "FormCloseEventLabel=@@close\r\n";
    WriteGame();
    Open();
    Frames(1);
    TRecordingWordHandler quit;
    quit.OnWord = [](TKelScript& s, int32_t code, TStringList&) {
        if (code != Cmd("quit")) return false;
        s.Request = srExit;
        return true;
    };
    Form->Engine->SystemScript->Words.General = &quit;
    Window.RequestClose();
    EXPECT_FALSE(Form->Closed);
    EXPECT_EQ(Form->Engine->Mode, KelSystemLib::kmSystemScript);
    EXPECT_TRUE(Answers.Shown.empty());

    // The label's script asks the engine to exit: the window closes in that frame, unasked.
    Frames(1);
    EXPECT_TRUE(Form->Closed);
    EXPECT_TRUE(Answers.Shown.empty());
}

TEST_F(MainWindowTest, AScriptFormKeepsTheWindowAnsweringWithoutNestingFrames) {
    Files["startup.s"] =
        "@@reset\r\n@@top\r\n\\gvar,int,frames\r\n\\scp,dlgs\r\n\\t,\"初め\",\"\",\"\",\"OK\",\"\"\r\n@@loop\r\n"
        "\\cal,frames=frames+1\r\n\\wait,10\r\n\\jmp,@@loop\r\n";
    THeadlessScriptForms forms;
    Devices.ScriptForms = &forms;
    // The window's loop runs while the form is open; an idle call from there runs no frame.
    int turns = 0, nested = 0;
    forms.WhileOpen = [&] {
        const int64_t last = Form->Engine->LastFrameTime;
        FakeClock.Now += 100;
        Form->AppIdle();
        nested += Form->Engine->LastFrameTime != last;
        ++turns;
    };
    THeadlessScriptForms::TAnswer typed;
    typed.Text = "太郎";
    forms.Answer(typed);
    WriteGame();
    Open();
    Frames(3);
    ASSERT_EQ(forms.Shown.size(), 1u);
    EXPECT_EQ(forms.Shown[0].Caption, "テスト"_sj);  // the game's title
    EXPECT_GT(turns, 0);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(Encoding::SjisToUtf8(Form->Engine->GameScript->Evaluate("ResultStr[0]").Text), "太郎");
    EXPECT_GT(GameInt("frames"), 0);
    EXPECT_EQ(ErrorLines(), "");
}

// The title a script gives is the window's one title: the message forms of later words show it.
TEST_F(MainWindowTest, TheTitleAScriptGivesIsTheOneTheFormsShow) {
    Files["startup.s"] =
        "@@reset\r\n@@top\r\n\\scp,sys\r\n\\tc,\"新しい題\"\r\n\\scp,dlgs\r\n\\d1,\"本文\",\"\",\"OK\"\r\n"
        "@@loop\r\n\\wait,10\r\n\\jmp,@@loop\r\n";
    WriteGame();
    Open();
    Frames(3);
    EXPECT_EQ(Encoding::SjisToUtf8(Form->Title), "新しい題");
    ASSERT_EQ(Answers.Shown.size(), 1u);
    EXPECT_EQ(Encoding::SjisToUtf8(Answers.Shown[0].Caption), "新しい題");
    EXPECT_EQ(ErrorLines(), "");
}

TEST_F(MainWindowTest, IdleCallsDoNotNestAndMinimisingStopsFrames) {
    WriteGame();
    Open();
    Frames(1);
    // A form shown while the window is busy pumps events; an idle call from there runs no frame.
    int nested = 0;
    Modal.SetWhileModalHook([&] {
        const int64_t last = Form->Engine->LastFrameTime;
        FakeClock.Now += 100;
        Form->AppIdle();
        nested += Form->Engine->LastFrameTime != last;
    });
    Answers.Click(0);  // cancel
    Window.RequestClose();
    Modal.SetWhileModalHook(nullptr);
    EXPECT_EQ(Answers.Shown.size(), 1u);
    EXPECT_EQ(nested, 0);

    Window.SetMinimized(true);
    EXPECT_FALSE(Form->Engine->Active);
    const int64_t frames = GameInt("frames");
    for (int k = 0; k < 50; ++k) {
        FakeClock.Now += 20;
        Form->AppIdle();
    }
    EXPECT_EQ(GameInt("frames"), frames);
    Window.SetMinimized(false);
    EXPECT_TRUE(Form->Engine->Active);
    Frames(1);
    EXPECT_EQ(GameInt("frames"), frames + 1);
}

// The tray as the window hands things to it: the setting on every idle call, its menu with "表示",
// the minimise callback and the game's icon.
struct TRecordingTray final : public ITaskTray {
    void SetMode(int32_t mode) override { Modes.push_back(mode); }
    void Idle() override { ++Idles; }
    std::vector<int32_t> Modes;
    int Idles = 0;
};

TEST_F(MainWindowTest, TheTrayGetsTheSettingTheMenuAndTheMinimiseCallback) {
    WriteGame();
    GameFolder.SetFolder(Dir);
    Form = std::make_unique<TForm1>(Window, Devices);
    TRecordingTray* tray = nullptr;
    Form->CreateTray = [&] {
        auto made = std::make_unique<TRecordingTray>();
        tray = made.get();
        return made;
    };
    Window.Show();
    Form->AppIdle();
    ASSERT_NE(tray, nullptr);
    Form->Context.Config.Config.TaskTrayMode = 3;
    Frames(1);
    EXPECT_EQ(tray->Modes.back(), 3);
    EXPECT_GT(tray->Idles, 0);
    ASSERT_NE(tray->PopupMenu, nullptr);
    ASSERT_EQ(tray->PopupMenu->Items.size(), 1u);
    EXPECT_EQ(Encoding::SjisToUtf8(tray->PopupMenu->Items[0].Caption), "表示");

    // With a tray, its poll tells of minimising; the window's own event does not as well.
    Window.SetMinimized(true);
    EXPECT_TRUE(Form->Engine->Active);
    tray->OnMinimize(true);
    EXPECT_FALSE(Form->Engine->Active);
    // "表示" brings the window back; the poll then tells of it.
    tray->PopupMenu->Items[0].OnClick();
    EXPECT_FALSE(Window.IsMinimized);
    tray->OnMinimize(false);
    EXPECT_TRUE(Form->Engine->Active);
}

TEST_F(MainWindowTest, ADamagedEntryEndsTheGameAndDestructionCleansUp) {
    // The game script is stored plain, then one of its bytes changes after its checksum was taken.
    std::vector<PackWriter::TEntry> entries;
    for (const auto& [name, text] : Files)
        entries.push_back({name, Encoding::Utf8ToSjis(text), name != "startup.s", name != "startup.s"});
    std::vector<PackWriter::TStored> stored = PackWriter::StoreAll(entries);
    for (auto& e : stored)
        if (e.Name == "startup.s") e.Bytes[0] = '#';
    GameFixture::Write(Dir, {}, KEL_SYSTEMINFO_LIBRARY);
    std::ofstream(Dir + "/GameData/data0.pack", std::ios::binary)
        << PackWriter::Pack(stored, PackWriter::TVersion::V20);
    fs::create_directories(Dir + "/GameData/System");
    std::ofstream(Dir + "/GameData/System/config.txt") << "CRCCheck=1\r\n";
    fs::create_directories(Dir + "/SaveData");
    std::ofstream(Dir + "/SaveData/BackUpSaveData.svd") << "backup";

    Open();
    // The start reads the script, finds it damaged, says so once and ends the game at once: the
    // log names the entry, and nothing that would have read it goes on to miss it.
    EXPECT_EQ(DialogTexts(), std::vector<std::string>{"壊れています"});
    EXPECT_TRUE(Form->Ended());
    EXPECT_EQ(ErrorLines(), "[ERROR]:パックのデータが壊れています：startup.s\n");
    fs::remove(Dir + "/GameData/System/config.txt");
    Form.reset();
    EXPECT_FALSE(fs::exists(Dir + "/SaveData/BackUpSaveData.svd"));
    EXPECT_TRUE(fs::exists(Dir + "/GameData/System/config.txt"));
}

TEST_F(MainWindowTest, TheWindowTheInputAndTheDisplayTakeOneGameSize) {
    const struct {
        const char* Width;
        const char* Height;
        Viewport::TSize Size;
    } cases[] = {{"640", "0", {640, 600}}, {"99999", "480", {800, 480}}, {"-1", "5000", {800, 600}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Width) + " x " + c.Height);
        TearDown();
        SetUp();
        Files["System\\etc\\Game.dat"] =
            std::string("ScreenWidth=") + c.Width + "\r\nScreenHeight=" + c.Height + "\r\nConfigStartupSkip=TRUE\r\n";
        WriteGame();
        Open();
        ASSERT_EQ(Form->State, 1);
        EXPECT_EQ((Viewport::TSize{Display.Setup.Width, Display.Setup.Height}), c.Size);
        EXPECT_EQ(Window.Client, c.Size);
        EXPECT_EQ(Window.Source.GameSize(), c.Size);
    }
}

// A screen whose reset fails for want of memory; every whole-game reset resets the screens.
class TScreenOutOfMemory final : public IKelScreen {
public:
    void Reset() override { throw std::bad_alloc(); }
    void Open(int32_t) override {}
    int32_t Update(int32_t) override { return 1; }
    void Draw() override {}
    void Close() override {}
};

TEST_F(MainWindowTest, AFailedAllocationInTheStartOrTheExitDialogsResetEndsTheGameInOrder) {
    for (const bool atStart : {true, false}) {
        SCOPED_TRACE(atStart ? "the start" : "the exit dialog's reset");
        TearDown();
        SetUp();
        WriteGame();
        std::vector<std::string> reported;
        GameFolder.SetFolder(Dir);
        Form = std::make_unique<TForm1>(Window, Devices);
        Form->ReportLine = [&](const std::string& line) { reported.push_back(Encoding::SjisToUtf8(line)); };
        auto failing = [this] { Form->Engine->Menu = std::make_unique<TScreenOutOfMemory>(); };
        // The tray is made just before the start: the engine core is there, its game not begun.
        if (atStart)
            Form->CreateTray = [&]() -> std::unique_ptr<ITaskTray> {
                failing();
                return nullptr;
            };
        Window.Show();
        Form->AppIdle();
        if (!atStart) {
            Frames(1);
            failing();
            Answers.Click(1);  // "to the title"
            Window.RequestClose();
        }
        EXPECT_TRUE(Form->Terminated);
        EXPECT_TRUE(Form->EndedOnError());
        EXPECT_EQ(ErrorLines(), "[ERROR]:メモリが足りません。\n");
        EXPECT_EQ(reported, std::vector<std::string>{"[ERROR]:メモリが足りません。"});
        // The end is the orderly one: the settings are written as the form goes.
        fs::remove(Dir + "/GameData/System/config.txt");
        Form.reset();
        EXPECT_TRUE(fs::exists(Dir + "/GameData/System/config.txt"));
    }
}

TEST_F(MainWindowTest, WhyTheGameEndedOrStoppedIsReported) {
    std::vector<std::string> reported;
    auto open = [&] {
        reported.clear();
        GameFolder.SetFolder(Dir);
        Form = std::make_unique<TForm1>(Window, Devices);
        Form->ReportLine = [&](const std::string& line) { reported.push_back(Encoding::SjisToUtf8(line)); };
        Window.Show();
        Form->AppIdle();
    };
    // A library that cannot be loaded: its dialog names the file the binding looked for, a ".so"
    // where the game names a ".dll".
    WriteGame(false);
    open();
    const std::string tried = Dir + "/DLL/SystemInfo.so: no such library";
    EXPECT_EQ(DialogTexts(), std::vector<std::string>{"情報なし\r\n" + tried});
    EXPECT_EQ(reported, std::vector<std::string>{"情報なし (" + tried + ")"});
    EXPECT_TRUE(Form->EndedOnError());

    // Without a message table the dialog shows nothing; the report names the message's key.
    TearDown();
    SetUp();
    Answers.Shown.clear();
    Files.erase("System\\etc\\Message.txt");
    WriteGame(false);
    open();
    EXPECT_TRUE(Answers.Shown.empty());
    EXPECT_EQ(reported,
              std::vector<std::string>{"SystemInfoDLLERROR (" + Dir + "/DLL/SystemInfo.so: no such library)"});

    // A script error that stops the game: the error log's lines, once, however long the error
    // screen stays; a reset and a new stop report again.
    TearDown();
    SetUp();
    Files["startup.s"] = "@@reset\r\n@@top\r\n\\nosuchword\r\n\\wait,10\r\n";
    WriteGame();
    open();
    Frames(5);
    ASSERT_EQ(Form->Engine->ErrorState, KelSystemLib::kErrorStateOn);
    EXPECT_EQ(reported.size(), static_cast<size_t>(Form->Context.Log.ErrorList.Count()));
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported[0], Encoding::SjisToUtf8(Form->Context.Log.ErrorList[0]));
    EXPECT_TRUE(Form->EndedOnError());
    Form->Engine->Reset("", "");
    Frames(3);
    EXPECT_EQ(reported.size(), 2 * static_cast<size_t>(Form->Context.Log.ErrorList.Count()));
}

TEST_F(MainWindowTest, AnEndSignalsEndClosesWithoutAskingAndSavesTheSettings) {
    WriteGame();
    Open();
    Frames(1);
    fs::remove(Dir + "/GameData/System/config.txt");
    Form->EndInOrder();
    EXPECT_TRUE(Form->Closed);
    EXPECT_TRUE(Answers.Shown.empty());
    EXPECT_FALSE(Form->EndedOnError());
    Form.reset();
    EXPECT_TRUE(fs::exists(Dir + "/GameData/System/config.txt"));
}

TEST_F(MainWindowTest, AMillionCharacterErrorLineDrawsAsFastAsAShortOne) {
    // The error names the variable, a million characters long.
    Files["startup.s"] = "@@reset\r\n@@top\r\n\\gvar,int,a\r\n\\cal,a=" + std::string(1000000, 'x') + "\r\n";
    WriteGame();
    TFreeTypeFonts fonts;  // the error screen's lines are drawn in an installed face
    Devices.Fonts = &fonts;
    Open();
    Frames(2);
    ASSERT_EQ(Form->Engine->ErrorState, KelSystemLib::kErrorStateOn);
    const auto& lines = Form->Context.Log.ErrorList.Items;
    const auto longest =
        std::max_element(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
    ASSERT_GT(longest->size(), 1000000u);  // the error screen has the whole line to draw
    // Drawn whole, one such line took seconds a frame.
    const auto start = std::chrono::steady_clock::now();
    Frames(10);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    // What is drawn still reaches the window's right edge.
    const int top = 150 + 12 * static_cast<int>(longest - lines.begin());
    const std::vector<uint32_t> pixels = Display.Pixels();
    int ink = 0;
    for (int y = top; y < top + 12; ++y)
        for (int x = 600; x < 640; ++x)
            ink += (pixels[static_cast<size_t>(y) * 640 + x] & 0xFFFFFF) != 0;
    EXPECT_GT(ink, 0);
    Form.reset();  // before the faces go
}

}  // namespace
