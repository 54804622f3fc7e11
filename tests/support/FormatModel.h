// The model of a picture in a host's own format (filter/PixelFormats.h): each
// pixel's luma through the plain conversion (PixelsToLuma_c, or the code
// mapping for planes), the scalar frame model, the change back through
// ApplyLumaChange_c (a plane: the code of every changed Y; samples left alone
// keep their bytes). What the format kernels and every host's path give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filter/PixelFormats.h"
#include "filter/TrackParameters.h"

namespace velgarde_test {

// Sharpens Width x Height pixels of Format in Bytes (rows Pitch apart) in place.
void FormatModel(const PixelFormat& Format, const std::int32_t* Tracks, std::uint8_t* Bytes, int Width, int Height,
                 std::ptrdiff_t Pitch);

}  // namespace velgarde_test
