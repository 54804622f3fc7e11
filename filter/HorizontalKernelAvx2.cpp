// The horizontal pass in AVX2: sixteen pixels of four rows gathered per
// step with byte shuffles, and four columns per step in the convolution.
// Compiled with -mavx2 and run only where CPUID and XGETBV allow; every
// helper stays in an anonymous namespace (filter/KernelHelpers.h says why).
// Loop bodies keep few 256-bit values live and read coefficients and masks
// from memory where they are used (filter/Avx2KernelHelpers.h).
#include <cstdint>
#include <cstring>

#include "filter/Avx2KernelHelpers.h"
#include "filter/Kernels.h"

namespace {

constexpr std::int32_t UnrolledPairs = 12;  // every radius of the range track

// Columns x .. x + 3 go together when x and x + 1 start at one unit with the
// lists First and Second of equal length, and x + 2, x + 3 do the same one
// unit further on: one 32-byte load of units k and k + 1 then feeds x
// (low half) and x + 2 (high half) against First's pair k, and x + 1 and
// x + 3 against Second's.
inline bool FourTogether(const std::intptr_t* Entry, std::intptr_t First, std::intptr_t Second) {
    return Entry[1] == First && Entry[3] == Second && Entry[5] == First && Entry[7] == Second &&
           Entry[0] == Entry[2] && Entry[4] == Entry[0] + 16 && Entry[6] == Entry[4];
}

// Fours groups of four columns, the first at Unit, each next one two units
// further on, all with the lists L0 (columns x, x + 2) and L1 (x + 1, x + 3).
// Out: the first column's place in the upper line; the lower line lies
// LineDelta bytes further. N: the pair count if fixed at compile time (the
// loop unrolls), 0 for any. Six pointers and counts: what i686 can keep in
// registers beside the stack and frame pointers.
template <int N>
void ConvolveFours(const unsigned char* Unit, const std::int16_t* L0, const std::int16_t* L1, std::int32_t Fours,
                   std::int32_t Pairs, unsigned char* Out, std::ptrdiff_t LineDelta) {
    const std::int32_t n = N > 0 ? N : Pairs;
    for (; Fours > 0; --Fours, Unit += 32, Out += 16) {
        __m256i A = RoundingTerm();  // x | x + 2
        __m256i B = RoundingTerm();  // x + 1 | x + 3
        for (std::int32_t k = 0; k < n; ++k) {
            const __m256i U = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Unit + 16 * k));
            A = _mm256_add_epi32(A, _mm256_madd_epi16(Pair256(L0, k), U));
            B = _mm256_add_epi32(B, _mm256_madd_epi16(Pair256(L1, k), U));
            Settle(A);
            Settle(B);
        }
        // Per half: rows 0, 1 of both columns, then rows 2, 3; the permute
        // puts rows 0, 1 of all four in the low half, rows 2, 3 in the high.
        const __m256i Packed = _mm256_shuffle_epi32(_mm256_packs_epi32(_mm256_srai_epi32(A, 14), _mm256_srai_epi32(B, 14)),
                                                    _MM_SHUFFLE(3, 1, 2, 0));
        const __m256i Rows = _mm256_permute4x64_epi64(Packed, 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), _mm256_castsi256_si128(Rows));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + LineDelta), _mm256_extracti128_si256(Rows, 1));
    }
}

using FoursFn = void (*)(const unsigned char*, const std::int16_t*, const std::int16_t*, std::int32_t, std::int32_t,
                         unsigned char*, std::ptrdiff_t);

// Entry n: lists of n pairs; entry 0 serves every longer list. (A plain
// array: a library template instantiated here could be shared with the SSE2
// files.)
constexpr FoursFn Fours[UnrolledPairs + 1] = {
    ConvolveFours<0>, ConvolveFours<1>, ConvolveFours<2>, ConvolveFours<3>,  ConvolveFours<4>,
    ConvolveFours<5>, ConvolveFours<6>, ConvolveFours<7>, ConvolveFours<8>,  ConvolveFours<9>,
    ConvolveFours<10>, ConvolveFours<11>, ConvolveFours<12>,
};

// How many groups of four columns from Entry (column x) go together with
// the first one: the same two lists, each group two units past the last.
std::int32_t FoursInRun(const std::intptr_t* Entry, std::int32_t x, std::int32_t Columns) {
    std::int32_t Count = 0;
    for (; x + 3 < Columns; x += 4, ++Count)
        if (!FourTogether(Entry + 8 * Count, Entry[1], Entry[3]) || Entry[8 * Count] != Entry[0] + 32 * Count) break;
    return Count;
}

}  // namespace

void HorizontalKernelAvx2(void* WorkDst, const void* Src, const std::intptr_t* EntryData, void* ScratchBlock,
                          std::int32_t GatherCount, std::int32_t Columns, std::int32_t Groups, std::int32_t WorkPitch,
                          std::int32_t SrcPitch, std::int32_t Rows) {
    HorizontalBands<4, 4>(
        WorkDst, Src, EntryData, ScratchBlock, GatherCount, Columns, Groups, WorkPitch, SrcPitch, Rows, GatherUnits16, FoursInRun,
        [](const unsigned char* Unit, const std::int16_t* First, const std::int16_t* Second, std::int32_t Count,
           std::int32_t Pairs, unsigned char* Out, std::ptrdiff_t LineDelta) {
            Fours[Pairs <= UnrolledPairs ? Pairs : 0](Unit, First, Second, Count, Pairs, Out, LineDelta);
        });
}
