#include "foundation/Checksum.h"

#include <cstring>

namespace uMisc {

// ---- checksums ----

namespace {
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the checksum reads its 16-bit words directly");

// Eight 16-bit lanes: two 8-byte words side by side. Additions wrap in each lane.
typedef uint16_t TChecksumLanes __attribute__((vector_size(16)));

inline TChecksumLanes LoadLanes(const uint8_t* p) {
    TChecksumLanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
}  // namespace

uint32_t Checksum64(const void* buffer, size_t size) {
    if (!buffer) return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    const size_t words = size / 8;
    constexpr uint16_t kStep = 0x0307;
    // Word k (from 1) adds (word xor k * 0x0307) in each of its four lanes. Eight words at a time
    // go through four accumulators of two words each, which the compiler keeps in registers; the
    // key of each accumulator moves on by eight steps a round. Sums of lanes commute, so folding
    // the accumulators at the end gives the word-by-word sum.
    constexpr int kRound = 8;
    const auto key = [](int k) { return static_cast<uint16_t>(kStep * k); };
    TChecksumLanes q0 = {key(1), key(1), key(1), key(1), key(2), key(2), key(2), key(2)};
    TChecksumLanes q1 = q0 + key(2), q2 = q0 + key(4), q3 = q0 + key(6);
    const TChecksumLanes step = q0 - q0 + key(kRound);
    TChecksumLanes s0 = {}, s1 = {}, s2 = {}, s3 = {};
    size_t k = 0;
    for (; k + kRound <= words; k += kRound) {
        const uint8_t* w = p + k * 8;
        s0 += LoadLanes(w) ^ q0;
        s1 += LoadLanes(w + 16) ^ q1;
        s2 += LoadLanes(w + 32) ^ q2;
        s3 += LoadLanes(w + 48) ^ q3;
        q0 += step;
        q1 += step;
        q2 += step;
        q3 += step;
    }
    const TChecksumLanes all = s0 + s1 + s2 + s3;
    uint16_t s[4];
    for (int j = 0; j < 4; ++j)
        s[j] = static_cast<uint16_t>(all[j] + all[j + 4]);
    for (; k < words; ++k) {
        const uint16_t q = key(static_cast<int>((k + 1) & 0xFFFF));
        uint16_t w[4];
        std::memcpy(w, p + k * 8, 8);
        for (int j = 0; j < 4; ++j)
            s[j] = static_cast<uint16_t>(s[j] + (w[j] ^ q));
    }
    const uint32_t low = s[0] | (static_cast<uint32_t>(s[1]) << 16);
    const uint32_t high = s[2] | (static_cast<uint32_t>(s[3]) << 16);
    return low ^ high;
}

uint16_t CRC16(const void* buffer, size_t size) {
    if (!buffer) return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t r = 0;  // bit n is r_n
    for (size_t i = 0; i < size; ++i)
        for (int bit = 0; bit < 8; ++bit) {
            const uint32_t f = (r >> 15) & 1;
            r = ((r << 1) | ((p[i] >> bit) & 1u)) & 0xFFFF;
            if (f) r ^= 0x1021;  // r0, r5, r12
        }
    // r0 goes to bit 15, r15 to bit 0.
    uint16_t result = 0;
    for (int bit = 0; bit < 16; ++bit)
        if (r & (1u << bit)) result |= static_cast<uint16_t>(1u << (15 - bit));
    return result;
}

std::string CRC16Hex(const void* buffer, size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    const uint16_t v = CRC16(buffer, size);
    std::string r(4, '0');
    for (int i = 0; i < 4; ++i)
        r[static_cast<size_t>(i)] = digits[(v >> (12 - 4 * i)) & 0xF];
    return r;
}

}  // namespace uMisc
