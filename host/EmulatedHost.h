// An emulated host editor: loads a plug-in module, lends it worker threads
// through MultiThreadRun, owns the frame buffers and drives the callbacks in
// the order the real host does. On i686 every callback and thread function
// runs as the editor runs it: misaligned stack, x87 at 53-bit precision
// (host/EditorCall.h). Shared by the tests, the benchmarks and the velgarde
// command-line tool.
#pragma once

#include <array>
#include <cstddef>
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
    // callbacks), starts `threads` workers (0: the processor count; negative
    // is refused) and calls FilterInit. On failure returns false with a
    // one-line reason in *error and leaves the host closed. A bare file name
    // means the file in the current directory.
    //
    // The plug-in reaches the pool through a process-wide pointer (its
    // MultiThreadRun has no context argument), and its engine is process-wide
    // as well: while one EmulatedHost has a plug-in open, Open on another
    // fails with a message. Open on an open host closes it first.
    bool Open(const std::string& modulePath, int threads, std::string* error);
    // FilterExit (if initialised) and unload. Safe to call twice.
    void Close();
    bool IsOpen() const;

    const FilterTable& Table() const;
    int ThreadCount() const;

    // Track values start at the table's defaults. A change is handed to the
    // plug-in (FilterUpdate) before the next frame; so are the defaults,
    // before the first frame. Values are stored as given, not clamped to the
    // table's range; an index outside 0..4 is ignored (Track returns 0).
    std::int32_t Track(int index) const;
    void SetTrack(int index, std::int32_t value);

    // The host-owned frame for the next Process call: width x height pixels
    // with a row pitch of maxWidth pixels (maxWidth >= width). Contents are
    // kept while the geometry is unchanged; a new geometry starts zeroed.
    // Returns null for a size it cannot allocate, and for one no host would
    // hand over (negative sizes, maxWidth < width, 4-row strides beyond
    // int32). TempFrame is sized and 16-byte aligned for the plug-in's work
    // plane, and is never smaller than the frame.
    PixelYC* PrepareFrame(int width, int height, int maxWidth);
    int Width() const;
    int Height() const;
    int MaxWidth() const;
    // The prepared buffers (null before a successful PrepareFrame).
    PixelYC* Frame() const;
    void* TempFrame() const;
    std::size_t TempFrameSize() const;

    // FilterUpdate if tracks changed, then FilterProc on the prepared frame, in
    // place. A callback's FALSE result becomes false with a reason in *error.
    bool Process(std::string* error);

    // Raw access for tests: the callbacks as the host would call them, with
    // the open table (0 when nothing is open). CallUpdate clears the pending
    // track change on success; after CallExit, Close calls no FilterExit.
    std::int32_t CallUpdate();
    std::int32_t CallProc(ProcInfo* info);
    std::int32_t CallExit();
    FilterTable* MutableTable();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace velgarde
