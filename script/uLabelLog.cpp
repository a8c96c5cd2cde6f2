#include "script/uLabelLog.h"

#include <algorithm>

#include "platform/LittleEndian.h"

namespace {
constexpr int32_t kValueSize = 4;

void Put32(uint8_t* p, int32_t value) {
    LittleEndian::Put32(p, static_cast<uint32_t>(value));
}
int32_t Get32(const uint8_t* p) {
    return static_cast<int32_t>(LittleEndian::Get32(p));
}
}  // namespace

TLabelLog::TLabelLog() : Hash(std::make_unique<THashTable>(kBucketCount)) {
    Hash->ValueSize = kValueSize;
}

int32_t TLabelLog::GetCount(std::string_view name) const {
    auto it = Counters.find(ClassLib::LowerAscii(name));
    return it == Counters.end() ? -1 : it->second;
}

bool TLabelLog::Store(std::string_view name, int32_t value, bool force) {
    std::string lower = ClassLib::LowerAscii(name);
    auto it = Counters.find(lower);
    if (!force && it != Counters.end() && it->second >= value) {
        Remember(name, it->second);
        return false;
    }
    // A full table takes no new name (so a game of more labels than that logs the first ones).
    if (it == Counters.end() && Hash->ItemCount() >= THashTable::kMaxItems) return false;
    uint8_t bytes[kValueSize];
    Put32(bytes, value);
    Forget();
    if (!Hash->Add(name, bytes, kValueSize)) return false;
    if (it != Counters.end())
        it->second = value;
    else
        Counters.emplace(std::move(lower), value);
    Remember(name, value);
    return true;
}

void TLabelLog::Remember(std::string_view name, int32_t count) {
    TRecent& r = Recent[RecentNext];
    r.Name.assign(name);
    r.Count = count;
    RecentNext = (RecentNext + 1) % kRecentNames;
    if (RecentCount < kRecentNames) ++RecentCount;
}

// What the table's look-up finds for each name: in bucket order, the first item of a lower-cased
// name whose second hash fits it (or that came from a file without second hashes).
void TLabelLog::IndexTable() {
    Counters.clear();
    const THashTable& t = *Hash;
    const TMemoryStream& data = t.DataBlock();
    for (int32_t b = 0; b < t.BucketCount(); ++b)
        for (const THashTable::TItem& item : t.Bucket(b)) {
            if (item.Name != ClassLib::LowerAscii(item.Name)) continue;
            if (item.SecondHash != THashTable::kAnyHash && item.SecondHash != THashTable::SecondHash(item.Name))
                continue;
            if (item.Offset < 0 || item.Offset + kValueSize > static_cast<int64_t>(data.Data.size())) continue;
            Counters.emplace(item.Name, Get32(data.Memory() + item.Offset));
        }
}

void TLabelLog::Clear() {
    Forget();
    Counters.clear();
    Hash->Clear();
}

bool TLabelLog::SaveToStream(TStream* stream) {
    return Hash->SaveToStream(stream);
}

bool TLabelLog::LoadFromStream(TStream* stream) {
    Forget();
    const bool ok = Hash->LoadFromStream(stream);
    IndexTable();
    return ok;
}

namespace uLabelLog {

void FileUseFeed(TLabelLog* fileUseLog, bool fileLogSuspended, std::span<const std::string> patterns,
                 std::string_view name) {
    if (name.empty() || !fileUseLog || fileLogSuspended) return;
    const std::string lower = ClassLib::LowerAscii(name);
    if (lower.starts_with("system\\") || lower.starts_with("$$$")) return;
    const bool wanted = std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) {
        return !p.empty() && lower.find(p) != std::string::npos;
    });
    if (!wanted) return;
    const int64_t next = static_cast<int64_t>(fileUseLog->GetCount(name)) + 1;
    fileUseLog->SetCount(name, static_cast<int32_t>(std::clamp<int64_t>(next, 1, kMaxFileUseCount)), false);
}

}  // namespace uLabelLog
