#include "demo/Drawing.h"

#include <algorithm>
#include <cmath>
#include <vector>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb_easy_font.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace velgarde {

void FillRect(Image* image, int x0, int y0, int x1, int y1, Rgb colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image->width);
    y1 = std::min(y1, image->height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            std::uint8_t* p = image->At(x, y);
            for (int c = 0; c < 3 && c < image->channels; ++c) p[c] = colour[c];
        }
}

void FrameRect(Image* image, int x0, int y0, int x1, int y1, int t, Rgb colour) {
    FillRect(image, x0, y0, x1, y0 + t, colour);
    FillRect(image, x0, y1 - t, x1, y1, colour);
    FillRect(image, x0, y0, x0 + t, y1, colour);
    FillRect(image, x1 - t, y0, x1, y1, colour);
}

void DrawText(Image* image, int x, int y, int scale, const std::string& text, Rgb colour) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    // Each quad is four vertices of 16 bytes: x, y, z as float, then RGBA.
    std::vector<float> vertices(text.size() * 400 + 64);
    const int quads = stb_easy_font_print(0, 0, buffer.data(), nullptr, vertices.data(),
                                          static_cast<int>(vertices.size() * sizeof(float)));
    for (int q = 0; q < quads; ++q) {
        const float* v = vertices.data() + q * 16;
        const auto px = [&](float f) { return x + static_cast<int>(std::lround(f * scale)); };
        const auto py = [&](float f) { return y + static_cast<int>(std::lround(f * scale)); };
        FillRect(image, px(v[0]), py(v[1]), px(v[8]), py(v[9]), colour);
    }
}

int TextWidth(const std::string& text, int scale) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return stb_easy_font_width(buffer.data()) * scale;
}

}  // namespace velgarde
