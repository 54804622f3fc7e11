// Kernel sets: the pair of passes' kernels for one instruction set, and the
// choice of the best set this processor and operating system can run. An
// engine picks its set once, when it is made; tests and benchmarks may force
// another. Every set gives the same bits for every input.
#pragma once

#include <cstdint>

struct SharpenLanes;

using HorizontalKernelFn = void (*)(void* WorkDst, const void* Src, const std::intptr_t* EntryData,
                                    void* ScratchBlock, std::int32_t GatherCount, std::int32_t Columns,
                                    std::int32_t Groups, std::int32_t WorkPitch, std::int32_t SrcPitch,
                                    std::int32_t Rows);
using VerticalKernelFn = void (*)(void* Frame, const void* Work, const std::intptr_t* Entries,
                                  std::int32_t GroupCount, std::int32_t RowCount, std::int32_t SrcPitch,
                                  std::int32_t WorkPitch, std::int32_t LastGroupColumns,
                                  const SharpenLanes* Lanes);

// The scalar set (the kernels' plain twins) is no part of the filter: it
// lives with the scalar model in filter/Reference.h, for tests and
// benchmarks. SSE2 and AVX2 are built in.
enum class KernelSetId : std::int32_t { Scalar = 0, Sse2 = 1, Avx2 = 2 };

struct KernelSet {
    KernelSetId Id;
    const char* Name;  // "scalar", "sse2", "avx2"
    HorizontalKernelFn Horizontal;
    VerticalKernelFn Vertical;
};

// What CPUID and XGETBV say this processor and its operating system run.
bool ProcessorRunsAvx2();

// The built-in set Id if this machine runs it; null for a set it cannot
// run and for the scalar set, which is not built in.
const KernelSet* BuiltInKernelSet(KernelSetId Id);

// The best built-in set this machine runs: AVX2 where the processor has it
// and the operating system saves the 256-bit registers, else SSE2, the floor.
const KernelSet& BestKernelSet();
