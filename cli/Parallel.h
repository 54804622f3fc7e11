// Splits plain loops (the luma code conversions) over threads. The base
// class runs them on the calling thread; the tool lends a worker pool.
#pragma once

#include <cstddef>
#include <functional>

namespace velgarde {

class Parallel {
public:
    virtual ~Parallel() = default;
    // Calls part(begin, end) for consecutive parts of [0, count), perhaps
    // concurrently, and returns when every call has returned.
    virtual void For(std::size_t count, const std::function<void(std::size_t, std::size_t)>& part) {
        if (count != 0) part(0, count);
    }
};

}  // namespace velgarde
