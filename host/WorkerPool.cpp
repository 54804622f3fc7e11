#include "host/WorkerPool.h"

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <process.h>
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace velgarde {

namespace {

// The few primitives the pool needs, on each platform's own threads.
#if defined(_WIN32)

class Mutex {
public:
    void Lock() { AcquireSRWLockExclusive(&lock_); }
    void Unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* Native() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class Condition {
public:
    void Wait(Mutex& mutex) { SleepConditionVariableSRW(&cv_, mutex.Native(), INFINITE, 0); }
    void NotifyOne() { WakeConditionVariable(&cv_); }
    void NotifyAll() { WakeAllConditionVariable(&cv_); }

private:
    CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};

class Thread {
public:
    template <typename Body>
    explicit Thread(Body* body) {
        // _beginthreadex rather than CreateThread: the C run-time is set up
        // for the new thread.
        handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Start<Body>, body, 0, nullptr));
        if (!handle_) throw std::runtime_error("cannot start a thread (error " + std::to_string(errno) + ")");
    }
    void Join() {
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    template <typename Body>
    static unsigned __stdcall Start(void* body) {
        (*static_cast<Body*>(body))();
        return 0;
    }
    HANDLE handle_ = nullptr;
};

int ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return static_cast<int>(info.dwNumberOfProcessors);
}

#else

class Mutex {
public:
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }
    std::mutex& Native() { return mutex_; }

private:
    std::mutex mutex_;
};

class Condition {
public:
    void Wait(Mutex& mutex) {
        std::unique_lock<std::mutex> lock(mutex.Native(), std::adopt_lock);
        cv_.wait(lock);
        lock.release();  // still held, as the caller expects
    }
    void NotifyOne() { cv_.notify_one(); }
    void NotifyAll() { cv_.notify_all(); }

private:
    std::condition_variable cv_;
};

class Thread {
public:
    template <typename Body>
    explicit Thread(Body* body) {
        try {
            thread_ = std::thread([body] { (*body)(); });
        } catch (const std::exception& e) {
            throw std::runtime_error(std::string("cannot start a thread: ") + e.what());
        }
    }
    void Join() { thread_.join(); }

private:
    std::thread thread_;
};

int ProcessorCount() { return static_cast<int>(std::thread::hardware_concurrency()); }

#endif

class Locked {
public:
    explicit Locked(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~Locked() { mutex_.Unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    Mutex& mutex_;
};

// Set while this thread executes a call of some pool's run.
thread_local bool insideRun = false;

bool Invoke(MultiThreadFunc func, int index, int count, void* param1, void* param2) {
    const bool saved = insideRun;
    insideRun = true;
    bool ok = true;
    try {
        func(index, count, param1, param2);
    } catch (...) {
        ok = false;
    }
    insideRun = saved;
    return ok;
}

}  // namespace

struct WorkerPool::Shared {
    struct Worker {
        Shared* shared;
        int index;
        void operator()() { shared->Loop(index); }
    };

    int count = 0;
    Mutex runMutex;  // one run at a time
    Mutex mutex;     // guards everything below
    Condition wake;
    Condition done;
    std::uint64_t generation = 0;
    int pending = 0;
    bool failed = false;
    bool stopping = false;
    MultiThreadFunc func = nullptr;
    void* param1 = nullptr;
    void* param2 = nullptr;
    std::vector<Worker> bodies;
    std::vector<Thread> threads;

    void Loop(int index) {
        std::uint64_t seen = 0;
        mutex.Lock();
        for (;;) {
            while (!stopping && generation == seen) wake.Wait(mutex);
            if (stopping) break;
            seen = generation;
            MultiThreadFunc f = func;
            void* p1 = param1;
            void* p2 = param2;
            mutex.Unlock();
            const bool ok = Invoke(f, index, count, p1, p2);
            mutex.Lock();
            if (!ok) failed = true;
            if (--pending == 0) done.NotifyOne();
        }
        mutex.Unlock();
    }

    void Stop() {
        {
            Locked lock(mutex);
            stopping = true;
        }
        wake.NotifyAll();
        for (Thread& t : threads) t.Join();
        threads.clear();
    }
};

int WorkerPool::DefaultThreadCount() {
    int n = ProcessorCount();
    if (n < 1) return 1;
    if (n > 1024) return 1024;
    return n;
}

WorkerPool::WorkerPool(int threadCount)
    : count_(threadCount > 0 ? threadCount : DefaultThreadCount()), shared_(new Shared) {
    Shared& s = *shared_;
    s.count = count_;
    // Reserved up front: the threads hold pointers into `bodies`.
    s.bodies.reserve(static_cast<size_t>(count_));
    s.threads.reserve(static_cast<size_t>(count_));
    try {
        for (int i = 1; i < count_; ++i) {
            s.bodies.push_back(Shared::Worker{&s, i});
            s.threads.emplace_back(&s.bodies.back());
        }
    } catch (...) {
        // Stop the threads that did start before giving up.
        s.Stop();
        throw;
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
    Locked runLock(s.runMutex);
    {
        Locked lock(s.mutex);
        s.func = func;
        s.param1 = param1;
        s.param2 = param2;
        s.pending = count_ - 1;
        s.failed = false;
        ++s.generation;
    }
    s.wake.NotifyAll();
    const bool ok = Invoke(func, 0, count_, param1, param2);
    Locked lock(s.mutex);
    while (s.pending != 0) s.done.Wait(s.mutex);
    return ok && !s.failed;
}

}  // namespace velgarde
