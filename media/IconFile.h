// Window icons (".ico"): a directory of pictures of one icon at several sizes, each either a PNG
// file or a device-independent bitmap whose height counts twice, colour rows and below them a
// one-bit transparency mask.
//
//   0   u16 0, u16 type (1: icon), u16 count
//   6   count x 16 bytes: u8 width, u8 height (0 stands for 256), u8 colours, u8 0, u16 planes,
//       u16 bits per pixel, u32 size, u32 offset of the picture from the start of the file
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TBitmap32;

namespace IconFile {

// The largest picture of the icon (by area, then by bits per pixel) as 0xAARRGGBB with its
// transparency applied: a picture with alpha keeps it, any other takes the mask (a set bit is
// transparent). Null with the reason in error when the bytes are no icon, a picture lies outside
// them or cannot be decoded.
std::unique_ptr<TBitmap32> Decode(const uint8_t* data, size_t size, std::string& error);

}  // namespace IconFile
