#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "filter/FilterParam.h"
#include "filter/Kernels.h"
#include "filter/PixelVectors.h"
#include "filter/Vectors.h"

namespace {

inline int LoadY(const unsigned char* Pixel) {
    std::int16_t Y;
    std::memcpy(&Y, Pixel, 2);
    return Y;
}

// Two GatherUnits: pixels p, p + 1 and p + 2, p + 3 of four rows, lanes
// ordered (row 0 even, row 0 odd, row 1 even, ...). X0..X3 are byte offsets
// of the four pixels within a row.
inline void GatherUnits(unsigned char* Dst, const unsigned char* const Row[4], std::ptrdiff_t X0,
                        std::ptrdiff_t X1, std::ptrdiff_t X2, std::ptrdiff_t X3) {
    __m128i A = _mm_cvtsi32_si128(LoadY(Row[0] + X0));
    __m128i B = _mm_cvtsi32_si128(LoadY(Row[0] + X2));
    A = _mm_insert_epi16(A, LoadY(Row[0] + X1), 1);
    B = _mm_insert_epi16(B, LoadY(Row[0] + X3), 1);
    A = _mm_insert_epi16(A, LoadY(Row[1] + X0), 2);
    B = _mm_insert_epi16(B, LoadY(Row[1] + X2), 2);
    A = _mm_insert_epi16(A, LoadY(Row[1] + X1), 3);
    B = _mm_insert_epi16(B, LoadY(Row[1] + X3), 3);
    A = _mm_insert_epi16(A, LoadY(Row[2] + X0), 4);
    B = _mm_insert_epi16(B, LoadY(Row[2] + X2), 4);
    A = _mm_insert_epi16(A, LoadY(Row[2] + X1), 5);
    B = _mm_insert_epi16(B, LoadY(Row[2] + X3), 5);
    A = _mm_insert_epi16(A, LoadY(Row[3] + X0), 6);
    B = _mm_insert_epi16(B, LoadY(Row[3] + X2), 6);
    A = _mm_insert_epi16(A, LoadY(Row[3] + X1), 7);
    B = _mm_insert_epi16(B, LoadY(Row[3] + X3), 7);
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst), A);
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 16), B);
}

// Four GatherUnits from eight whole pixels of four rows: each row's Y as one
// vector, then 32-bit interleaves put pixel pairs of the four rows together.
inline void GatherUnits8(unsigned char* Dst, const unsigned char* const Row[4], std::ptrdiff_t X) {
    __m128i R[4];
    for (int r = 0; r < 4; ++r) {
        __m128i A, B, C;
        LoadPixels8(Row[r] + X, A, B, C);
        R[r] = ExtractY(A, B, C);
    }
    const __m128i Low01 = _mm_unpacklo_epi32(R[0], R[1]);
    const __m128i Low23 = _mm_unpacklo_epi32(R[2], R[3]);
    const __m128i High01 = _mm_unpackhi_epi32(R[0], R[1]);
    const __m128i High23 = _mm_unpackhi_epi32(R[2], R[3]);
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst), _mm_unpacklo_epi64(Low01, Low23));
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 16), _mm_unpackhi_epi64(Low01, Low23));
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 32), _mm_unpacklo_epi64(High01, High23));
    _mm_store_si128(reinterpret_cast<__m128i*>(Dst + 48), _mm_unpackhi_epi64(High01, High23));
}

inline void Store32(unsigned char* Dst, int Value) { std::memcpy(Dst, &Value, 4); }

}  // namespace

void HorizontalKernel(void* WorkDst, const void* Src, const std::intptr_t* EntryData,
                      void* ScratchBlock, std::int32_t GatherCount, std::int32_t Columns,
                      std::int32_t Groups, std::int32_t WorkPitch, std::int32_t SrcPitch,
                      std::int32_t Rows) {
    const __m128i Round = _mm_loadu_si128(reinterpret_cast<const __m128i*>(RoundVector));
    unsigned char* Work = static_cast<unsigned char*>(WorkDst);
    const unsigned char* Frame = static_cast<const unsigned char*>(Src);
    unsigned char* Scratch = static_cast<unsigned char*>(ScratchBlock);
    const std::ptrdiff_t Line = std::ptrdiff_t{WorkPitch} * 2;
    // 4-pixel groups wholly inside the row; the last one may be partial.
    const std::int32_t FullGathers = Columns / 4;

    for (std::int32_t g = 0; g < Groups; ++g, Rows -= 4) {
        // Rows past the frame repeat its last row: their results land in
        // work-plane rows that reach no output except with a zero coefficient.
        const unsigned char* Row[4];
        Row[0] = Frame;
        for (int r = 1; r < 4; ++r) Row[r] = r < Rows ? Row[r - 1] + SrcPitch : Row[r - 1];

        std::int32_t k = 0;
        for (; k + 2 <= FullGathers; k += 2) GatherUnits8(Scratch + 32 * k, Row, std::ptrdiff_t{k} * 24);
        for (; k < FullGathers; ++k) {
            const std::ptrdiff_t X = std::ptrdiff_t{k} * 24;
            GatherUnits(Scratch + 32 * k, Row, X, X + 6, X + 12, X + 18);
        }
        if (FullGathers < GatherCount) {
            // Pixels past the width repeat the last one; only a zero
            // coefficient ever meets them.
            const std::ptrdiff_t Last = (std::ptrdiff_t{Columns} - 1) * 6;
            const std::ptrdiff_t X = std::ptrdiff_t{FullGathers} * 24;
            GatherUnits(Scratch + 32 * FullGathers, Row, X, std::min(X + 6, Last),
                        std::min(X + 12, Last), std::min(X + 18, Last));
        }

        const std::intptr_t* Entry = EntryData;
        for (std::int32_t x = 0; x < Columns; ++x, Entry += 2) {
            const unsigned char* Unit = Scratch + Entry[0];
            const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entry[1]);
            const std::int32_t Pairs = PairCount(List);
            __m128i Acc0 = _mm_setzero_si128();
            __m128i Acc1 = _mm_setzero_si128();
            std::int32_t j = 0;
            // Two pairs per step into alternating accumulators.
            for (; j + 2 <= Pairs; j += 2, Unit += 32) {
                const __m128i C = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(List + 2 * j));
                const __m128i U0 = _mm_load_si128(reinterpret_cast<const __m128i*>(Unit));
                const __m128i U1 = _mm_load_si128(reinterpret_cast<const __m128i*>(Unit + 16));
                Acc0 = _mm_add_epi32(Acc0, _mm_madd_epi16(U0, _mm_shuffle_epi32(C, 0x00)));
                Acc1 = _mm_add_epi32(Acc1, _mm_madd_epi16(U1, _mm_shuffle_epi32(C, 0x55)));
            }
            Acc0 = _mm_add_epi32(Acc0, Acc1);
            if (j < Pairs) {
                std::int32_t Pair;
                std::memcpy(&Pair, List + 2 * j, 4);
                const __m128i C = _mm_set1_epi32(Pair);
                const __m128i U0 = _mm_load_si128(reinterpret_cast<const __m128i*>(Unit));
                Acc0 = _mm_add_epi32(Acc0, _mm_madd_epi16(U0, C));
            }
            // Lanes are rows 0..3 of the group.
            __m128i Out = _mm_srai_epi32(_mm_add_epi32(Acc0, Round), 14);
            Out = _mm_packs_epi32(Out, Out);
            Store32(Work + 4 * std::ptrdiff_t{x}, _mm_cvtsi128_si32(Out));
            Store32(Work + Line + 4 * std::ptrdiff_t{x}, _mm_cvtsi128_si32(_mm_srli_si128(Out, 4)));
        }
        Frame += std::ptrdiff_t{SrcPitch} * 4;
        Work += Line * 2;
    }
}
