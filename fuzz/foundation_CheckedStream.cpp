// The checked-stream reader over untrusted bytes; a body shorter than its size is a read error.
#include <cstdint>
#include <string_view>

#include "foundation/CheckedStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream s(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        auto body = uMisc::ReadCheckedStream(&s);
        if (body) {
            TMemoryStream again;
            uMisc::WriteCheckedStream(body.get(), &again);
        }
    } catch (const EStreamError&) {
    }
    return 0;
}
