#include "script/KelCalculationLib.h"

#include "foundation/ShiftJis.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"

namespace KelCalculationLib {

namespace {
bool IsLead(std::string_view s, size_t i) {
    return uMisc::IsSJISLeadByte(static_cast<uint8_t>(s[i])) && i + 1 < s.size();
}
}  // namespace

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= 32)
        --e;
    return s.substr(b, e - b);
}

TStringList SplitParameters(std::string_view text, char delimiter, int32_t minimumCount) {
    TStringList list;
    if (Trim(text).empty()) return list;
    int32_t braces = 0, brackets = 0;
    bool quoted = false;
    size_t start = 0;
    bool endedOnDelimiter = false;
    for (size_t i = 0; i < text.size(); ++i) {
        endedOnDelimiter = false;
        if (IsLead(text, i)) {
            ++i;
            continue;
        }
        char c = text[i];
        if (c == '{')
            ++braces;
        else if (c == '}')
            --braces;
        if (braces != 0) continue;
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (quoted) continue;
        if (c == '[' || c == '(')
            ++brackets;
        else if (c == ']' || c == ')')
            --brackets;
        else if (c == delimiter && brackets == 0) {
            list.Add(std::string(Trim(text.substr(start, i - start))));
            start = i + 1;
            endedOnDelimiter = true;
        }
    }
    if (!endedOnDelimiter && start < text.size()) list.Add(std::string(Trim(text.substr(start))));
    while (list.Count() < minimumCount)
        list.Add("");
    return list;
}

std::string BracketContents(std::string_view text) {
    std::string out;
    char closer = 0;
    int32_t depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLead(text, i)) {
            if (closer) out.append(text.substr(i, 2));
            ++i;
            continue;
        }
        char c = text[i];
        if (!quoted && static_cast<uint8_t>(c) <= 32) continue;
        if (!closer) {
            if (c == '"') {
                closer = '"';
                quoted = true;
            } else if (c == '[') {
                closer = ']';
            } else if (c == '(') {
                closer = ')';
            }
            continue;
        }
        if (c == '"') {
            if (closer == '"' && quoted && depth == 0) break;
            quoted = !quoted;
        } else if (!quoted) {
            if (c == closer && depth == 0) break;
            if (c == '[' || c == '(')
                ++depth;
            else if (c == ']' || c == ')')
                --depth;
        }
        out.push_back(c);
    }
    return out;
}

std::string NameBeforeBracket(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLead(text, i)) {
            out.append(text.substr(i, 2));
            ++i;
            continue;
        }
        char c = text[i];
        if (c == '{' || c == '"' || c == '[' || c == '(') break;
        if (static_cast<uint8_t>(c) > 32) out.push_back(c);
    }
    return out;
}

TStringList IndexList(std::string_view token, char delimiter) {
    TStringList list;
    if (token.empty()) return list;
    if (token.back() != ']') {
        list.Add(std::string(token));
        return list;
    }
    list.Add(NameBeforeBracket(token));
    TStringList rest = SplitParameters(BracketContents(token), delimiter, 0);
    for (auto& s : rest.Items)
        list.Add(std::move(s));
    return list;
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
    return uMisc::TryStrToInt(text, 64, uMisc::THexPrefix::DollarOr0x, value);
}

const std::string& TextTooLongMessage() {
    return "文字列が長すぎます（16MBまで）"_sj;
}

}  // namespace KelCalculationLib
