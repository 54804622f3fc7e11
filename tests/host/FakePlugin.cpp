// The stand-in module (see FakePlugin.h). Built as its own loadable module.
#include "tests/host/FakePlugin.h"

#include <atomic>
#include <cstring>

namespace {

FakeRecord record;
std::atomic<std::int32_t> indexCalls[64];

const char* const names[5] = {"a", "b", "c", "d", "e"};
const char* const namesWithHole[5] = {"a", "b", nullptr, "d", "e"};
const std::int32_t defaults[5] = {25, 50, 10, 50, 0};
const std::int32_t minimums[5] = {0, 0, 1, 0, 0};
const std::int32_t maximums[5] = {300, 300, 100, 100, 1000};

void Log(char c) {
    if (record.LogLength < static_cast<std::int32_t>(sizeof record.Log) - 1)
        record.Log[record.LogLength++] = c;
}

void AVIUTL_ENTRY CountIndex(std::int32_t index, std::int32_t count, void*, void*) {
    if (index >= 0 && index < 64) indexCalls[index].fetch_add(1);
    (void)count;
}

void AVIUTL_ENTRY RecordCount(std::int32_t index, std::int32_t count, void* param1, void*) {
    if (index == 0) *static_cast<std::int32_t*>(param1) = count;
}

std::int32_t AVIUTL_ENTRY Init(FilterTable*) {
    Log('I');
    return record.Flaw == FakeInitFails ? 0 : -1;
}

std::int32_t AVIUTL_ENTRY Exit(FilterTable*) {
    Log('E');
    return -1;
}

std::int32_t AVIUTL_ENTRY Update(FilterTable* table) {
    Log('U');
    if (record.Flaw == FakeUpdateFails) return 0;
    for (int i = 0; i < 5; ++i) record.TracksAtUpdate[i] = table->TrackValues[i];
    return -1;
}

// Adds track 0 (as of the last update) to every Y of the frame, after a run
// of the host's pool that counts the calls per index.
std::int32_t AVIUTL_ENTRY Proc(FilterTable* table, ProcInfo* info) {
    Log('P');
    if (record.Flaw == FakeProcFails) return 0;
    record.LastInfo = *info;
    record.TempAligned = reinterpret_cast<std::uintptr_t>(info->TempFrame) % 16 == 0;
    for (auto& n : indexCalls) n.store(0);
    record.RunResult = table->Functions->MultiThreadRun(CountIndex, nullptr, nullptr);
    table->Functions->MultiThreadRun(RecordCount, &record.ThreadCountSeen, nullptr);
    for (int i = 0; i < 64; ++i) record.IndexCalls[i] = indexCalls[i].load();
    for (int y = 0; y < info->Height; ++y)
        for (int x = 0; x < info->Width; ++x)
            info->EditFrame[y * info->MaxWidth + x].Y =
                static_cast<std::int16_t>(info->EditFrame[y * info->MaxWidth + x].Y +
                                          record.TracksAtUpdate[0]);
    return -1;
}

FilterTable table;

}  // namespace

extern "C" AVIUTL_EXPORT FakeRecord* AVIUTL_CDECL FakeRecordOf() { return &record; }

extern "C" AVIUTL_EXPORT FilterTable* AVIUTL_CDECL GetFilterTable() {
    // Rebuilt on every call so that each Open sees the flaw set for it; the
    // host's TrackValues and Functions are kept.
    FilterTable fresh{};
    fresh.Flag = FilterFlagHasInformation;
    fresh.Name = "Fake";
    fresh.TrackCount = record.Flaw == FakeFourTracks ? 4 : 5;
    fresh.TrackNames = record.Flaw == FakeNoTrackNames     ? nullptr
                       : record.Flaw == FakeNullTrackName ? namesWithHole
                                                          : names;
    fresh.TrackDefaults = record.Flaw == FakeNoDefaults ? nullptr : defaults;
    fresh.TrackMinimums = record.Flaw == FakeNoMinimums ? nullptr : minimums;
    fresh.TrackMaximums = record.Flaw == FakeNoMaximums ? nullptr : maximums;
    fresh.ProcFunc = record.Flaw == FakeNoProc ? nullptr : Proc;
    fresh.InitFunc = record.Flaw == FakeNoInit ? nullptr : Init;
    fresh.ExitFunc = record.Flaw == FakeNoExit ? nullptr : Exit;
    fresh.UpdateFunc = record.Flaw == FakeNoUpdate ? nullptr : Update;
    fresh.Information = "Fake";
    fresh.TrackValues = table.TrackValues;
    fresh.Functions = table.Functions;
    table = fresh;
    return record.Flaw == FakeNullTable ? nullptr : &table;
}
