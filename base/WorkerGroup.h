#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace sentrel {

/// Short-lived worker threads (alert mails, a test mail, a keyring call) owned by their
/// program part: each runs on a std::thread that the group joins once it has finished,
/// and all of them when the group is told to end, within a bound.
class WorkerGroup {
  public:
    WorkerGroup() = default;
    /// Joins every worker, waiting for them at most a short while.
    ~WorkerGroup();
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;

    /// Starts `work` on a new thread; false (and `work` not run) when no thread can be made.
    bool Spawn(std::function<void()> work);

    /// Waits until every worker has finished or `bound` has passed; true when all finished.
    bool WaitIdle(std::chrono::milliseconds bound);
    /// Waits as WaitIdle, then joins the workers that finished. One still at work after the
    /// bound is left to end on its own (it holds only what it owns); false then.
    bool JoinAll(std::chrono::milliseconds bound);

    int Live() const;

    /// Test seam: Spawn fails while `limit` workers are alive (negative: no limit), as it
    /// does when the system cannot make another thread.
    void SetLimitForTesting(int limit);

  private:
    // What a worker touches when it ends: kept alive by the worker too, so that one left to
    // end alone never reaches into a group that is gone.
    struct Shared {
        std::mutex mutex;
        std::condition_variable idle;
        int live = 0;
    };
    enum State { kRunning, kDone, kLeft };
    struct Worker {
        std::thread thread;
        std::shared_ptr<State> state;  // guarded by Shared::mutex
    };
    void JoinFinished();

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::list<Worker> m_workers;  // guarded by Shared::mutex
    int m_nLimit = -1;
};

}  // namespace sentrel
