#include "cli/LumaMapping.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velgarde {

LumaMapping::LumaMapping(int bitDepth, bool fullRange) : codes_(bitDepth, fullRange) {}

namespace {

#if defined(__SSE2__)
// 8-bit limited range, 16 codes at a time: ((c * 1197) >> 6) - 299 is
// 18 c + ((45 c) >> 6) - 299 exactly, which fits 16-bit lanes.
std::size_t LimitedToHost8(const std::uint8_t* codes, std::size_t count, std::int16_t* y,
                           std::ptrdiff_t step) {
    const __m128i zero = _mm_setzero_si128();
    const auto convert = [](__m128i c) {
        const __m128i whole = _mm_mullo_epi16(c, _mm_set1_epi16(18));
        const __m128i part = _mm_srli_epi16(_mm_mullo_epi16(c, _mm_set1_epi16(45)), 6);
        return _mm_sub_epi16(_mm_add_epi16(whole, part), _mm_set1_epi16(299));
    };
    std::size_t i = 0;
    alignas(16) std::int16_t lanes[16];
    for (; i + 16 <= count; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + i));
        const __m128i low = convert(_mm_unpacklo_epi8(c, zero));
        const __m128i high = convert(_mm_unpackhi_epi8(c, zero));
        if (step == 1) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(y + i), low);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(y + i + 8), high);
            continue;
        }
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), low);
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes + 8), high);
        for (int k = 0; k < 16; ++k) y[static_cast<std::ptrdiff_t>(i + k) * step] = lanes[k];
    }
    return i;
}

// The way back, 16 values at a time: ((y * 219 + 383) >> 12) + 16 in 32-bit
// lanes (y and 1 against 219 and 383), saturated into bytes as the clamp.
std::size_t LimitedFromHost8(const std::int16_t* y, std::ptrdiff_t step, std::size_t count,
                             std::uint8_t* codes) {
    const __m128i one = _mm_set1_epi16(1);
    const __m128i factors = _mm_set1_epi32((383 << 16) | 219);
    const __m128i offset = _mm_set1_epi32(16);
    const auto convert = [&](__m128i v) {
        const __m128i low = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(v, one), factors), 12);
        const __m128i high = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(v, one), factors), 12);
        return _mm_packs_epi32(_mm_add_epi32(low, offset), _mm_add_epi32(high, offset));
    };
    std::size_t i = 0;
    alignas(16) std::int16_t lanes[16];
    for (; i + 16 <= count; i += 16) {
        __m128i a, b;
        if (step == 1) {
            a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i));
            b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i + 8));
        } else {
            for (int k = 0; k < 16; ++k) lanes[k] = y[static_cast<std::ptrdiff_t>(i + k) * step];
            a = _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
            b = _mm_load_si128(reinterpret_cast<const __m128i*>(lanes + 8));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(codes + i), _mm_packus_epi16(convert(a), convert(b)));
    }
    return i;
}
#endif

}  // namespace

void LumaMapping::PlaneToHost(const std::uint8_t* codes, std::size_t count, std::int16_t* y,
                              std::ptrdiff_t step) const {
    if (BitDepth() == 8) {
        std::size_t i = 0;
#if defined(__SSE2__)
        if (!codes_.FullRange()) i = LimitedToHost8(codes, count, y, step);
#endif
        for (y += static_cast<std::ptrdiff_t>(i) * step; i < count; ++i, y += step) *y = ToHost(codes[i]);
        return;
    }
    for (std::size_t i = 0; i < count; ++i, y += step) *y = ToHost(codes[2 * i] | (codes[2 * i + 1] << 8));
}

void LumaMapping::PlaneFromHost(const std::int16_t* y, std::ptrdiff_t step, std::size_t count,
                                std::uint8_t* codes) const {
    if (BitDepth() == 8) {
        // Every 8-bit code maps back to itself, so unchanged values need no
        // test: the table gives the same byte.
        std::size_t i = 0;
#if defined(__SSE2__)
        if (!codes_.FullRange()) i = LimitedFromHost8(y, step, count, codes);
#endif
        for (y += static_cast<std::ptrdiff_t>(i) * step; i < count; ++i, y += step)
            codes[i] = static_cast<std::uint8_t>(FromHost(*y));
        return;
    }
    // 16-bit samples may carry bits above the depth; those keep their bytes
    // unless the filter changed their value.
    for (std::size_t i = 0; i < count; ++i, y += step) {
        const unsigned old = codes[2 * i] | (codes[2 * i + 1] << 8);
        const unsigned c = *y == ToHost(static_cast<int>(old)) ? old : FromHost(*y);
        codes[2 * i] = static_cast<std::uint8_t>(c);
        codes[2 * i + 1] = static_cast<std::uint8_t>(c >> 8);
    }
}

namespace {

// Row parts small enough to share well, large enough to be worth a thread.
constexpr std::size_t kMinRowsPerPart = 16;

template <typename Body>
void SplitRows(int rows, Parallel& parallel, const Body& body) {
    const std::size_t parts = (static_cast<std::size_t>(rows) + kMinRowsPerPart - 1) / kMinRowsPerPart;
    parallel.For(parts, [&](std::size_t begin, std::size_t end) {
        const int first = static_cast<int>(begin * kMinRowsPerPart);
        const int last = static_cast<int>(std::min<std::size_t>(end * kMinRowsPerPart, rows));
        for (int r = first; r < last; ++r) body(r);
    });
}

}  // namespace

void LumaMapping::RowsToHost(const std::uint8_t* codes, std::ptrdiff_t codeStride, int width,
                             int rows, std::int16_t* y, std::ptrdiff_t step,
                             Parallel& parallel) const {
    SplitRows(rows, parallel, [&](int r) {
        PlaneToHost(codes + r * codeStride, static_cast<std::size_t>(width),
                    y + static_cast<std::ptrdiff_t>(r) * width * step, step);
    });
}

void LumaMapping::RowsFromHost(const std::int16_t* y, std::ptrdiff_t step, int width, int rows,
                               std::uint8_t* codes, std::ptrdiff_t codeStride,
                               Parallel& parallel) const {
    SplitRows(rows, parallel, [&](int r) {
        PlaneFromHost(y + static_cast<std::ptrdiff_t>(r) * width * step, step,
                      static_cast<std::size_t>(width), codes + r * codeStride);
    });
}

}  // namespace velgarde
