// The vertical pass in AVX-512 (F, BW, VL): thirty-two columns (four
// 8-column groups) per step, and the stripe's last, shorter step with masked
// loads and stores instead of a scalar loop. Compiled with its own flags and
// run only where CPUID and XGETBV allow; every helper stays in an anonymous
// namespace (filter/KernelHelpers.h says why). i686 has eight vector
// registers: a step keeps at most that many live and reads its constants
// from memory where they are used.
#include <cstdint>
#include <cstring>

#include "filter/Avx512KernelHelpers.h"
#include "filter/Kernels.h"
#include "filter/Vectors.h"

namespace {

constexpr std::int32_t CachedPairs = 16;  // every list of the track bars' range
constexpr std::int32_t PrefetchRows = 4;

// qword k of a two-vector in-lane pack (lane l: 4 columns of the first
// vector, then 4 of the second) -> columns in order.
alignas(64) constexpr std::int64_t PackOrder[8] = {0, 2, 4, 6, 1, 3, 5, 7};

// Soft threshold and the two amounts on 32 signed 16-bit lanes; the SSE2
// kernel's steps, lane for lane.
inline __m512i Sharpen(__m512i B, __m512i Y, const SharpenLanes* Lanes) {
    const __m512i D = _mm512_sub_epi16(B, Y);    // wraps
    const __m512i S = _mm512_srai_epi16(D, 15);  // -1 where the pixel brightens
    const __m512i M = _mm512_xor_si512(D, S);    // ones' complement, 0..32767
    const __m512i Threshold =
        _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Threshold)));
    const __m512i Soft = _mm512_subs_epu16(M, _mm512_subs_epu16(Threshold, M));
    // (Soft ^ S) where D >= 0, else 0; and the other way round.
    const __m512i P = _mm512_andnot_si512(S, Soft);
    const __m512i N = _mm512_andnot_si512(Soft, S);
    // (P, N) pairs against (-AmountMinus, -AmountPlus): one product is 0.
    const __m512i Amount = _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Amount)));
    const __m512i V0 = _mm512_srai_epi32(_mm512_madd_epi16(_mm512_unpacklo_epi16(P, N), Amount), 12);
    const __m512i V1 = _mm512_srai_epi32(_mm512_madd_epi16(_mm512_unpackhi_epi16(P, N), Amount), 12);
    return _mm512_add_epi16(Y, _mm512_packs_epi32(V0, V1));  // in-lane packs keep the column order; wraps
}

// Blur of 32 columns, in column order: a 64-byte piece of a line holds 16
// columns' upper and lower values. Columns < 32: only those are read.
template <int N>
inline __m512i Blur32(const unsigned char* Work, const std::int16_t* List, std::int32_t Count, std::ptrdiff_t Line,
                      std::int32_t Columns) {
    __m512i Acc0 = RoundingTerm512();
    __m512i Acc1 = RoundingTerm512();
    const std::int32_t n = N > 0 ? N : Count;
    const __mmask16 Low = static_cast<__mmask16>(LowBits(Columns)), High = static_cast<__mmask16>(LowBits(Columns - 16));
    for (std::int32_t k = 0; k < n; ++k) {
        const __m512i C = Pair512(List, k);
        const unsigned char* L = Work + k * Line;
        const __m512i W0 = Columns >= 32 ? Load512(L) : _mm512_maskz_loadu_epi32(Low, L);
        const __m512i W1 = Columns >= 32 ? Load512(L + 64) : _mm512_maskz_loadu_epi32(High, L + 64);
        Acc0 = _mm512_add_epi32(Acc0, _mm512_madd_epi16(W0, C));
        Acc1 = _mm512_add_epi32(Acc1, _mm512_madd_epi16(W1, C));
        Settle(Acc0);
        Settle(Acc1);
    }
    const __m512i Packed = _mm512_packs_epi32(_mm512_srai_epi32(Acc0, 14), _mm512_srai_epi32(Acc1, 14));
    return _mm512_permutexvar_epi64(_mm512_load_si512(PackOrder), Packed);
}

// One row of the stripe: whole steps of 32 columns, then the rest. N: the
// pair count if fixed at compile time (the pair loop unrolls), 0 for any.
template <int N>
void SharpenRow(unsigned char* Row, const unsigned char* Base, const std::int16_t* List, std::int32_t Count,
                std::int32_t Columns, std::ptrdiff_t Line, const SharpenLanes* Lanes, std::ptrdiff_t Ahead) {
    std::int32_t x = 0;
    for (; x + 32 <= Columns; x += 32, Row += 192, Base += 128) {
        if (Ahead != 0) {
            _mm_prefetch(reinterpret_cast<const char*>(Row + Ahead), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(Row + Ahead + 64), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(Row + Ahead + 128), _MM_HINT_T0);
        }
        const __m512i Blurred = Blur32<N>(Base, Fresh(List), Count, Line, 32);
        StoreYFirst(Row, Sharpen(Blurred, ExtractY32(Row, InPixelOrder, FromC), Fresh(Lanes)), 32);
    }
    if (x < Columns) {
        const std::int32_t Rest = Columns - x;
        const __m512i Blurred = Blur32<N>(Base, List, Count, Line, Rest);
        StoreYFirst(Row, Sharpen(Blurred, ExtractYFirst(Row, Rest), Lanes), Rest);
    }
}

using SharpenRowFn = void (*)(unsigned char*, const unsigned char*, const std::int16_t*, std::int32_t, std::int32_t,
                              std::ptrdiff_t, const SharpenLanes*, std::ptrdiff_t);

// Entry n: lists of n pairs; entry 0 serves every count beyond CachedPairs.
constexpr SharpenRowFn Rows[CachedPairs + 1] = {
    SharpenRow<0>,  SharpenRow<1>,  SharpenRow<2>,  SharpenRow<3>,  SharpenRow<4>,  SharpenRow<5>,
    SharpenRow<6>,  SharpenRow<7>,  SharpenRow<8>,  SharpenRow<9>,  SharpenRow<10>, SharpenRow<11>,
    SharpenRow<12>, SharpenRow<13>, SharpenRow<14>, SharpenRow<15>, SharpenRow<16>,
};

}  // namespace

void VerticalKernelAvx512(void* Frame, const void* Work, const std::intptr_t* Entries, std::int32_t GroupCount,
                          std::int32_t RowCount, std::int32_t SrcPitch, std::int32_t WorkPitch,
                          std::int32_t LastGroupColumns, const SharpenLanes* Lanes) {
    const unsigned char* Plane = static_cast<const unsigned char*>(Work);
    unsigned char* Row = static_cast<unsigned char*>(Frame);
    const std::ptrdiff_t Line = std::ptrdiff_t{WorkPitch} * 2;
    const std::int32_t Columns = (GroupCount - 1) * 8 + LastGroupColumns;
    for (std::int32_t r = 0; r < RowCount; ++r, Row += SrcPitch, Entries += 2) {
        const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entries[1]);
        const std::int32_t Count = PairsOf(List);
        const std::ptrdiff_t Ahead = r + PrefetchRows < RowCount ? std::ptrdiff_t{SrcPitch} * PrefetchRows : 0;
        Rows[Count <= CachedPairs ? Count : 0](Row, Plane + Entries[0], List, Count, Columns, Line, Lanes, Ahead);
    }
}
