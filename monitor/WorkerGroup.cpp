#include "WorkerGroup.h"

#include <system_error>
#include <thread>

namespace sentrel {

bool WorkerGroup::Spawn(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_nLimit >= 0 && m_nLive >= m_nLimit) return false;
        ++m_nLive;
    }
    try {
        std::thread([this, work = std::move(work)]() mutable {
            work();
            work = nullptr;  // release what the work captured before counting it done
            Finished();
        }).detach();
    } catch (const std::system_error&) {
        Finished();
        return false;
    }
    return true;
}

void WorkerGroup::Finished() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_nLive == 0) m_idle.notify_all();
}

bool WorkerGroup::WaitIdle(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_for(lock, bound, [this] { return m_nLive == 0; });
}

void WorkerGroup::SetLimitForTesting(int limit) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nLimit = limit;
}

int WorkerGroup::Live() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nLive;
}

WorkerGroup& Workers() {
    static WorkerGroup* group = new WorkerGroup;  // never destroyed: workers may outlive main
    return *group;
}

}  // namespace sentrel
