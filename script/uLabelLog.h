// Label logs: named counters stored with the system data. The host owns two, shared by both
// interpreters. In the read-text log a key joins a script's file name and a label text with nothing
// between, and its count is the furthest line offset read below that label. In the file-use log a
// key is a file name, counted each time the file is used. Keys match lower-cased.
//
// Stream form: the hash-table file of 256 buckets with 4-byte values.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/uHashTable.h"
#include "platform/ClassLib.h"
#include "script/KelScriptState.h"
#include "script/KelTextCache.h"

class TLabelLog {
public:
    static constexpr int32_t kBucketCount = 256;

    TLabelLog();
    TLabelLog(const TLabelLog&) = delete;
    TLabelLog& operator=(const TLabelLog&) = delete;

    // The counter, -1 when the name is absent.
    int32_t GetCount(std::string_view name) const;
    // Without force, stores only over an absent or smaller counter; with force, always. True when
    // stored (false also when the table is full).
    bool SetCount(std::string_view name, int32_t value, bool force) {
        if (!force && RecentReached(name, value)) return false;
        return Store(name, value, force);
    }
    void Clear();
    bool SaveToStream(TStream* stream);
    // False, leaving the log empty, for a nil stream and for anything but a sound hash-table file
    // of 256 buckets whose values all lie inside its data block.
    bool LoadFromStream(TStream* stream);

    const THashTable& Table() const { return *Hash; }

private:
    // Every counter the table can find, by lower-cased name, beside the table: the table's buckets
    // are fixed at 256 by its file format, so a look-up there walks a bucket of one 256th of all
    // names, and the read-text log holds one name per label of the game. Stores go to both.
    std::unordered_map<std::string, int32_t> Counters;
    void IndexTable();

    // The counters of the names set last, as given (not lower-cased). The interpreter sets the
    // same name for every line of a label, mostly to a value the counter has reached already: such
    // a call is answered here without lower-casing the name. Any store empties it, since names
    // that differ in case share a counter.
    struct TRecent {
        std::string Name;
        int32_t Count = 0;
    };
    static constexpr size_t kRecentNames = 4;
    TRecent Recent[kRecentNames];
    size_t RecentCount = 0, RecentNext = 0;
    void Remember(std::string_view name, int32_t count);
    bool RecentReached(std::string_view name, int32_t value) const {
        for (size_t i = 0; i < RecentCount; ++i)
            if (Recent[i].Count >= value && Recent[i].Name.size() == name.size() &&
                EqualBytes(Recent[i].Name.data(), name.data(), name.size()))
                return true;
        return false;
    }
    bool Store(std::string_view name, int32_t value, bool force);
    void Forget() { RecentCount = RecentNext = 0; }

    std::unique_ptr<THashTable> Hash;
};

// The two feeds from the interpreter into the logs.
namespace uLabelLog {

constexpr int32_t kMaxFileUseCount = 0xFFFFFF;
constexpr int32_t kFileLogPatternCount = 64;

// A file handed to the search folders' found event: counted in the file-use log unless the log is
// missing or suspended, the name is empty, its lower-cased form starts with "system\" or "$$$",
// or it contains none of the non-empty patterns (which are kept lower-cased). The counter rises
// by one and stays within 1..16777215.
void FileUseFeed(TLabelLog* fileUseLog, bool fileLogSuspended, std::span<const std::string> patterns,
                 std::string_view name);

// A traced line fetched by the reader: the label's highest offset is raised to this line's. True
// when the caller must stop its run mode: a new, higher offset was stored while skipping read
// text only.
inline bool ReadTextFeed(TLabelLog* readTextLog, bool readLogSuspended, std::string_view key, int32_t lineOffset,
                         TRunMode runMode) {
    if (!readTextLog || readLogSuspended) return false;
    // Skipping read text ends at the first line not read before.
    return readTextLog->SetCount(key, lineOffset, false) && runMode == TRunMode::SkipRead;
}

}  // namespace uLabelLog
