// How many scratch slots the engine gets: one per processor, never fewer
// than 8, so a host that offers up to 8 worker threads can use them all.
#pragma once

#include <cstdint>

constexpr std::uint32_t MinimumThreadSlots = 8;

constexpr std::uint32_t ThreadSlotsFor(std::uint32_t Processors) {
    return Processors > MinimumThreadSlots ? Processors : MinimumThreadSlots;
}
