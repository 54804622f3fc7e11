// What the kernels read besides the frame, the work plane and the plans: one
// process-wide constant, and the lanes of one engine's sharpening settings,
// which every engine holds for itself and hands to the vertical kernel.
// Nothing here is mutable process-wide. Kernels load the lanes unaligned.
#pragma once

#include <cstdint>

// Four 32-bit lanes of 8192: half of the 14-bit unit, added before >> 14.
extern const std::int32_t RoundVector[4];

// One engine's threshold and amounts as the vertical kernel loads them.
// A value-initialised record holds threshold 0 and amounts 0.
struct SharpenLanes {
    // Eight unsigned 16-bit lanes: the soft threshold.
    std::uint16_t Threshold[8] = {};
    // Eight signed 16-bit lanes: even lanes scale darkening, odd lanes brightening.
    std::int16_t Amount[8] = {};
};

// Writes the low 16 bits of Value into every threshold lane.
void FillThresholdLanes(SharpenLanes& Lanes, std::int32_t Value);
// Writes the low 16 bits of EvenLanes into amount lanes 0, 2, 4, 6 and of
// OddLanes into lanes 1, 3, 5, 7.
void FillAmountLanes(SharpenLanes& Lanes, std::int32_t OddLanes, std::int32_t EvenLanes);
