#include "bench/MemoryFloor.h"

#include <emmintrin.h>

#include <cstring>

#include "filter/KernelSets.h"
#include "filter/Sse2KernelHelpers.h"

void FloorGatherSse2(std::int16_t* Plane, std::int32_t PlanePitch, const void* Frame, std::int32_t Width,
                 std::int32_t FirstRow, std::int32_t Rows, std::int32_t SrcPitch) {
    for (std::int32_t y = FirstRow; y < FirstRow + Rows; ++y) {
        const unsigned char* Src = static_cast<const unsigned char*>(Frame) + std::ptrdiff_t{y} * SrcPitch;
        unsigned char* Dst = reinterpret_cast<unsigned char*>(Plane) + std::ptrdiff_t{y} * PlanePitch;
        std::int32_t x = 0;
        for (; x + 8 <= Width; x += 8) {
            __m128i A, B, C;
            LoadPixels8(Src + 6 * x, A, B, C);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + 2 * x), ExtractY(A, B, C));
        }
        for (; x < Width; ++x) std::memcpy(Dst + 2 * x, Src + 6 * x, 2);
    }
}

void FloorUpdateSse2(void* Frame, std::int32_t Height, std::int32_t SrcPitch, const std::int16_t* Plane,
                 std::int32_t PlanePitch, std::int32_t FirstColumn, std::int32_t Columns) {
    for (std::int32_t y = 0; y < Height; ++y) {
        unsigned char* Row = static_cast<unsigned char*>(Frame) + std::ptrdiff_t{y} * SrcPitch;
        const unsigned char* Src = reinterpret_cast<const unsigned char*>(Plane) + std::ptrdiff_t{y} * PlanePitch;
        std::int32_t x = FirstColumn;
        for (; x + 8 <= FirstColumn + Columns; x += 8) {
            unsigned char* P = Row + 6 * x;
            __m128i A, B, C;
            LoadPixels8(P, A, B, C);
            const __m128i Plane = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + 2 * x));
            MergeY(A, B, C, _mm_max_epi16(ExtractY(A, B, C), Plane));
            StorePixels8(P, A, B, C);
        }
        for (; x < FirstColumn + Columns; ++x) {
            std::int16_t A, B;
            std::memcpy(&A, Row + 6 * x, 2);
            std::memcpy(&B, Src + 2 * x, 2);
            std::memcpy(Row + 6 * x, A > B ? &A : &B, 2);
        }
    }
}

// The machine is asked once, before any frame is timed. AVX2 where it has
// it: the AVX-512BW floor (MemoryFloorAvx512.cpp) measured slower than the
// AVX2 one on the AVX-512 machine at hand (BM_OneThread reports both).
static const bool UseAvx2 = BuiltInKernelSet("avx2") != nullptr;

const char* FloorName() { return UseAvx2 ? "avx2" : "sse2"; }

bool MachineRunsAvx512Floor() { return __builtin_cpu_supports("avx512bw"); }

void FloorGather(std::int16_t* Plane, std::int32_t PlanePitch, const void* Frame, std::int32_t Width,
                 std::int32_t FirstRow, std::int32_t Rows, std::int32_t SrcPitch) {
    (UseAvx2 ? FloorGatherAvx2 : FloorGatherSse2)(Plane, PlanePitch, Frame, Width, FirstRow, Rows, SrcPitch);
}

void FloorUpdate(void* Frame, std::int32_t Height, std::int32_t SrcPitch, const std::int16_t* Plane,
                 std::int32_t PlanePitch, std::int32_t FirstColumn, std::int32_t Columns) {
    (UseAvx2 ? FloorUpdateAvx2 : FloorUpdateSse2)(Frame, Height, SrcPitch, Plane, PlanePitch, FirstColumn, Columns);
}
