// Settings as the host holds them (five track values) and the scalar model's
// result for them, through the same conversion the plug-in makes.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filter/Reference.h"
#include "filter/TrackParameters.h"
#include "tests/support/Buffers.h"

namespace velgarde_test {

struct Tracks {
    std::int32_t Value[TrackCount];
};

// Inside the bars' ranges; small thresholds most of the time, since a large
// one hides the sharpening.
Tracks RandomTracks(std::mt19937& random);
Tracks DefaultTracks();
std::string Describe(const Tracks& tracks);

// The model's settings for converted track values.
ReferenceSettings ModelSettings(const FilterParameters& p);
// Sharpens a frame of 6-byte pixels in place as the plug-in does for these
// track values.
void ModelFrame(const std::int32_t* tracks, void* pixels, int width, int height, int maxWidth);
// The whole buffer, guards included, as the scalar model leaves it.
std::vector<unsigned char> Expected(const GuardedFrame& frame, const Tracks& tracks);

}  // namespace velgarde_test
