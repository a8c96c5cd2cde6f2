// Patterns and texts from arbitrary bytes through the four text operations. Input: one byte that
// picks the operation, one signed byte of split limit, then the pattern up to the first line feed
// and the text after it. Every string a match or split hands back must be bytes of the text.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileRoot.h"
#include "script/uBregExpLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<TScriptRegExp> re = uBregExpLib::BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
    if (!re || size < 2) return 0;
    const uint8_t op = data[0] & 3;
    const auto limit = static_cast<int8_t>(data[1]);
    std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    size_t cut = rest.find('\n');
    std::string pattern = rest.substr(0, cut);
    std::string text = cut == std::string::npos ? std::string() : rest.substr(cut + 1);

    auto checkInText = [&](const std::vector<std::string>& list) {
        for (const std::string& s : list) {
            if (text.find(s) == std::string::npos) std::abort();
        }
    };
    switch (op) {
        case 0:
            checkInText(re->Match(pattern, text));
            break;
        case 1: {
            const std::vector<std::string> pieces = re->Split(pattern, text, limit);
            checkInText(pieces);
            if (limit > 0 && pieces.size() > static_cast<size_t>(limit)) std::abort();
            break;
        }
        case 2:
            re->Substitute(pattern, text);
            break;
        default:
            re->Translate(pattern, text);
            break;
    }
    // The same pattern again: the held record is reused.
    re->Match(pattern, text);
    return 0;
}
