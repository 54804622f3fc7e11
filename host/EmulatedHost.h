// An emulated host editor: loads a plug-in module, lends it worker threads
// through MultiThreadRun, owns the frame buffers and drives the callbacks in
// the order the real host does. Shared by the tests, the benchmarks and the
// velgarde command-line tool.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "plugin/AviUtlPlugin.h"

namespace velgarde {

class PluginModule;
class WorkerPool;

class EmulatedHost {
public:
    static constexpr int TrackCount = 5;

    EmulatedHost();
    ~EmulatedHost();  // FilterExit if still initialised, then stops the pool and unloads
    EmulatedHost(const EmulatedHost&) = delete;
    EmulatedHost& operator=(const EmulatedHost&) = delete;

    // Loads the module at `modulePath`, checks its table (five tracks, four
    // callbacks), starts `threads` workers (0: the processor count) and calls
    // FilterInit. On failure returns false with a one-line reason in *error.
    bool Open(const std::string& modulePath, int threads, std::string* error);
    // FilterExit (if initialised) and unload. Safe to call twice.
    void Close();

    const FilterTable& Table() const;
    int ThreadCount() const;

    // Track values start at the table's defaults. A change is handed to the
    // plug-in (FilterUpdate) before the next frame.
    std::int32_t Track(int index) const;
    void SetTrack(int index, std::int32_t value);

    // The host-owned frame for the next Process call: width x height pixels
    // with a row pitch of maxWidth pixels (maxWidth >= width). Contents are
    // kept while the geometry is unchanged. Returns null for a size it cannot
    // allocate. TempFrame is sized and aligned for the plug-in's work plane.
    PixelYC* PrepareFrame(int width, int height, int maxWidth);
    int Width() const;
    int Height() const;
    int MaxWidth() const;

    // FilterUpdate if tracks changed, then FilterProc on the prepared frame, in
    // place. A callback's FALSE result becomes false with a reason in *error.
    bool Process(std::string* error);

    // Raw access for tests: the callbacks as the host would call them.
    std::int32_t CallUpdate();
    std::int32_t CallProc(ProcInfo* info);
    std::int32_t CallExit();
    FilterTable* MutableTable();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace velgarde
