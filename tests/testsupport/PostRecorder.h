#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "PostTarget.h"

namespace sentrel::test {

/// A post target that records what workers post, for tests to wait on and inspect.
class PostRecorder {
  public:
    struct Msg {
        unsigned msg;
        std::intptr_t wParam;
        std::intptr_t lParam;
        std::chrono::steady_clock::time_point when;
    };

    PostRecorder();
    PostTargetPtr Target() const { return m_target; }

    std::vector<Msg> Messages() const;
    /// Waits until `pred` holds for the messages so far; false on time-out.
    bool WaitUntil(const std::function<bool(const std::vector<Msg>&)>& pred,
                   std::chrono::milliseconds timeout);
    /// Waits for a message with this number; false on time-out.
    bool WaitFor(unsigned msg, std::chrono::milliseconds timeout);

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Msg> m_msgs;
    PostTargetPtr m_target;
};

}  // namespace sentrel::test
