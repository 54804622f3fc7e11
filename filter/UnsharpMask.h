// The sharpening engine: blur parameters (through the weight table),
// threshold, amounts, the two plans, per-thread scratch and the geometry of
// the current frame size. Every engine owns all the settings its kernels
// read, so any number of them can live and run in one process at once.
#pragma once

#include <cstdint>
#include <cstddef>

#include "filter/FilterParam.h"
#include "filter/GaussianBlurWeight.h"
#include "filter/KernelSets.h"
#include "filter/Vectors.h"

class TUnsharpMaskFilter {
public:
    // ThreadSlots scratch blocks: the most threads a pass employs.
    explicit TUnsharpMaskFilter(std::uint32_t ThreadSlots);
    virtual ~TUnsharpMaskFilter();
    TUnsharpMaskFilter(const TUnsharpMaskFilter&) = delete;
    TUnsharpMaskFilter& operator=(const TUnsharpMaskFilter&) = delete;

    // Each setter does nothing when the value equals the one it holds.
    // A new blur rebuilds the weights and releases plans and buffers.
    void SetBlur(double Radius, double Variance);
    void SetAmount(std::int32_t Plus, std::int32_t Minus);
    void SetThreshold(std::int32_t Value);

    // Prepares geometry, scratch and both plans for a frame; keeps them when
    // the size is unchanged. Returns false, leaving the engine empty, for
    // geometry it cannot serve (negative sizes, MaxWidth below Width, byte
    // counts beyond 32 bits, a scratch block beyond the target's size_t). An allocation failure throws std::bad_alloc and
    // leaves the engine empty, so the next Setup rebuilds.
    bool Setup(std::int32_t Width, std::int32_t Height, std::int32_t MaxWidth);

    // One thread's share of each pass. Both do nothing unless Setup built
    // the engine for a non-empty frame.
    void HorizontalPass(void* WorkPlane, const void* Frame, std::uint32_t ThreadIndex,
                        std::uint32_t ThreadCount) const;
    void VerticalPass(void* Frame, const void* WorkPlane, std::uint32_t ThreadIndex,
                      std::uint32_t ThreadCount) const;

    // The kernel set the passes run: the best this machine supports, chosen
    // when the engine is made. Tests and benchmarks may force another; a
    // built-in one by name (false, keeping the current set, where the
    // machine cannot run it or no set has the name), any other (the scalar
    // twins) by reference: the set must outlive the engine. Not while a
    // pass runs.
    const KernelSet& Kernels() const { return *KernelsInUse; }
    bool UseKernels(const char* Name);
    void UseKernels(const KernelSet& Set) { KernelsInUse = &Set; }

    // Frees both plans and the scratch block; geometry fields keep their values.
    void ReleaseBuffers();

    bool IsBuilt() const { return Scratch != nullptr && HParam.Count != 0 && VParam.Count != 0; }

    // Bytes of the work plane the passes need in TempFrame for a frame size.
    static std::uint64_t WorkPlaneBytes(std::int32_t Width, std::int32_t Height);

    // State, readable by the passes and by tests; only the engine writes it.
    std::int32_t SrcPitch = 0;         // bytes per frame row
    std::int32_t WorkPitch = 0;        // bytes per work-plane row (padded width * 2)
    std::int32_t SrcGroupStride = 0;   // bytes per 4-row group of the frame
    std::int32_t WorkGroupStride = 0;  // bytes per 4-row group of the work plane
    std::int32_t WorkColumnStep = 0;   // bytes per 8-column group in a work-plane line
    std::int32_t SrcColumnStep = 0;    // bytes per 8-pixel group in a frame row
    std::int32_t ScratchSize = 0;      // bytes of one thread's scratch block
    unsigned char* Scratch = nullptr;  // ThreadSlots blocks, 128-byte aligned
    TGaussianBlurWeight Weight;
    std::uint32_t ThreadSlots = 0;
    std::int32_t Threshold = 0;
    std::int32_t AmountPlus = 0;
    std::int32_t AmountMinus = 0;
    SharpenLanes Lanes;  // the threshold and negated amounts as the kernel loads them
    TFilterParam HParam;  // over the width
    TFilterParam VParam;  // over the height

private:
    const KernelSet* KernelsInUse;

    void Build(std::int32_t Width, std::int32_t Height, std::int32_t MaxWidth);
};
