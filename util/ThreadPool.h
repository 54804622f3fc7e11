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
    // returned. The other indices go to whichever thread claims them first:
    // a worker, or the caller once its own share is done, so a run never
    // waits for a worker the system has not scheduled yet. No index runs
    // twice, so per-index scratch is safe. One Run at a time per pool:
    // callers that share a pool serialise their runs themselves. Task must
    // not throw.
    void Run(TaskFn Task, void* Context) { Run(Task, Context, Size()); }
    // The same over Shares indices (0 counts as 1): Task(i, Shares, Context)
    // for i in 0 .. Shares - 1. More shares than threads keep the threads
    // busy when one of them is held up: the others take its remaining shares.
    void Run(TaskFn Task, void* Context, unsigned Shares);

private:
    void WorkerLoop();

    std::vector<std::thread> Workers;
    std::mutex Lock;
    std::condition_variable WorkReady;
    std::condition_variable WorkDone;
    TaskFn Task = nullptr;
    void* Context = nullptr;
    std::uint64_t Generation = 0;  // bumped once per run
    unsigned Shares = 0;           // indices of the current run
    unsigned Next = 0;             // the next unclaimed index of the current run
    unsigned Unfinished = 0;       // indices from 1 up not yet returned
    bool Stopping = false;
};

// Online processors, at least 1.
unsigned ProcessorCount();
