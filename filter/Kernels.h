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
// FormatHorizontal, FormatVertical: the same two passes over a host's own
// pixels (filter/PixelFormats.h), for the hosts that hand over RGBA
// pictures or planes of Y codes. The horizontal pass computes each pixel's
// luma while it reads the rows, the vertical pass applies the luma change
// to the pixels while it writes them; an RGBA picture comes out exactly as
// its luma through a frame of Y, Cb, Cr and the change added back
// (filter/RgbLuma.h) would give, a plane of codes as the code mapping
// around a frame would give.
//
// FormatHorizontal: blur of Groups 4-row groups of the picture into the work
// plane. WorkDst: the first group's upper row-pair line (lines WorkPitch * 2
// bytes apart, as above). Pixels: the group's first pixel, rows Pitch bytes
// apart. Entries: the horizontal plan's entries. Luma: 16-byte aligned room
// for Groups * 4 rows of LumaRunStride(Columns) values (filter/FormatRows.h),
// where the kernel leaves each row's luma for the vertical pass (padded; rows
// past the picture hold its last one). Rows: picture rows from Pixels on
// (>= 1); rows of the last group past them repeat the last one and are
// never read. No pixel at or past Columns is read.
//
// FormatVertical: blur of the work plane fused with the sharpening step over
// RowCount whole rows of Columns pixels: each pixel read from In and written
// sharpened to Out (both Pitch apart; the same picture or two apart).
// Entries: the vertical plan's entries from the first row on; their offsets
// count from the plane's start, and Work holds the plane from byte WorkStart
// on, as far as those rows reach. Luma: the first row's luma as the
// horizontal pass left it, rows LumaRunStride(Columns) values apart (the
// pixels are read again only for what the change is added to). Alpha and
// every byte past Columns are neither written nor, in Out, read.
//
// Every set reads and writes exactly what the scalar twins do, nothing more.
#pragma once

#include "filter/KernelSets.h"

// SSE2: the floor every x86 processor here runs.
HorizontalKernelType HorizontalKernelSse2;
VerticalKernelType VerticalKernelSse2;
FormatHorizontalKernelType FormatHorizontalKernelSse2;
FormatVerticalKernelType FormatVerticalKernelSse2;

// AVX2 (-mavx2).
HorizontalKernelType HorizontalKernelAvx2;
VerticalKernelType VerticalKernelAvx2;
FormatHorizontalKernelType FormatHorizontalKernelAvx2;
FormatVerticalKernelType FormatVerticalKernelAvx2;

// AVX-512 F, BW and VL (filter/Avx512KernelHelpers.h).
HorizontalKernelType HorizontalKernelAvx512;
VerticalKernelType VerticalKernelAvx512;
