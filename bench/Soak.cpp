// Soak run: thousands of frames of changing sizes and settings through one
// loaded plug-in and one worker pool, as a host that stays open for hours
// drives it. Every frame is checked against the scalar model, and memory is
// watched for growth.
//
// The frames come in rounds. Each round visits the same sizes and setting
// changes in a new order and ends on the same frame size, so the heap in use
// at the end of every round must be the same: any difference after the
// first rounds is memory the plug-in (or the host) keeps per frame or per
// change. The resident set and its peak are reported alongside.
//
//   velgarde_soak [--frames N] [--threads T] [--seed S] [--module PATH]
//
// Exit status 0 when every frame matched and the heap stayed flat.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#include <unistd.h>
#endif

#include "filter/Reference.h"
#include "host/EmulatedHost.h"
#include "filter/TrackParameters.h"

namespace {

struct Options {
    long frames = 3000;
    int threads = 0;
    std::uint32_t seed = 1;
    std::string module = TARNWICK_MODULE;
};

bool ParseOptions(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--frames" && hasValue) {
            o->frames = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "--threads" && hasValue) {
            o->threads = std::atoi(argv[++i]);
        } else if (a == "--seed" && hasValue) {
            o->seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--module" && hasValue) {
            o->module = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--threads T] [--seed S] [--module PATH]\n", argv[0]);
            return false;
        }
    }
    return o->frames > 0 && o->threads >= 0;
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); 0 where there is none.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::strtol(line.c_str() + n + 1, nullptr, 10);
    return 0;
}

// Bytes the allocator has handed out and not had back; -1 where unknown.
long long HeapInUse() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long long>(m.uordblks + m.hblkhd);
#else
    return -1;
#endif
}

struct Frame {
    int width, height, maxWidth;
};

// Sizes a host meets: tiny, odd, partial 4-row and 8-column groups, padded
// pitches, a small video frame. The last one closes every round.
const Frame Sizes[] = {{1, 1, 1},     {7, 5, 9},     {8, 4, 8},     {33, 17, 40},  {64, 48, 64},
                       {97, 3, 97},   {3, 97, 11},   {160, 90, 176}, {121, 67, 128}, {320, 180, 320},
                       {17, 200, 17}, {250, 9, 256}, {48, 36, 48}};
const Frame Closing = {80, 45, 88};

// Range track limit: radius 20.4, wide enough for every plan shape and
// cheap enough for the scalar model on every frame.
constexpr std::int32_t MaxRange = 199;

std::vector<std::int32_t> SettingsFor(std::mt19937& random) {
    std::vector<std::int32_t> t(TrackCount);
    for (int i = 0; i < TrackCount; ++i)
        t[i] = std::uniform_int_distribution<std::int32_t>(TrackMinimums[i], TrackMaximums[i])(random);
    if (random() % 4) t[TrackThreshold] %= 40;
    // Now and then values beyond the bars, as a scripted host might send.
    if (random() % 10 == 0) t[random() % TrackCount] = static_cast<std::int32_t>(random());
    if (t[TrackRange] > 150) t[TrackRange] = 150 + t[TrackRange] % (MaxRange - 149);
    return t;
}

void FillFrame(std::vector<std::int16_t>& pixels, std::mt19937& random) {
    std::uniform_int_distribution<int> video(0, 4096);
    std::uniform_int_distribution<int> any(-32768, 32767);
    const bool full = random() % 3 == 0;
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::int16_t>(i % 3 == 0 && !full ? video(random) : any(random));
}

}  // namespace

// glibc keeps small freed blocks in per-thread caches, which count as heap
// in use and fill up over a run: their slow growth would hide a small leak
// or fake one. The run starts itself again without them, so the figure is
// exact.
void WithoutThreadCaches(char** argv) {
#if defined(__GLIBC__)
    const char* marker = "VELGARDE_SOAK_NO_TCACHE";
    if (std::getenv(marker)) return;
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::string value = tunables && *tunables ? std::string(tunables) + ":" : std::string();
    value += "glibc.malloc.tcache_count=0";
    setenv("GLIBC_TUNABLES", value.c_str(), 1);
    setenv(marker, "1", 1);
    execv("/proc/self/exe", argv);
    // Still here: run with the caches and a figure that may drift a little.
#else
    (void)argv;
#endif
}

int main(int argc, char** argv) {
    WithoutThreadCaches(argv);
    Options o;
    if (!ParseOptions(argc, argv, &o)) return 2;

    velgarde::EmulatedHost host;
    std::string error;
    if (!host.Open(o.module, o.threads, &error)) {
        std::fprintf(stderr, "velgarde_soak: %s\n", error.c_str());
        return 2;
    }
    std::mt19937 random(o.seed);
    const int perRound = static_cast<int>(sizeof Sizes / sizeof Sizes[0]) * 3 + 1;
    std::printf("soak: %ld frames through %s on %d threads, rounds of %d frames\n", o.frames,
                o.module.c_str(), host.ThreadCount(), perRound);

    long frames = 0, mismatches = 0, refused = 0, settingChanges = 0;
    long long firstRoundHeap = -1, baselineHeap = -1, maxGrowth = 0;
    long baselineRss = 0, lastRss = 0;
    int rounds = 0;
    std::vector<std::int16_t> input, want;
    std::vector<Frame> order;

    while (frames < o.frames) {
        // A round: every size three times in a new order, then the closing one.
        order.clear();
        for (int k = 0; k < 3; ++k) order.insert(order.end(), std::begin(Sizes), std::end(Sizes));
        std::shuffle(order.begin(), order.end(), random);
        order.push_back(Closing);
        for (const Frame& f : order) {
            if (frames >= o.frames) break;
            if (&f == &order.back()) {
                // The round closes on the same size and the default settings,
                // so the plug-in's plans are the same size at every round's end.
                for (int i = 0; i < TrackCount; ++i) host.SetTrack(i, TrackDefaults[i]);
            } else if (random() % 2 == 0 || frames == 0) {
                std::vector<std::int32_t> t = SettingsFor(random);
                // The widest blur of the run first: the weight table's
                // storage reaches its size in the first round.
                if (frames == 0) t[TrackRange] = MaxRange;
                for (int i = 0; i < TrackCount; ++i) host.SetTrack(i, t[i]);
                ++settingChanges;
            }
            PixelYC* pixels = host.PrepareFrame(f.width, f.height, f.maxWidth);
            if (!pixels) {
                std::fprintf(stderr, "velgarde_soak: the host refused a %dx%d frame\n", f.width, f.height);
                return 1;
            }
            const std::size_t values = static_cast<std::size_t>(f.maxWidth) * static_cast<std::size_t>(f.height) * 3;
            input.resize(values);
            FillFrame(input, random);
            std::memcpy(pixels, input.data(), values * sizeof(std::int16_t));

            std::int32_t tracks[TrackCount];
            for (int i = 0; i < TrackCount; ++i) tracks[i] = host.Track(i);
            const FilterParameters p = ConvertTrackValues(tracks);
            want = input;
            ReferenceFrame(ReferenceSettings{p.Radius, p.Variance, p.Threshold, p.AmountPlus, p.AmountMinus},
                           want.data(), f.width, f.height, f.maxWidth);

            if (!host.Process(&error)) {
                ++refused;
                std::fprintf(stderr, "frame %ld: %s\n", frames, error.c_str());
            } else if (std::memcmp(pixels, want.data(), values * sizeof(std::int16_t)) != 0) {
                if (mismatches < 10)
                    std::fprintf(stderr, "frame %ld: %dx%d pitch %d differs from the scalar model (tracks %d %d %d %d %d)\n",
                                 frames, f.width, f.height, f.maxWidth, tracks[0], tracks[1], tracks[2], tracks[3],
                                 tracks[4]);
                ++mismatches;
            }
            ++frames;
        }
        if (frames % perRound != 0) break;  // a partial last round says nothing about growth
        ++rounds;
        const long long heap = HeapInUse();
        lastRss = StatusKiB("VmRSS");
        if (rounds == 1) firstRoundHeap = heap;
        // The first rounds let the allocator and the buffers reach their sizes.
        if (rounds == 2) {
            baselineHeap = heap;
            baselineRss = lastRss;
        }
        if (rounds > 2 && heap >= 0) maxGrowth = std::max(maxGrowth, heap - baselineHeap);
        if (rounds % 20 == 0 || frames >= o.frames)
            std::printf("  round %4d: %6ld frames, heap in use %lld B, VmRSS %ld KiB, VmHWM %ld KiB\n", rounds,
                        frames, heap, lastRss, StatusKiB("VmHWM"));
    }
    host.Close();

    const long peak = StatusKiB("VmHWM");
    std::printf("frames processed: %ld (%d full rounds, %ld setting changes), differing from the model: %ld, refused: %ld\n",
                frames, rounds, settingChanges, mismatches, refused);
    std::printf("heap in use after round 1: %lld B, round 2: %lld B, largest growth since: %lld B\n", firstRoundHeap,
                baselineHeap, maxGrowth);
    std::printf("VmRSS after round 2: %ld KiB, at the end: %ld KiB; peak (VmHWM): %ld KiB\n", baselineRss, lastRss, peak);

    // A leak of even a few bytes per frame or per change adds up over the
    // rounds; the allocator's own bookkeeping stays put.
    const long long allowedGrowth = 4 * 1024;
    bool ok = mismatches == 0 && refused == 0;
    if (rounds < 4) {
        std::printf("too few rounds (%d) to judge memory; run at least %d frames\n", rounds, 4 * perRound);
    } else if (baselineHeap >= 0 && maxGrowth > allowedGrowth) {
        std::printf("heap grew by %lld B over %d rounds: memory is kept per frame or per change\n", maxGrowth,
                    rounds - 2);
        ok = false;
    }
    std::printf("%s\n", ok ? "soak: ok" : "soak: FAILED");
    return ok ? 0 : 1;
}
