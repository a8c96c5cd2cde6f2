// The engine's configuration: the record TSystemData with the game's system settings and the
// user's settings, the readers and the merging writer of the key=value files, and TSystemConfig,
// one per game context, with the live record Config, the game's user-setting defaults
// DefaultConfig, the speaker and font candidate lists, the message table with the texts of the
// engine's dialogs, and the setting of the game's 8 fonts.
//
// Every configuration file is Shift-JIS text of key=value lines:
// - everything before the first "=" is the line's name, blanks included, and everything after it
//   the value; a key finds the lines whose names spell it with any ASCII case;
// - of several such lines the earliest counts; with none the value is empty;
// - numbers are 32-bit integers in decimal, or in hexadecimal after a "$" (leading spaces and a
//   sign are allowed); anything else gives the key's default;
// - booleans are "TRUE" or "FALSE" in any letter case; anything else gives the default;
// - indexed keys put a decimal index from 0 in brackets: "DLLObject[3]", "Font[0].Name".
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ClassLib.h"

class TErrorLog;
class TPackSet;  // foundation/PackLib.h

constexpr int32_t kFontSlotCount = 8;
constexpr int32_t kVoiceChannelCount = 32;
constexpr int32_t kDLLObjectCount = 16;
constexpr int32_t kFontCandidateCount = 32;

// The settings of one font slot ("Font[%d].Name", ".Style", ".AA", ".StyleColor").
struct TFontSetting {
    std::string Name;        // face name; empty when none is chosen
    int32_t Style = 0;       // bits: 1 bold, 2 shadow, 4 outline, 8 thick outline
    int32_t AA = 0;          // smoothing 0..2
    int32_t StyleColor = 0;  // 0x00RRGGBB of shadow and outline
};

// The configuration record. A default-constructed record is all zero, as DefaultConfig starts.
struct TSystemData {
    // ---- system settings, "System\etc\Game.dat" ----
    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;
    std::string GameTitle;
    std::string FormCaption;  // window caption template ("%%%fps", "%%%limit", "%%%cpu")
    uint32_t CodeKey = 0;     // key of the save-data scrambling; 24 bits used
    int32_t MinimizeSystemStop = 0;
    std::string FormCloseEventLabel;
    int32_t ThumWidth = 0;
    int32_t ThumHeight = 0;
    std::array<std::string, kDLLObjectCount> DLLObjectPaths;
    std::array<std::string, kDLLObjectCount> DLLObjectNames;
    int32_t QuickSaveCount = 0;
    bool ConfigStartupSkip = false;
    bool ConfigSoundTab = false;
    bool ConfigGamePadTab = false;
    bool ConfigSpecTab = false;
    bool ConfigOptionTab = false;
    bool ConfigMovie = false;
    bool ConfigCRC = false;
    bool ConfigSurfaceMemory = false;
    bool ConfigForceWindowMode = false;
    int32_t MulBGMVolume = 0;  // game-side volume factors in 256ths
    int32_t MulVOICEVolume = 0;
    int32_t MulSEVolume = 0;

    // ---- font candidate lists, "system\font\fontdata.dat" ----
    // Per slot the candidate face names, and beside each "1" (named in the file) or "0" (found
    // by enumerating the installed faces).
    std::array<TStringList, kFontSlotCount> FontLists;
    std::array<TStringList, kFontSlotCount> FontListFlags;

    // ---- user settings, "System\etc\Config.txt" and "GameData\System\config.txt" ----
    int32_t FullScreen = 0;  // 0 window, 1 full screen
    int32_t ColorMode = 0;   // full-screen depth: 0 16 bits, 1 32 bits
    int32_t FPSLimit = 0;
    int32_t Interlace = 0;
    int32_t StreamLength = 0;  // bytes of the streaming sound buffer
    int32_t CacheSize = 0;     // image cache capacity in bytes
    int32_t UseGamePad = 0;
    int32_t MovieDecoder = 0;
    int32_t CRCCheck = 0;
    int32_t SurfaceMemory = 0;
    int32_t TaskTrayMode = 0;
    int32_t ForceDirectSoundMode = 0;
    std::array<TFontSetting, kFontSlotCount> Font;
    int32_t BGMVolume = 0;  // 0..255
    int32_t VOICEVolume = 0;
    int32_t SEVolume = 0;
    int32_t BGMMute = 0;
    int32_t VOICEMute = 0;
    int32_t SEMute = 0;
    int32_t MessageSpeed = 0;       // 0..100
    int32_t MessageAlpha = 0;       // 0..255
    int32_t AutoPlayWaitTime = 0;   // per character, 0..200
    int32_t AutoPlayClickTime = 0;  // per page in ms, 0..5000
    std::array<int32_t, kVoiceChannelCount> ActorVolume{};
    std::array<int32_t, kVoiceChannelCount> ActorMute{};

    // ---- speaker lists, "system\voice\voicedata.dat": the speaker names of each voice channel ----
    std::array<TStringList, kVoiceChannelCount> ActorLists;

    // Run-time mode, never stored: skip mode is active. The interpreter sets it at every frame step.
    bool Skipping = false;
};

// The 16 drawing layers of a system font, kept as the 16 colours, x offsets, y offsets, boldness
// steps and own-colour flags. A layer with the own-colour flag draws in its colour instead of the
// text colour; layer 15 is the glyph itself.
struct TFontEffectTable {
    std::array<uint32_t, 16> Color{};  // ARGB
    std::array<int16_t, 16> X{};
    std::array<int16_t, 16> Y{};
    std::array<uint8_t, 16> Weight{};
    std::array<uint8_t, 16> OwnColor{};
};

// One of the game's fonts as the configuration sets it. The imaging subsystem owns the fonts and
// hands them over with TSystemConfig::RegisterFonts.
class IConfigFont {
public:
    virtual ~IConfigFont() = default;
    virtual const std::string& FaceName() const = 0;
    virtual bool IsBitmapFont() const = 0;
    // Either stream may be nil. False when the font could not be made from them; Error then says
    // why.
    virtual bool LoadBitmapFont(const std::string& name, TStream* horizontal, TStream* vertical) = 0;
    // Why the last LoadBitmapFont failed, as the loader words it; empty after a success.
    virtual std::string Error() const = 0;
    // A face rendered on demand with the supersampling factor (1, 2 or 4) and the effect layers.
    virtual void SetSystemFont(const std::string& name, int32_t supersampling, const TFontEffectTable& effects) = 0;
};

// An installed face as the enumeration reports it.
struct TFontFace {
    std::string FullName;        // Shift-JIS
    uint8_t CharSet = 0;         // 128: Shift-JIS
    uint8_t PitchAndFamily = 0;  // pitch in the low bits: 1 fixed, 2 variable
};

namespace SystemConfigLib {

inline constexpr const char* kGameDataFile = "System\\etc\\Game.dat";
inline constexpr const char* kDefaultConfigFile = "System\\etc\\Config.txt";
inline constexpr const char* kUserConfigFile = "GameData\\System\\config.txt";
inline constexpr const char* kVoiceDataFile = "system\\voice\\voicedata.dat";
inline constexpr const char* kFontDataFile = "system\\font\\fontdata.dat";
inline constexpr const char* kDiskMessageFile = "GameData\\System\\Message.Dat";
inline constexpr const char* kPackMessageFile = "System\\etc\\Message.dat";
inline constexpr const char* kPackMessageTextFile = "System\\etc\\Message.txt";

// Readers and writer over streams; a nil stream does nothing. Readers take the text from the
// stream's position.
void LoadSystemConfig(TSystemData& data, TStream* stream);
void LoadUserConfig(TSystemData& data, TStream* stream);
// Merges the user keys into the lines the stream holds (read from position 0), then rewrites the
// stream with CR LF line ends. Lines with other keys, comments and blank lines keep their places.
void SaveUserConfig(const TSystemData& data, TStream* stream);

// The user's file on the disk (an engine path). Loading does nothing when the file is missing or
// cannot be read. Saving keeps the old file as name + ".bak", then replaces the file safely with
// the merged settings; false when the settings could not be written (the old file then stays).
void LoadUserConfigFile(const TFileRoot& root, TSystemData& data, const std::string& fileName);
bool SaveUserConfigFile(const TFileRoot& root, const TSystemData& data, const std::string& fileName);

void LoadStrings(TStringList& list, TStream* stream);
void LoadActorLists(TSystemData& data, TStream* stream);
void AddFontCandidate(TSystemData& data, int32_t slot, const std::string& name, const std::string& flag);

// The enumeration callbacks of "system", "system_fix" and "system_pro" in the font lists: each
// enters the face into the slot's candidates (flag "0") when it passes, and returns 1 (go on).
int32_t EnumAllFontsProc(TSystemData& data, const TFontFace& face, int32_t slot);
int32_t EnumFixedFontsProc(TSystemData& data, const TFontFace& face, int32_t slot);
int32_t EnumProportionalFontsProc(TSystemData& data, const TFontFace& face, int32_t slot);

using TFontFaceSource = std::function<std::vector<TFontFace>()>;
using TFontSlots = std::function<IConfigFont*(int32_t slot)>;

// The effect layers of a system font for a style and style colour.
TFontEffectTable FontEffects(int32_t style, int32_t styleColor);
// The supersampling factor of a smoothing setting: 0 -> 1, 1 -> 2, 2 -> 4, others 2.
int32_t Supersampling(int32_t aa);

}  // namespace SystemConfigLib

// The configuration of one game, held by its game context: the live settings, the game's defaults,
// the message table and the font hooks of the imaging subsystem.
class TSystemConfig {
public:
    TSystemConfig();

    TSystemData Config;         // the live configuration; has the start values from the start
    TSystemData DefaultConfig;  // the game's user-setting defaults; all zero until read
    TStringList MessageTable;   // texts of the engine's dialogs by key; a missing key is ""

    // Config gets its start values and DefaultConfig becomes all zero; the message table stays.
    void InitDefaults();

    // Reads the font candidate lists; "system", "system_fix" and "system_pro" expand to the
    // installed faces the imaging subsystem reports.
    void LoadFontLists(TSystemData& data, TStream* stream);

    // Set by the imaging subsystem: the installed Shift-JIS faces in enumeration order, and the
    // game's 8 fonts. Until then "system" lists expand to nothing and ApplyFonts only chooses the
    // names.
    void RegisterFontFaces(SystemConfigLib::TFontFaceSource source);
    void RegisterFonts(SystemConfigLib::TFontSlots fonts);

    // Chooses each slot's face from its candidates (stored back into Font[slot].Name) and sets the
    // registered fonts: a bitmap font from "system\font\<name>.of" and "system\font\@<name>.of",
    // else a system font with the slot's smoothing and style. A glyph file that cannot be loaded is
    // named in the log, when one is given.
    void ApplyFonts(TSystemData& data, const TPackSet& packs, TErrorLog* log);

    // ---- the engine's files ----
    // "System\etc\Game.dat" through the pack set into Config; false when it is missing.
    bool LoadSystemSettings(const TPackSet& packs);
    // "System\etc\Config.txt" through the pack set into DefaultConfig; false when it is missing.
    bool LoadUserDefaults(const TPackSet& packs);
    // "GameData\System\config.txt" on the disk into Config, and back. Loading first removes the
    // temporary files that a program killed while it saved them left beside the file and its
    // ".bak".
    void LoadUserSettings(const TFileRoot& root);
    bool SaveUserSettings(const TFileRoot& root);
    // Speaker and font lists through the pack set into Config; false when the file is missing.
    bool LoadSpeakerLists(const TPackSet& packs);
    bool LoadFontCandidateLists(const TPackSet& packs);

    // The message table, read either from the disk ("GameData\System\Message.Dat") or through the
    // packs ("System\etc\Message.dat", failing that "System\etc\Message.txt"). When the file is
    // not there, the table already loaded stays.
    bool LoadDiskMessageTable(const TFileRoot& root);
    bool LoadPackMessageTable(const TPackSet& packs);

private:
    SystemConfigLib::TFontFaceSource FontFaces;
    SystemConfigLib::TFontSlots FontSlots;
};
