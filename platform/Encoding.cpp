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

}  // namespace

std::string SjisToUtf8(std::string_view sjis) {
    static TConverter conv("UTF-8", "CP932");
    return Convert(conv, sjis, "\xEF\xBF\xBD", true);
}

std::string Utf8ToSjis(std::string_view utf8) {
    static TConverter conv("CP932", "UTF-8");
    return Convert(conv, utf8, "?", false);
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
