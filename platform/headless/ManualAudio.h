// The sound device of tests and headless runs: nothing is heard and no audio thread runs; the
// caller asks for the next frames of output and gets exactly what the mixer makes of them.
//
// Output is mixed in chunks of kChunkFrames, the chunk size of the real device. Between two chunks
// every buffer's notification thread takes exactly one step (as it would, waking every 5 ms, on
// the real device), and Render waits for those steps before it mixes on or returns. So what a run
// hears does not depend on thread timing: the same run always renders the same samples, however
// its calls cut the output up.
//
// A buffer given notification positions is expected to have a thread waiting on it; Render waits
// for that thread (at most a few seconds, after which it goes on without it).
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/Audio.h"

class TManualAudioDevice final : public TMixingAudioDevice {
public:
    static constexpr uint32_t kChunkFrames = 512;

    // Succeeds unless OpenFailure holds a reason (a machine without any output).
    bool Open(std::string& error) override;
    std::string Error() const override { return {}; }
    uint32_t Close() override;

    uint32_t SetNotifyPositions(Audio::TBufferId id, const uint32_t* positions, uint32_t count) override;
    uint32_t ReleaseBuffer(Audio::TBufferId id) override;
    uint32_t WaitNotify(Audio::TBufferId id, uint32_t timeoutMs, std::stop_token stop) override;

    // The next frames of interleaved stereo output. One thread renders.
    void Render(int16_t* out, uint32_t frames);
    std::vector<int16_t> Render(uint32_t frames);
    uint64_t FramesRendered() const { return Rendered; }

    std::string OpenFailure;

private:
    struct TWaiter {
        uint64_t Seen = 0;    // the last round it has been woken for
        bool Parked = false;  // waiting in WaitNotify
    };
    void NextChunk();
    // Waits until every waiter waits again and has been woken for the current round.
    void Settle(std::unique_lock<std::mutex>& lock);

    std::map<Audio::TBufferId, TWaiter> Waiters;  // guarded by Guard
    uint64_t Round = 0;                           // guarded by Guard; one per chunk mixed

    int16_t Chunk[kChunkFrames * 2] = {};
    uint32_t ChunkUsed = kChunkFrames;  // frames of Chunk already handed out
    uint64_t Rendered = 0;
};

// A RIFF wave file of the engine's format (PCM, 44100 Hz, 16-bit, stereo) written as the frames
// come; the sizes in its header are filled in when it is closed.
class TWaveFileWriter {
public:
    ~TWaveFileWriter();
    bool Open(const std::string& hostPath, std::string& error);
    // False once the file would pass the 4 GiB that its sizes can count, or a write fails.
    bool Append(const int16_t* samples, uint32_t frames);
    bool Close(std::string& error);
    uint64_t Frames() const { return DataBytes / AudioMixer::kFrameBytes; }

    static constexpr uint32_t kHeaderBytes = 44;

private:
    std::FILE* File = nullptr;
    std::string Path;
    uint64_t DataBytes = 0;
    bool Failed = false;
};
