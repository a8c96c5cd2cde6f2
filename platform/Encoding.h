// Shift-JIS (code page 932) <-> UTF-8, used only where text leaves the engine: toolkit texts, font
// rendering and host file names. Conversion is lenient: a byte that does not convert becomes a
// replacement character ("?" towards Shift-JIS, U+FFFD towards UTF-8), never an error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Encoding {

std::string SjisToUtf8(std::string_view sjis);
std::string Utf8ToSjis(std::string_view utf8);

// Japanese literals are written in UTF-8 in the source and turned into Shift-JIS once, on first
// use of each literal; later uses return the same string:
//     const std::string& heading = "■スクリプトエラー"_sj;
const std::string& LiteralToSjis(const char* utf8, size_t size);

}  // namespace Encoding

inline const std::string& operator""_sj(const char* utf8, size_t size) {
    return Encoding::LiteralToSjis(utf8, size);
}
