// Track values to filter parameters: the conversion inside the bars' ranges,
// and values far outside them still giving parameters the engine can use.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "filter/FilterParam.h"
#include "filter/GaussianBlurWeight.h"
#include "filter/TrackParameters.h"

namespace {

constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Int32Min = std::numeric_limits<std::int32_t>::min();

FilterParameters Convert(int Track, std::int32_t Value) {
    std::int32_t Tracks[TrackCount] = {25, 50, 10, 50, 0};
    Tracks[Track] = Value;
    return ConvertTrackValues(Tracks);
}

TEST(TrackConversion, BarsMatchTheTable) {
    const std::int32_t Defaults[TrackCount] = {25, 50, 10, 50, 0};
    const std::int32_t Minimums[TrackCount] = {0, 0, 1, 0, 0};
    const std::int32_t Maximums[TrackCount] = {300, 300, 100, 100, 1000};
    for (int i = 0; i < TrackCount; ++i) {
        EXPECT_EQ(TrackDefaults[i], Defaults[i]) << i;
        EXPECT_EQ(TrackMinimums[i], Minimums[i]) << i;
        EXPECT_EQ(TrackMaximums[i], Maximums[i]) << i;
    }
}

TEST(TrackConversion, DefaultTracks) {
    const FilterParameters P = ConvertTrackValues(TrackDefaults);
    EXPECT_EQ(P.AmountPlus, 1024);
    EXPECT_EQ(P.AmountMinus, 2048);
    EXPECT_EQ(P.Radius, 1.5);
    EXPECT_NEAR(P.Variance, 36.517, 0.0005);
    EXPECT_NEAR(P.Variance, std::pow(10.0, 1.5625), 1e-12);
    EXPECT_EQ(P.Threshold, 0);
}

TEST(TrackConversion, AmountsTruncateTowardZero) {
    EXPECT_EQ(Convert(TrackAmountPlus, 1).AmountPlus, 40);
    EXPECT_EQ(Convert(TrackAmountPlus, 3).AmountPlus, 122);
    EXPECT_EQ(Convert(TrackAmountPlus, 300).AmountPlus, 12288);
    EXPECT_EQ(Convert(TrackAmountPlus, 0).AmountPlus, 0);
    EXPECT_EQ(Convert(TrackAmountMinus, 1).AmountMinus, 40);
    EXPECT_EQ(Convert(TrackAmountMinus, 300).AmountMinus, 12288);
    // Below the bar the division still truncates toward zero: -40.96 gives -40.
    EXPECT_EQ(Convert(TrackAmountPlus, -1).AmountPlus, -40);
    EXPECT_EQ(Convert(TrackAmountMinus, -3).AmountMinus, -122);
    // Each amount comes from its own track.
    EXPECT_EQ(Convert(TrackAmountPlus, 7).AmountMinus, 2048);
    EXPECT_EQ(Convert(TrackAmountMinus, 7).AmountPlus, 1024);
}

TEST(TrackConversion, RadiusAcrossTheBar) {
    EXPECT_EQ(Convert(TrackRange, 1).Radius, 0.6);
    EXPECT_EQ(Convert(TrackRange, 100).Radius, 10.5);
    for (std::int32_t T = 1; T <= 100; ++T) {
        const double R = Convert(TrackRange, T).Radius;
        EXPECT_NEAR(R, T / 10.0 + 0.5, 1e-15) << T;
        // A radius meant to be whole must be exactly whole, or the window
        // would gain a tap.
        if (T % 10 == 5) {
            EXPECT_EQ(R, std::floor(R)) << T;
        }
        EXPECT_EQ(TGaussianBlurWeight(R, 1.0).Size(), (T + 4) / 10 + 1) << T;
    }
}

TEST(TrackConversion, VarianceAcrossTheBar) {
    EXPECT_EQ(Convert(TrackVariance, 0).Variance, 1.0);
    EXPECT_EQ(Convert(TrackVariance, 32).Variance, 10.0);
    EXPECT_EQ(Convert(TrackVariance, 64).Variance, 100.0);
    EXPECT_EQ(Convert(TrackVariance, 96).Variance, 1000.0);
    EXPECT_NEAR(Convert(TrackVariance, 100).Variance, 1333.5214, 0.0001);
    double Previous = 0.0;
    for (std::int32_t T = 0; T <= 100; ++T) {
        const double V = Convert(TrackVariance, T).Variance;
        EXPECT_GT(V, Previous) << T;
        EXPECT_NEAR(V, std::pow(10.0, T / 32.0), V * 1e-14) << T;
        Previous = V;
    }
}

TEST(TrackConversion, ThresholdIsPassedOn) {
    for (std::int32_t T : {0, 1, 500, 1000}) EXPECT_EQ(Convert(TrackThreshold, T).Threshold, T);
}

// What every parameter must satisfy for the engine to use it safely.
void ExpectUsable(const FilterParameters& P, const std::string& What) {
    SCOPED_TRACE(What);
    ASSERT_TRUE(std::isfinite(P.Radius));
    ASSERT_GT(P.Radius, 0.0);
    ASSERT_TRUE(std::isfinite(P.Variance));
    ASSERT_GT(P.Variance, 0.0);
    EXPECT_GE(P.Threshold, 0);
    EXPECT_LE(P.Threshold, 65535);
    // The kernel multiplies by the negated amounts in signed 16-bit lanes.
    for (std::int32_t A : {P.AmountPlus, P.AmountMinus}) {
        EXPECT_GE(-std::int64_t{A}, -32768);
        EXPECT_LE(-std::int64_t{A}, 32767);
    }
    const TGaussianBlurWeight W(P.Radius, P.Variance);
    EXPECT_GE(W.Size(), 1);
    EXPECT_LE(W.Size(), 101);
    EXPECT_EQ(W.Weights()[0], 1.0);
    for (double w : W.Weights()) {
        EXPECT_TRUE(std::isfinite(w));
        EXPECT_GE(w, 0.0);
    }
    // And a plan can be built from it: a short axis folds the whole window.
    TFilterParam Plan;
    Plan.Count = 5;
    Plan.Step = 16;
    W.MakeFilterParam(Plan);
    for (std::uint32_t i = 0; i < Plan.Count; ++i) {
        const CoefficientList L = Plan.List(i);
        std::int32_t Sum = 0;
        for (std::int32_t k = 0; k < 2 * PairCount(L); ++k) {
            EXPECT_GE(L[k], 0);
            Sum += L[k];
        }
        EXPECT_LE(Sum, 16384);
        EXPECT_GT(Sum, 16000);
    }
    FreeFilterParam(Plan);
}

TEST(TrackConversion, EveryTrackAtTheInt32ExtremesGivesUsableParameters) {
    const std::int32_t Values[] = {Int32Min, Int32Min + 1, -1000000, -9601, -9600, -801, -800, -5, -4, -1,
                                   0,        1,            100,      1000,  1001,  9600, 9601, 65535, 65536,
                                   800000,   Int32Max - 1, Int32Max};
    for (int Track = 0; Track < TrackCount; ++Track)
        for (std::int32_t V : Values)
            ExpectUsable(Convert(Track, V), "track " + std::to_string(Track) + " = " + std::to_string(V));
}

TEST(TrackConversion, RangeIsHeldBetweenOneTenthAndOneHundredAndAHalf) {
    EXPECT_EQ(Convert(TrackRange, -4).Radius, 0.1);
    EXPECT_EQ(Convert(TrackRange, -5).Radius, 0.1);
    EXPECT_EQ(Convert(TrackRange, Int32Min).Radius, 0.1);
    EXPECT_EQ(Convert(TrackRange, 0).Radius, 0.5);
    EXPECT_EQ(Convert(TrackRange, 1000).Radius, 100.5);
    EXPECT_EQ(Convert(TrackRange, 1001).Radius, 100.5);
    EXPECT_EQ(Convert(TrackRange, Int32Max).Radius, 100.5);
    // The largest coefficient block stays small.
    EXPECT_EQ(TGaussianBlurWeight(100.5, 1.0).Size(), 101);
    EXPECT_EQ(TGaussianBlurWeight::BlockSize(101), 204u * 416u);
}

TEST(TrackConversion, VarianceIsHeldWithinTenToThePlusMinus300) {
    EXPECT_EQ(Convert(TrackVariance, 9600).Variance, Convert(TrackVariance, 9601).Variance);
    EXPECT_EQ(Convert(TrackVariance, 9600).Variance, Convert(TrackVariance, Int32Max).Variance);
    EXPECT_NEAR(Convert(TrackVariance, 9600).Variance, 1e300, 1e286);
    EXPECT_EQ(Convert(TrackVariance, -9600).Variance, Convert(TrackVariance, -9601).Variance);
    EXPECT_EQ(Convert(TrackVariance, -9600).Variance, Convert(TrackVariance, Int32Min).Variance);
    EXPECT_NEAR(Convert(TrackVariance, -9600).Variance, 1e-300, 1e-314);
    // Below the bar the conversion still follows the power of ten.
    EXPECT_EQ(Convert(TrackVariance, -32).Variance, 0.1);
    EXPECT_NEAR(Convert(TrackVariance, -16).Variance, std::pow(10.0, -0.5), 1e-16);
}

TEST(TrackConversion, ThresholdIsHeldToTheUnsigned16BitLane) {
    EXPECT_EQ(Convert(TrackThreshold, -1).Threshold, 0);
    EXPECT_EQ(Convert(TrackThreshold, Int32Min).Threshold, 0);
    EXPECT_EQ(Convert(TrackThreshold, 65535).Threshold, 65535);
    EXPECT_EQ(Convert(TrackThreshold, 65536).Threshold, 65535);
    EXPECT_EQ(Convert(TrackThreshold, Int32Max).Threshold, 65535);
}

TEST(TrackConversion, AmountsAreHeldWhereTheirNegationFits16Bits) {
    for (int Track : {TrackAmountPlus, TrackAmountMinus}) {
        SCOPED_TRACE("track " + std::to_string(Track));
        auto Amount = [Track](std::int32_t V) {
            const FilterParameters P = Convert(Track, V);
            return Track == TrackAmountPlus ? P.AmountPlus : P.AmountMinus;
        };
        EXPECT_EQ(Amount(800), 32768);  // 800 * 4096 / 100 exactly
        EXPECT_EQ(Amount(801), 32768);
        EXPECT_EQ(Amount(799), 32727);
        EXPECT_EQ(Amount(Int32Max), 32768);  // no 32-bit overflow of value * 4096
        EXPECT_EQ(Amount(524288), 32768);
        EXPECT_EQ(Amount(-799), -32727);
        EXPECT_EQ(Amount(-800), -32767);
        EXPECT_EQ(Amount(Int32Min), -32767);
        EXPECT_EQ(Amount(-524288), -32767);
    }
}

}  // namespace

namespace {

// The pixel form is what front ends show and take: each pair on the bars
// must come back from its own sigma and radius, or a front end would drift.
TEST(BlurInPixels, EveryPairOnTheBarsComesBackFromItsOwnSigmaAndRadius) {
    for (std::int32_t Range = TrackMinimums[TrackRange]; Range <= TrackMaximums[TrackRange]; ++Range)
        for (std::int32_t Variance = TrackMinimums[TrackVariance]; Variance <= TrackMaximums[TrackVariance];
             ++Variance) {
            const BlurInPixels B = BlurOfTracks(Range, Variance);
            std::int32_t R = 0, V = 0;
            NearestBlurTracks(B.Sigma, B.Radius, &R, &V);
            ASSERT_EQ(R, Range) << Variance;
            ASSERT_EQ(V, Variance) << Range;
        }
    // The defaults: sigma 0.8 px cut off at 1.5 px, two taps a side; one
    // value alone sets the other at a third or three times.
    EXPECT_NEAR(BlurOfTracks(10, 50).Sigma, 0.80, 0.01);
    EXPECT_EQ(BlurOfTracks(10, 50).Reach, 2);
    std::int32_t R = 0, V = 0;
    NearestBlurTracks(1.0, 0, &R, &V);
    EXPECT_EQ(R, 25);
    NearestBlurTracks(0, 100, &R, &V);
    EXPECT_EQ(R, TrackMaximums[TrackRange]);
}

}  // namespace
