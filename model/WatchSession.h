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

#include "ChangeJudge.h"
#include "Clock.h"
#include "LineDiff.h"
#include "PageValidators.h"
#include "ProbeResult.h"
#include "RunFlag.h"
#include "TextKeeper.h"
#include "WatchEntry.h"

namespace sentrel {

class CWatchThread;

/// A row's identity: stays with its page while rows are added, moved or deleted.
using RowId = long;

/// What a row's status says. The mark (an unseen change) is kept beside it, since a
/// marked row stays marked through failures and stops.
enum class RowStatus {
    None,           ///< not watched since it was loaded or added
    Watching,       ///< "监控中"
    Changed,        ///< "有更新！"
    Failing,        ///< "访问失败：..." after `failafter` failed probes in a row
    Recovered,      ///< "已恢复": the first good probe after a failure
    Stopping,       ///< "等待停止..."
    Stopped,        ///< "停止"
    NetworkFailed,  ///< "网络失败！": the watcher got no HTTP session
};

/// How a row compares its page: by size (the default), or by the text a reader sees,
/// within a region and without the lines the ignore rules drop.
struct CompareOptions {
    enum Mode { kSize, kText };
    Mode mode = kSize;
    bool render = false;  ///< a text row whose page a browser renders first (its scripts run)
    std::string select;   ///< CSS selector or XPath; empty: the whole page
    std::string ignore;   ///< ignore rules, one per line
    bool Text() const { return mode == kText; }

    /// The mode's word in the list, on the command line and in JSON: "size" or "text".
    static const char* ModeName(Mode mode);
    /// The mode a word names; false for any other word.
    static bool ModeNamed(const std::string& word, Mode& mode);
    /// How a row of these options reads its pages: a text row's reader (null for a size
    /// row). Options that do not read give a reader that finds no region, with the reason
    /// in `problem`.
    std::shared_ptr<const content::PageReader> Reader(std::string* problem = nullptr) const;
    bool operator==(const CompareOptions& o) const {
        return mode == o.mode &&
               (mode == kSize || (select == o.select && ignore == o.ignore && render == o.render));
    }
};

/// One watched page.
struct WatchRow {
    RowId id = 0;
    std::string url;
    std::string note;
    int nStoredSize = 0;  ///< carried across runs: the size when its watcher last started
    std::string etag;     ///< validators of the response nStoredSize was measured from
    std::string lastModified;
    CompareOptions compare;
    int nInterval = 0;    ///< seconds between the page's probes; 0: the run's interval
    int nWatch = -1;      ///< the current run's watch of the row (-1: none)
    std::string alertIf;  ///< a text row's conditions, one a line: none, every change is told
    /// Its conditions compiled, where its judges find them (see ChangeJudge.h); a box is
    /// made for a text row, a size row has none.
    RulesBoxPtr rules;
    std::string because;  ///< the condition its latest told change met (empty: none named)
    std::uint64_t nStoredHash = 0;  ///< a text row's text hash, kept with nStoredSize (0: none)
    std::uint64_t nLastHash = 0;    ///< a text row's reference in this run
    /// A text row's lines that changed at its latest change (none: no change read yet).
    /// Shared: a size row carries a pointer, not two empty lists.
    std::shared_ptr<const content::LineChanges> change;
    int nLastSize = 0;       ///< this run's reference of the >3-byte rule
    bool bHaveSize = false;  ///< a good probe came in during this run
    bool bMarked = false;
    RowStatus status = RowStatus::None;
    int nFailures = 0;             ///< failed probes in a row
    ProbeResult lastFailure;       ///< the latest of them
    std::time_t failingSince = 0;  ///< when the first of them came in

    /// The status column's text.
    std::string StatusText() const;
    /// The lines of its latest change (empty lists when none was read).
    const content::LineChanges& Changes() const;
};

/// What a subscriber is told. Every change of a row's text, colour or size comes as
/// RowChanged; the others name the transitions that alert.
struct WatchEvent {
    enum Kind {
        RowChanged,   ///< redraw the row
        RowsChanged,  ///< rows were added, removed or reordered
        Marked,       ///< a change was seen (each one, also on a row already marked)
        Unmarked,     ///< the user saw the change
        Failing,      ///< the row crossed `failafter` failed probes
        Recovered,    ///< a good probe after Failing
        SizeStored,   ///< the stored size was measured anew
        Ended,        ///< the row's watcher ended
        Quiet,        ///< a text row changed, meeting none of its conditions: kept, not told
    };
    Kind kind;
    RowId id = 0;
    bool bNewMark = false;  ///< Marked: the row was not marked before
};

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
