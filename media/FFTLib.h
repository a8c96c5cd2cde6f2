// A radix-2 complex FFT over single-precision arrays, with the analysis window the equaliser of
// the Ogg streams uses. Everything is computed in float with no fused multiply-add, so results are
// the same on every processor.
#pragma once

#include <cstdint>
#include <vector>

class TFFT {
public:
    explicit TFFT(int32_t n);  // n a power of two, at least 8

    // In place over Re + i Im. Forward: X[k] = sum x[t] e^(-2 pi i kt/n). Inverse: (1/n) sum
    // x[t] e^(+2 pi i kt/n).
    void Forward() { Transform(false); }
    void Inverse() { Transform(true); }
    void ApplyWindow();   // both arrays times Window
    void RemoveWindow();  // both arrays times InverseWindow
    void Clamp16();       // both arrays into -32767..32767; NaN becomes 0

    // Entry k = sin(2 pi k / n) for k < 3n/4 (pi taken as 3.141592), built by a recurrence.
    std::vector<float> SineTable;
    std::vector<int32_t> BitReverse;
    // 0.5 at 0, 1.0 at n/2, just above 0.5 at n-1: never 0, so the window can be divided out.
    std::vector<float> Window;
    std::vector<float> InverseWindow;
    int32_t Size;
    std::vector<float> Re, Im;

private:
    void Transform(bool inverse);
};
