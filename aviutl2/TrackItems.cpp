#include "aviutl2/TrackItems.h"

#include <cmath>
#include <cstring>

namespace {

const wchar_t TrackType[] = L"track";
const wchar_t CheckType[] = L"check";

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

Auf2CheckItem ShowChangeItem = {CheckType, L"変化を表示", false};

void* TrackItemList[TrackCount + 2] = {&TrackItems[0], &TrackItems[1], &TrackItems[2], &TrackItems[3],
                                       &TrackItems[4], &ShowChangeItem, nullptr};

std::int32_t ClampTrackValue(double Value, TrackIndex Track) {
    if (std::isnan(Value)) return TrackDefaults[Track];
    const double Lowest = TrackMinimums[Track];
    const double Highest = TrackMaximums[Track];
    if (Value <= Lowest) return TrackMinimums[Track];
    if (Value >= Highest) return TrackMaximums[Track];
    // Inside the bar, so the rounded value fits int32.
    return static_cast<std::int32_t>(std::lround(Value));
}

bool ReadCheck(const Auf2CheckItem& Item) {
    // As a byte: a bool holding anything but 0 or 1 would be undefined.
    unsigned char Byte;
    std::memcpy(&Byte, &Item.Value, 1);
    return Byte != 0;
}

TrackValues ReadTrackValues(const Auf2TrackItem* Items) {
    TrackValues Values;
    for (int i = 0; i < TrackCount; ++i) {
        Values[i] = ClampTrackValue(Items[i].Value, static_cast<TrackIndex>(i));
    }
    return Values;
}
