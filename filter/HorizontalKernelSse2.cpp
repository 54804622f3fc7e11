#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <utility>
#include <cstring>

#include "filter/FilterParam.h"
#include "filter/Kernels.h"
#include "filter/Sse2KernelHelpers.h"
#include "filter/Vectors.h"

namespace {

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

// Rounds four rows' sums of one column and stores them into the two lines.
inline void StoreColumn(unsigned char* Line0, unsigned char* Line1, __m128i Sum, __m128i Round) {
    __m128i Out = _mm_srai_epi32(_mm_add_epi32(Sum, Round), 14);
    Out = _mm_packs_epi32(Out, Out);  // rows 0..3
    Store32(Line0, _mm_cvtsi128_si32(Out));
    Store32(Line1, _mm_cvtsi128_si32(_mm_srli_si128(Out, 4)));
}

// Any column, any list: two pairs per step into alternating accumulators,
// an odd last pair after they are added.
inline __m128i ConvolveColumn(const unsigned char* Unit, const std::int16_t* List) {
    const std::int32_t Pairs = PairCount(List);
    __m128i Acc0 = _mm_setzero_si128();
    __m128i Acc1 = _mm_setzero_si128();
    std::int32_t j = 0;
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
        const __m128i U0 = _mm_load_si128(reinterpret_cast<const __m128i*>(Unit));
        Acc0 = _mm_add_epi32(Acc0, _mm_madd_epi16(U0, _mm_set1_epi32(Pair)));
    }
    return Acc0;
}

// Inside the row, columns come in pairs that start at the same unit: the
// even-start and odd-start lists that every interior column shares. Their
// coefficients are broadcast once and each unit feeds both columns.
constexpr std::int32_t MaxCachedPairs = 12;  // every radius of the range track

struct ListPair {
    const std::int16_t* First = nullptr;
    const std::int16_t* Second = nullptr;
    std::int32_t Pairs = 0;
    __m128i C0[MaxCachedPairs];
    __m128i C1[MaxCachedPairs];

    void Load(const std::int16_t* A, const std::int16_t* B) {
        First = A;
        Second = B;
        Pairs = PairCount(A);
        for (std::int32_t k = 0; k < Pairs; ++k) {
            std::int32_t P0, P1;
            std::memcpy(&P0, A + 2 * k, 4);
            std::memcpy(&P1, B + 2 * k, 4);
            C0[k] = _mm_set1_epi32(P0);
            C1[k] = _mm_set1_epi32(P1);
        }
    }
};

// Columns x and x + 1 can go together when they start at the same unit and
// their lists have the same length, short enough to cache.
inline bool Pairable(const std::intptr_t* Entry) {
    if (Entry[0] != Entry[2]) return false;
    const std::int32_t N = PairCount(reinterpret_cast<const std::int16_t*>(Entry[1]));
    return N <= MaxCachedPairs && N == PairCount(reinterpret_cast<const std::int16_t*>(Entry[3]));
}

// Runs over consecutive column pairs using Lists, from column x while the
// entries still name the same two lists at a shared unit. Returns the next x.
template <int N>
std::int32_t ConvolvePairRun(const unsigned char* Scratch, const std::intptr_t* EntryData,
                             const ListPair& Lists, std::int32_t x, std::int32_t Columns,
                             unsigned char* Line0, unsigned char* Line1) {
    const __m128i Round = _mm_loadu_si128(reinterpret_cast<const __m128i*>(RoundVector));
    const std::intptr_t First = reinterpret_cast<std::intptr_t>(Lists.First);
    const std::intptr_t Second = reinterpret_cast<std::intptr_t>(Lists.Second);
    for (; x + 1 < Columns; x += 2) {
        const std::intptr_t* Entry = EntryData + 2 * std::ptrdiff_t{x};
        if (Entry[1] != First || Entry[3] != Second || Entry[0] != Entry[2]) break;
        const unsigned char* Unit = Scratch + Entry[0];
        __m128i A = _mm_setzero_si128();
        __m128i B = _mm_setzero_si128();
        for (int k = 0; k < N; ++k) {
            const __m128i U = _mm_load_si128(reinterpret_cast<const __m128i*>(Unit + 16 * k));
            A = _mm_add_epi32(A, _mm_madd_epi16(U, Lists.C0[k]));
            B = _mm_add_epi32(B, _mm_madd_epi16(U, Lists.C1[k]));
        }
        A = _mm_srai_epi32(_mm_add_epi32(A, Round), 14);
        B = _mm_srai_epi32(_mm_add_epi32(B, Round), 14);
        // (x rows 0..3, x + 1 rows 0..3) -> rows 0, 1 of both, then rows 2, 3.
        const __m128i Out = _mm_shuffle_epi32(_mm_packs_epi32(A, B), _MM_SHUFFLE(3, 1, 2, 0));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Line0 + 4 * std::ptrdiff_t{x}), Out);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Line1 + 4 * std::ptrdiff_t{x}), _mm_srli_si128(Out, 8));
    }
    return x;
}

using PairRunFn = std::int32_t (*)(const unsigned char*, const std::intptr_t*, const ListPair&, std::int32_t,
                                   std::int32_t, unsigned char*, unsigned char*);

template <int... N>
constexpr std::array<PairRunFn, sizeof...(N) + 1> MakePairRuns(std::integer_sequence<int, N...>) {
    return {nullptr, &ConvolvePairRun<N + 1>...};
}
constexpr auto PairRuns = MakePairRuns(std::make_integer_sequence<int, MaxCachedPairs>{});

}  // namespace

void HorizontalKernelSse2(void* WorkDst, const void* Src, const std::intptr_t* EntryData,
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
    ListPair Lists;

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

        unsigned char* Line0 = Work;
        unsigned char* Line1 = Work + Line;
        for (std::int32_t x = 0; x < Columns;) {
            const std::intptr_t* Entry = EntryData + 2 * std::ptrdiff_t{x};
            if (x + 1 < Columns && Pairable(Entry)) {
                const std::int16_t* A = reinterpret_cast<const std::int16_t*>(Entry[1]);
                const std::int16_t* B = reinterpret_cast<const std::int16_t*>(Entry[3]);
                if (A != Lists.First || B != Lists.Second) Lists.Load(A, B);
                x = PairRuns[Lists.Pairs](Scratch, EntryData, Lists, x, Columns, Line0, Line1);
                continue;
            }
            const __m128i Sum = ConvolveColumn(Scratch + Entry[0], reinterpret_cast<const std::int16_t*>(Entry[1]));
            StoreColumn(Line0 + 4 * std::ptrdiff_t{x}, Line1 + 4 * std::ptrdiff_t{x}, Sum, Round);
            ++x;
        }
        Frame += std::ptrdiff_t{SrcPitch} * 4;
        Work += Line * 2;
    }
}
