// The vector RGB(A)/luma routines against their scalar twins: every channel
// count, runs of every length up to a few groups, contiguous and strided
// luma, random values and the extremes. Seed: VELGARDE_SEED.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "filter/RgbLuma.h"

namespace {

unsigned Seed() {
    const char* V = std::getenv("VELGARDE_SEED");
    return V != nullptr ? static_cast<unsigned>(std::strtoul(V, nullptr, 0)) : 20261208u;
}

TEST(RgbLuma, EveryColourGivesTheScalarLuma) {
    // All 2^24 colours, one row of 256 blues per red and green.
    std::vector<std::uint8_t> Row(256 * 4);
    std::vector<std::int16_t> Fast(256), Slow(256);
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                Row[b * 4] = static_cast<std::uint8_t>(r);
                Row[b * 4 + 1] = static_cast<std::uint8_t>(g);
                Row[b * 4 + 2] = static_cast<std::uint8_t>(b);
                Row[b * 4 + 3] = static_cast<std::uint8_t>(255 - b);
            }
            PixelsToLuma(Row.data(), 4, 256, Fast.data(), 1);
            PixelsToLuma_c(Row.data(), 4, 256, Slow.data(), 1);
            ASSERT_EQ(Fast, Slow) << "r=" << r << " g=" << g;
        }
}

TEST(RgbLuma, RandomRunsMatchTheScalarTwins) {
    const unsigned S = Seed();
    SCOPED_TRACE("VELGARDE_SEED=" + std::to_string(S));
    std::mt19937 Rng(S);
    std::uniform_int_distribution<int> Byte(0, 255);
    std::uniform_int_distribution<int> Word(-32768, 32767);
    for (int Channels = 1; Channels <= 4; ++Channels)
        for (std::ptrdiff_t Step : {1, 3})
            for (std::size_t Count = 0; Count <= 37; ++Count)
                for (int Round = 0; Round < 4; ++Round) {
                    SCOPED_TRACE("channels=" + std::to_string(Channels) + " step=" + std::to_string(Step) +
                                 " count=" + std::to_string(Count) + " round=" + std::to_string(Round));
                    // One guard pixel after the run catches writes past its end.
                    std::vector<std::uint8_t> Pixels((Count + 1) * Channels);
                    for (auto& P : Pixels) P = static_cast<std::uint8_t>(Round == 1 ? 0 : Round == 2 ? 255 : Byte(Rng));
                    std::vector<std::int16_t> Fast(Count * Step + 1, 0x5A5A), Slow(Fast);
                    PixelsToLuma(Pixels.data(), Channels, Count, Fast.data(), Step);
                    PixelsToLuma_c(Pixels.data(), Channels, Count, Slow.data(), Step);
                    ASSERT_EQ(Fast, Slow);

                    // Changes of any size, including ones no engine makes.
                    std::vector<std::int16_t> Before(Count + 1), After(Count * Step + 1);
                    for (auto& B : Before) B = static_cast<std::int16_t>(Word(Rng));
                    for (std::size_t i = 0; i < Count; ++i)
                        After[i * Step] = static_cast<std::int16_t>(
                            Round == 3 ? Before[i] + Word(Rng) % 64 : Word(Rng));
                    std::vector<std::uint8_t> FastPixels(Pixels), SlowPixels(Pixels);
                    ApplyLumaChange(Before.data(), After.data(), Step, Count, Channels, FastPixels.data());
                    ApplyLumaChange_c(Before.data(), After.data(), Step, Count, Channels, SlowPixels.data());
                    ASSERT_EQ(FastPixels, SlowPixels);
                    // Before beside After, both strided.
                    std::vector<std::int16_t> Pairs(Count * 3 + 2), Twice(Count * 3 + 2, 0x3C3C);
                    for (std::size_t i = 0; i < Count; ++i) {
                        Pairs[i * 3] = After[i * Step];
                        Pairs[i * 3 + 1] = Before[i];
                    }
                    std::vector<std::uint8_t> PairFast(Pixels);
                    ApplyLumaChange(Pairs.data() + 1, Pairs.data(), 3, Count, Channels, PairFast.data(), 3);
                    ASSERT_EQ(PairFast, SlowPixels);
                    std::vector<std::uint8_t> Elsewhere(Pixels.size(), 0x77);
                    ApplyLumaChange(Pairs.data() + 1, Pairs.data(), 3, Count, Channels, Pixels.data(),
                                    Elsewhere.data(), 3);
                    ASSERT_TRUE(std::equal(Elsewhere.begin(), Elsewhere.begin() + Count * Channels, SlowPixels.begin()));
                    for (int c = 0; c < Channels; ++c) ASSERT_EQ(Elsewhere[Count * Channels + c], 0x77) << "guard";
                    PixelsToLuma(Pixels.data(), Channels, Count, Twice.data(), Twice.data() + 1, 3);
                    for (std::size_t i = 0; i < Count; ++i)
                        ASSERT_TRUE(Twice[i * 3] == Slow[i * Step] && Twice[i * 3 + 1] == Slow[i * Step] &&
                                    Twice[i * 3 + 2] == 0x3C3C)
                            << i;
                    ASSERT_TRUE(Twice[Count * 3] == 0x3C3C && Twice[Count * 3 + 1] == 0x3C3C) << "guard";
                    for (int c = 0; c < Channels; ++c)
                        ASSERT_EQ(FastPixels[Count * Channels + c], Pixels[Count * Channels + c]) << "guard";
                }
}

TEST(RgbLuma, NoChangeKeepsEveryByteAndAlphaIsNeverTouched) {
    std::mt19937 Rng(Seed());
    std::vector<std::uint8_t> Pixels(4 * 101);
    for (auto& P : Pixels) P = static_cast<std::uint8_t>(Rng());
    std::vector<std::int16_t> Luma(101);
    PixelsToLuma(Pixels.data(), 4, 101, Luma.data(), 1);
    std::vector<std::uint8_t> Out(Pixels);
    ApplyLumaChange(Luma.data(), Luma.data(), 1, 101, 4, Out.data());
    EXPECT_EQ(Out, Pixels);

    std::vector<std::int16_t> Brighter(Luma);
    for (auto& Y : Brighter) Y = static_cast<std::int16_t>(Y + 4096);
    ApplyLumaChange(Luma.data(), Brighter.data(), 1, 101, 4, Out.data());
    for (std::size_t i = 0; i < 101; ++i) {
        EXPECT_EQ(Out[i * 4 + 3], Pixels[i * 4 + 3]);
        EXPECT_EQ(Out[i * 4], 255);
    }
}

}  // namespace
