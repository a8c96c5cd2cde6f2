#include "platform/fltk/FltkPixels.h"

namespace FltkPixels {

std::vector<unsigned char> ToRgb(const uint32_t* pixels, size_t count) {
    std::vector<unsigned char> rgb(count * 3);
    for (size_t i = 0; i < count; ++i) {
        rgb[3 * i] = static_cast<unsigned char>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<unsigned char>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<unsigned char>(pixels[i]);
    }
    return rgb;
}

}  // namespace FltkPixels
