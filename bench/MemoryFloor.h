// The traffic no design of this filter can avoid, written as well as SSE2
// allows: every Y read into a 16-bit plane, then the plane read and every Y
// read, modified and written back. The benchmarks report the filter's time
// as a ratio to this floor, measured on the same buffers and threads.
#pragma once

#include <cstdint>

// Rows [FirstRow, FirstRow + Rows) of the frame's Y into the plane (Width
// values a row, PlanePitch bytes apart).
void FloorGather(std::int16_t* Plane, std::int32_t PlanePitch, const void* Frame, std::int32_t Width,
                 std::int32_t FirstRow, std::int32_t Rows, std::int32_t SrcPitch);

// Columns [FirstColumn, FirstColumn + Columns) of every row: Y = max(Y, plane).
void FloorUpdate(void* Frame, std::int32_t Height, std::int32_t SrcPitch, const std::int16_t* Plane,
                 std::int32_t PlanePitch, std::int32_t FirstColumn, std::int32_t Columns);
