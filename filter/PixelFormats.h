// The hosts' own pixels, as the format-aware passes read and write them:
// 8-bit RGBA and BGRA (the frei0r effect, the successor editor's module) and
// planes of Y codes, 8 bits or 16-bit little-endian samples of 10 to 16 bits,
// limited or full range (the tool's streams). The passes compute each
// pixel's luma in the filter's units (legal range 0 to 4096) while they
// read it and apply the change while they write it, with the arithmetic of
// filter/RgbLuma.h for RGBA and of the code mapping below for planes.
#pragma once

#include <cstdint>
#include <vector>

enum class PixelLayout : std::int32_t {
    Rgba8 = 0,     // R, G, B, A bytes
    Bgra8 = 1,     // B, G, R, A bytes
    Planar8 = 2,   // one byte per Y code
    Planar16 = 3,  // 16-bit little-endian codes of 10 to 16 bits
};

// Luma codes <-> Y in the filter's units for one depth and range. Limited
// range spans 16..235 scaled by 2^(depth - 8), full range 0..2^depth - 1;
// either way the legal span maps onto 0..4096. Up to 12 bits the scale is
// above 1, so every code's Y maps back to the code itself.
class TPlanarLuma {
public:
    // BitDepth 8 to 16.
    TPlanarLuma(int BitDepth, bool FullRange);

    int BitDepth() const { return Depth; }
    bool FullRange() const { return Full; }
    int MaxCode() const { return (1 << Depth) - 1; }

    // By code; a 16-bit sample with bits above the depth reads as MaxCode.
    std::int16_t LumaOfCode(unsigned Code) const { return CodeToLuma[static_cast<std::uint16_t>(Code)]; }
    // Any Y, clamped into the code range.
    std::uint16_t CodeOfLuma(std::int16_t Y) const { return LumaToCode[static_cast<std::uint16_t>(Y)]; }

    // The tables: 256 entries (8 bits) or 65536 by code; 65536 by Y as uint16.
    const std::int16_t* CodeTable() const { return CodeToLuma.data(); }
    const std::uint16_t* LumaTable() const { return LumaToCode.data(); }

    // The formulas the tables hold.
    static std::int32_t LumaFormula(int Code, int BitDepth, bool FullRange);
    static std::int32_t CodeFormula(std::int32_t Y, int BitDepth, bool FullRange);

private:
    int Depth;
    bool Full;
    std::vector<std::int16_t> CodeToLuma;
    std::vector<std::uint16_t> LumaToCode;
};

// One picture's format as the kernels take it.
struct PixelFormat {
    PixelLayout Layout = PixelLayout::Rgba8;
    // Planes only: depth, range and the mapping's tables (TPlanarLuma).
    std::int32_t BitDepth = 8;
    bool FullRange = false;
    const std::int16_t* CodeToLuma = nullptr;
    const std::uint16_t* LumaToCode = nullptr;
};

PixelFormat RgbaFormat();
PixelFormat BgraFormat();
PixelFormat PlanarFormat(const TPlanarLuma& Mapping);

// Bytes per pixel of a layout.
inline int PixelBytes(PixelLayout Layout) {
    return Layout == PixelLayout::Planar8 ? 1 : Layout == PixelLayout::Planar16 ? 2 : 4;
}
