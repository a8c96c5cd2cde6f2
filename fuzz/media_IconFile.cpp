// Window icons over arbitrary bytes: a damaged icon is an error with a reason, never a crash, and
// a picture that decodes is whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "media/ARGB8888Lib.h"
#include "media/IconFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto picture = IconFile::Decode(size ? data : reinterpret_cast<const uint8_t*>(""), size, error);
    if (picture) {
        uint32_t all = 0;
        for (int32_t y = 0; y < picture->Height; ++y)
            for (int32_t x = 0; x < picture->Width; ++x)
                all |= picture->ScanLine(y)[x];
        (void)all;
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
