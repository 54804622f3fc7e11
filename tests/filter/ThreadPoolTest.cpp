#include "util/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Tally {
    std::vector<std::atomic<int>> Calls;
    std::atomic<int> WrongCount{0};
    std::thread::id Caller = std::this_thread::get_id();
    std::atomic<bool> IndexZeroOnCaller{false};
    explicit Tally(unsigned N) : Calls(N) {}
};

void Count(unsigned Index, unsigned Size, void* Context) {
    Tally& T = *static_cast<Tally*>(Context);
    if (Size != T.Calls.size()) T.WrongCount++;
    if (Index < T.Calls.size()) T.Calls[Index]++;
    if (Index == 0) T.IndexZeroOnCaller = std::this_thread::get_id() == T.Caller;
}

TEST(ThreadPool, EveryIndexOnceIndexZeroOnTheCallerOverManyRuns) {
    for (unsigned N : {0u, 1u, 2u, 7u}) {
        SCOPED_TRACE(N);
        TThreadPool Pool(N);
        ASSERT_EQ(Pool.Size(), N == 0 ? 1u : N);
        for (int Run = 0; Run < 200; ++Run) {
            Tally T(Pool.Size());
            Pool.Run(Count, &T);
            for (unsigned i = 0; i < Pool.Size(); ++i) ASSERT_EQ(T.Calls[i].load(), 1) << i;
            EXPECT_EQ(T.WrongCount.load(), 0);
            EXPECT_TRUE(T.IndexZeroOnCaller.load());
        }
    }
}

TEST(ThreadPool, MoreSharesThanThreadsEachRunOnce) {
    TThreadPool Pool(3);
    for (unsigned Shares : {0u, 1u, 2u, 8u, 33u}) {
        const unsigned Want = Shares == 0 ? 1 : Shares;
        for (int Run = 0; Run < 50; ++Run) {
            Tally T(Want);
            Pool.Run(Count, &T, Shares);
            for (unsigned i = 0; i < Want; ++i) ASSERT_EQ(T.Calls[i].load(), 1) << Shares << " " << i;
            EXPECT_EQ(T.WrongCount.load(), 0);
            EXPECT_TRUE(T.IndexZeroOnCaller.load());
        }
    }
}

TEST(ThreadPool, PoolsOnSeveralThreadsRunIndependently) {
    std::vector<std::thread> Users;
    std::atomic<int> Failures{0};
    for (int u = 0; u < 4; ++u)
        Users.emplace_back([&] {
            TThreadPool Pool(3);
            for (int Run = 0; Run < 100; ++Run) {
                Tally T(Pool.Size());
                Pool.Run(Count, &T);
                for (auto& C : T.Calls)
                    if (C.load() != 1) Failures++;
            }
        });
    for (auto& U : Users) U.join();
    EXPECT_EQ(Failures.load(), 0);
}

}  // namespace
