// The kelanim tool, run as a program: descriptions of every format become files that the engine's
// loader reads back as described; mistakes name their line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "media/AnimationBmpLib.h"
#include "platform/ClassLib.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/SoundFixtures.h"
#include "tests/support/TestData.h"
#include "tests/support/ToolRun.h"

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

class KelanimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(ToolRun::ToolPath("kelanim")));
        Dir = TestData::ScratchDir();
        Put(Dir + "/pics/bg.png", AnimationFixtures::SolidPng(8, 6, 0xFF102030));
        Put(Dir + "/pics/fg.png", AnimationFixtures::SolidPng(2, 2, 0x80FFFFFF));
        Put(Dir + "/ding.wav", SoundWriter::EncodeRiff({5, -5, 5, -5}, 44100, 2));
    }

    // Writes the description and runs the tool on it; the animation it wrote, loaded.
    std::unique_ptr<TAnimationBMP> Make(const std::string& description, ToolRun::TRun* run = nullptr) {
        Put(Dir + "/anim.txt", description);
        const ToolRun::TRun r = ToolRun::Run("kelanim", "'" + Dir + "/anim.txt' '" + Dir + "/out.b'");
        if (run) *run = r;
        if (r.Code != 0) return nullptr;
        std::ifstream in(Dir + "/out.b", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return AnimationFixtures::Load(bytes, "out.b");
    }

    std::string Dir;
};

TEST_F(KelanimTest, WritesTheCurrentFormat) {
    ToolRun::TRun run;
    auto a = Make(
        "# a button\n"
        "name Button\n"
        "size 120 40\n"
        "length 1500\n"
        "text \"two words\"\n"
        "image bg pics/bg.png\n"
        "image \"*mesalpha fg\" pics/fg.png type=3\n"
        "sound ding ding.wav\n"
        "motion *Enable\n"
        "layer back stack=push\n"
        "key 0 time=0 kind=draw image=0 dst=10,20,0,0 mul=0x808080 alpha=200 dstcurve=bspline\n"
        "key 1 time=500 kind=stretch src=1,1,4,4 dst=0,0,120,40 cmd=jump args=0,0,0,0 lerp=1\n"
        "layer \"front layer\" version=12 count=0\n"
        "key 31 kind=hit dst=0,0,120,40 depth=$10\n"
        "motion *OnClick\n"
        "layer one\n"
        "key 0 kind=fill cmd=sound args=0,128,1,0\n",
        &run);
    ASSERT_NE(a, nullptr) << run.Output;
    EXPECT_EQ(a->Version, 11);
    EXPECT_EQ(a->Data->DataName, "Button");
    EXPECT_EQ(a->Data->Width, 120);
    EXPECT_EQ(a->Data->Length, 1500);
    EXPECT_EQ(a->Data->Text, "two words");
    ASSERT_EQ(a->MotionCount(), 2);
    EXPECT_EQ(a->FindMotion("*onclick"), 1);
    const TABMPMotion10& enable = *a->Data->Motions[0];
    ASSERT_EQ(enable.Layers.size(), 2u);
    const TABMPLayer10& back = *enable.Layers[0];
    EXPECT_EQ(back.KeyStackMode, 1);
    EXPECT_EQ(back.Keys[0].Kind, 2);
    EXPECT_EQ(back.Keys[0].DstY, 20);
    EXPECT_EQ(back.Keys[0].MulColor, 0x808080u);
    EXPECT_EQ(back.Keys[0].Alpha, 200);
    EXPECT_EQ(back.Keys[0].DstCurve, 2);
    EXPECT_EQ(back.Keys[1].Time, 500);
    EXPECT_EQ(back.Keys[1].Command, 1);
    EXPECT_EQ(back.Keys[2].Time, 2000);
    // The first layer is of version 13, so the version-12 layer after it keeps its numbers.
    const TABMPLayer10& front = *enable.Layers[1];
    EXPECT_EQ(front.LayerName, "front layer");
    EXPECT_EQ(front.Version, 12);
    EXPECT_EQ(front.Keys[31].Kind, 6);
    EXPECT_EQ(front.Keys[31].DstW, 120);
    EXPECT_EQ(front.Keys[31].Depth, 16);
    EXPECT_EQ(a->Data->Motions[1]->Layers[0]->Keys[0].Arg2, 128);

    ASSERT_EQ(a->Images->Count(), 2);
    EXPECT_EQ(a->Images->Items[0]->ImageType, 2);
    EXPECT_EQ(a->Images->Items[1]->ImageType, 3);
    EXPECT_EQ(a->Images->Items[1]->ImageName, "*mesalpha fg");
    ASSERT_NE(a->Images->Items[0]->GetImage(), nullptr);
    EXPECT_EQ(a->Images->Items[0]->GetImage()->Width(), 8);
    ASSERT_EQ(a->Sounds->Count(), 1);
    ASSERT_TRUE(a->Sounds->Items[0]->Wave);
    EXPECT_EQ(a->Sounds->Items[0]->Wave->Size(), 8);
}

TEST_F(KelanimTest, WritesTheOlderFormats) {
    auto ten = Make(
        "format abmp10\n"
        "size 8 6\n"
        "motion m\n"
        "layer l version=10\n"
        "key 0 kind=4 dst=1,2,11,22\n");
    ASSERT_NE(ten, nullptr);
    EXPECT_EQ(ten->Version, 10);
    EXPECT_EQ(ten->Data->Version, 10);
    const TABMPKeyFrame& k = ten->Data->Motions[0]->Layers[0]->Keys[0];
    EXPECT_EQ(k.Kind, 5);   // a frame blend in version 10
    EXPECT_EQ(k.DstW, 11);  // corners, but frame blends keep their rectangles
    EXPECT_EQ(ten->Data->Motions[0]->Layers[0]->KeyStackMode, 1);

    auto seven = Make(
        "format abmp7\n"
        "image pic pics/bg.png\n"
        "motion walk\n"
        "layer body\n"
        "key 0 time=0 kind=9 src=0,0,8,6 dst=10,10,26,22 colour=0x80000000\n"
        "key 1 time=250 kind=8 colour=0xFF00FF00\n");
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(seven->Version, 7);
    const TABMPLayer10& body = *seven->Data->Motions[0]->Layers[0];
    EXPECT_EQ(body.LayerName, "body");
    EXPECT_EQ(body.Keys[0].Kind, 3);
    EXPECT_EQ(body.Keys[0].DstW, 16);
    EXPECT_EQ(body.Keys[0].Alpha, 0x80);
    EXPECT_EQ(body.Keys[1].Kind, 1);
    EXPECT_EQ(body.Keys[1].MulColor, 0x00FF00u);
    EXPECT_EQ(body.Keys[2].Time, 2000);
    ASSERT_NE(seven->Images->Items[0]->GetImage(), nullptr);
}

TEST_F(KelanimTest, MistakesNameTheirLine) {
    struct TCase {
        const char* Description;
        const char* Message;
    };
    const TCase cases[] = {
        {"motion m\nlayer l\nkey 0 colour=1\n", "anim.txt:3: no key frame field \"colour\""},
        {"motion m\nkey 0 time=1\n", "anim.txt:2: a key needs a layer"},
        {"layer l\n", "anim.txt:1: a layer needs a motion before it"},
        {"motion m\nlayer l\nkey 32 time=0\n", "anim.txt:3: \"32\" is not a number from 0 to 31"},
        {"image x pics/missing.png\n", "anim.txt:1: cannot read"},
        {"format abmp9\n", "anim.txt:1: the formats are"},
        {"text \"open\n", "anim.txt:1: a quote is not closed"},
        {"frobnicate\n", "anim.txt:1: no statement \"frobnicate\""},
    };
    for (const TCase& c : cases) {
        ToolRun::TRun run;
        EXPECT_EQ(Make(c.Description, &run), nullptr);
        EXPECT_EQ(run.Code, 1);
        EXPECT_NE(run.Output.find(c.Message), std::string::npos) << run.Output;
    }
    EXPECT_EQ(ToolRun::Run("kelanim", "only-one").Code, 2);
    EXPECT_EQ(ToolRun::Run("kelanim", "--help").Code, 0);
}

}  // namespace
