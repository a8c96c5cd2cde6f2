// Fixed-size little-endian records of the script engine's save data, written and read field by
// field. A short string of capacity n takes n + 1 bytes: a length byte, then n bytes (longer texts
// are cut to n bytes, the unused rest is zero).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ClassLib.h"

class TRecordWriter {
public:
    explicit TRecordWriter(int32_t size) { Bytes.reserve(static_cast<size_t>(size)); }
    void U8(uint8_t v) { Bytes.push_back(v); }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            Bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
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
