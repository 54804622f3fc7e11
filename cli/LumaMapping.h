// Luma codes of a file <-> Y in the host's units, where the legal range of
// any depth spans 0 to 4096. Both directions are tables (and, for 8-bit
// codes, the same arithmetic in SSE2), and the way back undoes the way in
// exactly for every code, so an untouched frame comes out byte for byte as
// it went in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli/Parallel.h"

namespace velgarde {

class LumaMapping {
public:
    static constexpr int HostWhite = 4096;

    // bitDepth 8, 10 or 12. Limited range: 16..235 scaled by 2^(depth-8);
    // full range: 0..2^depth-1.
    LumaMapping(int bitDepth, bool fullRange);

    int BitDepth() const { return bitDepth_; }
    int MaxCode() const { return (1 << bitDepth_) - 1; }

    // Codes above MaxCode (stray high bits in a 16-bit sample) read as MaxCode.
    std::int16_t ToHost(int code) const { return toHost_[static_cast<std::uint16_t>(code)]; }
    // Any Y the filter may leave, clamped into the code range.
    std::uint16_t FromHost(std::int16_t y) const {
        return fromHost_[static_cast<std::uint16_t>(y)];
    }

    // Formula forms, for the tables and for checking them.
    static std::int32_t ToHostFormula(int code, int bitDepth, bool fullRange);
    static std::int32_t FromHostFormula(std::int32_t y, int bitDepth, bool fullRange);

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
    int bitDepth_;
    bool fullRange_;
    std::vector<std::int16_t> toHost_;  // indexed by code, 256 or 65536 entries
    std::vector<std::uint16_t> fromHost_;  // indexed by Y as uint16
};

}  // namespace velgarde
