// The five settings (in the editor's track-bar order and units) and the
// filter parameters they stand for. Every host converts and applies them
// here, so all of them give the same engine state for the same settings.
#pragma once

#include <cstdint>

class TUnsharpMaskFilter;

enum TrackIndex : int {
    TrackAmountPlus = 0,
    TrackAmountMinus = 1,
    TrackRange = 2,
    TrackVariance = 3,
    TrackThreshold = 4,
    TrackCount = 5,
};

// Track bars as the host shows them: defaults and ranges.
extern const std::int32_t TrackDefaults[TrackCount];
extern const std::int32_t TrackMinimums[TrackCount];
extern const std::int32_t TrackMaximums[TrackCount];

struct FilterParameters {
    double Radius;
    double Variance;
    std::int32_t Threshold;
    std::int32_t AmountPlus;   // 12-bit fraction, 4096 = 1.0
    std::int32_t AmountMinus;  // 12-bit fraction
};

// Converts track values (table order). Inside the tracks' ranges this is the
// plain conversion; values beyond them still convert, but each parameter is
// held to what the engine can use safely: a positive radius of at most 100.5,
// a finite positive variance, a threshold that fits an unsigned 16-bit lane
// and amounts whose negation fits a signed 16-bit lane.
FilterParameters ConvertTrackValues(const std::int32_t* Tracks);

// Hands P to the engine in the order the editor's update does: blur,
// threshold, amounts. Threshold and amounts are applied even when the blur
// rebuild fails (the engine then keeps its previous blur, weights and
// plans); the result says whether everything was applied. Never throws.
bool ApplyFilterParameters(TUnsharpMaskFilter& Engine, const FilterParameters& P) noexcept;

// The blur that the range and variance tracks stand for, in pixels: weights
// exp(-x^2 / 2 Sigma^2) for taps up to Reach pixels from the centre. Front
// ends that offer the blur in pixels convert here, both ways, so that every
// one of them means the same blur by the same numbers.
struct BlurInPixels {
    double Radius;  // the cut-off: range / 10 + 0.5
    double Sigma;   // Radius x sqrt(variance / 128), the variance as the engine gets it
    int Reach;      // taps each side: Radius rounded up
};
BlurInPixels BlurOfTracks(std::int32_t Range, std::int32_t Variance);
// The range and variance tracks (within the bars) nearest to a blur of
// Sigma pixels cut off at Radius pixels. Either may be <= 0: Radius then
// defaults to 3 Sigma, and Sigma to Radius / 3.
void NearestBlurTracks(double Sigma, double Radius, std::int32_t* Range, std::int32_t* Variance);
