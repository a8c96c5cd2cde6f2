#include "foundation/CheckedStream.h"

#include "foundation/Checksum.h"
#include "platform/LittleEndian.h"

namespace uMisc {

// ---- checked streams ----

namespace {
using LittleEndian::Get32;
using LittleEndian::Put32;
}  // namespace

bool WriteCheckedStream(TMemoryStream* source, TStream* destination) {
    if (!source || !destination) return false;
    const auto size = static_cast<uint32_t>(source->Data.size());
    uint8_t header[12];
    Put32(header, kCheckedMagic);
    Put32(header + 4, Checksum64(source->Memory(), source->Data.size()));
    Put32(header + 8, size);
    destination->WriteBuffer(header, sizeof header);
    destination->WriteBuffer(source->Memory(), static_cast<int64_t>(size));
    return true;
}

std::unique_ptr<TMemoryStream> ReadCheckedStream(TStream* stream) {
    if (!stream) return nullptr;
    uint8_t magic[4] = {};
    if (stream->Read(magic, 4) != 4 || Get32(magic) != kCheckedMagic) return nullptr;
    uint8_t fields[8];
    stream->ReadBuffer(fields, sizeof fields);
    const uint32_t checksum = Get32(fields), size = Get32(fields + 4);
    if (size > static_cast<uint64_t>(stream->Remaining())) throw EStreamError("stream read error");
    auto body = std::make_unique<TMemoryStream>();
    body->Data.resize(size);
    if (size) stream->ReadBuffer(body->Memory(), size);
    if (Checksum64(body->Memory(), size) != checksum) return nullptr;
    body->SetPosition(0);
    return body;
}

}  // namespace uMisc
