// Counts the filter's allocations through its fault hook and, if asked,
// fails the n-th of them with std::bad_alloc. One probe at a time; the hook
// is removed when the probe goes.
#pragma once

namespace velgarde_test {

class AllocationProbe {
public:
    explicit AllocationProbe(int FailOn = 0);
    ~AllocationProbe();
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;
    int Count() const;
};

}  // namespace velgarde_test
