#include "platform/ScriptForms.h"

#include <cstdio>

#include "platform/Encoding.h"
#include "platform/FileRoot.h"

namespace {

bool IsLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || b >= 0xE0;
}

// The single-byte characters the dialog refuses: they would break the script statements that the
// entered text usually ends up in.
bool IsForbiddenByte(uint8_t b) {
    return b < 0x20 || b == '"' || b == ',' || b == '\\' || b == '{' || b == '}';
}

std::string FormatLimit(const std::string& format, int32_t maxLength) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<int>(maxLength), static_cast<int>(maxLength / 2));
    return buffer;
}

}  // namespace

// ---- TTextInputDlg ----

bool TTextInputDlg::CheckLength(std::string_view sjis, int32_t maxLength) {
    return maxLength == -1 || static_cast<int64_t>(sjis.size()) <= maxLength;
}

bool TTextInputDlg::CheckCharacters(std::string_view sjis) {
    bool passed = true;
    for (size_t i = 0; i < sjis.size(); ++i) {
        const auto b = static_cast<uint8_t>(sjis[i]);
        if (IsLeadByte(b)) {
            ++i;  // the trail byte belongs to the character, whatever its value
            continue;
        }
        if (IsForbiddenByte(b)) passed = false;
    }
    return passed;
}

std::string TTextInputDlg::HintText(int32_t maxLength) {
    if (maxLength == -1) return {};
    return FormatLimit("最大%d文字(２バイト文字は%d文字)までです。"_sj, maxLength);
}

std::string TTextInputDlg::LengthMessage(int32_t maxLength) {
    return FormatLimit("最大%d文字(2バイト文字は%d文字)までです。"_sj, maxLength);
}

const std::string& TTextInputDlg::ForbiddenMessage() {
    return "使用禁止文字が含まれています。"_sj;
}

std::string TTextInputDlg::Check(std::string_view utf8, int32_t maxLength, std::string& sjis) {
    const bool exact = Encoding::Utf8ToSjisStrict(utf8, sjis);
    if (!exact) sjis = Encoding::Utf8ToSjis(utf8);
    if (!CheckLength(sjis, maxLength)) return LengthMessage(maxLength);
    if (!exact || !CheckCharacters(sjis)) return ForbiddenMessage();
    return {};
}

// ---- the memo viewer ----

TMemoLayout TMemoLayout::For(int32_t w, int32_t h) {
    constexpr int32_t kButtonHeight = 25;
    TMemoLayout l;
    l.Group = {8, 8, w - 16, h - 56};
    l.Copy = {8, h - 32, 129, kButtonHeight};
    l.Ok = {w - 278, h - 32, 129, kButtonHeight};
    l.Cancel = {w - 134, h - 32, 131, kButtonHeight};
    return l;
}

// ---- helpers ----

namespace ScriptForms {

std::vector<TFileFilter> ParseFilter(std::string_view filter) {
    // The text alternates descriptions and pattern lists, separated by "|"; a "|" byte is never
    // the second byte of a two-byte character, so a plain split is safe.
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= filter.size(); ++i) {
        if (i == filter.size() || filter[i] == '|') {
            parts.emplace_back(filter.substr(start, i - start));
            start = i + 1;
        }
    }
    std::vector<TFileFilter> out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        TFileFilter f{parts[i], {}};
        const std::string& list = parts[i + 1];
        size_t from = 0;
        for (size_t k = 0; k <= list.size(); ++k) {
            if (k == list.size() || list[k] == ';') {
                std::string pattern = list.substr(from, k - from);
                while (!pattern.empty() && pattern.front() == ' ')
                    pattern.erase(0, 1);
                while (!pattern.empty() && pattern.back() == ' ')
                    pattern.pop_back();
                if (!pattern.empty()) f.Patterns.push_back(std::move(pattern));
                from = k + 1;
            }
        }
        if (!f.Patterns.empty()) out.push_back(std::move(f));
    }
    return out;
}

size_t FolderLength(std::string_view path) {
    // Second bytes of two-byte characters may be 0x5C: such characters are stepped over whole.
    // They are never 0x2E, so a plain search finds the dots.
    size_t length = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto b = static_cast<uint8_t>(path[i]);
        if (IsLeadByte(b) && i + 1 < path.size())
            ++i;
        else if (b == '\\' || b == '/' || b == ':')
            length = i + 1;
    }
    return length;
}

std::string WithDefaultExtension(const std::string& name, std::string_view extension) {
    while (!extension.empty() && extension.front() == '.')
        extension.remove_prefix(1);
    const size_t segment = FolderLength(name);
    if (extension.empty() || segment == name.size() || name.find('.', segment) != std::string::npos) return name;
    return name + "." + std::string(extension);
}

std::string FileRefusal(const TFileRoot& root, bool save, const std::string& fileName) {
    if (!save) return root.FileExists(fileName) ? std::string() : "ファイルが見つかりません。"_sj;
    const size_t segment = FolderLength(fileName);
    if (segment == 0 || root.DirectoryExists(fileName.substr(0, segment))) return {};
    return "フォルダが見つかりません。"_sj;
}

std::string ToolkitText(std::string_view sjis) {
    const std::string utf8 = Encoding::SjisToUtf8(sjis);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '\r') {
            out += utf8[i];
        } else if (i + 1 >= utf8.size() || utf8[i + 1] != '\n') {
            out += '\n';
        }
    }
    return out;
}

std::string EngineLines(std::string_view utf8) {
    const std::string sjis = Encoding::Utf8ToSjis(utf8);
    std::string out;
    size_t start = 0;
    while (start < sjis.size()) {
        size_t end = sjis.find('\n', start);
        if (end == std::string::npos) end = sjis.size();
        out.append(sjis, start, end - start);
        out += "\r\n";
        start = end + 1;
    }
    return out;
}

bool TypedTextFits(std::string_view utf8) {
    std::string sjis;
    return Encoding::Utf8ToSjisStrict(utf8, sjis);
}

}  // namespace ScriptForms
