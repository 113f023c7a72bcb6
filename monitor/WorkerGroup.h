#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace sentrel {

/// Counts the program's short-lived worker threads (watchers, alert mails) so that the
/// exit can wait for them within a bound. Workers run detached; nothing else holds them.
class WorkerGroup {
  public:
    /// Starts `work` on a new thread; false (and `work` not run) when no thread can be made.
    bool Spawn(std::function<void()> work);

    /// Waits until every worker has finished or `bound` has passed; true when all finished.
    bool WaitIdle(std::chrono::milliseconds bound);

    int Live() const;

    /// Test seam: Spawn fails while `limit` workers are alive (negative: no limit), as it
    /// does when the system cannot make another thread.
    void SetLimitForTesting(int limit);

  private:
    void Finished();

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_nLive = 0;
    int m_nLimit = -1;
};

/// The group every worker of this process belongs to.
WorkerGroup& Workers();

}  // namespace sentrel
