// 8-bit RGBA pictures through one sharpening engine, for hosts that hand over
// RGBA frames and bring no threads (frei0r effects, the successor editor):
// luma from the pixels, both passes, the luma change added back to R, G and B
// (filter/RgbLuma.h), each phase split over a worker pool. One instance per
// host instance; instances share nothing, so different ones may run at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "util/ThreadPool.h"

class TRgbaSharpener {
public:
    // Runs every phase on Pool, which must outlive the sharpener. The engine
    // gets ThreadSlotsFor(ProcessorCount()) slots. Throws std::bad_alloc.
    explicit TRgbaSharpener(TThreadPool& Pool);
    ~TRgbaSharpener();
    TRgbaSharpener(const TRgbaSharpener&) = delete;
    TRgbaSharpener& operator=(const TRgbaSharpener&) = delete;

    // ApplyFilterParameters: false if the blur could not be rebuilt (the
    // previous blur stays; threshold and amounts still apply).
    bool SetParameters(const FilterParameters& P) noexcept;

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

    // Process in its phases, so benchmarks can time the conversions apart
    // from the passes (Process itself runs luma in and the horizontal pass
    // band by band). Prepare must succeed before the others; the three must
    // then run in order on the same picture.
    bool Prepare(int Width, int Height, std::ptrdiff_t Stride) noexcept;
    void LumaIn(TThreadPool& FramePool, const std::uint8_t* In, std::ptrdiff_t Stride) noexcept;
    void Sharpen(TThreadPool& FramePool) noexcept;
    // Each row of In, with its change, into Out.
    void LumaOut(TThreadPool& FramePool, const std::uint8_t* In, std::uint8_t* Out,
                 std::ptrdiff_t Stride) noexcept;

private:
    // Each phase is cut into as many shares as the engine has scratch slots
    // (at least 8): a pool thread held up by the system delays one share,
    // not half the frame.
    unsigned Shares() const { return Engine.ThreadSlots; }
    bool Grow(unsigned char*& Block, std::size_t& Capacity, std::size_t Bytes) noexcept;

    TThreadPool& Pool;
    TUnsharpMaskFilter Engine;
    unsigned char* Frame = nullptr;  // per pixel: Y, the luma as it was (in Cb), unused Cr
    std::size_t FrameCapacity = 0;
    unsigned char* WorkPlane = nullptr;
    std::size_t WorkCapacity = 0;
    int Width = 0;
    int Height = 0;
};
