#include "media/OggDataLib.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/ErrorLogLib.h"
#include "foundation/uMisc.h"
#include "foundation/uMisc_Math.h"
#include "platform/AudioMixer.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"

void TSemaphore::Wait() {
    std::unique_lock<std::mutex> lock(Mutex);
    Changed.wait(lock, [this] { return Count > 0; });
    --Count;
}

void TSemaphore::Release() {
    {
        std::lock_guard<std::mutex> lock(Mutex);
        ++Count;
    }
    Changed.notify_one();
}

struct TOggData::TLock {
    explicit TLock(TSemaphore& s) : S(s) { S.Wait(); }
    ~TLock() { S.Release(); }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;
    TSemaphore& S;
};

namespace {

std::string SemaphoreName(IClock& clock) {
    char name[40];
    std::snprintf(name, sizeof name, "KelOggData%08X", static_cast<unsigned>(clock.NowMs()));
    return name;
}

bool Finite(float v) {
    return std::isfinite(v);
}

// A double into int32, saturating; NaN becomes 0.
int32_t SaturateInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

std::string DecoderErrorText(int32_t code) {
    switch (code) {
        case OV_HOLE:
            return "data missing or damaged";
        case OV_EREAD:
            return "read error";
        case OV_EFAULT:
            return "decoder state corrupt";
        case OV_EINVAL:
            return "invalid request";
        case OV_EBADLINK:
            return "invalid stream section";
        case OV_ENOTVORBIS:
            return "not Vorbis data";
        case OV_EBADHEADER:
            return "invalid header";
        default:
            return "error";
    }
}

}  // namespace

TOggData::TOggData(int32_t bufferSize, IClock& clock, std::shared_ptr<TVorbisFileDLL> decoder)
    : AGC(bufferSize),
      Semaphore(SemaphoreName(clock), 1),
      Buffer(static_cast<size_t>(std::max(bufferSize, 0))),
      Clock(clock),
      MeterBuffer(static_cast<size_t>(std::max(bufferSize, 0))) {
    Decoder = std::move(decoder);
    Close();
}

TOggData::~TOggData() {
    Close();
}

TPLAYSTATE TOggData::StateNow() const {
    if (!Loaded) return psNONE;
    if (!Playing) return psSTOP;
    return Looping ? psLOOP : psPLAY;
}

TPLAYSTATE TOggData::GetState() const {
    return StateNow();
}

TPLAYSTATE TOggData::GetPlayState() {
    LogDecodeError();
    return Playing ? StateNow() : static_cast<TPLAYSTATE>(LastState.load());
}

bool TOggData::Open(std::unique_ptr<TStream> stream, std::string name) {
    LogDecodeError();
    if (!stream) return false;
    Close();
    std::shared_ptr<TVorbisFileDLL> dll = Decoder;
    TLock lock(Semaphore);
    // A refused stream goes with the unique_ptr when the exception leaves.
    if (!dll || !dll->Loaded()) throw EOggError("ファイルの読み込みに失敗"_sj);
    TStream* raw = stream.get();
    VorbisFile = {};
    if (dll->ov_open_callbacks(raw, &VorbisFile, nullptr, 0, dll->Callbacks) < 0) {
        VorbisFile = {};
        throw EOggError("ファイルの読み込みに失敗"_sj);
    }
    stream.release();  // the decoder frees it through the close callback
    Source = raw;
    Dll = std::move(dll);

    if (const vorbis_comment* vc = Dll->ov_comment(&VorbisFile, -1)) {
        for (int i = 0; i < vc->comments; ++i) {
            const char* c = vc->user_comments ? vc->user_comments[i] : nullptr;
            if (!c) break;
            const size_t len = vc->comment_lengths && vc->comment_lengths[i] >= 0
                                   ? static_cast<size_t>(vc->comment_lengths[i])
                                   : std::strlen(c);
            Comments.Add(Encoding::Utf8ToSjis(std::string_view(c, len)));
        }
        if (vc->vendor) Vendor = Encoding::Utf8ToSjis(vc->vendor);
    }
    if (const vorbis_info* vi = Dll->ov_info(&VorbisFile, -1)) {
        Channels = vi->channels;
        Rate = static_cast<int32_t>(std::clamp<long>(vi->rate, 0, INT32_MAX));
    }
    PcmTotal = std::max<int64_t>(Dll->ov_pcm_total(&VorbisFile, -1), 0);
    const double seconds = Dll->ov_time_total(&VorbisFile, -1);
    TimeTotal = seconds > 0 && std::isfinite(seconds) ? static_cast<float>(seconds) : 0.0f;
    TotalBytes = PcmTotal * 4;
    const bool plays = (Rate == 44100 || Rate == 22050) && (Channels == 1 || Channels == 2);
    FormatCode = plays ? Rate * 10 + Channels : 0;

    Loops = {};
    OggDataLib::ParseLoopTags(Comments.Values("COMMENT"), Rate, Loops);
    LoopCounter = {};
    CarryBytes = 0;
    SourceName = std::move(name);
    {
        std::lock_guard<std::mutex> c(ControlLock);
        PendingError.clear();
        HasPendingError.store(false, std::memory_order_relaxed);
        ErrorLogged = false;
    }
    Loaded = true;
    return true;
}

void TOggData::Close() {
    LogDecodeError();
    StopAndRewind();
    Comments.Clear();
    Vendor.clear();
    {
        TLock lock(Semaphore);
        Loaded = false;
        Channels = Rate = 0;
        PcmTotal = TotalBytes = 0;
        TimeTotal = 0;
        FormatCode = 0;
        if (Source && Dll) Dll->ov_clear(&VorbisFile);
        Source = nullptr;
        VorbisFile = {};
        Dll.reset();
        CarryBytes = 0;
        Loops = {};
        AGC.Reset();
        AGC.Limit = 0;  // off until a script sets it
        AGC.NoiseFloor = 800;
        AGC.InitialGain = 1.0f;
        AGC.Rate = 0.05f;
        AGC.ResetGain();
    }
    ZeroMeter();
}

void TOggData::Play(bool loop) {
    LogDecodeError();
    Playing = true;
    Looping = loop;
}

void TOggData::Stop() {
    Playing = false;
    Looping = false;
}

void TOggData::StopAndRewind() {
    Stop();
    Seek(0);
    {
        TLock lock(Semaphore);
        LoopCounter = {};
    }
    ZeroMeter();
}

void TOggData::Seek(float seconds) {
    LogDecodeError();
    if (!Loaded) return;
    double s = Finite(seconds) ? seconds : 0.0;
    TLock lock(Semaphore);
    if (s > TimeTotal) s = TimeTotal;
    if (s < 0) s = 0;
    if (Source && Dll->ov_seekable(&VorbisFile) != 0) SeekLocked(s);
}

void TOggData::SeekLocked(double seconds) {
    CarryBytes = 0;
    if (!Source) return;
    // The library refuses a time at the very end; the last sample's position stands for it.
    if (Dll->ov_time_seek(&VorbisFile, seconds) != 0 && seconds >= TimeTotal) Dll->ov_pcm_seek(&VorbisFile, PcmTotal);
}

float TOggData::PositionLocked() {
    if (!Source) return 0.0f;
    const double t = Dll->ov_time_tell(&VorbisFile);
    return std::isfinite(t) ? static_cast<float>(t) : 0.0f;
}

float TOggData::GetPosition() {
    TLock lock(Semaphore);
    return PositionLocked();
}

bool TOggData::IsSeekable() {
    TLock lock(Semaphore);
    return Loaded && Source && Dll->ov_seekable(&VorbisFile) != 0;
}

void TOggData::SetVolume(float volume, float fade) {
    if (!Finite(volume)) volume = 1.0f;
    const double v = std::clamp(static_cast<double>(volume), 0.0, 2.0);
    const int32_t f = static_cast<int32_t>(v * kVolumeOne);
    std::lock_guard<std::mutex> lock(ControlLock);
    if (!(Finite(fade) && fade >= 0.01f)) {
        VolumeNow = VolumeTarget = f;
        VolumeStep = 0;
    } else {
        VolumeTarget = f;
        VolumeStep = SaturateInt((static_cast<double>(f) - VolumeNow) / (static_cast<double>(fade) * 44100.0));
    }
}

float TOggData::GetVolumeNow() {
    std::lock_guard<std::mutex> lock(ControlLock);
    return static_cast<float>(static_cast<double>(VolumeNow) / kVolumeOne);
}

float TOggData::GetVolumeTarget() {
    std::lock_guard<std::mutex> lock(ControlLock);
    return static_cast<float>(static_cast<double>(VolumeTarget) / kVolumeOne);
}

namespace {
int32_t GainByte(float factor) {
    if (!std::isfinite(factor)) factor = 1.0f;
    return static_cast<int32_t>(std::clamp(std::nearbyint(static_cast<double>(factor) * 255.0), 0.0, 255.0));
}
}  // namespace

void TOggData::SetGainA(float factor) {
    const int32_t g = GainByte(factor);
    std::lock_guard<std::mutex> lock(ControlLock);
    GainA = g;
}

void TOggData::SetGainB(float factor) {
    const int32_t g = GainByte(factor);
    std::lock_guard<std::mutex> lock(ControlLock);
    GainB = g;
}

// ---- reading

int32_t TOggData::Read(void* dest, int32_t size, int32_t delay) {
    if (!dest || size <= 0) return 0;
    LastState = StateNow();
    {
        std::lock_guard<std::mutex> lock(ControlLock);
        // A finished fade-out (or volume 0) ends the stream.
        if (static_cast<double>(VolumeNow) / kVolumeOne < 0.01 && static_cast<double>(VolumeTarget) / kVolumeOne < 0.01)
            Stop();
    }
    if (!Loaded || !Playing) {
        std::memset(dest, 0, static_cast<size_t>(size));
        return 0;
    }
    Stamp = Clock.NowMs() - static_cast<uint32_t>(delay);
    TLock lock(Semaphore);
    if (reinterpret_cast<uintptr_t>(dest) % alignof(int16_t) == 0) return ReadLocked(static_cast<uint8_t*>(dest), size);
    // The block is worked on as 16-bit samples, which need their alignment.
    std::vector<int16_t> aligned((static_cast<size_t>(size) + 1) / 2);
    const int32_t r = ReadLocked(reinterpret_cast<uint8_t*>(aligned.data()), size);
    std::memcpy(dest, aligned.data(), static_cast<size_t>(size));
    return r;
}

int32_t TOggData::ReadLocked(uint8_t* dest, int32_t size) {
    // Read again under the lock: a close or stop may have come in between.
    if (!Loaded || !Playing || !Source) {
        std::memset(dest, 0, static_cast<size_t>(size));
        return 0;
    }
    // Only whole frames are decoded; a block of another size gets silence in its last bytes.
    const int32_t whole = size & ~3;
    std::memset(dest + whole, 0, static_cast<size_t>(size - whole));

    const float t0 = PositionLocked();
    const double blockSeconds = static_cast<double>(whole) / kBytesPerSecond;
    int32_t result = 0;
    bool fired = false;
    for (int32_t j = 0; j < kLoopSlots; ++j) {
        const TOggLoopSlot& slot = Loops[static_cast<size_t>(j)];
        int32_t& counter = LoopCounter[static_cast<size_t>(j)];
        // Only the first slot that ends inside the block jumps: a second jump would land beyond it.
        if (!fired && t0 <= slot.Stop && static_cast<double>(slot.Stop) <= t0 + blockSeconds &&
            (counter < slot.Count || slot.Count == -1)) {
            if (slot.Count != -1) ++counter;
            const double frames = std::nearbyint((static_cast<double>(slot.Stop) - t0) * kBytesPerSecond / 4);
            const int32_t k = static_cast<int32_t>(std::clamp(frames * 4, 0.0, static_cast<double>(whole)));
            const int32_t first = ReadBlock(dest, k);
            if (first < 0) {
                std::memset(dest + k, 0, static_cast<size_t>(whole - k));
                return first;
            }
            SeekLocked(slot.Start);
            const int32_t second = ReadBlock(dest + k, whole - k);
            if (second < 0) return second;
            result = first + second;
            fired = true;
        }
        if (slot.Stop < t0) counter = 0;
    }
    if (!fired) {
        result = ReadBlock(dest, whole);
        if (result < 0) return result;
    }
    int16_t* samples = reinterpret_cast<int16_t*>(dest);
    EqualizeIfActive(samples, whole);
    AGC.Process(samples, whole);
    ApplyVolume(samples, whole / 4);
    return result;
}

int32_t TOggData::ReadBlock(uint8_t* dest, int32_t n) {
    if (n < 1) return 0;
    int32_t remaining = n;
    bool restarted = false;
    while (true) {
        const int32_t r = DecodeChunk(dest, remaining);
        if (r < 0) {
            std::memset(dest, 0, static_cast<size_t>(remaining));
            FailLocked(r);
            return r;
        }
        if (r == 0) {
            SeekLocked(0.0);
            // A file that gives nothing even from its start would restart for ever: that is its end.
            if (!Looping || restarted) {
                Playing = false;
                Looping = false;
                std::memset(dest, 0, static_cast<size_t>(remaining));
                return n - remaining;
            }
            restarted = true;
            continue;
        }
        restarted = false;
        dest += r;
        remaining -= r;
        if (remaining < 1) return n - remaining;
    }
}

int32_t TOggData::DecodeChunk(uint8_t* dest, int32_t n) {
    if (CarryBytes > 0) {
        const int32_t c = std::min(CarryBytes, n);
        std::memcpy(dest, Carry.data(), static_cast<size_t>(c));
        std::memmove(Carry.data(), Carry.data() + c, static_cast<size_t>(CarryBytes - c));
        CarryBytes -= c;
        return c;
    }
    int section = 0;
    if (FormatCode == kStereo44100)
        return static_cast<int32_t>(Dll->ov_read(&VorbisFile, reinterpret_cast<char*>(dest), n, 0, 2, 1, &section));
    if (FormatCode == 0) return -1;

    // The converting formats: mono repeats each sample into both channels, 22050 Hz repeats
    // each frame. The request is cut to whole input frames and to the scratch buffer.
    const int32_t inFrame = Channels * 2;
    const int32_t repeat = Rate == 22050 ? 2 : 1;
    const int32_t outFrame = 4 * repeat;
    int32_t want = std::max(n / outFrame, 1);
    want = std::min(want, static_cast<int32_t>(Scratch.size()) / inFrame);
    const long got =
        Dll->ov_read(&VorbisFile, reinterpret_cast<char*>(Scratch.data()), want * inFrame, 0, 2, 1, &section);
    if (got <= 0) return static_cast<int32_t>(got);
    const int32_t frames = static_cast<int32_t>(got) / inFrame;
    const int32_t outBytes = frames * outFrame;
    // Only a request smaller than one converted frame overflows the destination: its rest waits.
    uint8_t* out = outBytes <= n ? dest : Carry.data();
    for (int32_t f = 0; f < frames; ++f) {
        const uint8_t* in = Scratch.data() + f * inFrame;
        uint8_t frame[4] = {in[0], in[1], in[Channels == 2 ? 2 : 0], in[Channels == 2 ? 3 : 1]};
        for (int32_t r = 0; r < repeat; ++r) {
            std::memcpy(out, frame, 4);
            out += 4;
        }
    }
    if (outBytes <= n) return outBytes;
    std::memcpy(dest, Carry.data(), static_cast<size_t>(n));
    std::memmove(Carry.data(), Carry.data() + n, static_cast<size_t>(outBytes - n));
    CarryBytes = outBytes - n;
    return n;
}

void TOggData::FailLocked(int32_t error) {
    Playing = false;
    Looping = false;
    if (Source && Dll->ov_seekable(&VorbisFile) != 0) SeekLocked(0.0);
    LoopCounter = {};
    ZeroMeter();
    std::string reason;
    if (FormatCode == 0)
        reason = "unsupported format (" + std::to_string(Rate) + " Hz, " + std::to_string(Channels) +
                 " channels; 44100 or 22050 Hz with 1 or 2 channels play)";
    else
        reason = "decoder " + DecoderErrorText(error) + " (" + std::to_string(error) + ")";
    std::lock_guard<std::mutex> lock(ControlLock);
    if (ErrorLogged || !PendingError.empty()) return;
    PendingError = "[SOUND]:" + (SourceName.empty() ? std::string("Ogg stream") : SourceName) + ": " + reason +
                   "; the stream was stopped";
    HasPendingError.store(true, std::memory_order_release);
    if (ErrorSignal) ErrorSignal->store(true, std::memory_order_release);
}

void TOggData::LogDecodeError() {
    // Once a frame for every stream: without an error waiting, the lock is not taken.
    if (!HasPendingError.load(std::memory_order_acquire)) return;
    std::string message;
    {
        std::lock_guard<std::mutex> lock(ControlLock);
        HasPendingError.store(false, std::memory_order_relaxed);
        if (PendingError.empty()) return;
        message.swap(PendingError);
        ErrorLogged = true;
    }
    if (Log) Log->WriteErrorLog(message);
}

void TOggData::ApplyVolume(int16_t* s, int32_t frames) {
    std::lock_guard<std::mutex> lock(ControlLock);
    const int32_t g = GainA * GainB / 256;
    if (VolumeStep == 0) {
        // No fade: one factor for the whole block, in a loop the compiler vectorises.
        const int32_t v = VolumeNow / 2822400 * g / 256;
        const int32_t n = frames * 2;
        if (v > 255) {
            for (int32_t i = 0; i < n; ++i)
                s[i] = static_cast<int16_t>(std::clamp(s[i] * v / 256, -32766, 32766));
        } else {
            for (int32_t i = 0; i < n; ++i)
                s[i] = static_cast<int16_t>(s[i] * v / 256);
        }
        return;
    }
    for (int32_t i = 0; i < frames; ++i, s += 2) {
        if (VolumeStep != 0) {
            if (std::abs(int64_t{VolumeTarget} - VolumeNow) < std::abs(int64_t{VolumeStep})) {
                VolumeNow = VolumeTarget;
                VolumeStep = 0;
            }
            VolumeNow = SaturateInt(static_cast<double>(VolumeNow) + VolumeStep);
        }
        const int32_t v = VolumeNow / 2822400 * g / 256;
        int32_t l = s[0] * v / 256;
        int32_t r = s[1] * v / 256;
        if (v > 255) {
            l = std::clamp(l, -32766, 32766);
            r = std::clamp(r, -32766, 32766);
        }
        s[0] = static_cast<int16_t>(l);
        s[1] = static_cast<int16_t>(r);
    }
}

int32_t TOggData::FillNextHalf(int32_t delay) {
    PrevHalfOffset = HalfOffset;
    const uint32_t half = static_cast<uint32_t>(HalfSize());
    HalfOffset = HalfOffset == 0 ? half : 0;
    const int32_t r = Read(Buffer.data() + HalfOffset, static_cast<int32_t>(half), delay);
    PublishMeter(HalfOffset);
    return r;
}

float TOggData::GetPlayingTime() {
    const double b = 2.0 * HalfSize() / kBytesPerSecond;
    const double e = static_cast<double>(Clock.NowMs() - Stamp.load()) / 1000.0;
    const double t = GetPosition() - b + std::min(e, b);
    return static_cast<float>(std::min(t, static_cast<double>(TimeTotal)));
}

void TOggData::SkipSilence(int32_t threshold) {
    LogDecodeError();
    if (!Loaded) return;
    float p = GetPosition();
    while (p < TimeTotal) {
        int16_t block[256] = {};
        bool failed = false;
        {
            TLock lock(Semaphore);
            int32_t got = 0;
            while (got < 512) {
                const int32_t r = ReadBlock(reinterpret_cast<uint8_t*>(block) + got, 512 - got);
                if (r <= 0) {
                    failed = r < 0;
                    break;
                }
                got += r;
            }
        }
        if (failed) break;
        int32_t sum = 0;
        for (int16_t v : block)
            sum += std::abs(static_cast<int32_t>(v));
        if (sum / 256 > threshold) break;
        p += 0.2f;
        Seek(p);
    }
    if (p > TimeTotal - 0.2f) p = 0;
    p -= 0.2f;
    if (p < 0) p = 0;
    Seek(p);
}

// ---- level meter

void TOggData::ZeroMeter() {
    std::lock_guard<std::mutex> lock(MeterLock);
    // Closing and stopping zero it again and again; a meter that was not written since is zero.
    if (MeterZero) return;
    std::fill(MeterBuffer.begin(), MeterBuffer.end(), uint8_t{0});
    MeterZero = true;
}

void TOggData::PublishMeter(uint32_t halfOffset) {
    const size_t half = static_cast<size_t>(HalfSize());
    std::lock_guard<std::mutex> lock(MeterLock);
    std::memcpy(MeterBuffer.data() + halfOffset, Buffer.data() + halfOffset, half);
    MeterZero = false;
    MeterStamp = Stamp.load();
    MeterHalf = halfOffset;
}

float TOggData::GetLevel(int32_t which) {
    std::lock_guard<std::mutex> lock(MeterLock);
    const int64_t size = 2 * int64_t{HalfSize()};
    if (size < 4) return 0.0f;
    const uint32_t elapsed = Clock.NowMs() - MeterStamp;
    int64_t p = static_cast<int64_t>(std::nearbyint(elapsed / 1000.0 * kBytesPerSecond)) & ~int64_t{3};
    if (p > size) return 0.0f;  // nothing fed for longer than the buffer lasts
    if (MeterHalf == 0) p += size / 2;
    p %= size;
    const uint8_t* b = MeterBuffer.data();
    auto sample = [&](int64_t at) {
        return std::abs(static_cast<int32_t>(static_cast<int16_t>(b[at % size] | (b[(at + 1) % size] << 8))));
    };
    int64_t left = 0, right = 0;
    for (int64_t i = 0; i < 256; ++i) {
        left += sample(p + 4 * i);
        right += sample(p + 4 * i + 2);
    }
    const int64_t l = left / 256, r = right / 256;
    if (which == 0) return static_cast<float>(l) / 32768.0f;
    if (which == 1) return static_cast<float>(r) / 32768.0f;
    return static_cast<float>(l + r) / 65536.0f;
}

// ---- equaliser and gain control

void TOggData::SetBandGain(int32_t band, float fade, float gain) {
    if (band < 0 || band >= kBands) return;
    if (!Finite(gain)) gain = 1.0f;
    gain = std::clamp(gain, -65536.0f, 65536.0f);  // beyond that every sample clips anyway
    std::lock_guard<std::mutex> lock(ControlLock);
    TOggBand& b = Bands[static_cast<size_t>(band)];
    if (Finite(fade) && fade >= 0.001f) {
        b.Target = gain;
        b.Step = static_cast<float>((static_cast<double>(gain) - b.Gain) / (static_cast<double>(fade) * 44100.0));
    } else {
        b.Gain = b.Target = gain;
        b.Step = 0;
    }
}

float TOggData::GetBandGain(int32_t band) {
    if (band < 0 || band >= kBands) return 1.0f;
    std::lock_guard<std::mutex> lock(ControlLock);
    return Bands[static_cast<size_t>(band)].Gain;
}

float TOggData::GetBandTarget(int32_t band) {
    if (band < 0 || band >= kBands) return 1.0f;
    std::lock_guard<std::mutex> lock(ControlLock);
    return Bands[static_cast<size_t>(band)].Target;
}

namespace {
// The Hermite control curve through c gains, at x in 0..c-1.
float ControlCurve(const float* g, int32_t c, float x) {
    const int32_t j = static_cast<int32_t>(x);
    const float f = x - static_cast<float>(j);
    auto at = [&](int32_t i) { return g[std::clamp(i, 0, c - 1)]; };
    return uMisc_Math::CurveHermite(at(j - 1), at(j), at(j + 1), at(j + 2), f, 1.0f, 1.0f, 1.0f);
}
}  // namespace

void TOggData::SetEqualizer4(const float gains[4], float fade) {
    for (int32_t i = 0; i < kBands; ++i)
        SetBandGain(i, fade, std::max(0.0f, ControlCurve(gains, 4, static_cast<float>(i) * 3.0f / 255.0f)));
}

void TOggData::SetEqualizer8(const float gains[8], float fade) {
    for (int32_t i = 0; i < kBands; ++i)
        SetBandGain(i, fade, std::max(0.0f, ControlCurve(gains, 8, static_cast<float>(i) * 7.0f / 255.0f)));
}

bool TOggData::IsEqualizerActive() {
    std::lock_guard<std::mutex> lock(ControlLock);
    for (const TOggBand& b : Bands)
        if (std::fabs(b.Gain - 1.0f) + std::fabs(b.Target - 1.0f) > 0.01f) return true;
    return false;
}

void TOggData::Equalize(int16_t* block, int32_t bytes) {
    constexpr int32_t H = 64, N = 256;
    int32_t left = bytes / 4;
    float G[N];
    while (left > 0) {
        const int32_t m = std::min(left, 3 * H);
        const int32_t o = m == 3 * H ? 2 * H : m;
        {
            std::lock_guard<std::mutex> lock(ControlLock);
            for (int32_t i = 0; i < N; ++i) {
                TOggBand& b = Bands[static_cast<size_t>(i)];
                const float move = static_cast<float>(m) * b.Step;
                if (std::fabs(move) > std::fabs(b.Gain - b.Target)) {
                    b.Gain = b.Target;
                    b.Step = 0;
                } else {
                    b.Gain += move;
                }
                G[i % 2 == 0 ? i / 2 : 255 - (i - 1) / 2] = b.Gain;
            }
        }
        float* re = FFT.Re.data();
        float* im = FFT.Im.data();
        for (int32_t i = 0; i < H; ++i) {
            re[i] = HistoryLeft[static_cast<size_t>(i)];
            im[i] = HistoryRight[static_cast<size_t>(i)];
        }
        for (int32_t i = 0; i < m; ++i) {
            re[H + i] = block[2 * i];
            im[H + i] = block[2 * i + 1];
        }
        for (int32_t i = H + m; i < N; ++i) {
            re[i] = block[2 * (m - 1)];
            im[i] = block[2 * (m - 1) + 1];
        }
        for (int32_t i = 0; i < H; ++i) {
            HistoryLeft[static_cast<size_t>(i)] = re[o + i];
            HistoryRight[static_cast<size_t>(i)] = im[o + i];
        }
        FFT.ApplyWindow();
        FFT.Inverse();
        for (int32_t k = 0; k < N; ++k) {
            re[k] *= G[k];
            im[k] *= G[k];
        }
        FFT.Forward();
        FFT.RemoveWindow();
        FFT.Clamp16();
        const int32_t out = m < 3 * H ? m : 2 * H;
        for (int32_t i = 0; i < out; ++i) {
            block[2 * i] = static_cast<int16_t>(std::nearbyint(re[H + i]));
            block[2 * i + 1] = static_cast<int16_t>(std::nearbyint(im[H + i]));
        }
        block += 2 * out;
        left -= out;
    }
}

void TOggData::SetAGCParams(int32_t limit, int32_t noiseFloor, float initialGain, float rate) {
    TLock lock(Semaphore);
    AGC.Limit = limit;
    AGC.NoiseFloor = noiseFloor;
    AGC.InitialGain = Finite(initialGain) ? std::clamp(initialGain, 0.0f, 65536.0f) : 1.0f;
    AGC.Rate = Finite(rate) ? rate : 0.05f;
    AGC.ResetGain();
}

void TOggData::SetAGCLevel(float level) {
    if (!Finite(level)) level = 1.0f;
    SetAGCParams(SaturateInt(std::nearbyint(30000.0 * level)), 800, 1.0f, 0.05f);
}

// ---- loop tags and whole-sound decoding

namespace OggDataLib {

namespace {

// The field must be a number from its first byte to its last.
bool WholeInt(std::string_view s, int32_t& out) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    int64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool WholeNumber(std::string_view s, double& out) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

}  // namespace

void ParseLoopTags(std::string_view comment, int32_t rate, std::array<TOggLoopSlot, TOggData::kLoopSlots>& loops) {
    size_t at = 0;
    while (at <= comment.size()) {
        size_t end = comment.find('\n', at);
        if (end == std::string_view::npos) end = comment.size();
        std::string_view line = comment.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string lower = ClassLib::LowerAscii(line);
        const auto fields = uMisc::SplitString(",", lower, true, true, 5);
        const std::string& kind = (*fields)[0];
        const bool samples = kind == "*loopsample";
        if (kind != "*looptime" && !samples) continue;
        int32_t slot = 0, count = -1;
        double start = 0, stop = 0;
        if (!WholeInt((*fields)[1], slot)) slot = 0;
        if (!WholeNumber((*fields)[2], start)) start = 0;
        if (!WholeNumber((*fields)[3], stop)) stop = 0;
        if (!WholeInt((*fields)[4], count)) count = -1;
        if (slot < 0 || slot >= TOggData::kLoopSlots) continue;
        if (samples) {
            if (rate <= 0) continue;  // no rate to turn samples into time
            start /= rate;
            stop /= rate;
        }
        auto toFloat = [](double v) { return static_cast<float>(std::clamp(v, -3.0e38, 3.0e38)); };
        loops[static_cast<size_t>(slot)] = {toFloat(start), toFloat(stop), count};
    }
}

std::unique_ptr<TMemoryStream> DecodeToPCMStream(std::shared_ptr<TVorbisFileDLL> decoder, TStream* stream,
                                                 const std::string& name, TErrorLog* log) {
    if (!stream) return nullptr;
    auto copy = std::make_unique<TMemoryStream>();
    copy->CopyFrom(*stream, 0);
    copy->SetPosition(0);
    TFakeClock clock;  // the whole file is read at once: no time passes for it
    TOggData ogg(44100, clock, std::move(decoder));
    ogg.Log = log;
    ogg.Open(std::move(copy), name);
    ogg.SetVolumeNow(1.0f);
    ogg.Play(false);
    // The length the file gives, at 44100 Hz. The sound is then decoded in one read of that size,
    // so a loop tag ending inside it jumps once and the read goes on from the loop's start; what
    // the file does not fill stays silent.
    int64_t size = ogg.TotalBytes * (ogg.Rate == 22050 ? 2 : 1);
    size = (std::max<int64_t>(size, 32768) + 1023) / 1024 * 1024;
    // No sound buffer holds more than this: a longer length is a damaged file, refused before
    // anything that large is allocated.
    if (size > int64_t{AudioMixer::kMaxBytes}) return nullptr;
    auto result = std::make_unique<TMemoryStream>();
    result->SetSize(size);
    ogg.Read(result->Memory(), static_cast<int32_t>(size), 0);
    result->SetPosition(0);
    return result;
}

}  // namespace OggDataLib
