// A fixed set of worker threads, started once and reused for every run: the
// host's side of MultiThreadRun.
#pragma once

#include <memory>

#include "plugin/AviUtlPlugin.h"

namespace velgarde {

class WorkerPool {
public:
    // The processor count, at least 1.
    static int DefaultThreadCount();

    // `threadCount` <= 0 means DefaultThreadCount(). Index 0 of every run
    // executes on the calling thread, so threadCount - 1 threads are started.
    // Throws std::runtime_error if a thread cannot be started.
    explicit WorkerPool(int threadCount = 0);
    ~WorkerPool();  // stops and joins the workers
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int ThreadCount() const { return count_; }

    // Calls func(i, ThreadCount(), param1, param2) once for every i in
    // 0 .. ThreadCount() - 1, concurrently, and returns when all calls have
    // returned. Runs from several threads are serialised. A run started from
    // inside a call of this or another pool executes its calls one after the
    // other on that thread rather than deadlock. Returns false if a call
    // threw (every other call still completes). Each call is made as the
    // editor makes it (host/EditorCall.h).
    bool Run(MultiThreadFunc func, void* param1, void* param2);

private:
    struct Shared;
    int count_;
    std::unique_ptr<Shared> shared_;
};

}  // namespace velgarde
