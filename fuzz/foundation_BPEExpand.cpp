// The byte-pair expander over untrusted bytes, in both forms: the input as it is (header form when
// it starts with the magic, else the headerless form), and once more with its first four bytes
// taken as the size of a headerless stream.
#include <cstdint>
#include <string>

#include "foundation/Compression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string out;
    if (uMisc::BPEExpandBytes(data, size, out) && size >= 12) {
        // A stream that expands must also survive being expanded again as data.
        std::string again;
        uMisc::BPEExpandBytes(out.data(), out.size(), again);
    }
    if (size >= 12 && data[0] == 0x31 && data[1] == 0x50 && data[2] == 0x43 && data[3] == 0xFF)
        uMisc::BPEExpandBytes(data + 8, size - 8, out);
    return 0;
}
