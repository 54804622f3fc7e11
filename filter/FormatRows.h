// The plain parts every set's format kernels share: luma of a row's last
// pixels, the padding after a luma run, the run of columns whose lists
// repeat, the columns outside it, and 16-bit codes written back. Compiled
// once, for every target's baseline: the AVX2 files call them too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filter/PixelFormats.h"

// Bytes of the luma rows the format kernels pass on for Rows rows of Columns pixels.
std::size_t FormatLumaBytes(std::int32_t Columns, std::int32_t Rows);

// Luma of pixels From .. Columns - 1 of Row into Luma[From ...].
void RowLumaTail(PixelLayout Layout, const std::uint8_t* Row, std::int32_t From, std::int32_t Columns,
                 const PixelFormat& Format, std::int16_t* Luma);

// Values kept after a row's luma run: vector loads reach one sample past the
// row (with a zero coefficient), and every run starts 16-value aligned.
constexpr std::int32_t LumaRunPadding = 32;
inline std::int32_t LumaRunStride(std::int32_t Columns) { return (Columns + LumaRunPadding + 15) & ~15; }
// Fills the padding with the last value (what the frame kernels repeat).
void PadLumaRun(std::int16_t* Luma, std::int32_t Columns);

// The longest run of columns Start .. End - 1 (End - Start even) whose
// lists repeat: columns Start + 2i share list Even, Start + 2i + 1 list Odd,
// and both start at sample FirstSample + 2i. Empty (Pairs 0) when no run is
// at least Least columns long or the lists have more than MaxPairs pairs.
struct ColumnRun {
    std::int32_t Start = 0;
    std::int32_t End = 0;
    std::int32_t FirstSample = 0;
    const std::int16_t* Even = nullptr;
    const std::int16_t* Odd = nullptr;
    std::int32_t Pairs = 0;
};
ColumnRun FindColumnRun(const std::intptr_t* Entries, std::int32_t Columns, std::int32_t MaxPairs,
                        std::int32_t Least);

// Columns From .. To - 1 of the two rows' luma runs A and B, each on its own,
// rounded into the row-pair line Line.
void ConvolveColumnsOneByOne(const std::intptr_t* Entries, const std::int16_t* A, const std::int16_t* B,
                             std::int32_t From, std::int32_t To, unsigned char* Line);

// Count 16-bit samples to Out: the code of After where it differs from
// Before, the sample from In where it does not.
void StoreChangedCodes16(const std::uint8_t* In, std::uint8_t* Out, const std::int16_t* Before,
                         const std::int16_t* After, int Count, const PixelFormat& Format);
