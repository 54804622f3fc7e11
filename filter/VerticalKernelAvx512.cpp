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

// An engine's threshold and amount lanes across all four 128-bit lanes:
// loaded once per row on x86-64, where they are used on i686.
struct WideLanes {
    const SharpenLanes* Lanes;
#if defined(__x86_64__)
    __m512i ThresholdLanes, AmountLanes;
    explicit WideLanes(const SharpenLanes* L)
        : Lanes(L), ThresholdLanes(Wide(L->Threshold)), AmountLanes(Wide(L->Amount)) {}
    __m512i Threshold() const { return ThresholdLanes; }
    __m512i Amount() const { return AmountLanes; }
#else
    explicit WideLanes(const SharpenLanes* L) : Lanes(L) {}
    __m512i Threshold() const { return Wide(Fresh(Lanes)->Threshold); }
    __m512i Amount() const { return Wide(Fresh(Lanes)->Amount); }
#endif
    // (The masked form: GCC 12's plain one starts from an "undefined" vector
    // that its own warnings then flag.)
    static __m512i Wide(const void* P) {
        return _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_loadu_si128(static_cast<const __m128i*>(P)));
    }
};

// Soft threshold and the two amounts on 32 signed 16-bit lanes; the SSE2
// kernel's steps, lane for lane.
inline __m512i Sharpen(__m512i B, __m512i Y, const WideLanes& Lanes) {
    const __m512i D = _mm512_sub_epi16(B, Y);    // wraps
    const __m512i S = _mm512_srai_epi16(D, 15);  // -1 where the pixel brightens
    const __m512i M = _mm512_xor_si512(D, S);    // ones' complement, 0..32767
    const __m512i Soft = _mm512_subs_epu16(M, _mm512_subs_epu16(Lanes.Threshold(), M));
    // (Soft ^ S) where D >= 0, else 0; and the other way round.
    const __m512i P = _mm512_andnot_si512(S, Soft);
    const __m512i N = _mm512_andnot_si512(Soft, S);
    // (P, N) pairs against (-AmountMinus, -AmountPlus): one product is 0.
    const __m512i V0 = _mm512_srai_epi32(_mm512_madd_epi16(_mm512_unpacklo_epi16(P, N), Lanes.Amount()), 12);
    const __m512i V1 = _mm512_srai_epi32(_mm512_madd_epi16(_mm512_unpackhi_epi16(P, N), Lanes.Amount()), 12);
    return _mm512_add_epi16(Y, _mm512_packs_epi32(V0, V1));  // in-lane packs keep the column order; wraps
}

// Blur of 32 columns, in column order: a 64-byte piece of a line holds 16
// columns' upper and lower values. Columns < 32: only those are read.
template <int N>
inline __m512i Blur32(const unsigned char* Work, const ListPairs512<N>& List, std::int32_t Count, std::ptrdiff_t Line,
                      std::int32_t Columns) {
    __m512i Acc0 = RoundingTerm512();
    __m512i Acc1 = RoundingTerm512();
    const std::int32_t n = N > 0 ? N : Count;
    const __mmask16 Low = static_cast<__mmask16>(LowBits(Columns)), High = static_cast<__mmask16>(LowBits(Columns - 16));
    for (std::int32_t k = 0; k < n; ++k) {
        const __m512i C = List[k];
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

// Blur of 32 columns of two rows whose lists start at the same line and
// have the same length: every line is loaded once for both.
template <int N>
inline void Blur32TwoRows(const unsigned char* Work, const ListPairs512<N>& First, const ListPairs512<N>& Second,
                          std::int32_t Count, std::ptrdiff_t Line, std::int32_t Columns, __m512i& Out0,
                          __m512i& Out1) {
    __m512i A0 = RoundingTerm512(), A1 = RoundingTerm512();
    __m512i B0 = RoundingTerm512(), B1 = RoundingTerm512();
    const std::int32_t n = N > 0 ? N : Count;
    const __mmask16 Low = static_cast<__mmask16>(LowBits(Columns)), High = static_cast<__mmask16>(LowBits(Columns - 16));
    for (std::int32_t k = 0; k < n; ++k) {
        const unsigned char* L = Work + k * Line;
        const __m512i W0 = Columns >= 32 ? Load512(L) : _mm512_maskz_loadu_epi32(Low, L);
        const __m512i W1 = Columns >= 32 ? Load512(L + 64) : _mm512_maskz_loadu_epi32(High, L + 64);
        A0 = _mm512_add_epi32(A0, _mm512_madd_epi16(W0, First[k]));
        A1 = _mm512_add_epi32(A1, _mm512_madd_epi16(W1, First[k]));
        B0 = _mm512_add_epi32(B0, _mm512_madd_epi16(W0, Second[k]));
        B1 = _mm512_add_epi32(B1, _mm512_madd_epi16(W1, Second[k]));
        Settle(A0);
        Settle(A1);
        Settle(B0);
        Settle(B1);
    }
    const __m512i Order = _mm512_load_si512(PackOrder);
    Out0 = _mm512_permutexvar_epi64(Order, _mm512_packs_epi32(_mm512_srai_epi32(A0, 14), _mm512_srai_epi32(A1, 14)));
    Out1 = _mm512_permutexvar_epi64(Order, _mm512_packs_epi32(_mm512_srai_epi32(B0, 14), _mm512_srai_epi32(B1, 14)));
}

inline void Prefetch192(const unsigned char* P) {
    _mm_prefetch(reinterpret_cast<const char*>(P), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(P + 64), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(P + 128), _MM_HINT_T0);
}

// One row of the stripe: whole steps of 32 columns, then the rest. N: the
// pair count if fixed at compile time (the pair loop unrolls), 0 for any.
template <int N>
void SharpenRow(unsigned char* Row, const unsigned char* Base, const std::int16_t* Coefficients, std::int32_t Count,
                std::int32_t Columns, std::ptrdiff_t Line, const SharpenLanes* SharpenSettings, std::ptrdiff_t Ahead) {
    const ListPairs512<N> List(Coefficients);
    const WideLanes Lanes(SharpenSettings);
    std::int32_t x = 0;
    for (; x + 32 <= Columns; x += 32, Row += 192, Base += 128) {
        if (Ahead != 0) Prefetch192(Row + Ahead);
        const __m512i Blurred = Blur32<N>(Base, List, Count, Line, 32);
        StoreY32(Row, Sharpen(Blurred, ExtractY32(Row, InPixelOrder, FromC), Lanes));
    }
    if (x < Columns) {
        const std::int32_t Rest = Columns - x;
        const __m512i Blurred = Blur32<N>(Base, List, Count, Line, Rest);
        StoreYFirst(Row, Sharpen(Blurred, ExtractYFirst(Row, Rest), Lanes), Rest);
    }
}

// Rows r and r + 1 at once (Row1 = Row0 + the frame's pitch), their lists
// First and Second starting at the same line with Count pairs each.
template <int N>
void SharpenTwoRows(unsigned char* Row0, unsigned char* Row1, const unsigned char* Base, const std::int16_t* First,
                    const std::int16_t* Second, std::int32_t Count, std::int32_t Columns, std::ptrdiff_t Line,
                    const SharpenLanes* SharpenSettings, std::ptrdiff_t Ahead) {
    const ListPairs512<N> List0(First), List1(Second);
    const WideLanes Lanes(SharpenSettings);
    std::int32_t x = 0;
    for (; x + 32 <= Columns; x += 32, Row0 += 192, Row1 += 192, Base += 128) {
        if (Ahead != 0) {
            Prefetch192(Row0 + Ahead);
            Prefetch192(Row1 + Ahead);
        }
        __m512i Blurred0, Blurred1;
        Blur32TwoRows<N>(Base, List0, List1, Count, Line, 32, Blurred0, Blurred1);
        StoreY32(Row0, Sharpen(Blurred0, ExtractY32(Row0, InPixelOrder, FromC), Lanes));
        StoreY32(Row1, Sharpen(Blurred1, ExtractY32(Row1, InPixelOrder, FromC), Lanes));
    }
    if (x < Columns) {
        const std::int32_t Rest = Columns - x;
        __m512i Blurred0, Blurred1;
        Blur32TwoRows<N>(Base, List0, List1, Count, Line, Rest, Blurred0, Blurred1);
        StoreYFirst(Row0, Sharpen(Blurred0, ExtractYFirst(Row0, Rest), Lanes), Rest);
        StoreYFirst(Row1, Sharpen(Blurred1, ExtractYFirst(Row1, Rest), Lanes), Rest);
    }
}

using SharpenTwoRowsFn = void (*)(unsigned char*, unsigned char*, const unsigned char*, const std::int16_t*,
                                  const std::int16_t*, std::int32_t, std::int32_t, std::ptrdiff_t, const SharpenLanes*,
                                  std::ptrdiff_t);

// Entry n: lists of n pairs. Two rows keep twice the coefficients in
// registers: up to 8 pairs (every blur up to range 60 or so) they all fit.
constexpr std::int32_t PairedPairs = 8;
constexpr SharpenTwoRowsFn TwoRows[PairedPairs + 1] = {
    nullptr,           SharpenTwoRows<1>, SharpenTwoRows<2>, SharpenTwoRows<3>, SharpenTwoRows<4>,
    SharpenTwoRows<5>, SharpenTwoRows<6>, SharpenTwoRows<7>, SharpenTwoRows<8>,
};

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
    RowsBottomUp(
        Entries, RowCount, PairedPairs,
        [&](std::int32_t r, const std::intptr_t* Entry) {
            const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entry[1]);
            const std::int32_t Count = PairsOf(List);
            Rows[Count <= CachedPairs ? Count : 0](Row + std::ptrdiff_t{r} * SrcPitch, Plane + Entry[0], List, Count,
                                                   Columns, Line, Lanes, PrefetchAhead(r, PrefetchRows, SrcPitch));
        },
        [&](std::int32_t r, const std::intptr_t* Entry) {
            const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entry[1]);
            unsigned char* Pixels = Row + std::ptrdiff_t{r} * SrcPitch;
            TwoRows[PairsOf(List)](Pixels, Pixels + SrcPitch, Plane + Entry[0], List,
                                   reinterpret_cast<const std::int16_t*>(Entry[3]), PairsOf(List), Columns, Line, Lanes,
                                   PrefetchAhead(r, PrefetchRows, SrcPitch));
        });
}
