#include "PostTarget.h"

namespace sentrel {

bool PostTarget::Post(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    // The lock is held during the sink call so that Close() cannot return while a
    // worker is still handing a message to a window that is about to be destroyed.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bClosed || !m_sink) return false;
    m_sink(msg, wParam, lParam);
    return true;
}

void PostTarget::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bClosed = true;
    m_sink = nullptr;
}

bool PostTarget::IsClosed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bClosed;
}

}  // namespace sentrel
