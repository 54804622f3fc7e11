// velgarde_plugin_frame_time MODULE IN.y4m [THREADS]: the plug-in's own time
// per frame through the emulated host, on the frames of a stream, with
// nothing else timed (no reading, no code conversion, no writing): the floor
// that scripts/bench-cli.sh holds the whole tool against.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ByteStream.h"
#include "cli/Files.h"
#include "cli/HostProcessor.h"
#include "cli/LumaMapping.h"
#include "cli/Options.h"
#include "cli/Y4mReader.h"

int main(int argc, char** argv) {
    using namespace velgarde;
    if (argc < 3) {
        std::fprintf(stderr, "usage: velgarde_plugin_frame_time MODULE IN.y4m [THREADS]\n");
        return 2;
    }
    std::FILE* file = OpenFile(argv[2], "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s: cannot open\n", argv[2]);
        return 1;
    }
    FileSource source(file);
    Y4mReader reader(source);
    std::string error;
    HostProcessor processor;
    if (!reader.ReadHeader(&error) ||
        !processor.Open(argv[1], argc > 3 ? std::atoi(argv[3]) : 0, Options().tracks, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const Y4mFormat& f = reader.Format();
    const LumaMapping mapping(f.bitDepth, f.fullRange);
    Parallel serial;
    std::vector<double> times;
    Y4mFrame frame;
    while (reader.ReadFrame(&frame, &error) == Y4mReader::Result::Frame) {
        std::ptrdiff_t step = 1;
        std::int16_t* luma = processor.PrepareLuma(f.width, f.height, &step, &error);
        if (luma == nullptr) break;
        mapping.RowsToHost(frame.data.data(), f.width * f.BytesPerSample(), f.width, f.height, luma, step, serial);
        const auto start = std::chrono::steady_clock::now();
        if (!processor.Process(&error)) break;
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::fclose(file);
    if (times.empty()) {
        std::fprintf(stderr, "no frame: %s\n", error.c_str());
        return 1;
    }
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double t : times) sum += t;
    // Mean and median in milliseconds, frames.
    std::printf("%.3f %.3f %zu\n", sum / times.size(), times[times.size() / 2], times.size());
    return 0;
}
