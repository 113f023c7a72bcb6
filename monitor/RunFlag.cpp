#include "RunFlag.h"

#include <cstring>

namespace sentrel {

std::uint64_t CRunFlag::Pack(const char* word) {
    char bytes[8] = {0};
    if (word) std::strncpy(bytes, word, kMaxWord);
    std::uint64_t v = 0;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

void CRunFlag::Set(const char* word) {
    {
        // Taking the lock orders the store against a watcher that is about to wait,
        // so the wake-up cannot be lost.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_word.store(Pack(word), std::memory_order_release);
    }
    m_wake.notify_all();
}

std::string CRunFlag::Text() const {
    std::uint64_t v = m_word.load(std::memory_order_acquire);
    char bytes[9] = {0};
    std::memcpy(bytes, &v, sizeof v);
    return bytes;
}

bool CRunFlag::IsStop() const {
    static const std::uint64_t kStop = Pack("STOP");
    return m_word.load(std::memory_order_acquire) == kStop;
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
