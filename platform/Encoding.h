// Shift-JIS (code page 932) <-> UTF-8, used only where text leaves the engine: toolkit texts, font
// rendering and host file names. Conversion is lenient: a byte that does not convert becomes a
// replacement character ("?" towards Shift-JIS, U+FFFD towards UTF-8), never an error.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace Encoding {

std::string SjisToUtf8(std::string_view sjis);
std::string Utf8ToSjis(std::string_view utf8);

// Japanese literals are written in UTF-8 in the source and turned into Shift-JIS once:
//     const std::string& heading = "■スクリプトエラー"_sj;
template <size_t N>
struct TLiteral {
    constexpr TLiteral(const char (&s)[N]) { std::copy_n(s, N, Text); }  // NOLINT: implicit on purpose
    char Text[N];
};

}  // namespace Encoding

template <Encoding::TLiteral L>
const std::string& operator""_sj() {
    static const std::string converted = Encoding::Utf8ToSjis(std::string_view(L.Text, sizeof(L.Text) - 1));
    return converted;
}
