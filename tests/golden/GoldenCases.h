// The fixed cases whose outputs are pinned in GoldenDigests.inc: each is a
// frame size, a pitch, the five track values and a seeded fill, so any build
// can make the same input again and compare its output with the table and,
// on a mismatch, with the scalar model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "filter/TrackParameters.h"

namespace velgarde_golden {

enum class Fill { VideoRamp, FullRange };

struct GoldenCase {
    const char* Name;
    std::int32_t Width;
    std::int32_t Height;
    std::int32_t MaxWidth;
    std::int32_t Tracks[TrackCount];
    Fill Pattern;
    std::uint32_t Seed;
};

const std::vector<GoldenCase>& GoldenCases();

// The whole buffer (MaxWidth x Height pixels of Y, Cb, Cr) before filtering.
std::vector<unsigned char> MakeInput(const GoldenCase& c);

// The buffer as the scalar model leaves it.
std::vector<unsigned char> ModelOutput(const GoldenCase& c);

// FNV-1a, 64-bit, over every byte of the buffer.
std::uint64_t Digest(const std::vector<unsigned char>& bytes);

// Where two buffers of the case first differ, in words: pixel, field, both values.
std::string FirstDifference(const GoldenCase& c, const std::vector<unsigned char>& got,
                            const std::vector<unsigned char>& model);

}  // namespace velgarde_golden
