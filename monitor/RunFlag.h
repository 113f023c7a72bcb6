#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace sentrel {

/// The run/stop flag shared by the watchers of one monitoring run. It holds a short
/// word ("RUN" or "STOP"); a watcher stops only on the exact word "STOP". Each run
/// gets a flag of its own, kept alive by its watchers through a shared_ptr.
class CRunFlag {
  public:
    static constexpr std::size_t kMaxWord = 7;

    CRunFlag() = default;
    explicit CRunFlag(const char* word) { Set(word); }

    /// Stores the word (at most seven bytes are kept) and wakes sleeping watchers.
    void Set(const char* word);
    std::string Text() const;
    /// True only when the flag holds exactly "STOP".
    bool IsStop() const;

    /// Program exit: "STOP" plus a request to abandon requests in flight.
    void Abort();
    bool IsAborted() const { return m_bAborted.load(std::memory_order_acquire); }

    /// Sleeps up to `period`, returning early when the flag turns to "STOP".
    /// Returns true when the flag reads "STOP" on return.
    bool SleepUnlessStopped(std::chrono::milliseconds period);

  private:
    static std::uint64_t Pack(const char* word);

    std::atomic<std::uint64_t> m_word{0};
    std::atomic<bool> m_bAborted{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

using RunFlagPtr = std::shared_ptr<CRunFlag>;

}  // namespace sentrel
