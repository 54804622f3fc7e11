// The loaded plug-in on host pools of every size from 2 to 13 workers: below,
// at and above the engine's eight thread slots. Run under ThreadSanitizer this
// is the race check of the two parallel phases; under memcheck, of the reads
// and writes they make. Every frame must equal the scalar model.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support/Plugin.h"

namespace {

using velgarde::EmulatedHost;
using namespace velgarde_test;


// Track values anywhere in int32: the plug-in holds each to what the engine
// can use, and the model is fed the same conversion.
Tracks WildTracks(std::mt19937& random) {
    Tracks t = RandomTracks(random);
    const std::int32_t extremes[] = {std::numeric_limits<std::int32_t>::min(), -1000000, -5, -1,
                                     301, 1001, 524288, std::numeric_limits<std::int32_t>::max()};
    for (int i = 0; i < TrackCount; ++i)
        if (random() % 5 == 0) t.Value[i] = extremes[random() % 8];
    // Keep the blur affordable: the range track reaches 1000 (201 taps).
    if (t.Value[TrackRange] > 150) t.Value[TrackRange] = 150;
    return t;
}

std::string Describe(const GuardedFrame& f, const Tracks& t, int threads) {
    return std::to_string(threads) + " threads, " + Describe(f, t);
}

struct Job {
    int Width, Height, MaxWidth;
    Tracks Settings;
};

// Shapes that give every share of both passes work on 13 threads, shapes
// with fewer units than threads, partial 4-row and 8-column groups, and a
// few random ones; settings change from frame to frame.
std::vector<Job> Jobs(std::mt19937& random) {
    const int shapes[][3] = {{8 * 13 + 3, 4 * 13 + 1, 8 * 13 + 3}, {13, 97, 13},  {97, 5, 101},
                             {1, 1, 1},                            {9, 2, 16},    {64, 64, 64},
                             {3, 53, 7},                           {130, 9, 130}};
    std::vector<Job> jobs;
    for (const auto& s : shapes) jobs.push_back({s[0], s[1], s[2], WildTracks(random)});
    std::uniform_int_distribution<int> side(1, 90);
    for (int i = 0; i < 10; ++i) {
        const int w = side(random);
        jobs.push_back({w, side(random), w + static_cast<int>(random() % 9), WildTracks(random)});
    }
    return jobs;
}

TEST(ThreadSweep, EveryPoolSizeFromTwoToThirteenEqualsTheScalarModel) {
    std::mt19937 random(0x5eed);
    const std::vector<Job> jobs = Jobs(random);
    // Inputs and expected results are made once; each pool size must match.
    std::vector<GuardedFrame> inputs;
    std::vector<std::vector<unsigned char>> wants;
    for (const Job& j : jobs) {
        inputs.emplace_back(j.Width, j.Height, j.MaxWidth);
        inputs.back().Fill(random);
        wants.push_back(Expected(inputs.back(), j.Settings));
    }
    for (int threads = 2; threads <= 13; ++threads) {
        EmulatedHost host;
        ASSERT_EQ(Open(host, TarnwickModule(), threads), "");
        ASSERT_EQ(host.ThreadCount(), threads);
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            GuardedFrame frame = inputs[i];
            SetTracks(host, jobs[i].Settings);
            ASSERT_EQ(host.CallUpdate(), Success);
            ProcInfo info = frame.Info();
            ASSERT_EQ(host.CallProc(&info), Success) << Describe(frame, jobs[i].Settings, threads);
            EXPECT_TRUE(frame.Bytes == wants[i]) << Describe(frame, jobs[i].Settings, threads);
            EXPECT_TRUE(frame.TempGuardIntact()) << Describe(frame, jobs[i].Settings, threads);
        }
    }
}

// The same frame again and again on one pool, with only the settings moving
// between frames: the engine's shared vectors and plans change between runs
// and must be seen by every worker of the next run.
TEST(ThreadSweep, SettingsChangedBetweenRunsReachEveryWorker) {
    std::mt19937 random(77);
    const int rounds = 12;
    for (int threads : {2, 8, 9, 13}) {
        EmulatedHost host;
        ASSERT_EQ(Open(host, TarnwickModule(), threads), "");
        GuardedFrame original(8 * threads + 5, 4 * threads + 3, 8 * threads + 8);
        original.Fill(random);
        for (int round = 0; round < rounds; ++round) {
            Tracks tracks = RandomTracks(random);
            // Alternate between moving only the amounts and moving the blur.
            if (round % 2) tracks.Value[TrackRange] = 10 + round;
            GuardedFrame frame = original;
            const std::vector<unsigned char> want = Expected(frame, tracks);
            SetTracks(host, tracks);
            ASSERT_EQ(host.CallUpdate(), Success);
            ProcInfo info = frame.Info();
            ASSERT_EQ(host.CallProc(&info), Success);
            EXPECT_TRUE(frame.Bytes == want) << Describe(frame, tracks, threads);
        }
    }
}

// The host's own buffers and its Process: the path the command-line tool
// takes, with the pool started and stopped for each host.
TEST(ThreadSweep, HostBuffersThroughProcessOnEveryPoolSize) {
    std::mt19937 random(31);
    for (int threads = 2; threads <= 13; ++threads) {
        EmulatedHost host;
        ASSERT_EQ(Open(host, TarnwickModule(), threads), "");
        const int w = 20 + threads * 3, h = 11 + threads, pitch = w + threads % 4;
        GuardedFrame model(w, h, pitch);
        model.Fill(random);
        const Tracks tracks = WildTracks(random);
        const std::vector<unsigned char> want = Expected(model, tracks);
        PixelYC* pixels = host.PrepareFrame(w, h, pitch);
        ASSERT_NE(pixels, nullptr);
        const std::size_t bytes = static_cast<std::size_t>(pitch) * static_cast<std::size_t>(h) * 6;
        std::memcpy(pixels, model.Pixels(), bytes);
        SetTracks(host, tracks);
        std::string error;
        ASSERT_TRUE(host.Process(&error)) << error;
        std::memcpy(model.Pixels(), pixels, bytes);
        EXPECT_TRUE(model.Bytes == want) << Describe(model, tracks, threads);
    }
}

}  // namespace
