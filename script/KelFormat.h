// The format language of the "fmt" word: literal text with directives
//   "%" [index ":"] ["-"] [width] ["." precision] type
// where index, width and precision are decimal numbers or "*" (the next argument, an integer),
// and type is one of d u e f g n m p s x in either case; "%%" is a percent sign.
//
//   d  signed decimal of an integer; precision is the least number of digits (zeros in front)
//   u  the integer's 32 bits as an unsigned decimal; precision as for d
//   x  the integer's 32 bits in upper-case hexadecimal; precision as for d
//   s  a text; precision is the most bytes taken from it
//   e f g n m   floating-point forms; p a pointer
//
// Width pads the converted directive with blanks in front, or behind with "-". Every directive
// takes the argument after the one the previous directive took, or the one its index names.
// Script values are integers and texts only, so the floating-point and pointer types never fit
// an argument.
//
// A directive that does not fit (an unknown type, a missing argument, an integer directive with a
// text or the reverse, a width or precision above kMaxField) fails the whole format: the caller
// gets false and no text, as the runtime's format routine raises then.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace KelFormat {

// Widths and precisions above this fail the format instead of building a huge text.
constexpr int32_t kMaxField = 4096;

struct TFormatArg {
    bool IsInteger = false;
    int32_t Integer = 0;
    std::string_view Text;
};

// The formatted text in out; false (out empty) when the format does not fit its arguments.
bool Format(std::string_view format, const TFormatArg* args, size_t count, std::string& out);

}  // namespace KelFormat
