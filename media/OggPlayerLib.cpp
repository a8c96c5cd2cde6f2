#include "media/OggPlayerLib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/OggDataLib.h"

namespace OggPlayerLib {

void MixSources(int16_t* dest, const int16_t* const* sources, int32_t sourceCount, int32_t samples) {
    if (samples <= 0) return;
    if (sourceCount <= 0) {
        std::memset(dest, 0, static_cast<size_t>(samples) * sizeof(int16_t));
        return;
    }
    // Sums are kept in 32 bits over a short run, so that 16 full-scale streams never wrap; each
    // loop is a plain pass that the compiler vectorises.
    constexpr int32_t kRun = 512;
    int32_t sum[kRun];
    for (int32_t at = 0; at < samples; at += kRun) {
        const int32_t n = std::min(kRun, samples - at);
        const int16_t* first = sources[0] + at;
        for (int32_t i = 0; i < n; ++i)
            sum[i] = first[i];
        for (int32_t k = 1; k < sourceCount; ++k) {
            const int16_t* s = sources[k] + at;
            for (int32_t i = 0; i < n; ++i)
                sum[i] += s[i];
        }
        int16_t* d = dest + at;
        for (int32_t i = 0; i < n; ++i)
            d[i] = static_cast<int16_t>(std::clamp(sum[i], -32767, 32767));
    }
}

int32_t HeardDelay(uint32_t playCursor, uint32_t bufferSize) {
    const uint32_t half = bufferSize / 2;
    if (half == 0) return 0;
    return static_cast<int32_t>(std::lround(static_cast<double>(playCursor % half) / 176.4));
}

}  // namespace OggPlayerLib

TOggPlayer::TOggPlayer(int32_t bufferSize, int32_t count)
    : Streams(static_cast<size_t>(std::max(count, 0)), nullptr),
      Buffer(static_cast<size_t>(std::max(bufferSize, 0)), 0) {
    Sources.reserve(Streams.size());
}

void TOggPlayer::SetStream(int32_t slot, TOggData* stream) {
    if (slot < 0 || slot >= Count()) return;
    std::lock_guard lock(MixLock);
    if (stream)
        for (TOggData*& s : Streams)
            if (s == stream) s = nullptr;
    Streams[static_cast<size_t>(slot)] = stream;
}

void TOggPlayer::SwapSlots(int32_t a, int32_t b) {
    if (a < 0 || a >= Count() || b < 0 || b >= Count()) return;
    std::lock_guard lock(MixLock);
    std::swap(Streams[static_cast<size_t>(a)], Streams[static_cast<size_t>(b)]);
}

TOggData* TOggPlayer::Stream(int32_t slot) {
    if (slot < 0 || slot >= Count()) return nullptr;
    std::lock_guard lock(MixLock);
    return Streams[static_cast<size_t>(slot)];
}

void TOggPlayer::FillNextHalf() {
    std::lock_guard lock(MixLock);
    const uint32_t half = static_cast<uint32_t>(HalfSize());
    PrevHalfOffset = HalfOffset;
    HalfOffset = HalfOffset == 0 ? half : 0;
    Mix(Buffer.data() + HalfOffset, static_cast<int32_t>(half));
}

void TOggPlayer::Mix(uint8_t* dest, int32_t size) {
    uint32_t play = 0, bytes = 0;
    if (GetPlayCursor) GetPlayCursor(play, bytes);
    // Each stream dates what it decodes from the part of the current half already heard.
    const int32_t delay = OggPlayerLib::HeardDelay(play, bytes);
    Sources.clear();
    for (TOggData* s : Streams) {
        if (!s || s->HalfSize() != size) continue;  // made for another buffer size: not mixable
        if (s->FillNextHalf(delay) > 0) Sources.push_back(reinterpret_cast<const int16_t*>(s->CurrentHalf()));
    }
    OggPlayerLib::MixSources(reinterpret_cast<int16_t*>(dest), Sources.data(), static_cast<int32_t>(Sources.size()),
                             size / 2);
}
