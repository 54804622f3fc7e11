// The memory floor on 512-bit vectors (AVX-512BW): thirty-two pixels' Y
// per step, picked out of and put back into the 192 bytes with word
// permutes. Compiled with -mavx512bw, run only where the processor has it.
#include <immintrin.h>

#include <cstring>

#include "bench/MemoryFloor.h"

namespace {

// Y of pixel i is word 3i of the 96 words Z0, Z1, Z2 hold. Built at
// compile time: a constructor run at load would run on every processor,
// and code compiled here may use AVX-512.
struct Indices {
    alignas(64) std::int16_t FromFirstTwo[32] = {};  // pixels 0..21 out of (Z0, Z1)
    alignas(64) std::int16_t FromLast[32] = {};      // pixels 22..31 out of (Z1, Z2): Z2 is the second source
    alignas(64) std::int16_t Into[3][32] = {};       // word w of Zk takes pixel (32k + w) / 3 where 3 divides it
    constexpr Indices() {
        for (int i = 0; i < 32; ++i) {
            FromFirstTwo[i] = static_cast<std::int16_t>(i < 22 ? 3 * i : 0);
            FromLast[i] = static_cast<std::int16_t>(i >= 22 ? 32 + 3 * i - 64 : 0);
        }
        for (int k = 0; k < 3; ++k)
            for (int w = 0; w < 32; ++w)
                Into[k][w] = static_cast<std::int16_t>((32 * k + w) % 3 == 0 ? (32 * k + w) / 3 : 0);
    }
};
constexpr Indices Index{};

__mmask32 YWords(int k) {
    __mmask32 M = 0;
    for (int w = 0; w < 32; ++w)
        if ((32 * k + w) % 3 == 0) M |= __mmask32{1} << w;
    return M;
}

inline __m512i Load(const void* P) { return _mm512_load_si512(P); }

inline __m512i ExtractY32(__m512i Z0, __m512i Z1, __m512i Z2) {
    const __m512i Low = _mm512_permutex2var_epi16(Z0, Load(Index.FromFirstTwo), Z1);
    // Lanes 22..31: words 66..93, in Z2 (b) - index 32 + (3i - 64).
    return _mm512_mask_permutex2var_epi16(Low, 0xFFC00000u, Load(Index.FromLast), Z2);
}

}  // namespace

void FloorGatherAvx512(std::int16_t* Plane, std::int32_t PlanePitch, const void* Frame, std::int32_t Width,
                       std::int32_t FirstRow, std::int32_t Rows, std::int32_t SrcPitch) {
    for (std::int32_t y = FirstRow; y < FirstRow + Rows; ++y) {
        const unsigned char* Src = static_cast<const unsigned char*>(Frame) + std::ptrdiff_t{y} * SrcPitch;
        unsigned char* Dst = reinterpret_cast<unsigned char*>(Plane) + std::ptrdiff_t{y} * PlanePitch;
        std::int32_t x = 0;
        for (; x + 32 <= Width; x += 32) {
            const unsigned char* P = Src + 6 * x;
            _mm512_storeu_si512(Dst + 2 * x,
                                ExtractY32(_mm512_loadu_si512(P), _mm512_loadu_si512(P + 64), _mm512_loadu_si512(P + 128)));
        }
        for (; x < Width; ++x) std::memcpy(Dst + 2 * x, Src + 6 * x, 2);
    }
}

void FloorUpdateAvx512(void* Frame, std::int32_t Height, std::int32_t SrcPitch, const std::int16_t* Plane,
                       std::int32_t PlanePitch, std::int32_t FirstColumn, std::int32_t Columns) {
    const __mmask32 M0 = YWords(0), M1 = YWords(1), M2 = YWords(2);
    for (std::int32_t y = 0; y < Height; ++y) {
        unsigned char* Row = static_cast<unsigned char*>(Frame) + std::ptrdiff_t{y} * SrcPitch;
        const unsigned char* Src = reinterpret_cast<const unsigned char*>(Plane) + std::ptrdiff_t{y} * PlanePitch;
        std::int32_t x = FirstColumn;
        for (; x + 32 <= FirstColumn + Columns; x += 32) {
            unsigned char* P = Row + 6 * x;
            const __m512i Z0 = _mm512_loadu_si512(P), Z1 = _mm512_loadu_si512(P + 64), Z2 = _mm512_loadu_si512(P + 128);
            const __m512i Y = _mm512_max_epi16(ExtractY32(Z0, Z1, Z2), _mm512_loadu_si512(Src + 2 * x));
            _mm512_storeu_si512(P, _mm512_mask_permutexvar_epi16(Z0, M0, Load(Index.Into[0]), Y));
            _mm512_storeu_si512(P + 64, _mm512_mask_permutexvar_epi16(Z1, M1, Load(Index.Into[1]), Y));
            _mm512_storeu_si512(P + 128, _mm512_mask_permutexvar_epi16(Z2, M2, Load(Index.Into[2]), Y));
        }
        for (; x < FirstColumn + Columns; ++x) {
            std::int16_t A, B;
            std::memcpy(&A, Row + 6 * x, 2);
            std::memcpy(&B, Src + 2 * x, 2);
            std::memcpy(Row + 6 * x, A > B ? &A : &B, 2);
        }
    }
}
