// The format kernels in SSE2. The horizontal pass turns each row pair of the
// picture into two runs of luma in scratch and convolves them: across the
// columns whose lists repeat (every column but those within the blur's reach
// of an edge) eight columns at a time, one unaligned load of luma per pair
// serving the even and the odd columns; the edge columns one by one. The
// vertical pass blurs eight columns of the work plane, computes the same
// pixels' luma again from the picture and writes them back with the change.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "filter/FilterParam.h"
#include "filter/Kernels.h"
#include "filter/PixelFormats.h"
#include "filter/FormatRows.h"
#include "filter/RgbLumaSse2.h"
#include "filter/Vectors.h"

namespace {

using Layout = PixelLayout;

// ---- luma of one row, into a contiguous run ---------------------------------

// 8-bit codes, sixteen at a time. Limited range: ((c * 1197) >> 6) - 299 is
// 18 c + ((45 c) >> 6) - 299 exactly; full range: 16 c + ((c + 8) >> 4) is
// the nearest Y to c * 4096 / 255 for every code (both fit 16-bit lanes).
inline __m128i CodesToLuma8(__m128i c, bool Full) {
    if (Full) return _mm_add_epi16(_mm_slli_epi16(c, 4), _mm_srli_epi16(_mm_add_epi16(c, _mm_set1_epi16(8)), 4));
    const __m128i Whole = _mm_mullo_epi16(c, _mm_set1_epi16(18));
    const __m128i Part = _mm_srli_epi16(_mm_mullo_epi16(c, _mm_set1_epi16(45)), 6);
    return _mm_sub_epi16(_mm_add_epi16(Whole, Part), _mm_set1_epi16(299));
}

template <Layout L>
void RowLuma(const std::uint8_t* Row, std::int32_t Columns, const PixelFormat& F, std::int16_t* Luma) {
    std::int32_t x = 0;
    if constexpr (L == Layout::Rgba8 || L == Layout::Bgra8) {
        const __m128i W = L == Layout::Rgba8 ? RgbaLumaWeights() : BgraLumaWeights();
        for (; x + 8 <= Columns; x += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Luma + x),
                             _mm_packs_epi32(LumaOf(LoadRgba(Row + 4 * x), W), LumaOf(LoadRgba(Row + 4 * x + 16), W)));
    } else if constexpr (L == Layout::Planar8) {
        const __m128i Zero = _mm_setzero_si128();
        for (; x + 16 <= Columns; x += 16) {
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Row + x));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Luma + x), CodesToLuma8(_mm_unpacklo_epi8(c, Zero), F.FullRange));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Luma + x + 8), CodesToLuma8(_mm_unpackhi_epi8(c, Zero), F.FullRange));
        }
    }
    RowLumaTail(L, Row, x, Columns, F, Luma);
}

// ---- horizontal -------------------------------------------------------------

constexpr std::int32_t CachedPairs = 16;

struct RunCoefficients {
    __m128i Even[CachedPairs];  // list A, for columns Start, Start + 2, ...
    __m128i Odd[CachedPairs];   // list B, for columns Start + 1, ...
};

inline __m128i Broadcast(const std::int16_t* List, std::int32_t k) {
    std::int32_t Pair;
    std::memcpy(&Pair, List + 2 * k, 4);
    return _mm_set1_epi32(Pair);
}

inline __m128i Rounded(__m128i Sum) {
    return _mm_srai_epi32(_mm_add_epi32(Sum, _mm_loadu_si128(reinterpret_cast<const __m128i*>(RoundVector))), 14);
}

// Columns x .. x + 7 of two rows (luma runs A and B, both from the columns'
// common first sample) into one row-pair line.
template <int N>
void ConvolveEight(const std::int16_t* A, const std::int16_t* B, const RunCoefficients& C, std::int32_t Pairs,
                   unsigned char* Line) {
    const std::int32_t n = N > 0 ? N : Pairs;
    __m128i EvenA = _mm_setzero_si128(), OddA = _mm_setzero_si128();
    __m128i EvenB = _mm_setzero_si128(), OddB = _mm_setzero_si128();
    for (std::int32_t k = 0; k < n; ++k) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + 2 * k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(B + 2 * k));
        EvenA = _mm_add_epi32(EvenA, _mm_madd_epi16(a, C.Even[k]));
        OddA = _mm_add_epi32(OddA, _mm_madd_epi16(a, C.Odd[k]));
        EvenB = _mm_add_epi32(EvenB, _mm_madd_epi16(b, C.Even[k]));
        OddB = _mm_add_epi32(OddB, _mm_madd_epi16(b, C.Odd[k]));
    }
    const __m128i Even = _mm_packs_epi32(Rounded(EvenA), Rounded(EvenB));  // a0 a2 a4 a6 b0 b2 b4 b6
    const __m128i Odd = _mm_packs_epi32(Rounded(OddA), Rounded(OddB));     // a1 a3 a5 a7 b1 b3 b5 b7
    const __m128i RowA = _mm_unpacklo_epi16(Even, Odd);
    const __m128i RowB = _mm_unpackhi_epi16(Even, Odd);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Line), _mm_unpacklo_epi16(RowA, RowB));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Line + 16), _mm_unpackhi_epi16(RowA, RowB));
}

using EightFn = void (*)(const std::int16_t*, const std::int16_t*, const RunCoefficients&, std::int32_t,
                         unsigned char*);
// Entry n: lists of n pairs; entry 0 any count up to CachedPairs. (A plain
// array, for the reason filter/HorizontalKernelAvx2.cpp gives.)
constexpr EightFn Eights[7] = {ConvolveEight<0>, ConvolveEight<1>, ConvolveEight<2>, ConvolveEight<3>,
                               ConvolveEight<4>, ConvolveEight<5>, ConvolveEight<6>};

template <Layout L>
void Horizontal(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch, const PixelFormat* Format,
                const std::intptr_t* Entries, std::int16_t* Luma, std::int32_t Columns, std::int32_t Groups,
                std::int32_t WorkPitch, std::int32_t Rows) {
    auto* Work = static_cast<unsigned char*>(WorkDst);
    const auto* Picture = static_cast<const std::uint8_t*>(Pixels);
    const PixelFormat& F = *Format;
    const std::ptrdiff_t Line = std::ptrdiff_t{WorkPitch} * 2;
    const ColumnRun Run = FindColumnRun(Entries, Columns, CachedPairs, 8);
    RunCoefficients C;
    for (std::int32_t k = 0; k < Run.Pairs; ++k) {
        C.Even[k] = Broadcast(Run.Even, k);
        C.Odd[k] = Broadcast(Run.Odd, k);
    }
    const EightFn Eight = Eights[Run.Pairs < 7 ? Run.Pairs : 0];
    const std::ptrdiff_t Stride = LumaRunStride(Columns);
    for (std::int32_t g = 0; g < Groups; ++g, Rows -= 4, Picture += 4 * Pitch, Work += 2 * Line) {
        for (std::int32_t p = 0; p < 2; ++p) {
            std::int16_t* LumaA = Luma + (4 * g + 2 * p) * Stride;
            std::int16_t* LumaB = LumaA + Stride;
            // Rows past the picture repeat its last row: their results reach
            // no output except with a zero coefficient.
            const std::int32_t Upper = std::min(2 * p, Rows - 1), Lower = std::min(2 * p + 1, Rows - 1);
            RowLuma<L>(Picture + Upper * Pitch, Columns, F, LumaA);
            PadLumaRun(LumaA, Columns);
            RowLuma<L>(Picture + Lower * Pitch, Columns, F, LumaB);
            PadLumaRun(LumaB, Columns);
            unsigned char* Out = Work + p * Line;
            std::int32_t x = Run.Start;
            for (; x + 8 <= Run.End; x += 8) {
                const std::int32_t First = Run.FirstSample + (x - Run.Start);
                Eight(LumaA + First, LumaB + First, C, Run.Pairs, Out + 4 * std::ptrdiff_t{x});
            }
            // The run's last columns as a step that ends with it: the columns
            // it shares with the step before come out the same again.
            if (x < Run.End && x > Run.Start) {
                x = Run.End - 8;
                const std::int32_t First = Run.FirstSample + (x - Run.Start);
                Eight(LumaA + First, LumaB + First, C, Run.Pairs, Out + 4 * std::ptrdiff_t{x});
                x = Run.End;
            }
            ConvolveColumnsOneByOne(Entries, LumaA, LumaB, 0, Run.Start, Out);
            ConvolveColumnsOneByOne(Entries, LumaA, LumaB, x, Columns, Out);
        }
    }
}

// ---- vertical ---------------------------------------------------------------

// Soft threshold and the two amounts on eight lanes: the frame kernels' steps.
inline __m128i Sharpen(__m128i B, __m128i Y, const SharpenLanes* Lanes) {
    const __m128i Threshold = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Threshold));
    const __m128i Amount = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Lanes->Amount));
    const __m128i D = _mm_sub_epi16(B, Y);    // wraps
    const __m128i S = _mm_srai_epi16(D, 15);  // -1 where the pixel brightens
    const __m128i M = _mm_xor_si128(D, S);    // ones' complement, 0..32767
    const __m128i Soft = _mm_subs_epu16(M, _mm_subs_epu16(Threshold, M));
    const __m128i E = _mm_xor_si128(Soft, S);
    const __m128i P = _mm_andnot_si128(S, E);
    const __m128i N = _mm_and_si128(S, E);
    const __m128i V0 = _mm_madd_epi16(_mm_unpacklo_epi16(P, N), Amount);
    const __m128i V1 = _mm_madd_epi16(_mm_unpackhi_epi16(P, N), Amount);
    return _mm_add_epi16(Y, _mm_packs_epi32(_mm_srai_epi32(V0, 12), _mm_srai_epi32(V1, 12)));  // wraps
}

// LumaChangeToCode(After - Before) for 8-bit pixels. The difference
// saturates and its magnitude is held to 8191: any change from there on
// (code 510 and up) takes every channel to 0 or 255 alike, so the pixels
// come out as with the exact code. Then (m x 255 + 2048) >> 12 is
// (m x 4080 + 32768) >> 16, the high word plus the low word's top bit.
inline __m128i CodesOfChange(__m128i After, __m128i Before) {
    const __m128i Change = _mm_subs_epi16(After, Before);
    const __m128i Magnitude = _mm_min_epi16(_mm_max_epi16(Change, _mm_subs_epi16(_mm_setzero_si128(), Change)),
                                            _mm_set1_epi16(8191));
    const __m128i Scale = _mm_set1_epi16(4080);
    const __m128i Code = _mm_add_epi16(_mm_mulhi_epu16(Magnitude, Scale),
                                       _mm_srli_epi16(_mm_mullo_epi16(Magnitude, Scale), 15));
    const __m128i Sign = _mm_srai_epi16(Change, 15);
    return _mm_sub_epi16(_mm_xor_si128(Code, Sign), Sign);
}

// Y back to 8-bit codes, eight values, saturated into 0..255.
inline __m128i LumaToCodes8(__m128i Y, bool Full) {
    const __m128i Ones = _mm_set1_epi16(1);
    const __m128i Factors = Full ? _mm_set1_epi32((2048 << 16) | 255) : _mm_set1_epi32((383 << 16) | 219);
    const __m128i Offset = _mm_set1_epi32(Full ? 0 : 16);
    const __m128i Lo = _mm_add_epi32(_mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(Y, Ones), Factors), 12), Offset);
    const __m128i Hi = _mm_add_epi32(_mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(Y, Ones), Factors), 12), Offset);
    const __m128i Words = _mm_packs_epi32(Lo, Hi);
    return _mm_packus_epi16(Words, Words);
}

// Eight pixels of luma Y (as the horizontal pass found it), sharpened
// against Blurred, from In to Out.
template <Layout L>
inline void SharpenEight(const std::uint8_t* In, std::uint8_t* Out, const std::int16_t* Y, __m128i Blurred,
                         const PixelFormat& F, const SharpenLanes* Lanes) {
    const __m128i Before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Y));
    if constexpr (L == Layout::Rgba8 || L == Layout::Bgra8) {
        const __m128i P0 = LoadRgba(In), P1 = LoadRgba(In + 16);
        const __m128i Codes = CodesOfChange(Sharpen(Blurred, Before, Lanes), Before);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), AddWordCodes(P0, Codes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + 16), AddWordCodes(P1, _mm_srli_si128(Codes, 8)));
    } else if constexpr (L == Layout::Planar8) {
        const __m128i After = Sharpen(Blurred, Before, Lanes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Out), LumaToCodes8(After, F.FullRange));
    } else {
        alignas(16) std::int16_t After[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(After), Sharpen(Blurred, Before, Lanes));
        StoreChangedCodes16(In, Out, Y, After, 8, F);
    }
}

// Eight columns of one output row: the pairs' multiply-adds over the lines,
// coefficients from C (broadcast once per row) or, for a list too long to
// cache, from the list itself.
inline __m128i BlurEight(const unsigned char* Work, const __m128i* C, const std::int16_t* List, std::int32_t Pairs,
                         std::ptrdiff_t Line) {
    __m128i Acc0 = _mm_setzero_si128(), Acc1 = _mm_setzero_si128();
    for (std::int32_t k = 0; k < Pairs; ++k, Work += Line) {
        const __m128i Pair = C != nullptr ? C[k] : Broadcast(List, k);
        Acc0 = _mm_add_epi32(Acc0, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Work)), Pair));
        Acc1 = _mm_add_epi32(Acc1, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Work + 16)), Pair));
    }
    return _mm_packs_epi32(Rounded(Acc0), Rounded(Acc1));
}

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
    __m128i Cached[CachedPairs];
    const std::ptrdiff_t Stride = LumaRunStride(Columns);
    for (std::int32_t y = 0; y < RowCount; ++y, In += Pitch, Out += Pitch, Entries += 2, Luma += Stride) {
        const unsigned char* Base = Work + (Entries[0] - WorkStart);
        const std::int16_t* List = reinterpret_cast<const std::int16_t*>(Entries[1]);
        const std::int32_t Pairs = PairCount(List);
        const __m128i* C = Pairs <= CachedPairs ? Cached : nullptr;
        if (C != nullptr)
            for (std::int32_t k = 0; k < Pairs; ++k) Cached[k] = Broadcast(List, k);
        std::int32_t x = 0;
        for (; x + 8 <= Columns; x += 8)
            SharpenEight<L>(In + x * Bytes, Out + x * Bytes, Luma + x, BlurEight(Base + 4 * std::ptrdiff_t{x}, C, List, Pairs, Line), F,
                            Lanes);
        if (x < Columns) {
            // The last, partial group through a copy: only its real pixels
            // are read and written (the work plane is padded to 8 columns).
            alignas(16) std::uint8_t Tail[8 * Bytes] = {};
            const std::size_t Real = static_cast<std::size_t>(Columns - x) * Bytes;
            std::memcpy(Tail, In + x * Bytes, Real);
            SharpenEight<L>(Tail, Tail, Luma + x, BlurEight(Base + 4 * std::ptrdiff_t{x}, C, List, Pairs, Line), F, Lanes);
            std::memcpy(Out + x * Bytes, Tail, Real);
        }
    }
}

// By layout, in PixelLayout's order.
constexpr FormatHorizontalKernelFn Horizontals[] = {Horizontal<Layout::Rgba8>, Horizontal<Layout::Bgra8>,
                                              Horizontal<Layout::Planar8>, Horizontal<Layout::Planar16>};
constexpr FormatVerticalKernelFn Verticals[] = {Vertical<Layout::Rgba8>, Vertical<Layout::Bgra8>, Vertical<Layout::Planar8>,
                                          Vertical<Layout::Planar16>};

}  // namespace

void FormatHorizontalKernelSse2(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch, const PixelFormat* Format,
                          const std::intptr_t* Entries, std::int16_t* Luma, std::int32_t Columns, std::int32_t Groups,
                          std::int32_t WorkPitch, std::int32_t Rows) {
    Horizontals[static_cast<int>(Format->Layout)](WorkDst, Pixels, Pitch, Format, Entries, Luma, Columns, Groups,
                                                  WorkPitch, Rows);
}

void FormatVerticalKernelSse2(const void* In, void* Out, std::ptrdiff_t Pitch, const PixelFormat* Format, const void* Work,
                        std::intptr_t WorkStart, const std::intptr_t* Entries, const std::int16_t* Luma,
                        std::int32_t Columns, std::int32_t RowCount, std::int32_t WorkPitch, const SharpenLanes* Lanes) {
    Verticals[static_cast<int>(Format->Layout)](In, Out, Pitch, Format, Work, WorkStart, Entries, Luma, Columns, RowCount,
                                                WorkPitch, Lanes);
}
