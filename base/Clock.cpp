#include "base/Clock.h"

namespace sentrel {

namespace {
class SystemClock : public Clock {
  public:
    std::chrono::steady_clock::time_point Now() const override {
        return std::chrono::steady_clock::now();
    }
    std::time_t Time() const override { return std::time(nullptr); }
};
}  // namespace

const Clock& Clock::System() {
    static const SystemClock clock;
    return clock;
}

}  // namespace sentrel
