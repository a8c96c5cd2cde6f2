// The back-log screen's layout reader over arbitrary bytes: every key, the 32 character lists,
// and what the screen does with them for a speaker and a text taken from the input (which
// character speaks, the entry line with its header).
#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/ClassLib.h"
#include "shell/KelLogLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TStringList lines;
    lines.SetText(bytes);
    const KelLogLib::TLayout layout = KelLogLib::ReadLayout(lines);
    // The last line stands for a speaker and the text of an entry.
    const std::string speaker = lines.Count() > 0 ? lines[lines.Count() - 1] : std::string();
    const int32_t character = KelLogLib::CharacterOf(layout, speaker);
    if (character < 0 || character >= KelLogLib::kCharacterCount) __builtin_trap();
    const std::string line = KelLogLib::EntryLine(layout, speaker, bytes.substr(0, 64),
                                                  layout.Characters[static_cast<size_t>(character)].TextColor);
    if (line.size() < std::min<size_t>(bytes.size(), 64)) __builtin_trap();
    return 0;
}
