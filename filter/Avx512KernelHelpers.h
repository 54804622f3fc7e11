// Helpers the AVX-512 kernel files share (AVX-512 F, BW and VL); include
// from AVX-512 translation units only (filter/KernelHelpers.h says why
// everything stays in an anonymous namespace). The 256- and 128-bit steps of
// the AVX2 set serve the short ends of a row.
//
// Thirty-two 6-byte pixels are three 64-byte vectors A, B, C, 96 words; the
// Y of pixel i is word 3i. One two-source word permute takes the Y of
// pixels 0..21 out of A and B, a masked one adds 22..31 from C; each piece
// gets its Y back with a permute and a store masked to its Y words, so Cb
// and Cr are never written.
#pragma once

#include <immintrin.h>

#include "filter/Avx2KernelHelpers.h"

namespace {

// Word lanes: which pixel's Y, by index into the 64 words of A and B (and,
// taking the low five bits, into the 32 of C).
struct WordIndex {
    alignas(64) std::int16_t Lanes[32];
};

// Pixel order: lane i holds pixel i.
constexpr WordIndex PixelOrder() {
    WordIndex W{};
    for (int i = 0; i < 32; ++i) W.Lanes[i] = static_cast<std::int16_t>(3 * i & 63);
    return W;
}

// Unit order for the horizontal pass: 32-bit lane j of 128-bit lane l holds
// pixels 2(4j + l) and 2(4j + l) + 1, so that in-lane interleaves of four
// rows give whole units in order (filter/HorizontalKernelAvx512.cpp).
constexpr int UnitOrderPixel(int Lane) { return 2 * (4 * (Lane / 2 % 4) + Lane / 8) + Lane % 2; }
constexpr WordIndex UnitOrder() {
    WordIndex W{};
    for (int q = 0; q < 32; ++q) W.Lanes[q] = static_cast<std::int16_t>(3 * UnitOrderPixel(q) & 63);
    return W;
}
constexpr std::uint32_t UnitOrderFromC() {
    std::uint32_t Mask = 0;
    for (int q = 0; q < 32; ++q)
        if (UnitOrderPixel(q) >= 22) Mask |= 1u << q;
    return Mask;
}

// Back into piece p: word w of the piece is word 32p + w of the 96.
constexpr WordIndex BackInto(int Piece) {
    WordIndex W{};
    for (int w = 0; w < 32; ++w) W.Lanes[w] = static_cast<std::int16_t>((32 * Piece + w) / 3);
    return W;
}

constexpr WordIndex InPixelOrder = PixelOrder();
constexpr WordIndex InUnitOrder = UnitOrder();
constexpr WordIndex IntoPiece[3] = {BackInto(0), BackInto(1), BackInto(2)};
// The Y words of each piece, and the lanes of pixels 22..31 (from C).
constexpr std::uint32_t YWordsOf[3] = {0x49249249u, 0x92492492u, 0x24924924u};
constexpr std::uint32_t FromC = 0xFFC00000u;
constexpr std::uint32_t FromCInUnitOrder = UnitOrderFromC();

inline __m512i Load512(const void* P) { return _mm512_loadu_si512(P); }
inline __m512i Indices(const WordIndex& W) { return _mm512_load_si512(W.Lanes); }

// The lowest Count bits of a 32-bit mask (Count may lie outside 0..32).
inline __mmask32 LowBits(std::int32_t Count) {
    return Count <= 0 ? 0 : Count >= 32 ? 0xFFFFFFFFu : (1u << Count) - 1;
}

// The Y of the 32 pixels at P in the order of Order (FromOrder: the lanes
// whose pixels lie in C).
inline __m512i ExtractY32(const unsigned char* P, const WordIndex& Order, __mmask32 FromOrder) {
    const __m512i Index = Indices(Order);
    const __m512i Y = _mm512_permutex2var_epi16(Load512(P), Index, Load512(P + 64));
    return _mm512_mask_permutexvar_epi16(Y, FromOrder, Index, Load512(P + 128));
}

// The same for the first Count (1..32) pixels at P, reading only their Y.
inline __m512i ExtractYFirst(const unsigned char* P, std::int32_t Count) {
    const __m512i Index = Indices(InPixelOrder);
    auto Piece = [&](int p) {
        return _mm512_maskz_loadu_epi16(YWordsOf[p] & LowBits(3 * Count - 32 * p), P + 64 * p);
    };
    const __m512i Y = _mm512_permutex2var_epi16(Piece(0), Index, Piece(1));
    return _mm512_mask_permutexvar_epi16(Y, FromC, Index, Piece(2));
}

// Writes the 32 lanes of Y as the Y of the pixels at P: each piece read,
// its Y words replaced, written whole.
inline void StoreY32(unsigned char* P, __m512i Y) {
    for (int p = 0; p < 3; ++p)
        _mm512_storeu_si512(P + 64 * p, _mm512_mask_permutexvar_epi16(Load512(P + 64 * p), YWordsOf[p],
                                                                       Indices(IntoPiece[p]), Y));
}

// Writes lanes 0..Count - 1 of Y (pixel order) as the Y of the pixels at P.
inline void StoreYFirst(unsigned char* P, __m512i Y, std::int32_t Count) {
    for (int p = 0; p < 3; ++p)
        _mm512_mask_storeu_epi16(P + 64 * p, YWordsOf[p] & LowBits(3 * Count - 32 * p),
                                 _mm512_permutexvar_epi16(Indices(IntoPiece[p]), Y));
}

inline __m512i RoundingTerm512() { return _mm512_set1_epi32(8192); }
inline __m512i Pair512(const std::int16_t* List, std::int32_t k) { return _mm512_set1_epi32(PairWord(List, k)); }

// A list's pairs, broadcast, for a loop over many steps. With N (the pair
// count, fixed at compile time) on x86-64 all of them are broadcast once and
// stay in registers: the loop's stores could alias the list, so the compiler
// would otherwise broadcast them again in every step. On i686 (eight
// registers) and for any count (N = 0) each is read where it is used.
template <int N>
struct ListPairs512 {
    const std::int16_t* List;
#if defined(__x86_64__)
    __m512i Pairs[N > 0 ? N : 1];
    explicit ListPairs512(const std::int16_t* L) : List(L) {
        for (int k = 0; k < N; ++k) Pairs[k] = Pair512(L, k);
    }
    __m512i operator[](std::int32_t k) const { return N > 0 ? Pairs[k] : Pair512(List, k); }
#else
    explicit ListPairs512(const std::int16_t* L) : List(L) {}
    __m512i operator[](std::int32_t k) const { return Pair512(Fresh(List), k); }
#endif
};

}  // namespace
