#pragma once
#include <functional>
#include <memory>
#include <string>

namespace sentrel {

/// One program per profile (the folder of user.mdb): the window and any other program of
/// the project that writes the list take this lock first. The system drops it when its
/// holder ends, however it ends, so a crash never blocks the next start. The holder can
/// be asked to show itself by a second start, and answers within a bound or not at all.
class ProfileLock {
  public:
    ProfileLock();
    ~ProfileLock();
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

    enum Result {
        kAcquired,     ///< this program holds it now
        kTaken,        ///< another program holds it
        kUnavailable,  ///< the folder takes no file at all (told as a folder problem)
        kFailed,       ///< the lock file is there but cannot be locked: Problem() says why
    };
    /// How the lock is held: by one program alone (the window, sentrel-watch), or shared
    /// by the shards of one list, which together keep every program that would hold it
    /// alone away, as it keeps them away.
    enum class Hold { kAlone, kShared };
    /// Takes the lock of `dir` (its file `name`: a shard's own lock has another).
    Result Acquire(const std::string& dir, Hold hold = Hold::kAlone,
                   const std::string& name = "sentrel.lock");
    bool Held() const;
    /// Why the last Acquire or Listen failed.
    const std::string& Problem() const;

    /// While held: `onShow` runs (on a thread of the lock's own) each time a second start
    /// of the same user asks the holder to show itself. False, with Problem() saying why,
    /// when no second start can reach this holder (another user took the name first).
    bool Listen(std::function<void()> onShow);
    /// Ends the listening; no `onShow` runs after this returns.
    void StopListening();

    /// What a second start hears from the holder of `dir`'s lock.
    enum Answer {
        kShown,     ///< the holder will show itself
        kNobody,    ///< nobody listens (a holder without a window, such as sentrel-watch)
        kNoAnswer,  ///< the holder, or whatever took its name, did not answer within 2 s
    };
    static Answer Ask(const std::string& dir);
    /// True when the holder of `dir`'s lock answered that it shows itself.
    static bool AskHolderToShow(const std::string& dir) { return Ask(dir) == kShown; }
    /// The name under which the holder of `dir`'s lock is reached (tests take it first).
    static std::string ChannelName(const std::string& dir);

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sentrel
