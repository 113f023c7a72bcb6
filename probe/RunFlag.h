#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sentrel {

/// The run/stop flag shared by the watchers of one monitoring run. It holds a short
/// word ("RUN" or "STOP"); a watcher stops only on the exact word "STOP". Each run
/// gets a flag of its own, kept alive by its watchers through a shared_ptr.
///
/// A flag may have a parent: it then also reads as stopped (or aborted) when the parent
/// does, and a sleeper on it wakes when the parent turns. The program's exit flag is the
/// parent of each run's flag, which is the parent of each watcher's own flag, so one
/// watcher can be stopped alone and every request still in flight can be abandoned at exit.
class CRunFlag {
  public:
    static constexpr std::size_t kMaxWord = 7;

    CRunFlag() = default;
    explicit CRunFlag(const char* word) { Set(word); }
    CRunFlag(const CRunFlag&) = delete;
    CRunFlag& operator=(const CRunFlag&) = delete;

    /// A new flag holding `word` below `parent` (which it keeps alive).
    static std::shared_ptr<CRunFlag> MakeChild(const std::shared_ptr<CRunFlag>& parent,
                                               const char* word = "");

    /// Stores the word (at most seven bytes are kept) and wakes sleeping watchers.
    void Set(const char* word);
    /// The flag's own word (a parent's word is not shown).
    std::string Text() const;
    /// True when the flag, or one of its parents, holds exactly "STOP".
    bool IsStop() const;

    /// Program exit: "STOP" plus a request to abandon requests in flight.
    void Abort();
    bool IsAborted() const;

    /// Sleeps up to `period`, returning early when the flag turns to "STOP".
    /// Returns true when the flag reads "STOP" on return.
    bool SleepUnlessStopped(std::chrono::milliseconds period);

    /// Children this flag still keeps a link to (those ended are dropped at a birth that
    /// finds the list doubled since the last sweep).
    std::size_t ChildLinks();

  private:
    static std::uint64_t Pack(const char* word);
    /// Wakes this flag's sleepers and, through them, its children's.
    void WakeAll();

    std::shared_ptr<CRunFlag> m_pParent;
    std::vector<std::weak_ptr<CRunFlag>> m_children;  // guarded by m_mutex
    std::size_t m_nSwept = 8;  // children left at the last sweep of ended ones

    std::atomic<std::uint64_t> m_word{0};
    std::atomic<bool> m_bAborted{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

using RunFlagPtr = std::shared_ptr<CRunFlag>;

}  // namespace sentrel
