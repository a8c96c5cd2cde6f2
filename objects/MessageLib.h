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
// TMessageText keeps the typesetting state and does one step at a time. TMessageLib, the message
// window, derives from it together with the screen-object base: it decides when steps run (reveal
// speed, waits, flush, replay), fades its text in and out, plays the voice of the current line,
// hands finished messages to the back-log, feeds the auto mode's wait and saves a half-typed page
// so that a load shows it again.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "media/ARGB8888Lib.h"
#include "objects/ImageLib.h"

class TErrorLog;
class TFontTable;
struct TSystemData;
class TKelLogData;
class TRecordReader;
class TRecordWriter;
class TSound;
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
    virtual void Flush();
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
    // is cut to its first kMaxSavedText bytes, and a replay of it would stop early: that is
    // written to the error log.
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
    // The game's fonts, which Font and RubyFont number; none: characters are read and laid out but
    // not drawn, and take no room. The maker of the window links it.
    TFontTable* Fonts = nullptr;
    IMessageLayoutObserver* Observer = nullptr;  // not owned
    // The game's error log, which hears of a text area or a saved text cut down; none: it is not
    // written. The maker of the window links it.
    TErrorLog* WarningLog = nullptr;

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

// The streams a message window plays its voices on: the sound library's, or a fake in tests.
class IMessageVoice {
public:
    virtual ~IMessageVoice() = default;
    virtual void Stop(int32_t stream) = 0;
    // Loads the file into the stream as a voice of the speaker channel; false when it cannot.
    virtual bool LoadVoice(int32_t stream, const std::string& file, uint32_t speakerChannel) = 0;
    virtual void SetVolume(int32_t stream, int32_t volume, int32_t fadeMs) = 0;  // volume 0..255
    virtual void SeekMs(int32_t stream, int32_t ms) = 0;
    virtual void SkipSilence(int32_t stream, int32_t level) = 0;
    virtual void SetAutoGain(int32_t stream, int32_t level) = 0;
    virtual void PlayOnce(int32_t stream) = 0;
    // Every playing voice of the speaker channel fades to silence over the time.
    virtual void FadeOutVoices(uint32_t speakerChannel, int32_t fadeMs) = 0;
};

namespace MessageLib {

// The voices of a window on the streams of a sound library; none without a library.
std::unique_ptr<IMessageVoice> StreamVoices(TSound* sound);

// Voices still playing when their window's text is cleared fade out over this time.
constexpr int32_t kVoiceFadeMs = 500;
// Full opacity of the text; the fade rate counts in these units per second.
constexpr int32_t kOpaqueText = 1024;
// The fade rate's magnitude for a fade time of 1 ms, and for no fade time at all.
constexpr int32_t kInstantFadeRate = 1024000;
// The speed a window has when its text asks for none and it does not use the configuration's.
constexpr int32_t kOwnSpeed = 50;
// An Update reveals at most this many characters.
constexpr int32_t kStepsPerUpdate = 4096;

}  // namespace MessageLib

// A message window's saved state, 668 bytes after the screen object's, integers little-endian,
// short strings a length byte and their capacity:
//   0    u8   state (0 done, 1 printing, 2 page full)   1    u8   vertical writing
//   2    i32  font, previous font                      10   i32 x 4  text area left, top, right, bottom
//   26   i32  pen x, y                                 34   i32  pitch x, y
//   42   i32  previous pitch x, y                      50   i32  size w, h
//   58   i32  previous size w, h                       66   i32  main read position
//   70   u32  colour, previous colour                  78   i32  ruby size w, h
//   86   u32  ruby colour, previous ruby colour        94   i32  ruby font
//   98   i32  ruby pitch x, y                          106  i32  ruby offset x, y
//   114  i32  wait left, ms                            118  128  speaker name (short string of 127)
//   246  128  voice file                               374  i32  voice volume 0..255
//   378  i32  voice silence-skip level                 382  i32  voice start, ms
//   386  i32  voice auto-gain level                    390  i32  text alpha 0..1024
//   394  i32  text fade rate, per second               398  i32  fade rate magnitude
//   402  i32  margin                                   406  128  hanging set
//   534  i32  speed, ms per character                  538  u8   auto-scroll
//   539  u8   auto-wait                                540  128  zero
// The main text and the log copy follow as stream strings.
struct TMessageRecord {
    static constexpr int32_t kSize = 668;
    static constexpr int32_t kNameCapacity = 127;
    static constexpr int32_t kReservedSize = 128;

    uint8_t State = 1;
    uint8_t Vertical = 0;
    int32_t Font = 0, PrevFont = 0;
    int32_t AreaLeft = 0, AreaTop = 0, AreaRight = 0, AreaBottom = 0;
    int32_t PenX = 0, PenY = 0;
    int32_t PitchX = 0, PitchY = 0, PrevPitchX = 0, PrevPitchY = 0;
    int32_t SizeW = 32, SizeH = 32, PrevSizeW = 32, PrevSizeH = 32;
    int32_t MainPos = 0;
    uint32_t Color = 0xFFFFFFFFu, PrevColor = 0xFFFFFFFFu;
    int32_t RubySizeW = 12, RubySizeH = 12;
    uint32_t RubyColor = 0xFFFFFFFFu, PrevRubyColor = 0xFFFFFFFFu;
    int32_t RubyFont = 7;
    int32_t RubyPitchX = 0, RubyPitchY = 0;
    int32_t RubyOffsetX = 0, RubyOffsetY = -8;
    int32_t WaitLeft = 0;
    std::string SpeakerName, VoiceFile;
    int32_t VoiceVolume = 255, VoiceSkipLevel = 0, VoiceStart = 0, VoiceAutoGain = 0;
    int32_t TextAlpha = 0, FadeRate = -MessageLib::kInstantFadeRate, FadeMagnitude = MessageLib::kInstantFadeRate;
    int32_t Margin = 0;
    std::string HangingSet{MessageLib::kDefaultHangingSet};
    int32_t Speed = -1;
    uint8_t AutoScroll = 0;
    uint8_t AutoWait = 0;

    void Write(TRecordWriter& w) const;
    // Length bytes beyond a string's capacity are taken as the capacity.
    void Read(TRecordReader& r);
    bool operator==(const TMessageRecord&) const = default;
};

// The message window: a screen object whose picture is the window's frame, with the text typed
// into its text bitmap. Without a picture the window draws the inked part of the bitmap itself,
// ten layers above its own; with one, the animation's "*messurface" layers show the bitmap.
//
// Reveal: characters come one every GetEffectiveSpeed() ms of Update time; a "w" wait holds the
// clock; a full page stops until Advance scrolls it one line. The text fades in over the fade
// time when the window is opened or shown and out when it is closed or hidden or its text
// cleared. Made like every screen object: ImageLib::Make<TMessageLib>(packs, sound, voices, log).
class TMessageLib : public TImageLib, public TMessageText {
public:
    // packs: where pictures and voices are found; sound: the animation's effect channels (none:
    // silent); voices: where the voices play (none: no voices); log: where finished messages go
    // (none: nowhere).
    explicit TMessageLib(const TPackSet& packs, IAnimationSound* sound = nullptr,
                         std::unique_ptr<IMessageVoice> voices = nullptr, TKelLogData* log = nullptr);
    ~TMessageLib() override;

    // ---- the screen object's operations ----
    // Everything back to the state after construction but the own speed, the configuration
    // speed switch, the fade time and the voice's auto-gain level; the window ends hidden.
    void Clear() override;
    // The base object's frame, the text fade, the reveal, and the "*OnScroll" motion while a full
    // page waits ("*OffScroll" once it has been turned).
    void Update(uint32_t mask, int32_t elapsed) override;
    void Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) override;
    void Show() override;     // the text at once opaque
    void Hide() override;     // the text at once gone
    void Enable() override;   // opens the window: the text fades in
    void Disable() override;  // closes it: the text fades out
    bool SaveToStream(TStream* stream) override;
    // The screen object's state, then the record and the texts; the page is typed again to
    // where it had come. False, with the window cleared, for a damaged or short stream.
    bool LoadFromStream(TStream* stream) override;

    // ---- text ----
    // Opens an enabled window again, turns line breaks into "[n]" and appends; at speed 0 the
    // whole text is typed at once.
    void AddText(std::string_view text);
    // The page emptied, and the window's own part of it: the voice file forgotten, the
    // speaker's voices faded out (not while loading), the text faded out.
    void ClearText() override;
    void Flush() override;  // and the reveal clock starts again
    // The player's advance, when the input mask meets mask: while typing, the page at once and
    // opaque; at a full page, one line on.
    void Advance(uint32_t mask);
    TMessageState GetState() const { return State; }
    // ms per character: the text's speed, else the configuration's "MessageSpeed" when the
    // window uses it, else its own.
    int32_t GetEffectiveSpeed() const;
    // The finished message to the back-log (when it shows anything and there is a log); the log
    // copy is emptied either way.
    void AddToLog();

    // ---- options ----
    void SetFadeTime(int32_t ms);
    void SetAutoWait(bool on) { AutoWait = on ? 1 : 0; }
    void SetAutoScroll(bool on) { AutoScroll = on ? 1 : 0; }
    void SetHangingSet(std::string_view characters);  // cut to 127 bytes
    void SetSpeakerName(std::string_view name);       // cut to 127 bytes

    // ---- voice ----
    // The voice of the current line: an empty file forgets it (true); a file that no pack holds
    // is kept by its given name and gives false. Otherwise the window's stream stops and, when
    // play is set, the speaker's channel is not muted and the game is not skipping, plays the
    // voice at the speaker's volume scaled by the voice volume, from the voice start, skipping a
    // quiet start and with the auto-gain level as set; true, or false when the file does not load
    // as a voice (a damaged Ogg stream), the name kept for the back-log all the same.
    bool PlayVoice(const std::string& file, bool play);
    void SetVoiceVolume(int32_t volume) { VoiceVolume = std::clamp(volume, 0, 255); }
    void SetVoiceStart(int32_t ms) { VoiceStart = ms; }
    void SetVoiceSkipLevel(int32_t level) { VoiceSkipLevel = level; }
    void SetVoiceAutoGain(int32_t level) { VoiceAutoGain = level; }

    // The record of the window's current state.
    TMessageRecord MakeRecord() const;

    int32_t OwnSpeed = MessageLib::kOwnSpeed;
    uint8_t UseConfigSpeed = 0;  // script windows set it
    int32_t RevealClock = 0;     // ms towards the next character
    uint8_t SuppressVoiceStop = 0;
    std::string SpeakerName;
    std::string VoiceFile;
    int32_t VoiceVolume = 255, VoiceSkipLevel = 0, VoiceStart = 0, VoiceAutoGain = 0;
    int32_t TextAlpha = 0;  // 0..kOpaqueText
    int32_t FadeRate = -MessageLib::kInstantFadeRate;
    int32_t FadeMagnitude = MessageLib::kInstantFadeRate;
    uint8_t AutoWait = 0;                   // characters and full pages add to the auto mode's wait
    TKelLogData* Log = nullptr;             // not owned
    std::unique_ptr<IMessageVoice> Voices;  // none: voices are neither played nor faded
    // The game's live settings: the configured speed, the speakers' voice channels, volumes and
    // mutes, skip mode and the auto mode's waits; the maker of the window links it. None (a window
    // no script made): the own speed, every voice on the last channel at full volume, and no
    // auto-mode waits.
    const TSystemData* Config = nullptr;
    // The auto mode's wait that characters and full pages add to, the interpreter's that made the
    // window; none: they add to nothing.
    int32_t* AutoModeWait = nullptr;

protected:
    void OnCharacterDrawn() override;
    void OnPageFull() override;

private:
    void FadeBy(int64_t units);
    void ApplyLoaded(const TMessageRecord& saved, const std::string& mainText, const std::string& logCopy);
};
