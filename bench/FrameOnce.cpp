// A fixed amount of work for instruction counting: a few 1080p frames
// through the floor and through the passes on one thread, each behind its
// own function so that `valgrind --tool=callgrind` reports them apart.
// Instruction counts repeat exactly, whatever else the machine is doing:
//   valgrind --tool=callgrind build/native/velgarde_frame_once [range-track [set]]
//   callgrind_annotate --inclusive=yes callgrind.out.* | grep -E 'Run(Floor|Passes)|Kernel'
// set: a built-in set's name or scalar (default: the best this machine runs). The
// floor is the benchmarks' own (AVX2 where the machine has it).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/MemoryFloor.h"
#include "filter/Reference.h"
#include "filter/UnsharpMask.h"
#include "filter/TrackParameters.h"
#include "util/xmmutil.h"

namespace {
constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr int Frames = 3;

__attribute__((noinline)) void RunFloor(std::vector<unsigned char>& Pixels, std::int16_t* Plane) {
    FloorGather(Plane, Width * 2, Pixels.data(), Width, 0, Height, Width * 6);
    FloorUpdate(Pixels.data(), Height, Width * 6, Plane, Width * 2, 0, Width);
}

__attribute__((noinline)) void RunPasses(const TUnsharpMaskFilter& Engine, std::vector<unsigned char>& Pixels,
                                         void* Work) {
    Engine.HorizontalPass(Work, Pixels.data(), 0, 1);
    Engine.VerticalPass(Pixels.data(), Work, 0, 1);
}
bool ChooseSet(TUnsharpMaskFilter& Engine, const char* Name) {
    if (std::strcmp(Name, ScalarKernels.Name) == 0) {
        Engine.UseKernels(ScalarKernels);
        return true;
    }
    return Engine.UseKernels(Name);
}
}  // namespace

int main(int argc, char** argv) {
    const std::int32_t Tracks[TrackCount] = {25, 50, argc > 1 ? std::atoi(argv[1]) : 10, 50, 0};
    std::vector<unsigned char> Pixels(std::size_t(Width) * Height * 6);
    std::uint32_t Noise = 1;
    for (auto& Byte : Pixels) Byte = static_cast<unsigned char>((Noise = Noise * 1664525u + 1013904223u) >> 24);

    TUnsharpMaskFilter Engine(8);
    if (argc > 2 && !ChooseSet(Engine, argv[2])) {
        std::fprintf(stderr, "set %s: not one this machine runs (", argv[2]);
        for (const KernelSet& Set : BuiltInKernelSets())
            if (MachineRuns(Set)) std::fprintf(stderr, "%s, ", Set.Name);
        std::fprintf(stderr, "scalar)\n");
        return 2;
    }
    std::printf("set %s, floor %s\n", Engine.Kernels().Name, FloorName());
    const FilterParameters P = ConvertTrackValues(Tracks);
    ApplyFilterParameters(Engine, P);
    Engine.Setup(Width, Height, Width);
    void* Work = AlignedAlloc(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(Width, Height)), 64);
    auto* Plane = static_cast<std::int16_t*>(AlignedAlloc(std::size_t(Width) * Height * 2, 64));
    for (int i = 0; i < Frames; ++i) {
        RunFloor(Pixels, Plane);
        RunPasses(Engine, Pixels, Work);
    }
    AlignedFree(Plane);
    AlignedFree(Work);
    return 0;
}
