// Writes motion movies (".m", laid out as uMovieDecoder.h describes): pictures encoded in any of
// the seven picture types, frames that show another frame's picture through a link, and a
// key-frame index. The movie tool and the tests make their files with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/uMovieDecoder.h"

class TBitmap32;

namespace uMovieWriter {

// The picture data a frame record stores for the type. JPEG types are baseline JPEGs of the
// given quality; grey JPEGs take the picture's luminance, the alpha JPEG its alpha bytes.
// Throws ImageCodecLib::ECodecError when the picture cannot be encoded.
std::string EncodePicture(const TBitmap32& picture, TMoviePictureType type, int32_t quality = 90);

struct TFrame {
    int32_t Type = 0;     // the picture type written into the record (any value)
    std::string Data;     // the picture data as the type stores it
    int32_t LinkTo = -1;  // 0 or more: no picture here, the frame shows that frame's picture
};

struct TOptions {
    int32_t TotalTime = 1000;   // milliseconds
    int32_t IndexSpacing = 10;  // an index entry every this many frames; 0 or less: no entries
    std::string Sound;          // the bytes of the sound block
    int32_t Width = 0;          // informational, stored in the movie block
    int32_t Height = 0;
};

// Where the blocks landed, for whoever wants to damage a file on purpose.
struct TLayout {
    int64_t AreaStart = 0;
    std::vector<int32_t> RecordOffsets;  // per frame, from the area start
    int64_t IndexStart = 0;
};

// The whole file. A link to a frame that does not exist, or to the frame itself, is left out.
// Throws std::length_error when the frame records would pass 2 GiB.
std::string WriteMovie(const std::vector<TFrame>& frames, const TOptions& options, TLayout* layout = nullptr);

}  // namespace uMovieWriter
