// One axis's convolution plan: for every output position, where its samples
// start and which 14-bit coefficients apply to them, with the frame edges
// folded into the coefficients so that the passes never test bounds.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// A coefficient list: pairs of signed 16-bit coefficients (16384 = 1.0) at an
// 8-byte aligned address, the pair count in the 32-bit word just before it.
// Pair m multiplies SamplePair m: samples E + 2m (first) and E + 2m + 1.
using CoefficientList = const std::int16_t*;

inline std::int32_t PairCount(CoefficientList List) {
    std::int32_t Count;
    std::memcpy(&Count, reinterpret_cast<const char*>(List) - 4, 4);
    return Count;
}

struct TFilterParam {
    // Block holding every list of this plan (AlignedAlloc, alignment 8).
    void* Coefficients = nullptr;
    // Two pointer-sized entries per position: the byte offset of its first
    // SamplePair in the pass's buffer, then the address of its list. The last
    // two entries stay 0.
    std::vector<std::intptr_t> Entries;
    std::uint32_t Count = 0;  // output positions = input samples on the axis
    std::int32_t Step = 0;    // bytes from one SamplePair to the next
    // Counts the engine keeps for its kernels; the plan builder ignores them.
    std::int32_t GatherCount = 0;
    std::int32_t InnerCount = 0;
    std::int32_t OuterCount = 0;

    TFilterParam() = default;
    // Entries point into the plan's own block: plans are rebuilt, never copied.
    TFilterParam(const TFilterParam&) = delete;
    TFilterParam& operator=(const TFilterParam&) = delete;

    CoefficientList List(std::uint32_t Position) const {
        return reinterpret_cast<CoefficientList>(Entries[2 * Position + 1]);
    }
    std::intptr_t Offset(std::uint32_t Position) const { return Entries[2 * Position]; }
};

// Frees the block and the entries and zeroes the record: the empty plan.
void FreeFilterParam(TFilterParam& P);
