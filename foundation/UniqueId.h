// Identifiers that are unique for every practical purpose: 32 upper-case hexadecimal digits made
// from 128 random bits. Nothing stored depends on their values.
#pragma once

#include <cstdint>
#include <string>

namespace uMisc_Win {

// 31 rounds of an exclusive or with 0xE379DF84 followed by a rotation right by 5 bits. Every
// step is a bijection, so distinct inputs give distinct outputs.
uint32_t MixBits(uint32_t v);

// A new identifier: four mixed 32-bit words of a random 16-byte id, 8 hex digits each.
std::string CreateUniqueID();

}  // namespace uMisc_Win
