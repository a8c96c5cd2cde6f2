#include "script/uKelObjectKinds.h"

#include "foundation/StreamStrings.h"
#include "foundation/uInputDevice.h"
#include "platform/LittleEndian.h"
#include "script/KelCalculationLib.h"

namespace {

std::string Num(int32_t v) {
    return std::to_string(v);
}

// "xyza(x,y,z,alpha)file(file1,file2)show(0|1)", the part of the information text that screen
// objects and scroll bars share.
std::string PlacementInfo(const TKelScreenObjectInfo& i) {
    return "xyza(" + Num(i.X) + "," + Num(i.Y) + "," + Num(i.Z) + "," + Num(i.Alpha) + ")file(" + i.File1 + "," +
           i.File2 + ")show(" + (i.Enabled ? "1" : "0") + ")";
}

// The number after the first comma of an element object's name; 0 when there is none.
int32_t ElementIndex(const std::string& name) {
    size_t comma = name.find(',');
    int64_t v = 0;
    if (comma == std::string::npos || !KelCalculationLib::TryStrToInt64(name.substr(comma + 1), v) || v < INT32_MIN ||
        v > INT32_MAX)
        return 0;
    return static_cast<int32_t>(v);
}

template <typename T>
bool SwapWith(T& self, TKelObjectDataCustom& other, auto member) {
    auto* o = dynamic_cast<T*>(&other);
    if (!o || o->Kind() != self.Kind()) return false;
    std::swap(self.*member, o->*member);
    return true;
}

}  // namespace

// ---- sound channels ----

std::string TKelObjectDataSoundChannel::GetInfo() {
    if (!Library) return {};
    TKelSoundChannelInfo c = Library->ChannelInfo(ElementIndex(Name()));
    return "file(" + c.File + ")state(" + Num(c.State) + ")vol(" + Num(c.Volume) + ")type(" + Num(c.Type) + ")";
}

// ---- screen objects ----

int32_t TKelObjectDataScreen::ShiftX(int32_t x) const {
    return IsOverlay() ? x : static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(CameraX));
}

int32_t TKelObjectDataScreen::ShiftY(int32_t y) const {
    return IsOverlay() ? y : static_cast<int32_t>(static_cast<uint32_t>(y) + static_cast<uint32_t>(CameraY));
}

void TKelObjectDataScreen::Reset() {
    TKelObjectDataCustom::Reset();
    if (Engine) Engine->Clear();
}

std::string TKelObjectDataScreen::GetInfo() {
    if (!Engine) return {};
    TKelScreenObjectInfo i = Engine->Info();
    return PlacementInfo(i) + "motion(" + Num(i.MotionIndex) + "," + i.MotionName + ")";
}

bool TKelObjectDataScreen::SaveToStream(TStream& s) {
    return !Engine || Engine->SaveToStream(s);
}
bool TKelObjectDataScreen::LoadFromStream(TStream& s) {
    return !Engine || Engine->LoadFromStream(s);
}

void TKelObjectDataScreen::Update(uint32_t mask, int32_t elapsed) {
    if (Engine) Engine->Update(mask, elapsed);
}

void TKelObjectDataScreen::Draw(TARGB8888CellDraw* target, uint32_t mask, bool overlay) {
    if (!Engine) return;
    if (IsOverlay()) {
        if (overlay) Engine->Draw(target, mask, 0, 0);
    } else {
        Engine->Draw(target, mask, static_cast<int32_t>(0u - static_cast<uint32_t>(CameraX)),
                     static_cast<int32_t>(0u - static_cast<uint32_t>(CameraY)));
    }
}

void TKelObjectDataScreen::MouseMove(uint32_t mask, int32_t x, int32_t y) {
    if (Engine) Engine->MouseMove(mask, ShiftX(x), ShiftY(y));
}

void TKelObjectDataScreen::RestoreState() {
    if (Engine) Engine->RestoreState();
}

void TKelObjectDataScreen::CaptureState() {
    if (Engine) Engine->CaptureState();
}

bool TKelObjectDataScreen::SwapEngineObject(TKelObjectDataCustom& other) {
    return SwapWith(*this, other, &TKelObjectDataScreen::Engine);
}

bool TKelObjectDataMessage::HitTest(uint32_t mask, int32_t, int32_t) {
    if (Engine) Window()->Advance(mask);
    return false;
}

bool TKelObjectDataButton::HitTest(uint32_t mask, int32_t x, int32_t y) {
    return Engine && Button()->Click(mask, ShiftX(x), ShiftY(y));
}

// ---- scroll bars ----

namespace {
int32_t Shifted(bool overlay, int32_t v, int32_t camera) {
    return overlay ? v : static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(camera));
}
}  // namespace

void TKelObjectDataScrollBar::Reset() {
    TKelObjectDataCustom::Reset();
    if (Bar) Bar->Clear();
}

std::string TKelObjectDataScrollBar::GetInfo() {
    return Bar ? PlacementInfo(Bar->Info()) : std::string();
}

bool TKelObjectDataScrollBar::SaveToStream(TStream& s) {
    return !Bar || Bar->SaveToStream(s);
}
bool TKelObjectDataScrollBar::LoadFromStream(TStream& s) {
    return !Bar || Bar->LoadFromStream(s);
}

void TKelObjectDataScrollBar::Update(uint32_t mask, int32_t elapsed) {
    if (Bar) Bar->Update(mask, elapsed);
}

void TKelObjectDataScrollBar::Draw(TARGB8888CellDraw* target, uint32_t mask, bool overlay) {
    if (!Bar) return;
    if (IsOverlay()) {
        if (overlay) Bar->Draw(target, mask, 0, 0);
    } else {
        Bar->Draw(target, mask, static_cast<int32_t>(0u - static_cast<uint32_t>(CameraX)),
                  static_cast<int32_t>(0u - static_cast<uint32_t>(CameraY)));
    }
}

// The pointer is shifted as for the other screen objects: an overlay bar is drawn where it stands,
// so it is also hit there.
void TKelObjectDataScrollBar::MouseMove(uint32_t mask, int32_t x, int32_t y) {
    if (!Bar) return;
    uint32_t shift = Input && Input->Check(kLeftButtonHeld) ? kLeftButtonShift : 0;
    Bar->MouseMove(mask, shift, Shifted(IsOverlay(), x, CameraX), Shifted(IsOverlay(), y, CameraY));
}

void TKelObjectDataScrollBar::MouseDown(uint32_t mask, int32_t x, int32_t y) {
    if (Bar) Bar->MouseDown(mask, Shifted(IsOverlay(), x, CameraX), Shifted(IsOverlay(), y, CameraY));
}

void TKelObjectDataScrollBar::RestoreState() {
    if (Bar) Bar->RestoreState();
}

void TKelObjectDataScrollBar::CaptureState() {
    if (Bar) Bar->CaptureState();
}

bool TKelObjectDataScrollBar::SwapEngineObject(TKelObjectDataCustom& other) {
    return SwapWith(*this, other, &TKelObjectDataScrollBar::Bar);
}

// ---- text files ----

void TKelObjectDataFile::Reset() {
    TKelObjectDataCustom::Reset();
    File->Clear();
}

std::string TKelObjectDataFile::GetInfo() {
    return "file(" + File->FileName() + ")";
}
bool TKelObjectDataFile::SaveToStream(TStream& s) {
    return File->SaveToStream(&s);
}
bool TKelObjectDataFile::LoadFromStream(TStream& s) {
    return File->LoadFromStream(&s);
}

bool TKelObjectDataFile::SwapEngineObject(TKelObjectDataCustom& other) {
    return SwapWith(*this, other, &TKelObjectDataFile::File);
}

// ---- string lists ----

void TKelObjectDataStringList::Reset() {
    TKelObjectDataCustom::Reset();
    List->Clear();
}

std::string TKelObjectDataStringList::GetInfo() {
    return "Lines(" + Num(List->Count()) + ")";
}

bool TKelObjectDataStringList::SaveToStream(TStream& s) {
    uint8_t count[4];
    LittleEndian::Put32(count, static_cast<uint32_t>(List->Count()));
    if (s.Write(count, 4) != 4) return false;
    for (int i = 0; i < List->Count(); ++i)
        uMisc::WriteStreamString(&s, (*List)[i]);
    return true;
}

bool TKelObjectDataStringList::LoadFromStream(TStream& s) {
    List->Clear();
    uint32_t n = 0;
    if (!LittleEndian::Read32(s, n)) return false;
    // Every line takes at least its 2-byte length: a count beyond that cannot be right.
    if (n > static_cast<uint64_t>(s.Remaining()) / 2) return false;
    for (uint32_t i = 0; i < n; ++i) {
        std::string line;
        if (!uMisc::ReadStreamString(&s, line)) return false;
        List->Add(std::move(line));
    }
    return true;
}

bool TKelObjectDataStringList::SwapEngineObject(TKelObjectDataCustom& other) {
    return SwapWith(*this, other, &TKelObjectDataStringList::List);
}

// ---- plug-in objects ----

void TKelObjectDataDLLObject::Reset() {
    TKelObjectDataCustom::Reset();
    if (Instance) Instance->Init();
}

std::string TKelObjectDataDLLObject::GetInfo() {
    return "ObjectName(" + TypeName + ")";
}
bool TKelObjectDataDLLObject::SaveToStream(TStream& s) {
    return !Instance || Instance->SaveToStream(s);
}
bool TKelObjectDataDLLObject::LoadFromStream(TStream& s) {
    return !Instance || Instance->LoadFromStream(s);
}

bool TKelObjectDataDLLObject::SwapEngineObject(TKelObjectDataCustom& other) {
    return SwapWith(*this, other, &TKelObjectDataDLLObject::Instance);
}

// ---- factory ----

namespace uKelObjectKinds {

std::unique_ptr<TKelObjectDataCustom> CreateObject(TObjectKind kind, const std::string& name, const TPackSet& packs) {
    switch (kind) {
        case TObjectKind::System:
            return std::make_unique<TKelObjectDataSystem>(name);
        case TObjectKind::GameData:
            return std::make_unique<TKelObjectDataGameData>(name);
        case TObjectKind::SystemData:
            return std::make_unique<TKelObjectDataSystemData>(name);
        case TObjectKind::Sound:
            return std::make_unique<TKelObjectDataSound>(name, nullptr);
        case TObjectKind::DirectSound:
            return std::make_unique<TKelObjectDataDirectSound>(name, nullptr);
        case TObjectKind::Image:
            return std::make_unique<TKelObjectDataImage>(name, nullptr);
        case TObjectKind::Message:
            return std::make_unique<TKelObjectDataMessage>(name, nullptr);
        case TObjectKind::Button:
            return std::make_unique<TKelObjectDataButton>(name, nullptr);
        case TObjectKind::ScrollBar:
            return std::make_unique<TKelObjectDataScrollBar>(name, nullptr, nullptr);
        case TObjectKind::Effect:
            return std::make_unique<TKelObjectDataEffect>(name);
        case TObjectKind::SysCursor:
            return std::make_unique<TKelObjectDataSysCursor>(name);
        case TObjectKind::Cursor:
            return std::make_unique<TKelObjectDataCursor>(name);
        case TObjectKind::Log:
            return std::make_unique<TKelObjectDataLog>(name);
        case TObjectKind::Camera:
            return std::make_unique<TKelObjectDataCamera>(name);
        case TObjectKind::Replace:
            return std::make_unique<TKelObjectDataReplace>(name);
        case TObjectKind::Path:
            return std::make_unique<TKelObjectDataPath>(name);
        case TObjectKind::DirectShow:
            return std::make_unique<TKelObjectDataDirectShow>(name);
        case TObjectKind::SysImage:
            return std::make_unique<TKelObjectDataSysImage>(name, nullptr);
        case TObjectKind::SysButton:
            return std::make_unique<TKelObjectDataSysButton>(name, nullptr);
        case TObjectKind::File:
            return std::make_unique<TKelObjectDataFile>(name, packs);
        case TObjectKind::TCP:
            return std::make_unique<TKelObjectDataTCP>(name);
        case TObjectKind::Dialog:
            return std::make_unique<TKelObjectDataDialog>(name);
        case TObjectKind::SkipLog:
            return std::make_unique<TKelObjectDataSkipLog>(name);
        case TObjectKind::FileLog:
            return std::make_unique<TKelObjectDataFileLog>(name);
        case TObjectKind::Math:
            return std::make_unique<TKelObjectMath>(name);
        case TObjectKind::StringList:
            return std::make_unique<TKelObjectDataStringList>(name);
        case TObjectKind::Config:
            return std::make_unique<TKelObjectConfig>(name);
        case TObjectKind::Misc:
            return std::make_unique<TKelObjectMisc>(name);
        case TObjectKind::Input:
            return std::make_unique<TKelObjectInput>(name);
        case TObjectKind::SystemKey:
            return std::make_unique<TKelObjectSystemKey>(name);
        case TObjectKind::Clipboard:
            return std::make_unique<TKelObjectClipboard>(name);
        case TObjectKind::Dialogs:
            return std::make_unique<TKelObjectDialogs>(name);
        case TObjectKind::Extend:
            return std::make_unique<TKelObjectDataExtend>(name);
        default:
            return nullptr;
    }
}

}  // namespace uKelObjectKinds
