#include "cli/ShowChange.h"

#include <algorithm>

#include "cli/RgbLuma16.h"
#include "filter/RgbLuma.h"

namespace velgarde {
namespace {

// 16-bit pixels: the 8-bit routine's view, written with 16-bit greys.
void ShowChange16(const std::uint16_t* before, std::uint16_t* pixels, int channels, std::size_t count,
                  TChangeView view) {
    const bool alpha = channels == 2 || channels == 4;
    const int colours = alpha ? channels - 1 : channels;
    constexpr std::size_t kRun = 256;
    std::int16_t lumaBefore[kRun], lumaAfter[kRun];
    for (std::size_t start = 0; start < count; start += kRun) {
        const std::size_t n = std::min(kRun, count - start);
        const std::size_t offset = start * static_cast<std::size_t>(channels);
        PixelsToLuma16(before + offset, channels, n, lumaBefore, 1);
        PixelsToLuma16(pixels + offset, channels, n, lumaAfter, 1);
        for (std::size_t i = 0; i < n; ++i) {
            const int y = ChangeViewLuma(lumaBefore[i], lumaAfter[i], view);
            const auto grey = static_cast<std::uint16_t>((y * 65535 + LumaWhite / 2) >> 12);
            std::uint16_t* pixel = pixels + offset + i * static_cast<std::size_t>(channels);
            for (int c = 0; c < colours; ++c) pixel[c] = grey;
        }
    }
}

int Sample(const std::uint8_t* plane, std::size_t i, bool wide) {
    return wide ? plane[2 * i] | (plane[2 * i + 1] << 8) : plane[i];
}

void SetSample(std::uint8_t* plane, std::size_t i, bool wide, unsigned value) {
    if (!wide) {
        plane[i] = static_cast<std::uint8_t>(value);
        return;
    }
    plane[2 * i] = static_cast<std::uint8_t>(value);
    plane[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

void ShowChange(const Image& before, Image* image, TChangeView view) {
    if (view == TChangeView::Picture) return;
    if (image->bitDepth == 16)
        ShowChange16(before.pixels16.data(), image->pixels16.data(), image->channels, image->PixelCount(), view);
    else
        ChangeViewPixels(before.pixels.data(), image->pixels.data(), image->channels, image->PixelCount(), view,
                         image->pixels.data());
}

std::vector<std::uint8_t> LumaBeforeSharpening(const Y4mFormat& format, const std::uint8_t* frame,
                                               TChangeView view) {
    if (view == TChangeView::Picture) return {};
    return std::vector<std::uint8_t>(frame, frame + format.LumaBytes());
}

void ShowChange(const Y4mFormat& format, const LumaMapping& mapping,
                const std::vector<std::uint8_t>& lumaBefore, std::uint8_t* frame, TChangeView view,
                Parallel& parallel) {
    if (view == TChangeView::Picture || lumaBefore.size() != format.LumaBytes()) return;
    const bool wide = format.BytesPerSample() == 2;
    const std::size_t samples = static_cast<std::size_t>(format.width) * static_cast<std::size_t>(format.height);
    parallel.For(samples, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const int y = ChangeViewLuma(mapping.ToHost(Sample(lumaBefore.data(), i, wide)),
                                         mapping.ToHost(Sample(frame, i, wide)), view);
            SetSample(frame, i, wide, mapping.FromHost(static_cast<std::int16_t>(y)));
        }
    });
    // Chroma at its zero, in either range; an alpha plane after it stays.
    const std::size_t chromaBytes =
        format.ChromaBytes() - (format.chroma == ChromaLayout::C444Alpha ? format.LumaBytes() : 0);
    std::uint8_t* chroma = frame + format.LumaBytes();
    const unsigned neutral = 1u << (format.bitDepth - 1);
    for (std::size_t i = 0; i < chromaBytes / format.BytesPerSample(); ++i) SetSample(chroma, i, wide, neutral);
}

}  // namespace velgarde
