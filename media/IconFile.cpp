#include "media/IconFile.h"

#include <cstring>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/LittleEndian.h"

namespace {

using LittleEndian::Get16;
using LittleEndian::Get32;

constexpr size_t kDirectorySize = 6;
constexpr size_t kEntrySize = 16;
constexpr size_t kFileHeaderSize = 14;  // the BMP file header a bitmap picture lacks
constexpr uint32_t kBitFields = 3;
const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct TEntry {
    int32_t Width = 0, Height = 0, Bits = 0;
    uint32_t Size = 0, Offset = 0;
};

// The pixels of a bitmap picture: the colour rows through the BMP reader (given a file header and
// the true height), then the mask below them.
std::unique_ptr<TBitmap32> DecodeBitmap(const uint8_t* p, size_t n, std::string& error) {
    if (n < 40 || Get32(p) < 40 || Get32(p) > n) {
        error = "bitmap header cut short";
        return nullptr;
    }
    const uint32_t headerSize = Get32(p);
    const int32_t width = static_cast<int32_t>(Get32(p + 4));
    const int32_t doubled = static_cast<int32_t>(Get32(p + 8));
    const uint32_t bits = Get16(p + 14);
    const uint32_t compression = Get32(p + 16);
    const uint32_t coloursUsed = Get32(p + 32);
    // A picture's height counts its colour rows and its mask rows.
    if (width <= 0 || doubled <= 0 || doubled % 2 != 0 || !ImageCodecLib::SizeAllowed(width, doubled / 2)) {
        error = "bad picture size";
        return nullptr;
    }
    const int32_t height = doubled / 2;
    uint64_t palette = 0;
    if (bits <= 8) palette = 4 * uint64_t{coloursUsed != 0 ? coloursUsed : (1u << bits)};
    if (compression == kBitFields && headerSize == 40) palette = 12;
    const uint64_t colourStart = headerSize + palette;
    if (colourStart > n) {
        error = "palette cut short";
        return nullptr;
    }

    std::vector<uint8_t> file(kFileHeaderSize + n);
    file[0] = 'B';
    file[1] = 'M';
    LittleEndian::Put32(file.data() + 2, static_cast<uint32_t>(file.size()));
    LittleEndian::Put32(file.data() + 10, static_cast<uint32_t>(kFileHeaderSize + colourStart));
    std::memcpy(file.data() + kFileHeaderSize, p, n);
    LittleEndian::Put32(file.data() + kFileHeaderSize + 8, static_cast<uint32_t>(height));
    std::unique_ptr<TBitmap32> picture;
    try {
        picture = ImageCodecLib::DecodeBmp(file.data(), file.size());
    } catch (const ImageCodecLib::ECodecError& e) {
        error = e.what();
        return nullptr;
    }
    if (!picture || picture->Width != width || picture->Height != height) {
        error = "bad picture";
        return nullptr;
    }

    bool hasAlpha = false;
    if (picture->SourceBits == 32)
        for (uint32_t px : picture->Pixels)
            hasAlpha = hasAlpha || (px >> 24) != 0;
    if (hasAlpha) return picture;
    // Rows of the mask are padded to four bytes and stored bottom row first, like the colour rows.
    const uint64_t colourStride = (uint64_t{static_cast<uint32_t>(width)} * bits + 31) / 32 * 4;
    const uint64_t maskStart = colourStart + colourStride * static_cast<uint32_t>(height);
    const uint64_t maskStride = (uint64_t{static_cast<uint32_t>(width)} + 31) / 32 * 4;
    const bool maskThere = compression != 1 && compression != 2 && maskStart + maskStride * height <= n;
    for (int32_t y = 0; y < height; ++y) {
        uint32_t* row = picture->ScanLine(y);
        const uint8_t* mask = maskThere ? p + maskStart + maskStride * static_cast<uint32_t>(height - 1 - y) : nullptr;
        for (int32_t x = 0; x < width; ++x) {
            const bool clear = mask && (mask[x / 8] & (0x80 >> (x % 8))) != 0;
            row[x] = clear ? 0 : (row[x] | 0xFF000000u);
        }
    }
    picture->SourceBits = 32;
    return picture;
}

}  // namespace

namespace IconFile {

std::unique_ptr<TBitmap32> Decode(const uint8_t* data, size_t size, std::string& error) {
    if (size < kDirectorySize || Get16(data) != 0 || Get16(data + 2) != 1) {
        error = "not an icon";
        return nullptr;
    }
    const size_t count = Get16(data + 4);
    if (count == 0 || (size - kDirectorySize) / kEntrySize < count) {
        error = "icon directory cut short";
        return nullptr;
    }
    TEntry best;
    bool found = false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = data + kDirectorySize + i * kEntrySize;
        TEntry entry{e[0] == 0 ? 256 : e[0], e[1] == 0 ? 256 : e[1], Get16(e + 6), Get32(e + 8), Get32(e + 12)};
        if (entry.Offset > size || entry.Size > size - entry.Offset || entry.Size == 0) continue;
        const int64_t area = int64_t{entry.Width} * entry.Height, bestArea = int64_t{best.Width} * best.Height;
        if (!found || area > bestArea || (area == bestArea && entry.Bits > best.Bits)) best = entry;
        found = true;
    }
    if (!found) {
        error = "no picture lies inside the file";
        return nullptr;
    }
    const uint8_t* p = data + best.Offset;
    if (best.Size >= sizeof kPngSignature && std::memcmp(p, kPngSignature, sizeof kPngSignature) == 0) {
        try {
            auto picture = ImageCodecLib::DecodePng(p, best.Size);
            if (picture && picture->SourceBits != 32)
                for (uint32_t& px : picture->Pixels)
                    px |= 0xFF000000u;
            if (picture) return picture;
            error = "bad PNG picture";
        } catch (const ImageCodecLib::ECodecError& e) {
            error = e.what();
        }
        return nullptr;
    }
    return DecodeBitmap(p, best.Size, error);
}

}  // namespace IconFile
