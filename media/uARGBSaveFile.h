// The ".argb" container: a colour picture and an optional alpha picture in one file.
//
//   offset  size    field (integers little-endian)
//   0       16      magic "ARGBSaveData1", then zero bytes (compared without regard to case, up
//                   to the first zero byte)
//   16      1       picture type 0..4
//   17      4       size of picture 1, i32 (0 or less: none)
//   21      4       size of picture 2, i32 (0 or less: none)
//   25      size 1  the colour picture, a whole BMP, JPEG or PNG file as it would be on disk
//   ...     size 2  the alpha picture, a whole JPEG or PNG file
//
//   type  colour  alpha picture                   alpha of the result
//   0     BMP     ignored                         the BMP's own at 32 bits, else 0
//   1     PNG     ignored                         the PNG's alpha channel, else 255
//   2     JPEG    JPEG, grey quantised to 236     green byte of the alpha picture
//   3     JPEG    PNG                             green byte of the alpha picture
//   4     PNG     JPEG, colour                    green byte of the alpha picture
#pragma once

#include <cstdint>
#include <memory>

class TBitmap32;
class TStream;

namespace uARGBSaveFile {

constexpr int32_t HeaderSize = 25;

// Reads a container from the stream's position. nullptr for a nullptr stream, a wrong magic or a
// type above 4 (type is set once the header has been read). A short stream, a picture size beyond
// the end of the stream, a picture that cannot be decoded or an alpha picture smaller than the
// colour picture raise an error (EStreamError or ImageCodecLib::ECodecError).
std::unique_ptr<TBitmap32> LoadARGBSaveData(TStream* stream, uint8_t& type);

}  // namespace uARGBSaveFile
