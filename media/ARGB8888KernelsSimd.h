// The vector forms of the kernels, written once over an operations type O (the 128-bit SSE2 and
// the 256-bit AVX2 sets). Included by one source file per instruction set, after that file has
// included everything else and, for AVX2, switched the target: nothing here includes a header.
//
// Pixels are widened to 16-bit lanes, four per pixel. Every intermediate value fits a signed
// 16-bit lane: products of two bytes are at most 65025 (taken unsigned before the shift by 8),
// and (d - v) x k lies within -32385..32385, so the arithmetic shift by 7 is the floor division by
// 128. Packing with unsigned saturation is the final clamp to 0..255. Vectors hold an even number
// of pixels starting at an even one, so pairs never straddle two vectors.

namespace ARGB8888KernelsSimd {

using ARGB8888Lib::TBlendKernel;
using ARGB8888Lib::TColorFilter;

template <class O>
inline typename O::V Mix(typename O::V v, typename O::V d, typename O::V k) {
    return O::Add(v, O::template Sra<7>(O::Mul(O::Sub(d, v), k)));
}

template <class O, TColorFilter F>
inline typename O::V Filter(typename O::V s, typename O::V mul, typename O::V add) {
    if constexpr (F == TColorFilter::None) {
        return s;
    } else if constexpr (F == TColorFilter::Multiply) {
        return O::template Srl<8>(O::Mul(s, mul));
    } else if constexpr (F == TColorFilter::Add) {
        return O::Min(O::Add(s, add), O::Set16(255));
    } else {
        return O::Min(O::Add(O::template Srl<8>(O::Mul(s, mul)), add), O::Set16(255));
    }
}

// The kernel on widened lanes; values above 255 or below 0 are left to the packing clamp.
template <class O, TBlendKernel K>
inline typename O::V Kernel(typename O::V s, typename O::V d) {
    using V = typename O::V;
    const V as = O::Alpha16(s);
    if constexpr (K == TBlendKernel::Copy) {
        return s;
    } else if constexpr (K == TBlendKernel::CopyAlphaTest) {
        return O::Select(O::CmpGt16(as, O::Set16(1)), s, d);
    } else if constexpr (K == TBlendKernel::Screen) {
        const V p = O::template Srl<8>(O::Mul(s, as));
        return O::Sub(O::Add(p, d), O::template Srl<8>(O::Mul(p, d)));
    } else if constexpr (K == TBlendKernel::Add) {
        return O::Add(O::template Srl<8>(O::Mul(s, as)), d);
    } else if constexpr (K == TBlendKernel::Subtract) {
        return O::Sub(d, O::template Srl<8>(O::Mul(s, as)));
    } else if constexpr (K == TBlendKernel::Blend) {
        return Mix<O>(s, d, O::template Srl<1>(O::Sub(O::Set16(255), as)));
    } else if constexpr (K == TBlendKernel::Multiply) {
        return Mix<O>(O::template Srl<8>(O::Mul(s, d)), d, O::template Srl<1>(O::Sub(O::Set16(255), as)));
    } else if constexpr (K == TBlendKernel::Lighten) {
        return Mix<O>(O::Max(s, d), d, O::template Srl<1>(O::Sub(O::Set16(255), as)));
    } else if constexpr (K == TBlendKernel::Darken) {
        return Mix<O>(O::Min(s, d), d, O::template Srl<1>(O::Sub(O::Set16(255), as)));
    } else if constexpr (K == TBlendKernel::Difference) {
        // The alpha lane is taken against 0.
        const V dd = O::And(d, O::ColourLanes());
        return Mix<O>(O::Sub(O::Max(s, dd), O::Min(s, dd)), dd, O::template Srl<1>(O::Sub(O::Set16(255), as)));
    } else {
        return s;
    }
}

template <class O, TBlendKernel K, TColorFilter F, bool Skip>
void BlendRow(uint32_t* out, const uint32_t* dst, const uint32_t* src, int32_t pairs, uint32_t add, uint32_t mul) {
    using V = typename O::V;
    const int64_t n = static_cast<int64_t>(pairs) * 2;
    const V mul16 = O::Lo(O::Set32(mul));
    const V add16 = O::Lo(O::Set32(add));
    const V zero = O::Zero();
    const V ones = O::Set32(0xFFFFFFFFu);
    const V colour = O::Set32(0x00FFFFFFu);
    int64_t i = 0;
    for (; i + O::kPixels <= n; i += O::kPixels) {
        // The destination is read only when it is needed: transparent and opaque stretches of a
        // sprite touch the source alone.
        const V S = O::Load(src + i);
        V skip = zero;
        if constexpr (Skip) {
            const V z = O::CmpEq32(O::AlphaBytes(S), zero);
            skip = O::And(z, O::SwapPairs(z));
            if (O::AllOnes(skip)) {
                if (out != dst) O::Store(out + i, O::Load(dst + i));
                continue;
            }
        }
        if constexpr (F == TColorFilter::None && K == TBlendKernel::Blend) {
            // Opaque sources are the common case of a sprite's inside: k = 0 gives s.
            if (O::AllOnes(O::CmpEq32(O::Or(S, colour), ones))) {
                O::Store(out + i, S);
                continue;
            }
        }
        const V D = O::Load(dst + i);
        V R;
        if constexpr (F == TColorFilter::None && (K == TBlendKernel::Copy)) {
            R = S;
        } else {
            const V lo = Kernel<O, K>(Filter<O, F>(O::Lo(S), mul16, add16), O::Lo(D));
            const V hi = Kernel<O, K>(Filter<O, F>(O::Hi(S), mul16, add16), O::Hi(D));
            R = O::Pack(lo, hi);
        }
        if constexpr (Skip) R = O::Select(skip, D, R);
        O::Store(out + i, R);
    }
    if (i < n)
        ARGB8888Kernels::Detail::BlendRowReference(K, F, Skip, out + i, dst + i, src + i,
                                                   static_cast<int32_t>((n - i) / 2), add, mul);
}

template <class O, bool Rule>
void MixRow(uint32_t* out, const uint32_t* s, const uint32_t* o, int32_t pairs, int32_t value) {
    using V = typename O::V;
    const int64_t n = static_cast<int64_t>(pairs) * 2;
    const V zero = O::Zero();
    const V c255 = O::Set16(255);
    const V t = O::Set16(value);
    int64_t i = 0;
    for (; i + O::kPixels <= n; i += O::kPixels) {
        const V S = O::Load(s + i);
        const V P = O::Load(o + i);
        const V sl = O::Lo(S), sh = O::Hi(S);
        V kl = t, kh = t;
        if constexpr (Rule) {
            // (alpha - t) x 8 lies within -2048..2296 for thresholds -32..256.
            kl = O::template Srl<1>(O::Min(O::Max(O::template Sll<3>(O::Sub(O::Alpha16(sl), t)), zero), c255));
            kh = O::template Srl<1>(O::Min(O::Max(O::template Sll<3>(O::Sub(O::Alpha16(sh), t)), zero), c255));
        }
        O::Store(out + i, O::Pack(Mix<O>(sl, O::Lo(P), kl), Mix<O>(sh, O::Hi(P), kh)));
    }
    if (i < n) {
        if constexpr (Rule)
            ARGB8888Kernels::Detail::RuleRowReference(out + i, s + i, o + i, static_cast<int32_t>((n - i) / 2), value);
        else
            ARGB8888Kernels::Detail::FadeRowReference(out + i, s + i, o + i, static_cast<int32_t>((n - i) / 2), value);
    }
}

// Halving each byte first keeps the sum of two bytes within a byte, so whole pixels add without
// carries between lanes; a plain loop the compiler vectorises.
inline void HalfRow(uint32_t* dst, const uint32_t* src, int32_t pairs) {
    const int64_t n = static_cast<int64_t>(pairs) * 2;
    for (int64_t i = 0; i < n; ++i)
        dst[i] = ((src[i] >> 1) & 0x7F7F7F7Fu) + ((dst[i] >> 1) & 0x7F7F7F7Fu);
}

template <class O, size_t... I>
constexpr ARGB8888Kernels::Detail::TTable MakeTable(std::index_sequence<I...>) {
    return ARGB8888Kernels::Detail::TTable{
        {&BlendRow<O, static_cast<TBlendKernel>(I / 8), static_cast<TColorFilter>(I / 2 % 4), I % 2 != 0>...},
        &MixRow<O, true>,
        &MixRow<O, false>,
        &HalfRow};
}

}  // namespace ARGB8888KernelsSimd
