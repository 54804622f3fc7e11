#include "host/velgarde/ImageSharpen.h"

#include "filter/RgbLuma.h"

namespace velgarde {

std::vector<std::int16_t> ImageLuma(const Image& image) {
    std::vector<std::int16_t> luma(static_cast<std::size_t>(image.width) * image.height);
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
    ApplyLumaChange(before.data(), luma, step, before.size(), image->channels,
                    image->pixels.data());
    return true;
}

}  // namespace velgarde
