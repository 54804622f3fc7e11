#include "bench/MemoryFloor.h"

#include <emmintrin.h>

#include <cstring>

namespace {

inline int LoadY(const unsigned char* P) {
    std::int16_t Y;
    std::memcpy(&Y, P, 2);
    return Y;
}

inline __m128i GatherY(const unsigned char* P) {
    __m128i Y = _mm_cvtsi32_si128(static_cast<std::uint16_t>(LoadY(P)));
    Y = _mm_insert_epi16(Y, LoadY(P + 6), 1);
    Y = _mm_insert_epi16(Y, LoadY(P + 12), 2);
    Y = _mm_insert_epi16(Y, LoadY(P + 18), 3);
    Y = _mm_insert_epi16(Y, LoadY(P + 24), 4);
    Y = _mm_insert_epi16(Y, LoadY(P + 30), 5);
    Y = _mm_insert_epi16(Y, LoadY(P + 36), 6);
    Y = _mm_insert_epi16(Y, LoadY(P + 42), 7);
    return Y;
}

inline void Store(unsigned char* P, int V) {
    const std::int16_t Y = static_cast<std::int16_t>(V);
    std::memcpy(P, &Y, 2);
}

}  // namespace

void FloorGather(std::int16_t* Plane, std::int32_t PlanePitch, const void* Frame, std::int32_t Width,
                 std::int32_t FirstRow, std::int32_t Rows, std::int32_t SrcPitch) {
    for (std::int32_t y = FirstRow; y < FirstRow + Rows; ++y) {
        const unsigned char* Src = static_cast<const unsigned char*>(Frame) + std::ptrdiff_t{y} * SrcPitch;
        unsigned char* Dst = reinterpret_cast<unsigned char*>(Plane) + std::ptrdiff_t{y} * PlanePitch;
        std::int32_t x = 0;
        for (; x + 8 <= Width; x += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + 2 * x), GatherY(Src + 6 * x));
        for (; x < Width; ++x) std::memcpy(Dst + 2 * x, Src + 6 * x, 2);
    }
}

void FloorUpdate(void* Frame, std::int32_t Height, std::int32_t SrcPitch, const std::int16_t* Plane,
                 std::int32_t PlanePitch, std::int32_t FirstColumn, std::int32_t Columns) {
    for (std::int32_t y = 0; y < Height; ++y) {
        unsigned char* Row = static_cast<unsigned char*>(Frame) + std::ptrdiff_t{y} * SrcPitch;
        const unsigned char* Src = reinterpret_cast<const unsigned char*>(Plane) + std::ptrdiff_t{y} * PlanePitch;
        std::int32_t x = FirstColumn;
        for (; x + 8 <= FirstColumn + Columns; x += 8) {
            unsigned char* P = Row + 6 * x;
            const __m128i V = _mm_max_epi16(GatherY(P), _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + 2 * x)));
            Store(P, _mm_extract_epi16(V, 0));
            Store(P + 6, _mm_extract_epi16(V, 1));
            Store(P + 12, _mm_extract_epi16(V, 2));
            Store(P + 18, _mm_extract_epi16(V, 3));
            Store(P + 24, _mm_extract_epi16(V, 4));
            Store(P + 30, _mm_extract_epi16(V, 5));
            Store(P + 36, _mm_extract_epi16(V, 6));
            Store(P + 42, _mm_extract_epi16(V, 7));
        }
        for (; x < FirstColumn + Columns; ++x) {
            std::int16_t A, B;
            std::memcpy(&A, Row + 6 * x, 2);
            std::memcpy(&B, Src + 2 * x, 2);
            std::memcpy(Row + 6 * x, A > B ? &A : &B, 2);
        }
    }
}
