// An image with 1 (grey), 2 (grey, alpha), 3 (RGB) or 4 (RGBA) interleaved
// channels, rows packed, of 8 bits (`pixels`) or 16 bits (`pixels16`) per
// sample.
#pragma once

#include <cstdint>
#include <vector>

namespace velgarde {

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;
    int bitDepth = 8;
    std::vector<std::uint8_t> pixels;     // 8-bit images
    std::vector<std::uint16_t> pixels16;  // 16-bit images

    Image() = default;
    Image(int w, int h, int c, int depth = 8) : width(w), height(h), channels(c), bitDepth(depth) {
        const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * c;
        if (depth == 16)
            pixels16.resize(n);
        else
            pixels.resize(n);
    }
    std::size_t PixelCount() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    std::uint8_t* At(int x, int y) {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * channels;
    }
    const std::uint8_t* At(int x, int y) const {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * channels;
    }
};

}  // namespace velgarde
