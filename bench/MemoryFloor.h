// The traffic no design of this filter can avoid, written as well as the
// machine allows (byte shuffles on 256-bit vectors where it has AVX2, SSE2
// otherwise; a 512-bit variant measured slower): every Y read into a 16-bit plane, then the plane read and
// every Y read, modified and written back. The benchmarks report the
// filter's time as a ratio to this floor, measured on the same buffers and
// threads.
#pragma once

#include <cstdint>

// Rows [FirstRow, FirstRow + Rows) of the frame's Y into the plane (Width
// values a row, PlanePitch bytes apart).
void FloorGather(std::int16_t* Plane, std::int32_t PlanePitch, const void* Frame, std::int32_t Width,
                 std::int32_t FirstRow, std::int32_t Rows, std::int32_t SrcPitch);

// Columns [FirstColumn, FirstColumn + Columns) of every row: Y = max(Y, plane).
void FloorUpdate(void* Frame, std::int32_t Height, std::int32_t SrcPitch, const std::int16_t* Plane,
                 std::int32_t PlanePitch, std::int32_t FirstColumn, std::int32_t Columns);

// Which floor runs: "avx2" or "sse2". And whether the AVX-512BW variant
// can run here, for the benchmark that compares it.
const char* FloorName();
bool MachineRunsAvx512Floor();

// The two variants, for the dispatch above (same arguments).
void FloorGatherSse2(std::int16_t*, std::int32_t, const void*, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
void FloorUpdateSse2(void*, std::int32_t, std::int32_t, const std::int16_t*, std::int32_t, std::int32_t, std::int32_t);
void FloorGatherAvx2(std::int16_t*, std::int32_t, const void*, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
void FloorUpdateAvx2(void*, std::int32_t, std::int32_t, const std::int16_t*, std::int32_t, std::int32_t, std::int32_t);
void FloorGatherAvx512(std::int16_t*, std::int32_t, const void*, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
void FloorUpdateAvx512(void*, std::int32_t, std::int32_t, const std::int16_t*, std::int32_t, std::int32_t, std::int32_t);
