// The module's boundary with the 64-bit editor: the table, the exports and
// the state kept between calls. Nothing thrown reaches the host.
#include <mutex>
#include <new>

#include "aviutl2/FilterRecords.h"
#include "aviutl2/TrackItems.h"
#include "aviutl2/VideoFilter.h"
#include "util/ThreadPool.h"
#include "util/xmmutil.h"

namespace {

// A plain pointer, never a static object: unloading the module must not run a
// destructor that joins the pool's threads under the loader's lock. The host
// calls UninitializePlugin first, which does that outside it.
std::mutex StateLock;
TModuleState* State = nullptr;

TModuleState* SharedState() noexcept {
    std::lock_guard<std::mutex> Guard(StateLock);
    if (State == nullptr) {
        try {
            CheckAllocationFault();
            State = new TModuleState(ProcessorCount());
        } catch (...) {
            State = nullptr;
        }
    }
    return State;
}

bool ProcVideo(Auf2ProcVideo* Video) noexcept {
    TModuleState* Shared = SharedState();
    return Shared != nullptr && SharpenObject(*Shared, TrackItems, ShowChangeItem, Video);
}

Auf2FilterTable Table = {
    Auf2FlagVideo | Auf2FlagFilterObject,
    L"Velgarde",
    nullptr,
    L"Velgarde " VELGARDE_VERSION_TEXT,
    TrackItemList,
    ProcVideo,
    nullptr,
};

}  // namespace

extern "C" AVIUTL2_EXPORT Auf2FilterTable* GetFilterPluginTable() { return &Table; }

// Starts the pool now rather than on the first frame; false if it cannot.
extern "C" AVIUTL2_EXPORT bool InitializePlugin(std::uint32_t) { return SharedState() != nullptr; }

// The host calls this with no video call under way, before unloading.
extern "C" AVIUTL2_EXPORT void UninitializePlugin() {
    std::lock_guard<std::mutex> Guard(StateLock);
    delete State;
    State = nullptr;
}

#if defined(VELGARDE_TEST_HOOKS)
// Test builds only: makes the Countdown-th next allocation fail (1 = the
// next one); a value of 0 or below disarms.
namespace {
int FailCountdown = 0;
bool NextAllocationFails() { return FailCountdown > 0 && --FailCountdown == 0; }
}  // namespace

extern "C" AVIUTL2_EXPORT void VelgardeTestFailAllocations(int Countdown) {
    FailCountdown = Countdown;
    SetAllocationFaultHook(Countdown > 0 ? NextAllocationFails : nullptr);
}
#endif
