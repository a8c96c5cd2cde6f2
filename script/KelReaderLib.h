// The script reader: loads a scenario script (".s", from the packs only) with its includes into
// one line list without comments, keeps the label table, cuts lines into statements, applies the
// replace rules, and keeps, formats and saves the reading position. It knows no command words.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TPackSet;  // foundation/PackLib.h

struct TLabelEntry {
    std::string Text;  // lower-cased trimmed label line, "@@" (and "!") included
    int32_t Hash = 0;
    int32_t LineIndex = 0;   // in the merged line list
    std::string File;        // lower-cased defining file
    int32_t LineInFile = 0;  // 0-based
    uint8_t NoTrace = 0;     // 1 for "@@!" labels
};

enum class TReplaceKind : int32_t { Plain = 0, Match = 1, Substitute = 2, Split = 3, Translate = 4 };

struct TReplaceRule {
    std::string From;
    std::string To;
    int32_t Kind = 0;
};

// The reading position as save games store it: 521 bytes, short strings of capacity 127.
struct TReaderPosition {
    static constexpr int32_t kShortCapacity = 127;
    static constexpr int32_t kRecordSize = 128 + 128 + 4 + 4 + 1 + 128 + 128;
    std::string FileName;
    std::string LabelName;
    int32_t LineOffset = 0;
    int32_t Column = 0;
    uint8_t ReplaceEnabled = 1;
    std::string TextLinePrefix;
    std::string EmptyLineText;

    void Write(TStream& s) const;
    bool Read(TStream& s);  // false when fewer than 521 bytes remain
};
static_assert(TReaderPosition::kRecordSize == 521);

class TKelReader {
public:
    TKelReader();
    ~TKelReader();

    void Reset();
    // Loads the script with its includes. A file that cannot be read leaves the current script,
    // its labels and the reading position as they were.
    bool LoadScript(const std::string& name, bool force);
    std::string GetStatement();
    // The same into a buffer the caller keeps, so that its capacity is reused.
    void GetStatement(std::string& statement);
    // The same as a view, with the statement's place: a number that stands for this statement of
    // the loaded script (its line and column), the same on every pass over it until the script is
    // loaded again or the reader reset (which change PlaceGeneration); -1 when the current line is
    // not the script's own text (replace rules, a line prefix or a loaded game changed it). The
    // view holds until the next statement is read or the script is loaded again.
    std::string_view NextStatement(int32_t& place);
    uint32_t PlaceGeneration() const { return PlaceGenerationValue; }
    bool NextLine();
    bool JumpLabel(const std::string& label, int32_t lineOffset, int32_t column);
    bool JumpFile(const std::string& file, const std::string& label);
    int32_t IndexOfLabel(std::string_view text) const;

    std::string GetLabelName() const;
    int32_t GetLineInLabel() const;
    int32_t GetColumn() const { return Column; }
    const std::string& GetFileName() const { return Position.FileName; }
    std::string GetLabelFile(std::string_view label) const;
    // The lower-cased defining file of the current label; empty without one.
    const std::string& CurrentLabelFile() const;
    std::string GetPositionText() const;
    std::string FormatPosition(int32_t label, int32_t lineInLabel, int32_t column) const;

    void ClearReplace();
    bool AddReplace(const std::string& from, const std::string& to, int32_t kind);
    bool DeleteReplace(std::string_view from);
    void SetReplaceEnabled(uint8_t flag) { Position.ReplaceEnabled = flag; }
    void SetTextLinePrefix(std::string text) { Position.TextLinePrefix = std::move(text); }
    void SetEmptyLineText(std::string text) { Position.EmptyLineText = std::move(text); }

    void SaveToStream(TStream* stream);
    // False, with nothing changed, when the record is cut short or its counts exceed the bytes.
    bool LoadFromStream(TStream* stream);

    // Read-only views for the interpreter and the tests.
    const std::string& CurrentLine() const { return Line(); }
    int32_t CurrentLineIndex() const { return LineIndex; }
    int32_t CurrentLabel() const { return LabelIndex; }
    int32_t LineOffset() const { return LineOffsetValue; }
    const std::vector<TLabelEntry>& Labels() const { return LabelTable; }
    const std::vector<TReplaceRule>& Rules() const { return ReplaceRules; }
    const TStringList* Lines() const { return LineList.get(); }
    const TReaderPosition& PositionRecord() const { return Position; }

    // Called with the label key (file name followed by label text) and the line offset when a
    // traced line under a label is fetched.
    std::function<void(const std::string&, int32_t)> OnLineRead;
    IScriptLineReplacer* LineReplacer = nullptr;
    IScriptRegExp* RegExp = nullptr;
    // Where loading failures and over-long replaced lines are reported; none: they are not.
    TErrorLog* Log = nullptr;
    // Where scripts are read from; none: nothing is read.
    const TPackSet* Packs = nullptr;

    static std::string StripLineComment(std::string_view line);
    static std::string StripBlockComment(std::string_view line, bool& inComment);

private:
    bool LoadFile(const std::string& name, TStringList& includes, TStringList& lines, std::vector<TLabelEntry>& labels);
    static void AddLabel(std::vector<TLabelEntry>& labels, std::string_view text, int32_t lineIndex, int32_t lineInFile,
                         const std::string& file);
    bool FetchLine(int32_t index, int32_t column);
    std::string ApplyReplace(std::string line) const;
    void SortReplace();

    std::unique_ptr<TStringList> LineList;
    std::vector<TLabelEntry> LabelTable;
    // The label table by a 64-bit hash of the lower-cased text: the first entry with each hash.
    // Scripts hold up to hundreds of thousands of labels and every label line passed looks its
    // label up, so a look-up must not walk the table.
    std::unordered_map<uint64_t, int32_t> LabelIndexByHash;
    static uint64_t LabelHash(std::string_view text);
    void IndexLabels();
    // The answers of the last look-ups by the text as asked: loops, calls and returns jump to the
    // same few labels over and over. They belong to the label table.
    struct TRecentLabel {
        std::string Text;
        int32_t Index = -1;
    };
    static constexpr size_t kRecentLabels = 4;
    mutable TRecentLabel RecentLabels[kRecentLabels];
    mutable size_t RecentLabelCount = 0, RecentLabelNext = 0;
    int32_t FindLabel(std::string_view text) const;
    int32_t LabelIndex = -1;
    int32_t LineOffsetValue = 0;
    int32_t LineIndex = -1;
    int32_t Column = 0;
    std::vector<TReplaceRule> ReplaceRules;
    TReaderPosition Position;
    std::string CurrentLineText;
    std::string LineKey;        // the label key handed to OnLineRead
    int32_t LineKeyLabel = -1;  // the label whose key LineKey holds

    // Statements are cut from a line again on every pass over it, so the cut of each place of the
    // script's own lines is kept: where the statement starts and ends in the line, where the next
    // one starts, and for a label statement the label it names. A line changed by replace rules
    // or a prefix is cut afresh each time. Everything here belongs to the loaded line list.
    struct TCut {
        int32_t Column = 0;      // the column the cut starts at
        int32_t NextColumn = 0;  // the column after it
        int32_t TextStart = 0;   // the trimmed statement within the line
        int32_t TextSize = 0;
        int32_t Label = kNoLabelCut;  // IndexOfLabel of a label statement
        int32_t NextInLine = 0;       // 1 + the index of another cut of the same line, 0 for none
    };
    static constexpr int32_t kNoLabelCut = -2;
    std::vector<TCut> Cuts;               // a place is an index here
    std::vector<int32_t> FirstCutOfLine;  // 1 + the index of a cut of each line, 0 for none
    // The current line is the line list's line, unchanged; CurrentLineText holds it otherwise.
    bool LineIsScriptText = false;
    const std::string& Line() const { return LineIsScriptText ? (*LineList)[LineIndex] : CurrentLineText; }
    uint32_t PlaceGenerationValue = 0;
    void DropCuts();
    std::string StatementText;  // the last statement cut from a line that is not the script's own
    // Cuts the statement at Column from the current line: its trimmed start and size, and the
    // column after it.
    void CutStatement(size_t& textStart, size_t& textSize, size_t& next) const;
};
