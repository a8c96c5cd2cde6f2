#include "foundation/Scramblers.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/LittleEndian.h"

namespace uMisc {

// ---- string and buffer scramblers ----

std::string XorScrambleString(std::string_view text, uint32_t key) {
    // The key is folded in on all 32 bits before the mask; only the low byte of the position counts.
    const uint32_t k = (static_cast<uint32_t>(text.size()) + (key ^ 0xA7u)) & 0xFFu;
    std::string r(text);
    for (size_t n = 0; n < r.size(); ++n) {
        const uint32_t i = static_cast<uint32_t>(n + 1) & 0xFFu;
        const uint32_t m = ((i ^ k) + i) & 0xFFu;
        r[n] = static_cast<char>(static_cast<uint8_t>(r[n]) ^ m);
    }
    return r;
}

std::string ScrambleString(std::string_view text, bool, uint32_t key) {
    return XorScrambleString(text, key);
}

namespace {

constexpr uint32_t kScrambleLaneStart = 0x6E2B91D4u;
constexpr uint32_t kScrambleLaneStep = 0x3F8A0C67u;
constexpr uint32_t kScrambleSeedMask = 0x8B54E21Au;

using LittleEndian::Get32;
using LittleEndian::Put32;
}  // namespace

namespace {

// The scrambler's state between words: the two key lanes and the two halves of the last plain
// word.
struct TScrambleLanes {
    uint32_t L0, L1, F0, F1;
};

#if defined(__SSE2__)
// Each word's key is (the last key + a constant) xor the last plain word, a chain of one add and
// one xor per word that nothing can shorten. Both lanes go through one vector register (the low
// two of its four lanes), eight words a round: the loads, stores and shuffles run beside the
// chain. When unscrambling, the plain word that feeds the next key is the key xor the stored word,
// computed beside the next add.
template <bool Decode>
size_t ScrambleRounds(uint8_t* p, size_t words, TScrambleLanes& s) {
    const __m128i step = _mm_set1_epi32(static_cast<int>(kScrambleLaneStep));
    __m128i l = _mm_setr_epi32(static_cast<int>(s.L0), static_cast<int>(s.L1), 0, 0);
    __m128i f = _mm_setr_epi32(static_cast<int>(s.F0), static_cast<int>(s.F1), 0, 0);
    constexpr size_t kRound = 8;
    size_t k = 0;
    for (; k + kRound <= words; k += kRound, p += kRound * 8) {
        __m128i out[kRound];  // the other form of each word, in the low half
        for (size_t h = 0; h < kRound / 2; ++h) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * h));
            const __m128i w1 = _mm_srli_si128(w, 8);
            const __m128i l0 = _mm_xor_si128(_mm_add_epi32(l, step), f);
            out[2 * h] = _mm_xor_si128(l0, w);
            f = Decode ? out[2 * h] : w;
            l = _mm_xor_si128(_mm_add_epi32(l0, step), f);
            out[2 * h + 1] = _mm_xor_si128(l, w1);
            f = Decode ? out[2 * h + 1] : w1;
        }
        for (size_t h = 0; h < kRound / 2; ++h)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16 * h), _mm_unpacklo_epi64(out[2 * h], out[2 * h + 1]));
    }
    s.L0 = static_cast<uint32_t>(_mm_cvtsi128_si32(l));
    s.L1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(l, 4)));
    s.F0 = static_cast<uint32_t>(_mm_cvtsi128_si32(f));
    s.F1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(f, 4)));
    return k;
}
#else
template <bool Decode>
size_t ScrambleRounds(uint8_t*, size_t, TScrambleLanes&) {
    return 0;
}
#endif

template <bool Decode>
void ScrambleWords(void* buffer, size_t size, uint32_t key) {
    auto* p = static_cast<uint8_t*>(buffer);
    const size_t words = size / 8;
    const uint32_t seed = (static_cast<uint32_t>(size) + key) ^ kScrambleSeedMask;
    TScrambleLanes s{kScrambleLaneStart, kScrambleLaneStart, seed, seed};
    const size_t done = ScrambleRounds<Decode>(p, words, s);
    p += done * 8;
    for (size_t k = done; k < words; ++k, p += 8) {
        s.L0 = (s.L0 + kScrambleLaneStep) ^ s.F0;
        s.L1 = (s.L1 + kScrambleLaneStep) ^ s.F1;
        const uint32_t w0 = Get32(p), w1 = Get32(p + 4);
        const uint32_t x0 = w0 ^ s.L0, x1 = w1 ^ s.L1;
        Put32(p, x0);
        Put32(p + 4, x1);
        s.F0 = Decode ? x0 : w0;  // the feedback is the plain word
        s.F1 = Decode ? x1 : w1;
    }
}

}  // namespace

void ScrambleBufferEncode(void* buffer, size_t size, uint32_t key) {
    ScrambleWords<false>(buffer, size, key);
}

void ScrambleBufferDecode(void* buffer, size_t size, uint32_t key) {
    ScrambleWords<true>(buffer, size, key);
}

void ScrambleBuffer(void* buffer, size_t size, bool decode, uint32_t key) {
    if (!buffer) return;
    if (decode)
        ScrambleBufferDecode(buffer, size, key);
    else
        ScrambleBufferEncode(buffer, size, key);
}

}  // namespace uMisc
