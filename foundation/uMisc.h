// Small routines every subsystem leans on: stream strings, Shift-JIS rules, the line splitter,
// hex, name hashes, colours, the string builder; and the scramblers, the byte-pair compression,
// the checksums and the checked streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"

// A growable string builder: the capacity grows in steps of 128 bytes and is always greater than
// the length, so a one-byte append is a single store.
class TStringWriter {
public:
    TStringWriter();
    void Append(std::string_view s);
    void Append(char c);
    void AppendPChar(const char* s);
    std::string GetString() const;
    void Clear();
    void SetCapacity(int32_t n);
    int32_t Capacity() const { return CapacityValue; }
    int32_t Length() const { return LengthValue; }

private:
    std::string Buffer;
    int32_t CapacityValue = 128;
    int32_t LengthValue = 0;
};

namespace uMisc {

// ---- colours (0xAARRGGBB) ----
uint32_t ARGBToPaletteRGB(uint32_t colour);
uint32_t BlendARGB(uint32_t a, uint32_t b, int32_t t);
uint32_t MulARGB(uint32_t a, uint32_t b);
uint32_t AddARGB(uint32_t a, uint32_t b);

// ---- stream strings: a 16-bit little-endian length, then the bytes ----
void WriteStreamString(TStream* stream, std::string_view s);
// False when the stream ended before the declared length; the string then holds the bytes that
// were actually read. A nil stream leaves the string as it was and returns false.
bool ReadStreamString(TStream* stream, std::string& s);

// ---- Shift-JIS ----
constexpr bool IsSJISLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || b >= 0xE0; }
int32_t SJISLength(std::string_view text);
std::string SJISCopy(std::string_view text, int32_t start, int32_t count);
int32_t SJISPos(std::string_view sub, std::string_view text);
bool IsLineEndForbidden(std::string_view ch);
bool IsLineStartForbidden(std::string_view ch);
std::string ToFullWidth(std::string_view text);
std::string ToHalfWidth(std::string_view text);

// ---- other routines ----
std::unique_ptr<TStringList> SplitString(std::string_view delimiter, std::string_view text, bool stripBlanks,
                                         bool stopAtComment, int32_t minimumCount);
std::string HexString(std::string_view text, bool decode);
std::string StrToHex(std::string_view bytes);
std::string HexToStr(std::string_view text);
int32_t WeightedSum(std::string_view text);
int32_t StrToKey4(std::string_view text);
bool StrToBoolDef(std::string_view text, bool def);
int32_t StrLen(const char* s);

// ---- scramblers, byte-pair compression, checksums, checked streams ----

}  // namespace uMisc
