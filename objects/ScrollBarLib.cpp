#include "objects/ScrollBarLib.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/LittleEndian.h"

namespace {

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::string Cut(const std::string& text, int32_t capacity) {
    return text.size() > static_cast<size_t>(capacity) ? text.substr(0, static_cast<size_t>(capacity)) : text;
}

// n / d rounded to the nearest integer, a half to the even neighbour; d > 0. Exact for every
// 64-bit n, where a double would round positions far along a long track.
int64_t DivideHalfEven(int64_t n, int64_t d) {
    int64_t q = n / d;
    int64_t r = n % d;
    if (r < 0) {
        --q;
        r += d;
    }
    const int64_t twice = 2 * r;
    if (twice > d || (twice == d && (q & 1) != 0)) ++q;
    return q;
}

}  // namespace

// ---- record ----

static_assert(4 * 5 + 2 * 128 + 4 * 2 + 8 + 4 * 65 + 4 * 4 + 4 * 3 + TScrollBarRecord::kTailSize ==
              TScrollBarRecord::kSize);

void TScrollBarRecord::Write(TRecordWriter& w) const {
    w.I32(X);
    w.I32(Y);
    w.I32(Z);
    w.Zero(4);
    w.I32(Vertical);
    w.Short(ThumbFile, kFileCapacity);
    w.Short(TrackFile, kFileCapacity);
    w.I32(Value);
    w.I32(Max);
    w.Zero(8);
    for (const std::string& s : UserStrings)
        w.Short(s, kUserStringCapacity);
    for (int32_t v : UserInts)
        w.I32(v);
    w.U32(InputMask);
    w.U32(DrawMask);
    w.I32(DragCountdown);
    w.Zero(kTailSize);
}

void TScrollBarRecord::Read(TRecordReader& r) {
    X = r.I32();
    Y = r.I32();
    Z = r.I32();
    r.Skip(4);
    Vertical = r.I32();
    ThumbFile = r.Short(kFileCapacity);
    TrackFile = r.Short(kFileCapacity);
    Value = r.I32();
    Max = r.I32();
    r.Skip(8);
    for (std::string& s : UserStrings)
        s = r.Short(kUserStringCapacity);
    for (int32_t& v : UserInts)
        v = r.I32();
    InputMask = r.U32();
    DrawMask = r.U32();
    DragCountdown = r.I32();
}

// ---- life ----

TImageScrollBar::TImageScrollBar(const TPackSet& packs, IAnimationSound* sound)
    : Thumb(ImageLib::Make<TImageLib>(packs, sound)),
      Track(ImageLib::Make<TImageLib>(packs, sound)),
      SoundFacade(sound) {
    Clear();
}

TImageScrollBar::~TImageScrollBar() = default;

void TImageScrollBar::Clear() {
    Record = TScrollBarRecord{};
    Thumb->Clear();
    Track->Clear();
    SetInputMask(Record.InputMask);
    SetDrawMask(Record.DrawMask);
    ReadThumbBounds();
}

bool TImageScrollBar::Load(const std::string& thumbFile, const std::string& trackFile, bool vertical) {
    Clear();
    Record.Vertical = vertical ? 1 : 0;
    const bool thumb = Thumb->LoadImages(thumbFile, "", "", "", "", false, false);
    const bool track = Track->LoadImages(trackFile, "", "", "", "", false, false);
    Record.ThumbFile = Cut(thumbFile, TScrollBarRecord::kFileCapacity);
    Record.TrackFile = Cut(trackFile, TScrollBarRecord::kFileCapacity);
    ReadThumbBounds();
    return thumb && track;
}

// ---- place ----

void TImageScrollBar::ReadThumbBounds() {
    ThumbWidth = Thumb->GetWidth();
    ThumbHeight = Thumb->GetHeight();
    TrackWidth = Track->GetWidth();
    TrackHeight = Track->GetHeight();
    const int32_t thumb = Record.Vertical ? ThumbHeight : ThumbWidth;
    const int32_t track = Record.Vertical ? TrackHeight : TrackWidth;
    TrackStart = thumb / 2;
    TrackEnd = Clamp32(int64_t{track} - thumb / 2);
    // A thumb as long as the track, or longer, still leaves the value a place to go.
    if (TrackStart >= TrackEnd) TrackEnd = TrackStart + 1;
}

void TImageScrollBar::SetPos(int32_t x, int32_t y, int32_t z) {
    Record.X = x;
    Record.Y = y;
    Record.Z = z;
    Track->MoveTo(x, y, z, 0);
    Thumb->MoveTo(x, y, z, 0);
}

void TImageScrollBar::LayoutThumb() {
    const TScrollBarRecord& r = Record;
    Track->MoveTo(r.X, r.Y, r.Z, 0);
    const int64_t max = std::max(r.Max, 1);
    const int64_t along = (int64_t{TrackEnd} - TrackStart) * r.Value / max + TrackStart;
    int64_t x = 0, y = 0;
    if (r.Vertical) {
        x = int64_t{r.X} + (int64_t{TrackWidth} - ThumbWidth) / 2;
        y = int64_t{r.Y} + along - ThumbHeight / 2;
    } else {
        x = int64_t{r.X} + along - ThumbWidth / 2;
        y = int64_t{r.Y} + (int64_t{TrackHeight} - ThumbHeight) / 2;
    }
    Thumb->MoveTo(Clamp32(x), Clamp32(y), Clamp32(int64_t{r.Z} + 10), 0);
}

// ---- frame ----

void TImageScrollBar::Update(uint32_t mask, int32_t elapsed) {
    LayoutThumb();
    Track->Update(mask, elapsed);
    Thumb->Update(mask, elapsed);
    if (Record.DragCountdown >= 1) --Record.DragCountdown;
}

void TImageScrollBar::Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) {
    Track->Draw(target, mask, dx, dy);
    Thumb->Draw(target, mask, dx, dy);
}

// ---- pointer ----

void TImageScrollBar::MouseMove(uint32_t mask, uint32_t shift, int32_t x, int32_t y) {
    Track->MouseMove(mask, x, y);
    Thumb->MouseMove(mask, x, y);
    if ((Record.InputMask & mask) != 0 && (shift & kLeftButton) != 0) DragTo(mask, x, y);
}

void TImageScrollBar::MouseDown(uint32_t mask, int32_t x, int32_t y) {
    DragTo(mask, x, y);
}

void TImageScrollBar::DragTo(uint32_t mask, int32_t x, int32_t y) {
    const TScrollBarRecord& r = Record;
    if ((r.InputMask & mask) == 0 || !Track->HitTest(x, y)) return;
    const int64_t p = r.Vertical ? int64_t{y} - r.Y : int64_t{x} - r.X;
    const int64_t length = std::max<int64_t>(int64_t{TrackEnd} - TrackStart, 1);
    const int64_t max = std::max(r.Max, 1);
    // Before and past the ends the value is 0 or max anyway; clamping first keeps the product
    // within 64 bits.
    const int64_t along = std::clamp<int64_t>(p - TrackStart, 0, length);
    const int64_t value = DivideHalfEven(along * max, length);
    if (value == r.Value) return;
    SetValue(static_cast<int32_t>(value));
    Record.DragCountdown = kDragUpdates;
}

// ---- value ----

void TImageScrollBar::SetValue(int32_t value) {
    const int32_t clamped = std::clamp(value, 0, std::max(Record.Max, 1));
    if (clamped == Record.Value) {
        LayoutThumb();
        return;
    }
    Record.Value = clamped;
    LayoutThumb();
    if (OnChange) OnChange(*this);
}

void TImageScrollBar::SetValueSilent(int32_t value) {
    Record.Value = std::clamp(value, 0, std::max(Record.Max, 1));
}

void TImageScrollBar::SetMax(int32_t max) {
    if (max < 1) return;
    Record.Max = max;
    if (Record.Value > max) Record.Value = max;
    LayoutThumb();
}

// ---- states ----

void TImageScrollBar::Enable() {
    Thumb->Enable();
    Track->Enable();
}

void TImageScrollBar::Disable() {
    Thumb->Disable();
    Track->Disable();
}

void TImageScrollBar::SetInputMask(uint32_t bits) {
    Record.InputMask = bits;
    Thumb->SetInputMask(bits);
    Track->SetInputMask(bits);
}

void TImageScrollBar::SetDrawMask(uint32_t bits) {
    Record.DrawMask = bits;
    Thumb->SetDrawMask(bits);
    Track->SetDrawMask(bits);
}

void TImageScrollBar::SetSoundChannel(int32_t channel) {
    Thumb->SetSoundChannel(channel);
    Track->SetSoundChannel(channel);
}

void TImageScrollBar::SetEffectChannel(int32_t channel) {
    Thumb->SetEffectChannel(channel);
    Track->SetEffectChannel(channel);
}

void TImageScrollBar::CaptureState() {
    Thumb->CaptureState();
    Track->CaptureState();
    ReadThumbBounds();
}

void TImageScrollBar::RestoreState() {
    Thumb->RestoreState();
    Track->RestoreState();
    ReadThumbBounds();
}

// ---- script data ----

int32_t TImageScrollBar::UserInt(int32_t index) const {
    return index >= 0 && index < 4 ? Record.UserInts[static_cast<size_t>(index)] : 0;
}

std::string TImageScrollBar::UserString(int32_t index) const {
    return index >= 0 && index < 4 ? Record.UserStrings[static_cast<size_t>(index)] : std::string();
}

void TImageScrollBar::SetUserInt(int32_t index, int32_t value) {
    if (index >= 0 && index < 4) Record.UserInts[static_cast<size_t>(index)] = value;
}

void TImageScrollBar::SetUserString(int32_t index, const std::string& text) {
    if (index >= 0 && index < 4)
        Record.UserStrings[static_cast<size_t>(index)] = Cut(text, TScrollBarRecord::kUserStringCapacity);
}

// ---- saved state ----

bool TImageScrollBar::SaveToStream(TStream* stream) {
    if (!stream) return false;
    TRecordWriter w(TScrollBarRecord::kSize);
    Record.Write(w);
    w.WriteTo(*stream);
    return Thumb->SaveToStream(stream) && Track->SaveToStream(stream);
}

bool TImageScrollBar::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    Clear();
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(*stream, TScrollBarRecord::kSize, bytes)) return false;
    TScrollBarRecord saved;
    TRecordReader reader(bytes);
    saved.Read(reader);
    if (!Thumb->LoadFromStream(stream) || !Track->LoadFromStream(stream)) {
        Clear();
        return false;
    }
    // A max of 0 or below in a saved record would divide the thumb's layout by zero.
    saved.Max = std::max(saved.Max, 1);
    saved.Value = std::clamp(saved.Value, 0, saved.Max);
    Record = saved;
    ReadThumbBounds();
    return true;
}
