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
///
/// A flag may have a parent: it then also reads as stopped (or aborted) when the parent
/// does, and a sleeper on it wakes when the parent turns. The program's exit flag is the
/// parent of each run's flag, which is the parent of each watcher's own flag, so one
/// watcher can be stopped alone and every request still in flight can be abandoned at exit.
///
/// The flags of one tree share its root's lock and wake-up: a page's flag is a few words,
/// not a lock of its own, since a run may hold 100,000. A flag that turns wakes every
/// sleeper of its tree; those it does not stop sleep on.
class CRunFlag {
    struct Passkey {};

  public:
    static constexpr std::size_t kMaxWord = 7;

    CRunFlag() : m_pWake(std::make_unique<Wake>()) {}
    explicit CRunFlag(const char* word) : CRunFlag() { Set(word); }
    CRunFlag(Passkey, std::shared_ptr<CRunFlag> parent);
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

  private:
    struct Wake {
        std::mutex mutex;
        std::condition_variable turned;
    };
    static std::uint64_t Pack(const char* word);
    /// The tree's lock and wake-up: its root's.
    Wake& TreeWake() const;

    std::shared_ptr<CRunFlag> m_pParent;
    std::unique_ptr<Wake> m_pWake;  // a root's only
    std::atomic<std::uint64_t> m_word{0};
    std::atomic<bool> m_bAborted{false};
};

using RunFlagPtr = std::shared_ptr<CRunFlag>;

}  // namespace sentrel
