#include "media/AnimationBmpWriter.h"

#include <algorithm>

#include "foundation/Compression.h"
#include "platform/LittleEndian.h"

namespace AnimationBmpWriter {

namespace {

class TOut {
public:
    void Tag(const std::string& text) { Bytes += AnimationBmpLib::MakeTag(text); }
    void U8(uint8_t v) { Bytes.push_back(static_cast<char>(v)); }
    void U32(uint32_t v) {
        uint8_t b[4];
        LittleEndian::Put32(b, v);
        Bytes.append(reinterpret_cast<const char*>(b), 4);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void Str(const std::string& s) {
        if (s.size() > 0xFFFF) throw std::length_error("a text of more than 65535 bytes: " + s.substr(0, 32));
        U8(static_cast<uint8_t>(s.size()));
        U8(static_cast<uint8_t>(s.size() >> 8));
        Bytes += s;
    }
    void Raw(const std::string& s) { Bytes += s; }
    // A 32-byte zero-terminated name of the old format.
    void OldName(const std::string& s) {
        std::string name = s.substr(0, 31);
        name.resize(32, '\0');
        Bytes += name;
    }
    void Sized(const std::string& data) {
        if (data.size() > UINT32_MAX) throw std::length_error("an item of 4 GiB or more");
        U32(static_cast<uint32_t>(data.size()));
        Bytes += data;
    }

    std::string Bytes;
};

uint8_t Count(size_t n, const char* what) {
    if (n > 255) throw std::length_error(std::string("more than 255 ") + what);
    return static_cast<uint8_t>(n);
}

std::string Compress(const std::string& body) {
    return uMisc::BPECompressBytes(body.data(), body.size());
}

void WriteItems(TOut& out, const char* blockTag, const char* recordTag, const std::vector<TItem>& items,
                const char* what) {
    out.Tag(blockTag);
    out.U8(Count(items.size(), what));
    for (const TItem& item : items) {
        out.Tag(recordTag);
        out.Str(item.Name);
        out.U8(item.Type);
        out.Sized(item.Data);
    }
}

}  // namespace

std::array<TABMPKeyFrame, AnimationBmpLib::kKeyCount> FreshKeys() {
    std::array<TABMPKeyFrame, AnimationBmpLib::kKeyCount> keys{};
    for (int32_t k = 0; k < AnimationBmpLib::kKeyCount; ++k)
        keys[k].Time = k * 1000;
    return keys;
}

std::string Write(const TFile& file, TLayout* layout) {
    if (file.Version != 10 && file.Version != 11) throw std::invalid_argument("file versions are 10 and 11");
    if (file.DataVersion != 10 && file.DataVersion != 11) throw std::invalid_argument("data versions are 10 and 11");
    TOut body;
    body.Str(file.Name);
    body.I32(file.Width);
    body.I32(file.Height);
    if (file.DataVersion == 11) {
        body.I32(file.Length);
        body.Str(file.Text);
    }
    body.U8(Count(file.Motions.size(), "motions"));
    for (const TMotion& motion : file.Motions) {
        body.Tag("abmotion10");
        body.Str(motion.Name);
        body.U8(Count(motion.Layers.size(), "layers in a motion"));
        for (const TLayer& layer : motion.Layers) {
            if (layer.Version < 10 || layer.Version > 13) throw std::invalid_argument("layer versions are 10 to 13");
            body.Tag("ablayer" + std::to_string(layer.Version));
            body.Str(layer.Name);
            body.U8(layer.CountByte);
            if (layer.Version >= 11) body.U8(layer.KeyStackMode);
            TRecordWriter keys(AnimationBmpLib::kKeyCount * AnimationBmpLib::kKeyFrameSize);
            for (const TABMPKeyFrame& k : layer.Keys)
                AnimationBmpLib::WriteKeyFrame(keys, k);
            body.Raw(std::string(keys.Bytes.begin(), keys.Bytes.end()));
        }
    }

    TOut out;
    out.Tag(file.Version == 11 ? "abmp11" : "abmp10");
    if (layout) layout->DataBlock = out.Bytes.size();
    out.Tag(file.DataVersion == 11 ? "abdata11" : "abdata10");
    out.Sized(Compress(body.Bytes));
    if (layout) layout->ImageBlock = out.Bytes.size();
    WriteItems(out, "abimage10", "abimgdat10", file.Images, "pictures");
    if (layout) layout->SoundBlock = out.Bytes.size();
    WriteItems(out, "absound10", "absnddat10", file.Sounds, "sounds");
    return out.Bytes;
}

std::string WriteABMP7(const TOldFile& file) {
    TOut body;
    for (const TOldMotion& motion : file.Motions) {
        body.OldName(motion.Name);
        body.U32(static_cast<uint32_t>(motion.DeclaredLayers >= 0 ? motion.DeclaredLayers : motion.Layers.size()));
        for (const TOldLayer& layer : motion.Layers) {
            body.OldName(layer.Name);
            TRecordWriter keys(AnimationBmpLib::kKeyCount * AnimationBmpLib::kABMP7KeyFrameSize);
            for (const TABMP7KeyFrame& k : layer.Keys)
                AnimationBmpLib::WriteABMP7KeyFrame(keys, k);
            body.Raw(std::string(keys.Bytes.begin(), keys.Bytes.end()));
        }
    }
    TOut out;
    out.Raw(std::string("ABMP7\0\0\0", 8));
    out.U8(Count(file.Motions.size(), "motions"));
    out.U8(0);
    out.U8(file.PictureType);
    out.U8(Count(file.Sounds.size(), "sounds"));
    out.Sized(Compress(body.Bytes));
    out.Sized(file.Picture);
    for (const TItem& sound : file.Sounds) {
        out.OldName(sound.Name);
        out.Sized(sound.Data);
    }
    return out.Bytes;
}

}  // namespace AnimationBmpWriter
