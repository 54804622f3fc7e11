#include <emmintrin.h>
#include <xmmintrin.h>

#include <array>
#include <cstring>
#include <utility>

#include "filter/FilterParam.h"
#include "filter/Kernels.h"
#include "filter/Sse2KernelHelpers.h"
#include "filter/Vectors.h"

namespace {

// Rows whose list fits here get their coefficient pairs broadcast once per
// row instead of once per group (every list of the track bars' range does).
constexpr std::int32_t CachedPairs = 16;

// A stripe reads its part of every row: short runs the hardware prefetcher
// picks up late once the frame has left the caches. Ask for the same
// columns a few rows down while this row is computed.
constexpr std::int32_t PrefetchRows = 4;

// Eight columns of one output row: the pairs' multiply-adds over the lines,
// rounded, shifted by 14 and saturated to 16 bits.
inline __m128i BlurColumns(const unsigned char* Work, const __m128i* Coefficients,
                           std::int32_t Pairs, std::ptrdiff_t Line, __m128i Round) {
    __m128i Acc0 = _mm_setzero_si128();
    __m128i Acc1 = _mm_setzero_si128();
    for (std::int32_t k = 0; k < Pairs; ++k, Work += Line) {
        const __m128i C = Coefficients[k];
        Acc0 = _mm_add_epi32(Acc0, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Work)), C));
        Acc1 = _mm_add_epi32(Acc1, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Work + 16)), C));
    }
    Acc0 = _mm_srai_epi32(_mm_add_epi32(Acc0, Round), 14);
    Acc1 = _mm_srai_epi32(_mm_add_epi32(Acc1, Round), 14);
    return _mm_packs_epi32(Acc0, Acc1);
}

inline __m128i BlurColumnsUncached(const unsigned char* Work, const std::int16_t* List,
                                   std::int32_t Pairs, std::ptrdiff_t Line, __m128i Round) {
    __m128i Acc0 = _mm_setzero_si128();
    __m128i Acc1 = _mm_setzero_si128();
    for (std::int32_t k = 0; k < Pairs; ++k, Work += Line) {
        std::int32_t Pair;
        std::memcpy(&Pair, List + 2 * k, 4);
        const __m128i C = _mm_set1_epi32(Pair);
        Acc0 = _mm_add_epi32(Acc0, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Work)), C));
        Acc1 = _mm_add_epi32(Acc1, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Work + 16)), C));
    }
    Acc0 = _mm_srai_epi32(_mm_add_epi32(Acc0, Round), 14);
    Acc1 = _mm_srai_epi32(_mm_add_epi32(Acc1, Round), 14);
    return _mm_packs_epi32(Acc0, Acc1);
}

// Soft threshold and the two amounts, on eight signed 16-bit lanes.
inline __m128i Sharpen(__m128i B, __m128i Y, __m128i Threshold, __m128i Amount) {
    const __m128i D = _mm_sub_epi16(B, Y);              // wraps
    const __m128i S = _mm_srai_epi16(D, 15);            // -1 where the pixel brightens
    const __m128i M = _mm_xor_si128(D, S);              // ones' complement, 0..32767
    const __m128i U = _mm_subs_epu16(Threshold, M);
    const __m128i Soft = _mm_subs_epu16(M, U);
    const __m128i E = _mm_xor_si128(Soft, S);
    const __m128i P = _mm_andnot_si128(S, E);
    const __m128i N = _mm_and_si128(S, E);
    // (P, N) pairs against (-AmountMinus, -AmountPlus): one product is 0.
    const __m128i V0 = _mm_madd_epi16(_mm_unpacklo_epi16(P, N), Amount);
    const __m128i V1 = _mm_madd_epi16(_mm_unpackhi_epi16(P, N), Amount);
    const __m128i R = _mm_packs_epi32(_mm_srai_epi32(V0, 12), _mm_srai_epi32(V1, 12));
    return _mm_add_epi16(Y, R);  // wraps
}

// The three constant vectors, loaded once per call.
struct SharpenVectors {
    __m128i Round;
    __m128i Threshold;
    __m128i Amount;
};

// Reads eight pixels, sharpens their Y against the blurred B and writes them
// back. The group's 48 bytes lie inside the row and inside this thread's
// stripe: Cb and Cr go back exactly as they were read.
inline void SharpenGroup(unsigned char* Pixel, __m128i Blurred, const SharpenVectors& V) {
    __m128i A, B, C;
    LoadPixels8(Pixel, A, B, C);
    MergeY(A, B, C, Sharpen(Blurred, ExtractY(A, B, C), V.Threshold, V.Amount));
    StorePixels8(Pixel, A, B, C);
}

// One row's whole groups with the pair count fixed at compile time, so the
// pair loop unrolls and the coefficients stay in registers.
template <int N>
void SharpenRowGroups(unsigned char* Row, const unsigned char* Base, const void* Coefficients,
                      std::int32_t Groups, std::ptrdiff_t Line, const SharpenVectors& V,
                      std::ptrdiff_t Ahead) {
    __m128i C[N];
    for (int k = 0; k < N; ++k) C[k] = static_cast<const __m128i*>(Coefficients)[k];
    for (std::int32_t g = 0; g < Groups; ++g, Row += 48, Base += 32) {
        if (Ahead != 0) _mm_prefetch(reinterpret_cast<const char*>(Row + Ahead), _MM_HINT_T0);
        SharpenGroup(Row, BlurColumns(Base, C, N, Line, V.Round), V);
    }
}

using RowGroupsFn = void (*)(unsigned char*, const unsigned char*, const void*, std::int32_t, std::ptrdiff_t,
                             const SharpenVectors&, std::ptrdiff_t);

template <int... N>
constexpr std::array<RowGroupsFn, sizeof...(N) + 1> MakeRowGroups(std::integer_sequence<int, N...>) {
    return {nullptr, &SharpenRowGroups<N + 1>...};
}
constexpr auto RowGroups = MakeRowGroups(std::make_integer_sequence<int, CachedPairs>{});

}  // namespace

void VerticalKernelSse2(void* Frame, const void* Work, const std::intptr_t* Entries,
                    std::int32_t GroupCount, std::int32_t RowCount, std::int32_t SrcPitch,
                    std::int32_t WorkPitch, std::int32_t LastGroupColumns, const SharpenLanes* Lanes) {
    SharpenVectors V;
    V.Round = _mm_loadu_si128(reinterpret_cast<const __m128i*>(RoundVector));
    V.Threshold = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Threshold));
    V.Amount = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Amount));
    const unsigned char* Plane = static_cast<const unsigned char*>(Work);
    unsigned char* Row = static_cast<unsigned char*>(Frame);
    const std::ptrdiff_t Line = std::ptrdiff_t{WorkPitch} * 2;
    const std::int32_t FullGroups = LastGroupColumns >= 8 ? GroupCount : GroupCount - 1;
    __m128i Coefficients[CachedPairs];

    for (std::int32_t r = 0; r < RowCount; ++r, Row += SrcPitch, Entries += 2) {
        const unsigned char* Base = Plane + Entries[0];
        const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entries[1]);
        const std::int32_t Pairs = PairCount(List);
        const bool Cached = Pairs <= CachedPairs;
        if (Cached) {
            for (std::int32_t k = 0; k < Pairs; ++k) {
                std::int32_t Pair;
                std::memcpy(&Pair, List + 2 * k, 4);
                Coefficients[k] = _mm_set1_epi32(Pair);
            }
            const std::ptrdiff_t Ahead = r + PrefetchRows < RowCount ? std::ptrdiff_t{SrcPitch} * PrefetchRows : 0;
            RowGroups[Pairs](Row, Base, Coefficients, FullGroups, Line, V, Ahead);
        } else {
            for (std::int32_t g = 0; g < FullGroups; ++g)
                SharpenGroup(Row + std::ptrdiff_t{g} * 48,
                             BlurColumnsUncached(Base + std::ptrdiff_t{g} * 32, List, Pairs, Line, V.Round), V);
        }
        if (FullGroups < GroupCount) {
            // The frame's last group: only its real columns are read and written.
            const unsigned char* At = Base + std::ptrdiff_t{FullGroups} * 32;
            const __m128i Blurred = Cached ? BlurColumns(At, Coefficients, Pairs, Line, V.Round)
                                           : BlurColumnsUncached(At, List, Pairs, Line, V.Round);
            unsigned char* Pixel = Row + std::ptrdiff_t{FullGroups} * 48;
            alignas(16) std::int16_t Y[8] = {};
            for (std::int32_t i = 0; i < LastGroupColumns; ++i) Y[i] = LoadY(Pixel + 6 * i);
            const __m128i Result =
                Sharpen(Blurred, _mm_load_si128(reinterpret_cast<const __m128i*>(Y)), V.Threshold, V.Amount);
            _mm_store_si128(reinterpret_cast<__m128i*>(Y), Result);
            for (std::int32_t i = 0; i < LastGroupColumns; ++i) StoreY(Pixel + 6 * i, Y[i]);
        }
    }
}
