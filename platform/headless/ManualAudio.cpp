#include "platform/headless/ManualAudio.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/LittleEndian.h"

namespace {
// How long Render waits for a notification thread that does not come back to wait: far beyond
// any step, so it only cuts short a test whose buffer has no thread at all.
constexpr auto kSettleLimit = std::chrono::seconds(5);
}  // namespace

bool TManualAudioDevice::Open(std::string& error) {
    if (!OpenFailure.empty()) {
        error = OpenFailure;
        return false;
    }
    std::lock_guard lock(Guard);
    IsOpen = true;
    return true;
}

uint32_t TManualAudioDevice::Close() {
    std::lock_guard lock(Guard);
    IsOpen = false;
    OutputOn = false;
    return Mixer.Count();
}

uint32_t TManualAudioDevice::SetNotifyPositions(Audio::TBufferId id, const uint32_t* positions, uint32_t count) {
    const uint32_t result = TMixingAudioDevice::SetNotifyPositions(id, positions, count);
    if (result == Audio::arOk) {
        std::lock_guard lock(Guard);
        if (count > 0)
            Waiters.try_emplace(id, TWaiter{Round, false});
        else
            Waiters.erase(id);
    }
    return result;
}

uint32_t TManualAudioDevice::ReleaseBuffer(Audio::TBufferId id) {
    {
        std::lock_guard lock(Guard);
        Waiters.erase(id);
    }
    Wake.notify_all();
    return TMixingAudioDevice::ReleaseBuffer(id);
}

uint32_t TManualAudioDevice::WaitNotify(Audio::TBufferId id, uint32_t, std::stop_token stop) {
    std::unique_lock lock(Guard);
    auto it = Waiters.try_emplace(id, TWaiter{Round, false}).first;
    it->second.Parked = true;
    const uint64_t seen = it->second.Seen;
    Wake.notify_all();
    Wake.wait(lock, stop, [&] { return Round != seen; });
    it = Waiters.find(id);  // Settle may have given up on it meanwhile
    if (stop.stop_requested()) {
        if (it != Waiters.end()) Waiters.erase(it);
        lock.unlock();
        Wake.notify_all();
        return 0;
    }
    if (it != Waiters.end()) {
        it->second.Seen = Round;
        it->second.Parked = false;
    }
    return Mixer.TakeSignalled(id);
}

void TManualAudioDevice::Settle(std::unique_lock<std::mutex>& lock) {
    auto settled = [&] {
        return std::all_of(Waiters.begin(), Waiters.end(),
                           [&](const auto& w) { return w.second.Parked && w.second.Seen == Round; });
    };
    if (Wake.wait_for(lock, kSettleLimit, settled)) return;
    std::erase_if(Waiters, [&](const auto& w) { return !(w.second.Parked && w.second.Seen == Round); });
}

void TManualAudioDevice::NextChunk() {
    std::unique_lock lock(Guard);
    Settle(lock);
    MixLocked(Chunk, kChunkFrames);
    ++Round;
    lock.unlock();
    Wake.notify_all();
    lock.lock();
    Settle(lock);
}

void TManualAudioDevice::Render(int16_t* out, uint32_t frames) {
    while (frames > 0) {
        if (ChunkUsed == kChunkFrames) {
            NextChunk();
            ChunkUsed = 0;
        }
        const uint32_t n = std::min(frames, kChunkFrames - ChunkUsed);
        std::memcpy(out, Chunk + 2 * ChunkUsed, size_t{n} * AudioMixer::kFrameBytes);
        ChunkUsed += n;
        out += 2 * n;
        frames -= n;
        Rendered += n;
    }
}

std::vector<int16_t> TManualAudioDevice::Render(uint32_t frames) {
    std::vector<int16_t> out(size_t{frames} * 2);
    Render(out.data(), frames);
    return out;
}

TWaveFileWriter::~TWaveFileWriter() {
    std::string ignored;
    Close(ignored);
}

bool TWaveFileWriter::Open(const std::string& hostPath, std::string& error) {
    Close(error);
    Path = hostPath;
    DataBytes = 0;
    Failed = false;
    File = std::fopen(hostPath.c_str(), "wb");
    if (!File) {
        error = hostPath + ": " + std::strerror(errno);
        return false;
    }
    const uint8_t header[kHeaderBytes] = {};
    if (std::fwrite(header, 1, kHeaderBytes, File) != kHeaderBytes) Failed = true;
    return true;
}

bool TWaveFileWriter::Append(const int16_t* samples, uint32_t frames) {
    const uint64_t bytes = uint64_t{frames} * AudioMixer::kFrameBytes;
    if (!File || Failed || DataBytes + bytes > 0xFFFFFFFFull - (kHeaderBytes - 8)) return Failed = true, false;
    if (std::fwrite(samples, 1, bytes, File) != bytes) return Failed = true, false;
    DataBytes += bytes;
    return true;
}

bool TWaveFileWriter::Close(std::string& error) {
    if (!File) return true;
    uint8_t h[kHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    LittleEndian::Put32(h + 4, static_cast<uint32_t>(DataBytes + kHeaderBytes - 8));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    LittleEndian::Put32(h + 16, 16);  // size of the format block
    LittleEndian::Put16(h + 20, 1);   // PCM
    LittleEndian::Put16(h + 22, AudioMixer::kChannels);
    LittleEndian::Put32(h + 24, AudioMixer::kRate);
    LittleEndian::Put32(h + 28, AudioMixer::kBytesPerSecond);
    LittleEndian::Put16(h + 32, AudioMixer::kFrameBytes);
    LittleEndian::Put16(h + 34, AudioMixer::kBits);
    std::memcpy(h + 36, "data", 4);
    LittleEndian::Put32(h + 40, static_cast<uint32_t>(DataBytes));
    bool ok = !Failed && std::fseek(File, 0, SEEK_SET) == 0 && std::fwrite(h, 1, kHeaderBytes, File) == kHeaderBytes;
    ok = std::fclose(File) == 0 && ok;
    File = nullptr;
    if (!ok) error = Path + ": the wave file could not be written whole";
    return ok;
}
