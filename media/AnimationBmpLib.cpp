// The object tree of an animation and the readers of the current ".b" format.
#include "media/AnimationBmpLib.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "foundation/Compression.h"
#include "foundation/PackLib.h"
#include "foundation/StreamStrings.h"
#include "media/MediaContext.h"
#include "media/uARGB8888Manager.h"
#include "media/uARGB8888Movie.h"
#include "media/uWaveDataManager.h"
#include "platform/LittleEndian.h"

using AnimationBmpLib::kKeyCount;
using AnimationBmpLib::kKeyFrameSize;
using AnimationBmpLib::kTagSize;

namespace {

// The smallest blocks a count can promise: a count larger than the bytes left could hold is
// refused before anything is made for it.
constexpr int64_t kMinMotionBytes = kTagSize + 2 + 1;
constexpr int64_t kMinLayerBytes = kTagSize + 2 + 1 + kKeyCount * kKeyFrameSize;
constexpr int64_t kMinRecordBytes = kTagSize + 2 + 1 + 4;

bool ReadU8(TStream& s, uint8_t& v) {
    return s.Read(&v, 1) == 1;
}

bool ReadI32(TStream& s, int32_t& v) {
    uint32_t u = 0;
    if (!LittleEndian::Read32(s, u)) return false;
    v = static_cast<int32_t>(u);
    return true;
}

// The bytes from the stream's position to its end, as the caches take an item's size.
int32_t Size(TStream& stream) {
    return static_cast<int32_t>(std::min<int64_t>(stream.Remaining(), INT32_MAX));
}

std::string At(int64_t offset) {
    return " (offset " + std::to_string(offset) + ")";
}

// Corner-to-size subtraction on the 16-bit fields: it wraps, so corners more than 32767 apart
// give what the old files meant by them (x1 = -30000, x2 = 30000 give -5536, held at 0 later).
int16_t Difference(int16_t a, int16_t b) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint16_t>(a) - static_cast<uint16_t>(b)));
}

}  // namespace

// ---- key frames, tags, anchors ----

namespace AnimationBmpLib {

bool CopyItem(TStream& stream, uint32_t size, TMemoryStream& item) {
    if (static_cast<int64_t>(size) > stream.Remaining()) return false;
    item.Data.resize(size);
    item.SetPosition(0);
    return stream.Read(item.Data.data(), size) == static_cast<int64_t>(size);
}

std::string StripExtension(const std::string& fileName) {
    return fileName.substr(0, fileName.size() - ARGB8888Lib::ExtensionOf(fileName).size());
}

TABMPKeyFrame ReadKeyFrame(TRecordReader& r) {
    TABMPKeyFrame k;
    k.Time = r.I32();
    k.Kind = r.U8();
    k.Blend = r.U8();
    k.Image = r.U8();
    k.Image2 = r.U8();
    k.SrcX = r.I16();
    k.SrcY = r.I16();
    k.SrcW = r.I16();
    k.SrcH = r.I16();
    k.Param = r.I32();
    k.Param2 = r.I32();
    k.DstX = r.I16();
    k.DstY = r.I16();
    k.DstW = r.I16();
    k.DstH = r.I16();
    k.Depth = r.I16();
    k.Angle = r.I16();
    k.AddColor = r.U32();
    k.MulColor = r.U32();
    k.Alpha = r.U8();
    k.SrcCurve = r.U8();
    k.SrcTension = r.U8();
    k.SrcAnchor = r.U8();
    k.DstCurve = r.U8();
    k.DstTension = r.U8();
    k.DstAnchor = r.U8();
    k.ColorLerp = r.U8();
    k.Command = r.U8();
    k.Arg1 = r.U8();
    k.Arg2 = r.U8();
    k.Arg3 = r.U8();
    k.Arg4 = r.U8();
    return k;
}

void WriteKeyFrame(TRecordWriter& w, const TABMPKeyFrame& k) {
    const int32_t start = w.Size();
    w.I32(k.Time);
    w.U8(k.Kind);
    w.U8(k.Blend);
    w.U8(k.Image);
    w.U8(k.Image2);
    for (int16_t v : {k.SrcX, k.SrcY, k.SrcW, k.SrcH})
        w.I16(v);
    w.I32(k.Param);
    w.I32(k.Param2);
    for (int16_t v : {k.DstX, k.DstY, k.DstW, k.DstH, k.Depth, k.Angle})
        w.I16(v);
    w.U32(k.AddColor);
    w.U32(k.MulColor);
    for (uint8_t v : {k.Alpha, k.SrcCurve, k.SrcTension, k.SrcAnchor, k.DstCurve, k.DstTension, k.DstAnchor,
                      k.ColorLerp, k.Command, k.Arg1, k.Arg2, k.Arg3, k.Arg4})
        w.U8(v);
    if (w.Size() - start != kKeyFrameSize) throw std::logic_error("a key frame record is 57 bytes");
}

TABMP7KeyFrame ReadABMP7KeyFrame(TRecordReader& r) {
    TABMP7KeyFrame o;
    o.Time = r.I32();
    for (int16_t& v : o.Src)
        v = r.I16();
    for (int16_t& v : o.Dst)
        v = r.I16();
    o.Depth = r.I16();
    o.Colour = r.U32();
    o.Kind = r.U8();
    o.SrcCurve = r.U8();
    o.DstCurve = r.U8();
    o.ColorLerp = r.U8();
    o.Command = r.U8();
    o.Arg = r.U8();
    return o;
}

void WriteABMP7KeyFrame(TRecordWriter& w, const TABMP7KeyFrame& o) {
    const int32_t start = w.Size();
    w.I32(o.Time);
    for (int16_t v : o.Src)
        w.I16(v);
    for (int16_t v : o.Dst)
        w.I16(v);
    w.I16(o.Depth);
    w.U32(o.Colour);
    for (uint8_t v : {o.Kind, o.SrcCurve, o.DstCurve, o.ColorLerp, o.Command, o.Arg})
        w.U8(v);
    if (w.Size() - start != kABMP7KeyFrameSize) throw std::logic_error("an old key frame record is 32 bytes");
}

std::string MakeTag(const std::string& text) {
    std::string tag = text.substr(0, kTagSize);
    tag.resize(kTagSize, '\0');
    return tag;
}

TBlendMode BlendMode(uint8_t blend) {
    return blend >= 1 && blend <= 7 ? static_cast<TBlendMode>(blend + 2) : TBlendMode{2};
}

void AnchorOffset(uint32_t anchor, float w, float h, float& ax, float& ay) {
    ax = w / 2 * static_cast<float>(anchor % 3);
    ay = h / 2 * static_cast<float>(anchor / 3);
}

int32_t RoundHalfEven(double v) {
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::rint(std::clamp<double>(v, INT32_MIN, INT32_MAX)));
}

void CornersToSizes(TABMPLayer10& layer) {
    auto framed = [](uint8_t kind) { return kind == 1 || kind == 3 || kind == 6; };
    for (int32_t k = 0; k < kKeyCount; ++k) {
        TABMPKeyFrame& o = layer.Keys[k];
        const TABMPKeyFrame* p = k > 0 ? &layer.Keys[k - 1] : nullptr;
        auto source = [&o] {
            o.SrcW = Difference(o.SrcW, o.SrcX);
            o.SrcH = Difference(o.SrcH, o.SrcY);
        };
        auto destination = [&o] {
            o.DstW = Difference(o.DstW, o.DstX);
            o.DstH = Difference(o.DstH, o.DstY);
        };
        o.SrcTension = 100;
        o.DstTension = 100;
        // A key frame that draws nothing still carries the corners its predecessor moves towards.
        switch (o.Kind) {
            case 0:
                if (!p) break;
                if (p->Kind == 4 && p->SrcCurve != 0) source();
                if (p->Kind == 2 || framed(p->Kind)) {
                    if (p->SrcCurve != 0) source();
                    if (p->DstCurve != 0) destination();
                }
                break;
            case 1:
            case 3:
            case 6:
                source();
                destination();
                break;
            case 2:
                source();
                if (p && framed(p->Kind) && p->DstCurve != 0) destination();
                break;
            case 4:
                source();
                o.DstAnchor = 4;
                break;
            default:
                break;
        }
        o.SrcW = std::max<int16_t>(o.SrcW, 0);
        o.SrcH = std::max<int16_t>(o.SrcH, 0);
        o.DstW = std::max<int16_t>(o.DstW, 0);
        o.DstH = std::max<int16_t>(o.DstH, 0);
    }
}

}  // namespace AnimationBmpLib

// ---- the tree ----

std::string TABMPBaseClass::GetFullName() const {
    std::string name = Name;
    for (const TABMPBaseClass* p = Parent; p; p = p->Parent)
        name = p->Name + "_" + name;
    return name;
}

void TABMPBaseClass::LoadFailed(const std::string& reason) {
    if (Parent) Parent->LoadFailed(reason);
}

int32_t TABMPBaseClass::NestingDepth() const {
    return Parent ? Parent->NestingDepth() : 0;
}

TMediaContext* TABMPBaseClass::MediaOf() const {
    return Parent ? Parent->MediaOf() : nullptr;
}

bool TABMPBaseClass::Fail(TStream& stream, const std::string& what) {
    LoadFailed(what + At(stream.Position()));
    return false;
}

bool TABMPBaseClass::ReadTag(TStream& stream, std::initializer_list<const char*> accepted, size_t& index) {
    const int64_t start = stream.Position();
    char tag[kTagSize];
    if (stream.Read(tag, kTagSize) == kTagSize) {
        const std::string text(tag, strnlen(tag, kTagSize));
        index = 0;
        for (const char* a : accepted) {
            if (text == a) return true;
            ++index;
        }
    }
    stream.SetPosition(start);
    return false;
}

bool TABMPBaseClass::ReadItem(TStream& stream, const char* what, std::string& name, uint8_t& type,
                              TMemoryStream& item) {
    uint32_t size = 0;
    if (!uMisc::ReadStreamString(&stream, name) || !ReadU8(stream, type) || !LittleEndian::Read32(stream, size))
        return Fail(stream, std::string("a ") + what + " record's head is cut short");
    if (!AnimationBmpLib::CopyItem(stream, size, item))
        return Fail(stream, std::string(what) + " \"" + name + "\" runs past the end of the file");
    return true;
}

template <typename TRecord>
bool TABMPBaseClass::ReadRecords(TStream& stream, const char* tag, const char* what,
                                 std::vector<std::unique_ptr<TRecord>>& items) {
    size_t v = 0;
    uint8_t count = 0;
    if (!ReadTag(stream, {tag}, v)) return Fail(stream, std::string("no ") + what + " block (tag " + tag + ")");
    if (!ReadU8(stream, count) || count * kMinRecordBytes > stream.Remaining())
        return Fail(stream, std::string("the ") + what + " block has more records than bytes left");
    items.clear();
    for (int32_t i = 0; i < count; ++i) {
        auto item = std::make_unique<TRecord>(this, i);
        if (!item->LoadFromStream(stream)) return false;
        items.push_back(std::move(item));
    }
    return true;
}

// ---- layers and motions ----

TABMPLayer10::TABMPLayer10(TABMPBaseClass* parent) : TABMPBaseClass(parent, "Layer") {
    Reset();
}

bool TABMPLayer10::LoadFromStream(TStream& stream) {
    size_t v = 0;
    if (!ReadTag(stream, {"ablayer10", "ablayer11", "ablayer12", "ablayer13"}, v))
        return Fail(stream, "data block: no layer (tag ablayer10 to ablayer13)");
    const int32_t version = 10 + static_cast<int32_t>(v);
    std::string name;
    uint8_t count = 0, mode = 0;
    if (!uMisc::ReadStreamString(&stream, name) || !ReadU8(stream, count) || (version >= 11 && !ReadU8(stream, mode)))
        return Fail(stream, "data block: a layer's head is cut short");
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(stream, kKeyCount * kKeyFrameSize, bytes))
        return Fail(stream, "data block: the key frames of layer \"" + name + "\" are cut short");
    TRecordReader r(bytes);
    for (TABMPKeyFrame& k : Keys) {
        k = AnimationBmpLib::ReadKeyFrame(r);
        // These versions had no rotation: their 4 and 5 are today's frame blend and hit area.
        if (version <= 11 && (k.Kind == 4 || k.Kind == 5)) ++k.Kind;
    }
    Version = version;
    LayerName = name;
    KeyStackMode = mode;
    return true;
}

TABMPMotion10::TABMPMotion10(TABMPBaseClass* parent) : TABMPBaseClass(parent, "Motion") {
    Reset();
}

void TABMPMotion10::Reset() {
    MotionName = "NoName";
    Layers.clear();
    for (int i = 0; i < 2; ++i)
        Layers.push_back(std::make_unique<TABMPLayer10>(this));
}

bool TABMPMotion10::LoadFromStream(TStream& stream) {
    size_t v = 0;
    if (!ReadTag(stream, {"abmotion10"}, v)) return Fail(stream, "data block: no motion (tag abmotion10)");
    std::string name;
    uint8_t count = 0;
    if (!uMisc::ReadStreamString(&stream, name) || !ReadU8(stream, count))
        return Fail(stream, "data block: a motion's head is cut short");
    if (count * kMinLayerBytes > stream.Remaining())
        return Fail(stream, "data block: motion \"" + name + "\" has more layers than bytes left");
    Layers.clear();
    for (int32_t i = 0; i < count; ++i) {
        auto layer = std::make_unique<TABMPLayer10>(this);
        if (!layer->LoadFromStream(stream)) return false;
        Layers.push_back(std::move(layer));
    }
    MotionName = name;
    Version = 10;
    return true;
}

// ---- the data block ----

TABMPData10::TABMPData10(TABMPBaseClass* parent) : TABMPBaseClass(parent, "Data") {
    Reset();
}

void TABMPData10::Reset() {
    Version = 10;
    DataName = "NoName";
    Motions.clear();
    Motions.push_back(std::make_unique<TABMPMotion10>(this));
    Width = Height = Length = 0;
    Text.clear();
}

bool TABMPData10::LoadFromStream(TStream& stream) {
    size_t v = 0;
    if (!ReadTag(stream, {"abdata10", "abdata11"}, v)) return Fail(stream, "no data block (tag abdata10 or abdata11)");
    const bool eleven = v == 1;
    uint32_t size = 0;
    auto packed = std::make_unique<TMemoryStream>();
    if (!LittleEndian::Read32(stream, size) || !AnimationBmpLib::CopyItem(stream, size, *packed))
        return Fail(stream, "the data block runs past the end of the file");
    const std::unique_ptr<TMemoryStream> body = uMisc::PackStream(packed, true);
    if (!body) return Fail(stream, "the data block does not expand");

    std::string name, text;
    int32_t width = 0, height = 0, length = 0;
    uint8_t count = 0;
    if (!uMisc::ReadStreamString(body.get(), name) || !ReadI32(*body, width) || !ReadI32(*body, height) ||
        (eleven && (!ReadI32(*body, length) || !uMisc::ReadStreamString(body.get(), text))) || !ReadU8(*body, count))
        return Fail(*body, "data block: the head is cut short");
    if (count * kMinMotionBytes > body->Remaining()) return Fail(*body, "data block: more motions than bytes left");
    Motions.clear();
    for (int32_t i = 0; i < count; ++i) {
        auto motion = std::make_unique<TABMPMotion10>(this);
        if (!motion->LoadFromStream(*body)) return false;
        Motions.push_back(std::move(motion));
    }
    Version = eleven ? 11 : 10;
    DataName = name;
    Width = width;
    Height = height;
    Length = length;
    Text = text;
    return true;
}

// ---- embedded pictures ----

TABMPImageData10::TABMPImageData10(TABMPBaseClass* parent, int32_t index)
    : TABMPBaseClass(parent, "ImgDat" + std::to_string(index)) {}

TABMPImageData10::~TABMPImageData10() {
    Empty();
}

void TABMPImageData10::Empty() {
    // A picture of the record's own goes with its handle; a cached one goes back to the cache.
    if (TMediaContext* media = MediaOf()) media->Pictures.Release(Picture);
    Picture = {};
    Movie.reset();
    Animation.reset();
    Effect.EffectPicture.reset();
}

bool TABMPImageData10::LoadFromStream(TStream& stream) {
    const std::string fullName = GetFullName();
    size_t v = 0;
    if (!ReadTag(stream, {"abimgdat10"}, v)) return Fail(stream, "no picture record (tag abimgdat10)");
    Empty();
    std::string name;
    uint8_t type = 0;
    TMemoryStream item;
    if (!ReadItem(stream, "picture", name, type, item)) return false;
    static const char* const kExtensions[] = {".bmp", ".jpg", ".png", ".png", ".m", ".argb", ".b"};
    // A picture that cannot be decoded leaves this record empty; the animation still loads.
    if (item.Size() > 0 && type < std::size(kExtensions)) LoadImage(&item, fullName + kExtensions[type]);
    ImageName = name;
    ImageType = type;
    return true;
}

bool TABMPImageData10::LoadImage(TStream* stream, const std::string& name) {
    if (!stream) return false;
    Empty();
    const std::string ext = ARGB8888Lib::ExtensionOf(name);
    bool loaded = false;
    if (ext == ".bmp" || ext == ".jpg" || ext == ".png" || ext == ".argb") {
        ImageType = ext == ".bmp" ? 0 : ext == ".jpg" ? 1 : ext == ".png" ? 3 : 5;
        if (TMediaContext* media = MediaOf())
            Picture = media->Pictures.GetImage(*stream, Size(*stream), name);
        else
            Picture = TARGB8888Manager(0).LoadOwn(*stream, Size(*stream), name);
        loaded = static_cast<bool>(Picture);
    } else if (ext == ".m") {
        ImageType = 4;
        auto movie = std::make_unique<TARGB8888Movie>();
        if (movie->LoadFromStream(stream, stream->Remaining())) {
            Movie = std::move(movie);
            loaded = true;
        }
    } else if (ext == ".b") {
        ImageType = 6;
        auto nested = std::make_unique<TAnimationBMP>();
        nested->Depth = NestingDepth() + 1;
        nested->Media = MediaOf();
        if (nested->Depth <= AnimationBmpLib::kMaxNesting && nested->LoadFromStream(stream, name)) {
            Animation = std::move(nested);
            loaded = true;
        }
    }
    if (loaded && !Effect.Effect.empty()) ApplyEffects();
    return loaded;
}

TARGB8888* TABMPImageData10::GetImage() const {
    if (Movie) return Movie->GetImage();
    if (Effect.EffectPicture) return Effect.EffectPicture.get();
    return Picture.Get();
}

int32_t TABMPImageData10::GetLength() const {
    if (Movie) return Movie->GetLength();
    if (Animation) return Animation->Data->Length;
    return 0;
}

void TABMPImageData10::SetImage(const TARGB8888* image) {
    Empty();
    auto copy = std::make_unique<TARGB8888>();
    copy->Assign(image);
    Picture = TCacheHandle<TARGB8888>::Adopt(std::move(copy));
    ApplyEffects();
}

void TABMPImageData10::SetBitmap(const TBitmap32* bitmap) {
    Empty();
    auto copy = std::make_unique<TARGB8888>();
    copy->AssignBitmap(bitmap);
    Picture = TCacheHandle<TARGB8888>::Adopt(std::move(copy));
    ApplyEffects();
}

void TABMPImageData10::SetEffect(std::string_view effect) {
    Effect.SetEffect(effect, Picture.Get());
}

void TABMPImageData10::ApplyEffects() {
    Effect.ApplyEffects(Picture.Get());
}

TABMPImage10::TABMPImage10(TABMPBaseClass* parent) : TABMPBaseClass(parent, "Image") {
    Reset();
}

void TABMPImage10::Reset() {
    Items.clear();
    Items.push_back(std::make_unique<TABMPImageData10>(this, 0));
}

bool TABMPImage10::LoadFromStream(TStream& stream) {
    if (!ReadRecords(stream, "abimage10", "image", Items)) return false;
    Version = 10;
    return true;
}

// ---- embedded sounds ----

TABMPSoundData10::TABMPSoundData10(TABMPBaseClass* parent, int32_t index)
    : TABMPBaseClass(parent, "SndDat" + std::to_string(index)) {}

TABMPSoundData10::~TABMPSoundData10() {
    Empty();
}

void TABMPSoundData10::Empty() {
    if (TMediaContext* media = MediaOf()) media->Sounds.Release(Wave);
    Wave = {};
}

bool TABMPSoundData10::LoadFromStream(TStream& stream) {
    const std::string fullName = GetFullName();
    size_t v = 0;
    if (!ReadTag(stream, {"absnddat10"}, v)) return Fail(stream, "no sound record (tag absnddat10)");
    Empty();
    std::string name;
    uint8_t type = 0;
    TMemoryStream item;
    if (!ReadItem(stream, "sound", name, type, item)) return false;
    if (item.Size() > 0 && type <= 1) LoadSound(&item, fullName + (type == 0 ? ".wav" : ".ogg"));
    SoundName = name;
    SoundType = type;
    return true;
}

bool TABMPSoundData10::LoadSound(TStream* stream, const std::string& name) {
    if (!stream) return false;
    Empty();
    if (TMediaContext* media = MediaOf())
        Wave = media->Sounds.GetWave(*stream, Size(*stream), name);
    else
        Wave = TWaveDataManager(0).LoadOwn(*stream, Size(*stream), name);
    return static_cast<bool>(Wave);
}

TABMPSound10::TABMPSound10(TABMPBaseClass* parent) : TABMPBaseClass(parent, "Sound") {
    Reset();
}

void TABMPSound10::Reset() {
    Items.clear();
    Items.push_back(std::make_unique<TABMPSoundData10>(this, 0));
}

bool TABMPSound10::LoadFromStream(TStream& stream) {
    if (!ReadRecords(stream, "absound10", "sound", Items)) return false;
    Version = 10;
    return true;
}

// ---- loading an animation ----

bool TAnimationBMP::LoadFromStream(TStream* stream, const std::string& fileName) {
    if (!stream) return false;
    ErrorText.clear();
    const std::string ext = ARGB8888Lib::ExtensionOf(fileName);
    bool loaded = false;
    if (ext == ".b") {
        const int64_t start = stream->Position();
        loaded = LoadABMP11(*stream, fileName) || (stream->SetPosition(start), LoadABMP10(*stream, fileName)) ||
                 (stream->SetPosition(start), LoadABMP7(*stream, fileName));
        if (!loaded && ErrorText.empty()) ErrorText = "not an animation: no tag abmp11, abmp10 or ABMP7";
    } else if (ext == ".bmp" || ext == ".jpg" || ext == ".png" || ext == ".m" || ext == ".argb") {
        loaded = LoadPicture(*stream, fileName);
        if (!loaded && ErrorText.empty()) ErrorText = "the picture cannot be read";
    } else {
        ErrorText = "not an animation or picture: \"" + ext + "\"";
        return false;
    }
    if (!loaded) {
        // Nothing half-loaded stays behind.
        const std::string reason = fileName + ": " + ErrorText;
        Clear();
        ErrorText = reason;
    }
    return loaded;
}

bool TAnimationBMP::LoadFromFile(const TPackSet& packs, const std::string& fileName) {
    const std::unique_ptr<TMemoryStream> stream = packs.LoadFile(fileName);
    if (!stream) {
        ErrorText = fileName + ": cannot be read";
        return false;
    }
    return LoadFromStream(stream.get(), fileName);
}

bool TAnimationBMP::LoadABMP11(TStream& stream, const std::string& fileName) {
    return LoadCurrent(stream, fileName, true);
}

bool TAnimationBMP::LoadABMP10(TStream& stream, const std::string& fileName) {
    return LoadCurrent(stream, fileName, false);
}

bool TAnimationBMP::LoadCurrent(TStream& stream, const std::string& fileName, bool eleven) {
    size_t v = 0;
    if (!ReadTag(stream, {eleven ? "abmp11" : "abmp10"}, v)) return false;
    Clear();
    Name = AnimationBmpLib::StripExtension(fileName);
    if (!Data->LoadFromStream(stream) || !Images->LoadFromStream(stream) || !Sounds->LoadFromStream(stream))
        return false;
    if (!eleven) {
        for (const auto& motion : Data->Motions)
            if (!motion->Layers.empty()) motion->Layers[0]->KeyStackMode = static_cast<uint8_t>(TKeyStackMode::Push);
    }
    // The first layer of the file tells whether its rectangles are still corners.
    if (!Data->Motions.empty() && !Data->Motions[0]->Layers.empty() && Data->Motions[0]->Layers[0]->Version < 13)
        ConvertCorners();
    Version = eleven ? 11 : 10;
    RefreshHitLayers();
    return true;
}

void TAnimationBMP::ConvertCorners() {
    for (const auto& motion : Data->Motions)
        for (const auto& layer : motion->Layers)
            AnimationBmpLib::CornersToSizes(*layer);
}

bool TAnimationBMP::LoadPicture(TStream& stream, const std::string& fileName) {
    Clear();
    TABMPImageData10& image = *Images->Items[0];
    const bool loaded = image.LoadImage(&stream, fileName);
    const TARGB8888* picture = image.GetImage();
    if (picture) {
        // One layer that draws the whole picture from 0 ms; a movie runs to its end once, then
        // the layer loops on its last frame.
        TABMPMotion10& motion = *Data->Motions[0];
        motion.Reset();
        TABMPLayer10& layer = *motion.Layers[0];
        TABMPKeyFrame& first = layer.Keys[0];
        first.Time = 0;
        first.Kind = static_cast<uint8_t>(TABMPKind::Draw);
        int32_t length = image.GetLength();
        if (length < 51) length = 1000;
        layer.ShiftKeyTime(
            1, static_cast<int32_t>(std::clamp<int64_t>(int64_t{length} - layer.Keys[1].Time, INT32_MIN, INT32_MAX)),
            true);
        layer.Keys[1].Param = length;
        layer.Keys[1].Kind = first.Kind;
        layer.Keys[1].Blend = first.Blend;
        layer.Keys[2].Param = length;
        layer.Keys[2].Command = static_cast<uint8_t>(TABMPCommand::Jump);
        layer.Keys[2].Arg1 = 1;
        Data->Width = picture->Width();
        Data->Height = picture->Height();
    }
    RefreshHitLayers();
    return loaded;
}

bool TAnimationBMP::LoadImageData(int32_t i, TStream* stream, const std::string& name) {
    if (!stream || i < 0 || i >= Images->Count()) return false;
    return Images->Items[static_cast<size_t>(i)]->LoadImage(stream, name);
}

void TAnimationBMP::LoadFailed(const std::string& reason) {
    if (ErrorText.empty()) ErrorText = reason;
}
