#include "host/WorkerPool.h"

namespace velgarde {

namespace {

// Set while this thread executes a call of some pool's run.
thread_local bool insideRun = false;

struct InsideRun {
    bool saved = insideRun;
    InsideRun() { insideRun = true; }
    ~InsideRun() { insideRun = saved; }
};

}  // namespace

int WorkerPool::DefaultThreadCount() {
    unsigned n = std::thread::hardware_concurrency();
    if (n < 1) return 1;
    if (n > 1024) return 1024;
    return static_cast<int>(n);
}

WorkerPool::WorkerPool(int threadCount)
    : count_(threadCount > 0 ? threadCount : DefaultThreadCount()) {
    threads_.reserve(static_cast<size_t>(count_ - 1));
    try {
        for (int i = 1; i < count_; ++i) threads_.emplace_back(&WorkerPool::WorkerLoop, this, i);
    } catch (...) {
        // Joinable threads must not be destroyed: stop the ones that started.
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
        throw;
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

bool WorkerPool::Invoke(MultiThreadFunc func, int index, int count, void* param1, void* param2) {
    InsideRun inside;
    try {
        func(index, count, param1, param2);
        return true;
    } catch (...) {
        return false;
    }
}

bool WorkerPool::Run(MultiThreadFunc func, void* param1, void* param2) {
    if (!func) return false;
    if (insideRun) {
        // The outer run holds a worker (or runMutex_): waiting for the pool
        // would never end.
        bool ok = true;
        for (int i = 0; i < count_; ++i) ok = Invoke(func, i, count_, param1, param2) && ok;
        return ok;
    }
    std::lock_guard<std::mutex> runLock(runMutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        func_ = func;
        param1_ = param1;
        param2_ = param2;
        pending_ = count_ - 1;
        failed_ = false;
        ++generation_;
    }
    wake_.notify_all();
    bool ok = Invoke(func, 0, count_, param1, param2);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    return ok && !failed_;
}

void WorkerPool::WorkerLoop(int index) {
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        MultiThreadFunc func = func_;
        void* param1 = param1_;
        void* param2 = param2_;
        lock.unlock();
        bool ok = Invoke(func, index, count_, param1, param2);
        lock.lock();
        if (!ok) failed_ = true;
        if (--pending_ == 0) done_.notify_one();
    }
}

}  // namespace velgarde
