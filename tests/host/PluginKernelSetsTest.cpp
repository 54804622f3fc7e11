// The test build of the plug-in with each kernel set forced through its
// extra export, driven by the host, every frame equal to the scalar model.
// A set this machine cannot run is skipped.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "host/EmulatedHost.h"
#include "host/PluginModule.h"
#include "tests/support/KernelSetParams.h"
#include "tests/support/Plugin.h"

namespace {

using velgarde::EmulatedHost;
using velgarde::PluginModule;
using namespace velgarde_test;

using UseKernelsFunc = std::int32_t (*)(const char*);

class PluginKernelSets : public testing::TestWithParam<const KernelSet*> {};

TEST_P(PluginKernelSets, ForcedSetGivesTheModelsFrames) {
    const KernelSet& set = *GetParam();
    if (!Runs(set)) GTEST_SKIP() << "this machine cannot run the set";
    // The module stays loaded between the host's Open and the export's call.
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.Load(TarnwickTestModule(), &error)) << error;
    const auto useKernels = reinterpret_cast<UseKernelsFunc>(module.Symbol("VelgardeTestUseKernels", &error));
    ASSERT_NE(useKernels, nullptr) << error;
    EXPECT_EQ(useKernels(set.Name), 0) << "no engine before FilterInit";
    EmulatedHost host;
    ASSERT_TRUE(host.Open(TarnwickTestModule(), 3, &error)) << error;
    ASSERT_EQ(useKernels(set.Name), 1);

    std::mt19937 random(31);
    for (int i = 0; i < 12; ++i) {
        const int width = 1 + static_cast<int>(random() % 90), height = 1 + static_cast<int>(random() % 50);
        GuardedFrame frame(width, height, width + static_cast<int>(random() % 5));
        frame.Fill(random);
        const Tracks tracks = RandomTracks(random);
        const std::vector<unsigned char> want = Expected(frame, tracks);
        for (int t = 0; t < TrackCount; ++t) host.SetTrack(t, tracks.Value[t]);
        ASSERT_EQ(host.CallUpdate(), -1);
        ProcInfo info = frame.Info();
        ASSERT_EQ(host.CallProc(&info), -1);
        EXPECT_TRUE(frame.Bytes == want) << "frame " << i << ": " << frame.Width << "x" << frame.Height;
    }
}

INSTANTIATE_TEST_SUITE_P(, PluginKernelSets, testing::ValuesIn(EveryKernelSet()),
                         KernelSetName());

}  // namespace
