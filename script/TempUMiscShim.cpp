// TEMPORARY: the line splitter of the shared string helpers, needed by the interpreter before the
// shared helpers land. Remove this file when foundation/uMisc.cpp implements uMisc::SplitString.
#include "foundation/uMisc.h"

namespace uMisc {

std::unique_ptr<TStringList> SplitString(std::string_view delimiter, std::string_view text, bool stripBlanks,
                                         bool stopAtComment, int32_t minimumCount) {
    auto list = std::make_unique<TStringList>();
    uint8_t d0 = delimiter.size() > 0 ? static_cast<uint8_t>(delimiter[0]) : 0;
    uint8_t d1 = delimiter.size() > 1 ? static_cast<uint8_t>(delimiter[1]) : 0;
    std::string item;
    int32_t depth = 0;
    bool quoted = false;
    uint8_t last0 = 0, last1 = 0;
    bool any = false;
    size_t i = 0;
    while (i < text.size()) {
        uint8_t c0 = static_cast<uint8_t>(text[i]);
        uint8_t c1 = 0;
        size_t len = 1;
        if (IsSJISLeadByte(c0) && i + 1 < text.size()) {
            c1 = static_cast<uint8_t>(text[i + 1]);
            len = 2;
        }
        std::string_view ch = text.substr(i, len);
        i += len;
        last0 = c0;
        last1 = c1;
        any = true;
        if (len == 1 && c0 == 0x0D && i < text.size() && text[i] == 0x0A) {
            list->Add(item);
            item.clear();
            ++i;
            continue;
        }
        if (len == 1 && stripBlanks && (c0 == 0x20 || c0 == 0x09)) continue;
        if (len == 1 && stopAtComment && c0 == '/' && i < text.size() && text[i] == '/') break;
        if (len == 1) {
            if (c0 == '"') quoted = !quoted;
            else if (c0 == '(' || c0 == '[' || c0 == '{') ++depth;
            else if (c0 == ')' || c0 == ']' || c0 == '}') --depth;
        }
        if (depth == 0 && !quoted && c0 == d0 && c1 == d1) {
            list->Add(item);
            item.clear();
            continue;
        }
        item.append(ch);
    }
    if (!item.empty()) list->Add(item);
    if (any && last0 == d0 && last1 == d1) list->Add("");
    while (list->Count() < minimumCount) list->Add("");
    return list;
}

}  // namespace uMisc
