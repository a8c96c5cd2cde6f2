// Writes animation files: the current ".b" format in every version the reader knows (file tags
// "abmp10" and "abmp11", data blocks "abdata10" and "abdata11", layers "ablayer10" to
// "ablayer13") and the old "ABMP7" format. The layouts are those of media/AnimationBmpLib.h and
// media/AnimationBmpImport.cpp. The animation tool and the tests make their files with it.
//
// Key frames are written as given: for layers older than version 13 their rectangles are corners,
// and in versions 10 and 11 the kinds 4 and 5 mean frame blend and hit area, as such files hold
// them.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/AnimationBmpLib.h"

namespace AnimationBmpWriter {

// Picture types of an image record and sound types of a sound record.
enum class TImageType : uint8_t { Bmp = 0, Jpeg = 1, Png = 2, Png3 = 3, Movie = 4, Argb = 5, Animation = 6 };
enum class TSoundType : uint8_t { Wave = 0, Ogg = 1 };

// The 32 key frames a fresh layer has: defaults, at 0, 1000, 2000, ... ms.
std::array<TABMPKeyFrame, AnimationBmpLib::kKeyCount> FreshKeys();

struct TLayer {
    std::string Name = "NoName";
    int32_t Version = 13;      // 10..13
    uint8_t CountByte = 32;    // the key-frame count byte, which readers ignore
    uint8_t KeyStackMode = 0;  // not stored by version 10
    std::array<TABMPKeyFrame, AnimationBmpLib::kKeyCount> Keys = FreshKeys();
};

struct TMotion {
    std::string Name = "NoName";
    std::vector<TLayer> Layers;
};

struct TItem {
    std::string Name;
    uint8_t Type = 0;  // TImageType or TSoundType; any value is written
    std::string Data;  // the file's bytes
};

struct TFile {
    int32_t Version = 11;      // 10 or 11: the file tag
    int32_t DataVersion = 11;  // 10 or 11: the data block's tag; length and text only in 11
    std::string Name = "NoName";
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Length = 0;
    std::string Text;
    std::vector<TMotion> Motions;
    std::vector<TItem> Images;
    std::vector<TItem> Sounds;
};

// Where the blocks of a written file begin, for tests that damage one on purpose.
struct TLayout {
    size_t DataBlock = 0;
    size_t ImageBlock = 0;
    size_t SoundBlock = 0;
};

// The file's bytes. Throws std::length_error for more than 255 motions, layers of a motion,
// pictures or sounds, a text longer than 65535 bytes or an item of 4 GiB or more, and
// std::invalid_argument for a version the format does not have.
std::string Write(const TFile& file, TLayout* layout = nullptr);

struct TOldLayer {
    std::string Name;  // up to 31 bytes are kept
    std::array<TABMP7KeyFrame, AnimationBmpLib::kKeyCount> Keys{};
};

struct TOldMotion {
    std::string Name;
    std::vector<TOldLayer> Layers;
    int64_t DeclaredLayers = -1;  // 0 or more: the layer count written instead of the true one
};

struct TOldFile {
    std::vector<TOldMotion> Motions;
    uint8_t PictureType = 2;    // 0 BMP, 1 JPEG, 2 or 3 PNG
    std::string Picture;        // the picture file's bytes; empty: none
    std::vector<TItem> Sounds;  // Ogg Vorbis files; the type is not stored
};

// An "ABMP7" file; the same limits (255 motions or sounds).
std::string WriteABMP7(const TOldFile& file);

}  // namespace AnimationBmpWriter
