// The five settings as frei0r parameters: doubles in 0..1, each mapped
// linearly onto its track range and rounded to the track's whole steps, so
// a frei0r host and the editor reach exactly the same settings.
#pragma once

#include <cstdint>

#include "filter/TrackParameters.h"

struct Frei0rParameterText {
    const char* Name;
    const char* Explanation;
};

// In track order (TrackIndex).
extern const Frei0rParameterText Frei0rParameterTexts[TrackCount];

// The track value for a parameter value. Values below 0 or above 1 (and the
// infinities) are held to the ends; NaN gives the track's default.
std::int32_t TrackFromFrei0r(int Index, double Value);

// The parameter value that stands for a track value.
double Frei0rFromTrack(int Index, std::int32_t Track);
