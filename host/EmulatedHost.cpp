#include "host/EmulatedHost.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>

#include "host/EditorCall.h"
#include "host/PluginModule.h"
#include "host/WorkerPool.h"

namespace velgarde {

namespace {

// MultiThreadRun carries no context, so the plug-in reaches the pool through
// this process-wide pointer. It is set while a host has a plug-in open, and
// only one host may have one open at a time (the plug-in's engine is
// process-wide too).
std::atomic<WorkerPool*> activePool{nullptr};
std::atomic<const void*> activeHost{nullptr};

std::int32_t AVIUTL_ENTRY HostMultiThreadRun(MultiThreadFunc func, void* param1, void* param2) {
    // Called by the plug-in: nothing may escape.
    try {
        WorkerPool* pool = activePool.load(std::memory_order_acquire);
        if (!pool || !func) return 0;
        return pool->Run(func, param1, param2) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// Why a table cannot be driven, or empty if it can.
std::string TableFault(const FilterTable* table) {
    if (!table) return "GetFilterTable returned null";
    if (table->TrackCount != EmulatedHost::TrackCount)
        return "the table declares " + std::to_string(table->TrackCount) + " track bars, not " +
               std::to_string(EmulatedHost::TrackCount);
    if (!table->TrackNames) return "the table has no track names";
    if (!table->TrackDefaults) return "the table has no track defaults";
    if (!table->TrackMinimums) return "the table has no track minimums";
    if (!table->TrackMaximums) return "the table has no track maximums";
    for (int i = 0; i < EmulatedHost::TrackCount; ++i)
        if (!table->TrackNames[i]) return "track bar " + std::to_string(i) + " has no name";
    if (!table->ProcFunc) return "the table has no ProcFunc";
    if (!table->InitFunc) return "the table has no InitFunc";
    if (!table->ExitFunc) return "the table has no ExitFunc";
    if (!table->UpdateFunc) return "the table has no UpdateFunc";
    return std::string();
}

// A zero-filled block of at least `bytes` bytes whose start is 16-byte
// aligned; null if it cannot be had.
struct AlignedBuffer {
    std::unique_ptr<unsigned char[]> storage;
    unsigned char* data = nullptr;
    std::size_t size = 0;

    bool Allocate(std::size_t bytes) {
        Release();
        if (bytes > std::numeric_limits<std::size_t>::max() - 16) return false;
        // Never empty: an empty frame still has a buffer address.
        std::size_t total = (bytes ? bytes : 1) + 15;
        storage.reset(new (std::nothrow) unsigned char[total]());
        if (!storage) return false;
        std::uintptr_t p = reinterpret_cast<std::uintptr_t>(storage.get());
        data = storage.get() + ((16 - p % 16) % 16);
        size = bytes;
        return true;
    }
    void Release() {
        storage.reset();
        data = nullptr;
        size = 0;
    }
};

const FilterTable emptyTable{};

}  // namespace

struct EmulatedHost::State {
    PluginModule module;
    std::unique_ptr<WorkerPool> pool;
    FilterTable* table = nullptr;
    bool initialised = false;  // FilterInit succeeded and FilterExit not yet called
    bool tracksPending = false;
    std::array<std::int32_t, TrackCount> tracks{};
    HostFunctions functions{};
    AlignedBuffer edit;
    AlignedBuffer temp;
    int width = 0;
    int height = 0;
    int maxWidth = 0;
    bool framePrepared = false;
};

EmulatedHost::EmulatedHost() : state_(new State) {}

EmulatedHost::~EmulatedHost() { Close(); }

bool EmulatedHost::Open(const std::string& modulePath, int threads, std::string* error) {
    Close();
    State& s = *state_;
    const void* none = nullptr;
    if (!activeHost.compare_exchange_strong(none, this)) {
        SetError(error, modulePath +
                            ": another host in this process has a plug-in open; one host "
                            "drives a plug-in at a time");
        return false;
    }
    auto fail = [&](const std::string& text) {
        SetError(error, text);
        Close();
        return false;
    };

    if (threads < 0) return fail("thread count " + std::to_string(threads) + " is negative");
    if (!s.module.Load(modulePath, error)) return fail(error ? *error : std::string());
    void* entry = s.module.Symbol(GetFilterTableName, error);
    if (!entry) return fail(error ? *error : std::string());
    FilterTable* table = EditorCall(reinterpret_cast<GetFilterTableFunc>(entry));
    std::string fault = TableFault(table);
    if (!fault.empty()) return fail(modulePath + ": not a usable filter: " + fault);

    try {
        s.pool.reset(new WorkerPool(threads));
    } catch (const std::exception& e) {
        return fail(modulePath + ": cannot start the worker threads: " + e.what());
    }

    s.table = table;
    for (int i = 0; i < TrackCount; ++i) s.tracks[static_cast<size_t>(i)] = table->TrackDefaults[i];
    s.functions = HostFunctions{};
    s.functions.MultiThreadRun = &HostMultiThreadRun;
    table->TrackValues = s.tracks.data();
    table->Functions = &s.functions;
    activePool.store(s.pool.get(), std::memory_order_release);

    if (!EditorCall(table->InitFunc, table)) return fail(modulePath + ": FilterInit failed");
    s.initialised = true;
    // The starting values are news to the plug-in as much as any later change.
    s.tracksPending = true;
    return true;
}

void EmulatedHost::Close() {
    State& s = *state_;
    if (s.table) {
        if (s.initialised) EditorCall(s.table->ExitFunc, s.table);
        // The table is the module's static data and may outlive this host
        // while someone else holds the module: leave no pointers into us.
        s.table->TrackValues = nullptr;
        s.table->Functions = nullptr;
    }
    s.initialised = false;
    s.table = nullptr;
    s.tracksPending = false;
    s.module.Unload();
    if (activeHost.load() == this) {
        activePool.store(nullptr, std::memory_order_release);
        s.pool.reset();
        activeHost.store(nullptr);
    }
    s.pool.reset();
}

bool EmulatedHost::IsOpen() const { return state_->table != nullptr; }

const FilterTable& EmulatedHost::Table() const {
    return state_->table ? *state_->table : emptyTable;
}

FilterTable* EmulatedHost::MutableTable() { return state_->table; }

int EmulatedHost::ThreadCount() const {
    return state_->pool ? state_->pool->ThreadCount() : 0;
}

std::int32_t EmulatedHost::Track(int index) const {
    if (index < 0 || index >= TrackCount) return 0;
    return state_->tracks[static_cast<size_t>(index)];
}

void EmulatedHost::SetTrack(int index, std::int32_t value) {
    if (index < 0 || index >= TrackCount) return;
    std::int32_t& track = state_->tracks[static_cast<size_t>(index)];
    if (track == value) return;
    track = value;
    state_->tracksPending = true;
}

PixelYC* EmulatedHost::PrepareFrame(int width, int height, int maxWidth) {
    State& s = *state_;
    if (s.framePrepared && width == s.width && height == s.height && maxWidth == s.maxWidth)
        return reinterpret_cast<PixelYC*>(s.edit.data);
    s.framePrepared = false;
    s.edit.Release();
    s.temp.Release();
    s.width = s.height = s.maxWidth = 0;
    // The plug-in computes row and group strides in 32-bit arithmetic: keep
    // every stride of such a frame (4 rows of the frame, 4 rows of the work
    // plane) inside int32.
    const std::uint64_t int32Max = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    if (width < 0 || height < 0 || maxWidth < width) return nullptr;
    const std::uint64_t w = static_cast<std::uint64_t>(width);
    const std::uint64_t h = static_cast<std::uint64_t>(height);
    const std::uint64_t pitch = static_cast<std::uint64_t>(maxWidth) * sizeof(PixelYC);
    const std::uint64_t padded = (w + 7) / 8 * 8;
    if (pitch * 4 > int32Max || padded * 8 > int32Max) return nullptr;
    const std::uint64_t frameBytes = pitch * h;
    const std::uint64_t planeBytes = (h + 3) / 4 * padded * 8;
    // Like the real host's second frame buffer, TempFrame is at least as large
    // as the frame; narrow frames need more for the padded work plane.
    const std::uint64_t tempBytes = planeBytes > frameBytes ? planeBytes : frameBytes;
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()) / 2;
    if (frameBytes > limit || tempBytes > limit) return nullptr;
    if (!s.edit.Allocate(static_cast<std::size_t>(frameBytes)) ||
        !s.temp.Allocate(static_cast<std::size_t>(tempBytes))) {
        s.edit.Release();
        s.temp.Release();
        return nullptr;
    }
    s.width = width;
    s.height = height;
    s.maxWidth = maxWidth;
    s.framePrepared = true;
    return reinterpret_cast<PixelYC*>(s.edit.data);
}

int EmulatedHost::Width() const { return state_->width; }
int EmulatedHost::Height() const { return state_->height; }
int EmulatedHost::MaxWidth() const { return state_->maxWidth; }

PixelYC* EmulatedHost::Frame() const {
    return state_->framePrepared ? reinterpret_cast<PixelYC*>(state_->edit.data) : nullptr;
}

void* EmulatedHost::TempFrame() const {
    return state_->framePrepared ? state_->temp.data : nullptr;
}

std::size_t EmulatedHost::TempFrameSize() const {
    return state_->framePrepared ? state_->temp.size : 0;
}

bool EmulatedHost::Process(std::string* error) {
    State& s = *state_;
    if (!s.table) {
        SetError(error, "no plug-in is open");
        return false;
    }
    if (!s.initialised) {
        SetError(error, s.module.Path() + ": the plug-in has been shut down (FilterExit)");
        return false;
    }
    if (!s.framePrepared) {
        SetError(error, "no frame prepared");
        return false;
    }
    if (s.tracksPending && !CallUpdate()) {
        // Still pending: the next frame hands the values over again.
        SetError(error, s.module.Path() + ": FilterUpdate failed");
        return false;
    }
    ProcInfo info{};
    info.EditFrame = reinterpret_cast<PixelYC*>(s.edit.data);
    info.TempFrame = reinterpret_cast<PixelYC*>(s.temp.data);
    info.Width = s.width;
    info.Height = s.height;
    info.MaxWidth = s.maxWidth;
    if (!CallProc(&info)) {
        SetError(error, s.module.Path() + ": FilterProc failed on a " + std::to_string(s.width) +
                            "x" + std::to_string(s.height) + " frame");
        return false;
    }
    return true;
}

std::int32_t EmulatedHost::CallUpdate() {
    State& s = *state_;
    if (!s.table) return 0;
    std::int32_t result = EditorCall(s.table->UpdateFunc, s.table);
    if (result) s.tracksPending = false;
    return result;
}

std::int32_t EmulatedHost::CallProc(ProcInfo* info) {
    State& s = *state_;
    if (!s.table) return 0;
    return EditorCall(s.table->ProcFunc, s.table, info);
}

std::int32_t EmulatedHost::CallExit() {
    State& s = *state_;
    if (!s.table) return 0;
    s.initialised = false;
    return EditorCall(s.table->ExitFunc, s.table);
}

}  // namespace velgarde
