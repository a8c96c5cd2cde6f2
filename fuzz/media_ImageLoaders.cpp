// Every picture loader over arbitrary bytes: each reader through the image, the ".argb"
// container directly, and each codec on its own. A failure must be an error, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "media/uARGBSaveFile.h"
#include "platform/ClassLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const char* name : {".bmp", ".jpg", ".png", ".argb"}) {
        TARGB8888 image;
        TMemoryStream stream(bytes);
        try {
            image.LoadFromStream(&stream, name);
        } catch (const EImageLoadError&) {
        }
        if (image.Active) {
            // Whatever loaded must be whole: every row and pixel can be read.
            uint32_t all = 0;
            for (int32_t y = 0; y < image.Height(); ++y)
                for (int32_t x = 0; x < image.Width(); ++x)
                    all |= image.ScanLine(y)[x];
            (void)all;
        }
    }
    const uint8_t* p = size ? data : reinterpret_cast<const uint8_t*>("");
    try {
        ImageCodecLib::DecodeJpeg(p, size, ImageCodecLib::TJpegOutput::Grey236);
    } catch (const ImageCodecLib::ECodecError&) {
    }
    try {
        TMemoryStream stream(bytes);
        uint8_t type = 0;
        uARGBSaveFile::LoadARGBSaveData(&stream, type);
    } catch (const std::exception&) {
    }
    return 0;
}
