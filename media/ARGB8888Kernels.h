// The pixel kernels of the draws: the blend modes with their colour filter, the soft-edged mix of
// the rule draws and transitions, the cross-fade and the half blend. Each exists as a plain scalar
// reference and in vector forms (SSE2, AVX2) that give the same bytes; the draws use the best form
// the processor offers, and tests and benchmarks can choose one.
//
// A pixel is four lanes (blue, green, red, alpha). With As the source alpha after the filter,
// k = (255 - As) shr 1 and mix(v, d) = v + floor((d - v) x k / 128); every result lane is clamped
// to 0..255. Rows are handled in pairs of adjacent pixels counted from the span's first pixel.
#pragma once

#include <cstdint>

#include "media/ARGB8888Lib.h"

namespace ARGB8888Kernels {

enum class TKernelSet : uint8_t { Reference, Sse2, Avx2 };

// Whether this processor (and this build) can run the set.
bool Available(TKernelSet set);
// The set the draws use: the best available one unless chosen otherwise.
TKernelSet ActiveSet();
// Chooses the set of the draws; an unavailable set leaves the choice as it was. Returns whether
// the set was taken.
bool SelectSet(TKernelSet set);

// One row of a blend: out[i] := kernel(filter(src[i]), dst[i]) for 2 x pairs pixels. With the pair
// skip, a pair whose two source pixels both have alpha 0 (before the filter) gives dst unchanged.
// out may be dst; otherwise out must not overlap src or dst.
using TBlendRow = void (*)(uint32_t* out, const uint32_t* dst, const uint32_t* src, int32_t pairs, uint32_t add,
                           uint32_t mul);
// One row of the rule mix: out[i] := s + floor((o - s) x k / 128) per lane, k the weight of s's
// alpha against the threshold. out may be o.
using TRuleRow = void (*)(uint32_t* out, const uint32_t* s, const uint32_t* o, int32_t pairs, int32_t threshold);
// The same with one k (0..127) for every pixel.
using TFadeRow = void (*)(uint32_t* out, const uint32_t* s, const uint32_t* o, int32_t pairs, int32_t k);
// dst := (src byte shr 1) + (dst byte shr 1), per byte.
using THalfRow = void (*)(uint32_t* dst, const uint32_t* src, int32_t pairs);

TBlendRow BlendRow(TKernelSet set, ARGB8888Lib::TBlendKernel kernel, ARGB8888Lib::TColorFilter filter, bool skipPairs);
TRuleRow RuleRow(TKernelSet set);
TFadeRow FadeRow(TKernelSet set);
THalfRow HalfRow(TKernelSet set);

// The reference arithmetic of one pixel.
uint32_t FilterPixel(ARGB8888Lib::TColorFilter filter, uint32_t s, uint32_t add, uint32_t mul);
uint32_t BlendPixel(ARGB8888Lib::TBlendKernel kernel, uint32_t s, uint32_t d);
uint32_t MixPixel(uint32_t s, uint32_t o, int32_t k);
// Threshold of a level: (level x 288) div 255 - 32, so level 1 gives -31 and 255 gives 256.
int32_t Threshold(int32_t level);
// Weight of an alpha against a threshold: min(255, max(0, (alpha - t) x 8)) shr 1, 0..127.
int32_t RuleWeight(uint32_t alpha, int32_t threshold);

namespace Detail {

constexpr int kBlendRows = 10 * 4 * 2;  // kernel x filter x pair skip
constexpr int BlendIndex(ARGB8888Lib::TBlendKernel kernel, ARGB8888Lib::TColorFilter filter, bool skipPairs) {
    return static_cast<int>(kernel) * 8 + static_cast<int>(filter) * 2 + (skipPairs ? 1 : 0);
}

struct TTable {
    TBlendRow Blend[kBlendRows];
    TRuleRow Rule;
    TFadeRow Fade;
    THalfRow Half;
};

// The reference rows, also used by the vector forms for the pixels past their last full vector.
void BlendRowReference(ARGB8888Lib::TBlendKernel kernel, ARGB8888Lib::TColorFilter filter, bool skipPairs,
                       uint32_t* out, const uint32_t* dst, const uint32_t* src, int32_t pairs, uint32_t add,
                       uint32_t mul);
void RuleRowReference(uint32_t* out, const uint32_t* s, const uint32_t* o, int32_t pairs, int32_t threshold);
void FadeRowReference(uint32_t* out, const uint32_t* s, const uint32_t* o, int32_t pairs, int32_t k);
void HalfRowReference(uint32_t* dst, const uint32_t* src, int32_t pairs);

extern const TTable ReferenceTable;
#if defined(__x86_64__)
#define KEL_KERNELS_X86 1
extern const TTable Sse2Table;
extern const TTable Avx2Table;
#endif

}  // namespace Detail

}  // namespace ARGB8888Kernels
