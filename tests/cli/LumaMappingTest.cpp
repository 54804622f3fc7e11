// File codes <-> host luma units.
#include <gtest/gtest.h>

#include "cli/LumaMapping.h"

namespace velgarde {
namespace {

TEST(LumaMapping, EightBitLimitedRangeFollowsTheFixedFormulas) {
    const LumaMapping m(8, false);
    EXPECT_EQ(m.ToHost(16), 0);
    EXPECT_EQ(m.ToHost(235), 4096);
    EXPECT_EQ(m.ToHost(0), -299);
    EXPECT_EQ(m.ToHost(255), 4470);
    EXPECT_EQ(m.ToHost(17), 18);    // (17 * 1197 >> 6) - 299 = 317 - 299
    EXPECT_EQ(m.FromHost(0), 16);
    EXPECT_EQ(m.FromHost(4096), 235);
    EXPECT_EQ(m.FromHost(2048), 125);  // ((2048 * 219 + 383) >> 12) + 16
}

TEST(LumaMapping, EveryCodeOfEveryDepthAndRangeComesBackExactly) {
    for (int depth : {8, 10, 12})
        for (bool full : {false, true}) {
            const LumaMapping m(depth, full);
            int previous = -100000;
            for (int code = 0; code <= m.MaxCode(); ++code) {
                const int y = m.ToHost(code);
                ASSERT_EQ(m.FromHost(static_cast<std::int16_t>(y)), code)
                    << "depth " << depth << (full ? " full" : " limited") << " code " << code;
                ASSERT_GT(y, previous);  // strictly increasing: no two codes share a Y
                previous = y;
                ASSERT_EQ(y, LumaMapping::ToHostFormula(code, depth, full));
            }
        }
}

TEST(LumaMapping, LegalRangeEndsLandOnZeroAndWhite) {
    struct Case {
        int depth;
        bool full;
        int black, white;
    } cases[] = {{10, false, 64, 940}, {12, false, 256, 3760}, {8, true, 0, 255},
                 {10, true, 0, 1023},  {12, true, 0, 4095}};
    for (const auto& c : cases) {
        const LumaMapping m(c.depth, c.full);
        EXPECT_EQ(m.ToHost(c.black), 0) << c.depth;
        EXPECT_EQ(m.ToHost(c.white), 4096) << c.depth;
        EXPECT_EQ(m.FromHost(0), c.black);
        EXPECT_EQ(m.FromHost(4096), c.white);
    }
    // Midway and rounding in between: 10-bit limited, code 65 is 4096/876 = 4.68 -> 5.
    EXPECT_EQ(LumaMapping(10, false).ToHost(65), 5);
    EXPECT_EQ(LumaMapping(10, false).ToHost(63), -5);
}

TEST(LumaMapping, SharpenedValuesBeyondTheCodeRangeClamp) {
    for (int depth : {8, 10, 12}) {
        const LumaMapping m(depth, false);
        EXPECT_EQ(m.FromHost(-32768), 0);
        EXPECT_EQ(m.FromHost(-2000), 0);
        EXPECT_EQ(m.FromHost(32767), m.MaxCode());
        EXPECT_EQ(m.FromHost(9000), m.MaxCode());
    }
}

TEST(LumaMapping, PlanesThroughAStepAndUntouchedSamples) {
    const LumaMapping m(10, false);
    // 64, 940, and a stray sample with bits above the depth.
    std::uint8_t codes[6] = {64, 0, 0xac, 0x03, 0xff, 0xff};
    std::int16_t y[9] = {};  // Y every third value, as in the host's frame
    m.PlaneToHost(codes, 3, y, 3);
    EXPECT_EQ(y[0], 0);
    EXPECT_EQ(y[3], 4096);
    EXPECT_EQ(y[6], m.ToHost(1023));
    EXPECT_EQ(y[1], 0);  // the values between are left alone
    // Only changed samples are written: the stray one keeps its bytes.
    y[0] = 4096;
    m.PlaneFromHost(y, 3, 3, codes);
    const std::uint8_t expected[6] = {0xac, 0x03, 0xac, 0x03, 0xff, 0xff};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(codes[i], expected[i]) << i;

    const LumaMapping m8(8, false);
    std::uint8_t bytes[3] = {16, 235, 100};
    std::int16_t y8[3];
    m8.PlaneToHost(bytes, 3, y8, 1);
    y8[0] = -5000;
    y8[1] = 5000;
    m8.PlaneFromHost(y8, 1, 3, bytes);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 255);
    EXPECT_EQ(bytes[2], 100);
}

TEST(LumaMapping, WholePlanesAgreeWithTheTablesForEveryValueAndStep) {
    for (bool full : {false, true}) {
        const LumaMapping m(8, full);
        std::vector<std::uint8_t> codes(256 + 7);
        for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        std::vector<std::int16_t> y(65536 + 5);
        for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<std::int16_t>(i - 32768);
        for (std::ptrdiff_t step : {1, 3}) {
            std::vector<std::int16_t> to(codes.size() * step);
            m.PlaneToHost(codes.data(), codes.size(), to.data(), step);
            for (std::size_t i = 0; i < codes.size(); ++i) ASSERT_EQ(to[i * step], m.ToHost(codes[i])) << i;
            std::vector<std::int16_t> spread(y.size() * step);
            for (std::size_t i = 0; i < y.size(); ++i) spread[i * step] = y[i];
            std::vector<std::uint8_t> back(y.size());
            m.PlaneFromHost(spread.data(), step, y.size(), back.data());
            for (std::size_t i = 0; i < y.size(); ++i) ASSERT_EQ(back[i], m.FromHost(y[i])) << y[i];
        }
    }
}

}  // namespace
}  // namespace velgarde
