// The "ABMP7" importer: old kinds and colours turned into key frames, the tree it builds, layer
// counts held to what the player and the bytes hold, and damaged files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/AnimationBmpLib.h"
#include "media/AnimationBmpWriter.h"
#include "platform/ClassLib.h"
#include "tests/support/AnimationFixtures.h"

namespace {

using AnimationBmpWriter::TOldFile;
using AnimationBmpWriter::TOldLayer;
using AnimationBmpWriter::TOldMotion;
using AnimationFixtures::Load;

TOldLayer OldLayer(const std::string& name) {
    TOldLayer layer;
    layer.Name = name;
    for (int k = 0; k < AnimationBmpLib::kKeyCount; ++k)
        layer.Keys[k].Time = 100 * k;
    return layer;
}

TEST(AnimationBmpImportTest, OldKindsBecomeKindAndBlend) {
    const uint8_t expected[][2] = {
        {0, 0}, {2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 0}, {2, 0}, {2, 0}, {1, 0}, {3, 0}, {3, 1},
        {3, 2}, {3, 3}, {3, 0}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {5, 0}, {6, 0}, {0, 0}, {0, 0},
    };
    TOldLayer layer = OldLayer("all kinds");
    for (uint8_t k = 0; k < std::size(expected); ++k)
        layer.Keys[k].Kind = k;
    layer.Keys[31].Kind = 255;
    TOldFile file;
    file.Motions.push_back({"m", {layer}});
    auto a = Load(AnimationBmpWriter::WriteABMP7(file));
    const TABMPLayer10& got = *a->Data->Motions[0]->Layers[0];
    for (size_t k = 0; k < std::size(expected); ++k) {
        EXPECT_EQ(got.Keys[k].Kind, expected[k][0]) << k;
        EXPECT_EQ(got.Keys[k].Blend, expected[k][1]) << k;
    }
    EXPECT_EQ(got.Keys[31].Kind, 0);
}

TEST(AnimationBmpImportTest, OldColoursAreATintOnlyForSomeKinds) {
    // Key frame 1 with colour 0x80112233 after key frame 0.
    struct TCase {
        const char* Name;
        uint8_t PrevKind, PrevLerp, Kind;
        uint32_t Add, Mul;
    };
    const TCase cases[] = {
        {"additive draw", 1, 0, 5, 0x112233, 0xFFFFFF},
        {"fill", 1, 0, 8, 0, 0x112233},
        {"kind 6 tints", 1, 0, 6, 0, 0x112233},
        {"plain draw", 1, 0, 1, 0, 0xFFFFFF},
        {"after a blending draw", 1, 1, 6, 0, 0xFFFFFF},
        {"after a blending additive draw", 5, 1, 6, 0, 0x112233},
        {"after a blending fill", 8, 1, 5, 0x112233, 0xFFFFFF},
        {"after a blending stretch", 9, 1, 5, 0, 0xFFFFFF},
        {"after a stretch that holds", 9, 0, 14, 0, 0x112233},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TOldLayer layer = OldLayer("colours");
        layer.Keys[0].Kind = c.PrevKind;
        layer.Keys[0].ColorLerp = c.PrevLerp;
        layer.Keys[1].Kind = c.Kind;
        layer.Keys[1].Colour = 0x80112233;
        TOldFile file;
        file.Motions.push_back({"m", {layer}});
        auto a = Load(AnimationBmpWriter::WriteABMP7(file));
        const TABMPKeyFrame& k = a->Data->Motions[0]->Layers[0]->Keys[1];
        EXPECT_EQ(k.AddColor, c.Add);
        EXPECT_EQ(k.MulColor, c.Mul);
        EXPECT_EQ(k.Alpha, 0x80);
    }
}

TEST(AnimationBmpImportTest, AnOldFileBecomesTheTreeOfTheCurrentFormat) {
    TOldLayer first = OldLayer("first");
    first.Keys[0] = {0, {2, 3, 12, 23}, {5, 6, 25, 46}, -4, 0xFF000000, 9, 1, 2, 1, 6, 3};
    TOldFile file;
    file.Motions.push_back({"*Enable", {first, OldLayer("second")}});
    file.Motions.push_back({"*OnClick", {OldLayer("only")}});
    file.PictureType = 3;
    file.Picture = AnimationFixtures::SolidPng(3, 3, 0xFF00FF00);
    file.Sounds.push_back({"voice", 0, ""});
    file.Sounds.push_back({"bell", 0, ""});

    auto a = Load(AnimationBmpWriter::WriteABMP7(file), "old\\Anim.b");
    EXPECT_EQ(a->Version, 7);
    EXPECT_EQ(a->Name, "old\\Anim");
    EXPECT_EQ(a->Data->Version, 7);
    EXPECT_EQ(a->Data->Width, 0);
    ASSERT_EQ(a->MotionCount(), 2);
    EXPECT_EQ(a->Data->Motions[1]->MotionName, "*OnClick");
    const TABMPMotion10& motion = *a->Data->Motions[0];
    EXPECT_EQ(motion.Version, 7);
    ASSERT_EQ(motion.Layers.size(), 2u);
    EXPECT_EQ(motion.Layers[0]->LayerName, "first");
    EXPECT_EQ(motion.Layers[0]->Version, 7);
    EXPECT_EQ(motion.Layers[0]->KeyStackMode, 1);
    EXPECT_EQ(motion.Layers[1]->KeyStackMode, 0);

    const TABMPKeyFrame& k = motion.Layers[0]->Keys[0];
    EXPECT_EQ(k.Kind, 3);  // a stretch: both rectangles were corners
    EXPECT_EQ(k.SrcX, 2);
    EXPECT_EQ(k.SrcW, 10);
    EXPECT_EQ(k.SrcH, 20);
    EXPECT_EQ(k.DstW, 20);
    EXPECT_EQ(k.DstH, 40);
    EXPECT_EQ(k.Depth, -4);
    EXPECT_EQ(k.SrcCurve, 1);
    EXPECT_EQ(k.DstCurve, 2);
    EXPECT_EQ(k.ColorLerp, 1);
    EXPECT_EQ(k.Command, 6);
    EXPECT_EQ(k.Arg1, 3);
    EXPECT_EQ(k.SrcTension, 100);

    ASSERT_EQ(a->Images->Count(), 1);
    EXPECT_EQ(a->Images->Items[0]->ImageName, "NoName");
    EXPECT_EQ(a->Images->Items[0]->ImageType, 3);
    ASSERT_NE(a->Images->Items[0]->GetImage(), nullptr);
    EXPECT_EQ(a->Images->Items[0]->GetImage()->Width(), 3);
    // Records of sounds without data keep no name.
    ASSERT_EQ(a->Sounds->Count(), 2);
    EXPECT_EQ(a->Sounds->Items[1]->SoundName, "");
}

TEST(AnimationBmpImportTest, LayerCountsAreHeldToThePlayerAndTheBytes) {
    // 257 layers: the player has clocks for 256; the next motion is read where it is.
    TOldMotion big{"big", std::vector<TOldLayer>(257, OldLayer("l"))};
    big.Layers[256].Name = "dropped";
    TOldFile file;
    file.Motions.push_back(big);
    file.Motions.push_back({"after", {OldLayer("after")}});
    auto a = Load(AnimationBmpWriter::WriteABMP7(file));
    ASSERT_EQ(a->MotionCount(), 2);
    EXPECT_EQ(a->Data->Motions[0]->Layers.size(), 256u);
    EXPECT_EQ(a->Data->Motions[1]->MotionName, "after");
    EXPECT_EQ(a->Data->Motions[1]->Layers[0]->LayerName, "after");

    // A count that promises more layers than the block holds gets the layers there are.
    TOldFile liar;
    liar.Motions.push_back({"liar", {OldLayer("a"), OldLayer("b")}, 1000000});
    auto b = Load(AnimationBmpWriter::WriteABMP7(liar));
    EXPECT_EQ(b->Data->Motions[0]->Layers.size(), 2u);
}

TEST(AnimationBmpImportTest, DamagedOldFilesFail) {
    TOldFile file;
    file.Motions.push_back({"m", {OldLayer("l")}});
    file.Picture = AnimationFixtures::SolidPng(2, 2, 0xFFFFFFFF);
    file.Sounds.push_back({"s", 1, "oggbytes"});
    const std::string good = AnimationBmpWriter::WriteABMP7(file);
    Load(good);
    auto patched = [&](size_t at, const std::string& bytes) {
        return good.substr(0, at) + bytes + good.substr(at + bytes.size());
    };
    const std::string cases[] = {
        good.substr(0, 11),                            // header cut short
        patched(0, "ABMP8"),                           // another tag
        patched(8, "\x05"),                            // five motions in a block that holds one
        patched(12, "\xFF\xFF\xFF\x7F"),               // motion block past the end
        patched(16, std::string(8, 'Z')),              // a motion block that does not expand
        good.substr(0, good.size() - 30),              // the sound cut short
        good.substr(0, good.size() - 8 - 4 - 32 - 1),  // the picture cut short
    };
    for (const std::string& bytes : cases) {
        TAnimationBMP a;
        TMemoryStream stream(bytes);
        EXPECT_FALSE(a.LoadFromStream(&stream, "old.b"));
        EXPECT_FALSE(a.Error().empty());
        EXPECT_EQ(a.Version, 11);
        EXPECT_EQ(a.MotionCount(), 1);
    }
}

}  // namespace
