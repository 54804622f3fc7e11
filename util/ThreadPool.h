// A fixed set of worker threads, started once and reused for every run, for
// the hosts that bring no threads of their own (frei0r, the successor
// editor's plug-in).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class TThreadPool {
public:
    using TaskFn = void (*)(unsigned Index, unsigned Count, void* Context);

    // Threads - 1 workers are started (index 0 runs on the caller); 0 counts
    // as 1. If a worker cannot be started the pool keeps the ones it has,
    // so Size() may be smaller than asked for, never 0. Never throws.
    explicit TThreadPool(unsigned Threads);
    ~TThreadPool();  // stops and joins the workers
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    unsigned Size() const { return static_cast<unsigned>(Workers.size()) + 1; }

    // Calls Task(i, Size(), Context) once for every i in 0 .. Size() - 1,
    // index 0 on the calling thread, and returns when all calls have
    // returned. One Run at a time per pool: callers that share a pool
    // serialise their runs themselves. Task must not throw.
    void Run(TaskFn Task, void* Context);

private:
    void WorkerLoop(unsigned Index);

    std::vector<std::thread> Workers;
    std::mutex Lock;
    std::condition_variable WorkReady;
    std::condition_variable WorkDone;
    TaskFn Task = nullptr;
    void* Context = nullptr;
    std::uint64_t Generation = 0;  // bumped once per run
    unsigned Pending = 0;          // workers still inside the current run
    bool Stopping = false;
};

// Online processors, at least 1.
unsigned ProcessorCount();
