// The back-log screen: the messages the player has read, listed inside the game window over a
// frozen picture of the game screen, newest last. Each entry can carry its character's picture, a
// mark colour and a voice icon; clicking an entry replays its voice on the last stream of the
// sound library. The engine core opens it in the first frame of its back-log mode, calls Update
// and Draw once a frame, and closes it once Update reports -1.
//
// The look comes from a layout file, "System\Log\" + the script's log-screen file, or
// "System\Log\Layout.dat" when that cannot be found: key=value lines (KelLogLib::ReadLayout has
// the keys and their defaults), and "no[0]" .. "no[31]" for up to 32 characters, each
//   mark colour, text colour, (unused), picture under "system\log\", speaker name, speaker name...
// where a name "*" takes every speaker. A speaker that no list names, and an entry without a
// speaker, belong to character 31. The layout is read again only when its name changes or after
// a reset.
//
// A scroll value v puts back-log entry (count - 1 - v) at the top of the text area; opening shows
// the newest "DefaultViewCount" entries.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "media/ARGB8888Lib.h"
#include "objects/ImageLib.h"
#include "objects/MessageSelect.h"
#include "platform/ClassLib.h"
#include "shell/KelSystemSeams.h"

class IMessageVoice;
class TImageScrollBar;
class TKelLogData;
class TKelScript;

namespace KelLogLib {

constexpr int32_t kCharacterCount = 32;
constexpr int32_t kNoCharacter = 31;  // speakers no list names
// Fill passes per update at most.
constexpr int32_t kMaxFillPasses = 4096;
// A replayed voice fades out over this time when the screen closes.
constexpr int32_t kReplayFadeMs = 500;
// The text area's layer.
constexpr int32_t kTextLayer = 100;
// Inline commands an entry never runs on this screen: p, pp, w, spd and rp.
constexpr uint32_t kAlwaysIgnored = 0x11A0;
constexpr uint32_t kLockColorBits = 0x4008;  // c, rc
constexpr uint32_t kLockSizeBits = 0x410;    // s, sp, rs
constexpr uint32_t kLockFontBits = 0x2040;   // f, rf
constexpr uint32_t kLockPitchBits = 0x204;   // pi, pip, rpi

struct TCharacter {
    uint32_t MarkColor = 0;
    uint32_t TextColor = 0xFFFFFFFFu;
    std::string Picture;  // as the layout names it, below "system\log\"
    TStringList Names;
};

struct TLayout {
    std::string DivideNameText;
    int32_t DivideNameIndex = 0;
    std::string DivideNameFormat;
    int32_t DefaultViewCount = 4;
    int32_t BeginMuteTime = 0;
    std::string EmptyText;
    uint32_t BGColor = 0;
    std::string BGImage;
    bool WheelDownReturnGame = false;
    int32_t CharacterImageX = 0, CharacterImageY = 0;
    int32_t VoiceIconX = 0, VoiceIconY = 0;
    uint32_t BorderLineColor = 0;
    bool LockColor = false, LockSize = false, LockFontNo = false, LockPitch = false;
    int32_t MsgX = 0, MsgY = 0;
    int32_t HitX1 = 0, HitY1 = 0, HitX2 = 600, HitY2 = 800;
    int32_t TextLeft = 0, TextTop = 0, TextRight = 600, TextBottom = 800;
    uint32_t SelectColor = 0x88FFFFFFu;
    int32_t Space = 0;
    int32_t PitchX = 0, PitchY = 0;
    int32_t SizeW = 24, SizeH = 24;
    int32_t FontNo = 0;
    int32_t ReturnSpace = 0;
    int32_t RubyX = 0, RubyY = 0;
    int32_t RubyPitchX = 0, RubyPitchY = 0;
    int32_t RubySizeW = 24, RubySizeH = 24;
    int32_t RubyFontNo = 0;
    std::string VoiceIconImage;
    std::string ScrollThumb, ScrollTrack;
    int32_t ScrollType = 0;
    int32_t ScrollX = 0, ScrollY = 0, ScrollZ = 0;
    std::array<TCharacter, kCharacterCount> Characters;
};

// Every key of a layout file. A list value is split at each comma with the empty pieces dropped,
// so "10,,20" reads as "10,20"; numbers that are missing or malformed take the default, colours
// may also be "$" and hexadecimal digits.
TLayout ReadLayout(const TStringList& lines);
// One "no[i]" value.
TCharacter ReadCharacter(std::string_view value);
// The character 0..31 of a speaker: the first whose names hold it (without regard to ASCII case)
// or hold "*"; 31 for an empty name and for one no list holds.
int32_t CharacterOf(const TLayout& layout, std::string_view speaker);
// The header and text of an entry as the text area types it: the speaker's shown name put into
// "DivideNameFormat" ("%%%name", and "%%%actcolor" as "$" and the eight hexadecimal digits of the
// character's text colour), then the text.
std::string EntryLine(const TLayout& layout, std::string_view speaker, std::string_view text, uint32_t textColor);

}  // namespace KelLogLib

class TKelLog final : public IKelScreen {
public:
    // Voices replay through the given streams, by default those of the interpreter's sound
    // library (none without one).
    explicit TKelLog(TKelScript& owner, std::unique_ptr<IMessageVoice> voices = nullptr);
    ~TKelLog() override;
    TKelLog(const TKelLog&) = delete;
    TKelLog& operator=(const TKelLog&) = delete;

    void Reset() override { Clear(); }
    void Open(int32_t kind) override;
    // 0 while open; -1 once a close was asked for and the mute time is over.
    int32_t Update(int32_t elapsed) override;
    void Draw() override;
    // A voice this screen replayed fades out; anything else on that stream is left alone.
    void Close() override;

    // Frees what the layout made and forgets its name.
    void Clear();
    // Reads the layout unless it is the one loaded. False when neither the script's layout nor
    // the default one can be read: the screen then shows the frozen game screen alone and closes
    // on the usual keys, and the error log says so.
    bool LoadLayout();
    int32_t CharacterIndex(std::string_view speaker) const { return KelLogLib::CharacterOf(Layout, speaker); }

    // The stream replays play on: the last of the sound library's.
    static int32_t ReplayStream();

    // ---- fields ----
    TKelScript& Owner;
    std::unique_ptr<TImageScrollBar> ScrollBar;
    std::unique_ptr<TARGB8888> Snapshot;
    ImageLib::TPtr<TMessageSelect> Entries;
    std::unique_ptr<TARGB8888> VoiceIcon;
    int32_t ScreenWidth = 0, ScreenHeight = 0;
    bool Opened = false;
    ImageLib::TPtr<TImageLib> Background;
    KelLogLib::TLayout Layout;
    std::array<std::unique_ptr<TARGB8888>, KelLogLib::kCharacterCount> CharacterImages;
    int32_t MuteLeft = 0;
    std::string LayoutName;
    int32_t CloseRequested = 0;
    // Whether a layout was read; without one the screen lists nothing.
    bool LayoutLoaded = false;
    // Whether the replay stream plays a voice this screen started.
    bool ReplayStarted = false;

private:
    TKelLogData* LogData() const;
    int32_t EntryCount() const;
    int32_t LastEffectChannel() const;
    void MakeSnapshot();
    void MakeTextArea();
    void HandleInput();
    void ScrollTo(int32_t value);
    bool AtEnd() const;
    void RequestClose() { CloseRequested = -1; }
    void ClickEntries(int32_t x, int32_t y);
    void Replay(const TMessageSelect::TRow& row);
    void FillRows();
    // Types one entry (or the empty text) in the character's colours; false once the area
    // refuses the row.
    bool AddEntry(const std::string& line, int32_t character, int32_t index, const std::string& voice);

    std::unique_ptr<IMessageVoice> Voices;
};
