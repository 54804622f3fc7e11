// The SSE2 kernels on hand-made plans with known answers: the blur sums and
// their rounding, and every branch of the sharpening step (the checker holds
// every other set to the same bits).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "filter/Kernels.h"
#include "filter/Reference.h"
#include "filter/Vectors.h"

namespace {

// A coefficient list at an 8-byte boundary with its pair count before it.
struct List {
    alignas(8) std::int32_t Words[16] = {};
    explicit List(std::vector<std::pair<std::int16_t, std::int16_t>> Pairs) {
        Words[1] = static_cast<std::int32_t>(Pairs.size());
        std::int16_t* Slots = reinterpret_cast<std::int16_t*>(&Words[2]);
        for (std::size_t i = 0; i < Pairs.size(); ++i) {
            Slots[2 * i] = Pairs[i].first;
            Slots[2 * i + 1] = Pairs[i].second;
        }
    }
    std::intptr_t Address() const { return reinterpret_cast<std::intptr_t>(&Words[2]); }
};

struct SharpenCase {
    std::int16_t B, Y;
    std::int32_t T, Plus, Minus;
    std::int16_t Expected;
};

// One row of eight pixels, each blurred to exactly B by a single 1.0 tap.
std::int16_t SharpenThroughKernel(const SharpenCase& C) {
    const List Identity({{16384, 0}});
    const std::intptr_t Entries[4] = {0, Identity.Address(), 0, 0};
    alignas(16) std::int16_t Work[32] = {};  // one row-pair line of 8 columns
    for (int x = 0; x < 8; ++x) Work[2 * x] = C.B;
    std::int16_t Frame[8 * 3];
    for (int x = 0; x < 8; ++x) {
        Frame[3 * x] = C.Y;
        Frame[3 * x + 1] = 111;
        Frame[3 * x + 2] = -222;
    }
    SharpenLanes Lanes;
    FillThresholdLanes(Lanes, C.T);
    FillAmountLanes(Lanes, -C.Plus, -C.Minus);
    VerticalKernelSse2(Frame, Work, Entries, 1, 1, 48, 16, 8, &Lanes);
    for (int x = 1; x < 8; ++x) EXPECT_EQ(Frame[3 * x], Frame[0]) << "lanes disagree";
    for (int x = 0; x < 8; ++x) EXPECT_TRUE(Frame[3 * x + 1] == 111 && Frame[3 * x + 2] == -222) << "chroma changed";
    return Frame[0];
}

}  // namespace

TEST(VerticalKernel, SharpeningStepMatchesWorkedValues) {
    const SharpenCase Cases[] = {
        {1100, 1000, 0, 1024, 2048, 950},      // darkens by the minus amount
        {900, 1000, 0, 1024, 2048, 1025},      // brightens by the plus amount
        {900, 1000, 150, 1024, 2048, 1012},    // soft threshold climbs with slope 2
        {900, 1000, 200, 1024, 2048, 1000},    // below half the threshold
        {900, 1000, 200, 12288, 2048, 1003},   // ones' complement still gains Plus/4096
        {1003, 1000, 0, 1024, 40, 999},        // floor takes the change upwards
        {1060, 1000, 100, 1024, 2048, 990},
        {20000, 0, 0, 1024, 12288, -32768},    // change saturates
        {20000, 30000, 0, 12288, 1024, -5536}, // final sum wraps
        {-32768, 32767, 0, 12288, 12288, 32764},  // difference wraps to 1
        {1234, 1234, 777, 12288, 12288, 1234},    // blur equal to the pixel
        {3000, 1000, 500, 0, 0, 1000},            // zero amounts change nothing
    };
    for (const SharpenCase& C : Cases) {
        SCOPED_TRACE(testing::Message() << "B=" << C.B << " Y=" << C.Y << " T=" << C.T << " plus=" << C.Plus
                                        << " minus=" << C.Minus);
        EXPECT_EQ(SharpenThroughKernel(C), C.Expected);
        EXPECT_EQ(SharpenPixel(C.B, C.Y, C.T, C.Plus, C.Minus), C.Expected);
    }
}

TEST(VerticalKernel, SoftThresholdAtOneHundred) {
    // D up to T/2 leaves the pixel; just below 0 it still gains Plus/4096.
    for (int D = 0; D <= 50; ++D) EXPECT_EQ(SharpenThroughKernel({std::int16_t(1000 + D), 1000, 100, 12288, 12288, 1000}), 1000);
    for (int D = -1; D >= -51; --D) EXPECT_EQ(SharpenThroughKernel({std::int16_t(1000 + D), 1000, 100, 12288, 4096, 1003}), 1003);
    EXPECT_EQ(SharpenThroughKernel({1000 - 52, 1000, 100, 12288, 0, 1009}), 1009);  // soft 2, E = -3
    EXPECT_EQ(SharpenThroughKernel({1060, 1000, 100, 0, 4096, 980}), 980);          // soft 20
}

TEST(VerticalKernel, UnitAmountsUndoTheDifference) {
    // Threshold 0 and both amounts 1.0: Y' = Y - D, except D = -32768 saturating at +32767.
    for (int B : {-32768, -5000, -1, 0, 1, 4096, 32767})
        for (int Y : {-32768, -100, 0, 100, 4096, 32767}) {
            const std::int16_t D = static_cast<std::int16_t>(B - Y);
            const int Change = D == -32768 ? 32767 : -D;
            const std::int16_t Expected = static_cast<std::int16_t>(Y + Change);
            EXPECT_EQ(SharpenThroughKernel({std::int16_t(B), std::int16_t(Y), 0, 4096, 4096, Expected}), Expected)
                << "B=" << B << " Y=" << Y;
        }
}

TEST(VerticalKernel, BlurSumOfTwoLinesAndRounding) {
    const List Pairs({{4096, 8192}, {4096, 0}});
    const std::intptr_t Entries[4] = {0, Pairs.Address(), 0, 0};
    alignas(16) std::int16_t Work[32] = {};  // two lines of 8 columns, 16 values each
    for (int x = 0; x < 8; ++x) {
        Work[2 * x] = 1000;
        Work[2 * x + 1] = 1200;
        Work[16 + 2 * x] = 1000;
        Work[16 + 2 * x + 1] = 700;
    }
    std::int16_t Frame[24] = {};
    for (int x = 0; x < 8; ++x) Frame[3 * x] = 1200;
    SharpenLanes Lanes;
    FillThresholdLanes(Lanes, 0);
    FillAmountLanes(Lanes, -1024, -2048);
    VerticalKernelSse2(Frame, Work, Entries, 1, 1, 48, 16, 8, &Lanes);
    EXPECT_EQ(Frame[0], 1225);  // B = 1100, D = -100
    EXPECT_EQ(Frame[21], 1225);
}

TEST(VerticalKernel, LastGroupTouchesOnlyItsColumns) {
    const List Identity({{16384, 0}});
    const std::intptr_t Entries[4] = {0, Identity.Address(), 0, 0};
    alignas(16) std::int16_t Work[32] = {};
    for (int x = 0; x < 8; ++x) Work[2 * x] = 2000;
    SharpenLanes Lanes;
    FillThresholdLanes(Lanes, 0);
    FillAmountLanes(Lanes, -4096, -4096);
    for (int Columns = 1; Columns <= 8; ++Columns) {
        std::int16_t Frame[8 * 3];
        for (int i = 0; i < 24; ++i) Frame[i] = 1000;
        VerticalKernelSse2(Frame, Work, Entries, 1, 1, 48, 16, Columns, &Lanes);
        for (int x = 0; x < 8; ++x) EXPECT_EQ(Frame[3 * x], x < Columns ? 0 : 1000) << Columns << " columns, x=" << x;
    }
}

TEST(HorizontalKernel, WorkedColumnAndNegation) {
    // Four columns wide so that pixels 1 to 3 lie inside the frame.
    const List Pairs({{10817, 3812}, {1459, 294}});
    const std::intptr_t A = Pairs.Address();
    const std::intptr_t Entries[10] = {0, A, 0, A, 0, A, 0, A, 0, 0};
    alignas(16) unsigned char Scratch[64];
    alignas(16) std::int16_t Work[32];  // two lines, WorkPitch 16 bytes
    for (int Sign : {1, -1}) {
        std::int16_t Frame[4 * 3] = {};
        for (int x = 0; x < 4; ++x) Frame[3 * x] = static_cast<std::int16_t>(Sign * 1000 * (x + 1));
        std::memset(Work, 0, sizeof(Work));
        HorizontalKernelSse2(Work, Frame, Entries, Scratch, 1, 4, 1, 16, 24, 1);
        EXPECT_EQ(Work[0], Sign * 1464);
        // Rows past the frame repeat the last real row.
        EXPECT_EQ(Work[1], Sign * 1464);
        EXPECT_EQ(Work[16], Sign * 1464);
    }
}

TEST(HorizontalKernel, RoundingGoesUpwardsForBothSigns) {
    // A single tap of 1/16384 makes each row's sum its pixel.
    const List Tiny({{1, 0}});
    const std::intptr_t Entries[4] = {0, Tiny.Address(), 0, 0};
    const std::int16_t Pixels[4] = {-8193, -8192, 8191, 8192};
    alignas(16) unsigned char Scratch[64];
    alignas(16) std::int16_t Work[32] = {};
    std::int16_t Frame[4 * 3] = {};  // one pixel per row, 4 rows, pitch 6
    for (int r = 0; r < 4; ++r) Frame[3 * r] = Pixels[r];
    HorizontalKernelSse2(Work, Frame, Entries, Scratch, 1, 1, 1, 16, 6, 4);
    EXPECT_EQ(Work[0], -1);
    EXPECT_EQ(Work[1], 0);
    EXPECT_EQ(Work[16], 0);
    EXPECT_EQ(Work[17], 1);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(RoundBlurSum(Pixels[r]), Work[r / 2 * 16 + r % 2]);
}
