#include "filter/RgbLuma.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include "filter/RgbLumaSse2.h"
#endif

void PixelsToLuma_c(const std::uint8_t* Pixels, int Channels, std::size_t Count,
                    std::int16_t* Luma, std::ptrdiff_t LumaStep) {
    const bool Colour = Channels >= 3;
    for (std::size_t i = 0; i < Count; ++i, Pixels += Channels, Luma += LumaStep) {
        const std::int64_t Weighted =
            Colour ? 299 * Pixels[0] + 587 * Pixels[1] + 114 * Pixels[2] : 1000 * Pixels[0];
        // Scaled by 4096 / (255 * 1000), to nearest (all terms non-negative).
        *Luma = static_cast<std::int16_t>((Weighted * LumaWhite * 2 + 255000) / (2 * 255000));
    }
}

int LumaChangeToCode(int Change) {
    const int Magnitude = ((Change < 0 ? -Change : Change) * 255 + LumaWhite / 2) >> 12;
    return Change < 0 ? -Magnitude : Magnitude;
}

void ApplyLumaChange_c(const std::int16_t* Before, const std::int16_t* After,
                       std::ptrdiff_t AfterStep, std::size_t Count, int Channels,
                       std::uint8_t* Pixels, std::ptrdiff_t BeforeStep) {
    const int ColourChannels = Channels >= 3 ? 3 : 1;
    for (std::size_t i = 0; i < Count; ++i, Pixels += Channels, After += AfterStep, Before += BeforeStep) {
        const int Code = LumaChangeToCode(*After - *Before);
        if (Code == 0) continue;
        for (int c = 0; c < ColourChannels; ++c)
            Pixels[c] = static_cast<std::uint8_t>(std::clamp(Pixels[c] + Code, 0, 255));
    }
}

#if defined(__SSE2__)
namespace {

// Four pixels at a time, as 16 RGBA bytes; RGB is spread into that layout
// (alpha byte 0) on the way in and packed back on the way out.

// 12 bytes, never more: the last group may end the picture.
__m128i LoadRgb(const std::uint8_t* P) {
    std::int32_t Tail;
    std::memcpy(&Tail, P + 8, 4);
    const __m128i X = _mm_or_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(P)),
                                   _mm_slli_si128(_mm_cvtsi32_si128(Tail), 8));
    const __m128i Three = _mm_setr_epi32(0x00FFFFFF, 0, 0, 0);
    __m128i R = _mm_and_si128(X, Three);
    R = _mm_or_si128(R, _mm_slli_si128(_mm_and_si128(_mm_srli_si128(X, 3), Three), 4));
    R = _mm_or_si128(R, _mm_slli_si128(_mm_and_si128(_mm_srli_si128(X, 6), Three), 8));
    return _mm_or_si128(R, _mm_slli_si128(_mm_and_si128(_mm_srli_si128(X, 9), Three), 12));
}

void StoreRgb(std::uint8_t* P, __m128i Rgba) {
    const __m128i Three = _mm_setr_epi32(0x00FFFFFF, 0, 0, 0);
    __m128i X = _mm_and_si128(Rgba, Three);
    X = _mm_or_si128(X, _mm_srli_si128(_mm_and_si128(Rgba, _mm_slli_si128(Three, 4)), 1));
    X = _mm_or_si128(X, _mm_srli_si128(_mm_and_si128(Rgba, _mm_slli_si128(Three, 8)), 2));
    X = _mm_or_si128(X, _mm_srli_si128(_mm_and_si128(Rgba, _mm_slli_si128(Three, 12)), 3));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(P), X);
    const std::int32_t Tail = _mm_cvtsi128_si32(_mm_srli_si128(X, 8));
    std::memcpy(P + 8, &Tail, 4);
}

void StoreLuma(std::int16_t* Luma, std::ptrdiff_t Step, __m128i Values) {
    const __m128i Packed = _mm_packs_epi32(Values, Values);
    if (Step == 1) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Luma), Packed);
        return;
    }
    Luma[0] = static_cast<std::int16_t>(_mm_extract_epi16(Packed, 0));
    Luma[Step] = static_cast<std::int16_t>(_mm_extract_epi16(Packed, 1));
    Luma[2 * Step] = static_cast<std::int16_t>(_mm_extract_epi16(Packed, 2));
    Luma[3 * Step] = static_cast<std::int16_t>(_mm_extract_epi16(Packed, 3));
}

// Four 16-bit values Step apart, sign-extended into 32-bit lanes.
__m128i LoadLuma(const std::int16_t* Luma, std::ptrdiff_t Step) {
    if (Step == 1) {
        const __m128i L = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Luma));
        return _mm_srai_epi32(_mm_unpacklo_epi16(L, L), 16);
    }
    return _mm_setr_epi32(Luma[0], Luma[Step], Luma[2 * Step], Luma[3 * Step]);
}

// Four codes (LumaChangeToCode of After - Before, 32-bit lanes), exact for any 16-bit values:
// |change| <= 65535, so |change| x 255 + 2048 fits 32 bits.
__m128i CodesOfChange(__m128i Change) {
    const __m128i Sign = _mm_srai_epi32(Change, 31);
    const __m128i Magnitude = _mm_sub_epi32(_mm_xor_si128(Change, Sign), Sign);
    const __m128i Scaled = _mm_sub_epi32(_mm_slli_epi32(Magnitude, 8), Magnitude);
    const __m128i Code = _mm_srli_epi32(_mm_add_epi32(Scaled, _mm_set1_epi32(LumaWhite / 2)), 12);
    return _mm_sub_epi32(_mm_xor_si128(Code, Sign), Sign);
}

__m128i CodesOf(__m128i Before, __m128i After) { return CodesOfChange(_mm_sub_epi32(After, Before)); }

// Four pixels of a frame whose pixels are three 16-bit words, luma after in
// the first and before in the second: 12 words, read as 8 + 4 so that
// nothing past the fourth pixel is touched. Each madd takes one pixel's pair
// (after x 1 + before x -1) into its own lane.
__m128i ChangesOfTriples(const std::int16_t* Frame) {
    const __m128i A = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Frame));     // words 0..7
    const __m128i B = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Frame + 8));  // words 8..11
    const __m128i P0 = _mm_madd_epi16(A, _mm_setr_epi16(1, -1, 0, 0, 0, 0, 0, 0));
    const __m128i P1 = _mm_madd_epi16(_mm_srli_si128(A, 2), _mm_setr_epi16(0, 0, 1, -1, 0, 0, 0, 0));
    const __m128i P2 = _mm_madd_epi16(_mm_srli_si128(A, 4), _mm_setr_epi16(0, 0, 0, 0, 1, -1, 0, 0));
    const __m128i P3 = _mm_madd_epi16(_mm_slli_si128(B, 10), _mm_setr_epi16(0, 0, 0, 0, 0, 0, 1, -1));
    return _mm_add_epi32(_mm_add_epi32(P0, P1), _mm_add_epi32(P2, P3));
}

// Adds each pixel's code (32-bit lanes, |code| <= 4080) to R, G and B.
__m128i AddCodes(__m128i Rgba, __m128i Codes) { return AddWordCodes(Rgba, _mm_packs_epi32(Codes, Codes)); }

}  // namespace

void PixelsToLuma(const std::uint8_t* Pixels, int Channels, std::size_t Count,
                  std::int16_t* Luma, std::int16_t* LumaCopy, std::ptrdiff_t LumaStep) {
    std::size_t i = 0;
    // Word stores: vector stores that keep the words between would have to
    // read the frame first, which measured slower.
    if (Channels == 4 || Channels == 3) {
        for (; i + 4 <= Count; i += 4) {
            const std::uint8_t* P = Pixels + i * Channels;
            const __m128i Values = LumaOf(Channels == 4 ? LoadRgba(P) : LoadRgb(P), RgbaLumaWeights());
            StoreLuma(Luma + i * LumaStep, LumaStep, Values);
            if (LumaCopy != nullptr) StoreLuma(LumaCopy + i * LumaStep, LumaStep, Values);
        }
    }
    PixelsToLuma_c(Pixels + i * Channels, Channels, Count - i, Luma + i * LumaStep, LumaStep);
    if (LumaCopy != nullptr)
        PixelsToLuma_c(Pixels + i * Channels, Channels, Count - i, LumaCopy + i * LumaStep, LumaStep);
}

void ApplyLumaChange(const std::int16_t* Before, const std::int16_t* After,
                     std::ptrdiff_t AfterStep, std::size_t Count, int Channels,
                     const std::uint8_t* From, std::uint8_t* To, std::ptrdiff_t BeforeStep) {
    std::size_t i = 0;
    if (Channels == 4 && Before == After + 1 && AfterStep == 3 && BeforeStep == 3) {
        for (; i + 4 <= Count; i += 4) {
            const __m128i Codes = CodesOfChange(ChangesOfTriples(After + i * 3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(To + i * 4), AddCodes(LoadRgba(From + i * 4), Codes));
        }
    } else if (Channels == 4) {
        for (; i + 4 <= Count; i += 4) {
            const __m128i Codes = CodesOf(LoadLuma(Before + i * BeforeStep, BeforeStep),
                                          LoadLuma(After + i * AfterStep, AfterStep));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(To + i * 4), AddCodes(LoadRgba(From + i * 4), Codes));
        }
    } else if (Channels == 3) {
        for (; i + 4 <= Count; i += 4) {
            const __m128i Codes = CodesOf(LoadLuma(Before + i * BeforeStep, BeforeStep),
                                          LoadLuma(After + i * AfterStep, AfterStep));
            StoreRgb(To + i * 3, AddCodes(LoadRgb(From + i * 3), Codes));
        }
    }
    if (From != To) std::memcpy(To + i * Channels, From + i * Channels, (Count - i) * Channels);
    ApplyLumaChange_c(Before + i * BeforeStep, After + i * AfterStep, AfterStep, Count - i, Channels,
                      To + i * Channels, BeforeStep);
}

#else

void PixelsToLuma(const std::uint8_t* Pixels, int Channels, std::size_t Count,
                  std::int16_t* Luma, std::int16_t* LumaCopy, std::ptrdiff_t LumaStep) {
    PixelsToLuma_c(Pixels, Channels, Count, Luma, LumaStep);
    if (LumaCopy != nullptr) PixelsToLuma_c(Pixels, Channels, Count, LumaCopy, LumaStep);
}

void ApplyLumaChange(const std::int16_t* Before, const std::int16_t* After,
                     std::ptrdiff_t AfterStep, std::size_t Count, int Channels,
                     const std::uint8_t* From, std::uint8_t* To, std::ptrdiff_t BeforeStep) {
    if (From != To) std::memcpy(To, From, Count * Channels);
    ApplyLumaChange_c(Before, After, AfterStep, Count, Channels, To, BeforeStep);
}

#endif

void PixelsToLuma(const std::uint8_t* Pixels, int Channels, std::size_t Count,
                  std::int16_t* Luma, std::ptrdiff_t LumaStep) {
    PixelsToLuma(Pixels, Channels, Count, Luma, nullptr, LumaStep);
}

void ApplyLumaChange(const std::int16_t* Before, const std::int16_t* After,
                     std::ptrdiff_t AfterStep, std::size_t Count, int Channels,
                     std::uint8_t* Pixels) {
    ApplyLumaChange(Before, After, AfterStep, Count, Channels, Pixels, 1);
}

void ApplyLumaChange(const std::int16_t* Before, const std::int16_t* After,
                     std::ptrdiff_t AfterStep, std::size_t Count, int Channels,
                     std::uint8_t* Pixels, std::ptrdiff_t BeforeStep) {
    ApplyLumaChange(Before, After, AfterStep, Count, Channels, Pixels, Pixels, BeforeStep);
}
