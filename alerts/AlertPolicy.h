#pragma once
// What the run's events lead to, for the window and for sentrel-watch alike: the sound, a
// desktop notification, an alert mail, a line of output, the list's save. The model
// (WatchSession) decides what happened to a page; this decides what is told, how and when.
// Where the two programs differ, the difference is one of the Options below.
#include <chrono>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "alerts/AlertEvent.h"
#include "alerts/NoticeBatch.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "model/WatchSession.h"

namespace sentrel {

/// How a program signals unseen changes (the window blinks its tray icon and sounds).
class AlertSignal {
  public:
    virtual ~AlertSignal() = default;
    /// Called on each mark and unmark while sound alerts are on: changes are unseen now,
    /// or none is left.
    virtual void MarksPending(bool pending) = 0;
};

/// Shows desktop notifications.
class Notifier {
  public:
    virtual ~Notifier() = default;
    virtual void Show(const DesktopNotice& notice) = 0;
};

/// One alert mail to send: what happened to which page.
struct AlertMail {
    EventKind kind = EventKind::Changed;
    RowId id = 0;
    std::string url;
    std::string reason;  ///< why the page fails (kFailing)
    std::string changes;  ///< a text row's changed lines (and the condition they met), as the mail tells them
};

/// Sends alert mails (off the caller's thread).
class Mailer {
  public:
    virtual ~Mailer() = default;
    virtual void Send(const AlertMail& mail) = 0;
};

/// Tells events as they come (sentrel-watch's output).
class Reporter {
  public:
    virtual ~Reporter() = default;
    /// False when the event could not be told (nobody reads the output any more).
    virtual bool Report(const AlertReport& report) = 0;
};

/// Sends events to the webhooks and the ntfy topic the settings name (off the caller's
/// thread).
class Hooks {
  public:
    virtual ~Hooks() = default;
    virtual void Deliver(const Settings& settings, const AlertReport& report) = 0;
};

/// Keeps the list: saves the rows and their sizes.
class ListKeeper {
  public:
    virtual ~ListKeeper() = default;
    virtual void Save() = 0;
};

class AlertPolicy {
  public:
    /// What differs between the programs.
    struct Options {
        /// One pass over the list (sentrel-watch --once): a single failed probe is a
        /// failure, and no failure or recovery mail is sent.
        bool bOnePass = false;
        /// A change, once told, becomes the stored size (sentrel-watch); the window keeps
        /// its marks instead, and a page stays red until someone looks at it.
        bool bKeepReportedSize = false;
        /// Rows one run may watch at most; 0: any number.
        int nRowLimit = 0;
        /// A stored interval below its least is brought up to it (sentrel-watch); the
        /// window refuses to start with it instead. One above its most is brought down to it
        /// in both.
        bool bClampInterval = false;
        /// How soon after a change of sizes or rows the list is saved.
        std::chrono::milliseconds saveDelay{2000};
    };
    /// Why a run cannot start.
    enum Refusal { kNone, kNoRows, kTooManyRows, kBadInterval };

    /// Subscribes to `session`; reads `settings` afresh at every event.
    AlertPolicy(WatchSession& session, const Settings& settings, Options options,
                const Clock& clock = Clock::System());
    AlertPolicy(const AlertPolicy&) = delete;
    AlertPolicy& operator=(const AlertPolicy&) = delete;

    // What the program fills in; each may stay missing (sentrel-watch has no sound).
    void SetSignal(AlertSignal* signal) { m_pSignal = signal; }
    void SetNotifier(Notifier* notifier) { m_pNotifier = notifier; }
    void SetMailer(Mailer* mailer) { m_pMailer = mailer; }
    void SetReporter(Reporter* reporter) { m_pReporter = reporter; }
    void SetListKeeper(ListKeeper* keeper) { m_pKeeper = keeper; }
    /// Where events go to the settings' webhooks and ntfy topic.
    void SetHooks(Hooks* hooks) { m_pHooks = hooks; }
    /// Called whenever Poll has something to do sooner than before (the window's timer).
    void SetWakeUp(std::function<void(std::chrono::steady_clock::time_point)> wakeUp) {
        m_fnWakeUp = std::move(wakeUp);
    }

    // ---- Starting a run ----
    /// Whether a run of the list may start with this interval (0: the settings').
    Refusal CanStart(int interval = 0) const;
    /// The refusal as the window says it ("列表中没有发现任何要监控的网址！", ...).
    static std::string RefusalText(Refusal refusal);
    /// The run's interval and failure count, brought within bounds here and nowhere else.
    WatchSession::RunOptions RunOptions(int interval = 0) const;

    // ---- What the program shows ----
    /// "09:05:03 起访问失败" (the date too when not today) for a failing row; else empty.
    std::string FailingSince(const WatchRow& row) const;

    // ---- Time ----
    /// The list's rows changed (added, edited, deleted): it is saved a short while later.
    void ListChanged();
    /// Does what is due: a batch of notifications, a save. Call it at NextDue.
    void Poll();
    /// When Poll next has something to do (time_point::max(): nothing).
    std::chrono::steady_clock::time_point NextDue() const;
    /// Saves now when something is unsaved (the exit).
    void SaveNow();

  private:
    void OnEvent(const WatchEvent& event);
    void Marked(const WatchRow& row, bool bNewMark);
    void Signal();
    void Notice(EventKind kind, RowId id);
    bool Tell(EventKind kind, const WatchRow& row, long long oldSize, long long newSize);
    void Mail(EventKind kind, const WatchRow& row);
    void Due(std::chrono::steady_clock::time_point& slot, std::chrono::milliseconds after);

    WatchSession& m_session;
    const Settings& m_settings;
    Options m_options;
    const Clock& m_clock;
    AlertSignal* m_pSignal = nullptr;
    Notifier* m_pNotifier = nullptr;
    Mailer* m_pMailer = nullptr;
    Reporter* m_pReporter = nullptr;
    ListKeeper* m_pKeeper = nullptr;
    Hooks* m_pHooks = nullptr;
    std::function<void(std::chrono::steady_clock::time_point)> m_fnWakeUp;

    NoticeBatch m_notices;
    std::chrono::steady_clock::time_point m_noticesDue =
        std::chrono::steady_clock::time_point::max();
    std::chrono::steady_clock::time_point m_saveDue = std::chrono::steady_clock::time_point::max();
    std::unordered_map<RowId, long long> m_reported;  // the size each page's last report ended at
};

}  // namespace sentrel
