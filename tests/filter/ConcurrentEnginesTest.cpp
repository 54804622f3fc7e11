// Engines own their settings: several engines with different settings,
// each driven from its own thread at the same time (and changing settings
// between frames while the others run), every frame equal to the scalar
// model. Under ThreadSanitizer this also proves that nothing the kernels
// read or the setters write is shared between engines.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "filter/Reference.h"
#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "tests/support/Buffers.h"

using namespace velgarde_test;

namespace {

constexpr int Engines = 4;
constexpr int FramesPerEngine = 12;

// Tracks for engine e's frame f: every engine differs from the others in
// every setting, and each changes its settings from frame to frame.
void TracksFor(int e, int f, std::int32_t* Tracks) {
    Tracks[TrackAmountPlus] = 40 + 60 * e + 7 * f;
    Tracks[TrackAmountMinus] = 250 - 50 * e + 3 * f;
    Tracks[TrackRange] = 1 + ((e * 23 + f * 5) % 60);
    Tracks[TrackVariance] = 20 + 15 * e;
    Tracks[TrackThreshold] = (e * 131 + f * 17) % 300;
}

// Runs FramesPerEngine frames through Engine on this thread; returns the
// first disagreement with the model, or an empty string.
std::string RunEngine(int e, std::atomic<int>& Ready, int ThreadsPerFrame) {
    TUnsharpMaskFilter Engine(4);
    std::mt19937 Rng(1000 + e);
    // Start together, so the engines' frames overlap.
    Ready.fetch_add(1);
    while (Ready.load() < Engines) std::this_thread::yield();
    for (int f = 0; f < FramesPerEngine; ++f) {
        const int W = 37 + 11 * e + f, H = 23 + 5 * e + (f % 4), MaxW = W + e;
        std::int32_t Tracks[TrackCount];
        TracksFor(e, f, Tracks);
        const FilterParameters P = ConvertTrackValues(Tracks);
        ApplyFilterParameters(Engine, P);
        if (!Engine.Setup(W, H, MaxW)) return "Setup refused a sound frame";

        TestFrame Frame(W, H, MaxW);
        FillFrame(Frame, Rng, f % 2 ? -32768 : 0, f % 2 ? 32767 : 4096);
        TestFrame Expected(W, H, MaxW);
        std::memcpy(Expected.Buffer.Data(), Frame.Buffer.Data(), Frame.Buffer.Bytes());
        GuardedBuffer Work(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(W, H)));
        for (int t = 0; t < ThreadsPerFrame; ++t) Engine.HorizontalPass(Work.Data(), Frame.Buffer.Data(), t, ThreadsPerFrame);
        for (int t = 0; t < ThreadsPerFrame; ++t) Engine.VerticalPass(Frame.Buffer.Data(), Work.Data(), t, ThreadsPerFrame);

        ReferenceFrame({P.Radius, P.Variance, P.Threshold, P.AmountPlus, P.AmountMinus}, Expected.Buffer.Data(), W,
                       H, MaxW);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (Frame.Y(y, x) != Expected.Y(y, x))
                    return "engine " + std::to_string(e) + " frame " + std::to_string(f) + ": Y differs at x=" +
                           std::to_string(x) + " y=" + std::to_string(y) + ": model " +
                           std::to_string(Expected.Y(y, x)) + ", got " + std::to_string(Frame.Y(y, x));
        if (!Work.GuardsIntact() || !Frame.Buffer.GuardsIntact())
            return "engine " + std::to_string(e) + " frame " + std::to_string(f) + ": guard bytes changed";
    }
    return "";
}

void RunAllAtOnce(int ThreadsPerFrame) {
    std::atomic<int> Ready{0};
    std::vector<std::string> Failures(Engines);
    std::vector<std::thread> Threads;
    for (int e = 0; e < Engines; ++e)
        Threads.emplace_back([&, e] { Failures[e] = RunEngine(e, Ready, ThreadsPerFrame); });
    for (std::thread& T : Threads) T.join();
    for (int e = 0; e < Engines; ++e) EXPECT_EQ(Failures[e], "") << "engine " << e;
}

}  // namespace

TEST(ConcurrentEngines, EachOnItsOwnThreadMatchesTheModel) { RunAllAtOnce(1); }

TEST(ConcurrentEngines, SharesOfEveryEngineMatchTheModel) { RunAllAtOnce(3); }

TEST(ConcurrentEngines, TwoEnginesOneThreadInterleaved) {
    // One engine's settings change between the other's two passes.
    TUnsharpMaskFilter A(2), B(2);
    std::mt19937 Rng(5);
    const std::int32_t TracksA[TrackCount] = {300, 0, 20, 50, 0};
    const std::int32_t TracksB[TrackCount] = {0, 300, 5, 80, 400};
    const FilterParameters PA = ConvertTrackValues(TracksA), PB = ConvertTrackValues(TracksB);
    ApplyFilterParameters(A, PA);
    ApplyFilterParameters(B, PB);
    ASSERT_TRUE(A.Setup(50, 30, 50));
    ASSERT_TRUE(B.Setup(50, 30, 50));
    TestFrame FA(50, 30, 50), FB(50, 30, 50);
    FillFrame(FA, Rng, 0, 4096);
    std::memcpy(FB.Buffer.Data(), FA.Buffer.Data(), FA.Buffer.Bytes());
    TestFrame EA(50, 30, 50), EB(50, 30, 50);
    std::memcpy(EA.Buffer.Data(), FA.Buffer.Data(), FA.Buffer.Bytes());
    std::memcpy(EB.Buffer.Data(), FA.Buffer.Data(), FA.Buffer.Bytes());
    GuardedBuffer WA(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(50, 30)));
    GuardedBuffer WB(WA.Bytes());
    A.HorizontalPass(WA.Data(), FA.Buffer.Data(), 0, 1);
    B.HorizontalPass(WB.Data(), FB.Buffer.Data(), 0, 1);
    B.VerticalPass(FB.Buffer.Data(), WB.Data(), 0, 1);
    A.VerticalPass(FA.Buffer.Data(), WA.Data(), 0, 1);
    ReferenceFrame({PA.Radius, PA.Variance, PA.Threshold, PA.AmountPlus, PA.AmountMinus}, EA.Buffer.Data(), 50, 30, 50);
    ReferenceFrame({PB.Radius, PB.Variance, PB.Threshold, PB.AmountPlus, PB.AmountMinus}, EB.Buffer.Data(), 50, 30, 50);
    int Differences = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x) {
            EXPECT_EQ(FA.Y(y, x), EA.Y(y, x)) << "engine A at x=" << x << " y=" << y;
            EXPECT_EQ(FB.Y(y, x), EB.Y(y, x)) << "engine B at x=" << x << " y=" << y;
            Differences += FA.Y(y, x) != FB.Y(y, x);
        }
    EXPECT_GT(Differences, 0) << "the two settings should give different frames";
}
