#include "filter/Vectors.h"

alignas(16) const std::int32_t RoundVector[4] = {8192, 8192, 8192, 8192};

void FillThresholdLanes(SharpenLanes& Lanes, std::int32_t Value) {
    for (auto& Lane : Lanes.Threshold) Lane = static_cast<std::uint16_t>(Value);
}

void FillAmountLanes(SharpenLanes& Lanes, std::int32_t OddLanes, std::int32_t EvenLanes) {
    for (int i = 0; i < 8; i += 2) {
        Lanes.Amount[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(EvenLanes));
        Lanes.Amount[i + 1] = static_cast<std::int16_t>(static_cast<std::uint16_t>(OddLanes));
    }
}
