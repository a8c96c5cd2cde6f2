// The additive 64-bit-word checksum and the CRC-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace uMisc {

// The additive checksum over the whole 8-byte words (the rest does not count): four 16-bit lanes.
uint32_t Checksum64(const void* buffer, size_t size);
// The bit-serial CRC-16 (x^16 + x^12 + x^5 + 1, no augmentation, bits taken low first); "abc" gives
// 0x11ED.
uint16_t CRC16(const void* buffer, size_t size);
std::string CRC16Hex(const void* buffer, size_t size);  // four upper-case hex digits

}  // namespace uMisc
