// Pictures in the hosts' own formats (filter/PixelFormats.h) through one
// engine, for the hosts whose threads we own: the frei0r effect, the
// successor editor's module and the tool. The picture is cut into bands of
// rows, one share of bands per pool index; each share runs both passes band
// by band through a work plane of its own a few bands tall (the band plus
// the blur's reach above and below), so every row of the picture is read
// once and written once while it is still in the cache. The editor's own
// path keeps its two passes over the whole frame (plugin/PluginMain.cpp).
//
// Shares never write a row another share reads: each first computes the
// horizontal pass of the rows its bands need from its neighbours (one pool
// run), then runs its bands (a second run), so the result is the same on
// any pool, in place or into another picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filter/PixelFormats.h"
#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "util/ThreadPool.h"

class TPictureSharpener {
public:
    // Shares per frame: the engine's slots (at least 8), so a pool thread
    // held up by the system delays one share, not half the frame.
    explicit TPictureSharpener(std::uint32_t ThreadSlots);
    ~TPictureSharpener();
    TPictureSharpener(const TPictureSharpener&) = delete;
    TPictureSharpener& operator=(const TPictureSharpener&) = delete;

    // ApplyFilterParameters: false if the blur could not be rebuilt (the
    // previous blur stays; threshold and amounts still apply).
    bool SetParameters(const FilterParameters& P) noexcept;

    // Sharpens Width x Height pixels from In into Out, rows Pitch bytes
    // apart (the same picture, or two that do not overlap). An empty picture
    // is done at once. False, with Out untouched, for negative sizes, a
    // pitch shorter than a row, geometry the engine refuses or memory that
    // cannot be had.
    bool Process(TThreadPool& Pool, const PixelFormat& Format, const void* In, void* Out, int Width, int Height,
                 std::ptrdiff_t Pitch) noexcept;

    // The engine, whose kernel set's format kernels the passes run (tests
    // and benchmarks may force a set: TUnsharpMaskFilter::UseKernels).
    TUnsharpMaskFilter& Engine() { return Filter; }

    // Rows per band: a multiple of 4.
    static constexpr std::int32_t BandRows = 32;

private:
    struct Share;
    struct FrameJob;
    static void MarginTask(unsigned Index, unsigned Count, void* Context);
    static void BandTask(unsigned Index, unsigned Count, void* Context);
    bool Prepare(int Width, int Height) noexcept;
    // Groups of work-plane rows that output rows First .. Last - 1 read.
    void NeededGroups(std::int32_t First, std::int32_t Last, std::int32_t* Low, std::int32_t* High) const;

    TUnsharpMaskFilter Filter;
    std::vector<Share> Shares;
    unsigned char* Block = nullptr;  // every share's scratch, band plane and tail
    std::size_t BlockCapacity = 0;
    std::size_t ShareBytes = 0;
    std::int32_t BandGroups = 0;  // groups a share's band plane holds
    std::int32_t TailGroups = 0;  // groups below a share that its last bands read
    std::int32_t Width = 0;
    std::int32_t Height = 0;
};
