// Patterns and texts from arbitrary bytes through the four text operations. Input: one byte that
// picks the operation, one signed byte of split limit, then the pattern up to the first line feed
// and the text after it. Every string a match or split hands back must be bytes of the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/FileRoot.h"
#include "script/uBregExpLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool bound = uBregExpLib::BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
    if (!bound || size < 2) return 0;
    const uint8_t op = data[0] & 3;
    const auto limit = static_cast<int8_t>(data[1]);
    std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    size_t cut = rest.find('\n');
    std::string pattern = rest.substr(0, cut);
    std::string text = cut == std::string::npos ? std::string() : rest.substr(cut + 1);

    auto checkInText = [&](const TStringList& list) {
        for (const std::string& s : list.Items) {
            if (text.find(s) == std::string::npos) std::abort();
        }
    };
    switch (op) {
        case 0:
            checkInText(uBregExpLib::BRegExpMatch(pattern, text));
            break;
        case 1: {
            TStringList pieces = uBregExpLib::BRegExpSplit(pattern, text, limit);
            checkInText(pieces);
            if (limit > 0 && pieces.Count() > limit) std::abort();
            break;
        }
        case 2:
            uBregExpLib::BRegExpReplace(pattern, text);
            break;
        default:
            uBregExpLib::BRegExpTranslate(pattern, text);
            break;
    }
    // The same pattern again: the held record is reused.
    uBregExpLib::BRegExpMatch(pattern, text);
    return 0;
}
