#include <algorithm>
#include <cstring>
#include <vector>

#include "filter/FilterParam.h"
#include "filter/FormatRows.h"
#include "filter/PixelFormats.h"
#include "filter/Reference.h"
#include "filter/RgbLuma.h"
#include "filter/Vectors.h"

namespace {

template <typename SampleFn>
std::int32_t ListSum(CoefficientList List, SampleFn Sample) {
    std::int32_t Sum = 0;
    for (std::int32_t m = 0; m < PairCount(List); ++m)
        Sum += List[2 * m] * Sample(2 * m) + List[2 * m + 1] * Sample(2 * m + 1);
    return Sum;
}

void StoreWord(unsigned char* At, std::int16_t Value) { std::memcpy(At, &Value, 2); }

std::int16_t LoadWord(const unsigned char* At) {
    std::int16_t Value;
    std::memcpy(&Value, At, 2);
    return Value;
}

// One pixel's luma through the plain conversions.
std::int16_t LumaOfPixel(const std::uint8_t* Pixel, const PixelFormat& Format) {
    std::int16_t Y = 0;
    switch (Format.Layout) {
    case PixelLayout::Rgba8: PixelsToLuma_c(Pixel, 4, 1, &Y, 1); break;
    case PixelLayout::Bgra8: {
        const std::uint8_t Rgb[3] = {Pixel[2], Pixel[1], Pixel[0]};
        PixelsToLuma_c(Rgb, 3, 1, &Y, 1);
        break;
    }
    case PixelLayout::Planar8: Y = Format.CodeToLuma[Pixel[0]]; break;
    case PixelLayout::Planar16: Y = Format.CodeToLuma[Pixel[0] | (Pixel[1] << 8)]; break;
    }
    return Y;
}

}  // namespace

void FormatHorizontalKernelScalar(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch, const PixelFormat* Format,
                                  const std::intptr_t* Entries, std::int16_t* LumaRows, std::int32_t Columns,
                                  std::int32_t Groups, std::int32_t WorkPitch, std::int32_t Rows) {
    unsigned char* Work = static_cast<unsigned char*>(WorkDst);
    const std::uint8_t* Picture = static_cast<const std::uint8_t*>(Pixels);
    const int Bytes = PixelBytes(Format->Layout);
    for (std::int32_t y = 0; y < Groups * 4; ++y) {
        // Rows past the picture blur its last row, as the frame kernels do.
        const std::uint8_t* Row = Picture + std::ptrdiff_t{std::min(y, Rows - 1)} * Pitch;
        std::int16_t* Luma = LumaRows + std::ptrdiff_t{y} * LumaRunStride(Columns);
        for (std::int32_t x = 0; x < Columns; ++x) Luma[x] = LumaOfPixel(Row + std::ptrdiff_t{x} * Bytes, *Format);
        PadLumaRun(Luma, Columns);
        for (std::int32_t x = 0; x < Columns; ++x) {
            const std::int32_t E = static_cast<std::int32_t>(Entries[2 * x] / 16) * 2;
            const std::int32_t Sum = ListSum(reinterpret_cast<CoefficientList>(Entries[2 * x + 1]),
                                             [&](std::int32_t k) { return Luma[std::min(E + k, Columns - 1)]; });
            StoreWord(Work + std::ptrdiff_t{y / 2} * 2 * WorkPitch + 4 * x + 2 * (y % 2), RoundBlurSum(Sum));
        }
    }
}

void FormatVerticalKernelScalar(const void* In, void* Out, std::ptrdiff_t Pitch, const PixelFormat* Format,
                                const void* Work, std::intptr_t WorkStart, const std::intptr_t* Entries,
                                const std::int16_t* Luma, std::int32_t Columns, std::int32_t RowCount,
                                std::int32_t WorkPitch, const SharpenLanes* Lanes) {
    const std::uint8_t* From = static_cast<const std::uint8_t*>(In);
    std::uint8_t* To = static_cast<std::uint8_t*>(Out);
    const int Bytes = PixelBytes(Format->Layout);
    const std::int32_t Threshold = Lanes->Threshold[0];
    for (std::int32_t y = 0; y < RowCount; ++y) {
        const unsigned char* Base = static_cast<const unsigned char*>(Work) + (Entries[2 * y] - WorkStart);
        const CoefficientList List = reinterpret_cast<CoefficientList>(Entries[2 * y + 1]);
        for (std::int32_t x = 0; x < Columns; ++x) {
            const std::int32_t Sum = ListSum(List, [&](std::int32_t k) {
                return LoadWord(Base + std::ptrdiff_t{k / 2} * 2 * WorkPitch + 4 * x + 2 * (k % 2));
            });
            const std::ptrdiff_t At = std::ptrdiff_t{y} * Pitch + std::ptrdiff_t{x} * Bytes;
            const std::int16_t Before = Luma[std::ptrdiff_t{y} * LumaRunStride(Columns) + x];
            // The lanes hold the negated amounts; undo that for the model.
            const std::int16_t After = SharpenPixel(RoundBlurSum(Sum), Before, Threshold,
                                                    -std::int32_t{Lanes->Amount[1]}, -std::int32_t{Lanes->Amount[0]});
            std::uint8_t Pixel[4];
            std::memcpy(Pixel, From + At, static_cast<std::size_t>(Bytes));
            if (Format->Layout == PixelLayout::Rgba8 || Format->Layout == PixelLayout::Bgra8) {
                ApplyLumaChange_c(&Before, &After, 1, 1, 4, Pixel);
            } else if (Format->Layout == PixelLayout::Planar8) {
                Pixel[0] = static_cast<std::uint8_t>(Format->LumaToCode[static_cast<std::uint16_t>(After)]);
            } else if (After != Before) {
                // A sample left alone keeps its bytes, stray high bits and all.
                const unsigned Code = Format->LumaToCode[static_cast<std::uint16_t>(After)];
                Pixel[0] = static_cast<std::uint8_t>(Code);
                Pixel[1] = static_cast<std::uint8_t>(Code >> 8);
            }
            std::memcpy(To + At, Pixel, static_cast<std::size_t>(Bytes));
        }
    }
}
