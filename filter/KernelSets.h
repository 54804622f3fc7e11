// Kernel sets: every routine the passes run, once per instruction set, and
// the one table of built-in sets, best first, with what each needs of the
// processor and the operating system. An engine takes the first set this
// machine runs when it is made; tests, golden outputs and benchmarks walk
// the same table. Every set gives the same bits for every input.
//
// A new set: its kernel files (filter/<Kind>Kernel<Set>.cpp, with their
// helpers in filter/<Set>KernelHelpers.h), their declarations in
// filter/Kernels.h, one line in the table (filter/KernelSets.cpp) and its
// compile flags (CMakeLists.txt). A new kind of kernel: its type below, a
// member of KernelSet, KernelKindCount, a kernel in every set and a scalar
// twin (filter/Reference.h), and its check in tests/filter/KernelCheckerTest.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

struct SharpenLanes;
struct PixelFormat;

// The kinds of kernel, as function types (so that filter/Kernels.h can
// declare each set's kernels in one line apiece); filter/Kernels.h says
// what each one does.
using HorizontalKernelType = void(void* WorkDst, const void* Src, const std::intptr_t* EntryData,
                                  void* ScratchBlock, std::int32_t GatherCount, std::int32_t Columns,
                                  std::int32_t Groups, std::int32_t WorkPitch, std::int32_t SrcPitch,
                                  std::int32_t Rows);
using VerticalKernelType = void(void* Frame, const void* Work, const std::intptr_t* Entries,
                                std::int32_t GroupCount, std::int32_t RowCount, std::int32_t SrcPitch,
                                std::int32_t WorkPitch, std::int32_t LastGroupColumns,
                                const SharpenLanes* Lanes);
using FormatHorizontalKernelType = void(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch,
                                        const PixelFormat* Format, const std::intptr_t* Entries, std::int16_t* Luma,
                                        std::int32_t Columns, std::int32_t Groups, std::int32_t WorkPitch,
                                        std::int32_t Rows);
using FormatVerticalKernelType = void(const void* In, void* Out, std::ptrdiff_t Pitch, const PixelFormat* Format,
                                      const void* Work, std::intptr_t WorkStart, const std::intptr_t* Entries,
                                      const std::int16_t* Luma, std::int32_t Columns, std::int32_t RowCount,
                                      std::int32_t WorkPitch, const SharpenLanes* Lanes);
using HorizontalKernelFn = HorizontalKernelType*;
using VerticalKernelFn = VerticalKernelType*;
using FormatHorizontalKernelFn = FormatHorizontalKernelType*;
using FormatVerticalKernelFn = FormatVerticalKernelType*;

// What a set needs: bits that must all be set in CPUID's answers, and the
// register states (XCR0, read with XGETBV) the operating system must save
// on a task switch. Zero everywhere: nothing beyond what the build needs.
struct ProcessorNeeds {
    std::uint32_t Leaf1Ecx = 0;  // CPUID leaf 1
    std::uint32_t Leaf1Edx = 0;
    std::uint32_t Leaf7Ebx = 0;  // CPUID leaf 7, subleaf 0
    std::uint32_t Leaf7Ecx = 0;
    std::uint64_t SavedStates = 0;  // XCR0 bits; non-zero needs OSXSAVE
};

struct KernelSet {
    const char* Name;  // "avx2", "sse2", "scalar": unique, lower case
    ProcessorNeeds Needs;
    // The kernels, one per kind.
    HorizontalKernelFn Horizontal;
    VerticalKernelFn Vertical;
    // The same passes over a host's own pixels (filter/PixelFormats.h).
    FormatHorizontalKernelFn FormatHorizontal;
    FormatVerticalKernelFn FormatVertical;
};

// Kernel members of KernelSet; the checker has a check for each.
constexpr std::size_t KernelKindCount = 4;

// The built-in sets, best first; the last, SSE2, is the floor every build
// needs anyway. (The scalar twins are no part of the filter: they live with
// the scalar model, filter/Reference.h.)
struct KernelSetTable {
    const KernelSet* First;
    std::size_t Count;
    const KernelSet* begin() const { return First; }
    const KernelSet* end() const { return First + Count; }
};
KernelSetTable BuiltInKernelSets();

// Whether this processor and its operating system offer what Needs names.
bool MachineOffers(const ProcessorNeeds& Needs);
inline bool MachineRuns(const KernelSet& Set) { return MachineOffers(Set.Needs); }

// The built-in set called Name if this machine runs it; null for a set it
// cannot run, for an unknown name and for "scalar", which is not built in.
const KernelSet* BuiltInKernelSet(const char* Name);

// The first built-in set this machine runs.
const KernelSet& BestKernelSet();
