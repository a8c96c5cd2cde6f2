// Shift-JIS rules: character lengths, copying and searching by character, the characters that may
// not end or start a line, and the full- and half-width forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace uMisc {

// ---- Shift-JIS ----
// A lead byte and the byte after it form one character; every other byte is a character by
// itself, and so is a lead byte in the last position of a text.
constexpr bool IsSJISLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || b >= 0xE0;
}
// Byte length of the character at byte i: 2 for a lead byte with a byte after it, else 1.
inline size_t SJISCharBytes(std::string_view text, size_t i) {
    return IsSJISLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
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

}  // namespace uMisc
