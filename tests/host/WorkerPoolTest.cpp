#include "host/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using velgarde::WorkerPool;

struct Tally {
    std::vector<std::atomic<int>> calls;
    std::atomic<int> wrongCount{0};
    std::atomic<int> wrongParam{0};
    int expectedCount;
    explicit Tally(int n) : calls(static_cast<size_t>(n)), expectedCount(n) {}
};

int marker;

void AVIUTL_CDECL CountCall(std::int32_t index, std::int32_t count, void* param1, void* param2) {
    Tally& t = *static_cast<Tally*>(param1);
    if (count != t.expectedCount) t.wrongCount.fetch_add(1);
    if (param2 != &marker) t.wrongParam.fetch_add(1);
    if (index >= 0 && index < static_cast<int>(t.calls.size())) t.calls[static_cast<size_t>(index)]++;
    // A little work so that the calls overlap and a missing wait shows.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void ExpectEveryIndexOnce(WorkerPool& pool, int runs) {
    for (int run = 0; run < runs; ++run) {
        Tally tally(pool.ThreadCount());
        ASSERT_TRUE(pool.Run(CountCall, &tally, &marker));
        // Run has returned: every call must be complete and visible.
        for (int i = 0; i < pool.ThreadCount(); ++i)
            ASSERT_EQ(tally.calls[static_cast<size_t>(i)].load(), 1) << "index " << i << " run " << run;
        EXPECT_EQ(tally.wrongCount.load(), 0);
        EXPECT_EQ(tally.wrongParam.load(), 0);
    }
}

TEST(WorkerPool, EveryIndexOnceWithTheSameCountOverRepeatedRuns) {
    for (int n : {1, 2, 3, 8, 13}) {
        SCOPED_TRACE(n);
        WorkerPool pool(n);
        EXPECT_EQ(pool.ThreadCount(), n);
        ExpectEveryIndexOnce(pool, 50);
    }
}

TEST(WorkerPool, DefaultIsTheProcessorCount) {
    const int expected = WorkerPool::DefaultThreadCount();
    EXPECT_GE(expected, 1);
    if (std::thread::hardware_concurrency() > 0) {
        EXPECT_EQ(expected, static_cast<int>(std::thread::hardware_concurrency()));
    }
    WorkerPool pool(0);
    EXPECT_EQ(pool.ThreadCount(), expected);
    WorkerPool negative(-3);
    EXPECT_EQ(negative.ThreadCount(), expected);
    ExpectEveryIndexOnce(pool, 5);
}

// Each call waits until all have started: only a pool that really runs them
// at the same time gets through.
struct Rendezvous {
    std::atomic<int> arrived{0};
    std::atomic<int> timedOut{0};
    std::atomic<int> distinctThreads{0};
    int count;
};

void AVIUTL_CDECL MeetEveryone(std::int32_t, std::int32_t count, void* param1, void*) {
    Rendezvous& r = *static_cast<Rendezvous*>(param1);
    r.arrived.fetch_add(1);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (r.arrived.load() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            r.timedOut.fetch_add(1);
            return;
        }
        std::this_thread::yield();
    }
}

TEST(WorkerPool, CallsRunConcurrently) {
    for (int n : {2, 13}) {
        SCOPED_TRACE(n);
        WorkerPool pool(n);
        for (int run = 0; run < 3; ++run) {
            Rendezvous r;
            r.count = n;
            ASSERT_TRUE(pool.Run(MeetEveryone, &r, nullptr));
            EXPECT_EQ(r.arrived.load(), n);
            EXPECT_EQ(r.timedOut.load(), 0);
        }
    }
}

void AVIUTL_CDECL ThrowOnOne(std::int32_t index, std::int32_t, void* param1, void*) {
    static_cast<std::atomic<int>*>(param1)->fetch_add(1);
    if (index == 1) throw std::runtime_error("thread function failed");
}

void AVIUTL_CDECL ThrowOnZero(std::int32_t index, std::int32_t, void* param1, void*) {
    std::this_thread::sleep_for(std::chrono::milliseconds(index == 0 ? 0 : 20));
    static_cast<std::atomic<int>*>(param1)->fetch_add(1);
    if (index == 0) throw std::runtime_error("thread function failed");
}

TEST(WorkerPool, AThrowingCallFailsTheRunButTheOthersFinishAndThePoolLives) {
    WorkerPool pool(4);
    std::atomic<int> calls{0};
    EXPECT_FALSE(pool.Run(ThrowOnOne, &calls, nullptr));
    EXPECT_EQ(calls.load(), 4);
    // On the calling thread too: Run still waits for the workers.
    calls = 0;
    EXPECT_FALSE(pool.Run(ThrowOnZero, &calls, nullptr));
    EXPECT_EQ(calls.load(), 4);
    ExpectEveryIndexOnce(pool, 3);
}

struct Nested {
    WorkerPool* pool;
    std::atomic<int> innerCalls{0};
    std::atomic<int> innerFailures{0};
};

void AVIUTL_CDECL InnerCall(std::int32_t, std::int32_t, void* param1, void*) {
    static_cast<Nested*>(param1)->innerCalls.fetch_add(1);
}

void AVIUTL_CDECL OuterCall(std::int32_t, std::int32_t, void* param1, void*) {
    Nested& n = *static_cast<Nested*>(param1);
    if (!n.pool->Run(InnerCall, &n, nullptr)) n.innerFailures.fetch_add(1);
}

TEST(WorkerPool, ARunFromInsideARunCompletesInsteadOfDeadlocking) {
    WorkerPool pool(3);
    Nested n;
    n.pool = &pool;
    ASSERT_TRUE(pool.Run(OuterCall, &n, nullptr));
    EXPECT_EQ(n.innerCalls.load(), 9);
    EXPECT_EQ(n.innerFailures.load(), 0);
}

TEST(WorkerPool, RunsFromSeveralThreadsAreSerialised) {
    WorkerPool pool(3);
    std::vector<std::thread> callers;
    std::atomic<int> failures{0};
    for (int c = 0; c < 3; ++c)
        callers.emplace_back([&] {
            for (int run = 0; run < 20; ++run) {
                Tally tally(3);
                if (!pool.Run(CountCall, &tally, &marker)) failures++;
                for (auto& calls : tally.calls)
                    if (calls.load() != 1) failures++;
            }
        });
    for (auto& t : callers) t.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(WorkerPool, NullFunctionIsRefused) {
    WorkerPool pool(2);
    EXPECT_FALSE(pool.Run(nullptr, nullptr, nullptr));
}

}  // namespace
