// How both passes divide their work units between the host's threads.
#pragma once

#include <cstdint>

struct WorkShare {
    std::uint32_t Start = 0;
    std::uint32_t Length = 0;
};

// Thread ThreadIndex's contiguous share of Units. At most ThreadSlots threads
// take part; a thread beyond that, or with an empty share, gets Length 0.
// Shares of the working threads are disjoint and cover every unit.
WorkShare SplitWork(std::uint32_t Units, std::uint32_t ThreadIndex, std::uint32_t ThreadCount,
                    std::uint32_t ThreadSlots);
