#include "RunFlag.h"

#include <algorithm>
#include <cstring>

namespace sentrel {

std::uint64_t CRunFlag::Pack(const char* word) {
    char bytes[8] = {0};
    if (word) std::strncpy(bytes, word, kMaxWord);
    std::uint64_t v = 0;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

std::size_t CRunFlag::ChildLinks() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_children.size();
}

std::shared_ptr<CRunFlag> CRunFlag::MakeChild(const std::shared_ptr<CRunFlag>& parent,
                                              const char* word) {
    auto child = std::make_shared<CRunFlag>(word);
    child->m_pParent = parent;
    if (parent) {
        std::lock_guard<std::mutex> lock(parent->m_mutex);
        auto& kids = parent->m_children;
        // Children that ended are swept when the list has doubled since the last sweep:
        // a run of 100,000 pages makes its flags in linear time, not quadratic.
        if (kids.size() >= 2 * parent->m_nSwept) {
            kids.erase(std::remove_if(kids.begin(), kids.end(),
                                      [](const std::weak_ptr<CRunFlag>& k) { return k.expired(); }),
                       kids.end());
            parent->m_nSwept = std::max<std::size_t>(kids.size(), 8);
        }
        kids.push_back(child);
    }
    return child;
}

void CRunFlag::Set(const char* word) {
    m_word.store(Pack(word), std::memory_order_release);
    WakeAll();
}

void CRunFlag::WakeAll() {
    std::vector<std::shared_ptr<CRunFlag>> kids;
    {
        // Taking the lock orders the store against a watcher that is about to wait,
        // so the wake-up cannot be lost.
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& k : m_children)
            if (auto child = k.lock()) kids.push_back(std::move(child));
    }
    m_wake.notify_all();
    for (const auto& child : kids) child->WakeAll();
}

std::string CRunFlag::Text() const {
    std::uint64_t v = m_word.load(std::memory_order_acquire);
    char bytes[9] = {0};
    std::memcpy(bytes, &v, sizeof v);
    return bytes;
}

bool CRunFlag::IsStop() const {
    static const std::uint64_t kStop = Pack("STOP");
    return m_word.load(std::memory_order_acquire) == kStop || (m_pParent && m_pParent->IsStop());
}

bool CRunFlag::IsAborted() const {
    return m_bAborted.load(std::memory_order_acquire) || (m_pParent && m_pParent->IsAborted());
}

void CRunFlag::Abort() {
    m_bAborted.store(true, std::memory_order_release);
    Set("STOP");
}

bool CRunFlag::SleepUnlessStopped(std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_wake.wait_for(lock, period, [this] { return IsStop(); });
}

}  // namespace sentrel
