// Strings in streams: a 16-bit little-endian length, then the bytes.
#pragma once

#include <string>
#include <string_view>

#include "platform/ClassLib.h"

namespace uMisc {

// ---- stream strings: a 16-bit little-endian length, then the bytes ----
void WriteStreamString(TStream* stream, std::string_view s);
// False when the stream ended before the declared length; the string then holds the bytes that
// were actually read. A nil stream leaves the string as it was and returns false.
bool ReadStreamString(TStream* stream, std::string& s);

}  // namespace uMisc
