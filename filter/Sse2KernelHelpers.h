// Helpers the SSE2 kernel files share; include from SSE2 translation units
// only. Moving the Y values of eight pixels between a frame row and one
// vector: eight 6-byte pixels are exactly three 16-byte vectors A, B, C; the
// Y of pixel i is 16-bit word 3i of them. SSE2 has no byte shuffle, so the Y
// words are picked with multiply-adds against 0/1 selectors and merged back
// with masks: a whole-vector load and store instead of eight scalar ones.
#pragma once

#include <emmintrin.h>

#include "filter/KernelHelpers.h"

namespace {

// Selectors: each 32-bit lane of a multiply-add keeps one word or none.
// A: words 0, 3, 6 -> lanes 0, 1, 3.  B: words 9, 12, 15 -> lanes 0, 2, 3.
// C: words 18, 21 -> lanes 1, 2.
inline __m128i PixelYSelectA() { return _mm_setr_epi16(1, 0, 0, 1, 0, 0, 1, 0); }
inline __m128i PixelYSelectB() { return _mm_setr_epi16(0, 1, 0, 0, 1, 0, 0, 1); }
inline __m128i PixelYSelectC() { return _mm_setr_epi16(0, 0, 1, 0, 0, 1, 0, 0); }

// The eight Y values in pixel order.
inline __m128i ExtractY(__m128i A, __m128i B, __m128i C) {
    const __m128i YA = _mm_madd_epi16(A, PixelYSelectA());  // Y0 Y1 0 Y2
    const __m128i YB = _mm_madd_epi16(B, PixelYSelectB());  // Y3 0 Y4 Y5
    const __m128i YC = _mm_madd_epi16(C, PixelYSelectC());  // 0 Y6 Y7 0
    const __m128i Low = _mm_or_si128(_mm_shuffle_epi32(YA, _MM_SHUFFLE(2, 3, 1, 0)), _mm_slli_si128(YB, 12));
    const __m128i High = _mm_or_si128(_mm_srli_si128(YB, 8), _mm_slli_si128(YC, 4));
    return _mm_packs_epi32(Low, High);  // every lane is a sign-extended 16-bit value: exact
}

// Replaces the Y words of A, B, C with the eight values of Y, keeping Cb and Cr.
inline void MergeY(__m128i& A, __m128i& B, __m128i& C, __m128i Y) {
    // Duplicating 32-bit lanes puts Y0..Y2 at words 0, 3, 6, Y3..Y5 at
    // words 1, 4, 7 and Y6, Y7 at words 2, 5.
    const __m128i MaskA = _mm_setr_epi16(-1, 0, 0, -1, 0, 0, -1, 0);
    const __m128i MaskB = _mm_setr_epi16(0, -1, 0, 0, -1, 0, 0, -1);
    const __m128i MaskC = _mm_setr_epi16(0, 0, -1, 0, 0, -1, 0, 0);
    A = _mm_or_si128(_mm_andnot_si128(MaskA, A), _mm_and_si128(MaskA, _mm_shuffle_epi32(Y, _MM_SHUFFLE(1, 1, 0, 0))));
    B = _mm_or_si128(_mm_andnot_si128(MaskB, B), _mm_and_si128(MaskB, _mm_shuffle_epi32(Y, _MM_SHUFFLE(2, 2, 1, 1))));
    C = _mm_or_si128(_mm_andnot_si128(MaskC, C), _mm_and_si128(MaskC, _mm_shuffle_epi32(Y, _MM_SHUFFLE(3, 3, 3, 3))));
}

inline void LoadPixels8(const unsigned char* P, __m128i& A, __m128i& B, __m128i& C) {
    A = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    B = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16));
    C = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 32));
}

inline void StorePixels8(unsigned char* P, __m128i A, __m128i B, __m128i C) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(P), A);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(P + 16), B);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(P + 32), C);
}

}  // namespace
