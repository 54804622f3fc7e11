// Scalar twins of the format kernels (filter/FormatKernels.h), taking exactly
// their arguments: each pixel's luma through the plain conversion
// (PixelsToLuma_c, the code table), the blur and sharpening of the scalar
// model, the change back through ApplyLumaChange_c or the code table. What
// every kernel set's format pair is checked against; never in the plug-in.
#pragma once

#include "filter/FormatKernels.h"

void FormatHorizontalScalar(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch, const PixelFormat* Format,
                            const std::intptr_t* Entries, void* Scratch, std::int32_t Columns, std::int32_t Groups,
                            std::int32_t WorkPitch, std::int32_t Rows);
void FormatVerticalScalar(const void* In, void* Out, std::ptrdiff_t Pitch, const PixelFormat* Format,
                          const void* Work, std::intptr_t WorkStart, const std::intptr_t* Entries,
                          std::int32_t Columns, std::int32_t RowCount, std::int32_t WorkPitch,
                          const SharpenLanes* Lanes);

extern const FormatKernels ScalarFormatKernels;

// One pixel's luma as the twins compute it.
std::int16_t LumaOfPixel(const std::uint8_t* Pixel, const PixelFormat& Format);
