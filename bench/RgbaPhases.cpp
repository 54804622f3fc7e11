// Where an RGBA frame's time goes: 1080p pictures through the sharpener's
// three phases (luma in, both passes, luma out) on a pool of every
// processor and on one thread, and the conversions' scalar twins for
// comparison. Prints milliseconds per frame, median of the runs.
//   build/native/velgarde_rgba_phases [frames] [range-track]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "filter/RgbLuma.h"
#include "filter/RgbaSharpener.h"
#include "filter/TrackParameters.h"
#include "util/ThreadPool.h"

namespace {
constexpr int Width = 1920;
constexpr int Height = 1080;
using Clock = std::chrono::steady_clock;

template <typename Fn>
double MedianMs(int Runs, Fn&& Body) {
    std::vector<double> Ms;
    for (int i = 0; i < Runs; ++i) {
        const auto Start = Clock::now();
        Body();
        Ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - Start).count());
    }
    std::sort(Ms.begin(), Ms.end());
    return Ms[Ms.size() / 2];
}

void Report(const char* Label, TThreadPool& Pool, TRgbaSharpener& Sharpener, std::vector<std::uint8_t>& Pixels,
            int Runs) {
    const std::ptrdiff_t Stride = Width * 4;
    Sharpener.Prepare(Width, Height, Stride);
    const double In = MedianMs(Runs, [&] { Sharpener.LumaIn(Pool, Pixels.data(), Stride); });
    const double Passes = MedianMs(Runs, [&] { Sharpener.Sharpen(Pool); });
    const double Out = MedianMs(Runs, [&] { Sharpener.LumaOut(Pool, Pixels.data(), Pixels.data(), Stride); });
    std::printf("%-22s luma in %6.2f ms  passes %6.2f ms  luma out %6.2f ms  total %6.2f ms  (%4.0f fps)\n",
                Label, In, Passes, Out, In + Passes + Out, 1000.0 / (In + Passes + Out));
}
}  // namespace

int main(int argc, char** argv) {
    const int Runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const std::int32_t Tracks[TrackCount] = {25, 50, argc > 2 ? std::atoi(argv[2]) : 10, 50, 0};
    std::vector<std::uint8_t> Pixels(std::size_t(Width) * Height * 4);
    std::uint32_t Noise = 1;
    for (auto& Byte : Pixels) Byte = static_cast<std::uint8_t>((Noise = Noise * 1664525u + 1013904223u) >> 24);

    TThreadPool Wide(ProcessorCount());
    TThreadPool Single(1);
    TRgbaSharpener Sharpener(Wide);
    Sharpener.SetParameters(ConvertTrackValues(Tracks));
    std::printf("1080p RGBA, range track %d, %d runs each, median\n", Tracks[TrackRange], Runs);
    char Label[64];
    std::snprintf(Label, sizeof Label, "pool of %u", Wide.Size());
    Report(Label, Wide, Sharpener, Pixels, Runs);
    Report("one thread", Single, Sharpener, Pixels, Runs);

    // The conversions alone on one thread: vector code against its twin.
    std::vector<std::int16_t> Luma(std::size_t(Width) * Height * 3);
    const std::size_t Count = std::size_t(Width) * Height;
    const double Fast = MedianMs(Runs, [&] { PixelsToLuma(Pixels.data(), 4, Count, Luma.data(), 3); });
    const double Slow = MedianMs(Runs, [&] { PixelsToLuma_c(Pixels.data(), 4, Count, Luma.data(), 3); });
    const double FastOut =
        MedianMs(Runs, [&] { ApplyLumaChange(Luma.data() + 1, Luma.data(), 3, Count, 4, Pixels.data(), 3); });
    const double SlowOut =
        MedianMs(Runs, [&] { ApplyLumaChange_c(Luma.data() + 1, Luma.data(), 3, Count, 4, Pixels.data(), 3); });
    std::printf("luma in, one thread:  SSE2 %6.2f ms  scalar %6.2f ms  (x%.1f)\n", Fast, Slow, Slow / Fast);
    std::printf("luma out, one thread: SSE2 %6.2f ms  scalar %6.2f ms  (x%.1f)\n", FastOut, SlowOut, SlowOut / FastOut);
    return 0;
}
