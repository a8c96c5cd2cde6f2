// The line splitter and the Shift-JIS routines over arbitrary bytes. The first byte picks the
// options, the next two the delimiter; the rest is the text. Besides not crashing, the routines
// must keep the invariants checked below.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/ShiftJis.h"
#include "foundation/uMisc.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t options = data[0];
    const size_t delimiterLength = options & 3;  // 0, 1, 2 or 3 bytes
    std::string_view delimiter(reinterpret_cast<const char*>(data + 1), delimiterLength < 3 ? delimiterLength : 2);
    std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
    const bool strip = options & 4;
    const bool comment = options & 8;
    const int32_t minimum = static_cast<int32_t>(options >> 4) - 2;

    auto list = uMisc::SplitString(delimiter, text, strip, comment, minimum);
    Check(list != nullptr && list->Count() >= minimum);
    size_t kept = 0;
    for (const auto& item : list->Items)
        kept += item.size();
    Check(kept <= text.size());

    const int32_t length = uMisc::SJISLength(text);
    Check(length >= 0 && static_cast<size_t>(length) <= text.size() && (text.empty() || length > 0));
    Check(uMisc::SJISCopy(text, 1, length) == text);
    Check(uMisc::SJISCopy(text, length + 1, 5).empty());
    const int32_t start = static_cast<int32_t>(options % 7) - 1;
    const std::string piece = uMisc::SJISCopy(text, start, 3);
    Check(piece.size() <= 6 && text.find(piece) != std::string_view::npos);
    const int32_t pos = uMisc::SJISPos(delimiter, text);
    Check(pos >= 0 && pos <= length);
    if (!piece.empty()) {
        int32_t found = uMisc::SJISPos(piece, text);
        Check(found >= 1 && found <= (start < 1 ? 1 : start));
    }

    // Every character of the full-width text is two bytes; the half-width text never grows.
    const std::string full = uMisc::ToFullWidth(text);
    Check(full.size() % 2 == 0 && static_cast<size_t>(uMisc::SJISLength(full)) * 2 == full.size());
    Check(uMisc::ToHalfWidth(text).size() <= text.size());
    (void)uMisc::ToHalfWidth(full);
    (void)uMisc::IsLineEndForbidden(delimiter);
    (void)uMisc::IsLineStartForbidden(delimiter);

    Check(uMisc::HexToStr(text).size() == text.size() / 2);
    Check(uMisc::HexToStr(uMisc::StrToHex(text)) == text);
    return 0;
}
