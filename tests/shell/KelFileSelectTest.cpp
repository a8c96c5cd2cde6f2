// The save and load screens on a game started headless: the slots of a page and their texts, the
// page kept between openings, choosing, exchanging and moving, the cancels, the newest save's mark,
// the failures of an exchange and of a save with every file left whole; the quick-save ring and
// the quick-load window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "foundation/SystemConfigLib.h"
#include "platform/FileSystem.h"
#include "script/KelSaveData.h"
#include "shell/HeadlessRunner.h"
#include "shell/KelFileSelect.h"
#include "shell/KelQuickLoad.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/GameFixture.h"
#include "tests/support/TestData.h"

using namespace KelSystemLib;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;

const char* kStartup =
    "@@reset\r\n@@top\r\n\\scp,eff\r\n\\bg,$FF204080\r\n\\scp,sys\r\n\\lk,0\r\n"
    "@@idle\r\n\\wait,1000\r\n\\jmp,@@idle\r\n";

// Where each button of the layout lies (16 x 16 each), by its action.
const std::map<std::string, std::pair<int, int>> kPlaces = {
    {"data0", {0, 0}},    {"data1", {20, 0}},      {"data2", {40, 0}},      {"data3", {60, 0}},
    {"data4", {80, 0}},   {"data5", {100, 0}},     {"page0", {0, 20}},      {"page2", {20, 20}},
    {"page3", {40, 20}},  {"open", {60, 20}},      {"delete", {80, 20}},    {"selectcancel", {100, 20}},
    {"cancel", {0, 40}},  {"quicksave", {20, 40}}, {"quickload", {40, 40}}, {"select", {60, 40}},
    {"page16", {80, 40}}, {"page02", {100, 40}},   {"data16", {0, 60}},     {"data05", {20, 60}},
    {"data6", {40, 60}},
};

std::string Layout(int32_t mode, int32_t pageDataCount) {
    std::string s = "mode=" + std::to_string(mode) + "\r\nPageDataCount=" + std::to_string(pageDataCount) +
                    "\r\nButtonCount=" + std::to_string(kPlaces.size()) +
                    "\r\nImageCount=2\r\nBlendColor=$80000000\r\nBeginMuteTime=100\r\nClickMuteTime=50\r\n"
                    "EndMuteTime=300\r\nFileExistsText=%%%no:%%%4y-%%%mm-%%%dd %%%name0\r\n"
                    "FileEmptyExistsText=%%%no:empty\r\nFileSelectText=sel %%%no\r\nFileEmptySelectText=sel "
                    "%%%no empty\r\nNoData=nodata.png\r\nnewimg.filename=mark.png\r\n"
                    "img[0].Action=data0\r\nimg[0].Filename=thumb.b\r\nimg[0].Position=120,0,5\r\n"
                    "img[1].Action=select\r\nimg[1].Filename=thumb.b\r\nimg[1].Position=120,40,5\r\n";
    int i = 0;
    for (const auto& [action, place] : kPlaces) {
        const std::string b = "btn[" + std::to_string(i++) + "].";
        s += b + "Action=" + action + "\r\n" + b + "Filename=button.b\r\n" + b +
             "Position=" + std::to_string(place.first) + "," + std::to_string(place.second) + ",10\r\n" + b +
             "TextSize=0,0,16,16\r\n";
    }
    return s;
}

class KelFileSelectTest : public ::testing::Test {
protected:
    void Start(std::map<std::string, std::string> texts) {
        texts.emplace("System\\etc\\Game.dat",
                      "ScreenWidth=160\r\nScreenHeight=120\r\nFPSLimit=40\r\nCodeKey=$123456\r\nQuickSaveCount=8\r\n");
        texts.emplace("startup.s", kStartup);
        const std::string button = AnimationBmpWriter::Write(
            AnimationFixtures::StateFile(16, 16, {AnimationFixtures::SolidPng(16, 16, kWhite)}));
        GameFixture::Write(Dir, texts, "",
                           {{"System\\FileSelect\\button.b", button},
                            {"System\\FileSelect\\thumb.b", button},
                            {"System\\FileSelect\\nodata.png", AnimationFixtures::SolidPng(4, 4, 0xFF00FF00)},
                            {"System\\FileSelect\\mark.png", AnimationFixtures::SolidPng(4, 4, kWhite)}});
        std::string error;
        ASSERT_TRUE(Game.Open(Dir, error)) << error;
        Game.Run(20);
        ASSERT_EQ(Game.Form->Context.Log.ErrorList.Count(), 0) << Game.Report();
        for (const char* key : {"OVERSAVE_Text", "OVERSAVE_Yes", "OVERSAVE_No", "DELETE_Text", "DELETE_Yes",
                                "DELETE_No", "NOSELECT_Text", "NOFILEOPEN_Text", "NOFILEDELETE_Text",
                                "DeleteSaveFileError", "SwapSaveFileError", "WriteSaveFileError", "OK"})
            Game.Form->Context.Config.MessageTable.SetValue(key, key);
    }
    void TearDown() override {
        KelFileSelect::SetRenameCall(OldRename);
        FileSystem::SetSyncCall(OldSync);
        Game.Close();
    }

    TKelSystem& Engine() { return *Game.Engine; }
    TKelScript& GameScript() { return *Engine().GameScript; }
    TKelFileselect& Screen() { return static_cast<TKelFileselect&>(*Engine().FileSelect); }

    // Opens the screen and runs past its begin mute time.
    void Open(int32_t kind) {
        Screen().Open(kind);
        Step(100);
    }
    int32_t Step(int32_t ms) {
        GameScript().Links.Input->Update();
        return Screen().Update(ms);
    }
    int32_t Tap(uint8_t vk, int32_t ms = 10) {
        Game.Source.Press(vk);
        Step(ms);
        Game.Source.Release(vk);
        return Step(ms);
    }
    int32_t Click(const std::string& action) {
        const auto& [x, y] = kPlaces.at(action);
        Game.Source.PointerAt = {x + 8, y + 8};
        return Tap(1);
    }
    TButtonLib& Button(const std::string& action) {
        for (auto& b : Screen().Buttons)
            if (b->UserString(0) == action) return *b;
        throw std::runtime_error("no button " + action);
    }
    // The button's text without the window's settings the text starts with.
    std::string TextOf(const std::string& action) {
        const std::string& text = Button(action).MainText;
        const size_t end = text.rfind(']');
        return end == std::string::npos ? text : text.substr(end + 1);
    }
    std::vector<std::string> Dialogs() {
        std::vector<std::string> texts;
        for (const auto& shown : Game.Answers.Shown)
            texts.push_back(shown.Text);
        Game.Answers.Shown.clear();
        return texts;
    }

    // A save file with the date, the first description and a body that tells it apart.
    void WriteSave(const std::string& name, double date, const std::string& body = "x",
                   const std::string& description = "") {
        TKelSaveData save(Game.Form->Context.Config.Config.CodeKey);
        save.SetHeader({description, "", "", ""}, "");
        save.Header.Date = date;
        TMemoryStream bytes(body);
        save.SetBody(bytes);
        ASSERT_TRUE(save.SaveToFile(Game.Files, KelSaveData::SaveFilePath(name), true, false));
    }
    std::string Read(const std::string& name) {
        std::string bytes;
        Game.Files.ReadFile(KelSaveData::SaveFilePath(name), bytes);
        return bytes;
    }

    void SetUp() override {
        // The calls in force, for TearDown to put back after a test that replaced them.
        OldRename = KelFileSelect::SetRenameCall(nullptr);
        KelFileSelect::SetRenameCall(OldRename);
        OldSync = FileSystem::SetSyncCall(nullptr);
        FileSystem::SetSyncCall(OldSync);
    }

    KelFileSelect::TRenameCall OldRename = nullptr;
    FileSystem::TSyncCall OldSync = nullptr;
    std::string Dir = TestData::ScratchDir();
    THeadlessGame Game;
};

// 2026-12-11 09:30:05 (made when first asked: the calendar's constants are other statics).
double Day() {
    return KelSaveData::EncodeDate(2026, 12, 11, 9, 30, 5);
}

TEST_F(KelFileSelectTest, SlotsOfALaterPageShowTheirNumbersAndThePageIsKept) {
    Start({{"System\\FileSelect\\SaveLayout.dat", Layout(0, 6)}});
    WriteSave("SaveData12.svd", Day(), "x", "first");
    Open(0);
    EXPECT_EQ(TextOf("data0"), "1:empty");
    EXPECT_TRUE(Button("page0").IsLocked());
    Click("page2");
    EXPECT_EQ(Screen().Page, 2);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Screen().SlotNumbers[static_cast<size_t>(i)], 12 + i);
        EXPECT_EQ(Screen().SlotFiles[static_cast<size_t>(i)], "SaveData\\SaveData" + std::to_string(12 + i) + ".svd");
    }
    EXPECT_EQ(TextOf("data0"), "13:2026-12-11 first");
    EXPECT_EQ(TextOf("data5"), "18:empty");
    EXPECT_TRUE(Button("page2").IsLocked());
    EXPECT_FALSE(Button("page0").IsLocked());
    // The save is the newest: its button carries the mark.
    EXPECT_TRUE(Screen().NewMark->IsEnabled());
    EXPECT_EQ(Screen().NewMark->GetZ(), Button("data0").GetZ() + 100);
    // "data6" lies beyond the page's six slots: empty and locked.
    EXPECT_EQ(TextOf("data6"), ":empty");
    EXPECT_TRUE(Button("data6").IsLocked());

    // Numbers above 15 and leading zeros name nothing: those buttons neither turn the page nor
    // select a slot.
    for (const char* action : {"page16", "page02", "data16", "data05"}) {
        SCOPED_TRACE(action);
        EXPECT_EQ(Click(action), 0);
        EXPECT_EQ(Screen().Page, 2);
        EXPECT_TRUE(Screen().SelectedFile.empty());
    }

    // Cancelled and opened again (also as the other screen): the same page.
    EXPECT_EQ(Click("cancel"), 0);
    EXPECT_EQ(Step(50), -1);
    Screen().Close();
    Open(0);
    EXPECT_EQ(Screen().Page, 2);
    EXPECT_EQ(TextOf("data0"), "13:2026-12-11 first");
}

TEST_F(KelFileSelectTest, ASlotIsSelectedThenChosenAndAnOverwriteAsksFirst) {
    Start({{"System\\FileSelect\\SaveLayout.dat", Layout(0, 6)}});
    WriteSave("SaveData1.svd", Day());
    Open(0);
    EXPECT_TRUE(Button("open").IsLocked());
    EXPECT_EQ(Click("data0"), 0);
    EXPECT_EQ(Screen().SelectedFile, "SaveData\\SaveData0.svd");
    EXPECT_TRUE(Button("data0").IsChecked());
    EXPECT_EQ(TextOf("select"), "sel 1 empty");
    EXPECT_FALSE(Button("open").IsLocked());
    // Clicked again: chosen, reported after the click mute time.
    EXPECT_EQ(Click("data0"), 0);
    EXPECT_EQ(Screen().Result, 1);
    EXPECT_EQ(Step(50), 1);
    EXPECT_EQ(Screen().FileName(), "SaveData0.svd");
    EXPECT_EQ(Screen().EventLabel(), "*OnSave");
    EXPECT_EQ(Screen().NewestFile, "SaveData\\SaveData0.svd");
    EXPECT_TRUE(Dialogs().empty());

    // Onto a file that exists: the question; "no" drops the selection and the screen stays.
    Open(0);
    Click("data1");
    EXPECT_EQ(TextOf("select"), "sel 2");
    Game.Answers.Click(1);
    Click("data1");
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"OVERSAVE_Text"});
    EXPECT_EQ(Screen().Result, 0);
    EXPECT_TRUE(Screen().SelectedFile.empty());
    // "yes" through the "open" button.
    Click("data1");
    Game.Answers.Click(0);
    Click("open");
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"OVERSAVE_Text"});
    EXPECT_EQ(Step(50), 1);
    EXPECT_EQ(Screen().FileName(), "SaveData1.svd");
}

TEST_F(KelFileSelectTest, TheLoadScreenRefusesMissingFilesAndDeletesWithAQuestion) {
    Start({{"System\\FileSelect\\LoadLayout.dat", Layout(1, 6)}});
    WriteSave("SaveData2.svd", Day());
    Open(1);
    Click("data0");
    // Loading needs the file: "open" stays locked, and a second click on the slot is refused.
    EXPECT_TRUE(Button("open").IsLocked());
    EXPECT_TRUE(Button("delete").IsLocked());
    Click("data0");
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"NOFILEOPEN_Text"});
    EXPECT_TRUE(Screen().SelectedFile.empty());
    // Layout "mode" 1: another slot moves the selection.
    Click("data1");
    Click("data2");
    EXPECT_EQ(Screen().SelectedFile, "SaveData\\SaveData2.svd");
    EXPECT_FALSE(Button("data1").IsChecked());
    EXPECT_FALSE(Button("delete").IsLocked());
    Game.Answers.Click(1);  // keep it
    Click("delete");
    EXPECT_TRUE(TKelScript::SaveFileExists(Game.Files, "SaveData2.svd"));
    Click("data2");
    Game.Answers.Click(0);
    Click("delete");
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{"DELETE_Text", "DELETE_Text"}));
    EXPECT_FALSE(TKelScript::SaveFileExists(Game.Files, "SaveData2.svd"));
    EXPECT_TRUE(Screen().SelectedFile.empty());
    Click("data3");
    Click("data3");
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"NOFILEOPEN_Text"});
    WriteSave("SaveData4.svd", Day());
    Click("data4");
    EXPECT_EQ(Click("open"), 0);
    EXPECT_EQ(Step(50), 1);
    EXPECT_EQ(Screen().FileName(), "SaveData4.svd");
    EXPECT_EQ(Screen().EventLabel(), "*OnLoad");
}

TEST_F(KelFileSelectTest, ASecondSlotExchangesTheFilesAlsoAcrossPages) {
    Start({{"System\\FileSelect\\SaveLayout.dat", Layout(0, 6)}});
    WriteSave("SaveData0.svd", Day(), "zero");
    WriteSave("SaveData13.svd", Day() + 1, "thirteen");
    const std::string zero = Read("SaveData0.svd"), thirteen = Read("SaveData13.svd");
    Open(0);
    Click("data0");
    Click("page2");  // the selection stays with "mode" 0
    EXPECT_EQ(Screen().SelectedFile, "SaveData\\SaveData0.svd");
    Click("data1");
    EXPECT_EQ(Read("SaveData13.svd"), zero);
    EXPECT_EQ(Read("SaveData0.svd"), thirteen);
    EXPECT_TRUE(Screen().SelectedFile.empty());
    // With one of the two missing the other moves; nothing else is left in the folder.
    Click("data1");
    Click("data2");
    EXPECT_FALSE(TKelScript::SaveFileExists(Game.Files, "SaveData13.svd"));
    EXPECT_EQ(Read("SaveData14.svd"), zero);
    EXPECT_EQ(Game.Files.ListFiles("SaveData", "SaveData*").size(), 2u);
    EXPECT_TRUE(Dialogs().empty());
}

// Renames that fail at a given call (1 = the first), counting every call.
int RenameCalls = 0, FailAt = 0;
bool FailingRename(const TFileRoot& root, std::string_view from, std::string_view to) {
    return ++RenameCalls != FailAt && root.RenameFile(from, to);
}

TEST_F(KelFileSelectTest, AFailedExchangeLeavesBothFilesWhole) {
    Start({{"System\\FileSelect\\SaveLayout.dat", Layout(0, 6)}});
    WriteSave("SaveData0.svd", Day(), "zero");
    WriteSave("SaveData1.svd", Day(), "one");
    const std::string zero = Read("SaveData0.svd"), one = Read("SaveData1.svd");
    KelFileSelect::SetRenameCall(FailingRename);
    struct TCase {
        int FailAt;
        bool OnlyFirst;  // slot 1 is missing
        std::vector<std::string> Dialogs;
    } cases[] = {
        {1, false, {"DeleteSaveFileError", "SwapSaveFileError"}},  // the first file out of the way
        {2, false, {"DeleteSaveFileError", "SwapSaveFileError"}},  // the second into its place
        {3, false, {"WriteSaveFileError", "SwapSaveFileError"}},   // the first into the second's
        {1, true, {"DeleteSaveFileError", "SwapSaveFileError"}},
        {2, true, {"WriteSaveFileError", "SwapSaveFileError"}},
    };
    Open(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.FailAt << (c.OnlyFirst ? " one file" : " two files"));
        if (c.OnlyFirst) Game.Files.DeleteFile(KelSaveData::SaveFilePath("SaveData1.svd"));
        RenameCalls = 0;
        FailAt = c.FailAt;
        Click("data0");
        Click("data1");
        EXPECT_EQ(Dialogs(), c.Dialogs);
        EXPECT_EQ(Read("SaveData0.svd"), zero);
        EXPECT_EQ(Read("SaveData1.svd"), c.OnlyFirst ? std::string() : one);
        EXPECT_EQ(Game.Files.ListFiles("SaveData", "SaveData*").size(), c.OnlyFirst ? 1u : 2u);
        EXPECT_TRUE(Screen().SelectedFile.empty());
    }
}

int FailSync(int) {
    return -1;
}

TEST_F(KelFileSelectTest, AFailedSaveKeepsTheOldFileAndTellsThePlayer) {
    Start({{"System\\FileSelect\\SaveLayout.dat", Layout(0, 6)}});
    WriteSave("SaveData0.svd", Day(), "old");
    const std::string old = Read("SaveData0.svd");
    // Through the engine core: the save screen chooses slot 0 over its file, the save fails.
    Engine().DoRequest(srSave, "");
    ++Engine().FramesInMode;
    Game.Run(1);  // opens
    Game.Run(5);
    FileSystem::SetSyncCall(FailSync);
    Game.Answers.Click(0);  // overwrite
    Game.Source.PointerAt = {8, 8};
    for (int i = 0; i < 2; ++i) {
        Game.Source.Press(1);
        Game.Run(1);
        Game.Source.Release(1);
        Game.Run(1);
    }
    Game.Run(5);
    EXPECT_EQ(Engine().Mode, kmGameScript);
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{"OVERSAVE_Text", "WriteSaveFileError"}));
    EXPECT_EQ(Read("SaveData0.svd"), old);
    EXPECT_EQ(GameScript().PendingCursorLabel, "");
    // A quick save that fails the same way: the ring's file is not there afterwards.
    Engine().QuickSave();
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"WriteSaveFileError"});
    EXPECT_FALSE(TKelScript::SaveFileExists(Game.Files, "QuickSaveData0.svd"));
}

TEST_F(KelFileSelectTest, RightClicksAndEnterCancelAfterDroppingTheSelection) {
    Start({{"System\\FileSelect\\SaveLayout.dat", Layout(0, 6)}});
    for (uint8_t key : {uint8_t{2}, uint8_t{13}}) {
        SCOPED_TRACE(int{key});
        Open(0);
        Click("data0");
        ASSERT_FALSE(Screen().SelectedFile.empty());
        EXPECT_EQ(Tap(key), 0);
        EXPECT_TRUE(Screen().SelectedFile.empty());
        EXPECT_EQ(Screen().Result, 0);
        EXPECT_EQ(Tap(key), 0);  // Enter never opens anything: the screen leaves
        EXPECT_EQ(Screen().Result, -1);
        EXPECT_FALSE(Button("cancel").IsEnabled());  // the items play their disable motions
        EXPECT_EQ(Step(200), 0);
        EXPECT_EQ(Step(100), -1);
        Screen().Close();
    }
    // The "cancel" button leaves after the click mute time, its items still enabled.
    Open(0);
    Click("cancel");
    EXPECT_TRUE(Button("data0").IsEnabled());
    EXPECT_EQ(Step(50), -1);
}

TEST_F(KelFileSelectTest, TheNewestSaveIsMarkedAndSoughtOnlyWhenNeeded) {
    Start({{"System\\FileSelect\\SaveLayout.dat", Layout(0, 6)}});
    Open(0);
    // No save at all: no mark, and the answer is kept.
    EXPECT_EQ(Screen().NewestFile, "none");
    EXPECT_FALSE(Screen().NewMark->IsEnabled());
    WriteSave("SaveData3.svd", Day());
    Screen().ShowPage("*Continue");
    EXPECT_EQ(Screen().NewestFile, "none");
    // Emptied (as a delete of the newest does): sought again. Equal dates: the higher slot wins.
    WriteSave("SaveData5.svd", Day());
    WriteSave("SaveData1.svd", Day() - 1);
    Screen().NewestFile.clear();
    Screen().ShowPage("*Continue");
    EXPECT_EQ(Screen().NewestFile, "SaveData\\SaveData5.svd");
    EXPECT_EQ(Screen().NewMark->GetAnchorX(0), Button("data5").GetAnchorX(0));
}

TEST_F(KelFileSelectTest, ABadLayoutGivesAnEmptyScreenTheKeysLeave) {
    Start({{"System\\FileSelect\\LoadLayout.dat", "PageDataCount=40\r\nButtonCount=0\r\n"}});
    Open(0);  // no save layout
    EXPECT_TRUE(Screen().Opened);
    EXPECT_TRUE(Screen().Buttons.empty());
    ASSERT_EQ(Game.Form->Context.Log.ErrorList.Count(), 1);
    EXPECT_NE(Game.Form->Context.Log.ErrorList[0].find("SaveLayout.dat"), std::string::npos);
    EXPECT_EQ(Tap(27), -1);
    Screen().Close();
    // A count of slots above the lists' 32 is cut to them.
    Open(1);
    EXPECT_EQ(Screen().PageDataCount, 32);
    EXPECT_EQ(Screen().SlotFiles[31], "SaveData\\SaveData31.svd");
}

TEST_F(KelFileSelectTest, QuickButtonsChooseTheRingsFiles) {
    Start({{"System\\FileSelect\\SaveLayout.dat", Layout(0, 6)},
           {"System\\QuickSaveLoad\\Layout.dat", "FileExistsText=%%%no %%%hh:%%%nn\r\nFileEmptyText=%%%no -\r\n"}});
    WriteSave("QuickSaveData0.svd", Day());
    Open(0);
    Click("quicksave");
    EXPECT_EQ(Step(50), 1);
    EXPECT_EQ(Screen().FileName(), "QuickSaveData1.svd");
    EXPECT_EQ(Screen().EventLabel(), "*OnQuickSave");
    // The quick-load window: a line chosen and loaded. Cancelled, the selection goes.
    Open(0);
    Game.Forms.Set("FileListBox", 0);
    Game.Forms.Click("OkButton");
    Click("quickload");
    EXPECT_EQ(Step(50), 1);
    EXPECT_EQ(Screen().FileName(), "QuickSaveData0.svd");
    EXPECT_EQ(Screen().EventLabel(), "*OnQuickLoad");
    Open(0);
    Click("data0");
    Click("quickload");  // no action queued: the window is cancelled
    EXPECT_EQ(Screen().Result, 0);
    EXPECT_TRUE(Screen().SelectedFile.empty());
}

// ---- the quick-save ring and the quick-load window ----

TEST_F(KelFileSelectTest, TheRingFillsMissingSlotsThenOverwritesTheOldest) {
    Start({});
    EXPECT_EQ(KelQuickLoad::NextQuickSaveFile(Game.Files, Game.Form->Context.Config.Config), "QuickSaveData0.svd");
    for (int i = 0; i < 3; ++i)
        WriteSave(KelQuickLoad::QuickSaveName(i), Day() + i);
    EXPECT_EQ(KelQuickLoad::NextQuickSaveFile(Game.Files, Game.Form->Context.Config.Config), "QuickSaveData3.svd");
    for (int i = 3; i < 8; ++i)
        WriteSave(KelQuickLoad::QuickSaveName(i), Day() + i);
    // All eight: the oldest, then, once it is newer, the next oldest; equal dates, the lowest slot.
    EXPECT_EQ(KelQuickLoad::NextQuickSaveFile(Game.Files, Game.Form->Context.Config.Config), "QuickSaveData0.svd");
    WriteSave("QuickSaveData0.svd", Day() + 10);
    EXPECT_EQ(KelQuickLoad::NextQuickSaveFile(Game.Files, Game.Form->Context.Config.Config), "QuickSaveData1.svd");
    WriteSave("QuickSaveData4.svd", Day() + 1);
    EXPECT_EQ(KelQuickLoad::NextQuickSaveFile(Game.Files, Game.Form->Context.Config.Config), "QuickSaveData1.svd");
    // A file that does not read is passed over, also when it is the oldest.
    Game.Files.WriteFileReplace(KelSaveData::SaveFilePath("QuickSaveData1.svd"), "damaged");
    EXPECT_EQ(KelQuickLoad::NextQuickSaveFile(Game.Files, Game.Form->Context.Config.Config), "QuickSaveData4.svd");
    Game.Form->Context.Config.Config.QuickSaveCount = 0;
    EXPECT_EQ(KelQuickLoad::NextQuickSaveFile(Game.Files, Game.Form->Context.Config.Config), "");
}

TEST_F(KelFileSelectTest, TheQuickLoadListRunsNewestFirst) {
    Start({{"System\\QuickSaveLoad\\Layout.dat",
            "FormCaption=QL\r\nOkButton=Load\r\nFileExistsText=%%%no %%%yy/%%%mm/%%%dd %%%hh:%%%nn:%%%ss "
            "%%%NAME0\r\nFileEmptyText=%%%no - %%%4y\r\n"}});
    Game.Form->Context.Config.Config.QuickSaveCount = 4;
    WriteSave("QuickSaveData0.svd", Day(), "x", "a");
    WriteSave("QuickSaveData2.svd", Day() + 1, "x", "b");
    Game.Files.WriteFileReplace(KelSaveData::SaveFilePath("QuickSaveData3.svd"), "damaged");
    TQuickLoadForm form(Game.Files, Game.Form->Context.Config.Config, Game.Form->Context.Packs, &Game.Forms, nullptr);
    // The empty line cannot be chosen: OK stays disabled and a double click does nothing.
    Game.Forms.Set("FileListBox", 3);
    Game.Forms.Click("FileListBox");
    Game.Forms.Click("OkButton");
    // The newest line: a double click chooses it.
    Game.Forms.Set("FileListBox", 0);
    Game.Forms.Click("FileListBox");
    form.ShowModal();
    EXPECT_EQ(form.Form.Caption, "QL");
    EXPECT_EQ(form.Form[form.OkButton].Caption, "Load");
    EXPECT_EQ(form.Form[form.FileListBox].Items,
              (std::vector<std::string>{"1 26/12/12 09:30:05 b", "2 26/12/11 09:30:05 a", "3 - %%%4y", "4 - 1899"}));
    EXPECT_EQ(form.ChosenFile, "QuickSaveData2.svd");
    EXPECT_EQ(Game.Forms.Shown.back().Caption, "QL");
    EXPECT_EQ(Game.Forms.Shown.back().Refused, std::vector<std::string>{"click OkButton"});
    // A press below the lines drops the selection; closed by its close box, nothing is chosen.
    TQuickLoadForm again(Game.Files, Game.Form->Context.Config.Config, Game.Form->Context.Packs, &Game.Forms, nullptr);
    Game.Forms.Set("FileListBox", 1);
    Game.Forms.Set("FileListBox", -1);
    Game.Forms.Click("OkButton");
    again.ShowModal();
    EXPECT_EQ(again.ChosenFile, "");
    EXPECT_EQ(Game.Forms.Shown.back().ClosedBy, "CancelButton");
    // Without forms to show it on, nothing is chosen.
    TQuickLoadForm none(Game.Files, Game.Form->Context.Config.Config, Game.Form->Context.Packs, nullptr, nullptr);
    none.ShowModal();
    EXPECT_EQ(none.ChosenFile, "");
}

TEST(KelQuickLoadFormat, DatesOutsideTheCalendarFormatEmpty) {
    TKelSaveHeader header;
    header.Descriptions = {"d0", "d1", "d2", "d3"};
    header.Excerpt = "ex";
    const std::string format = "[%%%4y/%%%MM/%%%dd %%%hh:%%%nn:%%%ss %%%yy|%%%name0%%%name3|%%%TEXT]";
    struct TCase {
        double Date;
        const char* Text;
    } cases[] = {
        {KelSaveData::EncodeDate(2001, 2, 3, 4, 5, 6), "[2001/02/03 04:05:06 01|d0d3|ex]"},
        {0, "[1899/12/30 00:00:00 99|d0d3|ex]"},
        {std::numeric_limits<double>::quiet_NaN(), "[// :: |d0d3|ex]"},
        {std::numeric_limits<double>::infinity(), "[// :: |d0d3|ex]"},
        {1e300, "[// :: |d0d3|ex]"},
        {-1e9, "[// :: |d0d3|ex]"},
    };
    for (const auto& c : cases) {
        header.Date = c.Date;
        EXPECT_EQ(KelQuickLoad::FormatSaveSlotText(format, &header), c.Text) << c.Date;
    }
    EXPECT_EQ(KelQuickLoad::FormatSaveSlotText(format, nullptr), format);
}

}  // namespace
