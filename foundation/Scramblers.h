// The string and buffer scramblers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace uMisc {

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

}  // namespace uMisc
