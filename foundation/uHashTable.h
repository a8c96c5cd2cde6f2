// A table of named values, all of the size its user picks, stored back to back in a single data
// block; buckets chosen by hashing the lower-cased name lead to them. It has a file form of its own.
//
// The file ("HashVer1.3"; "hashver1.2" is read too), little-endian, offset and size in bytes:
//   0   16  version text padded with NULs, compared lower-cased
//   16  4   number of buckets; the reading table must have as many
//   20  4   number of items
//   24  4   length of the data block
//   28  4   length of the stored body that follows
//   32  ..  the body, byte-pair compressed and then scrambled whole with the key 7402
// The body before compression: for each bucket its item count (16 bits) and its items (name as a
// stream string, data offset in 8 bytes, and in 1.3 only the second hash in 4 bytes), then the
// data block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/uStringCache.h"
#include "platform/ClassLib.h"

class THashTable {
public:
    struct TItem {
        std::string Name;    // lower-cased
        int64_t Offset = 0;  // where the value starts in the data block
        uint32_t SecondHash = 0;
    };

    static constexpr int32_t kMaxItems = 65535;
    static constexpr uint32_t kAnyHash = 0xFFFFFFFF;  // items of 1.2 files: matched by name alone
    static constexpr uint32_t kScrambleKey = 7402;

    explicit THashTable(int32_t bucketCount);

    void Clear();
    // False when the table holds 65535 items already. An existing name has its value overwritten in
    // place (false, changing nothing, when size bytes would not fit in the data block there).
    bool Add(std::string_view name, const void* value, int32_t size);
    // Whether the name exists; with a buffer and a size, copies size bytes of its value. False when
    // those bytes lie outside the data block.
    bool Get(std::string_view name, void* buffer, int32_t size);
    // The value's offset in the data block, or -1. Locations are offsets, formed again at each use,
    // so that values stay reachable after the data block has grown.
    int64_t Find(std::string_view name);
    uint16_t BucketOf(std::string_view lowerName) const;
    static uint32_t SecondHash(std::string_view lowerName);

    bool SaveToStream(TStream* stream);
    // False, leaving the table empty, for a nil stream, a wrong version text, another bucket count,
    // and for a damaged body: a body shorter than its size, a failed expansion, an item count the
    // body cannot hold, items that run past the body, a data block shorter than its size, and a
    // value (of ValueSize bytes, when set) outside the data block.
    bool LoadFromStream(TStream* stream);
    bool LoadFromFile(const TFileRoot& root, const std::string& fileName);

    int32_t BucketCount() const { return static_cast<int32_t>(Buckets.size()); }
    int32_t ItemCount() const { return ItemCountValue; }
    const std::vector<TItem>& Bucket(int32_t i) const { return Buckets[static_cast<size_t>(i)]; }
    const TMemoryStream& DataBlock() const { return Data; }

    // The size of every value, when the user wants loading to check that each value fits.
    int32_t ValueSize = 0;

private:
    bool LoadBody(TStream& stream);

    std::vector<std::vector<TItem>> Buckets;
    TMemoryStream Data;
    int32_t ItemCountValue = 0;
    std::unique_ptr<TStringCache> Cache;
};
