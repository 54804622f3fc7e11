// The horizontal pass in AVX-512 (F, BW, VL): thirty-two pixels of four rows
// gathered per step with word permutes, and eight columns per step in the
// convolution; the short ends of a row take the AVX2 set's steps. Compiled
// with its own flags and run only where CPUID and XGETBV allow; every helper
// stays in an anonymous namespace (filter/KernelHelpers.h says why). i686
// has eight vector registers: loop bodies keep few values live and read
// coefficients and indices from memory where they are used.
#include <cstdint>
#include <cstring>

#include "filter/Avx512KernelHelpers.h"
#include "filter/Kernels.h"

namespace {

constexpr std::int32_t UnrolledPairs = 12;  // every radius of the range track

// qword k of the shuffled pack (lane i: line 0 of columns x + 2i, x + 2i + 1,
// then line 1) -> line 0 of all eight columns, then line 1.
alignas(64) constexpr std::int64_t LineOrder[8] = {0, 2, 4, 6, 1, 3, 5, 7};

// Sixteen GatherUnits (32 pixels of four rows at byte X): each row's Y in
// unit order, so that in-lane interleaves give units 0..3, 4..7, 8..11 and
// 12..15 as whole vectors.
inline void GatherUnits32(unsigned char* Dst, const unsigned char* const Row[4], std::ptrdiff_t X) {
    __m512i Low01, High01;
    {
        const __m512i R0 = ExtractY32(Row[0] + X, InUnitOrder, FromCInUnitOrder);
        const __m512i R1 = ExtractY32(Row[1] + X, InUnitOrder, FromCInUnitOrder);
        Low01 = _mm512_unpacklo_epi32(R0, R1);
        High01 = _mm512_unpackhi_epi32(R0, R1);
    }
    const __m512i R2 = ExtractY32(Row[2] + X, InUnitOrder, FromCInUnitOrder);
    const __m512i R3 = ExtractY32(Row[3] + X, InUnitOrder, FromCInUnitOrder);
    const __m512i Low23 = _mm512_unpacklo_epi32(R2, R3);
    const __m512i High23 = _mm512_unpackhi_epi32(R2, R3);
    _mm512_storeu_si512(Dst, _mm512_unpacklo_epi64(Low01, Low23));
    _mm512_storeu_si512(Dst + 64, _mm512_unpackhi_epi64(Low01, Low23));
    _mm512_storeu_si512(Dst + 128, _mm512_unpacklo_epi64(High01, High23));
    _mm512_storeu_si512(Dst + 192, _mm512_unpackhi_epi64(High01, High23));
}

// Columns x .. x + 7 go together when each pair x + 2i, x + 2i + 1 starts at
// unit u + i with the lists First and Second of equal length: one 64-byte
// load of units u + k .. u + k + 3 then feeds x, x + 2, x + 4, x + 6 against
// First's pair k, and the odd columns against Second's.
inline bool EightTogether(const std::intptr_t* Entry, std::intptr_t First, std::intptr_t Second) {
    for (int i = 0; i < 4; ++i)
        if (Entry[4 * i + 1] != First || Entry[4 * i + 3] != Second || Entry[4 * i] != Entry[0] + 16 * i ||
            Entry[4 * i + 2] != Entry[4 * i])
            return false;
    return true;
}

// How many groups of eight columns from Entry (column x) go together with
// the first one: the same two lists, each group four units past the last.
std::int32_t EightsInRun(const std::intptr_t* Entry, std::int32_t x, std::int32_t Columns) {
    std::int32_t Count = 0;
    for (; x + 7 < Columns; x += 8, ++Count)
        if (!EightTogether(Entry + 16 * Count, Entry[1], Entry[3]) || Entry[16 * Count] != Entry[0] + 64 * Count)
            break;
    return Count;
}

// Eights groups of eight columns, the first at Unit, all with the lists L0
// (even columns) and L1 (odd). Out: the first column's place in the upper
// line; the lower line lies LineDelta bytes further. N: the pair count if
// fixed at compile time (the loop unrolls), 0 for any.
template <int N>
void ConvolveEights(const unsigned char* Unit, const std::int16_t* L0, const std::int16_t* L1, std::int32_t Eights,
                    std::int32_t Pairs, unsigned char* Out, std::ptrdiff_t LineDelta) {
    const std::int32_t n = N > 0 ? N : Pairs;
    const ListPairs512<N> C0(L0), C1(L1);
    for (; Eights > 0; --Eights, Unit += 64, Out += 32) {
        __m512i A = RoundingTerm512();  // x, x + 2, x + 4, x + 6
        __m512i B = RoundingTerm512();  // x + 1, x + 3, x + 5, x + 7
        for (std::int32_t k = 0; k < n; ++k) {
            const __m512i U = Load512(Unit + 16 * k);
            A = _mm512_add_epi32(A, _mm512_madd_epi16(C0[k], U));
            B = _mm512_add_epi32(B, _mm512_madd_epi16(C1[k], U));
            Settle(A);
            Settle(B);
        }
        // Per lane: rows 0, 1 of both columns, then rows 2, 3.
        const __m512i Packed = _mm512_shuffle_epi32(_mm512_packs_epi32(_mm512_srai_epi32(A, 14), _mm512_srai_epi32(B, 14)),
                                                    _MM_PERM_DBCA);
        const __m512i Lines = _mm512_permutexvar_epi64(_mm512_load_si512(LineOrder), Packed);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out), _mm512_castsi512_si256(Lines));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + LineDelta), _mm512_extracti64x4_epi64(Lines, 1));
    }
}

using EightsFn = void (*)(const unsigned char*, const std::int16_t*, const std::int16_t*, std::int32_t, std::int32_t,
                          unsigned char*, std::ptrdiff_t);

// Entry n: lists of n pairs; entry 0 serves every longer list.
constexpr EightsFn Eights[UnrolledPairs + 1] = {
    ConvolveEights<0>, ConvolveEights<1>, ConvolveEights<2>,  ConvolveEights<3>,  ConvolveEights<4>,
    ConvolveEights<5>, ConvolveEights<6>, ConvolveEights<7>,  ConvolveEights<8>,  ConvolveEights<9>,
    ConvolveEights<10>, ConvolveEights<11>, ConvolveEights<12>,
};

}  // namespace

void HorizontalKernelAvx512(void* WorkDst, const void* Src, const std::intptr_t* EntryData, void* ScratchBlock,
                            std::int32_t GatherCount, std::int32_t Columns, std::int32_t Groups,
                            std::int32_t WorkPitch, std::int32_t SrcPitch, std::int32_t Rows) {
    HorizontalBands<8, 8>(
        WorkDst, Src, EntryData, ScratchBlock, GatherCount, Columns, Groups, WorkPitch, SrcPitch, Rows, GatherUnits32, EightsInRun,
        [](const unsigned char* Unit, const std::int16_t* First, const std::int16_t* Second, std::int32_t Count,
           std::int32_t Pairs, unsigned char* Out, std::ptrdiff_t LineDelta) {
            Eights[Pairs <= UnrolledPairs ? Pairs : 0](Unit, First, Second, Count, Pairs, Out, LineDelta);
        });
}
