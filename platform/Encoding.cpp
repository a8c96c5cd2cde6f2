#include "platform/Encoding.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <mutex>

namespace Encoding {
namespace {

// One converter per direction, opened on first use. The audio and movie threads never convert
// text, but the lock keeps a stray call from them safe all the same.
struct TConverter {
    TConverter(const char* to, const char* from) : Handle(iconv_open(to, from)) {}
    ~TConverter() {
        if (Handle != reinterpret_cast<iconv_t>(-1)) iconv_close(Handle);
    }
    iconv_t Handle;
    std::mutex Lock;
};

std::string Convert(TConverter& conv, std::string_view in, std::string_view replacement, bool fromSjis) {
    std::string out;
    if (in.empty()) return out;
    if (conv.Handle == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::lock_guard<std::mutex> guard(conv.Lock);
    iconv(conv.Handle, nullptr, nullptr, nullptr, nullptr);
    out.reserve(in.size() * 2);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[1024];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t r = iconv(conv.Handle, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // An unconvertible or incomplete sequence: replace one character and go on. In
            // Shift-JIS a lead byte with a possible trail byte (0x40-0x7E, 0x80-0xFC) after it is
            // one character; a byte below 0x40 after a lead byte (a line end, a quote, a comma)
            // is a character of its own and is kept.
            size_t skip = 1;
            if (fromSjis) {
                auto b = static_cast<uint8_t>(*src);
                if (((b >= 0x81 && b <= 0x9F) || b >= 0xE0) && srcLeft >= 2) {
                    auto t = static_cast<uint8_t>(src[1]);
                    if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) skip = 2;
                }
            } else {
                auto b = static_cast<uint8_t>(*src);
                while (skip < srcLeft && (static_cast<uint8_t>(src[skip]) & 0xC0) == 0x80 && b >= 0xC0)
                    ++skip;
            }
            out.append(replacement);
            src += skip;
            srcLeft -= skip;
            iconv(conv.Handle, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

// The length of the well-formed UTF-8 sequence at i: 1 for ASCII, 2 to 4 for the rest, 0 when
// the bytes there are no UTF-8. The bounds of the second byte rule out overlong forms,
// surrogates and code points past U+10FFFF.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) return 1;
    size_t len = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto c = static_cast<uint8_t>(text[i + k]);
        if (k == 1 ? c < low || c > high : c < 0x80 || c > 0xBF) return 0;
    }
    return len;
}

}  // namespace

std::string SjisToUtf8(std::string_view sjis) {
    static TConverter conv("UTF-8", "CP932");
    return Convert(conv, sjis, "\xEF\xBF\xBD", true);
}

std::string Utf8ToSjis(std::string_view utf8) {
    static TConverter conv("CP932", "UTF-8");
    return Convert(conv, utf8, "?", false);
}

bool Utf8ToSjisStrict(std::string_view utf8, std::string& out) {
    // A replaced character, and one of several that share a CP932 code, does not read back as
    // itself: only an exact conversion gives the text again.
    std::string sjis = Utf8ToSjis(utf8);
    if (SjisToUtf8(sjis) != utf8) return false;
    out = std::move(sjis);
    return true;
}

std::string PrintableUtf8(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    auto escape = [&](const char* mark, uint8_t b) {
        out.append(mark);
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    };
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        if (b < 0x20 || b == 0x7F) {
            escape("\\x", b);
            ++i;
            continue;
        }
        const size_t len = Utf8SequenceLength(utf8, i);
        if (len == 0) {
            escape("\\x", b);
            ++i;
        } else if (b == 0xC2 && static_cast<uint8_t>(utf8[i + 1]) <= 0x9F) {
            escape("\\u00", static_cast<uint8_t>(utf8[i + 1]));  // U+0080..U+009F
            i += 2;
        } else {
            out.append(utf8.substr(i, len));
            i += len;
        }
    }
    return out;
}

bool IsNonAsciiUtf8(std::string_view text) {
    bool nonAscii = false;
    for (size_t i = 0; i < text.size();) {
        const size_t len = Utf8SequenceLength(text, i);
        if (len == 0) return false;
        nonAscii |= len > 1;
        i += len;
    }
    return nonAscii;
}

const std::string& LiteralToSjis(const char* utf8, size_t size) {
    // A literal keeps its address for the life of the program, so the address and size name it.
    // The map's nodes never move, so the references handed out stay valid.
    static std::mutex lock;
    static std::map<std::pair<const char*, size_t>, std::string> converted;
    std::lock_guard<std::mutex> guard(lock);
    auto [it, added] = converted.try_emplace({utf8, size});
    if (added) it->second = Utf8ToSjis(std::string_view(utf8, size));
    return it->second;
}

}  // namespace Encoding
