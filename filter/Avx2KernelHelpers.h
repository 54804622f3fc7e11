// Helpers the AVX2 kernel files share; include from AVX2 translation units
// only (filter/KernelHelpers.h says why everything stays in an anonymous
// namespace).
//
// i686 has eight vector registers and the Windows targets may not realign
// the stack for 32-byte spills: the helpers read their masks from memory
// where they are used, and callers keep few 256-bit values live.
#pragma once

#include <immintrin.h>

#include "filter/KernelHelpers.h"

namespace {

// Byte shuffles between three 16-byte pieces of eight 6-byte pixels and
// their eight Y words (Y of pixel i is word 3i of the 48 bytes), the same
// for both halves of a 256-bit vector.
alignas(32) const std::int8_t PixelMasks[6][32] = {
#define VELGARDE_TWICE(...) __VA_ARGS__, __VA_ARGS__
    // Y out of piece A (pixels 0..2), B (3..5), C (6, 7).
    {VELGARDE_TWICE(0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)},
    {VELGARDE_TWICE(-1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1)},
    {VELGARDE_TWICE(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11)},
    // Y back into A (words 0, 3, 6), B (words 1, 4, 7), C (words 2, 5).
    {VELGARDE_TWICE(0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1, 4, 5, -1, -1)},
    {VELGARDE_TWICE(-1, -1, 6, 7, -1, -1, -1, -1, 8, 9, -1, -1, -1, -1, 10, 11)},
    {VELGARDE_TWICE(-1, -1, -1, -1, 12, 13, -1, -1, -1, -1, 14, 15, -1, -1, -1, -1)},
#undef VELGARDE_TWICE
};
using PixelMaskTable = const std::int8_t (*)[32];

inline __m256i Mask(PixelMaskTable Masks, int i) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(Masks[i]));
}

inline __m256i LoadTwo(const unsigned char* Low, const unsigned char* High) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(High)), 1);
}

inline void StoreTwo(unsigned char* Low, unsigned char* High, __m256i V) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Low), _mm256_castsi256_si128(V));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(High), _mm256_extracti128_si256(V, 1));
}

// The Y of pixels 0..7 (low half) and 8..15 (high half) at P: piece k of
// each half is 16k bytes into it, the halves 48 bytes apart.
inline __m256i ExtractY16(const unsigned char* P, PixelMaskTable Masks) {
    const __m256i A = _mm256_shuffle_epi8(LoadTwo(P, P + 48), Mask(Masks, 0));
    const __m256i B = _mm256_shuffle_epi8(LoadTwo(P + 16, P + 64), Mask(Masks, 1));
    const __m256i C = _mm256_shuffle_epi8(LoadTwo(P + 32, P + 80), Mask(Masks, 2));
    return _mm256_or_si256(_mm256_or_si256(A, B), C);
}

// Writes the sixteen Y of Y back at P, every Cb and Cr as read.
inline void MergeY16(unsigned char* P, __m256i Y, PixelMaskTable Masks) {
    StoreTwo(P, P + 48, _mm256_blend_epi16(LoadTwo(P, P + 48), _mm256_shuffle_epi8(Y, Mask(Masks, 3)), 0x49));
    StoreTwo(P + 16, P + 64,
             _mm256_blend_epi16(LoadTwo(P + 16, P + 64), _mm256_shuffle_epi8(Y, Mask(Masks, 4)), 0x92));
    StoreTwo(P + 32, P + 80,
             _mm256_blend_epi16(LoadTwo(P + 32, P + 80), _mm256_shuffle_epi8(Y, Mask(Masks, 5)), 0x24));
}

// The same for one group of eight pixels.
inline __m128i ExtractY8(const unsigned char* P, PixelMaskTable Masks) {
    auto Piece = [&](int k) {
        return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * k)),
                                _mm256_castsi256_si128(Mask(Masks, k)));
    };
    return _mm_or_si128(_mm_or_si128(Piece(0), Piece(1)), Piece(2));
}

inline void MergeY8(unsigned char* P, __m128i Y, PixelMaskTable Masks) {
    __m128i* A = reinterpret_cast<__m128i*>(P);
    auto Moved = [&](int k) { return _mm_shuffle_epi8(Y, _mm256_castsi256_si128(Mask(Masks, 3 + k))); };
    _mm_storeu_si128(A, _mm_blend_epi16(_mm_loadu_si128(A), Moved(0), 0x49));
    _mm_storeu_si128(A + 1, _mm_blend_epi16(_mm_loadu_si128(A + 1), Moved(1), 0x92));
    _mm_storeu_si128(A + 2, _mm_blend_epi16(_mm_loadu_si128(A + 2), Moved(2), 0x24));
}

// Pair k of a list broadcast to every 32-bit lane.
inline __m128i Pair128(const std::int16_t* List, std::int32_t k) { return _mm_set1_epi32(PairWord(List, k)); }
inline __m256i Pair256(const std::int16_t* List, std::int32_t k) { return _mm256_set1_epi32(PairWord(List, k)); }

// Sums start from the rounding term, half of the 14-bit unit: added first
// or last, the wrapped 32-bit sum is the same.
inline __m256i RoundingTerm() { return _mm256_set1_epi32(8192); }

// ---- the horizontal pass: the scratch block's units and the columns that
// fall outside long runs (the AVX-512 set shares them)

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

// The horizontal pass of the wide sets (AVX2, AVX-512), band by band of four
// rows: the gather, WideGather 4-pixel gathers per Gather(Dst, Row, X) step
// and the AVX2 steps for the rest of the row, then the columns, runs of
// RunColumns columns through Run(Unit, First, Second, Count, Pairs, Out,
// LineDelta) where RunLength(Entry, x, Columns) finds them, pairs and single
// columns through the AVX2 steps. Arguments as the horizontal kernel's.
template <std::int32_t WideGather, std::int32_t RunColumns, typename GatherFn, typename RunLengthFn, typename RunFn>
void HorizontalBands(void* WorkDst, const void* Src, const std::intptr_t* EntryData, void* ScratchBlock,
                     std::int32_t GatherCount, std::int32_t Columns, std::int32_t Groups, std::int32_t WorkPitch,
                     std::int32_t SrcPitch, std::int32_t Rows, GatherFn Gather, RunLengthFn RunLength, RunFn Run) {
    auto ListAt = [](std::intptr_t Address) { return reinterpret_cast<const std::int16_t*>(Address); };
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
        for (; k + WideGather <= FullGathers; k += WideGather) Gather(Scratch + 32 * k, Row, std::ptrdiff_t{k} * 24);
        if (WideGather > 4 && k + 4 <= FullGathers) {
            GatherUnits16(Scratch + 32 * k, Row, std::ptrdiff_t{k} * 24);
            k += 4;
        }
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
            std::int32_t Length = 0;
            if (PairStart && x == KnownRunStart) {
                Length = KnownRun;
            } else if (PairStart) {
                Length = RunLength(Entry, x, Columns);
                if (Length > 1) KnownRunStart = x, KnownRun = Length;
            }
            if (Length > 0) {
                Run(Scratch + Entry[0], First, ListAt(Entry[3]), Length, Pairs, Line0 + 4 * std::ptrdiff_t{x}, Line);
                x += RunColumns * Length;
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

}  // namespace
