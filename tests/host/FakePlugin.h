// A stand-in plug-in module for testing the host on its own: its table can be
// given each flaw a host must refuse, its callbacks can be made to fail, and
// it records how the host drove it.
#pragma once

#include <cstdint>

#include "plugin/AviUtlPlugin.h"

enum FakeFlaw : std::int32_t {
    FakeNoFlaw,
    FakeNullTable,
    FakeFourTracks,
    FakeNoTrackNames,
    FakeNoDefaults,
    FakeNoMinimums,
    FakeNoMaximums,
    FakeNullTrackName,
    FakeNoProc,
    FakeNoInit,
    FakeNoExit,
    FakeNoUpdate,
    FakeInitFails,
    FakeUpdateFails,
    FakeProcFails,
};

struct FakeRecord {
    std::int32_t Flaw;  // applies to the next GetFilterTable / callback
    char Log[256];      // one letter per callback: I(nit) U(pdate) P(roc) E(xit)
    std::int32_t LogLength;
    std::int32_t TracksAtUpdate[5];   // what TrackValues held at the last FilterUpdate
    std::int32_t ThreadCountSeen;     // ThreadCount of the last MultiThreadRun
    std::int32_t IndexCalls[64];      // calls per ThreadIndex in the last run
    std::int32_t RunResult;           // what MultiThreadRun returned
    ProcInfo LastInfo;
    std::int32_t TempAligned;         // TempFrame of the last frame was 16-byte aligned
};

using FakeRecordFunc = FakeRecord*(AVIUTL_CDECL*)();
constexpr const char* FakeRecordName = "FakeRecordOf";
