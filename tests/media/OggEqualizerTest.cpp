// The FFT, the equaliser of the Ogg streams and the automatic gain control, against their worked
// values.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "media/FFTLib.h"
#include "media/OggDataLib.h"
#include "media/uAGC.h"
#include "platform/Clock.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(FFT, TablesHoldSinesWindowAndPermutation) {
    TFFT fft(256);
    ASSERT_EQ(fft.SineTable.size(), 192u);
    for (int k = 0; k < 192; ++k)
        EXPECT_NEAR(fft.SineTable[static_cast<size_t>(k)], std::sin(2 * 3.141592 * k / 256), 2e-6) << k;
    EXPECT_EQ(fft.SineTable[64], 1.0f);
    EXPECT_FLOAT_EQ(fft.SineTable[32], std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(fft.Window[0], 0.5f);
    EXPECT_FLOAT_EQ(fft.Window[128], 1.0f);
    EXPECT_GT(fft.Window[255], 0.5f);
    EXPECT_LT(fft.Window[255], 0.51f);
    for (int i = 0; i < 256; ++i) {
        EXPECT_NEAR(fft.Window[static_cast<size_t>(i)] * fft.InverseWindow[static_cast<size_t>(i)], 1.0f, 1e-6);
        EXPECT_EQ(fft.BitReverse[static_cast<size_t>(fft.BitReverse[static_cast<size_t>(i)])], i);
    }
    EXPECT_EQ(fft.BitReverse[1], 128);
}

// Forward is sum x[t] e^(-2 pi i kt/n); Inverse undoes it.
TEST(FFT, TransformsMatchTheirDefinitions) {
    TFFT fft(256);
    std::vector<std::complex<double>> x(256);
    for (int t = 0; t < 256; ++t) {
        x[static_cast<size_t>(t)] = {std::sin(t * 0.37) * 1000 + t, std::cos(t * 0.11) * 500 - t};
        fft.Re[static_cast<size_t>(t)] = static_cast<float>(x[static_cast<size_t>(t)].real());
        fft.Im[static_cast<size_t>(t)] = static_cast<float>(x[static_cast<size_t>(t)].imag());
    }
    fft.Forward();
    for (int k : {0, 1, 7, 100, 128, 255}) {
        std::complex<double> want = 0;
        for (int t = 0; t < 256; ++t)
            want += x[static_cast<size_t>(t)] * std::polar(1.0, -2 * kPi * k * t / 256);
        EXPECT_NEAR(fft.Re[static_cast<size_t>(k)], want.real(), 0.5) << k;
        EXPECT_NEAR(fft.Im[static_cast<size_t>(k)], want.imag(), 0.5) << k;
    }
    fft.Inverse();
    for (int t = 0; t < 256; ++t) {
        EXPECT_NEAR(fft.Re[static_cast<size_t>(t)], x[static_cast<size_t>(t)].real(), 0.01);
        EXPECT_NEAR(fft.Im[static_cast<size_t>(t)], x[static_cast<size_t>(t)].imag(), 0.01);
    }
    fft.Re[0] = 1e9f;
    fft.Im[0] = std::nanf("");
    fft.Re[1] = -1e9f;
    fft.Clamp16();
    EXPECT_EQ(fft.Re[0], 32767.0f);
    EXPECT_EQ(fft.Im[0], 0.0f);
    EXPECT_EQ(fft.Re[1], -32767.0f);
}

// Stereo frames of cosines at bin m (m x 172.27 Hz) with the given amplitudes.
std::vector<int16_t> Tone(int frames, int m, double left, double right) {
    std::vector<int16_t> s;
    for (int f = 0; f < frames; ++f) {
        const double c = std::cos(2 * kPi * m * f / 256);
        s.push_back(static_cast<int16_t>(std::lround(left * c)));
        s.push_back(static_cast<int16_t>(std::lround(right * c)));
    }
    return s;
}

// Root mean square of one channel over frames from..to.
double Rms(const std::vector<int16_t>& s, int channel, int from, int to) {
    double sum = 0;
    for (int f = from; f < to; ++f)
        sum += double(s[static_cast<size_t>(2 * f + channel)]) * s[static_cast<size_t>(2 * f + channel)];
    return std::sqrt(sum / (to - from));
}

TEST(Equalizer, UnitGainsChangeNothingAndAreNotRun) {
    TSystemClock clock;
    TOggData ogg(8192, clock, nullptr);
    EXPECT_FALSE(ogg.IsEqualizerActive());
    ogg.SetBandGainNow(17, 1.005f);  // within 0.01 of 1 in total: still off
    EXPECT_FALSE(ogg.IsEqualizerActive());
    ogg.SetBandGainNow(17, 0.5f);
    EXPECT_TRUE(ogg.IsEqualizerActive());
    ogg.SetBandGainNow(17, 1.0f);
    // Run anyway, the filter passes everything through (up to rounding).
    std::vector<int16_t> s = Tone(1000, 10, 12000, -7000);
    const std::vector<int16_t> before = s;
    ogg.Equalize(s.data(), static_cast<int32_t>(s.size() * 2));
    int32_t worst = 0;
    for (size_t i = 128; i < s.size(); ++i)  // after the first piece's history of zeros
        worst = std::max(worst, std::abs(s[i] - before[i]));
    EXPECT_LE(worst, 1);
}

// Bands 2m-1 and 2m are the frequencies +m and -m of the complex signal left + i right.
TEST(Equalizer, BandPairsRemoveAFrequencyFromBothChannels) {
    const int m = 10;
    struct TCase {
        std::vector<int> ZeroBands;
        double Remaining;  // of each channel's level
        double Tolerance;
        bool Mixed;  // the channels no longer equal
    };
    // The window is never 0 at its ends, so about a seventh of a tone leaks into the neighbouring
    // bins: removing a pair leaves that much, removing the neighbours takes that much.
    const TCase cases[] = {
        {{2 * m - 1, 2 * m}, 0.0, 0.16, false},
        {{2 * m - 1}, std::sqrt(0.5), 0.02, true},
        {{2 * m}, std::sqrt(0.5), 0.02, true},
        {{2 * m + 1, 2 * m + 2}, 1.0, 0.08, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.ZeroBands[0]);
        TSystemClock clock;
        TOggData ogg(8192, clock, nullptr);
        for (int b : c.ZeroBands)
            ogg.SetBandGainNow(b, 0.0f);
        std::vector<int16_t> s = Tone(4000, m, 10000, 10000);
        ogg.Equalize(s.data(), static_cast<int32_t>(s.size() * 2));
        const double l = Rms(s, 0, 1000, 4000), r = Rms(s, 1, 1000, 4000);
        const double full = 10000 / std::sqrt(2.0);
        EXPECT_NEAR(l / full, c.Remaining, c.Tolerance);
        EXPECT_NEAR(r / full, c.Remaining, c.Tolerance);
        double diff = 0;
        for (int f = 1000; f < 4000; ++f)
            diff = std::max(diff, std::abs(double(s[static_cast<size_t>(2 * f)]) - s[static_cast<size_t>(2 * f + 1)]));
        EXPECT_EQ(diff > 1000, c.Mixed);
    }
}

TEST(Equalizer, ControlCurvesSetAllBands) {
    TSystemClock clock;
    TOggData ogg(8192, clock, nullptr);
    const float ones[4] = {1, 1, 1, 1}, zeros[4] = {0, 0, 0, 0};
    ogg.SetEqualizer4(ones, 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(ogg.GetBandGain(i), 1.0f);
    EXPECT_FALSE(ogg.IsEqualizerActive());
    ogg.SetEqualizer4(zeros, 1.0f);  // fades: the targets move at once, the gains over a second
    EXPECT_EQ(ogg.GetBandTarget(100), 0.0f);
    EXPECT_EQ(ogg.GetBandGain(100), 1.0f);
    std::vector<int16_t> s = Tone(44100 + 192, 10, 10000, 10000);
    ogg.Equalize(s.data(), static_cast<int32_t>(s.size() * 2));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(ogg.GetBandGain(i), 0.0f) << i;
    EXPECT_LT(Rms(s, 0, 44100 - 400, 44100), 1.0);  // silence after the fade

    const float eight[8] = {0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 1.2f, 1.4f, 1.6f};
    ogg.SetEqualizer8(eight, 0);
    EXPECT_FLOAT_EQ(ogg.GetBandGain(0), 0.2f);
    EXPECT_FLOAT_EQ(ogg.GetBandGain(255), 1.6f);
    EXPECT_NEAR(ogg.GetBandGain(128), 0.2f + 1.4f * 128 / 255, 0.01);  // a straight line stays one
    const float dip[4] = {1, -3, 1, 1};                                // below 0 becomes 0
    ogg.SetEqualizer4(dip, 0);
    EXPECT_EQ(ogg.GetBandGain(85), 0.0f);

    ogg.SetBandGain(3, 0.0005f, 0.25f);  // too short to fade: at once
    EXPECT_EQ(ogg.GetBandGain(3), 0.25f);
    ogg.SetBandGain(3, 0.0f, std::nanf(""));  // not a number: 1
    EXPECT_EQ(ogg.GetBandGain(3), 1.0f);
    ogg.SetBandGain(256, 0.0f, 0.0f);  // no such band
    EXPECT_EQ(ogg.GetBandGain(256), 1.0f);
}

std::vector<int16_t> Constant(int n, int16_t v) {
    return std::vector<int16_t>(static_cast<size_t>(n), v);
}

TEST(GainControl, FullScaleIsClampedAndLowersTheGain) {
    for (auto [in, out] : {std::pair<int16_t, int16_t>{32767, 32760}, {-32767, -32760}, {-32768, -32760}}) {
        TAGC agc(4096);
        std::vector<int16_t> s = {in};
        agc.Process(s.data(), 2);
        EXPECT_EQ(s[0], out);
        EXPECT_NEAR(agc.Gain, 1.0f - std::abs(in) / 30000.0f * 0.05f, 1e-6);  // about 0.055 lower
        EXPECT_EQ(agc.Count, 0);
    }
}

TEST(GainControl, RisesAfterEachHoldBelowTheLimit) {
    TAGC agc(4096);
    std::vector<int16_t> s = Constant(12289, 10000);
    agc.Process(s.data(), static_cast<int32_t>(s.size() * 2));
    EXPECT_EQ(s[0], 10000);
    EXPECT_NEAR(agc.Gain, 1.0f + 30000.0f / 10000 * 0.05f, 1e-5);  // 1.15 after 12289 samples
    EXPECT_EQ(agc.Count, 0);
    s = Constant(1, 10000);
    agc.Process(s.data(), 2);
    EXPECT_EQ(s[0], 11500);
}

TEST(GainControl, SwitchesAndLimits) {
    struct TCase {
        int32_t Limit, NoiseFloor;
        bool Acts;
    };
    for (const TCase& c : {TCase{0, 800, false}, TCase{800, 800, false}, TCase{801, 800, true}}) {
        TAGC agc(4096);
        agc.Limit = c.Limit;
        agc.NoiseFloor = c.NoiseFloor;
        std::vector<int16_t> s = {30000};
        agc.Process(s.data(), 2);
        EXPECT_EQ(agc.Gain != 1.0f, c.Acts) << c.Limit;
    }
    // A low limit and a fast rate: the gain falls to 0 and stays there, never below.
    TAGC agc(4096);
    agc.Limit = 801;
    agc.Rate = 0.255f;
    std::vector<int16_t> loud = Constant(40000, 32000);
    agc.Process(loud.data(), static_cast<int32_t>(loud.size() * 2));
    EXPECT_GE(agc.Gain, 0.0f);
    EXPECT_TRUE(std::isfinite(agc.Gain));
    for (int16_t v : loud)
        ASSERT_GE(v, 0);
    // After a long silence the gain goes back to 1 without swinging past it.
    std::vector<int16_t> quiet = Constant(30000, 0);
    agc.Process(quiet.data(), static_cast<int32_t>(quiet.size() * 2));
    EXPECT_EQ(agc.Gain, 1.0f);
}

TEST(GainControl, StreamSettings) {
    TSystemClock clock;
    TOggData ogg(8192, clock, nullptr);
    EXPECT_FALSE(ogg.AGC.Active());  // off until set
    ogg.SetAGCLevel(0.5f);
    EXPECT_EQ(ogg.AGC.Limit, 15000);
    EXPECT_EQ(ogg.AGC.NoiseFloor, 800);
    EXPECT_TRUE(ogg.AGC.Active());
    ogg.SetAGCParams(20000, 700, std::nanf(""), INFINITY);
    EXPECT_EQ(ogg.AGC.Gain, 1.0f);
    EXPECT_EQ(ogg.AGC.Rate, 0.05f);
    EXPECT_EQ(ogg.AGC.Hold, 12288);
    ogg.SetAGCLevel(0);
    EXPECT_FALSE(ogg.AGC.Active());
    ogg.SetAGCLevel(1e30f);  // saturates
    EXPECT_EQ(ogg.AGC.Limit, INT32_MAX);
}

}  // namespace
