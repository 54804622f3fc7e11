#include "frei0r/SharedPool.h"

#include <memory>
#include <mutex>

namespace {
std::mutex Lifetime;  // guards Pool and Holders
std::unique_ptr<TThreadPool> Pool;
unsigned Holders = 0;
std::mutex Running;  // held by the instance whose frame is on the pool
}  // namespace

TThreadPool& AcquireSharedPool() {
    std::lock_guard<std::mutex> Guard(Lifetime);
    if (!Pool) Pool = std::make_unique<TThreadPool>(ProcessorCount());
    ++Holders;
    return *Pool;
}

void ReleaseSharedPool() {
    std::lock_guard<std::mutex> Guard(Lifetime);
    --Holders;
}

void DropIdleSharedPool() {
    std::lock_guard<std::mutex> Guard(Lifetime);
    if (Holders == 0) Pool.reset();
}

bool ProcessOnSharedPool(TRgbaSharpener& Sharpener, const std::uint8_t* In, std::uint8_t* Out, int Width,
                         int Height, std::ptrdiff_t Stride) {
    std::unique_lock<std::mutex> Turn(Running, std::try_to_lock);
    if (Turn.owns_lock()) return Sharpener.Process(In, Out, Width, Height, Stride);
    TThreadPool CallerOnly(1);  // starts no thread
    return Sharpener.Process(CallerOnly, In, Out, Width, Height, Stride);
}
