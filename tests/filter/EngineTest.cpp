// The engine: frame geometry, scratch, when plans and buffers are (re)built,
// the setters and the lanes they fill, the work split, and what is left
// after a failed allocation or a frame it refuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "filter/UnsharpMask.h"
#include "filter/Vectors.h"
#include "filter/WorkSplit.h"
#include "tests/support/Allocations.h"

namespace {

using velgarde_test::AllocationProbe;

constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Int32Min = std::numeric_limits<std::int32_t>::min();

void ExpectEmpty(const TUnsharpMaskFilter& E) {
    EXPECT_FALSE(E.IsBuilt());
    EXPECT_EQ(E.Scratch, nullptr);
    for (const TFilterParam* P : {&E.HParam, &E.VParam}) {
        EXPECT_EQ(P->Coefficients, nullptr);
        EXPECT_TRUE(P->Entries.empty());
        EXPECT_EQ(P->Count, 0u);
        EXPECT_EQ(P->Step, 0);
    }
}

std::vector<std::int16_t> FirstList(const TFilterParam& P) {
    const CoefficientList L = P.List(0);
    return std::vector<std::int16_t>(L, L + 2 * PairCount(L));
}

TEST(EngineGeometry, FullHdFrame) {
    TUnsharpMaskFilter E(8);
    ASSERT_TRUE(E.Setup(1920, 1080, 1920));
    EXPECT_TRUE(E.IsBuilt());
    EXPECT_EQ(E.SrcPitch, 11520);
    EXPECT_EQ(E.WorkPitch, 3840);
    EXPECT_EQ(E.SrcGroupStride, 46080);
    EXPECT_EQ(E.WorkGroupStride, 15360);
    EXPECT_EQ(E.WorkColumnStep, 32);
    EXPECT_EQ(E.SrcColumnStep, 48);
    EXPECT_EQ(E.ScratchSize, 15488);
    EXPECT_EQ(E.HParam.Count, 1920u);
    EXPECT_EQ(E.HParam.Step, 16);
    EXPECT_EQ(E.HParam.GatherCount, 480);
    EXPECT_EQ(E.HParam.InnerCount, 1920);
    EXPECT_EQ(E.HParam.OuterCount, 270);
    EXPECT_EQ(E.VParam.Count, 1080u);
    EXPECT_EQ(E.VParam.Step, 7680);
    EXPECT_EQ(E.VParam.GatherCount, 0);
    EXPECT_EQ(E.VParam.InnerCount, 240);
    EXPECT_EQ(E.VParam.OuterCount, 1080);
    // Both plans were built for their axes.
    EXPECT_EQ(E.HParam.Entries.size(), 2u * 1920 + 2);
    EXPECT_EQ(E.VParam.Entries.size(), 2u * 1080 + 2);
    EXPECT_EQ(TUnsharpMaskFilter::WorkPlaneBytes(1920, 1080), 270u * 1920 * 8);
}

TEST(EngineGeometry, OddWidthIsPaddedToEightColumns) {
    TUnsharpMaskFilter E(8);
    ASSERT_TRUE(E.Setup(1921, 1081, 2000));
    EXPECT_EQ(E.SrcPitch, 12000);
    EXPECT_EQ(E.WorkPitch, 3856);
    EXPECT_EQ(E.WorkGroupStride, 15424);
    EXPECT_EQ(E.HParam.GatherCount, 481);
    EXPECT_EQ(E.HParam.OuterCount, 271);
    EXPECT_EQ(E.VParam.InnerCount, 241);
    EXPECT_EQ(E.VParam.Step, 7712);
    EXPECT_EQ(E.ScratchSize, 15488);
    // The vertical plan's offsets walk whole row-pair lines.
    EXPECT_EQ(E.VParam.Offset(1080), (1080 - 3) / 2 * 7712);
}

TEST(EngineGeometry, ScratchBlocksAreWholeAlignedMultiplesOf128) {
    struct {
        std::int32_t Width;
        std::int32_t Scratch;
    } const Cases[] = {{1, 128}, {4, 128}, {12, 128}, {13, 256}, {28, 256}, {29, 384}, {1920, 15488}, {1921, 15488}};
    for (const auto& C : Cases) {
        TUnsharpMaskFilter E(3);
        ASSERT_TRUE(E.Setup(C.Width, 2, C.Width));
        EXPECT_EQ(E.ScratchSize, C.Scratch) << "width " << C.Width;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(E.Scratch) % 128, 0u) << "width " << C.Width;
        // Every thread's block starts on its own 128-byte boundary and holds
        // the gather units of one 4-row group plus 16 bytes.
        EXPECT_EQ(E.ScratchSize % 128, 0) << "width " << C.Width;
        EXPECT_GE(E.ScratchSize, E.HParam.GatherCount * 32 + 16) << "width " << C.Width;
        // The whole block is there for all slots.
        std::fill(E.Scratch, E.Scratch + static_cast<std::size_t>(E.ScratchSize) * E.ThreadSlots, 0x7F);
    }
}

TEST(EngineBuild, SameSizeAgainAllocatesNothing) {
    TUnsharpMaskFilter E(4);
    ASSERT_TRUE(E.Setup(640, 480, 704));
    const void* Scratch = E.Scratch;
    const void* HBlock = E.HParam.Coefficients;
    const void* VBlock = E.VParam.Coefficients;
    AllocationProbe Probe;
    ASSERT_TRUE(E.Setup(640, 480, 704));
    EXPECT_EQ(Probe.Count(), 0);
    EXPECT_EQ(E.Scratch, Scratch);
    EXPECT_EQ(E.HParam.Coefficients, HBlock);
    EXPECT_EQ(E.VParam.Coefficients, VBlock);
}

TEST(EngineBuild, AnyChangedDimensionRebuilds) {
    TUnsharpMaskFilter E(4);
    ASSERT_TRUE(E.Setup(640, 480, 704));
    for (const auto& Size : std::vector<std::vector<std::int32_t>>{{641, 480, 704}, {641, 481, 704}, {641, 481, 705}}) {
        AllocationProbe Probe;
        ASSERT_TRUE(E.Setup(Size[0], Size[1], Size[2]));
        EXPECT_GT(Probe.Count(), 0);
        EXPECT_EQ(E.HParam.Count, static_cast<std::uint32_t>(Size[0]));
        EXPECT_EQ(E.VParam.Count, static_cast<std::uint32_t>(Size[1]));
        EXPECT_EQ(E.SrcPitch, Size[2] * 6);
    }
}

TEST(EngineBuild, NewBlurReleasesAndTheSameSizeRebuildsFromTheNewWeights) {
    TUnsharpMaskFilter E(4);
    ASSERT_TRUE(E.Setup(100, 50, 100));
    // The initial weights (radius 2.5, variance 2.0).
    EXPECT_EQ(FirstList(E.HParam), (std::vector<std::int16_t>{16287, 96, 0, 0}));
    EXPECT_EQ(FirstList(E.VParam), (std::vector<std::int16_t>{16287, 96, 0, 0}));

    E.SetBlur(2.5, 32.0);
    ExpectEmpty(E);
    // Geometry is kept; only the buffers went.
    EXPECT_EQ(E.SrcPitch, 600);
    ASSERT_TRUE(E.Setup(100, 50, 100));
    EXPECT_TRUE(E.IsBuilt());
    EXPECT_EQ(FirstList(E.HParam), (std::vector<std::int16_t>{10817, 3812, 1459, 294}));
    EXPECT_EQ(FirstList(E.VParam), (std::vector<std::int16_t>{10817, 3812, 1459, 294}));
    EXPECT_EQ(E.VParam.Step, 2 * E.WorkPitch);
}

TEST(EngineBuild, CurrentBlurReleasesNothing) {
    TUnsharpMaskFilter E(4);
    E.SetBlur(2.5, 2.0);  // the values of a new engine
    ASSERT_TRUE(E.Setup(64, 64, 64));
    const void* Scratch = E.Scratch;
    AllocationProbe Probe;
    E.SetBlur(2.5, 2.0);
    EXPECT_TRUE(E.IsBuilt());
    EXPECT_EQ(E.Scratch, Scratch);
    ASSERT_TRUE(E.Setup(64, 64, 64));
    EXPECT_EQ(Probe.Count(), 0);
}

TEST(EngineBuild, ReleaseBuffersEmptiesButKeepsGeometry) {
    TUnsharpMaskFilter E(2);
    ASSERT_TRUE(E.Setup(33, 17, 40));
    E.ReleaseBuffers();
    ExpectEmpty(E);
    EXPECT_EQ(E.SrcPitch, 240);
    EXPECT_EQ(E.WorkPitch, 80);
    EXPECT_EQ(E.ScratchSize, 384);
    E.ReleaseBuffers();  // twice is harmless
    ASSERT_TRUE(E.Setup(33, 17, 40));
    EXPECT_TRUE(E.IsBuilt());
}

TEST(EngineBuild, AllocationFailureInSetupLeavesTheEngineEmpty) {
    // Fail each allocation of a build in turn, until a build needs no more.
    TUnsharpMaskFilter E(4);
    int Needed = 0;
    {
        AllocationProbe Probe;
        ASSERT_TRUE(E.Setup(123, 45, 128));
        Needed = Probe.Count();
    }
    ASSERT_GE(Needed, 3);  // scratch and two plan blocks at least
    E.ReleaseBuffers();
    for (int k = 1; k <= Needed; ++k) {
        SCOPED_TRACE("failing allocation " + std::to_string(k));
        {
            AllocationProbe Probe(k);
            EXPECT_THROW(E.Setup(123, 45, 128), std::bad_alloc);
        }
        ExpectEmpty(E);
        // The passes refuse a half-built engine rather than read through it.
        E.HorizontalPass(nullptr, nullptr, 0, 1);
        E.VerticalPass(nullptr, nullptr, 0, 1);
        // The same size again is built, not taken as already there.
        ASSERT_TRUE(E.Setup(123, 45, 128));
        EXPECT_TRUE(E.IsBuilt());
        EXPECT_EQ(E.HParam.Entries.size(), 2u * 123 + 2);
        EXPECT_EQ(E.VParam.Entries.size(), 2u * 45 + 2);
        E.ReleaseBuffers();
    }
    // Failing a rebuild over a built engine leaves it empty too.
    ASSERT_TRUE(E.Setup(123, 45, 128));
    {
        AllocationProbe Probe(1);
        EXPECT_THROW(E.Setup(124, 45, 128), std::bad_alloc);
    }
    ExpectEmpty(E);
    ASSERT_TRUE(E.Setup(124, 45, 128));
    EXPECT_TRUE(E.IsBuilt());
}

TEST(EngineBuild, FailedBlurChangeKeepsTheOldSettingsAndCanBeRetried) {
    TUnsharpMaskFilter E(2);
    ASSERT_TRUE(E.Setup(40, 30, 40));
    {
        AllocationProbe Probe(1);
        EXPECT_THROW(E.SetBlur(10.5, 2.0), std::bad_alloc);
    }
    EXPECT_EQ(E.Weight.Radius(), 2.5);
    EXPECT_EQ(E.Weight.Size(), 3);
    // A new size is built from the old, intact table.
    ASSERT_TRUE(E.Setup(41, 30, 41));
    EXPECT_EQ(FirstList(E.HParam), (std::vector<std::int16_t>{16287, 96, 0, 0}));
    // The same change again is applied, not taken as already there.
    E.SetBlur(10.5, 2.0);
    EXPECT_FALSE(E.IsBuilt());
    ASSERT_TRUE(E.Setup(41, 30, 41));
    EXPECT_EQ(E.Weight.Size(), 11);
    EXPECT_EQ(PairCount(E.HParam.List(11)), 12);
}

TEST(EngineBuild, RefusesGeometryItCannotServe) {
    struct {
        std::int32_t Width, Height, MaxWidth;
    } const Cases[] = {
        {-1, 10, 10},           {10, -1, 10},          {10, 10, 9},          {10, 10, -10},
        {Int32Min, 10, 10},     {10, Int32Min, 10},    {Int32Max, 1, Int32Max},
        {1, Int32Max, 1},       {100000, 100000, 100000},  // frame bytes beyond 32 bits
        {10, 10, Int32Max},     {10, 10, 89478486},  // MaxWidth * 6 * 4 just past 2^31 - 1
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Width) + "x" + std::to_string(C.Height) + " max " + std::to_string(C.MaxWidth));
        TUnsharpMaskFilter E(4);
        ASSERT_TRUE(E.Setup(16, 16, 16));
        AllocationProbe Probe;
        EXPECT_FALSE(E.Setup(C.Width, C.Height, C.MaxWidth));
        EXPECT_EQ(Probe.Count(), 0);
        ExpectEmpty(E);
        E.HorizontalPass(nullptr, nullptr, 0, 1);
        E.VerticalPass(nullptr, nullptr, 0, 1);
        // A sound frame afterwards is served as usual.
        EXPECT_TRUE(E.Setup(16, 16, 16));
        EXPECT_TRUE(E.IsBuilt());
    }
    // The largest row pitch whose 4-row group still fits 32 bits is served.
    TUnsharpMaskFilter E(1);
    EXPECT_TRUE(E.Setup(1, 1, 89478485));
    EXPECT_EQ(E.SrcGroupStride, 89478485 * 24);
}

TEST(EngineVectors, RoundVectorHoldsHalfAUnit) {
    for (std::int32_t Lane : RoundVector) EXPECT_EQ(Lane, 8192);
}

TEST(EngineVectors, SettersStoreNegatedAmountsAndTheThresholdInTheLanes) {
    TUnsharpMaskFilter E(8);
    E.SetAmount(1024, 2048);
    EXPECT_EQ(E.AmountPlus, 1024);
    EXPECT_EQ(E.AmountMinus, 2048);
    for (int i = 0; i < 8; i += 2) {
        EXPECT_EQ(E.Lanes.Amount[i], -2048) << "lane " << i;  // even lanes: darkening
        EXPECT_EQ(E.Lanes.Amount[i + 1], -1024) << "lane " << i + 1;
    }
    // The extremes whose negation still fits a signed 16-bit lane.
    E.SetAmount(32768, -32767);
    for (int i = 0; i < 8; i += 2) {
        EXPECT_EQ(E.Lanes.Amount[i], 32767) << "lane " << i;
        EXPECT_EQ(E.Lanes.Amount[i + 1], -32768) << "lane " << i + 1;
    }
    E.SetThreshold(1000);
    EXPECT_EQ(E.Threshold, 1000);
    for (std::uint16_t Lane : E.Lanes.Threshold) EXPECT_EQ(Lane, 1000);
    E.SetThreshold(65535);
    for (std::uint16_t Lane : E.Lanes.Threshold) EXPECT_EQ(Lane, 65535);
}

TEST(EngineVectors, FillersKeepTheLow16Bits) {
    SharpenLanes L;
    FillAmountLanes(L, 0x12345678, -1);
    for (int i = 0; i < 8; i += 2) {
        EXPECT_EQ(L.Amount[i], -1);
        EXPECT_EQ(L.Amount[i + 1], 0x5678);
    }
    FillAmountLanes(L, 0x0001ABCD, 0x7FFF8000);
    for (int i = 0; i < 8; i += 2) {
        EXPECT_EQ(L.Amount[i], -32768);
        EXPECT_EQ(static_cast<std::uint16_t>(L.Amount[i + 1]), 0xABCD);
    }
    FillThresholdLanes(L, 0x12345);
    for (std::uint16_t Lane : L.Threshold) EXPECT_EQ(Lane, 0x2345);
    FillThresholdLanes(L, -2);
    for (std::uint16_t Lane : L.Threshold) EXPECT_EQ(Lane, 0xFFFE);
}

TEST(EngineVectors, UnchangedValuesRefillNothing) {
    TUnsharpMaskFilter E(8);
    // Mark the lanes behind the setters' back: a refill would erase the mark.
    FillThresholdLanes(E.Lanes, 0x1111);
    FillAmountLanes(E.Lanes, 0x2222, 0x3333);
    E.SetAmount(0, 0);
    E.SetThreshold(0);
    for (std::uint16_t Lane : E.Lanes.Threshold) EXPECT_EQ(Lane, 0x1111);
    for (int i = 0; i < 8; i += 2) {
        EXPECT_EQ(E.Lanes.Amount[i], 0x3333);
        EXPECT_EQ(E.Lanes.Amount[i + 1], 0x2222);
    }
    E.SetAmount(5, 6);
    E.SetThreshold(7);
    FillThresholdLanes(E.Lanes, 0x1111);
    FillAmountLanes(E.Lanes, 0x2222, 0x3333);
    E.SetAmount(5, 6);
    E.SetThreshold(7);
    EXPECT_EQ(E.Lanes.Threshold[0], 0x1111);
    EXPECT_EQ(E.Lanes.Amount[0], 0x3333);
    // One changed amount refills both halves.
    E.SetAmount(5, 9);
    EXPECT_EQ(E.Lanes.Amount[0], -9);
    EXPECT_EQ(E.Lanes.Amount[1], -5);
}

TEST(EngineVectors, NewEngineStartsFromZeroLanesWhateverOthersHold) {
    // Each engine owns its lanes: another engine's settings, alive or gone,
    // never reach a new one.
    TUnsharpMaskFilter Other(8);
    Other.SetAmount(1000, 2000);
    Other.SetThreshold(30);
    {
        TUnsharpMaskFilter Old(8);
        Old.SetAmount(3000, 4000);
        Old.SetThreshold(50);
    }
    TUnsharpMaskFilter E(8);
    for (std::uint16_t Lane : E.Lanes.Threshold) EXPECT_EQ(Lane, 0);
    for (std::int16_t Lane : E.Lanes.Amount) EXPECT_EQ(Lane, 0);
    EXPECT_EQ(E.Threshold, 0);
    EXPECT_EQ(E.AmountPlus, 0);
    EXPECT_EQ(E.AmountMinus, 0);
    ExpectEmpty(E);
    EXPECT_EQ(E.ThreadSlots, 8u);
    EXPECT_EQ(E.Weight.Radius(), 2.5);
    EXPECT_EQ(E.Weight.Variance(), 2.0);
    // And the new engine's setters leave the other one alone.
    E.SetAmount(1, 2);
    E.SetThreshold(3);
    EXPECT_EQ(Other.Lanes.Threshold[0], 30);
    EXPECT_EQ(Other.Lanes.Amount[0], -2000);
    EXPECT_EQ(Other.Lanes.Amount[1], -1000);
}

std::vector<std::uint32_t> Lengths(std::uint32_t Units, std::uint32_t Threads, std::uint32_t Slots) {
    std::vector<std::uint32_t> L;
    for (std::uint32_t t = 0; t < Threads; ++t) L.push_back(SplitWork(Units, t, Threads, Slots).Length);
    return L;
}

TEST(WorkSplit, WorkedShares) {
    EXPECT_EQ(Lengths(270, 8, 8), (std::vector<std::uint32_t>{33, 34, 34, 34, 33, 34, 34, 34}));
    EXPECT_EQ(Lengths(3, 8, 8), (std::vector<std::uint32_t>{0, 0, 1, 0, 0, 1, 0, 1}));
    const WorkShare Whole = SplitWork(270, 0, 1, 8);
    EXPECT_EQ(Whole.Start, 0u);
    EXPECT_EQ(Whole.Length, 270u);
    EXPECT_EQ(SplitWork(270, 5, 8, 8).Start, 168u);
}

TEST(WorkSplit, ThreadsBeyondTheSlotsDoNothing) {
    // Twelve threads, eight slots: the units go eight ways.
    const std::vector<std::uint32_t> L = Lengths(270, 12, 8);
    EXPECT_EQ(L, (std::vector<std::uint32_t>{33, 34, 34, 34, 33, 34, 34, 34, 0, 0, 0, 0}));
    for (std::uint32_t t = 0; t < 8; ++t) {
        EXPECT_EQ(SplitWork(270, t, 12, 8).Start, SplitWork(270, t, 8, 8).Start);
    }
    // One slot: thread 0 does it all however many threads run.
    EXPECT_EQ(Lengths(5, 3, 1), (std::vector<std::uint32_t>{5, 0, 0}));
    // No threads, or no slots: nobody works and nothing divides by zero.
    EXPECT_EQ(SplitWork(10, 0, 0, 8).Length, 0u);
    EXPECT_EQ(SplitWork(10, 0, 4, 0).Length, 0u);
}

TEST(WorkSplit, SharesAreContiguousDisjointAndCoverEveryUnit) {
    for (std::uint32_t Units = 0; Units <= 400; ++Units) {
        for (std::uint32_t Threads = 1; Threads <= 16; ++Threads) {
            std::uint32_t Next = 0;
            for (std::uint32_t t = 0; t < Threads; ++t) {
                const WorkShare S = SplitWork(Units, t, Threads, 16);
                if (S.Length == 0) continue;
                ASSERT_EQ(S.Start, Next) << Units << " units, " << Threads << " threads, thread " << t;
                // Shares differ by at most one unit.
                ASSERT_GE(S.Length, Units / Threads);
                ASSERT_LE(S.Length, Units / Threads + 1);
                Next = S.Start + S.Length;
            }
            ASSERT_EQ(Next, Units) << Units << " units, " << Threads << " threads";
        }
    }
}

TEST(WorkSplit, HugeCountsDoNotWrap) {
    const std::uint32_t Units = 0xFFFFFFFFu;
    std::uint64_t Next = 0;
    for (std::uint32_t t = 0; t < 16; ++t) {
        const WorkShare S = SplitWork(Units, t, 16, 64);
        ASSERT_EQ(S.Start, Next) << t;
        Next += S.Length;
    }
    EXPECT_EQ(Next, Units);
}

}  // namespace
