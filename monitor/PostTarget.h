#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace sentrel {

/// The one path from worker threads to the main window: posts (message, wParam, lParam)
/// to a sink until the window closes the target; later posts are dropped silently.
class PostTarget {
  public:
    using Sink = std::function<void(unsigned msg, std::intptr_t wParam, std::intptr_t lParam)>;

    explicit PostTarget(Sink sink) : m_sink(std::move(sink)) {}

    /// Hands the message to the sink; false once the target is closed.
    bool Post(unsigned msg, std::intptr_t wParam, std::intptr_t lParam);

    /// Called by the window before it goes away; no sink call runs after this returns.
    void Close();

    bool IsClosed() const;

  private:
    mutable std::mutex m_mutex;
    Sink m_sink;
    bool m_bClosed = false;
};

using PostTargetPtr = std::shared_ptr<PostTarget>;

}  // namespace sentrel
