// The software mixer behind the sound device: secondary buffers ("voices") of 16-bit stereo PCM at
// 44100 Hz, summed into the output with their volume and pan. It has no lock and no thread of its
// own; the device calls it under its lock, from the audio callback or from a test.
//
// A voice plays whole sample frames (4 bytes); a size that is not a multiple of 4 keeps its odd
// tail bytes, which are never heard. Positions are byte offsets. Each voice contributes
// (sample x gain) >> 15 per channel, the contributions are summed in 32 bits and the sum is
// saturated to 16 bits, so up to 65536 voices can never overflow the sum.
//
// Notification positions are byte offsets that the play position can pass; the mixer records
// which ones were passed (a bit per position) until the device takes them. Position p counts as
// passed when the play position moves from before p to p or beyond within one lap; 0 is passed
// when a lap completes. kNotifyOnStop stands for the voice stopping, by a call or at the end of a
// voice played once.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace AudioMixer {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kChannels = 2;
constexpr uint32_t kBits = 16;
constexpr uint32_t kFrameBytes = 4;
constexpr uint32_t kBytesPerSecond = kRate * kFrameBytes;

// Volume and pan in hundredths of a decibel, as the engine's sound code counts them.
constexpr int32_t kVolumeMin = -10000, kVolumeMax = 0;
constexpr int32_t kPanLeft = -10000, kPanRight = 10000;
// A gain of 1.0 in the mixer's fixed point (15 fraction bits).
constexpr int32_t kUnityGain = 1 << 15;

constexpr uint32_t kMinBytes = 4;
constexpr uint32_t kMaxBytes = 0x0FFFFFFF;
constexpr uint32_t kMaxNotifyPositions = 32;
constexpr uint32_t kNotifyOnStop = 0xFFFFFFFF;

// How far ahead of the play position a playing voice's write cursor lies: one chunk of the audio
// callback, which may already have been mixed.
constexpr uint32_t kWriteAheadBytes = 512 * kFrameBytes;

// Voice status bits.
constexpr uint32_t kStatusPlaying = 1, kStatusLooping = 4;

// The fixed-point gain of a level in hundredths of a decibel: round(32768 x 10^(level / 2000)),
// 0 at kVolumeMin and below, unity at 0 and above.
int32_t GainOf(int32_t hundredthsDb);

// Left and right gains of a volume and a pan: a pan towards one side lowers the other side by as
// many hundredths of a decibel.
struct TGains {
    int32_t Left = kUnityGain, Right = kUnityGain;
};
TGains GainsOf(int32_t volume, int32_t pan);

// The mixing kernel on its own: adds frames of interleaved stereo samples, scaled by the gains,
// to 32-bit sums; and saturates sums to 16-bit samples.
void Accumulate(int32_t* sums, const int16_t* samples, uint32_t frames, TGains gains);
void Saturate(int16_t* out, const int32_t* sums, uint32_t count);

using TSamples = std::vector<int16_t>;

}  // namespace AudioMixer

// 0 is no voice. A number names its slot and the slot's generation, so a released voice's number
// never reaches a later voice in the same slot.
using TVoiceId = uint32_t;

class TAudioMixer {
public:
    TAudioMixer();

    // Adds a stopped voice at position 0 over sample memory that the caller allocated (at least
    // bytes / 2 samples, rounded up), so that no allocation of sound data happens here. 0 when
    // bytes lies outside kMinBytes..kMaxBytes or the data is too small.
    TVoiceId Add(std::shared_ptr<AudioMixer::TSamples> data, uint32_t bytes, bool notify, bool followsFocus);
    // A new stopped voice at position 0 over the same samples, with the source's volume and pan
    // and no notification positions. 0 when the source is no voice.
    TVoiceId Duplicate(TVoiceId source);
    // Removes the voice and hands its samples back, so that the caller frees them outside its
    // lock; null when the id is no voice.
    std::shared_ptr<AudioMixer::TSamples> Remove(TVoiceId id);
    bool Valid(TVoiceId id) const { return Find(id) != nullptr; }
    uint32_t Count() const { return Live; }
    uint32_t Bytes(TVoiceId id) const;

    // Copies bytes in at offset, wrapping round to the start at the end of the voice. False, and
    // nothing copied, when offset or size lies outside the voice.
    bool Write(TVoiceId id, uint32_t offset, const void* data, uint32_t size);
    // False when the voice was made without notification, plays, or a position lies outside it.
    bool SetNotifyPositions(TVoiceId id, const uint32_t* positions, uint32_t count);

    bool Play(TVoiceId id, bool looping);
    bool Stop(TVoiceId id);
    // False when the position lies outside the voice.
    bool SetPosition(TVoiceId id, uint32_t bytes);
    bool SetVolume(TVoiceId id, int32_t volume);
    bool SetPan(TVoiceId id, int32_t pan);
    uint32_t Status(TVoiceId id) const;
    // The play cursor, and the write cursor: kWriteAheadBytes further on while playing, the same
    // while stopped. Both 0 for no voice.
    void GetPosition(TVoiceId id, uint32_t& play, uint32_t& write) const;

    // Notification positions passed since the last call (bit i: position i), cleared.
    uint32_t TakeSignalled(TVoiceId id);
    uint32_t Signalled(TVoiceId id) const;

    // Voices made to follow the focus are silent while the program has not got it; they still
    // advance.
    void SetFocused(bool focused) { Focused = focused; }

    // Mixes the playing voices into frames of interleaved stereo output, advancing them. Returns
    // whether any voice passed a notification position.
    bool Mix(int16_t* out, uint32_t frames);

private:
    struct TVoice {
        std::shared_ptr<AudioMixer::TSamples> Data;
        uint32_t Generation = 0;
        bool Used = false;
        uint32_t Size = 0;    // bytes
        uint32_t Frames = 0;  // whole frames heard
        uint32_t Position = 0;
        bool Playing = false, Looping = false;
        bool Notify = false, FollowsFocus = false;
        int32_t Volume = 0, Pan = 0;
        AudioMixer::TGains Gains;
        std::vector<uint32_t> Positions;
        uint32_t Pending = 0;  // bits of passed positions
    };

    TVoice* Find(TVoiceId id);
    const TVoice* Find(TVoiceId id) const;
    TVoiceId Insert(TVoice voice);
    // Sets the bits of positions passed while the play position moved from byte from to byte to
    // (from < to, both within one lap; to may equal the lap's end).
    static void MarkPassed(TVoice& v, uint32_t from, uint32_t to);
    static void MarkStop(TVoice& v);
    void MixVoice(TVoice& v, uint32_t frames, bool& signalled);

    std::vector<TVoice> Voices;
    uint32_t Live = 0;
    bool Focused = true;
    std::vector<int32_t> Sums;  // one chunk of 32-bit sums, allocated once
};
