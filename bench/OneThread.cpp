// One thread, the caller's: the memory floor (bench/MemoryFloor.h) and every
// kernel set this machine runs, interleaved in each round and timed in the
// thread's processor time, so all see the same machine. A plain program, so
// that it builds and runs on every target (the 32-bit ones included) with
// the same rows:
//   <w>x<h> range <r>: floor <ms>; per set <ms> (horizontal + vertical pass),
//   x floor, speedup over SSE2;
//   the best set's passes each against its half of the floor (horizontal
//   over the floor's gather, vertical over its update).
//
// velgarde_one_thread [rounds] (default 40)
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchScene.h"
#include "bench/MemoryFloor.h"
#include "filter/KernelSets.h"
#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "filter/WorkSplit.h"

using namespace velgarde_bench;

namespace {

struct Timed {
    const KernelSet* Set;
    std::unique_ptr<TUnsharpMaskFilter> Engine;
    std::vector<double> Horizontal, Vertical, Both;
};

void Row(int W, int H, std::int32_t Range, int Rounds) {
    Scene S(W, H);
    const std::int32_t Tracks[TrackCount] = {25, 50, Range, 50, 0};
    std::vector<Timed> Sets;
    for (const KernelSet& Set : BuiltInKernelSets()) {
        if (!MachineRuns(Set)) continue;
        auto Engine = std::make_unique<TUnsharpMaskFilter>(8);
        Engine->UseKernels(Set);
        ApplyFilterParameters(*Engine, ConvertTrackValues(Tracks));
        Engine->Setup(W, H, W);
        Sets.push_back({&Set, std::move(Engine), {}, {}, {}});
    }
    std::vector<double> Gather, Update, Floor;
    for (int i = 0; i < Rounds; ++i) {
        Gather.push_back(ThreadSeconds([&] { FloorGather(S.Plane, S.PlanePitch, S.Pixels.data(), W, 0, H, S.Pitch()); }));
        Update.push_back(
            ThreadSeconds([&] { FloorUpdate(S.Pixels.data(), H, S.Pitch(), S.Plane, S.PlanePitch, 0, W); }));
        Floor.push_back(Gather.back() + Update.back());
        for (Timed& T : Sets) {
            T.Horizontal.push_back(ThreadSeconds([&] { T.Engine->HorizontalPass(S.Work, S.Pixels.data(), 0, 1); }));
            T.Vertical.push_back(ThreadSeconds([&] { T.Engine->VerticalPass(S.Pixels.data(), S.Work, 0, 1); }));
            T.Both.push_back(T.Horizontal.back() + T.Vertical.back());
        }
    }
    const Timed& Best = Sets.front();
    const Timed& Floorest = Sets.back();  // SSE2, the last set every machine runs
    std::printf("%dx%d range %d (%d taps), %d-bit, floor %s %.3f ms |", W, H, Range,
                2 * Sets.front().Engine->Weight.Size() + 1, int(sizeof(void*) * 8), FloorName(), Median(Floor) * 1e3);
    for (const Timed& T : Sets)
        std::printf(" %s %.3f ms (%.3f + %.3f) %.2fx floor %.2fx sse2 |", T.Set->Name, Median(T.Both) * 1e3,
                    Median(T.Horizontal) * 1e3, Median(T.Vertical) * 1e3, Median(T.Both) / Median(Floor),
                    Median(Floorest.Both) / Median(T.Both));
    std::printf(" %s: horizontal %.2fx gather, vertical %.2fx update\n", Best.Set->Name,
                Median(Best.Horizontal) / Median(Gather), Median(Best.Vertical) / Median(Update));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int Rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 40;
    for (const auto& [W, H] : {std::pair{1920, 1080}, std::pair{3840, 2160}})
        for (std::int32_t Range : {DefaultRange, WidestRange}) Row(W, H, Range, Rounds);
    return 0;
}
