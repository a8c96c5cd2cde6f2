// What the interpreter keeps by text: the split of each statement, the compiled program of each
// expression. A look-up happens for every statement and every argument, so the table is open
// addressing over a hash that takes the text eight bytes at a time; texts are compared whole.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Whether n bytes are equal, compared a word at a time without a library call: the texts the
// interpreter compares are a few bytes long, where the call would cost more than the comparison.
inline bool EqualBytes(const char* a, const char* b, size_t n) {
    auto word = [](const char* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    };
    auto half = [](const char* p) {
        uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    };
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8)
            if (word(a + i) != word(b + i)) return false;
        return word(a + n - 8) == word(b + n - 8);  // the last eight, overlapping
    }
    if (n >= 4) return half(a) == half(b) && half(a + n - 4) == half(b + n - 4);
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

template <typename V>
class TTextCache {
public:
    // The value kept for the text, or nullptr.
    V* Find(std::string_view text) {
        if (Slots.empty()) return nullptr;
        const uint64_t hash = Hash(text);
        for (size_t i = hash & Mask;; i = (i + 1) & Mask) {
            TSlot& s = Slots[i];
            if (!s.Used) return nullptr;
            if (s.Hash == hash && s.Text.size() == text.size() && EqualBytes(s.Text.data(), text.data(), text.size()))
                return &s.Value;
        }
    }
    // Keeps a value for a text that has none; the reference holds until the next Insert or Clear.
    V& Insert(std::string_view text, V value) {
        if ((Count + 1) * 2 > Slots.size()) Grow();
        const uint64_t hash = Hash(text);
        size_t i = hash & Mask;
        while (Slots[i].Used)
            i = (i + 1) & Mask;
        TSlot& s = Slots[i];
        s.Used = true;
        s.Hash = hash;
        s.Text.assign(text);
        s.Value = std::move(value);
        ++Count;
        return s.Value;
    }
    void Clear() {
        Slots.clear();
        Mask = 0;
        Count = 0;
    }
    size_t Size() const { return Count; }

    static uint64_t Hash(std::string_view text) {
        constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
        uint64_t h = text.size() * kMul;
        size_t i = 0;
        for (; i + 8 <= text.size(); i += 8) {
            uint64_t w;
            std::memcpy(&w, text.data() + i, 8);
            h = (h ^ w) * kMul;
            h ^= h >> 29;
        }
        if (i < text.size()) {
            // The last bytes as a little-endian word, without a library call for the copy.
            uint64_t w = 0;
            for (size_t k = 0; i + k < text.size(); ++k)
                w |= static_cast<uint64_t>(static_cast<uint8_t>(text[i + k])) << (8 * k);
            h = (h ^ w) * kMul;
            h ^= h >> 29;
        }
        return h ^ (h >> 32);
    }

private:
    struct TSlot {
        bool Used = false;
        uint64_t Hash = 0;
        std::string Text;
        V Value{};
    };

    void Grow() {
        std::vector<TSlot> old = std::move(Slots);
        Slots.clear();
        Slots.resize(old.empty() ? 64 : old.size() * 2);
        Mask = Slots.size() - 1;
        for (TSlot& s : old) {
            if (!s.Used) continue;
            size_t i = s.Hash & Mask;
            while (Slots[i].Used)
                i = (i + 1) & Mask;
            Slots[i] = std::move(s);
        }
    }

    std::vector<TSlot> Slots;
    size_t Mask = 0;
    size_t Count = 0;
};
