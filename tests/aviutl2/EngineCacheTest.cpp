// The sharpeners the module keeps: one per setting while calls overlap, never
// more than its capacity kept, a setting met again served by its own, a blur
// met again by the slot that holds it.
#include <gtest/gtest.h>

#include <vector>

#include "aviutl2/EngineCache.h"
#include "util/ThreadPool.h"

namespace {

TrackValues Setting(std::int32_t range) { return {25, 50, range, 50, 0}; }

TEST(EngineCache, KeepsAtMostItsCapacityAndLendsEachSlotOnce) {
    TThreadPool pool(1);
    TEngineCache cache(pool, 2);
    std::vector<TEngineCache::TLease> leases;
    std::vector<TRgbaSharpener*> lent;
    for (std::int32_t range = 1; range <= 4; ++range) {
        leases.push_back(cache.Acquire(Setting(range)));
        ASSERT_TRUE(leases.back());
        lent.push_back(&leases.back().Sharpener());
    }
    // Four at once: two kept, two made for their calls alone, none shared.
    EXPECT_EQ(cache.KeptCount(), 2u);
    for (std::size_t i = 0; i < lent.size(); ++i)
        for (std::size_t j = i + 1; j < lent.size(); ++j) EXPECT_NE(lent[i], lent[j]);
    leases.clear();

    EXPECT_EQ(&cache.Acquire(Setting(2)).Sharpener(), lent[1]);
    // Two new blurs in turn: the least recently used slot takes each.
    EXPECT_EQ(&cache.Acquire(Setting(7)).Sharpener(), lent[0]);
    EXPECT_EQ(&cache.Acquire(Setting(8)).Sharpener(), lent[1]);
    EXPECT_EQ(cache.KeptCount(), 2u);
    // New amounts and threshold on a blur a slot holds: that slot, though
    // the other one was used longer ago.
    EXPECT_EQ(&cache.Acquire({300, 0, 8, 50, 12}).Sharpener(), lent[1]);
}

}  // namespace
