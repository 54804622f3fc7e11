// The format kernels in AVX2: the SSE2 file's steps sixteen columns at a
// time. Compiled with -mavx2 and run only where CPUID and XGETBV allow, so
// every helper stays in this file's anonymous namespace (an inline function
// shared with the SSE2 files could be emitted from this one, VEX code and
// all, and picked by the linker for every caller). The plain parts shared
// with the other sets are out of line, in filter/FormatRows.cpp.
#include <immintrin.h>

#include <cstring>

#include "filter/FilterParam.h"
#include "filter/Kernels.h"
#include "filter/PixelFormats.h"
#include "filter/FormatRows.h"
#include "filter/Vectors.h"

namespace {

using Layout = PixelLayout;

inline __m256i Load(const void* P) { return _mm256_loadu_si256(static_cast<const __m256i*>(P)); }
inline void Store(void* P, __m256i V) { _mm256_storeu_si256(static_cast<__m256i*>(P), V); }

// Restores column order after an in-lane pack of two 8-lane vectors.
inline __m256i InOrder(__m256i Packed) { return _mm256_permute4x64_epi64(Packed, 0xD8); }

// ---- luma ---------------------------------------------------------------------

// Luma of eight 8-bit RGBA (or BGRA, by the weights) pixels in 32-bit lanes,
// in pixel order: the SSE2 arithmetic (filter/RgbLumaSse2.h), lane for lane.
inline __m256i LumaOf(__m256i Pixels, __m256i Weights) {
    const __m256i Zero = _mm256_setzero_si256();
    const __m256i Lo = _mm256_madd_epi16(_mm256_unpacklo_epi8(Pixels, Zero), Weights);
    const __m256i Hi = _mm256_madd_epi16(_mm256_unpackhi_epi8(Pixels, Zero), Weights);
    const __m256 L = _mm256_castsi256_ps(Lo), H = _mm256_castsi256_ps(Hi);
    const __m256i W = _mm256_add_epi32(_mm256_castps_si256(_mm256_shuffle_ps(L, H, _MM_SHUFFLE(2, 0, 2, 0))),
                                       _mm256_castps_si256(_mm256_shuffle_ps(L, H, _MM_SHUFFLE(3, 1, 3, 1))));
    const __m256i N = _mm256_add_epi32(_mm256_slli_epi32(W, 10), _mm256_set1_epi32(31875));
    __m256i Q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(N), _mm256_set1_ps(1.0f / 63750.0f)));
    const __m256i Remainder = _mm256_sub_epi32(N, _mm256_mullo_epi32(Q, _mm256_set1_epi32(63750)));
    Q = _mm256_add_epi32(Q, _mm256_cmpgt_epi32(Zero, Remainder));                    // -1 if too big
    return _mm256_sub_epi32(Q, _mm256_cmpgt_epi32(Remainder, _mm256_set1_epi32(63749)));  // +1 if too small
}

inline __m256i Weights(Layout L) {
    return L == Layout::Rgba8 ? _mm256_setr_epi16(299, 587, 114, 0, 299, 587, 114, 0, 299, 587, 114, 0, 299, 587, 114, 0)
                              : _mm256_setr_epi16(114, 587, 299, 0, 114, 587, 299, 0, 114, 587, 299, 0, 114, 587, 299, 0);
}

// Luma of sixteen 4-byte pixels at P, in order.
inline __m256i Luma16(const std::uint8_t* P, __m256i W) {
    return InOrder(_mm256_packs_epi32(LumaOf(Load(P), W), LumaOf(Load(P + 32), W)));
}

// Sixteen 8-bit codes (as words) to Y: see the SSE2 file.
inline __m256i CodesToLuma8(__m256i c, bool Full) {
    if (Full)
        return _mm256_add_epi16(_mm256_slli_epi16(c, 4), _mm256_srli_epi16(_mm256_add_epi16(c, _mm256_set1_epi16(8)), 4));
    const __m256i Whole = _mm256_mullo_epi16(c, _mm256_set1_epi16(18));
    const __m256i Part = _mm256_srli_epi16(_mm256_mullo_epi16(c, _mm256_set1_epi16(45)), 6);
    return _mm256_sub_epi16(_mm256_add_epi16(Whole, Part), _mm256_set1_epi16(299));
}

inline __m256i Codes8(const std::uint8_t* P) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P)));
}

template <Layout L>
void RowLuma(const std::uint8_t* Row, std::int32_t Columns, const PixelFormat& F, std::int16_t* Luma) {
    std::int32_t x = 0;
    if constexpr (L == Layout::Rgba8 || L == Layout::Bgra8) {
        const __m256i W = Weights(L);
        for (; x + 16 <= Columns; x += 16) Store(Luma + x, Luma16(Row + 4 * x, W));
    } else if constexpr (L == Layout::Planar8) {
        for (; x + 16 <= Columns; x += 16) Store(Luma + x, CodesToLuma8(Codes8(Row + x), F.FullRange));
    }
    RowLumaTail(L, Row, x, Columns, F, Luma);
}

// ---- horizontal -----------------------------------------------------------

constexpr std::int32_t CachedPairs = 16;

inline std::int32_t PairAt(const std::int16_t* List, std::int32_t k) {
    std::int32_t Pair;
    std::memcpy(&Pair, List + 2 * k, 4);
    return Pair;
}

inline __m256i Rounded(__m256i Sum) { return _mm256_srai_epi32(_mm256_add_epi32(Sum, _mm256_set1_epi32(8192)), 14); }

// Columns x .. x + 15 of two rows (luma runs A and B from the columns'
// common first sample) into one row-pair line: even columns against the run's
// even list, odd ones against its odd list, from the same loads.
template <int N>
__attribute__((always_inline)) inline void ConvolveSixteen(const std::int16_t* A, const std::int16_t* B,
                                                           const __m256i* Even, const __m256i* Odd,
                                                           std::int32_t Pairs, unsigned char* Line) {
    const std::int32_t n = N > 0 ? N : Pairs;
    __m256i EvenA = _mm256_setzero_si256(), OddA = _mm256_setzero_si256();
    __m256i EvenB = _mm256_setzero_si256(), OddB = _mm256_setzero_si256();
    for (std::int32_t k = 0; k < n; ++k) {
        const __m256i a = Load(A + 2 * k), b = Load(B + 2 * k);
        EvenA = _mm256_add_epi32(EvenA, _mm256_madd_epi16(a, Even[k]));
        OddA = _mm256_add_epi32(OddA, _mm256_madd_epi16(a, Odd[k]));
        EvenB = _mm256_add_epi32(EvenB, _mm256_madd_epi16(b, Even[k]));
        OddB = _mm256_add_epi32(OddB, _mm256_madd_epi16(b, Odd[k]));
    }
    // Per lane: a0 a2 a4 a6 b0 b2 b4 b6 and the odd ones; then rows a and b
    // in column order per lane, then column pairs (a, b).
    const __m256i EvenAB = _mm256_packs_epi32(Rounded(EvenA), Rounded(EvenB));
    const __m256i OddAB = _mm256_packs_epi32(Rounded(OddA), Rounded(OddB));
    const __m256i RowA = _mm256_unpacklo_epi16(EvenAB, OddAB), RowB = _mm256_unpackhi_epi16(EvenAB, OddAB);
    const __m256i Lo = _mm256_unpacklo_epi16(RowA, RowB), Hi = _mm256_unpackhi_epi16(RowA, RowB);
    Store(Line, _mm256_permute2x128_si256(Lo, Hi, 0x20));
    Store(Line + 32, _mm256_permute2x128_si256(Lo, Hi, 0x31));
}

// The run's columns of a row pair, sixteen at a time, from First (the
// first column's first sample) on; returns the first column not done. N as
// for ConvolveSixteen: the coefficients are broadcast once per call.
template <int N>
std::int32_t ConvolveRun(const std::int16_t* A, const std::int16_t* B, const ColumnRun& Run, unsigned char* Out) {
    __m256i Even[N > 0 ? N : CachedPairs], Odd[N > 0 ? N : CachedPairs];
    for (std::int32_t k = 0; k < (N > 0 ? N : Run.Pairs); ++k) {
        Even[k] = _mm256_set1_epi32(PairAt(Run.Even, k));
        Odd[k] = _mm256_set1_epi32(PairAt(Run.Odd, k));
    }
    std::int32_t x = Run.Start;
    for (std::int32_t First = Run.FirstSample; x + 16 <= Run.End; x += 16, First += 16)
        ConvolveSixteen<N>(A + First, B + First, Even, Odd, Run.Pairs, Out + 4 * std::ptrdiff_t{x});
    // The last few columns of the run as a step that ends with it: the
    // columns it shares with the step before come out the same again.
    if (x < Run.End && x > Run.Start) {
        x = Run.End - 16;
        ConvolveSixteen<N>(A + Run.FirstSample + (x - Run.Start), B + Run.FirstSample + (x - Run.Start), Even, Odd,
                           Run.Pairs, Out + 4 * std::ptrdiff_t{x});
        x = Run.End;
    }
    return x;
}

using RunFn = std::int32_t (*)(const std::int16_t*, const std::int16_t*, const ColumnRun&, unsigned char*);
// Entry n: lists of n pairs; entry 0 any count up to CachedPairs. (A plain
// array, for the reason filter/HorizontalKernelAvx2.cpp gives.)
constexpr RunFn Runs[7] = {ConvolveRun<0>, ConvolveRun<1>, ConvolveRun<2>, ConvolveRun<3>,
                           ConvolveRun<4>, ConvolveRun<5>, ConvolveRun<6>};

template <Layout L>
void Horizontal(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch, const PixelFormat* Format,
                const std::intptr_t* Entries, std::int16_t* Luma, std::int32_t Columns, std::int32_t Groups,
                std::int32_t WorkPitch, std::int32_t Rows) {
    auto* Work = static_cast<unsigned char*>(WorkDst);
    const auto* Picture = static_cast<const std::uint8_t*>(Pixels);
    const PixelFormat& F = *Format;
    const std::ptrdiff_t Line = std::ptrdiff_t{WorkPitch} * 2;
    const ColumnRun Run = FindColumnRun(Entries, Columns, CachedPairs, 16);
    const RunFn Convolve = Runs[Run.Pairs < 7 ? Run.Pairs : 0];
    const std::ptrdiff_t Stride = LumaRunStride(Columns);
    for (std::int32_t g = 0; g < Groups; ++g, Rows -= 4, Picture += 4 * Pitch, Work += 2 * Line) {
        for (std::int32_t p = 0; p < 2; ++p) {
            std::int16_t* LumaA = Luma + (4 * g + 2 * p) * Stride;
            std::int16_t* LumaB = LumaA + Stride;
            const std::int32_t Upper = 2 * p < Rows - 1 ? 2 * p : Rows - 1;
            const std::int32_t Lower = 2 * p + 1 < Rows - 1 ? 2 * p + 1 : Rows - 1;
            RowLuma<L>(Picture + Upper * Pitch, Columns, F, LumaA);
            PadLumaRun(LumaA, Columns);
            RowLuma<L>(Picture + Lower * Pitch, Columns, F, LumaB);
            PadLumaRun(LumaB, Columns);
            unsigned char* Out = Work + p * Line;
            const std::int32_t x = Convolve(LumaA, LumaB, Run, Out);
            ConvolveColumnsOneByOne(Entries, LumaA, LumaB, 0, Run.Start, Out);
            ConvolveColumnsOneByOne(Entries, LumaA, LumaB, x, Columns, Out);
        }
    }
}

// ---- vertical -------------------------------------------------------------

inline __m256i Sharpen(__m256i B, __m256i Y, const SharpenLanes* Lanes) {
    const __m256i Threshold = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Threshold)));
    const __m256i Amount = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Amount)));
    const __m256i D = _mm256_sub_epi16(B, Y);
    const __m256i S = _mm256_srai_epi16(D, 15);
    const __m256i M = _mm256_xor_si256(D, S);
    const __m256i E = _mm256_xor_si256(_mm256_subs_epu16(M, _mm256_subs_epu16(Threshold, M)), S);
    const __m256i P = _mm256_andnot_si256(S, E), N = _mm256_and_si256(S, E);
    const __m256i V0 = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(P, N), Amount), 12);
    const __m256i V1 = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(P, N), Amount), 12);
    return _mm256_add_epi16(Y, _mm256_packs_epi32(V0, V1));
}

// LumaChangeToCode(After - Before) for 8-bit pixels, the magnitude held to
// 8191 as in the SSE2 file; (m x 255 + 2048) >> 12 is the rounding
// high multiply of m by 2040.
inline __m256i CodesOfChange(__m256i After, __m256i Before) {
    const __m256i Change = _mm256_subs_epi16(After, Before);
    const __m256i Magnitude = _mm256_min_epu16(_mm256_abs_epi16(Change), _mm256_set1_epi16(8191));
    return _mm256_sign_epi16(_mm256_mulhrs_epi16(Magnitude, _mm256_set1_epi16(2040)), Change);
}

// Byte shuffles spreading one code byte over a pixel's R, G and B (alpha
// gets 0): pixels 0..3 of a lane from bytes 0..3 (low lane) or 4..7 (high)
// for the additions, bytes 8..11 or 12..15 for the subtractions.
alignas(32) const std::int8_t SpreadMasks[2][32] = {
    {0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1, 4, 4, 4, -1, 5, 5, 5, -1, 6, 6, 6, -1, 7, 7, 7, -1},
    {8, 8, 8, -1, 9, 9, 9, -1, 10, 10, 10, -1, 11, 11, 11, -1,
     12, 12, 12, -1, 13, 13, 13, -1, 14, 14, 14, -1, 15, 15, 15, -1}};

// Adds sixteen pixels' codes (column order, |code| <= 510) to R, G and B of
// the pixels P0 (0..7) and P1 (8..15), clipped to 0..255: saturating byte
// additions of the positive part and subtractions of the negative part
// clip exactly as the wider sum would.
inline void AddCodes16(__m256i& P0, __m256i& P1, __m256i Codes) {
    const __m256i Zero = _mm256_setzero_si256();
    const __m256i Up = _mm256_max_epi16(Codes, Zero), Down = _mm256_max_epi16(_mm256_sub_epi16(Zero, Codes), Zero);
    // Per lane: the up bytes of its eight columns, then the down bytes.
    const __m256i Bytes = _mm256_packus_epi16(Up, Down);
    const __m256i Spread = _mm256_load_si256(reinterpret_cast<const __m256i*>(SpreadMasks[0]));
    const __m256i Downs = _mm256_load_si256(reinterpret_cast<const __m256i*>(SpreadMasks[1]));
    const __m256i Low = _mm256_permute2x128_si256(Bytes, Bytes, 0x00), High = _mm256_permute2x128_si256(Bytes, Bytes, 0x11);
    P0 = _mm256_subs_epu8(_mm256_adds_epu8(P0, _mm256_shuffle_epi8(Low, Spread)), _mm256_shuffle_epi8(Low, Downs));
    P1 = _mm256_subs_epu8(_mm256_adds_epu8(P1, _mm256_shuffle_epi8(High, Spread)), _mm256_shuffle_epi8(High, Downs));
}

inline __m256i LumaToCodes8(__m256i Y, bool Full) {
    const __m256i Ones = _mm256_set1_epi16(1);
    const __m256i Factors = _mm256_set1_epi32(Full ? (2048 << 16) | 255 : (383 << 16) | 219);
    const __m256i Offset = _mm256_set1_epi32(Full ? 0 : 16);
    const __m256i Lo = _mm256_add_epi32(_mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(Y, Ones), Factors), 12), Offset);
    const __m256i Hi = _mm256_add_epi32(_mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(Y, Ones), Factors), 12), Offset);
    const __m256i Words = _mm256_packs_epi32(Lo, Hi);  // in-lane order undone by the unpacks
    return _mm256_packus_epi16(Words, Words);          // lane 0: codes 0..7, lane 1: 8..15
}

// Sixteen pixels of luma Y (as the horizontal pass found it), sharpened
// against Blurred, from In to Out; Stream: with stores that bypass the
// cache (Out aligned, and not read again here).
template <Layout L, bool Stream = false>
__attribute__((always_inline)) inline void SharpenSixteen(const std::uint8_t* In, std::uint8_t* Out,
                                                          const std::int16_t* Y, __m256i Blurred,
                                                          const PixelFormat& F, const SharpenLanes* Lanes) {
    const __m256i Before = Load(Y);
    if constexpr (L == Layout::Rgba8 || L == Layout::Bgra8) {
        __m256i P0 = Load(In), P1 = Load(In + 32);
        AddCodes16(P0, P1, CodesOfChange(Sharpen(Blurred, Before, Lanes), Before));
        if (Stream) {
            _mm256_stream_si256(reinterpret_cast<__m256i*>(Out), P0);
            _mm256_stream_si256(reinterpret_cast<__m256i*>(Out + 32), P1);
        } else {
            Store(Out, P0);
            Store(Out + 32, P1);
        }
    } else if constexpr (L == Layout::Planar8) {
        const __m256i After = Sharpen(Blurred, Before, Lanes);
        const __m256i Bytes = LumaToCodes8(After, F.FullRange);
        const __m128i Both = _mm_unpacklo_epi64(_mm256_castsi256_si128(Bytes), _mm256_extracti128_si256(Bytes, 1));
        if (Stream)
            _mm_stream_si128(reinterpret_cast<__m128i*>(Out), Both);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), Both);
    } else {
        alignas(32) std::int16_t After[16];
        _mm256_store_si256(reinterpret_cast<__m256i*>(After), Sharpen(Blurred, Before, Lanes));
        StoreChangedCodes16(In, Out, Y, After, 16, F);
    }
}

// Sixteen columns of one output row: two 32-byte lines of the plane per pair.
inline __m256i BlurSixteen(const unsigned char* Work, const std::int16_t* List, std::int32_t Pairs,
                           std::ptrdiff_t Line) {
    __m256i Acc0 = _mm256_setzero_si256(), Acc1 = _mm256_setzero_si256();
    for (std::int32_t k = 0; k < Pairs; ++k, Work += Line) {
        const __m256i C = _mm256_set1_epi32(PairAt(List, k));
        Acc0 = _mm256_add_epi32(Acc0, _mm256_madd_epi16(Load(Work), C));
        Acc1 = _mm256_add_epi32(Acc1, _mm256_madd_epi16(Load(Work + 32), C));
    }
    return InOrder(_mm256_packs_epi32(Rounded(Acc0), Rounded(Acc1)));
}

// Eight columns (words 0..7; the rest repeat them).
inline __m256i BlurEight(const unsigned char* Work, const std::int16_t* List, std::int32_t Pairs, std::ptrdiff_t Line) {
    __m256i Acc = _mm256_setzero_si256();
    for (std::int32_t k = 0; k < Pairs; ++k, Work += Line)
        Acc = _mm256_add_epi32(Acc, _mm256_madd_epi16(Load(Work), _mm256_set1_epi32(PairAt(List, k))));
    const __m256i Values = Rounded(Acc);
    return InOrder(_mm256_packs_epi32(Values, Values));
}

// One row's whole 16-column groups. N: the list's pair count fixed at
// compile time (the pair loop unrolls and the coefficients stay in
// registers), 0 for any count.
template <Layout L, bool Stream, int N>
void SharpenRowGroups(const std::uint8_t* In, std::uint8_t* Out, const std::int16_t* Luma, const unsigned char* Base,
                      const std::int16_t* List, std::int32_t Pairs, std::int32_t Groups, std::ptrdiff_t Line,
                      const PixelFormat& F, const SharpenLanes* Lanes) {
    constexpr int Bytes = L == Layout::Planar8 ? 1 : L == Layout::Planar16 ? 2 : 4;
    if constexpr (N == 0) {
        for (std::int32_t g = 0; g < Groups; ++g, In += 16 * Bytes, Out += 16 * Bytes, Luma += 16, Base += 64)
            SharpenSixteen<L, Stream>(In, Out, Luma, BlurSixteen(Base, List, Pairs, Line), F, Lanes);
    } else {
        __m256i C[N];
        for (int k = 0; k < N; ++k) C[k] = _mm256_set1_epi32(PairAt(List, k));
        for (std::int32_t g = 0; g < Groups; ++g, In += 16 * Bytes, Out += 16 * Bytes, Luma += 16, Base += 64) {
            __m256i Acc0 = _mm256_setzero_si256(), Acc1 = _mm256_setzero_si256();
            for (int k = 0; k < N; ++k) {
                Acc0 = _mm256_add_epi32(Acc0, _mm256_madd_epi16(Load(Base + k * Line), C[k]));
                Acc1 = _mm256_add_epi32(Acc1, _mm256_madd_epi16(Load(Base + k * Line + 32), C[k]));
            }
            SharpenSixteen<L, Stream>(In, Out, Luma, InOrder(_mm256_packs_epi32(Rounded(Acc0), Rounded(Acc1))), F,
                                      Lanes);
        }
    }
}

using RowGroupsFn = void (*)(const std::uint8_t*, std::uint8_t*, const std::int16_t*, const unsigned char*,
                             const std::int16_t*, std::int32_t, std::int32_t, std::ptrdiff_t, const PixelFormat&,
                             const SharpenLanes*);

// Entry n: lists of n pairs (the short blurs most use); entry 0 any other.
template <Layout L, bool Stream>
constexpr RowGroupsFn RowGroups[7] = {SharpenRowGroups<L, Stream, 0>, SharpenRowGroups<L, Stream, 1>,
                                      SharpenRowGroups<L, Stream, 2>, SharpenRowGroups<L, Stream, 3>,
                                      SharpenRowGroups<L, Stream, 4>, SharpenRowGroups<L, Stream, 5>,
                                      SharpenRowGroups<L, Stream, 6>};

template <Layout L>
void Vertical(const void* From, void* To, std::ptrdiff_t Pitch, const PixelFormat* Format, const void* Plane,
              std::intptr_t WorkStart, const std::intptr_t* Entries, const std::int16_t* Luma, std::int32_t Columns,
              std::int32_t RowCount, std::int32_t WorkPitch, const SharpenLanes* Lanes) {
    const auto* In = static_cast<const std::uint8_t*>(From);
    auto* Out = static_cast<std::uint8_t*>(To);
    const auto* Work = static_cast<const unsigned char*>(Plane);
    const PixelFormat& F = *Format;
    const std::ptrdiff_t Line = std::ptrdiff_t{WorkPitch} * 2;
    constexpr int Bytes = L == Layout::Planar8 ? 1 : L == Layout::Planar16 ? 2 : 4;
    const std::ptrdiff_t Stride = LumaRunStride(Columns);
    // Into another picture, the rows written are not read again: stores that
    // bypass the cache spare reading each line of Out first. They need
    // aligned groups, and a fence before the pool reports the run done.
    const std::uintptr_t Align = L == Layout::Planar8 ? 16 : 32;
    const bool Streams = L != Layout::Planar16 && In != Out && reinterpret_cast<std::uintptr_t>(Out) % Align == 0 &&
                         static_cast<std::uintptr_t>(Pitch) % Align == 0;
    for (std::int32_t y = 0; y < RowCount; ++y, In += Pitch, Out += Pitch, Entries += 2, Luma += Stride) {
        const unsigned char* Base = Work + (Entries[0] - WorkStart);
        const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entries[1]);
        const std::int32_t Pairs = PairCount(List);
        const std::int32_t Groups = Columns / 16, x = 16 * Groups;
        const int Entry = Pairs < 7 ? Pairs : 0;
        (Streams ? RowGroups<L, true> : RowGroups<L, false>)[Entry](In, Out, Luma, Base, List, Pairs, Groups, Line, F,
                                                                   Lanes);
        if (x < Columns) {
            // The last columns through a copy: only the real pixels are read
            // and written. The plane's lines are padded to 8 columns, so 8
            // columns or fewer are blurred from one 32-byte load per pair.
            alignas(32) std::uint8_t Tail[16 * Bytes] = {};
            const std::size_t Real = static_cast<std::size_t>(Columns - x) * Bytes;
            std::memcpy(Tail, In + x * Bytes, Real);
            const unsigned char* At = Base + 4 * std::ptrdiff_t{x};
            const __m256i Blurred =
                Columns - x > 8 ? BlurSixteen(At, List, Pairs, Line) : BlurEight(At, List, Pairs, Line);
            SharpenSixteen<L>(Tail, Tail, Luma + x, Blurred, F, Lanes);
            std::memcpy(Out + x * Bytes, Tail, Real);
        }
    }
    if (Streams) _mm_sfence();
}

// By layout, in PixelLayout's order.
constexpr FormatHorizontalKernelFn Horizontals[] = {Horizontal<Layout::Rgba8>, Horizontal<Layout::Bgra8>,
                                              Horizontal<Layout::Planar8>, Horizontal<Layout::Planar16>};
constexpr FormatVerticalKernelFn Verticals[] = {Vertical<Layout::Rgba8>, Vertical<Layout::Bgra8>, Vertical<Layout::Planar8>,
                                          Vertical<Layout::Planar16>};

}  // namespace

void FormatHorizontalKernelAvx2(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch, const PixelFormat* Format,
                          const std::intptr_t* Entries, std::int16_t* Luma, std::int32_t Columns, std::int32_t Groups,
                          std::int32_t WorkPitch, std::int32_t Rows) {
    Horizontals[static_cast<int>(Format->Layout)](WorkDst, Pixels, Pitch, Format, Entries, Luma, Columns, Groups,
                                                  WorkPitch, Rows);
}

void FormatVerticalKernelAvx2(const void* In, void* Out, std::ptrdiff_t Pitch, const PixelFormat* Format, const void* Work,
                        std::intptr_t WorkStart, const std::intptr_t* Entries, const std::int16_t* Luma,
                        std::int32_t Columns, std::int32_t RowCount, std::int32_t WorkPitch, const SharpenLanes* Lanes) {
    Verticals[static_cast<int>(Format->Layout)](In, Out, Pitch, Format, Work, WorkStart, Entries, Luma, Columns, RowCount,
                                                WorkPitch, Lanes);
}
