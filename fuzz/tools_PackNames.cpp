// kelpack's name mapping over arbitrary names. The input is cut at line feeds into a prefix and
// the relative paths of files (bytes as a host folder may hold them, UTF-8 or not). A name the
// mapping takes is the exact CP932 form of its text, the engine asks for it as it is, and a name
// table built from the distinct names finds every one of them under its own number.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/uHashTable.h"
#include "platform/Encoding.h"
#include "tools/kelpack/PackWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    for (size_t start = 0;;) {
        const size_t end = input.find('\n', start);
        lines.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos || lines.size() > 64) break;
        start = end + 1;
    }
    const std::string prefix = lines[0];
    std::map<std::string, uint16_t> numbers;
    std::vector<std::string> names;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string stored, reason;
        if (!PackWriter::HostEntryName(prefix, lines[i], stored, reason)) {
            if (reason.empty()) std::abort();
            continue;
        }
        // The stored name reads back as the text it came from, separators and letter case aside.
        std::string text = Encoding::SjisToUtf8(stored), original = prefix + lines[i];
        if (text.size() != original.size()) std::abort();
        for (size_t k = 0; k < text.size(); ++k) {
            char a = text[k], b = original[k];
            if (b == '/') b = '\\';
            if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
            if (a != b) std::abort();
        }
        if (ClassLib::LowerAscii(PackLib::NormalizePath(stored)) != stored) std::abort();
        if (numbers.emplace(stored, static_cast<uint16_t>(names.size())).second) names.push_back(stored);
    }
    TMemoryStream table(PackWriter::NameTable(names, TFilePack::kNameTableBuckets));
    THashTable loaded(TFilePack::kNameTableBuckets);
    if (!loaded.LoadFromStream(&table)) std::abort();
    for (const auto& [name, number] : numbers) {
        uint16_t found = 0xFFFF;
        if (!loaded.Get(name, &found, 2) || found != number) std::abort();
    }
    return 0;
}
