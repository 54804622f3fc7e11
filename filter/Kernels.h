// Every set's kernels (filter/KernelSets.h has their types and the table
// that names them). Plain functions over pointers, counts and pitches; they
// allocate nothing and never throw. filter/Reference.h has scalar twins
// with the same arguments; every set gives the same bits. A set beyond
// SSE2 is compiled with its own flags and runs only where the table's
// needs are met (BestKernelSet, or a test that chose it).
//
// Horizontal: blur of Groups 4-row groups into the work plane.
// WorkDst: the band's first row-pair line. Src: the Y of the band's first
// pixel; pixels are 6 bytes apart, rows SrcPitch bytes apart. EntryData: the
// horizontal plan's entries. ScratchBlock: this thread's 16-byte aligned block
// of at least GatherCount * 32 bytes. Columns = width (>= 1), GatherCount =
// (width + 3) / 4. Rows: frame rows from the band's start (>= 1); rows of the
// last group beyond it are never read. No pixel at or past Columns is read.
//
// Vertical: blur of the work plane fused with the sharpening step, over
// GroupCount 8-column groups and RowCount rows, writing Y in place.
// Frame: the Y of the stripe's first pixel in row 0. Work: the plane's start
// plus the stripe's first group * 32. Entries: the vertical plan's entries.
// LastGroupColumns (1..8): real columns in the stripe's last group; the
// pixels past them are neither read nor written. Lanes: the engine's
// threshold and amount lanes (filter/Vectors.h).
//
// Every set reads and writes exactly what the scalar twins do, nothing more.
#pragma once

#include "filter/KernelSets.h"

// SSE2: the floor every x86 processor here runs.
HorizontalKernelType HorizontalKernelSse2;
VerticalKernelType VerticalKernelSse2;

// AVX2 (-mavx2).
HorizontalKernelType HorizontalKernelAvx2;
VerticalKernelType VerticalKernelAvx2;
