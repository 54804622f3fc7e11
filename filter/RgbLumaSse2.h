// SSE2 pieces of the RGBA luma arithmetic (filter/RgbLuma.h), shared by the
// conversions and the SSE2 format kernels. Include from SSE2 translation
// units only: an AVX2 file has its own copies (an inline function compiled
// with VEX code could be picked by the linker for every caller), hence the
// anonymous namespace.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "filter/RgbLuma.h"

namespace {

inline __m128i LoadRgba(const std::uint8_t* P) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P)); }

// Multiply-add weights of four pixels: R, G, B for RGBA, reversed for BGRA.
inline __m128i RgbaLumaWeights() { return _mm_setr_epi16(299, 587, 114, 0, 299, 587, 114, 0); }
inline __m128i BgraLumaWeights() { return _mm_setr_epi16(114, 587, 299, 0, 114, 587, 299, 0); }

// Luma of four pixels in 32-bit lanes: round(W x 4096 / 255000) with
// W = 299 R + 587 G + 114 B <= 255000, as floor((W x 1024 + 31875) / 63750).
// The float quotient is at most one off (numerators < 2^28, quotient <= 4096);
// the remainder test corrects it, so the result is the exact integer one.
inline __m128i LumaOf(__m128i Pixels, __m128i Weights) {
    const __m128i Zero = _mm_setzero_si128();
    const __m128i Lo = _mm_madd_epi16(_mm_unpacklo_epi8(Pixels, Zero), Weights);  // RG0 B0 RG1 B1
    const __m128i Hi = _mm_madd_epi16(_mm_unpackhi_epi8(Pixels, Zero), Weights);  // RG2 B2 RG3 B3
    const __m128 L = _mm_castsi128_ps(Lo);
    const __m128 H = _mm_castsi128_ps(Hi);
    const __m128i W = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(L, H, _MM_SHUFFLE(2, 0, 2, 0))),
                                    _mm_castps_si128(_mm_shuffle_ps(L, H, _MM_SHUFFLE(3, 1, 3, 1))));
    const __m128i N = _mm_add_epi32(_mm_slli_epi32(W, 10), _mm_set1_epi32(31875));
    __m128i Q = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(N), _mm_set1_ps(1.0f / 63750.0f)));
    // Q * 63750 as (Q * 31875) * 2: Q < 2^15 and the lane's high half is 0.
    const __m128i Product = _mm_slli_epi32(_mm_madd_epi16(Q, _mm_set1_epi32(31875)), 1);
    const __m128i Remainder = _mm_sub_epi32(N, Product);
    Q = _mm_add_epi32(Q, _mm_cmplt_epi32(Remainder, Zero));                      // -1 if too big
    return _mm_sub_epi32(Q, _mm_cmpgt_epi32(Remainder, _mm_set1_epi32(63749)));  // +1 if too small
}

// Adds the codes in words 0..3 (|code| <= 4080) to R, G and B of the four
// pixels, clipped by the unsigned pack; alpha gets 0.
inline __m128i AddWordCodes(__m128i Pixels, __m128i Words) {
    const __m128i Zero = _mm_setzero_si128();
    const __m128i Pairs = _mm_unpacklo_epi16(Words, Words);  // c0 c0 c1 c1 c2 c2 c3 c3
    const __m128i NoAlpha = _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0);
    const __m128i Lo = _mm_and_si128(_mm_unpacklo_epi32(Pairs, Pairs), NoAlpha);
    const __m128i Hi = _mm_and_si128(_mm_unpackhi_epi32(Pairs, Pairs), NoAlpha);
    return _mm_packus_epi16(_mm_add_epi16(_mm_unpacklo_epi8(Pixels, Zero), Lo),
                            _mm_add_epi16(_mm_unpackhi_epi8(Pixels, Zero), Hi));
}

}  // namespace
