// Small routines every subsystem leans on: the line splitter, hex, name hashes, number reading,
// colours and the string builder.
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
    void Clear();  // length 0, capacity back to 128
    // Capacity := the smallest multiple of 128 greater than n (n <= 0 counts as 0). It never drops
    // to the length or below, so the text already written is kept.
    void SetCapacity(int32_t n);
    int32_t Capacity() const { return CapacityValue; }
    int32_t Length() const { return LengthValue; }

private:
    std::string Buffer;
    int32_t CapacityValue = 128;
    int32_t LengthValue = 0;
};

namespace uMisc {

// ---- colours (0xAARRGGBB, blue in the low byte) ----
// 0x02BBGGRR: red and blue exchanged, alpha dropped, 0x02 in the top byte.
uint32_t ARGBToPaletteRGB(uint32_t colour);
// Each channel (a * (255 - t) + b * t) div 255; t is held to 0..255.
uint32_t BlendARGB(uint32_t a, uint32_t b, int32_t t);
uint32_t MulARGB(uint32_t a, uint32_t b);  // each channel a * b div 255
uint32_t AddARGB(uint32_t a, uint32_t b);  // each channel Min(a + b, 255)

// ---- other routines ----
// Splits at a delimiter character (its first two bytes count) outside quotes and brackets, and at
// every CR LF. Quotes and brackets stay in the items; a delimiter as the last character adds an
// empty item; empty items are appended up to minimumCount. With stripBlanks spaces and tabs are
// dropped everywhere; with stopAtComment "//" ends the text.
std::unique_ptr<TStringList> SplitString(std::string_view delimiter, std::string_view text, bool stripBlanks,
                                         bool stopAtComment, int32_t minimumCount);
std::string HexString(std::string_view text, bool decode);  // HexToStr or StrToHex
// Two upper-case hex digits per byte, low nibble first: 0x3A becomes "A3".
std::string StrToHex(std::string_view bytes);
// The reverse: a character that is no hex digit counts as 0, an odd last character is ignored.
std::string HexToStr(std::string_view text);
// Sum of byte i * (i and 255), i from 1, wrapping at 32 bits: the name hash of the tables.
int32_t WeightedSum(std::string_view text);
// The first up to four bytes, low 7 bits each, byte i in bits 8i .. 8i+6.
int32_t StrToKey4(std::string_view text);
// "TRUE" or "FALSE" in any case and with nothing around them; otherwise def.
bool StrToBoolDef(std::string_view text, bool def);
// What may start hexadecimal digits in a number: "$" alone (the configuration files), or "$" and
// "0x" / "0X" (script values and expressions).
enum class THexPrefix : uint8_t { Dollar, DollarOr0x };
// The engine's one reading of integers of 32 or 64 bits: leading spaces, an optional sign, then
// decimal digits within the signed range, or a hex prefix and hexadecimal digits that may use
// every bit (the top one becomes the sign: "$FFFFFFFF" is -1 at 32 bits). False, leaving value
// alone, when the whole text is not such a number.
bool TryStrToInt(std::string_view text, int bits, THexPrefix prefixes, int64_t& value);
int32_t StrLen(const char* s);  // bytes before the first 0; 0 for nullptr

}  // namespace uMisc
