// The back-log store's saved record from arbitrary bytes: a load either refuses or leaves count and
// head inside the ring, and every entry it then answers for reads back and saves again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "objects/KelLogdataLib.h"
#include "platform/ClassLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s(std::string(reinterpret_cast<const char*>(data), size));
    TKelLogData log;
    if (!log.LoadFromStream(s)) {
        if (log.Count != 0) std::abort();  // a refused load changes nothing
        return 0;
    }
    if (log.Count < 0 || log.Count > TKelLogData::kEntryCount || log.Head < 0 || log.Head >= TKelLogData::kEntryCount)
        std::abort();
    for (int32_t i = 0; i < log.Count; ++i) {
        const int32_t slot = log.SlotOf(i);
        if (slot < 0 || slot >= TKelLogData::kEntryCount) std::abort();
        (void)log.GetPlainText(i);
    }
    log.Add("[rb,a,b]c[n]", "x", "y", 1, 2, 3, 4);
    TMemoryStream again;
    log.SaveToStream(again);
    return 0;
}
