// The old "ABMP7" animations, imported into the tree of the current format.
//
// File layout (integers little-endian):
//   0    8   tag "ABMP7", zero-padded
//   8    4   bytes: motions, (unused), the picture's type (BMP 0, JPEG 1, PNG 2 and 3), sounds
//   12   4   M, then M bytes of a byte-pair-compressed stream holding the motions: per motion a
//            32-byte zero-terminated name and a u32 layer count, per layer a 32-byte name and 32
//            old key frames of 32 bytes
//   ..   4   P, then P bytes of the one picture every layer draws from
//   ..       per sound: a 32-byte name, u32 S, then S bytes of an Ogg Vorbis file
//
// Old key frame: i32 time, source and destination corners (i16 x 4 each), i16 depth, u32 colour
// 0xAARRGGBB, u8 kind, u8 source curve, u8 destination curve, u8 colour blend flag, u8 command,
// u8 argument. The old kinds fold drawing kind and blend mode into one number; the colour means a
// tint only for some of them (see OldColours).
#include <algorithm>
#include <cstring>

#include "foundation/Compression.h"
#include "media/AnimationBmpLib.h"
#include "platform/LittleEndian.h"

using AnimationBmpLib::kKeyCount;

namespace {

constexpr int32_t kHeaderSize = 12;
constexpr int32_t kNameSize = 32;
constexpr int32_t kOldLayerSize = kNameSize + kKeyCount * AnimationBmpLib::kABMP7KeyFrameSize;  // 1056
constexpr int32_t kOldMotionHead = kNameSize + 4;
constexpr int32_t kOldSoundHead = kNameSize + 4;

struct TKindBlend {
    TABMPKind Kind;
    uint8_t Blend;
};

// Old kinds 0 to 20; 21 and above draw nothing.
constexpr TKindBlend kOldKinds[] = {
    {TABMPKind::None, 0},    {TABMPKind::Draw, 0},    {TABMPKind::Draw, 1},       {TABMPKind::Draw, 2},
    {TABMPKind::Draw, 3},    {TABMPKind::Draw, 0},    {TABMPKind::Draw, 0},       {TABMPKind::Draw, 0},
    {TABMPKind::Fill, 0},    {TABMPKind::Stretch, 0}, {TABMPKind::Stretch, 1},    {TABMPKind::Stretch, 2},
    {TABMPKind::Stretch, 3}, {TABMPKind::Stretch, 0}, {TABMPKind::Fill, 0},       {TABMPKind::Fill, 1},
    {TABMPKind::Fill, 2},    {TABMPKind::Fill, 3},    {TABMPKind::FrameBlend, 0}, {TABMPKind::HitArea, 0},
    {TABMPKind::None, 0},
};

// Old kinds whose colour is a multiply tint (fills, and kind 6); kind 5 adds its colour.
bool TintsByMultiply(uint8_t kind) {
    return kind == 6 || kind == 8 || kind == 14 || kind == 15 || kind == 16 || kind == 17;
}

// The colours of a key frame: its own kind decides, unless the key frame before it blends its
// colour towards this one and is of a kind that has no colour of its own to blend, in which case
// that key frame's kind decides. The alpha always comes from the colour's top byte.
void OldColours(const TABMP7KeyFrame& o, const TABMP7KeyFrame& q, TABMPKeyFrame& k) {
    uint8_t g = o.Kind;
    if (q.ColorLerp != 0 && q.Kind != 5 && !TintsByMultiply(q.Kind)) g = q.Kind;
    k.Alpha = static_cast<uint8_t>(o.Colour >> 24);
    k.AddColor = 0;
    k.MulColor = 0xFFFFFF;
    if (g == 5) {
        k.AddColor = o.Colour & 0xFFFFFF;
    } else if (TintsByMultiply(g)) {
        k.MulColor = o.Colour & 0xFFFFFF;
    }
}

TABMPKeyFrame Convert(const TABMP7KeyFrame& o, const TABMP7KeyFrame& q) {
    TABMPKeyFrame k;
    k.Time = o.Time;
    k.SrcX = o.Src[0];
    k.SrcY = o.Src[1];
    k.SrcW = o.Src[2];
    k.SrcH = o.Src[3];
    k.DstX = o.Dst[0];
    k.DstY = o.Dst[1];
    k.DstW = o.Dst[2];
    k.DstH = o.Dst[3];
    k.Depth = o.Depth;
    k.SrcCurve = o.SrcCurve;
    k.DstCurve = o.DstCurve;
    k.ColorLerp = o.ColorLerp;
    k.Command = o.Command;
    k.Arg1 = o.Arg;
    if (o.Kind < std::size(kOldKinds)) {
        k.Kind = static_cast<uint8_t>(kOldKinds[o.Kind].Kind);
        k.Blend = kOldKinds[o.Kind].Blend;
    }
    OldColours(o, q, k);
    return k;
}

std::string OldName(const uint8_t* bytes) {
    const char* text = reinterpret_cast<const char*>(bytes);
    return std::string(text, strnlen(text, kNameSize));
}

}  // namespace

bool TAnimationBMP::LoadABMP7(TStream& stream, const std::string& fileName) {
    const int64_t start = stream.Position();
    std::vector<uint8_t> head;
    if (!ReadRecordBytes(stream, kHeaderSize, head) ||
        std::string(reinterpret_cast<const char*>(head.data()),
                    strnlen(reinterpret_cast<const char*>(head.data()), 8)) != "ABMP7") {
        stream.SetPosition(start);
        return false;
    }
    const uint8_t motionCount = head[8], pictureType = head[10], soundCount = head[11];
    Clear();
    Name = AnimationBmpLib::StripExtension(fileName);

    uint32_t size = 0;
    auto packed = std::make_unique<TMemoryStream>();
    if (!LittleEndian::Read32(stream, size) || !AnimationBmpLib::CopyItem(stream, size, *packed))
        return Fail(stream, "the motion block runs past the end of the file");
    const std::unique_ptr<TMemoryStream> body = uMisc::PackStream(packed, true);
    if (!body) return Fail(stream, "the motion block does not expand");
    if (int64_t{motionCount} * kOldMotionHead > body->Remaining())
        return Fail(*body, "motion block: more motions than bytes left");
    Data->Width = 0;
    Data->Height = 0;
    Data->Version = 7;
    Data->Motions.clear();
    for (int32_t m = 0; m < motionCount; ++m) {
        auto motion = std::make_unique<TABMPMotion10>(Data.get());
        motion->Version = 7;
        std::vector<uint8_t> motionHead;
        if (!ReadRecordBytes(*body, kOldMotionHead, motionHead)) return Fail(*body, "motion block: cut short");
        motion->MotionName = OldName(motionHead.data());
        const uint32_t declared = LittleEndian::Get32(motionHead.data() + kNameSize);
        // The player keeps clocks for 256 layers; layers beyond them are passed over.
        const int64_t present = std::min<int64_t>(declared, body->Remaining() / kOldLayerSize);
        const int64_t kept = std::min<int64_t>(present, AnimationBmpLib::kMaxLayers);
        motion->Layers.clear();
        for (int64_t l = 0; l < kept; ++l) {
            auto layer = std::make_unique<TABMPLayer10>(motion.get());
            layer->Version = 7;
            layer->KeyStackMode = static_cast<uint8_t>(l == 0 ? TKeyStackMode::Push : TKeyStackMode::Apply);
            std::vector<uint8_t> bytes;
            ReadRecordBytes(*body, kOldLayerSize, bytes);
            layer->LayerName = OldName(bytes.data());
            TRecordReader r(bytes);
            r.Skip(kNameSize);
            TABMP7KeyFrame previous;
            for (int32_t k = 0; k < kKeyCount; ++k) {
                const TABMP7KeyFrame o = AnimationBmpLib::ReadABMP7KeyFrame(r);
                layer->Keys[k] = Convert(o, k == 0 ? o : previous);
                previous = o;
            }
            motion->Layers.push_back(std::move(layer));
        }
        body->Seek((present - kept) * kOldLayerSize, TSeekOrigin::Current);
        Data->Motions.push_back(std::move(motion));
    }

    if (!LittleEndian::Read32(stream, size)) return Fail(stream, "the picture size is cut short");
    if (size > 0) {
        TMemoryStream item;
        if (!AnimationBmpLib::CopyItem(stream, size, item))
            return Fail(stream, "the picture runs past the end of the file");
        Images->Reset();
        TABMPImageData10& image = *Images->Items[0];
        static const char* const kExtensions[] = {".bmp", ".jpg", ".png", ".png"};
        if (pictureType < std::size(kExtensions))
            image.LoadImage(&item, image.GetFullName() + kExtensions[pictureType]);
        image.ImageName = "NoName";
    }

    if (int64_t{soundCount} * kOldSoundHead > stream.Remaining()) return Fail(stream, "more sounds than bytes left");
    Sounds->Items.clear();
    for (int32_t i = 0; i < soundCount; ++i) {
        auto sound = std::make_unique<TABMPSoundData10>(Sounds.get(), i);
        std::vector<uint8_t> soundHead;
        if (!ReadRecordBytes(stream, kOldSoundHead, soundHead)) return Fail(stream, "a sound's head is cut short");
        size = LittleEndian::Get32(soundHead.data() + kNameSize);
        if (size > 0) {
            TMemoryStream item;
            if (!AnimationBmpLib::CopyItem(stream, size, item))
                return Fail(stream, "a sound runs past the end of the file");
            sound->LoadSound(&item, sound->GetFullName() + ".ogg");
            sound->SoundName = OldName(soundHead.data());
        }
        Sounds->Items.push_back(std::move(sound));
    }

    ConvertCorners();
    Version = 7;
    RefreshHitLayers();
    return true;
}
