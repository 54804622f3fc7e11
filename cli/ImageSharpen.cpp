#include "cli/ImageSharpen.h"

#include "cli/RgbLuma16.h"
#include "filter/RgbLuma.h"

namespace velgarde {

std::vector<std::int16_t> ImageLuma(const Image& image) {
    std::vector<std::int16_t> luma(image.PixelCount());
    if (image.bitDepth == 16)
        PixelsToLuma16(image.pixels16.data(), image.channels, luma.size(), luma.data(), 1);
    else
        PixelsToLuma(image.pixels.data(), image.channels, luma.size(), luma.data(), 1);
    return luma;
}

bool SharpenImage(Image* image, LumaProcessor& processor, std::string* error) {
    const std::vector<std::int16_t> before = ImageLuma(*image);
    std::ptrdiff_t step = 1;
    std::int16_t* luma = processor.PrepareLuma(image->width, image->height, &step, error);
    if (luma == nullptr) return false;
    for (std::size_t i = 0; i < before.size(); ++i) luma[i * step] = before[i];
    if (!processor.Process(error)) return false;
    if (image->bitDepth == 16)
        ApplyLumaChange16(before.data(), luma, step, before.size(), image->channels,
                          image->pixels16.data());
    else
        ApplyLumaChange(before.data(), luma, step, before.size(), image->channels,
                        image->pixels.data());
    return true;
}

}  // namespace velgarde
