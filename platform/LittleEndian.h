// Little-endian fields of the engine's files and records: the one reader and writer of them, so
// that nothing depends on the host's byte order or on alignment.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ClassLib.h"

namespace LittleEndian {

// Each field is one unaligned load or store, turned around on a big-endian host; the compilers
// see through the copy, so hot loops over words cost no more than plain word access.
inline uint16_t Get16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
    return v;
}
inline uint32_t Get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    return v;
}
inline uint64_t Get64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline void Put16(uint8_t* p, uint16_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
    std::memcpy(p, &v, 2);
}
inline void Put32(uint8_t* p, uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}
inline void Put64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

// Fields appended to a growing byte buffer (std::string or std::vector<uint8_t>).
template <typename TBytes>
inline void Append16(TBytes& out, uint16_t v) {
    out.push_back(static_cast<typename TBytes::value_type>(v));
    out.push_back(static_cast<typename TBytes::value_type>(v >> 8));
}
template <typename TBytes>
inline void Append32(TBytes& out, uint32_t v) {
    Append16(out, static_cast<uint16_t>(v));
    Append16(out, static_cast<uint16_t>(v >> 16));
}

// Fields straight from and to a stream. A read is false when the stream ends first; writes raise
// EStreamError as WriteBuffer does.
inline bool Read8(TStream& s, uint8_t& v) {
    return s.Read(&v, 1) == 1;
}
inline bool Read16(TStream& s, uint16_t& v) {
    uint8_t b[2];
    if (s.Read(b, 2) != 2) return false;
    v = Get16(b);
    return true;
}
inline bool Read32(TStream& s, uint32_t& v) {
    uint8_t b[4];
    if (s.Read(b, 4) != 4) return false;
    v = Get32(b);
    return true;
}
inline bool Read32(TStream& s, int32_t& v) {
    uint32_t u = 0;
    if (!Read32(s, u)) return false;
    v = static_cast<int32_t>(u);
    return true;
}
inline void Write8(TStream& s, uint8_t v) {
    s.WriteBuffer(&v, 1);
}
inline void Write16(TStream& s, uint16_t v) {
    uint8_t b[2];
    Put16(b, v);
    s.WriteBuffer(b, 2);
}
inline void Write32(TStream& s, uint32_t v) {
    uint8_t b[4];
    Put32(b, v);
    s.WriteBuffer(b, 4);
}

}  // namespace LittleEndian

// Consecutive fields of a stream of variable length, with one failure flag: after the first read
// that finds the stream too short, Ok stays false and every later field reads as 0.
class TStreamReader {
public:
    explicit TStreamReader(TStream& s) : S(s) {}
    uint8_t U8() {
        uint8_t b[1] = {0};
        Take(b, 1);
        return b[0];
    }
    uint16_t U16() {
        uint8_t b[2] = {0, 0};
        Take(b, 2);
        return LittleEndian::Get16(b);
    }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    uint32_t U32() {
        uint8_t b[4] = {0, 0, 0, 0};
        Take(b, 4);
        return LittleEndian::Get32(b);
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    TStream& Stream() { return S; }

    bool Ok = true;

protected:
    void Take(void* p, int64_t n) {
        if (Ok && S.Read(p, n) != n) Ok = false;
    }
    TStream& S;
};

// Fixed-size little-endian records of saved state, written and read field by field. A short string
// of capacity n takes n + 1 bytes: a length byte, then n bytes (longer texts are cut to n bytes, the
// unused rest is zero).

class TRecordWriter {
public:
    explicit TRecordWriter(int32_t size) { Bytes.reserve(static_cast<size_t>(size)); }
    void U8(uint8_t v) { Bytes.push_back(v); }
    void U32(uint32_t v) { LittleEndian::Append32(Bytes, v); }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U16(uint16_t v) { LittleEndian::Append16(Bytes, v); }
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
