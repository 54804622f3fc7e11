// Random RGBA pictures and the scalar model's result for them: the luma path
// every RGB host shares, with the frame computed straight from the formulas.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "aviutl2/FilterRecords.h"
#include "filter/Reference.h"
#include "filter/RgbLuma.h"
#include "filter/TrackParameters.h"

namespace auf2_test {

using Settings = std::vector<double>;

// Noise on a ramp, so the blur has edges and flats to work on; alpha random.
inline std::vector<Auf2PixelRgba> RandomPicture(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Auf2PixelRgba> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int ramp = (x * 7 + y * 3) % 256;
            auto near = [&](int base) {
                const int value = base + static_cast<int>(random() % 97) - 48;
                return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
            };
            pixels[static_cast<std::size_t>(y) * width + x] = {near(ramp), near(255 - ramp), near(ramp / 2),
                                                                static_cast<std::uint8_t>(random())};
        }
    return pixels;
}

// Whole track values (the module rounds and clamps the same way).
inline std::vector<Auf2PixelRgba> ModelPicture(const std::vector<Auf2PixelRgba>& picture, int width, int height,
                                               const std::int32_t (&tracks)[TrackCount]) {
    const std::size_t count = picture.size();
    std::vector<Auf2PixelRgba> result = picture;
    auto* bytes = reinterpret_cast<std::uint8_t*>(result.data());
    std::vector<std::int16_t> before(count);
    PixelsToLuma(bytes, 4, count, before.data(), 1);
    std::vector<std::int16_t> frame(count * 3, 0);  // Y, Cb, Cr per pixel
    for (std::size_t i = 0; i < count; ++i) frame[i * 3] = before[i];
    const FilterParameters p = ConvertTrackValues(tracks);
    ReferenceFrame({p.Radius, p.Variance, p.Threshold, p.AmountPlus, p.AmountMinus}, frame.data(), width,
                   height, width);
    ApplyLumaChange(before.data(), frame.data(), 3, count, 4, bytes);
    return result;
}

inline bool SamePixels(const std::vector<Auf2PixelRgba>& a, const std::vector<Auf2PixelRgba>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const Auf2PixelRgba& x, const Auf2PixelRgba& y) {
               return x.R == y.R && x.G == y.G && x.B == y.B && x.A == y.A;
           });
}

}  // namespace auf2_test
