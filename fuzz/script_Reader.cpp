// The script reader over arbitrary bytes: the input is cut at 0x00 0x00 into up to three files
// "a.s", "b.s" and "c.s" (which may include each other); "a.s" is loaded and read statement by
// statement, every label is jumped to, and the position is saved and loaded again.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "foundation/PackLib.h"
#include "fuzz/FuzzSupport.h"
#include "script/KelReaderLib.h"

namespace {
std::map<std::string, std::string> Files;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    Files.clear();
    const char* names[] = {"a.s", "b.s", "c.s"};
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        size_t cut = i < 2 ? input.find(std::string("\0\0", 2), start) : std::string::npos;
        Files[names[i]] = input.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
        if (cut == std::string::npos) break;
        start = cut + 2;
    }
    FuzzSupport::TFuzzContext context;
    context.Packs.LoadFileHook = [](const std::string& name) -> std::unique_ptr<TMemoryStream> {
        auto it = Files.find(ClassLib::LowerAscii(name));
        return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
    };
    TKelReader reader;
    reader.Log = &context.Log;
    reader.Packs = &context.Packs;
    reader.AddReplace("x", "yy", 0);
    reader.SetTextLinePrefix("\\t,");
    reader.LoadScript("a.s", true);
    int32_t lines = reader.Lines() ? reader.Lines()->Count() : 0;
    // Every line holds at most as many statements as bytes; past the end statements are empty.
    for (size_t n = 0; n < size + static_cast<size_t>(lines) + 2; ++n)
        reader.GetStatement();
    for (const auto& label : std::vector<TLabelEntry>(reader.Labels())) {
        if (reader.JumpLabel(label.Text, 0, 0)) {
            reader.GetStatement();
            reader.GetPositionText();
        }
    }
    TMemoryStream saved;
    reader.SaveToStream(&saved);
    saved.SetPosition(0);
    TKelReader back;
    back.Log = &context.Log;
    back.Packs = &context.Packs;
    back.LoadFromStream(&saved);
    // The saved bytes read back from any cut.
    TMemoryStream cut(
        std::string_view(reinterpret_cast<const char*>(saved.Memory()), static_cast<size_t>(saved.Size() / 2)));
    back.LoadFromStream(&cut);

    return 0;
}
