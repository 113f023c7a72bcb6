// The group that counts worker threads so that the exit can wait for them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/WorkerGroup.h"

using namespace sentrel;
using namespace std::chrono_literals;

TEST(WorkerGroup, WaitsForItsWorkersWithinABound) {
    WorkerGroup group;
    std::atomic<bool> release{false};
    ASSERT_TRUE(group.Spawn([&] {
        while (!release) std::this_thread::sleep_for(1ms);
    }));
    EXPECT_EQ(1, group.Live());
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(group.WaitIdle(100ms)) << "a worker still runs";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    release = true;
    EXPECT_TRUE(group.WaitIdle(5s));
    EXPECT_EQ(0, group.Live());
}

TEST(WorkerGroup, AFailedSpawnRunsNothingAndCountsNothing) {
    WorkerGroup group;
    group.SetLimitForTesting(0);
    bool ran = false;
    EXPECT_FALSE(group.Spawn([&] { ran = true; }));
    EXPECT_EQ(0, group.Live());
    group.SetLimitForTesting(-1);
    EXPECT_TRUE(group.Spawn([] {}));
    EXPECT_TRUE(group.WaitIdle(5s));
    EXPECT_FALSE(ran);
}

TEST(WorkerGroup, JoinsWhatEndedAndLeavesAWorkerPastItsBoundToEndAlone) {
    auto release = std::make_shared<std::atomic<bool>>(false);
    const auto start = std::chrono::steady_clock::now();
    {
        WorkerGroup group;
        ASSERT_TRUE(group.Spawn([] {}));
        ASSERT_TRUE(group.Spawn([release] {
            while (!*release) std::this_thread::sleep_for(1ms);
        }));
        EXPECT_FALSE(group.JoinAll(100ms));
        EXPECT_EQ(0, group.Live()) << "one left to end alone is no longer counted";
    }  // the group goes at once
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    *release = true;
}
