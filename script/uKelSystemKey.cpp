#include "script/uKelSystemKey.h"

#include "foundation/StreamStrings.h"
#include "platform/LittleEndian.h"

namespace {

// The key code and the four lengths of the strings.
constexpr uint64_t kMinBindingBytes = 4 + 4 * 2;

}  // namespace

TKelSystemKey::TKelSystemKey(TInput* input) : Input(input) {}

void TKelSystemKey::Add(TKeyCode keyCode, std::string_view actionName, std::string_view fourthText,
                        std::string_view numberText, std::string_view label) {
    if (IndexOfKey(keyCode) >= 0) return;
    auto data = std::make_unique<TSystemKeyData>();
    data->KeyCode = keyCode;
    data->ActionName = actionName;
    data->Label = label;
    data->NumberText = numberText;
    data->FourthText = fourthText;
    Keys.push_back(std::move(data));
}

void TKelSystemKey::Remove(TKeyCode keyCode) {
    Delete(IndexOfKey(keyCode));
}

void TKelSystemKey::Delete(int32_t index) {
    if (index < 0 || index >= Count()) return;
    Keys.erase(Keys.begin() + index);
}

void TKelSystemKey::Clear() {
    Keys.clear();
    Lock = 0;
}

TSystemKeyData* TKelSystemKey::Items(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return Keys[static_cast<size_t>(index)].get();
}

int32_t TKelSystemKey::IndexOfKey(TKeyCode keyCode) const {
    for (size_t i = 0; i < Keys.size(); ++i)
        if (Keys[i]->KeyCode == keyCode) return static_cast<int32_t>(i);
    return -1;
}

TSystemKeyData* TKelSystemKey::GetPressed() const {
    if (Lock != 0 || !Input) return nullptr;
    for (const auto& key : Keys)
        if (Input->Check(key->KeyCode)) return key.get();
    return nullptr;
}

bool TKelSystemKey::SaveToStream(TStream* stream) const {
    if (!stream) return false;
    stream->WriteBuffer(&Lock, 1);
    LittleEndian::Write32(*stream, static_cast<uint32_t>(Keys.size()));
    for (const auto& key : Keys) {
        LittleEndian::Write32(*stream, static_cast<uint32_t>(key->KeyCode));
        uMisc::WriteStreamString(stream, key->ActionName);
        uMisc::WriteStreamString(stream, key->Label);
        uMisc::WriteStreamString(stream, key->NumberText);
        uMisc::WriteStreamString(stream, key->FourthText);
    }
    return true;
}

bool TKelSystemKey::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    uint8_t lock = 0;
    uint32_t count = 0;
    if (stream->Read(&lock, 1) != 1 || !LittleEndian::Read32(*stream, count)) return false;
    if (count * kMinBindingBytes > static_cast<uint64_t>(stream->Remaining())) return false;
    std::vector<TSystemKeyData> read(count);
    for (TSystemKeyData& d : read) {
        uint32_t code = 0;
        if (!LittleEndian::Read32(*stream, code)) return false;
        d.KeyCode = static_cast<TKeyCode>(code);
        if (!uMisc::ReadStreamString(stream, d.ActionName) || !uMisc::ReadStreamString(stream, d.Label) ||
            !uMisc::ReadStreamString(stream, d.NumberText) || !uMisc::ReadStreamString(stream, d.FourthText))
            return false;
    }
    Clear();
    Lock = lock;
    for (const TSystemKeyData& d : read)
        Add(d.KeyCode, d.ActionName, d.FourthText, d.NumberText, d.Label);
    return true;
}
