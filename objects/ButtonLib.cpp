#include "objects/ButtonLib.h"

#include <vector>

#include "platform/LittleEndian.h"

namespace {

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

}  // namespace

static_assert(1 + 1 + 4 + TButtonRecord::kTailSize == TButtonRecord::kSize);

void TButtonRecord::Write(TRecordWriter& w) const {
    w.U8(Checked);
    w.U8(Locked);
    w.I32(ClickCountdown);
    w.Zero(kTailSize);
}

void TButtonRecord::Read(TRecordReader& r) {
    Checked = r.U8();
    Locked = r.U8();
    ClickCountdown = r.I32();
}

TButtonLib::TButtonLib(const TPackSet& packs, IAnimationSound* sound) : TMessageLib(packs, sound, nullptr, nullptr) {
    // A caption shows whole at once and never waits for the player.
    PageCheck = 0;
    Instant = 1;
    OwnSpeed = -1;
}

TButtonLib::~TButtonLib() = default;

void TButtonLib::Clear() {
    TMessageLib::Clear();
    ButtonRecord = TButtonRecord{};
}

void TButtonLib::Update(uint32_t /*mask*/, int32_t elapsed) {
    TMessageLib::Update(0, elapsed);
    if (ButtonRecord.ClickCountdown >= 1) --ButtonRecord.ClickCountdown;
}

void TButtonLib::SelectEither(const char* first, const char* second) {
    SetMotion(MotionIndexOf(first) >= 0 ? first : second, false);
}

void TButtonLib::ShowState(const std::string& current, const std::string& state) {
    const std::string low = ClassLib::LowerAscii(state);
    if (!StartsWith(current, low)) SetMotion(state, true);
    if (HitTest(Record.PointerX, Record.PointerY))
        SelectEither((state + "OnMouse").c_str(), state.c_str());
    else if (current == low + "onmouse")
        SelectEither((state + "OffMouse").c_str(), state.c_str());
}

void TButtonLib::UpdateHover() {
    const std::string current = ClassLib::LowerAscii(GetCurrentMotionName());
    if (IsLocked()) {
        ShowState(current, "*OnLock");
        return;
    }
    if (IsChecked()) {
        ShowState(current, "*OnCheck");
        return;
    }
    // A state that has just ended, or a click, gives way to the plain motions.
    if (StartsWith(current, "*onlock")) SelectEither("*OffLock", "*OffMouse");
    if (StartsWith(current, "*oncheck")) SelectEither("*OffCheck", "*OffMouse");
    if (current == "*onclick") SetMotion("*OffMouse", false);
    TMessageLib::UpdateHover();
}

bool TButtonLib::Click(uint32_t mask, int32_t x, int32_t y) {
    Record.PointerX = x;
    Record.PointerY = y;
    if (!IsEnabled() || (Record.InputMask & mask) == 0 || IsLocked() || !HitTest(x, y)) return false;
    const char* motion = IsChecked() ? "*OnCheckClick" : "*OnClick";
    if (MotionIndexOf(motion) >= 0) SetMotion(motion, true);
    ButtonRecord.ClickCountdown = kClickUpdates;
    if (OnClick) OnClick(*this);
    return true;
}

void TButtonLib::SetChecked(bool checked) {
    if (IsChecked() == checked) return;
    ButtonRecord.Checked = checked ? 1 : 0;
    UpdateHover();
    const auto& event = checked ? OnCheck : OnUncheck;
    if (event) event(*this);
}

void TButtonLib::SetLocked(bool locked) {
    if (IsLocked() == locked) return;
    ButtonRecord.Locked = locked ? 1 : 0;
    UpdateHover();
}

bool TButtonLib::SaveToStream(TStream* stream) {
    if (!TMessageLib::SaveToStream(stream)) return false;
    TRecordWriter w(TButtonRecord::kSize);
    ButtonRecord.Write(w);
    w.WriteTo(*stream);
    return true;
}

bool TButtonLib::LoadFromStream(TStream* stream) {
    if (!TMessageLib::LoadFromStream(stream)) return false;
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(*stream, TButtonRecord::kSize, bytes)) {
        Clear();
        return false;
    }
    TRecordReader reader(bytes);
    ButtonRecord.Read(reader);
    return true;
}
