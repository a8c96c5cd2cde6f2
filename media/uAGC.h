// Automatic gain control over 16-bit samples: keeps a voice at an even loudness by lowering the
// gain at once when the output reaches a limit and raising it slowly while it stays below. It acts
// only while Limit is above NoiseFloor; a limit of 0 switches it off.
#pragma once

#include <cstdint>

class TAGC {
public:
    explicit TAGC(int32_t blockSize);

    void ResetGain();  // Gain = InitialGain, Hold = 12288
    void Reset();      // ResetGain, then Count, Peak and Quiet 0
    // In place over bytes / 2 signed 16-bit samples.
    void Process(int16_t* samples, int32_t bytes);
    bool Active() const { return Limit > NoiseFloor; }

    int32_t BlockSize;
    float Gain = 1.0f;
    int32_t Hold = 12288;  // samples between two raises
    int32_t Count = 0;     // samples since the last adjustment
    int32_t Peak = 0;      // largest output magnitude since the last adjustment
    int32_t Quiet = 0;     // samples in a row below the noise floor
    float InitialGain = 1.0f;
    int32_t Limit = 30000;
    int32_t NoiseFloor = 800;
    float Rate = 0.05f;
};
