// The back-log: the last 256 messages the player has read, each with its inline commands, who
// spoke it, its voice file and that voice's start, silence skip, volume and gain, kept for the
// back-log screen and its voice replay and saved with the game. The unit also finds the voice channel of a speaker.
//
// Saved form: count and head (32-bit signed), then for each of the 256 ring slots in slot order the
// speaker, text and voice file as stream strings and the skip level, voice start, volume and
// auto-gain level as 32-bit signed values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class TStream;
struct TSystemData;

class TKelLogData {
public:
    static constexpr int32_t kEntryCount = 256;

    TKelLogData() { Clear(); }

    // Every slot empty with the default voice settings, the count 0; the head stays.
    void Clear();
    // Nothing for an empty text. Otherwise the text (without the new-line commands it ends with)
    // takes the slot at the head, which moves on; the oldest entry goes once 256 are kept.
    void Add(std::string_view text, std::string_view speaker, std::string_view voice, int32_t voiceStart,
             int32_t skipLevel, int32_t volume, int32_t autoGain);

    // Entry 0 is the newest. The ring slot of entry i, or -1 outside the count.
    int32_t SlotOf(int32_t i) const;
    std::string GetText(int32_t i) const;  // empty outside the count, as the others
    std::string GetName(int32_t i) const;
    std::string GetVoice(int32_t i) const;
    int32_t GetValue1(int32_t i) const;  // voice start, ms; 0 outside the count, as the others
    int32_t GetValue2(int32_t i) const;  // silence-skip level
    int32_t GetVolume(int32_t i) const;
    int32_t GetValue4(int32_t i) const;  // auto-gain level
    // The entry's text with the commands taken out, keeping what "lim", "pc", "pr" and the ruby
    // base "rb" show.
    std::string GetPlainText(int32_t i) const;

    // Removes "[n]", "[np,...]", "[nn]", "[nnp]" and the like from the end of a text.
    static std::string StripTrailingNewLines(std::string text);

    void SaveToStream(TStream& stream) const;
    // False when the stream ends early; the store is then as before. A count outside 0..256 is
    // held to that range and the head taken modulo 256, so that no slot look-up leaves the ring.
    bool LoadFromStream(TStream& stream);

    std::array<std::string, kEntryCount> Speakers;
    std::array<std::string, kEntryCount> Texts;
    std::array<std::string, kEntryCount> Voices;
    std::array<int32_t, kEntryCount> VoiceStarts{};
    std::array<int32_t, kEntryCount> SkipLevels{};
    std::array<int32_t, kEntryCount> Volumes{};
    std::array<int32_t, kEntryCount> AutoGains{};
    int32_t Count = 0;
    int32_t Head = 0;  // the slot the next entry takes
};

namespace KelLogdataLib {

// The first of the 32 voice channels whose speaker list (the configuration's ActorLists) holds the
// name, compared without regard to case, or holds "*"; -1 when none does. A list with "*" so
// catches every name that no earlier list holds.
int32_t FindVoiceName(const TSystemData& config, std::string_view name);
// The same, with 31 when no list holds the name.
int32_t VoiceChannelOfName(const TSystemData& config, std::string_view name);

}  // namespace KelLogdataLib
