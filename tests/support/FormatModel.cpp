#include "tests/support/FormatModel.h"

#include <cstring>

#include "filter/Reference.h"
#include "filter/RgbLuma.h"
#include "tests/support/Model.h"

namespace velgarde_test {

void FormatModel(const PixelFormat& Format, const std::int32_t* Tracks, std::uint8_t* Bytes, int Width, int Height,
                 std::ptrdiff_t Pitch) {
    const std::size_t W = static_cast<std::size_t>(Width);
    const int Size = PixelBytes(Format.Layout);
    const bool Rgb = Format.Layout == PixelLayout::Rgba8 || Format.Layout == PixelLayout::Bgra8;
    std::vector<std::int16_t> Frame(W * static_cast<std::size_t>(Height) * 3, 0), Before(W * static_cast<std::size_t>(Height));
    for (int y = 0; y < Height; ++y)
        for (std::size_t x = 0; x < W; ++x) {
            const std::uint8_t* P = Bytes + y * Pitch + x * Size;
            std::int16_t& V = Before[y * W + x];
            if (Format.Layout == PixelLayout::Rgba8) {
                PixelsToLuma_c(P, 4, 1, &V, 1);
            } else if (Format.Layout == PixelLayout::Bgra8) {
                const std::uint8_t Rgb3[3] = {P[2], P[1], P[0]};
                PixelsToLuma_c(Rgb3, 3, 1, &V, 1);
            } else {
                V = Format.CodeToLuma[Size == 1 ? P[0] : P[0] | (P[1] << 8)];
            }
            Frame[(y * W + x) * 3] = V;
        }
    ReferenceFrame(ModelSettings(ConvertTrackValues(Tracks)), Frame.data(), Width, Height, Width);
    for (int y = 0; y < Height; ++y)
        for (std::size_t x = 0; x < W; ++x) {
            std::uint8_t* P = Bytes + y * Pitch + x * Size;
            const std::int16_t Was = Before[y * W + x], Now = Frame[(y * W + x) * 3];
            if (Rgb) {
                ApplyLumaChange_c(&Was, &Now, 1, 1, 4, P);
            } else if (Size == 1 || Now != Was) {
                const unsigned Code = Format.LumaToCode[static_cast<std::uint16_t>(Now)];
                P[0] = static_cast<std::uint8_t>(Code);
                if (Size == 2) P[1] = static_cast<std::uint8_t>(Code >> 8);
            }
        }
}

}  // namespace velgarde_test
