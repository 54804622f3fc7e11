// Plain scalar model of the whole frame computation, written for clarity.
// Tests and benchmarks compare the SSE2 passes against it; it is never part
// of the plug-in.
#pragma once

#include <cstdint>
#include <vector>

#include "filter/KernelSets.h"

// Scalar twins of every kind of kernel, taking exactly their arguments.
HorizontalKernelType HorizontalKernelScalar;
VerticalKernelType VerticalKernelScalar;
// Those of the format kernels (filter/FormatReference.cpp): each pixel's
// luma through the plain conversion (PixelsToLuma_c, the code table), the
// blur and sharpening below, the change back through ApplyLumaChange_c or
// the code table.
FormatHorizontalKernelType FormatHorizontalKernelScalar;
FormatVerticalKernelType FormatVerticalKernelScalar;

// The twins as a kernel set, for an engine made to run them
// (TUnsharpMaskFilter::UseKernels): what every vector set is checked against.
extern const KernelSet ScalarKernels;

// Every set there is: the built-in table, best first (sets this machine
// cannot run included: MachineRuns tells), then the scalar twins.
std::vector<const KernelSet*> EveryKernelSet();

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
