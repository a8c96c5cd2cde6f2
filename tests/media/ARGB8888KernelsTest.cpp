#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "media/ARGB8888Kernels.h"

namespace {

using ARGB8888Kernels::TKernelSet;
using ARGB8888Lib::TBlendKernel;
using ARGB8888Lib::TColorFilter;

constexpr TBlendKernel kKernels[] = {TBlendKernel::Copy,    TBlendKernel::CopyAlphaTest, TBlendKernel::Blend,
                                     TBlendKernel::Screen,  TBlendKernel::Multiply,      TBlendKernel::Difference,
                                     TBlendKernel::Lighten, TBlendKernel::Darken,        TBlendKernel::Add,
                                     TBlendKernel::Subtract};
constexpr TColorFilter kFilters[] = {TColorFilter::None, TColorFilter::Multiply, TColorFilter::Add,
                                     TColorFilter::MultiplyAdd};

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// ------------------------------------------------------------------ worked values of the lanes

TEST(BlendKernels, WorkedValues) {
    struct TCase {
        TBlendKernel Kernel;
        uint32_t S, D, Want;
    } cases[] = {
        {TBlendKernel::Blend, 0xFF102030, 0xFFFFFFFF, 0xFF102030},  // As 255: k = 0 gives s
        {TBlendKernel::Blend, 0x00000000, 0xFFFFFFFF, 0xFDFDFDFD},  // k = 127: 0 + floor(255 x 127 / 128) = 253
        {TBlendKernel::Add, Argb(128, 200, 200, 200), Argb(0, 100, 100, 100), Argb(64, 200, 200, 200)},  // p = 100
        {TBlendKernel::Subtract, Argb(128, 200, 50, 0), Argb(255, 100, 100, 100), Argb(191, 0, 75, 100)},
        {TBlendKernel::Difference, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF},  // opaque over opaque: alpha 255
        {TBlendKernel::Difference, Argb(128, 0, 0, 0), 0xFFFFFFFF, Argb(65, 255, 255, 255)},  // alpha 128 - 63
        // Screen: the source lane weighted by its alpha, p = (s x As) shr 8, then
        // min(255, p + d - ((p x d) shr 8)).
        {TBlendKernel::Screen, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
        {TBlendKernel::Screen, Argb(128, 255, 0, 0), Argb(0, 0, 0, 128), Argb(64, 127, 0, 128)},
        // Multiply: (s x d) shr 8, then the blend.
        {TBlendKernel::Multiply, Argb(255, 255, 128, 0), Argb(255, 255, 255, 255), Argb(254, 254, 127, 0)},
        {TBlendKernel::Lighten, Argb(255, 10, 200, 30), Argb(255, 100, 100, 100), Argb(255, 100, 200, 100)},
        {TBlendKernel::Darken, Argb(255, 10, 200, 30), Argb(255, 100, 100, 100), Argb(255, 10, 100, 30)},
        // Alpha test: source alpha 0 or 1 keeps the destination pixel, 2 copies.
        {TBlendKernel::CopyAlphaTest, Argb(1, 9, 9, 9), 0x12345678, 0x12345678},
        {TBlendKernel::CopyAlphaTest, Argb(2, 9, 9, 9), 0x12345678, Argb(2, 9, 9, 9)},
        {TBlendKernel::Copy, Argb(0, 9, 9, 9), 0x12345678, Argb(0, 9, 9, 9)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ARGB8888Kernels::BlendPixel(c.Kernel, c.S, c.D), c.Want)
            << "kernel " << int(c.Kernel) << std::hex << " s " << c.S << " d " << c.D;
}

TEST(BlendKernels, ColourFilter) {
    using ARGB8888Kernels::FilterPixel;
    // Multiply colour 0xFFFFFF at alpha 254 maps 255 to 254 in the colour lanes, 253 in alpha.
    EXPECT_EQ(FilterPixel(TColorFilter::Multiply, 0xFFFFFFFF, 0, 0xFEFFFFFF), 0xFDFEFEFEu);
    EXPECT_EQ(FilterPixel(TColorFilter::None, 0x12345678, 0x00FFFFFF, 0), 0x12345678u);
    EXPECT_EQ(FilterPixel(TColorFilter::Add, 0x80F01020, 0x00202020, 0xFFFFFFFF), 0x80FF3040u);
    EXPECT_EQ(FilterPixel(TColorFilter::MultiplyAdd, 0xFF808080, 0x00010203, 0x80FF0080), 0x7F800243u);
    // The whole draw of a white opaque pixel at alpha 254 over opaque black: k = 1.
    const uint32_t s = FilterPixel(TColorFilter::Multiply, 0xFFFFFFFF, 0, 0xFEFFFFFF);
    EXPECT_EQ(ARGB8888Kernels::BlendPixel(TBlendKernel::Blend, s, 0xFF000000), 0xFDFCFCFCu);
}

TEST(RuleKernels, ThresholdWeightAndMix) {
    using ARGB8888Kernels::RuleWeight;
    using ARGB8888Kernels::Threshold;
    EXPECT_EQ(Threshold(1), -31);
    EXPECT_EQ(Threshold(255), 256);
    EXPECT_EQ(Threshold(128), 112);
    EXPECT_EQ(RuleWeight(0, -31), 124);  // (0 + 31) x 8 = 248
    EXPECT_EQ(RuleWeight(255, -31), 127);
    EXPECT_EQ(RuleWeight(112, 112), 0);   // at the threshold: copied whole
    EXPECT_EQ(RuleWeight(120, 112), 32);  // 8 x 8 = 64
    EXPECT_EQ(RuleWeight(144, 112), 127);
    EXPECT_EQ(RuleWeight(255, 256), 0);  // level 255 copies everything
    // Mix towards the other pixel, rounded down: level 0 of a fade (k 127).
    EXPECT_EQ(ARGB8888Kernels::MixPixel(0x00000000, 0xFFFFFFFF, 127), 0xFDFDFDFDu);
    EXPECT_EQ(ARGB8888Kernels::MixPixel(0xFFFFFFFF, 0x00000000, 127), 0x01010101u);  // 255 - 254
    EXPECT_EQ(ARGB8888Kernels::MixPixel(0x80808080, 0x00FF0000, 63), 0x41BE4141u);
}

// ------------------------------------------------------------------ vector forms against the reference

// A deterministic generator, so that every run tests the same pixels.
struct TRandom {
    uint64_t State = 0x9E3779B97F4A7C15ull;
    uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 7;
        State ^= State << 17;
        return static_cast<uint32_t>(State >> 11);
    }
};

// Lane values that matter: both ends, the middle, and the neighbours of each.
const std::vector<uint32_t> kEdges = {0, 1, 2, 3, 126, 127, 128, 129, 130, 252, 253, 254, 255};

// Source and destination rows: every source alpha against every pair of edge lane values, then
// a dense random part whose alphas lean towards 0 and 255 so that skipped and opaque vectors of
// every shape occur.
void MakeRows(std::vector<uint32_t>& src, std::vector<uint32_t>& dst) {
    std::vector<uint32_t> lanes = kEdges;
    for (uint32_t v = 5; v < 255; v += 17)
        lanes.push_back(v);
    for (uint32_t as = 0; as < 256; ++as)
        for (uint32_t s : lanes)
            for (uint32_t d : lanes) {
                src.push_back(Argb(as, s, 255 - s, s ^ 0x5A));
                dst.push_back(Argb(d ^ 0xC3, d, s, 255 - d));
            }
    TRandom random;
    for (int i = 0; i < 60000; ++i) {
        uint32_t s = random.Next(), d = random.Next();
        switch (random.Next() % 4) {
            case 0:
                s &= 0x00FFFFFF;
                break;
            case 1:
                s |= 0xFF000000;
                break;
            default:
                break;
        }
        if (random.Next() % 3 == 0) d |= 0xFF000000;
        src.push_back(s);
        dst.push_back(d);
    }
    if (src.size() % 2) src.push_back(0), dst.push_back(0);
}

std::vector<TKernelSet> VectorSets() {
    std::vector<TKernelSet> sets;
    for (TKernelSet set : {TKernelSet::Sse2, TKernelSet::Avx2})
        if (ARGB8888Kernels::Available(set)) sets.push_back(set);
    return sets;
}

std::string Name(TKernelSet set) {
    return set == TKernelSet::Avx2 ? "AVX2" : "SSE2";
}

// The first pixel where two rows differ, for the message.
testing::AssertionResult SameRow(const std::vector<uint32_t>& want, const std::vector<uint32_t>& got,
                                 const std::vector<uint32_t>& src, const std::vector<uint32_t>& dst, size_t offset) {
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i] != got[i])
            return testing::AssertionFailure()
                   << std::hex << "pixel " << std::dec << i << std::hex << ": src " << src[offset + i] << " dst "
                   << dst[offset + i] << " want " << want[i] << " got " << got[i];
    return testing::AssertionSuccess();
}

TEST(KernelSets, BlendRowsMatchTheReference) {
    std::vector<uint32_t> src, dst;
    MakeRows(src, dst);
    // Multiply and add colours per filter: edges of every lane, the draw's alpha in the top byte.
    const uint32_t muls[] = {0xFFFFFFFF, 0xFEFFFFFF, 0x80FF0001, 0x017F80FE, 0x00000000};
    const uint32_t adds[] = {0x00000000, 0x00FFFFFF, 0x00010080, 0x00FE7F01};
    // Spans that start at odd and even pixels of the rows and leave tails of every length.
    const struct { size_t Offset, Pairs; } spans[] = {{0, 0}, {1, 1}, {3, 7}, {2, 9}, {0, 0}};
    for (TKernelSet set : VectorSets()) {
        for (TBlendKernel kernel : kKernels)
            for (TColorFilter filter : kFilters)
                for (bool skip : {false, true})
                    for (size_t p = 0; p < 5; ++p) {
                        const uint32_t mul = muls[p % 5], add = adds[p % 4];
                        const auto fast = ARGB8888Kernels::BlendRow(set, kernel, filter, skip);
                        const auto slow = ARGB8888Kernels::BlendRow(TKernelSet::Reference, kernel, filter, skip);
                        const size_t offset = spans[p].Offset;
                        const size_t pairs = spans[p].Pairs ? spans[p].Pairs : (src.size() - offset) / 2;
                        std::vector<uint32_t> want(dst.begin() + offset, dst.begin() + offset + 2 * pairs);
                        std::vector<uint32_t> got = want;
                        slow(want.data(), want.data(), src.data() + offset, int32_t(pairs), add, mul);
                        fast(got.data(), got.data(), src.data() + offset, int32_t(pairs), add, mul);
                        ASSERT_TRUE(SameRow(want, got, src, dst, offset))
                            << Name(set) << " kernel " << int(kernel) << " filter " << int(filter) << " skip " << skip
                            << std::hex << " mul " << mul << " add " << add;
                        // Into a separate row, as the colour fade writes.
                        if (p == 4 && !skip) {
                            std::vector<uint32_t> out(2 * pairs, 0xDEADBEEF);
                            fast(out.data(), dst.data() + offset, src.data() + offset, int32_t(pairs), add, mul);
                            ASSERT_TRUE(SameRow(want, out, src, dst, offset)) << Name(set) << " separate output";
                        }
                    }
    }
}

TEST(KernelSets, MixRowsMatchTheReference) {
    std::vector<uint32_t> src, dst;
    MakeRows(src, dst);
    const int32_t pairs = int32_t(src.size() / 2);
    for (TKernelSet set : VectorSets()) {
        // Every level's threshold, over rows that hold every alpha.
        for (int32_t level = 1; level <= 255; level += (level < 40 || level > 220) ? 1 : 7) {
            const int32_t t = ARGB8888Kernels::Threshold(level);
            std::vector<uint32_t> want(src.size()), got(src.size());
            ARGB8888Kernels::RuleRow(TKernelSet::Reference)(want.data(), src.data(), dst.data(), pairs, t);
            ARGB8888Kernels::RuleRow(set)(got.data(), src.data(), dst.data(), pairs, t);
            ASSERT_TRUE(SameRow(want, got, src, dst, 0)) << Name(set) << " rule level " << level;
        }
        for (int32_t k = 0; k <= 127; ++k) {
            std::vector<uint32_t> want(src.size()), got(src.size());
            ARGB8888Kernels::FadeRow(TKernelSet::Reference)(want.data(), src.data(), dst.data(), pairs, k);
            ARGB8888Kernels::FadeRow(set)(got.data(), src.data(), dst.data(), pairs, k);
            ASSERT_TRUE(SameRow(want, got, src, dst, 0)) << Name(set) << " fade k " << k;
        }
        // The rule draw writes over its own "other" row.
        std::vector<uint32_t> want = dst, got = dst;
        ARGB8888Kernels::RuleRow(TKernelSet::Reference)(want.data(), src.data(), want.data(), pairs - 1, 100);
        ARGB8888Kernels::RuleRow(set)(got.data(), src.data(), got.data(), pairs - 1, 100);
        ASSERT_TRUE(SameRow(want, got, src, dst, 0)) << Name(set) << " rule in place";
        want = dst, got = dst;
        ARGB8888Kernels::HalfRow(TKernelSet::Reference)(want.data(), src.data(), pairs);
        ARGB8888Kernels::HalfRow(set)(got.data(), src.data(), pairs);
        ASSERT_TRUE(SameRow(want, got, src, dst, 0)) << Name(set) << " half";
    }
}

TEST(KernelSets, SelectionFollowsTheProcessor) {
    const TKernelSet before = ARGB8888Kernels::ActiveSet();
    EXPECT_TRUE(ARGB8888Kernels::Available(TKernelSet::Reference));
    EXPECT_NE(before, TKernelSet::Reference) << "x86-64 always has SSE2";
    EXPECT_TRUE(ARGB8888Kernels::SelectSet(TKernelSet::Reference));
    EXPECT_EQ(ARGB8888Kernels::ActiveSet(), TKernelSet::Reference);
    if (!ARGB8888Kernels::Available(TKernelSet::Avx2)) {
        EXPECT_FALSE(ARGB8888Kernels::SelectSet(TKernelSet::Avx2));
        EXPECT_EQ(ARGB8888Kernels::ActiveSet(), TKernelSet::Reference);
    }
    ARGB8888Kernels::SelectSet(before);
}

}  // namespace
