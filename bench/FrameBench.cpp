// Whole-frame benchmarks: the two passes on a real worker pool, as ratios to
// a memory floor measured in the same run on the same buffers and threads.
// Absolute times on a shared two-core machine are noise; the ratios are not.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/MemoryFloor.h"
#include "filter/KernelSets.h"
#include "filter/Reference.h"
#include "filter/UnsharpMask.h"
#include "filter/WorkSplit.h"
#include "host/EmulatedHost.h"
#include "host/WorkerPool.h"
#include "filter/TrackParameters.h"
#include "util/xmmutil.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t DefaultRange = 10;
constexpr std::int32_t WidestRange = 100;

// A frame with fine texture, edges and gradients in the host's luma units.
struct Scene {
    int Width, Height;
    std::vector<unsigned char> Pixels;
    std::vector<unsigned char> Original;
    void* Work;
    std::int16_t* Plane;  // the floor's 16-bit plane
    int PlanePitch;

    Scene(int W, int H) : Width(W), Height(H), Pixels(std::size_t(W) * H * 6) {
        std::uint32_t Noise = 12345;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                Noise = Noise * 1664525u + 1013904223u;
                const int Edge = ((x / 64 + y / 64) % 2) * 1500;
                const int Y = 400 + (x * 2000) / W + Edge + static_cast<int>(Noise >> 24);
                const std::int16_t V = static_cast<std::int16_t>(std::min(Y, 4096));
                std::memcpy(&Pixels[(std::size_t(y) * W + x) * 6], &V, 2);
            }
        Original = Pixels;
        Work = AlignedAlloc(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(W, H)), 64);
        PlanePitch = ((W + 7) & ~7) * 2;
        Plane = static_cast<std::int16_t*>(AlignedAlloc(std::size_t(PlanePitch) * H, 64));
    }
    ~Scene() {
        AlignedFree(Work);
        AlignedFree(Plane);
    }
    void Restore() { Pixels = Original; }
    int Pitch() const { return Width * 6; }
};

Scene& SceneOf(int W, int H) {
    static std::map<std::pair<int, int>, std::unique_ptr<Scene>> Scenes;
    auto& S = Scenes[{W, H}];
    if (!S) S = std::make_unique<Scene>(W, H);
    return *S;
}

velgarde::WorkerPool& PoolOf(int Threads) {
    static std::map<int, std::unique_ptr<velgarde::WorkerPool>> Pools;
    auto& P = Pools[Threads];
    if (!P) P = std::make_unique<velgarde::WorkerPool>(Threads);
    return *P;
}

struct Job {
    TUnsharpMaskFilter* Engine;
    Scene* S;
};

void HorizontalJob(std::int32_t i, std::int32_t n, void* p, void*) {
    Job* J = static_cast<Job*>(p);
    J->Engine->HorizontalPass(J->S->Work, J->S->Pixels.data(), i, n);
}
void VerticalJob(std::int32_t i, std::int32_t n, void* p, void*) {
    Job* J = static_cast<Job*>(p);
    J->Engine->VerticalPass(J->S->Pixels.data(), J->S->Work, i, n);
}
// The floor splits its work the way the passes do: bands of rows, stripes of columns.
void FloorGatherJob(std::int32_t i, std::int32_t n, void* p, void*) {
    Scene* S = static_cast<Job*>(p)->S;
    const WorkShare Share = SplitWork(S->Height, i, n, n);
    FloorGather(S->Plane, S->PlanePitch, S->Pixels.data(), S->Width, Share.Start, Share.Length, S->Pitch());
}
void FloorUpdateJob(std::int32_t i, std::int32_t n, void* p, void*) {
    Scene* S = static_cast<Job*>(p)->S;
    const WorkShare Share = SplitWork((S->Width + 7) / 8, i, n, n);
    const int First = Share.Start * 8;
    const int Columns = std::min<int>(Share.Length * 8, S->Width - First);
    if (Columns > 0) FloorUpdate(S->Pixels.data(), S->Height, S->Pitch(), S->Plane, S->PlanePitch, First, Columns);
}

// Range 10: the track's default, a 5-tap blur; range 100: its widest, 23 taps.
std::unique_ptr<TUnsharpMaskFilter> MakeEngine(std::int32_t Range, int W, int H,
                                               const KernelSet& Set = BestKernelSet()) {
    auto Engine = std::make_unique<TUnsharpMaskFilter>(8);
    Engine->UseKernels(Set);
    const std::int32_t Tracks[TrackCount] = {25, 50, Range, 50, 0};
    const FilterParameters P = ConvertTrackValues(Tracks);
    ApplyFilterParameters(*Engine, P);
    Engine->Setup(W, H, W);
    return Engine;
}

void RunPasses(Job& J, velgarde::WorkerPool& Pool) {
    Pool.Run(HorizontalJob, &J, nullptr);
    Pool.Run(VerticalJob, &J, nullptr);
}
void RunFloor(Job& J, velgarde::WorkerPool& Pool) {
    Pool.Run(FloorGatherJob, &J, nullptr);
    Pool.Run(FloorUpdateJob, &J, nullptr);
}

template <typename Fn>
double Seconds(Fn&& F) {
    const auto T0 = Clock::now();
    F();
    return std::chrono::duration<double>(Clock::now() - T0).count();
}

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V.empty() ? 0.0 : V[V.size() / 2];
}

template <typename Fn>
double MedianSeconds(int Reps, Fn&& F) {
    std::vector<double> T;
    for (int i = 0; i < Reps; ++i) T.push_back(Seconds(F));
    return Median(T);
}

// Both passes over one frame with one kernel set; floor_ratio is the median
// frame time over the median floor time, the floor timed just before on the
// same buffers.
void BM_Frame(benchmark::State& State, const KernelSet* Set) {
    const int W = State.range(0), H = State.range(1), Threads = State.range(3);
    if (!MachineRuns(*Set)) {
        State.SkipWithError("this machine cannot run the set");
        return;
    }
    State.SetLabel(std::string(Set->Name) + ", floor " + FloorName());
    Scene& S = SceneOf(W, H);
    auto Engine = MakeEngine(static_cast<std::int32_t>(State.range(2)), W, H, *Set);
    velgarde::WorkerPool& Pool = PoolOf(Threads);
    Job J{Engine.get(), &S};
    const double Floor = MedianSeconds(21, [&] { RunFloor(J, Pool); });
    std::vector<double> Times;
    for (auto _ : State) {
        Times.push_back(Seconds([&] { RunPasses(J, Pool); }));
        benchmark::ClobberMemory();
    }
    S.Restore();
    const double Frame = Median(Times);
    State.counters["frame_ms"] = Frame * 1e3;
    State.counters["floor_ms"] = Floor * 1e3;
    State.counters["floor_ratio"] = Frame / Floor;
    State.SetItemsProcessed(State.iterations() * W * H);
}

// 1 and 2 threads alternated in one run, so both see the same machine load.
void BM_TwoThreadSpeedup(benchmark::State& State) {
    const int W = State.range(0), H = State.range(1);
    Scene& S = SceneOf(W, H);
    auto Engine = MakeEngine(DefaultRange, W, H);
    Job J{Engine.get(), &S};
    std::vector<double> One, Two;
    for (auto _ : State) {
        One.push_back(Seconds([&] { RunPasses(J, PoolOf(1)); }));
        Two.push_back(Seconds([&] { RunPasses(J, PoolOf(2)); }));
    }
    S.Restore();
    State.counters["one_thread_ms"] = Median(One) * 1e3;
    State.counters["two_threads_ms"] = Median(Two) * 1e3;
    State.counters["speedup"] = Median(One) / Median(Two);
}

// CPU time of the calling thread: on a loaded machine a time slice taken
// away from the thread does not count against it, as it would in wall time.
template <typename Fn>
double ThreadSeconds(Fn&& F) {
    timespec T0, T1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T0);
    F();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T1);
    return double(T1.tv_sec - T0.tv_sec) + 1e-9 * double(T1.tv_nsec - T0.tv_nsec);
}

// One thread, the caller's: the floor and every set the machine runs,
// interleaved in each iteration and timed in the thread's CPU time, so all
// see the same machine. Per set: <set>_ms, <set>_ratio (over the floor) and
// <set>_speedup (over SSE2); the best set's two passes each against its half
// of the floor (gather_ratio: horizontal pass over the floor's gather;
// update_ratio: vertical pass over the floor's update).
void BM_OneThread(benchmark::State& State) {
    const int W = State.range(0), H = State.range(1);
    const std::int32_t Range = static_cast<std::int32_t>(State.range(2));
    Scene& S = SceneOf(W, H);
    struct Timed {
        const KernelSet* Set;
        std::unique_ptr<TUnsharpMaskFilter> Engine;
        std::vector<double> Horizontal, Vertical, Both;
    };
    std::vector<Timed> Sets;
    for (const KernelSet& Set : BuiltInKernelSets())
        if (MachineRuns(Set)) Sets.push_back({&Set, MakeEngine(Range, W, H, Set), {}, {}, {}});
    const Timed& Best = Sets.front();
    const Timed& Sse2 = Sets.back();
    Job Floors{Best.Engine.get(), &S};
    std::vector<double> Gather, Update, Floor, Wider;
    const bool WiderFloor = MachineRunsAvx512Floor();
    for (auto _ : State) {
        // The 512-bit floor, to show the floor in use is the faster one.
        if (WiderFloor)
            Wider.push_back(ThreadSeconds([&] {
                FloorGatherAvx512(S.Plane, S.PlanePitch, S.Pixels.data(), W, 0, H, S.Pitch());
                FloorUpdateAvx512(S.Pixels.data(), H, S.Pitch(), S.Plane, S.PlanePitch, 0, W);
            }));
        Gather.push_back(ThreadSeconds([&] { FloorGatherJob(0, 1, &Floors, nullptr); }));
        Update.push_back(ThreadSeconds([&] { FloorUpdateJob(0, 1, &Floors, nullptr); }));
        Floor.push_back(Gather.back() + Update.back());
        for (Timed& T : Sets) {
            Job J{T.Engine.get(), &S};
            T.Horizontal.push_back(ThreadSeconds([&] { HorizontalJob(0, 1, &J, nullptr); }));
            T.Vertical.push_back(ThreadSeconds([&] { VerticalJob(0, 1, &J, nullptr); }));
            T.Both.push_back(T.Horizontal.back() + T.Vertical.back());
        }
    }
    S.Restore();
    if (WiderFloor) State.counters["avx512_floor_ratio"] = Median(Wider) / Median(Floor);
    State.counters["gather_ratio"] = Median(Best.Horizontal) / Median(Gather);
    State.counters["update_ratio"] = Median(Best.Vertical) / Median(Update);
    State.SetLabel(std::string("best ") + Best.Set->Name + ", floor " + FloorName());
    State.counters["floor_ms"] = Median(Floor) * 1e3;
    for (const Timed& T : Sets) {
        const std::string Name = T.Set->Name;
        State.counters[Name + "_ms"] = Median(T.Both) * 1e3;
        State.counters[Name + "_ratio"] = Median(T.Both) / Median(Floor);
        if (&T != &Sse2) State.counters[Name + "_speedup"] = Median(Sse2.Both) / Median(T.Both);
    }
}

// The best set's passes against the plain scalar model, one thread each.
void BM_VersusScalar(benchmark::State& State) {
    const int W = State.range(0), H = State.range(1);
    Scene& S = SceneOf(W, H);
    auto Engine = MakeEngine(DefaultRange, W, H);
    Job J{Engine.get(), &S};
    const std::int32_t Tracks[TrackCount] = {25, 50, DefaultRange, 50, 0};
    const FilterParameters P = ConvertTrackValues(Tracks);
    std::vector<double> Scalar, Vector;
    for (auto _ : State) {
        Scalar.push_back(Seconds([&] {
            ReferenceFrame({P.Radius, P.Variance, P.Threshold, P.AmountPlus, P.AmountMinus}, S.Pixels.data(), W, H, W);
        }));
        Vector.push_back(Seconds([&] { RunPasses(J, PoolOf(1)); }));
    }
    S.Restore();
    State.counters["scalar_ms"] = Median(Scalar) * 1e3;
    State.counters["vector_ms"] = Median(Vector) * 1e3;
    State.counters["scalar_ratio"] = Median(Scalar) / Median(Vector);
}

std::string ModuleBesideExecutable() {
    char Path[4096];
    const ssize_t N = readlink("/proc/self/exe", Path, sizeof(Path) - 1);
    if (N <= 0) return "Tarnwick.so";
    std::string Exe(Path, static_cast<std::size_t>(N));
    return Exe.substr(0, Exe.rfind('/') + 1) + "Tarnwick.so";
}

// Whole frames through the loaded module and the host's pool: the cost of
// the boundary beside the engine's own.
void BM_ThroughHost(benchmark::State& State) {
    const int W = State.range(0), H = State.range(1), Threads = State.range(2);
    velgarde::EmulatedHost Host;
    std::string Error;
    if (!Host.Open(ModuleBesideExecutable(), Threads, &Error)) {
        State.SkipWithError(Error.c_str());
        return;
    }
    Scene& S = SceneOf(W, H);
    PixelYC* Frame = Host.PrepareFrame(W, H, W);
    std::memcpy(Frame, S.Original.data(), S.Original.size());
    if (!Host.Process(&Error)) {  // first frame builds the plans
        State.SkipWithError(Error.c_str());
        return;
    }
    auto Engine = MakeEngine(DefaultRange, W, H);
    Job J{Engine.get(), &S};
    const double Direct = MedianSeconds(15, [&] { RunPasses(J, PoolOf(Threads)); });
    const double Floor = MedianSeconds(15, [&] { RunFloor(J, PoolOf(Threads)); });
    S.Restore();
    std::vector<double> Times;
    for (auto _ : State) Times.push_back(Seconds([&] { Host.Process(&Error); }));
    State.counters["host_ms"] = Median(Times) * 1e3;
    State.counters["engine_ms"] = Direct * 1e3;
    State.counters["boundary_ratio"] = Median(Times) / Direct;
    State.counters["floor_ratio"] = Median(Times) / Floor;
}

}  // namespace

BENCHMARK(BM_TwoThreadSpeedup)->ArgNames({"w", "h"})->Args({3840, 2160})->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OneThread)
    ->ArgNames({"w", "h", "range"})
    ->ArgsProduct({{1920}, {1080}, {DefaultRange, WidestRange}})
    ->ArgsProduct({{3840}, {2160}, {DefaultRange, WidestRange}})
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_VersusScalar)->ArgNames({"w", "h"})->Args({1920, 1080})->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThroughHost)->ArgNames({"w", "h", "threads"})->Args({1920, 1080, 2})->MinTime(0.5)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    // BM_Frame/<set>/...: one family per built-in set.
    for (const KernelSet& Set : BuiltInKernelSets())
        benchmark::RegisterBenchmark((std::string("BM_Frame/") + Set.Name).c_str(), BM_Frame, &Set)
            ->ArgNames({"w", "h", "range", "threads"})
            ->ArgsProduct({{1920}, {1080}, {DefaultRange, WidestRange}, {1, 2}})
            ->ArgsProduct({{3840}, {2160}, {DefaultRange, WidestRange}, {1, 2}})
            ->MinTime(0.5)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
