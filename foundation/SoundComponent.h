// The engine's sound component over the sound device (platform/Audio.h): numbered play slots
// (channels), static waves that hold a whole sound and that channels play, shared or duplicated,
// and streaming waves, ring buffers refilled half by half from a notification thread of their own.
//
// The calls that create, duplicate, write, format or release device buffers report failures
// through one checker, which can write numbered lines to "ddsd.debug", raise EDDSD or end the
// program, as the debug option says. Play, stop, volume, pan, status and cursor calls are not
// checked.
//
// Threads: everything runs on the main thread except a streaming wave's notification thread,
// which runs the refill step and the fill handler. The main thread is the one that made the
// component. A checker failure on any other thread neither ends the program nor raises there: it
// is posted to the component, and the main thread acts on it in TDDSD7::DeliverThreadFailures,
// which the main loop calls once per idle call.
//
// Making the component on a device:
//     TDDSD7 sound(host.Audio);            // null: a run without sound; Initialize fails
//     sound.SetChannelCount(16);
//     sound.DuplicateStaticBuffers = false;
//     if (!sound.Initialize()) ...         // no output could be opened
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Audio.h"

class TDDSD7;
class TErrorLog;
class TDDSDChannel;
class TDDSDGenWave;

// What the checker does on a failure; a set of these bits.
enum TDDSDDebugFlag : uint8_t {
    dsoHaltOnError = 1,    // end the program
    dsoDebugMessage = 2,   // write a numbered line to "ddsd.debug"
    dsoExceptOnError = 4,  // raise EDDSD (before the program would end)
};
using TDDSDDebugOption = uint8_t;

class EDDSD : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;  // the message in Shift-JIS
};

namespace ddsd7 {

// The size of a streaming wave for a requested size (the "StreamLength" setting): at least
// kStreamMinBytes, at most kStreamMaxBytes, rounded down to a multiple of 8 so that both halves
// hold whole sample frames.
constexpr uint32_t kStreamMinBytes = 16384;
constexpr uint32_t kStreamMaxBytes = 4 << 20;
uint32_t StreamBytes(int64_t requested);

// The refill machine of a streaming wave, one step per wake of its thread. State 1: the first
// half is the next to refill, which is due once both cursors lie beyond the middle; state 0: the
// second half, due once both lie before it. The half is named whether or not the buffer plays;
// only a playing buffer is filled. Cursors that are both 0, or negative as signed numbers, are no
// reading at all and change nothing.
enum class TRefillHalf : uint8_t { None, First, Second };
struct TRefill {
    int32_t State = 1;
    TRefillHalf Half = TRefillHalf::None;  // the half named by this step
    bool Fill = false;                     // the fill handler runs
};
TRefill RefillStep(int32_t state, uint32_t play, uint32_t write, bool playing, uint32_t half);

// What ending the program means on a failure with dsoHaltOnError, given the failure's text (see
// TDDSD7::SetHaltHandler).
using THaltHandler = std::function<void(const std::string& text)>;

}  // namespace ddsd7

// Format of a wave's buffer: PCM, as the wave was asked for.
struct TWaveFormat {
    uint16_t FormatTag = 1;
    uint16_t Channels = 2;
    uint32_t SamplesPerSec = 44100;
    uint32_t AvgBytesPerSec = 176400;
    uint16_t BlockAlign = 4;
    uint16_t BitsPerSample = 16;
    uint16_t ExtraSize = 0;
};

class TDDSD7 {
public:
    // The device is the host's (not owned); null is a run without sound.
    explicit TDDSD7(IAudioDevice* device);
    ~TDDSD7();
    TDDSD7(const TDDSD7&) = delete;
    TDDSD7& operator=(const TDDSD7&) = delete;

    // Channels made by the next Initialize: at least 1, 8 by default.
    uint32_t ChannelCount() const { return Count; }
    void SetChannelCount(uint32_t count) { Count = count < 1 ? 1 : count; }
    // Buffers made while it is true keep sounding when the program loses the focus.
    bool StickyFocus = true;
    // The game's error log, which hears of an output that is silent; none: nothing is written.
    TErrorLog* Log = nullptr;
    TDDSDDebugOption DebugOption() const { return Options; }
    // The option the checker follows.
    void SetDebugOption(TDDSDDebugOption option) { Options = option; }
    // Whether binding a static wave gives the channel a buffer of its own over the same sound
    // (true), or lets it play the wave's buffer directly (false), so that all channels bound to
    // that wave move one play position together. Left alone while waves are bound.
    bool DuplicateStaticBuffers = true;

    // The folder "ddsd.debug" is written to; empty (the default) means the program's folder.
    void SetDebugFolder(std::string_view hostFolder) { DebugFolder = std::string(hostFolder); }
    // Lines written to "ddsd.debug" in this run; the first one starts the file anew.
    int32_t DebugLineCount() const { return DebugLines; }
    void ResetDebugLineCount() { DebugLines = 0; }
    // What ending the program means on a failure with dsoHaltOnError: by default the process
    // exits with code 1 after the program's clean-up, so that a caller sees the failure. The main
    // window's handler puts the text into the game's error log first; tests replace it; nullptr
    // restores the default.
    void SetHaltHandler(ddsd7::THaltHandler handler);

    bool Initialize() { return InitializeSound(); }
    // Makes the channels anew and opens the device in the engine's format; false only when the
    // device cannot be opened (OpenError says why). An output that is silent because no device
    // could be opened is no failure: its reason goes to the error log once.
    bool InitializeSound();
    bool Initialized() const { return IsInitialized; }
    const std::string& Error() const { return OpenFailure; }
    IAudioDevice* Device() const { return AudioDevice; }

    // Channel n, 0 <= n < channel count; otherwise a logged failure and null.
    TDDSDChannel* GetChannel(uint32_t n);
    // Sets the output's format (only the engine's own is taken) and leaves it playing.
    void SetPrimaryFormat(uint32_t rate, uint32_t bits, bool stereo);
    // The output as the sound library sees it: told to play, and its status bits.
    void PlayPrimary();
    uint32_t PrimaryStatus();

    // The checker: 0 passes; any other result is a failure whose text is the message followed by
    // "(Error Code(HEX))". Returns the result.
    uint32_t Check(uint32_t result, std::string_view message);
    // Writes the numbered debug line when dsoDebugMessage is set, then raises EDDSD when
    // dsoExceptOnError is set. Main thread only.
    void DebugLog(std::string_view text);
    // Acts on the failures other threads have posted, oldest first, as the checker would have
    // where they happened. Main thread only.
    void DeliverThreadFailures();

private:
    friend class TDDSDGenWave;
    friend class TDDSDNotifyThread;
    void AddWave(TDDSDGenWave* wave);
    // Called by a wave going away: channels still bound to it are unbound.
    void RemoveWave(TDDSDGenWave* wave);
    // True off the main thread, where failures are posted instead of acted on.
    bool OffMainThread() const;
    // Keeps a failure for the main thread; any thread.
    void Post(std::string text);
    // The failure acted on: the debug line, then the end of the program with dsoHaltOnError.
    void Fail(const std::string& text);
    // The checker inside a destructor: the line is written and the program may end, but nothing
    // is raised out of it.
    void CheckQuietly(uint32_t result, std::string_view message);

    IAudioDevice* AudioDevice;
    uint32_t Count = 8;
    TDDSDDebugOption Options = 0;
    std::string DebugFolder;
    int32_t DebugLines = 0;
    ddsd7::THaltHandler Halt;
    const std::thread::id MainThread;
    // Failures posted by other threads, oldest first; a thread that fails on every fill while
    // nobody delivers keeps only the first ones.
    std::mutex PostedGuard;
    std::deque<std::string> Posted;
    bool IsInitialized = false;
    std::string OpenFailure;
    std::vector<std::unique_ptr<TDDSDChannel>> Channels;
    std::vector<TDDSDGenWave*> Waves;  // live waves made on this component (main thread)
};

// The fill event of a streaming wave: write size bytes of sound at offset. Runs on the wave's
// notification thread.
using TDDSDFillEvent = std::function<void(TDDSDGenWave& sender, TDDSDChannel* context, uint32_t offset, uint32_t size)>;

// The thread that watches a streaming wave's play position and asks for the half just played.
// It starts with the wave and is stopped and joined before the wave's buffer goes.
class TDDSDNotifyThread {
public:
    explicit TDDSDNotifyThread(TDDSDGenWave& wave);
    ~TDDSDNotifyThread() { Terminate(); }
    // Asks the thread to end and waits for it; the caller holds no lock.
    void Terminate();
    TDDSDNotifyThread(const TDDSDNotifyThread&) = delete;
    TDDSDNotifyThread& operator=(const TDDSDNotifyThread&) = delete;

    // Which half the next fill names; read by the wave's DoFill on this thread.
    bool SecondHalf() const { return NextSecondHalf; }

private:
    void Execute(std::stop_token stop);
    void Step();

    TDDSDGenWave& Wave;
    int32_t State = 1;
    bool NextSecondHalf = false;
    std::jthread Thread;  // last: it starts once the fields above are set
};

// A device buffer of sound and its notification thread when it streams. Made through
// TDDSDWaveData.
class TDDSDGenWave {
public:
    virtual ~TDDSDGenWave();
    TDDSDGenWave(const TDDSDGenWave&) = delete;
    TDDSDGenWave& operator=(const TDDSDGenWave&) = delete;

    // Copies size bytes into the buffer at offset, wrapping round at its end.
    void Write(uint32_t offset, const void* data, uint32_t size);
    // Calls the fill handler for the half the thread names.
    void DoFill();
    // Sets the fill handler; waits for a fill in progress.
    void SetOnFill(TDDSDFillEvent handler);

    bool Streaming() const { return IsStreaming; }
    uint32_t Size() const { return Bytes; }
    uint32_t Half() const { return HalfBytes; }
    const TWaveFormat& Format() const { return WaveFormat; }
    Audio::TBufferId Buffer() const { return BufferId; }
    // The channel a streaming wave is bound to; null until bound.
    TDDSDChannel* Context();
    // The play and write cursors of the buffer, in bytes; both 0 without a buffer.
    void GetCurrentPosition(uint32_t& play, uint32_t& write);

protected:
    TDDSDGenWave(TDDSD7& component, bool streaming, uint32_t size, bool stereo, uint32_t bits, uint32_t rate);

private:
    friend class TDDSD7;
    friend class TDDSDChannel;
    friend class TDDSDNotifyThread;
    void Build(bool stereo, uint32_t bits, uint32_t rate);
    // Stops the thread and gives the buffer back; the wave does nothing afterwards.
    void Teardown();
    void SetContext(TDDSDChannel* channel);
    IAudioDevice* LiveDevice() const;

    TDDSD7* Component;
    bool IsStreaming;
    uint32_t Bytes;
    uint32_t HalfBytes = 0;
    TWaveFormat WaveFormat;
    Audio::TBufferId BufferId = 0;
    std::unique_ptr<TDDSDNotifyThread> Thread;
    // Guards the fill handler and the context; held while the handler runs, so that a handler
    // or binding change from the main thread waits for a fill in progress (recursive, so that
    // the handler may read them). First in the lock order: the handler's own locks and the
    // device's come after it.
    std::recursive_mutex FillGuard;
    TDDSDFillEvent OnFill;
    TDDSDChannel* FillContext = nullptr;
};

class TDDSDWaveData final : public TDDSDGenWave {
public:
    TDDSDWaveData(TDDSD7& component, bool streaming, uint32_t size, bool stereo, uint32_t bits, uint32_t rate)
        : TDDSDGenWave(component, streaming, size, stereo, bits, rate) {}

    // A static wave of size bytes.
    static std::unique_ptr<TDDSDWaveData> Create(TDDSD7& component, uint32_t size, bool stereo, uint32_t bits,
                                                 uint32_t rate);
    // A streaming wave with its thread; its size is ddsd7::StreamBytes(size) (read it from Size).
    static std::unique_ptr<TDDSDWaveData> CreateStream(TDDSD7& component, uint32_t size, bool stereo, uint32_t bits,
                                                       uint32_t rate);
};

class TDDSDChannel {
public:
    explicit TDDSDChannel(TDDSD7& component) : Component(component) {}
    ~TDDSDChannel();
    TDDSDChannel(const TDDSDChannel&) = delete;
    TDDSDChannel& operator=(const TDDSDChannel&) = delete;

    // Unbinds the current wave (stopping it, giving back an own duplicate), then binds the new
    // one; null only unbinds. Nothing when the wave is the bound one or the component is not
    // initialised.
    void SetWaveData(TDDSDGenWave* wave);
    // These do nothing while no buffer is bound.
    void Stop();
    void PlayLoop();
    void PlayFrom(uint32_t position);
    void PlayLoopFrom(uint32_t position);
    void SetVolume(int32_t volume);  // hundredths of a decibel, -10000..0
    void SetPan(int32_t pan);        // -10000 (left) .. 10000 (right)
    // AudioMixer::kStatusPlaying, kStatusLooping; 0 without a buffer.
    uint32_t GetStatus();

    TDDSDGenWave* Wave() const { return Bound; }
    bool Streaming() const { return IsStreaming; }
    Audio::TBufferId Buffer() const { return BufferId; }

private:
    void Unbind();
    IAudioDevice* Device() const { return Component.Device(); }

    TDDSD7& Component;
    Audio::TBufferId BufferId = 0;
    TDDSDGenWave* Bound = nullptr;
    bool IsStreaming = false;
    bool OwnsBuffer = false;  // the buffer is this channel's own duplicate
};
