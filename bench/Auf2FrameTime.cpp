// Velgarde.auf2's video function on a 1080p RGBA object, as the emulated
// 64-bit editor calls it, against the RGBA sharpener alone and the engine's
// own two passes over a frame of Y, Cb, Cr, each on a pool of the same
// size, measured in turns in one run. The difference from the sharpener
// alone is what the module and the host add: fetching the picture, handing
// it back.
//
// velgarde_auf2_frame_time [module] [rounds] [range]
// (defaults: Velgarde.auf2, 15, the range track's default; the other tracks
// at their defaults)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "filter/RgbaSharpener.h"
#include "filter/ThreadSlots.h"
#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "host/Auf2Host.h"
#include "util/ThreadPool.h"
#include "util/xmmutil.h"

namespace {

constexpr int Width = 1920, Height = 1080, FramesPerTurn = 10;

using Clock = std::chrono::steady_clock;

template <typename Work>
double MillisecondsPerFrame(Work work) {
    const auto start = Clock::now();
    for (int i = 0; i < FramesPerTurn; ++i) work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / FramesPerTurn;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string module = argc > 1 ? argv[1] : "Velgarde.auf2";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    std::int32_t tracks[TrackCount] = {TrackDefaults[0], TrackDefaults[1], TrackDefaults[2], TrackDefaults[3],
                                       TrackDefaults[4]};
    if (argc > 3) tracks[TrackRange] = std::atoi(argv[3]);

    velgarde::Auf2Host host;
    std::string error;
    if (!host.Open(module, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    velgarde::Auf2Object object = host.NewObject(Width, Height);
    object.values.assign(std::begin(tracks), std::end(tracks));
    std::uint32_t seed = 12345;
    for (Auf2PixelRgba& p : object.pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = {static_cast<std::uint8_t>(seed >> 24), static_cast<std::uint8_t>(seed >> 16),
             static_cast<std::uint8_t>(seed >> 8), 255};
    }

    // The sharpener alone on the same settings and picture, and the engine's
    // two passes over a frame of the same size.
    TThreadPool pool(ProcessorCount());
    TRgbaSharpener sharpener(pool);
    auto* pixels = reinterpret_cast<std::uint8_t*>(object.pixels.data());
    TUnsharpMaskFilter engine(ThreadSlotsFor(ProcessorCount()));
    const FilterParameters parameters = ConvertTrackValues(tracks);
    ApplyFilterParameters(engine, parameters);
    if (!sharpener.SetParameters(parameters) || !engine.Setup(Width, Height, Width)) {
        std::fprintf(stderr, "the engine cannot be prepared\n");
        return 1;
    }
    std::vector<std::int16_t> frame(std::size_t(Width) * Height * 3);
    for (std::size_t i = 0; i < frame.size(); i += 3) frame[i] = static_cast<std::int16_t>(pixels[i] * 16);
    void* plane = AlignedAlloc(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(Width, Height)), 64);
    struct Job {
        const TUnsharpMaskFilter* engine;
        void* frame;
        void* plane;
    } job{&engine, frame.data(), plane};
    auto enginePasses = [&] {
        pool.Run([](unsigned i, unsigned n, void* c) {
            auto& j = *static_cast<Job*>(c);
            j.engine->HorizontalPass(j.plane, j.frame, i, n);
        }, &job, engine.ThreadSlots);
        pool.Run([](unsigned i, unsigned n, void* c) {
            auto& j = *static_cast<Job*>(c);
            j.engine->VerticalPass(j.frame, j.plane, i, n);
        }, &job, engine.ThreadSlots);
    };

    // Warm-up: the module builds its sharpener and buffers on the first call.
    for (int i = 0; i < 3; ++i)
        if (!host.Process(object)) {
            std::fprintf(stderr, "the video function failed\n");
            return 1;
        }
    std::vector<Auf2PixelRgba> copy(object.pixels.size());
    std::vector<double> video, alone, passes, copies;
    for (int r = 0; r < rounds; ++r) {
        video.push_back(MillisecondsPerFrame([&] { host.Process(object); }));
        alone.push_back(MillisecondsPerFrame([&] { sharpener.Process(pixels, Width, Height, Width * 4); }));
        passes.push_back(MillisecondsPerFrame(enginePasses));
        // The host's two picture copies (in and out), as the emulated host makes them.
        copies.push_back(MillisecondsPerFrame([&] {
            std::copy(object.pixels.begin(), object.pixels.end(), copy.begin());
            std::copy(copy.begin(), copy.end(), object.pixels.begin());
        }));
    }
    AlignedFree(plane);
    const double v = Median(video), e = Median(passes);
    std::printf("%dx%d RGBA, range %d, %u threads, median of %d turns of %d frames\n", Width, Height,
                tracks[TrackRange], pool.Size(), rounds, FramesPerTurn);
    std::printf("video function (host call):  %7.2f ms/frame = %.2f x the engine's frame (goal <= 1.3)\n", v, v / e);
    std::printf("RGBA sharpener alone:        %7.2f ms/frame = %.2f x the engine's frame\n", Median(alone),
                Median(alone) / e);
    std::printf("engine's frame (two passes): %7.2f ms/frame\n", e);
    std::printf("host's copies:               %7.2f ms/frame (get_image_data + set_image_data)\n", Median(copies));
    return 0;
}
