#include "parallel.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

// Two threads run jobs while the pool is grown and shrunk: every item runs once, and (under
// ThreadSanitizer) nothing is read while another thread changes it.
TEST(Parallel, GrowingThePoolWhileJobsRun) {
    constexpr int kRounds = 200, kItems = 64;
    std::atomic<int64_t> total{0};
    const auto worker = [&](int AFirstThreads) {
        for (int round = 0; round < kRounds; ++round) {
            SetWorkerThreads(AFirstThreads + round % 5);
            ParallelFor(kItems, [&](int i) { total += i + 1; });
        }
    };
    std::thread a(worker, 1), b(worker, 3);
    a.join();
    b.join();
    SetWorkerThreads(0);
    EXPECT_EQ(total.load(), int64_t(2) * kRounds * kItems * (kItems + 1) / 2);
}

TEST(Parallel, TheFirstErrorReachesTheCaller) {
    SetWorkerThreads(3);
    EXPECT_THROW(ParallelFor(100,
                             [](int i) {
                                 if (i == 57)
                                     throw std::runtime_error("item 57");
                             }),
                 std::runtime_error);
    SetWorkerThreads(0);
}

} // namespace
