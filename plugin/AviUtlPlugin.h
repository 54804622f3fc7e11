// The host editor's records and services, as far as this filter uses them.
//
// On 32-bit Windows every field is 4 bytes and the layout below is the host's
// exactly (checked by static_asserts). Fields are declared with their real
// pointer types, so 64-bit builds of the emulated host get the natural 64-bit
// layout of the same records.
#pragma once

#include <cstddef>
#include <cstdint>

// Every function that crosses the boundary is cdecl. The host calls us on
// stacks that are only 4-byte aligned on 32-bit Windows, while the compiler
// assumes 16 for SSE spills: entry points realign their stack.
#if defined(__i386__)
#define AVIUTL_CDECL __attribute__((cdecl))
#define AVIUTL_ENTRY __attribute__((cdecl, force_align_arg_pointer))
#else
#define AVIUTL_CDECL
#define AVIUTL_ENTRY
#endif

#if defined(_WIN32)
#define AVIUTL_EXPORT __declspec(dllexport)
#else
#define AVIUTL_EXPORT __attribute__((visibility("default")))
#endif

// One pixel of a frame: luma and two chroma values, 6 bytes.
struct PixelYC {
    std::int16_t Y;
    std::int16_t Cb;
    std::int16_t Cr;
};
static_assert(sizeof(PixelYC) == 6, "PixelYC is three packed int16");

struct FilterTable;
struct ProcInfo;

using FilterCallback = std::int32_t(AVIUTL_CDECL*)(FilterTable* table);
using FilterProcCallback = std::int32_t(AVIUTL_CDECL*)(FilterTable* table, ProcInfo* info);
using MultiThreadFunc = void(AVIUTL_CDECL*)(std::int32_t ThreadIndex, std::int32_t ThreadCount,
                                            void* param1, void* param2);
using MultiThreadRunFunc = std::int32_t(AVIUTL_CDECL*)(MultiThreadFunc func, void* param1,
                                                       void* param2);

// The host's table of services. Only MultiThreadRun (slot 51) is used here;
// the other slots exist so that it sits where the host puts it.
struct HostFunctions {
    void* Slots0To50[51];
    MultiThreadRunFunc MultiThreadRun;
    void* Slots52To63[12];
};

// The frame record handed to ProcFunc; the filter reads only these fields.
struct ProcInfo {
    std::int32_t Flag;
    PixelYC* EditFrame;  // the frame being edited; the result is left here
    PixelYC* TempFrame;  // a second buffer lent for the call
    std::int32_t Width;
    std::int32_t Height;
    std::int32_t MaxWidth;  // pixels per buffer row; row pitch is MaxWidth * 6 bytes
};

// The filter's registration record. Reserved fields are named by their
// 32-bit offset and must stay 0.
struct FilterTable {
    std::int32_t Flag;
    std::int32_t Reserved04;
    std::int32_t Reserved08;
    const char* Name;
    std::int32_t TrackCount;
    const char* const* TrackNames;
    const std::int32_t* TrackDefaults;
    const std::int32_t* TrackMinimums;
    const std::int32_t* TrackMaximums;
    std::int32_t Reserved36;
    const void* Reserved40;
    const void* Reserved44;
    FilterProcCallback ProcFunc;
    FilterCallback InitFunc;
    FilterCallback ExitFunc;
    FilterCallback UpdateFunc;
    const void* Reserved64;
    std::int32_t* TrackValues;  // set by the host
    const void* Reserved72;
    const void* Reserved76;
    std::int32_t Reserved80;
    const char* Information;
    const void* Reserved88;
    const void* Reserved92;
    HostFunctions* Functions;  // set by the host
    const void* Reserved100;
    const void* Reserved104;
    const void* Reserved108;
    const void* Reserved112;
    const void* Reserved116;
    const void* Reserved120;
    const void* Reserved124;
    const void* Reserved128;
    const void* Reserved132;
    const void* Reserved136;
};

// Flag bit that tells the host Information holds a text.
constexpr std::int32_t FilterFlagHasInformation = 0x40000;

using GetFilterTableFunc = FilterTable*(AVIUTL_CDECL*)();
constexpr const char* GetFilterTableName = "GetFilterTable";

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(void*) == 4, "32-bit layout");
static_assert(sizeof(FilterTable) == 140, "FilterTable is 35 fields of 4 bytes");
static_assert(offsetof(FilterTable, Flag) == 0, "");
static_assert(offsetof(FilterTable, Name) == 12, "");
static_assert(offsetof(FilterTable, TrackCount) == 16, "");
static_assert(offsetof(FilterTable, TrackNames) == 20, "");
static_assert(offsetof(FilterTable, TrackDefaults) == 24, "");
static_assert(offsetof(FilterTable, TrackMinimums) == 28, "");
static_assert(offsetof(FilterTable, TrackMaximums) == 32, "");
static_assert(offsetof(FilterTable, ProcFunc) == 48, "");
static_assert(offsetof(FilterTable, InitFunc) == 52, "");
static_assert(offsetof(FilterTable, ExitFunc) == 56, "");
static_assert(offsetof(FilterTable, UpdateFunc) == 60, "");
static_assert(offsetof(FilterTable, TrackValues) == 68, "");
static_assert(offsetof(FilterTable, Information) == 84, "");
static_assert(offsetof(FilterTable, Functions) == 96, "");
static_assert(offsetof(FilterTable, Reserved136) == 136, "");
static_assert(offsetof(ProcInfo, EditFrame) == 4, "");
static_assert(offsetof(ProcInfo, TempFrame) == 8, "");
static_assert(offsetof(ProcInfo, Width) == 12, "");
static_assert(offsetof(ProcInfo, Height) == 16, "");
static_assert(offsetof(ProcInfo, MaxWidth) == 20, "");
static_assert(offsetof(HostFunctions, MultiThreadRun) == 204, "");
#endif
