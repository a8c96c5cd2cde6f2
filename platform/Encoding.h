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
// The same without replacements: false, with out unchanged, when the text is no valid UTF-8 or
// some character has no CP932 form of its own: none at all, or one that reads back as another
// character (U+00A5, the yen sign, would become the backslash, a path separator).
bool Utf8ToSjisStrict(std::string_view utf8, std::string& out);

// UTF-8 text made safe to print on a terminal: control characters (C0, DEL and C1) and bytes
// that are no UTF-8 become escapes ("\x1B", "\u009B"), so that a printed name or script line
// cannot move the cursor or change the terminal's state. Everything else stays as it is.
std::string PrintableUtf8(std::string_view utf8);

// True when the text is well-formed UTF-8 and holds at least one character beyond ASCII: text
// that was written in UTF-8 and not yet converted. Shift-JIS text with Japanese in it is next to
// never well-formed UTF-8: most of its lead bytes cannot begin a UTF-8 character.
bool IsNonAsciiUtf8(std::string_view text);

// Japanese literals are written in UTF-8 in the source and turned into Shift-JIS once, on first
// use of each literal; later uses return the same string:
//     const std::string& heading = "■スクリプトエラー"_sj;
const std::string& LiteralToSjis(const char* utf8, size_t size);

}  // namespace Encoding

inline const std::string& operator""_sj(const char* utf8, size_t size) {
    return Encoding::LiteralToSjis(utf8, size);
}
