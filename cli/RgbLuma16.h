// 16-bit pixels and the filter's luma: filter/RgbLuma.h's path for PNGs of
// 16 bits per sample, with the same rounding. Luma spans 0 to 4096 for codes
// 0 to 65535; a change of luma becomes a step of 16-bit codes, rounded half
// away from zero, added to each colour channel. Pixels whose luma the filter
// left alone keep their exact values; alpha is never touched.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velgarde {

void PixelsToLuma16(const std::uint16_t* pixels, int channels, std::size_t count,
                    std::int16_t* luma, std::ptrdiff_t lumaStep);
int LumaChangeToCode16(int change);
void ApplyLumaChange16(const std::int16_t* before, const std::int16_t* after,
                       std::ptrdiff_t afterStep, std::size_t count, int channels,
                       std::uint16_t* pixels);

}  // namespace velgarde
