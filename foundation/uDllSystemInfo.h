// The system-information library "DLL\SystemInfo.dll": one export, "Get", answers a text key
// ("OS,Name", "CPU,Name", "MEM,TotalMemory", ...) with a text. Its C signature:
//     int32_t Get(const char* key, char* buffer);  // buffer: 1024 bytes; non-zero on success
// Both texts are Shift-JIS and NUL-terminated. The dialogs' information pages and the scripts
// ask it; every caller has a default for an empty answer.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/uDLLObject.h"

class TDllSystemInfo final : public TDLLObject {
public:
    using TGet = int32_t(const char* key, char* buffer);
    static constexpr size_t kBufferSize = 1024;

    // Looks "Get" up; a library without it still counts as bound and answers nothing.
    bool Bind() override;
    // The answer to a key, or "" when there is no "Get" or it reports failure. An answer that
    // fills the whole buffer without a NUL is taken whole.
    std::string GetInfo(const std::string& key) const;

    TGet* Get = nullptr;
};
