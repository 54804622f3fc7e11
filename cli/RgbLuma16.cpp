#include "cli/RgbLuma16.h"

#include <algorithm>

#include "filter/RgbLuma.h"

namespace velgarde {

void PixelsToLuma16(const std::uint16_t* pixels, int channels, std::size_t count,
                    std::int16_t* luma, std::ptrdiff_t lumaStep) {
    const bool colour = channels >= 3;
    for (std::size_t i = 0; i < count; ++i, pixels += channels, luma += lumaStep) {
        const std::int64_t weighted = colour ? 299LL * pixels[0] + 587LL * pixels[1] + 114LL * pixels[2]
                                             : 1000LL * pixels[0];
        // Scaled by 4096 / (65535 * 1000), to nearest.
        *luma = static_cast<std::int16_t>((weighted * LumaWhite * 2 + 65535000LL) / (2 * 65535000LL));
    }
}

int LumaChangeToCode16(int change) {
    const std::int64_t magnitude =
        ((change < 0 ? -std::int64_t{change} : std::int64_t{change}) * 65535 + LumaWhite / 2) >> 12;
    return static_cast<int>(change < 0 ? -magnitude : magnitude);
}

void ApplyLumaChange16(const std::int16_t* before, const std::int16_t* after,
                       std::ptrdiff_t afterStep, std::size_t count, int channels,
                       std::uint16_t* pixels) {
    const int colourChannels = channels >= 3 ? 3 : 1;
    for (std::size_t i = 0; i < count; ++i, pixels += channels, after += afterStep) {
        const int code = LumaChangeToCode16(*after - before[i]);
        if (code == 0) continue;
        for (int c = 0; c < colourChannels; ++c)
            pixels[c] = static_cast<std::uint16_t>(std::clamp(pixels[c] + code, 0, 65535));
    }
}

}  // namespace velgarde
