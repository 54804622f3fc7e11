#include "filter/TrackParameters.h"

#include <algorithm>
#include <cmath>

#include "filter/UnsharpMask.h"
#include "util/ExtendedPrecision.h"

const std::int32_t TrackDefaults[TrackCount] = {25, 50, 10, 50, 0};
const std::int32_t TrackMinimums[TrackCount] = {0, 0, 1, 0, 0};
const std::int32_t TrackMaximums[TrackCount] = {300, 300, 100, 100, 1000};

namespace {

// Range track: -4 is the lowest value whose radius (0.1) is still positive;
// 1000 (radius 100.5, 101 taps a side) bounds the plan's size and the cost
// of a frame at ten times the bar's reach.
constexpr std::int32_t RangeLowest = -4;
constexpr std::int32_t RangeHighest = 1000;
// Variance track: 10^(+-300) stays a finite, positive double.
constexpr std::int32_t VarianceLimit = 9600;

std::int32_t Amount(std::int32_t Track) {
    // 64-bit: Track * 4096 overflows 32 bits beyond +-524287.
    const std::int64_t Value = std::int64_t{Track} * 4096 / 100;
    // The kernel multiplies by the negated amount in a signed 16-bit lane.
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(Value, -32767, 32768));
}

double PowerOfTen(std::int32_t Track) {
    if (Track % 32 == 0) {
        // Whole exponents by repeated multiplication: 0, 32, 64 give exactly 1, 10, 100.
        const std::int32_t Whole = Track / 32;
        double Value = 1.0;
        for (std::int32_t i = 0; i < (Whole < 0 ? -Whole : Whole); ++i) Value *= 10.0;
        return Whole < 0 ? 1.0 / Value : Value;
    }
    const long double Exponent = static_cast<long double>(Track) / 32.0L;
    return static_cast<double>(expl(Exponent * logl(10.0L)));
}

}  // namespace

FilterParameters ConvertTrackValues(const std::int32_t* Tracks) {
    const TExtendedPrecision Precision;
    FilterParameters P;
    const std::int32_t Range = std::clamp(Tracks[TrackRange], RangeLowest, RangeHighest);
    P.Radius = static_cast<double>(static_cast<long double>(Range) / 10.0L + 0.5L);
    P.Variance = PowerOfTen(std::clamp(Tracks[TrackVariance], -VarianceLimit, VarianceLimit));
    P.Threshold = std::clamp<std::int32_t>(Tracks[TrackThreshold], 0, 65535);
    P.AmountPlus = Amount(Tracks[TrackAmountPlus]);
    P.AmountMinus = Amount(Tracks[TrackAmountMinus]);
    return P;
}

bool ApplyFilterParameters(TUnsharpMaskFilter& Engine, const FilterParameters& P) noexcept {
    bool Applied = true;
    try {
        Engine.SetBlur(P.Radius, P.Variance);
    } catch (...) {
        Applied = false;
    }
    // Neither allocates: they only store values and fill lanes.
    Engine.SetThreshold(P.Threshold);
    Engine.SetAmount(P.AmountPlus, P.AmountMinus);
    return Applied;
}

BlurInPixels BlurOfTracks(std::int32_t Range, std::int32_t Variance) {
    std::int32_t Tracks[TrackCount] = {};
    Tracks[TrackRange] = Range;
    Tracks[TrackVariance] = Variance;
    const FilterParameters P = ConvertTrackValues(Tracks);
    BlurInPixels B;
    B.Radius = P.Radius;
    B.Sigma = P.Radius * std::sqrt(P.Variance / 128.0);
    B.Reach = static_cast<int>(std::ceil(P.Radius - 1e-9));
    return B;
}

void NearestBlurTracks(double Sigma, double Radius, std::int32_t* Range, std::int32_t* Variance) {
    if (Radius <= 0) Radius = 3 * Sigma;
    if (Sigma <= 0) Sigma = Radius / 3;
    *Range = static_cast<std::int32_t>(std::clamp<long>(std::lround((Radius - 0.5) * 10),
                                                        TrackMinimums[TrackRange], TrackMaximums[TrackRange]));
    const double R = *Range / 10.0 + 0.5;
    const double V = 128 * Sigma * Sigma / (R * R);
    *Variance = static_cast<std::int32_t>(std::clamp<long>(std::lround(32 * std::log10(V)),
                                                           TrackMinimums[TrackVariance],
                                                           TrackMaximums[TrackVariance]));
}
