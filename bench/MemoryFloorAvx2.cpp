// The memory floor with byte shuffles on 256-bit vectors: sixteen pixels'
// Y per step. Compiled with -mavx2, run only where the processor has it.
#include <immintrin.h>

#include <cstring>

#include "bench/MemoryFloor.h"

namespace {

#define VELGARDE_TWICE(...) __VA_ARGS__, __VA_ARGS__
// Y of pixel i is word 3i of eight 6-byte pixels: out of pieces A, B, C
// (16 bytes each), then back into them.
alignas(32) const std::int8_t Masks[6][32] = {
    {VELGARDE_TWICE(0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)},
    {VELGARDE_TWICE(-1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1)},
    {VELGARDE_TWICE(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11)},
    {VELGARDE_TWICE(0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1, 4, 5, -1, -1)},
    {VELGARDE_TWICE(-1, -1, 6, 7, -1, -1, -1, -1, 8, 9, -1, -1, -1, -1, 10, 11)},
    {VELGARDE_TWICE(-1, -1, -1, -1, 12, 13, -1, -1, -1, -1, 14, 15, -1, -1, -1, -1)},
};
#undef VELGARDE_TWICE

inline __m256i Mask(int i) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(Masks[i])); }

inline __m256i LoadTwo(const unsigned char* P) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 48)), 1);
}

inline void StoreTwo(unsigned char* P, __m256i V) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(P), _mm256_castsi256_si128(V));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(P + 48), _mm256_extracti128_si256(V, 1));
}

inline __m256i ExtractY16(__m256i A, __m256i B, __m256i C) {
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(A, Mask(0)), _mm256_shuffle_epi8(B, Mask(1))),
                           _mm256_shuffle_epi8(C, Mask(2)));
}

void CopyY(unsigned char* Dst, const unsigned char* Src) { std::memcpy(Dst, Src, 2); }

}  // namespace

void FloorGatherAvx2(std::int16_t* Plane, std::int32_t PlanePitch, const void* Frame, std::int32_t Width,
                     std::int32_t FirstRow, std::int32_t Rows, std::int32_t SrcPitch) {
    for (std::int32_t y = FirstRow; y < FirstRow + Rows; ++y) {
        const unsigned char* Src = static_cast<const unsigned char*>(Frame) + std::ptrdiff_t{y} * SrcPitch;
        unsigned char* Dst = reinterpret_cast<unsigned char*>(Plane) + std::ptrdiff_t{y} * PlanePitch;
        std::int32_t x = 0;
        for (; x + 16 <= Width; x += 16) {
            const unsigned char* P = Src + 6 * x;
            const __m256i Y = ExtractY16(LoadTwo(P), LoadTwo(P + 16), LoadTwo(P + 32));
            // (0..7 | 8..15): the halves are already in pixel order.
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + 2 * x), Y);
        }
        for (; x < Width; ++x) CopyY(Dst + 2 * x, Src + 6 * x);
    }
}

void FloorUpdateAvx2(void* Frame, std::int32_t Height, std::int32_t SrcPitch, const std::int16_t* Plane,
                     std::int32_t PlanePitch, std::int32_t FirstColumn, std::int32_t Columns) {
    for (std::int32_t y = 0; y < Height; ++y) {
        unsigned char* Row = static_cast<unsigned char*>(Frame) + std::ptrdiff_t{y} * SrcPitch;
        const unsigned char* Src = reinterpret_cast<const unsigned char*>(Plane) + std::ptrdiff_t{y} * PlanePitch;
        std::int32_t x = FirstColumn;
        for (; x + 16 <= FirstColumn + Columns; x += 16) {
            unsigned char* P = Row + 6 * x;
            const __m256i A = LoadTwo(P), B = LoadTwo(P + 16), C = LoadTwo(P + 32);
            const __m256i Y = _mm256_max_epi16(ExtractY16(A, B, C),
                                               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Src + 2 * x)));
            StoreTwo(P, _mm256_blend_epi16(A, _mm256_shuffle_epi8(Y, Mask(3)), 0x49));
            StoreTwo(P + 16, _mm256_blend_epi16(B, _mm256_shuffle_epi8(Y, Mask(4)), 0x92));
            StoreTwo(P + 32, _mm256_blend_epi16(C, _mm256_shuffle_epi8(Y, Mask(5)), 0x24));
        }
        for (; x < FirstColumn + Columns; ++x) {
            std::int16_t A, B;
            std::memcpy(&A, Row + 6 * x, 2);
            std::memcpy(&B, Src + 2 * x, 2);
            std::memcpy(Row + 6 * x, A > B ? &A : &B, 2);
        }
    }
}
