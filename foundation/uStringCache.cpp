#include "foundation/uStringCache.h"

#include "foundation/uMisc.h"

TStringCache::TStringCache(int32_t slotCount) : Slots(static_cast<size_t>(slotCount > 0 ? slotCount : 1)) {}

int32_t TStringCache::IndexOf(std::string_view key) const {
    if (key.empty()) return -1;
    const int32_t hash = uMisc::WeightedSum(key);
    for (size_t i = 0; i < Slots.size(); ++i)
        if (Slots[i].Hash == hash && Slots[i].Key == key) return static_cast<int32_t>(i);
    return -1;
}

void TStringCache::Add(std::string_view key, int32_t value) {
    int32_t i = IndexOf(key);
    if (i < 0) {
        i = NextSlot;
        NextSlot = (NextSlot + 1) % SlotCount();
    }
    TSlot& s = Slots[static_cast<size_t>(i)];
    s.Value = value;
    s.Key.assign(key);
    s.Hash = uMisc::WeightedSum(key);
}

int32_t TStringCache::Get(std::string_view key, int32_t def) const {
    const int32_t i = IndexOf(key);
    return i < 0 ? def : Slots[static_cast<size_t>(i)].Value;
}

void TStringCache::Remove(std::string_view key) {
    const int32_t i = IndexOf(key);
    if (i >= 0) Slots[static_cast<size_t>(i)] = TSlot();
}

void TStringCache::Clear() {
    for (auto& s : Slots)
        s = TSlot();
}
