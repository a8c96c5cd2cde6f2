#include "script/KelListCommands.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"
#include "script/KelCalculationLib.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"
#include "script/KelValueLib.h"
#include "script/uKelObjectKinds.h"

namespace {

constexpr const char* kListWords[] = {"asn", "l",  "v", "?v", "?n",  "s",    "?s", "?c",   "c",   "i",  "a",
                                      "aa",  "ad", "d", "dd", "idx", "idxn", "sw", "sort", "stf", "txt"};
static_assert(std::size(kListWords) == 21);

constexpr const char* kFileWords[] = {"l", "?l", "g", "gl", "c", "i"};
static_assert(std::size(kFileWords) == 6);

// The 64-bit reading of a text, of which the list words keep the low 32 bits.
int32_t WholeNumber(const std::string& text) {
    int64_t v = 0;
    if (!KelCalculationLib::TryStrToInt64(text, v)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

bool InList(const TStringList& list, int32_t index) {
    return index >= 0 && index < list.Count();
}

// "\<word>:範囲外の行にアクセスしました：" and A1 as written.
void OutOfRange(const TKelCommandArgs& a, const char* word) {
    std::string message = "\\";
    message += word;
    message += ":範囲外の行にアクセスしました："_sj;
    message += a.Raw(1);
    a.Script().Log().ErrorLog(message);
}

void ReadFailed(const TKelCommandArgs& a, const std::string& name) {
    a.Script().Log().ErrorLog("\\l:ファイルの読み込みに失敗："_sj + name);
}

// Case-blind order: the lines compared with their ASCII letters lower-cased (never a trail byte),
// then byte by byte. Lines that compare equal may change places.
void SortLines(TStringList& list) {
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(list.Items.size());
    for (std::string& line : list.Items)
        keyed.emplace_back(ClassLib::LowerAscii(line), std::move(line));
    std::sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (size_t i = 0; i < keyed.size(); ++i)
        list.Items[i] = std::move(keyed[i].second);
}

// "txt": the separator goes before every line once some text has been collected.
void JoinLines(const TKelCommandArgs& a, const TStringList& list) {
    const std::string separator = a.Text(1);
    a.ClearResults();
    std::string joined;
    for (const std::string& line : list.Items) {
        if (!joined.empty()) joined += separator;
        joined += line;
        if (joined.size() > KelListCommands::kMaxJoinedText) {
            a.Script().Log().ErrorLog("\\txt:連結した文字列が65535バイトを超えます"_sj);
            return;
        }
    }
    a.SetStr(0, joined);
}

void Assign(const TKelCommandArgs& a, TStringList& list) {
    TKelObjectDataCustom* other = a.Object(1);
    if (!other) {
        a.Script().Log().ErrorLog("\\asn:オブジェクトが存在しません："_sj + a.Raw(1));
        return;
    }
    auto* source = dynamic_cast<TKelObjectDataStringList*>(other);
    if (!source) {
        a.Script().Log().ErrorLog("\\asn:異なるオブジェクトはAssignできません："_sj + a.Raw(1));
        return;
    }
    if (&source->Lines() != &list) list.Items = source->Lines().Items;
}

void Load(const TKelCommandArgs& a, TStringList& list) {
    const std::string name = a.Text(1);
    const std::string found = a.ResolveFile(name);
    std::unique_ptr<TMemoryStream> stream = found.empty() ? nullptr : a.Script().Packs().LoadFile(found);
    if (!stream) {
        ReadFailed(a, name);
        return;
    }
    list.Clear();
    stream->SetPosition(0);
    list.LoadFromStream(*stream);
}

// "c": empty lines appended, or lines dropped from the end.
void SetCount(const TKelCommandArgs& a, TStringList& list) {
    const int32_t count = a.Int(1);
    if (count < 0 || count > KelListCommands::kMaxCountLines) {
        OutOfRange(a, "c");
        return;
    }
    list.Items.resize(static_cast<size_t>(count));
}

void Split(const TKelCommandArgs& a, TStringList& list) {
    const std::string delimiter = a.Text(1), text = a.Text(2);
    const bool strip = a.Int(3) == 1, stopAtComment = a.Int(4) == 1;
    std::unique_ptr<TStringList> pieces = uMisc::SplitString(delimiter, text, strip, stopAtComment, 0);
    for (std::string& piece : pieces->Items)
        list.Add(std::move(piece));
}

bool ListWord(TKelScript& script, int32_t code, TStringList& args, TStringList& list) {
    TKelCommandArgs a(script, args);
    switch (code) {
        case Cmd("asn"):
            Assign(a, list);
            return true;
        case Cmd("l"):
            Load(a, list);
            return true;
        case Cmd("v"): {
            const std::string name = a.Text(1), value = a.Text(2);
            list.SetValue(name, value);
            return true;
        }
        case Cmd("?v"): {
            const std::string name = a.Text(1);
            a.ClearResults();
            const std::string value = list.Values(name);
            a.SetStr(0, value);
            a.SetInt(0, WholeNumber(value));
            return true;
        }
        case Cmd("?n"): {
            const int32_t i = a.Int(1);
            a.ClearResults();
            if (InList(list, i))
                a.SetStr(0, list.Names(i));
            else
                OutOfRange(a, "?n");
            return true;
        }
        case Cmd("s"): {
            const int32_t i = a.Int(1);
            std::string text = a.Text(2);
            if (InList(list, i))
                list[i] = std::move(text);
            else
                OutOfRange(a, "s");
            return true;
        }
        case Cmd("?s"): {
            const int32_t i = a.Int(1);
            a.ClearResults();
            if (InList(list, i)) {
                a.SetStr(0, list[i]);
                a.SetInt(0, WholeNumber(list[i]));
            } else {
                OutOfRange(a, "?s");
            }
            return true;
        }
        case Cmd("?c"):
            a.ClearResults();
            a.SetInt(0, list.Count());
            return true;
        case Cmd("c"):
            SetCount(a, list);
            return true;
        case Cmd("i"):
            list.Clear();
            return true;
        case Cmd("a"):
            list.Add(a.Text(1));
            return true;
        case Cmd("aa"): {
            const int32_t i = a.Int(1);
            std::string text = a.Text(2);
            if (i >= 0 && i <= list.Count())
                list.Insert(i, std::move(text));
            else
                OutOfRange(a, "aa");
            return true;
        }
        case Cmd("ad"):
            Split(a, list);
            return true;
        case Cmd("d"):
            if (list.Count() > 0)
                list.Delete(list.Count() - 1);
            else
                OutOfRange(a, "d");
            return true;
        case Cmd("dd"): {
            const int32_t i = a.Int(1);
            if (InList(list, i))
                list.Delete(i);
            else
                OutOfRange(a, "dd");
            return true;
        }
        case Cmd("idx"): {
            const std::string text = a.Text(1);
            a.ClearResults();
            a.SetInt(0, list.IndexOf(text));
            return true;
        }
        case Cmd("idxn"): {
            const std::string name = a.Text(1);
            a.ClearResults();
            a.SetInt(0, list.IndexOfName(name));
            return true;
        }
        case Cmd("sw"): {
            const int32_t i = a.Int(1), j = a.Int(2);
            if (InList(list, i) && InList(list, j))
                std::swap(list[i], list[j]);
            else
                OutOfRange(a, "sw");
            return true;
        }
        case Cmd("sort"):
            SortLines(list);
            return true;
        case Cmd("stf"):
            // Written where the script says, through the engine's paths; a failed write is not
            // reported.
            if (script.Links.Files) list.SaveToFile(*script.Links.Files, a.Text(1));
            return true;
        case Cmd("txt"):
            JoinLines(a, list);
            return true;
        default:
            return false;
    }
}

bool FileWord(TKelScript& script, int32_t code, TStringList& args, TFileIOLib& file) {
    TKelCommandArgs a(script, args);
    switch (code) {
        case Cmd("l"): {
            const std::string name = a.Text(1);
            const std::string found = a.ResolveFile(name);
            if (!file.LoadFile(found)) ReadFailed(a, name);
            return true;
        }
        case Cmd("?l"):
            a.ClearResults();
            a.SetStr(0, file.FileName());
            return true;
        case Cmd("g"):
        case Cmd("gl"): {
            const TCalcValue key = a.Value(1);
            a.ClearResults();
            const std::string text = code == Cmd("g") ? file.GetValue(key.Text) : file.GetLine(key.Value);
            a.SetStr(0, text);
            a.SetInt(0, KelValueLib::StrToIntDef0(text));
            return true;
        }
        case Cmd("c"):
            a.ClearResults();
            a.SetInt(0, file.Lines().Count());
            return true;
        case Cmd("i"):
            file.Clear();
            return true;
        default:
            return false;
    }
}

// A word of the table that reaches an object without its engine object changes nothing.
bool AcceptWithoutObject(TKelScript& script, int32_t code, std::span<const char* const> words) {
    for (const char* word : words) {
        if (Cmd(word) != code) continue;
        if (word[0] == '?') script.ClearResults();
        return true;
    }
    return false;
}

}  // namespace

namespace KelListCommands {

std::span<const char* const> ListWords() {
    return kListWords;
}

std::span<const char* const> FileWords() {
    return kFileWords;
}

bool DoListCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object) {
    if (auto* list = dynamic_cast<TKelObjectDataStringList*>(&object))
        return ListWord(script, code, args, list->Lines());
    return AcceptWithoutObject(script, code, kListWords);
}

bool DoFileCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object) {
    if (auto* file = dynamic_cast<TKelObjectDataFile*>(&object)) return FileWord(script, code, args, file->TextFile());
    return AcceptWithoutObject(script, code, kFileWords);
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::StringList, DoListCommand);
    registry.RegisterHandler(TObjectKind::File, DoFileCommand);
}

}  // namespace KelListCommands
