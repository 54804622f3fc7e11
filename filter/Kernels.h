// The two passes' inner routines, in SSE2 (the floor every x86 processor
// here runs) and in AVX2. Plain functions over pointers, counts and
// pitches; they allocate nothing and never throw. filter/Reference.h has
// scalar twins with the same arguments; every variant gives the same bits.
// The AVX2 variants run only where BestKernelSet (filter/KernelSets.h) or a
// test chose them, that is where CPUID and XGETBV allow.
#pragma once

#include <cstdint>

struct SharpenLanes;

// Horizontal blur of Groups 4-row groups into the work plane.
// WorkDst: the band's first row-pair line. Src: the Y of the band's first
// pixel; pixels are 6 bytes apart, rows SrcPitch bytes apart. EntryData: the
// horizontal plan's entries. ScratchBlock: this thread's 16-byte aligned block
// of at least GatherCount * 32 bytes. Columns = width (>= 1), GatherCount =
// (width + 3) / 4. Rows: frame rows from the band's start (>= 1); rows of the
// last group beyond it are never read. No pixel at or past Columns is read.
void HorizontalKernel(void* WorkDst, const void* Src, const std::intptr_t* EntryData,
                      void* ScratchBlock, std::int32_t GatherCount, std::int32_t Columns,
                      std::int32_t Groups, std::int32_t WorkPitch, std::int32_t SrcPitch,
                      std::int32_t Rows);

// Vertical blur of the work plane fused with the sharpening step, over
// GroupCount 8-column groups and RowCount rows, writing Y in place.
// Frame: the Y of the stripe's first pixel in row 0. Work: the plane's start
// plus the stripe's first group * 32. Entries: the vertical plan's entries.
// LastGroupColumns (1..8): real columns in the stripe's last group; the
// pixels past them are neither read nor written. Lanes: the engine's
// threshold and amount lanes (filter/Vectors.h).
void VerticalKernel(void* Frame, const void* Work, const std::intptr_t* Entries,
                    std::int32_t GroupCount, std::int32_t RowCount, std::int32_t SrcPitch,
                    std::int32_t WorkPitch, std::int32_t LastGroupColumns, const SharpenLanes* Lanes);

// The same in AVX2 (compiled on their own with -mavx2). Same arguments, same
// results, same reads and writes: nothing outside what the SSE2 kernels touch.
void HorizontalKernelAvx2(void* WorkDst, const void* Src, const std::intptr_t* EntryData,
                          void* ScratchBlock, std::int32_t GatherCount, std::int32_t Columns,
                          std::int32_t Groups, std::int32_t WorkPitch, std::int32_t SrcPitch,
                          std::int32_t Rows);
void VerticalKernelAvx2(void* Frame, const void* Work, const std::intptr_t* Entries,
                        std::int32_t GroupCount, std::int32_t RowCount, std::int32_t SrcPitch,
                        std::int32_t WorkPitch, std::int32_t LastGroupColumns, const SharpenLanes* Lanes);
