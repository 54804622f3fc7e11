// One 1080p frame the way each host hands it over, against the engine's own
// frame, on one thread, in processor time (steadier than wall time on a
// shared machine), measured in turns in one run:
//   engine   both passes over a frame of Y, Cb, Cr (the editor's layout);
//   rgba     an RGBA picture through the picture sharpener (frei0r, .auf2);
//   rgba-to  the same into another picture (as frei0r hands them over);
//   rgba-pool the same on a pool of every processor (all its threads' time);
//   yuv420p  an 8-bit limited-range Y plane likewise (the tool's streams).
// Prints one line per row: name, median milliseconds, ratio to the engine.
//   velgarde_host_frames [turns] [range-track] [kernel set, default the best]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "filter/PictureSharpener.h"
#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "util/ThreadPool.h"
#include "util/xmmutil.h"

namespace {
constexpr int Width = 1920, Height = 1080, FramesPerTurn = 5;

double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <typename Fn>
double PerFrame(Fn&& Body) {
    const double Start = CpuMs();
    for (int i = 0; i < FramesPerTurn; ++i) Body();
    return (CpuMs() - Start) / FramesPerTurn;
}

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    const int Turns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::int32_t Tracks[TrackCount] = {25, 50, argc > 2 ? std::atoi(argv[2]) : 10, 50, 0};
    const FilterParameters P = ConvertTrackValues(Tracks);
    std::uint32_t Seed = 7;
    auto Next = [&] { return (Seed = Seed * 1664525u + 1013904223u) >> 24; };
    std::vector<std::uint8_t> Rgba(std::size_t(Width) * Height * 4), Luma(std::size_t(Width) * Height);
    for (std::size_t i = 0; i < Rgba.size(); ++i) Rgba[i] = static_cast<std::uint8_t>((i / 4 % Width + Next() % 32) % 256);
    for (std::size_t i = 0; i < Luma.size(); ++i) Luma[i] = static_cast<std::uint8_t>(16 + (i % Width + Next() % 32) % 220);
    std::vector<std::int16_t> Frame(std::size_t(Width) * Height * 3);
    for (std::size_t i = 0; i < Luma.size(); ++i) Frame[3 * i] = static_cast<std::int16_t>((Luma[i] - 16) * 18);

    TThreadPool One(1), Wide(ProcessorCount());
    std::vector<std::uint8_t> Other(Rgba.size());
    TUnsharpMaskFilter Engine(8);
    ApplyFilterParameters(Engine, P);
    Engine.Setup(Width, Height, Width);
    void* Plane = AlignedAlloc(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(Width, Height)), 64);
    TPictureSharpener Pictures(8);
    Pictures.SetParameters(P);
    if (argc > 3 && !(Engine.UseKernels(argv[3]) && Pictures.Engine().UseKernels(argv[3]))) {
        std::fprintf(stderr, "this machine has no kernel set %s\n", argv[3]);
        return 1;
    }
    const TPlanarLuma Codes(8, false);
    const PixelFormat RgbaPixels = RgbaFormat(), Planar = PlanarFormat(Codes);

    std::vector<double> E, R, T, W, Y;
    for (int t = 0; t < Turns; ++t) {
        E.push_back(PerFrame([&] {
            for (unsigned i = 0; i < Engine.ThreadSlots; ++i) Engine.HorizontalPass(Plane, Frame.data(), i, Engine.ThreadSlots);
            for (unsigned i = 0; i < Engine.ThreadSlots; ++i) Engine.VerticalPass(Frame.data(), Plane, i, Engine.ThreadSlots);
        }));
        R.push_back(PerFrame([&] { Pictures.Process(One, RgbaPixels, Rgba.data(), Rgba.data(), Width, Height, Width * 4); }));
        T.push_back(PerFrame([&] { Pictures.Process(One, RgbaPixels, Rgba.data(), Other.data(), Width, Height, Width * 4); }));
        W.push_back(PerFrame([&] { Pictures.Process(Wide, RgbaPixels, Rgba.data(), Other.data(), Width, Height, Width * 4); }));
        Y.push_back(PerFrame([&] { Pictures.Process(One, Planar, Luma.data(), Luma.data(), Width, Height, Width); }));
    }
    AlignedFree(Plane);
    const double e = Median(E);
    std::printf("# 1080p, range track %d, kernel set %s, one thread, processor ms per frame, median of %d turns\n",
                Tracks[TrackRange], Engine.Kernels().Name, Turns);
    std::printf("engine %.3f 1.00\n", e);
    std::printf("rgba %.3f %.2f\n", Median(R), Median(R) / e);
    std::printf("rgba-to %.3f %.2f\n", Median(T), Median(T) / e);
    std::printf("rgba-pool %.3f %.2f\n", Median(W), Median(W) / e);
    std::printf("yuv420p %.3f %.2f\n", Median(Y), Median(Y) / e);
    return 0;
}
