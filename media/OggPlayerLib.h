// The stream mixer: up to Count Ogg streams summed in software into one double buffer, half by
// half, for the streaming wave of the sound library. Each refill makes every bound stream decode
// one half of its own buffer (the same size as the mixer's half) and adds up those that decoded
// something; a stopped stream adds nothing.
//
// Threads. Mix and FillNextHalf run on the streaming wave's notification thread; SetStream and
// SwapSlots run on the main thread. MixLock is held for the whole mix and by both of those, so a
// stream is never unbound or moved while it is being decoded into the mix. Lock order: the wave's
// fill guard, then MixLock, then a stream's own locks, then the device.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class TOggData;

namespace OggPlayerLib {

// Adds the 16-bit samples of each source and writes the sums clamped to -32767..32767; with no
// sources the destination becomes silence. Every source holds at least samples values.
void MixSources(int16_t* dest, const int16_t* const* sources, int32_t sourceCount, int32_t samples);

// How many ms of the half now heard have played: the play cursor's offset into its half, at
// 176.4 bytes a millisecond, rounded. 0 without a buffer (size 0).
int32_t HeardDelay(uint32_t playCursor, uint32_t bufferSize);

}  // namespace OggPlayerLib

class TOggPlayer {
public:
    // The play cursor and size in bytes of the buffer the mix goes to; both 0 when there is none.
    using TPlayCursorEvent = std::function<void(uint32_t& play, uint32_t& size)>;

    // A buffer of bufferSize bytes (two halves of whole frames) and count slots, all unbound.
    TOggPlayer(int32_t bufferSize, int32_t count);
    TOggPlayer(const TOggPlayer&) = delete;
    TOggPlayer& operator=(const TOggPlayer&) = delete;

    // Binds a stream to a slot (null unbinds it); a stream bound to another slot is unbound
    // there first. Slots outside 0..Count-1 are ignored.
    void SetStream(int32_t slot, TOggData* stream);
    void SwapSlots(int32_t a, int32_t b);
    TOggData* Stream(int32_t slot);

    // The other half becomes current and the streams are mixed into it.
    void FillNextHalf();
    const uint8_t* CurrentHalf() const { return Buffer.data() + HalfOffset; }
    // Whole frames of half the buffer, as a stream of the same buffer size has.
    int32_t HalfSize() const { return static_cast<int32_t>(Buffer.size() / 2) & ~3; }
    int32_t Count() const { return static_cast<int32_t>(Streams.size()); }

    TPlayCursorEvent GetPlayCursor;

private:
    void Mix(uint8_t* dest, int32_t size);

    std::mutex MixLock;              // guards Streams, Buffer, HalfOffset, PrevHalfOffset and the mix scratch
    std::vector<TOggData*> Streams;  // not owned; null: unbound
    std::vector<uint8_t> Buffer;
    uint32_t HalfOffset = 0;
    uint32_t PrevHalfOffset = 0;
    std::vector<const int16_t*> Sources;  // the halves that join the current mix
};
