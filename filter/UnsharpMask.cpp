#include "filter/UnsharpMask.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "filter/Vectors.h"
#include "filter/WorkSplit.h"
#include "util/xmmutil.h"

namespace {
// Blur settings of a new engine, before the host sends its own.
constexpr double InitialRadius = 2.5;
constexpr double InitialVariance = 2.0;
constexpr std::int64_t MaxBytes = std::numeric_limits<std::int32_t>::max();

std::int64_t PaddedWidth(std::int64_t Width) { return (Width + 7) & ~std::int64_t{7}; }

// The scratch block (ThreadSlots blocks of one gather row each) must fit this
// target's size_t: on 32-bit targets it wraps for rows of some 67 million
// pixels, which pass every 32-bit stride check above.
bool ScratchFits(std::int64_t Width, std::uint32_t ThreadSlots) {
    const std::uint64_t Block = static_cast<std::uint64_t>(((Width + 3) / 4 * 16 * 2 + 16 + 127) & ~std::int64_t{127});
    return Block * ThreadSlots <= std::numeric_limits<std::size_t>::max();
}
}  // namespace

TUnsharpMaskFilter::TUnsharpMaskFilter(std::uint32_t Slots)
    : Weight(InitialRadius, InitialVariance), ThreadSlots(Slots), KernelsInUse(&BestKernelSet()) {}

TUnsharpMaskFilter::~TUnsharpMaskFilter() { ReleaseBuffers(); }

void TUnsharpMaskFilter::SetBlur(double Radius, double Variance) {
    if (Radius == Weight.Radius() && Variance == Weight.Variance()) return;
    Weight.SetParam(Radius, Variance);
    ReleaseBuffers();
}

void TUnsharpMaskFilter::SetAmount(std::int32_t Plus, std::int32_t Minus) {
    if (Plus == AmountPlus && Minus == AmountMinus) return;
    AmountPlus = Plus;
    AmountMinus = Minus;
    // Negated here, in 32 bits: the lanes hold the factors the kernel adds.
    FillAmountLanes(Lanes, static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(Plus)),
                     static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(Minus)));
}

void TUnsharpMaskFilter::SetThreshold(std::int32_t Value) {
    if (Value == Threshold) return;
    Threshold = Value;
    FillThresholdLanes(Lanes, Value);
}

bool TUnsharpMaskFilter::UseKernels(const char* Name) {
    const KernelSet* Set = BuiltInKernelSet(Name);
    if (Set == nullptr) return false;
    KernelsInUse = Set;
    return true;
}

void TUnsharpMaskFilter::ReleaseBuffers() {
    FreeFilterParam(HParam);
    FreeFilterParam(VParam);
    if (Scratch != nullptr) {
        AlignedFree(Scratch);
        Scratch = nullptr;
    }
}

std::uint64_t TUnsharpMaskFilter::WorkPlaneBytes(std::int32_t Width, std::int32_t Height) {
    if (Width <= 0 || Height <= 0) return 0;
    return static_cast<std::uint64_t>((std::int64_t{Height} + 3) / 4) *
           static_cast<std::uint64_t>(PaddedWidth(Width)) * 8;
}

bool TUnsharpMaskFilter::Setup(std::int32_t Width, std::int32_t Height, std::int32_t MaxWidth) {
    if (static_cast<std::uint32_t>(Width) == HParam.Count &&
        static_cast<std::uint32_t>(Height) == VParam.Count &&
        std::int64_t{MaxWidth} * 6 == SrcPitch)
        return true;

    // Every stride, offset and plane size below is held in 32 bits; refuse
    // geometry whose byte counts would wrap rather than build from it.
    const bool Sound = Width >= 0 && Height >= 0 && MaxWidth >= Width &&
                       std::int64_t{MaxWidth} * 6 * 4 <= MaxBytes &&
                       std::int64_t{MaxWidth} * 6 * Height <= MaxBytes &&
                       PaddedWidth(Width) * 2 * 4 * ((std::int64_t{Height} + 3) / 4) <= MaxBytes &&
                       ScratchFits(Width, ThreadSlots);
    if (!Sound) {
        ReleaseBuffers();
        return false;
    }
    try {
        Build(Width, Height, MaxWidth);
    } catch (...) {
        // Never leave counts that a same-size Setup would take as built.
        ReleaseBuffers();
        throw;
    }
    return true;
}

void TUnsharpMaskFilter::Build(std::int32_t Width, std::int32_t Height, std::int32_t MaxWidth) {
    ReleaseBuffers();
    const std::uint32_t W = static_cast<std::uint32_t>(Width);
    const std::uint32_t H = static_cast<std::uint32_t>(Height);
    HParam.Count = W;
    VParam.Count = H;
    SrcPitch = MaxWidth * 6;
    WorkPitch = static_cast<std::int32_t>(((W + 7) & ~7u) * 2);
    HParam.Step = 16;
    HParam.InnerCount = Width;
    HParam.OuterCount = static_cast<std::int32_t>((H + 3) >> 2);
    HParam.GatherCount = static_cast<std::int32_t>((W + 3) >> 2);
    VParam.InnerCount = static_cast<std::int32_t>((W + 7) >> 3);
    VParam.OuterCount = Height;
    VParam.Step = WorkPitch * 2;
    SrcGroupStride = SrcPitch * 4;
    WorkGroupStride = WorkPitch * 4;
    WorkColumnStep = 32;
    SrcColumnStep = 48;
    ScratchSize = (HParam.GatherCount * HParam.Step * 2 + HParam.Step + 127) & ~127;
    if (ScratchSize != 0)
        Scratch = static_cast<unsigned char*>(
            AlignedAlloc(static_cast<std::size_t>(ScratchSize) * ThreadSlots, 128));
    Weight.MakeFilterParam(HParam);
    Weight.MakeFilterParam(VParam);
}

void TUnsharpMaskFilter::HorizontalPass(void* WorkPlane, const void* Frame,
                                        std::uint32_t ThreadIndex,
                                        std::uint32_t ThreadCount) const {
    if (!IsBuilt()) return;
    const WorkShare Share =
        SplitWork(static_cast<std::uint32_t>(HParam.OuterCount), ThreadIndex, ThreadCount, ThreadSlots);
    if (Share.Length == 0) return;
    const std::int64_t FirstRow = std::int64_t{Share.Start} * 4;
    const std::int64_t Rows = std::min<std::int64_t>(std::int64_t{Share.Length} * 4, VParam.Count - FirstRow);
    KernelsInUse->Horizontal(static_cast<unsigned char*>(WorkPlane) +
                         static_cast<std::ptrdiff_t>(Share.Start) * WorkGroupStride,
                     static_cast<const unsigned char*>(Frame) +
                         static_cast<std::ptrdiff_t>(Share.Start) * SrcGroupStride,
                     HParam.Entries.data(),
                     Scratch + static_cast<std::size_t>(ThreadIndex) * static_cast<std::size_t>(ScratchSize),
                     HParam.GatherCount, HParam.InnerCount, static_cast<std::int32_t>(Share.Length),
                     WorkPitch, SrcPitch, static_cast<std::int32_t>(Rows));
}

void TUnsharpMaskFilter::VerticalPass(void* Frame, const void* WorkPlane, std::uint32_t ThreadIndex,
                                      std::uint32_t ThreadCount) const {
    if (!IsBuilt()) return;
    const std::uint32_t Groups = static_cast<std::uint32_t>(VParam.InnerCount);
    const WorkShare Share = SplitWork(Groups, ThreadIndex, ThreadCount, ThreadSlots);
    if (Share.Length == 0) return;
    // Only the stripe holding the frame's last group stops short of 8 columns.
    const std::int32_t LastColumns = Share.Start + Share.Length == Groups
                                         ? static_cast<std::int32_t>(HParam.Count - 8 * (Groups - 1))
                                         : 8;
    KernelsInUse->Vertical(static_cast<unsigned char*>(Frame) + static_cast<std::ptrdiff_t>(Share.Start) * SrcColumnStep,
                   static_cast<const unsigned char*>(WorkPlane) +
                       static_cast<std::ptrdiff_t>(Share.Start) * WorkColumnStep,
                   VParam.Entries.data(), static_cast<std::int32_t>(Share.Length), VParam.OuterCount,
                   SrcPitch, WorkPitch, LastColumns, &Lanes);
}
