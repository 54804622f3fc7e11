#include "host/WorkerPool.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host/EditorCall.h"

namespace velgarde {

// The standard library's threads on every target (MinGW's posix thread model
// included). The editor's calling conditions are set per call (EditorCall),
// so how a thread starts does not matter to them.

namespace {

// Set while this thread executes a call of some pool's run.
thread_local bool insideRun = false;

bool Invoke(MultiThreadFunc func, int index, int count, void* param1, void* param2) {
    const bool saved = insideRun;
    insideRun = true;
    bool ok = true;
    try {
        EditorCall(func, index, count, param1, param2);
    } catch (...) {
        ok = false;
    }
    insideRun = saved;
    return ok;
}

}  // namespace

struct WorkerPool::Shared {
    int count = 0;
    std::mutex runMutex;  // one run at a time
    std::mutex mutex;     // guards everything below
    std::condition_variable wake;
    std::condition_variable done;
    std::uint64_t generation = 0;
    int pending = 0;
    bool failed = false;
    bool stopping = false;
    MultiThreadFunc func = nullptr;
    void* param1 = nullptr;
    void* param2 = nullptr;
    std::vector<std::thread> threads;

    void Loop(int index) {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stopping || generation != seen; });
            if (stopping) break;
            seen = generation;
            MultiThreadFunc f = func;
            void* p1 = param1;
            void* p2 = param2;
            lock.unlock();
            const bool ok = Invoke(f, index, count, p1, p2);
            lock.lock();
            if (!ok) failed = true;
            if (--pending == 0) done.notify_one();
        }
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& t : threads) t.join();
        threads.clear();
    }
};

int WorkerPool::DefaultThreadCount() {
    const int n = static_cast<int>(std::thread::hardware_concurrency());
    if (n < 1) return 1;
    if (n > 1024) return 1024;
    return n;
}

WorkerPool::WorkerPool(int threadCount)
    : count_(threadCount > 0 ? threadCount : DefaultThreadCount()), shared_(new Shared) {
    Shared& s = *shared_;
    s.count = count_;
    s.threads.reserve(static_cast<size_t>(count_));
    try {
        for (int i = 1; i < count_; ++i) s.threads.emplace_back([&s, i] { s.Loop(i); });
    } catch (const std::exception& e) {
        // Stop the threads that did start before giving up.
        s.Stop();
        throw std::runtime_error(std::string("cannot start a thread: ") + e.what());
    }
}

WorkerPool::~WorkerPool() { shared_->Stop(); }

bool WorkerPool::Run(MultiThreadFunc func, void* param1, void* param2) {
    if (!func) return false;
    Shared& s = *shared_;
    if (insideRun) {
        // The outer run holds a worker (or the run lock): waiting for the
        // pool would never end.
        bool ok = true;
        for (int i = 0; i < count_; ++i) ok = Invoke(func, i, count_, param1, param2) && ok;
        return ok;
    }
    std::lock_guard<std::mutex> runLock(s.runMutex);
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.func = func;
        s.param1 = param1;
        s.param2 = param2;
        s.pending = count_ - 1;
        s.failed = false;
        ++s.generation;
    }
    s.wake.notify_all();
    const bool ok = Invoke(func, 0, count_, param1, param2);
    std::unique_lock<std::mutex> lock(s.mutex);
    s.done.wait(lock, [&] { return s.pending == 0; });
    return ok && !s.failed;
}

}  // namespace velgarde
