#include "script/KelReaderLib.h"

#include <array>
#include <atomic>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/StreamStrings.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "script/KelCalculationLib.h"
#include "script/KelTextCache.h"
#include "script/KelValueLib.h"

namespace {

// The line-replace library works in a buffer of this many bytes, terminator included.
constexpr size_t kLineReplaceBuffer = 1024;
constexpr int32_t kIncludeLoopLimit = 100;

bool IsLead(std::string_view s, size_t i) {
    return uMisc::IsSJISLeadByte(static_cast<uint8_t>(s[i]));
}

std::string Lower(std::string_view s) {
    return ClassLib::LowerAscii(s);
}

// What the statement cutter makes of each byte: most bytes only pass.
constexpr uint8_t kPlainByte = 0, kLeadByte = 1, kMarkByte = 2;
constexpr std::array<uint8_t, 256> kStatementByte = [] {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(b))) t[static_cast<size_t>(b)] = kLeadByte;
    for (char c : {'{', '}', '"', '\\'})
        t[static_cast<uint8_t>(c)] = kMarkByte;
    return t;
}();

// Whether lowered equals Lower(text), without building it.
bool EqualsLowered(std::string_view lowered, std::string_view text) {
    if (lowered.size() != text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        auto b = static_cast<uint8_t>(text[i]);
        if (uMisc::IsSJISLeadByte(b)) {
            // The trail byte stays as it is.
            if (lowered[i] != text[i] || (i + 1 < text.size() && lowered[i + 1] != text[i + 1])) return false;
            ++i;
            continue;
        }
        if (b >= 'A' && b <= 'Z') b = static_cast<uint8_t>(b + 32);
        if (static_cast<uint8_t>(lowered[i]) != b) return false;
    }
    return true;
}

std::string CutShort(std::string_view s) {
    return std::string(s.substr(0, static_cast<size_t>(TReaderPosition::kShortCapacity)));
}

void LoadError(TErrorLog* log, std::string_view message) {
    if (log) log->ErrorLog("ScriptLoad:" + std::string(message));
}

// Every occurrence of from, ASCII letters compared without case, found at character starts only.
// A result past the text size limit is cut short there, still longer than the limit.
std::string ReplaceIgnoringCase(const std::string& line, const std::string& from, const std::string& to) {
    std::string lowFrom = Lower(from);
    std::string out;
    size_t i = 0;
    while (i < line.size() && out.size() <= kMaxTextSize) {
        if (i + from.size() <= line.size() && Lower(std::string_view(line).substr(i, from.size())) == lowFrom) {
            out += to;
            i += from.size();
            continue;
        }
        size_t n = IsLead(line, i) && i + 1 < line.size() ? 2 : 1;
        out.append(line, i, n);
        i += n;
    }
    return out;
}

}  // namespace

// ---- position record ----

void TReaderPosition::Write(TStream& s) const {
    TRecordWriter w(kRecordSize);
    w.Short(FileName, kShortCapacity);
    w.Short(LabelName, kShortCapacity);
    w.I32(LineOffset);
    w.I32(Column);
    w.U8(ReplaceEnabled);
    w.Short(TextLinePrefix, kShortCapacity);
    w.Short(EmptyLineText, kShortCapacity);
    w.WriteTo(s);
}

bool TReaderPosition::Read(TStream& s) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(s, kRecordSize, bytes)) return false;
    TRecordReader r(bytes);
    FileName = r.Short(kShortCapacity);
    LabelName = r.Short(kShortCapacity);
    LineOffset = r.I32();
    Column = r.I32();
    ReplaceEnabled = r.U8();
    TextLinePrefix = r.Short(kShortCapacity);
    EmptyLineText = r.Short(kShortCapacity);
    return true;
}

// ---- reader ----

TKelReader::TKelReader() {
    Reset();
    ClearReplace();
}

TKelReader::~TKelReader() {
    Reset();
}

void TKelReader::Reset() {
    LineList.reset();
    DropCuts();
    CurrentLineText.clear();
    LineIsScriptText = false;
    Position.FileName.clear();
    Position.LabelName.clear();
    Position.LineOffset = 0;
    Position.Column = 0;
    Position.TextLinePrefix.clear();
    Position.EmptyLineText.clear();
    LineIndex = -1;
    Column = 0;
    LabelIndex = -1;
}

bool TKelReader::LoadScript(const std::string& name, bool force) {
    if (!force && ClassLib::SameTextAscii(name, Position.FileName)) return true;
    // Loaded beside the current script, which stays readable when the file is missing.
    auto lines = std::make_unique<TStringList>();
    std::vector<TLabelEntry> labels;
    TStringList includes;
    bool ok = LoadFile(name, includes, *lines, labels);
    if (ok) {
        // The current line stays as it is, though the list that holds it goes.
        if (LineIsScriptText) CurrentLineText = Line();
        LineIsScriptText = false;
        LineList = std::move(lines);
        LabelTable = std::move(labels);
        IndexLabels();
        DropCuts();
        LineIsScriptText = false;
        LineKeyLabel = -1;
        LabelIndex = -1;
    }
    if (includes.Count() < kIncludeLoopLimit) {
        if (ok)
            Position.FileName = CutShort(name);
        else
            LoadError(Log, "ファイル読み込みに失敗しました。"_sj);
    } else {
        LoadError(Log, "インクルードファイルの無限循環エラーです。"_sj);
    }
    return ok;
}

bool TKelReader::LoadFile(const std::string& name, TStringList& includes, TStringList& lines,
                          std::vector<TLabelEntry>& labels) {
    if (includes.Count() > kIncludeLoopLimit) return false;
    includes.Add(name);
    std::unique_ptr<TMemoryStream> stream = Packs ? Packs->LoadFile(name) : nullptr;
    if (!stream) {
        LoadError(Log, "指定されたファイルが見つかりません:"_sj + name);
        return false;
    }
    TStringList fileLines;
    fileLines.SetText(stream->AsString());
    stream.reset();
    bool inComment = false;
    for (int32_t n = 0; n < fileLines.Count(); ++n) {
        std::string stored = StripBlockComment(StripLineComment(fileLines[n]), inComment);
        std::string_view trimmed = KelCalculationLib::Trim(stored);
        bool includeOnce = trimmed.size() >= 4 && trimmed.substr(0, 4) == "@@@!";
        bool include = !includeOnce && trimmed.size() >= 4 && trimmed.substr(0, 3) == "@@@";
        if (include || includeOnce) {
            std::string target(trimmed.substr(includeOnce ? 4 : 3));
            if (ClassLib::SameTextAscii(target, name))
                LoadError(Log, "自分のファイルをインクルードしようとしました:"_sj + target);
            else if (include || includes.IndexOf(target) < 0)
                LoadFile(target, includes, lines, labels);
            continue;
        }
        if (trimmed.size() >= 2 && trimmed.substr(0, 2) == "@@") AddLabel(labels, trimmed, lines.Count(), n, name);
        lines.Add(std::move(stored));
    }
    return true;
}

std::string TKelReader::StripLineComment(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    bool quoted = false;
    int32_t depth = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (IsLead(line, i)) {
            out.push_back(c);
            if (i + 1 < line.size()) out.push_back(line[++i]);
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        else if (c == '{')
            ++depth;
        else if (c == '}')
            depth = depth > 0 ? depth - 1 : 0;
        else if (!quoted && depth == 0 && c == '/' && i + 1 < line.size() && line[i + 1] == '/')
            break;
        if (c != '\t') out.push_back(c);
    }
    return out;
}

std::string TKelReader::StripBlockComment(std::string_view line, bool& inComment) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (i + 1 < line.size() && line[i] == '/' && line[i + 1] == '*') {
            inComment = true;
            ++i;
        } else if (i + 1 < line.size() && line[i] == '*' && line[i + 1] == '/') {
            inComment = false;
            ++i;
        } else if (!inComment) {
            out.push_back(line[i]);
        }
    }
    return out;
}

void TKelReader::AddLabel(std::vector<TLabelEntry>& labels, std::string_view text, int32_t lineIndex,
                          int32_t lineInFile, const std::string& file) {
    TLabelEntry e;
    e.Text = Lower(text);
    e.Hash = uMisc::WeightedSum(e.Text);
    e.LineIndex = lineIndex;
    e.File = Lower(file);
    e.LineInFile = lineInFile;
    e.NoTrace = text.size() >= 3 && text[2] == '!' ? 1 : 0;
    labels.push_back(std::move(e));
}

// FNV-1a of the text with ASCII letters lower-cased, never a trail byte: the same for every spelling
// of a label.
uint64_t TKelReader::LabelHash(std::string_view text) {
    uint64_t h = 0xCBF29CE484222325ull;
    bool trail = false;
    for (char ch : text) {
        auto b = static_cast<uint8_t>(ch);
        if (trail)
            trail = false;
        else if (uMisc::IsSJISLeadByte(b))
            trail = true;
        else if (b >= 'A' && b <= 'Z')
            b = static_cast<uint8_t>(b + 32);
        h = (h ^ b) * 0x100000001B3ull;
    }
    return h;
}

void TKelReader::IndexLabels() {
    RecentLabelCount = RecentLabelNext = 0;
    LabelIndexByHash.clear();
    LabelIndexByHash.reserve(LabelTable.size());
    for (size_t i = 0; i < LabelTable.size(); ++i)
        LabelIndexByHash.emplace(LabelHash(LabelTable[i].Text), static_cast<int32_t>(i));  // the first stays
}

int32_t TKelReader::IndexOfLabel(std::string_view text) const {
    for (size_t i = 0; i < RecentLabelCount; ++i) {
        const TRecentLabel& r = RecentLabels[i];
        if (r.Text.size() == text.size() && EqualBytes(r.Text.data(), text.data(), text.size())) return r.Index;
    }
    const int32_t index = FindLabel(text);
    TRecentLabel& r = RecentLabels[RecentLabelNext];
    r.Text.assign(text);
    r.Index = index;
    RecentLabelNext = (RecentLabelNext + 1) % kRecentLabels;
    if (RecentLabelCount < kRecentLabels) ++RecentLabelCount;
    return index;
}

int32_t TKelReader::FindLabel(std::string_view text) const {
    auto it = LabelIndexByHash.find(LabelHash(text));
    if (it == LabelIndexByHash.end()) return -1;
    if (EqualsLowered(LabelTable[static_cast<size_t>(it->second)].Text, text)) return it->second;
    // Another label's text has the same 64-bit hash: the table is searched as it stands.
    for (size_t i = 0; i < LabelTable.size(); ++i)
        if (EqualsLowered(LabelTable[i].Text, text)) return static_cast<int32_t>(i);
    return -1;
}

bool TKelReader::FetchLine(int32_t index, int32_t column) {
    CurrentLineText.clear();
    LineIsScriptText = false;
    if (!LineList || index < 0 || index >= LineList->Count()) return false;
    bool validLabel = LabelIndex >= 0 && LabelIndex < static_cast<int32_t>(LabelTable.size());
    bool traced = !(validLabel && LabelTable[static_cast<size_t>(LabelIndex)].NoTrace);
    if (traced && validLabel && OnLineRead) {
        // The key of the last label is kept: most lines are fetched under the label of the last.
        if (LineKeyLabel != LabelIndex) {
            const TLabelEntry& e = LabelTable[static_cast<size_t>(LabelIndex)];
            LineKey.assign(e.File).append(e.Text);
            LineKeyLabel = LabelIndex;
        }
        OnLineRead(LineKey, LineOffsetValue);
    }
    LineIndex = index;
    Column = column;
    const std::string& raw = (*LineList)[index];
    // Lines too long for the library's buffer pass unchanged.
    const bool replacer =
        traced && Position.ReplaceEnabled && LineReplacer && raw.size() < kLineReplaceBuffer && LineReplacer->Active();
    const bool rules = traced && Position.ReplaceEnabled && !ReplaceRules.empty();
    if (!replacer && !rules) {
        // Without replacing, a line changes only by the empty-line text or the prefix; most lines
        // get neither and are read where the line list keeps them.
        const bool prefixed =
            !raw.empty() && raw[0] != '\\' && raw[0] != ' ' && raw[0] != '\t' && raw[0] != '/' && raw[0] != '@';
        if (!traced || (raw.empty() ? Position.EmptyLineText.empty() : !prefixed || Position.TextLinePrefix.empty())) {
            LineIsScriptText = true;
            return true;
        }
    }
    // The line is built in the buffer of the last one; the current line stays empty meanwhile.
    std::string line;
    line.swap(CurrentLineText);
    line.assign(raw);
    if (replacer) line = LineReplacer->Replace(line);
    if (rules) line = ApplyReplace(std::move(line));
    if (line.empty()) line = Position.EmptyLineText;
    if (!line.empty()) {
        char c = line[0];
        if (c != '\\' && c != ' ' && c != '\t' && c != '/' && c != '@') line = Position.TextLinePrefix + line;
    }
    CurrentLineText = std::move(line);
    return true;
}

std::string TKelReader::ApplyReplace(std::string line) const {
    if (!Position.ReplaceEnabled || ReplaceRules.empty()) return line;
    bool anyPattern = false;
    for (const auto& r : ReplaceRules)
        anyPattern |= r.Kind > 0;
    if (anyPattern) line += "\r\n";
    for (const auto& r : ReplaceRules) {
        if (r.From.empty() || r.Kind < 0 || r.Kind > 4) continue;
        switch (static_cast<TReplaceKind>(r.Kind)) {
            case TReplaceKind::Plain:
                line = ReplaceIgnoringCase(line, r.From, r.To);
                break;
            case TReplaceKind::Match:
                if (RegExp && !RegExp->Match(r.From, line).empty()) line = r.To + line;
                break;
            case TReplaceKind::Substitute:
                if (RegExp) line = RegExp->Substitute(r.From, line);
                break;
            case TReplaceKind::Split:
                if (RegExp) {
                    std::vector<std::string> pieces = RegExp->Split(r.From, line, 32);
                    if (!pieces.empty()) {
                        std::string joined;
                        for (const auto& p : pieces)
                            joined += r.To + p;
                        line = std::move(joined);
                    }
                }
                break;
            case TReplaceKind::Translate:
                if (RegExp) line = RegExp->Translate(r.From, line);
                break;
        }
        // Rules that each lengthen the line could together make it grow without end.
        if (line.size() > kMaxTextSize) {
            if (Log) Log->ErrorLog(KelCalculationLib::TextTooLongMessage());
            return std::string();
        }
    }
    if (anyPattern) line = ReplaceIgnoringCase(line, "\r\n", "");
    return line;
}

bool TKelReader::NextLine() {
    ++LineOffsetValue;
    return FetchLine(LineIndex + 1, 0);
}

bool TKelReader::JumpLabel(const std::string& label, int32_t lineOffset, int32_t column) {
    int32_t i = IndexOfLabel(label);
    if (i < 0) return false;
    LabelIndex = i;
    LineOffsetValue = lineOffset;
    return FetchLine(LabelTable[static_cast<size_t>(i)].LineIndex + lineOffset, column);
}

bool TKelReader::JumpFile(const std::string& file, const std::string& label) {
    if (!ClassLib::SameTextAscii(file, "self") && !LoadScript(file, true)) return false;
    return JumpLabel(label, 0, 0);
}

std::string TKelReader::GetStatement() {
    std::string statement;
    GetStatement(statement);
    return statement;
}

void TKelReader::GetStatement(std::string& statement) {
    int32_t place;
    statement.assign(NextStatement(place));
}

void TKelReader::CutStatement(size_t& textStart, size_t& textSize, size_t& next) const {
    const std::string& line = Line();
    size_t start = static_cast<size_t>(Column);
    size_t i = start;
    int32_t depth = 0, backslashes = 0;
    bool quoted = false, stopped = false;
    while (i < line.size()) {
        char c = line[i];
        const uint8_t kind = kStatementByte[static_cast<uint8_t>(c)];
        if (kind == kPlainByte) {
            ++i;
            continue;
        }
        if (kind == kLeadByte) {
            i += 2;  // may step one past the end when the line ends in a lead byte
            continue;
        }
        if (c == '{')
            ++depth;
        else if (c == '}')
            --depth;
        else if (depth == 0 && c == '"')
            quoted = !quoted;
        else if (depth == 0 && !quoted && c == '\\' && ++backslashes == 2) {
            stopped = true;
            break;
        }
        ++i;
    }
    next = i;
    size_t end = stopped ? i : line.size();
    const std::string_view text = KelCalculationLib::Trim(std::string_view(line).substr(start, end - start));
    textStart = static_cast<size_t>(text.data() - line.data());
    textSize = text.size();
}

std::string_view TKelReader::NextStatement(int32_t& place) {
    place = -1;
    if (!LineList) return {};
    if (Column >= static_cast<int32_t>(Line().size())) NextLine();
    const std::string& line = Line();
    if (line.empty()) return {};
    size_t textStart = 0, textSize = 0, next = 0;
    if (!LineIsScriptText || Column < 0) {
        CutStatement(textStart, textSize, next);
        Column = static_cast<int32_t>(next);
        StatementText.assign(line, textStart, textSize);
        if (StatementText.size() >= 2 && StatementText[0] == '@' && StatementText[1] == '@') {
            LabelIndex = IndexOfLabel(StatementText);
            LineOffsetValue = 0;
        }
        return StatementText;
    }
    if (FirstCutOfLine.empty()) FirstCutOfLine.assign(static_cast<size_t>(LineList->Count()), 0);
    int32_t& first = FirstCutOfLine[static_cast<size_t>(LineIndex)];
    int32_t k = first;
    while (k != 0 && Cuts[static_cast<size_t>(k - 1)].Column != Column)
        k = Cuts[static_cast<size_t>(k - 1)].NextInLine;
    if (k == 0) {
        TCut cut;
        cut.Column = Column;
        CutStatement(textStart, textSize, next);
        cut.NextColumn = static_cast<int32_t>(next);
        cut.TextStart = static_cast<int32_t>(textStart);
        cut.TextSize = static_cast<int32_t>(textSize);
        const std::string_view text(line.data() + textStart, textSize);
        if (text.size() >= 2 && text[0] == '@' && text[1] == '@') cut.Label = IndexOfLabel(text);
        cut.NextInLine = first;
        Cuts.push_back(cut);
        k = first = static_cast<int32_t>(Cuts.size());
    }
    const TCut& cut = Cuts[static_cast<size_t>(k - 1)];
    place = k - 1;
    Column = cut.NextColumn;
    if (cut.Label != kNoLabelCut) {
        LabelIndex = cut.Label;
        LineOffsetValue = 0;
    }
    return std::string_view(line).substr(static_cast<size_t>(cut.TextStart), static_cast<size_t>(cut.TextSize));
}

void TKelReader::DropCuts() {
    Cuts.clear();
    FirstCutOfLine.clear();
    // Unique among all readers, so that no one mistakes the places of another reader or load.
    static std::atomic<uint32_t> generations{0};
    PlaceGenerationValue = ++generations;
}

std::string TKelReader::GetLabelName() const {
    if (LabelIndex < 0 || LabelIndex >= static_cast<int32_t>(LabelTable.size())) return {};
    return LabelTable[static_cast<size_t>(LabelIndex)].Text;
}

int32_t TKelReader::GetLineInLabel() const {
    if (LabelIndex < 0 || LabelIndex >= static_cast<int32_t>(LabelTable.size())) return 0;
    return LineIndex - LabelTable[static_cast<size_t>(LabelIndex)].LineIndex;
}

const std::string& TKelReader::CurrentLabelFile() const {
    static const std::string kNone;
    if (LabelIndex < 0 || LabelIndex >= static_cast<int32_t>(LabelTable.size())) return kNone;
    return LabelTable[static_cast<size_t>(LabelIndex)].File;
}

std::string TKelReader::GetLabelFile(std::string_view label) const {
    int32_t i = IndexOfLabel(label);
    return i < 0 ? std::string() : LabelTable[static_cast<size_t>(i)].File;
}

std::string TKelReader::FormatPosition(int32_t label, int32_t lineInLabel, int32_t column) const {
    if (label < 0 || label >= static_cast<int32_t>(LabelTable.size())) return "EOF";
    const TLabelEntry& e = LabelTable[static_cast<size_t>(label)];
    return e.File + " " + e.Text + "(" + std::to_string(e.LineInFile + lineInLabel + 1) + "行,"_sj +
           std::to_string(column) + "桁)"_sj;
}

std::string TKelReader::GetPositionText() const {
    return FormatPosition(LabelIndex, GetLineInLabel(), Column);
}

void TKelReader::ClearReplace() {
    ReplaceRules.clear();
    Position.TextLinePrefix.clear();
    Position.EmptyLineText.clear();
    Position.ReplaceEnabled = 1;
}

bool TKelReader::AddReplace(const std::string& from, const std::string& to, int32_t kind) {
    for (auto& r : ReplaceRules) {
        if (ClassLib::SameTextAscii(r.From, from)) {
            r = {from, to, kind};
            return true;
        }
    }
    ReplaceRules.push_back({from, to, kind});
    SortReplace();
    return true;
}

bool TKelReader::DeleteReplace(std::string_view from) {
    for (size_t i = 0; i < ReplaceRules.size(); ++i) {
        if (ClassLib::SameTextAscii(ReplaceRules[i].From, from)) {
            ReplaceRules.erase(ReplaceRules.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

void TKelReader::SortReplace() {
    for (size_t i = 0; i < ReplaceRules.size(); ++i) {
        for (size_t j = i + 1; j < ReplaceRules.size(); ++j) {
            if (ReplaceRules[j].From.size() > ReplaceRules[i].From.size()) {
                std::swap(ReplaceRules[i], ReplaceRules[j]);
                break;
            }
        }
    }
}

void TKelReader::SaveToStream(TStream* stream) {
    if (!stream) return;
    Position.LabelName = CutShort(GetLabelName());
    Position.LineOffset = GetLineInLabel();
    Position.Column = Column;
    Position.Write(*stream);
    uMisc::WriteStreamString(stream, Line());
    TRecordWriter w(4);
    w.U32(static_cast<uint32_t>(ReplaceRules.size()));
    w.WriteTo(*stream);
    for (const auto& r : ReplaceRules) {
        uMisc::WriteStreamString(stream, r.From);
        uMisc::WriteStreamString(stream, r.To);
        TRecordWriter k(4);
        k.U32(static_cast<uint32_t>(r.Kind));
        k.WriteTo(*stream);
    }
}

bool TKelReader::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    TReaderPosition pos;
    if (!pos.Read(*stream)) return false;
    std::string line;
    if (!uMisc::ReadStreamString(stream, line)) return false;
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(*stream, 4, bytes)) return false;
    uint32_t count = TRecordReader(bytes).U32();
    // A rule takes at least 8 bytes: two empty stream strings and the kind.
    if (static_cast<uint64_t>(count) * 8 > static_cast<uint64_t>(stream->Remaining())) return false;
    std::vector<TReplaceRule> rules(count);
    for (auto& r : rules) {
        if (!uMisc::ReadStreamString(stream, r.From) || !uMisc::ReadStreamString(stream, r.To)) return false;
        if (!ReadRecordBytes(*stream, 4, bytes)) return false;
        r.Kind = TRecordReader(bytes).I32();
    }
    Position = pos;
    CurrentLineText = line;
    LineIsScriptText = false;
    ReplaceRules = std::move(rules);
    LoadScript(Position.FileName, true);
    JumpLabel(Position.LabelName, Position.LineOffset, Position.Column);
    return true;
}
