#pragma once
#include <chrono>
#include <ctime>

namespace sentrel {

/// Where the time comes from: the system's, or a test's that it moves on by hand.
class Clock {
  public:
    virtual ~Clock() = default;
    /// For waits and batches: never jumps.
    virtual std::chrono::steady_clock::time_point Now() const = 0;
    /// The wall time, for what the user is told ("failing since").
    virtual std::time_t Time() const = 0;

    /// The system's clock.
    static const Clock& System();
};

}  // namespace sentrel
