#pragma once
#include <functional>
#include <memory>
#include <string>

namespace sentrel {

/// One program per profile (the folder of user.mdb): the window and any other program of
/// the project that writes the list take this lock first. The system drops it when its
/// holder ends, however it ends, so a crash never blocks the next start. The holder can
/// be asked to show itself by a second start.
class ProfileLock {
  public:
    ProfileLock();
    ~ProfileLock();
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

    enum Result {
        kAcquired,     ///< this program holds it now
        kTaken,        ///< another program holds it
        kUnavailable,  ///< the lock file cannot be made (a folder that takes no file)
    };
    /// Takes the lock of `dir`.
    Result Acquire(const std::string& dir);
    bool Held() const;

    /// While held: `onShow` runs (on a thread of the lock's own) each time a second start
    /// asks the holder to show itself.
    void Listen(std::function<void()> onShow);
    /// Ends the listening; no `onShow` runs after this returns.
    void StopListening();

    /// A second start's request to the holder of `dir`'s lock; false when none answers.
    static bool AskHolderToShow(const std::string& dir);

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace sentrel
