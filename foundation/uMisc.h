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

// ---- stream strings: a 16-bit little-endian length, then the bytes ----
void WriteStreamString(TStream* stream, std::string_view s);
// False when the stream ended before the declared length; the string then holds the bytes that
// were actually read. A nil stream leaves the string as it was and returns false.
bool ReadStreamString(TStream* stream, std::string& s);

// ---- Shift-JIS ----
// A lead byte and the byte after it form one character; every other byte is a character by
// itself, and so is a lead byte in the last position of a text.
constexpr bool IsSJISLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || b >= 0xE0;
}
int32_t SJISLength(std::string_view text);  // in characters
// Characters start .. start + count - 1, numbered from 1; a start below 1 counts as 1.
std::string SJISCopy(std::string_view text, int32_t start, int32_t count);
// Character number (from 1) of the first occurrence of sub that begins on a character boundary;
// 0 when there is none or either text is empty.
int32_t SJISPos(std::string_view sub, std::string_view text);
// Whether the character (one or two bytes) may not end a line (opening brackets) or may not start
// one (closing punctuation, small kana, marks).
bool IsLineEndForbidden(std::string_view ch);
bool IsLineStartForbidden(std::string_view ch);
// Every one-byte character becomes a two-byte one (a half-width kana with its voiced mark as one
// character; anything without a full-width form becomes the ideographic space).
std::string ToFullWidth(std::string_view text);
// Every two-byte character with a half-width form becomes it; any other becomes one space.
std::string ToHalfWidth(std::string_view text);

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

// ---- scramblers, byte-pair compression, checksums, checked streams ----

// Scrambling is keyed obfuscation, not encryption: the same routine with the same key restores the
// data.

// The string scrambler: byte i (from 1) is XORed with ((i xor k) + i) and 0xFF, where
// k = (length + (key xor 0xA7)) and 0xFF. Its own inverse for the same key.
std::string XorScrambleString(std::string_view text, uint32_t key);
// The direction flag makes no difference: scrambling and unscrambling are one operation.
std::string ScrambleString(std::string_view text, bool decode, uint32_t key);

// The buffer scrambler works on whole 8-byte words in place; the last size mod 8 bytes are never
// touched. The feedback is always the plain word, so decoding with the same size and key restores
// the data.
void ScrambleBufferEncode(void* buffer, size_t size, uint32_t key);
void ScrambleBufferDecode(void* buffer, size_t size, uint32_t key);
void ScrambleBuffer(void* buffer, size_t size, bool decode, uint32_t key);

// Byte-pair-compressed stream: magic 0xFF435031, flags (bit 0: 16-bit block lengths), the
// uncompressed size, then blocks of a pair table, a block length and packed codes. The older
// headerless form starts with the size and has 32-bit block lengths.
constexpr uint32_t kBPEMagic = 0xFF435031;
// The expander refuses streams that declare more than this.
constexpr uint32_t kBPEMaxSize = 0x4000000;

// Compresses the whole source, from position 0. The result is at position 0.
std::unique_ptr<TMemoryStream> BPECompress(const TMemoryStream& source);
std::string BPECompressBytes(const void* data, size_t size);
// Expands a stream of either form from its start. nullptr for a declared size over 64 MiB and for
// corrupt data: a pair table that runs past code 255, a block that runs past the source, packed
// data that would write past the declared size or nests pairs deeper than 256 pending codes, and
// output that stays shorter than the declared size.
std::unique_ptr<TMemoryStream> BPEExpand(const TMemoryStream& source);
bool BPEExpandBytes(const void* data, size_t size, std::string& out);
// expand false: compresses; true: expands. On success the source is freed (reset) and the new
// stream, at position 0, is returned; when the expander refuses, the result is nullptr and the
// source stays with the caller.
std::unique_ptr<TMemoryStream> PackStream(std::unique_ptr<TMemoryStream>& source, bool expand);

// The additive checksum over the whole 8-byte words (the rest does not count): four 16-bit lanes.
uint32_t Checksum64(const void* buffer, size_t size);
// The bit-serial CRC-16 (x^16 + x^12 + x^5 + 1, no augmentation, bits taken low first); "abc" gives
// 0x11ED.
uint16_t CRC16(const void* buffer, size_t size);
std::string CRC16Hex(const void* buffer, size_t size);  // four upper-case hex digits

// Checked stream: magic 0xFD324D4E, Checksum64 of the body, body size, body.
constexpr uint32_t kCheckedMagic = 0xFD324D4E;
// Writes the header at the destination's position, then the whole source; false (writing nothing)
// when either stream is nil.
bool WriteCheckedStream(TMemoryStream* source, TStream* destination);
// Reads a checked stream from the current position: the body in a new stream at position 0, or
// nullptr for a nil stream, a wrong magic (its four bytes stay consumed) or a checksum mismatch. A
// body size beyond the bytes that remain raises EStreamError before anything is allocated.
std::unique_ptr<TMemoryStream> ReadCheckedStream(TStream* stream);

}  // namespace uMisc
