// What the plug-in does when the host's side goes wrong: geometry whose
// scratch block does not fit the target's size_t, a MultiThreadRun that
// reports failure, and a blur rebuild that fails inside an update.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "host/EmulatedHost.h"
#include "host/PluginModule.h"
#include "tests/support/Plugin.h"

namespace {

using velgarde::EmulatedHost;
using velgarde::PluginModule;
using namespace velgarde_test;

const std::string modulePath = TarnwickTestModule();

void Open(EmulatedHost& host, const Tracks& tracks) {
    std::string error;
    ASSERT_TRUE(host.Open(modulePath, 2, &error)) << error;
    for (int i = 0; i < TrackCount; ++i) host.SetTrack(i, tracks.Value[i]);
    ASSERT_EQ(host.CallUpdate(), Success);
}

TEST(PluginBoundary, AScratchBlockBeyondSizeTIsRefusedAndTheFrameLeftAlone) {
    if (sizeof(std::size_t) > 4) GTEST_SKIP() << "every such block fits a 64-bit size_t";
    EmulatedHost host;
    Open(host, DefaultTracks());
    // One row of 70 million pixels passes every 32-bit stride check, but its
    // scratch block times 8 slots needs 4.48 GB. The host lends a small
    // buffer: the plug-in must refuse before touching it.
    std::vector<unsigned char> frame(4096, 0x5A);
    const std::vector<unsigned char> before = frame;
    ProcInfo info{};
    info.EditFrame = reinterpret_cast<PixelYC*>(frame.data());
    info.TempFrame = reinterpret_cast<PixelYC*>(frame.data());
    info.Width = 70'000'000;
    info.Height = 1;
    info.MaxWidth = 70'000'000;
    EXPECT_EQ(host.CallProc(&info), 0);
    EXPECT_TRUE(frame == before);
    // And the next sound frame works.
    GuardedFrame sound(9, 5, 9);
    std::mt19937 random(3);
    sound.Fill(random);
    const std::vector<unsigned char> want = Expected(sound, DefaultTracks());
    ProcInfo next = sound.Info();
    ASSERT_EQ(host.CallProc(&next), Success);
    EXPECT_TRUE(sound.Bytes == want);
}

// A host whose MultiThreadRun makes only thread 0's call of the failing run
// and reports failure; other runs are complete and succeed.
struct FailingRuns {
    int Calls = 0;
    int FailOn = 0;  // 1: the horizontal run, 2: the vertical run
};
FailingRuns failing;

std::int32_t AVIUTL_CDECL FailingRun(MultiThreadFunc func, void* param1, void* param2) {
    const bool fail = ++failing.Calls == failing.FailOn;
    for (int i = 0; i < (fail ? 1 : 2); ++i) func(i, 2, param1, param2);
    return fail ? 0 : 1;
}

TEST(PluginBoundary, AFailedRunFailsTheFrameAndAFailedHorizontalRunLeavesItUntouched) {
    EmulatedHost host;
    const Tracks tracks = DefaultTracks();
    Open(host, tracks);
    HostFunctions functions{};
    functions.MultiThreadRun = FailingRun;
    host.MutableTable()->Functions = &functions;
    std::mt19937 random(5);
    for (int failOn : {1, 2, 0}) {
        SCOPED_TRACE("failing run " + std::to_string(failOn));
        GuardedFrame frame(29, 13, 32);
        frame.Fill(random);
        const GuardedFrame before = frame;
        const std::vector<unsigned char> want = Expected(frame, tracks);
        failing = FailingRuns{0, failOn};
        ProcInfo info = frame.Info();
        const std::int32_t result = host.CallProc(&info);
        EXPECT_EQ(failing.Calls, failOn == 1 ? 1 : 2) << "the vertical run followed a failed horizontal one";
        if (failOn == 0) {
            EXPECT_EQ(result, Success);
            EXPECT_TRUE(frame.Bytes == want);
        } else {
            EXPECT_EQ(result, 0);
        }
        if (failOn == 1) {
            EXPECT_TRUE(frame.Bytes == before.Bytes) << "the frame was touched";
        }
    }
}

using FailAllocationsFunc = void (*)(std::int32_t);

TEST(PluginBoundary, ThresholdAndAmountsApplyWhenTheBlurRebuildFails) {
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.Load(modulePath, &error)) << error;
    auto failAllocations =
        reinterpret_cast<FailAllocationsFunc>(module.Symbol("VelgardeTestFailAllocations", &error));
    ASSERT_NE(failAllocations, nullptr) << error;
    EmulatedHost host;
    const Tracks first = DefaultTracks();
    Open(host, first);

    Tracks second = first;
    second.Value[TrackRange] = 60;
    second.Value[TrackAmountPlus] = 300;
    second.Value[TrackAmountMinus] = 7;
    second.Value[TrackThreshold] = 25;
    for (int i = 0; i < TrackCount; ++i) host.SetTrack(i, second.Value[i]);
    failAllocations(1);  // the new weight table
    const std::int32_t result = host.CallUpdate();
    failAllocations(-1);
    EXPECT_EQ(result, 0);

    // The old blur with the new threshold and amounts.
    GuardedFrame frame(41, 19, 44);
    std::mt19937 random(7);
    frame.Fill(random);
    GuardedFrame model = frame;
    const FilterParameters old = ConvertTrackValues(first.Value);
    const FilterParameters now = ConvertTrackValues(second.Value);
    ReferenceFrame({old.Radius, old.Variance, now.Threshold, now.AmountPlus, now.AmountMinus}, model.Pixels(),
                   model.Width, model.Height, model.MaxWidth);
    ProcInfo info = frame.Info();
    ASSERT_EQ(host.CallProc(&info), Success);
    EXPECT_TRUE(frame.Bytes == model.Bytes);
}

}  // namespace
