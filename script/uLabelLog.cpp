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
    uint8_t value[kValueSize];
    if (!Hash->Get(name, value, kValueSize)) return -1;
    return Get32(value);
}

bool TLabelLog::SetCount(std::string_view name, int32_t value, bool force) {
    if (!force)
        for (size_t i = 0; i < RecentCount; ++i)
            if (Recent[i].Name == name && Recent[i].Count >= value) return false;
    uint8_t bytes[kValueSize];
    if (!force && Hash->Get(name, bytes, kValueSize) && Get32(bytes) >= value) {
        Remember(name, Get32(bytes));
        return false;
    }
    Put32(bytes, value);
    // Names that differ in case share a counter, so no remembered counter can be trusted now.
    Forget();
    if (!Hash->Add(name, bytes, kValueSize)) return false;
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

void TLabelLog::Clear() {
    Forget();
    Hash->Clear();
}

bool TLabelLog::SaveToStream(TStream* stream) {
    return Hash->SaveToStream(stream);
}

bool TLabelLog::LoadFromStream(TStream* stream) {
    Forget();
    return Hash->LoadFromStream(stream);
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

bool ReadTextFeed(TLabelLog* readTextLog, bool readLogSuspended, std::string_view key, int32_t lineOffset,
                  int32_t runMode) {
    if (!readTextLog || readLogSuspended) return false;
    return readTextLog->SetCount(key, lineOffset, false) && runMode == kRunModeSkipRead;
}

}  // namespace uLabelLog
