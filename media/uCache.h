// A cache of decoded objects by name, shared by reference counting, with a byte capacity for the
// objects nobody holds.
//
// A holder asks for an object by name with Acquire (once per holding) and gives it back with
// Release (once per holding). The first Acquire of a name decodes the object; later ones share it
// and only move the caller's stream past the item. An object nobody holds stays for a while: each
// trim (every acquire and release runs one) takes one of its 256 lives, and while the unused
// objects together reach the capacity the least valuable of them goes (at most 17 a trim, so one
// call never frees an unbounded amount). Value is life + 256 x min(hits, 256): often used objects
// outlive rarely used ones; at a tie the earliest loaded goes. A name holding "$$$" is engine-made
// content that changes between loads and goes as soon as nobody holds it.
//
// Acquire hands out a TCacheHandle. A handle either refers to a cache entry or owns an object of
// its own (Adopt: a picture the holder made itself); Release frees the latter and gives up one
// holding of the former. A handle whose entry is gone (the cache was cleared) releases nothing, so
// Release is always safe.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ClassLib.h"

template <typename T>
class TCacheHandle {
public:
    TCacheHandle() = default;
    TCacheHandle(TCacheHandle&& other) noexcept { *this = std::move(other); }
    TCacheHandle& operator=(TCacheHandle&& other) noexcept {
        if (this != &other) {
            Object = std::exchange(other.Object, nullptr);
            Own = std::move(other.Own);
            EntryId = std::exchange(other.EntryId, 0);
        }
        return *this;
    }
    TCacheHandle(const TCacheHandle&) = delete;
    TCacheHandle& operator=(const TCacheHandle&) = delete;

    // A handle owning an object that never was in a cache.
    static TCacheHandle Adopt(std::unique_ptr<T> object) {
        TCacheHandle h;
        h.Object = object.get();
        h.Own = std::move(object);
        return h;
    }

    T* Get() const { return Object; }
    T* operator->() const { return Object; }
    explicit operator bool() const { return Object != nullptr; }
    bool Cached() const { return EntryId != 0; }

private:
    template <typename>
    friend class TCache;
    T* Object = nullptr;
    std::unique_ptr<T> Own;  // set only for an adopted object
    uint64_t EntryId = 0;    // the entry that holds Object; 0 when none
};

template <typename T>
struct TCacheListObject {
    std::string Key;  // the lower-cased name
    int64_t ObjectSize = 0;
    std::unique_ptr<T> Object;
    int32_t References = 0;
    int32_t Hits = 0;
    int32_t Life = 256;
    uint64_t Id = 0;  // unique across every cache of the process
};

template <typename T>
class TCache {
public:
    static constexpr int32_t kFreshLife = 256;
    static constexpr int32_t kMaxEvictions = 17;

    explicit TCache(int32_t capacity) : Capacity(capacity) {}
    virtual ~TCache() = default;
    TCache(const TCache&) = delete;
    TCache& operator=(const TCache&) = delete;

    // Frees every entry and its object, held or not; handles to them release nothing afterwards.
    void Clear() { Entries.clear(); }
    int32_t GetCapacity() const { return Capacity; }
    void SetCapacity(int32_t capacity) {
        Capacity = capacity;
        Trim();
    }
    int64_t UnusedBytes() const {
        int64_t sum = 0;
        for (const auto& e : Entries)
            if (e->References == 0) sum += e->ObjectSize;
        return sum;
    }

    // The object for the name: shared when an entry has the name (the stream is then moved size
    // bytes on, as if it had been decoded), else decoded from the stream. An empty handle when
    // decoding fails (nothing is kept then).
    TCacheHandle<T> Acquire(TStream& stream, int32_t size, const std::string& name) {
        const std::string key = ClassLib::LowerAscii(name);
        for (auto& e : Entries) {
            if (e->Key != key) continue;
            ++e->References;
            if (e->Hits < INT32_MAX) ++e->Hits;
            e->Life = kFreshLife;
            stream.Seek(size, TSeekOrigin::Current);
            TCacheHandle<T> h = Handle(*e);
            Trim();
            return h;
        }
        std::unique_ptr<T> object = LoadData(stream, size, key);
        if (!object) return {};
        auto e = std::make_unique<TCacheListObject<T>>();
        e->Key = key;
        e->ObjectSize = DataSize(*object);
        e->Object = std::move(object);
        e->References = 1;
        e->Hits = 1;
        e->Id = NextId();
        TCacheHandle<T> h = Handle(*e);
        Entries.push_back(std::move(e));
        Trim();
        return h;
    }

    // The object decoded for the caller alone, never entered in the cache (for holders that have
    // no cache to share through); empty when it cannot be decoded.
    TCacheHandle<T> LoadOwn(TStream& stream, int32_t size, const std::string& name) {
        return TCacheHandle<T>::Adopt(LoadData(stream, size, ClassLib::LowerAscii(name)));
    }

    // Gives up one holding; the handle is empty afterwards.
    void Release(TCacheHandle<T>& handle) {
        TCacheHandle<T> h = std::move(handle);
        if (!h.EntryId) return;  // an adopted object goes with h
        auto it = std::find_if(Entries.begin(), Entries.end(), [&](const auto& e) { return e->Id == h.EntryId; });
        if (it == Entries.end()) return;  // the entry is gone with its object
        TCacheListObject<T>& e = **it;
        if (e.References > 0) --e.References;
        e.Life = kFreshLife;
        if (e.Key.find("$$$") != std::string::npos) e.Life = 0;
        Trim();
    }

    // Ages unused entries, frees those out of life, then evicts while the unused bytes reach the
    // capacity.
    void Trim() {
        if (Entries.empty()) return;
        for (auto& e : Entries)
            if (e->References == 0 && e->Life > 0) --e->Life;
        std::erase_if(Entries, [](const auto& e) { return e->References == 0 && e->Life <= 0; });
        for (int32_t round = 0; round < kMaxEvictions; ++round) {
            const int64_t unused = UnusedBytes();
            if (unused == 0 || unused < Capacity) break;
            size_t victim = Entries.size();
            int64_t best = 0;
            for (size_t i = 0; i < Entries.size(); ++i) {
                const auto& e = Entries[i];
                if (e->References != 0) continue;
                const int64_t score = int64_t{e->Life} + 256 * int64_t{std::min(e->Hits, 256)};
                if (victim == Entries.size() || score < best) {
                    victim = i;
                    best = score;
                }
            }
            if (victim == Entries.size()) break;
            Entries.erase(Entries.begin() + static_cast<std::ptrdiff_t>(victim));
        }
    }

    // The entries in load order, for inspection.
    const std::vector<std::unique_ptr<TCacheListObject<T>>>& List() const { return Entries; }

protected:
    // Decodes one object from the stream, which stands at the item's first byte; size is the
    // item's byte count (0 when unknown). Null when the item cannot be decoded.
    virtual std::unique_ptr<T> LoadData(TStream& stream, int32_t size, const std::string& name) = 0;
    // The bytes the object counts for.
    virtual int64_t DataSize(const T& object) const = 0;

private:
    static uint64_t NextId() {
        static std::atomic<uint64_t> next{1};
        return next++;
    }
    static TCacheHandle<T> Handle(const TCacheListObject<T>& e) {
        TCacheHandle<T> h;
        h.Object = e.Object.get();
        h.EntryId = e.Id;
        return h;
    }

    int32_t Capacity;
    std::vector<std::unique_ptr<TCacheListObject<T>>> Entries;
};
