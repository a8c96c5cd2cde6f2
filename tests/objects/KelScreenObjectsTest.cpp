// Image objects declared by scripts: the registered makers give them real images, which the
// interpreter's frames update and draw into its compositor, and which save and load through
// their script objects.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "foundation/ddsd7.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/uSoundLib.h"
#include "objects/KelScreenObjects.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ScriptHarness.h"

namespace {

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

    // The box of pixels that are not the black background, and the alpha-blended green there.
    std::array<int32_t, 5> Drawn() const {
        std::array<int32_t, 5> box{INT32_MAX, INT32_MAX, 0, 0, 0};
        for (int32_t y = 0; y < Cells.Height(); ++y)
            for (int32_t x = 0; x < Cells.Width(); ++x)
                if (const uint32_t p = Cells.FrameBuffer->ScanLine(y)[x] & 0xFFFFFF; p != 0) {
                    box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1), std::max(box[3], y + 1),
                           static_cast<int32_t>(p >> 8 & 0xFF)};
                }
        return box[0] == INT32_MAX ? std::array<int32_t, 5>{} : box;
    }

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

TEST_F(KelScreenObjectsTest, ImagesPlayThroughTheInterpretersSoundLibrary) {
    TManualAudioDevice device;
    TDDSD7 component(&device);
    component.SetChannelCount(8);
    ASSERT_TRUE(component.Initialize());
    TSound sound(component, 16384);
    H.Script.Links.SoundLibrary = &sound;
    ASSERT_TRUE(H.Script.OnObjectCreate("img", "voiced"));
    TImageLib& image = ImageOf("voiced");
    EXPECT_EQ(image.Sound(), &sound.AnimationSound());
    EXPECT_EQ(image.Record.SoundChannel, sound.SSound->Count() - 2);
    EXPECT_EQ(image.Record.EffectChannel, 7 - 2);
    H.Script.Links.SoundLibrary = nullptr;
}

}  // namespace
