// Fakes of what a message window plays its voices on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "objects/MessageLib.h"

// Every call a window makes on its voice streams, in order; LoadVoice answers Loads.
class TRecordingVoice final : public IMessageVoice {
public:
    void Stop(int32_t stream) override { Calls.push_back("stop " + std::to_string(stream)); }
    bool LoadVoice(int32_t stream, const std::string& file, uint32_t speakerChannel) override {
        Calls.push_back("load " + std::to_string(stream) + " " + file + " as voice of " +
                        std::to_string(speakerChannel));
        return Loads;
    }
    void SetVolume(int32_t stream, int32_t volume, int32_t fadeMs) override {
        Calls.push_back("volume " + std::to_string(stream) + " " + std::to_string(volume) + " in " +
                        std::to_string(fadeMs));
    }
    void SeekMs(int32_t stream, int32_t ms) override {
        Calls.push_back("seek " + std::to_string(stream) + " " + std::to_string(ms));
    }
    void SkipSilence(int32_t stream, int32_t level) override {
        Calls.push_back("skip silence " + std::to_string(stream) + " " + std::to_string(level));
    }
    void SetAutoGain(int32_t stream, int32_t level) override {
        Calls.push_back("auto gain " + std::to_string(stream) + " " + std::to_string(level));
    }
    void PlayOnce(int32_t stream) override { Calls.push_back("play " + std::to_string(stream)); }
    void FadeOutVoices(uint32_t speakerChannel, int32_t fadeMs) override {
        Calls.push_back("fade voices of " + std::to_string(speakerChannel) + " in " + std::to_string(fadeMs));
    }

    std::vector<std::string> Calls;
    bool Loads = true;
};
