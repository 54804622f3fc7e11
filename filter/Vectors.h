// The three process-wide constant vectors the kernels read. They live outside
// the engine: the threshold and amount vectors keep what was last written
// until the module is unloaded. Kernels load them unaligned.
#pragma once

#include <cstdint>

// Four 32-bit lanes of 8192: half of the 14-bit unit, added before >> 14.
extern const std::int32_t RoundVector[4];
// Eight unsigned 16-bit lanes: the soft threshold.
extern std::uint16_t ThresholdVector[8];
// Eight signed 16-bit lanes: even lanes scale darkening, odd lanes brightening.
extern std::int16_t AmountVector[8];

// Writes the low 16 bits of Value into every lane of ThresholdVector.
void FillThresholdVector(std::int32_t Value);
// Writes the low 16 bits of EvenLanes into lanes 0, 2, 4, 6 and of OddLanes
// into lanes 1, 3, 5, 7 of AmountVector.
void FillAmountVector(std::int32_t OddLanes, std::int32_t EvenLanes);
