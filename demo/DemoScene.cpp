#include "demo/DemoScene.h"

#include <algorithm>
#include <cmath>

#include "demo/Drawing.h"
#include "filter/ChangeView.h"

namespace velgarde {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
constexpr double kPi = 3.14159265358979323846;

std::uint8_t ToByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Binomial 1-4-6-4-1 along both axes (about a Gaussian of sigma 1), edges
// repeated: the softness of a slightly out-of-focus camera.
Image Blur(const Image& in) {
    static const int k[5] = {1, 4, 6, 4, 1};
    Image tmp(in.width, in.height, in.channels), out(in.width, in.height, in.channels);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            for (int c = 0; c < in.channels; ++c) {
                int sum = 0;
                for (int i = -2; i <= 2; ++i)
                    sum += k[i + 2] * in.At(std::clamp(x + i, 0, in.width - 1), y)[c];
                tmp.At(x, y)[c] = static_cast<std::uint8_t>((sum + 8) >> 4);
            }
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            for (int c = 0; c < in.channels; ++c) {
                int sum = 0;
                for (int i = -2; i <= 2; ++i)
                    sum += k[i + 2] * tmp.At(x, std::clamp(y + i, 0, in.height - 1))[c];
                out.At(x, y)[c] = static_cast<std::uint8_t>((sum + 8) >> 4);
            }
    return out;
}

Image ToRgb(const Image& in) {
    if (in.channels == 3) return in;
    Image out(in.width, in.height, 3);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const std::uint8_t* p = in.At(x, y);
            std::uint8_t* q = out.At(x, y);
            for (int c = 0; c < 3; ++c) q[c] = in.channels >= 3 ? p[c] : p[0];
        }
    return out;
}

void Paste(const Image& from, int sx, int sy, int w, int h, int zoom, Image* to, int dx, int dy) {
    for (int y = 0; y < h * zoom; ++y)
        for (int x = 0; x < w * zoom; ++x) {
            const int fx = sx + x / zoom, fy = sy + y / zoom;
            const int tx = dx + x, ty = dy + y;
            if (fx < 0 || fy < 0 || fx >= from.width || fy >= from.height) continue;
            if (tx < 0 || ty < 0 || tx >= to->width || ty >= to->height) continue;
            const std::uint8_t* p = from.At(fx, fy);
            std::uint8_t* q = to->At(tx, ty);
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
}

}  // namespace

CropRegion DemoCrop() { return {22, 16, 160, 112}; }

Image DemoScene() {
    Image img(kWidth, kHeight, 3);
    // Smooth gradients: a sky-like vertical blend, a grey ramp at the bottom.
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double t = static_cast<double>(y) / (kHeight - 1);
            const double s = static_cast<double>(x) / (kWidth - 1);
            std::uint8_t* p = img.At(x, y);
            p[0] = ToByte(70 + 120 * t + 30 * s);
            p[1] = ToByte(110 + 80 * t);
            p[2] = ToByte(190 - 90 * t);
        }
    for (int y = 352; y < 392; ++y)
        for (int x = 16; x < 624; ++x) {
            const std::uint8_t v = ToByte(255.0 * (x - 16) / 607);
            std::uint8_t* p = img.At(x, y);
            p[0] = p[1] = p[2] = v;
        }

    // Text-like strokes on a paper-coloured card, from large to small.
    FillRect(&img, 16, 12, 336, 180, {236, 232, 220});
    DrawText(&img, 26, 22, 3, "Velgarde", {20, 20, 30});
    DrawText(&img, 26, 50, 2, "Unsharp mask, luma only", {30, 30, 40});
    DrawText(&img, 26, 72, 2, "0123456789 +-*/=", {140, 20, 20});
    DrawText(&img, 26, 94, 1, "The quick brown fox jumps over the lazy dog.", {25, 25, 25});
    DrawText(&img, 26, 106, 1, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG!", {25, 25, 25});
    DrawText(&img, 26, 118, 1, "Fine print stays legible when sharpened.", {20, 60, 120});
    for (int i = 0; i < 6; ++i)  // hatching: strokes of one and two pixels
        FillRect(&img, 26 + i * 10, 136, 26 + i * 10 + 1 + i % 2, 170, {40, 40, 40});
    for (int i = 0; i < 6; ++i)
        FillRect(&img, 96, 136 + i * 6, 166, 137 + i * 6 + i % 2, {40, 40, 40});

    // Fine detail: a zone plate, whose rings get finer towards the edge.
    const int zx = 352, zy = 12, zs = 168;
    for (int y = 0; y < zs; ++y)
        for (int x = 0; x < zs; ++x) {
            const double dx = x - zs / 2.0, dy = y - zs / 2.0;
            const double v = 128 + 110 * std::cos(kPi * (dx * dx + dy * dy) / (zs * 1.4));
            std::uint8_t* p = img.At(zx + x, zy + y);
            p[0] = p[1] = p[2] = ToByte(v);
        }
    // Gratings of 2, 3, 4 and 6 pixel periods.
    for (int g = 0; g < 4; ++g) {
        const int period = g == 3 ? 6 : g + 2;
        for (int y = 12 + g * 42; y < 12 + g * 42 + 36; ++y)
            for (int x = 532; x < 624; ++x) {
                std::uint8_t* p = img.At(x, y);
                p[0] = p[1] = p[2] = (x % period) * 2 < period ? 210 : 50;
            }
    }

    // Hard edges: blocks of colour, a disc and a checkerboard.
    FillRect(&img, 16, 196, 136, 336, {200, 40, 40});
    FillRect(&img, 56, 236, 176, 316, {40, 150, 60});
    FillRect(&img, 96, 216, 156, 256, {250, 220, 60});
    for (int y = 196; y < 336; ++y)
        for (int x = 200; x < 340; ++x) {
            const double r = std::hypot(x - 270.0, y - 266.0);
            if (r < 64) {
                std::uint8_t* p = img.At(x, y);
                p[0] = 30;
                p[1] = 40;
                p[2] = r < 40 ? 90 : 160;
            }
        }
    for (int y = 196; y < 336; ++y)
        for (int x = 360; x < 624; ++x) {
            const bool dark = ((x - 360) / 11 + (y - 196) / 11) % 2 != 0;
            std::uint8_t* p = img.At(x, y);
            p[0] = p[1] = p[2] = dark ? 35 : 225;
        }
    return Blur(img);
}

Image CompareSheet(const Image& beforeIn, const Image& afterIn, CropRegion crop, int zoom) {
    const Image before = ToRgb(beforeIn), after = ToRgb(afterIn);
    Image change = after;
    ChangeViewPixels(before.pixels.data(), after.pixels.data(), 3, after.PixelCount(), TChangeView::Change,
                     change.pixels.data());
    const Image* pictures[3] = {&before, &after, &change};
    const char* const names[3] = {"before", "after", "change"};
    const int w = before.width, h = before.height, gap = 8, label = 20;
    crop.width = std::min(crop.width, w);
    crop.height = std::min(crop.height, h);
    crop.x = std::clamp(crop.x, 0, w - crop.width);
    crop.y = std::clamp(crop.y, 0, h - crop.height);
    // The magnified crops share the width of one picture each at most.
    zoom = std::max(1, std::min(zoom, w / crop.width));
    const int zh = crop.height * zoom;
    Image sheet(3 * w + 2 * gap, label + h + gap + label + zh, 3);
    FillRect(&sheet, 0, 0, sheet.width, sheet.height, {24, 24, 28});
    const Rgb white = {240, 240, 240}, marker = {255, 60, 200};
    const int y2 = label + h + gap;
    for (int side = 0; side < 3; ++side) {
        const int ox = side * (w + gap);
        DrawText(&sheet, ox + 4, 4, 2, names[side], white);
        Paste(*pictures[side], 0, 0, w, h, 1, &sheet, ox, label);
        FrameRect(&sheet, ox + crop.x - 1, label + crop.y - 1, ox + crop.x + crop.width + 1,
                  label + crop.y + crop.height + 1, 1, marker);
        DrawText(&sheet, ox + 4, y2 + 4, 2, names[side] + std::string(" x") + std::to_string(zoom), white);
        Paste(*pictures[side], crop.x, crop.y, crop.width, crop.height, zoom, &sheet, ox, y2 + label);
    }
    return sheet;
}

Image SettingsSheet(const std::vector<LabelledImage>& tiles, CropRegion crop, int zoom, int columns) {
    const int gap = 8, label = 20;
    const int tw = crop.width * zoom, th = crop.height * zoom;
    const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
    Image sheet(columns * (tw + gap) + gap, rows * (th + label + gap) + gap, 3);
    FillRect(&sheet, 0, 0, sheet.width, sheet.height, {24, 24, 28});
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const int x = gap + static_cast<int>(i % columns) * (tw + gap);
        const int y = gap + static_cast<int>(i / columns) * (th + label + gap);
        DrawText(&sheet, x + 2, y + 3, 2, tiles[i].label, {240, 240, 240});
        Paste(ToRgb(tiles[i].image), crop.x, crop.y, crop.width, crop.height, zoom, &sheet, x, y + label);
    }
    return sheet;
}

}  // namespace velgarde
