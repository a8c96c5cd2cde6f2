// The engine's virtual files as every reader meets them, through the pack layer of a game started
// headless: snapshots of the interpreters' screens, the thumbnails of save files, and disk files
// imported by path.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "foundation/PackLib.h"
#include "objects/KelGraphicLib.h"
#include "script/KelSaveData.h"
#include "shell/HeadlessRunner.h"
#include "shell/KelVirtualFiles.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/GameFixture.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBack = 0xFF000040, kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// Red on layer 10 at (0, 0), green on layer 20 at (16, 12) over part of it, the wait cursor (blue)
// at (52, 38).
const char* kStartup =
    "@@reset\r\n@@top\r\n\\gvar,img,a,b\r\n\\scp,eff\r\n\\bg,$FF000040\r\n"
    "\\scp,a\r\n\\l,\"image\\red.png\"\r\n\\p,0,0,10,0\r\n\\e\r\n"
    "\\scp,b\r\n\\l,\"image\\green.png\"\r\n\\p,16,12,20,0\r\n\\e\r\n"
    "\\scp,csr\r\n\\l,\"image\\blue.png\"\r\n\\e\r\n\\p,52,38,0,0\r\n"
    "@@idle\r\n\\wait,1000\r\n\\jmp,@@idle\r\n";

class KelVirtualFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        using AnimationFixtures::SolidPng;
        GameFixture::Write(
            Dir,
            {{"System\\etc\\Game.dat", "ScreenWidth=64\r\nScreenHeight=48\r\nThumWidth=16\r\nThumHeight=12\r\n"},
             {"startup.s", kStartup}},
            "",
            {{"image\\red.png", SolidPng(32, 24, kRed)},
             {"image\\green.png", SolidPng(32, 24, kGreen)},
             {"image\\blue.png", SolidPng(8, 8, kBlue)}});
        std::string error;
        ASSERT_TRUE(Game.Open(Dir, error)) << error;
        Game.Run(3);
        ASSERT_EQ(Game.Form->Context.Log.ErrorList.Count(), 0) << Game.Report();
    }
    void TearDown() override { Game.Close(); }

    TKelScript& GameScript() { return *Game.Engine->GameScript; }
    TARGB8888& Frame() { return *KelGraphicLib::GraphicOf(GameScript())->GetScreenSurface(); }
    static uint32_t At(const TARGB8888& p, int32_t x, int32_t y) { return p.ScanLine(y)[x]; }

    TPackSet& Packs() { return Game.Form->Context.Packs; }
    // The picture a name opens to through the pack layer; empty when it opens to nothing.
    std::unique_ptr<TARGB8888> Picture(const std::string& name) {
        auto stream = Packs().LoadFile(name);
        if (!stream) return nullptr;
        auto picture = std::make_unique<TARGB8888>();
        picture->LoadFromBmpStream(stream.get());
        return picture;
    }
    std::string Bytes(const std::string& name) {
        auto stream = Packs().LoadFile(name);
        return stream ? stream->AsString() : "(none)";
    }

    std::string Dir = TestData::ScratchDir();
    THeadlessGame Game;
};

TEST_F(KelVirtualFilesTest, SnapshotsShowTheInterpretersScreens) {
    // With cursors: the compositor's frame itself, made opaque.
    auto shot = Picture("$$$GameThreadImage,0.BMP");
    ASSERT_TRUE(shot);
    ASSERT_EQ(shot->Width(), 64);
    ASSERT_EQ(shot->Height(), 48);
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x)
            ASSERT_EQ(At(*shot, x, y), At(Frame(), x, y) | 0xFF000000u) << x << "," << y;
    EXPECT_EQ(At(*shot, 54, 40), kBlue);

    // Without cursors; the compositor then holds the usual frame again, cursor and all.
    shot = Picture("$$$gamethreadimage,1.bmp");
    ASSERT_TRUE(shot);
    EXPECT_EQ(At(*shot, 54, 40), kBack);
    EXPECT_EQ(At(*shot, 4, 4), kRed);
    EXPECT_EQ(At(Frame(), 54, 40) | 0xFF000000u, kBlue);

    // Up to a layer: (20, 14) lies under both pictures.
    const struct {
        const char* Name;
        uint32_t Colour;
    } layers[] = {
        {"$$$gamethreadimagez,15.bmp", kRed},    {"$$$GameThreadImageZ,5.bmp", kBack},
        {"$$$gamethreadimagez,21.bmp", kGreen},  {"$$$gamethreadimagez.bmp", kGreen},
        {"$$$gamethreadimagez,abc.bmp", kGreen}, {"$$$gamethreadimagez,$10.bmp", kGreen},
    };
    for (const auto& c : layers) {
        shot = Picture(c.Name);
        ASSERT_TRUE(shot) << c.Name;
        EXPECT_EQ(At(*shot, 20, 14), c.Colour) << c.Name;
        EXPECT_EQ(At(Frame(), 20, 14) | 0xFF000000u, kGreen) << c.Name;
    }

    // The system interpreter's screen: its own, empty compositor.
    shot = Picture("$$$systemthreadimage,1.bmp");
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->Width(), 64);
    EXPECT_NE(At(*shot, 4, 4), kRed);
}

TEST_F(KelVirtualFilesTest, SaveThumbnailsComeBackAsPictures) {
    ASSERT_TRUE(Game.Engine->GameState->SaveGame(GameScript(), "SaveData003.svd", true));
    TKelSaveData save(Game.Form->Context.Config.Config.CodeKey);
    ASSERT_TRUE(save.LoadFromFile(Game.Files, "SaveData\\SaveData003.svd", true, false));
    ASSERT_FALSE(save.Thumbnail.empty());

    // The save file's own name stays in the middle; the marker may stand anywhere.
    EXPECT_EQ(Bytes("$$$saveimage,SaveData003.svd.bmp"), save.Thumbnail);
    EXPECT_EQ(Bytes("thumb$$$SaveImage,SaveData003.svd,x.BMP"), save.Thumbnail);
    auto thumbnail = Picture("$$$saveimage,SaveData003.svd.bmp");
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->Width(), 16);
    EXPECT_EQ(thumbnail->Height(), 12);

    // A file that is damaged or was written under another key gives no picture; without ".bmp",
    // for a missing file and for a name that leaves the save folder there is no such file.
    std::ofstream(Dir + "/SaveData/Broken.svd", std::ios::binary) << std::string(3000, 'x');
    fs::copy_file(Dir + "/SaveData/SaveData003.svd", Dir + "/Outside.svd");
    EXPECT_FALSE(Packs().ResolveFileName("$$$saveimage,Broken.svd.bmp").empty());
    EXPECT_EQ(Bytes("$$$saveimage,Broken.svd.bmp"), "(none)");
    for (const char* name : {"$$$saveimage,SaveData003.svd", "$$$saveimage,Missing.svd.bmp",
                             "$$$saveimage,..\\Outside.svd.bmp", "$$$saveimage.bmp"})
        EXPECT_TRUE(Packs().ResolveFileName(name).empty()) << name;
    const uint32_t key = Game.Form->Context.Config.Config.CodeKey;
    Game.Form->Context.Config.Config.CodeKey = key ^ 0x5A5A5A;
    EXPECT_EQ(Bytes("$$$saveimage,SaveData003.svd.bmp"), "(none)");
    Game.Form->Context.Config.Config.CodeKey = key;
}

TEST_F(KelVirtualFilesTest, ImportsReadDiskFilesByPath) {
    const std::string host = TestData::ScratchDir();
    fs::create_directories(host + "/Sub");
    std::ofstream(host + "/Sub/Data.TXT", std::ios::binary) << "data";
    std::ofstream(host + "/Sub/Script.s", std::ios::binary) << "@@x";
    std::ofstream(Dir + "/notes.txt", std::ios::binary) << "notes";
    std::ofstream(Dir + "/\"q,r\".txt", std::ios::binary) << "quoted";
    std::ofstream(Dir + "/a,b.txt", std::ios::binary) << "comma";
    // A folder whose name looks like a drive: a drive letter still names nothing.
    fs::create_directories(Dir + "/C:");
    std::ofstream(Dir + "/C:/notes.txt", std::ios::binary) << "drive";
    std::string backslashed = host;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');

    const struct {
        std::string Name;
        const char* Bytes;
    } cases[] = {
        {"$$$fileimport," + host + "/sub/data.txt", "data"},  // segments found without regard to case
        {"$$$FileImport," + backslashed + "\\SUB\\DATA.txt", "data"},
        {"$$$fileimport," + host + "/Sub/Script.s", "@@x"},  // scripts too
        {"x$$$fileimport,notes.txt,more", "notes"},          // relative to the game; the second item only
        {"$$$fileimport,\"q,r\".txt", "quoted"},             // quotes group a comma
        {"$$$fileimport,a,b.txt", "(none)"},                 // a comma ends the path: "a"
        {"$$$fileimport,C:\\notes.txt", "(none)"},
        {"$$$fileimport,c:notes.txt", "(none)"},
        {"$$$fileimport", "(none)"},
        {"notes.txt", "(none)"},  // a disk file is read by its import name only
    };
    for (const auto& c : cases)
        EXPECT_EQ(Bytes(c.Name), c.Bytes) << c.Name;

    // Gone between the existence test and the open: no stream.
    const std::string name = "$$$fileimport,notes.txt";
    EXPECT_TRUE(KelVirtualFiles::Exists(&Game.Files, name));
    fs::remove(Dir + "/notes.txt");
    EXPECT_EQ(KelVirtualFiles::Open(&Game.Files, GameScript().Config().Config.CodeKey, name, &GameScript(), nullptr),
              nullptr);
}

TEST_F(KelVirtualFilesTest, SnapshotNamesThatDoNotExist) {
    for (const char* name : {"$$$gamethreadimage,2.bmp", "$$$gamethreadimage,0.png", "x$$$gamethreadimage,0.bmp",
                             "$$$gamethreadimagez", "$$$gamethreadimage.bmp", "$$$systemthreadimage,01.bmp"}) {
        EXPECT_TRUE(Packs().ResolveFileName(name).empty()) << name;
        EXPECT_EQ(Packs().LoadFile(name), nullptr) << name;
    }
    // An interpreter that is not there shows nothing.
    EXPECT_EQ(KelVirtualFiles::Open(&Game.Files, GameScript().Config().Config.CodeKey, "$$$systemthreadimage,0.bmp",
                                    &GameScript(), nullptr),
              nullptr);
}

}  // namespace
