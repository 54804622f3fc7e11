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

// xorshift32: the same sequence from every compiler and library.
struct Random {
    std::uint32_t State;
    std::uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return State;
    }
};

// What a golden failure says: the case, the preset and path that gave
// another digest, where it first differs from the model, and whether the
// model itself still gives the table's digest.
std::string DigestMismatch(const std::string& caseName, const std::string& preset, const std::string& path,
                           const std::string& firstDifference, bool modelGivesTheTable);

// One table line per case, "{name, digest}", to `path`; refuses (2) to
// replace an existing table unless `overwrite`. 0 when written, else 1.
struct NamedDigest {
    std::string Name;
    std::uint64_t Digest;
};
int WriteDigestTable(const std::string& path, bool overwrite, const std::string& writtenBy,
                     const std::vector<NamedDigest>& digests);

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
