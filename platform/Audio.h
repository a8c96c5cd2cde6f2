// The sound device: one output in the engine's format (44100 Hz, 16-bit, stereo) and secondary
// buffers in that same format that the engine writes, plays, stops, positions and sets volume and
// pan on, with notification positions that wake a buffer's own thread. The engine reaches it
// through the host object; the program opens it over SDL audio, tests and the headless runner
// over the manual backend, where the test itself asks for the next frames of output.
//
// Calls return 0 on success and otherwise a failure code, which the engine's sound component
// shows in its debug lines; each code is the one the Windows platform gives the same failure.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>

#include "platform/AudioMixer.h"

namespace Audio {

enum TResult : uint32_t {
    arOk = 0,
    arControlUnavailable = 0x8878001E,  // the buffer was made without that control
    arInvalidCall = 0x88780032,         // not now (notification positions of a playing buffer)
    arBadFormat = 0x88780064,           // anything but the engine's format
    arNoDriver = 0x88780078,            // the output is not open
    arOutOfMemory = 0x8007000E,
    arInvalidParam = 0x80070057,  // no such buffer, or a size or offset outside it
};

using TBufferId = TVoiceId;

struct TBufferDesc {
    uint32_t Bytes = 0;
    uint32_t Rate = AudioMixer::kRate;
    uint32_t Bits = AudioMixer::kBits;
    uint32_t Channels = AudioMixer::kChannels;
    bool PositionNotify = false;  // notification positions can be set
    bool GlobalFocus = true;      // heard whether or not the program has the focus
};

// Whether a format is the engine's own, the only one the device takes.
inline bool IsEngineFormat(uint32_t rate, uint32_t bits, uint32_t channels) {
    return rate == AudioMixer::kRate && bits == AudioMixer::kBits && channels == AudioMixer::kChannels;
}

}  // namespace Audio

class IAudioDevice {
public:
    virtual ~IAudioDevice() = default;

    // Opens the output. False, with the reason, only when no output at all could be had.
    virtual bool Open(std::string& error) = 0;
    // Why this run is silent although Open succeeded (a stand-in output took the place of a
    // device that could not be opened); empty when the output is heard.
    virtual std::string Error() const = 0;
    // Closes the output. The number of buffers still held, which is 0 when the engine released
    // all of them.
    virtual uint32_t Close() = 0;

    // The output as a whole. While it is stopped nothing advances and silence is heard.
    virtual uint32_t SetOutputFormat(uint32_t rate, uint32_t bits, uint32_t channels) = 0;
    virtual uint32_t PlayOutput() = 0;
    virtual uint32_t StopOutput() = 0;
    virtual bool OutputPlaying() = 0;
    // The program's focus, which buffers made without global focus follow.
    virtual void SetFocused(bool focused) = 0;

    virtual uint32_t CreateBuffer(const Audio::TBufferDesc& desc, Audio::TBufferId& id) = 0;
    // A second buffer over the same sound data, with its own position, state, volume and pan.
    virtual uint32_t DuplicateBuffer(Audio::TBufferId source, Audio::TBufferId& id) = 0;
    virtual uint32_t ReleaseBuffer(Audio::TBufferId id) = 0;
    // Copies size bytes in at offset, wrapping round to the start at the end of the buffer.
    virtual uint32_t WriteBuffer(Audio::TBufferId id, uint32_t offset, const void* data, uint32_t size) = 0;
    // Byte offsets (or AudioMixer::kNotifyOnStop) whose passing wakes the buffer's waiter.
    virtual uint32_t SetNotifyPositions(Audio::TBufferId id, const uint32_t* positions, uint32_t count) = 0;
    virtual uint32_t Play(Audio::TBufferId id, bool looping) = 0;
    virtual uint32_t Stop(Audio::TBufferId id) = 0;
    virtual uint32_t SetPosition(Audio::TBufferId id, uint32_t bytes) = 0;
    virtual uint32_t SetVolume(Audio::TBufferId id, int32_t volume) = 0;
    virtual uint32_t SetPan(Audio::TBufferId id, int32_t pan) = 0;
    virtual uint32_t GetStatus(Audio::TBufferId id, uint32_t& status) = 0;
    virtual uint32_t GetPosition(Audio::TBufferId id, uint32_t& play, uint32_t& write) = 0;

    // Blocks the buffer's notification thread until one of its notification positions has been
    // passed, the time-out has run out or a stop is requested. Returns the positions passed since
    // the last call (bit i: position i) and clears them.
    virtual uint32_t WaitNotify(Audio::TBufferId id, uint32_t timeoutMs, std::stop_token stop) = 0;
};

// The part every backend shares: the mixer and the lock that guards it. A backend opens the real
// output and calls MixOutput for each chunk it needs.
class TMixingAudioDevice : public IAudioDevice {
public:
    uint32_t SetOutputFormat(uint32_t rate, uint32_t bits, uint32_t channels) override;
    uint32_t PlayOutput() override;
    uint32_t StopOutput() override;
    bool OutputPlaying() override;
    void SetFocused(bool focused) override;

    uint32_t CreateBuffer(const Audio::TBufferDesc& desc, Audio::TBufferId& id) override;
    uint32_t DuplicateBuffer(Audio::TBufferId source, Audio::TBufferId& id) override;
    uint32_t ReleaseBuffer(Audio::TBufferId id) override;
    uint32_t WriteBuffer(Audio::TBufferId id, uint32_t offset, const void* data, uint32_t size) override;
    uint32_t SetNotifyPositions(Audio::TBufferId id, const uint32_t* positions, uint32_t count) override;
    uint32_t Play(Audio::TBufferId id, bool looping) override;
    uint32_t Stop(Audio::TBufferId id) override;
    uint32_t SetPosition(Audio::TBufferId id, uint32_t bytes) override;
    uint32_t SetVolume(Audio::TBufferId id, int32_t volume) override;
    uint32_t SetPan(Audio::TBufferId id, int32_t pan) override;
    uint32_t GetStatus(Audio::TBufferId id, uint32_t& status) override;
    uint32_t GetPosition(Audio::TBufferId id, uint32_t& play, uint32_t& write) override;
    uint32_t WaitNotify(Audio::TBufferId id, uint32_t timeoutMs, std::stop_token stop) override;

protected:
    // The next frames of output: the mix while the output plays, else silence. Takes the lock for
    // the mix only and wakes the waiters of buffers that passed a notification position.
    void MixOutput(int16_t* out, uint32_t frames);
    // The same with the lock already held; true when a waiter is to be woken.
    bool MixLocked(int16_t* out, uint32_t frames);
    // Whether the output is open; backends set it in Open and Close under the lock.
    bool IsOpen = false;

    // Guards the mixer (every buffer's data and state) and the output flags. Nothing else is
    // locked while it is held; the audio callback holds it for one chunk's mix.
    std::mutex Guard;
    // Wakes the waiters of buffers (and, in the manual backend, the caller waiting for them);
    // waited on with Guard.
    std::condition_variable_any Wake;
    TAudioMixer Mixer;
    bool OutputOn = false;

private:
    uint32_t Result(bool ok) const { return ok ? Audio::arOk : Audio::arInvalidParam; }
};
