#include "probe/RunFlag.h"

#include <cstring>

namespace sentrel {

std::uint64_t CRunFlag::Pack(const char* word) {
    char bytes[8] = {0};
    if (word) std::strncpy(bytes, word, kMaxWord);
    std::uint64_t v = 0;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

CRunFlag::CRunFlag(Passkey, std::shared_ptr<CRunFlag> parent) : m_pParent(std::move(parent)) {
    if (!m_pParent) m_pWake = std::make_unique<Wake>();
}

std::shared_ptr<CRunFlag> CRunFlag::MakeChild(const std::shared_ptr<CRunFlag>& parent,
                                              const char* word) {
    auto child = std::make_shared<CRunFlag>(Passkey{}, parent);
    child->m_word.store(Pack(word), std::memory_order_release);
    return child;
}

CRunFlag::Wake& CRunFlag::TreeWake() const {
    const CRunFlag* root = this;
    while (root->m_pParent) root = root->m_pParent.get();
    return *root->m_pWake;
}

void CRunFlag::Set(const char* word) {
    m_word.store(Pack(word), std::memory_order_release);
    Wake& wake = TreeWake();
    {
        // Taking the lock orders the store against a watcher that is about to wait, so the
        // wake-up cannot be lost.
        std::lock_guard<std::mutex> lock(wake.mutex);
    }
    wake.turned.notify_all();
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
    Wake& wake = TreeWake();
    std::unique_lock<std::mutex> lock(wake.mutex);
    return wake.turned.wait_for(lock, period, [this] { return IsStop(); });
}

}  // namespace sentrel
