// What the benchmark programs share: the scene they sharpen, the median,
// a thread's processor time, and the two ranges they measure.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "filter/UnsharpMask.h"
#include "util/xmmutil.h"

namespace velgarde_bench {

// Range 10: the track's default, a 5-tap blur; range 100: its widest, 23 taps.
constexpr std::int32_t DefaultRange = 10;
constexpr std::int32_t WidestRange = 100;

// A frame with fine texture, edges and gradients in the host's luma units.
struct Scene {
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
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

inline double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V.empty() ? 0.0 : V[V.size() / 2];
}

// CPU time of the calling thread: on a loaded machine a time slice taken
// away from the thread does not count against it, as it would in wall time.
// (Windows counts thread time in scheduler ticks, far too coarse for one
// frame: there it is wall time.)
template <typename Fn>
double ThreadSeconds(Fn&& F) {
#if defined(_WIN32)
    const auto T0 = std::chrono::steady_clock::now();
    F();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
#else
    timespec T0, T1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T0);
    F();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T1);
    return double(T1.tv_sec - T0.tv_sec) + 1e-9 * double(T1.tv_nsec - T0.tv_nsec);
#endif
}

}  // namespace velgarde_bench
