// An 8-bit image with 1 (grey), 2 (grey, alpha), 3 (RGB) or 4 (RGBA)
// interleaved channels, rows packed.
#pragma once

#include <cstdint>
#include <vector>

namespace velgarde {

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<std::uint8_t> pixels;

    Image() = default;
    Image(int w, int h, int c)
        : width(w), height(h), channels(c),
          pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * c) {}
    std::uint8_t* At(int x, int y) {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * channels;
    }
    const std::uint8_t* At(int x, int y) const {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * channels;
    }
};

}  // namespace velgarde
