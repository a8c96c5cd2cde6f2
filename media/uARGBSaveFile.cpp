#include "media/uARGBSaveFile.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/ClassLib.h"
#include "platform/LittleEndian.h"

namespace uARGBSaveFile {

namespace {

// A picture of the given size from the stream; the size is checked against what is left before
// anything is allocated.
std::vector<uint8_t> ReadPicture(TStream& stream, int32_t size) {
    if (size <= 0) return {};
    if (size > stream.Remaining()) throw ImageCodecLib::ECodecError("ARGB: picture beyond the end of the file");
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    stream.ReadBuffer(bytes.data(), size);
    return bytes;
}

}  // namespace

std::unique_ptr<TBitmap32> LoadARGBSaveData(TStream* stream, uint8_t& type) {
    if (!stream) return nullptr;
    uint8_t header[HeaderSize];
    stream->ReadBuffer(header, HeaderSize);
    const auto* magic = reinterpret_cast<const char*>(header);
    if (!ClassLib::SameTextAscii(std::string_view(magic, std::find(magic, magic + 16, '\0') - magic), "ARGBSaveData1"))
        return nullptr;
    type = header[16];
    if (type > 4) return nullptr;
    const std::vector<uint8_t> picture1 = ReadPicture(*stream, static_cast<int32_t>(LittleEndian::Get32(header + 17)));
    const std::vector<uint8_t> picture2 = ReadPicture(*stream, static_cast<int32_t>(LittleEndian::Get32(header + 21)));

    using ImageCodecLib::DecodeBmp, ImageCodecLib::DecodeJpeg, ImageCodecLib::DecodePng;
    using ImageCodecLib::TJpegOutput;
    std::unique_ptr<TBitmap32> colour, alpha;
    switch (type) {
        case 0:
            colour = DecodeBmp(picture1.data(), picture1.size());
            colour->ConvertTo32(0);
            return colour;
        case 1:
            colour = DecodePng(picture1.data(), picture1.size());
            colour->ConvertTo32(255);
            return colour;
        case 2:
            colour = DecodeJpeg(picture1.data(), picture1.size(), TJpegOutput::Colour);
            alpha = DecodeJpeg(picture2.data(), picture2.size(), TJpegOutput::Grey236);
            break;
        case 3:
            colour = DecodeJpeg(picture1.data(), picture1.size(), TJpegOutput::Colour);
            alpha = DecodePng(picture2.data(), picture2.size());
            break;
        default:
            colour = DecodePng(picture1.data(), picture1.size());
            alpha = DecodeJpeg(picture2.data(), picture2.size(), TJpegOutput::Colour);
            break;
    }
    if (alpha->Width < colour->Width || alpha->Height < colour->Height)
        throw ImageCodecLib::ECodecError("ARGB: alpha picture smaller than the colour picture");
    colour->ConvertTo32(0);
    for (int32_t y = 0; y < colour->Height; ++y) {
        uint32_t* c = colour->ScanLine(y);
        const uint32_t* a = alpha->ScanLine(y);
        for (int32_t x = 0; x < colour->Width; ++x)
            c[x] |= (a[x] & 0xFF00) << 16;
    }
    return colour;
}

}  // namespace uARGBSaveFile
