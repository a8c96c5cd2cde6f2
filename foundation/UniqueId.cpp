#include "foundation/UniqueId.h"

#include <sys/random.h>

#include <cstdio>
#include <random>

#include "platform/LittleEndian.h"

namespace uMisc_Win {

uint32_t MixBits(uint32_t v) {
    for (int round = 0; round < 31; ++round) {
        v ^= 0xE379DF84u;
        v = (v >> 5) | (v << 27);
    }
    return v;
}

namespace {

// 16 random bytes, laid out like a system GUID in memory (a 32-bit field, two 16-bit fields,
// eight bytes).
void NewGuid(uint8_t g[16]) {
    size_t got = 0;
    while (got < 16) {
        ssize_t n = getrandom(g + got, 16 - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    if (got < 16) {  // no kernel source: fall back to the library's
        std::random_device rd;
        for (size_t i = got; i < 16; ++i)
            g[i] = static_cast<uint8_t>(rd());
    }
    g[6] = static_cast<uint8_t>((g[6] & 0x0F) | 0x40);  // version 4, variant 1: a random id
    g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);
}

}  // namespace

std::string CreateUniqueID() {
    uint8_t g[16];
    NewGuid(g);
    auto word = [&](int a, int b, int c, int d) {
        return (static_cast<uint32_t>(g[a]) << 24) | (static_cast<uint32_t>(g[b]) << 16) |
               (static_cast<uint32_t>(g[c]) << 8) | g[d];
    };
    const uint32_t words[4] = {
        word(8, 11, 15, 14),
        word(9, 12, 10, 13),
        (static_cast<uint32_t>(LittleEndian::Get16(g + 6)) << 16) | LittleEndian::Get16(g + 4),
        LittleEndian::Get32(g),
    };
    std::string id;
    char hex[9];
    for (uint32_t w : words) {
        std::snprintf(hex, sizeof hex, "%08X", MixBits(w));
        id += hex;
    }
    return id;
}

}  // namespace uMisc_Win
