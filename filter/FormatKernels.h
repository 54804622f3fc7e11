// The two passes over the hosts' own pixels (filter/PixelFormats.h): the
// horizontal pass computes each pixel's luma while it reads the rows, the
// vertical pass applies the luma change to the pixels while it writes them,
// so a picture needs no conversion into the engine's frame and back. Same
// plans, work plane and arithmetic as the frame kernels (filter/Kernels.h);
// an RGBA picture gets exactly what its luma through a frame of Y, Cb, Cr
// and the change added back (filter/RgbLuma.h) would give, a plane of codes
// what the code mapping around a frame would give.
//
// Plain functions over pointers, counts and pitches; they allocate nothing
// and never throw. Every kernel set has a pair; filter/FormatReference.h
// holds the scalar twins, which every pair equals bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filter/PixelFormats.h"

struct SharpenLanes;

// Horizontal blur of Groups 4-row groups of the picture into the work plane.
// WorkDst: the first group's upper row-pair line (lines WorkPitch * 2 bytes
// apart, as in the engine's plane). Pixels: the group's first pixel, rows
// Pitch bytes apart. Entries: the engine's horizontal plan. Scratch: 16-byte
// aligned, FormatScratchBytes(Columns) bytes. Rows: picture rows from
// Pixels on (>= 1); rows of the last group past them repeat the last one
// and are never read. No pixel at or past Columns is read.
using FormatHorizontalFn = void (*)(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch,
                                    const PixelFormat* Format, const std::intptr_t* Entries, void* Scratch,
                                    std::int32_t Columns, std::int32_t Groups, std::int32_t WorkPitch,
                                    std::int32_t Rows);

// Vertical blur fused with sharpening over RowCount whole rows of Columns
// pixels: reads each pixel from In, writes it sharpened to Out (both Pitch
// apart; they may be the same picture). Entries: the vertical plan's entries
// of the first row on. Their offsets count from the plane's start; Work
// holds the plane from byte WorkStart on, as far as those rows reach.
// Lanes: the engine's threshold and amounts. Alpha and every byte past
// Columns are neither written nor, in Out, read.
using FormatVerticalFn = void (*)(const void* In, void* Out, std::ptrdiff_t Pitch, const PixelFormat* Format,
                                  const void* Work, std::intptr_t WorkStart, const std::intptr_t* Entries,
                                  std::int32_t Columns, std::int32_t RowCount, std::int32_t WorkPitch,
                                  const SharpenLanes* Lanes);

struct FormatKernels {
    FormatHorizontalFn Horizontal;
    FormatVerticalFn Vertical;
};

// Scratch a horizontal format kernel needs for rows of Columns pixels.
std::size_t FormatScratchBytes(std::int32_t Columns);

// The built-in pairs (SSE2, and AVX2 compiled with -mavx2: run only where
// the processor and the operating system allow it).
void FormatHorizontalSse2(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch, const PixelFormat* Format,
                          const std::intptr_t* Entries, void* Scratch, std::int32_t Columns, std::int32_t Groups,
                          std::int32_t WorkPitch, std::int32_t Rows);
void FormatVerticalSse2(const void* In, void* Out, std::ptrdiff_t Pitch, const PixelFormat* Format,
                        const void* Work, std::intptr_t WorkStart, const std::intptr_t* Entries,
                        std::int32_t Columns, std::int32_t RowCount, std::int32_t WorkPitch,
                        const SharpenLanes* Lanes);
void FormatHorizontalAvx2(void* WorkDst, const void* Pixels, std::ptrdiff_t Pitch, const PixelFormat* Format,
                          const std::intptr_t* Entries, void* Scratch, std::int32_t Columns, std::int32_t Groups,
                          std::int32_t WorkPitch, std::int32_t Rows);
void FormatVerticalAvx2(const void* In, void* Out, std::ptrdiff_t Pitch, const PixelFormat* Format,
                        const void* Work, std::intptr_t WorkStart, const std::intptr_t* Entries,
                        std::int32_t Columns, std::int32_t RowCount, std::int32_t WorkPitch,
                        const SharpenLanes* Lanes);
