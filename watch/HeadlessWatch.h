#pragma once
// The program without a window, watching: the list on one event loop, its events told as
// lines, its alerts sent as the window sends them. What differs from the window is the
// alert policy's options (a one-pass run, reported sizes kept, no row limit, a clamped
// interval).
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>

#include "alerts/AlertPolicy.h"
#include "delivery/HookSender.h"
#include "delivery/MailDispatcher.h"
#include "support/CCore.h"
#include "watch/AtomFeed.h"
#include "watch/WatchArgs.h"
#include "watch/WatchProfile.h"

namespace sentrel {

class HeadlessWatch : public Reporter, public ListKeeper {
  public:
    /// Watches the rows of `profile` (locked and loaded). `wake` is a pipe that a signal
    /// handler writes to (its ends: read, write), as results of mails do; `quit` is set
    /// with it.
    HeadlessWatch(const Args& args, CCore& core, WatchProfile& profile, const int (&wake)[2],
                  const std::atomic<bool>& quit);
    ~HeadlessWatch() override;
    /// The whole run; its exit status.
    int Run();

    // ---- What the alert policy asks of this program ----
    bool Report(const AlertReport& report) override;
    void Save() override;

  private:
    int Watch();
    void WriteFeed(bool now);
    void TakeMailResults();
    /// True once standard output leads nowhere: its reader closed the pipe.
    bool OutputClosed() const;
    void Wake() const;

    const Args& m_args;
    CCore& m_core;
    ListFile& m_list;
    WatchSession& m_session;
    int m_nWakeRead, m_nWakeWrite;
    const std::atomic<bool>& m_quit;
    Settings m_settings;
    std::unique_ptr<AtomFeed> m_feed;
    std::chrono::steady_clock::time_point m_feedWritten{};
    bool m_bFeedFailing = false;
    HookSender m_hooks;
    std::mutex m_mutex;
    std::deque<MailResult> m_mailResults;  // as they come, until the loop takes them
    std::unique_ptr<MailDispatcher> m_mails;
    bool m_bChanged = false, m_bErrors = false, m_bStoreFailed = false, m_bOutputClosed = false;
};

}  // namespace sentrel
