// Plain scalar model of the whole frame computation, written for clarity.
// Tests and benchmarks compare the SSE2 passes against it; it is never part
// of the plug-in.
#pragma once

#include <cstdint>

#include "filter/KernelSets.h"

// Scalar twins of the two kernels, taking exactly their arguments.
void HorizontalKernelScalar(void* WorkDst, const void* Src, const std::intptr_t* EntryData,
                            void* ScratchBlock, std::int32_t GatherCount, std::int32_t Columns,
                            std::int32_t Groups, std::int32_t WorkPitch, std::int32_t SrcPitch,
                            std::int32_t Rows);
void VerticalKernelScalar(void* Frame, const void* Work, const std::intptr_t* Entries,
                          std::int32_t GroupCount, std::int32_t RowCount, std::int32_t SrcPitch,
                          std::int32_t WorkPitch, std::int32_t LastGroupColumns, const SharpenLanes* Lanes);

// The twins as a kernel set, for an engine made to run them
// (TUnsharpMaskFilter::UseKernels): what every vector set is checked against.
extern const KernelSet ScalarKernels;

// One pixel's sharpening step: B the blurred value, Y the pixel's own.
// Threshold and amounts as the engine holds them (low 16 bits of the
// threshold; amounts negated into signed 16-bit lanes).
std::int16_t SharpenPixel(std::int16_t B, std::int16_t Y, std::int32_t Threshold,
                          std::int32_t AmountPlus, std::int32_t AmountMinus);

// Rounds a 14-bit fixed-point sum and saturates it to 16 bits.
std::int16_t RoundBlurSum(std::int32_t Sum);

struct ReferenceSettings {
    double Radius;
    double Variance;
    std::int32_t Threshold;
    std::int32_t AmountPlus;
    std::int32_t AmountMinus;
};

// Sharpens the Y values of a frame (rows of 6-byte pixels, MaxWidth pixels
// apart) in place, straight from the formulas: build the two plans, blur
// every row, blur every column, sharpen. Reads only pixels inside the frame.
void ReferenceFrame(const ReferenceSettings& Settings, void* Frame, std::int32_t Width,
                    std::int32_t Height, std::int32_t MaxWidth);
