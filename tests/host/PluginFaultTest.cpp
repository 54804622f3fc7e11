// Allocation failures injected into the test build of the plug-in: every
// callback reports the failure, leaves the frame alone, and the next call
// works as if nothing had happened.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "host/PluginModule.h"
#include "tests/support/Plugin.h"

namespace {

using velgarde::EmulatedHost;
using velgarde::PluginModule;
using namespace velgarde_test;

const std::string modulePath = TarnwickTestModule();
// More allocations than any one callback makes.
constexpr int MaxCountdown = 64;

using FailAllocationsFunc = void (*)(std::int32_t);

// Keeps the module loaded across the hosts of one test, so that the switch
// and the module's state are the ones the host drives.
class PluginFault : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(module_.Load(modulePath, &error)) << error;
        failAllocations_ = reinterpret_cast<FailAllocationsFunc>(module_.Symbol("VelgardeTestFailAllocations", &error));
        ASSERT_NE(failAllocations_, nullptr) << error;
        failAllocations_(-1);
    }
    void TearDown() override {
        if (failAllocations_) failAllocations_(-1);
    }
    void FailAllocation(int countdown) { failAllocations_(countdown); }

    PluginModule module_;
    FailAllocationsFunc failAllocations_ = nullptr;
};

void Open(EmulatedHost& host) { ASSERT_EQ(velgarde_test::Open(host, modulePath, 0), ""); }

TEST_F(PluginFault, AFailedInitFailsOpenAndLeavesNoEngine) {
    int failures = 0;
    for (int countdown = 1; countdown <= MaxCountdown; ++countdown) {
        FailAllocation(countdown);
        EmulatedHost host;
        std::string error;
        const bool opened = host.Open(modulePath, 0, &error);
        FailAllocation(-1);
        if (opened) break;
        ++failures;
        EXPECT_NE(error.find("FilterInit"), std::string::npos) << error;
        // No engine was left behind: update and frame refuse to work.
        auto getTable = reinterpret_cast<GetFilterTableFunc>(module_.Symbol(GetFilterTableName, &error));
        ASSERT_NE(getTable, nullptr) << error;
        FilterTable* table = getTable();
        std::int32_t tracks[TrackCount] = {25, 50, 10, 50, 0};
        table->TrackValues = tracks;
        EXPECT_EQ(table->UpdateFunc(table), Failure) << "countdown " << countdown;
        table->TrackValues = nullptr;
        // And the next Open works.
        EmulatedHost next;
        Open(next);
    }
    EXPECT_GT(failures, 0) << "FilterInit allocates nothing that can fail";
}

TEST_F(PluginFault, AFailedUpdateReportsItAndTheNextUpdateApplies) {
    EmulatedHost host;
    Open(host);
    std::mt19937 random(31);
    GuardedFrame original(37, 22, 40);
    original.Fill(random);
    int failures = 0;
    for (int countdown = 1; countdown <= MaxCountdown; ++countdown) {
        // A new, wider blur each time, so that the update rebuilds (and
        // grows) its weights.
        Tracks tracks = RandomTracks(random);
        tracks.Value[TrackRange] = 100 - countdown % 90;
        SetTracks(host, tracks);
        FailAllocation(countdown);
        const std::int32_t result = host.CallUpdate();
        FailAllocation(-1);
        if (result == Success) break;
        ++failures;
        EXPECT_EQ(result, Failure);
        ASSERT_EQ(host.CallUpdate(), Success) << "countdown " << countdown;
        GuardedFrame frame = original;
        const std::vector<unsigned char> want = Expected(frame, tracks);
        ProcInfo info = frame.Info();
        ASSERT_EQ(host.CallProc(&info), Success);
        EXPECT_TRUE(frame.Bytes == want) << "countdown " << countdown;
    }
    EXPECT_GT(failures, 0) << "FilterUpdate allocates nothing that can fail";
}

TEST_F(PluginFault, AFailedFrameIsReportedUntouchedAndTheNextFrameWorks) {
    EmulatedHost host;
    Open(host);
    std::mt19937 random(37);
    const Tracks tracks = DefaultTracks();
    SetTracks(host, tracks);
    ASSERT_EQ(host.CallUpdate(), Success);
    int failures = 0;
    for (int countdown = 1; countdown <= MaxCountdown; ++countdown) {
        // A new size each time, so that the frame rebuilds plans and scratch.
        GuardedFrame frame(20 + countdown, 10 + countdown % 7, 24 + countdown);
        frame.Fill(random);
        const GuardedFrame before = frame;
        ProcInfo info = frame.Info();
        FailAllocation(countdown);
        const std::int32_t result = host.CallProc(&info);
        FailAllocation(-1);
        if (result == Success) break;
        ++failures;
        EXPECT_EQ(result, Failure);
        EXPECT_TRUE(frame.Bytes == before.Bytes) << "countdown " << countdown << ": frame touched";
        EXPECT_TRUE(frame.TempStorage == before.TempStorage) << "countdown " << countdown;
        const std::vector<unsigned char> want = Expected(frame, tracks);
        ASSERT_EQ(host.CallProc(&info), Success) << "countdown " << countdown;
        EXPECT_TRUE(frame.Bytes == want) << "countdown " << countdown;
        // Through the host, the failure is an error its caller sees.
        ASSERT_NE(host.PrepareFrame(frame.Width + 1, frame.Height, frame.MaxWidth + 1), nullptr);
        FailAllocation(1);
        std::string error;
        EXPECT_FALSE(host.Process(&error));
        FailAllocation(-1);
        EXPECT_NE(error.find("FilterProc"), std::string::npos) << error;
        EXPECT_TRUE(host.Process(&error)) << error;
    }
    EXPECT_GT(failures, 0) << "a new frame size allocates nothing that can fail";
}

}  // namespace
