#include "aviutl2/TrackItems.h"

#include <cmath>

namespace {

const wchar_t TrackType[] = L"track";

}  // namespace

// Constant-initialised, so the list is whole before any code of the module
// runs. The numbers repeat the filter's track tables (a test holds them
// equal): those live in another unit and cannot initialise a constant here.
Auf2TrackItem TrackItems[TrackCount] = {
    {TrackType, L"適用量(+)", 25, 0, 300, 1},
    {TrackType, L"適用量(-)", 50, 0, 300, 1},
    {TrackType, L"範囲", 10, 1, 100, 1},
    {TrackType, L"分散", 50, 0, 100, 1},
    {TrackType, L"閾値", 0, 0, 1000, 1},
};

void* TrackItemList[TrackCount + 1] = {&TrackItems[0], &TrackItems[1], &TrackItems[2],
                                       &TrackItems[3], &TrackItems[4], nullptr};

std::int32_t ClampTrackValue(double Value, TrackIndex Track) {
    if (std::isnan(Value)) return TrackDefaults[Track];
    const double Lowest = TrackMinimums[Track];
    const double Highest = TrackMaximums[Track];
    if (Value <= Lowest) return TrackMinimums[Track];
    if (Value >= Highest) return TrackMaximums[Track];
    // Inside the bar, so the rounded value fits int32.
    return static_cast<std::int32_t>(std::lround(Value));
}

TrackValues ReadTrackValues(const Auf2TrackItem* Items) {
    TrackValues Values;
    for (int i = 0; i < TrackCount; ++i) {
        Values[i] = ClampTrackValue(Items[i].Value, static_cast<TrackIndex>(i));
    }
    return Values;
}
