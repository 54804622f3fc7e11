#include "tests/support/Model.h"

namespace velgarde_test {

Tracks RandomTracks(std::mt19937& random) {
    Tracks t{};
    for (int i = 0; i < TrackCount; ++i)
        t.Value[i] = std::uniform_int_distribution<std::int32_t>(TrackMinimums[i], TrackMaximums[i])(random);
    if (random() % 4 != 0) t.Value[TrackThreshold] %= 40;
    return t;
}

Tracks DefaultTracks() {
    Tracks t{};
    for (int i = 0; i < TrackCount; ++i) t.Value[i] = TrackDefaults[i];
    return t;
}

std::string Describe(const Tracks& tracks) {
    std::string s = "tracks";
    for (std::int32_t v : tracks.Value) s += " " + std::to_string(v);
    return s;
}

ReferenceSettings ModelSettings(const FilterParameters& p) {
    return {p.Radius, p.Variance, p.Threshold, p.AmountPlus, p.AmountMinus};
}

void ModelFrame(const std::int32_t* tracks, void* pixels, int width, int height, int maxWidth) {
    ReferenceFrame(ModelSettings(ConvertTrackValues(tracks)), pixels, width, height, maxWidth);
}

std::vector<unsigned char> Expected(const GuardedFrame& frame, const Tracks& tracks) {
    GuardedFrame copy = frame;
    ModelFrame(tracks.Value, copy.Pixels(), copy.Width, copy.Height, copy.MaxWidth);
    return copy.Bytes;
}

}  // namespace velgarde_test
