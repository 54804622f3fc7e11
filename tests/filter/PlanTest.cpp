// Convolution plans: the worked plans entry by entry, the list placement in
// the block, edge folding, the shared interior lists and the reach of a list
// past the end of an odd axis.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "filter/FilterParam.h"
#include "filter/GaussianBlurWeight.h"

namespace {

// A plan built for one axis and freed with the test.
struct Plan {
    TFilterParam P;
    Plan(const TGaussianBlurWeight& W, std::uint32_t Count, std::int32_t Step) {
        P.Count = Count;
        P.Step = Step;
        W.MakeFilterParam(P);
    }
    ~Plan() { FreeFilterParam(P); }

    std::intptr_t ListOffset(std::uint32_t i) const {
        return P.Entries[2 * i + 1] - reinterpret_cast<std::intptr_t>(P.Coefficients);
    }
    std::vector<std::int16_t> Coefficients(std::uint32_t i) const {
        const CoefficientList L = P.List(i);
        return std::vector<std::int16_t>(L, L + 2 * PairCount(L));
    }
};

struct WorkedPosition {
    std::intptr_t Offset;
    std::intptr_t ListAt;
    std::vector<std::int16_t> Coefficients;
};

void ExpectPlan(const Plan& Built, const std::vector<WorkedPosition>& Expected) {
    ASSERT_EQ(Built.P.Entries.size(), 2 * Expected.size() + 2);
    for (std::uint32_t i = 0; i < Expected.size(); ++i) {
        SCOPED_TRACE("position " + std::to_string(i));
        EXPECT_EQ(Built.P.Offset(i), Expected[i].Offset);
        EXPECT_EQ(Built.ListOffset(i), Expected[i].ListAt);
        EXPECT_EQ(PairCount(Built.P.List(i)), static_cast<std::int32_t>(Expected[i].Coefficients.size() / 2));
        EXPECT_EQ(Built.Coefficients(i), Expected[i].Coefficients);
    }
    EXPECT_EQ(Built.P.Entries[2 * Expected.size()], 0);
    EXPECT_EQ(Built.P.Entries[2 * Expected.size() + 1], 0);
}

// One position's list computed straight from the weights: every tap of the
// window, those outside the axis credited to the nearest edge sample,
// normalised by the window's total and truncated to 14 bits.
struct DirectList {
    std::int64_t Start;  // first sample the list covers (even)
    std::vector<std::int16_t> Coefficients;
};

DirectList ComputeList(const TGaussianBlurWeight& W, std::int64_t N, std::int64_t i) {
    const std::int64_t S = W.Size();
    const std::int64_t First = std::max<std::int64_t>(i - S, 0);
    const std::int64_t Last = std::min<std::int64_t>(i + S, N - 1);
    DirectList L;
    L.Start = First - First % 2;
    const std::int64_t Pairs = (Last - L.Start) / 2 + 1;
    std::vector<double> Sums(static_cast<std::size_t>(2 * Pairs), 0.0);
    double Total = 0.0;
    for (std::int64_t j = i - S; j <= i + S; ++j) {
        const double w = W.GetWeight(static_cast<std::int32_t>(j - i));
        Total += w;
        Sums[static_cast<std::size_t>(std::clamp<std::int64_t>(j, 0, N - 1) - L.Start)] += w;
    }
    for (double s : Sums)
        L.Coefficients.push_back(static_cast<std::int16_t>(
            static_cast<std::int32_t>(static_cast<long double>(s) / static_cast<long double>(Total) * 16384.0L)));
    return L;
}

TEST(Plan, BlockSizeDoesNotGrowWithTheAxis) {
    EXPECT_EQ(TGaussianBlurWeight::BlockSize(3), 192u);
    EXPECT_EQ(TGaussianBlurWeight::BlockSize(11), 1344u);
    EXPECT_EQ(TGaussianBlurWeight::BlockSize(1), 64u);
}

TEST(Plan, WorkedPlanOfTenPositions) {
    const TGaussianBlurWeight W(2.5, 32.0);
    const Plan Built(W, 10, 16);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(Built.P.Coefficients) % 8, 0u);
    ExpectPlan(Built, {
                          {0, 8, {10817, 3812, 1459, 294}},
                          {0, 24, {5566, 5250, 3812, 1459, 294, 0}},
                          {0, 40, {1754, 3812, 5250, 3812, 1459, 294}},
                          {0, 56, {294, 1459, 3812, 5250, 3812, 1459, 294, 0}},
                          {0, 80, {0, 294, 1459, 3812, 5250, 3812, 1459, 294}},
                          {16, 56, {294, 1459, 3812, 5250, 3812, 1459, 294, 0}},
                          {16, 80, {0, 294, 1459, 3812, 5250, 3812, 1459, 294}},
                          {32, 104, {294, 1459, 3812, 5250, 3812, 1754}},
                          {32, 120, {0, 294, 1459, 3812, 5250, 5566}},
                          {48, 136, {294, 1459, 3812, 10817}},
                      });
    // Count and Step are the caller's; the builder leaves them as they were.
    EXPECT_EQ(Built.P.Count, 10u);
    EXPECT_EQ(Built.P.Step, 16);
}

TEST(Plan, AxisShorterThanTheWindowFoldsBothEnds) {
    const TGaussianBlurWeight W(2.5, 32.0);
    const Plan Three(W, 3, 16);
    ExpectPlan(Three, {
                          {0, 8, {10817, 3812, 1754, 0}},
                          {0, 24, {5566, 5250, 5566, 0}},
                          {0, 40, {1754, 3812, 10817, 0}},
                      });
    const Plan One(W, 1, 16);
    ExpectPlan(One, {{0, 8, {16384, 0}}});
}

TEST(Plan, EmptyAxisStillAllocatesTheBlock) {
    const TGaussianBlurWeight W(2.5, 32.0);
    const Plan Built(W, 0, 16);
    EXPECT_NE(Built.P.Coefficients, nullptr);
    ASSERT_EQ(Built.P.Entries.size(), 2u);
    EXPECT_EQ(Built.P.Entries[0], 0);
    EXPECT_EQ(Built.P.Entries[1], 0);
}

TEST(Plan, NarrowVarianceInteriorListsAndFirstPosition) {
    const TGaussianBlurWeight W(2.5, 2.0);
    for (std::uint32_t N : {4u, 5u, 12u, 1080u}) {
        SCOPED_TRACE("count " + std::to_string(N));
        const Plan Built(W, N, 16);
        EXPECT_EQ(Built.Coefficients(0), (std::vector<std::int16_t>{16287, 96, 0, 0}));
        if (N >= 2 * 3 + 3) {
            // Positions S and S + 1 (S = 3) hold the even- and odd-start lists.
            EXPECT_EQ(Built.Coefficients(3), (std::vector<std::int16_t>{0, 0, 96, 16190, 96, 0, 0, 0}));
            EXPECT_EQ(Built.Coefficients(4), (std::vector<std::int16_t>{0, 0, 0, 96, 16190, 96, 0, 0}));
        }
    }
}

TEST(Plan, EveryListEqualsTheDirectComputationOfItsPosition) {
    // Shared interior lists included: a position that reuses the list of S or
    // S + 1 must get exactly what it would have computed itself.
    const double Settings[][2] = {{2.5, 32.0}, {2.5, 2.0}, {0.6, 1.0},  {1.0, 10.0},
                                  {3.0, 100.0}, {10.5, 1333.5214321}, {10.5, 1.0}, {4.7, 36.517}};
    for (const auto& Set : Settings) {
        const TGaussianBlurWeight W(Set[0], Set[1]);
        std::vector<std::uint32_t> Counts;
        for (std::uint32_t N = 1; N <= static_cast<std::uint32_t>(2 * W.Size() + 8); ++N) Counts.push_back(N);
        Counts.push_back(101);
        Counts.push_back(1080);
        for (std::uint32_t N : Counts) {
            const std::int32_t Step = 16;
            const Plan Built(W, N, Step);
            for (std::uint32_t i = 0; i < N; ++i) {
                const DirectList Expected = ComputeList(W, N, i);
                ASSERT_EQ(Built.P.Offset(i), Expected.Start / 2 * Step)
                    << "radius " << Set[0] << " variance " << Set[1] << " count " << N << " position " << i;
                ASSERT_EQ(Built.Coefficients(i), Expected.Coefficients)
                    << "radius " << Set[0] << " variance " << Set[1] << " count " << N << " position " << i;
            }
        }
    }
}

TEST(Plan, ListsArePackedIntoTheBlockAndBounded) {
    for (double Radius : {0.6, 2.5, 3.0, 7.2, 10.5}) {
        const TGaussianBlurWeight W(Radius, 36.517);
        const std::int64_t S = W.Size();
        for (std::uint32_t N : {1u, 2u, 3u, 7u, 8u, 23u, 24u, 25u, 200u, 1921u}) {
            SCOPED_TRACE("radius " + std::to_string(Radius) + " count " + std::to_string(N));
            const Plan Built(W, N, 16);
            const std::intptr_t BlockEnd = static_cast<std::intptr_t>(TGaussianBlurWeight::BlockSize(W.Size()));
            std::set<std::intptr_t> Lists;
            std::intptr_t ExpectedNext = 8;  // the first list sits at byte 8
            for (std::uint32_t i = 0; i < N; ++i) {
                const std::intptr_t At = Built.ListOffset(i);
                const std::int32_t n = PairCount(Built.P.List(i));
                ASSERT_EQ(At % 8, 0);
                ASSERT_GE(n, 1);
                ASSERT_LE(n, S + 1);
                ASSERT_LE(At + 4 * n, BlockEnd);
                if (Lists.insert(At).second) {
                    // New lists follow one another in position order.
                    ASSERT_EQ(At, ExpectedNext) << "position " << i;
                    ExpectedNext = (At + 4 * n + 11) & ~std::intptr_t{7};
                }
                std::int32_t Sum = 0;
                for (std::int16_t c : Built.Coefficients(i)) {
                    ASSERT_GE(c, 0);
                    ASSERT_LE(c, 16384);
                    Sum += c;
                }
                // Truncation loses less than one unit per slot.
                ASSERT_LE(Sum, 16384);
                ASSERT_GT(Sum, 16384 - 2 * n);
            }
            EXPECT_LE(static_cast<std::int64_t>(Lists.size()), 2 * S + 2);
        }
    }
}

TEST(Plan, ChangingTheStepChangesOnlyTheOffsets) {
    const TGaussianBlurWeight W(2.5, 32.0);
    for (std::uint32_t N : {10u, 11u, 1080u}) {
        SCOPED_TRACE("count " + std::to_string(N));
        const Plan Narrow(W, N, 16);
        const Plan Wide(W, N, 7680);
        for (std::uint32_t i = 0; i < N; ++i) {
            EXPECT_EQ(Wide.P.Offset(i), Narrow.P.Offset(i) / 16 * 7680) << i;
            EXPECT_EQ(Wide.ListOffset(i), Narrow.ListOffset(i)) << i;
            EXPECT_EQ(Wide.Coefficients(i), Narrow.Coefficients(i)) << i;
        }
    }
}

TEST(Plan, OnlyAnOddAxisIsReadOneSamplePastItsEndWithZeroWeight) {
    for (double Radius : {0.6, 2.5, 3.0, 10.5}) {
        const TGaussianBlurWeight W(Radius, 32.0);
        const std::int64_t S = W.Size();
        for (std::int64_t N = 1; N <= 4 * S + 9; ++N) {
            const Plan Built(W, static_cast<std::uint32_t>(N), 16);
            for (std::int64_t i = 0; i < N; ++i) {
                SCOPED_TRACE("radius " + std::to_string(Radius) + " count " + std::to_string(N) +
                             " position " + std::to_string(i));
                const std::int64_t Start = Built.P.Offset(static_cast<std::uint32_t>(i)) / 16 * 2;
                const std::vector<std::int16_t> C = Built.Coefficients(static_cast<std::uint32_t>(i));
                const std::int64_t End = Start + static_cast<std::int64_t>(C.size()) - 1;
                ASSERT_GE(Start, 0);
                if (N % 2 == 1 && i + S >= N - 1) {
                    ASSERT_EQ(End, N);
                    ASSERT_EQ(C.back(), 0);
                } else {
                    ASSERT_LE(End, N - 1);
                }
            }
        }
    }
}

TEST(Plan, FreedPlanIsEmpty) {
    const TGaussianBlurWeight W(2.5, 32.0);
    TFilterParam P;
    P.Count = 10;
    P.Step = 16;
    P.GatherCount = 3;
    P.InnerCount = 10;
    P.OuterCount = 7;
    W.MakeFilterParam(P);
    EXPECT_EQ(P.GatherCount, 3);
    EXPECT_EQ(P.InnerCount, 10);
    EXPECT_EQ(P.OuterCount, 7);
    FreeFilterParam(P);
    EXPECT_EQ(P.Coefficients, nullptr);
    EXPECT_TRUE(P.Entries.empty());
    EXPECT_EQ(P.Count, 0u);
    EXPECT_EQ(P.Step, 0);
    EXPECT_EQ(P.GatherCount, 0);
    EXPECT_EQ(P.InnerCount, 0);
    EXPECT_EQ(P.OuterCount, 0);
    // An empty plan frees again without harm.
    FreeFilterParam(P);
    EXPECT_EQ(P.Coefficients, nullptr);
}

}  // namespace
