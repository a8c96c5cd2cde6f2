#include "platform/Audio.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>

using namespace Audio;

namespace {
// Large writes are copied in pieces of this size, taking the lock for each, so that loading a
// long sound never holds up the audio callback for more than a few microseconds.
constexpr uint32_t kWritePiece = 64 * 1024;
}  // namespace

uint32_t TMixingAudioDevice::SetOutputFormat(uint32_t rate, uint32_t bits, uint32_t channels) {
    if (!IsEngineFormat(rate, bits, channels)) return arBadFormat;
    std::lock_guard lock(Guard);
    return IsOpen ? arOk : arNoDriver;
}

uint32_t TMixingAudioDevice::PlayOutput() {
    std::lock_guard lock(Guard);
    if (!IsOpen) return arNoDriver;
    OutputOn = true;
    return arOk;
}

uint32_t TMixingAudioDevice::StopOutput() {
    std::lock_guard lock(Guard);
    if (!IsOpen) return arNoDriver;
    OutputOn = false;
    return arOk;
}

bool TMixingAudioDevice::OutputPlaying() {
    std::lock_guard lock(Guard);
    return OutputOn;
}

void TMixingAudioDevice::SetFocused(bool focused) {
    std::lock_guard lock(Guard);
    Mixer.SetFocused(focused);
}

uint32_t TMixingAudioDevice::CreateBuffer(const TBufferDesc& desc, TBufferId& id) {
    id = 0;
    if (!IsEngineFormat(desc.Rate, desc.Bits, desc.Channels)) return arBadFormat;
    if (desc.Bytes < AudioMixer::kMinBytes || desc.Bytes > AudioMixer::kMaxBytes) return arInvalidParam;
    // Allocated and cleared before the lock is taken; freed after it is let go on failure.
    std::shared_ptr<AudioMixer::TSamples> data;
    try {
        data = std::make_shared<AudioMixer::TSamples>((desc.Bytes + 1) / 2);
    } catch (const std::bad_alloc&) {
        return arOutOfMemory;
    }
    std::lock_guard lock(Guard);
    if (!IsOpen) return arNoDriver;
    id = Mixer.Add(data, desc.Bytes, desc.PositionNotify, !desc.GlobalFocus);
    return id != 0 ? arOk : arOutOfMemory;
}

uint32_t TMixingAudioDevice::DuplicateBuffer(TBufferId source, TBufferId& id) {
    std::lock_guard lock(Guard);
    id = 0;
    if (!IsOpen) return arNoDriver;
    if (!Mixer.Valid(source)) return arInvalidParam;
    id = Mixer.Duplicate(source);
    return id != 0 ? arOk : arOutOfMemory;
}

uint32_t TMixingAudioDevice::ReleaseBuffer(TBufferId id) {
    std::shared_ptr<AudioMixer::TSamples> data;
    {
        std::lock_guard lock(Guard);
        data = Mixer.Remove(id);
    }
    return data ? arOk : arInvalidParam;
}

uint32_t TMixingAudioDevice::WriteBuffer(TBufferId id, uint32_t offset, const void* data, uint32_t size) {
    uint32_t bytes;
    {
        std::lock_guard lock(Guard);
        bytes = Mixer.Bytes(id);
    }
    if (bytes == 0 || offset >= bytes || size > bytes) return arInvalidParam;
    const auto* from = static_cast<const uint8_t*>(data);
    for (uint32_t done = 0; done < size;) {
        const uint32_t n = std::min(kWritePiece, size - done);
        std::lock_guard lock(Guard);
        if (!Mixer.Write(id, static_cast<uint32_t>((uint64_t{offset} + done) % bytes), from + done, n))
            return arInvalidParam;
        done += n;
    }
    return arOk;
}

uint32_t TMixingAudioDevice::SetNotifyPositions(TBufferId id, const uint32_t* positions, uint32_t count) {
    std::lock_guard lock(Guard);
    if (Mixer.Status(id) & AudioMixer::kStatusPlaying) return arInvalidCall;
    return Result(Mixer.SetNotifyPositions(id, positions, count));
}

uint32_t TMixingAudioDevice::Play(TBufferId id, bool looping) {
    std::lock_guard lock(Guard);
    return Result(Mixer.Play(id, looping));
}

uint32_t TMixingAudioDevice::Stop(TBufferId id) {
    bool wake;
    {
        std::lock_guard lock(Guard);
        if (!Mixer.Stop(id)) return arInvalidParam;
        wake = Mixer.Signalled(id) != 0;
    }
    if (wake) Wake.notify_all();
    return arOk;
}

uint32_t TMixingAudioDevice::SetPosition(TBufferId id, uint32_t bytes) {
    std::lock_guard lock(Guard);
    return Result(Mixer.SetPosition(id, bytes));
}

uint32_t TMixingAudioDevice::SetVolume(TBufferId id, int32_t volume) {
    if (volume < AudioMixer::kVolumeMin || volume > AudioMixer::kVolumeMax) return arInvalidParam;
    std::lock_guard lock(Guard);
    return Result(Mixer.SetVolume(id, volume));
}

uint32_t TMixingAudioDevice::SetPan(TBufferId id, int32_t pan) {
    if (pan < AudioMixer::kPanLeft || pan > AudioMixer::kPanRight) return arInvalidParam;
    std::lock_guard lock(Guard);
    return Result(Mixer.SetPan(id, pan));
}

uint32_t TMixingAudioDevice::GetStatus(TBufferId id, uint32_t& status) {
    std::lock_guard lock(Guard);
    status = Mixer.Status(id);
    return Result(Mixer.Valid(id));
}

uint32_t TMixingAudioDevice::GetPosition(TBufferId id, uint32_t& play, uint32_t& write) {
    std::lock_guard lock(Guard);
    Mixer.GetPosition(id, play, write);
    return Result(Mixer.Valid(id));
}

uint32_t TMixingAudioDevice::WaitNotify(TBufferId id, uint32_t timeoutMs, std::stop_token stop) {
    std::unique_lock lock(Guard);
    Wake.wait_for(lock, stop, std::chrono::milliseconds(timeoutMs), [&] { return Mixer.Signalled(id) != 0; });
    return Mixer.TakeSignalled(id);
}

bool TMixingAudioDevice::MixLocked(int16_t* out, uint32_t frames) {
    if (!OutputOn) {
        std::memset(out, 0, size_t{frames} * AudioMixer::kFrameBytes);
        return false;
    }
    return Mixer.Mix(out, frames);
}

void TMixingAudioDevice::MixOutput(int16_t* out, uint32_t frames) {
    bool wake;
    {
        std::lock_guard lock(Guard);
        wake = MixLocked(out, frames);
    }
    if (wake) Wake.notify_all();
}
