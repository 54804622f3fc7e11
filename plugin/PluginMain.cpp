// The boundary with the host: the filter table, the export, the four
// callbacks, the two thread functions and the one process-wide engine.
//
// Nothing thrown may unwind into the host: every callback catches, leaves the
// engine consistent and the frame untouched, and reports FALSE (0).
#include <cstdint>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "filter/UnsharpMask.h"
#include "plugin/AviUtlPlugin.h"
#include "filter/ThreadSlots.h"
#include "filter/TrackParameters.h"
#include "util/xmmutil.h"

namespace {

constexpr std::int32_t Success = -1;
constexpr std::int32_t Failure = 0;

TUnsharpMaskFilter* Engine = nullptr;

AVIUTL_ENTRY std::int32_t FilterInit(FilterTable* table);
AVIUTL_ENTRY std::int32_t FilterExit(FilterTable* table);
AVIUTL_ENTRY std::int32_t FilterUpdate(FilterTable* table);
AVIUTL_ENTRY std::int32_t FilterProc(FilterTable* table, ProcInfo* info);

// Track names in cp932: "適用量(+)", "適用量(-)", "範囲", "分散", "閾値".
const char TrackName0[] = "\x93\x4B\x97\x70\x97\xCA(+)";
const char TrackName1[] = "\x93\x4B\x97\x70\x97\xCA(-)";
const char TrackName2[] = "\x94\xCD\x88\xCD";
const char TrackName3[] = "\x95\xAA\x8E\x55";
const char TrackName4[] = "\xE8\x87\x92\x6C";
const char* const TrackNames[TrackCount] = {TrackName0, TrackName1, TrackName2, TrackName3, TrackName4};

// Constant-initialised: no code runs at load to fill it. The host writes
// TrackValues and Functions into it.
FilterTable Table = {
    FilterFlagHasInformation,  // Flag
    0, 0,
    "Velgarde",  // Name
    TrackCount, TrackNames, TrackDefaults, TrackMinimums, TrackMaximums,
    0, nullptr, nullptr,
    FilterProc, FilterInit, FilterExit, FilterUpdate,
    nullptr,
    nullptr,  // TrackValues
    nullptr, nullptr, 0,
    "Velgarde Ver.091112",  // Information
    nullptr, nullptr,
    nullptr,  // Functions
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

std::uint32_t ProcessorCount() {
#if defined(_WIN32)
    SYSTEM_INFO Info;
    GetSystemInfo(&Info);
    return Info.dwNumberOfProcessors;
#else
    const long Count = sysconf(_SC_NPROCESSORS_ONLN);
    return Count > 0 ? static_cast<std::uint32_t>(Count) : 1u;
#endif
}

// A frame the passes can serve without reading or writing outside it.
bool IsSoundFrame(const ProcInfo* info) {
    return info != nullptr && info->EditFrame != nullptr && info->TempFrame != nullptr &&
           info->Width >= 0 && info->Height >= 0 && info->MaxWidth >= info->Width;
}

AVIUTL_ENTRY void HorizontalThread(std::int32_t ThreadIndex, std::int32_t ThreadCount, void* param1,
                                   void*) {
    const ProcInfo* info = static_cast<const ProcInfo*>(param1);
    Engine->HorizontalPass(info->TempFrame, info->EditFrame, static_cast<std::uint32_t>(ThreadIndex),
                           static_cast<std::uint32_t>(ThreadCount));
}

AVIUTL_ENTRY void VerticalThread(std::int32_t ThreadIndex, std::int32_t ThreadCount, void* param1,
                                 void*) {
    const ProcInfo* info = static_cast<const ProcInfo*>(param1);
    Engine->VerticalPass(info->EditFrame, info->TempFrame, static_cast<std::uint32_t>(ThreadIndex),
                         static_cast<std::uint32_t>(ThreadCount));
}

AVIUTL_ENTRY std::int32_t FilterInit(FilterTable*) {
    if (Engine != nullptr) return Success;
    try {
        CheckAllocationFault();
        Engine = new TUnsharpMaskFilter(ThreadSlotsFor(ProcessorCount()));
    } catch (...) {
        Engine = nullptr;
        return Failure;
    }
    return Success;
}

AVIUTL_ENTRY std::int32_t FilterExit(FilterTable*) {
    delete Engine;
    Engine = nullptr;
    return Success;
}

AVIUTL_ENTRY std::int32_t FilterUpdate(FilterTable* table) {
    if (Engine == nullptr || table == nullptr || table->TrackValues == nullptr) return Failure;
    // A failed blur rebuild keeps the previous blur with its weights and
    // plans; threshold and amounts still take effect. The host hears FALSE.
    return ApplyFilterParameters(*Engine, ConvertTrackValues(table->TrackValues)) ? Success : Failure;
}

AVIUTL_ENTRY std::int32_t FilterProc(FilterTable* table, ProcInfo* info) {
    if (Engine == nullptr || !IsSoundFrame(info)) return Failure;
    if (info->Width == 0 || info->Height == 0) return Success;  // nothing to sharpen
    if (table == nullptr || table->Functions == nullptr || table->Functions->MultiThreadRun == nullptr)
        return Failure;
    try {
        if (!Engine->Setup(info->Width, info->Height, info->MaxWidth)) return Failure;
    } catch (...) {
        return Failure;
    }
    const MultiThreadRunFunc Run = table->Functions->MultiThreadRun;
    // A run the host reports as failed may have left some calls unmade: after
    // a failed horizontal run the work plane is partly stale, so the vertical
    // pass must not write it into the frame.
    if (!Run(HorizontalThread, info, nullptr)) return Failure;
    if (!Run(VerticalThread, info, nullptr)) return Failure;
    return Success;
}

}  // namespace

extern "C" AVIUTL_EXPORT AVIUTL_ENTRY FilterTable* GetFilterTable() { return &Table; }

#if defined(VELGARDE_TEST_HOOKS)
#include <cstring>

#include "filter/Reference.h"

// Test builds only: makes the engine the module holds now run the kernel set
// called Name ("scalar" for the scalar twins, else a built-in set's name)
// until FilterExit. Returns 1 when applied, 0 when there is no engine or
// this machine cannot run the set.
extern "C" AVIUTL_EXPORT std::int32_t VelgardeTestUseKernels(const char* Name) {
    if (Engine == nullptr || Name == nullptr) return 0;
    if (std::strcmp(Name, ScalarKernels.Name) == 0) {
        Engine->UseKernels(ScalarKernels);
        return 1;
    }
    return Engine->UseKernels(Name) ? 1 : 0;
}

// Test builds only: makes the Countdown-th next allocation fail (1 = the
// next one); a value of 0 or below disarms.
namespace {
std::int32_t FailCountdown = 0;
bool NextAllocationFails() { return FailCountdown > 0 && --FailCountdown == 0; }
}  // namespace

extern "C" AVIUTL_EXPORT void VelgardeTestFailAllocations(std::int32_t Countdown) {
    FailCountdown = Countdown;
    SetAllocationFaultHook(Countdown > 0 ? NextAllocationFails : nullptr);
}
#endif
