#include "frei0r/Frei0rParameters.h"

#include <cmath>

// Blur: weights fall as exp(-(8 d / reach)^2 / variance), a Gaussian of
// sigma = reach x sqrt(variance / 128) cut off at the reach.
const Frei0rParameterText Frei0rParameterTexts[TrackCount] = {
    {"Brighten amount",
     "How strongly the light side of an edge is lifted: 0 to 300 % (value x 300); default 25 %"},
    {"Darken amount",
     "How strongly the dark side of an edge is deepened: 0 to 300 % (value x 300); default 50 %"},
    {"Blur reach",
     "How far, in pixels, the blur that finds edges reaches: 0.6 + 9.9 x value, in 0.1 px steps; "
     "default 1.5 px"},
    {"Blur flatness",
     "How the blur's weight falls off within its reach: 0 is a narrow bell (sigma 0.09 x reach), "
     "1 nearly flat (a box); default 0.5 (sigma 0.53 x reach, 0.8 px at the default reach)"},
    {"Threshold",
     "Differences up to this size are softened away, so noise and fine grain stay as they are: "
     "0 to 62 8-bit levels (value x 62.3); default 0"},
};

std::int32_t TrackFromFrei0r(int Index, double Value) {
    if (std::isnan(Value)) return TrackDefaults[Index];
    const double Held = Value < 0.0 ? 0.0 : Value > 1.0 ? 1.0 : Value;
    const std::int32_t Span = TrackMaximums[Index] - TrackMinimums[Index];
    return TrackMinimums[Index] + static_cast<std::int32_t>(std::lround(Held * Span));
}

double Frei0rFromTrack(int Index, std::int32_t Track) {
    return static_cast<double>(Track - TrackMinimums[Index]) /
           static_cast<double>(TrackMaximums[Index] - TrackMinimums[Index]);
}
