// The five settings as the 64-bit editor's track items, and their values read
// back as the whole track steps the shared settings conversion takes; after
// them the checkbox that shows the change instead of the picture.
#pragma once

#include <array>
#include <cstdint>

#include "aviutl2/FilterRecords.h"
#include "filter/TrackParameters.h"

using TrackValues = std::array<std::int32_t, TrackCount>;

// The module's items, in track order; the host writes Value before each call.
extern Auf2TrackItem TrackItems[TrackCount];
// Off by default.
extern Auf2CheckItem ShowChangeItem;
// The same items, the checkbox last, as the host's null-terminated list.
extern void* TrackItemList[TrackCount + 2];

// One value as the track bar would hold it: NaN becomes the default,
// anything beyond the bar (infinities included) its nearest end, and
// fractions round to the nearest whole step.
std::int32_t ClampTrackValue(double Value, TrackIndex Track);

// All five, each item's value read once (the host may rewrite it for the
// next call while this one runs).
TrackValues ReadTrackValues(const Auf2TrackItem* Items);

// The checkbox as the host left it: any byte but 0 is on.
bool ReadCheck(const Auf2CheckItem& Item);
