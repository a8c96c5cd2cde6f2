#include "foundation/StreamStrings.h"

#include "platform/LittleEndian.h"

namespace uMisc {

// ---- stream strings ----

void WriteStreamString(TStream* stream, std::string_view s) {
    if (!stream) return;
    // Longer strings keep the low 16 bits of their length and that many leading bytes, so the
    // record stays self-consistent.
    auto n = static_cast<uint16_t>(s.size() & 0xFFFF);
    LittleEndian::Write16(*stream, n);
    if (n) stream->WriteBuffer(s.data(), n);
}

bool ReadStreamString(TStream* stream, std::string& s) {
    if (!stream) return false;
    uint16_t n = 0;
    if (!LittleEndian::Read16(*stream, n)) {
        s.clear();
        return false;
    }
    s.assign(n, '\0');
    int64_t read = n ? stream->Read(s.data(), static_cast<int64_t>(n)) : 0;
    if (read < static_cast<int64_t>(n)) {
        s.resize(static_cast<size_t>(read < 0 ? 0 : read));
        return false;
    }
    return true;
}

}  // namespace uMisc
