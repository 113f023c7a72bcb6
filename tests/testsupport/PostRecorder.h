#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "base/PostTarget.h"

namespace sentrel::test {

/// A post target that records the values workers post, for tests to wait on and inspect.
template <typename T>
class PostRecorder {
  public:
    struct Msg {
        T value;
        std::chrono::steady_clock::time_point when;
    };

    PostRecorder()
        : m_target(std::make_shared<PostTarget<T>>([this](T value) {
              std::lock_guard<std::mutex> lock(m_mutex);
              m_msgs.push_back({std::move(value), std::chrono::steady_clock::now()});
              m_cv.notify_all();
          })) {}
    ~PostRecorder() { m_target->Close(); }

    PostTargetPtr<T> Target() const { return m_target; }

    std::vector<Msg> Messages() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_msgs;
    }
    /// Waits until `pred` holds for the values so far; false on time-out.
    bool WaitUntil(const std::function<bool(const std::vector<Msg>&)>& pred,
                   std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return pred(m_msgs); });
    }
    /// Waits for a first value (of those that carry a message number: with this number).
    bool WaitFor(std::chrono::milliseconds timeout) {
        return WaitUntil([](const std::vector<Msg>& all) { return !all.empty(); }, timeout);
    }
    bool WaitFor(unsigned msg, std::chrono::milliseconds timeout) {
        return WaitUntil(
            [msg](const std::vector<Msg>& all) {
                for (const Msg& m : all)
                    if (m.value.msg == msg) return true;
                return false;
            },
            timeout);
    }

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Msg> m_msgs;
    PostTargetPtr<T> m_target;
};

}  // namespace sentrel::test
