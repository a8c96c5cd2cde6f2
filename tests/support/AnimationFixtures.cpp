#include "tests/support/AnimationFixtures.h"

#include <gtest/gtest.h>

#include "platform/ClassLib.h"
#include "tests/support/ImageFixtures.h"

namespace AnimationFixtures {

std::string Png(int32_t w, int32_t h, const std::vector<uint32_t>& pixels) {
    ImageFixtures::TPng png;
    png.Width = w;
    png.Height = h;
    png.ColourType = 6;
    for (uint32_t p : pixels)
        png.Samples.insert(png.Samples.end(),
                           {static_cast<uint16_t>((p >> 16) & 0xFF), static_cast<uint16_t>((p >> 8) & 0xFF),
                            static_cast<uint16_t>(p & 0xFF), static_cast<uint16_t>(p >> 24)});
    return ImageFixtures::WritePng(png);
}

std::string SolidPng(int32_t w, int32_t h, uint32_t colour) {
    return Png(w, h, std::vector<uint32_t>(static_cast<size_t>(w) * static_cast<size_t>(h), colour));
}

TABMPKeyFrame Key(int32_t time, TABMPKind kind, TABMPCommand command, uint8_t arg1, uint8_t arg2, uint8_t arg3) {
    TABMPKeyFrame k;
    k.Time = time;
    k.Kind = static_cast<uint8_t>(kind);
    k.Command = static_cast<uint8_t>(command);
    k.Arg1 = arg1;
    k.Arg2 = arg2;
    k.Arg3 = arg3;
    return k;
}

AnimationBmpWriter::TFile File(const std::vector<AnimationBmpWriter::TLayer>& layers,
                               const std::vector<std::string>& pngs) {
    AnimationBmpWriter::TFile file;
    file.Name = "fixture";
    file.Width = 64;
    file.Height = 48;
    file.Length = 2000;
    AnimationBmpWriter::TMotion motion;
    motion.Name = "*Enable";
    motion.Layers = layers;
    file.Motions.push_back(motion);
    for (size_t i = 0; i < pngs.size(); ++i)
        file.Images.push_back(
            {"pic" + std::to_string(i), static_cast<uint8_t>(AnimationBmpWriter::TImageType::Png), pngs[i]});
    return file;
}

AnimationBmpWriter::TFile StateFile(int32_t w, int32_t h, const std::vector<std::string>& pngs) {
    AnimationBmpWriter::TLayer draw;
    draw.Keys[0] = Key(0, TABMPKind::Draw);
    AnimationBmpWriter::TLayer hit;
    hit.Keys[0] = Key(0, TABMPKind::HitArea);
    hit.Keys[0].DstW = static_cast<int16_t>(w);
    hit.Keys[0].DstH = static_cast<int16_t>(h);
    AnimationBmpWriter::TFile file = File({draw, hit}, pngs);
    file.Width = w;
    file.Height = h;
    file.Motions.clear();
    for (const char* name : {"Idle", "*Enable", "*Disable", "*OnMouse", "*OffMouse"})
        file.Motions.push_back({name, {draw, hit}});
    return file;
}

std::unique_ptr<TAnimationBMP> Load(const std::string& bytes, const std::string& fileName, IAnimationSound* sound,
                                    TMediaContext* media) {
    auto animation = std::make_unique<TAnimationBMP>(sound);
    animation->Media = media;
    TMemoryStream stream(bytes);
    EXPECT_TRUE(animation->LoadFromStream(&stream, fileName)) << animation->Error();
    return animation;
}

}  // namespace AnimationFixtures
