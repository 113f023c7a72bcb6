// The flags that stop watchers: one per run, one per watcher below it, the exit above all.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "probe/RunFlag.h"

using namespace sentrel;
using namespace std::chrono_literals;

TEST(RunFlag, AWatcherFlagStopsAloneOrWithItsRun) {
    auto exit = std::make_shared<CRunFlag>();
    auto run = CRunFlag::MakeChild(exit, "RUN");
    auto a = CRunFlag::MakeChild(run, "RUN");
    auto b = CRunFlag::MakeChild(run, "RUN");

    a->Set("STOP");  // a deleted row: its watcher alone
    EXPECT_TRUE(a->IsStop());
    EXPECT_FALSE(b->IsStop());
    EXPECT_FALSE(run->IsStop()) << "a child never stops its parent";

    run->Set("STOP");  // the Stop button
    EXPECT_TRUE(b->IsStop());
    EXPECT_EQ("RUN", b->Text()) << "the word shown is the flag's own";
    EXPECT_FALSE(b->IsAborted());

    auto next = CRunFlag::MakeChild(exit, "RUN");
    EXPECT_FALSE(next->IsStop()) << "a new run is not stopped by the old one";
    exit->Abort();
    EXPECT_TRUE(b->IsAborted() && next->IsAborted() && next->IsStop());
}

namespace {
// Sleeps on `sleeper` for up to 30 s while `stopper` turns to "STOP"; how long it slept.
std::chrono::steady_clock::duration SleepUntilStopped(const RunFlagPtr& sleeper,
                                                      const RunFlagPtr& stopper) {
    auto start = std::chrono::steady_clock::now();
    std::thread t([&] { EXPECT_TRUE(sleeper->SleepUnlessStopped(30s)); });
    std::this_thread::sleep_for(50ms);
    stopper->Set("STOP");
    t.join();
    return std::chrono::steady_clock::now() - start;
}
}  // namespace

TEST(RunFlag, ASleeperOnAChildWakesWhenAnAncestorStops) {
    auto exit = std::make_shared<CRunFlag>();
    auto run = CRunFlag::MakeChild(exit, "RUN");
    EXPECT_LT(SleepUntilStopped(CRunFlag::MakeChild(run, "RUN"), run), 5s) << "its run";
    auto run2 = CRunFlag::MakeChild(exit, "RUN");
    EXPECT_LT(SleepUntilStopped(CRunFlag::MakeChild(run2, "RUN"), exit), 5s) << "the exit";
}

TEST(RunFlag, ChildrenThatEndedAreForgottenAndSiblingsSleepOn) {
    auto exit = std::make_shared<CRunFlag>();
    std::weak_ptr<CRunFlag> gone;
    {
        auto run = CRunFlag::MakeChild(exit, "RUN");
        gone = run;
    }
    EXPECT_TRUE(gone.expired()) << "the parent does not hold its children";
    auto run = CRunFlag::MakeChild(exit, "RUN");
    auto page = CRunFlag::MakeChild(run, "RUN"), sibling = CRunFlag::MakeChild(run, "RUN");
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        sibling->Set("STOP");
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(page->SleepUnlessStopped(300ms)) << "a sibling's stop is not its own";
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms) << "it slept its period out";
    stopper.join();
    exit->Set("STOP");
    EXPECT_TRUE(page->IsStop());
}

TEST(RunFlag, EachRunHasItsOwnFlag) {
    // A quick Stop then Start must not revive the watchers of the previous run.
    auto oldRun = std::make_shared<CRunFlag>("RUN");
    oldRun->Set("STOP");
    auto newRun = std::make_shared<CRunFlag>("RUN");
    EXPECT_TRUE(oldRun->IsStop());
    EXPECT_FALSE(newRun->IsStop());
    EXPECT_EQ("RUN", newRun->Text());
    EXPECT_TRUE(oldRun->SleepUnlessStopped(10s)) << "a stopped flag does not sleep";
}
