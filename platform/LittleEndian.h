// Little-endian fields of the engine's files and records, read and written byte by byte so that
// nothing depends on the host's byte order or on alignment.
#pragma once

#include <cstdint>

#include "platform/ClassLib.h"

namespace LittleEndian {

inline uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p) {
    return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) {
    return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// A 32-bit field from a stream; false when fewer than four bytes remain.
inline bool Read32(TStream& s, uint32_t& v) {
    uint8_t b[4];
    if (s.Read(b, 4) != 4) return false;
    v = Get32(b);
    return true;
}
inline void Write32(TStream& s, uint32_t v) {
    uint8_t b[4];
    Put32(b, v);
    s.WriteBuffer(b, 4);
}

}  // namespace LittleEndian
