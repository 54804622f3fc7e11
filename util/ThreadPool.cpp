#include "util/ThreadPool.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

TThreadPool::TThreadPool(unsigned Threads) {
    const unsigned Wanted = Threads > 1 ? Threads - 1 : 0;
    try {
        Workers.reserve(Wanted);
        for (unsigned i = 0; i < Wanted; ++i)
            Workers.emplace_back(&TThreadPool::WorkerLoop, this);
    } catch (...) {
        // Fewer threads, same results: the shares follow Size().
    }
}

TThreadPool::~TThreadPool() {
    {
        std::lock_guard<std::mutex> Guard(Lock);
        Stopping = true;
    }
    WorkReady.notify_all();
    for (std::thread& Worker : Workers) Worker.join();
}

void TThreadPool::Run(TaskFn NewTask, void* NewContext, unsigned NewShares) {
    const unsigned Count = NewShares > 0 ? NewShares : 1;
    if (Count > 1 && !Workers.empty()) {
        {
            std::lock_guard<std::mutex> Guard(Lock);
            Task = NewTask;
            Context = NewContext;
            Shares = Count;
            Next = 1;
            Unfinished = Count - 1;
            ++Generation;
        }
        WorkReady.notify_all();
    }
    NewTask(0, Count, NewContext);
    if (Count == 1) return;
    if (Workers.empty()) {
        for (unsigned Index = 1; Index < Count; ++Index) NewTask(Index, Count, NewContext);
        return;
    }
    std::unique_lock<std::mutex> Guard(Lock);
    while (Next < Count) {
        const unsigned Index = Next++;
        Guard.unlock();
        NewTask(Index, Count, NewContext);
        Guard.lock();
        --Unfinished;
    }
    WorkDone.wait(Guard, [this] { return Unfinished == 0; });
}

void TThreadPool::WorkerLoop() {
    std::uint64_t Seen = 0;
    std::unique_lock<std::mutex> Guard(Lock);
    for (;;) {
        WorkReady.wait(Guard, [&] { return Stopping || Generation != Seen; });
        if (Stopping) return;
        Seen = Generation;
        const unsigned Count = Shares;
        // Claims happen under the lock, and a run cannot end while a claimed
        // index is unfinished, so every claim belongs to the run it reads.
        while (Next < Count) {
            const unsigned Index = Next++;
            const TaskFn MyTask = Task;
            void* const MyContext = Context;
            Guard.unlock();
            MyTask(Index, Count, MyContext);
            Guard.lock();
            if (--Unfinished == 0) WorkDone.notify_one();
        }
    }
}

unsigned ProcessorCount() {
#if defined(_WIN32)
    SYSTEM_INFO Info;
    GetSystemInfo(&Info);
    return Info.dwNumberOfProcessors > 0 ? Info.dwNumberOfProcessors : 1u;
#else
    const long Count = sysconf(_SC_NPROCESSORS_ONLN);
    return Count > 0 ? static_cast<unsigned>(Count) : 1u;
#endif
}
