#pragma once
#include "base/Clock.h"

namespace sentrel::test {

/// A clock that stands still until the test moves it on.
class TestClock : public Clock {
  public:
    explicit TestClock(std::time_t time = 1000) : m_time(time) {}
    std::chrono::steady_clock::time_point Now() const override { return m_now; }
    std::time_t Time() const override { return m_time; }
    void Advance(std::chrono::milliseconds by) {
        m_now += by;
        m_ms += by.count();
        m_time += m_ms / 1000;
        m_ms %= 1000;
    }

  private:
    std::chrono::steady_clock::time_point m_now{};
    std::time_t m_time;
    long long m_ms = 0;
};

}  // namespace sentrel::test
