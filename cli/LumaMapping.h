// Luma codes of a file <-> Y in the host's units, where the legal range of
// any depth spans 0 to 4096: the engine's code mapping (TPlanarLuma,
// filter/PixelFormats.h), whose tables the format kernels read as well, and
// plane conversions for filters that take a plane of Y (the plug-in). For 8-bit
// codes the same arithmetic runs in SSE2. The way back undoes the way in
// exactly for every code, so an untouched frame comes out byte for byte as
// it went in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/Parallel.h"
#include "filter/PixelFormats.h"

namespace velgarde {

class LumaMapping {
public:
    static constexpr int HostWhite = 4096;

    // bitDepth 8 to 16. Limited range: 16..235 scaled by 2^(depth-8);
    // full range: 0..2^depth-1.
    LumaMapping(int bitDepth, bool fullRange);

    int BitDepth() const { return codes_.BitDepth(); }
    int MaxCode() const { return codes_.MaxCode(); }
    const TPlanarLuma& Codes() const { return codes_; }

    // Codes above MaxCode (stray high bits in a 16-bit sample) read as MaxCode.
    std::int16_t ToHost(int code) const { return codes_.LumaOfCode(static_cast<unsigned>(code)); }
    // Any Y the filter may leave, clamped into the code range.
    std::uint16_t FromHost(std::int16_t y) const { return codes_.CodeOfLuma(y); }

    // Formula forms, for the tables and for checking them.
    static std::int32_t ToHostFormula(int code, int bitDepth, bool fullRange) {
        return TPlanarLuma::LumaFormula(code, bitDepth, fullRange);
    }
    static std::int32_t FromHostFormula(std::int32_t y, int bitDepth, bool fullRange) {
        return TPlanarLuma::CodeFormula(y, bitDepth, fullRange);
    }

    // A plane of codes (one byte or 16-bit little-endian per sample) to Y,
    // value i at y[i * step].
    void PlaneToHost(const std::uint8_t* codes, std::size_t count, std::int16_t* y,
                     std::ptrdiff_t step) const;
    // Writes back the samples whose Y differs from what their code maps to;
    // the others keep their bytes, whatever they held.
    void PlaneFromHost(const std::int16_t* y, std::ptrdiff_t step, std::size_t count,
                       std::uint8_t* codes) const;

    // The same for `rows` rows of `width` samples: row r of codes starts
    // r * codeStride bytes in, row r of Y at y + r * width * step. The rows
    // are split over `parallel`.
    void RowsToHost(const std::uint8_t* codes, std::ptrdiff_t codeStride, int width, int rows,
                    std::int16_t* y, std::ptrdiff_t step, Parallel& parallel) const;
    void RowsFromHost(const std::int16_t* y, std::ptrdiff_t step, int width, int rows,
                      std::uint8_t* codes, std::ptrdiff_t codeStride, Parallel& parallel) const;

private:
    TPlanarLuma codes_;
};

}  // namespace velgarde
