// ".b" files: what a written file reads back as, the fix-ups of older layer and file versions,
// embedded pictures and nested animations, single pictures shown as animations, and damaged
// files, which fail whole and leave the animation empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Compression.h"
#include "media/AnimationBmpLib.h"
#include "media/AnimationBmpWriter.h"
#include "media/MediaContext.h"
#include "media/uMovieWriter.h"
#include "platform/ClassLib.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/SoundFixtures.h"

namespace {

using AnimationBmpWriter::TFile;
using AnimationBmpWriter::TLayer;
using AnimationFixtures::File;
using AnimationFixtures::Key;
using AnimationFixtures::Load;
using AnimationFixtures::SolidPng;

TLayer LayerOf(int32_t version, std::vector<TABMPKeyFrame> keys = {}) {
    TLayer layer;
    layer.Version = version;
    for (size_t i = 0; i < keys.size(); ++i)
        layer.Keys[i] = keys[i];
    return layer;
}

bool Fails(const std::string& bytes, std::string* reason = nullptr) {
    TAnimationBMP animation;
    TMemoryStream stream(bytes);
    const bool loaded = animation.LoadFromStream(&stream, "broken.b");
    if (reason) *reason = animation.Error();
    // Whatever was read before the damage is gone again.
    EXPECT_EQ(animation.Name, "none");
    EXPECT_EQ(animation.MotionCount(), 1);
    EXPECT_EQ(animation.Images->Count(), 1);
    EXPECT_EQ(animation.Images->Items[0]->GetImage(), nullptr);
    return !loaded && !animation.Error().empty();
}

TEST(AnimationBmpLibTest, AWrittenFileReadsBackWhole) {
    TLayer back = LayerOf(13, {Key(0, TABMPKind::Draw), Key(500, TABMPKind::Stretch)});
    back.Name = "*mesalpha back";
    back.KeyStackMode = 1;
    back.Keys[0].DstX = -7;
    back.Keys[0].MulColor = 0x123456;
    back.Keys[0].Arg4 = 9;
    back.Keys[1].Param = 250;
    TFile file = File({back, LayerOf(13)}, {SolidPng(6, 4, 0xFF00FF00), SolidPng(3, 2, 0x80FF0000)});
    file.Text = "free text";
    file.Motions.push_back({"*OnClick", {LayerOf(13)}});
    file.Images.push_back({"movie", 4, ""});  // an empty record loads nothing

    auto a = Load(AnimationBmpWriter::Write(file), "img\\Sub\\Hero.b");
    EXPECT_EQ(a->Name, "img\\Sub\\Hero");
    EXPECT_EQ(a->Version, 11);
    EXPECT_EQ(a->Data->Version, 11);
    EXPECT_EQ(a->Data->DataName, "fixture");
    EXPECT_EQ(a->Data->Width, 64);
    EXPECT_EQ(a->Data->Height, 48);
    EXPECT_EQ(a->Data->Length, 2000);
    EXPECT_EQ(a->Data->Text, "free text");
    ASSERT_EQ(a->MotionCount(), 2);
    EXPECT_EQ(a->FindMotion("*onclick"), 1);
    EXPECT_EQ(a->FindMotion("*Missing"), -1);
    const TABMPLayer10& layer = *a->Data->Motions[0]->Layers[0];
    EXPECT_EQ(layer.LayerName, "*mesalpha back");
    EXPECT_EQ(layer.Version, 13);
    EXPECT_EQ(layer.KeyStackMode, 1);
    EXPECT_TRUE(layer.Keys == back.Keys);

    ASSERT_EQ(a->Images->Count(), 3);
    const TABMPImageData10& pic = *a->Images->Items[1];
    EXPECT_EQ(pic.ImageName, "pic1");
    EXPECT_EQ(pic.ImageType, 2);  // as the file says, though it loaded as a PNG
    EXPECT_EQ(pic.GetFullName(), "img\\Sub\\Hero_Image_ImgDat1");
    ASSERT_NE(pic.GetImage(), nullptr);
    EXPECT_EQ(pic.GetImage()->Width(), 3);
    EXPECT_EQ(pic.GetImage()->ScanLine(0)[0], 0x80FF0000u);
    EXPECT_EQ(a->Images->Items[2]->GetImage(), nullptr);
    EXPECT_EQ(a->Images->Items[2]->ImageName, "movie");
    EXPECT_EQ(a->Sounds->Count(), 0);
}

TEST(AnimationBmpLibTest, EmbeddedMediaAreSharedThroughTheCaches) {
    SoundFixtures::TVorbisBinding vorbis;
    TFile file = File({LayerOf(13)}, {SolidPng(4, 4, 0xFF0000FF)});
    // Mono 22050 Hz: each sample lands in both channels, each frame twice.
    file.Sounds.push_back({"ding", 0, SoundWriter::EncodeRiff({1, 2, 3}, 22050, 1)});
    file.Sounds.push_back({"tone", 1, SoundFixtures::ToneOgg(44100, 2, 0.05)});
    file.Sounds.push_back({"odd", 7, "unknown type"});
    const std::string bytes = AnimationBmpWriter::Write(file);

    TMediaContext media;
    media.Sounds.Decoder = vorbis.Decoder;
    auto a = Load(bytes, "Same.b", nullptr, &media);
    auto b = Load(bytes, "same.B", nullptr, &media);
    auto other = Load(bytes, "other.b", nullptr, &media);
    // Without caches each animation decodes its own copy of the same media.
    auto alone = Load(bytes, "Same.b");
    EXPECT_NE(alone->Images->Items[0]->GetImage(), a->Images->Items[0]->GetImage());
    EXPECT_EQ(alone->Images->Items[0]->GetImage()->ScanLine(0)[0], a->Images->Items[0]->GetImage()->ScanLine(0)[0]);
    EXPECT_NE(alone->Sounds->Items[0]->Wave.Get(), a->Sounds->Items[0]->Wave.Get());
    const TARGB8888* picture = a->Images->Items[0]->GetImage();
    EXPECT_EQ(b->Images->Items[0]->GetImage(), picture);
    EXPECT_NE(other->Images->Items[0]->GetImage(), picture);
    // The holders of the shared picture; -1 when the cache has let it go.
    auto holders = [&media] {
        for (const auto& e : media.Pictures.List())
            if (e->Key == "same_image_imgdat0.png") return e->References;
        return -1;
    };
    EXPECT_EQ(holders(), 2);

    ASSERT_EQ(a->Sounds->Count(), 3);
    const TABMPSoundData10& ding = *a->Sounds->Items[0];
    EXPECT_EQ(ding.SoundName, "ding");
    ASSERT_TRUE(ding.Wave);
    EXPECT_EQ(ding.Wave->Data,
              std::vector<uint8_t>({1, 0, 1, 0, 1, 0, 1, 0, 2, 0, 2, 0, 2, 0, 2, 0, 3, 0, 3, 0, 3, 0, 3, 0}));
    EXPECT_EQ(b->Sounds->Items[0]->Wave.Get(), ding.Wave.Get());
    ASSERT_TRUE(a->Sounds->Items[1]->Wave);
    EXPECT_GT(a->Sounds->Items[1]->Wave->Size(), 4000);
    EXPECT_FALSE(a->Sounds->Items[2]->Wave);
    EXPECT_EQ(a->Sounds->Items[2]->SoundType, 7);

    // With capacity 0 nothing unused is kept: the last holder takes the picture with it.
    a.reset();
    EXPECT_EQ(holders(), 1);
    b.reset();
    EXPECT_EQ(holders(), -1);
}

TEST(AnimationBmpLibTest, OlderVersionsAreFixedUpOnLoading) {
    // A layer holding kinds 4 and 5, a key frame in corner form (10, 20)-(30, 50), and a mode.
    auto layer = [](int32_t version) {
        TLayer l = LayerOf(version,
                           {Key(0, TABMPKind::Stretch), Key(100, TABMPKind::Rotate), Key(200, TABMPKind::FrameBlend)});
        l.Keys[0].DstX = 10;
        l.Keys[0].DstY = 20;
        l.Keys[0].DstW = 30;
        l.Keys[0].DstH = 50;
        l.KeyStackMode = 2;
        l.CountByte = 0;  // says nothing: 32 key frames are read all the same
        return l;
    };
    struct TCase {
        int32_t FileVersion;
        std::vector<int32_t> Layers;  // versions; the first decides the corner conversion
        bool Converted;
        uint8_t Kind1, Kind2;  // of the first layer
        uint8_t Mode0, Mode1;  // key-stack modes of the first and second layer
    };
    const TCase cases[] = {
        {11, {13, 12}, false, 4, 5, 2, 2}, {11, {12, 13}, true, 4, 5, 2, 2},  {11, {11}, true, 5, 6, 2, 2},
        {11, {10, 13}, true, 5, 6, 0, 2},  {10, {13, 13}, false, 4, 5, 1, 2}, {10, {10, 10}, true, 5, 6, 1, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.FileVersion) + " / " + std::to_string(c.Layers[0]));
        std::vector<TLayer> layers;
        for (int32_t v : c.Layers)
            layers.push_back(layer(v));
        TFile file = File(layers);
        file.Version = c.FileVersion;
        file.Motions.push_back(file.Motions[0]);
        auto a = Load(AnimationBmpWriter::Write(file));
        EXPECT_EQ(a->Version, c.FileVersion);
        for (const auto& motion : a->Data->Motions) {
            for (const auto& l : motion->Layers) {
                EXPECT_EQ(l->Keys[0].DstW, c.Converted ? 20 : 30);
                EXPECT_EQ(l->Keys[0].DstH, c.Converted ? 30 : 50);
                EXPECT_EQ(l->Keys[31].Time, 31000);
            }
            EXPECT_EQ(motion->Layers[0]->Keys[1].Kind, c.Kind1);
            EXPECT_EQ(motion->Layers[0]->Keys[2].Kind, c.Kind2);
            EXPECT_EQ(motion->Layers[0]->KeyStackMode, c.Mode0);
            if (motion->Layers.size() > 1) {
                EXPECT_EQ(motion->Layers[1]->KeyStackMode, c.Mode1);
            }
        }
    }
}

TEST(AnimationBmpLibTest, DataBlockTenHasNoLengthOrText) {
    TFile file = File({LayerOf(13)});
    file.DataVersion = 10;
    file.Text = "dropped";
    auto a = Load(AnimationBmpWriter::Write(file));
    EXPECT_EQ(a->Data->Version, 10);
    EXPECT_EQ(a->Data->Length, 0);
    EXPECT_EQ(a->Data->Text, "");
    EXPECT_EQ(a->Data->Width, 64);
}

TEST(AnimationBmpLibTest, CornersBecomeSizesByKindAndPredecessor) {
    // Source and destination corners (2, 3)-(12, 23) in every key frame: a converted source is
    // 10 x 20, a converted destination too; an unconverted one stays 12 x 23.
    struct TCase {
        const char* Name;
        TABMPKind PrevKind;
        uint8_t PrevSrcCurve, PrevDstCurve;
        TABMPKind Kind;
        bool Source, Destination;
    };
    using K = TABMPKind;
    const TCase cases[] = {
        {"fill", K::None, 0, 0, K::Fill, true, true},
        {"draw", K::None, 0, 0, K::Draw, true, false},
        {"draw after a curved fill", K::Fill, 0, 1, K::Draw, true, true},
        {"draw after a fill that holds", K::Fill, 1, 0, K::Draw, true, false},
        {"stretch", K::None, 0, 0, K::Stretch, true, true},
        {"rotate", K::None, 0, 0, K::Rotate, true, false},
        {"frame blend", K::None, 0, 0, K::FrameBlend, false, false},
        {"hit area", K::None, 0, 0, K::HitArea, true, true},
        {"nested", K::None, 0, 0, K::Nested, false, false},
        {"nothing after a curved draw", K::Draw, 1, 1, K::None, true, true},
        {"nothing after a draw that holds", K::Draw, 0, 0, K::None, false, false},
        {"nothing after a rotate", K::Rotate, 1, 1, K::None, true, false},
        {"nothing after a frame blend", K::FrameBlend, 1, 1, K::None, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TABMPLayer10 layer(nullptr);
        for (TABMPKeyFrame& k : layer.Keys) {
            k.SrcX = k.DstX = 2;
            k.SrcY = k.DstY = 3;
            k.SrcW = k.DstW = 12;
            k.SrcH = k.DstH = 23;
            k.SrcTension = k.DstTension = 7;
        }
        layer.Keys[4].Kind = static_cast<uint8_t>(c.PrevKind);
        layer.Keys[4].SrcCurve = c.PrevSrcCurve;
        layer.Keys[4].DstCurve = c.PrevDstCurve;
        layer.Keys[5].Kind = static_cast<uint8_t>(c.Kind);
        AnimationBmpLib::CornersToSizes(layer);
        const TABMPKeyFrame& k = layer.Keys[5];
        EXPECT_EQ(k.SrcW, c.Source ? 10 : 12);
        EXPECT_EQ(k.SrcH, c.Source ? 20 : 23);
        EXPECT_EQ(k.DstW, c.Destination ? 10 : 12);
        EXPECT_EQ(k.DstH, c.Destination ? 20 : 23);
        EXPECT_EQ(k.DstAnchor, c.Kind == TABMPKind::Rotate ? 4 : 0);
        EXPECT_EQ(k.SrcTension, 100);
        EXPECT_EQ(k.DstTension, 100);
    }
    // The subtraction is 16-bit and wraps before sizes are held at 0 or more: corners the wrong
    // way round give 0, and so do corners further apart than a 16-bit size reaches.
    struct TCorners {
        int16_t X1, X2, Width;
    };
    const TCorners corners[] = {
        {50, 10, 0},            // the wrong way round
        {-30000, 30000, 0},     // 60000 wraps to -5536
        {30000, -30000, 5536},  // -60000 wraps to 5536
        {-32768, 32767, 0},     // 65535 wraps to -1
        {-100, 32000, 32100},
    };
    for (const TCorners& c : corners) {
        TABMPLayer10 layer(nullptr);
        layer.Keys[0].Kind = 1;
        layer.Keys[0].DstX = layer.Keys[0].SrcY = c.X1;
        layer.Keys[0].DstW = layer.Keys[0].SrcH = c.X2;
        AnimationBmpLib::CornersToSizes(layer);
        EXPECT_EQ(layer.Keys[0].DstW, c.Width) << c.X1 << " " << c.X2;
        EXPECT_EQ(layer.Keys[0].SrcH, c.Width) << c.X1 << " " << c.X2;
    }
}

TEST(AnimationBmpLibTest, NestedAnimationsLoadDownToTheirDepthLimit) {
    // Each level embeds the one below it as image 0; the innermost is 5 x 5 pixels.
    auto level = [](const std::string& inner, bool isAnimation) {
        TFile file = File({LayerOf(13, {Key(0, isAnimation ? TABMPKind::Nested : TABMPKind::Draw)})});
        file.Images.push_back({"inner", static_cast<uint8_t>(isAnimation ? 6 : 2), inner});
        return AnimationBmpWriter::Write(file);
    };
    std::string bytes = level(SolidPng(5, 5, 0xFFFFFFFF), false);
    std::vector<std::string> levels{bytes};
    for (int i = 0; i < 10; ++i)
        levels.push_back(bytes = level(bytes, true));

    // levels[n] holds n nested animations above the picture. Loaded first, levels[9] nests 9
    // deep: depth 9 loads nothing, depth 8 does.
    auto depthReached = [](const std::string& file) {
        auto a = Load(file);
        int depth = 0;
        for (TAnimationBMP* n = a.get(); n->Images->Items[0]->Animation; n = n->Images->Items[0]->Animation.get())
            ++depth;
        return depth;
    };
    EXPECT_EQ(depthReached(levels[3]), 3);
    EXPECT_EQ(depthReached(levels[8]), 8);
    EXPECT_EQ(depthReached(levels[10]), 8);

    auto a = Load(levels[2], "a.b");
    const TAnimationBMP& child = *a->Images->Items[0]->Animation;
    EXPECT_EQ(child.Name, "a_Image_ImgDat0");
    EXPECT_EQ(a->Images->Items[0]->GetLength(), 2000);
    EXPECT_EQ(a->Images->Items[0]->GetImage(), nullptr);

    // A nested file that is damaged leaves only its own record empty.
    std::string broken = levels[1];
    broken.resize(broken.size() - 3);
    auto b = Load(level(broken, true));
    EXPECT_EQ(b->Images->Items[0]->Animation, nullptr);
    EXPECT_EQ(b->Images->Items[0]->ImageType, 6);
}

TEST(AnimationBmpLibTest, DamagedFilesFailWhole) {
    TFile file = File({LayerOf(13)}, {SolidPng(4, 4, 0xFF0000FF)});
    file.Sounds.push_back({"bell", 0, std::string(40, 'x')});
    AnimationBmpWriter::TLayout at;
    const std::string good = AnimationBmpWriter::Write(file, &at);
    Load(good);

    auto cut = [&](size_t n) { return good.substr(0, n); };
    auto patched = [&](size_t offset, std::string bytes) {
        std::string s = good;
        s.replace(offset, bytes.size(), bytes);
        return s;
    };
    struct TCase {
        const char* Name;
        std::string Bytes;
    };
    const TCase cases[] = {
        {"empty", ""},
        {"another tag", patched(0, "abmp12")},
        {"only the tag", cut(16)},
        {"data block cut short", cut(at.DataBlock + 30)},
        {"data size past the end", patched(at.DataBlock + 16, "\xFF\xFF\xFF\x7F")},
        {"data that does not expand", patched(at.DataBlock + 20, std::string(12, '\x55'))},
        {"no image block", cut(at.ImageBlock)},
        {"picture size past the end", patched(at.ImageBlock + 16 + 1 + 16 + 6 + 1, std::string("\x00\x00\x00\x10", 4))},
        {"picture count past the end", patched(at.ImageBlock + 16, "\xFF")},
        {"no sound block", cut(at.SoundBlock)},
        {"sound block tag missing", patched(at.SoundBlock, "absound11")},
        {"sound cut short", cut(good.size() - 1)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string reason;
        EXPECT_TRUE(Fails(c.Bytes, &reason));
        EXPECT_NE(reason.find("broken.b: "), std::string::npos) << reason;
    }
}

TEST(AnimationBmpLibTest, DamageInsideTheDataBlockFails) {
    // The expanded data is written by hand here: a motion that claims more layers than follow,
    // and a layer whose key frames are cut short.
    auto fileWith = [](const std::string& body) {
        std::string f = AnimationBmpLib::MakeTag("abmp11") + AnimationBmpLib::MakeTag("abdata10");
        const std::string packed = uMisc::BPECompressBytes(body.data(), body.size());
        const uint32_t n = static_cast<uint32_t>(packed.size());
        f += std::string{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                         static_cast<char>(n >> 24)};
        f += packed;
        f += AnimationBmpLib::MakeTag("abimage10") + std::string(1, '\0');
        f += AnimationBmpLib::MakeTag("absound10") + std::string(1, '\0');
        return f;
    };
    const std::string head = std::string("\x01\x00N", 3) + std::string(8, '\0');  // name "N", 0 x 0
    const std::string motion = AnimationBmpLib::MakeTag("abmotion10") + std::string("\x01\x00M", 3);
    const std::string layerHead = AnimationBmpLib::MakeTag("ablayer13") + std::string("\x00\x00\x20\x00", 4);
    auto none = Load(fileWith(head + std::string(1, '\0')));  // no motions at all loads
    EXPECT_EQ(none->MotionCount(), 0);
    EXPECT_TRUE(Fails(fileWith(head + "\x01" + motion + "\x02" + layerHead + std::string(57 * 32, '\0'))));
    EXPECT_TRUE(Fails(fileWith(head + "\x01" + motion + "\x01" + layerHead + std::string(57 * 31, '\0'))));
    EXPECT_TRUE(Fails(fileWith(head + "\x01" + motion + "\x01" + AnimationBmpLib::MakeTag("ablayer14"))));
    EXPECT_TRUE(Fails(fileWith(head + "\xFF" + motion)));
}

TEST(AnimationBmpLibTest, ASinglePictureBecomesAOneLayerAnimation) {
    auto a = Load(SolidPng(7, 5, 0xFF336699), "pics\\Still.PNG");
    EXPECT_EQ(a->Name, "none");
    EXPECT_EQ(a->Data->Width, 7);
    EXPECT_EQ(a->Data->Height, 5);
    ASSERT_EQ(a->MotionCount(), 1);
    const TABMPLayer10& layer = *a->Data->Motions[0]->Layers[0];
    EXPECT_EQ(layer.Keys[0].Time, 0);
    EXPECT_EQ(layer.Keys[0].Kind, 2);
    EXPECT_EQ(layer.Keys[0].SrcW, 0);  // the whole picture
    EXPECT_EQ(layer.Keys[1].Time, 1000);
    EXPECT_EQ(layer.Keys[1].Kind, 2);
    EXPECT_EQ(layer.Keys[1].Param, 1000);
    EXPECT_EQ(layer.Keys[2].Command, 1);
    EXPECT_EQ(layer.Keys[2].Arg1, 1);
    EXPECT_EQ(a->Data->Motions[0]->Layers[1]->Keys[0].Kind, 0);
    EXPECT_EQ(a->Images->Items[0]->ImageType, 3);

    // A movie plays once over its length: key frame 1 sits at the movie's end.
    std::vector<uMovieWriter::TFrame> frames(3);
    TBitmap32 picture(4, 2);
    for (auto& f : frames) {
        f.Type = static_cast<int32_t>(TMoviePictureType::Raw32);
        f.Data = uMovieWriter::EncodePicture(picture, TMoviePictureType::Raw32);
    }
    uMovieWriter::TOptions options;
    options.TotalTime = 2400;
    auto m = Load(uMovieWriter::WriteMovie(frames, options), "clip.m");
    const TABMPLayer10& movieLayer = *m->Data->Motions[0]->Layers[0];
    EXPECT_EQ(movieLayer.Keys[1].Time, 2400);
    EXPECT_EQ(movieLayer.Keys[2].Time, 3400);
    EXPECT_EQ(movieLayer.Keys[2].Param, 2400);
    EXPECT_EQ(m->Data->Width, 4);

    // A picture that cannot be decoded, or a name of another kind, loads nothing.
    TAnimationBMP b;
    TMemoryStream junk(std::string(20, 'j'));
    EXPECT_FALSE(b.LoadFromStream(&junk, "x.png"));
    EXPECT_EQ(b.Data->Width, 0);
    EXPECT_FALSE(b.LoadFromStream(&junk, "x.txt"));
    EXPECT_FALSE(b.LoadFromStream(nullptr, "x.b"));
}

TEST(AnimationBmpLibTest, ImageRecordsReplaceTheirPictures) {
    auto a = Load(AnimationBmpWriter::Write(File({LayerOf(13)}, {SolidPng(2, 2, 0xFF0000FF)})));
    TABMPImageData10& image = *a->Images->Items[0];
    image.SetEffect("mirror,1");
    ASSERT_NE(image.Effect.EffectPicture, nullptr);
    EXPECT_EQ(image.GetImage(), image.Effect.EffectPicture.get());

    // A replacement keeps the effect text and makes the effect copy of the new picture.
    TMemoryStream other(SolidPng(3, 1, 0xFFFF0000));
    EXPECT_TRUE(a->LoadImageData(0, &other, "other.png"));
    ASSERT_NE(image.GetImage(), nullptr);
    EXPECT_EQ(image.GetImage()->Width(), 3);
    EXPECT_EQ(image.GetImage(), image.Effect.EffectPicture.get());
    EXPECT_FALSE(a->LoadImageData(1, &other, "other.png"));
    EXPECT_FALSE(a->LoadImageData(0, nullptr, "other.png"));

    TARGB8888 shot;
    shot.SetSize(5, 5);
    image.SetEffect("");
    image.SetImage(&shot);
    EXPECT_EQ(image.GetImage()->Width(), 5);
    EXPECT_NE(image.GetImage(), &shot);
    image.Empty();
    EXPECT_EQ(image.GetImage(), nullptr);
}

}  // namespace
