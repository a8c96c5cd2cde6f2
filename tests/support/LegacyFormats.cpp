#include "tests/support/LegacyFormats.h"

#include <cstring>
#include <memory>

#include "foundation/Compression.h"
#include "foundation/Scramblers.h"
#include "foundation/StreamStrings.h"
#include "foundation/uHashTable.h"
#include "platform/LittleEndian.h"

namespace LegacyFormats {
namespace {
uint32_t Get32(std::string_view s, size_t pos) {
    return LittleEndian::Get32(reinterpret_cast<const uint8_t*>(s.data() + pos));
}
void Put32(std::string& s, uint32_t v) {
    LittleEndian::Append32(s, v);
}
}  // namespace

std::vector<TBPEBlock> SplitBPEBlocks(std::string_view s) {
    std::vector<TBPEBlock> blocks;
    if (s.size() < 12 || Get32(s, 0) != uMisc::kBPEMagic) return {};
    size_t pos = 12;
    while (pos < s.size()) {
        const size_t start = pos;
        int c = 0;
        for (;;) {
            int count = static_cast<uint8_t>(s.at(pos++));
            if (count > 127) {
                c += count - 127;
                count = 0;
                if (c >= 256) break;
            }
            for (int i = 0; i <= count; ++i, ++c) {
                const int left = static_cast<uint8_t>(s.at(pos++));
                if (left != c) ++pos;
            }
            if (c >= 256) break;
        }
        TBPEBlock b;
        b.Table = std::string(s.substr(start, pos - start));
        const size_t length =
            static_cast<uint8_t>(s.at(pos)) | (static_cast<size_t>(static_cast<uint8_t>(s.at(pos + 1))) << 8);
        pos += 2;
        b.Packed = std::string(s.substr(pos, length));
        pos += length;
        blocks.push_back(std::move(b));
    }
    return blocks;
}

std::string ToHeaderlessBPE(std::string_view headerForm) {
    std::string out;
    Put32(out, Get32(headerForm, 8));
    for (const TBPEBlock& b : SplitBPEBlocks(headerForm)) {
        out += b.Table;
        Put32(out, static_cast<uint32_t>(b.Packed.size()));
        out += b.Packed;
    }
    return out;
}

std::string WriteHashTable12(const THashTable& table, std::string_view versionText) {
    auto body = std::make_unique<TMemoryStream>();
    for (int32_t i = 0; i < table.BucketCount(); ++i) {
        const auto& bucket = table.Bucket(i);
        const auto count = static_cast<uint16_t>(bucket.size());
        const uint8_t countBytes[2] = {static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8)};
        body->WriteBuffer(countBytes, 2);
        for (const auto& item : bucket) {
            uMisc::WriteStreamString(body.get(), item.Name);
            std::string offset;
            Put32(offset, static_cast<uint32_t>(item.Offset));
            Put32(offset, static_cast<uint32_t>(static_cast<uint64_t>(item.Offset) >> 32));
            body->WriteBuffer(offset.data(), 8);
        }
    }
    const TMemoryStream& data = table.DataBlock();
    body->WriteBuffer(data.Memory(), static_cast<int64_t>(data.Data.size()));
    auto packed = uMisc::PackStream(body, false);
    uMisc::ScrambleBuffer(packed->Memory(), packed->Data.size(), false, THashTable::kScrambleKey);

    std::string out(16, '\0');
    std::memcpy(out.data(), versionText.data(), versionText.size() < 16 ? versionText.size() : 16);
    Put32(out, static_cast<uint32_t>(table.BucketCount()));
    Put32(out, static_cast<uint32_t>(table.ItemCount()));
    Put32(out, static_cast<uint32_t>(data.Data.size()));
    Put32(out, static_cast<uint32_t>(packed->Data.size()));
    out.append(reinterpret_cast<const char*>(packed->Memory()), packed->Data.size());
    return out;
}

}  // namespace LegacyFormats
