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
    uint8_t bytes[kValueSize];
    if (!force && Hash->Get(name, bytes, kValueSize) && Get32(bytes) >= value) return false;
    Put32(bytes, value);
    return Hash->Add(name, bytes, kValueSize);
}

void TLabelLog::Clear() {
    Hash->Clear();
}

bool TLabelLog::SaveToStream(TStream* stream) {
    return Hash->SaveToStream(stream);
}

bool TLabelLog::LoadFromStream(TStream* stream) {
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
                  TRunMode runMode) {
    if (!readTextLog || readLogSuspended) return false;
    // Skipping read text ends at the first line not read before.
    return readTextLog->SetCount(key, lineOffset, false) && runMode == TRunMode::SkipRead;
}

}  // namespace uLabelLog
