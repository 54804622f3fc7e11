#include "filter/RgbLuma.h"

#include <algorithm>

void PixelsToLuma(const std::uint8_t* Pixels, int Channels, std::size_t Count,
                  std::int16_t* Luma, std::ptrdiff_t LumaStep) {
    const bool Colour = Channels >= 3;
    for (std::size_t i = 0; i < Count; ++i, Pixels += Channels, Luma += LumaStep) {
        const std::int64_t Weighted =
            Colour ? 299 * Pixels[0] + 587 * Pixels[1] + 114 * Pixels[2] : 1000 * Pixels[0];
        // Scaled by 4096 / (255 * 1000), to nearest (all terms non-negative).
        *Luma = static_cast<std::int16_t>((Weighted * LumaWhite * 2 + 255000) / (2 * 255000));
    }
}

int LumaChangeToCode(int Change) {
    const int Magnitude = ((Change < 0 ? -Change : Change) * 255 + LumaWhite / 2) >> 12;
    return Change < 0 ? -Magnitude : Magnitude;
}

void ApplyLumaChange(const std::int16_t* Before, const std::int16_t* After,
                     std::ptrdiff_t AfterStep, std::size_t Count, int Channels,
                     std::uint8_t* Pixels) {
    const int ColourChannels = Channels >= 3 ? 3 : 1;
    for (std::size_t i = 0; i < Count; ++i, Pixels += Channels, After += AfterStep) {
        const int Code = LumaChangeToCode(*After - Before[i]);
        if (Code == 0) continue;
        for (int c = 0; c < ColourChannels; ++c)
            Pixels[c] = static_cast<std::uint8_t>(std::clamp(Pixels[c] + Code, 0, 255));
    }
}
