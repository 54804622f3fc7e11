#include "host/velgarde/ImageSharpen.h"

#include <algorithm>

namespace velgarde {

std::vector<std::int16_t> ImageLuma(const Image& image) {
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    std::vector<std::int16_t> luma(count);
    const std::uint8_t* p = image.pixels.data();
    const bool colour = image.channels >= 3;
    for (std::size_t i = 0; i < count; ++i, p += image.channels) {
        const std::int64_t weighted =
            colour ? 299 * p[0] + 587 * p[1] + 114 * p[2] : 1000 * p[0];
        // Scaled by 4096 / (255 * 1000), to nearest (all terms non-negative).
        luma[i] = static_cast<std::int16_t>((weighted * 4096 * 2 + 255000) / (2 * 255000));
    }
    return luma;
}

int LumaChangeToCode(int change) {
    const int magnitude = ((change < 0 ? -change : change) * 255 + 2048) >> 12;
    return change < 0 ? -magnitude : magnitude;
}

void ApplyLumaChange(const std::vector<std::int16_t>& before, const std::int16_t* after,
                     std::ptrdiff_t step, Image* image) {
    const int colourChannels = image->channels >= 3 ? 3 : 1;
    std::uint8_t* p = image->pixels.data();
    for (std::size_t i = 0; i < before.size(); ++i, p += image->channels, after += step) {
        const int change = LumaChangeToCode(*after - before[i]);
        if (change == 0) continue;
        for (int c = 0; c < colourChannels; ++c)
            p[c] = static_cast<std::uint8_t>(std::clamp(p[c] + change, 0, 255));
    }
}

bool SharpenImage(Image* image, LumaProcessor& processor, std::string* error) {
    const std::vector<std::int16_t> before = ImageLuma(*image);
    std::ptrdiff_t step = 1;
    std::int16_t* luma = processor.PrepareLuma(image->width, image->height, &step, error);
    if (luma == nullptr) return false;
    for (std::size_t i = 0; i < before.size(); ++i) luma[i * step] = before[i];
    if (!processor.Process(error)) return false;
    ApplyLumaChange(before, luma, step, image);
    return true;
}

}  // namespace velgarde
