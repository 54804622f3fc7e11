#include "filter/PixelFormats.h"

#include <algorithm>

namespace {

constexpr std::int64_t White = 4096;

// floor(a / b) for b > 0, also for negative a.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

void CodeRange(int BitDepth, bool FullRange, std::int64_t* Low, std::int64_t* Span) {
    if (FullRange) {
        *Low = 0;
        *Span = (std::int64_t{1} << BitDepth) - 1;
    } else {
        *Low = std::int64_t{16} << (BitDepth - 8);
        *Span = std::int64_t{219} << (BitDepth - 8);
    }
}

}  // namespace

std::int32_t TPlanarLuma::LumaFormula(int Code, int BitDepth, bool FullRange) {
    if (BitDepth == 8 && !FullRange) return ((Code * 1197) >> 6) - 299;
    std::int64_t Low, Span;
    CodeRange(BitDepth, FullRange, &Low, &Span);
    // The nearest Y to the exact scaled value.
    return static_cast<std::int32_t>(FloorDiv(2 * (Code - Low) * White + Span, 2 * Span));
}

std::int32_t TPlanarLuma::CodeFormula(std::int32_t Y, int BitDepth, bool FullRange) {
    std::int64_t Code;
    if (BitDepth == 8 && !FullRange) {
        Code = ((static_cast<std::int64_t>(Y) * 219 + 383) >> 12) + 16;
    } else {
        std::int64_t Low, Span;
        CodeRange(BitDepth, FullRange, &Low, &Span);
        Code = Low + FloorDiv(2 * static_cast<std::int64_t>(Y) * Span + White, 2 * White);
    }
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(Code, 0, (std::int64_t{1} << BitDepth) - 1));
}

TPlanarLuma::TPlanarLuma(int BitDepth, bool FullRange)
    : Depth(BitDepth), Full(FullRange), CodeToLuma(BitDepth > 8 ? 65536 : 256), LumaToCode(65536) {
    for (std::size_t Code = 0; Code < CodeToLuma.size(); ++Code)
        CodeToLuma[Code] =
            static_cast<std::int16_t>(LumaFormula(std::min(static_cast<int>(Code), MaxCode()), Depth, Full));
    for (int Y = -32768; Y <= 32767; ++Y)
        LumaToCode[static_cast<std::uint16_t>(Y)] = static_cast<std::uint16_t>(CodeFormula(Y, Depth, Full));
}

PixelFormat RgbaFormat() { return PixelFormat{}; }

PixelFormat BgraFormat() {
    PixelFormat F;
    F.Layout = PixelLayout::Bgra8;
    return F;
}

PixelFormat PlanarFormat(const TPlanarLuma& Mapping) {
    PixelFormat F;
    F.Layout = Mapping.BitDepth() > 8 ? PixelLayout::Planar16 : PixelLayout::Planar8;
    F.BitDepth = Mapping.BitDepth();
    F.FullRange = Mapping.FullRange();
    F.CodeToLuma = Mapping.CodeTable();
    F.LumaToCode = Mapping.LumaTable();
    return F;
}
