// The format language of "fmt" over arbitrary format texts and arguments. The first byte says
// which of up to three arguments are integers (bit k) and how many there are (bits 6-7); four
// bytes follow per integer argument; the rest is cut at zero bytes into the format text and the
// texts of the text arguments. A format either fails with no text or gives a text no longer than
// its directives can make.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "script/KelFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t kinds = data[0];
    const size_t count = kinds >> 6;
    size_t pos = 1;
    std::vector<KelFormat::TFormatArg> args(count);
    for (size_t k = 0; k < count; ++k) {
        args[k].IsInteger = (kinds >> k) & 1;
        if (!args[k].IsInteger) continue;
        uint32_t v = 0;
        for (int b = 0; b < 4 && pos < size; ++b)
            v |= uint32_t{data[pos++]} << (8 * b);
        args[k].Integer = static_cast<int32_t>(v);
    }
    std::string_view rest(reinterpret_cast<const char*>(data) + pos, size - pos);
    std::vector<std::string_view> pieces;
    while (true) {
        size_t zero = rest.find('\0');
        pieces.push_back(rest.substr(0, zero));
        if (zero == std::string_view::npos) break;
        rest.remove_prefix(zero + 1);
    }
    size_t next = 1, longest = 0;
    for (auto& a : args) {
        if (a.IsInteger) continue;
        a.Text = next < pieces.size() ? pieces[next++] : std::string_view();
        longest = std::max(longest, a.Text.size());
    }

    std::string out, again;
    bool ok = KelFormat::Format(pieces[0], args.data(), args.size(), out);
    if (!ok && !out.empty()) abort();
    // Each byte of the format makes at most one directive, and a directive at most a field of the
    // cap or a whole argument.
    const size_t bound = pieces[0].size() * (KelFormat::kMaxField + longest + 16);
    if (out.size() > bound) abort();
    if (KelFormat::Format(pieces[0], args.data(), args.size(), again) != ok || again != out) abort();
    return 0;
}
