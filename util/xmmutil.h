// Aligned blocks for vector data.
#pragma once

#include <cstddef>

// Returns a block of `ByteCount` bytes whose address is a multiple of
// `Alignment` (a power of two, raised to at least the size of a pointer). The
// block's own start is kept in the pointer-sized word just below the returned
// address. Throws std::bad_alloc when memory runs out or the size overflows.
void* AlignedAlloc(std::size_t ByteCount, std::size_t Alignment);

// Returns a block from AlignedAlloc. Does not accept null.
void AlignedFree(void* P);

// Test hook: when set, called before every allocation the filter makes; a
// true result makes that allocation fail with std::bad_alloc. Null (the
// default) costs one load on the settings path and nothing per frame.
using AllocationFaultHook = bool (*)();
void SetAllocationFaultHook(AllocationFaultHook Hook);
// Throws std::bad_alloc if the hook asks for a failure.
void CheckAllocationFault();
