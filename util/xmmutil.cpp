#include "util/xmmutil.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
AllocationFaultHook FaultHook = nullptr;
}

void SetAllocationFaultHook(AllocationFaultHook Hook) { FaultHook = Hook; }

void CheckAllocationFault() {
    if (FaultHook != nullptr && FaultHook()) throw std::bad_alloc();
}

void* AlignedAlloc(std::size_t ByteCount, std::size_t Alignment) {
    CheckAllocationFault();
    // The word below the block holds the malloc address; on 32-bit targets
    // this is exactly a 4-byte word and 3 bytes of slack.
    constexpr std::size_t Word = sizeof(void*);
    if (Alignment < Word) Alignment = Word;
    const std::size_t Slack = Alignment + Word - 1;
    if (ByteCount > SIZE_MAX - Slack) throw std::bad_alloc();
    void* Raw = std::malloc(ByteCount + Slack);
    if (Raw == nullptr) throw std::bad_alloc();
    const std::uintptr_t R = reinterpret_cast<std::uintptr_t>(Raw);
    const std::uintptr_t Aligned = (R + Slack) & ~static_cast<std::uintptr_t>(Alignment - 1);
    std::memcpy(reinterpret_cast<void*>(Aligned - Word), &Raw, Word);
    return reinterpret_cast<void*>(Aligned);
}

void AlignedFree(void* P) {
    void* Raw;
    std::memcpy(&Raw, static_cast<char*>(P) - sizeof(void*), sizeof(void*));
    std::free(Raw);
}
