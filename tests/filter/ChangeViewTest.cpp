// The change view's mapping: the scale it promises, and the pixel routine
// against that mapping for every channel layout, in place and not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "filter/ChangeView.h"
#include "filter/RgbLuma.h"

namespace {

int Code(int Luma) { return (Luma * 255 + 2048) >> 12; }

TEST(ChangeView, NoChangeIsMidGreyOrTheDimmedPictureAndTheScaleIsTheSquareRoot) {
    for (int Y : {0, 1, 700, 2048, 4095, 4096}) {
        EXPECT_EQ(ChangeViewLuma(Y, Y, TChangeView::Change), 2048) << Y;
        EXPECT_EQ(Code(ChangeViewLuma(Y, Y, TChangeView::Change)), 128);
        EXPECT_EQ(ChangeViewLuma(Y, Y, TChangeView::Picture), Y);
    }
    // A quarter of the contrast around mid-grey.
    EXPECT_EQ(ChangeViewLuma(0, 0, TChangeView::OverPicture), 1536);
    EXPECT_EQ(ChangeViewLuma(4096, 4096, TChangeView::OverPicture), 2560);
    // n 8-bit levels of change (16 units each) show as 8 sqrt(n) levels.
    for (int Levels : {1, 4, 16, 64}) {
        const int Shown = static_cast<int>(8 * std::sqrt(Levels));
        EXPECT_EQ(ChangeViewLuma(1000, 1000 + 16 * Levels, TChangeView::Change), 2048 + 128 * Shown / 8) << Levels;
        EXPECT_EQ(ChangeViewLuma(3000, 3000 - 16 * Levels, TChangeView::Change), 2048 - 128 * Shown / 8) << Levels;
        EXPECT_EQ(ChangeViewLuma(1000, 1000 + 16 * Levels, TChangeView::OverPicture),
                  2048 + (1000 - 2048) / 4 + 128 * Shown / 8);
    }
    EXPECT_EQ(ChangeViewLuma(0, 4096, TChangeView::Change), 4096);
    EXPECT_EQ(ChangeViewLuma(4096, 0, TChangeView::Change), 0);
    // Beyond black and white (limited-range codes outside their range), held.
    EXPECT_EQ(ChangeViewLuma(-300, 4400, TChangeView::Change), 4096);
    EXPECT_EQ(ChangeViewLuma(5000, 4096, TChangeView::Change), 2048);
    EXPECT_EQ(ChangeViewLuma(-5, 5000, TChangeView::Picture), 4096);
    // Every change, against the rounded root, and in order.
    int Last = -1;
    for (int Change = -4096; Change <= 4096; ++Change) {
        const int Before = Change < 0 ? 4096 : 0;
        const int Shown = ChangeViewLuma(Before, Before + Change, TChangeView::Change);
        const long Root = std::lround(std::sqrt(1024.0 * std::abs(Change)));
        ASSERT_EQ(Shown, std::min(4096L, std::max(0L, 2048 + (Change < 0 ? -Root : Root)))) << Change;
        ASSERT_GE(Shown, Last);
        Last = Shown;
    }
}

TEST(ChangeView, PixelsAreTheirLumasViewInGreyWithAlphaKeptInPlaceOrNot) {
    std::mt19937 Random(22);
    const std::size_t Count = 1000;  // several runs of the routine, the last one short
    for (int Channels = 1; Channels <= 4; ++Channels) {
        SCOPED_TRACE("channels " + std::to_string(Channels));
        std::vector<std::uint8_t> Before(Count * Channels), After(Count * Channels);
        for (std::size_t i = 0; i < Before.size(); ++i) {
            Before[i] = static_cast<std::uint8_t>(Random());
            // Mostly small steps, some none, as sharpening leaves them.
            const int Step = static_cast<int>(Random() % 41) - 20;
            After[i] = static_cast<std::uint8_t>(std::clamp(Before[i] + (i % 5 == 0 ? 0 : Step), 0, 255));
        }
        for (TChangeView View : {TChangeView::Change, TChangeView::OverPicture}) {
            std::vector<std::uint8_t> Out(Before.size());
            ChangeViewPixels(Before.data(), After.data(), Channels, Count, View, Out.data());
            const bool Alpha = Channels % 2 == 0;
            for (std::size_t i = 0; i < Count; ++i) {
                std::int16_t B, A;
                PixelsToLuma_c(&Before[i * Channels], Channels, 1, &B, 1);
                PixelsToLuma_c(&After[i * Channels], Channels, 1, &A, 1);
                const int Grey = Code(ChangeViewLuma(B, A, View));
                for (int c = 0; c < Channels; ++c) {
                    const int Expected = Alpha && c == Channels - 1 ? After[i * Channels + c] : Grey;
                    ASSERT_EQ(Out[i * Channels + c], Expected) << "pixel " << i << " channel " << c;
                }
            }
            std::vector<std::uint8_t> IntoAfter = After, IntoBefore = Before;
            ChangeViewPixels(Before.data(), IntoAfter.data(), Channels, Count, View, IntoAfter.data());
            ChangeViewPixels(IntoBefore.data(), After.data(), Channels, Count, View, IntoBefore.data());
            EXPECT_EQ(IntoAfter, Out);
            EXPECT_EQ(IntoBefore, Out);
        }
        std::vector<std::uint8_t> Copy(Before.size());
        ChangeViewPixels(Before.data(), After.data(), Channels, Count, TChangeView::Picture, Copy.data());
        EXPECT_EQ(Copy, After);
    }
}

}  // namespace
