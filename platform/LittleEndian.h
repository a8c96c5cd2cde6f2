// Little-endian fields of the engine's files and records, read and written byte by byte so that
// nothing depends on the host's byte order or on alignment.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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

// Fixed-size little-endian records of saved state, written and read field by field. A short string
// of capacity n takes n + 1 bytes: a length byte, then n bytes (longer texts are cut to n bytes, the
// unused rest is zero).

class TRecordWriter {
public:
    explicit TRecordWriter(int32_t size) { Bytes.reserve(static_cast<size_t>(size)); }
    void U8(uint8_t v) { Bytes.push_back(v); }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            Bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void U64(uint64_t v) {
        U32(static_cast<uint32_t>(v));
        U32(static_cast<uint32_t>(v >> 32));
    }
    void F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    void F64(double v) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        U64(u);
    }
    void Short(std::string_view s, int32_t capacity) {
        size_t n = s.size() < static_cast<size_t>(capacity) ? s.size() : static_cast<size_t>(capacity);
        U8(static_cast<uint8_t>(n));
        Bytes.insert(Bytes.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
        Bytes.insert(Bytes.end(), static_cast<size_t>(capacity) - n, 0);
    }
    void Zero(int32_t n) { Bytes.insert(Bytes.end(), static_cast<size_t>(n), 0); }
    int32_t Size() const { return static_cast<int32_t>(Bytes.size()); }
    void WriteTo(TStream& s) const { s.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size())); }

    std::vector<uint8_t> Bytes;
};

// Reads a record that has been taken whole from the stream.
class TRecordReader {
public:
    explicit TRecordReader(const std::vector<uint8_t>& bytes) : Bytes(bytes) {}
    uint8_t U8() { return Pos < Bytes.size() ? Bytes[Pos++] : 0; }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(U8()) << (8 * i);
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    uint16_t U16() {
        uint16_t lo = U8();
        return static_cast<uint16_t>(lo | (U8() << 8));
    }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    uint64_t U64() {
        uint64_t lo = U32();
        return lo | (static_cast<uint64_t>(U32()) << 32);
    }
    float F32() {
        uint32_t u = U32();
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    }
    double F64() {
        uint64_t u = U64();
        double v;
        std::memcpy(&v, &u, 8);
        return v;
    }
    // A length byte above the capacity is taken as the capacity.
    std::string Short(int32_t capacity) {
        size_t n = U8();
        if (n > static_cast<size_t>(capacity)) n = static_cast<size_t>(capacity);
        std::string s;
        for (size_t i = 0; i < static_cast<size_t>(capacity); ++i) {
            uint8_t b = U8();
            if (i < n) s.push_back(static_cast<char>(b));
        }
        return s;
    }
    void Skip(int32_t n) { Pos += static_cast<size_t>(n); }
    size_t Position() const { return Pos; }

private:
    const std::vector<uint8_t>& Bytes;
    size_t Pos = 0;
};

// Takes exactly n bytes from the stream; false (and nothing taken for sure) when fewer remain.
inline bool ReadRecordBytes(TStream& s, int32_t n, std::vector<uint8_t>& out) {
    if (s.Remaining() < n) return false;
    out.assign(static_cast<size_t>(n), 0);
    return s.Read(out.data(), n) == n;
}
