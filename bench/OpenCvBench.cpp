// OpenCV's 16-bit unsharp pipeline (GaussianBlur, then addWeighted) against
// the passes on the frame itself, one thread each, alternated in one loop
// and timed in the thread's CPU time. Two OpenCV rows: handed the Y already
// apart from Cb and Cr (opencv_ms: the passes gather and scatter it
// themselves), and doing the whole job on the interleaved frame
// (opencv_whole_ms: extractChannel, GaussianBlur, addWeighted, insertChannel).
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstring>
#include <vector>

#include "filter/TrackParameters.h"
#include "filter/UnsharpMask.h"
#include "util/xmmutil.h"

namespace {

// CPU time of the calling thread (both sides run on it): robust to a loaded machine.
template <typename Fn>
double ThreadSeconds(Fn&& F) {
    timespec T0, T1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T0);
    F();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T1);
    return double(T1.tv_sec - T0.tv_sec) + 1e-9 * double(T1.tv_nsec - T0.tv_nsec);
}

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

void BM_VersusOpenCv(benchmark::State& State) {
    const int W = State.range(0), H = State.range(1);
    const std::int32_t Tracks[TrackCount] = {25, 50, static_cast<std::int32_t>(State.range(2)), 50, 0};
    const FilterParameters P = ConvertTrackValues(Tracks);
    TUnsharpMaskFilter Engine(1);
    ApplyFilterParameters(Engine, P);
    Engine.Setup(W, H, W);
    State.SetLabel(Engine.Kernels().Name);

    std::vector<unsigned char> Frame(std::size_t(W) * H * 6);
    cv::Mat Plane(H, W, CV_16SC1), Blurred, Sharp;
    std::vector<unsigned char> Theirs3(Frame.size());
    cv::Mat Interleaved(H, W, CV_16SC3, Theirs3.data()), Y, YBlurred, YSharp;
    std::uint32_t Noise = 7;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            Noise = Noise * 1664525u + 1013904223u;
            const std::int16_t V = static_cast<std::int16_t>(((x / 64 + y / 64) % 2) * 1500 + (Noise >> 22));
            Plane.at<std::int16_t>(y, x) = V;
            std::memcpy(&Frame[(std::size_t(y) * W + x) * 6], &V, 2);
        }
    Theirs3 = Frame;
    void* Work = AlignedAlloc(static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(W, H)), 64);
    // The same taps: 2 * Weight.Size() + 1, the Gaussian's sigma from radius and variance.
    const int Taps = 2 * Engine.Weight.Size() + 1;
    const double Sigma = BlurOfTracks(Tracks[TrackRange], Tracks[TrackVariance]).Sigma;
    const double Amount = P.AmountPlus / 4096.0;
    cv::setNumThreads(1);

    std::vector<double> Ours, Theirs, Whole;
    for (auto _ : State) {
        Ours.push_back(ThreadSeconds([&] {
            Engine.HorizontalPass(Work, Frame.data(), 0, 1);
            Engine.VerticalPass(Frame.data(), Work, 0, 1);
        }));
        Theirs.push_back(ThreadSeconds([&] {
            cv::GaussianBlur(Plane, Blurred, cv::Size(Taps, Taps), Sigma, Sigma, cv::BORDER_REPLICATE);
            cv::addWeighted(Plane, 1.0 + Amount, Blurred, -Amount, 0.0, Sharp, CV_16S);
        }));
        Whole.push_back(ThreadSeconds([&] {
            cv::extractChannel(Interleaved, Y, 0);
            cv::GaussianBlur(Y, YBlurred, cv::Size(Taps, Taps), Sigma, Sigma, cv::BORDER_REPLICATE);
            cv::addWeighted(Y, 1.0 + Amount, YBlurred, -Amount, 0.0, YSharp, CV_16S);
            cv::insertChannel(YSharp, Interleaved, 0);
        }));
        benchmark::ClobberMemory();
    }
    AlignedFree(Work);
    State.counters["velgarde_ms"] = Median(Ours) * 1e3;
    State.counters["opencv_ms"] = Median(Theirs) * 1e3;
    State.counters["opencv_over_velgarde"] = Median(Theirs) / Median(Ours);
    State.counters["opencv_whole_ms"] = Median(Whole) * 1e3;
    State.counters["opencv_whole_over_velgarde"] = Median(Whole) / Median(Ours);
    State.counters["taps"] = Taps;
}

}  // namespace

BENCHMARK(BM_VersusOpenCv)
    ->ArgNames({"w", "h", "range"})
    ->Args({1920, 1080, 10})
    ->Args({1920, 1080, 100})
    ->Args({3840, 2160, 10})
    ->Args({3840, 2160, 100})
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
