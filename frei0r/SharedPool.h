// The worker pool every instance of the effect shares: one set of threads
// for the process however many clips use the effect, made with the first
// instance and dropped at unload once no instance is left.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filter/RgbaSharpener.h"
#include "util/ThreadPool.h"

// The pool, made on first use, one processor a thread; every call is
// matched by ReleaseSharedPool. Throws if it cannot be made.
TThreadPool& AcquireSharedPool();
void ReleaseSharedPool();
// Drops the pool if no instance holds it.
void DropIdleSharedPool();

// One frame on the shared pool, or, while another instance runs on it, on
// the calling thread alone (the same bytes either way).
bool ProcessOnSharedPool(TRgbaSharpener& Sharpener, const std::uint8_t* In, std::uint8_t* Out, int Width,
                         int Height, std::ptrdiff_t Stride);
