// Helpers the AVX2 kernel files share; include from AVX2 translation units
// only (filter/KernelHelpers.h says why everything stays in an anonymous
// namespace).
//
// i686 has eight vector registers and the Windows targets may not realign
// the stack for 32-byte spills: the helpers read their masks from memory
// where they are used, and callers keep few 256-bit values live.
#pragma once

#include <immintrin.h>

#include "filter/KernelHelpers.h"

namespace {

// Byte shuffles between three 16-byte pieces of eight 6-byte pixels and
// their eight Y words (Y of pixel i is word 3i of the 48 bytes), the same
// for both halves of a 256-bit vector.
alignas(32) const std::int8_t PixelMasks[6][32] = {
#define VELGARDE_TWICE(...) __VA_ARGS__, __VA_ARGS__
    // Y out of piece A (pixels 0..2), B (3..5), C (6, 7).
    {VELGARDE_TWICE(0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)},
    {VELGARDE_TWICE(-1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1)},
    {VELGARDE_TWICE(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11)},
    // Y back into A (words 0, 3, 6), B (words 1, 4, 7), C (words 2, 5).
    {VELGARDE_TWICE(0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1, 4, 5, -1, -1)},
    {VELGARDE_TWICE(-1, -1, 6, 7, -1, -1, -1, -1, 8, 9, -1, -1, -1, -1, 10, 11)},
    {VELGARDE_TWICE(-1, -1, -1, -1, 12, 13, -1, -1, -1, -1, 14, 15, -1, -1, -1, -1)},
#undef VELGARDE_TWICE
};
using PixelMaskTable = const std::int8_t (*)[32];

inline __m256i Mask(PixelMaskTable Masks, int i) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(Masks[i]));
}

inline __m256i LoadTwo(const unsigned char* Low, const unsigned char* High) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(High)), 1);
}

inline void StoreTwo(unsigned char* Low, unsigned char* High, __m256i V) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Low), _mm256_castsi256_si128(V));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(High), _mm256_extracti128_si256(V, 1));
}

// The Y of pixels 0..7 (low half) and 8..15 (high half) at P: piece k of
// each half is 16k bytes into it, the halves 48 bytes apart.
inline __m256i ExtractY16(const unsigned char* P, PixelMaskTable Masks) {
    const __m256i A = _mm256_shuffle_epi8(LoadTwo(P, P + 48), Mask(Masks, 0));
    const __m256i B = _mm256_shuffle_epi8(LoadTwo(P + 16, P + 64), Mask(Masks, 1));
    const __m256i C = _mm256_shuffle_epi8(LoadTwo(P + 32, P + 80), Mask(Masks, 2));
    return _mm256_or_si256(_mm256_or_si256(A, B), C);
}

// Writes the sixteen Y of Y back at P, every Cb and Cr as read.
inline void MergeY16(unsigned char* P, __m256i Y, PixelMaskTable Masks) {
    StoreTwo(P, P + 48, _mm256_blend_epi16(LoadTwo(P, P + 48), _mm256_shuffle_epi8(Y, Mask(Masks, 3)), 0x49));
    StoreTwo(P + 16, P + 64,
             _mm256_blend_epi16(LoadTwo(P + 16, P + 64), _mm256_shuffle_epi8(Y, Mask(Masks, 4)), 0x92));
    StoreTwo(P + 32, P + 80,
             _mm256_blend_epi16(LoadTwo(P + 32, P + 80), _mm256_shuffle_epi8(Y, Mask(Masks, 5)), 0x24));
}

// The same for one group of eight pixels.
inline __m128i ExtractY8(const unsigned char* P, PixelMaskTable Masks) {
    auto Piece = [&](int k) {
        return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * k)),
                                _mm256_castsi256_si128(Mask(Masks, k)));
    };
    return _mm_or_si128(_mm_or_si128(Piece(0), Piece(1)), Piece(2));
}

inline void MergeY8(unsigned char* P, __m128i Y, PixelMaskTable Masks) {
    __m128i* A = reinterpret_cast<__m128i*>(P);
    auto Moved = [&](int k) { return _mm_shuffle_epi8(Y, _mm256_castsi256_si128(Mask(Masks, 3 + k))); };
    _mm_storeu_si128(A, _mm_blend_epi16(_mm_loadu_si128(A), Moved(0), 0x49));
    _mm_storeu_si128(A + 1, _mm_blend_epi16(_mm_loadu_si128(A + 1), Moved(1), 0x92));
    _mm_storeu_si128(A + 2, _mm_blend_epi16(_mm_loadu_si128(A + 2), Moved(2), 0x24));
}

// Pair k of a list broadcast to every 32-bit lane.
inline __m128i Pair128(const std::int16_t* List, std::int32_t k) { return _mm_set1_epi32(PairWord(List, k)); }
inline __m256i Pair256(const std::int16_t* List, std::int32_t k) { return _mm256_set1_epi32(PairWord(List, k)); }

// Sums start from the rounding term, half of the 14-bit unit: added first
// or last, the wrapped 32-bit sum is the same.
inline __m256i RoundingTerm() { return _mm256_set1_epi32(8192); }

}  // namespace
