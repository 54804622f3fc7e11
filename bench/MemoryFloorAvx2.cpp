// The memory floor with byte shuffles on 256-bit vectors: sixteen pixels'
// Y per step. Compiled with -mavx2, run only where the processor has it.
#include <cstring>

#include "bench/MemoryFloor.h"
#include "filter/Avx2KernelHelpers.h"

namespace {

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
            const __m256i Y = ExtractY16(P, PixelMasks);
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
            // Each piece is loaded once, for the Y and for the merge.
            const __m256i A = LoadTwo(P, P + 48), B = LoadTwo(P + 16, P + 64), C = LoadTwo(P + 32, P + 80);
            const __m256i Y = _mm256_max_epi16(
                _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(A, Mask(PixelMasks, 0)),
                                                _mm256_shuffle_epi8(B, Mask(PixelMasks, 1))),
                                _mm256_shuffle_epi8(C, Mask(PixelMasks, 2))),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Src + 2 * x)));
            StoreTwo(P, P + 48, _mm256_blend_epi16(A, _mm256_shuffle_epi8(Y, Mask(PixelMasks, 3)), 0x49));
            StoreTwo(P + 16, P + 64, _mm256_blend_epi16(B, _mm256_shuffle_epi8(Y, Mask(PixelMasks, 4)), 0x92));
            StoreTwo(P + 32, P + 80, _mm256_blend_epi16(C, _mm256_shuffle_epi8(Y, Mask(PixelMasks, 5)), 0x24));
        }
        for (; x < FirstColumn + Columns; ++x) {
            std::int16_t A, B;
            std::memcpy(&A, Row + 6 * x, 2);
            std::memcpy(&B, Src + 2 * x, 2);
            std::memcpy(Row + 6 * x, A > B ? &A : &B, 2);
        }
    }
}
