// The text of a message window: a Shift-JIS message with inline commands in square brackets,
// typeset one character per step into the window's text bitmap.
//
// The typesetter walks a message in tokens: single characters (two bytes after a lead byte
// 0x81..0x9F or 0xE0..0xFF, else one) and commands, from "[" to the "]" that matches it, brackets
// nesting, trail bytes never counting as brackets. A command's word packs its first four bytes,
// lower-cased, into a 32-bit key; its arguments follow, separated by commas outside quotes and
// brackets. Text queued by "pc", "pr" and "rb" goes into an insert string that is read before the
// rest of the message.
//
// TMessageText keeps the typesetting state and does one step at a time; the message window
// derives from it together with the screen-object base, decides when steps run (reveal speed,
// waits, flush, replay), and hooks in through the three virtual members: ClearText (voices,
// the text fade), OnCharacterDrawn and OnPageFull (the auto mode's wait counter).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "media/ARGB8888Lib.h"

class TStream;
class TStringList;

// Where the reveal stands.
enum class TMessageState : uint8_t {
    Done = 0,      // nothing left to typeset
    Printing = 1,  // characters come one by one, or a wait runs
    PageFull = 2,  // typesetting stops until the player advances
};

namespace MessageLib {

// Bits of the ignore mask: a set bit turns its group of inline commands into no-ops.
constexpr uint32_t kIgnoreNewLine = 1u << 0;         // n, np
constexpr uint32_t kIgnoreNewLineColumn0 = 1u << 1;  // nn, nnp
constexpr uint32_t kIgnorePitch = 1u << 2;           // pi, pip
constexpr uint32_t kIgnoreColor = 1u << 3;           // c
constexpr uint32_t kIgnoreSize = 1u << 4;            // s, sp
constexpr uint32_t kIgnorePosition = 1u << 5;        // p, pp
constexpr uint32_t kIgnoreFont = 1u << 6;            // f
constexpr uint32_t kIgnoreWait = 1u << 7;            // w
constexpr uint32_t kIgnoreSpeed = 1u << 8;           // spd
constexpr uint32_t kIgnoreRubyPitch = 1u << 9;       // rpi
constexpr uint32_t kIgnoreRubySize = 1u << 10;       // rs
constexpr uint32_t kIgnoreRuby = 1u << 11;           // rb
constexpr uint32_t kIgnoreRubyPosition = 1u << 12;   // rp
constexpr uint32_t kIgnoreRubyFont = 1u << 13;       // rf
constexpr uint32_t kIgnoreRubyColor = 1u << 14;      // rc
constexpr uint32_t kIgnoreIndent = 1u << 16;         // i, ip
constexpr uint32_t kIgnoreCentre = 1u << 17;         // pc
constexpr uint32_t kIgnoreRight = 1u << 18;          // pr
constexpr uint32_t kIgnoreLimit = 1u << 20;          // lim

// The text bitmap's colour where nothing is drawn: grey with alpha 0, so that scaled glyph edges
// blend towards grey rather than black.
constexpr uint32_t kEmptyColor = 0x00888888u;
// The largest text bitmap a side; a larger text area is cut to it.
constexpr int32_t kMaxTextSide = 4096;
// A flush stops after this many steps even when text is left.
constexpr int32_t kFlushSteps = 4097;
// The stream strings of a saved message hold at most this many bytes.
constexpr size_t kMaxSavedText = 65535;

// "「（": may start a line in the margin.
inline constexpr std::string_view kDefaultHangingSet = "\x81\x75\x81\x69";

}  // namespace MessageLib

// How a placed character came to stand where it is, for the layout dump.
enum class TGlyphHang : uint8_t {
    None = 0,
    PastLineEnd = 1,  // a closing mark or space allowed to stand past the line end
    IntoMargin = 2,   // an opening bracket moved back into the margin at a line start
};

// One character drawn into the text bitmap.
struct TPlacedGlyph {
    std::string Text;  // the character's bytes
    int32_t X = 0, Y = 0;
    int32_t ExtentWidth = 0, ExtentHeight = 0;
    int32_t Font = 0;
    int32_t Width = 0, Height = 0;  // the cell asked of the font (swapped in vertical writing)
    uint32_t Color = 0;
    int32_t Line = 0;  // lines begun since the page was cleared
    TGlyphHang Hang = TGlyphHang::None;
    bool Ruby = false;
};

// Told of everything the typesetter does, for the layout dump; the typesetter works the same
// with or without one.
class IMessageLayoutObserver {
public:
    virtual ~IMessageLayoutObserver() = default;
    virtual void GlyphPlaced(const TPlacedGlyph& glyph) = 0;
    // Commands run or skipped, new lines, scrolls, full pages, waits, dropped characters.
    virtual void StateChanged(const std::string& what) = 0;
};

class TMessageText {
public:
    TMessageText();
    virtual ~TMessageText() = default;
    TMessageText(const TMessageText&) = delete;
    TMessageText& operator=(const TMessageText&) = delete;

    // ---- Steps

    // Runs commands up to and including one character (or one ruby). True when nothing is left
    // to read; the state then becomes done.
    bool Step(bool flush);
    // Steps instantly (waits skipped, full pages scrolled) until done, at most kFlushSteps steps.
    void Flush();
    // Empties the page: flushes what is pending, fills the bitmap with kEmptyColor, forgets the
    // text, and starts the new text with the pen and the current style as commands, so that a
    // replay of the text rebuilds the style. The window adds its voices and fade.
    virtual void ClearText();
    // Clears the page, takes text as the main text and typesets it instantly up to the byte
    // position (and through any inserted text pending there), reading nothing past it: a page
    // saved while full or during a wait comes back as it was, not scrolled or a character ahead.
    // Steps are capped at three per byte plus 16, so that no text keeps a load from finishing.
    void ReplayText(const std::string& text, int32_t position);
    // The style back to its defaults, the texts emptied, the area (0, 0, 0, 0). The window's
    // clear calls it after ClearText.
    void ResetTypesetting();

    // ---- Text in

    void AppendText(std::string_view text);     // to the main text and the log copy; state printing
    void AddCommand(std::string_view command);  // AppendText("[" + command lower-cased + "]")
    void InsertText(std::string_view text);     // read before the rest of the main text
    // A CR, with the byte that follows it, turns into "[n]".
    static std::string CrLfToTags(std::string_view text);

    // The command appenders.
    void SetPos(int32_t x, int32_t y);
    void SetSize(int32_t w, int32_t h);
    void SetColor(uint32_t color);
    void SetPitch(int32_t x, int32_t y);
    void SetFont(int32_t font);
    void SetSpeed(int32_t ms);
    void SetRubyColor(uint32_t color);
    void SetRubyFont(int32_t font);
    void SetRubyPitch(int32_t x, int32_t y);
    void SetRubySize(int32_t w, int32_t h);
    void SetRubyPos(int32_t x, int32_t y);
    void Wait(int32_t ms);  // nothing while instant

    // ---- Area and options

    // Unchanged values do nothing. Otherwise the page is cleared, the rectangle stored as given and
    // the bitmap sized to the area (at least 4 x 4). A width or height of 0 or less makes the area
    // empty (nothing is drawn); a side above kMaxTextSide is cut to it, with a warning in the log.
    void SetTextRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void SetTextSize(int32_t w, int32_t h) { SetTextRect(0, 0, w, h); }
    void SetVertical(bool vertical);  // then ClearText
    void SetMargin(int32_t px) { Margin = px; }
    int32_t AreaWidth() const;   // 0 for an empty area
    int32_t AreaHeight() const;  // 0 for an empty area
    bool AreaEmpty() const { return AreaWidth() == 0 || AreaHeight() == 0; }
    bool InkEmpty() const { return !(InkMaxX > InkMinX && InkMinY < InkMaxY); }

    // ---- Tokens and measures

    bool HasMainText() const { return static_cast<size_t>(MainPos) < MainText.size(); }
    bool HasInsertText() const { return static_cast<size_t>(InsertPos) < InsertString.size(); }
    std::string ReadToken();
    std::string ReadInsertToken();
    // The token at byte pos of text: its length in bytes, and whether it is a command that its
    // closing bracket ends.
    static size_t TokenLength(std::string_view text, size_t pos, bool& closed);
    // A two-byte character anywhere, or a character outside the commands.
    static bool HasPrintableText(std::string_view text);
    bool HasPendingText() const { return HasPrintableText(LogCopy); }
    static int32_t StringWidth(std::string_view text, int32_t size, int32_t pitch);
    int32_t TextWidth(std::string_view text) const;

    // ---- Layout

    bool DrawGlyph(const std::string& character);  // false: read the character again later
    bool DrawRuby(const std::string& base, const std::string& ruby);
    bool CheckLineBreak(std::string_view text);  // true when it began a new line
    bool CheckPageFull();                        // true for a full page, also one just scrolled
    void NewLine(int32_t step);
    void NewLineToColumn0(int32_t step);
    void ScrollLine();
    void ApplyLineIndent(std::string_view character);
    void ApplyPitch(int32_t x, int32_t y);

    // ---- Saved texts

    // The main text and the log copy as stream strings. A text longer than a stream string holds
    // is cut there, and a replay of it would stop early: that is written to the error log.
    void WriteTexts(TStream& stream) const;
    // Reads what WriteTexts wrote; false when the stream ends early.
    static bool ReadTexts(TStream& stream, std::string& mainText, std::string& logCopy);

    // ---- State (the saved fields are written by the window's record)

    std::string MainText;
    int32_t MainPos = 0;
    std::string InsertString;
    int32_t InsertPos = 0;
    std::string LogCopy;  // the text since the last back-log entry

    int32_t AreaLeft = 0, AreaTop = 0, AreaRight = 0, AreaBottom = 0;
    uint8_t Vertical = 0;
    int32_t PenX = 0, PenY = 0;
    int32_t Margin = 0;
    int32_t Font = 0, PrevFont = 0;
    int32_t SizeW = 32, SizeH = 32, PrevSizeW = 32, PrevSizeH = 32;
    uint32_t Color = 0xFFFFFFFFu, PrevColor = 0xFFFFFFFFu;
    int32_t PitchX = 0, PitchY = 0, PrevPitchX = 0, PrevPitchY = 0;
    int32_t RubySizeW = 12, RubySizeH = 12;
    uint32_t RubyColor = 0xFFFFFFFFu, PrevRubyColor = 0xFFFFFFFFu;
    int32_t RubyFont = 7;  // kept as given; a slot outside 0..7 draws with font 0
    int32_t RubyPitchX = 0, RubyPitchY = 0;
    int32_t RubyOffsetX = 0, RubyOffsetY = -8;
    int32_t Speed = -1;  // ms per character; negative: the window's own speed
    int32_t WaitLeft = 0;
    std::string HangingSet{MessageLib::kDefaultHangingSet};
    uint8_t AutoScroll = 0;  // a full page scrolls at once

    int32_t WidthLimit = 0;  // 0: no limit
    int32_t AdvanceSinceLimit = 0;
    int32_t TallestOnLine = 0;
    int32_t GlyphsOnLine = 0;
    int32_t HangCount = 0;
    int32_t InkMinX = 1000, InkMinY = 1000, InkMaxX = 0, InkMaxY = 0;
    uint32_t IgnoreMask = 0;
    uint8_t Instant = 0;
    uint8_t PageCheck = 1;
    TMessageState State = TMessageState::Printing;
    int32_t LineNumber = 0;  // lines begun since the page was cleared

    TARGB8888 TextBitmap;
    IMessageLayoutObserver* Observer = nullptr;  // not owned

protected:
    // Every character drawn, and every page found full, feeds the auto mode's wait.
    virtual void OnCharacterDrawn() {}
    virtual void OnPageFull() {}

private:
    void RunCommand(const TStringList& items, const std::string& token);
    void GrowInk(int64_t x, int64_t y, int64_t w, int64_t h);
    TPlacedGlyph Placed(const std::string& character, int32_t x, int32_t y, int32_t ew, int32_t eh, int32_t font,
                        int32_t w, int32_t h, uint32_t color, bool ruby) const;
    void FillEmpty();
    void Note(const std::string& what) {
        if (Observer) Observer->StateChanged(what);
    }

    // Whether the line has a character on it, so that a character too wide for an empty line is
    // placed (and clipped) instead of breaking line after line.
    bool LineHasGlyph = false;
    TGlyphHang PendingHang = TGlyphHang::None;
    int64_t ReplayStop = -1;  // while replaying: the main read position to stop at
};
