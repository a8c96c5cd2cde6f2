// Byte-pair compression of streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ClassLib.h"

namespace uMisc {

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

}  // namespace uMisc
