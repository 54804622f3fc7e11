#include "filter/WorkSplit.h"

WorkShare SplitWork(std::uint32_t Units, std::uint32_t ThreadIndex, std::uint32_t ThreadCount,
                    std::uint32_t ThreadSlots) {
    std::uint32_t n = ThreadCount > ThreadSlots ? ThreadSlots : ThreadCount;
    WorkShare Share;
    if (ThreadIndex >= n) return Share;
    if (n == 1) {
        Share.Length = Units;
        return Share;
    }
    // 64-bit products: Index * Units must not wrap for large frames on many cores.
    const std::uint64_t Begin = std::uint64_t{ThreadIndex} * Units / n;
    const std::uint64_t End = (std::uint64_t{ThreadIndex} + 1) * Units / n;
    Share.Start = static_cast<std::uint32_t>(Begin);
    Share.Length = static_cast<std::uint32_t>(End - Begin);
    return Share;
}
