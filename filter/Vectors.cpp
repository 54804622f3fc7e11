#include "filter/Vectors.h"

alignas(16) const std::int32_t RoundVector[4] = {8192, 8192, 8192, 8192};
alignas(16) std::uint16_t ThresholdVector[8] = {};
alignas(16) std::int16_t AmountVector[8] = {};

void FillThresholdVector(std::int32_t Value) {
    for (auto& Lane : ThresholdVector) Lane = static_cast<std::uint16_t>(Value);
}

void FillAmountVector(std::int32_t OddLanes, std::int32_t EvenLanes) {
    for (int i = 0; i < 8; i += 2) {
        AmountVector[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(EvenLanes));
        AmountVector[i + 1] = static_cast<std::int16_t>(static_cast<std::uint16_t>(OddLanes));
    }
}
