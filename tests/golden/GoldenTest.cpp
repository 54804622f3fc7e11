// Every golden case through the product's path (the plug-in module, loaded
// and driven by the emulated host) and through an engine alone, checked
// against the committed digests. A mismatch names the case, the preset and
// the first pixel that differs from the scalar model. The engine runs once
// per kernel set the machine has.
//
//   golden_outputs                         the test
//   golden_outputs --module PATH           the test on another copy of the module
//   golden_outputs --write-table FILE [--overwrite]
//                                          writes the digests the scalar model gives
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <sstream>

#include "filter/KernelSets.h"
#include "filter/Reference.h"
#include "filter/ThreadSlots.h"
#include "filter/UnsharpMask.h"
#include "host/EmulatedHost.h"
#include "tests/golden/GoldenCases.h"
#include "util/xmmutil.h"

namespace {

using namespace velgarde_golden;

struct TableRow {
    const char* Name;
    std::uint64_t Digest;
};
const TableRow goldenTable[] = {
#include "tests/golden/GoldenDigests.inc"
};

std::string modulePath = TARNWICK_MODULE;

// Sharpens `frame` (a case's whole buffer) in place; false with a reason.
using Runner = std::function<bool(const GoldenCase&, std::vector<unsigned char>&, std::string*)>;

bool ThroughTheHost(const GoldenCase& c, std::vector<unsigned char>& frame, std::string* error) {
    velgarde::EmulatedHost host;
    if (!host.Open(modulePath, 0, error)) return false;
    for (int i = 0; i < TrackCount; ++i) host.SetTrack(i, c.Tracks[i]);
    PixelYC* pixels = host.PrepareFrame(c.Width, c.Height, c.MaxWidth);
    if (!pixels) {
        *error = "the host cannot prepare the frame";
        return false;
    }
    std::memcpy(pixels, frame.data(), frame.size());
    if (!host.Process(error)) return false;
    std::memcpy(frame.data(), pixels, frame.size());
    return true;
}

// The engine on its own with one kernel set, every thread's share in turn on
// this thread.
bool ThroughAnEngine(const KernelSet& set, const GoldenCase& c, std::vector<unsigned char>& frame,
                     std::string* error) {
    TUnsharpMaskFilter engine(MinimumThreadSlots);
    engine.UseKernels(set);
    ApplyFilterParameters(engine, ConvertTrackValues(c.Tracks));
    if (!engine.Setup(c.Width, c.Height, c.MaxWidth)) {
        *error = "Setup refused the frame";
        return false;
    }
    const std::size_t planeBytes = static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(c.Width, c.Height));
    void* plane = AlignedAlloc(planeBytes ? planeBytes : 16, 16);
    for (std::uint32_t i = 0; i < engine.ThreadSlots; ++i)
        engine.HorizontalPass(plane, frame.data(), i, engine.ThreadSlots);
    for (std::uint32_t i = 0; i < engine.ThreadSlots; ++i)
        engine.VerticalPass(frame.data(), plane, i, engine.ThreadSlots);
    AlignedFree(plane);
    return true;
}

// The product's path, then an engine with every kernel set this machine runs;
// the sets it lacks are named in `skipped`.
std::vector<std::pair<std::string, Runner>> Runners(std::string* skipped) {
    std::vector<std::pair<std::string, Runner>> runners = {{"the plug-in through the host", ThroughTheHost}};
    for (const KernelSet* set : EveryKernelSet()) {
        if (set != &ScalarKernels && !MachineRuns(*set)) {
            *skipped += std::string(skipped->empty() ? "" : ", ") + set->Name;
            continue;
        }
        runners.emplace_back(std::string("an engine with the ") + set->Name + " kernels",
                             [set](const GoldenCase& c, std::vector<unsigned char>& frame, std::string* error) {
                                 return ThroughAnEngine(*set, c, frame, error);
                             });
    }
    return runners;
}

TEST(GoldenOutputs, TheTableCoversEveryCase) {
    ASSERT_EQ(std::size(goldenTable), GoldenCases().size()) << "regenerate the table (README: golden outputs)";
    for (std::size_t i = 0; i < GoldenCases().size(); ++i)
        EXPECT_STREQ(goldenTable[i].Name, GoldenCases()[i].Name);
}

TEST(GoldenOutputs, EveryCaseGivesItsDigestOnThisPreset) {
    ASSERT_EQ(std::size(goldenTable), GoldenCases().size());
    std::string skipped;
    const auto runners = Runners(&skipped);
    if (!skipped.empty())
        std::cout << "[ SKIPPED  ] kernel sets this machine cannot run: " << skipped << "\n";
    for (std::size_t i = 0; i < GoldenCases().size(); ++i) {
        const GoldenCase& c = GoldenCases()[i];
        for (const auto& [runner, run] : runners) {
            std::vector<unsigned char> frame = MakeInput(c);
            std::string error;
            ASSERT_TRUE(run(c, frame, &error)) << c.Name << ", " << runner << ": " << error;
            if (Digest(frame) == goldenTable[i].Digest) continue;
            const std::vector<unsigned char> model = ModelOutput(c);
            ADD_FAILURE() << DigestMismatch(c.Name, VELGARDE_PRESET, runner, FirstDifference(c, frame, model),
                                            Digest(model) == goldenTable[i].Digest);
        }
    }
}

int WriteTable(const std::string& path, bool overwrite) {
    std::vector<NamedDigest> digests;
    for (const GoldenCase& c : GoldenCases()) digests.push_back({c.Name, Digest(ModelOutput(c))});
    return WriteDigestTable(path, overwrite, "golden_outputs", digests);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string table;
    bool overwrite = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--module" && i + 1 < argc) {
            modulePath = argv[++i];
        } else if (arg == "--write-table" && i + 1 < argc) {
            table = argv[++i];
        } else if (arg == "--overwrite") {
            overwrite = true;
        } else {
            std::cerr << "unknown argument " << arg << "\n";
            return 2;
        }
    }
    if (!table.empty()) return WriteTable(table, overwrite);
    return RUN_ALL_TESTS();
}
