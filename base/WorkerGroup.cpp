#include "base/WorkerGroup.h"

#include <system_error>

namespace sentrel {

namespace {
// What a group waits for its workers when it goes: enough for a cancelled mail to end.
constexpr std::chrono::seconds kEndBound(3);
}  // namespace

WorkerGroup::~WorkerGroup() {
    JoinAll(kEndBound);
}

bool WorkerGroup::Spawn(std::function<void()> work) {
    JoinFinished();
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (m_nLimit >= 0 && m_shared->live >= m_nLimit) return false;
    Worker worker{std::thread(), std::make_shared<State>(kRunning)};
    try {
        worker.thread = std::thread([shared = m_shared, state = worker.state,
                                     work = std::move(work)]() mutable {
            work();
            work = nullptr;  // release what the work captured before counting it done
            std::lock_guard<std::mutex> end(shared->mutex);
            if (*state == kLeft) return;  // no longer counted
            *state = kDone;
            if (--shared->live == 0) shared->idle.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    ++m_shared->live;
    m_workers.push_back(std::move(worker));
    return true;
}

void WorkerGroup::JoinFinished() {
    std::list<Worker> finished;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();)
            if (*it->state == kDone)
                finished.splice(finished.end(), m_workers, it++);
            else
                ++it;
    }
    for (Worker& w : finished) w.thread.join();  // ended already: at once
}

bool WorkerGroup::WaitIdle(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->idle.wait_for(lock, bound, [this] { return m_shared->live == 0; });
}

bool WorkerGroup::JoinAll(std::chrono::milliseconds bound) {
    const bool idle = WaitIdle(bound);
    JoinFinished();
    if (!idle) {
        // Still at work past the bound (a mail server that holds on): left to end alone.
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        for (Worker& w : m_workers) {
            if (*w.state == kRunning) {
                *w.state = kLeft;
                --m_shared->live;
            }
            w.thread.detach();
        }
        m_workers.clear();
    }
    return idle;
}

void WorkerGroup::SetLimitForTesting(int limit) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_nLimit = limit;
}

int WorkerGroup::Live() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->live;
}

}  // namespace sentrel
