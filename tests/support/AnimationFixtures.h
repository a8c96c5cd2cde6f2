// Animations made in code for the animation tests, fuzz seeds and benchmarks: small pictures to
// embed, and shortcuts around the animation writer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/AnimationBmpLib.h"
#include "media/AnimationBmpWriter.h"

namespace AnimationFixtures {

// A PNG with alpha of w x h pixels 0xAARRGGBB, row 0 first; or of one colour.
std::string Png(int32_t w, int32_t h, const std::vector<uint32_t>& pixels);
std::string SolidPng(int32_t w, int32_t h, uint32_t colour);

// A key frame at the time, of the kind, with a command and its first arguments; the rest fresh.
TABMPKeyFrame Key(int32_t time, TABMPKind kind, TABMPCommand command = TABMPCommand::None, uint8_t arg1 = 0,
                  uint8_t arg2 = 0, uint8_t arg3 = 0);

// A file of one motion "*Enable" holding the layers, with the pictures as PNG records.
AnimationBmpWriter::TFile File(const std::vector<AnimationBmpWriter::TLayer>& layers,
                               const std::vector<std::string>& pngs = {});

// A file of w x h whose motions Idle, *Enable, *Disable, *OnMouse and *OffMouse each draw
// embedded picture 0 at the origin over a hit area of the whole frame; the pictures as PNG records.
AnimationBmpWriter::TFile StateFile(int32_t w, int32_t h, const std::vector<std::string>& pngs);

// Loads bytes as the file name says, sharing its media through the caches given (none: its own
// copies); the load is expected to succeed.
std::unique_ptr<TAnimationBMP> Load(const std::string& bytes, const std::string& fileName = "test.b",
                                    IAnimationSound* sound = nullptr, TMediaContext* media = nullptr);

}  // namespace AnimationFixtures
