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

const std::int16_t* ListAt(std::intptr_t Address) { return reinterpret_cast<const std::int16_t*>(Address); }

// Eight GatherUnits (sixteen pixels of four rows at byte X): a unit holds
// pixels 2u, 2u + 1 of rows 0..3, lanes (row 0 even, row 0 odd, row 1 even,
// ...), exactly as the SSE2 kernel lays them out.
inline void GatherUnits16(unsigned char* Dst, const unsigned char* const Row[4], std::ptrdiff_t X) {
    PixelMaskTable Masks = Fresh(PixelMasks);
    __m256i Low01, High01;
    {
        const __m256i R0 = ExtractY16(Row[0] + X, Masks);
        const __m256i R1 = ExtractY16(Row[1] + X, Masks);
        Low01 = _mm256_unpacklo_epi32(R0, R1);   // pixels 0..3 | 8..11
        High01 = _mm256_unpackhi_epi32(R0, R1);  // pixels 4..7 | 12..15
    }
    const __m256i R2 = ExtractY16(Row[2] + X, Masks);
    const __m256i R3 = ExtractY16(Row[3] + X, Masks);
    const __m256i Low23 = _mm256_unpacklo_epi32(R2, R3);
    const __m256i High23 = _mm256_unpackhi_epi32(R2, R3);
    const __m256i U04 = _mm256_unpacklo_epi64(Low01, Low23);  // unit 0 | unit 4
    const __m256i U15 = _mm256_unpackhi_epi64(Low01, Low23);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst), _mm256_permute2x128_si256(U04, U15, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + 64), _mm256_permute2x128_si256(U04, U15, 0x31));
    const __m256i U26 = _mm256_unpacklo_epi64(High01, High23);
    const __m256i U37 = _mm256_unpackhi_epi64(High01, High23);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + 32), _mm256_permute2x128_si256(U26, U37, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + 96), _mm256_permute2x128_si256(U26, U37, 0x31));
}

// Four GatherUnits from eight whole pixels of four rows.
inline void GatherUnits8(unsigned char* Dst, const unsigned char* const Row[4], std::ptrdiff_t X) {
    __m128i R[4];
    for (int r = 0; r < 4; ++r) R[r] = ExtractY8(Row[r] + X, PixelMasks);
    const __m128i Low01 = _mm_unpacklo_epi32(R[0], R[1]);
    const __m128i Low23 = _mm_unpacklo_epi32(R[2], R[3]);
    const __m128i High01 = _mm_unpackhi_epi32(R[0], R[1]);
    const __m128i High23 = _mm_unpackhi_epi32(R[2], R[3]);
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst), _mm_unpacklo_epi64(Low01, Low23));
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 16), _mm_unpackhi_epi64(Low01, Low23));
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 32), _mm_unpacklo_epi64(High01, High23));
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 48), _mm_unpackhi_epi64(High01, High23));
}

// Two GatherUnits from four pixels at any byte offsets (the partial group at
// the row's end repeats its last pixel).
inline void GatherUnits(unsigned char* Dst, const unsigned char* const Row[4], std::ptrdiff_t X0, std::ptrdiff_t X1,
                        std::ptrdiff_t X2, std::ptrdiff_t X3) {
    alignas(16) std::int16_t Lanes[16];
    for (int r = 0; r < 4; ++r) {
        Lanes[2 * r] = LoadY(Row[r] + X0);
        Lanes[2 * r + 1] = LoadY(Row[r] + X1);
        Lanes[8 + 2 * r] = LoadY(Row[r] + X2);
        Lanes[8 + 2 * r + 1] = LoadY(Row[r] + X3);
    }
    std::memcpy(Dst, Lanes, 32);
}

inline __m128i RoundAndShift(__m128i Sum) { return _mm_srai_epi32(_mm_add_epi32(Sum, _mm_set1_epi32(8192)), 14); }

// One column, any list: four rows' sums, rounded, into the two lines.
inline void ConvolveColumn(const unsigned char* Unit, const std::int16_t* List, unsigned char* Line0,
                           unsigned char* Line1) {
    __m128i Acc = _mm_setzero_si128();
    const std::int32_t Pairs = PairsOf(List);
    for (std::int32_t k = 0; k < Pairs; ++k)
        Acc = _mm_add_epi32(Acc, _mm_madd_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(Unit + 16 * k)),
                                                Pair128(List, k)));
    const __m128i Out = _mm_packs_epi32(RoundAndShift(Acc), RoundAndShift(Acc));  // rows 0..3
    const std::int32_t Rows01 = _mm_cvtsi128_si32(Out), Rows23 = _mm_extract_epi32(Out, 1);
    std::memcpy(Line0, &Rows01, 4);
    std::memcpy(Line1, &Rows23, 4);
}

// Columns x and x + 1 starting at the same unit with lists First, Second.
inline void ConvolvePair(const unsigned char* Unit, const std::int16_t* First, const std::int16_t* Second,
                         std::int32_t Pairs, unsigned char* Line0, unsigned char* Line1) {
    __m128i A = _mm_setzero_si128();
    __m128i B = _mm_setzero_si128();
    for (std::int32_t k = 0; k < Pairs; ++k) {
        const __m128i U = _mm_load_si128(reinterpret_cast<const __m128i*>(Unit + 16 * k));
        A = _mm_add_epi32(A, _mm_madd_epi16(U, Pair128(First, k)));
        B = _mm_add_epi32(B, _mm_madd_epi16(U, Pair128(Second, k)));
    }
    // (x rows 0..3, x + 1 rows 0..3) -> rows 0, 1 of both, then rows 2, 3.
    const __m128i Out = _mm_shuffle_epi32(_mm_packs_epi32(RoundAndShift(A), RoundAndShift(B)), _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(Line0), Out);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(Line1), _mm_srli_si128(Out, 8));
}

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
    unsigned char* Work = static_cast<unsigned char*>(WorkDst);
    const unsigned char* Frame = static_cast<const unsigned char*>(Src);
    unsigned char* Scratch = static_cast<unsigned char*>(ScratchBlock);
    const std::ptrdiff_t Line = std::ptrdiff_t{WorkPitch} * 2;
    // 4-pixel groups wholly inside the row; the last one may be partial.
    const std::int32_t FullGathers = Columns / 4;
    // Every group reads the same entries, so the columns fall into the same
    // runs each time: the last run found is remembered rather than searched
    // for again (a plan has one long run, the columns inside the blur's
    // reach of both edges).
    std::int32_t KnownRunStart = -1, KnownRun = 0;

    for (std::int32_t g = 0; g < Groups; ++g, Rows -= 4) {
        // Rows past the frame repeat its last row: their results land in
        // work-plane rows that reach no output except with a zero coefficient.
        const unsigned char* Row[4];
        Row[0] = Frame;
        for (int r = 1; r < 4; ++r) Row[r] = r < Rows ? Row[r - 1] + SrcPitch : Row[r - 1];

        std::int32_t k = 0;
        for (; k + 4 <= FullGathers; k += 4) GatherUnits16(Scratch + 32 * k, Row, std::ptrdiff_t{k} * 24);
        if (k + 2 <= FullGathers) {
            GatherUnits8(Scratch + 32 * k, Row, std::ptrdiff_t{k} * 24);
            k += 2;
        }
        for (; k < FullGathers; ++k) {
            const std::ptrdiff_t X = std::ptrdiff_t{k} * 24;
            GatherUnits(Scratch + 32 * k, Row, X, X + 6, X + 12, X + 18);
        }
        if (FullGathers < GatherCount) {
            // Pixels past the width repeat the last one; only a zero
            // coefficient ever meets them.
            const std::ptrdiff_t Last = (std::ptrdiff_t{Columns} - 1) * 6;
            const std::ptrdiff_t X = std::ptrdiff_t{FullGathers} * 24;
            GatherUnits(Scratch + 32 * FullGathers, Row, X, X + 6 < Last ? X + 6 : Last, X + 12 < Last ? X + 12 : Last,
                        X + 18 < Last ? X + 18 : Last);
        }

        unsigned char* Line0 = Work;
        unsigned char* Line1 = Work + Line;
        for (std::int32_t x = 0; x < Columns;) {
            const std::intptr_t* Entry = EntryData + 2 * std::ptrdiff_t{x};
            const std::int16_t* First = ListAt(Entry[1]);
            const std::int32_t Pairs = PairsOf(First);
            const bool PairStart = x + 1 < Columns && Entry[0] == Entry[2] && Pairs == PairsOf(ListAt(Entry[3]));
            std::int32_t Run = 0;
            if (PairStart && x == KnownRunStart) {
                Run = KnownRun;
            } else if (PairStart) {
                Run = FoursInRun(Entry, x, Columns);
                if (Run > 1) KnownRunStart = x, KnownRun = Run;
            }
            if (Run > 0) {
                Fours[Pairs <= UnrolledPairs ? Pairs : 0](Scratch + Entry[0], First, ListAt(Entry[3]), Run, Pairs,
                                                          Line0 + 4 * std::ptrdiff_t{x}, Line);
                x += 4 * Run;
            } else if (PairStart) {
                ConvolvePair(Scratch + Entry[0], First, ListAt(Entry[3]), Pairs, Line0 + 4 * std::ptrdiff_t{x},
                             Line1 + 4 * std::ptrdiff_t{x});
                x += 2;
            } else {
                ConvolveColumn(Scratch + Entry[0], First, Line0 + 4 * std::ptrdiff_t{x}, Line1 + 4 * std::ptrdiff_t{x});
                ++x;
            }
        }
        Frame += std::ptrdiff_t{SrcPitch} * 4;
        Work += Line * 2;
    }
}
