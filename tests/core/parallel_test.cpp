// parallel_for hands every index to exactly one thread, round after round,
// and falls back to a plain loop inside a job or when turned off.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/parallel.h"

namespace {

TEST(parallel_for, EveryIndexRunsOnceInEveryRoundWhateverItsSize) {
    std::vector<std::atomic<int>> hits(257);
    std::atomic<int> other_thread{0};
    const std::thread::id caller = std::this_thread::get_id();
    // Many short rounds: a helper that wakes late for one round must neither
    // miss the next nor run an index twice.
    for (int round = 0; round < 3000; round++) {
        int count = round % 257;
        for (auto& h : hits) h = 0;
        parallel_for(count, [&](int i) {
            hits[(size_t)i]++;
            if (std::this_thread::get_id() != caller) other_thread++;
            if (round % 97 == 0)  // now and then a job long enough to share
                for (volatile int spin = 0; spin < 20000; spin = spin + 1) {
                }
        });
        for (int i = 0; i < 257; i++) ASSERT_EQ(hits[(size_t)i].load(), i < count ? 1 : 0) << "round " << round;
    }
    if (parallel_enabled()) EXPECT_GT(other_thread.load(), 0) << "the helper thread never took an index";
}

TEST(parallel_for, NestedCallsAndTurningItOffRunOnTheCallingThread) {
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> inner{0}, elsewhere{0};
    parallel_for(8, [&](int) {
        const std::thread::id outer = std::this_thread::get_id();
        parallel_for(4, [&](int) {
            inner++;
            if (std::this_thread::get_id() != outer) elsewhere++;
        });
    });
    EXPECT_EQ(inner.load(), 32);
    EXPECT_EQ(elsewhere.load(), 0);

    set_parallel_enabled(false);
    std::atomic<int> off_caller{0};
    parallel_for(64, [&](int) {
        if (std::this_thread::get_id() != caller) off_caller++;
    });
    set_parallel_enabled(true);
    EXPECT_EQ(off_caller.load(), 0);
}

}  // namespace
