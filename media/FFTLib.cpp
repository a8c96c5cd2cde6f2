#include "media/FFTLib.h"

#include <cmath>
#include <utility>

TFFT::TFFT(int32_t n)
    : SineTable(static_cast<size_t>(n) * 3 / 4),
      BitReverse(static_cast<size_t>(n)),
      Window(static_cast<size_t>(n)),
      InverseWindow(static_cast<size_t>(n)),
      Size(n),
      Re(static_cast<size_t>(n)),
      Im(static_cast<size_t>(n)) {
    // The sines of one quarter turn from the rotation recurrence (in float, as the stored tables
    // were made), mirrored into the second and third quarters.
    const int32_t q = n / 4, e = n / 8;
    const float theta = 3.141592f / static_cast<float>(n);
    const float st = std::sin(theta);
    const float c = 2.0f * st * st;
    const float c2 = 2.0f * c;
    float s = std::sqrt((2.0f - c) * c);
    float co = 1.0f, d = c, si = 0.0f;
    SineTable[0] = 0.0f;
    SineTable[static_cast<size_t>(q)] = 1.0f;
    for (int32_t k = 1; k < e; ++k) {
        co = co - d;
        d = c2 * co + d;
        si = si + s;
        SineTable[static_cast<size_t>(k)] = si;
        SineTable[static_cast<size_t>(q - k)] = co;
        s = s - c2 * si;
    }
    SineTable[static_cast<size_t>(e)] = std::sqrt(0.5f);
    for (int32_t k = 0; k < q; ++k) {
        SineTable[static_cast<size_t>(n / 2 - k)] = SineTable[static_cast<size_t>(k)];
        SineTable[static_cast<size_t>(n / 2 + k)] = -SineTable[static_cast<size_t>(k)];
    }

    int32_t bits = 0;
    while ((1 << bits) < n)
        ++bits;
    for (int32_t i = 0; i < n; ++i) {
        int32_t r = 0;
        for (int32_t b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        BitReverse[static_cast<size_t>(i)] = r;
    }

    for (int32_t i = 0; i < n; ++i) {
        const double w = 0.5 + 0.5 * std::cos(3.14159265 * (i - n / 2) / n);
        Window[static_cast<size_t>(i)] = static_cast<float>(w);
        InverseWindow[static_cast<size_t>(i)] = static_cast<float>(1.0 / static_cast<float>(w));
    }
}

void TFFT::Transform(bool inverse) {
    const int32_t n = Size;
    float* re = Re.data();
    float* im = Im.data();
    for (int32_t i = 0; i < n; ++i) {
        const int32_t r = BitReverse[static_cast<size_t>(i)];
        if (i < r) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    for (int32_t h = 1; h < n; h *= 2) {
        for (int32_t j = 0; j < h; ++j) {
            const int32_t t = j * n / (2 * h);
            const float c = SineTable[static_cast<size_t>(t + n / 4)];
            const float s = inverse ? -SineTable[static_cast<size_t>(t)] : SineTable[static_cast<size_t>(t)];
            for (int32_t i = j; i < n; i += 2 * h) {
                const int32_t k = i + h;
                const float tr = c * re[k] + s * im[k];
                const float ti = c * im[k] - s * re[k];
                re[k] = re[i] - tr;
                re[i] += tr;
                im[k] = im[i] - ti;
                im[i] += ti;
            }
        }
    }
    if (inverse) {
        const float scale = 1.0f / static_cast<float>(n);
        for (int32_t i = 0; i < n; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
    }
}

void TFFT::ApplyWindow() {
    for (int32_t i = 0; i < Size; ++i) {
        Re[static_cast<size_t>(i)] *= Window[static_cast<size_t>(i)];
        Im[static_cast<size_t>(i)] *= Window[static_cast<size_t>(i)];
    }
}

void TFFT::RemoveWindow() {
    for (int32_t i = 0; i < Size; ++i) {
        Re[static_cast<size_t>(i)] *= InverseWindow[static_cast<size_t>(i)];
        Im[static_cast<size_t>(i)] *= InverseWindow[static_cast<size_t>(i)];
    }
}

namespace {
float Clamp(float v) {
    if (!(v == v)) return 0.0f;  // NaN
    return v < -32767.0f ? -32767.0f : (v > 32767.0f ? 32767.0f : v);
}
}  // namespace

void TFFT::Clamp16() {
    for (int32_t i = 0; i < Size; ++i) {
        Re[static_cast<size_t>(i)] = Clamp(Re[static_cast<size_t>(i)]);
        Im[static_cast<size_t>(i)] = Clamp(Im[static_cast<size_t>(i)]);
    }
}
