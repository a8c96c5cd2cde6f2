// Checked streams: a magic, the checksum of the body, the body size, then the body.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ClassLib.h"

namespace uMisc {

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
