// Image objects declared by scripts: the registered makers give them real images, which the
// interpreter's frames update and draw into its compositor, and which save and load through
// their script objects; and a game run headless whose written frames show a declared image
// where its tweens put it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SoundComponent.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/ARGB8888Lib.h"
#include "media/uSoundLib.h"
#include "objects/KelScreenObjects.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "shell/HeadlessRunner.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TestData.h"
#include "tools/kelpack/PackWriter.h"

namespace {

// The box of pixels of an image that are not black, and the green level there (left, top, right,
// bottom, green); all 0 when there are none.
std::array<int32_t, 5> GreenBox(const TARGB8888& frame) {
    std::array<int32_t, 5> box{INT32_MAX, INT32_MAX, 0, 0, 0};
    for (int32_t y = 0; y < frame.Height(); ++y)
        for (int32_t x = 0; x < frame.Width(); ++x)
            if (const uint32_t p = frame.ScanLine(y)[x] & 0xFFFFFF; p != 0)
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1), std::max(box[3], y + 1),
                       static_cast<int32_t>(p >> 8 & 0xFF)};
    return box[0] == INT32_MAX ? std::array<int32_t, 5>{} : box;
}

// A compositor that is only a cell draw.
class TCellCompositor final : public IScriptCompositor {
public:
    TCellCompositor() { Cells.SetScreenSize(200, 100); }
    void Clear() override { Cells.Clear(); }
    void InvalidateAll() override { Cells.InvalidateAll(); }
    bool Render(int32_t, int32_t maxLayer) override {
        Cells.Render(0xFF000000, false, maxLayer);
        return true;
    }
    TARGB8888CellDraw* CellDraw() override { return &Cells; }

    // What the last frame shows of a green picture.
    std::array<int32_t, 5> Drawn() const { return GreenBox(*Cells.FrameBuffer); }

    TARGB8888CellDraw Cells;
};

using TImageLink = TKelScreenObjectLink<TImageLib>;

class KelScreenObjectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        KelScreenObjects::Register(H.Kinds);
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.Script.Links.Compositor = &Screen;
        H.AddRawFile("pic.png", AnimationFixtures::SolidPng(40, 20, 0xFF00FF00));
    }
    void TearDown() override { H.Script.Links.Compositor = nullptr; }

    TImageLib& ImageOf(const std::string& name) {
        TKelObjectDataCustom* object = H.Script.Objects->Find(name);
        EXPECT_NE(object, nullptr) << name;
        auto* link = dynamic_cast<TImageLink*>(object->ScreenObject());
        EXPECT_NE(link, nullptr) << name;
        return link->Object();
    }

    TScriptHarness H;
    TCellCompositor Screen;
};

TEST_F(KelScreenObjectsTest, ADeclaredImageMovesAndFadesFrameByFrame) {
    ASSERT_TRUE(H.Start("\\var,img,pic\r\n\\var,simg,menu\r\n"));
    H.Step();
    TKelObjectDataCustom* object = H.Script.Objects->Find("0_pic,0");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Kind(), TObjectKind::Image);
    EXPECT_NE(dynamic_cast<IKelUserData*>(object->ScreenObject()), nullptr);
    EXPECT_EQ(H.Script.Objects->Find("0_menu,0")->Kind(), TObjectKind::SysImage);

    TImageLib& image = ImageOf("0_pic,0");
    ASSERT_TRUE(image.LoadImages("pic.png", "", "", "", "", false, false));
    image.Enable();
    image.MoveTo(100, 40, 0, 1000);
    image.FadeTo(0, 1000);
    struct TFrame {
        uint32_t Ms;
        std::array<int32_t, 4> Box;  // left, top, right, bottom
        int32_t Alpha;
    };
    for (const TFrame& f : {TFrame{250, {25, 10, 65, 30}, 191}, TFrame{250, {50, 20, 90, 40}, 128},
                            TFrame{250, {75, 30, 115, 50}, 64}, TFrame{250, {0, 0, 0, 0}, 0}}) {
        H.Step(f.Ms);
        H.Script.Draw(0, true, 0xFFFF);
        const std::array<int32_t, 5> drawn = Screen.Drawn();
        EXPECT_EQ((std::array<int32_t, 4>{drawn[0], drawn[1], drawn[2], drawn[3]}), f.Box) << "after " << f.Ms;
        EXPECT_EQ(image.Record.Alpha, f.Alpha);
        EXPECT_NEAR(drawn[4], f.Alpha, 1) << "green over black at that alpha";
    }
    EXPECT_EQ(object->GetInfo(), "xyza(100,40,0,0)file(pic.png,)show(1)motion(0," + image.GetCurrentMotionName() + ")");

    // Saved and loaded through the script object; a reset clears the image.
    image.FadeTo(255, 0);
    TMemoryStream saved;
    ASSERT_TRUE(object->SaveToStream(saved));
    object->Reset();
    EXPECT_EQ(image.Record.Files[0], "");
    saved.SetPosition(0);
    ASSERT_TRUE(object->LoadFromStream(saved));
    H.Step(16);
    H.Script.Draw(0, true, 0xFFFF);
    EXPECT_EQ(Screen.Drawn(), (std::array<int32_t, 5>{100, 40, 140, 60, 0xFF}));
}

TEST_F(KelScreenObjectsTest, ImagesDrawFromTheGamesRandomState) {
    ASSERT_TRUE(H.Script.OnObjectCreate("img", "shaking"));
    TImageLib& image = ImageOf("shaking");
    EXPECT_EQ(&image.Animation->RandomState(), &H.Context.Context.Random);
    // A shaking move draws for x and y each frame, in the one order of the game.
    image.SetMoveEasing(static_cast<int32_t>(TMoveEasing::Shake));
    image.MoveTo(100, 40, 0, 1000);
    H.Step(16);
    EXPECT_EQ(H.Context.Context.Random.RandomIndex, 2);
}

TEST_F(KelScreenObjectsTest, ImagesPlayThroughTheInterpretersSoundLibrary) {
    TManualAudioDevice device;
    TDDSD7 component(&device);
    component.SetChannelCount(8);
    ASSERT_TRUE(component.Initialize());
    TSound sound(component, H.Context.Packs, 16384, H.Clock, nullptr);
    H.Script.Links.SoundLibrary = &sound;
    ASSERT_TRUE(H.Script.OnObjectCreate("img", "voiced"));
    TImageLib& image = ImageOf("voiced");
    EXPECT_EQ(image.Sound(), &sound.AnimationSound());
    EXPECT_EQ(image.Record.SoundChannel, sound.SSound->Count() - 2);
    EXPECT_EQ(image.Record.EffectChannel, 7 - 2);
    H.Script.Links.SoundLibrary = nullptr;
}

TEST(ImageGameTest, WrittenFramesShowTheImageWhereItsTweensAre) {
    const std::string script =
        "@@reset\r\n@@top\r\n\\var,img,pic\r\n\\scp,pic\r\n\\l,\"pic.png\"\r\n\\e\r\n"
        "\\p,100,40,0,1000\r\n\\a,0,1000\r\n\\clk,0\r\n";
    const std::string dir = TestData::ScratchDir();
    std::filesystem::create_directories(dir + "/GameData");
    std::ofstream(dir + "/GameData/data0.pack", std::ios::binary) << PackWriter::Pack(
        std::vector<PackWriter::TEntry>{
            {"System\\etc\\Game.dat", "ScreenWidth=320\r\nScreenHeight=120\r\nConfigStartupSkip=TRUE\r\n"},
            {"startup.s", script},
            {"pic.png", AnimationFixtures::SolidPng(40, 20, 0xFF00FF00)}},
        PackWriter::TVersion::V20);

    {
        THeadlessGame game;
        std::string error;
        ASSERT_TRUE(game.Open(dir, error)) << error;
        game.Screen.CaptureTo(dir + "/frames", 1);
        // Where the tweens have the image after each frame, and the frames that were written.
        std::vector<std::array<int32_t, 3>> tweens;
        for (int i = 0; i < 60; ++i) {
            game.Run(1);
            TKelObjectDataCustom* object = game.Engine->GameScript->Objects->Find("0_pic,0");
            const TImageRecord* r =
                object ? &dynamic_cast<TImageLink*>(object->ScreenObject())->Object().Record : nullptr;
            tweens.push_back(r ? std::array<int32_t, 3>{r->X, r->Y, r->Alpha} : std::array<int32_t, 3>{-1, -1, -1});
        }
        EXPECT_EQ(game.Screen.WriteError, "");
        ASSERT_EQ(game.Screen.FramesWritten, 60);
        EXPECT_TRUE(game.Form->Context.Log.ErrorList.Items.empty());

        int32_t seen = 0;
        for (int i = 0; i < 60; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/frames/frame%06d.png", i + 1);
            std::ifstream file(dir + name, std::ios::binary);
            TMemoryStream png(std::string(std::istreambuf_iterator<char>(file), {}));
            TARGB8888 frame;
            frame.LoadFromStream(&png, ".png");
            ASSERT_EQ(frame.Width(), 320) << name;
            const std::array<int32_t, 5> box = GreenBox(frame);
            const auto [x, y, alpha] = tweens[static_cast<size_t>(i)];
            if (alpha <= 0) {
                EXPECT_EQ(box, (std::array<int32_t, 5>{})) << name;
                continue;
            }
            ++seen;
            EXPECT_EQ((std::array<int32_t, 4>{box[0], box[1], box[2], box[3]}),
                      (std::array<int32_t, 4>{x, y, x + 40, y + 20}))
                << name;
            EXPECT_NEAR(box[4], alpha, 3) << name;  // a 16-bit display keeps 6 bits of green
        }
        // The image was on screen while it moved, and ended at its target, faded out.
        EXPECT_GE(seen, 30);
        EXPECT_EQ(tweens.back(), (std::array<int32_t, 3>{100, 40, 0}));
    }
}

}  // namespace
