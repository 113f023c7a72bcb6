#pragma once
#include <functional>
#include <memory>
#include <mutex>

namespace sentrel {

/// The one path from worker threads to the UI thread: posts a value of type T (a watcher's
/// result, a mail's result) to a sink until the owner closes the target; later posts are
/// dropped silently, as posts to a window that is gone are. Values travel as themselves.
template <typename T>
class PostTarget {
  public:
    using Sink = std::function<void(T value)>;

    explicit PostTarget(Sink sink) : m_sink(std::move(sink)) {}

    /// Hands the value to the sink; false once the target is closed.
    bool Post(T value) {
        // Held during the sink call, so that Close() cannot return while a worker is still
        // handing a value to an owner that is about to go away.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bClosed || !m_sink) return false;
        m_sink(std::move(value));
        return true;
    }

    /// Called by the owner before it goes away; no sink call runs after this returns.
    void Close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bClosed = true;
        m_sink = nullptr;
    }

    bool IsClosed() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bClosed;
    }

  private:
    mutable std::mutex m_mutex;
    Sink m_sink;
    bool m_bClosed = false;
};

template <typename T>
using PostTargetPtr = std::shared_ptr<PostTarget<T>>;

}  // namespace sentrel
