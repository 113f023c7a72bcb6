#pragma once
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Clock.h"
#include "model/TextKeeper.h"
#include "model/WatchEvent.h"
#include "model/WatchRow.h"
#include "probe/PageValidators.h"
#include "probe/RunFlag.h"
#include "probe/WatchEntry.h"

namespace sentrel {

class CWatchThread;

/// The rows of the list and the state of a monitoring run, without any window: the one
/// place that decides what a probe means. The window, the tray, the sound and the alert
/// mail subscribe to it. Used on one thread, its owner's: what the watchers post comes to
/// its own inbox and is handed to Deliver on that thread.
class WatchSession {
  public:
    using Listener = std::function<void(const WatchEvent&)>;
    /// Starts one watcher for the entry; false when none could be started.
    using WatcherStarter = std::function<bool(WatchEntry entry)>;
    /// Runs a task on the owner's thread (a window's event loop); by default at once, on
    /// the thread that posts (a loop that is itself the owner's).
    using OwnerQueue = std::function<void(std::function<void()> task)>;

    /// `exitFlag` is the parent of every run's flag (aborted at program exit).
    explicit WatchSession(RunFlagPtr exitFlag = std::make_shared<CRunFlag>());
    /// Watcher threads still running are waited for a short while (see JoinWatchers).
    ~WatchSession();

    void Subscribe(Listener listener) { m_listeners.push_back(std::move(listener)); }

    // ---- Rows ----
    RowId AddRow(const std::string& url, const std::string& note, int nStoredSize,
                 const std::string& etag = std::string(),
                 const std::string& lastModified = std::string(),
                 const CompareOptions& compare = CompareOptions(), std::uint64_t nStoredHash = 0);
    void EditRow(RowId id, const std::string& url, const std::string& note);
    /// How the row compares its page. Another way of comparing starts afresh: the next text
    /// read is the reference, never a change.
    void SetCompare(RowId id, const CompareOptions& compare);
    /// The row's own interval in seconds (0: the run's), from its next start on.
    void SetInterval(RowId id, int seconds);
    /// The row's proxy, headers and session; a running watcher keeps those it started with.
    void SetAccess(RowId id, const PageAccess& access);
    /// A text row's conditions (one a line; empty: every change is told), compiled once,
    /// from its next change on: its texts and reference stay. Conditions that do not read
    /// fail the row's checks (the problem in RulesProblem).
    void SetAlertIf(RowId id, const std::string& rules);
    /// Why the row's conditions do not read; empty when they do.
    std::string RulesProblem(RowId id) const;
    /// Deletes the row: its watcher stops, its mark goes with it.
    void RemoveRow(RowId id);
    void Clear();
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    /// Room for `rows` rows, so that a long list is read without growing it again and again.
    void Reserve(int rows) {
        m_rows.reserve(static_cast<std::size_t>(rows));
        m_index.reserve(static_cast<std::size_t>(rows));
    }
    const WatchRow& Row(int index) const { return m_rows[static_cast<std::size_t>(index)]; }
    const std::vector<WatchRow>& Rows() const { return m_rows; }
    /// The row's index now, or -1.
    int IndexOf(RowId id) const;

    // ---- Marks ----
    /// Marks a changed page (true) or clears its mark because the user saw it (false).
    void SetMarked(RowId id, bool bMarked);
    /// The size a change was reported at becomes the stored size (a program that tells
    /// changes as they come, rather than keeping them marked, does not tell it again).
    void KeepReportedSize(RowId id);
    /// Marked rows in the order they were marked.
    const std::vector<RowId>& Marks() const { return m_marks; }

    // ---- The run ----
    struct RunOptions {
        int nInterval = 60;
        int nFailAfter = 2;  ///< failed probes in a row before a row shows a failure
        int nHistoryDepth = 50;  ///< versions a text row keeps of its text
        int nHistoryMb = 64;     ///< megabytes those versions may take
        std::string proxy;       ///< the program's proxy (empty: the environment's)
        std::function<void(int index)> onStarting;  ///< before each row's watcher starts
    };
    /// Starts one watcher per row. False when a watcher could not be started: those
    /// already started are stopped again.
    bool Start(const RunOptions& options);
    /// "STOP" to every watcher of the run; each row waits for its watcher's end.
    void Stop();
    bool IsRunning() const { return m_pRunFlag->Text() == "RUN"; }
    const RunFlagPtr& RunFlag() const { return m_pRunFlag; }
    int RunNumber() const { return m_nRunNumber; }
    /// Watchers of the current run that have not reported their end.
    int ActiveWatchers() const { return static_cast<int>(m_watchers.size()); }
    /// The watch number under which the current run's watcher of this row posts (-1: none).
    int WatchOfRow(RowId id) const;
    /// The row a watch number belongs to in this run (0: none, an old run's or a deleted row's).
    RowId RowOfWatch(int nWatch) const;

    /// How what the watchers post reaches the owner's thread (set once, before a start).
    void SetOwnerQueue(OwnerQueue queue) { m_fnOwnerQueue = std::move(queue); }
    /// Where the watchers post (each run's watchers are given it).
    const WatchTarget& Inbox() const { return m_pInbox; }
    /// A watcher's message, on the owner's thread.
    void Deliver(const WatchMessage& message);
    /// Waits for the watcher threads of every run to end, at most `bound` in all (the exit
    /// aborts them first); false when one is still running.
    bool JoinWatchers(std::chrono::milliseconds bound);

    /// How a watcher is started: by default StartThread; sentrel-watch adds pages to its
    /// many-page loop instead.
    void SetWatcherStarter(WatcherStarter starter) { m_fnStartWatcher = std::move(starter); }
    /// Runs the entry's watcher on a CWatchThread that the session owns and joins once it
    /// has ended; false when no thread can be made.
    bool StartThread(WatchEntry entry);
    /// Watcher threads of any run still to end.
    int WatcherThreads() const { return static_cast<int>(m_threads.size()); }
    /// The clock of "failing since" (tests move their own on).
    void SetClock(const Clock& clock) { m_pClock = &clock; }
    /// Where text rows keep their texts (none: what changed is not told).
    void SetTextKeeper(TextKeeper* keeper) { m_pTextKeeper = keeper; }

  private:
    struct Watcher {
        RowId id = 0;
        RunFlagPtr pStop;  // this watcher alone
        ValidatorBoxPtr pValidators;
    };

    WatchRow* Find(RowId id);
    void Emit(WatchEvent::Kind kind, RowId id, bool bNewMark = false);
    void OnResult(WatchRow& row, const ProbeResult& result, bool bFirst);
    void OnGoodSize(WatchRow& row, int size);
    void OnGoodText(WatchRow& row, const ProbeResult& result);
    /// A text row's judge for a run (null for a size row).
    std::shared_ptr<TextJudge> JudgeOf(WatchRow& row);
    /// "监控中" or "停止", as the run stands; a failing row keeps its failure.
    void RefreshStatus(WatchRow& row);
    void StopWatcher(RowId id);
    /// The row's validators become those its watcher last saw, if they go with the stored size.
    void TakeValidators(WatchRow& row);

    /// Index of every row by id, made anew when rows go (lists of thousands are watched).
    void Reindex();

    std::vector<WatchRow> m_rows;
    std::unordered_map<RowId, std::size_t> m_index;
    std::vector<RowId> m_marks;
    std::vector<Listener> m_listeners;
    RowId m_nNextId = 0;

    RunFlagPtr m_pExitFlag;
    RunFlagPtr m_pRunFlag;
    std::unordered_map<int, Watcher> m_watchers;  // the current run's, by watch number
    int m_nRunNumber = 0;
    int m_nNextWatch = 0;
    int m_nFailAfter = 2;
    int m_nHistoryDepth = 50;
    long long m_nHistoryBytes = 64ll << 20;
    WatcherStarter m_fnStartWatcher;
    OwnerQueue m_fnOwnerQueue = [](std::function<void()> task) { task(); };
    WatchTarget m_pInbox;
    std::map<int, std::unique_ptr<CWatchThread>> m_threads;  // by watch number, every run's
    const Clock* m_pClock = &Clock::System();
    TextKeeper* m_pTextKeeper = nullptr;
};

}  // namespace sentrel
