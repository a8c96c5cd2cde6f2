// The kernels on 128-bit SSE2 registers: four pixels per step.
#include "media/ARGB8888Kernels.h"

#if defined(KEL_KERNELS_X86)

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

struct TSse2 {
    using V = __m128i;
    static constexpr int kPixels = 4;
    static V Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(uint32_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static V Zero() { return _mm_setzero_si128(); }
    static V Set32(uint32_t x) { return _mm_set1_epi32(static_cast<int>(x)); }
    static V Set16(int x) { return _mm_set1_epi16(static_cast<short>(x)); }
    static V ColourLanes() { return _mm_set1_epi64x(0x0000FFFFFFFFFFFFLL); }
    static V Lo(V a) { return _mm_unpacklo_epi8(a, _mm_setzero_si128()); }
    static V Hi(V a) { return _mm_unpackhi_epi8(a, _mm_setzero_si128()); }
    static V Pack(V lo, V hi) { return _mm_packus_epi16(lo, hi); }
    static V Add(V a, V b) { return _mm_add_epi16(a, b); }
    static V Sub(V a, V b) { return _mm_sub_epi16(a, b); }
    static V Mul(V a, V b) { return _mm_mullo_epi16(a, b); }
    template <int N>
    static V Srl(V a) {
        return _mm_srli_epi16(a, N);
    }
    template <int N>
    static V Sra(V a) {
        return _mm_srai_epi16(a, N);
    }
    template <int N>
    static V Sll(V a) {
        return _mm_slli_epi16(a, N);
    }
    static V Min(V a, V b) { return _mm_min_epi16(a, b); }
    static V Max(V a, V b) { return _mm_max_epi16(a, b); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V Select(V mask, V a, V b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
    static V CmpGt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
    static V CmpEq32(V a, V b) { return _mm_cmpeq_epi32(a, b); }
    static V AlphaBytes(V a) { return _mm_srli_epi32(a, 24); }
    static V SwapPairs(V a) { return _mm_shuffle_epi32(a, _MM_SHUFFLE(2, 3, 0, 1)); }
    static V Alpha16(V a) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, 0xFF), 0xFF); }
    static bool AllOnes(V m) { return _mm_movemask_epi8(m) == 0xFFFF; }
};

}  // namespace

#include "media/ARGB8888KernelsSimd.h"

namespace ARGB8888Kernels::Detail {
constinit const TTable Sse2Table = ARGB8888KernelsSimd::MakeTable<TSse2>(std::make_index_sequence<kBlendRows>());
}

#endif
