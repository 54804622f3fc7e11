// A loadable filter that is not Velgarde: five tracks with other ranges.
// velgarde must refuse it rather than drive it with Velgarde's settings.
#include "plugin/AviUtlPlugin.h"

namespace {

const char* const names[5] = {"r", "g", "b", "x", "y"};
const std::int32_t defaults[5] = {0, 0, 0, 0, 0};
const std::int32_t minimums[5] = {-255, -255, -255, 0, 0};
const std::int32_t maximums[5] = {255, 255, 255, 1, 1};

std::int32_t AVIUTL_ENTRY Ok(FilterTable*) { return -1; }
std::int32_t AVIUTL_ENTRY Proc(FilterTable*, ProcInfo*) { return -1; }

FilterTable table = [] {
    FilterTable t{};
    t.Name = "Colour balance";
    t.TrackCount = 5;
    t.TrackNames = names;
    t.TrackDefaults = defaults;
    t.TrackMinimums = minimums;
    t.TrackMaximums = maximums;
    t.ProcFunc = Proc;
    t.InitFunc = Ok;
    t.ExitFunc = Ok;
    t.UpdateFunc = Ok;
    return t;
}();

}  // namespace

extern "C" AVIUTL_EXPORT FilterTable* AVIUTL_CDECL GetFilterTable() { return &table; }
