// Golden outputs of the hosts' own pixel formats: 8-bit RGBA pictures (the
// frei0r effect, the successor editor's module) and planes of Y codes of 8 to
// 16 bits, limited and full range (the tool). Each case is a seeded picture
// whose output digest is pinned in FormatDigests.inc (taken from the
// conversion routes before the passes read the pixels themselves); every
// path that serves the format, and the picture sharpener with every kernel
// set the machine runs (RGBA cases also as BGRA), must give it. A mismatch names
// the case, the preset, the path and the first byte that differs from the
// model: the conversions' scalar twins around the scalar frame model.
//
//   format_golden_outputs                               the test
//   format_golden_outputs --write-table FILE [--overwrite]
//                                                       the digests the model gives
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/EngineProcessor.h"
#include "cli/LumaMapping.h"
#include "filter/PictureSharpener.h"
#include "filter/Reference.h"
#include "filter/RgbLuma.h"
#include "filter/RgbaSharpener.h"
#include "filter/ThreadSlots.h"
#include "filter/UnsharpMask.h"
#include "tests/golden/GoldenCases.h"
#include "tests/support/FormatModel.h"
#include "util/xmmutil.h"

namespace {

using velgarde_golden::DigestMismatch;
using velgarde_golden::NamedDigest;
using velgarde_golden::Random;
using velgarde_golden::WriteDigestTable;

enum class Kind { Rgba, Planar };

struct FormatCase {
    const char* Name;
    Kind Format;
    int BitDepth;  // planar only
    bool FullRange;
    int Width;
    int Height;
    std::ptrdiff_t Pitch;  // bytes from one processed row to the next
    std::int32_t Tracks[TrackCount];
    bool Noise;  // uniform random samples instead of a ramp with noise
    std::uint32_t Seed;
};

// Tracks: amount +, amount -, range, variance, threshold.
const std::vector<FormatCase>& Cases() {
    static const std::vector<FormatCase> cases = {
        {"rgba_hd_default", Kind::Rgba, 8, true, 1920, 1080, 1920 * 4, {25, 50, 10, 50, 0}, false, 1},
        {"rgba_hd_range100", Kind::Rgba, 8, true, 1920, 1080, 1920 * 4, {25, 50, 100, 50, 0}, false, 2},
        {"rgba_one_pixel", Kind::Rgba, 8, true, 1, 1, 4, {300, 300, 100, 100, 0}, true, 3},
        {"rgba_tiny_2x3", Kind::Rgba, 8, true, 2, 3, 8, {25, 50, 10, 50, 0}, true, 4},
        {"rgba_one_column", Kind::Rgba, 8, true, 1, 61, 4, {120, 80, 100, 64, 0}, false, 5},
        {"rgba_one_row", Kind::Rgba, 8, true, 257, 1, 257 * 4, {120, 80, 100, 64, 0}, false, 6},
        {"rgba_odd_37x23", Kind::Rgba, 8, true, 37, 23, 37 * 4, {77, 133, 57, 77, 3}, false, 7},
        {"rgba_padded_stride", Kind::Rgba, 8, true, 333, 71, 400 * 4, {25, 50, 10, 50, 0}, false, 8},
        {"rgba_noise_300", Kind::Rgba, 8, true, 161, 97, 161 * 4, {300, 300, 1, 100, 0}, true, 9},
        {"rgba_threshold_1000", Kind::Rgba, 8, true, 203, 101, 210 * 4, {300, 300, 50, 50, 1000}, true, 10},
        {"y8_hd_limited", Kind::Planar, 8, false, 1920, 1080, 1920, {25, 50, 10, 50, 0}, false, 11},
        {"y8_hd_range100", Kind::Planar, 8, false, 1920, 1080, 1920, {25, 50, 100, 50, 0}, false, 12},
        {"y8_full", Kind::Planar, 8, true, 333, 71, 352, {100, 100, 30, 40, 40}, false, 13},
        {"y8_limited_noise", Kind::Planar, 8, false, 161, 97, 161, {300, 300, 1, 100, 0}, true, 14},
        {"y8_field", Kind::Planar, 8, false, 161, 48, 2 * 161, {25, 50, 10, 50, 0}, false, 15},
        {"y10_limited", Kind::Planar, 10, false, 203, 101, 2 * 203, {25, 50, 10, 50, 0}, false, 16},
        {"y10_full", Kind::Planar, 10, true, 37, 23, 2 * 40, {77, 133, 57, 77, 3}, false, 17},
        {"y12_limited", Kind::Planar, 12, false, 257, 33, 2 * 257, {120, 80, 100, 64, 0}, false, 18},
        {"y12_full_noise", Kind::Planar, 12, true, 97, 61, 2 * 97, {300, 300, 25, 37, 200}, true, 19},
        {"y16_limited", Kind::Planar, 16, false, 203, 101, 2 * 203, {25, 50, 10, 50, 0}, false, 20},
        {"y16_full_noise", Kind::Planar, 16, true, 161, 97, 2 * 161, {300, 300, 100, 100, 0}, true, 21},
        {"y16_one_column", Kind::Planar, 16, true, 1, 61, 2, {120, 80, 100, 64, 0}, false, 22},
    };
    return cases;
}

struct TableRow {
    const char* Name;
    std::uint64_t Digest;
};
const TableRow goldenTable[] = {
#include "tests/golden/FormatDigests.inc"
};

int SampleBytes(const FormatCase& c) { return c.Format == Kind::Rgba ? 4 : c.BitDepth > 8 ? 2 : 1; }

// The whole buffer: Height rows Pitch apart (a field case's other rows and
// every row's padding included, which no path may touch).
std::size_t BufferBytes(const FormatCase& c) {
    return static_cast<std::size_t>(c.Pitch) * static_cast<std::size_t>(c.Height - 1) +
           static_cast<std::size_t>(c.Width) * static_cast<std::size_t>(SampleBytes(c));
}

std::vector<std::uint8_t> MakeInput(const FormatCase& c) {
    std::vector<std::uint8_t> bytes(BufferBytes(c));
    Random random{c.Seed * 2654435761u + 1};
    // Every byte first, padding and other field included.
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random.Next() >> 24);
    if (c.Noise && !(c.Format == Kind::Planar && c.BitDepth > 8 && c.BitDepth < 16)) return bytes;
    const int maxCode = c.Format == Kind::Rgba ? 255 : (1 << c.BitDepth) - 1;
    for (int y = 0; y < c.Height; ++y)
        for (int x = 0; x < c.Width; ++x) {
            std::uint8_t* p = bytes.data() + static_cast<std::ptrdiff_t>(y) * c.Pitch + x * SampleBytes(c);
            const std::uint32_t r = random.Next();
            if (c.Format == Kind::Rgba) {
                // A ramp per channel with noise of +-20: edges of every kind.
                for (int ch = 0; ch < 3; ++ch) {
                    const int ramp = (x * (3 + ch) + y * (2 + ch)) % 256;
                    p[ch] = static_cast<std::uint8_t>(std::clamp(ramp + static_cast<int>((r >> (8 * ch)) % 41) - 20, 0, 255));
                }
                continue;
            }
            int code = c.Noise ? static_cast<int>(r & static_cast<std::uint32_t>(maxCode))
                               : ((x * 37 + y * 23) % (maxCode + 1) + static_cast<int>(r % 81) - 40);
            code = std::clamp(code, 0, maxCode);
            // A few samples of 10 and 12 bits carry stray high bits.
            if (c.BitDepth > 8 && c.BitDepth < 16 && r % 97 == 0) code |= 0x8000;
            if (c.BitDepth == 8) {
                p[0] = static_cast<std::uint8_t>(code);
            } else {
                p[0] = static_cast<std::uint8_t>(code);
                p[1] = static_cast<std::uint8_t>(code >> 8);
            }
        }
    return bytes;
}

// The model (tests/support/FormatModel.h): the conversions' plain forms
// around the scalar frame model.
std::vector<std::uint8_t> ModelOutput(const FormatCase& c) {
    std::vector<std::uint8_t> bytes = MakeInput(c);
    const velgarde::LumaMapping mapping(c.Format == Kind::Planar ? c.BitDepth : 8, c.FullRange);
    const PixelFormat format = c.Format == Kind::Rgba ? RgbaFormat() : PlanarFormat(mapping.Codes());
    velgarde_test::FormatModel(format, c.Tracks, bytes.data(), c.Width, c.Height, c.Pitch);
    return bytes;
}

using velgarde_golden::Digest;

std::string FirstDifference(const FormatCase& c, const std::vector<std::uint8_t>& got,
                            const std::vector<std::uint8_t>& model) {
    for (std::size_t i = 0; i < got.size() && i < model.size(); ++i) {
        if (got[i] == model[i]) continue;
        const std::size_t y = i / static_cast<std::size_t>(c.Pitch), inRow = i % static_cast<std::size_t>(c.Pitch);
        return "first difference at byte " + std::to_string(inRow) + " of row " + std::to_string(y) + " (pixel " +
               std::to_string(inRow / static_cast<std::size_t>(SampleBytes(c))) + "): got " +
               std::to_string(got[i]) + ", model " + std::to_string(model[i]);
    }
    return got.size() == model.size() ? "no byte differs from the model" : "the buffers differ in size";
}

// Sharpens a case's whole buffer in place; false with a reason.
using Runner = std::function<bool(const FormatCase&, std::vector<std::uint8_t>&, std::string*)>;

// The RGBA sharpener the frei0r effect and the successor editor's module
// use, on a pool of Threads: into a second picture, or in place.
Runner RgbaSharpener(unsigned Threads, bool InPlace) {
    return [=](const FormatCase& c, std::vector<std::uint8_t>& bytes, std::string* error) {
        TThreadPool pool(Threads);
        TRgbaSharpener sharpener(pool);
        if (!sharpener.SetParameters(ConvertTrackValues(c.Tracks))) {
            *error = "the settings were refused";
            return false;
        }
        std::vector<std::uint8_t> in(bytes);
        if (!sharpener.Process(InPlace ? bytes.data() : in.data(), bytes.data(), c.Width, c.Height, c.Pitch)) {
            *error = "the sharpener refused the picture";
            return false;
        }
        return true;
    };
}

// The tool's stream path: codes to Y through the mapping, both passes of an
// engine on a frame of Y, Cb, Cr, Y back to codes.
bool PlanarThroughAFrame(const FormatCase& c, std::vector<std::uint8_t>& bytes, std::string* error) {
    const velgarde::LumaMapping mapping(c.BitDepth, c.FullRange);
    TUnsharpMaskFilter engine(MinimumThreadSlots);
    ApplyFilterParameters(engine, ConvertTrackValues(c.Tracks));
    if (!engine.Setup(c.Width, c.Height, c.Width)) {
        *error = "Setup refused the frame";
        return false;
    }
    std::vector<std::int16_t> frame(static_cast<std::size_t>(c.Width) * static_cast<std::size_t>(c.Height) * 3, 0);
    velgarde::Parallel serial;
    mapping.RowsToHost(bytes.data(), c.Pitch, c.Width, c.Height, frame.data(), 3, serial);
    const std::size_t planeBytes = static_cast<std::size_t>(TUnsharpMaskFilter::WorkPlaneBytes(c.Width, c.Height));
    void* plane = AlignedAlloc(planeBytes, 16);
    for (std::uint32_t i = 0; i < engine.ThreadSlots; ++i)
        engine.HorizontalPass(plane, frame.data(), i, engine.ThreadSlots);
    for (std::uint32_t i = 0; i < engine.ThreadSlots; ++i)
        engine.VerticalPass(frame.data(), plane, i, engine.ThreadSlots);
    AlignedFree(plane);
    mapping.RowsFromHost(frame.data(), 3, c.Width, c.Height, bytes.data(), c.Pitch, serial);
    return true;
}

// The tool's stream route: its engine reading and writing the codes.
bool PlanarThroughTheTool(const FormatCase& c, std::vector<std::uint8_t>& bytes, std::string* error) {
    std::array<std::int32_t, 5> tracks;
    std::copy(std::begin(c.Tracks), std::end(c.Tracks), tracks.begin());
    velgarde::EngineProcessor engine(2, tracks);
    velgarde::Parallel serial;
    return engine.ProcessCodes(bytes.data(), c.Pitch, c.Width, c.Height, velgarde::LumaMapping(c.BitDepth, c.FullRange),
                               serial, error);
}

// The picture sharpener with one kernel set; RGBA cases also as BGRA, the
// channels swapped before and after.
Runner WithKernelSet(const KernelSet& set) {
    return [&set](const FormatCase& c, std::vector<std::uint8_t>& bytes, std::string* error) {
        TThreadPool pool(2);
        TPictureSharpener sharpener(MinimumThreadSlots);
        sharpener.Engine().UseKernels(set);
        sharpener.SetParameters(ConvertTrackValues(c.Tracks));
        std::unique_ptr<velgarde::LumaMapping> mapping;
        PixelFormat format = BgraFormat();
        if (c.Format == Kind::Planar) {
            mapping = std::make_unique<velgarde::LumaMapping>(c.BitDepth, c.FullRange);
            format = PlanarFormat(mapping->Codes());
        }
        auto swap = [&] {
            for (int y = 0; y < c.Height && c.Format == Kind::Rgba; ++y)
                for (int x = 0; x < c.Width; ++x) std::swap(bytes[y * c.Pitch + 4 * x], bytes[y * c.Pitch + 4 * x + 2]);
        };
        swap();
        const bool done = sharpener.Process(pool, format, bytes.data(), bytes.data(), c.Width, c.Height, c.Pitch);
        swap();
        if (!done) *error = "the sharpener refused the picture";
        return done;
    };
}

std::vector<std::pair<std::string, Runner>> Runners(Kind format) {
    std::vector<std::pair<std::string, Runner>> runners;
    if (format == Kind::Rgba) {
        runners = {{"the RGBA sharpener on one thread, into another picture", RgbaSharpener(1, false)},
                   {"the RGBA sharpener on three threads, in place", RgbaSharpener(3, true)}};
    } else {
        runners = {{"codes through a frame of Y, Cb, Cr", PlanarThroughAFrame},
                   {"the tool's engine", PlanarThroughTheTool}};
    }
    for (const KernelSet* set : EveryKernelSet())
        if (set == &ScalarKernels || MachineRuns(*set))
            runners.emplace_back(std::string("the picture sharpener with the ") + set->Name + " kernels" +
                                     (format == Kind::Rgba ? ", as BGRA" : ""),
                                 WithKernelSet(*set));
    return runners;
}

TEST(FormatGoldenOutputs, TheTableCoversEveryCase) {
    ASSERT_EQ(std::size(goldenTable), Cases().size()) << "regenerate the table (format_golden_outputs --write-table)";
    for (std::size_t i = 0; i < Cases().size(); ++i) EXPECT_STREQ(goldenTable[i].Name, Cases()[i].Name);
}

TEST(FormatGoldenOutputs, EveryPathGivesEachCaseItsDigest) {
    ASSERT_EQ(std::size(goldenTable), Cases().size());
    for (std::size_t i = 0; i < Cases().size(); ++i) {
        const FormatCase& c = Cases()[i];
        for (const auto& [path, run] : Runners(c.Format)) {
            std::vector<std::uint8_t> bytes = MakeInput(c);
            std::string error;
            ASSERT_TRUE(run(c, bytes, &error)) << c.Name << ", " << path << ": " << error;
            if (Digest(bytes) == goldenTable[i].Digest) continue;
            const std::vector<std::uint8_t> model = ModelOutput(c);
            ADD_FAILURE() << DigestMismatch(c.Name, VELGARDE_PRESET, path, FirstDifference(c, bytes, model),
                                            Digest(model) == goldenTable[i].Digest);
        }
    }
}

int WriteTable(const std::string& path, bool overwrite) {
    std::vector<NamedDigest> digests;
    for (const FormatCase& c : Cases()) digests.push_back({c.Name, Digest(ModelOutput(c))});
    return WriteDigestTable(path, overwrite, "format_golden_outputs", digests);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string table;
    bool overwrite = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--write-table" && i + 1 < argc) {
            table = argv[++i];
        } else if (arg == "--overwrite") {
            overwrite = true;
        } else {
            std::cerr << "unknown argument " << arg << "\n";
            return 2;
        }
    }
    if (!table.empty()) return WriteTable(table, overwrite);
    return RUN_ALL_TESTS();
}
