#include "media/uAGC.h"

#include <cmath>
#include <cstdlib>

TAGC::TAGC(int32_t blockSize) : BlockSize(blockSize) {
    Reset();
}

void TAGC::ResetGain() {
    Gain = InitialGain;
    Hold = 12288;
}

void TAGC::Reset() {
    ResetGain();
    Count = 0;
    Peak = 0;
    Quiet = 0;
}

void TAGC::Process(int16_t* samples, int32_t bytes) {
    if (!Active() || !samples || bytes < 2) return;
    const int32_t n = bytes / 2;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t x = samples[i];
        // The product is formed in float like the gain itself, then saturated before it becomes an
        // integer, so no gain can push it out of range.
        const float p = static_cast<float>(x) * Gain;
        int32_t y = !(p == p) ? 0
                              : (p >= 2147483520.0f ? INT32_MAX
                                                    : (p <= -2147483520.0f ? INT32_MIN + 1 : static_cast<int32_t>(p)));
        const int32_t a = std::abs(y);
        if (std::abs(x) < NoiseFloor) {
            if (Quiet < INT32_MAX) ++Quiet;
        } else {
            Quiet = 0;
        }
        if (a >= Limit) {
            y = y < -32760 ? -32760 : (y > 32760 ? 32760 : y);
            Gain -= static_cast<float>(a) / static_cast<float>(Limit) * Rate;
            // A gain below 0 would turn the signal upside down and then run away; 0 is silence.
            if (!(Gain > 0.0f)) Gain = 0.0f;
            Peak = 0;
            Count = 0;
        } else {
            if (a > Peak) Peak = a;
            if (Count < INT32_MAX) ++Count;
            if (Count > Hold) {
                if (Quiet > Hold) {
                    // Back towards 1 after a long silence; a step of more than the whole way would
                    // overshoot and swing ever wider.
                    float k = 10.0f * Rate;
                    if (k > 1.0f) k = 1.0f;
                    Gain += k * (1.0f - Gain);
                } else if (Peak > 0) {  // a peak of 0 means the gain is 0: nothing to measure
                    Gain += static_cast<float>(Limit) / static_cast<float>(Peak) * Rate;
                    Peak = 0;
                    Count = 0;
                }
            }
        }
        samples[i] = static_cast<int16_t>(y < -32768 ? -32768 : (y > 32767 ? 32767 : y));
    }
}
