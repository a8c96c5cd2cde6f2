#include "objects/ImageLib.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/StreamStrings.h"
#include "foundation/uMisc.h"
#include "foundation/uMisc_Math.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/ARGB8888Lib.h"
#include "media/MediaContext.h"
#include "platform/LittleEndian.h"

namespace {

using AnimationBmpLib::kMaxLayers;

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::string Cut(const std::string& text, int32_t capacity) {
    return text.size() > static_cast<size_t>(capacity) ? text.substr(0, static_cast<size_t>(capacity)) : text;
}

std::string WithExtension(const std::string& name, const char* extension) {
    return AnimationBmpLib::StripExtension(name) + extension;
}

// A number of the colour-rectangle text; an empty or unreadable item takes the default.
int64_t RectNumber(const TStringList& items, int32_t i, int64_t def) {
    int64_t v = 0;
    return uMisc::TryStrToInt(items[i], 64, uMisc::THexPrefix::Dollar, v) ? v : def;
}

// Time left of a tween after elapsed ms, and its progress in 1024ths of the duration. Products
// are taken in 64 bits: a duration of minutes times 1024 does not fit 32.
int32_t Progress(int32_t& left, int32_t duration, int32_t elapsed) {
    left = Clamp32(std::max<int64_t>(int64_t{left} - elapsed, 0));
    if (duration < 1) return 1024;
    const int64_t p = 1024 - int64_t{left} * 1024 / duration;
    return static_cast<int32_t>(std::clamp<int64_t>(p, -1, 1024));
}

}  // namespace

// ---- record ----

void TImageRecord::Write(TRecordWriter& w) const {
    w.U8(Visible);
    w.U8(Enabled);
    w.I32(SoundVolume);
    w.I32(MotionIndex);
    for (int32_t t : LayerTimes)
        w.I32(t);
    for (uint32_t t : LayerWaits)
        w.U32(t);
    w.I32(X);
    w.I32(Y);
    w.I32(Z);
    w.I32(Alpha);
    w.I32(SoundChannel);
    w.I32(EffectChannel);
    w.Short(Files[0], kFileCapacity);
    w.Short(Files[1], kFileCapacity);
    for (int32_t v : {HitX1,     HitY1,        HitX2,      HitY2,       PointerX,  PointerY,     ShowLeft, ShowTop,
                      ShowRight, ShowBottom,   StartX,     StartY,      StartZ,    TargetX,      TargetY,  TargetZ,
                      MoveLeft,  MoveDuration, AlphaStart, AlphaTarget, AlphaLeft, AlphaDuration})
        w.I32(v);
    w.U8(Easing);
    for (int32_t v : UserInts)
        w.I32(v);
    for (const std::string& s : UserStrings)
        w.Short(s, kUserStringCapacity);
    w.I32(AnchorX);
    w.I32(AnchorY);
    w.U32(InputMask);
    w.U32(DrawMask);
    w.I32(ClickX);
    w.I32(ClickY);
    w.I32(SeenMotion);
    w.U8(Paused);
    for (int i = 2; i < 5; ++i)
        w.Short(Files[static_cast<size_t>(i)], kFileCapacity);
    for (uint8_t f : SlotSaved)
        w.U8(f);
    w.I32(SpeedPercent);
    w.Zero(kReservedSize);
}

void TImageRecord::Read(TRecordReader& r) {
    Visible = r.U8();
    Enabled = r.U8();
    SoundVolume = r.I32();
    MotionIndex = r.I32();
    for (int32_t& t : LayerTimes)
        t = r.I32();
    for (uint32_t& t : LayerWaits)
        t = r.U32();
    X = r.I32();
    Y = r.I32();
    Z = r.I32();
    Alpha = r.I32();
    SoundChannel = r.I32();
    EffectChannel = r.I32();
    Files[0] = r.Short(kFileCapacity);
    Files[1] = r.Short(kFileCapacity);
    for (int32_t* v :
         {&HitX1,     &HitY1,        &HitX2,      &HitY2,       &PointerX,  &PointerY,     &ShowLeft, &ShowTop,
          &ShowRight, &ShowBottom,   &StartX,     &StartY,      &StartZ,    &TargetX,      &TargetY,  &TargetZ,
          &MoveLeft,  &MoveDuration, &AlphaStart, &AlphaTarget, &AlphaLeft, &AlphaDuration})
        *v = r.I32();
    Easing = r.U8();
    for (int32_t& v : UserInts)
        v = r.I32();
    for (std::string& s : UserStrings)
        s = r.Short(kUserStringCapacity);
    AnchorX = r.I32();
    AnchorY = r.I32();
    InputMask = r.U32();
    DrawMask = r.U32();
    ClickX = r.I32();
    ClickY = r.I32();
    SeenMotion = r.I32();
    Paused = r.U8();
    for (int i = 2; i < 5; ++i)
        Files[static_cast<size_t>(i)] = r.Short(kFileCapacity);
    for (uint8_t& f : SlotSaved)
        f = r.U8();
    SpeedPercent = r.I32();
    r.Skip(kReservedSize);
}

// ---- life ----

TImageLib::TImageLib(const TPackSet& packs, IAnimationSound* sound)
    : Animation(std::make_unique<TAnimationBMP>(sound)),
      PackSet(&packs),
      SoundFacade(sound),
      // The channels next to the last of each kind; the last ones are left to the scripts.
      DefaultSoundChannel(sound ? sound->StreamChannelCount() - 2 : 0),
      DefaultEffectChannel(sound ? sound->EffectChannelCount() - 2 : 0) {}

TImageLib::~TImageLib() {
    // Without Finalize a derived object is gone already: only this class's own fields are left.
    if (!Finalized) TImageLib::Clear();
}

void TImageLib::Initialize() {
    Clear();
}

void TImageLib::Finalize() {
    if (Finalized) return;
    Clear();
    Finalized = true;
}

void TImageLib::Clear() {
    Animation->Clear();
    Record = TImageRecord{};
    EffectStrings = {};
    for (int32_t i = 0; i < kMemorySlots; ++i)
        SetMemoryImage(i, nullptr, {});
    SetSoundChannel(DefaultSoundChannel);
    SetEffectChannel(DefaultEffectChannel);
    CaptureState();
}

// ---- frame ----

int32_t TImageLib::Ease(int32_t start, int32_t end, int32_t progress, int32_t kind, uMisc_Math::TRandomState& random) {
    using namespace uMisc_Math;
    if (progress < 0) return start;
    if (progress > 1023) return end;
    const float t = static_cast<float>(progress) / 1024.0f;
    const auto s = static_cast<float>(start);
    const auto e = static_cast<float>(end);
    float v = 0;
    switch (static_cast<TMoveEasing>(kind)) {
        case TMoveEasing::Linear:
            v = CurveLinear(s, e, t, 1.0f);
            break;
        case TMoveEasing::BSpline:
            v = CurveBSpline(s, s, e, e, t, 1.0f);
            break;
        case TMoveEasing::Decelerate:
            v = CurveDecelerate(s, e, t, 1.0f);
            break;
        case TMoveEasing::Accelerate:
            v = CurveAccelerate(s, e, t, 1.0f);
            break;
        case TMoveEasing::Hermite:
            v = CurveHermite(s, s, e, e, t, 1.0f, 1.0f, 1.0f);
            break;
        case TMoveEasing::Shake:
            // The shake weighs nothing at the end, so the move still stops on its target.
            v = CurveDecelerate(s, e, t, 1.0f) + static_cast<float>(random.TableRandom(40) - 20) * (1.0f - t);
            break;
        default:
            return end;
    }
    return AnimationBmpLib::RoundHalfEven(v);
}

void TImageLib::Update(uint32_t /*mask*/, int32_t elapsed) {
    TImageRecord& r = Record;
    const int32_t move = Progress(r.MoveLeft, r.MoveDuration, elapsed);
    uMisc_Math::TRandomState& random = Animation->RandomState();
    r.X = Ease(r.StartX, r.TargetX, move, r.Easing, random);
    r.Y = Ease(r.StartY, r.TargetY, move, r.Easing, random);
    r.Z = Ease(r.StartZ, r.TargetZ, move, static_cast<int32_t>(TMoveEasing::Linear), random);
    const int32_t fade = Progress(r.AlphaLeft, r.AlphaDuration, elapsed);
    r.Alpha = Ease(r.AlphaStart, r.AlphaTarget, fade, static_cast<int32_t>(TMoveEasing::Linear), random);

    if (!r.Visible) return;
    Animation->Advance(r.Paused ? 0 : elapsed);
    // Advance has just refilled the hit stack with the frame's own areas.
    Animation->HitStack.Push(r.HitX1, r.HitY1, r.HitX2, r.HitY2, 0);
    const int32_t motion = Animation->GetMotionIndex();
    if (motion != r.SeenMotion && OnMotionChange) OnMotionChange(*this);
    Record.SeenMotion = motion;
}

void TImageLib::Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) {
    const TImageRecord& r = Record;
    const int32_t alpha = std::clamp(r.Alpha, 0, 255);
    if (!target || (r.DrawMask & mask) == 0 || !r.Visible || r.Files[0].empty() || alpha == 0) return;
    const bool showRect = r.ShowLeft != r.ShowRight && r.ShowTop != r.ShowBottom;
    if (showRect && !PointerInShowRect()) return;
    const int64_t x = int64_t{r.X} + dx - AnchorOffset(r.AnchorX, GetWidth());
    const int64_t y = int64_t{r.Y} + dy - AnchorOffset(r.AnchorY, GetHeight());
    Animation->Draw(target, Clamp32(x), Clamp32(y), r.Z, alpha, 0xFFFFFF, 0);
}

// ---- states ----

void TImageLib::Show() {
    Record.Visible = 1;
    Record.Enabled = 1;
}

void TImageLib::Hide() {
    Record.Visible = 0;
    Record.Enabled = 0;
}

void TImageLib::Enable() {
    const bool was = IsEnabled();
    Record.Visible = 1;
    Record.Enabled = 1;
    if (!was) SetMotion("*Enable", true);
}

void TImageLib::Disable() {
    if (IsEnabled()) {
        if (IsVisible() && MotionIndexOf("*Disable") >= 0) {
            // Chosen while still enabled, so that choosing it does not hide the object.
            SetMotion("*Disable", false);
            Record.Enabled = 0;
        } else {
            Hide();
        }
    } else if (!IsVisible()) {
        Hide();
    }
}

void TImageLib::UpdateHover() {
    const std::string current = ClassLib::LowerAscii(GetCurrentMotionName());
    int32_t next = -1;
    if (HitTest(Record.PointerX, Record.PointerY))
        next = MotionIndexOf("*OnMouse");
    else if (current == "*onmouse")
        next = MotionIndexOf("*OffMouse");
    if (next >= 0) SetMotionByIndex(next, false);
}

void TImageLib::MouseMove(uint32_t mask, int32_t x, int32_t y) {
    Record.PointerX = x;
    Record.PointerY = y;
    if (IsEnabled() && (Record.InputMask & mask) != 0) UpdateHover();
}

void TImageLib::CaptureState() {
    CapturedFiles = Record.Files;
    CapturedEnabled = Record.Enabled;
    CapturedMotion = GetCurrentMotionName();
}

void TImageLib::RestoreState() {
    // Copies: the load below may capture again.
    const TFiles files = CapturedFiles;
    const std::string motion = CapturedMotion;
    const bool enabled = CapturedEnabled != 0;
    LoadImages(files, false, false);
    if (enabled)
        Enable();
    else
        Hide();
    int64_t index = 0;
    if (uMisc::TryStrToInt(motion, 32, uMisc::THexPrefix::Dollar, index))
        SetMotionByIndex(static_cast<int32_t>(index), true);
    else
        SetMotion(motion, true);
}

// ---- motions ----

void TImageLib::SetMotion(const std::string& name, bool force) {
    SetMotionByIndex(MotionIndexOf(name), force);
}

void TImageLib::SetMotionByIndex(int32_t index, bool force) {
    if (index == -1) return;
    if (index == GetMotionIndex() && !force) return;
    if (!IsEnabled()) Hide();
    Animation->SetMotion(index);
    Record.MotionIndex = GetMotionIndex();
}

std::string TImageLib::GetMotionName(int32_t index) const {
    std::string name;
    Animation->GetMotionName(index, name);
    return name;
}

// ---- place ----

void TImageLib::MoveTo(int32_t x, int32_t y, int32_t z, int32_t ms) {
    TImageRecord& r = Record;
    r.StartX = r.TargetX;
    r.StartY = r.TargetY;
    r.StartZ = r.TargetZ;
    r.TargetX = x;
    r.TargetY = y;
    r.TargetZ = z;
    r.MoveLeft = r.MoveDuration = ms;
    if (ms == 0) {
        r.X = x;
        r.Y = y;
        r.Z = z;
    }
}

void TImageLib::FadeTo(int32_t alpha, int32_t ms) {
    TImageRecord& r = Record;
    r.AlphaStart = r.AlphaTarget;
    r.AlphaTarget = alpha;
    r.AlphaLeft = r.AlphaDuration = ms;
    if (ms == 0) r.Alpha = alpha;
}

int32_t TImageLib::AnchorOffset(int32_t anchor, int32_t size) const {
    switch (static_cast<TImageAnchor>(anchor)) {
        case TImageAnchor::Centre:
            return size / 2;
        case TImageAnchor::End:
            return size;
        default:
            return 0;
    }
}

int32_t TImageLib::GetAnchorX(int32_t point) const {
    const int32_t w = GetWidth();
    return Clamp32(int64_t{Record.TargetX} - AnchorOffset(Record.AnchorX, w) + AnchorOffset(point, w));
}

int32_t TImageLib::GetAnchorY(int32_t point) const {
    const int32_t h = GetHeight();
    return Clamp32(int64_t{Record.TargetY} - AnchorOffset(Record.AnchorY, h) + AnchorOffset(point, h));
}

// ---- pointer ----

bool TImageLib::HitTest(int32_t x, int32_t y) const {
    return Animation->HitStack.HitTest(Clamp32(int64_t{x} - GetAnchorX(0)), Clamp32(int64_t{y} - GetAnchorY(0)));
}

void TImageLib::SetHitRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Record.HitX1 = x1;
    Record.HitY1 = y1;
    Record.HitX2 = x2;
    Record.HitY2 = y2;
}

void TImageLib::SetShowRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Record.ShowLeft = left;
    Record.ShowTop = top;
    Record.ShowRight = right;
    Record.ShowBottom = bottom;
}

bool TImageLib::PointerInShowRect() const {
    const TImageRecord& r = Record;
    const int64_t left = GetAnchorX(0);
    const int64_t top = GetAnchorY(0);
    return left + r.ShowLeft <= r.PointerX && r.PointerX < left + r.ShowRight && top + r.ShowTop <= r.PointerY &&
           r.PointerY < top + r.ShowBottom;
}

// ---- sound ----

void TImageLib::SetSoundChannel(int32_t channel) {
    Record.SoundChannel = channel;
    Animation->VoiceStream = channel;
}

void TImageLib::SetEffectChannel(int32_t channel) {
    Record.EffectChannel = channel;
    Animation->SoundChannel = channel;
}

void TImageLib::SetSoundVolume(int32_t volume) {
    Record.SoundVolume = volume;
    Animation->Volume = volume;
}

// ---- script data ----

int32_t TImageLib::UserInt(int32_t index) const {
    return index >= 0 && index < 4 ? Record.UserInts[static_cast<size_t>(index)] : 0;
}

std::string TImageLib::UserString(int32_t index) const {
    return index >= 0 && index < 4 ? Record.UserStrings[static_cast<size_t>(index)] : std::string();
}

void TImageLib::SetUserInt(int32_t index, int32_t value) {
    if (index >= 0 && index < 4) Record.UserInts[static_cast<size_t>(index)] = value;
}

void TImageLib::SetUserString(int32_t index, const std::string& text) {
    if (index >= 0 && index < 4)
        Record.UserStrings[static_cast<size_t>(index)] = Cut(text, TImageRecord::kUserStringCapacity);
}

float TImageLib::SpeedFromPercent(int32_t percent) {
    if (percent == 0) return 1.0f;
    if (percent == -1) return 0.0f;
    return static_cast<float>(percent) / 100.0f;
}

int32_t TImageLib::PercentFromSpeed(float speed) {
    const int32_t percent = AnimationBmpLib::RoundHalfEven(static_cast<double>(speed) * 100.0);
    return percent == 0 ? -1 : percent;
}

// ---- pictures ----

bool TImageLib::IsMemoryImageName(const std::string& name) {
    return name.size() >= 3 && name.compare(0, 3, "$$$") == 0;
}

void TImageLib::SetMemoryImage(int32_t slot, TStream* stream, const std::string& name) {
    if (slot < 0 || slot >= kMemorySlots) return;
    std::unique_ptr<TMemoryStream> copy;
    if (stream && IsMemoryImageName(name)) {
        const int64_t position = stream->Position();
        copy = std::make_unique<TMemoryStream>();
        copy->CopyFrom(*stream, 0);
        copy->SetPosition(0);
        stream->SetPosition(position);
    }
    const auto i = static_cast<size_t>(slot);
    MemoryStreams[i] = std::move(copy);
    MemoryNames[i] = MemoryStreams[i] ? name : std::string();
}

void TImageLib::ApplyImageEffects() {
    const int32_t n = std::min(kEffectCount, Animation->Images->Count());
    for (int32_t i = 0; i < n; ++i)
        Animation->Images->Items[static_cast<size_t>(i)]->SetEffect(EffectStrings[static_cast<size_t>(i)]);
}

void TImageLib::ClearImages(bool useSlots) {
    Animation->Clear();
    // The animation's own reset would forget the volume the record keeps for it.
    Animation->Volume = Record.SoundVolume;
    Record.Files = {};
    if (!useSlots)
        for (int32_t i = 0; i < kMemorySlots; ++i)
            SetMemoryImage(i, nullptr, {});
}

std::unique_ptr<TMemoryStream> TImageLib::OpenFile(int32_t slot, const std::string& name, bool useSlots) {
    std::unique_ptr<TMemoryStream> stream;
    const auto i = static_cast<size_t>(slot);
    if (!name.empty()) {
        if (useSlots && MemoryStreams[i] && ClassLib::SameTextAscii(MemoryNames[i], name)) {
            stream = std::make_unique<TMemoryStream>();
            stream->CopyFrom(*MemoryStreams[i], 0);
        } else {
            stream = PackSet->LoadFile(name);
        }
    }
    SetMemoryImage(slot, stream.get(), name);
    if (stream) stream->SetPosition(0);
    return stream;
}

std::string TImageLib::LoadName(const std::string& name) {
    if (!IsMemoryImageName(name)) return name;
    // Without the game's caches nothing is shared, and the object's own count serves.
    uint32_t& loads = Animation->Media ? Animation->Media->Pictures.MemoryLoads : OwnMemoryLoads;
    return std::to_string(++loads) + "_" + name;
}

bool TImageLib::LoadRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
    char text[96];
    std::snprintf(text, sizeof text, "rect,%d,%d,%d,%d,$%.8x", x, y, w, h, colour);
    return LoadImages(text, "", "", "", "", true, false);
}

bool TImageLib::LoadImages(const std::string& file1, const std::string& file2, const std::string& file3,
                           const std::string& file4, const std::string& file5, bool force, bool useSlots) {
    return LoadImages(TFiles{file1, file2, file3, file4, file5}, force, useSlots);
}

bool TImageLib::LoadImages(const TFiles& files, bool force, bool useSlots) {
    if (files[0].empty()) {
        ClearImages(useSlots);
        return true;
    }
    // "rect,x,y,w,h,colour": exactly six items.
    {
        const auto items = uMisc::SplitString(",", ClassLib::LowerAscii(files[0]), false, false, 0);
        if (items->Count() == 6 && (*items)[0] == "rect") {
            ClearImages(useSlots);
            Animation->SetFillRect(
                static_cast<int32_t>(RectNumber(*items, 1, 0)), static_cast<int32_t>(RectNumber(*items, 2, 0)),
                static_cast<int32_t>(RectNumber(*items, 3, 800)), static_cast<int32_t>(RectNumber(*items, 4, 600)),
                static_cast<uint32_t>(RectNumber(*items, 5, 0xFFFFFFFF)));
            Record.Files[0] = Cut(files[0], TImageRecord::kFileCapacity);
            return true;
        }
    }

    TFiles resolved;
    for (size_t i = 0; i < files.size(); ++i)
        if (!files[i].empty()) resolved[i] = PackSet->ResolveFileName(files[i]);
    if (resolved[0].empty()) {
        ClearImages(useSlots);
        return false;
    }
    if (!force) {
        bool same = true;
        for (size_t i = 0; i < resolved.size(); ++i)
            if (resolved[i] != Record.Files[i] || IsMemoryImageName(resolved[i])) same = false;
        if (same) return true;
    }

    Hide();
    ClearImages(useSlots);
    bool loaded = false;
    if (const std::unique_ptr<TMemoryStream> main = OpenFile(0, resolved[0], useSlots))
        loaded = Animation->LoadFromStream(main.get(), LoadName(resolved[0]));
    if (loaded) {
        Animation->Volume = Record.SoundVolume;
        for (int32_t i = 1; i < kFileCount; ++i) {
            const std::string& name = resolved[static_cast<size_t>(i)];
            if (const std::unique_ptr<TMemoryStream> picture = OpenFile(i, name, useSlots))
                Animation->LoadImageData(i - 1, picture.get(), LoadName(name));
        }
        for (size_t i = 0; i < resolved.size(); ++i)
            Record.Files[i] = Cut(resolved[i], TImageRecord::kFileCapacity);
    } else {
        Record.Files = {};
    }
    ApplyImageEffects();
    return loaded;
}

// ---- saved state ----

void TImageLib::RefreshFromAnimation() {
    TImageRecord& r = Record;
    r.SoundChannel = Animation->VoiceStream;
    r.EffectChannel = Animation->SoundChannel;
    r.MotionIndex = Animation->GetMotionIndex();
    r.SpeedPercent = PercentFromSpeed(Animation->Speed);
    for (size_t l = 0; l < static_cast<size_t>(kMaxLayers); ++l) {
        r.LayerTimes[l] = AnimationBmpLib::RoundHalfEven(Animation->LayerTime[l]);
        r.LayerWaits[l] = static_cast<uint32_t>(Animation->LayerWait[l]);
    }
}

namespace {

// The picture of a memory slot as a JPEG of quality 90; false when it cannot be decoded or encoded.
bool EncodeSlot(const TMemoryStream& slot, const std::string& name, std::string& jpeg) {
    TMemoryStream bytes;
    bytes.Data = slot.Data;
    TARGB8888 picture;
    try {
        picture.LoadFromStream(&bytes, name);
    } catch (const EImageLoadError&) {
        return false;
    }
    TMemoryStream out;
    if (picture.Width() <= 0 || !picture.SaveToJpegStream(&out, 90)) return false;
    jpeg = out.AsString();
    return true;
}

// A saved slot picture decoded under its name and kept as a BMP file; false when it cannot be.
bool DecodeSlot(TMemoryStream& jpeg, const std::string& name, TMemoryStream& bmp) {
    TARGB8888 picture;
    try {
        picture.LoadFromStream(&jpeg, name);
    } catch (const EImageLoadError&) {
        return false;
    }
    return picture.Width() > 0 && picture.SaveToStream(&bmp);
}

}  // namespace

bool TImageLib::SaveToStream(TStream* stream) {
    if (!stream) return false;
    RefreshFromAnimation();
    // A slot whose picture cannot be encoded is not announced, so the record never promises a
    // picture that does not follow.
    std::array<std::string, kMemorySlots> jpegs;
    for (size_t i = 0; i < static_cast<size_t>(kMemorySlots); ++i) {
        const bool filled = MemoryStreams[i] && !MemoryNames[i].empty();
        Record.SlotSaved[i] = filled && EncodeSlot(*MemoryStreams[i], MemoryNames[i], jpegs[i]) ? 1 : 0;
    }
    TRecordWriter w(TImageRecord::kSize);
    Record.Write(w);
    w.WriteTo(*stream);
    for (const std::string& effect : EffectStrings)
        uMisc::WriteStreamString(stream, effect);
    for (size_t i = 0; i < static_cast<size_t>(kMemorySlots); ++i) {
        if (!Record.SlotSaved[i]) continue;
        uMisc::WriteStreamString(stream, WithExtension(MemoryNames[i], ".jpg"));
        LittleEndian::Write32(*stream, static_cast<uint32_t>(jpegs[i].size()));
        stream->WriteBuffer(jpegs[i].data(), static_cast<int64_t>(jpegs[i].size()));
    }
    return true;
}

bool TImageLib::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    Clear();
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(*stream, TImageRecord::kSize, bytes)) return false;
    TImageRecord saved;
    TRecordReader reader(bytes);
    saved.Read(reader);

    std::array<std::string, kEffectCount> effects;
    for (std::string& effect : effects)
        if (!uMisc::ReadStreamString(stream, effect)) return false;
    for (size_t i = 0; i < static_cast<size_t>(kMemorySlots); ++i) {
        if (saved.SlotSaved[i] != 1) continue;
        std::string name;
        uint32_t size = 0;
        if (!uMisc::ReadStreamString(stream, name) || !LittleEndian::Read32(*stream, size) ||
            size > static_cast<uint64_t>(stream->Remaining())) {
            Clear();
            return false;
        }
        TMemoryStream jpeg;
        jpeg.Data.resize(size);
        stream->ReadBuffer(jpeg.Data.data(), size);
        // A picture that no longer decodes leaves its slot empty; the load goes on.
        TMemoryStream bmp;
        if (DecodeSlot(jpeg, name, bmp)) SetMemoryImage(static_cast<int32_t>(i), &bmp, WithExtension(name, ".bmp"));
    }
    EffectStrings = effects;

    if (!saved.Files[0].empty()) LoadImages(saved.Files, true, true);
    SetSoundVolume(saved.SoundVolume);
    SetSoundChannel(saved.SoundChannel);
    SetEffectChannel(saved.EffectChannel);
    Animation->Speed = SpeedFromPercent(saved.SpeedPercent);
    Animation->SetMotion(saved.MotionIndex);
    for (int32_t l = 0; l < kMaxLayers; ++l) {
        Animation->SetLayerTime(l, saved.LayerTimes[static_cast<size_t>(l)]);
        Animation->SetLayerWait(l, static_cast<int32_t>(saved.LayerWaits[static_cast<size_t>(l)]));
    }
    Animation->SyncKeyIndices();
    if (saved.Visible == 1) Show();
    Record = saved;
    return true;
}
