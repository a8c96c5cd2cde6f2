// One playing Ogg Vorbis stream. A TOggData decodes a file block by block into the engine's
// sound format (44100 Hz, signed 16-bit little-endian, two interleaved channels, left first: a
// frame is 4 bytes and a second 176400 bytes), jumps at the loop points written into the file's
// comments, restarts or stops at the end, runs the equaliser and the automatic gain control,
// applies a fading volume and keeps a double buffer of what it decoded last for the mixer and the
// level meter.
//
// Files of 44100 or 22050 Hz with one or two channels are played; the others decode to nothing
// (each block fails, which stops the stream). A 22050 Hz file is doubled by repeating frames, a
// mono one by repeating samples.
//
// Loop tags live in the comment "COMMENT", one per line (CR LF between lines), fields separated
// by commas, blanks ignored, "//" starting a remark, letters of any case:
//     *looptime,SLOT,START,END,COUNT      START and END in seconds
//     *loopsample,SLOT,START,END,COUNT    START and END in samples of the file's rate
// Playing past END of slot SLOT (0..15) jumps back to START, COUNT times (-1 or absent: for ever,
// 0: never); the count starts again once playing has passed END without jumping. SLOT and COUNT
// are whole numbers, START and END numbers; a field that is not wholly a number counts as 0 (a
// missing or bad COUNT as -1).
//
// Threads. The mixer's thread calls Read or FillNextHalf while the main thread opens, seeks,
// closes and changes volumes. Locks, taken in this order:
//   Semaphore     the decoder and everything it decodes with (file record, format, loop slots and
//                 counters, the gain control, the equaliser's history and transform); held for a
//                 whole block, so the main thread waits at most one block for a seek.
//   ControlLock   volume, fade, the two gains and the band gains; held only for a few operations.
//   MeterLock     the level meter's copy of the double buffer with its stamp and half.
// Playing, Looping and Loaded are atomic flags: read once before the block for a quick exit and
// again under the semaphore.
//
// A decoding error stops and rewinds the stream from inside the block (the block's lock is not
// taken again), leaves silence in the rest of the block, and is logged once per file by the main
// thread (LogDecodeError, which the main-thread calls run first).
#pragma once

#include <vorbis/vorbisfile.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "media/FFTLib.h"
#include "media/VorbisBinding.h"
#include "media/uAGC.h"
#include "platform/ClassLib.h"
#include "platform/Clock.h"

class TErrorLog;

// Raised by TOggData::Open when the decoder refuses the file.
class EOggError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A counting semaphore. Each stream has its own; the name only identifies it in messages.
class TSemaphore {
public:
    TSemaphore(std::string name, int32_t count) : Name(std::move(name)), Count(count) {}
    void Wait();
    void Release();
    const std::string Name;

private:
    std::mutex Mutex;  // guards Count
    std::condition_variable Changed;
    int32_t Count;
};

struct TOggLoopSlot {
    float Start = 0;    // seconds
    float Stop = 0;     // seconds: the loop end
    int32_t Count = 0;  // jumps to make; -1 for ever, 0 never
};

enum TPLAYSTATE : uint8_t { psNONE = 0, psSTOP = 1, psPLAY = 2, psLOOP = 3 };

struct TOggBand {
    float Gain = 1.0f;
    float Target = 1.0f;
    float Step = 0.0f;  // added per frame
};

class TOggData {
public:
    static constexpr int32_t kBytesPerSecond = 176400;
    static constexpr int32_t kVolumeOne = 722534400;  // fixed point 1.0: 256 x 2822400
    static constexpr int32_t kLoopSlots = 16;
    static constexpr int32_t kBands = 256;

    // Times (the meter's, the position heard) are read on the clock. Files are opened with the
    // decoder given; without one every file is refused.
    TOggData(int32_t bufferSize, IClock& clock, std::shared_ptr<TVorbisFileDLL> decoder);
    ~TOggData();
    TOggData(const TOggData&) = delete;
    TOggData& operator=(const TOggData&) = delete;

    // Takes the stream. False for a null stream; raises EOggError ("ファイルの読み込みに失敗")
    // when the decoder refuses it (or no decoder is bound), and the stream is freed. name is kept
    // for messages only.
    bool Open(std::unique_ptr<TStream> stream, std::string name = {});
    void Close();

    void Play(bool loop);  // from the current position
    void Stop();           // no rewind
    void StopAndRewind();
    TPLAYSTATE GetState() const;
    // While playing GetState; otherwise the state at the start of the last block, so a stream
    // that ended inside that block still reports what it was doing.
    TPLAYSTATE GetPlayState();

    void Seek(float seconds);  // clamped to 0..TimeTotal; a non-finite position counts as 0
    float GetPosition();       // the decoder's position in seconds; 0 without a file
    bool IsSeekable();

    // Volume 0..2 (non-finite: 1), reached over fade seconds (below 0.01: at once).
    void SetVolume(float volume, float fade);
    void SetVolumeNow(float volume) { SetVolume(volume, 0); }
    float GetVolumeNow();
    float GetVolumeTarget();
    // Factors 0..1 (non-finite: 1), stored as 0..255.
    void SetGainA(float factor);
    void SetGainB(float factor);

    // Decodes size bytes into dest (whole frames; odd trailing bytes are zeroed). The result is
    // the bytes decoded (0 when nothing plays), or the decoder's negative error. delay is how many
    // ms of the block's predecessor have already been heard.
    int32_t Read(void* dest, int32_t size, int32_t delay);
    // Decodes HalfSize bytes into the other half of the double buffer; the result as Read's.
    int32_t FillNextHalf(int32_t delay);
    const uint8_t* CurrentHalf() const { return Buffer.data() + HalfOffset; }
    // Whole frames of half the buffer: a buffer size that does not split into two runs of frames
    // leaves its last bytes unused.
    int32_t HalfSize() const { return static_cast<int32_t>(Buffer.size() / 2) & ~3; }

    // Seconds of the audio now heard: the decoding position less what the buffer still holds.
    float GetPlayingTime();
    // Moves to just before the first 256 samples whose mean magnitude exceeds threshold.
    void SkipSilence(int32_t threshold);

    // ---- equaliser, gain control and level meter
    void SetBandGain(int32_t band, float fade, float gain);
    void SetBandGainNow(int32_t band, float gain) { SetBandGain(band, 0, gain); }
    float GetBandGain(int32_t band);
    float GetBandTarget(int32_t band);
    // All 256 bands from 4 or 8 control gains along a Hermite curve (first gain at band 0, last at
    // band 255), negative values raised to 0.
    void SetEqualizer4(const float gains[4], float fade);
    void SetEqualizer8(const float gains[8], float fade);
    bool IsEqualizerActive();
    // The filter over a block of frames.
    void Equalize(int16_t* block, int32_t bytes);
    // The filter, only while some band differs from 1 (Read calls it on every block).
    void EqualizeIfActive(int16_t* block, int32_t bytes) {
        if (IsEqualizerActive()) Equalize(block, bytes);
    }
    // Mean magnitude of the 256 frames now heard, 0..1: which 0 left, 1 right, else both.
    float GetLevel(int32_t which);
    void SetAGCParams(int32_t limit, int32_t noiseFloor, float initialGain, float rate);
    void SetAGCLevel(float level);  // 0 switches the gain control off

    // Writes a decoding error the mixer's thread met into the error log (once per opened file).
    // The engine's frame does it for every stream (TSound::LogDecodeErrors), and Open, Close,
    // Play, Seek, SkipSilence and GetPlayState do it first; the log is the main thread's, so the
    // mixer's thread only leaves the message.
    void LogDecodeError();
    // A flag that is raised, after the stream's own, whenever the mixer's thread leaves a message:
    // the owner of many streams then looks at them only when one of them has something to log.
    void SignalErrorsTo(std::atomic<bool>* signal) { ErrorSignal = signal; }
    // The game's error log (the sound component's); none: the message is dropped.
    TErrorLog* Log = nullptr;

    // ---- what the open file is (read by the main thread)
    std::atomic<bool> Loaded{false};
    std::atomic<bool> Looping{false};
    std::atomic<bool> Playing{false};
    int32_t Channels = 0;
    int32_t Rate = 0;
    std::string Vendor;
    TStringList Comments;  // converted to Shift-JIS
    int64_t PcmTotal = 0;  // samples per channel
    float TimeTotal = 0;
    int64_t TotalBytes = 0;
    std::array<TOggLoopSlot, kLoopSlots> Loops{};
    std::string SourceName;

    // The gain control; touched under the semaphore only.
    TAGC AGC;

private:
    struct TLock;
    int32_t ReadLocked(uint8_t* dest, int32_t size);
    int32_t ReadBlock(uint8_t* dest, int32_t n);
    int32_t DecodeChunk(uint8_t* dest, int32_t n);
    float PositionLocked();
    void SeekLocked(double seconds);
    void FailLocked(int32_t error);
    void ApplyVolume(int16_t* samples, int32_t frames);
    void ZeroMeter();
    void PublishMeter(uint32_t halfOffset);
    TPLAYSTATE StateNow() const;

    TSemaphore Semaphore;
    std::shared_ptr<TVorbisFileDLL> Decoder;  // the binding files are opened with
    std::shared_ptr<TVorbisFileDLL> Dll;      // the binding the open file was opened with
    TStream* Source = nullptr;                // owned by the decoder once open
    OggVorbis_File VorbisFile{};
    // Rate x 10 + Channels of a file that plays (44100 or 22050 Hz, 1 or 2 channels), else 0.
    int32_t FormatCode = 0;
    static constexpr int32_t kStereo44100 = 441002;
    std::array<int32_t, kLoopSlots> LoopCounter{};
    std::array<uint8_t, 4096> Scratch{};
    // Output of a converting format that did not fit the last request, handed out first next time.
    std::array<uint8_t, 16> Carry{};
    int32_t CarryBytes = 0;
    std::string PendingError;                  // guarded by ControlLock
    std::atomic<bool> HasPendingError{false};  // set with PendingError, read without the lock
    bool ErrorLogged = false;                  // guarded by ControlLock
    std::atomic<bool>* ErrorSignal = nullptr;  // not owned; none when no one asked

    std::vector<uint8_t> Buffer;  // written by the filling thread only
    uint32_t HalfOffset = 0;
    uint32_t PrevHalfOffset = 0;
    IClock& Clock;
    std::atomic<uint32_t> Stamp{0};  // ms: when the audio now heard began
    std::atomic<uint8_t> LastState{psNONE};

    std::mutex ControlLock;  // guards VolumeNow, VolumeTarget, VolumeStep, GainA, GainB, Bands
    int32_t VolumeNow = kVolumeOne;
    int32_t VolumeTarget = kVolumeOne;
    int32_t VolumeStep = 0;
    int32_t GainA = 255;
    int32_t GainB = 255;
    std::array<TOggBand, kBands> Bands{};

    // Equaliser state, under the semaphore.
    std::array<float, 64> HistoryRight{};
    std::array<float, 64> HistoryLeft{};
    TFFT FFT{256};

    std::mutex MeterLock;  // guards MeterBuffer, MeterStamp, MeterHalf
    std::vector<uint8_t> MeterBuffer;
    bool MeterZero = true;  // MeterBuffer holds only zeros; guarded by MeterLock
    uint32_t MeterStamp = 0;
    uint32_t MeterHalf = 0;
};

namespace OggDataLib {

// The loop slots of a "COMMENT" text (lines separated by CR LF), for a file of the given rate.
// Slots not named keep what they held.
void ParseLoopTags(std::string_view comment, int32_t rate, std::array<TOggLoopSlot, TOggData::kLoopSlots>& loops);

// The whole sound of an Ogg Vorbis stream (read from its start) as PCM of the engine's format,
// as long as the file says, padded with silence to at least 32768 bytes and to a multiple of
// 1024. A loop tag ending within the sound jumps back once. Null for a null stream or a length
// beyond the largest sound buffer; a stream the decoder refuses throws EOggError. A decoding error
// is logged at once into the log given (none: not written), under the name given.
// Without a decoder every stream is refused.
std::unique_ptr<TMemoryStream> DecodeToPCMStream(std::shared_ptr<TVorbisFileDLL> decoder, TStream* stream,
                                                 const std::string& name = {}, TErrorLog* log = nullptr);

}  // namespace OggDataLib
