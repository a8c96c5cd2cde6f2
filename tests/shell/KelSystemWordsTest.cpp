// The engine core as the program and the headless runner set it up: its interpreters understand
// the words of the effect, back-log, camera, sound and movie objects, and share the back-log store
// it owns.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/ErrorLogLib.h"
#include "media/uSoundLib.h"
#include "objects/KelCameraLib.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelLogdataLib.h"
#include "platform/Encoding.h"
#include "shell/HeadlessRunner.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace {

TEST(KelSystemWordsTest, TheInterpretersOfAHeadlessRunKnowTheObjectWords) {
    const std::string dir = TestData::ScratchDir();
    std::filesystem::create_directories(dir + "/GameData");
    const char* script =
        "@@reset\r\n@@top\r\n"
        "\\scp,log\r\n\\t,a,b,c,1,2\r\n"
        "\\scp,eff\r\n\\bg,0x123456\r\n"
        "\\scp,cam\r\n\\p,3,4,0\r\n"
        "\\scp,show\r\n\\pp,5,6\r\n"
        "\\scp,snd[2]\r\n\\t,1\r\n"
        "\\scp,dsnd[1]\r\n\\v,77\r\n"
        "\\wait,100000000\r\n";
    const std::vector<PackWriter::TEntry> entries = {
        {"System\\etc\\Game.dat", "GameTitle=w\r\nScreenWidth=64\r\nScreenHeight=48\r\nConfigStartupSkip=TRUE\r\n"},
        {"System\\etc\\Message.txt", "OK=OK\r\n"},
        {"startup.s", script},
    };
    std::ofstream(dir + "/GameData/data0.pack", std::ios::binary)
        << PackWriter::Pack(entries, PackWriter::TVersion::V20);
    {
        THeadlessGame game;
        std::string error;
        ASSERT_TRUE(game.Open(dir, error)) << error;
        game.Run(2);
        TKelSystem& engine = *game.Engine;
        EXPECT_EQ(ErrorLogLib::ErrorList.Count(), 0) << Encoding::SjisToUtf8(ErrorLogLib::ErrorList[0]);
        ASSERT_NE(engine.LogData, nullptr);
        EXPECT_EQ(engine.LogData->Count, 1);
        EXPECT_EQ(engine.GameScript->Links.BackLog, engine.LogData.get());
        EXPECT_EQ(engine.SystemScript->Links.BackLog, engine.LogData.get());
        EXPECT_EQ(KelGraphicLib::GraphicOf(*engine.GameScript)->Record.BackColor, 0xFF123456u);
        EXPECT_EQ(KelGraphicLib::CameraOf(*engine.GameScript)->TargetX, 3);
        EXPECT_EQ(game.Movie()->State().Left, 5);
        EXPECT_EQ(engine.Sound->Library()->SSound->Record(2).Group, 1u);
        EXPECT_EQ(engine.Sound->Library()->DSound->Record(1).Volume, 77);
        // A reset of the whole game empties the back-log.
        engine.Reset("", "");
        EXPECT_EQ(engine.LogData->Count, 0);
    }
}

}  // namespace
