// Thread functions built without stack realignment (see CMakeLists.txt): they
// trust the caller's stack as SSE code built for an aligned ABI does, so
// under the editor's calling conditions they misbehave.
#pragma once

#include <cstdint>

#include "plugin/AviUtlPlugin.h"

struct ProbeRecord {
    static constexpr int Calls = 16;
    std::uint32_t Misalignment[Calls];  // address % 16 of a 16-byte aligned local
    std::uint16_t ControlWord[Calls];   // x87 control word inside the call
    bool Rounded53[Calls];              // 1 + 2^-60 == 1: the precision was 53 bits
};

// Records into the ProbeRecord at param1, slot ThreadIndex.
extern "C" void AVIUTL_CDECL ProbeConditions(std::int32_t ThreadIndex, std::int32_t ThreadCount,
                                             void* param1, void* param2);
// Stores an SSE register into a 16-byte aligned local with an aligned store
// (movaps): faults on a misaligned stack.
extern "C" void AVIUTL_CDECL ProbeAlignedStore(std::int32_t ThreadIndex, std::int32_t ThreadCount,
                                               void* param1, void* param2);
