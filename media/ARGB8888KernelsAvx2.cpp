// The kernels on 256-bit AVX2 registers: eight pixels per step. Only called after the processor
// has been asked (ARGB8888Kernels::Available). Everything this file includes comes before the
// target switch, so no shared inline function is compiled for AVX2 by accident.
#include "media/ARGB8888Kernels.h"

#if defined(KEL_KERNELS_X86)

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#elif defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

struct TAvx2 {
    using V = __m256i;
    static constexpr int kPixels = 8;
    static V Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(uint32_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static V Zero() { return _mm256_setzero_si256(); }
    static V Set32(uint32_t x) { return _mm256_set1_epi32(static_cast<int>(x)); }
    static V Set16(int x) { return _mm256_set1_epi16(static_cast<short>(x)); }
    static V ColourLanes() { return _mm256_set1_epi64x(0x0000FFFFFFFFFFFFLL); }
    static V Lo(V a) { return _mm256_unpacklo_epi8(a, _mm256_setzero_si256()); }
    static V Hi(V a) { return _mm256_unpackhi_epi8(a, _mm256_setzero_si256()); }
    static V Pack(V lo, V hi) { return _mm256_packus_epi16(lo, hi); }  // per 128-bit half, undoing Lo and Hi
    static V Add(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V Mul(V a, V b) { return _mm256_mullo_epi16(a, b); }
    template <int N>
    static V Srl(V a) {
        return _mm256_srli_epi16(a, N);
    }
    template <int N>
    static V Sra(V a) {
        return _mm256_srai_epi16(a, N);
    }
    template <int N>
    static V Sll(V a) {
        return _mm256_slli_epi16(a, N);
    }
    static V Min(V a, V b) { return _mm256_min_epi16(a, b); }
    static V Max(V a, V b) { return _mm256_max_epi16(a, b); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V Select(V mask, V a, V b) { return _mm256_blendv_epi8(b, a, mask); }
    static V CmpGt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
    static V CmpEq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
    static V AlphaBytes(V a) { return _mm256_srli_epi32(a, 24); }
    static V SwapPairs(V a) { return _mm256_shuffle_epi32(a, _MM_SHUFFLE(2, 3, 0, 1)); }
    static V Alpha16(V a) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, 0xFF), 0xFF); }
    static bool AllOnes(V m) { return _mm256_movemask_epi8(m) == -1; }
};

}  // namespace

#include "media/ARGB8888KernelsSimd.h"

namespace ARGB8888Kernels::Detail {
constinit const TTable Avx2Table = ARGB8888KernelsSimd::MakeTable<TAvx2>(std::make_index_sequence<kBlendRows>());
}

#if defined(__clang__)
#pragma clang attribute pop
#elif defined(__GNUC__)
#pragma GCC pop_options
#endif

#endif
