// RGBA pictures through the sharpener against the plain model: scalar luma,
// the scalar frame computation, the scalar write-back. Any size, any pool,
// rows with padding that must stay untouched.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "filter/Reference.h"
#include "filter/RgbLuma.h"
#include "filter/RgbaSharpener.h"

namespace {

std::vector<std::uint8_t> Expected(std::vector<std::uint8_t> Pixels, int W, int H, std::ptrdiff_t Stride,
                                   const FilterParameters& P) {
    std::vector<std::int16_t> Frame(static_cast<std::size_t>(W) * H * 3, 0), Before(static_cast<std::size_t>(W) * H);
    for (int y = 0; y < H; ++y) {
        PixelsToLuma_c(Pixels.data() + y * Stride, 4, W, Before.data() + y * W, 1);
        for (int x = 0; x < W; ++x) Frame[(y * W + x) * 3] = Before[y * W + x];
    }
    ReferenceFrame({P.Radius, P.Variance, P.Threshold, P.AmountPlus, P.AmountMinus}, Frame.data(), W, H, W);
    for (int y = 0; y < H; ++y)
        ApplyLumaChange_c(Before.data() + y * W, Frame.data() + y * W * 3, 3, W, 4, Pixels.data() + y * Stride);
    return Pixels;
}

std::vector<std::uint8_t> RandomPicture(std::mt19937& Rng, std::size_t Bytes) {
    std::vector<std::uint8_t> P(Bytes);
    for (auto& B : P) B = static_cast<std::uint8_t>(Rng() % 256);
    return P;
}

TEST(RgbaSharpener, MatchesTheModelForAnySizePoolAndSetting) {
    std::mt19937 Rng(7);
    TThreadPool Wide(3);
    TThreadPool Single(1);
    TRgbaSharpener Sharpener(Wide);
    const std::int32_t Settings[][TrackCount] = {
        {25, 50, 10, 50, 0}, {300, 300, 100, 100, 0}, {100, 100, 25, 37, 200}, {300, 0, 1, 0, 1000}};
    const int Sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {97, 61}, {33, 1}, {1, 40}, {64, 9}};
    for (const auto& Tracks : Settings)
        for (const auto& Size : Sizes) {
            const int W = Size[0], H = Size[1];
            const std::ptrdiff_t Stride = W * 4 + 12;  // padding after every row
            SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H) + " amount+ " + std::to_string(Tracks[0]));
            const FilterParameters P = ConvertTrackValues(Tracks);
            ASSERT_TRUE(Sharpener.SetParameters(P));
            const std::vector<std::uint8_t> In = RandomPicture(Rng, static_cast<std::size_t>(Stride) * H);
            const std::vector<std::uint8_t> Want = Expected(In, W, H, Stride, P);
            for (TThreadPool* Pool : {&Wide, &Single}) {
                std::vector<std::uint8_t> Got(In);
                ASSERT_TRUE(Sharpener.Process(*Pool, Got.data(), Got.data(), W, H, Stride));
                ASSERT_EQ(Got, Want);
            }
            // Into another picture: the same pixels, its row padding kept.
            std::vector<std::uint8_t> Out(In.size(), 0xEE);
            ASSERT_TRUE(Sharpener.Process(Single, In.data(), Out.data(), W, H, Stride));
            for (int y = 0; y < H; ++y)
                for (std::ptrdiff_t x = 0; x < Stride; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y * Stride + x);
                    ASSERT_EQ(Out[i], x < W * 4 ? Want[i] : 0xEE) << "y " << y << " byte " << x;
                }
        }
}

TEST(RgbaSharpener, ZeroAmountsGiveTheInputBack) {
    std::mt19937 Rng(11);
    TThreadPool Pool(2);
    TRgbaSharpener Sharpener(Pool);
    const std::int32_t Tracks[TrackCount] = {0, 0, 100, 100, 0};
    ASSERT_TRUE(Sharpener.SetParameters(ConvertTrackValues(Tracks)));
    for (int W : {1, 5, 97, 1920}) {
        const int H = W == 1920 ? 8 : 13;
        const std::vector<std::uint8_t> In = RandomPicture(Rng, static_cast<std::size_t>(W) * H * 4);
        std::vector<std::uint8_t> Out(In);
        ASSERT_TRUE(Sharpener.Process(Out.data(), W, H, W * 4));
        EXPECT_EQ(Out, In) << W;
    }
}

TEST(RgbaSharpener, RefusedPicturesAreLeftAlone) {
    TThreadPool Pool(1);
    TRgbaSharpener Sharpener(Pool);
    std::vector<std::uint8_t> Pixels(64, 77);
    const std::vector<std::uint8_t> Original(Pixels);
    EXPECT_FALSE(Sharpener.Process(Pixels.data(), -1, 2, 16));
    EXPECT_FALSE(Sharpener.Process(Pixels.data(), 4, 2, 15));  // stride shorter than a row
    EXPECT_FALSE(Sharpener.Process(nullptr, 4, 2, 16));
    EXPECT_FALSE(Sharpener.Process(Pixels.data(), 1 << 30, 1 << 30, PTRDIFF_MAX));
    EXPECT_TRUE(Sharpener.Process(Pixels.data(), 0, 2, 0));
    EXPECT_EQ(Pixels, Original);
}

}  // namespace
