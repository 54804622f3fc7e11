#include "filter/Reference.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "filter/FilterParam.h"
#include "filter/GaussianBlurWeight.h"
#include "filter/Vectors.h"

namespace {

std::int16_t LoadY(const unsigned char* P) {
    std::int16_t Y;
    std::memcpy(&Y, P, 2);
    return Y;
}

void StoreY(unsigned char* P, std::int16_t Y) { std::memcpy(P, &Y, 2); }

std::int16_t Coefficient(CoefficientList List, std::int32_t Slot) { return List[Slot]; }

// Sum of one position's taps; Sample(k) is the value of the k-th sample from
// the list's even start, only ever asked for samples the list reaches.
template <typename SampleFn>
std::int32_t ConvolveList(CoefficientList List, SampleFn Sample) {
    std::int32_t Sum = 0;
    for (std::int32_t m = 0; m < PairCount(List); ++m) {
        const std::int32_t Lo = Coefficient(List, 2 * m);
        const std::int32_t Hi = Coefficient(List, 2 * m + 1);
        Sum += Lo * Sample(2 * m);
        if (Hi != 0) Sum += Hi * Sample(2 * m + 1);
    }
    return Sum;
}

}  // namespace

std::int16_t RoundBlurSum(std::int32_t Sum) {
    const std::int64_t Rounded = (std::int64_t{Sum} + 8192) >> 14;
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(Rounded, -32768, 32767));
}

std::int16_t SharpenPixel(std::int16_t B, std::int16_t Y, std::int32_t Threshold,
                          std::int32_t AmountPlus, std::int32_t AmountMinus) {
    const std::uint16_t T = static_cast<std::uint16_t>(Threshold);
    const std::int16_t D = static_cast<std::int16_t>(static_cast<std::uint16_t>(B - Y));
    const std::uint16_t S = D < 0 ? 0xFFFF : 0;
    const std::uint16_t M = static_cast<std::uint16_t>(D) ^ S;
    const std::uint16_t U = T > M ? T - M : 0;
    const std::uint16_t Soft = M > U ? M - U : 0;
    const std::int16_t E = static_cast<std::int16_t>(Soft ^ S);
    const std::int32_t MinusLane = static_cast<std::int16_t>(static_cast<std::uint16_t>(0u - static_cast<std::uint32_t>(AmountMinus)));
    const std::int32_t PlusLane = static_cast<std::int16_t>(static_cast<std::uint16_t>(0u - static_cast<std::uint32_t>(AmountPlus)));
    const std::int32_t V = D >= 0 ? E * MinusLane : E * PlusLane;
    const std::int32_t Q = V >> 12;  // floor, no rounding term
    const std::int32_t R = std::clamp(Q, -32768, 32767);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(Y + R));
}

void HorizontalKernelScalar(void* WorkDst, const void* Src, const std::intptr_t* EntryData,
                            void*, std::int32_t, std::int32_t Columns, std::int32_t Groups,
                            std::int32_t WorkPitch, std::int32_t SrcPitch, std::int32_t Rows) {
    unsigned char* Work = static_cast<unsigned char*>(WorkDst);
    const unsigned char* Frame = static_cast<const unsigned char*>(Src);
    for (std::int32_t y = 0; y < Groups * 4; ++y) {
        // Rows past the frame blur its last row, as the kernel does.
        const unsigned char* Row = Frame + std::ptrdiff_t{std::min(y, Rows - 1)} * SrcPitch;
        for (std::int32_t x = 0; x < Columns; ++x) {
            const std::int32_t E = static_cast<std::int32_t>(EntryData[2 * x] / 16) * 2;
            const CoefficientList List = reinterpret_cast<CoefficientList>(EntryData[2 * x + 1]);
            const std::int32_t Sum = ConvolveList(List, [&](std::int32_t k) {
                return LoadY(Row + 6 * std::ptrdiff_t{std::min(E + k, Columns - 1)});
            });
            const std::ptrdiff_t At = std::ptrdiff_t{y / 2} * 2 * WorkPitch + 4 * x + 2 * (y % 2);
            StoreY(Work + At, RoundBlurSum(Sum));
        }
    }
}

void VerticalKernelScalar(void* Frame, const void* Work, const std::intptr_t* Entries,
                          std::int32_t GroupCount, std::int32_t RowCount, std::int32_t SrcPitch,
                          std::int32_t WorkPitch, std::int32_t LastGroupColumns, const SharpenLanes* Lanes) {
    unsigned char* Pixels = static_cast<unsigned char*>(Frame);
    const unsigned char* Plane = static_cast<const unsigned char*>(Work);
    const std::int32_t Columns = (GroupCount - 1) * 8 + LastGroupColumns;
    const std::int32_t Threshold = Lanes->Threshold[0];
    for (std::int32_t y = 0; y < RowCount; ++y) {
        const unsigned char* Base = Plane + Entries[2 * y];
        const CoefficientList List = reinterpret_cast<CoefficientList>(Entries[2 * y + 1]);
        for (std::int32_t x = 0; x < Columns; ++x) {
            const std::int32_t Sum = ConvolveList(List, [&](std::int32_t k) {
                return LoadY(Base + std::ptrdiff_t{k / 2} * 2 * WorkPitch + 4 * x + 2 * (k % 2));
            });
            unsigned char* Pixel = Pixels + std::ptrdiff_t{y} * SrcPitch + 6 * x;
            // The lanes hold the negated amounts; undo that for the model.
            StoreY(Pixel, SharpenPixel(RoundBlurSum(Sum), LoadY(Pixel), Threshold,
                                       -std::int32_t{Lanes->Amount[1]}, -std::int32_t{Lanes->Amount[0]}));
        }
    }
}

const KernelSet ScalarKernels = {"scalar", {}, HorizontalKernelScalar, VerticalKernelScalar,
                                 FormatHorizontalKernelScalar, FormatVerticalKernelScalar};

std::vector<const KernelSet*> EveryKernelSet() {
    std::vector<const KernelSet*> Sets;
    for (const KernelSet& Set : BuiltInKernelSets()) Sets.push_back(&Set);
    Sets.push_back(&ScalarKernels);
    return Sets;
}

void ReferenceFrame(const ReferenceSettings& Settings, void* Frame, std::int32_t Width,
                    std::int32_t Height, std::int32_t MaxWidth) {
    if (Width <= 0 || Height <= 0) return;
    TGaussianBlurWeight Weight(Settings.Radius, Settings.Variance);
    // Step 2: an entry's offset is then the index of its first sample.
    TFilterParam Rows, Columns;
    Rows.Count = static_cast<std::uint32_t>(Width);
    Rows.Step = 2;
    Columns.Count = static_cast<std::uint32_t>(Height);
    Columns.Step = 2;
    Weight.MakeFilterParam(Rows);
    Weight.MakeFilterParam(Columns);

    unsigned char* Pixels = static_cast<unsigned char*>(Frame);
    auto Y = [&](std::int32_t y, std::int32_t x) -> unsigned char* {
        return Pixels + (std::ptrdiff_t{y} * MaxWidth + x) * 6;
    };
    const std::size_t W = static_cast<std::size_t>(Width);
    std::vector<std::int16_t> Blurred(W * static_cast<std::size_t>(Height));
    for (std::int32_t y = 0; y < Height; ++y)
        for (std::int32_t x = 0; x < Width; ++x) {
            const std::int32_t E = static_cast<std::int32_t>(Rows.Offset(x));
            // A list reaches one sample past the axis only with a zero coefficient.
            Blurred[y * W + x] = RoundBlurSum(ConvolveList(Rows.List(x), [&](std::int32_t k) {
                return E + k < Width ? LoadY(Y(y, E + k)) : std::int16_t{0};
            }));
        }
    std::vector<std::int16_t> Result(Blurred.size());
    for (std::int32_t y = 0; y < Height; ++y) {
        const std::int32_t E = static_cast<std::int32_t>(Columns.Offset(y));
        for (std::int32_t x = 0; x < Width; ++x) {
            const std::int16_t B = RoundBlurSum(ConvolveList(Columns.List(y), [&](std::int32_t k) {
                return E + k < Height ? Blurred[(E + k) * W + x] : std::int16_t{0};
            }));
            Result[y * W + x] = SharpenPixel(B, LoadY(Y(y, x)), Settings.Threshold,
                                             Settings.AmountPlus, Settings.AmountMinus);
        }
    }
    for (std::int32_t y = 0; y < Height; ++y)
        for (std::int32_t x = 0; x < Width; ++x) StoreY(Y(y, x), Result[y * W + x]);
    FreeFilterParam(Rows);
    FreeFilterParam(Columns);
}
