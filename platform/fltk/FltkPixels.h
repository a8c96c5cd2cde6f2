#pragma once
// Engine pictures (0xAARRGGBB words) as the packed RGB bytes the toolkit draws and copies.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace FltkPixels {

// Three bytes per pixel, red first; alpha is dropped.
std::vector<unsigned char> ToRgb(const uint32_t* pixels, size_t count);

}  // namespace FltkPixels
