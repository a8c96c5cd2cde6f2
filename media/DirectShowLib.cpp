#include "media/DirectShowLib.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <limits>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/ErrorLogLib.h"
#include "foundation/SoundComponent.h"
#include "platform/Audio.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"

namespace DirectShowLib {

int32_t VolumeLevel(int32_t volume) {
    const double r = std::clamp(volume, 0, 255) / 255.0;
    if (r < 0.0001) return AudioMixer::kVolumeMin;
    return std::clamp(static_cast<int32_t>(std::lround(1000.0 * std::log10(r))), AudioMixer::kVolumeMin,
                      AudioMixer::kVolumeMax);
}

}  // namespace DirectShowLib

namespace {

constexpr int64_t kRate = AudioMixer::kRate;
constexpr int64_t kNone = std::numeric_limits<int64_t>::min();

// The device buffer holds one second; the stream keeps it as full as the decoder allows.
constexpr int64_t kRingFrames = kRate;
constexpr uint32_t kRingBytes = static_cast<uint32_t>(kRingFrames) * AudioMixer::kFrameBytes;
// When the decoder has fallen behind, this much silence is kept ahead of what the device mixes,
// so that it never plays sound left over from a lap before.
constexpr int64_t kLeadFrames = 2048;
// Sound taken as following on from the piece before when its time stamp is this close (10 ms):
// time stamps jitter by a sample or two after resampling, which must not become clicks.
constexpr int64_t kJoinFrames = kRate / 100;

// How far the decoder reads ahead. Below the soft limits it always goes on; past them it goes on
// only while the other kind is running short (sound under half a second, or no picture queued),
// up to the hard limits, so that a file with its sound far from its pictures cannot stall.
constexpr int64_t kSoundSoft = 4 * kRate;
constexpr int64_t kSoundLow = kRate / 2;
constexpr int64_t kSoundHard = 16 * kRate;
constexpr size_t kPicturesMin = 3;
constexpr size_t kPicturesMax = 120;
constexpr size_t kPictureSoftBytes = size_t{16} << 20;
constexpr size_t kPictureHardBytes = size_t{64} << 20;
constexpr size_t kPoolMax = 4;

// Starting the sound waits this long at most for the decoder's first second of sound; the
// stream's own wait for a slow decoder (WaitForDecoder) is bounded the same way.
constexpr auto kStartWait = std::chrono::seconds(1);
constexpr auto kDecoderWait = std::chrono::seconds(2);

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
// The sound frame at a time, rounded, and the time of a frame.
int64_t FrameAt(int64_t us) {
    return FloorDiv(us * kRate + 500000, 1000000);
}
int64_t UsOf(int64_t frame) {
    return FloorDiv(frame * 1000000, kRate);
}

size_t BytesOf(const TMoviePicture& p) {
    return p.Pixels.size() * sizeof(uint32_t);
}

// Sound waiting for the device: frames from Start, of which the first Offset are used.
struct TQueuedSound {
    int64_t Start = 0;
    int64_t Offset = 0;
    std::vector<int16_t> Samples;
    int64_t Frames() const { return static_cast<int64_t>(Samples.size() / 2); }
};

}  // namespace

// One open file: its source, the decoder thread, the queues, the sound stream and the clock.
class TDirectShowPlayer::TPlayback {
public:
    TPlayback(std::unique_ptr<IMovieSource> source, const TMovieDevices& devices, int32_t level);
    ~TPlayback();
    TPlayback(const TPlayback&) = delete;
    TPlayback& operator=(const TPlayback&) = delete;

    void Run();
    void Hold();
    void SeekTo(int64_t us);
    int64_t PositionUs();
    int64_t LengthUs();
    bool AtEnd();
    void SetLevel(int32_t level);
    void SetPictureSize(int32_t width, int32_t height);
    Display::TRowSpan Draw(const TDisplayLock& lock, int32_t left, int32_t top, int32_t width, int32_t height);
    uint64_t Serial();
    bool WaitDecoded(uint32_t timeoutMs);
    // The source's reason after it failed while reading, handed out once.
    std::string TakeReadFailure();

private:
    void Decode(std::stop_token stop);
    void Feed(std::stop_token stop);

    // The rest runs with Guard held.
    bool Audible() const { return Buffer != 0; }
    bool HasRoomLocked() const;
    bool SoundEndedLocked() const;
    bool SoundCoversLocked(int64_t frame) const;
    bool DecoderSettledLocked() const { return DecoderIdle && !SeekPending && !SizePending; }
    void NoteEndLocked(int64_t us);
    void PushPictureLocked(TMoviePicture&& picture);
    void PushSoundLocked(TMovieSound& sound, int64_t target, int64_t& expect);
    void RecycleLocked(TMoviePicture&& picture);
    void ClearQueuesLocked();
    int64_t ClockLocked();
    uint32_t NowMs() const { return Clock ? Clock->NowMs() : 0; }
    int64_t EndPositionLocked() const;
    bool AtEndLocked();
    void RetireLocked();
    // Takes the sound for frames from `frame` on into Scratch: as much as the queue holds, and
    // silence where the movie has none. Returns the frames given.
    int64_t TakeSoundLocked(int64_t frame, int64_t count);
    void FeedLocked(std::unique_lock<std::mutex>& lock, uint32_t play, uint32_t write, std::stop_token stop);
    void StartSoundLocked(std::unique_lock<std::mutex>& lock);

    std::unique_ptr<IMovieSource> Source;  // the decoder thread's alone once it runs
    const TMovieInfo Info;
    IAudioDevice* Device = nullptr;
    Audio::TBufferId Buffer = 0;  // the sound stream; 0: the movie runs on the engine's clock
    const bool WaitForDecoder;
    IClock* const Clock;

    // Guards every field below, shared by the main thread, the decoder thread and the sound
    // stream's thread. Taken before the device's own lock; never held while joining a thread.
    std::mutex Guard;
    // Wakes the decoder: a seek, a new picture size, room in the queues, or the end of the run.
    std::condition_variable_any DecoderWake;
    // Wakes those waiting for the decoder: something was decoded, or it has nothing to do.
    std::condition_variable_any Progress;

    // Decoder commands and state. A seek starts a new generation; whatever was decoded for an
    // older one is dropped.
    uint32_t Generation = 0;
    bool SeekPending = false;
    int64_t SeekTargetUs = 0;
    bool SizePending = false;
    int32_t PictureWidth = 1;
    int32_t PictureHeight = 1;
    bool DecoderIdle = false;   // waiting: for room, for a command, or at the end
    bool DecoderEnded = false;  // of this generation
    bool EndKnown = false;      // the decoder has reached the end at least once
    int64_t EndUs = 0;          // the end of the last picture or sound decoded so far
    std::string ReadFailure;
    bool ReadFailureTaken = false;

    std::deque<TMoviePicture> Pictures;
    size_t PictureBytes = 0;
    std::vector<TMoviePicture> Pool;
    std::deque<TQueuedSound> Sounds;
    int64_t SoundFrames = 0;  // queued and not yet used

    // The picture on show.
    TMoviePicture Current;
    bool HasCurrent = false;
    uint32_t CurrentGeneration = 0;
    uint64_t PictureCount = 0;

    // The clock. Playing or not; where the movie stands while the sound has not started since the
    // last seek.
    bool Running = false;
    int64_t PendingUs = 0;
    // With sound: relative frames count from the buffer's offset 0 at the start of the stream,
    // which played the movie's frame BaseFrame, at PendingUs. Played: frames the device has
    // passed; Written: frames in the buffer, real sound up to RealEnd and stop-gap silence after
    // it.
    bool Primed = false;
    int64_t BaseFrame = 0;
    uint32_t LastPlay = 0;
    int64_t Played = 0;
    int64_t Written = 0;
    int64_t RealEnd = 0;
    std::vector<int16_t> Scratch;
    // Without sound: the engine's clock from WallStartMs on, at WallBaseUs then.
    int64_t WallBaseUs = 0;
    uint32_t WallStartMs = 0;

    std::vector<uint32_t> Row;  // the main thread's, for scaled and black rows

    std::jthread DecoderThread;
    std::jthread FeederThread;
};

TDirectShowPlayer::TPlayback::TPlayback(std::unique_ptr<IMovieSource> source, const TMovieDevices& devices,
                                        int32_t level)
    : Source(std::move(source)), Info(Source->Info()), WaitForDecoder(devices.WaitForDecoder), Clock(devices.Clock) {
    if (devices.Sound && devices.Sound->Initialized() && devices.Sound->Device()) {
        Device = devices.Sound->Device();
        Audio::TBufferDesc desc;
        desc.Bytes = kRingBytes;
        desc.PositionNotify = true;
        desc.GlobalFocus = devices.Sound->StickyFocus;
        if (Device->CreateBuffer(desc, Buffer) != Audio::arOk) Buffer = 0;
        const uint32_t quarter = kRingBytes / 4;
        const uint32_t positions[4] = {0, quarter, 2 * quarter, 3 * quarter};
        if (Buffer != 0 && Device->SetNotifyPositions(Buffer, positions, 4) != Audio::arOk) {
            Device->ReleaseBuffer(Buffer);
            Buffer = 0;
        }
        if (Buffer != 0) Device->SetVolume(Buffer, level);
    }
    Scratch.resize(static_cast<size_t>(kRingFrames) * 2);
    DecoderThread = std::jthread([this](std::stop_token stop) { Decode(stop); });
    if (Audible()) FeederThread = std::jthread([this](std::stop_token stop) { Feed(stop); });
}

TDirectShowPlayer::TPlayback::~TPlayback() {
    DecoderThread.request_stop();
    FeederThread.request_stop();
    if (DecoderThread.joinable()) DecoderThread.join();
    if (FeederThread.joinable()) FeederThread.join();
    if (Buffer != 0) {
        Device->Stop(Buffer);
        Device->ReleaseBuffer(Buffer);
    }
}

// ---- the decoder thread ----

bool TDirectShowPlayer::TPlayback::HasRoomLocked() const {
    const size_t count = Pictures.size();
    const bool picturesFull = count >= kPicturesMax || (count >= kPicturesMin && PictureBytes >= kPictureSoftBytes);
    if (SoundFrames < kSoundSoft && !picturesFull) return true;
    const bool starving = (Audible() && Info.HasAudio && SoundFrames < kSoundLow) || (Info.HasVideo && count == 0);
    return starving && SoundFrames < kSoundHard && PictureBytes < kPictureHardBytes;
}

void TDirectShowPlayer::TPlayback::NoteEndLocked(int64_t us) {
    EndUs = std::max(EndUs, us);
}

void TDirectShowPlayer::TPlayback::PushPictureLocked(TMoviePicture&& picture) {
    PictureBytes += BytesOf(picture);
    Pictures.push_back(std::move(picture));
}

void TDirectShowPlayer::TPlayback::PushSoundLocked(TMovieSound& sound, int64_t target, int64_t& expect) {
    const auto frames = static_cast<int64_t>(sound.Samples.size() / 2);
    if (frames == 0) return;
    int64_t start = FrameAt(sound.TimeUs);
    if (expect != kNone && std::abs(start - expect) <= kJoinFrames) start = expect;
    expect = start + frames;
    NoteEndLocked(UsOf(start + frames));
    if (!Audible()) return;
    int64_t skip = 0;
    if (target != kNone) {
        const int64_t first = FrameAt(target);
        if (start + frames <= first) return;
        skip = std::max<int64_t>(first - start, 0);
    }
    TQueuedSound q;
    q.Start = start;
    q.Offset = skip;
    q.Samples = std::move(sound.Samples);
    sound.Samples = {};
    SoundFrames += frames - skip;
    Sounds.push_back(std::move(q));
}

void TDirectShowPlayer::TPlayback::RecycleLocked(TMoviePicture&& picture) {
    if (picture.Pixels.capacity() > 0 && Pool.size() < kPoolMax) Pool.push_back(std::move(picture));
}

void TDirectShowPlayer::TPlayback::ClearQueuesLocked() {
    while (!Pictures.empty()) {
        RecycleLocked(std::move(Pictures.front()));
        Pictures.pop_front();
    }
    PictureBytes = 0;
    Sounds.clear();
    SoundFrames = 0;
}

void TDirectShowPlayer::TPlayback::Decode(std::stop_token stop) {
    TMoviePicture picture, held;
    bool hasHeld = false;
    TMovieSound sound;
    // After a seek, pictures up to the target replace one another in `held`; the last of them is
    // what shows at the target, and the sound starts exactly there.
    int64_t target = kNone;
    int64_t expect = kNone;
    while (true) {
        bool seek = false, resize = false;
        int64_t seekUs = 0;
        int32_t width = 1, height = 1;
        uint32_t generation = 0;
        {
            std::unique_lock lock(Guard);
            DecoderIdle = true;
            Progress.notify_all();
            DecoderWake.wait(lock, stop,
                             [&] { return SeekPending || SizePending || (!DecoderEnded && HasRoomLocked()); });
            if (stop.stop_requested()) return;
            DecoderIdle = false;
            if (SeekPending) {
                SeekPending = false;
                seek = true;
                seekUs = SeekTargetUs;
            }
            if (SizePending) {
                SizePending = false;
                resize = true;
                width = PictureWidth;
                height = PictureHeight;
            }
            generation = Generation;
            if (picture.Pixels.capacity() == 0 && !Pool.empty()) {
                picture = std::move(Pool.back());
                Pool.pop_back();
            }
        }
        if (resize) Source->SetPictureSize(width, height);
        if (seek) {
            // A file that cannot be positioned reads on from where it is; the pictures and sound
            // before the target are still dropped.
            Source->Seek(seekUs);
            target = seekUs;
            expect = kNone;
            hasHeld = false;
            continue;
        }
        const TMovieStep step = Source->Next(picture, sound);
        std::lock_guard lock(Guard);
        if (generation != Generation) continue;  // a seek came meanwhile
        switch (step) {
            case TMovieStep::Picture:
                NoteEndLocked(picture.TimeUs + std::max<int64_t>(picture.DurationUs, 0));
                if (target != kNone && picture.TimeUs <= target) {
                    std::swap(held, picture);
                    hasHeld = true;
                    break;
                }
                if (hasHeld) {
                    PushPictureLocked(std::move(held));
                    held = {};
                    hasHeld = false;
                }
                PushPictureLocked(std::move(picture));
                picture = {};
                break;
            case TMovieStep::Sound:
                PushSoundLocked(sound, target, expect);
                break;
            case TMovieStep::End:
                if (hasHeld) {
                    PushPictureLocked(std::move(held));
                    held = {};
                    hasHeld = false;
                }
                DecoderEnded = true;
                EndKnown = true;
                if (ReadFailure.empty()) ReadFailure = Source->Error();
                break;
        }
        Progress.notify_all();
    }
}

// ---- the clock and the pictures ----

int64_t TDirectShowPlayer::TPlayback::ClockLocked() {
    if (Audible()) {
        if (!Primed) return PendingUs;
        uint32_t play = 0, write = 0;
        Device->GetPosition(Buffer, play, write);
        const int64_t since = ((play + kRingBytes - LastPlay) % kRingBytes) / AudioMixer::kFrameBytes;
        return PendingUs + UsOf(Played + since);
    }
    if (!Running) return WallBaseUs;
    const uint32_t elapsed = NowMs() - WallStartMs;
    return WallBaseUs + int64_t{elapsed} * 1000;
}

int64_t TDirectShowPlayer::TPlayback::EndPositionLocked() const {
    if (Info.DurationUs > 0) return Info.DurationUs;
    return EndKnown ? EndUs : std::numeric_limits<int64_t>::max();
}

bool TDirectShowPlayer::TPlayback::AtEndLocked() {
    const int64_t clock = ClockLocked();
    if (Info.DurationUs > 0 && clock >= Info.DurationUs) return true;
    return DecoderEnded && !SeekPending && clock >= EndUs;
}

void TDirectShowPlayer::TPlayback::RetireLocked() {
    const int64_t clock = ClockLocked();
    bool taken = false;
    // The first picture after a seek (or the open) shows at once; later ones when they are due.
    while (!Pictures.empty() && (Pictures.front().TimeUs <= clock || CurrentGeneration != Generation || !HasCurrent)) {
        RecycleLocked(std::move(Current));
        Current = std::move(Pictures.front());
        Pictures.pop_front();
        PictureBytes -= BytesOf(Current);
        CurrentGeneration = Generation;
        HasCurrent = true;
        ++PictureCount;
        taken = true;
    }
    if (taken) DecoderWake.notify_all();
}

// ---- the sound stream ----

bool TDirectShowPlayer::TPlayback::SoundEndedLocked() const {
    return !Info.HasAudio || (DecoderEnded && !SeekPending);
}

bool TDirectShowPlayer::TPlayback::SoundCoversLocked(int64_t frame) const {
    return !Sounds.empty() && Sounds.back().Start + Sounds.back().Frames() >= frame;
}

int64_t TDirectShowPlayer::TPlayback::TakeSoundLocked(int64_t frame, int64_t count) {
    int64_t given = 0;
    const int64_t before = SoundFrames;
    while (given < count) {
        while (!Sounds.empty() && Sounds.front().Start + Sounds.front().Frames() <= frame) {
            SoundFrames -= Sounds.front().Frames() - Sounds.front().Offset;
            Sounds.pop_front();
        }
        if (Sounds.empty()) {
            if (SoundEndedLocked()) {
                std::fill_n(Scratch.begin() + 2 * given, 2 * (count - given), int16_t{0});
                given = count;
            }
            break;
        }
        TQueuedSound& q = Sounds.front();
        const int64_t first = q.Start + q.Offset;
        if (first > frame) {
            // A pause in the movie's own sound.
            const int64_t gap = std::min(first - frame, count - given);
            std::fill_n(Scratch.begin() + 2 * given, 2 * gap, int16_t{0});
            given += gap;
            frame += gap;
            continue;
        }
        const int64_t late = frame - first;  // what the device has passed without it
        q.Offset += late;
        SoundFrames -= late;
        const int64_t take = std::min(q.Frames() - q.Offset, count - given);
        std::copy_n(q.Samples.begin() + 2 * q.Offset, 2 * take, Scratch.begin() + 2 * given);
        q.Offset += take;
        SoundFrames -= take;
        given += take;
        frame += take;
    }
    if (SoundFrames != before) DecoderWake.notify_all();
    return given;
}

void TDirectShowPlayer::TPlayback::FeedLocked(std::unique_lock<std::mutex>& lock, uint32_t play, uint32_t write,
                                              std::stop_token stop) {
    if (!Primed) return;
    Played += ((play + kRingBytes - LastPlay) % kRingBytes) / AudioMixer::kFrameBytes;
    LastPlay = play;
    // Whatever the device has passed is gone, heard or not.
    Written = std::max(Written, Played);
    RealEnd = std::max(RealEnd, Played);
    const int64_t safe = Played + ((write + kRingBytes - play) % kRingBytes) / AudioMixer::kFrameBytes;
    const int64_t limit = Played + kRingFrames;
    if (std::max(RealEnd, safe) >= limit) return;
    if (WaitForDecoder) {
        const uint32_t generation = Generation;
        Progress.wait_for(lock, stop, kDecoderWait, [&] {
            return generation != Generation || SoundEndedLocked() || SoundCoversLocked(BaseFrame + limit) ||
                   DecoderSettledLocked();
        });
        if (generation != Generation || !Primed || stop.stop_requested()) return;
    }
    // Taken after the wait: another step may have written meanwhile.
    const int64_t from = std::max(RealEnd, safe);
    if (from >= limit) return;
    const int64_t given = TakeSoundLocked(BaseFrame + from, limit - from);
    auto put = [&](int64_t at, int64_t frames) {
        const uint32_t offset = static_cast<uint32_t>(at % kRingFrames) * AudioMixer::kFrameBytes;
        Device->WriteBuffer(Buffer, offset, Scratch.data(), static_cast<uint32_t>(frames) * AudioMixer::kFrameBytes);
    };
    if (given > 0) {
        put(from, given);
        RealEnd = from + given;
        Written = std::max(Written, RealEnd);
    }
    if (RealEnd < limit) {
        // The decoder has fallen behind: silence just ahead of the device, which real sound may
        // still replace in a later step.
        const int64_t want = std::min(limit, safe + kLeadFrames);
        const int64_t start = std::max(Written, RealEnd);
        if (start < want) {
            std::fill_n(Scratch.begin(), 2 * (want - start), int16_t{0});
            put(start, want - start);
            Written = want;
        }
    }
}

void TDirectShowPlayer::TPlayback::StartSoundLocked(std::unique_lock<std::mutex>& lock) {
    const int64_t first = FrameAt(PendingUs);
    Progress.wait_for(lock, kStartWait, [&] {
        return SoundEndedLocked() || SoundCoversLocked(first + kRingFrames) || DecoderSettledLocked();
    });
    Device->Stop(Buffer);
    Device->SetPosition(Buffer, 0);
    BaseFrame = first;
    LastPlay = 0;
    Played = Written = RealEnd = 0;
    Primed = true;
    FeedLocked(lock, 0, 0, {});
    if (Primed && Running && !AtEndLocked()) Device->Play(Buffer, true);
}

void TDirectShowPlayer::TPlayback::Feed(std::stop_token stop) {
    while (true) {
        Device->WaitNotify(Buffer, 5, stop);
        if (stop.stop_requested()) break;
        std::unique_lock lock(Guard);
        uint32_t play = 0, write = 0;
        Device->GetPosition(Buffer, play, write);
        FeedLocked(lock, play, write, stop);
        RetireLocked();
        // At the end the stream stops, and with it the clock.
        if (Running && Primed && AtEndLocked()) Device->Stop(Buffer);
    }
}

// ---- the main thread's calls ----

void TDirectShowPlayer::TPlayback::Run() {
    std::unique_lock lock(Guard);
    if (Running) return;
    Running = true;
    if (!Audible()) {
        WallStartMs = NowMs();
    } else if (!Primed) {
        StartSoundLocked(lock);
    } else if (!AtEndLocked()) {
        Device->Play(Buffer, true);  // on from where the cursor stopped
    }
}

void TDirectShowPlayer::TPlayback::Hold() {
    std::lock_guard lock(Guard);
    if (!Running) return;
    if (Audible())
        Device->Stop(Buffer);
    else
        WallBaseUs = ClockLocked();
    Running = false;
}

void TDirectShowPlayer::TPlayback::SeekTo(int64_t us) {
    std::unique_lock lock(Guard);
    ++Generation;
    SeekPending = true;
    SeekTargetUs = us;
    DecoderEnded = false;
    ClearQueuesLocked();
    PendingUs = us;
    if (Audible()) {
        Device->Stop(Buffer);
        Primed = false;
    } else {
        WallBaseUs = us;
        WallStartMs = NowMs();
    }
    DecoderWake.notify_all();
    if (Running && Audible()) StartSoundLocked(lock);
}

int64_t TDirectShowPlayer::TPlayback::PositionUs() {
    std::lock_guard lock(Guard);
    if (AtEndLocked()) return EndPositionLocked();
    return std::clamp<int64_t>(ClockLocked(), 0, EndPositionLocked());
}

int64_t TDirectShowPlayer::TPlayback::LengthUs() {
    std::lock_guard lock(Guard);
    if (Info.DurationUs > 0) return Info.DurationUs;
    return EndKnown ? EndUs : 0;
}

bool TDirectShowPlayer::TPlayback::AtEnd() {
    std::lock_guard lock(Guard);
    return AtEndLocked();
}

void TDirectShowPlayer::TPlayback::SetLevel(int32_t level) {
    if (Audible()) Device->SetVolume(Buffer, level);
}

void TDirectShowPlayer::TPlayback::SetPictureSize(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) {
        width = Info.Width;
        height = Info.Height;
    }
    width = std::clamp(width, 1, DirectShowLib::kMaxPictureSide);
    height = std::clamp(height, 1, DirectShowLib::kMaxPictureSide);
    std::lock_guard lock(Guard);
    if (width == PictureWidth && height == PictureHeight && !SizePending) return;
    PictureWidth = width;
    PictureHeight = height;
    SizePending = true;
    DecoderWake.notify_all();
}

Display::TRowSpan TDirectShowPlayer::TPlayback::Draw(const TDisplayLock& lock, int32_t left, int32_t top, int32_t width,
                                                     int32_t height) {
    if (width <= 0 || height <= 0 || !lock.Pixels) return {};
    // The part of the rectangle inside the buffer, in the rectangle's own coordinates.
    const int64_t x0 = std::max<int64_t>(0, -int64_t{left});
    const int64_t x1 = std::min<int64_t>(width, int64_t{lock.Width} - left);
    const int64_t y0 = std::max<int64_t>(0, -int64_t{top});
    const int64_t y1 = std::min<int64_t>(height, int64_t{lock.Height} - top);
    if (x0 >= x1 || y0 >= y1) return {};
    std::lock_guard guard(Guard);
    RetireLocked();
    const TMoviePicture& p = Current;
    if (HasCurrent && p.Width == width && p.Height == height)
        return Display::StoreRect(lock, left, top, width, height, p.Pixels.data(), p.Width);
    const auto n = static_cast<int32_t>(x1 - x0);
    Row.resize(static_cast<size_t>(n));
    if (!HasCurrent) std::fill(Row.begin(), Row.end(), 0xFF000000u);
    for (int64_t y = y0; y < y1; ++y) {
        if (HasCurrent) {
            // The nearest pixel: pictures decoded before the rectangle changed size.
            const int64_t sy = y * p.Height / height;
            const uint32_t* from = p.Pixels.data() + sy * p.Width;
            for (int64_t x = x0; x < x1; ++x)
                Row[static_cast<size_t>(x - x0)] = from[x * p.Width / width];
        }
        Display::StoreRect(lock, static_cast<int32_t>(left + x0), static_cast<int32_t>(top + y), n, 1, Row.data(), n);
    }
    return {static_cast<int32_t>(top + y0), static_cast<int32_t>(top + y1)};
}

uint64_t TDirectShowPlayer::TPlayback::Serial() {
    std::lock_guard lock(Guard);
    RetireLocked();
    return PictureCount;
}

bool TDirectShowPlayer::TPlayback::WaitDecoded(uint32_t timeoutMs) {
    std::unique_lock lock(Guard);
    return Progress.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return DecoderSettledLocked(); });
}

std::string TDirectShowPlayer::TPlayback::TakeReadFailure() {
    std::lock_guard lock(Guard);
    if (ReadFailureTaken || ReadFailure.empty()) return {};
    ReadFailureTaken = true;
    return ReadFailure;
}

// ---- the player ----

TDirectShowPlayer::TDirectShowPlayer(const TMovieDevices& devices) : Devices(devices) {}

TDirectShowPlayer::~TDirectShowPlayer() {
    Close();
}

bool TDirectShowPlayer::Open(const std::string& hostPath) {
    Close();
    Left = Top = 0;
    Width = Height = 200;
    Volume = 255;
    std::error_code ec;
    if (hostPath.empty() || !std::filesystem::is_regular_file(hostPath, ec)) return false;
    Opened = true;
    FileName = hostPath;
    std::string why;
    std::unique_ptr<IMovieSource> source;
    if (Devices.Backend)
        source = Devices.Backend->Open(hostPath, why);
    else
        why = "no movie decoder";
    if (!source) {
        Report(why);
        return true;
    }
    VideoWidth = source->Info().Width;
    VideoHeight = source->Info().Height;
    Playback = std::make_unique<TPlayback>(std::move(source), Devices, DirectShowLib::VolumeLevel(Volume));
    SetPosition(Left, Top);
    SetSize(VideoWidth, VideoHeight);
    return true;
}

void TDirectShowPlayer::Report(const std::string& reason) {
    if (Reported) return;
    Reported = true;
    Reason = reason;
    if (Devices.Log)
        Devices.Log->WriteErrorLog("ムービーを再生できません："_sj + Encoding::Utf8ToSjis(FileName) + " (" +
                                   Encoding::Utf8ToSjis(reason) + ")");
}

void TDirectShowPlayer::NoteReadFailure() {
    if (!Playback) return;
    const std::string failure = Playback->TakeReadFailure();
    if (!failure.empty()) Report(failure);
}

void TDirectShowPlayer::Play() {
    if (!Playback) return;
    Shown = true;
    Playback->Run();
    Mode = TMode::Playing;
}

void TDirectShowPlayer::Pause() {
    if (!Playback) return;
    Playback->Hold();
    Mode = TMode::Paused;
}

void TDirectShowPlayer::Stop() {
    if (!Playback) return;
    Playback->Hold();
    Mode = TMode::Stopped;
    Shown = false;
}

void TDirectShowPlayer::SetPosition(int32_t left, int32_t top) {
    Left = left;
    Top = top;
    if (!Playback) return;
    Playback->Hold();
    Mode = TMode::Paused;
}

void TDirectShowPlayer::SetSize(int32_t width, int32_t height) {
    Width = width;
    Height = height;
    if (!Playback) return;
    Playback->SetPictureSize(width, height);
    Playback->Hold();
    Mode = TMode::Paused;
}

void TDirectShowPlayer::SetVolume(int32_t volume) {
    Volume = std::clamp(volume, 0, 255);
    if (Playback) Playback->SetLevel(DirectShowLib::VolumeLevel(Volume));
}

void TDirectShowPlayer::Seek(int64_t ms) {
    if (!Playback) return;
    int64_t us = std::clamp<int64_t>(ms, 0, std::numeric_limits<int32_t>::max()) * 1000;
    if (const int64_t length = Playback->LengthUs(); length > 0) us = std::min(us, length);
    Playback->SeekTo(us);
}

int32_t TDirectShowPlayer::GetPosition() {
    if (!Playback) return 0;
    return static_cast<int32_t>(std::min<int64_t>(Playback->PositionUs() / 1000, std::numeric_limits<int32_t>::max()));
}

int32_t TDirectShowPlayer::GetLength() {
    if (!Playback) return 0;
    return static_cast<int32_t>(std::min<int64_t>(Playback->LengthUs() / 1000, std::numeric_limits<int32_t>::max()));
}

int32_t TDirectShowPlayer::GetState() {
    NoteReadFailure();
    if (!Playback || Playback->AtEnd()) return DirectShowLib::mpsStopped;
    switch (Mode) {
        case TMode::Playing:
            return DirectShowLib::mpsPlaying;
        case TMode::Paused:
            return DirectShowLib::mpsPaused;
        default:
            return DirectShowLib::mpsStopped;
    }
}

void TDirectShowPlayer::Close() {
    Playback.reset();
    Opened = false;
    FileName.clear();
    Mode = TMode::Stopped;
    Shown = false;
    Reason.clear();
    Reported = false;
    VideoWidth = VideoHeight = 0;
}

Display::TRowSpan TDirectShowPlayer::DrawVideo(const TDisplayLock& lock) {
    if (!Shown || !Playback) return {};
    return Playback->Draw(lock, Left, Top, Width, Height);
}

uint64_t TDirectShowPlayer::PictureSerial() {
    return Playback ? Playback->Serial() : 0;
}

bool TDirectShowPlayer::WaitDecoded(uint32_t timeoutMs) {
    return Playback ? Playback->WaitDecoded(timeoutMs) : true;
}
