// The CP932 and UTF-8 conversions over arbitrary bytes, taken both as Shift-JIS and as UTF-8.
// Shift-JIS text becomes valid UTF-8 (bad bytes as replacement characters); a strict conversion
// that succeeds reads back as its own text; printable text holds no control character and is
// valid UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Encoding.h"

namespace {

// Whether the text is well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF), and whether it holds a C0, DEL or C1 control character.
bool ValidUtf8(std::string_view s, bool& hasControl) {
    hasControl = false;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<uint8_t>(s[i]);
        if (b < 0x80) {
            hasControl = hasControl || b < 0x20 || b == 0x7F;
            ++i;
            continue;
        }
        size_t len = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        uint32_t cp = b & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
        for (size_t k = 1; k < len; ++k) {
            const auto c = static_cast<uint8_t>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        hasControl = hasControl || (cp >= 0x80 && cp <= 0x9F);
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    bool control = false;

    const std::string utf8 = Encoding::SjisToUtf8(bytes);
    if (!ValidUtf8(utf8, control)) std::abort();
    // Valid Shift-JIS converts to the same bytes again; anything else at least converts.
    const std::string sjis = Encoding::Utf8ToSjis(utf8);
    if (utf8.find("\xEF\xBF\xBD") == std::string::npos && Encoding::SjisToUtf8(sjis) != utf8) std::abort();

    std::string strict;
    if (Encoding::Utf8ToSjisStrict(bytes, strict)) {
        if (!ValidUtf8(bytes, control) || Encoding::SjisToUtf8(strict) != bytes) std::abort();
        if (strict != Encoding::Utf8ToSjis(bytes)) std::abort();
    }
    Encoding::Utf8ToSjis(bytes);

    for (const std::string_view text : {bytes, std::string_view(utf8)}) {
        const std::string shown = Encoding::PrintableUtf8(text);
        if (!ValidUtf8(shown, control) || control) std::abort();
        // Text that needs no escape is printed as it is.
        if (ValidUtf8(text, control) && !control && shown != text) std::abort();
    }
    return 0;
}
