// The sound library the engine plays through, in two halves on one sound component:
//   TSSound  sixteen numbered streams (music, voices, long sounds), each an Ogg stream decoded as
//            it plays; the mixer sums them into one streaming wave on the component's last
//            channel, refilled half by half on that wave's notification thread.
//   TDSound  the effect channels, one per remaining channel of the component, each holding a whole
//            sound in a static wave that the device plays, loops and stops by itself.
// Every stream and channel belongs to a volume group 0..255 (by convention 0 music, 1 voices,
// 2 effects). A group outside that range is kept as given and always counts as volume 255.
// Both halves save their state as fixed-size little-endian records for save games: 274 bytes per
// effect channel, then 1313 bytes per stream.
//
// Channel and stream numbers outside the library are ignored; their getters give the neutral
// value (state 0, volume 255, empty name). A file that cannot be found or decoded makes a load
// return false and leaves the channel free; nothing a decoder raises leaves the library.
//
// Making it (the engine core owns one, on the component the main window opened):
//     TSound sound(component, context.Packs, context.Config.Config.StreamLength);
//     sound.SSound->LoadStream(0, "bgm\\title.ogg", sgMusic, false, 0);
//     sound.SSound->Play(0, true);
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SoundComponent.h"
#include "media/OggDataLib.h"  // TOggData and the play states TPLAYSTATE the getters give
#include "media/OggPlayerLib.h"
#include "platform/ClassLib.h"

class TPackSet;  // foundation/PackLib.h

// The callers' volume groups.
enum TSoundGroup : uint32_t { sgMusic = 0, sgVoice = 1, sgEffect = 2 };

namespace uSoundLib {

constexpr int32_t kGroupCount = 256;
constexpr int32_t kNameBytes = 127;  // a saved name is cut to this many bytes
// One-shot effects longer than this many bytes of sound (5 s) are replayed when a save is
// restored; shorter ones are over by the time anyone would hear them.
constexpr uint32_t kReplayBytes = 882000;
// Music restored from a save fades in over this time.
constexpr int32_t kRestoreFadeMs = 2000;
// Two starts of one effect channel closer than this are one start.
constexpr uint32_t kReplayGuardMs = 25;

// The volume of a group for a group number as stored: 255 outside the table.
uint32_t GroupVolumeOf(const std::array<uint32_t, kGroupCount>& table, uint32_t group);
// Sets a group's volume, clamped to 0..255; a group outside the table is ignored.
void SetGroupVolumeOf(std::array<uint32_t, kGroupCount>& table, uint32_t group, int32_t volume);
// The device volume in hundredths of a decibel for an effect's volume and its group's: the
// factor f = (volume x group div 255) / 255 becomes round(1000 x log10 f), -10000 below 0.0001,
// within -10000..0.
int32_t EffectVolume(int32_t volume, uint32_t groupVolume);

}  // namespace uSoundLib

// A stream's saved state, 1313 bytes.
struct TSSoundStreamRecord {
    static constexpr int32_t kSize = 1313;
    std::string Name;      // the resolved file name, Shift-JIS
    int32_t Volume = 0;    // 0..255 (510 is double); at saving the target volume
    int32_t FadeTime = 0;  // ms of the last volume change
    int32_t SilenceThreshold = 0;
    int32_t SeekPosition = 0;  // ms of the last seek
    uint8_t State = 0;         // TPLAYSTATE at saving
    std::array<float, 256> BandGains{};
    uint32_t Group = 0;
    uint32_t Actor = 0;    // the speaker channel of a voice
    int32_t AGCLimit = 0;  // 0..255; the four gain-control values are all 0 while it is off
    float Position = 0;    // seconds, the decoder's position at saving
    int32_t AGCRate = 0;   // thousandths
    int32_t AGCInitialGain = 0;
    int32_t AGCNoiseFloor = 0;

    void Write(TStream& s) const;
    // bytes holds exactly kSize bytes.
    void Read(const std::vector<uint8_t>& bytes);
};

// An effect channel's saved state, 274 bytes.
struct TDSoundChannelRecord {
    static constexpr int32_t kSize = 274;
    std::string Name;  // resolved file name, or the name given with a sound from memory
    int32_t Volume = 0;
    uint8_t State = 0;  // TPLAYSTATE at saving
    uint32_t Group = 0;
    uint32_t Tag = 0;
    uint8_t FromMemory = 0;  // 1: the sound came from memory and is not restored

    void Write(TStream& s) const;
    void Read(const std::vector<uint8_t>& bytes);
};

struct TSystemData;

class TSSound {
public:
    static constexpr int32_t kCount = 16;

    // streamLength: the "StreamLength" setting; the streaming wave, the mixer and every stream
    // get ddsd7::StreamBytes of it. The component need not be initialised: without a device
    // nothing is heard and everything else works. Files are found and read through the pack set;
    // the streams keep their time on the clock.
    TSSound(TDDSD7& component, const TPackSet& packs, int32_t streamLength, IClock& clock,
            std::shared_ptr<TVorbisFileDLL> decoder);
    ~TSSound();
    TSSound(const TSSound&) = delete;
    TSSound& operator=(const TSSound&) = delete;

    // Opens the file (resolved through the packs) in stream n. Without force, a stream that
    // already holds that file keeps playing and the load succeeds at once.
    bool LoadStream(int32_t n, const std::string& name, uint32_t group, bool force, uint32_t actor);
    // A voice of a speaker's channel: always reloaded, in the voice group, remembered as that
    // speaker's voice until the stream is freed or loaded again.
    bool LoadVoice(int32_t n, const std::string& name, uint32_t actor);
    void FreeStream(int32_t n);
    void Play(int32_t n, bool loop);
    void Stop(int32_t n);   // and rewind
    void Pause(int32_t n);  // where it is
    // volume 0..255 (up to 510 amplifies); 0 stops the stream once the fade has reached it.
    void SetVolume(int32_t n, int32_t volume, int32_t fadeMs);
    int32_t GetVolume(int32_t n);  // the target volume x 255, rounded
    std::string GetName(int32_t n) const;
    int32_t GetState(int32_t n) const;
    int32_t GetPlayState(int32_t n);
    float GetLevel(int32_t n, int32_t which);                               // 0..1: which 0 left, 1 right, else both
    void SetEqualizer4(int32_t n, const int32_t gains[4], int32_t fadeMs);  // gains 0..255
    void SetEqualizer8(int32_t n, const int32_t gains[8], int32_t fadeMs);
    void SeekMs(int32_t n, int32_t ms);
    void SkipSilence(int32_t n, int32_t threshold);
    int32_t GetPositionMs(int32_t n);
    int32_t GetPlayingTimeMs(int32_t n);
    int32_t GetLengthMs(int32_t n);
    void SetGroup(int32_t n, uint32_t group);
    // All four non-zero switch the gain control on; any 0 switches it off.
    void SetAGC(int32_t n, int32_t initialGain, int32_t noiseFloor, int32_t limit, int32_t rate);
    void SetAutoGain(int32_t n, int32_t level) { SetAGC(n, 255, 7, level, 50); }
    void SwapStreams(int32_t a, int32_t b);

    // Whether stream n holds a voice (LoadVoice) and of which speaker channel.
    bool IsVoice(int32_t n) const;
    // Every playing voice of the speaker channel fades to volume 0 over the time.
    void FadeOutVoices(uint32_t actor, int32_t fadeMs);

    // The streaming wave plays the mix while active and silence otherwise.
    void SetActive(bool on);
    bool IsActive() const { return Active.load(); }

    void SetGroupVolume(uint32_t group, int32_t volume);  // volume clamped to 0..255
    uint32_t GetGroupVolume(uint32_t group) const { return uSoundLib::GroupVolumeOf(GroupVolume, group); }
    // Every stream's group volume is heard at once.
    void UpdateGroupVolumes();

    // The record of stream n; an invalid n gives an empty record.
    const TSSoundStreamRecord& Record(int32_t n) const;
    int32_t Count() const { return kCount; }
    int32_t StreamLength() const { return Length; }

    static constexpr int64_t SavedBytes() { return int64_t{kCount} * TSSoundStreamRecord::kSize; }
    void SaveToStream(TStream& s);
    // False, with nothing changed, when the stream holds fewer bytes than the records.
    bool LoadFromStream(TStream* s);

    // Writes the decoding errors the mixer's thread met since the last call into the error log,
    // each once. On the main thread, once a frame.
    void LogDecodeErrors();

    // The fill handler of the streaming wave, on its notification thread.
    void NotifyFill(TDDSDGenWave& wave, TDDSDChannel* context, uint32_t offset, uint32_t size);
    TOggPlayer& Player() { return *Mixer; }

private:
    bool Valid(int32_t n) const { return n >= 0 && n < kCount; }
    TOggData& Stream(int32_t n) const { return *Streams[static_cast<size_t>(n)]; }
    TDDSDChannel* Channel();
    void ApplyGroup(int32_t n);
    bool Open(int32_t n, const std::string& resolved);

    std::atomic<bool> Active{false};
    int32_t StreamChannel;
    TDDSD7* DDSD;
    const TPackSet* Packs;
    std::unique_ptr<TDDSDWaveData> Wave;
    // Raised by a stream whose decoding failed on the mixer's thread; outlives the streams.
    std::atomic<bool> DecodeErrorWaiting{false};
    std::array<std::unique_ptr<TOggData>, kCount> Streams;
    std::unique_ptr<TOggPlayer> Mixer;
    std::array<TSSoundStreamRecord, kCount> Records;
    std::array<bool, kCount> Voice{};
    int32_t Length;
    std::array<uint32_t, uSoundLib::kGroupCount> GroupVolume;
    std::vector<uint8_t> Silence;  // one half of zeros, written while inactive
};

class TDSound {
public:
    // One channel per channel of the component but its last, which carries the streams. A restart
    // too soon after the last start is told on the clock.
    TDSound(TDDSD7& component, const TPackSet& packs, IClock& clock, std::shared_ptr<TVorbisFileDLL> decoder);
    ~TDSound();
    TDSound(const TDSound&) = delete;
    TDSound& operator=(const TDSound&) = delete;

    // Decodes the Ogg Vorbis file (resolved through the packs) whole into channel n. Without
    // force, a channel holding that file keeps it, except for the engine's "$$$" files, which are
    // made anew each time.
    bool LoadSound(int32_t n, const std::string& name, uint32_t group, bool force, uint32_t tag);
    // PCM of the engine's format (44100 Hz, 16-bit, stereo), the whole stream, under a name of the
    // caller's. An empty or missing sound is refused and changes nothing.
    bool LoadFromMemory(int32_t n, const TMemoryStream* pcm, uint32_t group, bool force, const std::string& name);
    void FreeChannel(int32_t n);
    // From startMs into the sound; a second start within 25 ms of the last is ignored.
    void Play(int32_t n, bool loop, int32_t startMs);
    void Stop(int32_t n);
    // Heard from the next start.
    void SetVolume(int32_t n, int32_t volume);
    int32_t GetVolume(int32_t n) const;
    int32_t GetState(int32_t n);
    std::string GetName(int32_t n) const;
    void SwapChannels(int32_t a, int32_t b);
    // Off stops every channel.
    void SetActive(bool on);

    void SetGroupVolume(uint32_t group, int32_t volume);
    uint32_t GetGroupVolume(uint32_t group) const { return uSoundLib::GroupVolumeOf(GroupVolume, group); }
    // Every channel takes its group's volume, heard from its next start.
    void UpdateGroupVolumes();

    const TDSoundChannelRecord& Record(int32_t n) const;
    // The bytes of the wave in channel n (0 without one).
    uint32_t WaveBytes(int32_t n) const;
    int32_t Count() const { return ChannelCount; }

    int64_t SavedBytes() const { return int64_t{ChannelCount} * TDSoundChannelRecord::kSize; }
    void SaveToStream(TStream& s);
    bool LoadFromStream(TStream* s);

    // The game's live settings: with ForceDirectSoundMode set, loads only name the sound and decode
    // nothing. None: sounds are decoded, as a fresh configuration has it.
    const TSystemData* Config = nullptr;

private:
    bool Valid(int32_t n) const { return n >= 0 && n < ChannelCount; }
    TDDSDChannel* Channel(int32_t n);
    bool Bind(int32_t n, std::unique_ptr<TDDSDWaveData> wave);

    std::vector<uint32_t> GroupFactor;
    std::vector<uint32_t> LastPlay;  // clock of the last start
    std::vector<bool> Played;        // a start since the sound was loaded
    TDDSD7* DDSD;
    const TPackSet* Packs;
    IClock& Clock;
    std::shared_ptr<TVorbisFileDLL> Decoder;  // decodes the Ogg Vorbis effects
    std::vector<TDSoundChannelRecord> Records;
    std::vector<std::unique_ptr<TDDSDWaveData>> Waves;
    int32_t ChannelCount;
    std::array<uint32_t, uSoundLib::kGroupCount> GroupVolume;
};

class IAnimationSound;

class TSound {
public:
    // Ogg Vorbis streams and effects are opened with the decoder given; without one, none opens.
    TSound(TDDSD7& component, const TPackSet& packs, int32_t streamLength, IClock& clock,
           std::shared_ptr<TVorbisFileDLL> decoder);
    ~TSound();
    TSound(const TSound&) = delete;
    TSound& operator=(const TSound&) = delete;

    // Off also stops every effect channel.
    void SetActive(bool on);
    // Frees every stream, then every effect channel.
    void StopAll();
    // The streams' decoding errors into the error log (TSSound::LogDecodeErrors); once a frame.
    void LogDecodeErrors() { SSound->LogDecodeErrors(); }
    // Sets the group's volume in both halves; UpdateGroupVolumes makes it heard.
    void SetGroupVolume(uint32_t group, int32_t volume);
    uint32_t GetGroupVolume(uint32_t group) const { return SSound->GetGroupVolume(group); }
    void UpdateGroupVolumes();

    int64_t SavedBytes() const { return DSound->SavedBytes() + TSSound::SavedBytes(); }
    // Effect channels first, then streams.
    void SaveToStream(TStream& s);
    // False, with nothing changed, when the stream is too short for both halves' records; a null
    // stream changes nothing either (true).
    bool LoadFromStream(TStream* s);

    // The library as animations play their sounds: effect channels for their embedded sounds and
    // the level of a voice stream.
    IAnimationSound& AnimationSound() { return *AnimationLink; }

    std::unique_ptr<TDSound> DSound;
    std::unique_ptr<TSSound> SSound;

private:
    std::unique_ptr<IAnimationSound> AnimationLink;
};
