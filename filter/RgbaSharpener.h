// 8-bit RGBA pictures through one sharpening engine, for hosts that hand over
// RGBA frames and bring no threads (frei0r effects, the successor editor):
// the passes read the pixels' luma and write the change back to R, G and B
// themselves (filter/PictureSharpener.h), band by band on a worker pool. One
// instance per host instance; instances share nothing, so different ones
// may run at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filter/PictureSharpener.h"
#include "filter/TrackParameters.h"
#include "util/ThreadPool.h"

class TRgbaSharpener {
public:
    // Runs every frame on Pool, which must outlive the sharpener. The engine
    // gets ThreadSlotsFor(ProcessorCount()) slots. Throws std::bad_alloc.
    explicit TRgbaSharpener(TThreadPool& Pool);

    // ApplyFilterParameters: false if the blur could not be rebuilt (the
    // previous blur stays; threshold and amounts still apply).
    bool SetParameters(const FilterParameters& P) noexcept { return Pictures.SetParameters(P); }

    // Sharpens Width x Height RGBA pixels in place, rows Stride bytes apart.
    // An empty picture is done at once. False, with the picture untouched,
    // for negative sizes, a stride shorter than a row, geometry the engine
    // refuses or memory that cannot be had.
    bool Process(std::uint8_t* Pixels, int Width, int Height, std::ptrdiff_t Stride) noexcept;
    bool Process(const std::uint8_t* In, std::uint8_t* Out, int Width, int Height,
                 std::ptrdiff_t Stride) noexcept;
    // The same from In into Out (both Stride apart; they may be the same
    // picture), on another pool for this one frame if need be (say, a pool
    // of one when the usual pool is busy): results are the same on any pool.
    // On failure Out is not written.
    bool Process(TThreadPool& FramePool, const std::uint8_t* In, std::uint8_t* Out, int Width, int Height,
                 std::ptrdiff_t Stride) noexcept;

    // For tests and benchmarks: the engine and its kernels.
    TPictureSharpener& Sharpener() { return Pictures; }

private:
    TThreadPool& Pool;
    TPictureSharpener Pictures;
};
