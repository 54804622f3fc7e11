// The vertical pass in AVX2: sixteen columns (two 8-column groups) per step.
// Compiled with -mavx2 and run only where CPUID and XGETBV allow; every
// helper stays in an anonymous namespace (filter/KernelHelpers.h says why).
// Each loop body keeps at most eight 256-bit values live and reads its
// constants (coefficients, lanes, masks) from memory where they are used,
// never from the stack (filter/Avx2KernelHelpers.h).
#include <cstdint>
#include <cstring>

#include "filter/Avx2KernelHelpers.h"
#include "filter/Kernels.h"
#include "filter/Vectors.h"

namespace {

constexpr std::int32_t CachedPairs = 16;  // every list of the track bars' range
constexpr std::int32_t PrefetchRows = 4;

// Soft threshold and the two amounts on sixteen signed 16-bit lanes; the
// SSE2 kernel's steps, lane for lane.
inline __m256i Sharpen(__m256i B, __m256i Y, const SharpenLanes* Lanes) {
    const __m256i Threshold =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Threshold)));
    const __m256i D = _mm256_sub_epi16(B, Y);    // wraps
    const __m256i S = _mm256_srai_epi16(D, 15);  // -1 where the pixel brightens
    const __m256i M = _mm256_xor_si256(D, S);    // ones' complement, 0..32767
    const __m256i Soft = _mm256_subs_epu16(M, _mm256_subs_epu16(Threshold, M));
    const __m256i E = _mm256_xor_si256(Soft, S);
    const __m256i P = _mm256_andnot_si256(S, E);
    const __m256i N = _mm256_and_si256(S, E);
    // (P, N) pairs against (-AmountMinus, -AmountPlus): one product is 0.
    const __m256i Amount =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Amount)));
    const __m256i V0 = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(P, N), Amount), 12);
    const __m256i V1 = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(P, N), Amount), 12);
    return _mm256_add_epi16(Y, _mm256_packs_epi32(V0, V1));  // in-lane packs keep the column order; wraps
}

inline __m256i Shift(__m256i Sum) { return _mm256_srai_epi32(Sum, 14); }

// Blur of one 8-column group: one 32-byte line holds its eight columns'
// upper and lower values, so one multiply-add per pair serves all eight.
template <int N>
inline __m128i Blur8(const unsigned char* Work, const std::int16_t* List, std::int32_t Count, std::ptrdiff_t Line) {
    __m256i Acc = RoundingTerm();
    const std::int32_t n = N > 0 ? N : Count;
    for (std::int32_t k = 0; k < n; ++k) {
        Acc = _mm256_add_epi32(Acc, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(Work + k * Line)),
                                                      Pair256(List, k)));
        Settle(Acc);
    }
    Acc = Shift(Acc);
    return _mm_packs_epi32(_mm256_castsi256_si128(Acc), _mm256_extracti128_si256(Acc, 1));
}

// Blur of two neighbouring groups, the sixteen values in column order.
template <int N>
inline __m256i Blur16(const unsigned char* Work, const std::int16_t* List, std::int32_t Count, std::ptrdiff_t Line) {
    __m256i Acc0 = RoundingTerm();
    __m256i Acc1 = RoundingTerm();
    const std::int32_t n = N > 0 ? N : Count;
    for (std::int32_t k = 0; k < n; ++k) {
        const __m256i C = Pair256(List, k);
        const unsigned char* L = Work + k * Line;
        Acc0 = _mm256_add_epi32(Acc0, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(L)), C));
        Acc1 = _mm256_add_epi32(Acc1, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(L + 32)), C));
        Settle(Acc0);
        Settle(Acc1);
    }
    // In-lane pack gives (0..3, 8..11 | 4..7, 12..15); the permute restores the order.
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(Shift(Acc0), Shift(Acc1)), 0xD8);
}

// One row: its whole groups two at a time, then a whole group left over,
// then the stripe's last, partial group. N: the pair count if fixed at
// compile time (the pair loop unrolls), 0 for any count.
template <int N>
void SharpenRow(unsigned char* Row, const unsigned char* Base, const std::int16_t* List, std::int32_t Count,
                std::int32_t FullGroups, std::int32_t LastGroupColumns, std::ptrdiff_t Line,
                const SharpenLanes* Lanes, std::ptrdiff_t Ahead) {
    std::int32_t g = 0;
    for (; g + 2 <= FullGroups; g += 2, Row += 96, Base += 64) {
        if (Ahead != 0) {
            _mm_prefetch(reinterpret_cast<const char*>(Row + Ahead), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(Row + Ahead + 64), _MM_HINT_T0);
        }
        PixelMaskTable Masks = Fresh(PixelMasks);
        const __m256i Blurred = Blur16<N>(Base, Fresh(List), Count, Line);
        MergeY16(Row, Sharpen(Blurred, ExtractY16(Row, Masks), Fresh(Lanes)), Masks);
    }
    if (g < FullGroups) {
        const __m128i Blurred = Blur8<N>(Base, List, Count, Line);
        const __m256i Y = _mm256_zextsi128_si256(ExtractY8(Row, PixelMasks));
        MergeY8(Row, _mm256_castsi256_si128(Sharpen(_mm256_zextsi128_si256(Blurred), Y, Lanes)), PixelMasks);
        Row += 48;
        Base += 32;
    }
    if (LastGroupColumns < 8) {
        // The frame's last group: only its real columns are read and written.
        const __m128i Blurred = Blur8<N>(Base, List, Count, Line);
        alignas(16) std::int16_t Y[8] = {};
        for (std::int32_t i = 0; i < LastGroupColumns; ++i) Y[i] = LoadY(Row + 6 * i);
        const __m256i Result = Sharpen(_mm256_zextsi128_si256(Blurred),
                                       _mm256_zextsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(Y))), Lanes);
        _mm_store_si128(reinterpret_cast<__m128i*>(Y), _mm256_castsi256_si128(Result));
        for (std::int32_t i = 0; i < LastGroupColumns; ++i) StoreY(Row + 6 * i, Y[i]);
    }
}

using SharpenRowFn = void (*)(unsigned char*, const unsigned char*, const std::int16_t*, std::int32_t, std::int32_t,
                              std::int32_t, std::ptrdiff_t, const SharpenLanes*, std::ptrdiff_t);

// Entry n: lists of n pairs; entry 0 serves every count beyond CachedPairs.
// (A plain array: a library template instantiated here could be shared
// with the SSE2 files.)
constexpr SharpenRowFn Rows[CachedPairs + 1] = {
    SharpenRow<0>,  SharpenRow<1>,  SharpenRow<2>,  SharpenRow<3>,  SharpenRow<4>,  SharpenRow<5>,
    SharpenRow<6>,  SharpenRow<7>,  SharpenRow<8>,  SharpenRow<9>,  SharpenRow<10>, SharpenRow<11>,
    SharpenRow<12>, SharpenRow<13>, SharpenRow<14>, SharpenRow<15>, SharpenRow<16>,
};

}  // namespace

void VerticalKernelAvx2(void* Frame, const void* Work, const std::intptr_t* Entries, std::int32_t GroupCount,
                        std::int32_t RowCount, std::int32_t SrcPitch, std::int32_t WorkPitch,
                        std::int32_t LastGroupColumns, const SharpenLanes* Lanes) {
    const unsigned char* Plane = static_cast<const unsigned char*>(Work);
    unsigned char* Row = static_cast<unsigned char*>(Frame);
    const std::ptrdiff_t Line = std::ptrdiff_t{WorkPitch} * 2;
    const std::int32_t FullGroups = LastGroupColumns >= 8 ? GroupCount : GroupCount - 1;
    for (std::int32_t r = 0; r < RowCount; ++r, Row += SrcPitch, Entries += 2) {
        const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entries[1]);
        const std::int32_t Count = PairsOf(List);
        const std::ptrdiff_t Ahead = r + PrefetchRows < RowCount ? std::ptrdiff_t{SrcPitch} * PrefetchRows : 0;
        Rows[Count <= CachedPairs ? Count : 0](Row, Plane + Entries[0], List, Count, FullGroups, LastGroupColumns,
                                               Line, Lanes, Ahead);
    }
}
