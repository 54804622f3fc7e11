// An RGBA frame against the engine's own frame: 1080p pictures through the
// sharpener (luma read and change written by the passes themselves, band by
// band) and the engine's two passes over a frame of Y, Cb, Cr of the same
// size, in turns, on one thread and on a pool of every processor. Prints
// milliseconds per frame (median) and the ratio.
//   build/native/velgarde_rgba_phases [frames] [range-track]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "filter/RgbaSharpener.h"
#include "filter/ThreadSlots.h"
#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "util/ThreadPool.h"
#include "util/xmmutil.h"

namespace {
constexpr int Width = 1920;
constexpr int Height = 1080;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> Ms) {
    std::sort(Ms.begin(), Ms.end());
    return Ms[Ms.size() / 2];
}

template <typename Fn>
double Ms(Fn&& Body) {
    const auto Start = Clock::now();
    Body();
    return std::chrono::duration<double, std::milli>(Clock::now() - Start).count();
}

struct EngineJob {
    const TUnsharpMaskFilter* Engine;
    void* Frame;
    void* Plane;
};

void Report(const char* Label, TThreadPool& Pool, TRgbaSharpener& Sharpener, const TUnsharpMaskFilter& Engine,
            std::vector<std::uint8_t>& Pixels, std::vector<std::int16_t>& Frame, void* Plane, int Runs) {
    EngineJob Job{&Engine, Frame.data(), Plane};
    std::vector<double> Rgba, Passes;
    for (int i = 0; i < Runs; ++i) {
        Rgba.push_back(Ms([&] { Sharpener.Process(Pool, Pixels.data(), Pixels.data(), Width, Height, Width * 4); }));
        Passes.push_back(Ms([&] {
            Pool.Run([](unsigned I, unsigned N, void* C) {
                auto& J = *static_cast<EngineJob*>(C);
                J.Engine->HorizontalPass(J.Plane, J.Frame, I, N);
            }, &Job, Engine.ThreadSlots);
            Pool.Run([](unsigned I, unsigned N, void* C) {
                auto& J = *static_cast<EngineJob*>(C);
                J.Engine->VerticalPass(J.Frame, J.Plane, I, N);
            }, &Job, Engine.ThreadSlots);
        }));
    }
    const double R = Median(Rgba), P = Median(Passes);
    std::printf("%-12s RGBA picture %6.2f ms  engine frame %6.2f ms  RGBA / engine %.2f\n", Label, R, P, R / P);
}
}  // namespace

int main(int argc, char** argv) {
    const int Runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const std::int32_t Tracks[TrackCount] = {25, 50, argc > 2 ? std::atoi(argv[2]) : 10, 50, 0};
    std::vector<std::uint8_t> Pixels(std::size_t(Width) * Height * 4);
    std::uint32_t Noise = 1;
    for (auto& Byte : Pixels) Byte = static_cast<std::uint8_t>((Noise = Noise * 1664525u + 1013904223u) >> 24);
    std::vector<std::int16_t> Frame(std::size_t(Width) * Height * 3);
    for (std::size_t i = 0; i < Frame.size(); i += 3) Frame[i] = static_cast<std::int16_t>(Pixels[i % Pixels.size()] * 16);

    TThreadPool Wide(ProcessorCount());
    TThreadPool Single(1);
    TRgbaSharpener Sharpener(Wide);
    TUnsharpMaskFilter Engine(ThreadSlotsFor(ProcessorCount()));
    const FilterParameters P = ConvertTrackValues(Tracks);
    Sharpener.SetParameters(P);
    ApplyFilterParameters(Engine, P);
    Engine.Setup(Width, Height, Width);
    void* Plane = AlignedAlloc(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(Width, Height)), 64);
    std::printf("1080p, range track %d, kernel set %s, %d runs each in turns, median\n", Tracks[TrackRange],
                Engine.Kernels().Name, Runs);
    char Label[64];
    std::snprintf(Label, sizeof Label, "pool of %u", Wide.Size());
    Report(Label, Wide, Sharpener, Engine, Pixels, Frame, Plane, Runs);
    Report("one thread", Single, Sharpener, Engine, Pixels, Frame, Plane, Runs);
    AlignedFree(Plane);
    return 0;
}
