// Remembers recent name look-ups: a few slots, each holding a string and a 32-bit value, reused in
// turn when all are taken. Keys compare exactly, letter case included.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TStringCache {
public:
    struct TSlot {
        int32_t Value = 0;
        std::string Key;
        int32_t Hash = 0;  // uMisc::WeightedSum of the key
    };

    explicit TStringCache(int32_t slotCount);

    // -1 for an empty key; else the first slot whose hash and key equal the key's.
    int32_t IndexOf(std::string_view key) const;
    // The key's slot when present; otherwise the next slot, which then advances round-robin.
    void Add(std::string_view key, int32_t value);
    int32_t Get(std::string_view key, int32_t def) const;
    void Remove(std::string_view key);  // the next slot is unchanged
    void Clear();                       // the next slot is unchanged

    int32_t SlotCount() const { return static_cast<int32_t>(Slots.size()); }
    const TSlot& Slot(int32_t i) const { return Slots[static_cast<size_t>(i)]; }

private:
    std::vector<TSlot> Slots;
    int32_t NextSlot = 0;
};
