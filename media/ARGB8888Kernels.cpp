#include "media/ARGB8888Kernels.h"

#include <algorithm>
#include <utility>

#if defined(KEL_KERNELS_X86)
#include <cpuid.h>
#endif

using ARGB8888Lib::TBlendKernel;
using ARGB8888Lib::TColorFilter;

namespace ARGB8888Kernels {

namespace {

int Lane(uint32_t p, int i) {
    return static_cast<int>((p >> (8 * i)) & 0xFF);
}

uint32_t Clamp255(int v) {
    return static_cast<uint32_t>(std::clamp(v, 0, 255));
}

// Division by 128 rounding towards minus infinity, written out so that the reference does not
// lean on the behaviour of shifts of negative numbers.
int FloorDiv128(int x) {
    return x >= 0 ? x / 128 : -((-x + 127) / 128);
}

int Mix(int v, int d, int k) {
    return v + FloorDiv128((d - v) * k);
}

}  // namespace

uint32_t FilterPixel(TColorFilter filter, uint32_t s, uint32_t add, uint32_t mul) {
    if (filter == TColorFilter::None) return s;
    const bool multiply = filter == TColorFilter::Multiply || filter == TColorFilter::MultiplyAdd;
    const bool addition = filter == TColorFilter::Add || filter == TColorFilter::MultiplyAdd;
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        int v = Lane(s, i);
        if (multiply) v = (v * Lane(mul, i)) >> 8;
        if (addition) v = std::min(255, v + Lane(add, i));
        out |= static_cast<uint32_t>(v) << (8 * i);
    }
    return out;
}

uint32_t BlendPixel(TBlendKernel kernel, uint32_t s, uint32_t d) {
    const int as = Lane(s, 3);
    const int k = (255 - as) >> 1;
    switch (kernel) {
        case TBlendKernel::Copy:
            return s;
        case TBlendKernel::CopyAlphaTest:
            return (as >> 1) == 0 ? d : s;
        default:
            break;
    }
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        const int sv = Lane(s, i);
        const int dv = Lane(d, i);
        int r = 0;
        switch (kernel) {
            case TBlendKernel::Blend:
                r = Mix(sv, dv, k);
                break;
            case TBlendKernel::Screen: {
                const int p = (sv * as) >> 8;
                r = p + dv - ((p * dv) >> 8);
                break;
            }
            case TBlendKernel::Multiply:
                r = Mix((sv * dv) >> 8, dv, k);
                break;
            case TBlendKernel::Difference: {
                // The alpha lane is taken against 0, so the result alpha does not depend on the
                // destination's.
                const int dd = i == 3 ? 0 : dv;
                const int diff = sv > dd ? sv - dd : dd - sv;
                r = Mix(diff, dd, k);
                break;
            }
            case TBlendKernel::Lighten:
                r = Mix(std::max(sv, dv), dv, k);
                break;
            case TBlendKernel::Darken:
                r = Mix(std::min(sv, dv), dv, k);
                break;
            case TBlendKernel::Add:
                r = ((sv * as) >> 8) + dv;
                break;
            case TBlendKernel::Subtract:
                r = dv - ((sv * as) >> 8);
                break;
            default:
                r = sv;
                break;
        }
        out |= Clamp255(r) << (8 * i);
    }
    return out;
}

uint32_t MixPixel(uint32_t s, uint32_t o, int32_t k) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i)
        out |= Clamp255(Mix(Lane(s, i), Lane(o, i), k)) << (8 * i);
    return out;
}

int32_t Threshold(int32_t level) {
    return level * 288 / 255 - 32;
}

int32_t RuleWeight(uint32_t alpha, int32_t threshold) {
    const int64_t v = (static_cast<int64_t>(alpha & 0xFF) - threshold) * 8;
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, 255) >> 1);
}

namespace Detail {

void BlendRowReference(TBlendKernel kernel, TColorFilter filter, bool skipPairs, uint32_t* out, const uint32_t* dst,
                       const uint32_t* src, int32_t pairs, uint32_t add, uint32_t mul) {
    for (int32_t j = 0; j < pairs; ++j) {
        const uint32_t s0 = src[2 * j], s1 = src[2 * j + 1];
        const uint32_t d0 = dst[2 * j], d1 = dst[2 * j + 1];
        if (skipPairs && (s0 >> 24) == 0 && (s1 >> 24) == 0) {
            out[2 * j] = d0;
            out[2 * j + 1] = d1;
            continue;
        }
        out[2 * j] = BlendPixel(kernel, FilterPixel(filter, s0, add, mul), d0);
        out[2 * j + 1] = BlendPixel(kernel, FilterPixel(filter, s1, add, mul), d1);
    }
}

void RuleRowReference(uint32_t* out, const uint32_t* s, const uint32_t* o, int32_t pairs, int32_t threshold) {
    for (int32_t i = 0; i < 2 * pairs; ++i)
        out[i] = MixPixel(s[i], o[i], RuleWeight(s[i] >> 24, threshold));
}

void FadeRowReference(uint32_t* out, const uint32_t* s, const uint32_t* o, int32_t pairs, int32_t k) {
    for (int32_t i = 0; i < 2 * pairs; ++i)
        out[i] = MixPixel(s[i], o[i], k);
}

void HalfRowReference(uint32_t* dst, const uint32_t* src, int32_t pairs) {
    for (int32_t i = 0; i < 2 * pairs; ++i) {
        uint32_t out = 0;
        for (int b = 0; b < 4; ++b)
            out |= static_cast<uint32_t>((Lane(src[i], b) >> 1) + (Lane(dst[i], b) >> 1)) << (8 * b);
        dst[i] = out;
    }
}

namespace {

template <int I>
void BlendRowRef(uint32_t* out, const uint32_t* dst, const uint32_t* src, int32_t pairs, uint32_t add, uint32_t mul) {
    BlendRowReference(static_cast<TBlendKernel>(I / 8), static_cast<TColorFilter>(I / 2 % 4), I % 2 != 0, out, dst, src,
                      pairs, add, mul);
}

template <size_t... I>
constexpr TTable MakeReferenceTable(std::index_sequence<I...>) {
    return TTable{{&BlendRowRef<static_cast<int>(I)>...}, &RuleRowReference, &FadeRowReference, &HalfRowReference};
}

}  // namespace

constinit const TTable ReferenceTable = MakeReferenceTable(std::make_index_sequence<kBlendRows>());

}  // namespace Detail

namespace {

bool CpuHasAvx2() {
#if defined(KEL_KERNELS_X86)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

TKernelSet Best() {
    if (Available(TKernelSet::Avx2)) return TKernelSet::Avx2;
    if (Available(TKernelSet::Sse2)) return TKernelSet::Sse2;
    return TKernelSet::Reference;
}

TKernelSet& Active() {
    static TKernelSet active = Best();
    return active;
}

const Detail::TTable& TableOf(TKernelSet set) {
#if defined(KEL_KERNELS_X86)
    if (set == TKernelSet::Avx2 && Available(TKernelSet::Avx2)) return Detail::Avx2Table;
    if (set == TKernelSet::Sse2) return Detail::Sse2Table;
#endif
    (void)set;
    return Detail::ReferenceTable;
}

}  // namespace

bool Available(TKernelSet set) {
    switch (set) {
        case TKernelSet::Reference:
            return true;
#if defined(KEL_KERNELS_X86)
        case TKernelSet::Sse2:
            return true;  // part of every x86-64 processor
        case TKernelSet::Avx2: {
            static const bool avx2 = CpuHasAvx2();
            return avx2;
        }
#endif
        default:
            return false;
    }
}

TKernelSet ActiveSet() {
    return Active();
}

bool SelectSet(TKernelSet set) {
    if (!Available(set)) return false;
    Active() = set;
    return true;
}

TBlendRow BlendRow(TKernelSet set, TBlendKernel kernel, TColorFilter filter, bool skipPairs) {
    return TableOf(set).Blend[Detail::BlendIndex(kernel, filter, skipPairs)];
}
TRuleRow RuleRow(TKernelSet set) {
    return TableOf(set).Rule;
}
TFadeRow FadeRow(TKernelSet set) {
    return TableOf(set).Fade;
}
THalfRow HalfRow(TKernelSet set) {
    return TableOf(set).Half;
}

}  // namespace ARGB8888Kernels

namespace ARGB8888Lib {

bool IsMMXAvailable() {
#if defined(KEL_KERNELS_X86)
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (d & (1u << 23)) != 0;
#else
    return true;  // the kernels need no particular instructions elsewhere
#endif
}

}  // namespace ARGB8888Lib
