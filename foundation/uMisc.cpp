#include "foundation/uMisc.h"

#include <cstring>

namespace uMisc {

void WriteStreamString(TStream* stream, std::string_view s) {
    if (!stream) return;
    // Longer strings keep the low 16 bits of their length and that many leading bytes, so the
    // record stays self-consistent.
    auto n = static_cast<uint16_t>(s.size() & 0xFFFF);
    uint8_t len[2] = {static_cast<uint8_t>(n & 0xFF), static_cast<uint8_t>(n >> 8)};
    stream->WriteBuffer(len, 2);
    if (n) stream->WriteBuffer(s.data(), n);
}

bool ReadStreamString(TStream* stream, std::string& s) {
    if (!stream) return false;
    uint8_t len[2] = {0, 0};
    int64_t got = stream->Read(len, 2);
    if (got != 2) {
        s.clear();
        return false;
    }
    size_t n = len[0] | (static_cast<size_t>(len[1]) << 8);
    s.assign(n, '\0');
    int64_t read = n ? stream->Read(s.data(), static_cast<int64_t>(n)) : 0;
    if (read < static_cast<int64_t>(n)) {
        s.resize(static_cast<size_t>(read < 0 ? 0 : read));
        return false;
    }
    return true;
}

int32_t WeightedSum(std::string_view text) {
    uint32_t sum = 0;
    for (size_t i = 0; i < text.size(); ++i)
        sum += static_cast<uint32_t>(static_cast<uint8_t>(text[i])) * ((i + 1) & 255);
    return static_cast<int32_t>(sum);
}

// ---- scramblers, byte-pair compression, checksums, checked streams ----

}  // namespace uMisc
