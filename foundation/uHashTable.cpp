#include "foundation/uHashTable.h"

#include <cstring>

#include "foundation/Compression.h"
#include "foundation/Scramblers.h"
#include "foundation/StreamStrings.h"
#include "foundation/uMisc.h"
#include "platform/FileRoot.h"
#include "platform/LittleEndian.h"

namespace {
constexpr char kVersion13[] = "hashver1.3";
constexpr char kVersion12[] = "hashver1.2";
constexpr size_t kHeaderSize = 32;

using LittleEndian::Get32;
using LittleEndian::Get64;
using LittleEndian::Put32;
}  // namespace

THashTable::THashTable(int32_t bucketCount)
    : Buckets(static_cast<size_t>(bucketCount > 0 ? bucketCount : 1)), Cache(std::make_unique<TStringCache>(32)) {}

void THashTable::Clear() {
    for (auto& b : Buckets)
        b.clear();
    Cache->Clear();
    Data.Clear();
    ItemCountValue = 0;
}

uint16_t THashTable::BucketOf(std::string_view lowerName) const {
    const auto sum = static_cast<uint32_t>(uMisc::WeightedSum(lowerName));
    return static_cast<uint16_t>((sum % static_cast<uint32_t>(Buckets.size())) & 0xFFFF);
}

uint32_t THashTable::SecondHash(std::string_view lowerName) {
    uint32_t h = 0;
    for (size_t i = 0; i < lowerName.size(); ++i)
        h += static_cast<uint32_t>(static_cast<uint8_t>(lowerName[i])) * (((i + 1) ^ 231) & 255);
    return h;
}

int64_t THashTable::Find(std::string_view name) {
    const std::string lower = ClassLib::LowerAscii(name);
    const int32_t slot = Cache->IndexOf(lower);
    if (slot >= 0) return Cache->Slot(slot).Value;
    const uint32_t h2 = SecondHash(lower);
    for (const TItem& item : Buckets[BucketOf(lower)]) {
        if ((item.SecondHash == h2 || item.SecondHash == kAnyHash) && item.Name == lower) {
            if (item.Offset <= INT32_MAX) Cache->Add(lower, static_cast<int32_t>(item.Offset));
            return item.Offset;
        }
    }
    return -1;
}

bool THashTable::Add(std::string_view name, const void* value, int32_t size) {
    const std::string lower = ClassLib::LowerAscii(name);
    if (size < 0) size = 0;
    const int64_t found = Find(lower);
    if (found >= 0) {
        if (found + size > Data.Size()) return false;
        if (size > 0 && value) std::memcpy(Data.Memory() + found, value, static_cast<size_t>(size));
        return true;
    }
    if (ItemCountValue >= kMaxItems) return false;
    TItem item;
    item.Name = lower;
    item.Offset = Data.Size();
    item.SecondHash = SecondHash(lower);
    if (item.Offset <= INT32_MAX) Cache->Add(lower, static_cast<int32_t>(item.Offset));
    Data.Data.resize(static_cast<size_t>(item.Offset + size));
    if (size > 0 && value) std::memcpy(Data.Memory() + item.Offset, value, static_cast<size_t>(size));
    Data.Seek(0, TSeekOrigin::End);
    Buckets[BucketOf(lower)].push_back(std::move(item));
    ++ItemCountValue;
    return true;
}

bool THashTable::Get(std::string_view name, void* buffer, int32_t size) {
    const int64_t found = Find(name);
    if (found < 0) return false;
    if (buffer && size > 0) {
        if (found + size > Data.Size()) return false;
        std::memcpy(buffer, Data.Memory() + found, static_cast<size_t>(size));
    }
    return true;
}

bool THashTable::SaveToStream(TStream* stream) {
    if (!stream) return false;
    auto body = std::make_unique<TMemoryStream>();
    for (const auto& bucket : Buckets) {
        const auto count = static_cast<uint16_t>(bucket.size());
        const uint8_t countBytes[2] = {static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8)};
        body->WriteBuffer(countBytes, 2);
        for (const TItem& item : bucket) {
            uMisc::WriteStreamString(body.get(), item.Name);
            uint8_t fields[12];
            Put32(fields, static_cast<uint32_t>(static_cast<uint64_t>(item.Offset)));
            Put32(fields + 4, static_cast<uint32_t>(static_cast<uint64_t>(item.Offset) >> 32));
            Put32(fields + 8, item.SecondHash);
            body->WriteBuffer(fields, 12);
        }
    }
    body->WriteBuffer(Data.Memory(), Data.Size());
    auto packed = uMisc::PackStream(body, false);
    uMisc::ScrambleBuffer(packed->Memory(), packed->Data.size(), false, kScrambleKey);

    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, "HashVer1.3", 10);
    Put32(header + 16, static_cast<uint32_t>(Buckets.size()));
    Put32(header + 20, static_cast<uint32_t>(ItemCountValue));
    Put32(header + 24, static_cast<uint32_t>(Data.Size()));
    Put32(header + 28, static_cast<uint32_t>(packed->Size()));
    stream->WriteBuffer(header, kHeaderSize);
    stream->WriteBuffer(packed->Memory(), packed->Size());
    return true;
}

bool THashTable::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    Clear();
    bool ok = false;
    try {
        ok = LoadBody(*stream);
    } catch (const EStreamError&) {
        ok = false;
    }
    if (!ok) Clear();
    return ok;
}

bool THashTable::LoadBody(TStream& stream) {
    uint8_t header[kHeaderSize];
    if (stream.Read(header, kHeaderSize) != static_cast<int64_t>(kHeaderSize)) return false;
    const std::string version = ClassLib::LowerAscii(
        std::string(reinterpret_cast<const char*>(header), strnlen(reinterpret_cast<const char*>(header), 16)));
    const bool v13 = version == kVersion13;
    if (!v13 && version != kVersion12) return false;
    if (Get32(header + 16) != static_cast<uint32_t>(Buckets.size())) return false;
    const uint32_t itemCount = Get32(header + 20);
    const uint32_t dataSize = Get32(header + 24);
    const uint32_t bodySize = Get32(header + 28);
    if (itemCount > static_cast<uint32_t>(kMaxItems)) return false;
    if (bodySize > static_cast<uint64_t>(stream.Remaining())) return false;

    auto body = std::make_unique<TMemoryStream>();
    body->Data.resize(bodySize);
    stream.ReadBuffer(body->Memory(), bodySize);
    uMisc::ScrambleBuffer(body->Memory(), bodySize, true, kScrambleKey);
    auto expanded = uMisc::PackStream(body, true);
    if (!expanded) return false;

    const uint8_t* p = expanded->Memory();
    const size_t n = expanded->Data.size();
    size_t pos = 0;
    const size_t minItem = 2 + 8 + (v13 ? 4 : 0);
    if (static_cast<uint64_t>(itemCount) * minItem > n) return false;
    uint64_t total = 0;
    for (auto& bucket : Buckets) {
        if (n - pos < 2) return false;
        const uint32_t count = p[pos] | (static_cast<uint32_t>(p[pos + 1]) << 8);
        pos += 2;
        total += count;
        if (total > itemCount || static_cast<uint64_t>(count) * minItem > n - pos) return false;
        bucket.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            TItem item;
            if (n - pos < 2) return false;
            const size_t len = p[pos] | (static_cast<size_t>(p[pos + 1]) << 8);
            pos += 2;
            if (n - pos < len + 8 + (v13 ? 4 : 0)) return false;
            item.Name.assign(reinterpret_cast<const char*>(p + pos), len);
            pos += len;
            item.Offset = static_cast<int64_t>(Get64(p + pos));
            pos += 8;
            if (v13) {
                item.SecondHash = Get32(p + pos);
                pos += 4;
            } else {
                item.SecondHash = kAnyHash;
            }
            if (item.Offset < 0 || item.Offset > static_cast<int64_t>(dataSize) - (ValueSize > 0 ? ValueSize : 0))
                return false;
            bucket.push_back(std::move(item));
        }
    }
    if (total != itemCount) return false;
    if (dataSize > n - pos) return false;
    Data.Data.assign(p + pos, p + pos + dataSize);
    Data.Seek(0, TSeekOrigin::End);
    ItemCountValue = static_cast<int32_t>(itemCount);
    return true;
}

bool THashTable::LoadFromFile(const TFileRoot& root, const std::string& fileName) {
    if (!root.FileExists(fileName)) return false;
    TMemoryStream s;
    if (!s.LoadFromFile(root, fileName)) return false;
    return LoadFromStream(&s);
}
