// The Gaussian weight table: the Size rule, the worked weights to the last
// bit on every toolchain, the no-op on unchanged settings and the lookup.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <new>

#include "filter/GaussianBlurWeight.h"
#include "tests/support/Allocations.h"

namespace {

// MakeWeights announces its resize through the allocation fault hook.
using velgarde_test::AllocationProbe;

TEST(GaussianWeight, SizeIsTheSmallestWholeNumberNotBelowTheRadius) {
    struct {
        double Radius;
        std::int32_t Size;
    } const Cases[] = {{3.0, 3},  {2.5, 3},  {2.01, 3}, {0.5, 1},   {0.6, 1},     {1.0, 1},
                       {1.5, 2},  {10.5, 11}, {10.0, 10}, {0.1, 1}, {100.5, 101}, {2.9999999999999996, 3}};
    for (const auto& C : Cases) {
        const TGaussianBlurWeight W(C.Radius, 2.0);
        EXPECT_EQ(W.Size(), C.Size) << "radius " << C.Radius;
        EXPECT_EQ(W.Weights().size(), static_cast<std::size_t>(C.Size) + 1) << "radius " << C.Radius;
    }
}

TEST(GaussianWeight, InitialSettingsGiveTheWorkedWeightsBitForBit) {
    const TGaussianBlurWeight W(2.5, 2.0);
    EXPECT_EQ(W.Radius(), 2.5);
    EXPECT_EQ(W.Variance(), 2.0);
    ASSERT_EQ(W.Size(), 3);
    ASSERT_EQ(W.Weights().size(), 4u);
    EXPECT_EQ(W.Weights()[0], 1.0);
    EXPECT_EQ(W.Weights()[1], 0.0059760228950059401);
    EXPECT_EQ(W.Weights()[2], 1.2754076295260417e-09);
    EXPECT_EQ(W.Weights()[3], 9.7209850203007969e-21);
}

TEST(GaussianWeight, WideVarianceGivesTheWorkedWeightsBitForBit) {
    const TGaussianBlurWeight W(2.5, 32.0);
    ASSERT_EQ(W.Size(), 3);
    ASSERT_EQ(W.Weights().size(), 4u);
    EXPECT_EQ(W.Weights()[0], 1.0);
    EXPECT_EQ(W.Weights()[1], 0.72614903707369094);
    EXPECT_EQ(W.Weights()[2], 0.27803730045319408);
    EXPECT_EQ(W.Weights()[3], 0.056134762834133732);
}

TEST(GaussianWeight, CentreWeightIsExactlyOneAndTheRestFallWithDistance) {
    // Every radius and variance the track bars can produce.
    for (int Range = 1; Range <= 100; Range += 3) {
        for (int VarianceTrack = 0; VarianceTrack <= 100; VarianceTrack += 7) {
            const double Radius = Range / 10.0 + 0.5;
            const double Variance = std::pow(10.0, VarianceTrack / 32.0);
            const TGaussianBlurWeight W(Radius, Variance);
            ASSERT_EQ(W.Weights()[0], 1.0) << Radius << " " << Variance;
            for (std::int32_t d = 1; d <= W.Size(); ++d) {
                EXPECT_GT(W.Weights()[d], 0.0) << Radius << " " << Variance << " d=" << d;
                EXPECT_LT(W.Weights()[d], W.Weights()[d - 1]) << Radius << " " << Variance << " d=" << d;
            }
        }
    }
    // Extremes far outside the bars still keep the centre at 1 and nothing non-finite.
    const double Extremes[][2] = {{0.1, 1e-300}, {0.1, 1e300}, {100.5, 1e-300}, {100.5, 1e300},
                                  {1e-3, 1.0},   {0.5, 1e-10}};
    for (const auto& E : Extremes) {
        const TGaussianBlurWeight W(E[0], E[1]);
        EXPECT_EQ(W.Weights()[0], 1.0) << E[0] << " " << E[1];
        for (double w : W.Weights()) {
            EXPECT_TRUE(std::isfinite(w)) << E[0] << " " << E[1];
            EXPECT_GE(w, 0.0) << E[0] << " " << E[1];
            EXPECT_LE(w, 1.0) << E[0] << " " << E[1];
        }
    }
}

TEST(GaussianWeight, SetParamWithTheStoredValuesDoesNothing) {
    TGaussianBlurWeight W(2.5, 32.0);
    const double* Before = W.Weights().data();
    AllocationProbe Counter;
    W.SetParam(2.5, 32.0);
    EXPECT_EQ(Counter.Count(), 0);
    EXPECT_EQ(W.Weights().data(), Before);
    EXPECT_EQ(W.Weights()[1], 0.72614903707369094);
}

TEST(GaussianWeight, ChangingOnlyTheVarianceRebuildsWithTheSameSize) {
    TGaussianBlurWeight W(2.5, 32.0);
    {
        AllocationProbe Counter;
        W.SetParam(2.5, 2.0);
        EXPECT_EQ(Counter.Count(), 1);
    }
    EXPECT_EQ(W.Size(), 3);
    EXPECT_EQ(W.Variance(), 2.0);
    EXPECT_EQ(W.Weights()[1], 0.0059760228950059401);
    EXPECT_EQ(W.Weights()[3], 9.7209850203007969e-21);
    // A change of radius alone rebuilds too, and may change the size.
    W.SetParam(3.0, 2.0);
    EXPECT_EQ(W.Size(), 3);
    W.SetParam(3.5, 2.0);
    EXPECT_EQ(W.Size(), 4);
    EXPECT_EQ(W.Weights().size(), 5u);
}

TEST(GaussianWeight, LookupIsSymmetricAndZeroBeyondTheTable) {
    const TGaussianBlurWeight W(2.5, 32.0);
    const std::int32_t S = W.Size();
    for (std::int32_t d = 0; d <= S; ++d) {
        EXPECT_EQ(W.GetWeight(d), W.Weights()[d]);
        EXPECT_EQ(W.GetWeight(-d), W.GetWeight(d));
    }
    EXPECT_EQ(W.GetWeight(S + 1), 0.0);
    EXPECT_EQ(W.GetWeight(-(S + 1)), 0.0);
    EXPECT_EQ(W.GetWeight(std::numeric_limits<std::int32_t>::max()), 0.0);
    EXPECT_EQ(W.GetWeight(std::numeric_limits<std::int32_t>::min()), 0.0);
}

TEST(GaussianWeight, FailedRebuildLeavesAUsableTable) {
    // A settings change whose table cannot be allocated must not leave a
    // Size that reaches past the weights the table still holds.
    TGaussianBlurWeight W(2.5, 2.0);
    {
        AllocationProbe FailFirst(1);
        EXPECT_THROW(W.SetParam(10.5, 2.0), std::bad_alloc);
    }
    EXPECT_EQ(W.Weights().size(), static_cast<std::size_t>(W.Size()) + 1);
    EXPECT_EQ(W.Radius(), 2.5);
    EXPECT_EQ(W.GetWeight(1), 0.0059760228950059401);
    // Asking again for the same settings must build them now.
    W.SetParam(10.5, 2.0);
    EXPECT_EQ(W.Size(), 11);
    EXPECT_EQ(W.Weights().size(), 12u);
    EXPECT_EQ(W.Weights()[0], 1.0);
}

}  // namespace
