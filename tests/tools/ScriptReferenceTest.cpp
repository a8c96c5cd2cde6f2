// The script reference under docs/ against the word handlers: every word a handler knows stands in
// the reference under one of the object kinds that the handler serves, and the reference lists no
// word that its handlers do not know. The handlers compare packed word codes written as
// Cmd("word"); the words they compare through tables come from the tables' own listings. A word
// comparison in any other form, or a handler unit the test does not know, fails the test instead
// of being passed over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "objects/KelButtonCommands.h"
#include "objects/KelConfigCommands.h"
#include "objects/KelDialogCommands.h"
#include "objects/KelImageCommands.h"
#include "objects/KelMessageCommands.h"
#include "script/KelListCommands.h"
#include "script/KelServiceCommands.h"

namespace fs = std::filesystem;

namespace {

struct THandlerUnit {
    const char* Path;                     // from the source root
    std::vector<std::string> Sections;    // the reference's sections that document its words
    std::vector<std::string> Indirect;    // comparisons through a table, written as in the source
    std::vector<std::string> TableWords;  // the words of those tables
    const char* Compare = "Cmd";          // the function that packs the words it compares
};

std::vector<std::string> Words(std::span<const char* const> words) {
    return {words.begin(), words.end()};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> lists) {
    std::vector<std::string> all;
    for (const auto& l : lists)
        all.insert(all.end(), l.begin(), l.end());
    return all;
}

std::vector<THandlerUnit> HandlerUnits() {
    return {
        {"script/KelControlLib.cpp", {"control words"}, {}, {}},
        {"script/KelGeneralCommands.cpp", {"general words"}, {}, {}},
        {"script/KelSystemCommands.cpp", {"sys", "dat", "sdat", "ext", "tcp"}, {}, {}},
        {"script/KelListCommands.cpp",
         {"list", "file"},
         {"Cmd(word)"},
         Join({Words(KelListCommands::ListWords()), Words(KelListCommands::FileWords())})},
        {"script/KelServiceCommands.cpp",
         {"dlg", "path", "rep", "slog", "flog"},
         {},
         Words(KelServiceCommands::ReplaceWords())},
        {"objects/KelImageCommands.cpp", {"img"}, {"Cmd(word)"}, Words(KelImageCommands::ImageWords())},
        {"objects/KelSharedImageWords.h", {"img", "bar"}, {}, {}},
        {"objects/KelMessageCommands.cpp", {"msg"}, {}, Words(KelMessageCommands::MessageWords())},
        {"objects/KelButtonCommands.cpp",
         {"btn", "bar", "msg"},
         {},
         Join({Words(KelButtonCommands::ButtonWords()), Words(KelButtonCommands::ScrollBarWords())})},
        {"objects/KelEffectCommands.cpp", {"eff", "log", "cam"}, {}, {}},
        {"objects/KelSoundCommands.cpp", {"snd", "dsnd", "show"}, {}, {}},
        {"objects/KelConfigCommands.cpp",
         {"cfg"},
         {"Cmd(w)", "Cmd(\"?\" + w)", "Cmd(\"d\" + w)", "Cmd(w.Word)"},
         KelConfigCommands::TableWords()},
        {"objects/KelUtilityCommands.cpp", {"math", "misc"}, {}, {}},
        {"objects/KelInputCommands.cpp", {"inp", "skey"}, {}, {}},
        {"objects/KelClipboardCommands.cpp", {"clip"}, {}, {}},
        {"objects/KelDialogCommands.cpp", {"dlgs"}, {}, Words(KelDialogCommands::DialogsWords())},
        // The message text's inline commands, which the typesetter packs in its own way.
        {"objects/MessageLib.cpp", {"inline commands"}, {"Word(std::string_view w)"}, {}, "Word"},
    };
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

// The source without its line comments, so that examples in comments are not taken for words.
std::string Code(const std::string& source) {
    std::string out;
    size_t at = 0;
    while (at < source.size()) {
        size_t end = source.find('\n', at);
        if (end == std::string::npos) end = source.size();
        std::string line = source.substr(at, end - at);
        bool quoted = false;
        for (size_t i = 0; i + 1 < line.size(); ++i) {
            if (line[i] == '\\' && quoted) {
                ++i;
            } else if (line[i] == '"') {
                quoted = !quoted;
            } else if (!quoted && line[i] == '/' && line[i + 1] == '/') {
                line.resize(i);
                break;
            }
        }
        out += line + "\n";
        at = end + 1;
    }
    return out;
}

// Every call of the packing function in the code: the literal words, and the other calls as written.
void ScanWords(const std::string& code, const std::string& function, std::set<std::string>& literal,
               std::vector<std::string>& other) {
    const std::regex literalWord("^" + function + R"re(\("((?:[^"\\]|\\.)*)"\))re");
    const std::string call = function + "(";
    for (size_t at = code.find(call); at != std::string::npos; at = code.find(call, at + call.size())) {
        if (at > 0 && (std::isalnum(static_cast<unsigned char>(code[at - 1])) || code[at - 1] == '_')) continue;
        std::smatch m;
        const std::string rest = code.substr(at, 200);
        if (std::regex_search(rest, m, literalWord)) {
            std::string w = m[1].str();
            while (!w.empty() && w[0] == '\\')
                w.erase(0, 1);
            literal.insert(Lower(w));
            continue;
        }
        int depth = 0;
        size_t end = at + call.size() - 1;
        for (; end < code.size(); ++end) {
            if (code[end] == '(') ++depth;
            if (code[end] == ')' && --depth == 0) break;
        }
        other.push_back(code.substr(at, end + 1 - at));
    }
}

// The reference: for every "## " heading, its section's words. A section is named by the first
// code span of its heading, or by the heading's text when it has none; its words are the code spans
// in the first cell of its table rows that begin with a backslash (script words) or with a bracket
// (inline commands: the word up to its first comma or closing bracket).
std::map<std::string, std::set<std::string>> ReferenceSections(const fs::path& docs) {
    std::map<std::string, std::set<std::string>> sections;
    static const std::regex span("`([^`]+)`");
    for (const auto& entry : fs::directory_iterator(docs)) {
        if (entry.path().extension() != ".md") continue;
        std::istringstream in(ReadFile(entry.path()));
        std::string line, section;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("## ", 0) == 0) {
                std::smatch m;
                const std::string title = line.substr(3);
                section = std::regex_search(title, m, span) ? m[1].str() : Lower(title);
                sections[section];
                continue;
            }
            if (section.empty() || line.rfind("|", 0) != 0) continue;
            const size_t cellEnd = line.find('|', 1);
            const std::string cell = line.substr(1, cellEnd == std::string::npos ? std::string::npos : cellEnd - 1);
            for (std::sregex_iterator it(cell.begin(), cell.end(), span), end; it != end; ++it) {
                const std::string w = (*it)[1].str();
                if (w.size() > 1 && w[0] == '\\') sections[section].insert(Lower(w.substr(1)));
                if (w.size() > 1 && w[0] == '[')
                    sections[section].insert(Lower(w.substr(1, w.find_first_of(",]") - 1)));
            }
        }
    }
    return sections;
}

TEST(ScriptReferenceTest, EveryWordOfTheHandlersStandsInTheReferenceAndNoOther) {
    const fs::path root = KEL_SOURCE_DIR;
    const auto sections = ReferenceSections(root / "docs");
    const std::vector<THandlerUnit> units = HandlerUnits();

    std::map<std::string, std::set<std::string>> known;  // section -> the words of its handlers
    for (const THandlerUnit& unit : units) {
        std::set<std::string> words;
        std::vector<std::string> other;
        ScanWords(Code(ReadFile(root / unit.Path)), unit.Compare, words, other);
        EXPECT_FALSE(words.empty()) << unit.Path << ": no word found; has the handler moved?";
        for (const std::string& o : other)
            EXPECT_NE(std::find(unit.Indirect.begin(), unit.Indirect.end(), o), unit.Indirect.end())
                << unit.Path << ": the word comparison " << o
                << " is not one this test can read; give its table a listing and add it here";
        for (const std::string& w : unit.TableWords)
            words.insert(Lower(w));

        for (const std::string& w : words) {
            bool found = false;
            for (const std::string& s : unit.Sections) {
                auto it = sections.find(s);
                found = found || (it != sections.end() && it->second.count(w) > 0);
            }
            std::string where;
            for (const std::string& s : unit.Sections)
                where += " \"" + s + "\"";
            EXPECT_TRUE(found) << "\\" << w << " (" << unit.Path << ") is missing from the reference; document it under"
                               << where;
        }
        for (const std::string& s : unit.Sections) {
            EXPECT_TRUE(sections.count(s)) << "the reference has no section \"" << s << "\"";
            known[s].insert(words.begin(), words.end());
        }
    }
    for (const auto& [section, words] : sections) {
        auto it = known.find(section);
        if (it == known.end()) continue;
        for (const std::string& w : words)
            EXPECT_TRUE(it->second.count(w))
                << "the reference lists \\" << w << " under \"" << section << "\", which none of its handlers knows";
    }

    // A unit that compares word codes and is not in the table above would go unchecked.
    std::set<std::string> listed;
    for (const THandlerUnit& unit : units)
        listed.insert(unit.Path);
    for (const char* folder : {"script", "objects", "shell"})
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            const std::string rel = std::string(folder) + "/" + entry.path().filename().string();
            const std::string code = Code(ReadFile(entry.path()));
            const bool handler = code.find("case Cmd(\"") != std::string::npos ||
                                 code.find("RegisterHandler(TObjectKind::") != std::string::npos;
            if (handler && !listed.count(rel) && rel != "objects/ScriptObjectDLL.cpp")
                ADD_FAILURE() << rel << " handles script words; add it to the units of this test";
        }
}

}  // namespace
